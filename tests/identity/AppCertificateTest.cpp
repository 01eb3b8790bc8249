// The certificate way of signing in: reading the PFX, and the client
// assertion checked the way the identity platform checks it (signature
// against the certificate's public key, thumbprint, claims).
#include "identity/AppCertificate.h"
#include "identity/Base64Url.h"
#include "identity/ClientAssertion.h"
#include "identity/CredentialError.h"
#include "identity/TestCertificates.h"
#include "support/Caught.h"

#include "base/Errors.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <regex>
#include <vector>

namespace {

struct TJwtParts {
    nlohmann::json Header;
    nlohmann::json Payload;
    std::string SigningInput;
    std::string Signature;
};

TJwtParts SplitJwt(const std::string& jwt)
{
    const size_t first = jwt.find('.');
    const size_t second = jwt.find('.', first + 1);
    EXPECT_NE(second, std::string::npos);
    EXPECT_EQ(jwt.find('.', second + 1), std::string::npos);
    TJwtParts parts;
    parts.Header = nlohmann::json::parse(Base64UrlDecode(jwt.substr(0, first)).value());
    parts.Payload = nlohmann::json::parse(Base64UrlDecode(jwt.substr(first + 1, second - first - 1)).value());
    parts.SigningInput = jwt.substr(0, second);
    parts.Signature = Base64UrlDecode(jwt.substr(second + 1)).value();
    return parts;
}

// Verifies an RS256 signature with the certificate's public key alone, as a
// relying party does: nothing of the private key's container is used.
bool VerifiesWithCertificate(const std::string& der, const std::string& signingInput, std::string signature)
{
    PCCERT_CONTEXT cert = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
    if (!cert)
        return false;
    HCRYPTPROV provider = 0;
    bool verified = false;
    if (CryptAcquireContextW(&provider, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        HCRYPTKEY key = 0;
        if (CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo, &key)) {
            HCRYPTHASH hash = 0;
            if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
                CryptHashData(hash, reinterpret_cast<const BYTE*>(signingInput.data()),
                              static_cast<DWORD>(signingInput.size()), 0);
                std::reverse(signature.begin(), signature.end());
                verified = CryptVerifySignatureW(hash, reinterpret_cast<const BYTE*>(signature.data()),
                                                 static_cast<DWORD>(signature.size()), key, nullptr, 0) != FALSE;
                CryptDestroyHash(hash);
            }
            CryptDestroyKey(key);
        }
        CryptReleaseContext(provider, 0);
    }
    CertFreeCertificateContext(cert);
    return verified;
}

std::vector<std::wstring> KeyContainers()
{
    std::vector<std::wstring> names;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return names;
    char name[1024];
    DWORD flags = CRYPT_FIRST;
    for (;;) {
        DWORD size = sizeof name;
        if (!CryptGetProvParam(provider, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags))
            break;
        names.push_back(FromUtf8(name));
        flags = CRYPT_NEXT;
    }
    CryptReleaseContext(provider, 0);
    return names;
}

TAppCertificate LoadApp()
{
    const std::wstring password = TestPfxPassword();
    TPfxPasswordScope scope(&password);
    return TAppCertificate::FromPfxFile(TestCertificatePath(L"app.pfx"));
}

}  // namespace

