#include "identity/Microsoft365Settings.h"

#include "base/UniqueHandle.h"

#include "base/Platform.h"
#include "http/Url.h"
#include "identity/Clouds.h"
#include "identity/MakerApp.h"
#include "identity/SignInErrors.h"

#include <windows.h>

#include <vector>

namespace {

std::optional<std::wstring> RegistryText(HKEY root, const wchar_t* path, const wchar_t* name)
{
    UniqueHkey key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::wstring> result;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ) {
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            // The value need not end in a zero; the extra slot guarantees one.
            std::wstring text(buffer.data());
            text = TrimmedSetting(text);
            if (!text.empty())
                result = std::move(text);
        }
    }
    return result;
}

std::optional<std::wstring> Configured(const std::optional<std::wstring>& given, const wchar_t* name)
{
    if (given) {
        std::wstring text = TrimmedSetting(*given);
        if (!text.empty())
            return text;
    }
    if (auto policy = RegistryText(HKEY_LOCAL_MACHINE, kMicrosoft365PolicyKey, name))
        return policy;
    return RegistryText(HKEY_CURRENT_USER, kMicrosoft365UserKey, name);
}

// A tenant id is a GUID, a verified domain name, or one of the aliases: all
// of letters, digits, "-" and ".". Anything else could reshape the address.
std::wstring TenantPath(const std::wstring& tenant)
{
    bool valid = !tenant.empty() && tenant.size() <= 253 && tenant.front() != L'.' && tenant.front() != L'-';
    for (const wchar_t c : tenant) {
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
              c == L'.'))
            valid = false;
    }
    if (!valid)
        throw ESettingsError(L"The Microsoft 365 tenant \"" + tenant +
                             L"\" is not a tenant id, a domain name, \"organizations\", \"consumers\" or \"common\".");
    return tenant;
}

}  // namespace

std::wstring TMicrosoft365Settings::DeviceCodeUrl() const
{
    return LoginUrl + L"/" + TenantPath(TenantId) + L"/oauth2/v2.0/devicecode";
}

std::wstring TMicrosoft365Settings::TokenUrl() const
{
    return LoginUrl + L"/" + TenantPath(TenantId) + L"/oauth2/v2.0/token";
}

std::optional<TMicrosoft365Settings> ReadMicrosoft365Settings(const TMicrosoft365Overrides& overrides)
{
    const auto cloudName = Configured(overrides.Cloud, kCloudValue);
    const ECloud cloud = cloudName ? ParseCloud(*cloudName) : ECloud::Global;
    auto tenant = Configured(overrides.TenantId, kTenantIdValue);
    auto client = Configured(overrides.ClientId, kClientIdValue);
    // The maker's registration lives in the worldwide cloud: a national
    // cloud's sign-in would not know it.
    if (!client && cloud == ECloud::Global) {
        if (std::wstring maker = MakerClientId(); !maker.empty()) {
            client = std::move(maker);
            if (!tenant)
                tenant = L"common";
        }
    }
    if (!tenant || !client)
        return std::nullopt;
    if (!CloudInfo(cloud).PersonalAccounts &&
        (SameTextIgnoringCase(*tenant, L"consumers") || SameTextIgnoringCase(*tenant, kPersonalAccountsTenant)))
        throw ESettingsError(L"Personal Microsoft accounts are served only by the worldwide cloud, not by " +
                             CloudName(cloud) + L".");
    TMicrosoft365Settings settings;
    settings.TenantId = std::move(*tenant);
    settings.ClientId = std::move(*client);
    settings.Cloud = cloud;
    settings.LoginUrl = CloudLoginUrl(cloud);
    settings.GraphUrl = CloudGraphUrl(cloud);
    return settings;
}

std::wstring MakerClientId()
{
    if (const auto given = EnvironmentSetting(L"PELLORIN_TEST_MAKER_CLIENT_ID")) {
        try {
            if (ParseAllowedUrl(CloudLoginUrl(ECloud::Global)).Loopback)
                return *given;
        } catch (const EUrlRefused&) {
        }
    }
    return PELLORIN_MAKER_CLIENT_ID_TEXT;
}
