#include "StandInFixture.h"
#include "outlook/LateBound.h"
#include "outlook/OutlookCategories.h"

#include <objbase.h>

namespace {

// Every COM client here must release all it holds before CoUninitialize, or
// Wine keeps it alive for minutes at exit.
class ComApartment : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

const auto* const kApartment = testing::AddGlobalTestEnvironment(new ComApartment);

using Connection = StandInTest;

}  // namespace

TEST_F(Connection, AttachesToARunningOutlookWithoutStartingOne)
{
    TRunningStandIn running;
    Open();
    EXPECT_EQ(Starts(), 1);
    EXPECT_FALSE(connection.OutlookApp.IsEmpty());
    EXPECT_FALSE(connection.OutlookNamespace.IsEmpty());
    EXPECT_EQ(connection.OutlookVersion, L"14.0.7015.1000");
    CloseOutlookConnection(connection);
    EXPECT_TRUE(running.IsAlive()) << "closing never tells Outlook to quit";
}

TEST_F(Connection, AnEntryLeftByAKilledOutlookIsPassedOver)
{
    SetNames({L"Red"});
    TCategorySet names;
    // Wine drops the running-object entry of a killed process...
    {
        TRunningStandIn killed;
        TerminateStandIns();
    }
    Open();
    ReadPSTCategories(connection, names);
    EXPECT_EQ(names.Count(), 1);
    CloseOutlookConnection(connection);
    ASSERT_TRUE(WaitForStandInExit());

    // ...Windows can keep it, and every call to it fails as with a server that is gone.
    TRunningStandIn stale(TRunningStandIn::TKind::Stale);
    ClearStandInLog();
    Open();
    EXPECT_EQ(Starts(), 1) << "a new Outlook was started";
    ReadPSTCategories(connection, names);
    EXPECT_EQ(names.Count(), 1);
    CloseOutlookConnection(connection);
}

TEST_F(Connection, StartsAnInstalledOutlookThatExitsOnceReleased)
{
    Open();
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Invocations(), (std::vector<std::wstring>{L"GetNamespace 1 bstr:MAPI", L"Version 3", L"Version 3"}));
    EXPECT_EQ(connection.OutlookMajorVersion, "14");
    CloseOutlookConnection(connection);
    EXPECT_TRUE(connection.OutlookApp.IsEmpty());
    EXPECT_TRUE(connection.OutlookNamespace.IsEmpty());
    EXPECT_TRUE(WaitForStandInExit());
    EXPECT_TRUE(Invocations().size() == 3) << "closing makes no call";
}

TEST_F(Connection, OutlookNotInstalledGivesTheClassStringText)
{
    registration.Unregister();
    const auto e = Caught<EOleSysError>([&] { Open(); });
    EXPECT_EQ(e.ErrorCode, CO_E_CLASSSTRING);
    // Wine's FormatMessage has no text for this code; Windows says "Invalid class string".
    EXPECT_TRUE(e.Message() == L"OLE error 800401F3" || e.Message() == L"Invalid class string")
        << e.what();
    EXPECT_TRUE(connection.OutlookApp.IsEmpty());
}

TEST_F(Connection, VersionDecidesTheLabelAndWhetherTheStoreIsUsed)
{
    struct Row {
        const wchar_t* version;
        const char* major;
        const wchar_t* label;
        bool store;
    };
    const Row rows[] = {
        {L"12.0.6423.1000", "12", L"Outlook version detected: Outlook 2007", true},
        {L"14.0.7015.1000", "14", L"Outlook version detected: Outlook 2010", true},
        {L"11.0", "11", L"Outlook version detected: Outlook 2003", false},
        {L"10.0", "10", L"Outlook version detected: Outlook 2002", false},
        {L"9.0", "9", L"Outlook version detected: Outlook 2000", false},
        {L"15.0.5553.1000", "15", L"Outlook version detected: Outlook 2013", true},
        {L"16.0.17928.20114", "16", L"Outlook version detected: Outlook 2016 or later", true},
        {L"17.0", "17", L"", false},
        {L"13.0", "13", L"", false},
        {L"12", "", L"", false},
        {L".5", "", L"", false},
        {L"012.0", "012", L"", false},
    };
    TRunningStandIn running;
    for (const Row& row : rows) {
        TStandInState state;
        state.Version = row.version;
        WriteStandInState(state);
        TOutlookConnection c;
        OpenOutlookConnection(c, registration.ProgId());
        EXPECT_EQ(c.OutlookVersion, row.version);
        EXPECT_EQ(c.OutlookMajorVersion, row.major) << ToUtf8(row.version);
        EXPECT_EQ(OutlookVersionText(c.OutlookMajorVersion), row.label) << ToUtf8(row.version);
        EXPECT_EQ(IsStoreInUse(c.OutlookMajorVersion), row.store) << ToUtf8(row.version);
        CloseOutlookConnection(c);
    }
}

TEST_F(Connection, OutlookGoingAwayFailsTheNextCallWithTheSystemsText)
{
    SetNames({L"Red"});
    auto running = std::make_unique<TRunningStandIn>();
    Open();
    TCategorySet names;
    ReadPSTCategories(connection, names);
    ASSERT_TRUE(running->Stop());

    const auto e = Caught<EOleSysError>([&] { ReadPSTCategories(connection, names); });
    EXPECT_TRUE(FAILED(e.ErrorCode));
    EXPECT_EQ(e.Message(), OleErrorText(e.ErrorCode));
    running.reset();
}
