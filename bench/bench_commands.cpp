// Prints, for profiles of k stores each holding n names, the time of Refresh and
// of "Registry <---> PST" (with "All stores" when there are several) against the
// Outlook stand-in, how many requests the stand-in answered, and the time a bare
// client takes for the same requests.
// Run it under Wine:
//   scripts/wine-run.sh build build/bench/bench_commands.exe [--stores 1,3] [names...]
#include "categories/MainUnit.h"
#include "commands/Commands.h"
#include "standins/outlook/StandInControl.h"

#include "support/OutlookProgram.h"
#include "support/ScratchHkcu.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// The same requests as Pellorin makes, and nothing else: each member's
// identifier asked once per kind of object, then only invocations; no sets,
// no registry, no display text.
class BareClient {
public:
    TComPtr<IDispatch> Object(IDispatch* target, const wchar_t* kind, const wchar_t* member, WORD flags,
                              VARIANT* argument = nullptr)
    {
        VARIANT result;
        VariantInit(&result);
        Call(target, kind, member, flags, argument, &result);
        return TComPtr<IDispatch>::Attach(result.pdispVal);
    }
    LONG Number(IDispatch* target, const wchar_t* kind, const wchar_t* member)
    {
        VARIANT result;
        VariantInit(&result);
        Call(target, kind, member, 3, nullptr, &result);
        return result.lVal;
    }
    void Text(IDispatch* target, const wchar_t* kind, const wchar_t* member)
    {
        VARIANT result;
        VariantInit(&result);
        Call(target, kind, member, 3, nullptr, &result);
        VariantClear(&result);
    }
    void Call(IDispatch* target, const wchar_t* kind, const wchar_t* member, WORD flags, VARIANT* argument,
              VARIANT* result)
    {
        const std::wstring key = std::wstring(kind) + L"." + member;
        auto found = ids_.find(key);
        if (found == ids_.end()) {
            DISPID id = 0;
            LPOLESTR name = const_cast<LPOLESTR>(member);
            if (FAILED(target->GetIDsOfNames(IID_NULL, &name, 1, GetThreadLocale(), &id)))
                std::abort();
            found = ids_.emplace(key, id).first;
        }
        DISPPARAMS params = {argument, nullptr, argument ? 1u : 0u, 0};
        EXCEPINFO info = {};
        if (FAILED(target->Invoke(found->second, IID_NULL, 0, flags, &params, result, &info, nullptr)))
            std::abort();
    }

