#include "deploy/AppSession.h"

#include "base/CodePage.h"
#include "base/Platform.h"
#include "identity/AppCertificate.h"
#include "identity/Clouds.h"
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

const TCloud& CloudOf(const TAppSessionOptions& options)
{
    const TCloud* cloud = FindCloud(options.Cloud);
    if (!cloud)
        throw ECredentialError(SameTextIgnoringCase(options.Cloud, kChinaCloud)
                                   ? std::wstring(kChinaRefusal)
                                   : L"--cloud takes global, usgov or usgovdod, not " + options.Cloud + L".");
    return *cloud;
}

// The configured address, or the cloud's host; a configured address other
// than the global default serves every cloud's hosts under their names.
std::wstring BaseFor(const TCloud& cloud, const std::wstring& configured, const wchar_t* globalDefault,
                     const wchar_t* host)
{
    if (&cloud == &kClouds[0])
        return configured;
    if (configured == globalDefault)
        return L"https://" + std::wstring(host);
    std::wstring base = configured;
    while (!base.empty() && base.back() == L'/')
        base.pop_back();
    return base + L"/" + host;
}

TAppSignIn SignInOf(const TAppSessionOptions& options)
{
    const TCloud& cloud = CloudOf(options);
    TAppSignIn signIn{BaseFor(cloud, Microsoft365LoginUrl(), kDefaultLoginUrl, cloud.LoginHost), options.Tenant,
                      options.ClientId};
    signIn.Scope = "https://" + ToUtf8(cloud.GraphHost) + "/.default";
    return signIn;
}

}  // namespace

TAppSession::TAppSession(const TAppSessionOptions& options)
    : tokens_(http_, SignInOf(options), Credential(options)),
      graphUrl_(BaseFor(CloudOf(options), Microsoft365GraphUrl(), kDefaultGraphUrl, CloudOf(options).GraphHost))
{
}

void TAppSession::SignIn()
{
    tokens_.AccessToken();
}
