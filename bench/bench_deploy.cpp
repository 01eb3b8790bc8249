// Prints what "PellorinSync deploy" costs against the Graph stand-in with its
// load model on: a 20-name list to N mailboxes that each lack 0 to 20 of the
// names, every request answered after 50 ms, 4 requests at once and 10,000
// in 10 minutes per mailbox, 5% of requests answered 429 (Retry-After 0.5 to
// 2 s) and 1% 503. For each size: whether every mailbox ends with every name
// exactly once, the HTTP requests, the wall time against the floor of
// requests x 50 ms / concurrency, and PellorinSync's peak working set. Then,
// at the largest size, the same run killed about half way and resumed with
// its journal. And the stand-in's own throughput.
// With --tenant-wide first, the mailboxes are instead chosen as Graph lists
// them, a tenth of them shared mailboxes and all of them members of a group
// of 8 nested groups: deploy and audit with --all-mailboxes and with --group,
// each on fresh mailboxes, their requests per mailbox (the user or member
// pages among them), wall time against the floor and peak working set.
// Run it beside the stand-in:
//   bash standins/graph/with-graph-standin.sh build build/bench/bench_deploy.exe [--tenant-wide] [sizes...]
// Sizes default to 2000 10000.
#include "base/Platform.h"
#include "http/HttpClient.h"
#include "http/Url.h"
#include "GraphStandIn.h"

#include <nlohmann/json.hpp>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef PELLORIN_SYNC_EXE
#error "PELLORIN_SYNC_EXE names the program measured"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr int kLatencyMs = 50;
constexpr int kConcurrency = 16;
constexpr int kNames = 20;
constexpr char kClientId[] = "0b7c8a2e-4d1f-4b6a-9c3e-2f5d6e7a8b9c";
constexpr char kTenant[] = "contoso.onmicrosoft.com";
constexpr wchar_t kSecretVariable[] = L"PELLORIN_BENCH_SECRET";
constexpr char kGroup[] = "all-staff";

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A Linux path as Wine's Z: drive shows it.
std::wstring WindowsPath(const std::string& path)
{
    std::wstring result = L"Z:" + FromUtf8(path);
    for (wchar_t& c : result) {
        if (c == L'/')
            c = L'\\';
    }
    return result;
}

struct TChild {
    DWORD ExitCode = 0;
    double Seconds = 0;
    SIZE_T PeakWorkingSet = 0;
    bool Killed = false;
};

// Under Wine, GetProcessMemoryInfo tells nothing of another process: the
// peak resident set of the Linux process that runs it (VmHWM), found by the
// unique text of its command line, stands in for the peak working set.
class TWineMemory {
public:
    explicit TWineMemory(std::wstring marker) : marker_(std::move(marker)) {}

    void Sample()
    {
        if (pid_.empty())
            pid_ = FindPid();
        if (pid_.empty())
            return;
        std::ifstream status(std::filesystem::path(L"Z:\\proc\\" + pid_ + L"\\status"));
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0)
                peak_ = std::max<SIZE_T>(peak_, static_cast<SIZE_T>(std::atoll(line.c_str() + 6)) * 1024);
        }
    }
    SIZE_T Peak() const { return peak_; }

private:
    std::wstring FindPid() const
    {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
        if (search == INVALID_HANDLE_VALUE)
            return {};
        std::wstring pid;
        do {
            const std::wstring name = found.cFileName;
            if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos)
                continue;
            std::ifstream file(std::filesystem::path(L"Z:\\proc\\" + name + L"\\cmdline"), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            if (text.find("PellorinSync.exe") != std::string::npos && text.find(ToUtf8(marker_)) != std::string::npos)
                pid = name;
        } while (pid.empty() && FindNextFileW(search, &found));
        FindClose(search);
        return pid;
    }

    std::wstring marker_;
    std::wstring pid_;
    SIZE_T peak_ = 0;
};

