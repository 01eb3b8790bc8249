#include "MasterList.h"

#include "base/CodePage.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "registry/RegIni.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <iterator>
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

bool IsText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// A MasterList as it is stored. Text is what Refresh reads of it: a REG_SZ or
// REG_EXPAND_SZ up to its first U+0000 and never expanded (a "%" in a name is
// the name's own), a REG_BINARY by its version's rule, nothing of another
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
    if (IsText(list.Type)) {
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
        const std::wstring form = IsText(list.Type) ? std::wstring(name.c_str()) : name;
        if (MasterListFit(form) != TMasterListFit::Fits || held.IndexOf(form) != -1)
            continue;
        held.Add(form);
        missing += form + L';';
    }
    return missing;
}

// Every failure once the accessor exists gives an empty REG_BINARY list: only
// a type that holds no list is reported.
TStoredList ReadVersion(const std::string& version)
{
    TStRegIni reg(kRootName);
    try {
        reg.SetCurrentSubKey(OutlookKeyPath(version) + "Categories");
        TStoredList list;
        if (ReadStoredList(reg, version, list))
            return list;
    } catch (const std::exception&) {
        // One unreadable version must not hide the others.
    }
    return {};
}

}  // namespace

EMasterListTypeError::EMasterListTypeError(const std::string& version)
    : EException(L"The master list of Outlook " + std::wstring(version.begin(), version.end()) +
                 L" is not stored as binary data or text, so it was left unchanged.")
{
}

std::wstring ReadMasterList(const std::string& Version)
{
    return ReadVersion(Version).Text;
}

TRegistryMasterLists ReadRegistryMasterLists()
{
    TRegistryMasterLists lists;
    for (const char* version : ProbedVersions) {
        const TStoredList list = ReadVersion(version);
        if (list.Type != REG_BINARY && !IsText(list.Type))
            lists.Unreadable.push_back({version, list.Type});
        if (!list.Text.empty() && !lists.Text.empty() && lists.Text.back() != L';')
            lists.Text += L';';
        lists.Text += list.Text;
    }
    return lists;
}

void ReadRegistryCategories(std::wstring& RegistryMasterText)
{
    RegistryMasterText = ReadRegistryMasterLists().Text;
}

std::wstring RegistryTypeName(DWORD type)
{
    static const wchar_t* const names[] = {
        L"REG_NONE",          L"REG_SZ",        L"REG_EXPAND_SZ",
        L"REG_BINARY",        L"REG_DWORD",     L"REG_DWORD_BIG_ENDIAN",
        L"REG_LINK",          L"REG_MULTI_SZ",  L"REG_RESOURCE_LIST",
        L"REG_FULL_RESOURCE_DESCRIPTOR",        L"REG_RESOURCE_REQUIREMENTS_LIST",
        L"REG_QWORD",
    };
    if (type < std::size(names))
        return names[type];
    return L"registry type " + std::to_wstring(type);
}

std::wstring UnreadableMasterListText(const TUnreadableMasterList& list)
{
    return L"The master list of Outlook " + std::wstring(list.Version.begin(), list.Version.end()) +
           L" is stored as " + RegistryTypeName(list.Type) + L", which Pellorin cannot read, so its names are left out.";
}

std::string MajorVersionWithoutOutlook()
{
    for (auto version = ProbedVersions.rbegin(); version != ProbedVersions.rend(); ++version) {
        const std::string text = *version;
        if (text != "9.0" && !ReadMasterList(text).empty())
            return text.substr(0, text.find('.'));
    }
    return "16";
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
    if (current.Type != REG_BINARY && !IsText(current.Type))
        throw EMasterListTypeError(version);
    if (!keyExists) {
        reg.SetCurrentSubKey(parentPath.substr(0, parentPath.size() - 1));
        reg.CreateSubKey("Categories");
        reg.SetCurrentSubKey(categoriesPath);
    }
    if (IsText(current.Type)) {
        // Some writer chose text; the names are added in the form it chose.
        const std::wstring& text = current.Text;
        reg.WriteWideStringValue(kValueName, text + (text.empty() || text.back() == L';' ? L"" : L";") + missing,
                                 current.Type);
        return;
    }

    // UTF-16LE whatever the host's byte order, with no terminator. An odd last
    // byte is half a unit that no reader can use. Trailing U+0000 units stay
    // last: a reader that stops at the first one would never see names after
    // them.
    std::vector<BYTE>& bytes = current.Bytes;
    bytes.resize(bytes.size() / 2 * 2);
    auto end = bytes.end();
    while (end - bytes.begin() >= 2 && end[-2] == 0 && end[-1] == 0)
        end -= 2;
    const bool delimited = end == bytes.begin() || (end[-2] == ';' && end[-1] == 0);
    std::vector<BYTE> added;
    added.reserve((missing.size() + 1) * 2);
    for (const wchar_t unit : (delimited ? L"" : L";") + missing) {
        added.push_back(static_cast<BYTE>(unit & 0xFF));
        added.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    bytes.insert(end, added.begin(), added.end());
    reg.WriteBinaryValue(kValueName, bytes.data(), static_cast<int>(bytes.size()));
}
