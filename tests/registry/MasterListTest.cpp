// The MasterList values of the Office versions, read and written below a
// scratch HKEY_CURRENT_USER.
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "registry/MasterList.h"
#include "registry/RegIni.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

std::wstring CategoriesKey(const std::wstring& version)
{
    return L"Software\\Microsoft\\Office\\" + version + L"\\Outlook\\Categories";
}

void PutMasterList(const std::wstring& version, DWORD type, const std::vector<BYTE>& bytes)
{
    PutValue(CategoriesKey(version), L"MasterList", type, bytes);
}

std::optional<RegistryValue> MasterListOf(const std::wstring& version)
{
    return GetValue(CategoriesKey(version), L"MasterList");
}

TCategorySet SetOf(std::initializer_list<std::wstring> names)
{
    TCategorySet set;
    for (const auto& name : names)
        set.Add(name);
    return set;
}

std::wstring RegistryText()
{
    std::wstring text = L"left over";
    ReadRegistryCategories(text);
    return text;
}

class MasterList : public testing::Test {
protected:
    ScratchHkcu scratch;
};

const std::wstring kGreek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";  // Κόκκινο
const std::wstring kJapanese = L"\x4F1A\x8B70";                              // 会議

}  // namespace

TEST_F(MasterList, ProbedVersionsAreJoinedInOrderAndNeverRunIntoEachOther)
{
    EXPECT_EQ(RegistryText(), L"");

    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"A;B;"));
    PutMasterList(L"12.0", REG_BINARY, Utf16Bytes(L"C;"));
    EXPECT_EQ(RegistryText(), L"A;B;C;");

    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"A;B"));
    EXPECT_EQ(RegistryText(), L"A;B;C;");

    // A U+0000 after the last ";" would glue it to the next version's first name.
    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"A;B;\0"s));
    EXPECT_EQ(RegistryText(), L"A;B;\0;C;"s);

    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"A;B"));
    for (const auto* version : {L"9.0", L"10.0", L"13.0", L"14.0", L"15.0", L"16.0", L"17.0"})
        PutMasterList(version, REG_BINARY, Utf16Bytes(std::wstring(L"v") + version));
    EXPECT_EQ(RegistryText(), L"v9.0;v10.0;A;B;C;v14.0;v15.0;v16.0");

    TCategorySet names;
    SplitMasterList(RegistryText(), CategoryDelimiters, names);
    EXPECT_EQ(JoinMasterList(names), L"A;B;C;v10.0;v14.0;v15.0;v16.0;v9.0;");
}

