// Files as Microsoft's own tools make them, built from their documentation:
//
// Export-Csv (Windows PowerShell 5.1): a first line "#TYPE" and the objects'
// full type name, then a header of every property of the first object, then one
// line per object; every value is quoted, a null one is nothing between two
// commas; ASCII unless -Encoding says UTF8 (with a mark) or Unicode (UTF-16 LE
// with a mark); lines end in CR LF.
//   https://learn.microsoft.com/powershell/module/microsoft.powershell.utility/export-csv?view=powershell-5.1
//
// Get-MgUserOutlookMasterCategory writes Microsoft.Graph.PowerShell.Models
// outlook category objects: Color, DisplayName, Id, and AdditionalProperties
// (a dictionary, which Export-Csv writes as its type name), in an order the
// documentation does not fix: the reader finds its columns by name.
//   https://learn.microsoft.com/powershell/module/microsoft.graph.users/get-mguseroutlookmastercategory
//   https://learn.microsoft.com/powershell/module/microsoft.graph.users/new-mguseroutlookmastercategory
//
// The outlookCategory resource: displayName and color, "none" or "preset0" to
// "preset24"; the list call answers {"@odata.context": ..., "value": [...]}.
//   https://learn.microsoft.com/graph/api/resources/outlookcategory?view=graph-rest-1.0
//   https://learn.microsoft.com/graph/api/outlookuser-list-mastercategories?view=graph-rest-1.0
//
// PowerShell 7's Export-Csv writes UTF-8 without a mark and no "#TYPE" line;
// Windows PowerShell 5.1 writes a mark with every Unicode encoding.
//   https://learn.microsoft.com/powershell/module/microsoft.powershell.utility/export-csv?view=powershell-7.4
//   https://learn.microsoft.com/powershell/module/microsoft.powershell.core/about/about_character_encoding
//
// Excel: "CSV (Comma delimited)" is text in the system's ANSI code page,
// "CSV UTF-8 (Comma delimited)" UTF-8 with a mark, both with the list
// separator of the region's settings between fields (";" where the comma is
// the decimal sign); "Unicode Text" is UTF-16 LE with a mark and tabs.
//   https://support.microsoft.com/office/file-formats-that-are-supported-in-excel-0943ff2c-6014-4e8d-aaea-b83d51d46247
//   https://support.microsoft.com/office/import-or-export-text-txt-or-csv-files-5250ac4c-663c-47ce-937b-339e391393ba
//
// Graph answers a long list a page at a time, the next page's address in
// "@odata.nextLink".
//   https://learn.microsoft.com/graph/paging
#include "ListFileSupport.h"

#include "support/Caught.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kAsciiExportText =
    L" holds \"?\" where Windows PowerShell 5.1's Export-Csv, in its default ASCII encoding, wrote each letter "
    L"that ASCII lacks; the file is not imported. Export the list again with Export-Csv -Encoding UTF8, or with "
    L"PowerShell 7";

std::optional<TCategoryColor> Preset(int preset)
{
    return TCategoryColor::FromOutlook(preset + 1);
}

// Get-MgUserOutlookMasterCategory -UserId $u | Export-Csv -Path c.csv [-Encoding ...]
std::wstring ExportCsvText(std::wstring_view thirdName)
{
    const std::wstring dictionary = L"\"System.Collections.Generic.Dictionary`2[System.String,System.Object]\"";
    return L"#TYPE Microsoft.Graph.PowerShell.Models.MicrosoftGraphOutlookCategory\r\n"
           L"\"Color\",\"DisplayName\",\"Id\",\"AdditionalProperties\"\r\n"
           L"\"preset0\",\"Red category\",\"5a9a6aa8-b65f-4357-b1f9-60c6bf6330d8\"," +
           dictionary + L"\r\n" + L"\"none\",\"Budget, \"\"2025\"\"\",\"4b1c2495-54c9-4a5e-90a2-0ab0b31987d8\"," +
           dictionary + L"\r\n" + L"\"preset24\",\"" + std::wstring(thirdName) +
           L"\",\"de912e4d-c790-4da9-949c-ccd933aaa0f7\",\r\n";
}

void ExpectExportedCategories(const TCategoryListFile& list, std::wstring_view thirdName)
{
    EXPECT_TRUE(list.Warnings.empty());
    ASSERT_EQ(list.Entries.size(), 3u);
    EXPECT_EQ(list.Entries[0].Name, L"Red category");
    EXPECT_EQ(list.Entries[0].Color, Preset(0));
    EXPECT_EQ(list.Entries[0].Line, 3);
    EXPECT_EQ(list.Entries[1].Name, L"Budget, \"2025\"");
    EXPECT_EQ(list.Entries[1].Color, TCategoryColor::FromOutlook(0));
    EXPECT_EQ(list.Entries[2].Name, thirdName);
    EXPECT_EQ(list.Entries[2].Color, Preset(24));
}

}  // namespace

