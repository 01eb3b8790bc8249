#pragma once
// The program's exception classes share one base that carries the message the
// error box shows. Messages are UTF-16 so that names in them survive intact.

#include "base/CodePage.h"

#include <exception>
#include <string>
#include <string_view>

class EException : public std::exception {
public:
    explicit EException(std::wstring message);

    const std::wstring& Message() const noexcept { return message_; }
    // UTF-8 form, for diagnostics outside the GUI (test output, logs).
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::wstring message_;
    std::string utf8_;
};

// Raised by a failed assertion: "%s (%s, line %d)".
class EAssertionFailed : public EException {
public:
    EAssertionFailed(std::wstring_view message, std::wstring_view sourceName, int line);
};

class EStringListError : public EException {
public:
    using EException::EException;
};

// Call from a catch block only: the message of the exception being handled,
// as every front end reports it.
std::wstring CurrentExceptionMessage();

// The text a failure is reported with, in the window's error box and on the
// console: a "." is added unless the message is empty or already ends in a
// character at or below "." (so not after ".", ",", "-", ")", "!" or a blank).
std::wstring ErrorBoxText(std::wstring_view message);
