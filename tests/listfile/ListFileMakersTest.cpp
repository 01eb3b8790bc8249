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
#include "ListFileSupport.h"

#include <gtest/gtest.h>

namespace {

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
    // Windows PowerShell's default, ASCII, has no Greek: it writes "?" instead.
    ExpectExportedCategories(ParseCategoryList(ToUtf8(ExportCsvText(L"???????")), TListFileFormat::Csv, L"ascii.csv"),
                             L"???????");
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
