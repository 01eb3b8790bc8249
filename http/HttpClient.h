#pragma once
// HTTP through WinHTTP: TLS with the system's certificate checks (never
// turned off), the system's proxy settings, Pellorin's own User-Agent, 30 s
// to connect and 60 s to receive, no redirects followed and no Windows
// logon offered to any server. Every address passes ParseAllowedUrl first.
//
// One client serves the whole process: it holds one WinHTTP session, and each
// Send opens its own connection and request handles, so any number of
// threads may send at once. WinHTTP keeps the connections alive between them.

#include "base/Errors.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A request that got no answer: the address could not be reached, the
// certificate was refused, the connection broke or timed out.
class EHttpError : public EException {
public:
    EHttpError(std::wstring message, DWORD error) : EException(std::move(message)), error_(error) {}
    DWORD Error() const noexcept { return error_; }

private:
    DWORD error_;
};

struct THttpHeader {
    std::wstring Name;
    std::wstring Value;
};

struct THttpRequest {
    std::wstring Method = L"GET";
    std::wstring Url;
    std::vector<THttpHeader> Headers;
    std::string Body;
};

struct THttpResponse {
    DWORD Status = 0;
    std::vector<THttpHeader> Headers;
    std::string Body;

    // The first header of that name, letter case ignored.
    std::optional<std::wstring> Header(std::wstring_view name) const;
};

class THttpClient {
public:
    // The largest answer read: far beyond any category list, short of
    // exhausting a 32-bit process when a server keeps on sending.
    static constexpr std::size_t kMaxBodyBytes = 32u << 20;

    THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // Any status comes back as an answer; raises EUrlRefused before sending
    // to an address the rule refuses, EHttpError when no answer came.
    THttpResponse Send(const THttpRequest& request) const;

    // Requests sent so far by this client, answered or not: for figures.
    std::uint64_t RequestsSent() const noexcept { return sent_.load(); }

    static std::wstring UserAgent();

private:
    UniqueHinternet session_;
    mutable std::atomic<std::uint64_t> sent_{0};
};
