#pragma once
// The identity platform's form posts and their answers, shared by every grant.

#include "http/HttpClient.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

struct TOAuthAnswer {
    DWORD Status = 0;
    nlohmann::json Body;      // the answer's object; an empty object when it was none
    std::string Error;        // "error" of an error answer, such as "authorization_pending"
    std::wstring Description; // its "error_description", else the error itself

    bool Ok() const { return Status == 200 && Error.empty(); }
    // A text member of the body; empty where missing or not text.
    std::string Text(const char* name) const;
    // A whole-number member, given as a number or as text; fallback otherwise.
    long long Number(const char* name, long long fallback) const;
};

using TFormFields = std::vector<std::pair<std::string, std::string>>;

// Posts application/x-www-form-urlencoded fields. The fields may hold secrets:
// they go into the request body only, never into an address or a message.
TOAuthAnswer PostForm(const THttpClient& http, const std::wstring& url, const TFormFields& fields);

// What a token answer carries; the tokens are secrets.
struct TTokenGrant {
    std::string AccessToken;
    std::string RefreshToken;  // empty where none was given
    std::string IdToken;       // empty where none was given
    long long ExpiresInSeconds = 0;
};

// Raises ESignInFailed when a 200 answer lacks an access token.
TTokenGrant ReadTokenGrant(const TOAuthAnswer& answer);
