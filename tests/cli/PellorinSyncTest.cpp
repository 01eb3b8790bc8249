// The real PellorinSync.exe, started as a child process with its output piped,
// against the Outlook stand-in registered as "Outlook.Application" and the
// Office keys in the build's Wine prefix. Skipped outside Wine, where it would
// touch the user's Office keys.
#include "base/ProductInfo.h"
#include "base/UserMutex.h"
#include "commands/Commands.h"
#include "listfile/ListFileSupport.h"
#include "standins/outlook/StandInControl.h"

#include "support/ScratchHkcu.h"
#include "support/SyncProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::string_literals;

#ifndef PELLORIN_SYNC_EXE
#error "PELLORIN_SYNC_EXE names the program under test"
#endif

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::wstring kKey11 = L"Software\\Microsoft\\Office\\11.0\\Outlook\\Categories";
const std::string kStoreNotInUse = "Your version of Outlook is not using the PST to store categories.";
const std::string kNotInstalledHint = "Classic Outlook (2007 to Microsoft 365) is not installed for this user. The new "
                                      "Outlook for Windows cannot be used by other programs.";
const std::wstring kGreek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
const std::string kGreekUtf8 = "\xCE\x9A\xCF\x8C\xCE\xBA\xCE\xBA\xCE\xB9\xCE\xBD\xCE\xBF";
const std::wstring kJapanese = L"\x4F1A\x8B70";
const std::string kJapaneseUtf8 = "\xE4\xBC\x9A\xE8\xAD\xB0";

std::wstring ExePath()
{
    return WindowsPath(PELLORIN_SYNC_EXE);
}

// Every run must leave Outlook free to end.
TSyncRun RunPellorinSync(const std::string& arguments)
{
    const TSyncRun run = TSyncProcess(ExePath(), arguments).Finish();
    EXPECT_TRUE(WaitForStandInExit()) << "PellorinSync " << arguments << " kept Outlook running";
    return run;
}

std::vector<BYTE> MasterList14()
{
    const auto value = GetValue(kKey14, L"MasterList");
    return value ? value->bytes : std::vector<BYTE>{};
}

bool WasRejected()
{
    const auto log = ReadStandInLog();
    return std::any_of(log.begin(), log.end(), [](const TStandInRequest& r) { return r.Event == L"reject"; });
}

bool WasAsked(const wchar_t* member)
{
    const auto log = ReadStandInRequests();
    return std::any_of(log.begin(), log.end(),
                       [&](const TStandInRequest& r) { return r.Event == L"lookup" && r.Member == member; });
}

// The names of the lines that start with prefix, of every run, sorted.
std::vector<std::string> NamesOfLines(const std::vector<TSyncRun>& runs, const std::string& prefix)
{
    std::vector<std::string> names;
    for (const TSyncRun& run : runs) {
        std::istringstream lines(run.Out);
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with(prefix) && line.ends_with("\r"))
                names.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void DeleteOfficeKeys()
{
    for (const wchar_t* version : {L"9.0", L"10.0", L"11.0", L"12.0", L"14.0", L"15.0", L"16.0"})
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Microsoft\\Office\\" + std::wstring(version)).c_str());
}

}  // namespace

class PellorinSyncTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!IsRunningUnderWine())
            GTEST_SKIP() << "runs PellorinSync.exe against the Office registry keys: only inside Wine's prefix";
        registration_ = std::make_unique<TStandInRegistration>();
        DeleteOfficeKeys();
    }

    void TearDown() override
    {
        if (!IsRunningUnderWine())
            return;
        registration_.reset();
        DeleteOfficeKeys();
    }

    // The master list of the version's key, and the store of Outlook of that version.
    static void Prepare(const std::wstring& registryList, std::vector<std::wstring> storeNames,
                        std::vector<TStandInAddFault> faults = {}, const std::wstring& version = L"14.0.7015.1000")
    {
        DeleteOfficeKeys();
        PutValue(version.starts_with(L"11.") ? kKey11 : kKey14, L"MasterList", REG_BINARY, Utf16Bytes(registryList));
        TStandInState state;
        state.Version = version;
        state.Names = std::move(storeNames);
        state.AddFaults = std::move(faults);
        WriteStandInState(state);
        ClearStandInLog();
    }

    std::unique_ptr<TStandInRegistration> registration_;
};

TEST_F(PellorinSyncTest, ListShowsTheVersionAndTheNamesOfBothSides)
{
    Prepare(L"A;B;", {L"B", L"C"});
    const TSyncRun run = RunPellorinSync("list");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Out, "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\n"
                       "registry: A\r\nregistry: B\r\nOutlook: B\r\nOutlook: C\r\n");
    EXPECT_EQ(run.Err, "");
}

