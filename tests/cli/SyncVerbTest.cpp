// PellorinSync's verbs in-process, from its command line to the text it
// prints: the real registry (redirected to a scratch key) and stores in
// memory, as Outlook's profile would yield them once it is open.
#include "FakeStores.h"

#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"
#include "cli/SyncRun.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

using namespace std::string_literals;

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::wstring kKey11 = L"Software\\Microsoft\\Office\\11.0\\Outlook\\Categories";
const std::wstring kGreek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
const std::string kGreekUtf8 = "\xCE\x9A\xCF\x8C\xCE\xBA\xCE\xBA\xCE\xB9\xCE\xBD\xCE\xBF";
const std::wstring kJapanese = L"\x4F1A\x8B70";
const std::string kJapaneseUtf8 = "\xE4\xBC\x9A\xE8\xAD\xB0";
const std::string kVersionLine = "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\n";

struct TSyncOutput {
    TSyncResult Result;
    std::string Out;  // what standard output would carry, in UTF-8
};

class SyncVerbTest : public testing::Test {
protected:
    // Outlook's only store, as PellorinSync reads it: through the namespace,
    // its name asked.
    TFakeList& OnlyStore(std::vector<std::wstring> names)
    {
        source_.Stores.clear();
        return *source_.AddStore(L"", L"Outlook Data File", std::make_shared<TFakeList>(std::move(names))).List;
    }

    TSyncOutput Run(const std::vector<std::wstring>& arguments)
    {
        const TSyncRequest request = ParseSyncCommandLine(arguments);
        TProgramState state;
        state.Sources = {&source_};
        state.OutlookVersion = version_;
        state.OutlookMajorVersion = std::string(version_.begin(), version_.begin() + static_cast<long>(version_.find(L'.')));
        TSyncOutput output;
        output.Result.Connected = true;
        std::wstring out;
        RunSyncVerb(request, state, output.Result, [&out](std::wstring_view line) { out += line; });
        out += request.Json ? SyncJsonText(request, output.Result) : SyncPlainText(request, output.Result);
        output.Out = ToUtf8(out);
        return output;
    }

    static std::vector<BYTE> MasterList14()
    {
        const auto value = GetValue(kKey14, L"MasterList");
        return value ? value->bytes : std::vector<BYTE>{};
    }

    ScratchHkcu scratch_;
    TFakeSource source_;
    std::wstring version_ = L"14.0.7015.1000";
};

}  // namespace

TEST_F(SyncVerbTest, JsonOfListAndBothKeepsEveryNameExactly)
{
    PutValue(kKey14, L"MasterList", REG_BINARY,
             Utf16Bytes(L"Say \"hi\";C:\\Mail\\;Tab\there\x01" L"end;" + kGreek + L";"));
    TFakeList& store = OnlyStore({kJapanese, L"Two\r\nlines", L"A;B"});
    const std::string quoted = R"("Say \"hi\"")", slashed = R"("C:\\Mail\\")", controls = R"("Tab\there\u0001end")",
                      lines = R"("Two\r\nlines")", greek = "\"" + kGreekUtf8 + "\"",
                      japanese = "\"" + kJapaneseUtf8 + "\"";

    const TSyncOutput list = Run({L"list", L"--json"});
    EXPECT_EQ(list.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(list.Out, R"({"command":"list","dryRun":false,"outlookVersion":"14.0.7015.1000","outlookMajor":"14",)"
                        R"("storeInUse":true,"registryNames":[)" +
                            slashed + "," + quoted + "," + controls + "," + greek + R"(],"storeNames":["A;B",)" +
                            lines + "," + japanese +
                            R"(],"addedToOutlook":[],"addedToRegistry":[],"notCopiedToRegistry":[],"refusedByOutlook":[],)"
                            R"("stores":[{"name":"Outlook Data File","default":true,"readable":true,"error":null,)"
                            R"("names":["A;B",)" + lines + "," + japanese + R"(],"addedNames":[]}],"registryUnreadable":[],"error":null})"
                            "\r\n");

    const TSyncOutput both = Run({L"both", L"--json"});
    EXPECT_EQ(both.Result.Exit, TSyncExit::Done);
    const std::string added = slashed + "," + quoted + "," + controls;
    EXPECT_EQ(both.Out, R"({"command":"both","dryRun":false,"outlookVersion":"14.0.7015.1000","outlookMajor":"14",)"
                        R"("storeInUse":true,"registryNames":[)" +
                            added + "," + lines + "," + greek + "," + japanese + R"(],"storeNames":["A;B",)" + added +
                            "," + lines + "," + greek + "," + japanese + R"(],"addedToOutlook":[)" + added + "," +
                            greek + R"(],"addedToRegistry":[)" + lines + "," + japanese +
                            R"(],"notCopiedToRegistry":["A;B"],"refusedByOutlook":[],)"
                            R"("stores":[{"name":"Outlook Data File","default":true,"readable":true,"error":null,)"
                            R"("names":["A;B",)" + added + "," + lines + "," + greek + "," + japanese +
                            R"(],"addedNames":[)" + added + "," + greek + R"(]}],"registryUnreadable":[],"error":null})"
                            "\r\n");
    EXPECT_EQ(store.Names, (std::vector<std::wstring>{kJapanese, L"Two\r\nlines", L"A;B", L"C:\\Mail\\",
                                                      L"Say \"hi\"", L"Tab\there\x01" L"end", kGreek}));
}

