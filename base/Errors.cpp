#include "base/Errors.h"

#include <windows.h>

#include <new>

std::string ToUtf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring FromUtf8(std::string_view text)
{
    if (text.empty())
        return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

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
