#include "base/Errors.h"

#include <windows.h>

#include <new>

EException::EException(std::wstring message) : message_(std::move(message)), utf8_(ToUtf8(message_))
{
}

EAssertionFailed::EAssertionFailed(std::wstring_view message, std::wstring_view sourceName, int line)
    : EException(std::wstring(message) + L" (" + std::wstring(sourceName) + L", line " +
                 std::to_wstring(line) + L")")
{
}

std::wstring CurrentExceptionMessage()
{
    try {
        throw;
    } catch (const EException& e) {
        return e.Message();
    } catch (const std::bad_alloc&) {
        return L"Out of memory";
    } catch (const std::exception& e) {
        return FromUtf8(e.what());
    } catch (...) {
        return L"Unknown exception";
    }
}

std::wstring ErrorBoxText(std::wstring_view message)
{
    std::wstring text(message);
    if (!text.empty() && text.back() > L'.')
        text += L'.';
    return text;
}
