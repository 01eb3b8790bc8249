#pragma once
// Base64url without padding (RFC 4648 section 5), as JSON Web Tokens write
// their parts.

#include <optional>
#include <string>
#include <string_view>

std::string Base64UrlEncode(std::string_view bytes);
// Nothing for text that is not base64url (a padding "=" is accepted).
std::optional<std::string> Base64UrlDecode(std::string_view text);
