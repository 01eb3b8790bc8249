#include "StandInFixture.h"
#include "outlook/LateBound.h"
#include "outlook/OutlookCategories.h"
#include "outlook/OutlookStores.h"
#include "base/WaitLimit.h"

namespace {

class Stores : public StandInTest {
protected:
    // In Namespace.Stores order: Archive, the default mailbox, an IMAP account
    // showing the mailbox's list, and public folders that cannot be read.
    static TStandInState Profile()
    {
        TStandInState state;
        state.DefaultStoreName = L"Mailbox";
        state.Names = {L"Red", L"Blue"};
        state.DefaultStorePosition = 1;
        state.OtherStores = {{L"Archive", {L"Old"}, {}, L"", L""},
                             {L"IMAP", {L"ignored"}, {}, L"Mailbox", L""},
                             {L"Public Folders", {}, {}, L"", L"The operation failed. You are not connected"}};
        return state;
    }

    static std::vector<std::wstring> NamesOf(const ICategoryStore& store)
    {
        std::vector<std::wstring> names;
        for (int i = 0; i < store.Names().Count(); ++i)
            names.push_back(store.Names().Get(i));
        return names;
    }

    static int Lookups()
    {
        int lookups = 0;
        for (const TStandInRequest& r : ReadStandInRequests())
            lookups += r.Event == L"lookup";
        return lookups;
    }
};

}  // namespace

TEST_F(Stores, EachStoreIsReadDefaultFirstAndAnUnreadableOneIsMarked)
{
    WriteStandInState(Profile());
    Open();
    ClearStandInLog();
    auto stores = ReadOutlookStores(connection);

    ASSERT_EQ(stores.size(), 4u);
    const TOutlookStore& mailbox = *stores[0];
    EXPECT_EQ(mailbox.DisplayName(), L"Mailbox");
    EXPECT_TRUE(mailbox.IsDefault());
    EXPECT_EQ(NamesOf(mailbox), (std::vector<std::wstring>{L"Blue", L"Red"}));
    EXPECT_EQ(stores[1]->DisplayName(), L"Archive");
    EXPECT_EQ(NamesOf(*stores[1]), std::vector<std::wstring>{L"Old"});
    EXPECT_EQ(NamesOf(*stores[2]), NamesOf(mailbox)) << "IMAP answers with its primary store's list";
    const TOutlookStore& publicFolders = *stores[3];
    EXPECT_FALSE(publicFolders.Readable());
    EXPECT_EQ(publicFolders.Error(), L"The operation failed. You are not connected");
    for (const auto& store : stores)
        EXPECT_EQ(store->IsDefault(), store.get() == &mailbox);

    // Each member once per kind of object: Stores, DefaultStore; Count and Item
    // of the stores; StoreID, DisplayName, Categories; Count and Item of a list; Name.
    EXPECT_EQ(Lookups(), 10);
    // Stores, Count, DefaultStore, its StoreID; then per store Item, DisplayName,
    // StoreID, Categories, and for a list read Count and two per name.
    EXPECT_EQ(ReadStandInRequests().size(), 10u + 4u + 4u * 4u + (1u + 2u * 2u) + (1u + 2u) + (1u + 2u * 2u));

    ClearStandInLog();
    stores = ReadOutlookStores(connection);
    EXPECT_EQ(Lookups(), 0) << "a second read asks no name again";
}

