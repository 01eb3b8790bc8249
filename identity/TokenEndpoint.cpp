#include "identity/TokenEndpoint.h"

#include "http/Url.h"
#include "identity/SignInErrors.h"

std::string TOAuthAnswer::Text(const char* name) const
{
    const auto found = Body.find(name);
    return found != Body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

long long TOAuthAnswer::Number(const char* name, long long fallback) const
{
    const auto found = Body.find(name);
    if (found == Body.end())
        return fallback;
    if (found->is_number_integer())
        return found->get<long long>();
    if (found->is_number())
        return static_cast<long long>(found->get<double>());
    // Some identity services answer numbers as text.
    if (found->is_string()) {
        const std::string text = found->get<std::string>();
        if (!text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos)
            return std::stoll(text);
    }
    return fallback;
}

TOAuthAnswer PostForm(const THttpClient& http, const std::wstring& url, const TFormFields& fields)
{
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty())
            body += '&';
        body += PercentEncode(name) + '=' + PercentEncode(value);
    }
    const THttpResponse response =
        http.Send({L"POST", url, {{L"Content-Type", L"application/x-www-form-urlencoded"}, {L"Accept", L"application/json"}},
                   std::move(body)});
    TOAuthAnswer answer;
    answer.Status = response.Status;
    answer.Body = nlohmann::json::parse(response.Body, nullptr, false);
    if (!answer.Body.is_object())
        answer.Body = nlohmann::json::object();
    answer.Error = answer.Text("error");
    if (!answer.Error.empty()) {
        const std::string description = answer.Text("error_description");
        answer.Description = FromUtf8(description.empty() ? answer.Error : description);
    } else if (answer.Status != 200) {
        answer.Error = "http_" + std::to_string(answer.Status);
        answer.Description = L"The sign-in service answered HTTP " + std::to_wstring(answer.Status);
    }
    return answer;
}

TTokenGrant ReadTokenGrant(const TOAuthAnswer& answer)
{
    TTokenGrant grant;
    grant.AccessToken = answer.Text("access_token");
    grant.RefreshToken = answer.Text("refresh_token");
    grant.IdToken = answer.Text("id_token");
    grant.ExpiresInSeconds = answer.Number("expires_in", 0);
    if (grant.AccessToken.empty())
        throw ESignInFailed(L"The sign-in service answered without an access token.");
    return grant;
}
