#include "ui/ErrorReporter.h"

#include "base/Platform.h"
#include "categories/ShownText.h"
#include "sources/ProgramSources.h"

#include <cwchar>

std::wstring ApplicationTitleFromPath(std::wstring_view path)
{
    const auto slash = path.find_last_of(L"\\/:");
    std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    name = name.substr(0, name.find(L'.'));
    std::wstring title(name);
    if (title.size() > 1)
        CharLowerBuffW(title.data() + 1, static_cast<DWORD>(title.size() - 1));
    return title;
}

const std::wstring& ApplicationTitle()
{
    static const std::wstring title = ApplicationTitleFromPath(ProgramFilePath());
    return title;
}

std::wstring RuntimeErrorText(int code, std::uintptr_t address)
{
    wchar_t text[64];
    std::swprintf(text, std::size(text), L"Runtime error %d at %.8lX", code,
                  static_cast<unsigned long>(address));
    return text;
}

void ShowErrorBox(HWND owner, std::wstring_view message, std::wstring_view hint)
{
    // The message may carry Outlook's or the system's text; its own lines stay.
    std::wstring text = ShownLineByLine(ErrorBoxText(message));
    if (!hint.empty())
        text.append(L"\n\n").append(hint);
    MessageBoxW(owner, text.c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONSTOP);
}

void ReportCurrentException(HWND owner) noexcept
{
    try {
        ShowErrorBox(owner, CurrentExceptionMessage(), CurrentFailureHint(TFrontEnd::Window));
    } catch (...) {
        // Reporting itself failed (no memory for the text): nothing more can be shown.
    }
}
