// The real PellorinSync.exe, started as a child process with its output
// redirected, against the Outlook stand-in registered as "Outlook.Application"
// and the Office keys in the build's Wine prefix. Skipped outside Wine, where
// it would touch the user's Office keys.
#include "tools/StandInControl.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifndef PELLORIN_SYNC_EXE
#error "PELLORIN_SYNC_EXE names the program under test"
#endif

using namespace std::string_literals;

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::wstring kKey11 = L"Software\\Microsoft\\Office\\11.0\\Outlook\\Categories";
const std::string kStoreNotInUse = "Your version of Outlook is not using the PST to store categories.";

std::wstring Wide(std::string_view utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                             static_cast<int>(utf8.size()), text.data(),
                                                             static_cast<int>(text.size()))));
    return text;
}

std::string Utf8(std::wstring_view text)
{
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                              bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                                              nullptr)));
    return bytes;
}

std::wstring ExePath()
{
    using DosName = WCHAR*(CDECL*)(LPCSTR);
    const auto toDos = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    WCHAR* dos = toDos ? toDos(PELLORIN_SYNC_EXE) : nullptr;
    if (!dos)
        throw std::runtime_error("no Windows path for " PELLORIN_SYNC_EXE);
    std::wstring path = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return path;
}

struct TRun {
    DWORD ExitCode = STILL_ACTIVE;
    std::string Out;
    std::string Err;
};

// Reads a pipe until every writer has closed it.
void Drain(HANDLE pipe, std::string& into)
{
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &count, nullptr) && count > 0)
        into.append(buffer, count);
}

// Standard output and error each go to a pipe of their own, as in a script.
TRun RunPellorinSync(const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0))
        throw std::runtime_error("no pipe");
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    const std::wstring exe = ExePath();
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    TRun run;
    if (started) {
        CloseHandle(info.hThread);
        std::thread errors(Drain, errRead, std::ref(run.Err));
        Drain(outRead, run.Out);
        errors.join();
        if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0)
            TerminateProcess(info.hProcess, STILL_ACTIVE);
        GetExitCodeProcess(info.hProcess, &run.ExitCode);
        CloseHandle(info.hProcess);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    if (!started)
        throw std::runtime_error("cannot start PellorinSync.exe");
    EXPECT_TRUE(WaitForStandInExit()) << "PellorinSync " << Utf8(arguments) << " kept a reference to Outlook";
    return run;
}

std::vector<BYTE> MasterList(const std::wstring& text)
{
    return Utf16Bytes(text);
}

std::vector<BYTE> MasterList14()
{
    const auto value = GetValue(kKey14, L"MasterList");
    return value ? value->bytes : std::vector<BYTE>{};
}

bool WasAsked(const wchar_t* member)
{
    const auto log = ReadStandInRequests();
    return std::any_of(log.begin(), log.end(),
                       [&](const TStandInRequest& r) { return r.Event == L"lookup" && r.Member == member; });
}

void DeleteOfficeKeys()
{
    for (const wchar_t* version : {L"9.0", L"10.0", L"11.0", L"12.0", L"14.0", L"15.0", L"16.0"})
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Microsoft\\Office\\"s + version).c_str());
}

// A strict reader for the one JSON object PellorinSync prints: objects, arrays,
// strings, true, false and null; no raw control character inside a string.
struct TJson {
    enum class TKind { Null, Bool, String, Array, Object } Kind = TKind::Null;
    bool Bool = false;
    std::wstring String;
    std::vector<TJson> Items;
    std::vector<std::pair<std::wstring, TJson>> Members;

    const TJson& operator[](const wchar_t* key) const
    {
        for (const auto& [name, value] : Members) {
            if (name == key)
                return value;
        }
        throw std::runtime_error("no key " + Utf8(key));
    }
    std::vector<std::wstring> Strings() const
    {
        std::vector<std::wstring> strings;
        for (const TJson& item : Items)
            strings.push_back(item.String);
        return strings;
    }
    std::vector<std::wstring> Keys() const
    {
        std::vector<std::wstring> keys;
        for (const auto& member : Members)
            keys.push_back(member.first);
        return keys;
    }
};

class TJsonReader {
public:
    explicit TJsonReader(std::wstring_view text) : text_(text) {}

