// The copies with the signed-in Microsoft 365 mailbox among the stores: the
// profile's stores in memory, the real mailbox store against the Graph
// stand-in, the real registry redirected to a scratch key. Each command with
// the mailbox chosen, "All stores" with colours carried both ways, the
// mailbox alone, an Outlook store that shows the mailbox's own list, a name
// Graph refuses, and the copy lock.
#include "FakeStores.h"
#include "GraphFixture.h"
#include "ScriptedUi.h"

#include "base/UserMutex.h"
#include "base/WaitLimit.h"
#include "commands/Compare.h"
#include "graph/MailboxSource.h"
#include "sources/ProgramSources.h"
#include "registry/MasterList.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

using TListed = std::vector<std::pair<std::string, std::string>>;  // displayName, Graph's colour

std::wstring MasterListText(const std::wstring& key)
{
    const auto value = GetValue(key, L"MasterList");
    if (!value)
        return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / 2);
}

class MailboxCopyTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        WriteUserSettings(Settings().TenantId.c_str(), Settings().ClientId.c_str());
        SignIn();
        microsoft365_.emplace(http, TMicrosoft365Overrides{}, CachePath());
        mailbox_.emplace(*microsoft365_);
        // As the program has it: the chooser hears of the mailbox's sign-in through the sources.
        choice_.emplace(state_, *mailbox_);
        state_.Sources = {&profile_, &*choice_};
        state_.OutlookMajorVersion = "14";
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Green;Shared;"));
    }
    void TearDown() override
    {
        state_.Stores.clear();
        GraphFixture::TearDown();
    }

    // Two stores of the profile, each with a name and its colour.
    void TwoOutlookStores()
    {
        profile_.AddStore(L"0A01", L"Outlook Data File", ListOf(L"Out1", 3));
        profile_.AddStore(L"0A02", L"Archive", ListOf(L"Shared", 10));
    }
    static std::shared_ptr<TFakeList> ListOf(const std::wstring& name, int color)
    {
        auto list = std::make_shared<TFakeList>(std::vector<std::wstring>{name});
        list->Colors[0] = TCategoryColor::FromOutlook(color);
        return list;
    }

    std::wstring MailboxKey() const { return L"m365:" + FromUtf8(kOid); }
    int MailboxStore() const { return static_cast<int>(StoreWithKey(state_, MailboxKey()).value()); }
    TListed Mailbox() const { return standIn.Categories(kOid); }

    void Run(Command command)
    {
        ui_.Answers = {true};
        command(state_, ui_);
    }

    TFakeSource profile_;
    std::optional<TMicrosoft365> microsoft365_;
    std::optional<TMailboxSource> mailbox_;
    TProgramState state_;
    std::optional<TMailboxChoice> choice_;
    ScriptedUi ui_;
};

struct TChosenCase {
    const char* Name;
    Command Run;
    TListed Mailbox;
    std::wstring Registry;
};

class MailboxChosen : public MailboxCopyTest, public testing::WithParamInterface<TChosenCase> {};

// The mailbox's entry comes after the profile's stores; each command works
// with it alone and leaves the profile's stores as they were. A name from
// another store keeps that store's colour; one only the registry had gets
// Graph's own.
TEST_P(MailboxChosen, EachCommandCopiesBetweenTheRegistryAndTheMailbox)
{
    TwoOutlookStores();
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.StoreChoices, (std::vector<std::wstring>{L"Outlook Data File", L"Archive",
                                                           L"Microsoft 365 (alex@contoso.example)", L"All stores"}));
    ChooseChooserEntry(state_, ui_, 2);
    EXPECT_EQ(ui_.MemoPst, L"Blue\r\nRed\r\n");
    standIn.Post("log/clear");

    Run(GetParam().Run);
    EXPECT_EQ(Mailbox(), GetParam().Mailbox);
    EXPECT_EQ(MasterListText(kKey14), GetParam().Registry);
    EXPECT_TRUE(profile_.Logged(L"add ").empty());
    EXPECT_TRUE(profile_.Logged(L"reread ").empty()) << "only the chosen store is read again before adding";
    EXPECT_LE(CountOuter(standIn.Log(), "/$batch"), 1u);
    EXPECT_EQ(CountOuter(standIn.Log(), "/token"), 0u) << "the access token of the first Refresh serves the copy's";
    EXPECT_TRUE(ui_.Informed.empty());
}

