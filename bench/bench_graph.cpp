// Prints what reading and adding 1,000 categories cost against the Graph
// stand-in answering every request after 50 ms: the HTTP requests made, the
// wall time, and the floor of requests x 50 ms. The adds go through the
// commands' own copy path, with the mailbox as the store. Also the stand-in's own
// throughput, with one client shared by many threads.
// Run it beside the stand-in:
//   bash standins/graph/with-graph-standin.sh build build/bench/bench_graph.exe [names] [latency-ms]
#include "categories/MainUnit.h"
#include "commands/Commands.h"
#include "graph/MailboxSource.h"
#include "graph/MailboxStore.h"
#include "identity/DeviceCodeSignIn.h"
#include "identity/SignedInUser.h"
#include "support/ScratchHkcu.h"
#include "GraphStandIn.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kOid[] = "bench-oid";

// The benchmark's one mailbox, holding that many made-up categories.
void PutMailbox(const TGraphStandIn& standIn, int categories)
{
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < categories; ++i)
        list.push_back({{"displayName", "Existing " + std::to_string(i)}, {"color", "preset" + std::to_string(i % 25)}});
    standIn.Post("user", {{"oid", kOid}, {"upn", "bench@contoso.example"}, {"categories", list}});
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Report(const char* what, std::uint64_t requests, double seconds, int latencyMs)
{
    const double floor = static_cast<double>(requests) * latencyMs / 1000.0;
    std::printf("%-46s %6llu requests %8.2f s   floor %7.2f s   ratio %.2f\n", what,
                static_cast<unsigned long long>(requests), seconds, floor, floor > 0 ? seconds / floor : 0.0);
}

double Throughput(const THttpClient& http, const TGraphStandIn& standIn, IAccessTokenSource& tokens, int threads,
                  int latencyMs, double forSeconds)
{
    standIn.Post("settings", {{"latency_ms", latencyMs}});
    const std::wstring url = standIn.Url() + L"/v1.0/me/outlook/masterCategories";
    const std::wstring bearer = L"Bearer " + FromUtf8(tokens.AccessToken());
    std::atomic<long> answered{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    const auto start = Clock::now();
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                if (http.Send({L"GET", url, {{L"Authorization", bearer}}, {}}).Status == 200)
                    ++answered;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(forSeconds));
    stop = true;
    for (std::thread& worker : workers)
        worker.join();
    return answered.load() / Seconds(start);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int names = argc > 1 ? _wtoi(argv[1]) : 1000;
    const int latencyMs = argc > 2 ? _wtoi(argv[2]) : 50;
    StartMainUnit();
    THttpClient http;
    const TGraphStandIn standIn;
    standIn.Post("reset");
    PutMailbox(standIn, names);

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring cachePath = std::wstring(temp) + L"pellorin-bench-graph.token";
    TMicrosoft365Settings settings;
    settings.TenantId = L"contoso.example";
    settings.ClientId = L"bench-app";
    settings.LoginUrl = standIn.Url();
    settings.GraphUrl = standIn.Url();
    standIn.Post("settings", {{"sign_in_user", kOid}, {"poll_script", {"approve"}}});
    TDeviceCodeSignIn flow(http, settings, TTokenCache(cachePath));
    SignInWithDeviceCode(flow, [](const TDeviceCodePrompt&) {}, [](DWORD) { return true; });
    auto user = std::make_shared<TSignedInUser>(http, settings, TTokenCache(cachePath));
    user->AccessToken();

    std::printf("Graph stand-in, %d ms an answer; %d categories in the mailbox, %d to add\n\n", latencyMs, names, names);
    standIn.Post("settings", {{"latency_ms", latencyMs}});
    for (const int pageSize : {0, 100}) {
        standIn.Post("settings", {{"page_size", pageSize}});
        const std::uint64_t before = http.RequestsSent();
        const auto start = Clock::now();
        TMailboxStore store(user, http, standIn.Url(), L"bench@contoso.example", FromUtf8(kOid));
        const std::string what = "read " + std::to_string(store.Names().Count()) + " categories, " +
                                 (pageSize ? std::to_string(pageSize) + " a page" : std::string("one page"));
        Report(what.c_str(), http.RequestsSent() - before, Seconds(start), latencyMs);
    }

    standIn.Post("settings", {{"page_size", 0}});
    {
        // As a button or a verb makes the copy: the Refresh, then the copy's
        // re-read just before adding, the batches and its closing Refresh.
        ScratchHkcu scratch;
        std::wstring list;
        for (int i = 0; i < names; ++i)
            list += L"Added " + std::to_wstring(i) + L";";
        PutValue(L"Software\\Microsoft\\Office\\16.0\\Outlook\\Categories", L"MasterList", REG_BINARY,
                 Utf16Bytes(list));
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", standIn.Url().c_str());
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", standIn.Url().c_str());
        TMicrosoft365 microsoft365(http, {settings.TenantId, settings.ClientId}, cachePath);
        TMailboxSource mailbox(microsoft365);
        TProgramState state;
        state.Sources = {&mailbox};
        state.OutlookMajorVersion = "16";
        TUnattendedUi ui;
        BtnReadCategoriesClick(state, ui);
        standIn.Post("log/clear");
        const std::uint64_t before = http.RequestsSent();
        const auto start = Clock::now();
        TCopyReport report;
        RunCopy(state, ui, TCopyDirection::RegistryToStore, report);
        const double seconds = Seconds(start);
        const std::uint64_t all = http.RequestsSent() - before;
        const std::uint64_t batches = CountOuter(standIn.Log(), "batch");
        const std::string what = "Registry ---> PST: " + std::to_string(report.AddedToStore.size()) + " added";
        Report(what.c_str(), all, seconds, latencyMs);
        std::printf("%-46s %6llu reads + %llu batches (at most ceil(%d/20) = %d)\n", "",
                    static_cast<unsigned long long>(all - batches), static_cast<unsigned long long>(batches), names,
                    (names + 19) / 20);
        state.Stores.clear();
    }
    TMailboxStore store(user, http, standIn.Url(), L"bench@contoso.example", FromUtf8(kOid));
    {
        const int single = std::min(names, 100);
        const std::uint64_t before = http.RequestsSent();
        const auto start = Clock::now();
        for (int i = 0; i < single; ++i)
            store.Add(L"One by one " + std::to_wstring(i), std::nullopt);
        const std::string what = "add " + std::to_string(single) + " one by one (Add alone)";
        Report(what.c_str(), http.RequestsSent() - before, Seconds(start), latencyMs);
    }

    std::printf("\nStand-in throughput, one client shared by the threads (a GET of 10 categories each):\n");
    PutMailbox(standIn, 10);
    for (const auto& [threads, latency] : {std::pair{1, 0}, std::pair{8, 0}, std::pair{16, latencyMs}, std::pair{64, latencyMs}}) {
        const double rate = Throughput(http, standIn, *user, threads, latency, 3.0);
        std::printf("  %2d threads, %2d ms an answer: %7.0f requests/s\n", threads, latency, rate);
    }
    DeleteFileW(cachePath.c_str());
    StopMainUnit();
    return 0;
}