struct TCopyCase {
    const char* Verb;
    const char* DryOut;
    const char* RealOut;
    std::vector<std::wstring> StoreAfter;
    const wchar_t* RegistryAfter;
};

TEST_F(PellorinSyncTest, EachCopyVerbFirstDryThenForReal)
{
    const TCopyCase cases[] = {
        {"to-outlook", "would add to Outlook: A\r\n1 would be added to Outlook\r\n",
         "added to Outlook: A\r\n1 added to Outlook\r\n", {L"B", L"C", L"A"}, L"A;B;"},
        {"to-registry", "would add to registry: C\r\n1 would be added to the registry\r\n",
         "added to registry: C\r\n1 added to the registry\r\n", {L"B", L"C"}, L"A;B;C;"},
        {"both",
         "would add to Outlook: A\r\nwould add to registry: C\r\n"
         "1 would be added to Outlook, 1 would be added to the registry\r\n",
         "added to Outlook: A\r\nadded to registry: C\r\n1 added to Outlook, 1 added to the registry\r\n",
         {L"B", L"C", L"A"}, L"A;B;C;"},
    };
    for (const TCopyCase& c : cases) {
        SCOPED_TRACE(c.Verb);
        Prepare(L"A;B;", {L"B", L"C"});
        const TSyncRun dry = RunPellorinSync(std::string(c.Verb) + " --dry-run");
        EXPECT_EQ(dry.ExitCode, 0u);
        EXPECT_EQ(dry.Out, c.DryOut);
        EXPECT_FALSE(WasAsked(L"Add"));
        EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"B", L"C"}));
        EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;B;"));

        const TSyncRun real = RunPellorinSync(c.Verb);
        EXPECT_EQ(real.ExitCode, 0u);
        EXPECT_EQ(real.Out, c.RealOut);
        EXPECT_EQ(real.Err, "");
        EXPECT_EQ(ReadStandInNames(), c.StoreAfter);
        EXPECT_EQ(MasterList14(), Utf16Bytes(c.RegistryAfter));
    }
}

TEST_F(PellorinSyncTest, OutlooksOwnTextsNeitherForgeLinesNorDriveTheTerminal)
{
    const std::string shown = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
    Prepare(L"Bad\x1B[2J;", {}, {{L"Bad\x1B[2J", L"Denied\r\nadded to Outlook: Forged\x1B[2J\x9B" L"2J"}},
            L"14.0.1\x1B]0;x\x07");
    const TSyncRun list = RunPellorinSync("list");
    EXPECT_EQ(list.Out.substr(0, list.Out.find('\n') + 1),
              "Outlook version detected: Outlook 2010 (14.0.1" + shown + "]0;x" + shown + ")\r\n");
    const TSyncRun run = RunPellorinSync("to-outlook");
    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Out, "Outlook refused: Bad" + shown + "[2J - Denied" + shown + shown + "added to Outlook: Forged" +
                           shown + "[2J" + shown + "2J\r\n0 added to Outlook\r\n");

    // Standard error, here with the user's own argument in the message.
    const TSyncRun named = RunPellorinSync("list --store \"No\x1B[2Jwhere\"");
    EXPECT_EQ(named.ExitCode, 1u);
    EXPECT_NE(named.Err.find("\"No" + shown + "[2Jwhere\""), std::string::npos) << named.Err;
    EXPECT_EQ(named.Err.find('\x1B'), std::string::npos) << named.Err;
}

TEST_F(PellorinSyncTest, RedirectedOutputIsUtf8WithoutAByteOrderMark)
{
    Prepare(kGreek + L";" + kJapanese + L";", {L"Caf\x00E9", L"\x0416\x0451\x043B\x0442\x044B\x0439"});
    const TSyncRun run = RunPellorinSync("both");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Out, "added to Outlook: " + kGreekUtf8 + "\r\nadded to Outlook: " + kJapaneseUtf8 +
                           "\r\nadded to registry: Caf\xC3\xA9\r\n"
                           "added to registry: \xD0\x96\xD1\x91\xD0\xBB\xD1\x82\xD1\x8B\xD0\xB9\r\n"
                           "2 added to Outlook, 2 added to the registry\r\n");
}