const TListed kMailboxAsItWas = {{"Red", "preset0"}, {"Blue", "preset7"}};
const TListed kMailboxFilled = {{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}, {"Shared", "preset9"}};

INSTANTIATE_TEST_SUITE_P(
    Commands, MailboxChosen,
    testing::Values(TChosenCase{"ToStore", BtnTAVtoOLClick, kMailboxFilled, L"Green;Shared;"},
                    TChosenCase{"ToRegistry", BtnOLtoTAVClick, kMailboxAsItWas, L"Green;Shared;Blue;Red;"},
                    TChosenCase{"Both", BtnSyncOLandTAVClick, kMailboxFilled, L"Green;Shared;Blue;Red;"}),
    [](const testing::TestParamInfo<TChosenCase>& info) { return std::string(info.param.Name); });

TEST_F(MailboxCopyTest, AllStoresBothWaysLeavesEveryStoreWithEveryNameInItsGiversColour)
{
    TwoOutlookStores();
    BtnReadCategoriesClick(state_, ui_);
    ChooseStore(state_, ui_, kAllStores);
    Run(BtnSyncOLandTAVClick);

    const auto colors = [](const TFakeList& list) {
        std::vector<std::pair<std::wstring, std::optional<int>>> named;
        for (std::size_t i = 0; i < list.Names.size(); ++i) {
            named.emplace_back(list.Names[i], list.Colors[i] ? std::optional<int>(list.Colors[i]->OutlookValue())
                                                             : std::nullopt);
        }
        return named;
    };
    using TColored = std::vector<std::pair<std::wstring, std::optional<int>>>;
    // From the mailbox: Red is Outlook's colour 1 (preset0), Blue 8 (preset7).
    EXPECT_EQ(colors(*profile_.Stores[0]->List),
              (TColored{{L"Out1", 3}, {L"Blue", 8}, {L"Green", std::nullopt}, {L"Red", 1}, {L"Shared", 10}}));
    EXPECT_EQ(colors(*profile_.Stores[1]->List),
              (TColored{{L"Shared", 10}, {L"Blue", 8}, {L"Green", std::nullopt}, {L"Out1", 3}, {L"Red", 1}}));
    EXPECT_EQ(Mailbox(), (TListed{{"Red", "preset0"},
                                  {"Blue", "preset7"},
                                  {"Green", "none"},
                                  {"Out1", "preset2"},
                                  {"Shared", "preset9"}}));
    EXPECT_EQ(MasterListText(kKey14), L"Green;Shared;Blue;Out1;Red;");
    EXPECT_TRUE(ui_.Informed.empty());
}

// No classic Outlook: the mailbox is the one source, and the registry's list
// written is the newest that holds names (else 16.0's).
TEST_F(MailboxCopyTest, TheMailboxAloneWithEachCommand)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft");
    EXPECT_EQ(MajorVersionWithoutOutlook(), "16");
    PutValue(CategoriesKey(L"9.0"), L"MasterList", REG_BINARY, {'O', 'l', 'd', ';'});
    EXPECT_EQ(MajorVersionWithoutOutlook(), "16") << "Outlook 2000's list is never written";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft");
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Green;"));
    EXPECT_EQ(MajorVersionWithoutOutlook(), "11");
    state_.Sources = {&*choice_};
    state_.OutlookMajorVersion = MajorVersionWithoutOutlook();

    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.StoreChoices, std::vector<std::wstring>{L"Microsoft 365 (alex@contoso.example)"})
        << "the chooser shows for the one store: Microsoft 365 is configured";
    Run(BtnOLtoTAVClick);
    EXPECT_EQ(MasterListText(kKey11), L"Green;Blue;Red;");
    EXPECT_EQ(Mailbox(), kMailboxAsItWas);
    Run(BtnTAVtoOLClick);
    EXPECT_EQ(Mailbox(), (TListed{{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}}));
    standIn.AddUser(kOid, kUpn, {{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}, {"Teal", "preset14"}});
    BtnReadCategoriesClick(state_, ui_);
    Run(BtnSyncOLandTAVClick);
    EXPECT_EQ(MasterListText(kKey11), L"Green;Blue;Red;Teal;");
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), std::nullopt);
}

