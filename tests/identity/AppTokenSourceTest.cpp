// Signing in as the application against the identity platform's stand-in:
// both ways of proving the app, what the stand-in checks in an assertion,
// each refusal's text, and a token renewed before it expires.
#include "graph/GraphStandIn.h"
#include "identity/AppTokenSource.h"
#include "identity/Base64Url.h"
#include "identity/ClientAssertion.h"
#include "identity/TestCertificates.h"
#include "support/Caught.h"

#include "base/Errors.h"
#include "http/Url.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

namespace {

constexpr char kClientId[] = "0b7c8a2e-4d1f-4b6a-9c3e-2f5d6e7a8b9c";
constexpr char kTenant[] = "contoso.onmicrosoft.com";
constexpr wchar_t kSecretVariable[] = L"PELLORIN_TEST_CLIENT_SECRET";

class AppSignInTest : public testing::Test {
protected:
    void SetUp() override
    {
        standIn.Reset();
        Register(nlohmann::json::object());
    }
    void TearDown() override { SetEnvironmentVariableW(kSecretVariable, nullptr); }

    // Without "secret": false in extra, the app's secret is the one the
    // stand-in makes for it; with it, the variable keeps one that is not the app's.
    void Register(nlohmann::json extra)
    {
        nlohmann::json app = {{"client_id", kClientId},
                              {"tenant", kTenant},
                              {"certificate_pem", ReadTestFile(TestCertificatePath(L"app.pem"))}};
        app.update(extra);
        if (const std::string made = standIn.RegisterApp(app, kSecretVariable); !made.empty())
            secret = made;
    }

    TAppSignIn SignIn(std::wstring tenant = FromUtf8(kTenant)) const
    {
        return {standIn.Url(), std::move(tenant), FromUtf8(kClientId)};
    }

    static std::shared_ptr<const TAppCertificate> Certificate(const wchar_t* file = L"app.pfx")
    {
        const std::wstring password = TestPfxPassword();
        TPfxPasswordScope scope(file == std::wstring_view(L"app.pfx") ? &password : nullptr);
        return std::make_shared<const TAppCertificate>(TAppCertificate::FromPfxFile(TestCertificatePath(file)));
    }

    std::vector<nlohmann::json> TokenRequests() const
    {
        std::vector<nlohmann::json> requests;
        for (const nlohmann::json& entry : standIn.Log()) {
            if (entry["path"].get<std::string>().find("/oauth2/v2.0/token") != std::string::npos)
                requests.push_back(entry);
        }
        return requests;
    }

    // What Graph answers to a call made with the token.
    DWORD GraphStatus(const std::string& token) const
    {
        return http
            .Send({L"GET", standIn.Url() + L"/v1.0/users?$select=id", {{L"Authorization", L"Bearer " + FromUtf8(token)}}, {}})
            .Status;
    }

    // An assertion posted as the client would, made here so that a test can
    // spoil one part of it.
    THttpResponse PostAssertion(const std::string& assertion) const
    {
        const std::string body = "grant_type=client_credentials&client_id=" + std::string(kClientId) +
                                 "&scope=" + PercentEncode(kGraphDefaultScope) +
                                 "&client_assertion_type=" +
                                 PercentEncode("urn:ietf:params:oauth:client-assertion-type:jwt-bearer") +
                                 "&client_assertion=" + PercentEncode(assertion);
        return http.Send({L"POST", Endpoint(), {{L"Content-Type", L"application/x-www-form-urlencoded"}}, body});
    }

    std::wstring Endpoint() const { return standIn.Url() + L"/" + FromUtf8(kTenant) + L"/oauth2/v2.0/token"; }

    TGraphStandIn standIn;
    std::string secret;  // the app's, as the stand-in made it
    THttpClient http;
};

std::string ErrorDescription(const THttpResponse& response)
{
    return nlohmann::json::parse(response.Body).value("error_description", "");
}

}  // namespace

TEST_F(AppSignInTest, TheCertificateWayGetsATokenGraphAccepts)
{
    TAppTokenSource tokens(http, SignIn(), TAppCredential::Certificate(Certificate()));
    const std::string token = tokens.AccessToken();
    EXPECT_EQ(GraphStatus(token), 200u);
    EXPECT_EQ(tokens.AccessToken(), token) << "held, not asked for again";
    const auto requests = TokenRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["grant_type"], "client_credentials");
    EXPECT_EQ(requests[0]["credential"], "assertion");
    EXPECT_EQ(requests[0]["scope"], "https://graph.microsoft.com/.default");
    EXPECT_EQ(requests[0]["tenant"], kTenant);
}

