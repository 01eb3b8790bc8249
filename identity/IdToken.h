#pragma once
// The claims read from an id token, for display and for the mailbox's key.
// The token's signature is not checked: it came straight from the token
// endpoint over TLS, and nothing here grants access on its strength.

#include <optional>
#include <string>
#include <string_view>

struct TIdTokenClaims {
    std::wstring PreferredUsername;
    std::wstring ObjectId;
    std::wstring TenantId;  // tid
};

// Nothing when jwt is not three base64url parts whose middle one is a JSON
// object; missing claims come back empty.
std::optional<TIdTokenClaims> ReadIdTokenClaims(std::string_view jwt);
