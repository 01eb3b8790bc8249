// PellorinSync's export and import in-process, from the command line to the
// text printed: real files in a folder of the test's own, the real registry
// (redirected to a scratch key) and stores in memory.
#include "FakeStores.h"

#include "cli/FileVerbs.h"
#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"
#include "cli/SyncRun.h"
#include "listfile/ListFileSupport.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::wstring kGreek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
const std::wstring kJapanese = L"\x4F1A\x8B70";

std::optional<TCategoryColor> Preset(int preset)
{
    return TCategoryColor::FromOutlook(preset + 1);
}
const std::optional<TCategoryColor> kNone = TCategoryColor::FromOutlook(0);
const std::optional<TCategoryColor> kStoresPick;

using TColoured = std::map<std::wstring, std::optional<TCategoryColor>>;

std::shared_ptr<TFakeList> ListOf(const std::vector<std::pair<std::wstring, std::optional<TCategoryColor>>>& names)
{
    auto list = std::make_shared<TFakeList>();
    for (const auto& [name, color] : names) {
        list->Names.push_back(name);
        list->Colors.push_back(color);
    }
    return list;
}

TColoured Coloured(const TFakeList& list)
{
    TColoured coloured;
    for (std::size_t i = 0; i < list.Names.size(); ++i)
        coloured[list.Names[i]] = list.Colors[i];
    return coloured;
}

struct TSyncOutput {
    TSyncResult Result;
    std::string Out;  // what standard output would carry, in UTF-8
};

class FileVerbTest : public testing::Test {
protected:
    // As RunSync runs a verb: an import's file first, then Outlook, open here.
    TSyncOutput Run(const std::vector<std::wstring>& arguments)
    {
        const TSyncRequest request = ParseSyncCommandLine(arguments);
        TSyncOutput output;
        std::wstring out;
        TCategoryListFile file;
        if (request.Verb != TSyncVerb::Import || ReadImportFile(request, output.Result, file)) {
            TProgramState state;
            state.Sources = {&source_};
            state.OutlookVersion = L"14.0.7015.1000";
            state.OutlookMajorVersion = "14";
            output.Result.Connected = true;
            RunSyncVerb(request, state, output.Result, [&out](std::wstring_view line) { out += line; }, &file);
        }
        out += request.Json ? SyncJsonText(request, output.Result) : SyncPlainText(request, output.Result);
        output.Out = ToUtf8(out);
        return output;
    }

    std::wstring Put(const std::wstring& name, std::wstring_view csv)
    {
        folder_.Put(name, Utf8Bom(csv));
        return folder_.Path(name);
    }

    static std::vector<BYTE> MasterList14()
    {
        const auto value = GetValue(kKey14, L"MasterList");
        return value ? value->bytes : std::vector<BYTE>{};
    }

    ScratchHkcu scratch_;
    TScratchFolder folder_;
    TFakeSource source_;
};

}  // namespace

// Export, then import into an empty store: every name comes back exactly, with
// its colour, whichever format the file's name asks for.
TEST_F(FileVerbTest, ExportThenImportIntoAnEmptyStoreGivesTheSameNamesAndColours)
{
    const auto original = ListOf({
        {L"Plain", Preset(0)},
        {L"A, B", Preset(24)},
        {L"Say \"hi\"", kNone},
        {L"two\r\nlines", Preset(3)},
        {L"a;b", Preset(7)},
        {kGreek, Preset(12)},
        {kJapanese, kStoresPick},
        {L"=SUM(A1)", Preset(2)},
        {L"'-x", Preset(5)},
        {L"@home", kStoresPick},
        {L"Smile \xD83D\xDE00", Preset(1)},
    });
    for (const wchar_t* name : {L"backup.csv", L"backup.json"}) {
        SCOPED_TRACE(ToUtf8(name));
        source_.Stores.clear();
        source_.AddStore(L"00A1", L"Mailbox", original);
        const std::wstring path = folder_.Path(name);
        const TSyncOutput exported = Run({L"export", path});
        EXPECT_EQ(exported.Result.Exit, TSyncExit::Done);
        EXPECT_EQ(exported.Out, "11 names written to " + ToUtf8(path) + "\r\n");

        source_.Stores.clear();
        auto empty = std::make_shared<TFakeList>();
        source_.AddStore(L"00A1", L"Mailbox", empty);
        const TSyncOutput imported = Run({L"import", path});
        EXPECT_EQ(imported.Result.Exit, TSyncExit::Done);
        EXPECT_EQ(imported.Result.AddedToOutlook.size(), 11u);
        EXPECT_EQ(Coloured(*empty), Coloured(*original));
    }
}

