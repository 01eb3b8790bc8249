#include "identity/Clouds.h"

#include "base/CodePage.h"
#include "base/Platform.h"
#include "identity/SignInErrors.h"

#include <windows.h>

#include <cwctype>

namespace {

constexpr TCloudInfo kCloudInfos[] = {
    {ECloud::Global, L"global", L"https://login.microsoftonline.com", L"https://graph.microsoft.com", true},
    {ECloud::UsGov, L"usgov", L"https://login.microsoftonline.us", L"https://graph.microsoft.us", false},
    {ECloud::UsGovDod, L"usgovdod", L"https://login.microsoftonline.us", L"https://dod-graph.microsoft.us", false},
};

std::wstring Lowered(std::wstring_view text)
{
    std::wstring lowered;
    for (const wchar_t c : text)
        lowered.push_back(static_cast<wchar_t>(std::towlower(c)));
    return lowered;
}

std::optional<std::wstring> EnvironmentBase(const wchar_t* variable)
{
    std::optional<std::wstring> value = EnvironmentSetting(variable);
    while (value && !value->empty() && value->back() == L'/')
        value->pop_back();
    if (!value || value->empty())
        return std::nullopt;
    return value;
}

// "https://graph.microsoft.us" under a stand-in: "<stand-in>/graph.microsoft.us".
std::wstring Address(const wchar_t* own, const wchar_t* worldwideVariable, ECloud cloud)
{
    if (cloud == ECloud::Global) {
        if (auto given = EnvironmentBase(worldwideVariable))
            return *given;
    }
    if (auto standIn = EnvironmentBase(L"PELLORIN_STANDIN_URL")) {
        const std::wstring_view host = std::wstring_view(own).substr(std::wstring_view(L"https://").size());
        return *standIn + L"/" + std::wstring(host);
    }
    return own;
}

}  // namespace

const TCloudInfo& CloudInfo(ECloud cloud)
{
    for (const TCloudInfo& info : kCloudInfos) {
        if (info.Cloud == cloud)
            return info;
    }
    return kCloudInfos[0];
}

ECloud ParseCloud(std::wstring_view name)
{
    const std::wstring lowered = Lowered(TrimmedSetting(name));
    for (const TCloudInfo& info : kCloudInfos) {
        if (lowered == info.Name)
            return info.Cloud;
    }
    // https://learn.microsoft.com/graph/api/outlookuser-list-mastercategories
    // lists the worldwide and US Government clouds alone.
    if (lowered == L"china")
        throw ESettingsError(L"Microsoft does not offer the category list in the China cloud (operated by 21Vianet), "
                             L"so Pellorin cannot reach a mailbox there.");
    throw ESettingsError(L"The Microsoft 365 cloud \"" + std::wstring(name) +
                         L"\" is not one of global, usgov or usgovdod.");
}

std::wstring CloudName(ECloud cloud)
{
    return CloudInfo(cloud).Name;
}

std::wstring CloudLoginUrl(ECloud cloud)
{
    return Address(CloudInfo(cloud).LoginUrl, L"PELLORIN_LOGIN_URL", cloud);
}

std::wstring CloudGraphUrl(ECloud cloud)
{
    return Address(CloudInfo(cloud).GraphUrl, L"PELLORIN_GRAPH_URL", cloud);
}

std::string CloudSignInScope(ECloud cloud)
{
    // https://learn.microsoft.com/graph/sdks/national-clouds: a scope names
    // the Graph host of the cloud it is asked in.
    return ToUtf8(std::wstring(CloudInfo(cloud).GraphUrl)) + "/MailboxSettings.ReadWrite offline_access openid profile";
}