TEST_F(AppSignInTest, TheSecretWayGetsATokenGraphAccepts)
{
    TAppTokenSource tokens(http, SignIn(), TAppCredential::SecretInVariable(kSecretVariable));
    EXPECT_EQ(GraphStatus(tokens.AccessToken()), 200u);
    const auto requests = TokenRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["credential"], "secret");
}

TEST_F(AppSignInTest, TheStandInChecksEveryPartOfTheAssertion)
{
    const std::string endpoint = ToUtf8(Endpoint());
    // Made first and on its own: Wine imports every PFX into one key
    // container, so two certificates held at once share (and delete) it.
    const std::string otherCertificate =
        BuildClientAssertion(*Certificate(L"other.pfx"), {endpoint, kClientId, UnixTimeNow(), NewAssertionId()});
    const auto certificate = Certificate();
    const auto assertion = [&](std::string audience, std::int64_t now) {
        return BuildClientAssertion(*certificate, {std::move(audience), kClientId, now, NewAssertionId()});
    };
    const std::string good = assertion(endpoint, UnixTimeNow());
    EXPECT_EQ(PostAssertion(good).Status, 200u);

    std::string badSignature = good;
    char& spoiled = badSignature[badSignature.rfind('.') + 5];
    spoiled = spoiled == 'A' ? 'B' : 'A';
    // The header names the registered certificate, the stranger signs.
    std::string wrongKey = good.substr(0, good.find('.')) + otherCertificate.substr(otherCertificate.find('.'));
    const struct {
        const char* Name;
        std::string Assertion;
        const char* Expected;
    } cases[] = {
        {"signature altered", badSignature, "AADSTS700027:"},
        {"certificate not registered", otherCertificate, "AADSTS700027:"},
        {"signed by another key", wrongKey, "AADSTS700027:"},
        {"another audience", assertion("https://login.microsoftonline.com/" + std::string(kTenant) +
                                           "/oauth2/v2.0/token", UnixTimeNow()),
         "AADSTS50027:"},
        {"expired", assertion(endpoint, UnixTimeNow() - 3600), "AADSTS700024:"},
        {"not valid yet", assertion(endpoint, UnixTimeNow() + 3600), "AADSTS700024:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const THttpResponse response = PostAssertion(c.Assertion);
        EXPECT_EQ(response.Status, 401u);
        EXPECT_EQ(ErrorDescription(response).rfind(c.Expected, 0), 0u) << ErrorDescription(response);
    }
}

TEST_F(AppSignInTest, EachRefusalNamesItsCauseAndNoSecret)
{
    const struct {
        const char* Name;
        nlohmann::json Registration;
        const wchar_t* Pfx;  // nullptr: the secret way
        std::wstring Tenant;
        const wchar_t* Expected;
    } cases[] = {
        {"wrong secret", {{"secret", false}}, nullptr, FromUtf8(kTenant),
         L"was refused (AADSTS7000215: invalid client secret). Put the secret's Value"},
        {"expired secret", {{"secret_expired", true}}, nullptr, FromUtf8(kTenant), L"has expired (AADSTS7000222)"},
        {"unregistered certificate", nlohmann::json::object(), L"other.pfx", FromUtf8(kTenant),
         L"The certificate's signature was refused (AADSTS700027"},
        {"unknown app", {{"client_id", "99999999-9999-4999-8999-999999999999"}}, nullptr, FromUtf8(kTenant),
         L"(AADSTS700016). Check --client-id and --tenant."},
        {"another tenant", nlohmann::json::object(), nullptr, L"fabrikam.onmicrosoft.com", L"There is no tenant fabrikam.onmicrosoft.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        standIn.Reset();
        Register(c.Registration);
        TAppTokenSource tokens(http, SignIn(c.Tenant),
                               c.Pfx ? TAppCredential::Certificate(Certificate(c.Pfx))
                                     : TAppCredential::SecretInVariable(kSecretVariable));
        const auto e = Caught<ECredentialError>([&] { tokens.AccessToken(); });
        EXPECT_NE(e.Message().find(c.Expected), std::wstring::npos) << e.what();
        EXPECT_EQ(e.Message().find(FromUtf8(secret)), std::wstring::npos);
        EXPECT_EQ(TokenRequests().size(), 1u) << "a refusal is not tried again";
    }
}

TEST_F(AppSignInTest, RefusesBadInputBeforeAnyRequest)
{
    const struct {
        std::wstring Tenant;
        std::wstring ClientId;
        const wchar_t* Expected;
    } cases[] = {
        {L"common", FromUtf8(kClientId), L"--tenant must name the organisation's tenant"},
        {L"Organizations", FromUtf8(kClientId), L"--tenant must name the organisation's tenant"},
        {L"contoso.com/../x?", FromUtf8(kClientId), L"--tenant must name the organisation's tenant"},
        {L"", FromUtf8(kClientId), L"--tenant must name the organisation's tenant"},
        {FromUtf8(kTenant), L"my-app", L"--client-id must be the app registration's Application (client) ID"},
    };
    for (const auto& c : cases) {
        const auto e = Caught<ECredentialError>([&] {
            TAppTokenSource(http, {standIn.Url(), c.Tenant, c.ClientId}, TAppCredential::SecretInVariable(kSecretVariable));
        });
        EXPECT_NE(e.Message().find(c.Expected), std::wstring::npos) << e.what();
    }
    SetEnvironmentVariableW(kSecretVariable, nullptr);
    TAppTokenSource tokens(http, SignIn(), TAppCredential::SecretInVariable(kSecretVariable));
    const auto e = Caught<ECredentialError>([&] { tokens.AccessToken(); });
    EXPECT_NE(e.Message().find(L"The environment variable PELLORIN_TEST_CLIENT_SECRET holds no client secret"),
              std::wstring::npos)
        << e.what();
    EXPECT_TRUE(TokenRequests().empty());
}

TEST_F(AppSignInTest, RenewsTheTokenBeforeItExpiresAndAfterGraphRefusedIt)
{
    standIn.Set({{"access_lifetime", 2}});
    TAppTokenSource tokens(http, SignIn(), TAppCredential::Certificate(Certificate()));
    const std::string first = tokens.AccessToken();
    // With a quarter of its 2 s left, it is renewed: 1.6 s on.
    Sleep(1600);
    const std::string second = tokens.AccessToken();
    EXPECT_NE(second, first);
    EXPECT_EQ(GraphStatus(second), 200u);
    EXPECT_EQ(tokens.RenewAfterRejection(first), second) << "another thread renewed it already";
    const std::string third = tokens.RenewAfterRejection(second);
    EXPECT_NE(third, second);
    EXPECT_EQ(tokens.AccessToken(), third);
    EXPECT_EQ(tokens.TokensRequested(), 3u);
}

TEST_F(AppSignInTest, ABusyPlatformIsAskedAgain)
{
    standIn.Fail({{"status", 503}, {"retry_after", 0.2}, {"path", "/oauth2/v2.0/token"}, {"count", 2}});
    TAppTokenSource tokens(http, SignIn(), TAppCredential::SecretInVariable(kSecretVariable));
    EXPECT_EQ(GraphStatus(tokens.AccessToken()), 200u);
    EXPECT_EQ(TokenRequests().size(), 3u);
}

TEST_F(AppSignInTest, ABusyPlatformIsWaitedOutAsRetryAfterSaysInSeconds)
{
    struct TCase {
        nlohmann::json RetryAfter;
        std::vector<DWORD> Waits;
    };
    const TCase cases[] = {
        {0.2, {200, 200}},
        {"3", {3000, 3000}},
        // Past a minute, the sign-in gives up sooner rather than hang the run.
        {"600", {60000, 60000}},
        // Without one (or with one that is no number), the back-off doubles.
        {nullptr, {1000, 2000}},
        {"soon", {1000, 2000}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.RetryAfter.dump());
        standIn.Reset();
        Register(nlohmann::json::object());
        nlohmann::json rule = {{"status", 429}, {"path", "/oauth2/v2.0/token"}, {"count", 2}};
        if (!c.RetryAfter.is_null())
            rule["retry_after"] = c.RetryAfter;
        standIn.Fail(rule);
        TAppTokenSource tokens(http, SignIn(), TAppCredential::SecretInVariable(kSecretVariable));
        std::vector<DWORD> waits;
        tokens.WaitWith([&](DWORD ms) { waits.push_back(ms); });
        EXPECT_FALSE(tokens.AccessToken().empty());
        EXPECT_EQ(waits, c.Waits);
        EXPECT_EQ(TokenRequests().size(), 3u);
    }
}
