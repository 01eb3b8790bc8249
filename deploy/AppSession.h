#pragma once
// A deployment's connection to Microsoft 365: signed in as the application
// with the credential it was given (a certificate, or the name of a variable
// that holds a client secret), at its cloud's hosts; where the registry or the
// environment configure other addresses (a stand-in's), at those, with the
// cloud's hosts as the first part of the path for any cloud but the global one.

#include "http/HttpClient.h"
#include "http/Url.h"
#include "identity/AppTokenSource.h"
#include "identity/CredentialError.h"

#include <optional>
#include <string>

struct TAppSessionOptions {
    std::wstring Tenant;
    std::wstring ClientId;
    std::optional<std::wstring> Certificate;     // a PFX file
    std::optional<std::wstring> SecretVariable;  // else: the variable's name
    std::wstring Cloud = L"global";              // a name of identity/Clouds.h
};

class TAppSession {
public:
    // Raises ECredentialError for a credential that cannot be used, and
    // EUrlRefused for an address that is not to be trusted; nothing is sent.
    explicit TAppSession(const TAppSessionOptions& options);

    // Before the first mailbox, so that refused credentials end the run with
    // nothing changed. Raises ECredentialError.
    void SignIn();

    const THttpClient& Http() const { return http_; }
    TAppTokenSource& Tokens() { return tokens_; }
    const std::wstring& GraphUrl() const { return graphUrl_; }

private:
    THttpClient http_;
    TAppTokenSource tokens_;
    std::wstring graphUrl_;
};
