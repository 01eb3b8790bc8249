// Where Microsoft 365's tenant and app come from, and what may become part of
// an address.

#include "GraphFixture.h"
#include "identity/SignInErrors.h"

namespace {

struct SettingsCase {
    const char* what;
    const wchar_t* policyTenant;
    const wchar_t* policyClient;
    const wchar_t* userTenant;
    const wchar_t* userClient;
    std::optional<std::wstring> overrideTenant;
    std::optional<std::wstring> overrideClient;
    const wchar_t* tenant;  // null: not configured
    const wchar_t* client;
};

void PutText(const wchar_t* key, const wchar_t* name, const wchar_t* value, HKEY root)
{
    if (value)
        PutValue(key, name, REG_SZ, Utf16Bytes(std::wstring(value) + L'\0'), root);
}

TEST(Microsoft365Settings, PolicyWinsValueByValueAndCallerOverridesBoth)
{
    const SettingsCase cases[] = {
        {"nothing", nullptr, nullptr, nullptr, nullptr, {}, {}, nullptr, nullptr},
        {"user", nullptr, nullptr, L"contoso.com", L"app-u", {}, {}, L"contoso.com", L"app-u"},
        {"tenant alone", nullptr, nullptr, L"contoso.com", nullptr, {}, {}, nullptr, nullptr},
        {"policy over user", L"organizations", L"app-p", L"contoso.com", L"app-u", {}, {}, L"organizations", L"app-p"},
        {"policy tenant, user client", L"common", nullptr, L"contoso.com", L"app-u", {}, {}, L"common", L"app-u"},
        {"blank policy", L"  ", L"", L"contoso.com", L"app-u", {}, {}, L"contoso.com", L"app-u"},
        {"trimmed", nullptr, nullptr, L" contoso.com\t", L" app-u ", {}, {}, L"contoso.com", L"app-u"},
        {"overrides alone", nullptr, nullptr, nullptr, nullptr, L"t.example", L"app-o", L"t.example", L"app-o"},
        {"override over policy", L"common", L"app-p", nullptr, nullptr, L"t.example", {}, L"t.example", L"app-p"},
        {"blank override", nullptr, nullptr, L"contoso.com", L"app-u", L" ", {}, L"contoso.com", L"app-u"},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchHkcu hkcu;
        TScratchHklm hklm;
        PutText(kMicrosoft365PolicyKey, L"TenantId", c.policyTenant, HKEY_LOCAL_MACHINE);
        PutText(kMicrosoft365PolicyKey, L"ClientId", c.policyClient, HKEY_LOCAL_MACHINE);
        PutText(kMicrosoft365UserKey, L"TenantId", c.userTenant, HKEY_CURRENT_USER);
        PutText(kMicrosoft365UserKey, L"ClientId", c.userClient, HKEY_CURRENT_USER);
        const auto settings = ReadMicrosoft365Settings({c.overrideTenant, c.overrideClient});
        if (!c.tenant) {
            EXPECT_FALSE(settings);
            continue;
        }
        ASSERT_TRUE(settings);
        EXPECT_EQ(settings->TenantId, c.tenant);
        EXPECT_EQ(settings->ClientId, c.client);
    }
}

TEST(Microsoft365Settings, OnlyTextValuesCount)
{
    ScratchHkcu hkcu;
    TScratchHklm hklm;
    PutValue(kMicrosoft365PolicyKey, L"TenantId", REG_DWORD, {1, 0, 0, 0}, HKEY_LOCAL_MACHINE);
    PutValue(kMicrosoft365UserKey, L"TenantId", REG_SZ, Utf16Bytes(L"contoso.com"));  // no terminating zero
    PutValue(kMicrosoft365UserKey, L"ClientId", REG_SZ, Utf16Bytes(std::wstring(L"app") + L'\0'));
    const auto settings = ReadMicrosoft365Settings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->TenantId, L"contoso.com");
}

TEST(Microsoft365Settings, AddressesGoToMicrosoftUnlessTheEnvironmentSaysOtherwise)
{
    const auto settings = ReadMicrosoft365Settings({L"contoso.com", L"app"});
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->DeviceCodeUrl(), L"https://login.microsoftonline.com/contoso.com/oauth2/v2.0/devicecode");
    EXPECT_EQ(settings->TokenUrl(), L"https://login.microsoftonline.com/contoso.com/oauth2/v2.0/token");
    EXPECT_EQ(settings->GraphUrl, L"https://graph.microsoft.com");

    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", L"http://127.0.0.1:4000/");
    SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", L" http://127.0.0.1:4001 ");
    const auto local = ReadMicrosoft365Settings({L"contoso.com", L"app"});
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", nullptr);
    SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", nullptr);
    ASSERT_TRUE(local);
    EXPECT_EQ(local->TokenUrl(), L"http://127.0.0.1:4000/contoso.com/oauth2/v2.0/token");
    EXPECT_EQ(local->GraphUrl, L"http://127.0.0.1:4001");
}

TEST(Microsoft365Settings, TenantThatWouldReshapeTheAddressIsRefused)
{
    for (const wchar_t* tenant : {L"contoso.onmicrosoft.com", L"organizations", L"common",
                                  L"0b1d2c3e-4f50-4a6b-8c7d-9e0f1a2b3c4d"}) {
        TMicrosoft365Settings settings;
        settings.TenantId = tenant;
        EXPECT_NO_THROW(settings.TokenUrl()) << ToUtf8(tenant);
    }
    for (const wchar_t* tenant : {L"../common", L"a/b", L"a?b", L"a#b", L"a b", L"-x", L".x", L"ä.example", L""}) {
        TMicrosoft365Settings settings;
        settings.TenantId = tenant;
        EXPECT_THROW(settings.DeviceCodeUrl(), ESettingsError) << ToUtf8(tenant);
        EXPECT_THROW(settings.TokenUrl(), ESettingsError) << ToUtf8(tenant);
    }
}

}  // namespace