    TJson Document()
    {
        TJson value = Value();
        Skip();
        if (at_ != text_.size())
            Fail("text after the object");
        return value;
    }

private:
    [[noreturn]] void Fail(const char* what) const
    {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(at_));
    }
    void Skip()
    {
        while (at_ < text_.size() && (text_[at_] == L' ' || text_[at_] == L'\t' || text_[at_] == L'\r' ||
                                      text_[at_] == L'\n'))
            ++at_;
    }
    bool Take(std::wstring_view word)
    {
        Skip();
        if (text_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }
    void Expect(wchar_t c)
    {
        if (!Take(std::wstring_view(&c, 1)))
            Fail("unexpected character");
    }
    std::wstring String()
    {
        Expect(L'"');
        std::wstring text;
        for (;;) {
            if (at_ >= text_.size())
                Fail("unterminated string");
            const wchar_t c = text_[at_++];
            if (c == L'"')
                return text;
            if (c < 0x20)
                Fail("raw control character");
            if (c != L'\\') {
                text += c;
                continue;
            }
            const wchar_t e = at_ < text_.size() ? text_[at_++] : L'\0';
            const std::wstring_view simple = L"\"\\/bfnrt";
            const std::wstring_view meant = L"\"\\/\b\f\n\r\t";
            if (const auto i = simple.find(e); i != std::wstring_view::npos) {
                text += meant[i];
            } else if (e == L'u' && at_ + 4 <= text_.size()) {
                text += static_cast<wchar_t>(std::stoul(std::wstring(text_.substr(at_, 4)), nullptr, 16));
                at_ += 4;
            } else {
                Fail("bad escape");
            }
        }
    }
    TJson Value()
    {
        TJson value;
        Skip();
        if (Take(L"null")) {
        } else if (Take(L"true")) {
            value.Kind = TJson::TKind::Bool;
            value.Bool = true;
        } else if (Take(L"false")) {
            value.Kind = TJson::TKind::Bool;
        } else if (at_ < text_.size() && text_[at_] == L'"') {
            value.Kind = TJson::TKind::String;
            value.String = String();
        } else if (Take(L"[")) {
            value.Kind = TJson::TKind::Array;
            if (!Take(L"]")) {
                do
                    value.Items.push_back(Value());
                while (Take(L","));
                Expect(L']');
            }
        } else if (Take(L"{")) {
            value.Kind = TJson::TKind::Object;
            if (!Take(L"}")) {
                do {
                    Skip();
                    std::wstring key = String();
                    Expect(L':');
                    value.Members.emplace_back(std::move(key), Value());
                } while (Take(L","));
                Expect(L'}');
            }
        } else {
            Fail("not a value");
        }
        return value;
    }

    std::wstring_view text_;
    std::size_t at_ = 0;
};

TJson ReadJson(const std::string& output)
{
    const std::wstring text = Wide(output);
    if (text.empty() || Utf8(text) != output)
        throw std::runtime_error("the output is not UTF-8");
    if (!text.ends_with(L"}\r\n") || std::count(text.begin(), text.end(), L'\n') != 1)
        throw std::runtime_error("not one line");
    return TJsonReader(text).Document();
}

const std::vector<std::wstring> kDocumentedKeys = {
    L"command",        L"dryRun",        L"outlookVersion",  L"outlookMajor",        L"storeInUse", L"registryNames",
    L"storeNames",     L"addedToOutlook", L"addedToRegistry", L"notCopiedToRegistry", L"error"};

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

    // The registry holds registryList (Outlook 2010's key), the store holds storeNames.
    static void Prepare(const std::wstring& registryList, std::vector<std::wstring> storeNames,
                        std::vector<TStandInAddFault> faults = {}, const std::wstring& version = L"14.0.7015.1000")
    {
        DeleteOfficeKeys();
        PutValue(version.starts_with(L"11.") ? kKey11 : kKey14, L"MasterList", REG_BINARY, MasterList(registryList));
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
    const TRun run = RunPellorinSync(L"list");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Out, "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\n"
                       "registry: A\r\nregistry: B\r\nOutlook: B\r\nOutlook: C\r\n");
    EXPECT_EQ(run.Err, "");
    EXPECT_FALSE(WasAsked(L"Add"));
}

struct TCopyCase {
    const wchar_t* Verb;
    const char* DryOut;
    const char* RealOut;
    std::vector<std::wstring> StoreAfter;
    const wchar_t* RegistryAfter;
};

