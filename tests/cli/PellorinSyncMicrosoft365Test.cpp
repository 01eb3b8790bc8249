// The real PellorinSync.exe with Microsoft 365: started as a child process
// beside both stand-ins, the Outlook one registered in the build's Wine prefix
// and the Graph one that with-graph-standin.sh started, whose address the
// child finds in PELLORIN_LOGIN_URL and PELLORIN_GRAPH_URL. The settings go to
// the prefix's own HKEY_CURRENT_USER and the sign-in to its own local
// application data, both removed after each test. Skipped outside Wine.
#include "GraphStandIn.h"

#include "identity/DeviceCodeSignIn.h"
#include "identity/Microsoft365Settings.h"
#include "identity/TokenCache.h"
#include "standins/outlook/StandInControl.h"

#include "support/ScratchHkcu.h"
#include "support/SyncProcess.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

#ifndef PELLORIN_SYNC_EXE
#error "PELLORIN_SYNC_EXE names the program under test"
#endif

namespace {

constexpr char kOid[] = "3f1c2a9e-0000-4000-8000-00000000a11e";
constexpr char kUpn[] = "alex@contoso.example";
constexpr wchar_t kTenant[] = L"contoso.example";
constexpr wchar_t kClient[] = L"11111111-2222-3333-4444-555555555555";
const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::string kSignInFirst = "PellorinSync: Sign in to Microsoft 365 first: PellorinSync signin.\r\n";
const std::string kOptions = " --tenant contoso.example --client-id 11111111-2222-3333-4444-555555555555";

void DeleteOfficeKeys()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office");
}

class PellorinSyncMicrosoft365 : public testing::Test {
protected:
    void SetUp() override
    {
        if (!IsRunningUnderWine())
            GTEST_SKIP() << "runs PellorinSync.exe against the registry and the token cache: only inside Wine's prefix";
        registration_ = std::make_unique<TStandInRegistration>();
        DeleteOfficeKeys();
        ForgetMicrosoft365();
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Green;"));
        TStandInState state;
        state.Names = {L"Out1"};
        WriteStandInState(state);
        standIn_.Reset();
        standIn_.AddUser(kOid, kUpn, {{"Red", "preset0"}, {"Blue", "preset7"}});
        standIn_.Set({{"interval", 1}, {"sign_in_user", kOid}});
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", standIn_.Url().c_str());
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", standIn_.Url().c_str());
    }

    void TearDown() override
    {
        if (!IsRunningUnderWine())
            return;
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", nullptr);
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", nullptr);
        registration_.reset();
        DeleteOfficeKeys();
        ForgetMicrosoft365();
    }

    static void ForgetMicrosoft365()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pellorin");
        TTokenCache(TTokenCache::DefaultPath()).Remove();
    }

    static void Configure()
    {
        PutValue(kMicrosoft365UserKey, L"TenantId", REG_SZ, Utf16Bytes(std::wstring(kTenant) + L'\0'));
        PutValue(kMicrosoft365UserKey, L"ClientId", REG_SZ, Utf16Bytes(std::wstring(kClient) + L'\0'));
    }

    // As PellorinSync signin leaves it, made here to spare a run.
    void SignInHere() const
    {
        TMicrosoft365Settings settings;
        settings.TenantId = kTenant;
        settings.ClientId = kClient;
        settings.LoginUrl = standIn_.Url();
        settings.GraphUrl = standIn_.Url();
        standIn_.Set({{"poll_script", {"approve"}}});
        TDeviceCodeSignIn flow(http_, settings, TTokenCache(TTokenCache::DefaultPath()));
        SignInWithDeviceCode(flow, [](const TDeviceCodePrompt&) {}, [](DWORD) { return true; });
        standIn_.Post("log/clear");
    }

    TSyncRun Run(const std::string& arguments)
    {
        const TSyncRun run = TSyncProcess(WindowsPath(PELLORIN_SYNC_EXE), arguments).Finish();
        EXPECT_TRUE(WaitForStandInExit()) << "PellorinSync " << arguments << " kept Outlook running";
        outputs_ += run.Out + run.Err;
        return run;
    }

    // No token of the stand-in's in anything any run printed.
    void ExpectNoTokenPrinted() const
    {
        const nlohmann::json tokens = standIn_.Get("tokens");
        for (const char* kind : {"access", "refresh", "id"}) {
            for (const auto& token : tokens[kind])
                EXPECT_EQ(outputs_.find(token.get<std::string>()), std::string::npos) << kind;
        }
    }

    std::unique_ptr<TStandInRegistration> registration_;
    TGraphStandIn standIn_;
    THttpClient http_;
    std::string outputs_;
};

TEST_F(PellorinSyncMicrosoft365, NothingConfiguredSendsNotOneRequest)
{
    // The stand-in's address is in the environment; only the configuration is missing.
    const TSyncRun list = Run("list --all-stores");
    EXPECT_EQ(list.ExitCode, 0u);
    EXPECT_EQ(list.Out, "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\nregistry: Green\r\nOutlook: Out1\r\n");
    EXPECT_EQ(list.Err, "");
    const TSyncRun chosen = Run("list --store m365");
    EXPECT_EQ(chosen.ExitCode, 1u);
    EXPECT_EQ(chosen.Err, "PellorinSync: No Outlook store is named \"m365\". The stores are: \"Outlook Data File\".\r\n");
    EXPECT_EQ(Run("both").ExitCode, 0u);
    const TSyncRun signIn = Run("signin");
    EXPECT_EQ(signIn.ExitCode, 1u);
    EXPECT_EQ(signIn.Err, "PellorinSync: Microsoft 365 is not configured on this computer: give --tenant and "
                          "--client-id, or set TenantId and ClientId under "
                          "HKEY_CURRENT_USER\\Software\\Pellorin\\Microsoft365.\r\n");
    EXPECT_TRUE(standIn_.Log().empty());
}