TEST_F(MasterList, OnlyOutlook2000sKeyHoldsEightBitText)
{
    // "Café" has a character outside ASCII, so the code page matters.
    const std::wstring list = L"Red;Blue;Caf\x00E9;";
    const int size = WideCharToMultiByte(CP_ACP, 0, list.data(), static_cast<int>(list.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::vector<BYTE> ansi(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, list.data(), static_cast<int>(list.size()),
                        reinterpret_cast<char*>(ansi.data()), size, nullptr, nullptr);
    ASSERT_EQ(ansi.size(), 14u) << "code page " << GetACP();
    PutMasterList(L"9.0", REG_BINARY, ansi);
    EXPECT_EQ(ReadMasterList("9.0"), list);

    const auto bytes = [](std::string_view text) { return std::vector<BYTE>(text.begin(), text.end()); };
    struct Case {
        const wchar_t* version;
        std::vector<BYTE> bytes;
        std::wstring text;
    };
    const Case cases[] = {
        // 8-bit, with and without a terminator, at even and odd lengths.
        {L"9.0", bytes("Red;Blue;\0"sv), L"Red;Blue;"},
        {L"9.0", bytes("Red;Blue"), L"Red;Blue"},
        {L"9.0", bytes("Red;Blu"), L"Red;Blu"},
        {L"9.0", bytes("Red;Blu\0"sv), L"Red;Blu"},
        {L"9.0", bytes("Red;Blue\0"sv), L"Red;Blue"},
        {L"9.0", bytes("Red;Blue\0\0"sv), L"Red;Blue"},
        {L"9.0", bytes("Red"), L"Red"},
        // A zero byte before the trailing ones: a later writer's UTF-16.
        {L"9.0", Utf16Bytes(L"Red;Blue;"), L"Red;Blue;"},
        {L"9.0", Utf16Bytes(L"Red;Blue"), L"Red;Blue"},
        {L"9.0", Utf16Bytes(L"Red;\0"s), L"Red;\0"s},
        // From 10.0 on always UTF-16, whatever the bytes look like.
        {L"10.0", bytes("Red;Blue;\0"sv), L"\x6552\x3B64\x6C42\x6575;"},
        {L"14.0", Utf16Bytes(L"\x4E3B\x8981"), L"\x4E3B\x8981"},  // 主要: bytes 3B 4E 81 89
        {L"16.0", bytes("Red;"), L"\x6552\x3B64"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << ToUtf8(c.version) << ", " << c.bytes.size() << " bytes");
        PutMasterList(c.version, REG_BINARY, c.bytes);
        EXPECT_EQ(ReadMasterList(ToUtf8(c.version)), c.text);
    }
}

TEST_F(MasterList, ReadsBinaryAsUtf16AndTextAsStoredAndNothingElse)
{
    struct Case {
        DWORD type;
        std::vector<BYTE> bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {REG_BINARY, {}, L""},
        {REG_BINARY, {'R'}, L""},
        {REG_BINARY, {'a', 0, 'b', 0, 'c', 0, 'x'}, L"abc"},
        {REG_BINARY, {0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}, L"\xFEFF" L"a\0b"s},
        {REG_SZ, Utf16Bytes(L"Red;Blue;\0"s), L"Red;Blue;"},
        {REG_SZ, Utf16Bytes(L"Red;Blue"), L"Red;Blue"},
        {REG_SZ, {'A', 0, 'B', 0, 'C'}, L"AB"},
        {REG_SZ, Utf16Bytes(L"A;\0B;\0"s), L"A;"},
        {REG_SZ, {}, L""},
        // Text that some writer chose to expand is still only text: never expanded.
        {REG_EXPAND_SZ, Utf16Bytes(L"Red;Blue;\0"s), L"Red;Blue;"},
        {REG_EXPAND_SZ, Utf16Bytes(L"%USERPROFILE%;%X%;\0Y;\0"s), L"%USERPROFILE%;%X%;"},
        {REG_MULTI_SZ, Utf16Bytes(L"Red;\0Blue;\0\0"s), L""},
        {REG_DWORD, {1, 0, 0, 0}, L""},
        {REG_NONE, Utf16Bytes(L"Red;"), L""},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.bytes.size() << " bytes");
        PutMasterList(L"11.0", c.type, c.bytes);
        EXPECT_EQ(ReadMasterList("11.0"), c.text);
    }

    PutValue(CategoriesKey(L"12.0"), L"Other", REG_BINARY, Utf16Bytes(L"X;"));
    EXPECT_EQ(ReadMasterList("12.0"), L"") << "a key without MasterList";

    std::vector<BYTE> big(1024 * 1024 + 1);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<BYTE>(i * 7);
    PutMasterList(L"11.0", REG_BINARY, big);
    const std::wstring text = ReadMasterList("11.0");
    ASSERT_EQ(text.size(), big.size() / 2);
    EXPECT_EQ(Utf16Bytes(text), std::vector<BYTE>(big.begin(), big.end() - 1));
}

TEST_F(MasterList, ATypeThatHoldsNoListIsReportedForItsVersionAndHidesNoOther)
{
    struct Case {
        DWORD type;
        std::vector<BYTE> bytes;
        const wchar_t* name;  // empty: the list is read, nothing reported
    };
    const Case cases[] = {
        {REG_BINARY, Utf16Bytes(L"B;"), L""},
        {REG_SZ, Utf16Bytes(L"B;\0"s), L""},
        {REG_EXPAND_SZ, Utf16Bytes(L"B;\0"s), L""},
        {REG_MULTI_SZ, Utf16Bytes(L"B;\0\0"s), L"REG_MULTI_SZ"},
        {REG_DWORD, {1, 0, 0, 0}, L"REG_DWORD"},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, L"REG_QWORD"},
        {REG_NONE, Utf16Bytes(L"B;"), L"REG_NONE"},
        {REG_NONE, {}, L"REG_NONE"},
        {12, Utf16Bytes(L"B;"), L"registry type 12"},
    };
    PutMasterList(L"10.0", REG_BINARY, Utf16Bytes(L"A;"));
    PutMasterList(L"16.0", REG_BINARY, Utf16Bytes(L"C;"));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        PutMasterList(L"14.0", c.type, c.bytes);
        const TRegistryMasterLists lists = ReadRegistryMasterLists();
        if (*c.name == L'\0') {
            EXPECT_EQ(lists.Text, L"A;B;C;");
            EXPECT_TRUE(lists.Unreadable.empty());
            continue;
        }
        EXPECT_EQ(lists.Text, L"A;C;");
        ASSERT_EQ(lists.Unreadable.size(), 1u);
        EXPECT_EQ(lists.Unreadable[0].Version, "14.0");
        EXPECT_EQ(RegistryTypeName(lists.Unreadable[0].Type), c.name);
        EXPECT_EQ(UnreadableMasterListText(lists.Unreadable[0]),
                  L"The master list of Outlook 14.0 is stored as "s + c.name +
                      L", which Pellorin cannot read, so its names are left out.");
    }

    // Every such key, in probe order; a missing or denied one is no such key.
    PutMasterList(L"9.0", REG_MULTI_SZ, Utf16Bytes(L"X;\0\0"s));
    PutMasterList(L"12.0", REG_DWORD, {7, 0, 0, 0});
    const RestrictedKey denied(CategoriesKey(L"10.0"), kDenyRead);
    const TRegistryMasterLists lists = ReadRegistryMasterLists();
    EXPECT_EQ(lists.Text, L"C;");
    ASSERT_EQ(lists.Unreadable.size(), 3u);
    EXPECT_EQ(lists.Unreadable[0].Version, "9.0");
    EXPECT_EQ(lists.Unreadable[0].Type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(lists.Unreadable[1].Version, "12.0");
    EXPECT_EQ(lists.Unreadable[2].Version, "14.0");
    EXPECT_EQ(RegistryText(), L"C;") << "the text alone, as before";
}

