// Every test program starts the way Pellorin does: the Main unit's start-up first.
#include "categories/MainUnit.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    StartMainUnit();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    StopMainUnit();
    return result;
}
