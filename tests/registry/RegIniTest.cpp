// The accessor against the real registry API, below a scratch HKEY_CURRENT_USER.
#include "registry/RegIni.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace std::string_literals;

namespace {

class RegIni : public testing::Test {
protected:
    ScratchHkcu scratch;
    TStRegIni reg{"C_USERS"};
};

template <class Action>
void ExpectRegIniError(Action action, int number, const std::wstring& message)
{
    try {
        action();
        ADD_FAILURE() << "no EStRegIniError " << number;
    } catch (const EStRegIniError& e) {
        EXPECT_EQ(e.ErrorNumber(), number);
        EXPECT_EQ(e.Message(), message);
    }
}

// Handles this process holds. GetProcessHandleCount answers 0 under Wine; the
// system handle table, filtered by process id, serves there.
long OpenHandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return static_cast<long>(count);
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    struct Entry {
        USHORT process;
        USHORT backTrace;
        UCHAR type;
        UCHAR flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    std::vector<BYTE> buffer(1 << 16);
    ULONG length = 0;
    LONG status;
    while ((status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &length)) ==
           static_cast<LONG>(0xC0000004))  // SystemHandleInformation, STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    ULONG entries = 0;
    std::memcpy(&entries, buffer.data(), sizeof(entries));
    long ours = 0;
    for (ULONG i = 0; i < entries; ++i) {
        Entry entry;
        std::memcpy(&entry, buffer.data() + sizeof(ULONG_PTR) + i * sizeof(Entry), sizeof(entry));
        if (entry.process == static_cast<USHORT>(GetCurrentProcessId()))
            ++ours;
    }
    return ours;
}

DWORD SubKeyCount(HKEY key)
{
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    return count;
}

}  // namespace


TEST_F(RegIni, RootNamesAndAConstructionThatTouchesNothing)
{
    const long handles = OpenHandleCount();
    EXPECT_EQ(TStRegIni("c_users").GetRootKey(), HKEY_CURRENT_USER);
    EXPECT_EQ(TStRegIni("HKLM").GetRootKey(), HKEY_CURRENT_USER);
    for (const char* name : {"MACHINE", "machine", "mAcHiNe"})
        EXPECT_EQ(TStRegIni(name).GetRootKey(), HKEY_LOCAL_MACHINE) << name;
    EXPECT_EQ(TStRegIni("Users").GetRootKey(), HKEY_USERS);
    EXPECT_EQ(TStRegIni("root").GetRootKey(), HKEY_CLASSES_ROOT);
    ExpectRegIniError([] { TStRegIni(""); }, 2, L"No Ini File or Primary Key specified");

    TStRegIni deep("C_USERS");
    deep.SetCurrentSubKey("Not\\There\\");
    EXPECT_EQ(deep.GetCurrentSubKey(), "Not\\There\\");
    EXPECT_EQ(SubKeyCount(HKEY_CURRENT_USER), 0u);
    EXPECT_EQ(OpenHandleCount(), handles);
}

