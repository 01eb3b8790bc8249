#pragma once
// Tests against the Outlook stand-in over real COM. Each test starts with the
// stand-in registered for the test ProgID, with an empty state and log, and no
// stand-in process left from an earlier test.

#include "outlook/OutlookConnection.h"
#include "standins/outlook/StandInControl.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class StandInTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!WaitForStandInExit()) {
            TerminateStandIns();
            FAIL() << "a stand-in from an earlier test was still running";
        }
    }
    void TearDown() override
    {
        CloseOutlookConnection(connection);
        EXPECT_TRUE(WaitForStandInExit()) << "the stand-in outlived its last reference";
    }

    void Open() { OpenOutlookConnection(connection, registration.ProgId()); }

    static void SetNames(std::vector<std::wstring> names)
    {
        TStandInState state;
        state.Names = std::move(names);
        WriteStandInState(state);
    }

    // "member kind argument" of each invocation, in order.
    static std::vector<std::wstring> Invocations()
    {
        std::vector<std::wstring> result;
        for (const TStandInRequest& r : ReadStandInRequests()) {
            if (r.Event == L"invoke")
                result.push_back(r.Member + L" " + std::to_wstring(r.Kind) +
                                 (r.ArgumentCount ? L" " + r.Argument : L""));
        }
        return result;
    }

    static int Starts()
    {
        int starts = 0;
        for (const TStandInRequest& r : ReadStandInLog())
            starts += r.Event == L"start";
        return starts;
    }

    TStandInRegistration registration{StandInOwnProgId()};
    TOutlookConnection connection;
};

