// Prints how fast master lists of 1,000 to 100,000 names are split into a set
// and joined back. Run it under Wine:
//   scripts/wine-run.sh build build/bench/bench_categories.exe
// Two kinds of lists: varied names, and numbered names that share a long
// prefix. The locale comparison costs time per shared leading character, so
// the second kind is the slow case.
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"

#include <chrono>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>

namespace {

const wchar_t* const kWords[] = {
    L"Project", L"Client", L"Follow up", L"Holiday", L"Personal", L"Travel", L"Invoice",
    L"\x041F\x0440\x043E\x0435\x043A\x0442", L"\x4F1A\x8B70", L"\x0395\x03C1\x03B3\x03B1\x03C3\x03AF\x03B1"};

std::wstring VariedNames(int names, std::mt19937& random)
{
    std::wstring text;
    for (int i = 0; i < names; ++i) {
        const auto length = 4 + random() % 10;
        for (unsigned j = 0; j < length; ++j)
            text += static_cast<wchar_t>((j == 0 ? L'A' : L'a') + random() % 26);
        if (random() % 3 == 0) {
            text += L' ';
            text += kWords[random() % std::size(kWords)];
        }
        text += L';';
    }
    return text;
}

std::wstring NumberedNames(int names, std::mt19937& random)
{
    std::wstring text;
    for (int i = 0; i < names; ++i) {
        text += kWords[random() % std::size(kWords)];
        text += L' ';
        text += std::to_wstring(random() % 1000000);
        text += L';';
    }
    return text;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void Measure(const char* kind, const std::wstring& text)
{
    TCategorySet set;
    const auto t0 = std::chrono::steady_clock::now();
    SplitMasterList(text, CategoryDelimiters, set);
    const auto t1 = std::chrono::steady_clock::now();
    const std::wstring joined = JoinMasterList(set);
    const auto t2 = std::chrono::steady_clock::now();
    const double split = Seconds(t1 - t0);
    const double join = Seconds(t2 - t1) > 0 ? Seconds(t2 - t1) : 1e-9;
    std::printf("%-9s %8d %12.4f %14.0f %10.4f %14.0f\n", kind, set.Count(), split,
                set.Count() / split, join, set.Count() / join);
}

}  // namespace

int main()
{
    StartMainUnit();
    std::mt19937 random(42);
    std::printf("%-9s %8s %12s %14s %10s %14s\n", "names", "count", "split+set s", "split names/s",
                "join s", "join names/s");
    for (const int names : {1000, 10000, 100000})
        Measure("varied", VariedNames(names, random));
    for (const int names : {1000, 10000, 100000})
        Measure("numbered", NumberedNames(names, random));
    StopMainUnit();
    return 0;
}
