#include "identity/TokenCache.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/SystemErrorText.h"

#include <windows.h>
#include <dpapi.h>
#include <shlobj.h>

#include <nlohmann/json.hpp>

#include <vector>

namespace {

constexpr int kFormat = 1;
// Ties the blob to this use: another program asking DPAPI for this user's
// secrets without it gets nothing.
constexpr char kEntropy[] = "Pellorin.Microsoft365.TokenCache";

[[noreturn]] void RaiseCacheError(const std::wstring& path, DWORD error)
{
    throw EException(L"The Microsoft 365 sign-in could not be saved in " + path + L": " + SystemErrorText(error));
}

// Secrets leave memory as soon as they are no longer needed.
class TSecretBuffer {
public:
    TSecretBuffer() = default;
    explicit TSecretBuffer(std::string text) : text_(std::move(text)) {}
    TSecretBuffer(const TSecretBuffer&) = delete;
    TSecretBuffer& operator=(const TSecretBuffer&) = delete;
    ~TSecretBuffer() { SecureZeroMemory(text_.data(), text_.size()); }
    std::string& get() { return text_; }

private:
    std::string text_;
};

DATA_BLOB Blob(std::string& bytes)
{
    return DATA_BLOB{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
}

std::wstring Utf16(const nlohmann::json& object, const char* name)
{
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? FromUtf8(found->get<std::string>()) : std::wstring();
}

}  // namespace

TTokenCache::TTokenCache(std::wstring path) : path_(std::move(path)) {}

std::wstring TTokenCache::DefaultPath()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0])
        throw EException(L"Windows names no local application data folder for this user.");
    return std::wstring(folder) + L"\\Pellorin\\microsoft365.token";
}

std::optional<TCachedSignIn> TTokenCache::Load() const
{
    std::string sealed;
    try {
        // A token cache is a few kilobytes; anything far larger is not ours.
        sealed = ReadWholeFile(path_, 1 << 20);
    } catch (const EFileError&) {
        return std::nullopt;
    }
    if (sealed.empty())
        return std::nullopt;
    DATA_BLOB in = Blob(sealed);
    std::string entropyBytes(kEntropy);
    DATA_BLOB entropy = Blob(entropyBytes);
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return std::nullopt;
    TSecretBuffer plain(std::string(reinterpret_cast<const char*>(out.pbData), out.cbData));
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);

    nlohmann::json object = nlohmann::json::parse(plain.get(), nullptr, false);
    if (!object.is_object() || object.value("format", 0) != kFormat)
        return std::nullopt;
    TCachedSignIn signIn;
    signIn.Account = Utf16(object, "account");
    signIn.ObjectId = Utf16(object, "oid");
    signIn.TenantId = Utf16(object, "tenant");
    signIn.ClientId = Utf16(object, "client_id");
    if (const std::wstring cloud = Utf16(object, "cloud"); !cloud.empty())
        signIn.Cloud = cloud;
    signIn.AccountTenant = Utf16(object, "tid");
    const auto token = object.find("refresh_token");
    if (token != object.end() && token->is_string())
        signIn.RefreshToken = token->get<std::string>();
    object.clear();
    if (signIn.RefreshToken.empty() || signIn.ObjectId.empty())
        return std::nullopt;
    return signIn;
}

void TTokenCache::Save(const TCachedSignIn& signIn) const
{
    const nlohmann::json object = {{"format", kFormat},
                                   {"account", ToUtf8(signIn.Account)},
                                   {"oid", ToUtf8(signIn.ObjectId)},
                                   {"tenant", ToUtf8(signIn.TenantId)},
                                   {"client_id", ToUtf8(signIn.ClientId)},
                                   {"cloud", ToUtf8(signIn.Cloud)},
                                   {"tid", ToUtf8(signIn.AccountTenant)},
                                   {"refresh_token", signIn.RefreshToken}};
    TSecretBuffer plain(object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    DATA_BLOB in = Blob(plain.get());
    std::string entropyBytes(kEntropy);
    DATA_BLOB entropy = Blob(entropyBytes);
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"Pellorin Microsoft 365 sign-in", &entropy, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &out))
        RaiseCacheError(path_, GetLastError());
    std::string sealed(reinterpret_cast<const char*>(out.pbData), out.cbData);
    LocalFree(out.pbData);

    const std::size_t slash = path_.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        const std::wstring folder = path_.substr(0, slash);
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            RaiseCacheError(path_, GetLastError());
    }
    // A reader sees the old sign-in or the new one, never a part of either.
    try {
        ReplaceWholeFile(path_, sealed);
    } catch (const EFileError& e) {
        RaiseCacheError(path_, e.Code());
    }
}

void TTokenCache::Remove() const
{
    if (!DeleteFileW(path_.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            throw EException(L"The Microsoft 365 sign-in could not be removed from " + path_ + L": " +
                             SystemErrorText(error));
    }
}