TEST_F(RegIni, MissingKeysAndValuesGiveStatusOrDefault)
{
    reg.SetCurrentSubKey("No\\Such\\Key");
    DWORD type = 77;
    DWORD size = 88;
    ExpectRegIniError([&] { reg.QueryValueInfo(nullptr, "V", type, size); }, 6, L"Failed to open key\nError Code: 2");
    EXPECT_EQ(reg.ReadStringValue("V", "default"), "default");
    EXPECT_EQ(reg.ReadWideStringValue("V", L"default"), L"default");
    const BYTE fallback[3] = {7, 8, 9};
    BYTE buffer[3] = {1, 2, 3};
    int count = 3;
    EXPECT_FALSE(reg.ReadBinaryValue("V", fallback, buffer, count));
    EXPECT_EQ(std::memcmp(buffer, fallback, 3), 0);
    EXPECT_FALSE(KeyExists(L"No")) << "a read must create nothing";

    PutValue(L"Key", L"Other", REG_DWORD, {1, 0, 0, 0});
    reg.SetCurrentSubKey("Key");
    EXPECT_EQ(reg.QueryValueInfo(nullptr, "V", type, size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(size, 88u);
    EXPECT_EQ(reg.ReadStringValue("V", "default"), "default");
    buffer[0] = 1;
    EXPECT_FALSE(reg.ReadBinaryValue("V", fallback, buffer, count));
    EXPECT_EQ(buffer[0], 7);
}

TEST_F(RegIni, BinaryValuesAreWrittenAndReadAtTheirExactSize)
{
    reg.SetCurrentSubKey("A\\B\\C");  // none of them exists yet
    const std::vector<BYTE> twelve = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xFE, 0xFF};
    reg.WriteBinaryValue("V", twelve.data(), 12);
    EXPECT_EQ(GetValue(L"A\\B\\C", L"V"), (RegistryValue{REG_BINARY, twelve}));
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(reg.QueryValueInfo(nullptr, "V", type, size), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 12u);

    std::vector<BYTE> buffer(12);
    int count = 12;
    EXPECT_TRUE(reg.ReadBinaryValue("V", buffer.data(), buffer.data(), count));
    EXPECT_EQ(buffer, twelve);
    count = 10;
    ExpectRegIniError([&] { reg.ReadBinaryValue("V", buffer.data(), buffer.data(), count); }, 34,
                      L"Buffer size differs from data size\nBuffer: 10   Data: 12");

    reg.WriteBinaryValue("Empty", nullptr, 0);
    EXPECT_EQ(GetValue(L"A\\B\\C", L"Empty"), (RegistryValue{REG_BINARY, {}}));
    BYTE untouched = 0x5A;
    count = 0;
    EXPECT_TRUE(reg.ReadBinaryValue("Empty", &untouched, &untouched, count));
    EXPECT_EQ(untouched, 0x5A);

    // Another type of the same size is not binary data: the default stays.
    PutValue(L"A\\B\\C", L"Number", REG_DWORD, {1, 2, 3, 4});
    std::vector<BYTE> four = {9, 9, 9, 9};
    count = 4;
    EXPECT_FALSE(reg.ReadBinaryValue("Number", four.data(), four.data(), count));
    EXPECT_EQ(four, (std::vector<BYTE>{9, 9, 9, 9}));
}

TEST_F(RegIni, StringReadsConvertByType)
{
    PutValue(L"S", L"sz", REG_SZ, Utf16Bytes(L"abc\0"s));
    PutValue(L"S", L"unterminated", REG_SZ, Utf16Bytes(L"xyz"));
    PutValue(L"S", L"inner nul", REG_SZ, Utf16Bytes(L"ab\0cd\0"s));
    PutValue(L"S", L"expand", REG_EXPAND_SZ, Utf16Bytes(L"%PATH%\0"s));
    PutValue(L"S", L"dword", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF});
    PutValue(L"S", L"short dword", REG_DWORD, {0x01});
    PutValue(L"S", L"bin", REG_BINARY, {0x1F, 0xA0});
    PutValue(L"S", L"bin127", REG_BINARY, std::vector<BYTE>(127, 0xAB));
    PutValue(L"S", L"bin128", REG_BINARY, std::vector<BYTE>(128, 0));
    PutValue(L"S", L"multi", REG_MULTI_SZ, Utf16Bytes(L"a\0b\0\0"s));
    reg.SetCurrentSubKey("S");

    EXPECT_EQ(reg.ReadStringValue("sz", "d"), "abc");
    EXPECT_EQ(reg.ReadStringValue("unterminated", "d"), "xyz");
    EXPECT_EQ(reg.ReadStringValue("inner nul", "d"), "ab");
    EXPECT_EQ(reg.ReadStringValue("expand", "d"), "%PATH%");
    EXPECT_EQ(reg.ReadStringValue("dword", "d"), "4294967295");
    EXPECT_EQ(reg.ReadStringValue("short dword", "d"), "d");
    EXPECT_EQ(reg.ReadStringValue("bin", "d"), "1FA0");
    std::string hex;
    for (int i = 0; i < 127; ++i)
        hex += "AB";
    EXPECT_EQ(reg.ReadStringValue("bin127", "d"), hex);
    ExpectRegIniError([&] { reg.ReadStringValue("bin128", "d"); }, 38, L"Size of byte array exceeds limit");
    EXPECT_EQ(reg.ReadStringValue("multi", "d"), "d");

    EXPECT_EQ(reg.ReadWideStringValue("sz", L"d"), L"abc");
    EXPECT_EQ(reg.ReadWideStringValue("unterminated", L"d"), L"xyz");
    EXPECT_EQ(reg.ReadWideStringValue("inner nul", L"d"), L"ab");
    EXPECT_EQ(reg.ReadWideStringValue("dword", L"d"), L"d");
    EXPECT_EQ(reg.ReadWideStringValue("bin", L"d"), L"d");
}

