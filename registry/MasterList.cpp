#include "MasterList.h"

#include "categories/MasterListText.h"
#include "registry/RegIni.h"

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

}  // namespace

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
    for (const char* version : ProbedVersions)
        RegistryMasterText += ReadMasterList(version);
}

void WriteMasterList(const std::string& majorVersion, const TCategorySet& RegCategories)
{
    TStRegIni reg(kRootName);
    const std::string parentPath = OutlookKeyPath(majorVersion + ".0");
    const std::string categoriesPath = parentPath + "Categories";
    DWORD type = REG_NONE;
    DWORD size = 0;

    reg.SetCurrentSubKey(categoriesPath);
    if (reg.SubKeyExists(reg.GetCurrentSubKey())) {
        reg.QueryValueInfo(nullptr, kValueName, type, size);
    } else {
        reg.SetCurrentSubKey(parentPath.substr(0, parentPath.size() - 1));
        reg.CreateSubKey("Categories");
        reg.SetCurrentSubKey(categoriesPath);
        reg.WriteBinaryValue(kValueName, nullptr, 0);
        reg.QueryValueInfo(nullptr, kValueName, type, size);
    }
    // Outlook may keep the list as REG_SZ; that form is its own to write.
    if (type != REG_BINARY)
        return;

    // UTF-16LE whatever the host's byte order, with no terminator.
    const std::wstring text = JoinMasterList(RegCategories);
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    reg.WriteBinaryValue(kValueName, bytes.data(), static_cast<int>(bytes.size()));
}
