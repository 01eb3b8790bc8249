#include "http/Url.h"

#include "base/Platform.h"

#include <optional>

namespace {

constexpr std::wstring_view kHttps = L"https://";
constexpr std::wstring_view kHttp = L"http://";

[[noreturn]] void Refuse(std::wstring_view url, std::wstring_view why)
{
    throw EUrlRefused(L"The address \"" + std::wstring(url) + L"\" is refused: " + std::wstring(why));
}

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && SameTextIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::optional<unsigned> DecimalNumber(std::wstring_view digits, unsigned limit)
{
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    unsigned value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value > limit)
        return std::nullopt;
    return value;
}

// Four decimal octets, the first 127. Shorthands such as "127.1" are left
// out: they are loopback to some resolvers and host names to others.
bool IsLoopbackIPv4(std::wstring_view host)
{
    int octets = 0;
    std::size_t start = 0;
    while (start <= host.size()) {
        std::size_t end = host.find(L'.', start);
        if (end == std::wstring_view::npos)
            end = host.size();
        const std::wstring_view part = host.substr(start, end - start);
        if (part.size() > 3 || (part.size() > 1 && part[0] == L'0'))
            return false;
        const auto value = DecimalNumber(part, 255);
        if (!value || (octets == 0 && *value != 127))
            return false;
        ++octets;
        start = end + 1;
    }
    return octets == 4;
}

}  // namespace

bool IsLoopbackHost(std::wstring_view host)
{
    return SameTextIgnoringCase(host, L"localhost") || host == L"::1" || IsLoopbackIPv4(host);
}

std::wstring TUrl::Origin() const
{
    std::wstring host;
    for (const wchar_t c : Host)
        host += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    if (host.find(L':') != std::wstring::npos)
        host = L"[" + host + L"]";
    return (Secure ? std::wstring(kHttps) : std::wstring(kHttp)) + host + L":" + std::to_wstring(Port);
}

TUrl ParseAllowedUrl(std::wstring_view url)
{
    for (const wchar_t c : url) {
        if (c <= L' ' || c == 0x7F || c == L'\\')
            Refuse(url, L"it holds a blank, a control character or a backslash.");
    }
    TUrl result;
    std::wstring_view rest;
    if (StartsWithIgnoringCase(url, kHttps)) {
        rest = url.substr(kHttps.size());
    } else if (StartsWithIgnoringCase(url, kHttp)) {
        result.Secure = false;
        result.Port = 80;
        rest = url.substr(kHttp.size());
    } else {
        Refuse(url, L"only https:// addresses are used.");
    }

    const std::size_t authorityEnd = rest.find_first_of(L"/?#");
    const std::wstring_view authority = rest.substr(0, authorityEnd);
    std::wstring_view tail = authorityEnd == std::wstring_view::npos ? std::wstring_view() : rest.substr(authorityEnd);
    if (authority.find(L'@') != std::wstring_view::npos)
        Refuse(url, L"it names a user.");
    if (authority.find(L'%') != std::wstring_view::npos)
        Refuse(url, L"its host name is encoded.");

    std::wstring_view host = authority;
    std::optional<std::wstring_view> port;
    if (!authority.empty() && authority.front() == L'[') {
        const std::size_t close = authority.find(L']');
        if (close == std::wstring_view::npos)
            Refuse(url, L"its host name is not complete.");
        host = authority.substr(1, close - 1);
        const std::wstring_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != L':')
                Refuse(url, L"its host name is not complete.");
            port = after.substr(1);
        }
    } else {
        const std::size_t colon = authority.find(L':');
        if (colon != std::wstring_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
    }
    if (host.empty())
        Refuse(url, L"it names no host.");
    if (port) {
        const auto number = DecimalNumber(*port, 65535);
        if (!number || *number == 0)
            Refuse(url, L"its port is not a number.");
        result.Port = static_cast<std::uint16_t>(*number);
    }
    result.Host = std::wstring(host);
    result.Loopback = IsLoopbackHost(host);
    if (!result.Secure && !result.Loopback)
        Refuse(url, L"http:// is only used for this computer itself (127.0.0.1, localhost, [::1]).");

    const std::size_t fragment = tail.find(L'#');
    if (fragment != std::wstring_view::npos)
        tail = tail.substr(0, fragment);
    result.PathAndQuery = tail.empty() || tail.front() != L'/' ? L"/" + std::wstring(tail) : std::wstring(tail);
    return result;
}

std::string PercentEncode(std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}