TEST_F(MasterList, UnreadableVersionReadsAsEmptyWithoutHidingTheOthers)
{
    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"Secret;"));
    PutMasterList(L"12.0", REG_BINARY, Utf16Bytes(L"C;"));
    const RestrictedKey denied(CategoriesKey(L"11.0"), kDenyRead);
    EXPECT_EQ(RegistryText(), L"C;");

    // The path ends in a value named Categories, not a key.
    PutValue(L"Software\\Microsoft\\Office\\14.0\\Outlook", L"Categories", REG_BINARY, Utf16Bytes(L"V;"));
    EXPECT_EQ(ReadMasterList("14.0"), L"");
}

TEST_F(MasterList, WriteCreatesAMissingKeyAndTouchesOnlyItsVersion)
{
    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"Old;"));
    PutMasterList(L"14.0", REG_SZ, Utf16Bytes(L"Other;\0"s));
    WriteMasterList("12", SetOf({L"Red", L"Blue"}));

    const std::vector<BYTE> blueRed = {0x42, 0, 0x6C, 0, 0x75, 0, 0x65, 0, 0x3B, 0,
                                       0x52, 0, 0x65, 0, 0x64, 0, 0x3B, 0};
    EXPECT_EQ(MasterListOf(L"12.0"), (RegistryValue{REG_BINARY, blueRed}));
    EXPECT_EQ(MasterListOf(L"11.0"), (RegistryValue{REG_BINARY, Utf16Bytes(L"Old;")}));
    EXPECT_EQ(MasterListOf(L"14.0"), (RegistryValue{REG_SZ, Utf16Bytes(L"Other;\0"s)}));
    for (const auto* version : {L"9.0", L"10.0", L"13.0"})
        EXPECT_FALSE(KeyExists(L"Software\\Microsoft\\Office\\" + std::wstring(version))) << version;
    EXPECT_EQ(RegistryText(), L"Old;Blue;Red;Other;");

}

