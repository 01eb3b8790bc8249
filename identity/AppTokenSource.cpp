#include "identity/AppTokenSource.h"

#include "base/Platform.h"
#include "http/RetryAfter.h"
#include "http/Url.h"
#include "identity/ClientAssertion.h"
#include "identity/Identifiers.h"

#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace {

// Tries of one token request that meets a busy or unreachable platform.
constexpr int kTokenTries = 4;
constexpr DWORD kLongestRetryAfterMs = 60'000;
constexpr std::uint64_t kFreshTokenMs = 60'000;

void Wipe(std::string& text) noexcept
{
    if (!text.empty())
        SecureZeroMemory(text.data(), text.size());
    text.clear();
}

void Wipe(std::wstring& text) noexcept
{
    if (!text.empty())
        SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    text.clear();
}

// The client secret, read from its variable for this one request.
std::wstring ReadSecret(const std::wstring& variable)
{
    std::wstring secret;
    const DWORD needed = GetEnvironmentVariableW(variable.c_str(), nullptr, 0);
    if (needed > 1) {
        secret.resize(needed);
        const DWORD length = GetEnvironmentVariableW(variable.c_str(), secret.data(), needed);
        secret.resize(length < needed ? length : 0);
    }
    if (secret.empty())
        throw ECredentialError(L"The environment variable " + variable +
                               L" holds no client secret: put the secret's Value from the app registration in it.");
    return secret;
}

std::string FormField(std::string_view name, std::string_view value)
{
    return std::string(name) + '=' + PercentEncode(value);
}

// The error_description's first line: the lines after it are trace ids and
// a time stamp, of use to Microsoft's support alone.
std::wstring FirstLine(const std::string& text)
{
    return FromUtf8(text.substr(0, text.find_first_of("\r\n")));
}

std::wstring RefusalText(const TAppSignIn& signIn, const TAppCredential& credential, DWORD status,
                         const std::string& body)
{
    const auto answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object())
        return L"Sign-in as the application failed: the identity platform answered HTTP " + std::to_wstring(status) +
               L".";
    long long code = 0;
    if (answer.contains("error_codes") && answer["error_codes"].is_array() && !answer["error_codes"].empty() &&
        answer["error_codes"][0].is_number_integer())
        code = answer["error_codes"][0].get<long long>();
    const std::wstring description = FirstLine(answer.value("error_description", ""));
    switch (code) {
    case 7000215:
        return L"The client secret in " + credential.SecretVariable() +
               L" was refused (AADSTS7000215: invalid client secret). Put the secret's Value from the app "
               L"registration in it, not its Secret ID.";
    case 7000222:
        return L"The client secret in " + credential.SecretVariable() +
               L" has expired (AADSTS7000222). Make a new one in the app registration.";
    case 700027:
        return L"The certificate's signature was refused (AADSTS700027: client assertion failed signature "
               L"validation). Upload this certificate (its public part, a .cer file) to the app registration "
               L"under Certificates & secrets.";
    case 700024:
        return L"The sign-in assertion was not within its valid time (AADSTS700024). Check this computer's clock.";
    case 700016:
        return L"The tenant " + signIn.Tenant + L" has no application with client id " + signIn.ClientId +
               L" (AADSTS700016). Check --client-id and --tenant.";
    case 90002:
        return L"There is no tenant " + signIn.Tenant + L" (AADSTS90002). Check --tenant.";
    default:
        break;
    }
    std::wstring why = description.empty() ? FromUtf8(answer.value("error", "")) : description;
    if (why.empty())
        why = L"HTTP " + std::to_wstring(status);
    return L"Sign-in as the application failed: " + why;
}

bool IsTransient(DWORD status)
{
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

DWORD RetryDelayMs(const THttpResponse* response, int attempt)
{
    if (response) {
        if (const auto after = response->Header(L"Retry-After")) {
            if (const std::optional<DWORD> ms = RetryAfterMs(*after))
                return std::min<DWORD>(*ms, kLongestRetryAfterMs);
        }
    }
    return 1000u << attempt;
}

}  // namespace

EConsentMissing::EConsentMissing(std::wstring_view permission)
    : ECredentialError(L"The application permission " + std::wstring(permission) +
                       L" needs admin consent. In the app registration's API permissions, add it (Microsoft "
                       L"Graph, Application permissions), then grant admin consent for the organisation.")
{
}

TAppCredential TAppCredential::Certificate(std::shared_ptr<const TAppCertificate> certificate)
{
    TAppCredential credential;
    credential.certificate_ = std::move(certificate);
    return credential;
}

TAppCredential TAppCredential::SecretInVariable(std::wstring variable)
{
    TAppCredential credential;
    credential.secretVariable_ = std::move(variable);
    return credential;
}

void CheckAppSignIn(const TAppSignIn& signIn)
{
    const std::wstring& tenant = signIn.Tenant;
    const bool named = !tenant.empty() && tenant.size() <= 253 &&
                       std::all_of(tenant.begin(), tenant.end(), [](wchar_t c) {
                           return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                                  c == L'-' || c == L'.';
                       });
    // Personal Microsoft accounts all sign in through this one tenant, which
    // holds no organisation's mailboxes and grants no application permission.
    // https://learn.microsoft.com/entra/identity-platform/id-token-claims-reference
    if (SameTextIgnoringCase(tenant, L"consumers") ||
        SameTextIgnoringCase(tenant, L"9188040d-6c67-4c5b-b112-36a304b66dad"))
        throw ECredentialError(L"--tenant names the tenant of personal Microsoft accounts: an organisation's "
                               L"mailboxes are reached only through its own tenant, with a work or school account's "
                               L"app registration.");
    if (!named || SameTextIgnoringCase(tenant, L"common") || SameTextIgnoringCase(tenant, L"organizations"))
        throw ECredentialError(L"--tenant must name the organisation's tenant, by its id or a domain such as "
                               L"contoso.onmicrosoft.com: an application signs in to one tenant.");
    if (!IsGuidText(signIn.ClientId))
        throw ECredentialError(L"--client-id must be the app registration's Application (client) ID, a GUID.");
}

