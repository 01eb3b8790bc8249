#include "identity/AppCertificate.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/Sha256.h"
#include "base/SystemErrorText.h"
#include "identity/Base64Url.h"
#include "identity/CredentialError.h"

#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

// Where the import put one private key, and how to open it again.
struct TKeyContainer {
    std::wstring Container;
    std::wstring Provider;
    DWORD ProviderType = 0;  // 0: a CNG key storage provider
    DWORD Flags = 0;
    DWORD KeyUse = 0;
};

std::optional<TKeyContainer> KeyContainerOf(PCCERT_CONTEXT cert)
{
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
        return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
        return std::nullopt;
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
    TKeyContainer key;
    key.Container = info->pwszContainerName ? info->pwszContainerName : L"";
    key.Provider = info->pwszProvName ? info->pwszProvName : L"";
    key.ProviderType = info->dwProvType;
    key.Flags = info->dwFlags;
    key.KeyUse = info->dwKeySpec;
    return key;
}

void DeleteKeyContainer(const TKeyContainer& key) noexcept
{
    if (key.ProviderType != 0) {
        HCRYPTPROV unused = 0;
        CryptAcquireContextW(&unused, key.Container.c_str(), key.Provider.empty() ? nullptr : key.Provider.c_str(),
                             key.ProviderType, CRYPT_DELETEKEYSET | CRYPT_SILENT | (key.Flags & CRYPT_MACHINE_KEYSET));
        return;
    }
    UniqueNcryptHandle provider;
    if (NCryptOpenStorageProvider(provider.put(), key.Provider.c_str(), 0) != ERROR_SUCCESS)
        return;
    UniqueNcryptHandle handle;
    const DWORD flags = NCRYPT_SILENT_FLAG | ((key.Flags & CRYPT_MACHINE_KEYSET) ? NCRYPT_MACHINE_KEY_FLAG : 0);
    if (NCryptOpenKey(provider.get(), handle.put(), key.Container.c_str(), 0, flags) == ERROR_SUCCESS &&
        NCryptDeleteKey(handle.get(), 0) == ERROR_SUCCESS)
        handle.release();  // deleting freed it
}

std::wstring DateText(const FILETIME& time)
{
    SYSTEMTIME utc{};
    FileTimeToSystemTime(&time, &utc);
    wchar_t text[16];
    swprintf(text, std::size(text), L"%04u-%02u-%02u", utc.wYear, utc.wMonth, utc.wDay);
    return text;
}

// Wipes a secret's characters, so that no copy outlives its use.
void Wipe(std::wstring& text) noexcept
{
    if (!text.empty())
        SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    text.clear();
}

[[noreturn]] void RaiseSigningFailure(DWORD code)
{
    throw ECredentialError(L"The certificate's private key could not sign the sign-in request: " +
                           SystemErrorText(code));
}

}  // namespace

struct TAppCertificate::TImpl {
    // Declared first: the store outlives the certificate taken from it.
    UniqueCertStore Store;
    UniqueCertContext Cert;
    std::string Der;
    TKeyContainer Key;
    std::vector<TKeyContainer> Imported;

    TImpl() = default;
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;
    ~TImpl()
    {
        for (const TKeyContainer& key : Imported)
            DeleteKeyContainer(key);
    }

    std::string SignWithCryptoApi(std::string_view data) const
    {
        // The provider the import names may be the base RSA one, which has no
        // SHA-256 (Wine's, and older Windows PFXs): the AES provider opens
        // the same container and has it.
        UniqueCryptProvider provider;
        UniqueCryptHash hash;
        if (!CryptAcquireContextW(provider.put(), Key.Container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                  CRYPT_SILENT | (Key.Flags & CRYPT_MACHINE_KEYSET)) ||
            !CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put()) ||
            !CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()),
                           0))
            RaiseSigningFailure(GetLastError());
        const DWORD keyUse = Key.KeyUse == AT_SIGNATURE ? AT_SIGNATURE : AT_KEYEXCHANGE;
        DWORD size = 0;
        if (!CryptSignHashW(hash.get(), keyUse, nullptr, 0, nullptr, &size))
            RaiseSigningFailure(GetLastError());
        std::string signature(size, '\0');
        if (!CryptSignHashW(hash.get(), keyUse, nullptr, 0, reinterpret_cast<BYTE*>(signature.data()), &size))
            RaiseSigningFailure(GetLastError());
        signature.resize(size);
        // CryptoAPI gives the least significant byte first.
        std::reverse(signature.begin(), signature.end());
        return signature;
    }

    std::string SignWithCng(std::string_view data) const
    {
        const auto check = [](SECURITY_STATUS status) {
            if (status != ERROR_SUCCESS)
                RaiseSigningFailure(static_cast<DWORD>(status));
        };
        UniqueNcryptHandle provider;
        check(NCryptOpenStorageProvider(provider.put(), Key.Provider.c_str(), 0));
        UniqueNcryptHandle key;
        const DWORD flags = NCRYPT_SILENT_FLAG | ((Key.Flags & CRYPT_MACHINE_KEYSET) ? NCRYPT_MACHINE_KEY_FLAG : 0);
        check(NCryptOpenKey(provider.get(), key.put(), Key.Container.c_str(), 0, flags));
        TSha256Digest digest = Sha256(data);
        BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
        DWORD size = 0;
        check(NCryptSignHash(key.get(), &padding, digest.data(), static_cast<DWORD>(digest.size()), nullptr, 0, &size,
                             BCRYPT_PAD_PKCS1));
        std::string signature(size, '\0');
        check(NCryptSignHash(key.get(), &padding, digest.data(), static_cast<DWORD>(digest.size()),
                             reinterpret_cast<BYTE*>(signature.data()), size, &size, BCRYPT_PAD_PKCS1));
        signature.resize(size);
        return signature;
    }
};

