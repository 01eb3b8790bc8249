// The journal that lets a stopped deployment go on: what a second run skips,
// what it refuses, and what a kill mid-line leaves.
#include "deploy/DeployJournal.h"
#include "deploy/TempFolder.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

const TJournalHeader kHeader{"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08", L"contoso.onmicrosoft.com",
                             false};

TJournalRecord Record(std::wstring mailbox, EMailboxResult result, std::vector<std::wstring> added = {})
{
    TJournalRecord record;
    record.Mailbox = std::move(mailbox);
    record.Result = result;
    record.Added = std::move(added);
    if (result == EMailboxResult::Failed)
        record.Error = L"Graph answered 500";
    return record;
}

size_t Lines(const std::string& text)
{
    size_t count = 0;
    for (const char c : text)
        count += c == '\n';
    return count;
}

}  // namespace

TEST(DeployJournal, ASecondRunSkipsWhatTheFirstFinishedAndRetriesWhatFailed)
{
    TTempFolder folder;
    const std::wstring path = folder.Path(L"run.journal");
    {
        TDeployJournal journal(path, kHeader);
        EXPECT_EQ(journal.FinishedCount(), 0u);
        journal.Append(Record(L"Ann@Contoso.com", EMailboxResult::Changed, {L"Café", L"\"Quoted\", with comma"}));
        journal.Append(Record(L"bob@contoso.com", EMailboxResult::Unchanged));
        journal.Append(Record(L"6e5c2c1a-0000-4000-8000-000000000001", EMailboxResult::Failed));
    }
    const std::string written = folder.Read(L"run.journal");
    EXPECT_EQ(Lines(written), 4u) << written;
    EXPECT_EQ(written.find("\n") - 1, written.find("\r\n"));
    EXPECT_NE(written.find("\"added\":[\"Caf\xC3\xA9\",\"\\\"Quoted\\\", with comma\"]"), std::string::npos) << written;

    TDeployJournal again(path, kHeader);
    EXPECT_EQ(again.FinishedCount(), 2u);
    EXPECT_TRUE(again.IsFinished(L"ann@contoso.com")) << "user principal names ignore letter case";
    EXPECT_TRUE(again.IsFinished(L"BOB@CONTOSO.COM"));
    EXPECT_FALSE(again.IsFinished(L"6e5c2c1a-0000-4000-8000-000000000001")) << "a failed mailbox is tried again";
    EXPECT_FALSE(again.IsFinished(L"carol@contoso.com"));
    again.Append(Record(L"6E5C2C1A-0000-4000-8000-000000000001", EMailboxResult::Changed, {L"Red"}));
    EXPECT_EQ(Lines(folder.Read(L"run.journal")), 5u) << "appended, the header not written again";
}

TEST(DeployJournal, ALineAKillCutShortCountsForNothingAndIsCutOff)
{
    TTempFolder folder;
    const std::wstring path = folder.Path(L"run.journal");
    {
        TDeployJournal journal(path, kHeader);
        journal.Append(Record(L"ann@contoso.com", EMailboxResult::Changed, {L"Red"}));
    }
    const std::string whole = folder.Read(L"run.journal");
    // Every cut of the last line short of its line end, even one where the
    // object itself is whole.
    const std::string last = R"({"mailbox":"bob@contoso.com","result":"changed","added":["Blue"],"recoloured":[]})";
    for (const std::string& cut : {last.substr(0, 1), last.substr(0, 30), last, last + "\r"}) {
        SCOPED_TRACE(cut);
        folder.Write(L"run.journal", whole + cut);
        {
            TDeployJournal journal(path, kHeader);
            ASSERT_EQ(folder.Read(L"run.journal"), whole) << "opened, the journal is cut back to its whole lines";
            EXPECT_TRUE(journal.IsFinished(L"ann@contoso.com"));
            EXPECT_FALSE(journal.IsFinished(L"bob@contoso.com"));
            journal.Append(Record(L"carol@contoso.com", EMailboxResult::Unchanged));
        }
        const std::string after = folder.Read(L"run.journal");
        EXPECT_EQ(after.substr(0, whole.size()), whole);
        EXPECT_EQ(after.substr(whole.size(), 13), R"({"mailbox":"c)") << "the next line starts where the cut one did";
        TDeployJournal reread(path, kHeader);
        EXPECT_TRUE(reread.IsFinished(L"carol@contoso.com"));
    }
}

