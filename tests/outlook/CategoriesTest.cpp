#include "StandInFixture.h"
#include "outlook/LateBound.h"
#include "outlook/OutlookCategories.h"

namespace {

class StoreRead : public StandInTest {
protected:
    void SetUp() override
    {
        StandInTest::SetUp();
        Open();
        ClearStandInLog();
    }

    std::vector<std::wstring> Read()
    {
        ReadPSTCategories(connection, pst);
        std::vector<std::wstring> names;
        for (int i = 0; i < pst.Count(); ++i)
            names.push_back(pst.Get(i));
        return names;
    }

    TCategorySet pst;
};

using StoreAdd = StoreRead;
using StoreAccess = StandInTest;

}  // namespace

TEST_F(StoreRead, EmptyCollectionMakesNoItemCall)
{
    pst.Add(L"left over");
    EXPECT_TRUE(Read().empty());
    EXPECT_EQ(Invocations(), (std::vector<std::wstring>{L"Categories 3", L"Count 3"}));
}

TEST_F(StoreRead, AsksEachMemberOnceAConnectionThenTwoRequestsPerName)
{
    SetNames({L"Work", L"Home", L"Travel"});
    EXPECT_EQ(Read(), (std::vector<std::wstring>{L"Home", L"Travel", L"Work"}));
    EXPECT_EQ(ReadStandInRequests().size(), 4u + 2u + 2u * 3u);
    EXPECT_EQ(Invocations(), (std::vector<std::wstring>{L"Categories 3", L"Count 3", L"Item 2 i4:1", L"Name 3",
                                                         L"Item 2 i4:2", L"Name 3", L"Item 2 i4:3", L"Name 3"}));
    ClearStandInLog();
    Read();
    EXPECT_EQ(ReadStandInRequests().size(), 2u + 2u * 3u) << "no name is looked up again";

    // A new connection asks afresh: its Outlook may be another one.
    CloseOutlookConnection(connection);
    Open();
    ClearStandInLog();
    Read();
    EXPECT_EQ(ReadStandInRequests().size(), 4u + 2u + 2u * 3u);
}

TEST_F(StoreRead, KeepsTheFirstOfNamesDifferingInCaseAndEveryOddName)
{
    const std::wstring withNul(L"A\0B", 3);
    SetNames({L"Red", L"RED", L" ", L"", L"Ελληνικά", L"日本語のカテゴリ", L"  Padded\t", withNul});
    const std::vector<std::wstring> names = Read();
    EXPECT_EQ(pst.Count(), 7);
    EXPECT_GE(pst.IndexOf(L"Red"), 0);
    EXPECT_EQ(pst.Get(pst.IndexOf(L"red")), L"Red");
    for (const std::wstring& name : {std::wstring(L" "), std::wstring(), std::wstring(L"Ελληνικά"),
                                     std::wstring(L"日本語のカテゴリ"), std::wstring(L"  Padded\t"), withNul})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << ToUtf8(name);
}

TEST_F(StoreRead, ItemFailureKeepsTheNamesBeforeItAndReportsOutlooksText)
{
    TStandInState state;
    state.Names = {L"A", L"B", L"C", L"D"};
    state.FailingItem = 3;
    state.ItemFaultDescription = L"The collection changed during the read. \r\n";
    WriteStandInState(state);
    const auto e = Caught<EOleException>([&] { Read(); });
    EXPECT_EQ(e.Message(), L"The collection changed during the read");
    EXPECT_EQ(e.Source, L"Pellorin Outlook stand-in");
    EXPECT_EQ(pst.Count(), 2);
    EXPECT_EQ(Invocations().back(), L"Item 2 i4:3");
    // TearDown checks that the stand-in exits: the failed read released everything.
}

TEST_F(StoreAdd, NamesGoOutUnchangedOnOneCollection)
{
    SetNames({L"Red"});
    {
        const TAutomationValue collection = GetCategoriesCollection(connection);
        AddCategory(connection, collection, L"  Blue  ");
        AddCategory(connection, collection, L"Ζωή 日本");
    }
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Red", L"  Blue  ", L"Ζωή 日本"}));
    EXPECT_EQ(Invocations(),
              (std::vector<std::wstring>{L"Categories 3", L"Add 1 bstr:  Blue  ", L"Add 1 bstr:Ζωή 日本"}));
}

TEST_F(StoreAdd, RefusedNameRaisesOutlooksDescription)
{
    TStandInState state;
    state.Names = {L"Red"};
    state.AddFaults = {{L"Blocked", L"Outlook refuses this name."}};
    WriteStandInState(state);
    const TAutomationValue collection = GetCategoriesCollection(connection);
    const auto e = Caught<EOleException>([&] { AddCategory(connection, collection, L"Blocked"); });
    EXPECT_EQ(e.Message(), L"Outlook refuses this name");
    EXPECT_EQ(ReadStandInNames(), std::vector<std::wstring>{L"Red"});
}

TEST_F(StoreAccess, NamespaceWithoutCategories)
{
    TStandInState state;
    state.NoCategories = true;
    WriteStandInState(state);
    Open();
    TCategorySet pst;
    const auto e = Caught<EOleError>([&] { ReadPSTCategories(connection, pst); });
    EXPECT_EQ(e.Message(), L"Method 'Categories' not supported by automation object");
}

TEST_F(StoreAccess, EmptyNamespaceIsAnInvalidVariantOperation)
{
    TCategorySet pst;
    pst.Add(L"stale");
    TOutlookConnection none;
    const TAutomationValue empty;
    EXPECT_EQ(Caught<EOleError>([&] { ReadPSTCategories(none, pst); }).Message(), L"Invalid variant operation");
    EXPECT_EQ(pst.Count(), 0);
    EXPECT_EQ(Caught<EOleError>([&] { GetCategoriesCollection(none); }).Message(), L"Invalid variant operation");
    EXPECT_EQ(Caught<EOleError>([&] { AddCategory(none, empty, L"Red"); }).Message(), L"Invalid variant operation");
}

TEST_F(StoreAccess, AddedNamesSurviveARestart)
{
    Open();
    AddCategory(connection, GetCategoriesCollection(connection), L"Kept");
    CloseOutlookConnection(connection);
    ASSERT_TRUE(WaitForStandInExit());
    Open();
    TCategorySet pst;
    ReadPSTCategories(connection, pst);
    EXPECT_EQ(pst.Count(), 1);
    EXPECT_EQ(pst.IndexOf(L"Kept"), 0);
}

TEST_F(StoreAccess, DelayHoldsBackEveryAnswer)
{
    TStandInState state;
    state.DelayMilliseconds = 40;
    WriteStandInState(state);
    Open();
    TCategorySet pst;
    const ULONGLONG start = GetTickCount64();
    ReadPSTCategories(connection, pst);
    EXPECT_GE(GetTickCount64() - start, 4u * 40u - 20u) << "four requests, each held back";
}
