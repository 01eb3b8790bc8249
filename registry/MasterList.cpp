#include "MasterList.h"

#include "base/CodePage.h"
#include "categories/MainUnit.h"
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

std::wstring BinaryListText(const std::string& version, const std::vector<BYTE>& bytes)
{
    if (version == "9.0") {
        auto end = bytes.end();
        while (end != bytes.begin() && end[-1] == 0)
            --end;
        // Outlook 2000's list is in the ANSI code page.
        if (std::find(bytes.begin(), end, BYTE{0}) == end)
            return FromCodePage({reinterpret_cast<const char*>(bytes.data()),
                                 static_cast<std::size_t>(end - bytes.begin())},
                                CP_ACP);
    }
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

// A MasterList as it is stored. Text is what Refresh reads of it: a REG_SZ up
// to its first U+0000, a REG_BINARY by its version's rule, nothing of another
// type. A missing value counts as an empty REG_BINARY, as Outlook makes it.
struct TStoredList {
    DWORD Type = REG_BINARY;
    std::vector<BYTE> Bytes;  // REG_BINARY only
    std::wstring Text;
};

// The current key is the version's Categories key; a missing key raises error
// 6. False when the value could not be read whole: it changed meanwhile.
bool ReadStoredList(TStRegIni& reg, const std::string& version, TStoredList& list)
{
    DWORD size = 0;
    if (reg.QueryValueInfo(nullptr, kValueName, list.Type, size) != ERROR_SUCCESS)
        return true;
    if (list.Type == REG_SZ) {
        // What is read of a text never holds U+0000, so this default tells a failed read.
        const std::wstring unread(1, L'\0');
        list.Text = reg.ReadWideStringValue(kValueName, unread);
        return list.Text != unread;
    }
    if (list.Type != REG_BINARY)
        return true;
    if (size > static_cast<DWORD>(INT_MAX))
        return false;
    list.Bytes.resize(size);
    int count = static_cast<int>(size);
    try {
        if (!reg.ReadBinaryValue(kValueName, list.Bytes.data(), list.Bytes.data(), count))
            return false;
    } catch (const EStRegIniError& e) {
        // 34: the value changed its size since the query.
        if (e.ErrorNumber() != 34)
            throw;
        return false;
    }
    list.Text = BinaryListText(version, list.Bytes);
    return true;
}

// The names of the set that the stored list lacks, in set order, each in the
// form the value can hold and followed by ";". A name that would not read back
// as itself (blank, starting with U+0000, holding ";") could never be found
// there, and would be added again by every copy: it is left out.
std::wstring MissingNames(const TStoredList& list, const TCategorySet& names)
{
    TCategorySet held;
    SplitMasterList(list.Text, CategoryDelimiters, held);
    std::wstring missing;
    for (int i = 0; i < names.Count(); ++i) {
        // A text ends at its first U+0000: the value can hold a name only up to it.
        const std::wstring& name = names.Get(i);
        const std::wstring form = list.Type == REG_SZ ? std::wstring(name.c_str()) : name;
        if (MasterListFit(form) != TMasterListFit::Fits || held.IndexOf(form) != -1)
            continue;
        held.Add(form);
        missing += form + L';';
    }
    return missing;
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
        TStoredList list;
        return ReadStoredList(reg, Version, list) ? list.Text : std::wstring();
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

    reg.SetCurrentSubKey(categoriesPath);
    const bool keyExists = reg.SubKeyExists(categoriesPath);
    TStoredList current;
    // The new value is built on the old one: a value that changes while it is
    // read is read again, never taken as empty.
    for (int attempt = 1; keyExists && !ReadStoredList(reg, version, current); ++attempt) {
        if (attempt == 3)
            throw EException(L"The master list of Outlook " + std::wstring(version.begin(), version.end()) +
                             L" could not be read, so it was left unchanged.");
        current = TStoredList();
    }

    const std::wstring missing = MissingNames(current, RegCategories);
    if (missing.empty())
        return;
    if (current.Type != REG_SZ && current.Type != REG_BINARY)
        throw EMasterListTypeError(version);
    if (!keyExists) {
        reg.SetCurrentSubKey(parentPath.substr(0, parentPath.size() - 1));
        reg.CreateSubKey("Categories");
        reg.SetCurrentSubKey(categoriesPath);
    }
    const std::wstring added =
        current.Text.empty() || current.Text.back() == L';' ? missing : L";" + missing;
    if (current.Type == REG_SZ) {
        // Some writer chose text; the names are added in the form it chose.
        reg.WriteWideStringValue(kValueName, current.Text + added);
        return;
    }

    // UTF-16LE whatever the host's byte order, with no terminator. An odd last
    // byte is half a unit that no reader can use.
    std::vector<BYTE>& bytes = current.Bytes;
    bytes.resize(bytes.size() / 2 * 2);
    bytes.reserve(bytes.size() + added.size() * 2);
    for (const wchar_t unit : added) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    reg.WriteBinaryValue(kValueName, bytes.data(), static_cast<int>(bytes.size()));
}
