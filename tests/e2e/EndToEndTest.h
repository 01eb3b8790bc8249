#pragma once
// What every test of the real Pellorin.exe starts from: the stand-in registered
// as "Outlook.Application" in the build's Wine prefix and no Office keys left
// by another test. Skipped on Windows, where it would touch the user's keys.

#include "PellorinDriver.h"
#include "base/ProductInfo.h"
#include "standins/outlook/StandInControl.h"
#include "ui/ControlIds.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class PellorinEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        if (!IsRunningUnderWine())
            GTEST_SKIP() << "starts Pellorin.exe against the Office registry keys: only inside Wine's prefix";
        SetProcessDPIAware();
        registration_ = std::make_unique<TStandInRegistration>();
        DeleteAllOfficeVersionKeys();
    }

    void TearDown() override
    {
        if (!IsRunningUnderWine())
            return;
        // Pellorin releases every reference, so a stand-in that COM started ends.
        EXPECT_TRUE(WaitForStandInExit());
        registration_.reset();
        DeleteAllOfficeVersionKeys();
    }

    static void UseOutlook(const std::wstring& version, std::vector<std::wstring> names = {},
                           std::vector<TStandInAddFault> faults = {}, DWORD delayMs = 0)
    {
        TStandInState state;
        state.Version = version;
        state.Names = std::move(names);
        state.AddFaults = std::move(faults);
        state.DelayMilliseconds = delayMs;
        WriteStandInState(state);
    }

    void Unregister() { registration_.reset(); }

    static HWND WaitForMain(const TPellorinProcess& app)
    {
        const HWND main = app.WaitForWindow(L"TForm1");
        EXPECT_NE(main, nullptr) << "the main window never appeared";
        return main;
    }

    static void ExpectStoreInUseState(const TPellorinProcess& app)
    {
        for (const int id : {idBtnReadRegCategories, idBtnTAVtoOL, idBtnOLtoTAV, idBtnSyncOLandTAV, idMemoReg,
                             idMemoPst, idBtnClose})
            EXPECT_TRUE(IsWindowEnabled(app.Control(id))) << id;
        EXPECT_FALSE(IsWindowVisible(app.Control(idLabelNoPstUsed)));
        EXPECT_EQ(TextOf(app.Control(idlbVersion)), PELLORIN_VERSION_TEXT);
    }

    static void ExpectNothingOffered(const TPellorinProcess& app)
    {
        for (const int id : {idBtnReadRegCategories, idBtnTAVtoOL, idBtnOLtoTAV, idBtnSyncOLandTAV, idMemoReg,
                             idMemoPst})
            EXPECT_FALSE(IsWindowEnabled(app.Control(id))) << id;
        EXPECT_TRUE(IsWindowEnabled(app.Control(idBtnClose)));
        EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Categories in Registry");
        EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Categories in PST");
        EXPECT_EQ(TextOf(app.Control(idlbVersion)), PELLORIN_VERSION_TEXT);
    }

    // Clicks a copy button and answers its confirmation with OK.
    static void RunConfirmed(const TPellorinProcess& app, int button)
    {
        app.Click(button);
        const TMessageBox box = app.WaitForMessageBox();
        ASSERT_NE(box.Handle, nullptr) << "no confirmation for " << button;
        EXPECT_EQ(box.Title, L"Confirm");
        app.Answer(box, IDOK);
    }

    static void ExitWithButton(const TPellorinProcess& app)
    {
        app.Click(idBtnClose);
        EXPECT_EQ(app.WaitForExit(), 0u);
    }

    std::unique_ptr<TStandInRegistration> registration_;
};
