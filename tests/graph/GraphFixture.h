#pragma once
// What the sign-in, token cache and Graph tests share: the stand-in reset for
// each test, the login and Graph addresses pointed at it, registry keys and a
// token cache folder of the test's own, and a user signed in on request.

#include "GraphStandIn.h"
#include "identity/Microsoft365Settings.h"
#include "identity/TokenCache.h"
#include "support/Caught.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <string>

// A folder under %TEMP% for one test, removed with everything in it.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// HKEY_LOCAL_MACHINE redirected, as ScratchHkcu does for the user's key, to a
// key inside the active scratch key.
class TScratchHklm {
public:
    TScratchHklm();
    ~TScratchHklm();
    TScratchHklm(const TScratchHklm&) = delete;
    TScratchHklm& operator=(const TScratchHklm&) = delete;

private:
    HKEY key_ = nullptr;
};

class GraphFixture : public testing::Test {
protected:
    static constexpr const char* kOid = "3f1c2a9e-0000-4000-8000-00000000a11e";
    static constexpr const char* kUpn = "alex@contoso.example";

    void SetUp() override;
    void TearDown() override;

    std::wstring CachePath() const { return folder.Path() + L"\\Pellorin\\microsoft365.token"; }
    TTokenCache Cache() const { return TTokenCache(CachePath()); }
    TMicrosoft365Settings Settings() const;
    // Signs kUpn in through the stand-in's device flow, so that the cache
    // holds a refresh token it knows; the stand-in's log is cleared after.
    void SignIn();
    void WriteUserSettings(const wchar_t* tenant, const wchar_t* client) const;

    // HKEY_LOCAL_MACHINE stays the prefix's own: Wine's DPAPI finds its
    // cryptographic provider there.
    ScratchHkcu hkcu;
    TTempFolder folder;
    TGraphStandIn standIn;
    THttpClient http;
};

// Every error text a test met, to look for tokens in.
bool HoldsAnyToken(const std::wstring& text, const nlohmann::json& tokens);
