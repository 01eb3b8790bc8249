#include "identity/IdToken.h"

#include "base/Errors.h"

#include <nlohmann/json.hpp>

std::optional<std::string> DecodeBase64Url(std::string_view text)
{
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    if (text.size() % 4 == 1)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        unsigned value = 0;
        if (c >= 'A' && c <= 'Z')
            value = static_cast<unsigned>(c - 'A');
        else if (c >= 'a' && c <= 'z')
            value = static_cast<unsigned>(c - 'a' + 26);
        else if (c >= '0' && c <= '9')
            value = static_cast<unsigned>(c - '0' + 52);
        else if (c == '-')
            value = 62;
        else if (c == '_')
            value = 63;
        else
            return std::nullopt;
        buffer = (buffer << 6) | value;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return bytes;
}

std::optional<TIdTokenClaims> ReadIdTokenClaims(std::string_view jwt)
{
    const std::size_t first = jwt.find('.');
    const std::size_t second = first == std::string_view::npos ? first : jwt.find('.', first + 1);
    if (second == std::string_view::npos || jwt.find('.', second + 1) != std::string_view::npos)
        return std::nullopt;
    const auto payload = DecodeBase64Url(jwt.substr(first + 1, second - first - 1));
    if (!payload)
        return std::nullopt;
    const nlohmann::json claims = nlohmann::json::parse(*payload, nullptr, false);
    if (!claims.is_object())
        return std::nullopt;
    const auto text = [&](const char* name) {
        const auto found = claims.find(name);
        return found != claims.end() && found->is_string() ? FromUtf8(found->get<std::string>()) : std::wstring();
    };
    return TIdTokenClaims{text("preferred_username"), text("oid")};
}