    void ReadList(IDispatch* collection)
    {
        const LONG count = Number(collection, L"categories", L"Count");
        for (LONG i = 1; i <= count; ++i) {
            VARIANT index;
            index.vt = VT_I4;
            index.lVal = i;
            const TComPtr<IDispatch> category = Object(collection, L"categories", L"Item", 2, &index);
            Text(category.get(), L"category", L"Name");
        }
    }
    // As Refresh: one store through the namespace, several one by one.
    std::vector<TComPtr<IDispatch>> Read(IDispatch* space)
    {
        std::vector<TComPtr<IDispatch>> held;
        const TComPtr<IDispatch> stores = Object(space, L"namespace", L"Stores", 3);
        const LONG count = Number(stores.get(), L"stores", L"Count");
        if (count < 2) {
            ReadList(Object(space, L"namespace", L"Categories", 3).get());
            return held;
        }
        const TComPtr<IDispatch> home = Object(space, L"namespace", L"DefaultStore", 3);
        Text(home.get(), L"store", L"StoreID");
        for (LONG i = 1; i <= count; ++i) {
            VARIANT index;
            index.vt = VT_I4;
            index.lVal = i;
            held.push_back(Object(stores.get(), L"stores", L"Item", 2, &index));
            Text(held.back().get(), L"store", L"DisplayName");
            Text(held.back().get(), L"store", L"StoreID");
            ReadList(Object(held.back().get(), L"store", L"Categories", 3).get());
        }
        return held;
    }
    // As "Registry <---> PST": each list read again, then the names added.
    void Sync(IDispatch* space, const std::vector<TComPtr<IDispatch>>& stores, const std::vector<std::wstring>& names)
    {
        std::vector<TComPtr<IDispatch>> collections;
        if (stores.empty())
            collections.push_back(Object(space, L"namespace", L"Categories", 3));
        for (const auto& store : stores)
            collections.push_back(Object(store.get(), L"store", L"Categories", 3));
        for (const auto& collection : collections) {
            ReadList(collection.get());
            for (const auto& name : names) {
                VARIANT argument;
                argument.vt = VT_BSTR;
                argument.bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
                Call(collection.get(), L"categories", L"Add", 1, &argument, nullptr);
                VariantClear(&argument);
            }
        }
        Read(space);
    }

private:
    std::map<std::wstring, DISPID> ids_;
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

// Every store holds the same names, so that a copy only carries the registry's.
void Prepare(int stores, const std::vector<std::wstring>& registryNames, const std::vector<std::wstring>& storeNames)
{
    std::wstring text;
    for (const auto& name : registryNames)
        text += name + L";";
    PutValue(L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories", L"MasterList", REG_BINARY, Utf16Bytes(text));
    TStandInState state;
    state.Names = storeNames;
    for (int i = 2; i <= stores; ++i)
        state.OtherStores.push_back({L"Store " + std::to_wstring(i), storeNames, {}, L"", L""});
    WriteStandInState(state);
    ClearStandInLog();
}

void Report(const char* what, int stores, int names, double pellorin, std::size_t requests, double bare)
{
    std::printf("%-20s %6d %7d %10.2f %10zu %10.2f %8.3f\n", what, stores, names, pellorin, requests, bare,
                pellorin / bare);
    std::fflush(stdout);
}

// Best of two runs each, alternating, so neither side gains from going second.
// Each run starts on a new connection, so that its name lookups count.
void Measure(const std::wstring& progId, int stores, int names)
{
    const auto registryNames = Numbered(L"Registry ", names);
    const auto storeNames = Numbered(L"Store ", names);
    TUnattendedUi ui;

    double refresh = 1e9, bareRefresh = 1e9, sync = 1e9, bareSync = 1e9;
    std::size_t refreshRequests = 0, syncRequests = 0;
    for (int round = 0; round < 2; ++round) {
        Prepare(stores, registryNames, storeNames);
        {
            TOutlookConnection connection;
            OpenOutlookConnection(connection, progId);
            BareClient bare;
            auto start = std::chrono::steady_clock::now();
            bare.Read(connection.OutlookNamespace.get().pdispVal);
            bareRefresh = std::min(bareRefresh, Seconds(start));
            CloseOutlookConnection(connection);
        }
        {
            TOutlookProgram program(progId);
            program.Open();
            ClearStandInLog();
            const auto start = std::chrono::steady_clock::now();
            BtnReadCategoriesClick(program.State, ui);
            refresh = std::min(refresh, Seconds(start));
            refreshRequests = ReadStandInRequests().size();
        }

        Prepare(stores, registryNames, storeNames);
        {
            TOutlookConnection connection;
            OpenOutlookConnection(connection, progId);
            IDispatch* const space = connection.OutlookNamespace.get().pdispVal;
            BareClient bare;
            const auto held = bare.Read(space);
            const auto start = std::chrono::steady_clock::now();
            bare.Sync(space, held, registryNames);
            bareSync = std::min(bareSync, Seconds(start));
            CloseOutlookConnection(connection);
        }
        Prepare(stores, registryNames, storeNames);
        {
            TOutlookProgram program(progId);
            program.Open();
            TProgramState& state = program.State;
            BtnReadCategoriesClick(state, ui);
            if (stores > 1)
                ChooseStore(state, ui, kAllStores);
            ClearStandInLog();
            const auto start = std::chrono::steady_clock::now();
            BtnSyncOLandTAVClick(state, ui);
            sync = std::min(sync, Seconds(start));
            syncRequests = ReadStandInRequests().size();
        }
    }
    Report("Refresh", stores, names, refresh, refreshRequests, bareRefresh);
    Report("Registry <---> PST", stores, names, sync, syncRequests, bareSync);
}

std::vector<int> Numbers(const char* list)
{
    std::vector<int> numbers;
    for (const char* p = list; *p;) {
        numbers.push_back(std::atoi(p));
        p = std::strchr(p, ',');
        if (!p)
            break;
        ++p;
    }
    return numbers;
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
        std::printf("%-20s %6s %7s %10s %10s %10s %8s\n", "command", "stores", "names", "Pellorin s", "requests",
                    "bare s", "ratio");
        std::vector<int> storeCounts = {1};
        std::vector<int> sizes;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--stores") == 0 && i + 1 < argc)
                storeCounts = Numbers(argv[++i]);
            else
                sizes.push_back(std::atoi(argv[i]));
        }
        if (sizes.empty())
            sizes = {1000, 10000};
        for (const int names : sizes) {
            for (const int stores : storeCounts)
                Measure(registration.ProgId(), stores, names);
        }
    }
    CoUninitialize();
    StopMainUnit();
    return 0;
}