TEST_F(PellorinSyncTest, EachCopyVerbFirstDryThenForReal)
{
    const TCopyCase cases[] = {
        {L"to-outlook", "would add to Outlook: A\r\n1 would be added to Outlook\r\n",
         "added to Outlook: A\r\n1 added to Outlook\r\n", {L"B", L"C", L"A"}, L"A;B;"},
        {L"to-registry", "would add to registry: C\r\n1 would be added to the registry\r\n",
         "added to registry: C\r\n1 added to the registry\r\n", {L"B", L"C"}, L"A;B;C;"},
        {L"both",
         "would add to Outlook: A\r\nwould add to registry: C\r\n"
         "1 would be added to Outlook, 1 would be added to the registry\r\n",
         "added to Outlook: A\r\nadded to registry: C\r\n1 added to Outlook, 1 added to the registry\r\n",
         {L"B", L"C", L"A"}, L"A;B;C;"},
    };
    for (const TCopyCase& c : cases) {
        SCOPED_TRACE(Utf8(c.Verb));
        Prepare(L"A;B;", {L"B", L"C"});
        const TRun dry = RunPellorinSync(c.Verb + L" --dry-run"s);
        EXPECT_EQ(dry.ExitCode, 0u);
        EXPECT_EQ(dry.Out, c.DryOut);
        EXPECT_EQ(dry.Err, "");
        EXPECT_FALSE(WasAsked(L"Add"));
        EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"B", L"C"}));
        EXPECT_EQ(MasterList14(), MasterList(L"A;B;"));

        const TRun real = RunPellorinSync(c.Verb);
        EXPECT_EQ(real.ExitCode, 0u);
        EXPECT_EQ(real.Out, c.RealOut);
        EXPECT_EQ(real.Err, "");
        EXPECT_EQ(ReadStandInNames(), c.StoreAfter);
        EXPECT_EQ(MasterList14(), MasterList(c.RegistryAfter));
    }
}

TEST_F(PellorinSyncTest, JsonOfListAndBothKeepsEveryNameExactly)
{
    const std::wstring quoted = L"Say \"hi\"";
    const std::wstring slashed = L"C:\\Mail\\";
    const std::wstring controls = L"Tab\there\x01" L"end";
    const std::wstring greek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
    const std::wstring japanese = L"\x4F1A\x8B70";
    const std::wstring lineBreak = L"Two\r\nlines";
    Prepare(quoted + L";" + slashed + L";" + controls + L";" + greek + L";", {japanese, lineBreak, L"A;B"});

    const TRun list = RunPellorinSync(L"list --json");
    EXPECT_EQ(list.ExitCode, 0u);
    EXPECT_EQ(list.Err, "");
    try {
        const TJson json = ReadJson(list.Out);
        EXPECT_EQ(json.Keys(), kDocumentedKeys);
        EXPECT_EQ(json[L"command"].String, L"list");
        EXPECT_FALSE(json[L"dryRun"].Bool);
        EXPECT_EQ(json[L"outlookVersion"].String, L"14.0.7015.1000");
        EXPECT_EQ(json[L"outlookMajor"].String, L"14");
        EXPECT_TRUE(json[L"storeInUse"].Bool);
        EXPECT_EQ(json[L"registryNames"].Strings(), (std::vector<std::wstring>{slashed, quoted, controls, greek}));
        EXPECT_EQ(json[L"storeNames"].Strings(), (std::vector<std::wstring>{L"A;B", lineBreak, japanese}));
        EXPECT_TRUE(json[L"addedToOutlook"].Items.empty());
        EXPECT_EQ(json[L"error"].Kind, TJson::TKind::Null);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << ": " << list.Out;
    }

    const TRun both = RunPellorinSync(L"both --json");
    EXPECT_EQ(both.ExitCode, 0u);
    EXPECT_EQ(both.Err, "");
    try {
        const TJson json = ReadJson(both.Out);
        EXPECT_EQ(json.Keys(), kDocumentedKeys);
        EXPECT_EQ(json[L"command"].String, L"both");
        EXPECT_EQ(json[L"addedToOutlook"].Strings(), (std::vector<std::wstring>{slashed, quoted, controls, greek}));
        EXPECT_EQ(json[L"addedToRegistry"].Strings(), (std::vector<std::wstring>{lineBreak, japanese}));
        EXPECT_EQ(json[L"notCopiedToRegistry"].Strings(), std::vector<std::wstring>{L"A;B"});
        EXPECT_EQ(json[L"registryNames"].Strings(),
                  (std::vector<std::wstring>{slashed, quoted, controls, lineBreak, greek, japanese}));
        EXPECT_EQ(json[L"storeNames"].Strings(),
                  (std::vector<std::wstring>{L"A;B", slashed, quoted, controls, lineBreak, greek, japanese}));
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << ": " << both.Out;
    }
    EXPECT_EQ(ReadStandInNames(),
              (std::vector<std::wstring>{japanese, lineBreak, L"A;B", slashed, quoted, controls, greek}));
}

