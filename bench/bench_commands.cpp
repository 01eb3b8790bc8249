// Prints, for 1,000 and 10,000 names on each side, the time of Refresh and of
// "Registry <---> PST" against the Outlook stand-in, how many requests the
// stand-in answered, and the time a bare client takes for the same requests.
// Run it under Wine: scripts/wine-run.sh build build/bench/bench_commands.exe [names...]
#include "categories/MainUnit.h"
#include "commands/Commands.h"
#include "tools/StandInControl.h"

#include "support/ScratchHkcu.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The same requests as Pellorin makes, and nothing else: a name lookup and an
// invocation for each, no sets, no registry, no display text.
class BareClient {
public:
    static TComPtr<IDispatch> Object(IDispatch* target, const wchar_t* member, WORD kind, VARIANT* argument)
    {
        VARIANT result;
        VariantInit(&result);
        Call(target, member, kind, argument, &result);
        return TComPtr<IDispatch>::Attach(result.pdispVal);
    }
    static void Call(IDispatch* target, const wchar_t* member, WORD kind, VARIANT* argument, VARIANT* result)
    {
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(member);
        if (FAILED(target->GetIDsOfNames(IID_NULL, &name, 1, GetThreadLocale(), &id)))
            std::abort();
        DISPPARAMS params = {argument, nullptr, argument ? 1u : 0u, 0};
        EXCEPINFO info = {};
        if (FAILED(target->Invoke(id, IID_NULL, 0, kind, &params, result, &info, nullptr)))
            std::abort();
    }
    static void Read(IDispatch* space)
    {
        const TComPtr<IDispatch> collection = Object(space, L"Categories", 3, nullptr);
        VARIANT count;
        VariantInit(&count);
        Call(collection.get(), L"Count", 3, nullptr, &count);
        for (LONG i = 1; i <= count.lVal; ++i) {
            VARIANT index;
            index.vt = VT_I4;
            index.lVal = i;
            const TComPtr<IDispatch> category = Object(collection.get(), L"Item", 2, &index);
            VARIANT name;
            VariantInit(&name);
            Call(category.get(), L"Name", 3, nullptr, &name);
            VariantClear(&name);
        }
    }
    static void Add(IDispatch* space, const std::vector<std::wstring>& names)
    {
        const TComPtr<IDispatch> collection = Object(space, L"Categories", 3, nullptr);
        for (const auto& name : names) {
            VARIANT argument;
            argument.vt = VT_BSTR;
            argument.bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
            Call(collection.get(), L"Add", 1, &argument, nullptr);
            VariantClear(&argument);
        }
    }
};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::wstring> Numbered(const wchar_t* stem, int count)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i)
        names.push_back(stem + std::to_wstring(i));
    return names;
}

void Prepare(const std::vector<std::wstring>& registryNames, const std::vector<std::wstring>& storeNames)
{
    std::wstring text;
    for (const auto& name : registryNames)
        text += name + L";";
    PutValue(L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories", L"MasterList", REG_BINARY, Utf16Bytes(text));
    TStandInState state;
    state.Names = storeNames;
    WriteStandInState(state);
    ClearStandInLog();
}

void Report(const char* what, int names, double pellorin, std::size_t requests, double bare)
{
    std::printf("%-22s %7d %10.2f %10zu %10.2f %8.3f\n", what, names, pellorin, requests, bare, pellorin / bare);
    std::fflush(stdout);
}

// Best of two runs each, alternating, so neither side gains from going second.
void Measure(const std::wstring& progId, int names)
{
    const auto registryNames = Numbered(L"Registry ", names);
    const auto storeNames = Numbered(L"Store ", names);
    TUnattendedUi ui;

    TProgramState state;
    OpenOutlookConnection(state, progId);
    IDispatch* const space = state.OutlookNamespace.get().pdispVal;

    double refresh = 1e9, bareRefresh = 1e9, sync = 1e9, bareSync = 1e9;
    std::size_t refreshRequests = 0, syncRequests = 0;
    for (int round = 0; round < 2; ++round) {
        Prepare(registryNames, storeNames);
        auto start = std::chrono::steady_clock::now();
        BareClient::Read(space);
        bareRefresh = std::min(bareRefresh, Seconds(start));

        ClearStandInLog();
        start = std::chrono::steady_clock::now();
        BtnReadCategoriesClick(state, ui);
        refresh = std::min(refresh, Seconds(start));
        refreshRequests = ReadStandInRequests().size();

        Prepare(registryNames, storeNames);
        start = std::chrono::steady_clock::now();
        BareClient::Add(space, registryNames);
        BareClient::Read(space);
        bareSync = std::min(bareSync, Seconds(start));

        Prepare(registryNames, storeNames);
        BtnReadCategoriesClick(state, ui);
        ClearStandInLog();
        start = std::chrono::steady_clock::now();
        BtnSyncOLandTAVClick(state, ui);
        sync = std::min(sync, Seconds(start));
        syncRequests = ReadStandInRequests().size();
    }
    Report("Refresh", names, refresh, refreshRequests, bareRefresh);
    Report("Registry <---> PST", names, sync, syncRequests, bareSync);

    CloseOutlookConnection(state);
}

}  // namespace

int main(int argc, char** argv)
{
    StartMainUnit();
    CoInitialize(nullptr);
    {
        TStandInRegistration registration;
        TRunningStandIn outlook;
        ScratchHkcu scratch;
        std::printf("%-22s %7s %10s %10s %10s %8s\n", "command", "names", "Pellorin s", "requests", "bare s",
                    "ratio");
        std::vector<int> sizes;
        for (int i = 1; i < argc; ++i)
            sizes.push_back(std::atoi(argv[i]));
        if (sizes.empty())
            sizes = {1000, 10000};
        for (const int names : sizes)
            Measure(registration.ProgId(), names);
    }
    CoUninitialize();
    StopMainUnit();
    return 0;
}