TEST_F(SyncVerbTest, PlainLinesShowEveryControlCharacterOfANameAsAReplacement)
{
    const std::string shown = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Tab\there;"));
    OnlyStore({L"Evil\r\nadded to Outlook: Fake", L"Del\x7F;X"});
    const TSyncOutput both = Run({L"both"});
    EXPECT_EQ(both.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(both.Out, "added to Outlook: Tab" + shown + "here\r\n" +
                            "added to registry: Evil" + shown + shown + "added to Outlook: Fake\r\n" +
                            "not copied to registry (holds \";\"): Del" + shown + ";X\r\n" +
                            "1 added to Outlook, 1 added to the registry\r\n");
}

TEST_F(SyncVerbTest, Outlook2003ListsTheRegistryAndRefusesEveryCopy)
{
    version_ = L"11.0";
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;"));
    OnlyStore({L"Blue"});
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"to-outlook"}, {L"to-registry", L"--dry-run"}, {L"both"}}) {
        const TSyncOutput run = Run(arguments);
        EXPECT_EQ(run.Result.Exit, TSyncExit::StoreNotInUse);
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Result.Error, L"Your version of Outlook is not using the PST to store categories.");
    }
    const TSyncOutput list = Run({L"list"});
    EXPECT_EQ(list.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(list.Out, "Outlook version detected: Outlook 2003 (11.0)\r\nregistry: Red\r\n"
                        "Your version of Outlook is not using the PST to store categories.\r\n");
    EXPECT_TRUE(source_.Log.empty()) << "the store is never read";
    EXPECT_EQ(GetValue(kKey11, L"MasterList")->bytes, Utf16Bytes(L"Red;"));
    EXPECT_FALSE(GetValue(kKey14, L"MasterList").has_value());
}