// Runs PellorinSync with its output in files; with stopAtLines, ends it once
// the journal holds that many mailboxes.
TChild RunSync(const std::wstring& arguments, const std::wstring& marker, const std::wstring& outFile,
               const std::wstring& journal = {}, std::size_t stopAtLines = 0)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const HANDLE out = CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::wstring exe = WindowsPath(PELLORIN_SYNC_EXE);
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    const auto start = Clock::now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "cannot start %ls\n", exe.c_str());
        std::exit(2);
    }
    CloseHandle(out);
    CloseHandle(info.hThread);
    TChild child;
    TWineMemory wine(marker);
    for (;;) {
        wine.Sample();
        if (WaitForSingleObject(info.hProcess, 100) == WAIT_OBJECT_0)
            break;
        if (!stopAtLines)
            continue;
        std::ifstream file(std::filesystem::path(journal), std::ios::binary);
        std::size_t lines = 0;
        for (std::string line; std::getline(file, line);)
            ++lines;
        if (lines > stopAtLines) {  // the header is a line too
            TerminateProcess(info.hProcess, 9);
            WaitForSingleObject(info.hProcess, INFINITE);
            child.Killed = true;
            break;
        }
    }
    child.Seconds = Seconds(start);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(info.hProcess, &memory, sizeof(memory)))
        child.PeakWorkingSet = memory.PeakWorkingSetSize;
    if (child.PeakWorkingSet == 0)
        child.PeakWorkingSet = wine.Peak();
    GetExitCodeProcess(info.hProcess, &child.ExitCode);
    CloseHandle(info.hProcess);
    return child;
}

std::wstring TempFolder()
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"pellorin-bench-deploy-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void WriteFile(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

json Names()
{
    json names = json::array();
    for (int i = 0; i < kNames; ++i) {
        std::string name = "Standard ", color = "preset";
        name += std::to_string(i + 1);
        color += std::to_string(i);
        names.push_back({{"displayName", name}, {"color", color}});
    }
    return names;
}

struct TRound {
    json Made;   // the stand-in's answer to making the mailboxes
    json Stats;  // its counters afterwards
    json Check;  // every mailbox's names
    TChild Child;
};

class TBench {
public:
    TBench(const THttpClient& http, const TGraphStandIn& standIn) : http_(http), standIn_(standIn), folder_(TempFolder())
    {
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", standIn.Url().c_str());
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", standIn.Url().c_str());
        std::string list = "DisplayName,Color\r\n";
        for (const json& name : Names())
            list += name["displayName"].get<std::string>() + "," + name["color"].get<std::string>() + "\r\n";
        WriteFile(folder_ + L"\\list.csv", list);
    }

    // Fresh mailboxes, the same for every round of one size.
    json Prepare(int mailboxes, bool shaped = false)
    {
        standIn_.Post("reset");
        standIn_.Post("settings", {{"latency_ms", kLatencyMs}, {"keep_log", false}});
        // The stand-in makes the app's secret; PellorinSync reads it from the variable.
        const json app = standIn_.Post(
            "app/register", {{"client_id", kClientId}, {"tenant", kTenant}, {"secret", true},
                             {"consent", {"MailboxSettings.ReadWrite", "User.Read.All", "GroupMember.Read.All"}}});
        SetEnvironmentVariableW(kSecretVariable, FromUtf8(app["secret"].get<std::string>()).c_str());
        json made = standIn_.Post("app/mailboxes", {{"count", mailboxes}, {"prefix", "mb"}, {"names", Names()},
                                                          {"most_missing", kNames}, {"seed", 20260501}});
        std::string list;
        list.reserve(static_cast<std::size_t>(mailboxes) * 24);
        for (int i = 0; i < mailboxes; ++i) {
            list += "mb-";
            list += std::to_string(i);
            list += "@contoso.com\r\n";
        }
        WriteFile(folder_ + L"\\mailboxes.txt", list);
        json load = {{"enabled", true}, {"seed", 7}};
        if (shaped) {
            load.update({{"prefix", "mb-"}, {"shared_share", 0.1}, {"group_id", kGroup}, {"nested_groups", 8}});
            made.update(standIn_.Post("load", load));
        } else {
            standIn_.Post("load", load);
        }
        standIn_.Post("stats/clear");
        return made;
    }

