#pragma once
// The failures of COM and automation calls, and the texts the user sees for them.

#include "base/Errors.h"

#include <windows.h>

#include <string>

class EOleError : public EException {
public:
    using EException::EException;
};

// A failure code, with the system's text for it.
class EOleSysError : public EOleError {
public:
    explicit EOleSysError(HRESULT errorCode);
    EOleSysError(std::wstring message, HRESULT errorCode);

    HRESULT ErrorCode;
};

// An exception the automation server reported (DISP_E_EXCEPTION). Source and
// help file travel with it but are not part of the message.
class EOleException : public EOleError {
public:
    EOleException(std::wstring message, HRESULT scode, std::wstring source, std::wstring helpFile);

    HRESULT ErrorCode;
    std::wstring Source;
    std::wstring HelpFile;
};

// The system's text for a failure code, trailing blanks, control characters
// and "." removed; "OLE error %.8X" when the system has no text.
std::wstring OleErrorText(HRESULT errorCode);
// Raises EOleSysError for a failure code.
void OleCheck(HRESULT hr);

// Outlook's and the system's texts end in ".", blanks and line breaks; the
// error box adds its own ".".
std::wstring TrimOleMessage(std::wstring text);

// Outlook was closed, or crashed, while it was in use.
bool IsDisconnectCode(HRESULT code) noexcept;
// No classic Outlook is installed for this user: "Outlook.Application" is unknown.
bool IsNotInstalledCode(HRESULT code) noexcept;

// Who the hint speaks to: the user of the window, or of PellorinSync.
enum class THintReader { Window, Console };

// What to do about a failure whose cause the user can mend, said after the
// error text (and a blank line); empty for every other code. It is kept out of
// the message so that each front end puts it where it reports the message.
std::wstring OleErrorHint(HRESULT code, THintReader reader);
// Call from a catch block only: the failure code of the exception being
// handled when it carries one of the platform's (EOleSysError), else S_OK.
HRESULT CurrentOleErrorCode() noexcept;
// Call from a catch block only: the hint for the exception being handled.
std::wstring CurrentExceptionHint(THintReader reader);