TEST_F(FileVerbTest, ExportOfAllStoresTakesEachNameOnceWithTheFirstStoresColour)
{
    source_.AddStore(L"00A1", L"Mailbox", ListOf({{L"Red", Preset(0)}, {L"blue", Preset(5)}}));
    // A name holding U+0000 would make the whole file unreadable: it is left out, and said.
    source_.AddStore(L"00A2", L"Archive",
                     ListOf({{L"RED", Preset(9)}, {L"Blue", Preset(7)}, {L"Green", kNone}, {{L"Nul\0x", 5}, kNone}}));
    source_.AddStore(L"00A3", L"Public").Unreadable = L"Not connected";
    const std::wstring path = folder_.Path(L"all.csv");
    const TSyncOutput run = Run({L"export", path, L"--all-stores"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(run.Out, "Outlook (Public) could not be read: Not connected\r\n"
                       "not written (holds U+0000): Nul\xEF\xBF\xBDx\r\n3 names written to " +
                           ToUtf8(path) + "\r\n");
    EXPECT_EQ(folder_.Get(L"all.csv"), "\xEF\xBB\xBF" "DisplayName,Color\r\nblue,preset5\r\nGreen,none\r\nRed,preset0\r\n");

    // Written whole or not at all: a folder that is not there leaves no file and no count.
    const std::wstring nowhere = folder_.Path(L"missing\\all.csv");
    const TSyncOutput failed = Run({L"export", nowhere, L"--json"});
    EXPECT_EQ(failed.Result.Exit, TSyncExit::Failed);
    ASSERT_TRUE(failed.Result.Error.has_value());
    EXPECT_TRUE(failed.Result.Error->starts_with(nowhere + L": ")) << ToUtf8(*failed.Result.Error);
    EXPECT_NE(failed.Out.find(R"(,"exported":[],"notExported":[],"registryUnreadable":[],"error":")"), std::string::npos) << failed.Out;

    const TSyncOutput json = Run({L"export", folder_.Path(L"one.json"), L"--store", L"archive", L"--json"});
    EXPECT_NE(json.Out.find(R"("exported":[{"name":"Blue","color":"preset7"},{"name":"Green","color":"none"},)"
                            R"({"name":"RED","color":"preset9"}],"notExported":["Nul\u0000x"],"registryUnreadable":[],"error":null})"),
              std::string::npos)
        << json.Out;
    EXPECT_TRUE(source_.Logged(L"add ").empty());
}

TEST_F(FileVerbTest, ImportAddsToEachStoreWhatItLacksWithTheFilesColour)
{
    auto mailbox = ListOf({{L"red", Preset(3)}});
    auto archive = ListOf({{L"Green", Preset(1)}});
    source_.AddStore(L"00A1", L"Mailbox", mailbox);
    source_.AddStore(L"00A2", L"Archive", archive).Refusals[L"Blue"] = L"The name is too long";
    source_.AddStore(L"00A3", L"Public").Unreadable = L"Not connected";
    const std::wstring path = Put(L"list.csv", L"DisplayName,Color\r\nRed,preset0\r\nBlue,\r\nGreen,7\r\n");
    const std::string unreadable = "Outlook (Public) could not be read: Not connected\r\n";

    const TSyncOutput dry = Run({L"import", path, L"--all-stores", L"--dry-run"});
    EXPECT_EQ(dry.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(dry.Out, "would add to Outlook (Mailbox): Blue\r\nwould add to Outlook (Mailbox): Green\r\n"
                       "would add to Outlook (Archive): Red\r\nwould add to Outlook (Archive): Blue\r\n" +
                           unreadable + "4 would be added to Outlook\r\n");
    EXPECT_TRUE(source_.Logged(L"add ").empty());
    EXPECT_TRUE(source_.Logged(L"reread ").empty());

    const TSyncOutput run = Run({L"import", path, L"--all-stores"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed) << "a refused name fails the run";
    EXPECT_EQ(run.Out, "added to Outlook (Mailbox): Blue\r\nadded to Outlook (Mailbox): Green\r\n"
                       "added to Outlook (Archive): Red\r\n"
                       "Outlook (Archive) refused: Blue - The name is too long\r\n" +
                           unreadable + "3 added to Outlook\r\n");
    EXPECT_EQ(source_.Logged(L"reread "), (std::vector<std::wstring>{L"reread 00A1", L"reread 00A2"}));
    // An existing category keeps its name and colour; a new one takes the file's, or the store's pick.
    EXPECT_EQ(Coloured(*mailbox), (TColoured{{L"red", Preset(3)}, {L"Blue", kStoresPick}, {L"Green", Preset(6)}}));
    EXPECT_EQ(Coloured(*archive), (TColoured{{L"Green", Preset(1)}, {L"Red", Preset(0)}}));
    EXPECT_FALSE(GetValue(kKey14, L"MasterList").has_value()) << "the registry only with --registry";

    const TSyncOutput json = Run({L"import", path, L"--json"});
    EXPECT_EQ(json.Result.Exit, TSyncExit::Done);
    EXPECT_NE(json.Out.find(R"("command":"import","dryRun":false,)"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"("addedToOutlook":[],"addedToRegistry":[],)"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"(,"file":)" + ToUtf8(JsonString(path)) +
                            R"(,"recolouredInOutlook":[],"recolourRefusedByOutlook":[],"registryUnreadable":[],"error":null})"),
              std::string::npos)
        << json.Out;
}

TEST_F(FileVerbTest, ImportWithRegistryAppendsTheNamesItCanHold)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;"));
    source_.AddStore(L"", L"Outlook Data File", ListOf({{L"B", kStoresPick}}));
    const std::wstring path = Put(L"list.csv", L"Color,DisplayName\r\n,A\r\n,B\r\n3,C;D\r\n,E\r\n");

    const TSyncOutput dry = Run({L"import", path, L"--registry", L"--dry-run"});
    EXPECT_EQ(dry.Out, "would add to Outlook: A\r\nwould add to Outlook: C;D\r\nwould add to Outlook: E\r\n"
                       "would add to registry: B\r\nwould add to registry: E\r\n"
                       "would not copy to registry (holds \";\"): C;D\r\n"
                       "3 would be added to Outlook, 2 would be added to the registry\r\n");
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;"));

    const TSyncOutput run = Run({L"import", path, L"--registry"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(run.Out, "added to Outlook: A\r\nadded to Outlook: C;D\r\nadded to Outlook: E\r\n"
                       "added to registry: B\r\nadded to registry: E\r\n"
                       "not copied to registry (holds \";\"): C;D\r\n"
                       "3 added to Outlook, 2 added to the registry\r\n");
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;B;E;"));
    EXPECT_EQ(Run({L"import", path, L"--registry"}).Out,
              "not copied to registry (holds \";\"): C;D\r\n0 added to Outlook, 0 added to the registry\r\n");
}

TEST_F(FileVerbTest, ColorsRecoloursOnlyExistingCategoriesWhoseColourDiffers)
{
    auto list = ListOf({{L"Red", Preset(0)}, {L"blue", Preset(5)}, {L"Green", Preset(2)}, {L"Plain", Preset(1)}});
    TFakeStoreSetup& store = source_.AddStore(L"", L"Outlook Data File", list);
    // The same colour, another (letter case ignored), none asked, "none" asked, and a new name.
    const std::wstring path =
        Put(L"list.csv", L"DisplayName,Color\r\nRed,preset0\r\nBLUE,preset7\r\nGreen,\r\nPlain,none\r\nNew,4\r\n");
    const TColoured before = Coloured(*list);

    const TSyncOutput plain = Run({L"import", path, L"--dry-run"});
    EXPECT_EQ(plain.Out, "would add to Outlook: New\r\n1 would be added to Outlook\r\n") << "never without --colors";
    const TSyncOutput dry = Run({L"import", path, L"--colors", L"--dry-run"});
    EXPECT_EQ(dry.Out, "would add to Outlook: New\r\nwould recolour in Outlook: blue (preset5 -> preset7)\r\n"
                       "would recolour in Outlook: Plain (preset1 -> none)\r\n"
                       "1 would be added to Outlook, 2 would be recoloured in Outlook\r\n");
    EXPECT_TRUE(source_.Logged(L"recolour ").empty());
    EXPECT_EQ(Coloured(*list), before);

    store.ColorRefusals[L"Plain"] = L"The category is read-only";
    const TSyncOutput run = Run({L"import", path, L"--colors", L"--json"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(run.Out.find(R"("addedToOutlook":["New"],)"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(R"("recolouredInOutlook":[{"name":"blue","from":"preset5","to":"preset7",)"
                           R"("store":"Outlook Data File"}],"recolourRefusedByOutlook":[{"name":"Plain",)"
                           R"("from":"preset1","to":"none","error":"The category is read-only",)"
                           R"("store":"Outlook Data File"}],"registryUnreadable":[],"error":null})"),
              std::string::npos)
        << run.Out;
    // New came with the file's colour and is not recoloured; no name changed.
    EXPECT_EQ(source_.Logged(L"recolour "),
              (std::vector<std::wstring>{L"recolour  blue 8", L"recolour  Plain 0"}));
    EXPECT_EQ(Coloured(*list), (TColoured{{L"Red", Preset(0)},
                                          {L"blue", Preset(7)},
                                          {L"Green", Preset(2)},
                                          {L"Plain", Preset(1)},
                                          {L"New", Preset(3)}}));

    store.ColorRefusals.clear();
    EXPECT_EQ(Run({L"import", path, L"--colors"}).Out,
              "recoloured in Outlook: Plain (preset1 -> none)\r\n0 added to Outlook, 1 recoloured in Outlook\r\n");
}

TEST_F(FileVerbTest, AFileThatCannotBeUsedChangesNothingAndSkippedRowsAreWarnings)
{
    auto list = ListOf({{L"Red", Preset(0)}});
    source_.AddStore(L"", L"Outlook Data File", list);
    const std::wstring bad = Put(L"bad.csv", L"DisplayName,Color\r\nBlue,preset1\r\nGreen,purple\r\n");
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"import", bad, L"--colors"}, {L"import", bad, L"--json"}}) {
        const TSyncOutput run = Run(arguments);
        EXPECT_EQ(run.Result.Exit, TSyncExit::BadUsage);
        EXPECT_EQ(run.Result.Error, bad + L", line 3: unknown colour \"purple\" (a colour is none, preset0 to "
                                          L"preset24, or a number from 0 to 25)");
    }
    EXPECT_EQ(Run({L"import", bad}).Out, "");
    const TSyncOutput missing = Run({L"import", folder_.Path(L"none.csv"), L"--json"});
    EXPECT_EQ(missing.Result.Exit, TSyncExit::BadUsage);
    EXPECT_NE(missing.Out.find(R"("outlookVersion":null,)"), std::string::npos) << missing.Out;
    ASSERT_TRUE(missing.Result.Error.has_value());
    EXPECT_TRUE(missing.Result.Error->starts_with(folder_.Path(L"none.csv") + L", line 1: "))
        << ToUtf8(*missing.Result.Error) << ": the system's text follows";
    EXPECT_TRUE(source_.Log.empty()) << "no store was even read";

    const std::wstring skipping = Put(L"skip.csv", L"DisplayName\r\n  \r\nBlue\r\nBLUE\r\n");
    const TSyncOutput run = Run({L"import", skipping});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(run.Out, "added to Outlook: Blue\r\n1 added to Outlook\r\n");
    EXPECT_EQ(run.Result.Warnings, (std::vector<std::wstring>{skipping + L", line 2: skipped: the name is blank",
                                                              skipping + L", line 4: skipped: \"BLUE\" is already on line 3"}));
    EXPECT_EQ(list->Names, (std::vector<std::wstring>{L"Red", L"Blue"}));
}

// Windows PowerShell 5.1's Export-Csv writes ASCII unless told otherwise, a
// "?" for each letter ASCII lacks, after its "#TYPE" line and without a mark.
//   https://learn.microsoft.com/powershell/module/microsoft.powershell.utility/export-csv?view=powershell-5.1
TEST_F(FileVerbTest, ALetterAnExportLostIsRefusedBeforeAnyStoreOrWarnedOfAgainstTheTargetsName)
{
    const std::wstring geschaeftlich = L"Gesch\x00E4" L"ftlich";
    auto list = ListOf({{geschaeftlich, Preset(1)}});
    source_.AddStore(L"", L"Outlook Data File", list);
    folder_.Put(L"ascii.csv", "#TYPE Microsoft.Graph.PowerShell.Models.MicrosoftGraphOutlookCategory\r\n"
                              "\"Color\",\"DisplayName\",\"Id\"\r\n\"preset1\",\"Red\",\"1\"\r\n"
                              "\"preset1\",\"Gesch?ftlich\",\"2\"\r\n");
    const std::wstring ascii = folder_.Path(L"ascii.csv");
    for (const wchar_t* dryRun : {L"--dry-run", L"--colors"}) {
        const TSyncOutput run = Run({L"import", ascii, dryRun});
        EXPECT_EQ(run.Result.Exit, TSyncExit::BadUsage);
        EXPECT_EQ(run.Result.Error,
                  ascii + L", line 4: \"Gesch?ftlich\" holds \"?\" where Windows PowerShell 5.1's Export-Csv, in its "
                          L"default ASCII encoding, wrote each letter that ASCII lacks; the file is not imported. "
                          L"Export the list again with Export-Csv -Encoding UTF8, or with PowerShell 7.");
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_TRUE(source_.Log.empty()) << "no store was even read";

    // A file of any other maker: only the target can tell, so it is said and imported as asked.
    const std::wstring other =
        Put(L"other.csv", L"DisplayName, Colour\r\nGesch?ftlich,preset2\r\nB?ro,preset2\r\n");
    const std::wstring mangled = other + L", line 2: \"Gesch?ftlich\" looks like \"" + geschaeftlich +
                                 L"\" with its letters outside ASCII turned into \"?\" by an export that could not "
                                 L"hold them; it would be added beside it. Export the list again in UTF-8 (Windows "
                                 L"PowerShell 5.1: Export-Csv -Encoding UTF8)";
    const std::wstring colour = other + L", line 1: the column \"Colour\" is ignored: only DisplayName and Color are read";
    const TSyncOutput dry = Run({L"import", other, L"--dry-run"});
    EXPECT_EQ(dry.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(dry.Result.Warnings, (std::vector<std::wstring>{colour, mangled}));
    EXPECT_EQ(dry.Out, "would add to Outlook: Gesch?ftlich\r\nwould add to Outlook: B?ro\r\n"
                       "2 would be added to Outlook\r\n");
    EXPECT_EQ(Run({L"import", other}).Result.Warnings, (std::vector<std::wstring>{colour, mangled}));
    EXPECT_EQ(list->Names, (std::vector<std::wstring>{geschaeftlich, L"Gesch?ftlich", L"B?ro"}));
}

TEST(FileVerbCommandLine, TakesTheFileAfterItsVerbAndItsOptionsOnlyWhereTheyApply)
{
    const TSyncRequest import = ParseSyncCommandLine({L"--colors", L"IMPORT", L"--all-stores", L"--registry"});
    EXPECT_TRUE(import.Verb == TSyncVerb::Import && import.File == L"--all-stores" && !import.AllStores &&
                import.Registry && import.Colors)
        << "a file's name is taken as it is";
    const TSyncRequest exported = ParseSyncCommandLine({L"--store", L"Archive", L"export", L"c:\\b.json", L"--json"});
    EXPECT_TRUE(exported.Verb == TSyncVerb::Export && exported.File == L"c:\\b.json" && exported.Json &&
                exported.StoreName == L"Archive");

    const std::pair<std::vector<std::wstring>, std::wstring> bad[] = {
        {{L"import"}, L"no file name after \"import\""},
        {{L"--json", L"Export"}, L"no file name after \"Export\""},
        {{L"export", L"a.csv", L"--dry-run"}, L"unknown option \"--dry-run\" for \"export\", which changes no category"},
        {{L"export", L"a.csv", L"--colors"}, L"unknown option \"--colors\" for \"export\": only \"import\" takes it"},
        {{L"both", L"--registry"}, L"unknown option \"--registry\" for \"both\": only \"import\" takes it"},
        {{L"import", L"a.csv", L"export", L"b.csv"}, L"one verb at a time, not also \"export\""},
    };
    for (const auto& [arguments, message] : bad) {
        try {
            ParseSyncCommandLine(arguments);
            ADD_FAILURE() << "accepted: " << ToUtf8(arguments.front());
        } catch (const ESyncUsageError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}