    // verb: "deploy" or "audit"; choice: how the mailboxes are chosen.
    TChild Tenant(const std::wstring& verb, const std::wstring& choice)
    {
        const std::wstring arguments = verb + L" \"" + folder_ + L"\\list.csv\" " + choice + L" --tenant " +
                                       FromUtf8(kTenant) + L" --client-id " + FromUtf8(kClientId) +
                                       L" --client-secret-env " + kSecretVariable + L" --concurrency " +
                                       std::to_wstring(kConcurrency);
        return RunSync(arguments, folder_, folder_ + L"\\out.txt");
    }

    std::string Output() const
    {
        std::ifstream file(std::filesystem::path(folder_ + L"\\out.txt"), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }

    TChild Deploy(const std::wstring& journal = {}, std::size_t stopAt = 0)
    {
        std::wstring arguments = L"deploy \"" + folder_ + L"\\list.csv\" --mailboxes \"" + folder_ +
                                 L"\\mailboxes.txt\" --tenant " + FromUtf8(kTenant) + L" --client-id " +
                                 FromUtf8(kClientId) + L" --client-secret-env " + kSecretVariable +
                                 L" --concurrency " + std::to_wstring(kConcurrency);
        if (!journal.empty())
            arguments += L" --journal \"" + journal + L"\"";
        return RunSync(arguments, folder_, folder_ + L"\\out.txt", journal, stopAt);
    }

    ~TBench()
    {
        for (const wchar_t* name : {L"list.csv", L"mailboxes.txt", L"journal.txt", L"out.txt"})
            DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    json Check() const { return standIn_.Post("app/verify", {{"names", NameList()}, {"prefix", "mb-"}}); }
    json Stats() const { return standIn_.Get("stats"); }
    const std::wstring& Folder() const { return folder_; }

private:
    static json NameList()
    {
        json list = json::array();
        for (const json& name : Names())
            list.push_back(name["displayName"]);
        return list;
    }

    const THttpClient& http_;
    const TGraphStandIn& standIn_;
    std::wstring folder_;
};

long long Kind(const json& stats, const char* kind)
{
    return stats["kinds"].value(kind, 0LL);
}

void PrintRound(const char* what, int mailboxes, const json& stats, const json& check, const TChild& child)
{
    const long long requests = stats["requests"].get<long long>();
    const long long turnedAway = stats["throttled"].get<long long>() + stats["unavailable"].get<long long>();
    const double floor = static_cast<double>(requests) * kLatencyMs / 1000.0 / kConcurrency;
    std::printf("%s, %d mailboxes: exit %lu, %s\n", what, mailboxes, child.ExitCode,
                check["complete"].get<int>() == mailboxes && check["duplicated"].get<int>() == 0
                    ? "every mailbox holds every name exactly once"
                    : "NOT every mailbox holds every name exactly once");
    std::printf("  check: %d complete, %d lacking a name, %d with a name twice\n", check["complete"].get<int>(),
                check["incomplete"].get<int>(), check["duplicated"].get<int>());
    std::printf("  requests: %lld in all = %.2f per mailbox (%lld reads, %lld batches, %lld token, %lld other);\n"
                "            %lld answered 429/503 at random and sent again, so %.2f per mailbox before retries;\n"
                "            %lld inner 429, %lld categories created, %lld conflicts (409)\n",
                requests, static_cast<double>(requests) / mailboxes, Kind(stats, "read"), Kind(stats, "batch"),
                Kind(stats, "token"), requests - Kind(stats, "read") - Kind(stats, "batch") - Kind(stats, "token"),
                turnedAway, static_cast<double>(requests - turnedAway) / mailboxes,
                stats["inner_throttled"].get<long long>(), stats["created"].get<long long>(),
                stats["conflicts"].get<long long>());
    std::printf("  wall %.1f s, floor (requests x %d ms / %d) %.1f s, ratio %.2f; %.0f requests/s served,\n"
                "  at most %lld requests in flight, %lld at once for one mailbox\n",
                child.Seconds, kLatencyMs, kConcurrency, floor, floor > 0 ? child.Seconds / floor : 0.0,
                requests / child.Seconds, stats["most_in_flight"].get<long long>(),
                stats["most_mailbox_in_flight"].get<long long>());
    std::printf("  PellorinSync's peak working set: %.1f MB\n", child.PeakWorkingSet / 1048576.0);
    std::fflush(stdout);
}

// The secret the stand-in made for the app at the last Prepare.
std::string AppSecret()
{
    wchar_t secret[256] = {};
    GetEnvironmentVariableW(kSecretVariable, secret, static_cast<DWORD>(std::size(secret)));
    return ToUtf8(secret);
}

// Requests per second the stand-in answers with every answer held back by
// latencyMs, from threads sharing one client.
double Throughput(const THttpClient& http, const TGraphStandIn& standIn, int threads, double forSeconds)
{
    standIn.Post("load", {{"enabled", false}});
    const std::wstring url = standIn.Url() + L"/v1.0/users/mb-0@contoso.com/outlook/masterCategories";
    std::atomic<long> answered{0};
    std::atomic<bool> stop{false};
    const THttpResponse token = http.Send(
        {L"POST", standIn.Url() + L"/" + FromUtf8(kTenant) + L"/oauth2/v2.0/token",
         {{L"Content-Type", L"application/x-www-form-urlencoded"}},
         "grant_type=client_credentials&client_id=" + std::string(kClientId) +
             "&scope=https%3A%2F%2Fgraph.microsoft.com%2F.default&client_secret=" + PercentEncode(AppSecret())});
    const std::wstring bearer = L"Bearer " + FromUtf8(json::parse(token.Body)["access_token"].get<std::string>());
    std::vector<std::thread> workers;
    const auto start = Clock::now();
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&] {
            while (!stop) {
                if (http.Send({L"GET", url, {{L"Authorization", bearer}}, {}}).Status == 200)
                    ++answered;
            }
        });
    }
    Sleep(static_cast<DWORD>(forSeconds * 1000));
    stop = true;
    for (std::thread& worker : workers)
        worker.join();
    return answered / Seconds(start);
}