// A profile's Exchange store shows the very list of the mailbox. Both are
// read again just before each adds, so the second finds what the first added.
class TSameListStore final : public ICategoryStore {
public:
    explicit TSameListStore(std::unique_ptr<ICategoryStore> mailbox) : mailbox_(std::move(mailbox)) {}
    std::wstring Key() const override { return L"00EX"; }
    std::optional<std::wstring> DisplayName() const override { return L"alex@contoso.example"; }
    bool IsDefault() const override { return true; }
    std::optional<std::wstring> ReadFailure() const override { return mailbox_->ReadFailure(); }
    const TCategorySet& Names() const override { return mailbox_->Names(); }
    std::optional<TCategoryColor> ColorOf(const std::wstring& name) override { return mailbox_->ColorOf(name); }
    void ReRead() override { mailbox_->ReRead(); }
    // One by one, as Outlook adds: the interface's own AddMany.
    TAddOutcome Add(const std::wstring& name, std::optional<TCategoryColor> color) override
    {
        return mailbox_->Add(name, color);
    }

private:
    std::unique_ptr<ICategoryStore> mailbox_;
};

class TSameListProfile final : public IStoreSource {
public:
    explicit TSameListProfile(TMicrosoft365& microsoft365) : microsoft365_(microsoft365) {}
    std::vector<std::unique_ptr<ICategoryStore>> ReadStores() override
    {
        std::vector<std::unique_ptr<ICategoryStore>> stores;
        stores.push_back(std::make_unique<TSameListStore>(microsoft365_.OpenMailbox()));
        return stores;
    }

private:
    TMicrosoft365& microsoft365_;
};

TEST_F(MailboxCopyTest, AnOutlookStoreShowingTheMailboxsListGetsNoNameTwice)
{
    TSameListProfile exchange(*microsoft365_);
    state_.Sources = {&exchange, &*choice_};
    BtnReadCategoriesClick(state_, ui_);
    ChooseStore(state_, ui_, kAllStores);
    EXPECT_EQ(ChosenStoreText(state_), L"Blue\r\nRed\r\n") << "both entries show the same list";
    Run(BtnTAVtoOLClick);
    EXPECT_EQ(Mailbox(), (TListed{{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}, {"Shared", "none"}}));
    EXPECT_TRUE(ui_.Informed.empty()) << "no name was refused as a duplicate";
}

// A name Graph turns away concerns that name alone; the others go on, in
// batches of twenty.
TEST_F(MailboxCopyTest, ANameGraphRefusesIsToldAndTheOthersAreAdded)
{
    std::wstring registry;
    for (int i = 0; i < 45; ++i)
        registry += L"N" + std::to_wstring(100 + i) + L";";
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(registry));
    standIn.Fail({{"where", "inner"},
                  {"name", "N120"},
                  {"status", 400},
                  {"code", "ErrorInvalidArgument"},
                  {"message", "The name is\nnot allowed."}});
    profile_.AddStore(L"0A01", L"Outlook Data File");
    BtnReadCategoriesClick(state_, ui_);
    ChooseStore(state_, ui_, MailboxStore());
    standIn.Post("log/clear");
    TCopyReport report;
    ui_.Answers = {true};
    RunCopy(state_, ui_, TCopyDirection::RegistryToStore, report);

    EXPECT_EQ(report.AddedToStore.size(), 44u);
    ASSERT_EQ(report.RefusedByStore.size(), 1u);
    EXPECT_EQ(report.RefusedByStore[0].Name, L"N120");
    EXPECT_EQ(report.RefusedByStore[0].StoreKey, MailboxKey());
    EXPECT_EQ(ui_.Informed, std::vector<std::wstring>{L"Outlook refused these categories, so they were not added "
                                                      L"to Outlook:\nN120 - The name is\xFFFDnot allowed."});
    EXPECT_EQ(Mailbox().size(), 2u + 44u);
    const std::vector<nlohmann::json> log = standIn.Log();
    EXPECT_EQ(CountOuter(log, "/$batch"), 3u) << "ceil(45 / 20)";
    EXPECT_EQ(CountOuter(log, "/masterCategories"), 2u) << "the re-read before adding, and the closing Refresh";
}

