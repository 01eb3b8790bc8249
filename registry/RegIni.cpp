#include "RegIni.h"

#include "base/CodePage.h"
#include "base/Platform.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace {

// The message table. A "\n" breaks the line in the error box; the console
// puts a space there.
const wchar_t* RegIniErrorText(int number)
{
    switch (number) {
    case 2:
        return L"No Ini File or Primary Key specified";
    case 4:
        return L"RegIni Class not supported under Win32s";
    case 5:
        return L"Failed to create key\nError Code: %d";
    case 6:
        return L"Failed to open key\nError Code: %d";
    case 8:
        return L"Failed to write value to Registry\nError Code: %d";
    case 9:
        return L"No key name specified";
    case 34:
        return L"Buffer size differs from data size\nBuffer: %d   Data: %d";
    case 38:
        return L"Size of byte array exceeds limit";
    default:
        return L"";
    }
}

[[noreturn]] void RaiseRegIniError(int number, std::initializer_list<long long> values = {})
{
    std::wstring text = RegIniErrorText(number);
    std::size_t from = 0;
    for (const long long value : values) {
        const std::size_t at = text.find(L"%d", from);
        if (at == std::wstring::npos)
            break;
        const std::wstring digits = std::to_wstring(value);
        text.replace(at, 2, digits);
        from = at + digits.size();
    }
    throw EStRegIniError(std::move(text), number);
}

// Sizes cross into memcpy and the platform unchecked, so a bad one must stop here.
void RequireBytes(const void* data, int size)
{
    if (size < 0 || (size > 0 && data == nullptr))
        throw std::invalid_argument("registry data: negative size, or no data for a non-zero size");
}

bool PlatformIsWin32s()
{
    // A failed query is no reason to refuse.
    const std::optional<DWORD> platform = QueryPlatformId();
    return platform && *platform == VER_PLATFORM_WIN32s;
}

HKEY RootKeyFromName(const std::string& rootName)
{
    if (rootName.empty())
        RaiseRegIniError(2);
    // Not SameTextIgnoringCase: a root name is 8-bit, and the accessor's rule
    // for it is the locale's ANSI upper-casing, then an exact match.
    std::string upper = rootName;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    if (upper == "MACHINE")
        return HKEY_LOCAL_MACHINE;
    if (upper == "USERS")
        return HKEY_USERS;
    if (upper == "ROOT")
        return HKEY_CLASSES_ROOT;
    return HKEY_CURRENT_USER;
}

BYTE* DataOrNull(std::vector<BYTE>& buffer)
{
    return buffer.empty() ? nullptr : buffer.data();
}

}  // namespace

EStException::EStException(std::wstring message, int errorNumber)
    : EException(std::move(message)), errorNumber_(errorNumber)
{
}

TStRegIni::TStRegIni(const std::string& RootName)
    : RootKey(RootKeyFromName(RootName)), KeySecurity{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE}
{
    if (PlatformIsWin32s())
        RaiseRegIniError(4);
}

UniqueHkey TStRegIni::OpenCurrentKey()
{
    // A local slot: the platform does not promise to clear it on failure.
    HKEY key = nullptr;
    if (OpenForReading) {
        const LONG status = RegOpenKeyExA(RootKey, CurrentSubKey.c_str(), 0, KEY_READ, &key);
        if (status != ERROR_SUCCESS)
            RaiseRegIniError(6, {status});
    } else {
        SECURITY_ATTRIBUTES security = KeySecurity;
        const LONG status = RegCreateKeyExA(RootKey, CurrentSubKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, &security, &key, nullptr);
        if (status != ERROR_SUCCESS)
            RaiseRegIniError(5, {status});
    }
    return UniqueHkey(key);
}

LONG TStRegIni::QueryValueInfo(HKEY Key, const std::string& ValueName, DWORD& ValueType, DWORD& DataSize)
{
    OpenForReading = true;
    UniqueHkey opened;
    if (!Key) {
        opened = OpenCurrentKey();
        Key = opened.get();
    }
    DWORD type = 0;
    DWORD size = 0;
    const LONG status = RegQueryValueExA(Key, ValueName.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        ValueType = type;
        DataSize = size;
    }
    return status;
}

UniqueHkey TStRegIni::OpenCurrentKeyForReading()
{
    // The reads answer a key they cannot open with their default.
    OpenForReading = true;
    try {
        return OpenCurrentKey();
    } catch (const EStRegIniError&) {
        return UniqueHkey();
    }
}

