#pragma once
// The test's handle on the Graph stand-in that with-graph-standin.sh started
// for this program: its address, and its control calls.

#include "http/HttpClient.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

class TGraphStandIn {
public:
    // Raises std::runtime_error when the program was not started beside one.
    TGraphStandIn();

    const std::wstring& Url() const { return url_; }
    nlohmann::json Get(const std::string& controlPath) const;
    // The control call's answer.
    nlohmann::json Post(const std::string& controlPath, const nlohmann::json& body = nlohmann::json::object()) const;

    void Reset() const { Post("reset"); }
    void AddUser(const std::string& oid, const std::string& upn,
                 const std::vector<std::pair<std::string, std::string>>& categories = {}) const;
    void Set(const nlohmann::json& settings) const { Post("settings", settings); }
    void Fail(const nlohmann::json& rule) const { Post("fail", rule); }
    // Registers an application. Unless app says "secret": false, the stand-in
    // makes its client secret afresh, and it goes where the program reads it:
    // the environment variable named. Returns that secret (empty without one),
    // so that a test can check it is never shown.
    std::string RegisterApp(nlohmann::json app, const wchar_t* secretVariable) const;
    // The requests served since the last reset, oldest first (batch members
    // carry "inner": true).
    std::vector<nlohmann::json> Log() const;
    // displayName -> color of a mailbox's list as the stand-in holds it.
    std::vector<std::pair<std::string, std::string>> Categories(const std::string& oid) const;

private:
    std::wstring url_;
    THttpClient http_;
};

// Requests of the log that went to paths holding part, batch members left out.
std::size_t CountOuter(const std::vector<nlohmann::json>& log, const std::string& part);