// A copy that waits for another one in vain sends nothing to Graph.
TEST_F(MailboxCopyTest, TheCopyLockKeepsGraphUntouched)
{
    profile_.AddStore(L"0A01", L"Outlook Data File");
    BtnReadCategoriesClick(state_, ui_);
    ChooseStore(state_, ui_, MailboxStore());
    standIn.Post("log/clear");

    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        TUserMutex lock(kCopyLockName);
        lock.Acquire(INFINITE);
        SetEvent(held);
        WaitForSingleObject(release, INFINITE);
    });
    // However the copy ends, the other holder lets go and is waited for: a
    // copy that ran when it should not have is a failed assertion, not an
    // unjoined thread ending the program.
    const auto letGo = [&] {
        SetEvent(release);
        other.join();
        SetWaitLimitSeconds(kDefaultWaitSeconds);
        CloseHandle(held);
        CloseHandle(release);
    };
    WaitForSingleObject(held, INFINITE);
    SetWaitLimitSeconds(0);
    ui_.Answers = {true};
    try {
        BtnTAVtoOLClick(state_, ui_);
        ADD_FAILURE() << "the copy ran beside another one";
    } catch (const EException& e) {
        EXPECT_EQ(e.Message(),
                  L"Another copy of categories is running for this user. Try again when it has finished.");
    } catch (...) {
        letGo();
        throw;
    }
    letGo();
    EXPECT_TRUE(standIn.Log().empty());
    EXPECT_EQ(Mailbox(), kMailboxAsItWas);
}

// Compare reads the mailbox's list once, with the Refresh, colours and all:
// it sends Graph nothing more, least of all a write, and the registry and the
// profile's stores stay as they were.
TEST_F(MailboxCopyTest, CompareSendsNothingMoreAndWritesNowhere)
{
    TwoOutlookStores();
    profile_.Stores[1]->List->Names.push_back(L"Red");
    profile_.Stores[1]->List->Colors.push_back(TCategoryColor::FromOutlook(4));
    standIn.Post("log/clear");
    BtnReadCategoriesClick(state_, ui_);
    ChooseStore(state_, ui_, kAllStores);
    const std::vector<nlohmann::json> refresh = standIn.Log();
    standIn.Post("log/clear");

    const std::vector<TListFileEntry> file{{L"Red", TCategoryColor::FromOutlook(1)}, {L"Shared", std::nullopt}};
    for (const std::vector<TListFileEntry>* reference : {static_cast<const std::vector<TListFileEntry>*>(nullptr), &file}) {
        const TComparison comparison = CompareSides(state_, reference);
        ASSERT_EQ(comparison.Sides.size(), reference ? 5u : 4u);
        const TCompareSide& mailbox = comparison.Sides[static_cast<std::size_t>(MailboxStore()) + 1];
        EXPECT_FALSE(mailbox.Lacks.empty());
        // Red is the mailbox's preset0 (Outlook's 1), the archive's 4: the
        // archive sets the colour without a file, the file's 1 with it.
        const TCompareSide& differs = comparison.Sides[reference ? 2 : static_cast<std::size_t>(MailboxStore()) + 1];
        ASSERT_EQ(differs.ColorDiffers.size(), 1u);
        EXPECT_EQ(differs.ColorDiffers[0].Name, L"Red");
        std::size_t colours = 0;
        for (const TCompareSide& side : comparison.Sides)
            colours += side.ColorDiffers.size();
        EXPECT_EQ(colours, 1u);
    }
    EXPECT_TRUE(standIn.Log().empty()) << standIn.Log().front().dump();
    // The sign-in's token requests aside, Graph was only read.
    for (const nlohmann::json& entry : refresh) {
        if (entry["host"] != "graph.microsoft.com")
            continue;
        EXPECT_EQ(entry["method"], "GET") << entry.dump();
        EXPECT_EQ(entry["path"].get<std::string>().find("$batch"), std::string::npos) << entry.dump();
    }
    EXPECT_EQ(Mailbox(), kMailboxAsItWas);
    EXPECT_EQ(MasterListText(kKey14), L"Green;Shared;");
    EXPECT_TRUE(profile_.Logged(L"add ").empty());
    EXPECT_TRUE(profile_.Logged(L"recolour ").empty());
}

}  // namespace