TEST_F(PellorinSyncMicrosoft365, SignInThenEveryVerbSeesTheMailboxThenSignOut)
{
    Configure();
    const TSyncRun before = Run("list --store m365");
    EXPECT_EQ(before.ExitCode, 1u);
    EXPECT_EQ(before.Err, kSignInFirst);
    EXPECT_EQ(Run("list").ExitCode, 0u) << "the default store needs no sign-in";
    EXPECT_TRUE(standIn_.Log().empty());

    standIn_.Set({{"poll_script", {"pending", "approve"}}});
    const TSyncRun signIn = Run("signin");
    EXPECT_EQ(signIn.ExitCode, 0u);
    EXPECT_TRUE(std::regex_match(signIn.Out, std::regex("To sign in, use a web browser to open the page "
                                                        "https://microsoft\\.com/devicelogin and enter the code "
                                                        "[0-9A-F]{8} to authenticate\\.\r\n"
                                                        "Signed in as alex@contoso\\.example\\.\r\n")))
        << signIn.Out;
    EXPECT_EQ(signIn.Err, "");

    const TSyncRun list = Run("list --all-stores");
    EXPECT_EQ(list.ExitCode, 0u);
    EXPECT_EQ(list.Out, "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\nregistry: Green\r\n"
                        "Outlook (Outlook Data File): Out1\r\n"
                        "Microsoft 365 (alex@contoso.example): Blue\r\n"
                        "Microsoft 365 (alex@contoso.example): Red\r\n");
    const TSyncRun both = Run("both --store m365");
    EXPECT_EQ(both.ExitCode, 0u);
    EXPECT_EQ(both.Out, "added to Outlook: Green\r\nadded to registry: Blue\r\nadded to registry: Red\r\n"
                        "1 added to Outlook, 2 added to the registry\r\n");
    EXPECT_EQ(standIn_.Categories(kOid),
              (std::vector<std::pair<std::string, std::string>>{{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}}));
    EXPECT_EQ(ReadStandInNames(), std::vector<std::wstring>{L"Out1"});

    const TSyncRun signOut = Run("signout");
    EXPECT_EQ(signOut.ExitCode, 0u);
    EXPECT_EQ(signOut.Out, "Signed out of Microsoft 365.\r\n");
    EXPECT_FALSE(TTokenCache(TTokenCache::DefaultPath()).Load());
    EXPECT_EQ(Run("list --store m365").Err, kSignInFirst);
    ExpectNoTokenPrinted();
}

TEST_F(PellorinSyncMicrosoft365, ADeclinedSignInSaysSoAndKeepsNothing)
{
    Configure();
    standIn_.Set({{"poll_script", {"declined"}}});
    const TSyncRun signIn = Run("signin");
    EXPECT_EQ(signIn.ExitCode, 1u);
    EXPECT_TRUE(signIn.Out.starts_with("To sign in, use a web browser")) << signIn.Out;
    EXPECT_EQ(signIn.Out.find("Signed in"), std::string::npos);
    EXPECT_EQ(signIn.Err, "PellorinSync: The sign-in to Microsoft 365 was declined.\r\n");
    EXPECT_FALSE(TTokenCache(TTokenCache::DefaultPath()).Load());
}

// Configured on the command line alone, as a script may: the options stand
// for the registry's values.
TEST_F(PellorinSyncMicrosoft365, WithoutClassicOutlookTheRegistryAndTheMailbox)
{
    SignInHere();
    registration_.reset();
    const TSyncRun list = Run("list" + kOptions);
    EXPECT_EQ(list.ExitCode, 0u);
    EXPECT_EQ(list.Out, "Outlook version detected: none\r\nregistry: Green\r\nOutlook: Blue\r\nOutlook: Red\r\n");
    EXPECT_EQ(list.Err, "");
    const TSyncRun both = Run("both" + kOptions);
    EXPECT_EQ(both.ExitCode, 0u);
    EXPECT_EQ(both.Out, "added to Outlook: Green\r\nadded to registry: Blue\r\nadded to registry: Red\r\n"
                        "1 added to Outlook, 2 added to the registry\r\n");
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"Green;Blue;Red;"));
    const std::size_t requests = standIn_.Log().size();

    // Without the options nothing is configured: Outlook's failure, as ever, and no request.
    const TSyncRun plain = Run("list");
    EXPECT_EQ(plain.ExitCode, 1u);
    EXPECT_EQ(plain.Out, "registry: Blue\r\nregistry: Green\r\nregistry: Red\r\n");
    EXPECT_NE(plain.Err.find("Classic Outlook (2007 to Microsoft 365) is not installed"), std::string::npos);
    EXPECT_EQ(standIn_.Log().size(), requests);
    ExpectNoTokenPrinted();
}

}  // namespace
