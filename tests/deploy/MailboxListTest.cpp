// The mailboxes a deployment goes to, from a list file: every shape and
// encoding it is read in, and each bad file's exact line.
#include "deploy/MailboxList.h"
#include "deploy/TempFolder.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::pair<std::wstring, std::wstring>> All(TMailboxListFile& list)
{
    std::vector<std::pair<std::wstring, std::wstring>> mailboxes;
    TMailbox mailbox;
    while (list.Next(mailbox))
        mailboxes.emplace_back(mailbox.Address, mailbox.Name);
    return mailboxes;
}

std::string Utf16(std::wstring_view text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

using TPairs = std::vector<std::pair<std::wstring, std::wstring>>;
const std::wstring kGuid = L"6e5c2c1a-0f3b-4a7e-9d21-5b8c7e6f4a10";

}  // namespace

TEST(MailboxList, ReadsEveryShapeAndEncoding)
{
    const struct {
        const char* Name;
        const wchar_t* File;
        std::string Bytes;
        TPairs Expected;  // address, name
    } cases[] = {
        {"text, blanks and spaces, LF and CR LF", L"list.txt",
         "ann@contoso.com\r\n\r\n  bob@contoso.com \n\t\n" + ToUtf8(kGuid) + "\nguest_fabrikam.com#EXT#@contoso.onmicrosoft.com",
         {{L"ann@contoso.com", L"ann@contoso.com"},
          {L"bob@contoso.com", L"bob@contoso.com"},
          {kGuid, kGuid},
          {L"guest_fabrikam.com#EXT#@contoso.onmicrosoft.com", L"guest_fabrikam.com#EXT#@contoso.onmicrosoft.com"}}},
        // Windows PowerShell 5.1: Get-MgUser | Export-Csv, type line and every field quoted.
        {"Export-Csv of Get-MgUser", L"users.csv",
         "#TYPE Microsoft.Graph.PowerShell.Models.MicrosoftGraphUser\r\n"
         "\"Id\",\"DisplayName\",\"Mail\",\"UserPrincipalName\"\r\n"
         "\"" + ToUtf8(kGuid) + "\",\"Ann, Sales\",\"ann@contoso.com\",\"ann@contoso.onmicrosoft.com\"\r\n",
         {{L"ann@contoso.onmicrosoft.com", L"ann@contoso.onmicrosoft.com"}}},
        {"a row without a principal name falls back to its id", L"users.csv",
         "userprincipalname,ID,MAIL\r\n," + ToUtf8(kGuid) + ",ann@contoso.com\r\n",
         {{kGuid, L"ann@contoso.com"}}},
        {"a mail column alone", L"users.csv", "DisplayName,mail\nAnn,ann@contoso.com\n\n",
         {{L"ann@contoso.com", L"ann@contoso.com"}}},
        {"a list file with a header but another extension", L"users.txt", "Id\n" + ToUtf8(kGuid) + "\n",
         {{kGuid, kGuid}}},
        {"UTF-8 with its mark", L"list.txt", "\xEF\xBB\xBF" "ann@contoso.com\n", {{L"ann@contoso.com", L"ann@contoso.com"}}},
        {"UTF-16 LE, PowerShell's -Encoding Unicode", L"users.csv",
         Utf16(L"\"UserPrincipalName\"\r\n\"\x00F8ystein@contoso.com\"\r\n", false),
         {{L"\x00F8ystein@contoso.com", L"\x00F8ystein@contoso.com"}}},
        {"UTF-16 BE", L"list.txt", Utf16(L"ann@contoso.com\r\n", true), {{L"ann@contoso.com", L"ann@contoso.com"}}},
        {"empty", L"list.txt", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMailboxListFile list = TMailboxListFile::Parse(c.Bytes, c.File);
        EXPECT_EQ(All(list), c.Expected);
        EXPECT_EQ(list.Count(), c.Expected.size());
        EXPECT_TRUE(list.Warnings().empty());
    }
}

// Excel writes the list separator of the user's region, ";" in most of
// Europe, and its "Unicode Text" with tabs.
//   https://support.microsoft.com/office/import-or-export-text-txt-or-csv-files-5250ac4c-663c-47ce-937b-339e391393ba
//   https://support.microsoft.com/office/file-formats-that-are-supported-in-excel-0943ff2c-6014-4e8d-aaea-b83d51d46247
TEST(MailboxList, ReadsExcelsFilesWithTheSeparatorTheirHeaderHas)
{
    const struct {
        const char* Name;
        std::string Bytes;
    } cases[] = {
        {"CSV UTF-8 with ;", "\xEF\xBB\xBF" "DisplayName;UserPrincipalName\r\n\"M\xC3\xBCller; Anna\";ann@contoso.com\r\n"
                             ";\r\nBob;bob@contoso.com\r\n"},
        {"Unicode Text", Utf16(L"DisplayName\tUserPrincipalName \r\nM\x00FCller, Anna\tann@contoso.com\r\n"
                               L"Bob\tbob@contoso.com\r\n", false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMailboxListFile list = TMailboxListFile::Parse(c.Bytes, L"users.csv");
        EXPECT_EQ(All(list), (TPairs{{L"ann@contoso.com", L"ann@contoso.com"}, {L"bob@contoso.com", L"bob@contoso.com"}}));
    }
    // A text list whose addresses hold no separator stays a text list.
    TMailboxListFile text = TMailboxListFile::Parse("ann@contoso.com\r\nbob@contoso.com\r\n", L"list.txt");
    EXPECT_EQ(text.Count(), 2u);
    EXPECT_EQ(Caught<EMailboxListError>([] { TMailboxListFile::Parse("Name;Mail;\r\n\"Ann;x\r\n", L"users.csv"); })
                  .Message(),
              L"users.csv, line 2: an unclosed quote");
}

TEST(MailboxList, AMailboxListedTwiceIsDoneOnceWithAWarning)
{
    TMailboxListFile list = TMailboxListFile::Parse(
        "UserPrincipalName,Id\nann@contoso.com,\nbob@contoso.com,\nANN@Contoso.com,\n,\n", L"users.csv");
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(All(list), (TPairs{{L"ann@contoso.com", L"ann@contoso.com"}, {L"bob@contoso.com", L"bob@contoso.com"}}));
    ASSERT_EQ(list.Warnings().size(), 2u);
    EXPECT_EQ(list.Warnings()[0].Line, 4);
    EXPECT_EQ(list.Warnings()[0].Message, L"skipped: ANN@Contoso.com is listed again (first on line 2)");
    EXPECT_EQ(list.Warnings()[1].Line, 5);
    EXPECT_EQ(list.Warnings()[1].Message, L"skipped: no user principal name, id or mail");
    list.Rewind();
    EXPECT_EQ(All(list).size(), 2u) << "handed out again from the start, the same way";
}

TEST(MailboxList, ABadFileIsRefusedWithItsLine)
{
    const struct {
        const wchar_t* File;
        std::string Bytes;
        const wchar_t* Expected;
    } cases[] = {
        {L"users.csv", "DisplayName,Department\nAnn,Sales\n", L"users.csv, line 1: no UserPrincipalName, Mail or Id column"},
        {L"list.txt", "ann@contoso.com\nann contoso\n",
         L"list.txt, line 2: \"ann contoso\" is neither a user principal name nor an object id"},
        {L"list.txt", "ann@contoso.com/../../me\n",
         L"list.txt, line 1: \"ann@contoso.com/../../me\" is neither a user principal name nor an object id"},
        {L"list.txt", "ann@contoso.com?$select=x\n",
         L"list.txt, line 1: \"ann@contoso.com?$select=x\" is neither a user principal name nor an object id"},
        {L"list.txt", "@contoso.com\n", L"list.txt, line 1: \"@contoso.com\" is neither a user principal name nor an object id"},
        {L"users.csv", "UserPrincipalName\n\"ann@contoso.com\n", L"users.csv, line 2: an unclosed quote"},
        {L"list.txt", "ann@contoso.com\nb\xC3(b@contoso.com\n",
         L"list.txt, line 2: not a text or CSV file: its text is neither UTF-8 nor UTF-16 with a byte-order mark"},
        {L"list.txt", std::string("ann@contoso.com\nbob\0@contoso.com\n", 32), L"list.txt, line 2: an embedded U+0000"},
    };
    for (const auto& c : cases) {
        const auto e = Caught<EMailboxListError>([&] { TMailboxListFile::Parse(c.Bytes, c.File); });
        EXPECT_EQ(e.Message(), c.Expected);
    }
}

TEST(MailboxList, ReadsAFileFromDiskOrSaysWhyNot)
{
    TTempFolder folder;
    folder.Write(L"list.txt", "ann@contoso.com\r\n");
    TMailboxListFile list = TMailboxListFile::Read(folder.Path(L"list.txt"));
    EXPECT_EQ(list.Count(), 1u);
    const auto e = Caught<EMailboxListError>([&] { TMailboxListFile::Read(folder.Path(L"missing.txt")); });
    EXPECT_EQ(e.Message().rfind(folder.Path(L"missing.txt") + L", line 1: ", 0), 0u) << e.what();
}

TEST(MailboxList, AnAddressGoesIntoGraphsPathAsOneSegment)
{
    EXPECT_EQ(MasterCategoriesPath(L"o'neil_fabrikam.com#EXT#@contoso.onmicrosoft.com"),
              L"/users/o%27neil_fabrikam.com%23EXT%23%40contoso.onmicrosoft.com/outlook/masterCategories");
    EXPECT_EQ(MasterCategoriesPath(kGuid), L"/users/" + kGuid + L"/outlook/masterCategories");
}