TEST(DeployJournal, ALineThatDoesNotReadOnlyMeansThatMailboxIsDoneAgain)
{
    TTempFolder folder;
    const std::wstring path = folder.Path(L"run.journal");
    {
        TDeployJournal journal(path, kHeader);
    }
    // A disk that lost data after a power cut shows zeros where a line was.
    folder.Write(L"run.journal", folder.Read(L"run.journal") + std::string(40, '\0') + "\r\n" +
                                     R"({"mailbox":"ann@contoso.com","result":"changed","added":[]})" "\r\n" +
                                     R"({"result":"changed"})" "\r\n");
    TDeployJournal journal(path, kHeader);
    EXPECT_EQ(journal.FinishedCount(), 1u);
    EXPECT_TRUE(journal.IsFinished(L"ann@contoso.com"));
}

TEST(DeployJournal, RefusesAJournalOfAnotherRunAndLeavesItAlone)
{
    struct TCase {
        const char* Name;
        TJournalHeader Header;
        std::optional<std::wstring> Expected;  // in the message; nothing: accepted
    };
    const TCase cases[] = {
        {"same run, tenant in other letter case",
         {kHeader.FileSha256, L"CONTOSO.onmicrosoft.com", false}, std::nullopt},
        {"another list file", {std::string(64, '0'), kHeader.Tenant, false}, L"it was made for another list file"},
        {"another tenant", {kHeader.FileSha256, L"fabrikam.onmicrosoft.com", false},
         L"its tenant is \"contoso.onmicrosoft.com\""},
        {"colours", {kHeader.FileSha256, kHeader.Tenant, true}, L"it was made without --colors"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempFolder folder;
        const std::wstring path = folder.Path(L"run.journal");
        {
            TDeployJournal journal(path, kHeader);
            journal.Append(Record(L"ann@contoso.com", EMailboxResult::Changed));
        }
        const std::string before = folder.Read(L"run.journal");
        if (!c.Expected) {
            TDeployJournal journal(path, c.Header);
            EXPECT_TRUE(journal.IsFinished(L"ann@contoso.com"));
            continue;
        }
        const auto e = Caught<EJournalRefused>([&] { TDeployJournal journal(path, c.Header); });
        EXPECT_NE(e.Message().find(*c.Expected), std::wstring::npos) << e.what();
        EXPECT_NE(e.Message().find(L"belongs to another deployment"), std::wstring::npos) << e.what();
        EXPECT_EQ(folder.Read(L"run.journal"), before);
    }
}

TEST(DeployJournal, NeverWritesIntoAFileThatIsNoJournal)
{
    for (const std::string& content : {std::string("UserPrincipalName\r\nann@contoso.com\r\n"),
                                       std::string("{\"value\":[]}\r\n"), std::string("notes without a line end")}) {
        TTempFolder folder;
        folder.Write(L"list.csv", content);
        const auto e = Caught<EJournalRefused>([&] { TDeployJournal journal(folder.Path(L"list.csv"), kHeader); });
        EXPECT_NE(e.Message().find(L"is not a journal of PellorinSync deploy"), std::wstring::npos) << e.what();
        EXPECT_EQ(folder.Read(L"list.csv"), content);
    }
}

TEST(DeployJournal, AHeaderCutShortIsWrittenAgain)
{
    TTempFolder folder;
    folder.Write(L"run.journal", R"({"journal":"Pellor)");
    {
        TDeployJournal journal(folder.Path(L"run.journal"), kHeader);
        EXPECT_EQ(journal.FinishedCount(), 0u);
    }
    const std::string header = folder.Read(L"run.journal");
    EXPECT_EQ(header.rfind(R"({"journal":"PellorinSync deploy","version":1,"fileSha256":")", 0), 0u) << header;
    EXPECT_EQ(Lines(header), 1u);
}

TEST(DeployJournal, OneRunAtATime)
{
    TTempFolder folder;
    TDeployJournal first(folder.Path(L"run.journal"), kHeader);
    const auto e = Caught<EJournalRefused>([&] { TDeployJournal second(folder.Path(L"run.journal"), kHeader); });
    EXPECT_NE(e.Message().find(L"is in use by another run"), std::wstring::npos) << e.what();
}
