#pragma once
// The clouds an organisation's tenant can live in, each with a sign-in host
// and a Graph host of its own: a token from one is worth nothing at another.
// https://learn.microsoft.com/graph/deployments

#include <string_view>

struct TCloud {
    const wchar_t* Name;       // as --cloud takes it
    const wchar_t* LoginHost;
    const wchar_t* GraphHost;
};

inline constexpr TCloud kClouds[] = {
    {L"global", L"login.microsoftonline.com", L"graph.microsoft.com"},
    {L"usgov", L"login.microsoftonline.us", L"graph.microsoft.us"},
    {L"usgovdod", L"login.microsoftonline.us", L"dod-graph.microsoft.us"},
};

// The China cloud's Graph has no Outlook categories: a name this program
// knows, to refuse with a reason rather than as unknown.
inline constexpr wchar_t kChinaCloud[] = L"china";
inline constexpr wchar_t kChinaRefusal[] =
    L"Microsoft does not offer the category list in the China cloud (21Vianet).";

// Letter case ignored; nothing for a name that is no cloud of kClouds.
const TCloud* FindCloud(std::wstring_view name);
