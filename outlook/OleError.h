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
