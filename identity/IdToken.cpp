#include "identity/IdToken.h"

#include "base/Errors.h"
#include "identity/Base64Url.h"

#include <nlohmann/json.hpp>

std::optional<TIdTokenClaims> ReadIdTokenClaims(std::string_view jwt)
{
    const std::size_t first = jwt.find('.');
    const std::size_t second = first == std::string_view::npos ? first : jwt.find('.', first + 1);
    if (second == std::string_view::npos || jwt.find('.', second + 1) != std::string_view::npos)
        return std::nullopt;
    const auto payload = Base64UrlDecode(jwt.substr(first + 1, second - first - 1));
    if (!payload)
        return std::nullopt;
    const nlohmann::json claims = nlohmann::json::parse(*payload, nullptr, false);
    if (!claims.is_object())
        return std::nullopt;
    const auto text = [&](const char* name) {
        const auto found = claims.find(name);
        return found != claims.end() && found->is_string() ? FromUtf8(found->get<std::string>()) : std::wstring();
    };
    return TIdTokenClaims{text("preferred_username"), text("oid"), text("tid")};
}