// The last line of the run's output that holds part, for the summary's figures.
std::string LineWith(const std::string& text, const char* part)
{
    const std::size_t at = text.rfind(part);
    if (at == std::string::npos)
        return "(none)";
    const std::size_t start = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    const std::size_t end = text.find('\r', at);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int TenantWide(TBench& bench, const std::vector<int>& sizes)
{
    std::printf("Deploy and audit over the organisation: 10%% shared mailboxes, a group of 8 nested groups;\n"
                "latency %d ms, concurrency %d; 5%% of requests 429, 1%% 503.\n\n", kLatencyMs, kConcurrency);
    const std::wstring group = L"--group " + FromUtf8(kGroup);
    for (const int size : sizes) {
        for (const auto& [verb, choice] : {std::pair<std::wstring, std::wstring>{L"deploy", L"--all-mailboxes"},
                                           {L"deploy", group},
                                           {L"audit", L"--all-mailboxes"},
                                           {L"audit", group}}) {
            const json made = bench.Prepare(size, true);
            const TChild child = bench.Tenant(verb, choice);
            const json stats = bench.Stats();
            const std::string output = bench.Output();
            const long long requests = stats["requests"].get<long long>();
            const long long turnedAway = stats["throttled"].get<long long>() + stats["unavailable"].get<long long>();
            const long long pages = requests - Kind(stats, "read") - Kind(stats, "batch") - Kind(stats, "token");
            const double floor = static_cast<double>(requests) * kLatencyMs / 1000.0 / kConcurrency;
            std::printf("%ls %ls, %d mailboxes (%d shared): exit %lu\n", verb.c_str(), choice.c_str(), size,
                        made.value("shared", 0), child.ExitCode);
            std::printf("  requests: %lld = %.3f per mailbox (%lld reads, %lld batches, %lld token, %lld user or "
                        "member pages);\n  %lld answered 429/503 and sent again: %.3f per mailbox before retries\n",
                        requests, static_cast<double>(requests) / size, Kind(stats, "read"), Kind(stats, "batch"),
                        Kind(stats, "token"), pages, turnedAway,
                        static_cast<double>(requests - turnedAway) / size);
            std::printf("  wall %.1f s, floor (requests x %d ms / %d) %.1f s, ratio %.2f; peak working set %.1f MB\n",
                        child.Seconds, kLatencyMs, kConcurrency, floor, floor > 0 ? child.Seconds / floor : 0.0,
                        child.PeakWorkingSet / 1048576.0);
            std::printf("  summary: %s\n", LineWith(output, verb == L"audit" ? " read in " : " done in ").c_str());
            std::printf("           %s\n\n", LineWith(output, "shared mailbox").c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t* argv[])
{
    std::vector<int> sizes;
    bool tenantWide = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--tenant-wide")
            tenantWide = true;
        else
            sizes.push_back(_wtoi(argv[i]));
    }
    if (sizes.empty())
        sizes = {2000, 10000};

    THttpClient http;
    const TGraphStandIn standIn;
    TBench bench(http, standIn);
    if (tenantWide)
        return TenantWide(bench, sizes);
    std::printf("PellorinSync deploy: %d names, each mailbox lacking 0 to %d of them; latency %d ms, "
                "concurrency %d;\n5%% of requests 429 (Retry-After 0.5-2 s), 1%% 503; 4 at once per mailbox.\n\n",
                kNames, kNames, kLatencyMs, kConcurrency);

    json whole;
    for (const int size : sizes) {
        const json made = bench.Prepare(size);
        const TChild child = bench.Deploy();
        whole = bench.Stats();
        PrintRound("Uninterrupted", size, whole, bench.Check(), child);
        std::printf("  names missing before: %lld\n\n", made["missing"].get<long long>());
    }

    const int size = sizes.back();
    const json made = bench.Prepare(size);
    const std::wstring journal = bench.Folder() + L"\\journal.txt";
    DeleteFileW(journal.c_str());
    const TChild first = bench.Deploy(journal, static_cast<std::size_t>(size / 2));
    const json firstStats = bench.Stats();
    const json halfway = bench.Check();
    const TChild second = bench.Deploy(journal);
    const json stats = bench.Stats();
    const json check = bench.Check();
    std::printf("Killed at about half way (%s after %.1f s, %d mailboxes complete then), then resumed:\n",
                first.Killed ? "ended" : "NOT ended: it finished first", first.Seconds,
                halfway["complete"].get<int>());
    TChild both = second;
    both.Seconds = first.Seconds + second.Seconds;
    both.PeakWorkingSet = std::max(first.PeakWorkingSet, second.PeakWorkingSet);
    PrintRound("  Both runs together", size, stats, check, both);
    std::printf("  the killed run made %lld requests, the resumed one %lld: %lld in all against %lld uninterrupted\n"
                "  (%+.1f%%); categories created %lld for %lld missing, conflicts %lld: %s\n\n",
                firstStats["requests"].get<long long>(),
                stats["requests"].get<long long>() - firstStats["requests"].get<long long>(),
                stats["requests"].get<long long>(), whole["requests"].get<long long>(),
                100.0 * (stats["requests"].get<double>() - whole["requests"].get<double>()) /
                    whole["requests"].get<double>(),
                stats["created"].get<long long>(), made["missing"].get<long long>(),
                stats["conflicts"].get<long long>(),
                stats["created"] == made["missing"] && stats["conflicts"].get<long long>() == 0
                    ? "nothing was added twice"
                    : "SOMETHING WAS ADDED TWICE OR NOT AT ALL");

    for (const int threads : {16, 64}) {
        std::printf("The stand-in alone, %d threads, %d ms latency: %.0f requests/s (at most %d/s possible)\n",
                    threads, kLatencyMs, Throughput(http, standIn, threads, 5.0), threads * 1000 / kLatencyMs);
    }
    return 0;
}
