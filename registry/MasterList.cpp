#include "MasterList.h"

#include "categories/MasterListText.h"
#include "registry/RegIni.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <optional>
#include <vector>

namespace {

constexpr const char* kRootName = "C_USERS";
constexpr const char* kValueName = "MasterList";

std::string OutlookKeyPath(const std::string& version)
{
    return "Software\\Microsoft\\Office\\" + version + "\\Outlook\\";
}

// Outlook 2000's list in the ANSI code page; nothing when the bytes are not
// valid text there, as UTF-16 read as 8-bit text often is in a double-byte
// code page.
std::optional<std::wstring> AnsiText(const BYTE* bytes, std::size_t size)
{
    if (size == 0)
        return std::wstring();
    const int length = static_cast<int>(size);
    const char* const text = reinterpret_cast<const char*>(bytes);
    const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (units <= 0)
        return std::nullopt;
    std::wstring result(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, result.data(), units);
    return result;
}

// A REG_SZ text ends at its first U+0000, so a name is written only up to its
// own first one (what the registry memo shows of it); the ";" after it stays.
std::wstring TextForStringValue(std::wstring joined)
{
    bool cut = false;
    std::erase_if(joined, [&cut](wchar_t c) {
        if (c == L'\0')
            cut = true;
        else if (c == L';')
            cut = false;
        return cut;
    });
    return joined;
}

}  // namespace

EMasterListTypeError::EMasterListTypeError(const std::string& version)
    : EException(L"The master list of Outlook " + std::wstring(version.begin(), version.end()) +
                 L" is not stored as binary data or text, so it was left unchanged.")
{
}

bool IsAnsiMasterList(const void* bytes, std::size_t size)
{
    const auto* const data = static_cast<const BYTE*>(bytes);
    std::size_t length = size;
    while (length > 0 && data[length - 1] == 0)
        --length;
    const auto* const end = data + length;
    // Below 0x20 also rules out the bytes 03 and 04 that every Greek and
    // Cyrillic UTF-16 character has.
    if (!std::all_of(data, end, [](BYTE b) { return b >= 0x20; }) || std::find(data, end, BYTE{';'}) == end)
        return false;
    // Ending in the UTF-16 ";" (3B 00 at an even offset) is a one-name UTF-16
    // list, such as a Chinese name whose every byte is printable.
    const bool endsInUtf16Semicolon = length < size && length % 2 == 1 && data[length - 1] == ';';
    return !endsInUtf16Semicolon;
}

std::wstring ReadMasterList(const std::string& Version)
{
    TStRegIni reg(kRootName);
    try {
        reg.SetCurrentSubKey(OutlookKeyPath(Version) + "Categories");
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (reg.QueryValueInfo(nullptr, kValueName, type, size) != ERROR_SUCCESS)
            return {};
        if (type == REG_SZ)
            return reg.ReadWideStringValue(kValueName, L"");
        if (type != REG_BINARY || size > static_cast<DWORD>(INT_MAX))
            return {};

        std::vector<BYTE> bytes(size);
        int count = static_cast<int>(size);
        if (!reg.ReadBinaryValue(kValueName, bytes.data(), bytes.data(), count))
            return {};
        if (IsAnsiMasterList(bytes.data(), bytes.size())) {
            const auto end = std::find(bytes.begin(), bytes.end(), BYTE{0});
            if (auto text = AnsiText(bytes.data(), static_cast<std::size_t>(end - bytes.begin())))
                return *std::move(text);
        }
        std::wstring text(size / 2, L'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        return text;
    } catch (const std::exception&) {
        // One unreadable version must not hide the others.
        return {};
    }
}

void ReadRegistryCategories(std::wstring& RegistryMasterText)
{
    RegistryMasterText.clear();
    for (const char* version : ProbedVersions) {
        const std::wstring text = ReadMasterList(version);
        if (!text.empty() && !RegistryMasterText.empty() && RegistryMasterText.back() != L';')
            RegistryMasterText += L';';
        RegistryMasterText += text;
    }
}

void WriteMasterList(const std::string& majorVersion, const TCategorySet& RegCategories)
{
    TStRegIni reg(kRootName);
    const std::string version = majorVersion + ".0";
    const std::string parentPath = OutlookKeyPath(version);
    const std::string categoriesPath = parentPath + "Categories";
    DWORD type = REG_NONE;
    DWORD size = 0;

    reg.SetCurrentSubKey(categoriesPath);
    if (!reg.SubKeyExists(reg.GetCurrentSubKey())) {
        reg.SetCurrentSubKey(parentPath.substr(0, parentPath.size() - 1));
        reg.CreateSubKey("Categories");
        reg.SetCurrentSubKey(categoriesPath);
    }
    // A missing value is made as Outlook makes it: REG_BINARY.
    if (reg.QueryValueInfo(nullptr, kValueName, type, size) != ERROR_SUCCESS)
        type = REG_BINARY;

    const std::wstring text = JoinMasterList(RegCategories);
    if (type == REG_SZ) {
        // Some writer chose text; the names are added in the form it chose.
        reg.WriteWideStringValue(kValueName, TextForStringValue(text));
        return;
    }
    if (type != REG_BINARY)
        throw EMasterListTypeError(version);

    // UTF-16LE whatever the host's byte order, with no terminator.
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    reg.WriteBinaryValue(kValueName, bytes.data(), static_cast<int>(bytes.size()));
}
