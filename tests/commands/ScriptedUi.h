#pragma once
// Plays the window for the commands: answers confirmations from a script and
// records everything else it is shown.

#include "base/Errors.h"
#include "commands/Commands.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

class ScriptedUi : public ICommandUi {
public:
    std::deque<bool> Answers;
    std::vector<std::wstring> Asked;
    int BusyCount = 0;
    int RestoreCount = 0;
    bool Busy = false;
    std::optional<std::wstring> MemoReg;
    std::optional<std::wstring> MemoPst;
    std::vector<std::wstring> Informed;
    std::vector<std::wstring> StoreChoices;
    int ChosenEntry = 0;

    bool Confirm(const std::wstring& text) override
    {
        Asked.push_back(text);
        const bool answer = !Answers.empty() && Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return answer;
    }
    void SetBusyCursor() override
    {
        ++BusyCount;
        Busy = true;
    }
    void RestoreCursor() override
    {
        ++RestoreCount;
        Busy = false;
    }
    void SetMemoRegText(const std::wstring& text) override { MemoReg = text; }
    void SetMemoPstText(const std::wstring& text) override { MemoPst = text; }
    void Inform(const std::wstring& text) override
    {
        EXPECT_FALSE(Busy) << "the command has ended before it informs";
        Informed.push_back(text);
    }
    void SetStoreChoices(const std::vector<std::wstring>& entries, int chosen) override
    {
        StoreChoices = entries;
        ChosenEntry = chosen;
    }
};

using Command = void (*)(TProgramState&, ICommandUi&);

inline const std::wstring kToStore = L"Do you want to add all categories from the registry into the PST?";
inline const std::wstring kToRegistry = L"Do you want to add all categories from the PST into the registry?";
inline const std::wstring kBoth = L"Do you want to synchronize all categories between registry and PST?";

inline std::wstring CategoriesKey(const std::wstring& version)
{
    return L"Software\\Microsoft\\Office\\" + version + L"\\Outlook\\Categories";
}
inline const std::wstring kKey14 = CategoriesKey(L"14.0");
inline const std::wstring kKey11 = CategoriesKey(L"11.0");

// Every copy refuses to start from a read of the stores that did not finish:
// nothing is asked and the cursor is left alone.
inline void ExpectEveryCopyRefusedForAnIncompleteRead(TProgramState& state)
{
    for (const Command command : {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick}) {
        ScriptedUi ui;
        ui.Answers = {true};
        try {
            command(state, ui);
            ADD_FAILURE() << "a copy ran on a part of the store";
        } catch (const EException& e) {
            EXPECT_EQ(e.Message(),
                      L"The categories in Outlook could not be read completely. Press Refresh, then try again.");
        }
        EXPECT_TRUE(ui.Asked.empty()) << "nothing is asked";
        EXPECT_EQ(ui.BusyCount, 0);
    }
}
