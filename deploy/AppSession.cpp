#include "deploy/AppSession.h"

#include "base/CodePage.h"
#include "base/Platform.h"
#include "identity/AppCertificate.h"
#include "identity/Clouds.h"
#include "identity/SignInErrors.h"
#include "identity/Microsoft365Settings.h"

#include <windows.h>

#include <memory>

namespace {

// A variable's name, never its value: a secret given by mistake where its
// variable's name belongs would otherwise be echoed in the error.
bool IsVariableName(std::wstring_view name)
{
    if (name.empty() || name.size() > 128 || (name.front() >= L'0' && name.front() <= L'9'))
        return false;
    for (const wchar_t c : name) {
        if (!((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_'))
            return false;
    }
    return true;
}

TAppCredential Credential(const TAppSessionOptions& options)
{
    if (options.Certificate) {
        return TAppCredential::Certificate(
            std::make_shared<const TAppCertificate>(TAppCertificate::FromPfxFile(*options.Certificate)));
    }
    const std::wstring& variable = options.SecretVariable.value_or(L"");
    if (!IsVariableName(variable))
        throw ECredentialError(L"--client-secret-env takes the name of an environment variable (letters, digits and _) "
                               L"that holds the client secret, never the secret itself.");
    if (GetEnvironmentVariableW(variable.c_str(), nullptr, 0) <= 1)
        throw ECredentialError(L"The environment variable " + variable +
                               L" holds no client secret: put the secret's Value from the app registration in it.");
    return TAppCredential::SecretInVariable(variable);
}

// A cloud the organisation cannot be reached in is bad input, as a missing
// credential is: exit code 2, nothing sent.
ECloud CloudOf(const TAppSessionOptions& options)
{
    try {
        return ParseCloud(options.Cloud);
    } catch (const ESettingsError& e) {
        throw ECredentialError(e.Message());
    }
}

TAppSignIn SignInOf(const TAppSessionOptions& options)
{
    const ECloud cloud = CloudOf(options);
    TAppSignIn signIn{CloudLoginUrl(cloud), options.Tenant, options.ClientId};
    // An application asks for what it was granted, named with its cloud's Graph host.
    signIn.Scope = ToUtf8(std::wstring(CloudInfo(cloud).GraphUrl)) + "/.default";
    return signIn;
}

}  // namespace

TAppSession::TAppSession(const TAppSessionOptions& options)
    : tokens_(http_, SignInOf(options), Credential(options)),
      graphUrl_(CloudGraphUrl(CloudOf(options)))
{
}

void TAppSession::SignIn()
{
    tokens_.AccessToken();
}