TEST_F(MasterList, WriteOnlyAppendsWhatTheValueLacksAndOtherwiseWritesNothing)
{
    struct Case {
        DWORD type;
        std::vector<BYTE> before;
        std::vector<std::wstring> names;
        std::optional<std::vector<BYTE>> after;  // none: not written at all
    };
    const auto text = [](std::wstring_view t) { return Utf16Bytes(std::wstring(t) + L'\0'); };
    std::vector<BYTE> oddByte = Utf16Bytes(L"Red;");
    oddByte.push_back('x');
    std::vector<BYTE> trailingOdd = Utf16Bytes(L"Red;\0"s);
    trailingOdd.push_back(0);
    const Case cases[] = {
        // Nothing lacking, whatever the spelling, order or type: no write.
        {REG_BINARY, Utf16Bytes(L"b;A;a"), {L"A", L"B"}, std::nullopt},
        {REG_SZ, text(L"b;A;a"), {L"a", L"b"}, std::nullopt},
        {REG_EXPAND_SZ, text(L"%B%;A"), {L"a", L"%b%"}, std::nullopt},
        // Names that could never be read back as themselves are not written.
        {REG_BINARY, Utf16Bytes(L"Red;"), {L" ", L"\0x"s, L"A;B"}, std::nullopt},
        // The old content stays in place; a ";" only where it lacks one.
        {REG_BINARY, Utf16Bytes(L"b;A;a"), {L"A", L"b", L"c"}, Utf16Bytes(L"b;A;a;c;")},
        // Trailing U+0000 units stay last, so that a reader stopping at the
        // first one sees the new names; a U+0000 before other text stays put.
        {REG_BINARY, Utf16Bytes(L"Red;\0"s), {L"Blue"}, Utf16Bytes(L"Red;Blue;\0"s)},
        {REG_BINARY, Utf16Bytes(L"Green;Red\0\0\0"s), {L"Blue"}, Utf16Bytes(L"Green;Red;Blue;\0\0\0"s)},
        {REG_BINARY, Utf16Bytes(L"\0"s), {L"Blue"}, Utf16Bytes(L"Blue;\0"s)},
        {REG_BINARY, Utf16Bytes(L"Red;\0x"s), {L"Blue"}, Utf16Bytes(L"Red;\0x;Blue;"s)},
        {REG_BINARY, trailingOdd, {L"Blue"}, Utf16Bytes(L"Red;Blue;\0"s)},
        {REG_EXPAND_SZ, text(L"%X%;Red"), {L"Blue", L"%x%"}, text(L"%X%;Red;Blue;")},
        {REG_BINARY, oddByte, {L"Blue"}, Utf16Bytes(L"Red;Blue;")},
        {REG_BINARY, {}, {L"Blue"}, Utf16Bytes(L"Blue;")},
        {REG_SZ, text(L"b;A;a"), {L"c", L"A"}, text(L"b;A;a;c;")},
        {REG_SZ, text(L"Red;"), {L"Red", L"Blue\0x"s, kGreek}, text(L"Red;Blue;" + kGreek + L";")},
        {REG_SZ, Utf16Bytes(L"A\0B;\0"s), {L"B"}, text(L"A;B;")},
        {REG_SZ, Utf16Bytes(L"A"), {L"B"}, text(L"A;B;")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.before.size() << " bytes, "
                                        << c.names.size() << " names");
        TCategorySet names;
        for (const auto& name : c.names)
            names.Add(name);
        PutMasterList(L"12.0", c.type, c.before);
        if (c.after) {
            WriteMasterList("12", names);
            EXPECT_EQ(MasterListOf(L"12.0"), (RegistryValue{c.type, *c.after}));
        } else {
            // A write into this key fails, so none may be tried.
            const RestrictedKey locked(CategoriesKey(L"12.0"), kDenyWrite);
            EXPECT_NO_THROW(WriteMasterList("12", names));
            EXPECT_EQ(MasterListOf(L"12.0"), (RegistryValue{c.type, c.before}));
        }
    }

    WriteMasterList("14", TCategorySet());
    WriteMasterList("14", SetOf({L" "}));
    EXPECT_FALSE(KeyExists(L"Software\\Microsoft\\Office\\14.0")) << "no key made for nothing";
}