TEST(ClientAssertion, CarriesTheHeaderAndClaimsThePlatformChecks)
{
    const TAppCertificate certificate = LoadApp();
    const std::string audience = "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/token";
    const std::string jti = NewAssertionId();
    const std::string jwt = BuildClientAssertion(certificate, {audience, "11111111-2222-3333-4444-555555555555",
                                                               1'800'000'000, jti});
    const TJwtParts parts = SplitJwt(jwt);

    EXPECT_EQ(parts.Header.at("alg"), "RS256");
    EXPECT_EQ(parts.Header.at("typ"), "JWT");
    // OpenSSL's own thumbprint of the certificate, worked out by the wrapper.
    EXPECT_EQ(parts.Header.at("x5t#S256"), ReadTestFile(TestCertificatePath(L"app.x5t256")));

    EXPECT_EQ(parts.Payload.at("aud"), audience);
    EXPECT_EQ(parts.Payload.at("iss"), "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(parts.Payload.at("sub"), "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(parts.Payload.at("jti"), jti);
    EXPECT_EQ(parts.Payload.at("nbf"), 1'800'000'000);
    EXPECT_EQ(parts.Payload.at("iat"), 1'800'000'000);
    EXPECT_EQ(parts.Payload.at("exp"), 1'800'000'000 + kAssertionLifetimeSeconds);
    EXPECT_LE(kAssertionLifetimeSeconds, 600) << "the page asks for 5-10 minutes at most";

    EXPECT_EQ(parts.Signature.size(), 256u);
    EXPECT_TRUE(VerifiesWithCertificate(certificate.Der(), parts.SigningInput, parts.Signature));
    std::string tampered = parts.SigningInput;
    tampered.back() ^= 1;
    EXPECT_FALSE(VerifiesWithCertificate(certificate.Der(), tampered, parts.Signature));
}

TEST(ClientAssertion, EachAssertionHasAFreshIdAndTheTimeNow)
{
    const std::regex guid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    const std::string a = NewAssertionId();
    const std::string b = NewAssertionId();
    EXPECT_TRUE(std::regex_match(a, guid)) << a;
    EXPECT_NE(a, b);
    // 2024-01-01 and 2100-01-01: a clock read wrongly by a unit or an epoch fails.
    EXPECT_GT(UnixTimeNow(), 1'704'067'200);
    EXPECT_LT(UnixTimeNow(), 4'102'444'800);
}

TEST(Base64Url, RoundTripsEveryTailLengthWithoutPadding)
{
    for (const std::string& bytes : {std::string(), std::string("\xfb"), std::string("\xfb\xff"),
                                    std::string("\xfb\xff\xbf"), std::string("any carnal pleas")}) {
        const std::string text = Base64UrlEncode(bytes);
        EXPECT_EQ(text.find_first_of("+/="), std::string::npos) << text;
        EXPECT_EQ(Base64UrlDecode(text), bytes);
    }
    EXPECT_EQ(Base64UrlEncode("\xfb\xff\xbf"), "-_-_");
    EXPECT_EQ(Base64UrlDecode("a"), std::nullopt);
    EXPECT_EQ(Base64UrlDecode("ab+c"), std::nullopt);
}

struct TPfxCase {
    const wchar_t* File;
    enum { Right, Wrong, Empty, Unset } Password;
    const wchar_t* Expected;  // what the message holds; nullptr: it loads
};

TEST(AppCertificate, ReadsThePfxOrSaysWhatIsWrong)
{
    const TPfxCase cases[] = {
        {L"app.pfx", TPfxCase::Right, nullptr},
        {L"nopass.pfx", TPfxCase::Unset, nullptr},
        {L"nopass.pfx", TPfxCase::Empty, nullptr},
        {L"app.pfx", TPfxCase::Wrong, L"The password for "},
        {L"app.pfx", TPfxCase::Unset, L" needs a password: set the environment variable PELLORIN_PFX_PASSWORD"},
        {L"certonly.pfx", TPfxCase::Unset, L" holds no certificate with its private key"},
        {L"notpfx.pfx", TPfxCase::Unset, L" is not a PFX (PKCS #12) file."},
        {L"missing.pfx", TPfxCase::Unset, L"Cannot read the certificate "},
    };
    for (const TPfxCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.File));
        const std::wstring right = TestPfxPassword();
        const std::wstring wrong = right + L"x";
        const std::wstring empty;
        TPfxPasswordScope scope(c.Password == TPfxCase::Right   ? &right
                                : c.Password == TPfxCase::Wrong ? &wrong
                                : c.Password == TPfxCase::Empty ? &empty
                                                                : nullptr);
        const std::wstring path = TestCertificatePath(c.File);
        if (!c.Expected) {
            const TAppCertificate certificate = TAppCertificate::FromPfxFile(path);
            EXPECT_EQ(certificate.Sha256Thumbprint(), ReadTestFile(TestCertificatePath(L"app.x5t256")));
            continue;
        }
        const auto e = Caught<ECredentialError>([&] { TAppCertificate::FromPfxFile(path); });
        // Wine cannot import a PFX without a key at all, so it never sees
        // that there is no key.
        const bool wineKeyless = std::wstring_view(c.File) == L"certonly.pfx" &&
                                 e.Message().find(L" needs a password") != std::wstring::npos;
        EXPECT_TRUE(e.Message().find(c.Expected) != std::wstring::npos || wineKeyless) << e.what();
        EXPECT_NE(e.Message().find(path), std::wstring::npos) << e.what();
        // The password never travels in a message.
        EXPECT_EQ(e.Message().find(right), std::wstring::npos);
    }
}

TEST(AppCertificate, WipesThePasswordItWasGiven)
{
    std::wstring password = TestPfxPassword();
    const std::string pfx = ReadTestFile(TestCertificatePath(L"app.pfx"));
    const TAppCertificate certificate = TAppCertificate::FromPfx(pfx, password, true, L"app.pfx");
    EXPECT_TRUE(password.empty());
    std::wstring wrong = L"not it";
    EXPECT_THROW(TAppCertificate::FromPfx(pfx, wrong, true, L"app.pfx"), ECredentialError);
    EXPECT_TRUE(wrong.empty());
}

TEST(AppCertificate, LeavesNoKeyContainerBehind)
{
    const std::vector<std::wstring> before = KeyContainers();
    {
        const TAppCertificate certificate = LoadApp();
        EXPECT_GT(KeyContainers().size(), before.size()) << "the import keeps the key in a container";
        certificate.SignRs256("x");
    }
    EXPECT_EQ(KeyContainers(), before);
}
