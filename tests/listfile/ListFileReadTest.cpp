// Reading list files: every encoding, colour spelling and quoting the makers
// use, and each bad file with the exact line a user is shown.
#include "ListFileSupport.h"

#include "support/Caught.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

std::vector<std::wstring> Warnings(const TCategoryListFile& list)
{
    std::vector<std::wstring> messages;
    for (const TListFileWarning& warning : list.Warnings)
        messages.push_back(warning.Message);
    return messages;
}

struct TGoodFile {
    const char* Title;
    std::string Bytes;
    TListFileFormat Format;
    std::vector<std::wstring> Entries;
    std::vector<std::wstring> Warnings = {};
};

const TListFileFormat kCsv = TListFileFormat::Csv;
const TListFileFormat kJson = TListFileFormat::Json;

const TGoodFile kGoodFiles[] = {
    {"UTF-8 without a mark, LF", ToUtf8(L"DisplayName,Color\nRed,preset0\nBlue,\n"), kCsv,
     {L"Red = preset0 @2", L"Blue = - @3"}},
    {"UTF-8 with a mark, CR LF", Utf8Bom(L"DisplayName,Color\r\n\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF,preset3\r\n"
                                         L"\x4F1A\x8B70,none\r\n"),
     kCsv, {L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF = preset3 @2", L"\x4F1A\x8B70 = none @3"}},
    {"UTF-16 LE with a mark", Utf16(L"DisplayName,Color\r\n\x0416\x0451\x043B\x0442\x044B\x0439,preset4\r\n", false),
     kCsv, {L"\x0416\x0451\x043B\x0442\x044B\x0439 = preset4 @2"}},
    {"UTF-16 BE with a mark, a surrogate pair", Utf16(L"DisplayName,Color\r\nSmile \xD83D\xDE00,preset5\r\n", true),
     kCsv, {L"Smile \xD83D\xDE00 = preset5 @2"}},
    {"Graph's names in any letter case, Outlook's numbers, blanks around",
     ToUtf8(L"DisplayName,Color\nA,none\nB,NONE\nC,Preset0\nD,PRESET24\nE,0\nF,1\nG,25\nH, preset7 \nI,\n"), kCsv,
     {L"A = none @2", L"B = none @3", L"C = preset0 @4", L"D = preset24 @5", L"E = none @6", L"F = preset0 @7",
      L"G = preset24 @8", L"H = preset7 @9", L"I = - @10"}},
    {"columns by name, any order and case, others ignored",
     ToUtf8(L"Id,COLOR,Extra,displayname\n1,preset2,x,Green\n2,,y,Grey\n3,preset9\n"), kCsv,
     {L"Green = preset2 @2", L"Grey = - @3"}, {L"list.csv, line 4: skipped: the name is blank"}},
    {"no Color column", ToUtf8(L"DisplayName\r\nOnly\r\n"), kCsv, {L"Only = - @2"}},
    {"RFC 4180 quoting; a quoted line break moves the lines on",
     ToUtf8(L"DisplayName,Color\r\n\"A, B\",preset1\r\n\"Say \"\"hi\"\"\",\r\n\"two\r\nlines\",preset2\r\n"
            L"\"semi;colon\",\r\nhal\"f,\r\n\"ends in CR\r\",\r\n"),
     kCsv,
     {L"A, B = preset1 @2", L"Say \"hi\" = - @3", L"two\r\nlines = preset2 @4", L"semi;colon = - @6",
      L"hal\"f = - @7", L"ends in CR\r = - @8"}},
    {"Export-Csv's #TYPE line is skipped, lines still count it",
     ToUtf8(L"#TYPE Some.Type\r\n\"DisplayName\",\"Color\"\r\n\"Red\",\"preset0\"\r\n"), kCsv,
     {L"Red = preset0 @3"}},
    {"one guarding ' comes off a formula-like name, and only then",
     ToUtf8(L"DisplayName\n'=SUM(A1)\n''+1\n'abc\n'-\n\"'\tTab\"\n'@home\n-5\n\"'\rCR\"\n"), kCsv,
     {L"=SUM(A1) = - @2", L"'+1 = - @3", L"'abc = - @4", L"- = - @5", L"\tTab = - @6", L"@home = - @7",
      L"-5 = - @8", L"\rCR = - @9"}},
    {"blank and repeated names are skipped with a warning, empty lines without one",
     ToUtf8(L"DisplayName,Color\nRed,preset0\n\n   ,preset1\nred,preset5\n,\nBlue\n\x00C4rger\n\x00E4rger\n"), kCsv,
     {L"Red = preset0 @2", L"Blue = - @7", L"\x00C4rger = - @8"},
     {L"list.csv, line 4: skipped: the name is blank", L"list.csv, line 5: skipped: \"red\" is already on line 2",
      L"list.csv, line 6: skipped: the name is blank",
      L"list.csv, line 9: skipped: \"\x00E4rger\" is already on line 8"}},
    {"Graph's shape: other properties ignored, each entry at the line of its {",
     ToUtf8(L"{\n"
            L"  \"@odata.context\": \"https://graph.microsoft.com/v1.0/$metadata#x\",\n"
            L"  \"value\": [\n"
            L"    {\"id\": \"1\", \"displayName\": \"Red category\", \"color\": \"preset0\"},\n"
            L"    {\n"
            L"      \"displayName\": \"No colour\",\n"
            L"      \"color\": null,\n"
            L"      \"extra\": {\"displayName\": \"not me\", \"value\": [1, {\"color\": 2}]}\n"
            L"    },\n"
            L"    {\"displayName\": \"Number colour\", \"color\": \"7\"},\n"
            L"    {\"displayName\": \"red CATEGORY\", \"color\": \"preset1\"},\n"
            L"    {\"displayName\": \" \", \"color\": \"none\"},\n"
            L"    {\"displayName\": \"=1+1\"}\n"
            L"  ]\n"
            L"}\n"),
     kJson, {L"Red category = preset0 @4", L"No colour = - @5", L"Number colour = preset6 @10", L"=1+1 = - @13"},
     {L"list.json, line 11: skipped: \"red CATEGORY\" is already on line 4",
      L"list.json, line 12: skipped: the name is blank"}},
    {"Graph's shape in UTF-16 with a mark",
     Utf16(L"{\"value\":[{\"displayName\":\"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF\",\"color\":\"Preset3\"}]}",
           false),
     kJson, {L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF = preset3 @1"}},
};

struct TBadFile {
    const char* Title;
    std::string Bytes;
    TListFileFormat Format;
    std::wstring Message;
};

const std::wstring kNotText =
    L"not a CSV file: its text is neither UTF-8 nor UTF-16 with a byte-order mark; save it in Excel as "
    L"\"CSV UTF-8 (Comma delimited)\", or in Notepad with the UTF-8 encoding";
const std::wstring kNotGraph =
    L"not a category list in Microsoft Graph's shape {\"value\":[{\"displayName\":\"...\",\"color\":\"preset0\"}]}";
const std::wstring kColours = L" (a colour is none, preset0 to preset24, or a number from 0 to 25)";

const TBadFile kBadFiles[] = {
    {"ANSI text", "DisplayName\r\nok\r\nCaf\xE9\r\n", kCsv, L"list.csv, line 3: " + kNotText},
    {"UTF-16 without its mark", std::string("D\0i\0s\0p\0", 8), kCsv, L"list.csv, line 1: " + kNotText},
    {"UTF-16 cut in half", std::string("\xFF\xFE" "D\0i", 5), kCsv, L"list.csv, line 1: " + kNotText},
    {"no DisplayName column", "Name,Color\nRed,preset0\n", kCsv, L"list.csv, line 1: no DisplayName column"},
    {"no DisplayName column after #TYPE", "#TYPE X\r\nName\r\n", kCsv, L"list.csv, line 2: no DisplayName column"},
    {"an empty file", "", kCsv, L"list.csv, line 1: no DisplayName column"},
    {"an unclosed quote", "DisplayName,Color\nA,none\n\"B,none\nC,none\n", kCsv,
     L"list.csv, line 3: an unclosed quote"},
    {"an unknown colour name", "DisplayName,Color\nA,Rot\n", kCsv,
     L"list.csv, line 2: unknown colour \"Rot\"" + kColours},
    {"a preset past Graph's", "DisplayName,Color\nA,none\nB,preset25\n", kCsv,
     L"list.csv, line 3: unknown colour \"preset25\"" + kColours},
    {"a number past Outlook's", "DisplayName,Color\nA,26\n", kCsv,
     L"list.csv, line 2: unknown colour \"26\"" + kColours},
    {"U+0000 in a name", ToUtf8(L"DisplayName,Color\nA,none\nB\0C,none\n"s), kCsv,
     L"list.csv, line 3: an embedded U+0000"},
    {"U+0000 in an ignored column", ToUtf8(L"DisplayName,Note\nA,x\0y\n"s), kCsv,
     L"list.csv, line 2: an embedded U+0000"},
    {"JSON with a syntax error", "{\n  \"value\": [\n    {\"displayName\": \"A\",}\n  ]\n}", kJson,
     L"list.json, line 3: not valid JSON (a syntax error)"},
    {"an empty JSON file", "", kJson, L"list.json, line 1: not valid JSON (a syntax error)"},
    {"a CSV file named .json", "DisplayName,Color\nRed,preset0\n", kJson,
     L"list.json, line 1: not valid JSON (a syntax error)"},
    {"PowerShell's bare array", "[{\"DisplayName\":\"A\",\"Color\":\"preset0\"}]", kJson,
     L"list.json, line 1: " + kNotGraph},
    {"value not a list", "{\"value\": {\"displayName\": \"A\"}}", kJson, L"list.json, line 1: " + kNotGraph},
    {"no value", "{\"values\": []}", kJson, L"list.json, line 1: " + kNotGraph},
    {"an entry that is not an object", "{\"value\":[\n{\"displayName\":\"A\"},\n\"B\"\n]}", kJson,
     L"list.json, line 3: " + kNotGraph},
    {"an entry without displayName",
     "{\"value\":[\n{\"displayName\":\"A\"},\n{\"DisplayName\":\"B\",\n\"color\":\"none\"}]}", kJson,
     L"list.json, line 3: " + kNotGraph},
    {"a colour that is not text", "{\"value\":[\n{\"displayName\":\"A\",\n\"color\":3}]}", kJson,
     L"list.json, line 2: " + kNotGraph},
    {"an unknown colour in JSON", "{\"value\":[\n{\"displayName\":\"A\",\"color\":\"red\"}]}", kJson,
     L"list.json, line 2: unknown colour \"red\"" + kColours},
    {"U+0000 in JSON", "{\"value\":[\n\n{\"displayName\":\"A\\u0000B\"}]}", kJson,
     L"list.json, line 3: an embedded U+0000"},
};

}  // namespace

TEST(ListFileReading, EveryGoodFileGivesItsEntriesAndWarnings)
{
    for (const TGoodFile& file : kGoodFiles) {
        SCOPED_TRACE(file.Title);
        const TCategoryListFile list =
            ParseCategoryList(file.Bytes, file.Format, file.Format == kJson ? L"list.json" : L"list.csv");
        EXPECT_EQ(Described(list), file.Entries);
        EXPECT_EQ(Warnings(list), file.Warnings);
    }
}

TEST(ListFileReading, EveryBadFileIsRefusedWithItsLineAndReason)
{
    for (const TBadFile& file : kBadFiles) {
        SCOPED_TRACE(file.Title);
        const auto error = Caught<EListFileError>(
            [&] { ParseCategoryList(file.Bytes, file.Format, file.Format == kJson ? L"list.json" : L"list.csv"); });
        EXPECT_EQ(error.Message(), file.Message);
    }
}

TEST(ListFileReading, LimitsAreTheLastSizeAndRowCountAccepted)
{
    const std::string header = "DisplayName,Color\r\n";
    std::string atSize = header + std::string(kListFileMaxBytes - header.size() - 2, 'n') + "\r\n";
    EXPECT_EQ(ParseCategoryList(atSize, kCsv, L"big.csv").Entries.size(), 1u);
    atSize += "x";
    EXPECT_EQ(Caught<EListFileError>([&] { ParseCategoryList(atSize, kCsv, L"big.csv"); }).Message(),
              L"big.csv, line 1: the file is larger than 10 MB, the most a category list may have");

    // Blank rows keep this quick: the count is of rows, not of names kept.
    std::string rows = header;
    for (std::size_t i = 0; i < kListFileMaxRows; ++i)
        rows += ",none\n";
    EXPECT_EQ(ParseCategoryList(rows, kCsv, L"long.csv").Warnings.size(), kListFileMaxRows);
    rows += "\n,none\n";
    EXPECT_EQ(Caught<EListFileError>([&] { ParseCategoryList(rows, kCsv, L"long.csv"); }).Message(),
              L"long.csv, line 100003: the file has more than 100,000 rows, the most a category list may have");
}

TEST(ListFileReading, TheHeaderIsReadAsPeopleTypeIt)
{
    // Spaces after the separators, as one types a header by hand; columns
    // nothing reads are named once, so a misspelt one is seen.
    const TCategoryListFile typed = ParseCategoryList(
        ToUtf8(L"#TYPE X\r\n DisplayName , Color,Colour,Id,note,\r\nRed,preset0,preset1,1,x,\r\nBlue,2,,2,y,\r\n"),
        kCsv, L"typed.csv");
    EXPECT_EQ(Described(typed), (std::vector<std::wstring>{L"Red = preset0 @3", L"Blue = preset1 @4"}));
    EXPECT_TRUE(typed.Warnings.empty());
    std::vector<std::wstring> remarks;
    for (const TListFileWarning& remark : typed.Remarks)
        remarks.push_back(remark.Message);
    EXPECT_EQ(remarks,
              (std::vector<std::wstring>{
                  L"typed.csv, line 2: the column \"Colour\" is ignored: only DisplayName and Color are read",
                  L"typed.csv, line 2: the column \"note\" is ignored: only DisplayName and Color are read"}));

    // The header alone decides the separator: the first that gives a DisplayName.
    EXPECT_EQ(Described(ParseCategoryList(ToUtf8(L"\n\"DisplayName\";\"Color\"\n\"a,b\";preset2\n"), kCsv, L"s.csv")),
              (std::vector<std::wstring>{L"a,b = preset2 @3"}));
    // A header of one column is read with ",".
    EXPECT_EQ(Described(ParseCategoryList(ToUtf8(L"DisplayName\na;b,c\n"), kCsv, L"s.csv")),
              (std::vector<std::wstring>{L"a;b = - @2"}));
    EXPECT_EQ(Caught<EListFileError>([] { ParseCategoryList("Name;Colour\nRed;preset0\n", kCsv, L"s.csv"); }).Message(),
              L"s.csv, line 1: no DisplayName column");
    // U+0000 is refused on its own line, never taken for a file without a header.
    EXPECT_EQ(
        Caught<EListFileError>([] { ParseCategoryList("DisplayName,Color\nGo\0od,preset1\n"s, kCsv, L"z.csv"); })
            .Message(),
        L"z.csv, line 2: an embedded U+0000");
}

TEST(ListFileReading, ANameEndingInCrComesBackWhereverItsFieldEnds)
{
    // Only the CR of a line's CR LF ends a line; the name's own, inside its
    // quotes, is kept when the field is the last of its line too.
    const std::wstring name = L"ends in CR\r";
    const std::string files[] = {
        FormatCategoryList({{name, TCategoryColor::FromOutlook(2)}}, kCsv),
        ToUtf8(L"Color,DisplayName\r\npreset1,\"" + name + L"\"\r\n"),
        ToUtf8(L"Color,DisplayName\npreset1,\"" + name + L"\"\n"),
        ToUtf8(L"DisplayName\r\n\"" + name + L"\""),
        ToUtf8(L"DisplayName;Color\r\n\"" + name + L"\";preset1\r\n"),
    };
    for (const std::string& bytes : files) {
        const TCategoryListFile list = ParseCategoryList(bytes, kCsv, L"cr.csv");
        ASSERT_EQ(list.Entries.size(), 1u) << bytes;
        EXPECT_EQ(list.Entries[0].Name, name) << bytes;
    }
}

TEST(ListFileReading, ANameAnAsciiExportMangledIsToldFromTheTargetsOwn)
{
    const std::vector<TListFileEntry> entries = {
        {L"Gesch?ftlich", std::nullopt, 2}, {L"B?ro", std::nullopt, 3},    {L"Why?", std::nullopt, 4},
        {L"Smile ??", std::nullopt, 5},     {L"Held?", std::nullopt, 6},   {L"A?", std::nullopt, 7},
        {L"Gesch\x00E4" L"ftlich", std::nullopt, 8}};
    // "Why!" differs in an ASCII letter, which ASCII keeps; "Held?" the target
    // has as it is; "A?" is one unit short of the surrogate pair.
    const std::vector<std::wstring> targets = {L"Gesch\x00E4" L"ftlich", L"Why!", L"Smile \xD83D\xDE00", L"Held?",
                                               L"Held\x00E9", L"A\xD83D\xDE00"};
    const std::wstring advice = L" with its letters outside ASCII turned into \"?\" by an export that could not hold "
                                L"them; it would be added beside it. Export the list again in UTF-8 (Windows "
                                L"PowerShell 5.1: Export-Csv -Encoding UTF8)";
    EXPECT_EQ(MangledNameWarnings(L"cats.csv", entries, targets),
              (std::vector<std::wstring>{
                  L"cats.csv, line 2: \"Gesch?ftlich\" looks like \"Gesch\x00E4" L"ftlich\"" + advice,
                  L"cats.csv, line 5: \"Smile ??\" looks like \"Smile \xD83D\xDE00\"" + advice}));
    EXPECT_TRUE(MangledNameWarnings(L"cats.csv", entries, {}).empty());
}