TEST_F(MasterList, WriteKeepsTextAsTextAndRefusesWhatHoldsNoList)
{
    // Text stays text, through the wide API: no name is lost to the code page.
    PutMasterList(L"12.0", REG_SZ, Utf16Bytes(L"Old;\0"s));
    WriteMasterList("12", SetOf({L"Old", kGreek, L"Blue\0x"s}));
    EXPECT_EQ(MasterListOf(L"12.0"),
              (RegistryValue{REG_SZ, Utf16Bytes(L"Old;Blue;" + kGreek + L";\0"s)}))
        << "each name up to its first U+0000, then the terminator";
    EXPECT_EQ(ReadMasterList("12.0"), L"Old;Blue;" + kGreek + L";");

    const std::vector<RegistryValue> refused = {
        {REG_DWORD, {1, 2, 3, 4}},
        {REG_NONE, {}},
        {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {REG_MULTI_SZ, Utf16Bytes(L"A;\0\0"s)},
    };
    for (const RegistryValue& value : refused) {
        SCOPED_TRACE(testing::Message() << "type " << value.type);
        PutMasterList(L"14.0", value.type, value.bytes);
        try {
            WriteMasterList("14", SetOf({L"New"}));
            ADD_FAILURE() << "nothing was written, and nothing said so";
        } catch (const EMasterListTypeError& e) {
            EXPECT_EQ(e.Message(),
                      L"The master list of Outlook 14.0 is not stored as binary data or text, so it was left unchanged.");
        }
        EXPECT_EQ(MasterListOf(L"14.0"), value);
    }

    // An existing key without the value gets it, as REG_BINARY.
    PutValue(CategoriesKey(L"11.0"), L"Other", REG_DWORD, {0, 0, 0, 0});
    WriteMasterList("11", SetOf({L"New"}));
    EXPECT_EQ(MasterListOf(L"11.0"), (RegistryValue{REG_BINARY, Utf16Bytes(L"New;")}));

    // A value named Categories where the key belongs: the key is made beside it.
    const std::wstring outlook = L"Software\\Microsoft\\Office\\16.0\\Outlook";
    PutValue(outlook, L"Categories", REG_BINARY, Utf16Bytes(L"V;"));
    WriteMasterList("16", SetOf({L"New"}));
    EXPECT_EQ(MasterListOf(L"16.0"), (RegistryValue{REG_BINARY, Utf16Bytes(L"New;")}));
    EXPECT_EQ(GetValue(outlook, L"Categories"), (RegistryValue{REG_BINARY, Utf16Bytes(L"V;")}));
}

TEST_F(MasterList, WriteOverAHugeValueAndARefusedKey)
{
    PutMasterList(L"12.0", REG_BINARY, std::vector<BYTE>(1024 * 1024 + 1, 0x41));
    WriteMasterList("12", SetOf({L"Red"}));
    std::vector<BYTE> grown(1024 * 1024, 0x41);
    for (const BYTE b : Utf16Bytes(L";Red;"))
        grown.push_back(b);
    EXPECT_EQ(MasterListOf(L"12.0")->bytes, grown);

    PutMasterList(L"11.0", REG_BINARY, Utf16Bytes(L"Old;"));
    const RestrictedKey locked(CategoriesKey(L"11.0"), kDenyWrite);
    try {
        WriteMasterList("11", SetOf({L"Red"}));
        ADD_FAILURE() << "a refused write reported as done";
    } catch (const EStRegIniError& e) {
        EXPECT_EQ(e.ErrorNumber(), 5);
        EXPECT_EQ(e.Message(), L"Failed to create key\nError Code: 5");
    }
    EXPECT_EQ(MasterListOf(L"11.0"), (RegistryValue{REG_BINARY, Utf16Bytes(L"Old;")}));
}

TEST_F(MasterList, GreekAndJapaneseSurviveBothLayoutsUnitForUnit)
{
    const TCategorySet names = SetOf({kGreek, kJapanese});
    const std::wstring joined = JoinMasterList(names);
    WriteMasterList("12", names);
    EXPECT_EQ(MasterListOf(L"12.0"), (RegistryValue{REG_BINARY, Utf16Bytes(joined)}));
    EXPECT_EQ(ReadMasterList("12.0"), joined);

    PutMasterList(L"11.0", REG_SZ, Utf16Bytes(kGreek + L";" + kJapanese + L";\0"s));
    EXPECT_EQ(ReadMasterList("11.0"), kGreek + L";" + kJapanese + L";");
}

TEST_F(MasterList, WritesNeverReachTheRealUserKey)
{
    const std::wstring realKey = L"Microsoft\\Office\\12.0\\Outlook\\Categories";
    const auto realBefore = GetValue(realKey, L"MasterList", scratch.RealSoftware());
    const bool realKeyBefore = KeyExists(realKey, scratch.RealSoftware());

    WriteMasterList("12", SetOf({L"Scratch only"}));
    TStRegIni reg("C_USERS");
    reg.SetCurrentSubKey("Software\\Microsoft\\Office\\12.0\\Outlook\\Categories");
    const BYTE data[] = {'X', 0, ';', 0};
    reg.WriteBinaryValue("Accessor", data, 4);

    EXPECT_EQ(MasterListOf(L"12.0")->bytes, Utf16Bytes(L"Scratch only;"));
    EXPECT_EQ(GetValue(realKey, L"MasterList", scratch.RealSoftware()), realBefore);
    EXPECT_FALSE(GetValue(realKey, L"Accessor", scratch.RealSoftware()));
    EXPECT_EQ(KeyExists(realKey, scratch.RealSoftware()), realKeyBefore);
}

TEST_F(MasterList, RandomSetsReadBackAsWritten)
{
    // Names as a user could hold them: non-Latin letters, inner blanks, a U+0000
    // inside; each starts with a letter so that it is a name when read back.
    static const std::wstring letters = L"abcXYZ\x00C4\x00E4\x00DF\x03B1\x0391\x0416\x0436\x3042\x65E5";
    static const std::wstring rest = letters + L"019 \t-'._," + L"\0\x3000"s;
    std::mt19937 random(20261207);
    const auto randomName = [&](const std::wstring& tail) {
        std::wstring name(1, letters[random() % letters.size()]);
        for (auto length = random() % 40; length > 0; --length)
            name += tail[random() % tail.size()];
        return name;
    };
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        // An old value, as another writer may have left it: its own names, a
        // last ";" or none, and maybe U+0000 units after them.
        std::wstring old;
        std::size_t zeros = 0;
        RegDeleteKeyValueW(HKEY_CURRENT_USER, CategoriesKey(L"12.0").c_str(), L"MasterList");
        if (round % 4 != 0) {
            for (auto count = random() % 30; count > 0; --count)
                old += randomName(letters + L" ") + L";";
            if (random() % 2 && !old.empty())
                old.pop_back();
            zeros = random() % 4;
            PutMasterList(L"12.0", REG_BINARY, Utf16Bytes(old + std::wstring(zeros, L'\0')));
        }
        TCategorySet expected;
        SplitMasterList(old, CategoryDelimiters, expected);
        TCategorySet written;
        while (written.Count() < 300)
            written.Add(randomName(rest));
        WriteMasterList("12", written);
        for (int i = 0; i < written.Count(); ++i)
            expected.Add(written.Get(i));

        // The old text stays a prefix, the new names come next, and the zero
        // units that ended the value still end it.
        const std::vector<BYTE> bytes = MasterListOf(L"12.0")->bytes;
        const std::vector<BYTE> oldBytes = Utf16Bytes(old);
        ASSERT_GE(bytes.size(), oldBytes.size() + zeros * 2 + 4);
        EXPECT_TRUE(std::equal(oldBytes.begin(), oldBytes.end(), bytes.begin()));
        EXPECT_EQ(std::vector<BYTE>(bytes.end() - static_cast<std::ptrdiff_t>(zeros * 2), bytes.end()),
                  std::vector<BYTE>(zeros * 2, 0));
        const auto beforeZeros = bytes.end() - static_cast<std::ptrdiff_t>(zeros * 2);
        EXPECT_EQ(std::vector<BYTE>(beforeZeros - 2, beforeZeros), Utf16Bytes(L";"));

        std::wstring text;
        ReadRegistryCategories(text);
        TCategorySet read;
        SplitMasterList(text, CategoryDelimiters, read);
        ASSERT_EQ(read.Count(), expected.Count());
        for (int i = 0; i < expected.Count(); ++i)
            ASSERT_EQ(read.Get(i), expected.Get(i)) << "name " << i;
    }
}
