// A master list write never loses, pads or doubles a name: not when another
// writer changes the value between its size and its read, and not when a text
// value would cut two names down to one.
#include "categories/CategorySet.h"
#include "registry/MasterList.h"
#include "registry/RegIni.h"
#include "support/ImportPatch.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace std::string_literals;

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";

TCategorySet SetOf(std::initializer_list<std::wstring> names)
{
    TCategorySet set;
    for (const auto& name : names)
        set.Add(name);
    return set;
}

using TQueryValueA = LONG(WINAPI*)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
TImportPatch* g_query = nullptr;
// Runs once, right after the next query of a MasterList's size.
std::function<void()> g_afterSizeQuery;

LONG WINAPI QueryValueA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    const LONG status = g_query->Original<TQueryValueA>()(key, name, reserved, type, data, size);
    if (!data && name && std::strcmp(name, "MasterList") == 0 && g_afterSizeQuery)
        std::exchange(g_afterSizeQuery, nullptr)();
    return status;
}

class WriteSafety : public testing::Test {
protected:
    // Another writer puts bytes into the value just after its size was taken.
    void ChangeAfterSizeQuery(std::vector<BYTE> bytes)
    {
        g_afterSizeQuery = [bytes = std::move(bytes)] { PutValue(kKey14, L"MasterList", REG_BINARY, bytes); };
    }
    void TearDown() override { g_afterSizeQuery = nullptr; }

    ScratchHkcu scratch;
    TImportPatch patch{"RegQueryValueExA", reinterpret_cast<void*>(&QueryValueA)};

    struct TPatchIn {
        explicit TPatchIn(TImportPatch& patch) { g_query = &patch; }
    } patchIn{patch};
};

}  // namespace

// Read at a size the value no longer has, a value would come back cut short
// or padded with zeros.
TEST_F(WriteSafety, ABinaryReadAtAnotherSizeThanTheValuesRaises34)
{
    PutValue(L"K", L"V", REG_BINARY, {1, 2, 3, 4, 5, 6});
    TStRegIni reg("C_USERS");
    reg.SetCurrentSubKey("K");
    for (const int size : {4, 8}) {
        std::vector<BYTE> buffer(static_cast<std::size_t>(size), 0xEE);
        int count = size;
        try {
            reg.ReadBinaryValue("V", buffer.data(), buffer.data(), count);
            ADD_FAILURE() << "read at " << size;
        } catch (const EStRegIniError& e) {
            EXPECT_EQ(e.ErrorNumber(), 34);
            EXPECT_EQ(e.Message(), L"Buffer size differs from data size\nBuffer: " + std::to_wstring(size) +
                                       L"   Data: 6");
        }
        EXPECT_EQ(buffer, std::vector<BYTE>(static_cast<std::size_t>(size), 0xEE));
    }
}

// Another program writes the list while a copy builds on it: the copy reads
// it again and adds to what is there now.
TEST_F(WriteSafety, AWriteBuildsOnTheValueAsItIsWhenAnotherWriterChangesIt)
{
    const std::pair<const wchar_t*, const wchar_t*> changes[] = {
        {L"Red;Green;Yellow;", L"Red;Green;Yellow;Blue;"},  // grown
        {L"Red;", L"Red;Blue;Green;"},                        // shrunk
    };
    for (const auto& [meanwhile, after] : changes) {
        SCOPED_TRACE(ToUtf8(meanwhile));
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Green;"));
        ChangeAfterSizeQuery(Utf16Bytes(meanwhile));
        WriteMasterList("14", SetOf({L"Red", L"Green", L"Blue"}));
        EXPECT_FALSE(g_afterSizeQuery) << "the other writer came";
        EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, Utf16Bytes(after)}));
    }
}

TEST_F(WriteSafety, AReadOfAValueThatShrinksMeanwhileGivesNoNames)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Green;"));
    ChangeAfterSizeQuery(Utf16Bytes(L"Red;"));
    EXPECT_EQ(ReadMasterList("14.0"), L"") << "never a list padded with zeros";
    EXPECT_EQ(ReadMasterList("14.0"), L"Red;") << "and read again, what is there";
}

// A text value ends at its first U+0000, so "Blue" + U+0000 + "x" is written
// as "Blue": beside "Blue" it is no second name. A binary value keeps both.
TEST_F(WriteSafety, NamesThatATextValueCutsToOneAreWrittenOnce)
{
    const std::wstring cutBlue = L"Blue\0x"s;
    const RegistryValue cases[][2] = {
        {{REG_SZ, Utf16Bytes(L"Red;\0"s)}, {REG_SZ, Utf16Bytes(L"Red;Blue;\0"s)}},
        {{REG_SZ, Utf16Bytes(L"Red;Blue;\0"s)}, {REG_SZ, Utf16Bytes(L"Red;Blue;\0"s)}},
        {{REG_BINARY, Utf16Bytes(L"Red;")}, {REG_BINARY, Utf16Bytes(L"Red;Blue;" + cutBlue + L";")}},
    };
    for (const auto& [before, after] : cases) {
        PutValue(kKey14, L"MasterList", before.type, before.bytes);
        WriteMasterList("14", SetOf({L"Red", L"Blue", cutBlue}));
        EXPECT_EQ(GetValue(kKey14, L"MasterList"), after);
    }
}
