#include "GraphStandIn.h"

#include <stdexcept>

TGraphStandIn::TGraphStandIn()
{
    wchar_t buffer[256] = {};
    const DWORD n = GetEnvironmentVariableW(L"PELLORIN_TEST_GRAPH_STANDIN", buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer))
        throw std::runtime_error("PELLORIN_TEST_GRAPH_STANDIN is not set: run through standins/graph/with-graph-standin.sh");
    url_ = buffer;
}

nlohmann::json TGraphStandIn::Get(const std::string& controlPath) const
{
    const THttpResponse response = http_.Send({L"GET", url_ + L"/_control/" + FromUtf8(controlPath), {}, {}});
    if (response.Status != 200)
        throw std::runtime_error("stand-in control GET " + controlPath + " answered " + std::to_string(response.Status));
    return nlohmann::json::parse(response.Body);
}

nlohmann::json TGraphStandIn::Post(const std::string& controlPath, const nlohmann::json& body) const
{
    const THttpResponse response = http_.Send(
        {L"POST", url_ + L"/_control/" + FromUtf8(controlPath), {{L"Content-Type", L"application/json"}}, body.dump()});
    if (response.Status != 200)
        throw std::runtime_error("stand-in control POST " + controlPath + " answered " + std::to_string(response.Status));
    nlohmann::json answer = nlohmann::json::parse(response.Body, nullptr, false);
    return answer.is_discarded() ? nlohmann::json::object() : answer;
}

std::string TGraphStandIn::RegisterApp(nlohmann::json app, const wchar_t* secretVariable) const
{
    if (!app.contains("secret"))
        app["secret"] = true;
    const nlohmann::json answer = Post("app/register", app);
    if (!answer.contains("secret") || answer["secret"].is_null())
        return {};
    const std::string secret = answer["secret"].get<std::string>();
    SetEnvironmentVariableW(secretVariable, FromUtf8(secret).c_str());
    return secret;
}

void TGraphStandIn::AddUser(const std::string& oid, const std::string& upn,
                            const std::vector<std::pair<std::string, std::string>>& categories) const
{
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [name, color] : categories)
        list.push_back({{"displayName", name}, {"color", color}});
    Post("user", {{"oid", oid}, {"upn", upn}, {"categories", list}});
}

std::vector<nlohmann::json> TGraphStandIn::Log() const
{
    const nlohmann::json answer = Get("log");
    return answer["requests"].get<std::vector<nlohmann::json>>();
}

std::vector<std::pair<std::string, std::string>> TGraphStandIn::Categories(const std::string& oid) const
{
    std::vector<std::pair<std::string, std::string>> result;
    const nlohmann::json answer = Get("categories?user=" + oid);
    for (const nlohmann::json& c : answer["value"])
        result.emplace_back(c["displayName"].get<std::string>(), c["color"].get<std::string>());
    return result;
}

std::size_t CountOuter(const std::vector<nlohmann::json>& log, const std::string& part)
{
    std::size_t n = 0;
    for (const nlohmann::json& entry : log) {
        if (!entry["inner"].get<bool>() && entry["path"].get<std::string>().find(part) != std::string::npos)
            ++n;
    }
    return n;
}