TEST_F(RegIni, SubKeysAreCreatedBelowTheCurrentKeyAndTestedBelowTheRoot)
{
    reg.SetCurrentSubKey("A\\B");
    reg.CreateSubKey("Categories");
    EXPECT_TRUE(KeyExists(L"A\\B\\Categories"));
    EXPECT_EQ(reg.GetCurrentSubKey(), "A\\B");
    EXPECT_TRUE(reg.SubKeyExists("A\\B"));
    EXPECT_TRUE(reg.SubKeyExists("a\\b\\CATEGORIES"));
    EXPECT_FALSE(reg.SubKeyExists("Categories")) << "relative to the root, not to the current key";

    reg.SetCurrentSubKey("");
    reg.CreateSubKey("Categories");
    EXPECT_TRUE(KeyExists(L"Categories"));
    ExpectRegIniError([&] { reg.CreateSubKey(""); }, 9, L"No key name specified");

    // 'C\D\' + '\' + name hands two separators in a row to the registry. It may
    // take them as one or refuse them; a refusal is error 5.
    reg.SetCurrentSubKey("C\\D\\");
    try {
        reg.CreateSubKey("Categories");
        EXPECT_TRUE(KeyExists(L"C\\D\\Categories"));
    } catch (const EStRegIniError& e) {
        EXPECT_EQ(e.ErrorNumber(), 5);
    }

    // A trailing separator on the current key itself.
    const BYTE data[] = {1, 2, 3};
    reg.SetCurrentSubKey("T\\U\\");
    try {
        reg.WriteBinaryValue("V", data, 3);
        EXPECT_EQ(GetValue(L"T\\U", L"V"), (RegistryValue{REG_BINARY, {1, 2, 3}}));
        BYTE back[3] = {};
        int count = 3;
        EXPECT_TRUE(reg.ReadBinaryValue("V", back, back, count));
        EXPECT_EQ(std::memcmp(back, data, 3), 0);
    } catch (const EStRegIniError& e) {
        EXPECT_EQ(e.ErrorNumber(), 5);
    }
}

TEST_F(RegIni, RefusedWritesRaiseWithThePlatformCodeAndLeaveNoKeyOpen)
{
    const RestrictedKey locked(L"Locked", kDenyWrite);
    const long handles = OpenHandleCount();
    ASSERT_GT(handles, 0);
    const BYTE data[] = {1};

    reg.SetCurrentSubKey("Locked");
    ExpectRegIniError([&] { reg.WriteBinaryValue("V", data, 1); }, 5, L"Failed to create key\nError Code: 5");
    EXPECT_FALSE(GetValue(L"Locked", L"V"));

    // The key opens but the value is refused: a name longer than any registry allows.
    reg.SetCurrentSubKey("Open");
    const std::wstring prefix = L"Failed to write value to Registry\nError Code: ";
    try {
        reg.WriteBinaryValue(std::string(20000, 'v'), data, 1);
        ADD_FAILURE() << "no error 8";
    } catch (const EStRegIniError& e) {
        EXPECT_EQ(e.ErrorNumber(), 8);
        ASSERT_EQ(e.Message().substr(0, prefix.size()), prefix);
        EXPECT_NE(std::stol(e.Message().substr(prefix.size())), 0);
    }
    EXPECT_TRUE(KeyExists(L"Open")) << "a key created before the refusal stays";
    EXPECT_EQ(OpenHandleCount(), handles);
}
