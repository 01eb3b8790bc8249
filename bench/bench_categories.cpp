// Prints how fast master lists of 1,000 to 100,000 names are split into a set
// and joined back. Run it under Wine: scripts/wine-run.sh build build/bench/bench_categories.exe
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

namespace {

std::wstring MakeMasterList(int names, std::mt19937& random)
{
    // Realistic names in random order: words, a few blanks, some non-Latin.
    static const wchar_t* const stems[] = {L"Project", L"Client", L"Follow up", L"\x041F\x0440\x043E\x0435\x043A\x0442",
                                           L"\x4F1A\x8B70", L"\x0395\x03C1\x03B3\x03B1\x03C3\x03AF\x03B1"};
    std::wstring text;
    for (int i = 0; i < names; ++i) {
        text += stems[random() % std::size(stems)];
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

}  // namespace

int main()
{
    StartMainUnit();
    std::mt19937 random(42);
    std::printf("%10s %14s %16s %14s %16s\n", "names", "split+set s", "split names/s", "join s",
                "join names/s");
    for (const int names : {1000, 10000, 100000}) {
        const std::wstring text = MakeMasterList(names, random);
        TCategorySet set;
        const auto t0 = std::chrono::steady_clock::now();
        SplitMasterList(text, CategoryDelimiters, set);
        const auto t1 = std::chrono::steady_clock::now();
        const std::wstring joined = JoinMasterList(set);
        const auto t2 = std::chrono::steady_clock::now();
        const double split = Seconds(t1 - t0);
        const double join = Seconds(t2 - t1);
        std::printf("%10d %14.4f %16.0f %14.4f %16.0f\n", set.Count(), split, set.Count() / split,
                    join, set.Count() / (join > 0 ? join : 1e-9));
        if (joined.empty())
            return 1;
    }
    StopMainUnit();
    return 0;
}
