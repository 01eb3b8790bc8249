#include "base/Errors.h"
#include "base/Platform.h"
#include "base/UnicoWS.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Puts the platform flag back whatever a test did to it.
class PlatformFlag : public testing::Test {
protected:
    void TearDown() override
    {
        ApplyPlatformId(VER_PLATFORM_WIN32_NT);
        StopUnicodeLayer();
    }
};

}  // namespace

TEST_F(PlatformFlag, StartUpSetsDelimitersAndTheNtFlag)
{
    EXPECT_EQ(CategoryDelimiters, L";");
    EXPECT_EQ(QueryPlatformId(), std::optional<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_TRUE(IsWinNT);
    ApplyPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_FALSE(IsWinNT);
}

TEST_F(PlatformFlag, UnknownPlatformFailsTheAssertion)
{
    for (const DWORD id : {0ul, 3ul, 42ul}) {
        try {
            ApplyPlatformId(id);
            ADD_FAILURE() << "no assertion for platform " << id;
        } catch (const EAssertionFailed& e) {
            EXPECT_EQ(e.Message(), L"OSVersionInfo.dwPlatformId is invalid (Main, line 644)");
        }
    }
}

TEST_F(PlatformFlag, ClassificationWithoutTheUnicodeLayerFailsTheAssertion)
{
    // A 9x system without unicows.dll beside the program: nothing absent is
    // called, and the classification fails as a failing platform call does.
    ApplyPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    StartUnicodeLayer(false);
    ASSERT_EQ(UnicodeLayerGetStringTypeExW(), nullptr);
    try {
        GetCharType1W(L'a');
        ADD_FAILURE() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), L"Assertion failure (Main, line 115)");
    }
}

TEST_F(PlatformFlag, NtFamilyNeverLoadsTheUnicodeLayer)
{
    StartUnicodeLayer(true);
    EXPECT_EQ(UnicodeLayerGetStringTypeExW(), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"unicows.dll"), nullptr);
}

TEST_F(PlatformFlag, ProgramUnitsStopHoweverTheRunEnds)
{
    int startFailures = 0;
    const auto startFailed = [&] { return ++startFailures, 217; };
    StopMainUnit();
    EXPECT_EQ(RunWithProgramUnits([] { return CategoryDelimiters == L";" ? 3 : -1; }, startFailed), 3);
    EXPECT_TRUE(CategoryDelimiters.empty());
    EXPECT_THROW(RunWithProgramUnits([]() -> int { throw std::runtime_error("run"); }, startFailed),
                 std::runtime_error);
    EXPECT_TRUE(CategoryDelimiters.empty());
    EXPECT_EQ(startFailures, 0);
    // The other tests run inside the units, as the program does.
    StartMainUnit();
}