TEST_F(PellorinSyncTest, RedirectedOutputIsUtf8WithoutAByteOrderMark)
{
    // Greek, Japanese; Latin with an accent, Cyrillic.
    Prepare(L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF;\x4F1A\x8B70;",
            {L"Caf\x00E9", L"\x0416\x0451\x043B\x0442\x044B\x0439"});
    const TRun run = RunPellorinSync(L"both");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Out, "added to Outlook: \xCE\x9A\xCF\x8C\xCE\xBA\xCE\xBA\xCE\xB9\xCE\xBD\xCE\xBF\r\n"
                       "added to Outlook: \xE4\xBC\x9A\xE8\xAD\xB0\r\n"
                       "added to registry: Caf\xC3\xA9\r\n"
                       "added to registry: \xD0\x96\xD1\x91\xD0\xBB\xD1\x82\xD1\x8B\xD0\xB9\r\n"
                       "2 added to Outlook, 2 added to the registry\r\n");
}

TEST_F(PellorinSyncTest, WithoutOutlookEveryVerbFailsWithTheWindowsMessage)
{
    registration_.reset();
    wchar_t system[256] = {};
    std::wstring expected =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x800401F3u, 0, system,
                       static_cast<DWORD>(std::size(system)), nullptr)
            ? std::wstring(system)
            : std::wstring(L"OLE error 800401F3");
    while (!expected.empty() && (expected.back() < L'!' || expected.back() == L'.'))
        expected.pop_back();
    for (const wchar_t* verb : {L"list", L"both"}) {
        const TRun run = RunPellorinSync(verb);
        EXPECT_EQ(run.ExitCode, 1u);
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err, "PellorinSync: " + Utf8(expected) + ".\r\n");
    }
}

TEST_F(PellorinSyncTest, Outlook2003ListsTheRegistryAndRefusesEveryCopy)
{
    Prepare(L"Red;", {L"Blue"}, {}, L"11.0");
    for (const wchar_t* verb : {L"to-outlook", L"to-registry --dry-run", L"both --json"}) {
        const TRun run = RunPellorinSync(verb);
        EXPECT_EQ(run.ExitCode, 3u) << Utf8(verb);
        EXPECT_EQ(run.Err, "PellorinSync: " + kStoreNotInUse + "\r\n");
    }
    const TRun list = RunPellorinSync(L"list");
    EXPECT_EQ(list.ExitCode, 0u);
    EXPECT_EQ(list.Out, "Outlook version detected: Outlook 2003 (11.0)\r\nregistry: Red\r\n" + kStoreNotInUse + "\r\n");
    EXPECT_FALSE(WasAsked(L"Categories")) << "the store is never read";
    EXPECT_EQ(GetValue(kKey11, L"MasterList")->bytes, MasterList(L"Red;"));
    EXPECT_FALSE(GetValue(kKey14, L"MasterList").has_value());
}

TEST_F(PellorinSyncTest, AFailedAddKeepsAndPrintsWhatWasDone)
{
    Prepare(L"A;B;C;", {L"Z"}, {{L"B", L"The category could not be added"}});
    const TRun run = RunPellorinSync(L"both");
    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Out, "added to Outlook: A\r\n1 added to Outlook, 0 added to the registry\r\n");
    EXPECT_EQ(run.Err, "PellorinSync: The category could not be added.\r\n");
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"A"}));
    EXPECT_EQ(MasterList14(), MasterList(L"A;B;C;")) << "the registry is not written";
}

TEST_F(PellorinSyncTest, BadUsageExitsWithTwoAndTheUsageOnStandardError)
{
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"sync", "PellorinSync: unknown verb \"sync\"\r\nUsage:\r\n"},
        {L"both --force", "PellorinSync: unknown option \"--force\"\r\nUsage:\r\n"},
        {L"", "PellorinSync: no verb given\r\nUsage:\r\n"},
    };
    for (const auto& [arguments, start] : cases) {
        const TRun run = RunPellorinSync(arguments);
        EXPECT_EQ(run.ExitCode, 2u) << Utf8(arguments);
        EXPECT_EQ(run.Out, "");
        EXPECT_TRUE(run.Err.starts_with(start)) << run.Err;
        EXPECT_NE(run.Err.find("  PellorinSync both        [--dry-run] [--json]\r\n"), std::string::npos);
    }
    EXPECT_TRUE(ReadStandInLog().empty()) << "Outlook is not even started";

    const TRun help = RunPellorinSync(L"/?");
    EXPECT_EQ(help.ExitCode, 0u);
    EXPECT_TRUE(help.Out.starts_with("Usage:\r\n"));
    EXPECT_EQ(help.Err, "");
    const TRun version = RunPellorinSync(L"--version");
    EXPECT_EQ(version.ExitCode, 0u);
    EXPECT_EQ(version.Out, "PellorinSync 1.2\r\n");
}
