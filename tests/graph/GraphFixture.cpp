#include "GraphFixture.h"

#include "identity/DeviceCodeSignIn.h"

#include <shellapi.h>

#include <stdexcept>

TTempFolder::TTempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    // A run that crashed may have left its folders; process ids come again.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        path_ = std::wstring(temp) + L"pellorin-graph-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial);
        if (CreateDirectoryW(path_.c_str(), nullptr))
            return;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TTempFolder::~TTempFolder()
{
    // Double-zero-terminated, as SHFileOperation wants it.
    std::wstring from = path_ + L'\0';
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

TScratchHklm::TScratchHklm()
{
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Scratch machine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_) != ERROR_SUCCESS)
        throw std::runtime_error("cannot redirect HKEY_LOCAL_MACHINE");
}

TScratchHklm::~TScratchHklm()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(key_);
}

void GraphFixture::SetUp()
{
    standIn.Reset();
    standIn.AddUser(kOid, kUpn, {{"Red", "preset0"}, {"Blue", "preset7"}});
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", standIn.Url().c_str());
    SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", standIn.Url().c_str());
}

void GraphFixture::TearDown()
{
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", nullptr);
    SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", nullptr);
}

TMicrosoft365Settings GraphFixture::Settings() const
{
    TMicrosoft365Settings settings;
    settings.TenantId = L"contoso.example";
    settings.ClientId = L"11111111-2222-3333-4444-555555555555";
    settings.LoginUrl = standIn.Url();
    settings.GraphUrl = standIn.Url();
    return settings;
}

void GraphFixture::SignIn()
{
    standIn.Set({{"sign_in_user", kOid}, {"poll_script", {"approve"}}});
    TDeviceCodeSignIn flow(http, Settings(), Cache());
    SignInWithDeviceCode(flow, [](const TDeviceCodePrompt&) {}, [](DWORD) { return true; });
    standIn.Post("log/clear");
}

void GraphFixture::WriteUserSettings(const wchar_t* tenant, const wchar_t* client) const
{
    PutValue(kMicrosoft365UserKey, L"TenantId", REG_SZ, Utf16Bytes(std::wstring(tenant) + L'\0'));
    PutValue(kMicrosoft365UserKey, L"ClientId", REG_SZ, Utf16Bytes(std::wstring(client) + L'\0'));
}

bool HoldsAnyToken(const std::wstring& text, const nlohmann::json& tokens)
{
    const std::string utf8 = ToUtf8(text);
    for (const char* kind : {"access", "refresh", "id"}) {
        for (const auto& token : tokens[kind]) {
            if (utf8.find(token.get<std::string>()) != std::string::npos)
                return true;
        }
    }
    return false;
}