TEST_F(Stores, OneStoreOrAnOutlookThatCannotTellThemApartIsReadThroughTheNamespace)
{
    struct TCase {
        const wchar_t* Version;
        bool NoStores;
        std::vector<std::wstring> Invokes;
    };
    const std::vector<std::wstring> today = {L"Categories 3", L"Count 3", L"Item 2 i4:1", L"Name 3"};
    std::vector<std::wstring> withStores = {L"Stores 3", L"Count 3"};
    withStores.insert(withStores.end(), today.begin(), today.end());
    const TCase cases[] = {{L"14.0.7015.1000", false, withStores},
                           {L"16.0.17928.20114", true, today},
                           {L"12.0.6423.1000", false, today}};
    TRunningStandIn running;
    for (const TCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.Version));
        TStandInState state;
        state.Version = c.Version;
        state.Names = {L"Only"};
        state.NoStores = c.NoStores;
        WriteStandInState(state);
        Open();
        ClearStandInLog();
        const auto stores = ReadOutlookStores(connection);
        ASSERT_EQ(stores.size(), 1u);
        EXPECT_TRUE(stores[0]->IsDefault());
        EXPECT_FALSE(stores[0]->DisplayName().has_value()) << "nobody asked";
        EXPECT_EQ(NamesOf(*stores[0]), std::vector<std::wstring>{L"Only"});
        EXPECT_EQ(Invocations(), c.Invokes);
        CloseOutlookConnection(connection);
    }
    WriteStandInState(TStandInState());
    Open();
    EXPECT_EQ(ReadOutlookStores(connection, TOnlyStoreNaming::Named).at(0)->DisplayName(), L"Outlook Data File");
}

TEST_F(Stores, TheDefaultStoresFailureIsRaisedAsAlways)
{
    TStandInState state = Profile();
    state.FailingItem = 2;
    state.ItemFaultDescription = L"The store is busy";
    WriteStandInState(state);
    Open();
    EXPECT_EQ(Caught<EOleException>([&] { ReadOutlookStores(connection); }).Message(), L"The store is busy");
}

TEST_F(Stores, AnOutlookBusyPastTheWaitIsNoFaultOfTheStoreBeingRead)
{
    struct TRestore {
        ~TRestore() { SetWaitLimitSeconds(kDefaultWaitSeconds); }
    } restore;
    TStandInState state = Profile();
    state.OtherStores.pop_back();
    WriteStandInState(state);
    Open();
    // Busy from the last store's Count on: the stores before it, Archive (7
    // calls) and Mailbox (9), after Stores, Count, DefaultStore and its StoreID.
    state.BusyMilliseconds = 60000;
    state.BusyAfterCalls = 4 + 7 + 9 + 4;
    WriteStandInState(state);
    SetWaitLimitSeconds(0);
    EXPECT_EQ(Caught<EOleSysError>([&] { ReadOutlookStores(connection); }).ErrorCode, RPC_E_CALL_REJECTED);
}

TEST_F(Stores, ColoursGoWithAnAddAndOutlookRefusesANameItHolds)
{
    TStandInState state = Profile();
    state.Colors = {7, 1};
    WriteStandInState(state);
    Open();
    const auto stores = ReadOutlookStores(connection);
    TOutlookStore& mailbox = *stores[0];
    TOutlookStore& archive = *stores[1];
    EXPECT_EQ(mailbox.ColorOf(L"red"), TCategoryColor::FromOutlook(7));
    EXPECT_EQ(mailbox.ColorOf(L"Green"), std::nullopt) << "Outlook answers Nothing";

    EXPECT_TRUE(archive.Add(L"Red", TCategoryColor::FromOutlook(7)).Added);
    EXPECT_TRUE(archive.Add(L"Green", std::nullopt).Added);
    const TAddOutcome refused = archive.Add(L"GREEN", TCategoryColor::FromOutlook(3));
    EXPECT_FALSE(refused.Added);
    EXPECT_EQ(refused.Refusal, L"A category with this name already exists");
    EXPECT_EQ(NamesOf(archive), (std::vector<std::wstring>{L"Green", L"Old", L"Red"})) << "what was added joins";
    for (const auto& store : stores)
        store->EndCopy();
    const TStandInStore saved = ReadStandInState().OtherStores.at(0);
    EXPECT_EQ(saved.Names, (std::vector<std::wstring>{L"Old", L"Red", L"Green"}));
    // Old took the first free colour when the state was loaded, Green the next.
    EXPECT_EQ(saved.Colors, (std::vector<long>{1, 7, 2}));
}
