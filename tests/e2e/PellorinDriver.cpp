#include "PellorinDriver.h"

#include "base/CodePage.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#ifndef PELLORIN_EXE
#error "PELLORIN_EXE names the program under test"
#endif
#ifndef PELLORIN_SCREENSHOT_DIR
#error "PELLORIN_SCREENSHOT_DIR names the folder of the screenshots"
#endif

namespace {

// Long enough for a start-up that blocks on a slow Outlook: Wine calls a program
// that has not looked at its queue for 5 s hung.
constexpr DWORD kSendTimeoutMs = 20000;

// The build names its files by Unix paths; Wine maps them to a drive.
std::wstring DosPath(const char* unixPath)
{
    using DosName = WCHAR*(CDECL*)(LPCSTR);
    const auto toDos = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (unixPath[0] == '/' && toDos) {
        if (WCHAR* dos = toDos(unixPath)) {
            std::wstring result = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return result;
        }
    }
    std::wstring result = FromUtf8(unixPath);
    std::replace(result.begin(), result.end(), L'/', L'\\');
    return result;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

struct TWindowSearch {
    DWORD ProcessId;
    const wchar_t* ClassName;
    HWND Found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM lParam)
{
    auto& search = *reinterpret_cast<TWindowSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search.ProcessId && IsWindowVisible(window) && ClassOf(window) == search.ClassName) {
        search.Found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring OfficeKey(const std::wstring& version)
{
    return L"Software\\Microsoft\\Office\\" + version + L"\\Outlook\\Categories";
}

// Every version Pellorin reads, and the neighbours a test may write.
constexpr const wchar_t* kOfficeVersions[] = {L"9.0", L"10.0", L"11.0", L"12.0", L"13.0", L"14.0", L"15.0", L"16.0", L"17.0"};

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        kSendTimeoutMs, &copied);
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::vector<std::wstring> EntriesOf(HWND comboBox)
{
    std::vector<std::wstring> entries;
    const auto count = static_cast<int>(SendMessageW(comboBox, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(SendMessageW(comboBox, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(
            SendMessageW(comboBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        entries.push_back(text);
    }
    return entries;
}

int SelectionOf(HWND comboBox)
{
    return static_cast<int>(SendMessageW(comboBox, CB_GETCURSEL, 0, 0));
}

RECT BoundsInParent(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE ClientSize(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

SIZE OuterSize(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

TPellorinProcess::TPellorinProcess(int showCommand)
{
    const std::wstring exe = DosPath(PELLORIN_EXE);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        throw std::runtime_error("cannot start Pellorin.exe, error " + std::to_string(GetLastError()));
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
}

TPellorinProcess::~TPellorinProcess()
{
    if (!HasExited()) {
        // A failed test may leave a box open: end the run the way a user would.
        if (const HWND main = MainWindow())
            PostMessageW(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 5000);
        }
    }
    CloseHandle(process_);
}

HWND TPellorinProcess::FindWindowOfClass(const wchar_t* className) const
{
    TWindowSearch search{processId_, className, nullptr};
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND TPellorinProcess::WaitForWindow(const wchar_t* className, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowOfClass(className)) != nullptr || HasExited(); }, timeoutMs);
    return found;
}

HWND TPellorinProcess::Control(int id) const
{
    const HWND main = MainWindow();
    return main ? GetDlgItem(main, id) : nullptr;
}

TMessageBox TPellorinProcess::WaitForMessageBox(DWORD timeoutMs) const
{
    TMessageBox box;
    box.Handle = WaitForWindow(L"#32770", timeoutMs);
    if (!box.Handle)
        return box;
    box.Title = TextOf(box.Handle);
    if (const HWND text = GetDlgItem(box.Handle, 0xFFFF))
        box.Text = TextOf(text);
    for (HWND child = GetWindow(box.Handle, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const std::wstring kind = ClassOf(child);
        if (_wcsicmp(kind.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
            box.HasIcon = true;
        if (_wcsicmp(kind.c_str(), L"Button") == 0 && IsWindowVisible(child))
            box.Buttons.push_back(GetDlgCtrlID(child));
    }
    std::sort(box.Buttons.begin(), box.Buttons.end());
    return box;
}

void TPellorinProcess::Answer(const TMessageBox& box, int buttonId) const
{
    PostMessageW(GetDlgItem(box.Handle, buttonId), BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box.Handle) || !IsWindowVisible(box.Handle); });
}

void TPellorinProcess::Click(int controlId) const
{
    PostMessageW(Control(controlId), BM_CLICK, 0, 0);
}

void TPellorinProcess::Choose(int controlId, int entry) const
{
    const HWND control = Control(controlId);
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    PostMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    WaitForIdle();
}

void TPellorinProcess::WaitForIdle() const
{
    WaitForInputIdle(process_, 15000);
}

bool TPellorinProcess::HasExited() const
{
    return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
}

DWORD TPellorinProcess::WaitForExit(DWORD timeoutMs) const
{
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

bool SaveScreenshot(const std::wstring& name)
{
    const std::string folder = PELLORIN_SCREENSHOT_DIR;
    std::string narrowName;
    for (const wchar_t c : name)
        narrowName += static_cast<char>(c < 0x80 ? c : '_');
    const std::string unixFile = folder + "/" + narrowName + ".png";
    const std::wstring dosFile = DosPath(unixFile.c_str());
    const std::wstring importer = DosPath("/usr/bin/import");
    if (GetFileAttributesW(importer.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    CreateDirectoryW(DosPath(folder.c_str()).c_str(), nullptr);
    // Controls that have just moved or appeared paint a moment later.
    Sleep(500);
    DeleteFileW(dosFile.c_str());
    // Wine starts a Unix program but hands back no handle that tells when it
    // ends: wait for the picture to be written instead.
    std::wstring commandLine = L"/usr/bin/import -window root " + FromUtf8(unixFile.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(importer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    LONGLONG lastSize = -1;
    int stableRounds = 0;
    return WaitUntil(
        [&] {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (!GetFileAttributesExW(dosFile.c_str(), GetFileExInfoStandard, &data))
                return false;
            const LONGLONG size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            stableRounds = size > 0 && size == lastSize ? stableRounds + 1 : 0;
            lastSize = size;
            return stableRounds >= 30;
        },
        15000);
}

void WriteMasterListValueBytes(const std::wstring& version, const std::vector<BYTE>& bytes, DWORD type)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, OfficeKey(version).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the Categories key");
    const LSTATUS status =
        RegSetValueExW(key, L"MasterList", 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot write MasterList");
}

void WriteMasterListValue(const std::wstring& version, const std::wstring& text)
{
    WriteMasterListValueBytes(version, Utf16Bytes(text), REG_BINARY);
}

std::vector<BYTE> ReadMasterListValueBytes(const std::wstring& version)
{
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, OfficeKey(version).c_str(), L"MasterList", RRF_RT_ANY, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> bytes(size);
    if (RegGetValueW(HKEY_CURRENT_USER, OfficeKey(version).c_str(), L"MasterList", RRF_RT_ANY, nullptr,
                     bytes.data(), &size) != ERROR_SUCCESS)
        return {};
    bytes.resize(size);
    return bytes;
}

void DeleteAllOfficeVersionKeys()
{
    for (const wchar_t* version : kOfficeVersions)
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Microsoft\\Office\\" + std::wstring(version)).c_str());
}

void SetPrefixLogPixels(DWORD dpi)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open Control Panel\\Desktop");
    if (dpi == 0)
        RegDeleteValueW(key, L"LogPixels");
    else
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    RegCloseKey(key);
}

DWORD PrefixLogPixels()
{
    DWORD dpi = 0;
    DWORD size = sizeof(dpi);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &dpi,
                     &size) != ERROR_SUCCESS)
        return 0;
    return dpi;
}
