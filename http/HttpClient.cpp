#include "http/HttpClient.h"

#include "base/Platform.h"
#include "base/ProductInfo.h"
#include "base/SystemErrorText.h"
#include "http/Url.h"

#include <winhttp.h>

namespace {

// Resolving the name counts as connecting.
constexpr int kResolveTimeoutMs = 30'000;
constexpr int kConnectTimeoutMs = 30'000;
constexpr int kSendTimeoutMs = 30'000;
constexpr int kReceiveTimeoutMs = 60'000;

// WinHTTP's own codes (12001 and on) have their texts in its own table.
std::wstring WinHttpErrorText(DWORD error)
{
    return SystemErrorText(error, GetModuleHandleW(L"winhttp.dll"));
}

[[noreturn]] void RaiseLastError(const TUrl& url)
{
    const DWORD error = GetLastError();
    throw EHttpError(L"No answer from " + url.Host + L": " + WinHttpErrorText(error), error);
}

void SetDwordOption(HINTERNET handle, DWORD option, DWORD value)
{
    WinHttpSetOption(handle, option, &value, sizeof(value));
}

HINTERNET OpenSession(const std::wstring& userAgent)
{
    // Windows 8.1 and later apply the user's own proxy settings, automatic
    // configuration included; earlier ones refuse the flag.
    HINTERNET session = WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session || GetLastError() != ERROR_INVALID_PARAMETER)
        return session;
    // There, the proxy of the user's Internet Options where one is named,
    // or else the machine's WinHTTP setting.
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
    if (WinHttpGetIEProxyConfigForCurrentUser(&ie) && ie.lpszProxy) {
        session = WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, ie.lpszProxy,
                              ie.lpszProxyBypass ? ie.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
    } else {
        session = WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    }
    for (wchar_t* text : {ie.lpszAutoConfigUrl, ie.lpszProxy, ie.lpszProxyBypass}) {
        if (text)
            GlobalFree(text);
    }
    return session;
}

std::wstring RequestHeaders(const std::vector<THttpHeader>& headers)
{
    std::wstring text;
    for (const THttpHeader& header : headers) {
        // A line break inside a value would forge a header of its own.
        for (const std::wstring* part : {&header.Name, &header.Value}) {
            if (part->find_first_of(L"\r\n") != std::wstring::npos)
                throw EException(L"An HTTP header holds a line break: " + header.Name);
        }
        text += header.Name + L": " + header.Value + L"\r\n";
    }
    return text;
}

std::wstring QueryText(HINTERNET request, DWORD query)
{
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
        return {};
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

std::vector<THttpHeader> ParseRawHeaders(std::wstring_view raw)
{
    std::vector<THttpHeader> headers;
    bool statusLine = true;
    while (!raw.empty()) {
        std::size_t end = raw.find(L"\r\n");
        if (end == std::wstring_view::npos)
            end = raw.size();
        const std::wstring_view line = raw.substr(0, end);
        raw = end + 2 <= raw.size() ? raw.substr(end + 2) : std::wstring_view();
        if (statusLine) {
            statusLine = false;
            continue;
        }
        const std::size_t colon = line.find(L':');
        if (colon == std::wstring_view::npos)
            continue;
        std::wstring_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == L' ' || value.front() == L'\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == L' ' || value.back() == L'\t'))
            value.remove_suffix(1);
        headers.push_back({std::wstring(line.substr(0, colon)), std::wstring(value)});
    }
    return headers;
}

}  // namespace

std::optional<std::wstring> THttpResponse::Header(std::wstring_view name) const
{
    for (const THttpHeader& header : Headers) {
        if (SameTextIgnoringCase(header.Name, name))
            return header.Value;
    }
    return std::nullopt;
}

std::wstring THttpClient::UserAgent()
{
    return L"" PELLORIN_PRODUCT_NAME L"/" PELLORIN_VERSION_TEXT;
}

THttpClient::THttpClient()
{
    const HINTERNET session = OpenSession(UserAgent());
    if (!session) {
        const DWORD error = GetLastError();
        throw EHttpError(L"WinHTTP could not be started: " + WinHttpErrorText(error), error);
    }
    session_.reset(session);
    WinHttpSetTimeouts(session, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
    // TLS 1.2 is off by default before Windows 8; 1.3 only where the system has it.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)))
        SetDwordOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2);
}

THttpResponse THttpClient::Send(const THttpRequest& request) const
{
    const TUrl url = ParseAllowedUrl(request.Url);
    const std::wstring headers = RequestHeaders(request.Headers);
    if (request.Body.size() > MAXDWORD / 2)
        throw EException(L"An HTTP request is too large.");

    UniqueHinternet connection(WinHttpConnect(session_.get(), url.Host.c_str(), url.Port, 0));
    if (!connection)
        RaiseLastError(url);
    UniqueHinternet handle(WinHttpOpenRequest(connection.get(), request.Method.c_str(), url.PathAndQuery.c_str(),
                                              nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              url.Secure ? WINHTTP_FLAG_SECURE : 0));
    if (!handle)
        RaiseLastError(url);
    // A redirect could lead a request, and its bearer token, past the address
    // rule; no server this program talks to redirects an API call.
    SetDwordOption(handle.get(), WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
    SetDwordOption(handle.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH);
    if (url.Loopback) {
        // A proxy would take the stand-in's traffic off this computer.
        WINHTTP_PROXY_INFO direct{WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
        WinHttpSetOption(handle.get(), WINHTTP_OPTION_PROXY, &direct, sizeof(direct));
    }

    ++sent_;
    const DWORD bodyBytes = static_cast<DWORD>(request.Body.size());
    if (!WinHttpSendRequest(handle.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            headers.empty() ? 0 : static_cast<DWORD>(-1),
                            bodyBytes ? const_cast<char*>(request.Body.data()) : WINHTTP_NO_REQUEST_DATA, bodyBytes,
                            bodyBytes, 0) ||
        !WinHttpReceiveResponse(handle.get(), nullptr))
        RaiseLastError(url);

    THttpResponse response;
    DWORD statusBytes = sizeof(response.Status);
    if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &response.Status, &statusBytes, WINHTTP_NO_HEADER_INDEX))
        RaiseLastError(url);
    response.Headers = ParseRawHeaders(QueryText(handle.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF));

    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(handle.get(), &available))
            RaiseLastError(url);
        if (available == 0)
            break;
        if (response.Body.size() + available > kMaxBodyBytes)
            throw EHttpError(L"The answer from " + url.Host + L" is too large.", ERROR_NOT_ENOUGH_MEMORY);
        const std::size_t old = response.Body.size();
        response.Body.resize(old + available);
        DWORD read = 0;
        if (!WinHttpReadData(handle.get(), response.Body.data() + old, available, &read))
            RaiseLastError(url);
        response.Body.resize(old + read);
    }
    return response;
}