bool TStRegIni::ReadBinaryValue(const std::string& ValueName, const void* Default, void* Buffer, int& Size)
{
    RequireBytes(Default, Size);
    RequireBytes(Buffer, Size);
    const auto count = static_cast<std::size_t>(Size);
    const auto copyDefault = [&] {
        if (count > 0)
            std::memmove(Buffer, Default, count);
        return false;
    };

    const UniqueHkey key = OpenCurrentKeyForReading();
    if (!key)
        return copyDefault();
    DWORD type = 0;
    DWORD dataSize = 0;
    if (QueryValueInfo(key.get(), ValueName, type, dataSize) != ERROR_SUCCESS)
        return copyDefault();
    if (dataSize != count)
        RaiseRegIniError(34, {Size, static_cast<long long>(dataSize)});
    if (type != REG_BINARY)
        return copyDefault();

    // Read aside first: a value that changed since the query must leave Buffer
    // as the default has it, even when Default is Buffer.
    std::vector<BYTE> data(count);
    DWORD readType = 0;
    DWORD readSize = dataSize;
    const LONG status = RegQueryValueExA(key.get(), ValueName.c_str(), nullptr, &readType, DataOrNull(data), &readSize);
    if (status != ERROR_SUCCESS || readType != REG_BINARY || readSize != dataSize)
        return copyDefault();
    if (count > 0)
        std::memcpy(Buffer, data.data(), count);
    return true;
}

std::string TStRegIni::ReadStringValue(const std::string& ValueName, const std::string& Default)
{
    const UniqueHkey key = OpenCurrentKeyForReading();
    if (!key)
        return Default;
    DWORD type = 0;
    DWORD size = 0;
    if (QueryValueInfo(key.get(), ValueName, type, size) != ERROR_SUCCESS)
        return Default;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        ++size;
    // Zeroed, so a text stored without its NUL still ends inside the buffer.
    std::vector<BYTE> buffer(size);
    DWORD delivered = size;
    const LONG status = RegQueryValueExA(key.get(), ValueName.c_str(), nullptr, &type, DataOrNull(buffer), &delivered);
    // ERROR_MORE_DATA: the value grew since its size was taken; what fits is used.
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return Default;
    delivered = std::min(delivered, size);

    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const std::string_view text(reinterpret_cast<const char*>(buffer.data()), delivered);
        return std::string(text.substr(0, text.find('\0')));
    }
    case REG_BINARY: {
        if (delivered > 127)
            RaiseRegIniError(38);
        static constexpr char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (DWORD i = 0; i < delivered; ++i) {
            hex += digits[buffer[i] >> 4];
            hex += digits[buffer[i] & 0x0F];
        }
        return hex;
    }
    case REG_DWORD: {
        // A REG_DWORD may hold fewer than four bytes; none are made up.
        if (delivered < sizeof(DWORD))
            return Default;
        DWORD value = 0;
        std::memcpy(&value, buffer.data(), sizeof(value));
        return std::to_string(value);
    }
    default:
        return Default;
    }
}

std::wstring TStRegIni::ReadWideStringValue(const std::string& ValueName, const std::wstring& Default)
{
    const UniqueHkey key = OpenCurrentKeyForReading();
    if (!key)
        return Default;
    const std::wstring name = FromCodePage(ValueName, CP_ACP);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return Default;
    // A value that keeps growing between size and read gets a few tries, not a loop.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return Default;
        // One zeroed unit past what is offered, so the text always ends.
        std::vector<wchar_t> buffer((size + 1) / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        const LONG status =
            RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (status == ERROR_MORE_DATA) {
            size = bytes;
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return Default;
        const std::wstring_view text(buffer.data(), bytes / sizeof(wchar_t));
        return std::wstring(text.substr(0, text.find(L'\0')));
    }
    return Default;
}

void TStRegIni::WriteBinaryValue(const std::string& ValueName, const void* Data, int Size)
{
    RequireBytes(Data, Size);
    OpenForReading = false;
    const UniqueHkey key = OpenCurrentKey();
    const LONG status = RegSetValueExA(key.get(), ValueName.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(Data),
                                       static_cast<DWORD>(Size));
    if (status != ERROR_SUCCESS)
        RaiseRegIniError(8, {status});
}

void TStRegIni::WriteWideStringValue(const std::string& ValueName, const std::wstring& Text, DWORD Type)
{
    OpenForReading = false;
    const UniqueHkey key = OpenCurrentKey();
    const std::wstring name = FromCodePage(ValueName, CP_ACP);
    const auto bytes = static_cast<DWORD>((Text.size() + 1) * sizeof(wchar_t));
    const LONG status =
        RegSetValueExW(key.get(), name.c_str(), 0, Type, reinterpret_cast<const BYTE*>(Text.c_str()), bytes);
    if (status != ERROR_SUCCESS)
        RaiseRegIniError(8, {status});
}

void TStRegIni::CreateSubKey(const std::string& Name)
{
    if (Name.empty())
        RaiseRegIniError(9);
    // Separators are not merged: a current key ending in "\" gives two in a row.
    const std::string path = CurrentSubKey.empty() ? Name : CurrentSubKey + "\\" + Name;
    SECURITY_ATTRIBUTES security = KeySecurity;
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(RootKey, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                        &security, &key, nullptr);
    if (status != ERROR_SUCCESS)
        RaiseRegIniError(5, {status});
    UniqueHkey closeAtOnce(key);
}

bool TStRegIni::SubKeyExists(const std::string& Path)
{
    OpenForReading = true;
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootKey, Path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    UniqueHkey closeAtOnce(key);
    return true;
}