TEST(ListFileAgainstItsMakers, ExportCsvOfGraphPowerShellsCategoriesInEachEncodingItOffers)
{
    const std::wstring greek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
    // Windows PowerShell's default, ASCII, has no Greek: it writes "?" instead,
    // which no reader can turn back, so the file is refused where it happens.
    EXPECT_EQ(Caught<EListFileError>([] {
                  ParseCategoryList(ToUtf8(ExportCsvText(L"???????")), TListFileFormat::Csv, L"ascii.csv");
              }).Message(),
              L"ascii.csv, line 5: \"???????\"" + kAsciiExportText);
    ExpectExportedCategories(
        ParseCategoryList(ToUtf8(ExportCsvText(L"Green")), TListFileFormat::Csv, L"ascii.csv"), L"Green");
    ExpectExportedCategories(
        ParseCategoryList(Utf8Bom(ExportCsvText(greek)), TListFileFormat::Csv, L"utf8.csv"), greek);
    ExpectExportedCategories(
        ParseCategoryList(Utf16(ExportCsvText(greek), false), TListFileFormat::Csv, L"unicode.csv"), greek);
    ExpectExportedCategories(
        ParseCategoryList(Utf16(ExportCsvText(greek), true), TListFileFormat::Csv, L"bigendian.csv"), greek);
}

TEST(ListFileAgainstItsMakers, GraphsDocumentedListResponseReadsAsItIs)
{
    const std::string response = R"({
  "@odata.context":"https://graph.microsoft.com/v1.0/$metadata#users('8ae6f565-0d7f-4ead-853e-7db94c912a1f')/outlook/masterCategories",
  "value":[
    {
      "id":"5a9a6aa8-b65f-4357-b1f9-60c6bf6330d8",
      "displayName":"Red category",
      "color":"preset0"
    },
    {
      "id":"4b1c2495-54c9-4a5e-90a2-0ab0b31987d8",
      "displayName":"Orange category",
      "color":"preset1"
    },
    {
      "id":"de912e4d-c790-4da9-949c-ccd933aaa0f7",
      "displayName":"Yellow category",
      "color":"preset3"
    }
  ]
})";
    const TCategoryListFile list = ParseCategoryList(response, TListFileFormat::Json, L"graph.json");
    ASSERT_EQ(list.Entries.size(), 3u);
    EXPECT_EQ(list.Entries[1].Name, L"Orange category");
    EXPECT_EQ(list.Entries[1].Color, Preset(1));
    EXPECT_EQ(list.Entries[1].Line, 9);
    EXPECT_EQ(list.Entries[2].Color, Preset(3));
}

namespace {

const std::wstring kBuero = L"B\x00FCro";
const std::wstring kAussendienst = L"Au\x00DF" L"endienst";
const std::wstring kGeschaeftlich = L"Gesch\x00E4" L"ftlich";
const std::wstring kReunion = L"R\x00E9union";

}  // namespace

TEST(ListFileAgainstItsMakers, WindowsPowerShellsDefaultAsciiExportIsRefusedAtItsFirstLostLetter)
{
    // Get-MgUserOutlookMasterCategory | Export-Csv cats.csv, in Windows PowerShell 5.1.
    const std::string ascii = "#TYPE Microsoft.Graph.PowerShell.Models.MicrosoftGraphOutlookCategory\r\n"
                              "\"Color\",\"DisplayName\",\"Id\",\"AdditionalProperties\"\r\n"
                              "\"preset0\",\"Red category\",\"1\",\r\n"
                              "\"preset1\",\"B?ro\",\"2\",\r\n"
                              "\"preset2\",\"Au?endienst\",\"3\",\r\n"
                              "\"preset3\",\"?????????\",\"4\",\r\n";
    EXPECT_EQ(Caught<EListFileError>([&] { ParseCategoryList(ascii, TListFileFormat::Csv, L"cats.csv"); }).Message(),
              L"cats.csv, line 4: \"B?ro\"" + kAsciiExportText);

    // The same export with -Encoding UTF8 has its mark and every letter.
    const TCategoryListFile utf8 = ParseCategoryList(
        Utf8Bom(L"#TYPE Microsoft.Graph.PowerShell.Models.MicrosoftGraphOutlookCategory\r\n"
                L"\"Color\",\"DisplayName\",\"Id\",\"AdditionalProperties\"\r\n\"preset1\",\"" +
                kBuero + L"\",\"2\",\r\n\"preset4\",\"Why?\",\"5\",\r\n"),
        TListFileFormat::Csv, L"cats.csv");
    EXPECT_EQ(Described(utf8), (std::vector<std::wstring>{kBuero + L" = preset1 @3", L"Why? = preset4 @4"}));
    EXPECT_TRUE(utf8.Remarks.empty()) << "Graph PowerShell's own columns are no one's mistake";

    // PowerShell 7: UTF-8 without a mark, no "#TYPE"; a "?" there is the name's own.
    const TCategoryListFile seven = ParseCategoryList(
        ToUtf8(L"\"Color\",\"DisplayName\",\"Id\",\"AdditionalProperties\"\r\n\"preset2\",\"" + kGeschaeftlich +
               L"\",\"3\",\r\n\"preset4\",\"Why?\",\"5\",\r\n"),
        TListFileFormat::Csv, L"cats.csv");
    EXPECT_EQ(Described(seven), (std::vector<std::wstring>{kGeschaeftlich + L" = preset2 @2", L"Why? = preset4 @3"}));
}

