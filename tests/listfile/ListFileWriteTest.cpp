// Writing list files: the bytes written, every awkward name coming back as it
// went out, and a write that is whole or leaves nothing behind.
#include "ListFileSupport.h"

#include "support/Caught.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::optional<TCategoryColor> Preset(int preset)
{
    return TCategoryColor::FromOutlook(preset + 1);
}

const std::optional<TCategoryColor> kNone = TCategoryColor::FromOutlook(0);
const std::optional<TCategoryColor> kNoneAsked;

// Names a careless writer would split, merge, trim, run as a formula or lose.
std::vector<TListFileEntry> AwkwardNames()
{
    return {
        {L"Plain", Preset(0)},
        {L"A, B", Preset(24)},
        {L"Say \"hi\"", kNone},
        {L"two\r\nlines", kNoneAsked},
        {L"bare\nLF", Preset(3)},
        {L"a;b", Preset(7)},
        {L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF", Preset(12)},
        {L"\x4F1A\x8B70", kNoneAsked},
        {L"Smile \xD83D\xDE00", Preset(1)},
        {L"=SUM(A1)", Preset(2)},
        {L"+1", kNoneAsked},
        {L"-", kNone},
        {L"@home", kNoneAsked},
        {L"\tTab", kNoneAsked},
        {L"\rCR", kNoneAsked},
        {L"'=already guarded", kNoneAsked},
        {L"''-x", kNoneAsked},
        {L"'plain", kNoneAsked},
        {L" spaced ", kNoneAsked},
        {L"\"quoted\"", kNoneAsked},
    };
}

}  // namespace

TEST(ListFileWriting, CsvIsUtf8WithAMarkCrLfAndGraphPowerShellsColumnNames)
{
    const std::vector<TListFileEntry> entries = {
        {L"Red", Preset(0)}, {L"=1+1", kNoneAsked}, {L"A, \"B\"", kNone}, {L"Odd", TCategoryColor::FromOutlook(40)}};
    EXPECT_EQ(FormatCategoryList(entries, TListFileFormat::Csv),
              "\xEF\xBB\xBF"
              "DisplayName,Color\r\nRed,preset0\r\n'=1+1,\r\n\"A, \"\"B\"\"\",none\r\nOdd,\r\n");
    EXPECT_EQ(FormatCategoryList({{L"Red", Preset(0)}, {L"=1+1", kNoneAsked}}, TListFileFormat::Json),
              "{\n  \"value\": [\n    {\n      \"displayName\": \"Red\",\n      \"color\": \"preset0\"\n    },\n"
              "    {\n      \"displayName\": \"=1+1\"\n    }\n  ]\n}\n");
}

TEST(ListFileWriting, EveryNameAndColourComesBackAsItWentOut)
{
    TScratchFolder folder;
    for (const wchar_t* name : {L"round.csv", L"round.JSON"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        WriteCategoryListFile(folder.Path(name), AwkwardNames());
        const TCategoryListFile list = ReadCategoryListFile(folder.Path(name));
        EXPECT_TRUE(list.Warnings.empty());
        ASSERT_EQ(list.Entries.size(), AwkwardNames().size());
        for (std::size_t i = 0; i < list.Entries.size(); ++i) {
            EXPECT_EQ(list.Entries[i].Name, AwkwardNames()[i].Name) << i;
            EXPECT_EQ(list.Entries[i].Color, AwkwardNames()[i].Color) << i;
        }
    }
}

TEST(ListFileWriting, AnExistingFileIsReplacedAndNoTemporaryStays)
{
    TScratchFolder folder;
    folder.Put(L"list.csv", "old contents, longer than the new ones");
    WriteCategoryListFile(folder.Path(L"list.csv"), {{L"New", Preset(4)}});
    EXPECT_EQ(folder.Get(L"list.csv"), FormatCategoryList({{L"New", Preset(4)}}, TListFileFormat::Csv));
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"list.csv"});
}

TEST(ListFileWriting, AFailedWriteRaisesAndLeavesNoTemporary)
{
    TScratchFolder folder;
    // A folder where the file should go: the temporary is written, then
    // cannot take its place.
    CreateDirectoryW(folder.Path(L"taken.csv").c_str(), nullptr);
    const auto taken = Caught<EListFileWriteError>(
        [&] { WriteCategoryListFile(folder.Path(L"taken.csv"), {{L"Red", Preset(0)}}); });
    EXPECT_TRUE(taken.Message().starts_with(folder.Path(L"taken.csv") + L": ")) << taken.what();
    EXPECT_GT(taken.Message().size(), folder.Path(L"taken.csv: ").size());
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"taken.csv"});

    const std::wstring nowhere = folder.Path(L"missing\\list.csv");
    const auto missing = Caught<EListFileWriteError>([&] { WriteCategoryListFile(nowhere, {}); });
    EXPECT_TRUE(missing.Message().starts_with(nowhere + L": ")) << missing.what();
}

TEST(ListFileReadingFromDisk, AMissingFileGivesTheSystemsTextAtLineOne)
{
    TScratchFolder folder;
    const auto error = Caught<EListFileError>([&] { ReadCategoryListFile(folder.Path(L"absent.csv")); });
    EXPECT_EQ(error.Line(), 1);
    EXPECT_EQ(error.File(), folder.Path(L"absent.csv"));
    EXPECT_FALSE(error.What().empty());
    EXPECT_NE(error.What().back(), L'.') << "the front end adds the full stop";
    EXPECT_EQ(error.Message(), error.File() + L", line 1: " + error.What());
}

TEST(ListFileReadingFromDisk, OnlyANameEndingInDotJsonIsJson)
{
    for (const wchar_t* json : {L"a.json", L"C:\\x\\A.JSON", L".Json"})
        EXPECT_EQ(ListFileFormatOf(json), TListFileFormat::Json) << json;
    for (const wchar_t* csv : {L"a.csv", L"a.json.csv", L"json", L"a.jso", L"a.txt"})
        EXPECT_EQ(ListFileFormatOf(csv), TListFileFormat::Csv) << csv;
}