TEST_F(SyncVerbTest, ARefusedNameIsListedAndDoesNotStopTheOthers)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B;C;D;E;"));
    TFakeList& store = OnlyStore({L"Z"});
    source_.Stores.front()->Refusals[L"C"] = L"The category could not be added";
    const TSyncOutput run = Run({L"both"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
    EXPECT_EQ(run.Out, "added to Outlook: A\r\nadded to Outlook: B\r\n"
                       "Outlook refused: C - The category could not be added\r\n"
                       "added to Outlook: D\r\nadded to Outlook: E\r\nadded to registry: Z\r\n"
                       "4 added to Outlook, 1 added to the registry\r\n");
    EXPECT_FALSE(run.Result.Error.has_value()) << "refused names alone are no error";
    EXPECT_EQ(store.Names, (std::vector<std::wstring>{L"Z", L"A", L"B", L"D", L"E"}));
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;B;C;D;E;Z;"));

    // Asked again, Outlook refuses again, and nothing else is left to do.
    const TSyncOutput again = Run({L"to-outlook", L"--json"});
    EXPECT_EQ(again.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(again.Out.find(R"("addedToOutlook":[],"addedToRegistry":[],"notCopiedToRegistry":[],)"
                             R"("refusedByOutlook":[{"name":"C","error":"The category could not be added",)"
                             R"("store":"Outlook Data File"}],"stores":)"),
              std::string::npos)
        << again.Out;
}

TEST_F(SyncVerbTest, ARefusedRegistryWriteIsReportedOnOneLine)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;"));
    OnlyStore({L"B"});
    const RestrictedKey locked(kKey14, kDenyWrite);
    const TSyncOutput run = Run({L"to-registry"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
    EXPECT_EQ(run.Result.Error, L"Failed to create key Error Code: 5.");
    const TSyncOutput json = Run({L"to-registry", L"--json"});
    EXPECT_EQ(json.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(json.Out.find(R"(,"error":"Failed to create key Error Code: 5."})"), std::string::npos) << json.Out;
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;"));
}

// The store a list was asked for, by default or by name, is its whole answer:
// one that cannot be read fails the run, as a copy's store does, and says so
// in JSON's error too. Among all stores one such store is only a line.
TEST_F(SyncVerbTest, AListOfOneStoreThatCannotBeReadFails)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;"));
    source_.AddStore(L"00A1", L"Mailbox").Unreadable = L"Not connected";
    source_.AddStore(L"00A2", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"B"}));
    source_.AddStore(L"00A3", L"Public", std::make_shared<TFakeList>(std::vector<std::wstring>{L"C"}));
    const std::wstring error = L"The Outlook store Mailbox could not be read: Not connected.";

    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"list"}, std::vector<std::wstring>{L"list", L"--store", L"mailbox"}}) {
        const TSyncOutput run = Run(arguments);
        EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
        EXPECT_EQ(run.Result.Error, error);
        EXPECT_EQ(run.Out, kVersionLine + "registry: R\r\nOutlook (Mailbox) could not be read: Not connected\r\n");
    }
    const TSyncOutput json = Run({L"list", L"--json"});
    EXPECT_EQ(json.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(json.Out.find(R"("storeNames":null,)"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"("name":"Mailbox","default":true,"readable":false,"error":"Not connected")"),
              std::string::npos)
        << json.Out;
    EXPECT_TRUE(json.Out.ends_with(R"("error":"The Outlook store Mailbox could not be read: Not connected."})"
                                   "\r\n"))
        << json.Out;

    const TSyncOutput all = Run({L"list", L"--all-stores"});
    EXPECT_EQ(all.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(all.Result.Error, std::nullopt);
    EXPECT_EQ(Run({L"list", L"--store", L"archive"}).Result.Exit, TSyncExit::Done);
}

TEST_F(SyncVerbTest, StoreOrAllStoresWithEveryVerb)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;"));
    auto mailbox = std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"});
    auto archive = std::make_shared<TFakeList>(std::vector<std::wstring>{L"B"});
    mailbox->Colors = {TCategoryColor::FromOutlook(5)};
    archive->Colors = {TCategoryColor::FromOutlook(17)};
    source_.AddStore(L"00A1", L"Mailbox", mailbox);
    source_.AddStore(L"00A2", L"Archive", archive);
    source_.AddStore(L"00A3", L"Public").Unreadable = L"Not connected";
    const std::string unreadable = "Outlook (Public) could not be read: Not connected\r\n";

    EXPECT_EQ(Run({L"list", L"--store", L"archive"}).Out, kVersionLine + "registry: R\r\nOutlook: B\r\n");
    EXPECT_EQ(Run({L"list", L"--all-stores"}).Out,
              kVersionLine + "registry: R\r\nOutlook (Mailbox): A\r\nOutlook (Archive): B\r\n" + unreadable);
    EXPECT_EQ(Run({L"to-outlook", L"--store", L"Archive", L"--dry-run"}).Out,
              "would add to Outlook: R\r\n1 would be added to Outlook\r\n");
    EXPECT_EQ(Run({L"list", L"--store", L"public"}).Out, kVersionLine + "registry: R\r\n" + unreadable);
    struct TFailure {
        std::vector<std::wstring> Arguments;
        std::string Out;
        std::wstring Error;
    };
    for (const TFailure& failure :
         {TFailure{{L"both", L"--store", L"public"}, "0 added to Outlook, 0 added to the registry\r\n",
                   L"The Outlook store Public could not be read: Not connected."},
          // No store's names stand for the one asked for.
          TFailure{{L"list", L"--store", L"Nowhere"}, kVersionLine + "registry: R\r\n",
                   L"No Outlook store is named \"Nowhere\". The stores are: \"Mailbox\", \"Archive\", \"Public\"."}}) {
        const TSyncOutput run = Run(failure.Arguments);
        EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
        EXPECT_EQ(run.Out, failure.Out);
        EXPECT_EQ(run.Result.Error, failure.Error);
    }
    EXPECT_TRUE(source_.Logged(L"add ").empty());
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"R;"));

    EXPECT_EQ(Run({L"to-registry", L"--all-stores"}).Out,
              "added to registry: A\r\nadded to registry: B\r\n" + unreadable + "2 added to the registry\r\n");
    EXPECT_EQ(Run({L"both", L"--all-stores", L"--dry-run"}).Out,
              "would add to Outlook (Mailbox): B\r\nwould add to Outlook (Mailbox): R\r\n"
              "would add to Outlook (Archive): A\r\nwould add to Outlook (Archive): R\r\n" +
                  unreadable + "4 would be added to Outlook, 0 would be added to the registry\r\n");
    const TSyncOutput both = Run({L"both", L"--all-stores", L"--json"});
    EXPECT_EQ(both.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(both.Out,
              R"({"command":"both","dryRun":false,"outlookVersion":"14.0.7015.1000","outlookMajor":"14",)"
              R"("storeInUse":true,"registryNames":["A","B","R"],"storeNames":["A","B","R"],)"
              R"("addedToOutlook":["B","R","A"],"addedToRegistry":[],"notCopiedToRegistry":[],"refusedByOutlook":[],"stores":[)"
              R"({"name":"Mailbox","default":true,"readable":true,"error":null,"names":["A","B","R"],)"
              R"("addedNames":["B","R"]},)"
              R"({"name":"Archive","default":false,"readable":true,"error":null,"names":["A","B","R"],)"
              R"("addedNames":["A","R"]},)"
              R"({"name":"Public","default":false,"readable":false,"error":"Not connected","names":null,)"
              R"("addedNames":[]}],"registryUnreadable":[],"error":null})"
              "\r\n");
    // Each name from the other store came with its colour there; R, from the registry alone, with the store's pick.
    EXPECT_EQ(mailbox->Colors, (std::vector<std::optional<TCategoryColor>>{TCategoryColor::FromOutlook(5),
                                                                            TCategoryColor::FromOutlook(17),
                                                                            std::nullopt}));
    EXPECT_EQ(archive->Colors, (std::vector<std::optional<TCategoryColor>>{TCategoryColor::FromOutlook(17),
                                                                            TCategoryColor::FromOutlook(5),
                                                                            std::nullopt}));
}

