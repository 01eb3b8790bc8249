// PellorinSync compare in-process, from its command line to what it prints:
// the real registry (redirected to a scratch key) and stores in memory. It
// tells where the sides differ, writes nothing, and says by its exit code
// whether anything differs.
#include "FakeStores.h"

#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"
#include "cli/SyncRun.h"

#include "base/Platform.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::string kShown = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct TCompareOutput {
    TSyncResult Result;
    std::string Out;
};

std::wstring UsageError(const std::vector<std::wstring>& arguments)
{
    try {
        ParseSyncCommandLine(arguments);
        return L"accepted";
    } catch (const ESyncUsageError& e) {
        return e.Message();
    }
}

class CompareVerbTest : public testing::Test {
protected:
    TCompareOutput Run(const std::vector<std::wstring>& arguments, const TCategoryListFile* file = nullptr)
    {
        const TSyncRequest request = ParseSyncCommandLine(arguments);
        TProgramState state;
        state.Sources = {&source_};
        state.OutlookVersion = L"14.0.7015.1000";
        state.OutlookMajorVersion = "14";
        TCompareOutput output;
        output.Result.Connected = true;
        std::wstring out;
        RunSyncVerb(request, state, output.Result, [&out](std::wstring_view line) { out += line; }, file);
        out += request.Json ? SyncJsonText(request, output.Result) : SyncPlainText(request, output.Result);
        output.Out = ToUtf8(out);
        return output;
    }

    ScratchHkcu scratch_;
    TFakeSource source_;
};

}  // namespace

TEST(CompareCommandLine, TakesAnOptionalFileAndTheStoreChoiceButNothingThatChanges)
{
    const TSyncRequest bare = ParseSyncCommandLine({L"COMPARE"});
    EXPECT_EQ(bare.Verb, TSyncVerb::Compare);
    EXPECT_EQ(bare.File, L"");
    const TSyncRequest full = ParseSyncCommandLine({L"--all-stores", L"compare", L"list.csv", L"--json"});
    EXPECT_EQ(full.File, L"list.csv");
    EXPECT_TRUE(full.AllStores);
    EXPECT_TRUE(full.Json);
    EXPECT_EQ(UsageError({L"compare", L"--dry-run"}),
              L"unknown option \"--dry-run\" for \"compare\", which changes nothing");
    EXPECT_EQ(UsageError({L"compare", L"--colors"}),
              L"unknown option \"--colors\" for \"compare\": only \"import\" takes it");
    EXPECT_EQ(UsageError({L"compare", L"a.csv", L"b.csv"}), L"one list file at a time, not also \"b.csv\"");
    EXPECT_EQ(UsageError({L"compare", L"--mailboxes", L"m.txt"}), L"unknown option \"--mailboxes\"");
    EXPECT_NE(std::wstring(SyncUsageText()).find(L"PellorinSync compare [FILE] [--json]\r\n"), std::wstring::npos);
}

// Each side's names one a line, cleaned as every outside text; exit 1 while
// something differs, 0 once alike. Neither the registry nor the store changes.
TEST_F(CompareVerbTest, PlainLinesGroupBySideAndTheExitCodeSaysWhetherAnythingDiffers)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Tab\there;Both;"));
    TFakeList& store = *source_.AddStore(L"", L"Outlook Data File",
                                         std::make_shared<TFakeList>(std::vector<std::wstring>{
                                             L"both", L"Evil\r\nregistry lacks: Fake"})).List;
    const TCompareOutput differs = Run({L"compare"});
    EXPECT_EQ(differs.Result.Exit, TSyncExit::Failed);
    EXPECT_EQ(differs.Out, "registry lacks: Evil" + kShown + kShown + "registry lacks: Fake\r\n" +
                               "Outlook lacks: Tab" + kShown + "here\r\n" + "2 lacking, 0 colours differ\r\n");
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"Tab\there;Both;"));
    EXPECT_EQ(store.Names.size(), 2u);
    EXPECT_TRUE(source_.Logged(L"add ").empty());
    EXPECT_TRUE(source_.Logged(L"reread ").empty());

    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Both;Tab\there;"));
    store.Names[1] = L"tab\tHERE";
    const TCompareOutput alike = Run({L"compare"});
    EXPECT_EQ(alike.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(alike.Out, "alike\r\n");
}

// Against a file, JSON keeps every name exact and names each store's side;
// colours differ only where the file and the store both give one.
TEST_F(CompareVerbTest, JsonAgainstAFileKeepsNamesExactAndNamesEachStore)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Blue;"));
    TFakeList& main = *source_.AddStore(L"01", L"Main", std::make_shared<TFakeList>(std::vector<std::wstring>{
                                                           L"Red", L"Tab\there"})).List;
    main.Colors = {TCategoryColor::FromOutlook(1), std::nullopt};
    source_.AddStore(L"02", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"Red", L"Blue"}));
    TCategoryListFile file;
    file.Entries = {{L"Red", TCategoryColor::FromOutlook(8)}, {L"Blue", std::nullopt}};

    const TCompareOutput output = Run({L"compare", L"list.csv", L"--all-stores", L"--json"}, &file);
    EXPECT_EQ(output.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(output.Out.find(R"("comparison":{"alike":false,"sides":[)"
                              R"({"side":"registry","store":null,"lacks":[],"colorDiffers":[]},)"
                              R"({"side":"store","store":"Main","lacks":["Blue"],)"
                              R"("colorDiffers":[{"name":"Red","color":"preset0","reference":"preset7"}]},)"
                              R"({"side":"store","store":"Archive","lacks":[],"colorDiffers":[]},)"
                              R"({"side":"file","store":null,"lacks":["Tab\there"],"colorDiffers":[]}],)"
                              R"("storesLeftOut":[]})"),
              std::string::npos)
        << output.Out;
    EXPECT_EQ(main.Names.size(), 2u);
    EXPECT_EQ(main.Colors[0], TCategoryColor::FromOutlook(1));
}
