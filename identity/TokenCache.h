#pragma once
// The refresh token and the account it belongs to, kept for the current
// Windows user in %LOCALAPPDATA%\Pellorin\microsoft365.token, encrypted with
// DPAPI for that user alone. The file is replaced whole or not at all. No
// token goes anywhere else: not to the registry, a log or any output.

#include <optional>
#include <string>

struct TCachedSignIn {
    std::wstring Account;   // preferred_username, for display only
    std::wstring ObjectId;  // oid: the mailbox's key
    std::wstring TenantId;  // the settings it was signed in with
    std::wstring ClientId;
    std::string RefreshToken;
    // The cloud's name: a token of one cloud is refused by another. Caches
    // written before clouds were told apart are the worldwide cloud's.
    std::wstring Cloud = L"global";
    // tid of the id token: kPersonalAccountsTenant for a personal account.
    std::wstring AccountTenant = std::wstring();
};

class TTokenCache {
public:
    // The file at path; DefaultPath() for the real one.
    explicit TTokenCache(std::wstring path);
    // Raises EException where the system names no local application data folder.
    static std::wstring DefaultPath();

    const std::wstring& Path() const { return path_; }

    // Nothing when there is no file, or one this user cannot decrypt or read
    // (another user's copy, a damaged file): that is no sign-in.
    std::optional<TCachedSignIn> Load() const;
    // Raises EException when the file cannot be written; the old one then stays.
    void Save(const TCachedSignIn& signIn) const;
    // A missing file is no failure.
    void Remove() const;

private:
    std::wstring path_;
};
