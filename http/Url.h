#pragma once
// Which addresses the program may talk to, and the encodings its requests use.
// Only https:// leaves the machine; http:// is allowed to this computer
// itself (127.0.0.0/8, localhost, [::1]) alone, where the test stand-ins
// listen. A refused address is refused before any request.

#include "base/Errors.h"

#include <cstdint>
#include <string>
#include <string_view>

class EUrlRefused : public EException {
public:
    using EException::EException;
};

struct TUrl {
    bool Secure = true;
    // As written in the address, brackets of an IPv6 literal left out.
    std::wstring Host;
    std::uint16_t Port = 443;
    // Everything from the first "/" on, without a fragment; "/" at least.
    std::wstring PathAndQuery;
    bool Loopback = false;

    // "https://host[:port]", the part that must match before a server's own
    // link is followed with our credentials.
    std::wstring Origin() const;
};

// Raises EUrlRefused for anything but an absolute https:// address, or an
// http:// one to a loopback host. Addresses with user names, backslashes,
// blanks or control characters are refused too: servers and libraries read
// them in different ways.
TUrl ParseAllowedUrl(std::wstring_view url);

bool IsLoopbackHost(std::wstring_view host);

// RFC 3986 percent-encoding of UTF-8, leaving only unreserved characters:
// for a path segment or an application/x-www-form-urlencoded field alike.
std::string PercentEncode(std::string_view utf8);