TAppCertificate::TAppCertificate(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TAppCertificate::TAppCertificate(TAppCertificate&&) noexcept = default;
TAppCertificate& TAppCertificate::operator=(TAppCertificate&&) noexcept = default;
TAppCertificate::~TAppCertificate() = default;

TAppCertificate TAppCertificate::FromPfxFile(const std::wstring& path)
{
    // A PFX holds a certificate or a short chain: a few kilobytes.
    constexpr std::size_t kLimit = 1024 * 1024;
    std::string pfx;
    try {
        pfx = ReadWholeFile(path, kLimit);
    } catch (const EFileError& e) {
        if (e.Code() == ERROR_FILE_TOO_LARGE)
            throw ECredentialError(path + L" is not a PFX (PKCS #12) file.");
        throw ECredentialError(L"Cannot read the certificate " + path + L": " + e.Message());
    }

    std::wstring password;
    bool given = false;
    const DWORD needed = GetEnvironmentVariableW(kPfxPasswordVariable, nullptr, 0);
    if (needed > 0) {
        password.resize(needed);
        const DWORD length = GetEnvironmentVariableW(kPfxPasswordVariable, password.data(), needed);
        password.resize(length < needed ? length : 0);
        // Set but empty is no password, as for an export without one.
        given = !password.empty();
    }
    return FromPfx(pfx, password, given, path);
}

TAppCertificate TAppCertificate::FromPfx(std::string_view pfx, std::wstring& password, bool passwordGiven,
                                         const std::wstring& path)
{
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), reinterpret_cast<BYTE*>(const_cast<char*>(pfx.data()))};
    if (!PFXIsPFXBlob(&blob)) {
        Wipe(password);
        throw ECredentialError(path + L" is not a PFX (PKCS #12) file.");
    }
    auto impl = std::make_unique<TImpl>();
    SetLastError(ERROR_SUCCESS);
    if (passwordGiven) {
        impl->Store.reset(PFXImportCertStore(&blob, password.c_str(), CRYPT_USER_KEYSET));
    } else {
        // A PFX exported without a password may have been sealed with an
        // empty one or with none: Windows tells them apart.
        impl->Store.reset(PFXImportCertStore(&blob, L"", CRYPT_USER_KEYSET));
        if (!impl->Store)
            impl->Store.reset(PFXImportCertStore(&blob, nullptr, CRYPT_USER_KEYSET));
    }
    const DWORD importError = GetLastError();
    Wipe(password);
    if (!impl->Store) {
        // Windows says ERROR_INVALID_PASSWORD; Wine sets no code at all.
        if (importError == ERROR_INVALID_PASSWORD || importError == ERROR_SUCCESS) {
            if (passwordGiven)
                throw ECredentialError(L"The password for " + path + L" is wrong: set " + kPfxPasswordVariable +
                                       L" to the password the PFX was exported with.");
            throw ECredentialError(path + L" needs a password: set the environment variable " +
                                   kPfxPasswordVariable + L" to it.");
        }
        throw ECredentialError(L"Cannot read the certificate " + path + L": " + SystemErrorText(importError));
    }

    for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(impl->Store.get(), nullptr); cert;
         cert = CertEnumCertificatesInStore(impl->Store.get(), cert)) {
        if (const std::optional<TKeyContainer> key = KeyContainerOf(cert)) {
            impl->Imported.push_back(*key);
            if (!impl->Cert) {
                impl->Cert.reset(CertDuplicateCertificateContext(cert));
                impl->Key = *key;
            }
        }
    }
    if (!impl->Cert)
        throw ECredentialError(path + L" holds no certificate with its private key: export the PFX with the "
                                      L"private key.");

    const CERT_INFO& info = *impl->Cert.get()->pCertInfo;
    const char* algorithm = info.SubjectPublicKeyInfo.Algorithm.pszObjId;
    if (!algorithm || std::string_view(algorithm) != szOID_RSA_RSA)
        throw ECredentialError(L"The certificate in " + path + L" has no RSA key: the sign-in assertion is "
                                                               L"signed RS256, which needs one.");
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    if (CompareFileTime(&now, &info.NotAfter) > 0)
        throw ECredentialError(L"The certificate in " + path + L" expired on " + DateText(info.NotAfter) +
                               L": upload a new one to the app registration and use its PFX.");
    if (CompareFileTime(&now, &info.NotBefore) < 0)
        throw ECredentialError(L"The certificate in " + path + L" is not valid before " +
                               DateText(info.NotBefore) + L".");
    const PCCERT_CONTEXT cert = impl->Cert.get();
    impl->Der.assign(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
    return TAppCertificate(std::move(impl));
}

const std::string& TAppCertificate::Der() const
{
    return impl_->Der;
}

std::string TAppCertificate::Sha256Thumbprint() const
{
    const TSha256Digest digest = Sha256(impl_->Der);
    return Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string TAppCertificate::SignRs256(std::string_view data) const
{
    return impl_->Key.ProviderType != 0 ? impl_->SignWithCryptoApi(data) : impl_->SignWithCng(data);
}