TEST_F(PellorinSyncTest, WithoutOutlookEveryVerbFailsAndListStillReportsTheRegistry)
{
    Prepare(L"B;A;", {});
    registration_.reset();
    char system[256] = {};
    std::string expected = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          0x800401F3u, 0, system, sizeof(system), nullptr)
                               ? system
                               : "OLE error 800401F3";
    while (!expected.empty() && (static_cast<unsigned char>(expected.back()) < '!' || expected.back() == '.'))
        expected.pop_back();
    expected += ".";
    const std::string unknown = R"("dryRun":false,"outlookVersion":null,"outlookMajor":null,"storeInUse":false,)";
    const std::string rest = R"(,"storeNames":null,"addedToOutlook":[],"addedToRegistry":[],)"
                             R"("notCopiedToRegistry":[],"refusedByOutlook":[],"stores":[],"registryUnreadable":[],"error":")" + expected +
                             "\\r\\n\\r\\n" + kNotInstalledHint + "\"}\r\n";
    const std::pair<const char*, std::string> runs[] = {
        {"list", "registry: A\r\nregistry: B\r\n"},
        {"list --json", R"({"command":"list",)" + unknown + R"("registryNames":["A","B"])" + rest},
        {"both", ""},
        {"both --json", R"({"command":"both",)" + unknown + R"("registryNames":null)" + rest},
    };
    for (const auto& [verb, out] : runs) {
        const TSyncRun run = RunPellorinSync(verb);
        EXPECT_EQ(run.ExitCode, 1u) << verb;
        EXPECT_EQ(run.Out, out) << verb;
        EXPECT_EQ(run.Err, "PellorinSync: " + expected + "\r\n\r\n" + kNotInstalledHint + "\r\n") << verb;
    }
}

TEST_F(PellorinSyncTest, Outlook2003RefusesACopyWithExitCodeThree)
{
    Prepare(L"Red;", {L"Blue"}, {}, L"11.0");
    const TSyncRun run = RunPellorinSync("both");
    EXPECT_EQ(run.ExitCode, 3u);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "PellorinSync: " + kStoreNotInUse + "\r\n");
    EXPECT_FALSE(WasAsked(L"Categories")) << "the store is never read";
    EXPECT_EQ(GetValue(kKey11, L"MasterList")->bytes, Utf16Bytes(L"Red;"));
}

TEST_F(PellorinSyncTest, WaitsForABusyOutlookUpToTheWaitGiven)
{
    Prepare(L"A;", {L"B"});
    TStandInState state = ReadStandInState();
    state.BusyMilliseconds = 3000;
    for (const bool retryLater : {false, true}) {
        SCOPED_TRACE(retryLater ? "retry later" : "rejected");
        state.BusyRetryLater = retryLater;
        WriteStandInState(state);
        ClearStandInLog();
        const TSyncRun run = RunPellorinSync("list");
        EXPECT_EQ(run.ExitCode, 0u) << run.Err;
        EXPECT_EQ(run.Out, "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\nregistry: A\r\nOutlook: B\r\n");
        EXPECT_TRUE(WasRejected()) << "Outlook was busy while it was asked";
    }

    // Busy once the version is known, longer than PellorinSync waits.
    state.BusyAfterCalls = 3;
    state.BusyMilliseconds = 20000;
    WriteStandInState(state);
    const TSyncRun run = RunPellorinSync("both --wait 2");
    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Out, "0 added to Outlook, 0 added to the registry\r\n");
    EXPECT_EQ(run.Err.substr(0, 14), "PellorinSync: ");
    EXPECT_NE(run.Err.find(".\r\n\r\nOutlook stayed busy for 2 seconds. If a dialog box is open in Outlook, close it, "
                           "then try again.\r\n"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;")) << "nothing was written";
}

// A log is true up to the moment a run ends, however it ends: each line is
// out as its name is added, and an Outlook that goes during an Add leaves that
// name's fate open, and says so.
TEST_F(PellorinSyncTest, EachLineIsOutAsItHappensAndAnOutlookClosedDuringAnAddIsSaid)
{
    Prepare(L"A;B;C;D;E;F;", {});
    TStandInState slow = ReadStandInState();
    slow.DelayMilliseconds = 100;
    WriteStandInState(slow);
    TSyncRun run;
    {
        // Started as the user starts Outlook: Wine keeps the registration of
        // a killed server that COM started, and would fail every later start.
        TRunningStandIn outlook;
        TSyncProcess child(ExePath(), "to-outlook");
        EXPECT_TRUE(child.WaitForOutput("added to Outlook: A\r\n", 30000)) << "the first line came only at the end";
        TerminateStandIns();
        run = child.Finish();
    }
    EXPECT_EQ(run.ExitCode, 1u);
    const std::vector<std::wstring> added = ReadStandInNames();
    std::string lines;
    for (const std::wstring& name : added)
        lines += "added to Outlook: " + ToUtf8(name) + "\r\n";
    EXPECT_EQ(run.Out, lines + std::to_string(added.size()) + " added to Outlook\r\n")
        << "every name Outlook holds, and no other, then the summary";
    ASSERT_LT(added.size(), 6u);
    const std::string next = ToUtf8(std::wstring(1, static_cast<wchar_t>(L'A' + added.size())));
    EXPECT_EQ(run.Err, "PellorinSync: Outlook was closed while adding " + next +
                           "; it may or may not have been added.\r\n\r\nOutlook was closed while Pellorin was "
                           "working with it. Start Outlook, then run PellorinSync again.\r\n");
}

// Said on standard error, and the run fails, though all else went well.
TEST_F(PellorinSyncTest, AMasterListPellorinCannotReadFailsTheRun)
{
    Prepare(L"A;", {L"B"});
    PutValue(kKey11, L"MasterList", REG_MULTI_SZ, Utf16Bytes(L"Green\0Purple\0\0"s));
    const TSyncRun run = RunPellorinSync("to-outlook --dry-run");
    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Out, "would add to Outlook: A\r\n1 would be added to Outlook\r\n");
    EXPECT_EQ(run.Err, "PellorinSync: The master list of Outlook 11.0 is stored as REG_MULTI_SZ, which Pellorin "
                       "cannot read, so its names are left out.\r\n");
}