TAppTokenSource::TAppTokenSource(const THttpClient& http, TAppSignIn signIn, TAppCredential credential)
    : http_(http), signIn_(std::move(signIn)), credential_(std::move(credential))
{
    while (!signIn_.LoginBase.empty() && signIn_.LoginBase.back() == L'/')
        signIn_.LoginBase.pop_back();
    CheckAppSignIn(signIn_);
    ParseAllowedUrl(TokenEndpoint());
}

std::wstring TAppTokenSource::TokenEndpoint() const
{
    return signIn_.LoginBase + L"/" + signIn_.Tenant + L"/oauth2/v2.0/token";
}

std::uint64_t TAppTokenSource::TokensRequested() const
{
    const std::lock_guard lock(mutex_);
    return requested_;
}

std::string TAppTokenSource::AccessToken()
{
    // Held while asking: the threads that need a token meanwhile wait for
    // this one rather than each asking for its own.
    const std::lock_guard lock(mutex_);
    return CurrentOrNew();
}

std::string TAppTokenSource::RenewAfterRejection(const std::string& rejected)
{
    const std::lock_guard lock(mutex_);
    if (rejected == token_) {
        // A token fresh from the platform turned away at once: asking again
        // would loop for ever. One that served a while may be renewed again.
        if (fetchedAfterRejection_ != 0 && GetTickCount64() - fetchedAfterRejection_ < kFreshTokenMs)
            throw ECredentialError(L"Microsoft Graph turned away the application's access token, and a new one as "
                                   L"well (HTTP 401).");
        renewAt_ = 0;
        CurrentOrNew();
        fetchedAfterRejection_ = GetTickCount64();
    }
    return CurrentOrNew();
}

std::string TAppTokenSource::CurrentOrNew()
{
    if (!token_.empty() && GetTickCount64() < renewAt_)
        return token_;
    std::uint64_t lifetimeMs = 0;
    std::string token = RequestToken(lifetimeMs);
    // Renewed with a quarter of its life left, and never later than five
    // minutes before it ends: a request sent just before may take that long.
    const std::uint64_t margin = std::min<std::uint64_t>(lifetimeMs / 4, 300'000);
    Wipe(token_);
    token_ = std::move(token);
    fetchedAfterRejection_ = 0;
    renewAt_ = GetTickCount64() + lifetimeMs - margin;
    return token_;
}

std::string TAppTokenSource::RequestToken(std::uint64_t& lifetimeMs)
{
    const std::string clientId = ToUtf8(signIn_.ClientId);
    for (int attempt = 0;; ++attempt) {
        THttpRequest request;
        request.Method = L"POST";
        request.Url = TokenEndpoint();
        request.Headers = {{L"Content-Type", L"application/x-www-form-urlencoded"}};
        request.Body = FormField("grant_type", "client_credentials") + '&' + FormField("client_id", clientId) + '&' +
                       FormField("scope", signIn_.Scope) + '&';
        if (const TAppCertificate* certificate = credential_.CertificateOrNull()) {
            const std::string assertion = BuildClientAssertion(
                *certificate, {ToUtf8(TokenEndpoint()), clientId, UnixTimeNow(), NewAssertionId()});
            request.Body += FormField("client_assertion_type", "urn:ietf:params:oauth:client-assertion-type:jwt-bearer") +
                            '&' + FormField("client_assertion", assertion);
        } else {
            std::wstring secret = ReadSecret(credential_.SecretVariable());
            std::string utf8 = ToUtf8(secret);
            Wipe(secret);
            request.Body += FormField("client_secret", utf8);
            Wipe(utf8);
        }

        THttpResponse response;
        bool answered = false;
        try {
            ++requested_;
            response = http_.Send(request);
            answered = true;
        } catch (const EHttpError&) {
            Wipe(request.Body);
            if (attempt + 1 >= kTokenTries)
                throw;
        }
        Wipe(request.Body);
        if (answered && response.Status == 200) {
            const auto answer = nlohmann::json::parse(response.Body, nullptr, false);
            Wipe(response.Body);
            if (answer.is_discarded() || !answer.is_object() || !answer.contains("access_token") ||
                !answer["access_token"].is_string() || !answer.contains("expires_in"))
                throw EException(L"Sign-in as the application failed: the identity platform's answer holds no "
                                 L"token.");
            // expires_in is a number of seconds, which some services send as text.
            const auto& expires = answer["expires_in"];
            long long seconds = expires.is_number() ? expires.get<long long>()
                                : expires.is_string() ? std::atoll(expires.get<std::string>().c_str())
                                                      : 0;
            lifetimeMs = static_cast<std::uint64_t>(std::max(seconds, 1LL)) * 1000;
            return answer["access_token"].get<std::string>();
        }
        if (answered && !IsTransient(response.Status))
            throw ECredentialError(RefusalText(signIn_, credential_, response.Status, response.Body));
        if (attempt + 1 >= kTokenTries)
            throw EException(L"Sign-in as the application failed: the identity platform stayed busy (HTTP " +
                             std::to_wstring(response.Status) + L").");
        const DWORD ms = RetryDelayMs(answered ? &response : nullptr, attempt);
        if (waiter_)
            waiter_(ms);
        else
            Sleep(ms);
    }
}
