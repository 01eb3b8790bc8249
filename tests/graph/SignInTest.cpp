// Signing in with the device code, and the access tokens the signed-in user's
// refresh token buys: each outcome against the stand-in.

#include "GraphFixture.h"
#include "identity/DeviceCodeSignIn.h"
#include "identity/SignInErrors.h"
#include "identity/SignedInUser.h"

#include <thread>

namespace {

struct PollCase {
    const char* what;
    std::vector<std::string> script;      // what the stand-in answers, poll by poll
    std::vector<DWORD> waits;             // the pauses before each poll
    const wchar_t* error;                 // null: signed in
};

class SignInTest : public GraphFixture {};

TEST_F(SignInTest, EachOutcomeOfPolling)
{
    const PollCase cases[] = {
        {"approved at once", {"approve"}, {2000}, nullptr},
        {"pending, then approved", {"pending", "pending", "approve"}, {2000, 2000, 2000}, nullptr},
        {"slow_down adds 5 s for good", {"pending", "slow_down", "pending", "approve"}, {2000, 2000, 7000, 7000}, nullptr},
        {"declined", {"pending", "declined"}, {2000, 2000}, TDeviceCodeSignIn::kDeclined},
        {"expired", {"expired"}, {2000}, TDeviceCodeSignIn::kExpired},
        {"code not recognised", {"bad_code"}, {2000}, TDeviceCodeSignIn::kBadCode},
    };
    for (const PollCase& c : cases) {
        SCOPED_TRACE(c.what);
        Cache().Remove();
        standIn.Set({{"interval", 2}, {"sign_in_user", kOid}, {"poll_script", c.script}});
        standIn.Post("log/clear");
        TDeviceCodeSignIn flow(http, Settings(), Cache());
        std::wstring shown;
        std::vector<DWORD> waits;
        const auto run = [&] {
            return SignInWithDeviceCode(
                flow, [&](const TDeviceCodePrompt& prompt) { shown = prompt.Message; },
                [&](DWORD ms) {
                    waits.push_back(ms);
                    return true;
                });
        };
        if (c.error) {
            const auto failure = Caught<ESignInFailed>(run);
            EXPECT_EQ(failure.Message(), c.error);
            EXPECT_FALSE(Cache().Load());
        } else {
            const TSignedInAccount account = run();
            EXPECT_EQ(account.Account, FromUtf8(kUpn));
            EXPECT_EQ(account.ObjectId, FromUtf8(kOid));
            const auto cached = Cache().Load();
            ASSERT_TRUE(cached);
            EXPECT_EQ(cached->ObjectId, FromUtf8(kOid));
            EXPECT_EQ(cached->ClientId, Settings().ClientId);
        }
        EXPECT_EQ(waits, c.waits);
        const auto log = standIn.Log();
        ASSERT_FALSE(log.empty());
        // The service's own instructions, word for word.
        EXPECT_NE(shown.find(L"https://microsoft.com/devicelogin"), std::wstring::npos);
        EXPECT_EQ(log[0]["path"], "/contoso.example/oauth2/v2.0/devicecode");
        EXPECT_EQ(log[0]["scope"], kSignInScope);
        EXPECT_EQ(log.size(), 1 + c.script.size());
    }
}

TEST_F(SignInTest, ShowsTheServicesMessageExactly)
{
    standIn.Set({{"sign_in_user", kOid}, {"poll_script", {"approve"}}});
    TDeviceCodeSignIn flow(http, Settings(), Cache());
    const TDeviceCodePrompt prompt = flow.Start();
    EXPECT_EQ(prompt.Message, L"To sign in, use a web browser to open the page https://microsoft.com/devicelogin "
                              L"and enter the code " + prompt.UserCode + L" to authenticate.");
    EXPECT_EQ(prompt.VerificationUri, L"https://microsoft.com/devicelogin");
    EXPECT_EQ(prompt.UserCode.size(), 8u);
}

TEST_F(SignInTest, CancelStopsPollingAndSavesNothing)
{
    TDeviceCodeSignIn flow(http, Settings(), Cache());
    int polls = 0;
    EXPECT_THROW(SignInWithDeviceCode(flow, [](const TDeviceCodePrompt&) {}, [&](DWORD) { return polls++ < 2; }),
                 ESignInCancelled);
    EXPECT_FALSE(Cache().Load());
    EXPECT_EQ(CountOuter(standIn.Log(), "/token"), 2u);
}

TEST_F(SignInTest, ServiceRefusingTheStartIsNamed)
{
    standIn.Fail({{"path", "/devicecode"}, {"oauth_error", "invalid_client"},
                  {"message", "AADSTS7000218: The request body must contain client_assertion or client_secret."}});
    TDeviceCodeSignIn flow(http, Settings(), Cache());
    const auto failure = Caught<ESignInFailed>([&] { flow.Start(); });
    EXPECT_NE(failure.Message().find(L"AADSTS7000218"), std::wstring::npos);
}

TEST_F(SignInTest, AnswerWithoutRefreshTokenOrAccountIsNoSignIn)
{
    standIn.Set({{"sign_in_user", kOid}, {"poll_script", {"approve"}}, {"grant_refresh", false}});
    TDeviceCodeSignIn flow(http, Settings(), Cache());
    flow.Start();
    EXPECT_EQ(Caught<ESignInFailed>([&] { flow.Poll(); }).Message(), TDeviceCodeSignIn::kNoRefreshToken);
    EXPECT_FALSE(Cache().Load());
}

TEST_F(SignInTest, BackgroundSignInReportsThePromptThenTheAccount)
{
    standIn.Set({{"interval", 1}, {"sign_in_user", kOid}, {"poll_script", {"approve"}}});
    HANDLE prompted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        TBackgroundSignIn signIn(http, Settings(), Cache(), [&] { SetEvent(prompted); }, [&] { SetEvent(finished); });
        ASSERT_EQ(WaitForSingleObject(prompted, 10'000), WAIT_OBJECT_0);
        ASSERT_TRUE(signIn.Prompt());
        EXPECT_FALSE(signIn.Prompt()->UserCode.empty());
        ASSERT_EQ(WaitForSingleObject(finished, 10'000), WAIT_OBJECT_0);
        const auto outcome = signIn.Outcome();
        ASSERT_TRUE(outcome && outcome->Account);
        EXPECT_EQ(outcome->Account->Account, FromUtf8(kUpn));
    }
    EXPECT_TRUE(Cache().Load());
    CloseHandle(prompted);
    CloseHandle(finished);
}

TEST_F(SignInTest, BackgroundSignInCancelledWhilePending)
{
    standIn.Set({{"interval", 30}});
    HANDLE prompted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    TBackgroundSignIn signIn(http, Settings(), Cache(), [&] { SetEvent(prompted); }, [&] { SetEvent(finished); });
    ASSERT_EQ(WaitForSingleObject(prompted, 10'000), WAIT_OBJECT_0);
    signIn.Cancel();
    // Well within the 30 s interval: the wait itself is cancelled.
    ASSERT_EQ(WaitForSingleObject(finished, 5'000), WAIT_OBJECT_0);
    EXPECT_TRUE(signIn.Outcome()->Cancelled);
    EXPECT_FALSE(Cache().Load());
    CloseHandle(prompted);
    CloseHandle(finished);
}

class SignedInUserTest : public GraphFixture {};

TEST_F(SignedInUserTest, NobodySignedInWithTheseSettingsMeansNoRequest)
{
    EXPECT_EQ(Caught<ESignInRequired>([&] { TSignedInUser(http, Settings(), Cache()); }).Message(),
              TSignedInUser::kSignInFirst);
    SignIn();
    TMicrosoft365Settings otherApp = Settings();
    otherApp.ClientId = L"another-app";
    EXPECT_THROW(TSignedInUser(http, otherApp, Cache()), ESignInRequired);
    EXPECT_TRUE(standIn.Log().empty());
}

TEST_F(SignedInUserTest, RefreshesOnceAndKeepsTheNewRefreshToken)
{
    SignIn();
    const std::string firstRefresh = Cache().Load()->RefreshToken;
    TSignedInUser user(http, Settings(), Cache());
    EXPECT_EQ(user.Account(), FromUtf8(kUpn));
    EXPECT_TRUE(standIn.Log().empty());
    const std::string token = user.AccessToken();
    EXPECT_EQ(user.AccessToken(), token);
    EXPECT_EQ(user.Refreshes(), 1);
    const auto log = standIn.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0]["grant_type"], "refresh_token");
    EXPECT_NE(Cache().Load()->RefreshToken, firstRefresh);
}

TEST_F(SignedInUserTest, TokenNearItsEndIsRenewedFirst)
{
    SignIn();
    standIn.Set({{"access_lifetime", 60}});
    TSignedInUser user(http, Settings(), Cache());
    const std::string first = user.AccessToken();
    EXPECT_NE(user.AccessToken(), first);
    EXPECT_EQ(user.Refreshes(), 2);
}

TEST_F(SignedInUserTest, InvalidGrantRemovesTheCacheAndAsksForASignIn)
{
    SignIn();
    standIn.Post("tokens", {{"revoke_refresh", true}});
    TSignedInUser user(http, Settings(), Cache());
    EXPECT_EQ(Caught<ESignInRequired>([&] { user.AccessToken(); }).Message(), TSignedInUser::kSignInExpired);
    EXPECT_FALSE(Cache().Load());
    EXPECT_EQ(GetFileAttributesW(CachePath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SignedInUserTest, RejectedTokenIsRenewedOnceThenTheSignInIsAskedFor)
{
    SignIn();
    TSignedInUser user(http, Settings(), Cache());
    const std::string first = user.AccessToken();
    const std::string second = user.RenewAfterRejection(first);
    EXPECT_NE(second, first);
    // Another thread's rejection of the old token: the new one is handed out.
    EXPECT_EQ(user.RenewAfterRejection(first), second);
    EXPECT_EQ(Caught<ESignInRequired>([&] { user.RenewAfterRejection(second); }).Message(),
              TSignedInUser::kSignInRejected);
    EXPECT_EQ(user.Refreshes(), 2);
}

TEST_F(SignedInUserTest, ManyThreadsShareOneRefresh)
{
    SignIn();
    standIn.Set({{"latency_ms", 50}});
    TSignedInUser user(http, Settings(), Cache());
    std::vector<std::string> tokens(8);
    std::vector<std::thread> threads;
    for (std::string& token : tokens)
        threads.emplace_back([&] { token = user.AccessToken(); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(user.Refreshes(), 1);
    for (const std::string& token : tokens)
        EXPECT_EQ(token, tokens[0]);
}

}  // namespace
