#include "identity/TokenCache.h"

#include "base/Errors.h"
#include "base/UniqueHandle.h"

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

void CloseFile(HANDLE handle)
{
    CloseHandle(handle);
}
using TFileHandle = TUniqueHandle<HANDLE, CloseFile>;

// CreateFile fails with INVALID_HANDLE_VALUE, which cannot be a template argument.
HANDLE FileOrNull(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

std::wstring SystemText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : L"Error " + std::to_wstring(error);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return text;
}

[[noreturn]] void RaiseCacheError(const std::wstring& path, DWORD error)
{
    throw EException(L"The Microsoft 365 sign-in could not be saved in " + path + L": " + SystemText(error));
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

std::optional<std::string> ReadWholeFile(const std::wstring& path)
{
    TFileHandle file(FileOrNull(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file)
        return std::nullopt;
    LARGE_INTEGER size{};
    // A token cache is a few kilobytes; anything far larger is not ours.
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 20))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return std::nullopt;
    return bytes;
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
    auto sealed = ReadWholeFile(path_);
    if (!sealed || sealed->empty())
        return std::nullopt;
    DATA_BLOB in = Blob(*sealed);
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
    // Written beside the file, then put in its place in one step: a reader
    // sees the old sign-in or the new one, never a part of either.
    const std::wstring temporary =
        path_ + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetCurrentThreadId()) + L".new";
    {
        TFileHandle file(FileOrNull(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr)));
        if (!file)
            RaiseCacheError(path_, GetLastError());
        DWORD written = 0;
        if (!WriteFile(file.get(), sealed.data(), static_cast<DWORD>(sealed.size()), &written, nullptr) ||
            written != sealed.size() || !FlushFileBuffers(file.get())) {
            const DWORD error = GetLastError();
            file.reset();
            DeleteFileW(temporary.c_str());
            RaiseCacheError(path_, error);
        }
    }
    if (!MoveFileExW(temporary.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        RaiseCacheError(path_, error);
    }
}

void TTokenCache::Remove() const
{
    if (!DeleteFileW(path_.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            throw EException(L"The Microsoft 365 sign-in could not be removed from " + path_ + L": " +
                             SystemText(error));
    }
}
