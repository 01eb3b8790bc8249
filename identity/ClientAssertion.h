#pragma once
// The client assertion of the certificate way of the client-credentials
// grant: a JWT signed RS256 with the app's certificate, as Microsoft's
// "certificate credentials" page describes it:
// https://learn.microsoft.com/entra/identity-platform/certificate-credentials

#include "identity/AppCertificate.h"

#include <cstdint>
#include <string>

// Long enough for one token request, short as the page asks ("5-10 minutes
// after nbf at most").
inline constexpr std::int64_t kAssertionLifetimeSeconds = 300;

struct TAssertionClaims {
    std::string Audience;  // the token endpoint the assertion is sent to
    std::string ClientId;  // the app registration's client id: "iss" and "sub"
    std::int64_t Now = 0;  // seconds since 1970, UTC: "nbf" and "iat"
    std::string Id;        // "jti", fresh for every assertion
};

std::string BuildClientAssertion(const TAppCertificate& certificate, const TAssertionClaims& claims);

// A fresh GUID in lower case without braces, for "jti".
std::string NewAssertionId();
std::int64_t UnixTimeNow();
