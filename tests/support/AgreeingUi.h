#pragma once
// A window stand-in for the commands that answers OK to every question and
// shows nothing.

#include "commands/Commands.h"

class AgreeingUi : public ICommandUi {
public:
    bool Confirm(const std::wstring&) override { return true; }
    void SetBusyCursor() override {}
    void RestoreCursor() override {}
    void SetMemoRegText(const std::wstring&) override {}
    void SetMemoPstText(const std::wstring&) override {}
    void Inform(const std::wstring&) override {}
};