TEST(ListFileAgainstItsMakers, ExcelsFilesReadWithTheSeparatorTheirRegionGaveThem)
{
    const struct {
        const char* Title;
        std::string Bytes;
        std::vector<std::wstring> Entries;
    } files[] = {
        // A German Excel, "CSV UTF-8 (Comma delimited)": a mark, ";", and a
        // field holding ";" quoted.
        {"CSV UTF-8 with ;",
         Utf8Bom(L"DisplayName;Color\r\n" + kGeschaeftlich + L";preset1\r\n\"Kunde; wichtig\";preset2\r\nA, B;\r\n"),
         {kGeschaeftlich + L" = preset1 @2", L"Kunde; wichtig = preset2 @3", L"A, B = - @4"}},
        // "Unicode Text": UTF-16 LE with its mark, tabs between fields.
        {"Unicode Text", Utf16(L"DisplayName\tColor\r\n" + kReunion + L"\tpreset3\r\nA;B, C\t\r\n", false),
         {kReunion + L" = preset3 @2", L"A;B, C = - @3"}},
        // The columns the other way round, and a separator left at the end.
        {"Color first, trailing ;", Utf8Bom(L"Color;DisplayName;\r\npreset5;" + kAussendienst + L";\r\n"),
         {kAussendienst + L" = preset5 @2"}},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.Title);
        const TCategoryListFile list = ParseCategoryList(file.Bytes, TListFileFormat::Csv, L"excel.csv");
        EXPECT_EQ(Described(list), file.Entries);
        EXPECT_TRUE(list.Warnings.empty());
        EXPECT_TRUE(list.Remarks.empty());
    }

    // Plain "CSV (Comma delimited)" in Windows-1252: refused where it stops
    // being UTF-8, saying how to save it instead.
    EXPECT_EQ(Caught<EListFileError>([] {
                  ParseCategoryList("DisplayName;Color\r\nRed;preset0\r\nB\xFCro;preset1\r\n", TListFileFormat::Csv,
                                    L"excel.csv");
              }).Message(),
              L"excel.csv, line 3: not a CSV file: its text is neither UTF-8 nor UTF-16 with a byte-order mark; save "
              L"it in Excel as \"CSV UTF-8 (Comma delimited)\", or in Notepad with the UTF-8 encoding");
}

TEST(ListFileAgainstItsMakers, GraphsAnswerIsJsonUnderAnyNameAndAPagedOneIsSaidToBeIncomplete)
{
    const std::string page = "{\r\n"
                             "  \"@odata.context\": \"https://graph.microsoft.com/v1.0/$metadata#x\",\r\n"
                             "  \"value\": [\r\n"
                             "    {\"id\": \"1\", \"displayName\": \"Red category\", \"color\": \"preset0\"}\r\n"
                             "  ],\r\n"
                             "  \"@odata.nextLink\": \"https://graph.microsoft.com/v1.0/me/outlook/masterCategories"
                             "?$skip=1\"\r\n"
                             "}\r\n";
    for (const std::string& bytes : {page, "\xEF\xBB\xBF" + page}) {
        const TCategoryListFile list = ParseCategoryList(bytes, TListFileFormat::Csv, L"cats.txt");
        EXPECT_EQ(Described(list), (std::vector<std::wstring>{L"Red category = preset0 @4"}));
        ASSERT_EQ(list.Remarks.size(), 1u);
        EXPECT_EQ(list.Remarks[0].Message,
                  L"cats.txt, line 6: the file holds one page of a longer list (it has \"@odata.nextLink\"), so it "
                  L"may be incomplete: the categories on the pages after it are not imported");
    }
    const TCategoryListFile unicode = ParseCategoryList(
        Utf16(L" \r\n{\"value\":[{\"displayName\":\"" + kReunion + L"\"}]}", false), TListFileFormat::Csv, L"cats.txt");
    EXPECT_EQ(Described(unicode), (std::vector<std::wstring>{kReunion + L" = - @2"}));
    EXPECT_TRUE(unicode.Remarks.empty());
}
