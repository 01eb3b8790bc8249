#include "standins/outlook/StandInStore.h"

#include "base/Errors.h"
#include "base/Platform.h"

#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <optional>

namespace {

// Names may hold anything, U+0000 and lone surrogates included; the files hold
// one record a line, so such characters are written as \uXXXX.
std::wstring Escape(std::wstring_view text)
{
    std::wstring out;
    for (const wchar_t c : text) {
        if (c < 0x20 || c == L'\\' || c == 0x7f || (c >= 0xd800 && c <= 0xdfff)) {
            wchar_t code[8];
            std::swprintf(code, std::size(code), L"\\u%04X", static_cast<unsigned>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring Unescape(std::wstring_view text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 5 < text.size() && text[i + 1] == L'u') {
            out += static_cast<wchar_t>(std::wcstoul(std::wstring(text.substr(i + 2, 4)).c_str(), nullptr, 16));
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::wstring_view> SplitTabs(std::wstring_view line)
{
    std::vector<std::wstring_view> fields;
    for (;;) {
        const std::size_t tab = line.find(L'\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::wstring_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    // A writer replaces the file by renaming; a reader that meets the moment of
    // the swap tries again.
    for (int attempt = 0;; ++attempt) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return {};
            if (attempt < 50) {
                Sleep(10);
                continue;
            }
            throw EStandInError(L"cannot open " + path);
        }
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        CloseHandle(file);
        return bytes;
    }
}

std::vector<std::wstring> SplitLines(const std::string& bytes)
{
    std::vector<std::wstring> lines;
    const std::wstring text = FromUtf8(bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

void WriteBytes(HANDLE file, const std::string& bytes, const std::wstring& path)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        CloseHandle(file);
        throw EStandInError(L"cannot write " + path);
    }
    CloseHandle(file);
}


// Classes root of the registration, see RegisterStandIn.
HKEY ClassesRoot()
{
    return IsRunningUnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const std::wstring kClassesPath = L"Software\\Classes\\";

void SetDefault(const std::wstring& path, std::wstring_view name, std::wstring_view value)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(ClassesRoot(), path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     &key, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring data(value);
        status = RegSetValueExW(key, name.empty() ? nullptr : std::wstring(name).c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS)
        throw EStandInError(L"cannot register the stand-in under " + path + L" (error " +
                            std::to_wstring(status) + L")");
}

std::wstring ReadClassesText(HKEY root, const std::wstring& path, const wchar_t* name)
{
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return {};
    return buffer;
}

}  // namespace

EStandInError::EStandInError(const std::wstring& message) : std::runtime_error(ToUtf8(message)) {}

long StandInColorForNewCategory(const std::vector<long>& colorsInUse)
{
    long best = 1;
    std::size_t fewest = SIZE_MAX;
    for (long color = 1; color <= kStandInColorCount; ++color) {
        const auto uses = static_cast<std::size_t>(std::count(colorsInUse.begin(), colorsInUse.end(), color));
        if (uses < fewest) {
            fewest = uses;
            best = color;
        }
    }
    return best;
}

bool IsRunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

CLSID StandInClassFor(std::wstring_view name)
{
    CLSID clsid = CLSID_PellorinOutlookStandIn;
    if (name.empty())
        return clsid;
    // FNV-1a over the name ignoring case, in place of the last six bytes.
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : name) {
        hash ^= static_cast<std::uint64_t>(towlower(c));
        hash *= 1099511628211ull;
    }
    for (int i = 2; i < 8; ++i, hash >>= 8)
        clsid.Data4[i] = static_cast<unsigned char>(hash & 0xFF);
    return clsid;
}

std::wstring StandInClassText(const CLSID& clsid)
{
    wchar_t text[40];
    StringFromGUID2(clsid, text, static_cast<int>(std::size(text)));
    return text;
}

void RegisterStandIn(std::wstring_view exePath, std::wstring_view progId, std::wstring_view dataDirectory,
                     const CLSID& clsid)
{
    if (progId.empty())
        throw EStandInError(L"a ProgID is needed");
    if (SameTextIgnoringCase(progId, kOutlookProgId) && !IsRunningUnderWine())
        throw EStandInError(L"refusing to register the stand-in as \"Outlook.Application\" outside Wine: "
                            L"it would replace the real Outlook. Use another ProgID.");
    const std::wstring clsidPath = kClassesPath + L"CLSID\\" + StandInClassText(clsid);
    const std::wstring progIdPath = kClassesPath + std::wstring(progId);
    std::wstring server = L"\"" + std::wstring(exePath) + L"\"";
    if (clsid != CLSID_PellorinOutlookStandIn)
        server += std::wstring(L" ") + kStandInClassSwitch + L" " + StandInClassText(clsid);
    SetDefault(clsidPath, L"", L"Pellorin Outlook stand-in");
    SetDefault(clsidPath + L"\\LocalServer32", L"", server);
    SetDefault(clsidPath, L"StandInData", dataDirectory);
    SetDefault(progIdPath, L"", L"Pellorin Outlook stand-in");
    SetDefault(progIdPath + L"\\CLSID", L"", StandInClassText(clsid));
    CreateDirectoryW(std::wstring(dataDirectory).c_str(), nullptr);
}

void UnregisterStandIn(std::wstring_view progId, const CLSID& clsid)
{
    if (IsStandInRegisteredAs(progId, clsid))
        RegDeleteTreeW(ClassesRoot(), (kClassesPath + std::wstring(progId)).c_str());
    RegDeleteTreeW(ClassesRoot(), (kClassesPath + L"CLSID\\" + StandInClassText(clsid)).c_str());
}

bool IsStandInRegisteredAs(std::wstring_view progId, const CLSID& clsid)
{
    if (progId.empty())
        return false;
    const std::wstring path = kClassesPath + std::wstring(progId) + L"\\CLSID";
    return SameTextIgnoringCase(ReadClassesText(ClassesRoot(), path, nullptr), StandInClassText(clsid));
}

std::wstring StandInDataDirectory(const CLSID& clsid)
{
    return ReadClassesText(HKEY_CLASSES_ROOT, L"CLSID\\" + StandInClassText(clsid), L"StandInData");
}

std::wstring StandInStateFile(const std::wstring& dataDirectory)
{
    return dataDirectory + L"\\state.txt";
}

std::wstring StandInLogFile(const std::wstring& dataDirectory)
{
    return dataDirectory + L"\\requests.log";
}

namespace {

// A name written without its colour gets the one Add would have given it.
void FillInColors(const std::vector<std::wstring>& names, std::vector<long>& colors)
{
    colors.resize(names.size(), -1);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        if (colors[i] < 0)
            colors[i] = StandInColorForNewCategory(std::vector<long>(colors.begin(), colors.begin() + i));
    }
}

TStandInState ParseStandInState(const std::string& bytes)
{
    TStandInState state;
    // A name belongs to the store opened last; before any, to the default store,
    // which is all that files written before stores existed hold.
    constexpr std::size_t kDefaultStore = SIZE_MAX;
    std::size_t other = kDefaultStore;
    const auto names = [&]() -> std::vector<std::wstring>& {
        return other == kDefaultStore ? state.Names : state.OtherStores[other].Names;
    };
    const auto colors = [&]() -> std::vector<long>& {
        return other == kDefaultStore ? state.Colors : state.OtherStores[other].Colors;
    };
    for (const std::wstring& line : SplitLines(bytes)) {
        const std::size_t equals = line.find(L'=');
        if (line.empty() || line[0] == L'#' || equals == std::wstring::npos)
            continue;
        const std::wstring key = line.substr(0, equals);
        const std::wstring_view value = std::wstring_view(line).substr(equals + 1);
        if (key == L"version") {
            state.Version = Unescape(value);
        } else if (key == L"name") {
            const auto fields = SplitTabs(value);
            colors().resize(names().size(), -1);
            names().push_back(Unescape(fields[0]));
            colors().push_back(fields.size() > 1 ? std::wcstol(std::wstring(fields[1]).c_str(), nullptr, 10) : -1);
        } else if (key == L"default-store") {
            state.DefaultStoreName = Unescape(value);
            state.DefaultStorePosition = state.OtherStores.size();
            other = kDefaultStore;
        } else if (key == L"store") {
            state.OtherStores.push_back({Unescape(value), {}, {}, {}, {}});
            other = state.OtherStores.size() - 1;
        } else if (key == L"shares" && other != kDefaultStore) {
            state.OtherStores[other].SharesListOf = Unescape(value);
        } else if (key == L"categories-fault" && other != kDefaultStore) {
            state.OtherStores[other].CategoriesFault = Unescape(value);
        } else if (key == L"fail-add") {
            const auto fields = SplitTabs(value);
            state.AddFaults.push_back({Unescape(fields[0]), fields.size() > 1 ? Unescape(fields[1]) : L""});
        } else if (key == L"fail-item") {
            state.FailingItem = static_cast<int>(std::wcstol(std::wstring(value).c_str(), nullptr, 10));
        } else if (key == L"fail-item-description") {
            state.ItemFaultDescription = Unescape(value);
        } else if (key == L"no-categories") {
            state.NoCategories = value == L"1";
        } else if (key == L"no-stores") {
            state.NoStores = value == L"1";
        } else if (key == L"delay") {
            state.DelayMilliseconds = static_cast<DWORD>(std::wcstoul(std::wstring(value).c_str(), nullptr, 10));
        } else if (key == L"busy") {
            state.BusyMilliseconds = static_cast<DWORD>(std::wcstoul(std::wstring(value).c_str(), nullptr, 10));
        } else if (key == L"busy-after") {
            state.BusyAfterCalls = static_cast<int>(std::wcstol(std::wstring(value).c_str(), nullptr, 10));
        } else if (key == L"busy-code") {
            state.BusyRetryLater = value == L"retrylater";
        }
    }
    FillInColors(state.Names, state.Colors);
    for (TStandInStore& store : state.OtherStores)
        FillInColors(store.Names, store.Colors);
    return state;
}

std::wstring NameLines(const std::vector<std::wstring>& names, const std::vector<long>& colors)
{
    std::wstring text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += L"name=" + Escape(names[i]);
        if (i < colors.size() && colors[i] >= 0)
            text += L"\t" + std::to_wstring(colors[i]);
        text += L"\n";
    }
    return text;
}

}  // namespace

TStandInState LoadStandInState(const std::wstring& dataDirectory)
{
    return ParseStandInState(ReadBytes(StandInStateFile(dataDirectory)));
}

namespace {

// Which file a path names now, and how big and how old it is. Every save renames
// a new file into place, so a changed state always shows up here.
struct TFileStamp {
    DWORD Volume = 0;
    DWORD IndexHigh = 0;
    DWORD IndexLow = 0;
    DWORD SizeHigh = 0;
    DWORD SizeLow = 0;
    FILETIME Written = {};

    bool operator==(const TFileStamp& other) const
    {
        return Volume == other.Volume && IndexHigh == other.IndexHigh && IndexLow == other.IndexLow &&
               SizeHigh == other.SizeHigh && SizeLow == other.SizeLow &&
               CompareFileTime(&Written, &other.Written) == 0;
    }
};

std::optional<TFileStamp> StampOf(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info = {};
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!ok)
        return std::nullopt;
    return TFileStamp{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                      info.nFileSizeHigh,        info.nFileSizeLow,    info.ftLastWriteTime};
}

}  // namespace

namespace {

std::wstring cachedPath;
std::optional<TFileStamp> cachedStamp;
TStandInState cached;
unsigned cachedReads = 0;

}  // namespace

TStandInState& CachedStandInState(const std::wstring& dataDirectory)
{
    const std::wstring path = StandInStateFile(dataDirectory);
    // Taken before the read: a file replaced in between is read again next time.
    const std::optional<TFileStamp> stamp = StampOf(path);
    if (path != cachedPath || !stamp || !cachedStamp || !(*stamp == *cachedStamp)) {
        cached = ParseStandInState(ReadBytes(path));
        cachedPath = path;
        cachedStamp = stamp;
        ++cachedReads;
    }
    return cached;
}

unsigned CachedStandInStateReads()
{
    return cachedReads;
}

void SaveCachedStandInState(const std::wstring& dataDirectory)
{
    SaveStandInState(dataDirectory, cached);
    // Our own write needs no second parse.
    cachedPath = StandInStateFile(dataDirectory);
    cachedStamp = StampOf(cachedPath);
}

void SaveStandInState(const std::wstring& dataDirectory, const TStandInState& state)
{
    std::wstring text = L"# Pellorin Outlook stand-in state, UTF-8; \\uXXXX for control characters\n";
    text += L"version=" + Escape(state.Version) + L"\n";
    text += L"delay=" + std::to_wstring(state.DelayMilliseconds) + L"\n";
    text += L"busy=" + std::to_wstring(state.BusyMilliseconds) + L"\n";
    text += L"busy-after=" + std::to_wstring(state.BusyAfterCalls) + L"\n";
    text += L"busy-code=" + std::wstring(state.BusyRetryLater ? L"retrylater" : L"rejected") + L"\n";
    text += L"no-categories=" + std::wstring(state.NoCategories ? L"1" : L"0") + L"\n";
    text += L"no-stores=" + std::wstring(state.NoStores ? L"1" : L"0") + L"\n";
    text += L"fail-item=" + std::to_wstring(state.FailingItem) + L"\n";
    text += L"fail-item-description=" + Escape(state.ItemFaultDescription) + L"\n";
    for (const TStandInAddFault& fault : state.AddFaults)
        text += L"fail-add=" + Escape(fault.Name) + L"\t" + Escape(fault.Description) + L"\n";
    // The stores in Namespace.Stores order, each with its own names.
    const std::size_t defaultAt = std::min(state.DefaultStorePosition, state.OtherStores.size());
    for (std::size_t position = 0; position <= state.OtherStores.size(); ++position) {
        if (position == defaultAt) {
            text += L"default-store=" + Escape(state.DefaultStoreName) + L"\n";
            text += NameLines(state.Names, state.Colors);
        }
        if (position == state.OtherStores.size())
            break;
        const TStandInStore& store = state.OtherStores[position];
        text += L"store=" + Escape(store.DisplayName) + L"\n";
        if (!store.SharesListOf.empty())
            text += L"shares=" + Escape(store.SharesListOf) + L"\n";
        if (!store.CategoriesFault.empty())
            text += L"categories-fault=" + Escape(store.CategoriesFault) + L"\n";
        text += NameLines(store.Names, store.Colors);
    }

    CreateDirectoryW(dataDirectory.c_str(), nullptr);
    const std::wstring path = StandInStateFile(dataDirectory);
    const std::wstring temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw EStandInError(L"cannot create " + temporary);
    WriteBytes(file, ToUtf8(text), temporary);
    for (int attempt = 0; !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING); ++attempt) {
        if (attempt == 50) {
            DeleteFileW(temporary.c_str());
            throw EStandInError(L"cannot replace " + path);
        }
        Sleep(10);
    }
}

void AppendStandInLog(const std::wstring& dataDirectory, const TStandInRequest& request)
{
    const std::wstring line = std::to_wstring(request.ProcessId) + L"\t" + Escape(request.Event) + L"\t" +
                              Escape(request.Member) + L"\t" + std::to_wstring(request.Kind) + L"\t" +
                              std::to_wstring(request.ArgumentCount) + L"\t" + Escape(request.Argument) +
                              L"\n";
    const std::wstring path = StandInLogFile(dataDirectory);
    // Appends from several processes land whole: one write each, in append mode.
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw EStandInError(L"cannot open " + path);
    WriteBytes(file, ToUtf8(line), path);
}

std::vector<TStandInRequest> LoadStandInLog(const std::wstring& dataDirectory)
{
    std::vector<TStandInRequest> requests;
    for (const std::wstring& line : SplitLines(ReadBytes(StandInLogFile(dataDirectory)))) {
        const auto fields = SplitTabs(line);
        if (fields.size() < 6)
            continue;
        TStandInRequest r;
        r.ProcessId = static_cast<DWORD>(std::wcstoul(std::wstring(fields[0]).c_str(), nullptr, 10));
        r.Event = Unescape(fields[1]);
        r.Member = Unescape(fields[2]);
        r.Kind = static_cast<int>(std::wcstol(std::wstring(fields[3]).c_str(), nullptr, 10));
        r.ArgumentCount = static_cast<int>(std::wcstol(std::wstring(fields[4]).c_str(), nullptr, 10));
        r.Argument = Unescape(fields[5]);
        requests.push_back(std::move(r));
    }
    return requests;
}

void DeleteStandInLog(const std::wstring& dataDirectory)
{
    const std::wstring path = StandInLogFile(dataDirectory);
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        // Opened by the server this very moment: empty it instead.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            throw EStandInError(L"cannot clear " + path);
        CloseHandle(file);
    }
}

namespace {

struct TWindowSearch {
    DWORD only;
    std::vector<DWORD> found;
};

BOOL CALLBACK CloseStandInWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<TWindowSearch*>(context);
    wchar_t name[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if ((search.only == 0 || pid == search.only) && GetClassNameW(window, name, static_cast<int>(std::size(name))) &&
        std::wstring_view(name) == kStandInWindowClass) {
        search.found.push_back(pid);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

void StopStandInsStartedByHand(DWORD onlyProcessId, DWORD timeoutMs)
{
    TWindowSearch search{onlyProcessId, {}};
    EnumWindows(CloseStandInWindow, reinterpret_cast<LPARAM>(&search));
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (const DWORD pid : search.found) {
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
            const ULONGLONG now = GetTickCount64();
            WaitForSingleObject(process, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
            CloseHandle(process);
        }
    }
}