TEST_F(SyncVerbTest, OverSeveralStoresEachRefusalNamesItsStore)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;S;"));
    source_.AddStore(L"00A1", L"Mailbox", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}))
        .Refusals[L"S"] = L"The name is too long";
    source_.AddStore(L"00A2", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}))
        .Refusals[L"S"] = L"The name is too long";
    const TSyncOutput run = Run({L"to-outlook", L"--all-stores"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
    EXPECT_EQ(run.Out, "added to Outlook (Mailbox): R\r\nOutlook (Mailbox) refused: S - The name is too long\r\n"
                       "added to Outlook (Archive): R\r\nOutlook (Archive) refused: S - The name is too long\r\n"
                       "2 added to Outlook\r\n");
    const TSyncOutput json = Run({L"to-outlook", L"--all-stores", L"--json"});
    EXPECT_NE(json.Out.find(R"("refusedByOutlook":[{"name":"S","error":"The name is too long","store":"Mailbox"},)"
                            R"({"name":"S","error":"The name is too long","store":"Archive"}],)"),
              std::string::npos)
        << json.Out;
}

// Outlook may give a store's StoreID in another letter case, and its stores in
// another order, when the copy's closing Refresh reads them again: what was
// added to a store, and what it refused, stays with that store.
TEST_F(SyncVerbTest, WhatEachStoreGainedOrRefusedStaysWithItAfterTheClosingRefresh)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;S;"));
    source_.AddStore(L"00ab01", L"Mailbox", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}));
    source_.AddStore(L"00ab02", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"B"}))
        .Refusals[L"S"] = L"The name is too long";
    int reads = 0;
    source_.BeforeRead = [&reads](TFakeSource& source) {
        if (++reads == 2) {
            for (const auto& store : source.Stores) {
                for (wchar_t& c : store->Key)
                    c = static_cast<wchar_t>(towupper(c));
            }
            std::swap(source.Stores.front(), source.Stores.back());
        }
    };
    const TSyncOutput run = Run({L"to-outlook", L"--all-stores", L"--json"});
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(run.Out.find(R"("refusedByOutlook":[{"name":"S","error":"The name is too long","store":"Archive"}],)"
                           R"("stores":[{"name":"Archive","default":true,"readable":true,"error":null,)"
                           R"("names":["B","R"],"addedNames":["R"]},)"
                           R"({"name":"Mailbox","default":false,"readable":true,"error":null,"names":["A","R","S"],)"
                           R"("addedNames":["R","S"]}],)"),
              std::string::npos)
        << run.Out;
}