TEST_F(PellorinSyncTest, BadUsageExitsWithTwoAndTheUsageOnStandardError)
{
    for (const char* arguments : {"sync", "both --force", "", "list --wait 3601"}) {
        const TSyncRun run = RunPellorinSync(arguments);
        EXPECT_EQ(run.ExitCode, 2u) << arguments;
        EXPECT_EQ(run.Out, "");
        EXPECT_NE(run.Err.find("\r\nUsage:\r\n  PellorinSync list        [--json]\r\n"), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(ReadStandInLog().empty()) << "Outlook is not even started";
    const TSyncRun version = RunPellorinSync("--version");
    EXPECT_EQ(version.ExitCode, 0u);
    EXPECT_EQ(version.Out, "PellorinSync " PELLORIN_VERSION "\r\n");
}

// A logon script and a scheduled task at once: the copy that comes second
// waits for the first, then finds its names and adds none of them again.
TEST_F(PellorinSyncTest, TwoCopiesAtOnceAddEachNameOnce)
{
    std::wstring registry;
    std::vector<std::wstring> store, registryNames;
    std::vector<std::string> toOutlook, toRegistry;
    for (int i = 10; i < 40; ++i) {
        registryNames.push_back(L"Reg" + std::to_wstring(i));
        registry += registryNames.back() + L";";
        toOutlook.push_back("Reg" + std::to_string(i));
        store.push_back(L"Pst" + std::to_wstring(i));
        toRegistry.push_back("Pst" + std::to_string(i));
    }
    Prepare(registry, store);
    std::vector<TSyncRun> runs;
    {
        // Already running, as Outlook runs once: two starts by COM at once
        // give two stand-ins under Wine.
        TRunningStandIn outlook;
        TSyncProcess first(ExePath(), "both"), second(ExePath(), "both");
        runs = {first.Finish(), second.Finish()};
        EXPECT_TRUE(outlook.Stop());
    }
    for (const TSyncRun& run : runs) {
        EXPECT_EQ(run.ExitCode, 0u) << run.Out;
        EXPECT_EQ(run.Err, "");
    }
    EXPECT_EQ(NamesOfLines(runs, "added to Outlook: "), toOutlook);
    EXPECT_EQ(NamesOfLines(runs, "added to registry: "), toRegistry);
    std::vector<std::wstring> storeAfter = store;
    storeAfter.insert(storeAfter.end(), registryNames.begin(), registryNames.end());
    EXPECT_EQ(ReadStandInNames(), storeAfter);
    for (const std::wstring& name : store)
        registry += name + L";";
    EXPECT_EQ(MasterList14(), Utf16Bytes(registry));
}

// The lock the window and PellorinSync share: held past --wait, the copy fails
// with nothing changed; left behind by a holder that ended (a killed copy), it is free.
TEST_F(PellorinSyncTest, ALockHeldPastTheWaitFailsAndAnAbandonedOneIsFree)
{
    Prepare(L"A;", {L"B"});
    const TUserMutex kept(kCopyLockName);  // the mutex outlives each holder
    {
        TUserMutex held(kCopyLockName);
        ASSERT_TRUE(held.Acquire(0));
        const TSyncRun run = RunPellorinSync("both --wait 2");
        EXPECT_EQ(run.ExitCode, 1u);
        EXPECT_EQ(run.Out, "0 added to Outlook, 0 added to the registry\r\n");
        EXPECT_EQ(run.Err, "PellorinSync: Another copy of categories is running for this user. Try again when it "
                           "has finished.\r\n");
        EXPECT_FALSE(WasAsked(L"Add"));
        EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;"));
    }
    DWORD taken = WAIT_FAILED;
    std::thread([&taken] {
        const HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, TUserMutex::FullName(kCopyLockName).c_str());
        taken = WaitForSingleObject(lock, 0);
        CloseHandle(lock);
    }).join();
    ASSERT_EQ(taken, WAIT_OBJECT_0);
    const TSyncRun run = RunPellorinSync("both --wait 2");
    EXPECT_EQ(run.ExitCode, 0u) << run.Err;
    EXPECT_EQ(run.Out, "added to Outlook: A\r\nadded to registry: B\r\n1 added to Outlook, 1 added to the registry\r\n");
}

// A backup and its restore through real COM: each colour read from Outlook, and
// given back to a new category with Add or to an existing one with Color.
TEST_F(PellorinSyncTest, ExportThenImportRestoresNamesAndColoursAndColorsRecolours)
{
    const std::vector<std::wstring> names = {L"Red", L"A, B", L"Say \"hi\"", L"x;y", kGreek, kJapanese, L"=1+1"};
    const std::vector<long> colors = {1, 25, 0, 7, 13, 4, 9};
    Prepare(L"", names);
    TStandInState state = ReadStandInState();
    state.Colors = colors;
    WriteStandInState(state);
    const TScratchFolder folder;
    const std::wstring path = folder.Path(L"backup.csv");

    const TSyncRun exported = RunPellorinSync("export \"" + ToUtf8(path) + "\"");
    EXPECT_EQ(exported.ExitCode, 0u) << exported.Err;
    EXPECT_EQ(exported.Out, "7 names written to " + ToUtf8(path) + "\r\n");

    state.Names.clear();
    state.Colors.clear();
    WriteStandInState(state);
    const TSyncRun imported = RunPellorinSync("import \"" + ToUtf8(path) + "\"");
    EXPECT_EQ(imported.ExitCode, 0u) << imported.Err;
    const TStandInState restored = ReadStandInState();
    std::vector<std::pair<std::wstring, long>> before, after;
    for (std::size_t i = 0; i < names.size(); ++i)
        before.emplace_back(names[i], colors[i]);
    for (std::size_t i = 0; i < restored.Names.size(); ++i)
        after.emplace_back(restored.Names[i], restored.Colors.at(i));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);

    TStandInState changed = restored;
    const auto red = std::find(changed.Names.begin(), changed.Names.end(), L"Red") - changed.Names.begin();
    changed.Colors.at(static_cast<std::size_t>(red)) = 5;
    WriteStandInState(changed);
    const TSyncRun recoloured = RunPellorinSync("import \"" + ToUtf8(path) + "\" --colors");
    EXPECT_EQ(recoloured.ExitCode, 0u) << recoloured.Err;
    EXPECT_EQ(recoloured.Out, "recoloured in Outlook: Red (preset4 -> preset0)\r\n"
                              "0 added to Outlook, 1 recoloured in Outlook\r\n");
    const TStandInState now = ReadStandInState();
    EXPECT_EQ(now.Names, changed.Names) << "no name is touched";
    EXPECT_EQ(now.Colors.at(static_cast<std::size_t>(red)), 1);
}

TEST_F(PellorinSyncTest, AListFileThatCannotBeUsedExitsWithTwoBeforeOutlookIsOpened)
{
    Prepare(L"A;", {L"B"});
    const TScratchFolder folder;
    folder.Put(L"bad.csv", "DisplayName,Color\r\nC,preset3\r\nD,mauve\r\n");
    const std::string path = ToUtf8(folder.Path(L"bad.csv"));
    const TSyncRun run = RunPellorinSync("import \"" + path + "\" --registry --colors");
    EXPECT_EQ(run.ExitCode, 2u);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "PellorinSync: " + path +
                           ", line 3: unknown colour \"mauve\" (a colour is none, preset0 to preset24, or a number "
                           "from 0 to 25)\r\n");
    EXPECT_TRUE(ReadStandInLog().empty()) << "Outlook was not even started";
    EXPECT_EQ(ReadStandInNames(), std::vector<std::wstring>{L"B"});
    EXPECT_EQ(MasterList14(), Utf16Bytes(L"A;"));
}
