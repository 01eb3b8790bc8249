#include "MasterList.h"

#include "categories/MasterListText.h"
#include "registry/RegIni.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <vector>

namespace {

constexpr const char* kRootName = "C_USERS";
constexpr const char* kValueName = "MasterList";

std::string OutlookKeyPath(const std::string& version)
{
    return "Software\\Microsoft\\Office\\" + version + "\\Outlook\\";
}

// Outlook 2000's list in the ANSI code page.
std::wstring AnsiText(const BYTE* bytes, std::size_t size)
{
    if (size == 0)
        return {};
    const int length = static_cast<int>(size);
    const char* const text = reinterpret_cast<const char*>(bytes);
    const int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(std::max(units, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, length, result.data(), units);
    return result;
}

std::wstring BinaryListText(const std::string& version, const std::vector<BYTE>& bytes)
{
    if (version == "9.0") {
        auto end = bytes.end();
        while (end != bytes.begin() && end[-1] == 0)
            --end;
        if (std::find(bytes.begin(), end, BYTE{0}) == end)
            return AnsiText(bytes.data(), static_cast<std::size_t>(end - bytes.begin()));
    }
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
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
        return BinaryListText(Version, bytes);
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