// Each type a master list can be stored as, in the detected version's key
// (which a copy writes) and in an older one. A list Pellorin cannot read is
// left out and said, and the run fails however the rest went; the registry
// half of a copy that would write such a key adds nothing, and the stores'
// half still runs.
TEST_F(SyncVerbTest, AMasterListOfATypeThatHoldsNoListIsSaidAndFailsEveryVerb)
{
    struct TTypeCase {
        DWORD Type;
        std::vector<BYTE> Bytes;
        bool Readable;
    };
    const TTypeCase types[] = {
        {REG_BINARY, Utf16Bytes(L"Green;Purple;"), true},
        {REG_SZ, Utf16Bytes(L"Green;Purple;\0"s), true},
        {REG_EXPAND_SZ, Utf16Bytes(L"Green;Purple;\0"s), true},
        {REG_MULTI_SZ, Utf16Bytes(L"Green\0Purple\0\0"s), false},
        {REG_DWORD, {1, 0, 0, 0}, false},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
        {REG_NONE, Utf16Bytes(L"Green;Purple;"), false},
    };
    for (const TTypeCase& type : types) {
        for (const bool detected : {true, false}) {
            SCOPED_TRACE(ToUtf8(RegistryTypeName(type.Type)) + (detected ? " in 14.0" : " in 11.0"));
            const std::wstring& oddKey = detected ? kKey14 : kKey11;
            const std::wstring& otherKey = detected ? kKey11 : kKey14;
            const auto reset = [&] {
                PutValue(oddKey, L"MasterList", type.Type, type.Bytes);
                PutValue(otherKey, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;"));
                OnlyStore({L"Blue"});
            };
            const TSyncExit exit = type.Readable ? TSyncExit::Done : TSyncExit::Failed;
            const std::string unreadable =
                type.Readable ? "[]"
                              : R"([{"version":")" + std::string(detected ? "14.0" : "11.0") + R"(","type":")" +
                                    ToUtf8(RegistryTypeName(type.Type)) + R"("}])";
            const bool writable = type.Readable || !detected;
            const std::string others = type.Readable ? "would add to Outlook: Green\r\nwould add to Outlook: Purple\r\n" : "";

            reset();
            const TSyncOutput list = Run({L"list", L"--json"});
            EXPECT_EQ(list.Result.Exit, exit);
            EXPECT_NE(list.Out.find(type.Readable ? R"("registryNames":["Green","Purple","Red"])"
                                                  : R"("registryNames":["Red"])"),
                      std::string::npos)
                << list.Out;
            EXPECT_NE(list.Out.find(R"(,"registryUnreadable":)" + unreadable + R"(,"error":null})"), std::string::npos)
                << list.Out;
            if (!type.Readable) {
                EXPECT_EQ(UnreadableMasterListText(list.Result.RegistryUnreadable.at(0)),
                          L"The master list of Outlook " + std::wstring(detected ? L"14.0" : L"11.0") +
                              L" is stored as " + RegistryTypeName(type.Type) +
                              L", which Pellorin cannot read, so its names are left out.");
            }

            const TSyncOutput dry = Run({L"both", L"--dry-run"});
            EXPECT_EQ(dry.Result.Exit, exit);
            EXPECT_EQ(dry.Out, others + "would add to Outlook: Red\r\n" +
                                   (writable ? "would add to registry: Blue\r\n" : "") +
                                   (type.Readable ? "3" : "1") + " would be added to Outlook, " +
                                   (writable ? "1" : "0") + " would be added to the registry\r\n");
            EXPECT_FALSE(dry.Result.Error.has_value());

            const TSyncOutput toOutlook = Run({L"to-outlook"});
            EXPECT_EQ(toOutlook.Result.Exit, exit);
            EXPECT_FALSE(toOutlook.Result.Error.has_value());
            EXPECT_EQ(GetValue(oddKey, L"MasterList"), (RegistryValue{type.Type, type.Bytes}));

            reset();
            const TSyncOutput both = Run({L"both"});
            EXPECT_EQ(both.Result.Exit, exit);
            EXPECT_EQ(source_.Stores.front()->List->Names.back(), L"Red") << "the stores' half ran";
            if (writable) {
                EXPECT_FALSE(both.Result.Error.has_value());
                EXPECT_EQ(both.Result.AddedToRegistry, std::vector<std::wstring>{L"Blue"});
            } else {
                EXPECT_EQ(both.Out, "added to Outlook: Red\r\n1 added to Outlook, 0 added to the registry\r\n");
                EXPECT_EQ(both.Result.Error, L"The master list of Outlook 14.0 is not stored as binary data or "
                                             L"text, so it was left unchanged.");
                EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{type.Type, type.Bytes}));
            }
            if (type.Type == REG_EXPAND_SZ && detected) {
                EXPECT_EQ(GetValue(kKey14, L"MasterList"),
                          (RegistryValue{REG_EXPAND_SZ, Utf16Bytes(L"Green;Purple;Blue;Red;\0"s)}));
            }
        }
    }
}

