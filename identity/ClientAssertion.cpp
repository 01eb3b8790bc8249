#include "identity/ClientAssertion.h"

#include "base/Errors.h"
#include "identity/Base64Url.h"

#include <nlohmann/json.hpp>

#include <windows.h>
#include <objbase.h>

#include <cstdio>

std::string BuildClientAssertion(const TAppCertificate& certificate, const TAssertionClaims& claims)
{
    const nlohmann::json header = {
        {"alg", "RS256"},
        {"typ", "JWT"},
        {"x5t#S256", certificate.Sha256Thumbprint()},
    };
    const nlohmann::json payload = {
        {"aud", claims.Audience},
        {"iss", claims.ClientId},
        {"sub", claims.ClientId},
        {"jti", claims.Id},
        {"nbf", claims.Now},
        {"iat", claims.Now},
        {"exp", claims.Now + kAssertionLifetimeSeconds},
    };
    std::string signingInput = Base64UrlEncode(header.dump()) + '.' + Base64UrlEncode(payload.dump());
    const std::string signature = certificate.SignRs256(signingInput);
    return signingInput + '.' + Base64UrlEncode(signature);
}

std::string NewAssertionId()
{
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid)))
        throw EException(L"No new GUID could be made for the sign-in assertion.");
    char text[40];
    std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::int64_t UnixTimeNow()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // FILETIME counts 100 ns from 1601.
    return ticks / 10'000'000 - 11'644'473'600LL;
}
