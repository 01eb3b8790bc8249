#pragma once
// Refresh and the three copy commands. They work on a TProgramState and reach
// the window only through ICommandUi: they know nothing of window handles.

#include "commands/ProgramState.h"

#include <string>

class ICommandUi {
public:
    virtual ~ICommandUi() = default;
    // A modal box of the confirmation type: title "Confirm", question icon, OK
    // and Cancel. True only for OK.
    virtual bool Confirm(const std::wstring& text) = 0;
    virtual void SetBusyCursor() = 0;
    virtual void RestoreCursor() = 0;
    virtual void SetMemoRegText(const std::wstring& text) = 0;
    virtual void SetMemoPstText(const std::wstring& text) = 0;
};

// Refresh: re-reads both stores and fills both memos.
void BtnReadCategoriesClick(TProgramState& state, ICommandUi& ui);
// "Registry ---> PST"
void BtnTAVtoOLClick(TProgramState& state, ICommandUi& ui);
// "Registry <--- PST"
void BtnOLtoTAVClick(TProgramState& state, ICommandUi& ui);
// "Registry <---> PST"
void BtnSyncOLandTAVClick(TProgramState& state, ICommandUi& ui);