// Three stores, two of them named alike and one named as the numbering would
// name the second: each line, each JSON name and --store mean one store.
TEST_F(SyncVerbTest, EachStoreHasANameOfItsOwnInEveryLineAndForStore)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;"));
    source_.AddStore(L"00A1", L"Main", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}));
    auto second = source_.AddStore(L"00A2", L"Main", std::make_shared<TFakeList>(std::vector<std::wstring>{L"B"})).List;
    auto third = source_.AddStore(L"00A3", L"Main (2)", std::make_shared<TFakeList>(std::vector<std::wstring>{L"C"})).List;

    EXPECT_EQ(Run({L"list", L"--all-stores"}).Out,
              kVersionLine + "registry: R\r\nOutlook (Main): A\r\nOutlook (Main (3)): B\r\nOutlook (Main (2)): C\r\n");
    const TSyncOutput json = Run({L"list", L"--all-stores", L"--json"});
    EXPECT_NE(json.Out.find(R"("stores":[{"name":"Main",)"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"x(},{"name":"Main (3)",)x"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"x(},{"name":"Main (2)",)x"), std::string::npos) << json.Out;

    const TSyncOutput toThird = Run({L"to-outlook", L"--store", L"main (2)"});
    EXPECT_EQ(toThird.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(third->Names, (std::vector<std::wstring>{L"C", L"R"})) << "the store really named so";
    EXPECT_EQ(second->Names, std::vector<std::wstring>{L"B"});
    EXPECT_EQ(Run({L"to-outlook", L"--store", L"Main (3)"}).Result.Exit, TSyncExit::Done);
    EXPECT_EQ(second->Names, (std::vector<std::wstring>{L"B", L"R"}));

    // A name no store has: the entry names, each in quotes, cleaned where they are shown.
    source_.AddStore(L"00A4", L"");
    source_.AddStore(L"00A5", L"Tab\there");
    const TSyncOutput nowhere = Run({L"list", L"--store", L"Nowhere"});
    EXPECT_EQ(nowhere.Result.Exit, TSyncExit::Failed);
    EXPECT_EQ(SyncErrorText(*nowhere.Result.Error),
              L"PellorinSync: No Outlook store is named \"Nowhere\". The stores are: \"Main\", \"Main (3)\", "
              L"\"Main (2)\", \"(no name)\", \"Tab\xFFFDhere\".\r\n");
    EXPECT_EQ(Run({L"list", L"--store", L"tab\xFFFDHERE"}).Out, kVersionLine + "registry: R\r\n")
        << "the shown form names the store";
    EXPECT_EQ(Run({L"list", L"--store", L"(No Name)"}).Result.Exit, TSyncExit::Done);
}
