// The one owner of handle-like things: each value is closed exactly once.
#include "base/UniqueHandle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<int> g_closed;

void CloseFake(int value) noexcept
{
    g_closed.push_back(value);
}

using UniqueFake = TUniqueHandle<int, CloseFake, -1>;

}  // namespace

TEST(UniqueHandle, ClosesEachValueOnceWhateverPathItTakes)
{
    g_closed.clear();
    {
        UniqueFake a(1);
        a.reset(1);  // handed back what it holds: kept, not closed
        EXPECT_TRUE(g_closed.empty());
        a.reset(2);
        EXPECT_EQ(g_closed, std::vector<int>{1});

        UniqueFake b = std::move(a);
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 2);
        *b.put() = 3;  // the old value goes before the slot is handed out
        EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));

        UniqueFake c(4);
        c = std::move(b);
        EXPECT_EQ(g_closed, (std::vector<int>{1, 2, 4}));

        UniqueFake d(5);
        EXPECT_EQ(d.release(), 5);  // the caller owns it now
        UniqueFake empty;
        EXPECT_FALSE(empty);
    }
    EXPECT_EQ(g_closed, (std::vector<int>{1, 2, 4, 3}));
}
