// Every test program starts and stops the modules the way Pellorin does.
#include "categories/MainUnit.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RunWithProgramUnits([] { return RUN_ALL_TESTS(); },
                               [] {
                                   std::fputs("The Main unit did not start.\n", stderr);
                                   return 1;
                               });
}
