#include "identity/AppCertificate.h"

#include "base/Errors.h"
#include "base/Sha256.h"
#include "base/SystemErrorText.h"
#include "base/UserMutex.h"
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
    NCRYPT_PROV_HANDLE provider = 0;
    if (NCryptOpenStorageProvider(&provider, key.Provider.c_str(), 0) != ERROR_SUCCESS)
        return;
    NCRYPT_KEY_HANDLE handle = 0;
    const DWORD flags = NCRYPT_SILENT_FLAG | ((key.Flags & CRYPT_MACHINE_KEYSET) ? NCRYPT_MACHINE_KEY_FLAG : 0);
    if (NCryptOpenKey(provider, &handle, key.Container.c_str(), 0, flags) == ERROR_SUCCESS) {
        // Deleting frees the handle too.
        if (NCryptDeleteKey(handle, 0) != ERROR_SUCCESS)
            NCryptFreeObject(handle);
    }
    NCryptFreeObject(provider);
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
    HCERTSTORE Store = nullptr;
    PCCERT_CONTEXT Cert = nullptr;
    std::string Der;
    TKeyContainer Key;
    std::vector<TKeyContainer> Imported;

    TImpl() = default;
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;
    ~TImpl()
    {
        if (Cert)
            CertFreeCertificateContext(Cert);
        for (const TKeyContainer& key : Imported)
            DeleteKeyContainer(key);
        if (Store)
            CertCloseStore(Store, 0);
    }

    std::string SignWithCryptoApi(std::string_view data) const
    {
        // The provider the import names may be the base RSA one, which has no
        // SHA-256 (Wine's, and older Windows PFXs): the AES provider opens
        // the same container and has it.
        HCRYPTPROV provider = 0;
        if (!CryptAcquireContextW(&provider, Key.Container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                  CRYPT_SILENT | (Key.Flags & CRYPT_MACHINE_KEYSET)))
            RaiseSigningFailure(GetLastError());
        HCRYPTHASH hash = 0;
        DWORD error = ERROR_SUCCESS;
        std::string signature;
        if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
            CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0)) {
            const DWORD keyUse = Key.KeyUse == AT_SIGNATURE ? AT_SIGNATURE : AT_KEYEXCHANGE;
            DWORD size = 0;
            if (CryptSignHashW(hash, keyUse, nullptr, 0, nullptr, &size)) {
                signature.resize(size);
                if (CryptSignHashW(hash, keyUse, nullptr, 0, reinterpret_cast<BYTE*>(signature.data()), &size)) {
                    signature.resize(size);
                    // CryptoAPI gives the least significant byte first.
                    std::reverse(signature.begin(), signature.end());
                } else {
                    error = GetLastError();
                }
            } else {
                error = GetLastError();
            }
        } else {
            error = GetLastError();
        }
        if (hash)
            CryptDestroyHash(hash);
        CryptReleaseContext(provider, 0);
        if (error != ERROR_SUCCESS)
            RaiseSigningFailure(error);
        return signature;
    }

    std::string SignWithCng(std::string_view data) const
    {
        NCRYPT_PROV_HANDLE provider = 0;
        SECURITY_STATUS status = NCryptOpenStorageProvider(&provider, Key.Provider.c_str(), 0);
        if (status != ERROR_SUCCESS)
            RaiseSigningFailure(static_cast<DWORD>(status));
        NCRYPT_KEY_HANDLE key = 0;
        const DWORD flags = NCRYPT_SILENT_FLAG | ((Key.Flags & CRYPT_MACHINE_KEYSET) ? NCRYPT_MACHINE_KEY_FLAG : 0);
        status = NCryptOpenKey(provider, &key, Key.Container.c_str(), 0, flags);
        std::string signature;
        if (status == ERROR_SUCCESS) {
            TSha256Digest digest = Sha256(data);
            BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
            DWORD size = 0;
            status = NCryptSignHash(key, &padding, digest.data(), static_cast<DWORD>(digest.size()), nullptr, 0,
                                    &size, BCRYPT_PAD_PKCS1);
            if (status == ERROR_SUCCESS) {
                signature.resize(size);
                status = NCryptSignHash(key, &padding, digest.data(), static_cast<DWORD>(digest.size()),
                                        reinterpret_cast<BYTE*>(signature.data()), size, &size, BCRYPT_PAD_PKCS1);
                signature.resize(size);
            }
            NCryptFreeObject(key);
        }
        NCryptFreeObject(provider);
        if (status != ERROR_SUCCESS)
            RaiseSigningFailure(static_cast<DWORD>(status));
        return signature;
    }
};

TAppCertificate::TAppCertificate(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TAppCertificate::TAppCertificate(TAppCertificate&&) noexcept = default;
TAppCertificate& TAppCertificate::operator=(TAppCertificate&&) noexcept = default;
TAppCertificate::~TAppCertificate() = default;

TAppCertificate TAppCertificate::FromPfxFile(const std::wstring& path)
{
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        throw ECredentialError(L"Cannot read the certificate " + path + L": " + SystemErrorText(GetLastError()));
    const UniqueKernelHandle file(opened);
    LARGE_INTEGER size{};
    // A PFX holds a certificate or a short chain: a few kilobytes.
    constexpr LONGLONG kLimit = 1024 * 1024;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kLimit)
        throw ECredentialError(path + L" is not a PFX (PKCS #12) file.");
    std::string pfx(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), pfx.data(), static_cast<DWORD>(pfx.size()), &read, nullptr) || read != pfx.size())
        throw ECredentialError(L"Cannot read the certificate " + path + L": " + SystemErrorText(GetLastError()));

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
        impl->Store = PFXImportCertStore(&blob, password.c_str(), CRYPT_USER_KEYSET);
    } else {
        // A PFX exported without a password may have been sealed with an
        // empty one or with none: Windows tells them apart.
        impl->Store = PFXImportCertStore(&blob, L"", CRYPT_USER_KEYSET);
        if (!impl->Store)
            impl->Store = PFXImportCertStore(&blob, nullptr, CRYPT_USER_KEYSET);
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

    for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(impl->Store, nullptr); cert;
         cert = CertEnumCertificatesInStore(impl->Store, cert)) {
        if (const std::optional<TKeyContainer> key = KeyContainerOf(cert)) {
            impl->Imported.push_back(*key);
            if (!impl->Cert) {
                impl->Cert = CertDuplicateCertificateContext(cert);
                impl->Key = *key;
            }
        }
    }
    if (!impl->Cert)
        throw ECredentialError(path + L" holds no certificate with its private key: export the PFX with the "
                                      L"private key.");

    const CERT_INFO& info = *impl->Cert->pCertInfo;
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
    impl->Der.assign(reinterpret_cast<const char*>(impl->Cert->pbCertEncoded), impl->Cert->cbCertEncoded);
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
