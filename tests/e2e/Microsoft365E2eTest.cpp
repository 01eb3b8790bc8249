// The real Pellorin.exe with Microsoft 365 configured, beside the Outlook
// stand-in and the Graph stand-in: the sign-in entry of the store chooser,
// the sign-in dialog, the entry that becomes the mailbox, and the window
// without classic Outlook. The settings and the sign-in go to the build's
// Wine prefix and are removed after each test.
#include "EndToEndTest.h"
#include "GraphStandIn.h"

#include "identity/DeviceCodeSignIn.h"
#include "identity/Microsoft365Settings.h"
#include "identity/TokenCache.h"
#include "ui/SignInDialog.h"

#include <gtest/gtest.h>

namespace {

constexpr char kOid[] = "3f1c2a9e-0000-4000-8000-00000000a11e";
constexpr wchar_t kTenant[] = L"contoso.example";
constexpr wchar_t kClient[] = L"11111111-2222-3333-4444-555555555555";
constexpr wchar_t kMailboxEntry[] = L"Microsoft 365 (alex@contoso.example)";

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void Press(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class Microsoft365EndToEnd : public PellorinEndToEnd {
protected:
    void SetUp() override
    {
        PellorinEndToEnd::SetUp();
        if (IsSkipped())
            return;
        Forget();
        PutValue(kMicrosoft365UserKey, L"TenantId", REG_SZ, Utf16Bytes(std::wstring(kTenant) + L'\0'));
        PutValue(kMicrosoft365UserKey, L"ClientId", REG_SZ, Utf16Bytes(std::wstring(kClient) + L'\0'));
        standIn_.Reset();
        standIn_.AddUser(kOid, "alex@contoso.example", {{"Red", "preset0"}, {"Blue", "preset7"}});
        standIn_.Set({{"interval", 1}, {"sign_in_user", kOid}});
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", standIn_.Url().c_str());
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", standIn_.Url().c_str());
    }

    void TearDown() override
    {
        if (IsSkipped())
            return;
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", nullptr);
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", nullptr);
        Forget();
        PellorinEndToEnd::TearDown();
    }

    static void Forget()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pellorin");
        TTokenCache(TTokenCache::DefaultPath()).Remove();
    }

    void SignInHere() const
    {
        TMicrosoft365Settings settings;
        settings.TenantId = kTenant;
        settings.ClientId = kClient;
        settings.LoginUrl = standIn_.Url();
        settings.GraphUrl = standIn_.Url();
        standIn_.Set({{"poll_script", {"approve"}}});
        TDeviceCodeSignIn flow(http_, settings, TTokenCache(TTokenCache::DefaultPath()));
        SignInWithDeviceCode(flow, [](const TDeviceCodePrompt&) {}, [](DWORD) { return true; });
    }

    // The dialog, once Microsoft's code is in it.
    static HWND OpenSignIn(const TPellorinProcess& app)
    {
        app.Choose(idStoreChooser, 1);
        const HWND dialog = app.WaitForWindow(TSignInDialog::kClassName);
        if (dialog) {
            EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, idSignInCode)).size() == 8; }));
        }
        return dialog;
    }

    TGraphStandIn standIn_;
    THttpClient http_;
};

TEST_F(Microsoft365EndToEnd, TheSignInEntryOpensTheDialogAndBecomesTheMailbox)
{
    WriteMasterListValue(L"14.0", L"Green;");
    UseOutlook(L"14.0.7015.1000", {L"Out1"});
    TPellorinProcess app;
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    const HWND chooser = app.Control(idStoreChooser);
    EXPECT_TRUE(IsWindowVisible(chooser)) << "shown for a profile of one store";
    EXPECT_EQ(EntriesOf(chooser), (std::vector<std::wstring>{L"Outlook Data File", L"Microsoft 365: sign in..."}));
    EXPECT_EQ(SelectionOf(chooser), 0);
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Out1\r\n");
    EXPECT_TRUE(standIn_.Log().empty()) << "nothing is sent before the sign-in";
    // The chooser's entry is out of sight until its list opens: the offer is not.
    const HWND offer = app.Control(idSignInOffer);
    EXPECT_TRUE(IsWindowVisible(offer));
    EXPECT_EQ(TextOf(offer), L"Sign in to Microsoft 365...");

    // Cancelled: the choice stays the store's, and the entry the sign-in's.
    HWND dialog = OpenSignIn(app);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(dialog), L"Sign in to Microsoft 365");
    EXPECT_FALSE(IsWindowEnabled(main));
    EXPECT_EQ(SelectionOf(chooser), 0);
    Press(dialog, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !app.FindWindowOfClass(TSignInDialog::kClassName) && IsWindowEnabled(main); }));
    EXPECT_EQ(EntriesOf(chooser), (std::vector<std::wstring>{L"Outlook Data File", L"Microsoft 365: sign in..."}));

    dialog = OpenSignIn(app);
    ASSERT_NE(dialog, nullptr);
    const std::wstring code = TextOf(GetDlgItem(dialog, idSignInCode));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, idSignInLink)), L"https://microsoft.com/devicelogin");
    EXPECT_EQ(TextOf(GetDlgItem(dialog, idSignInMessage)),
              L"To sign in, use a web browser to open the page https://microsoft.com/devicelogin and enter the code " +
                  code + L" to authenticate.");
    Press(dialog, idSignInCopy);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == code; }, 5000)) << "Copy code";
    SaveScreenshot(L"sign-in-dialog");
    // The main window keeps answering while the dialog polls.
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0);

    standIn_.Set({{"poll_script", {"approve"}}});
    EXPECT_TRUE(WaitUntil([&] { return !app.FindWindowOfClass(TSignInDialog::kClassName); }));
    EXPECT_TRUE(WaitUntil([&] { return SelectionOf(chooser) == 1; }));
    EXPECT_EQ(EntriesOf(chooser), (std::vector<std::wstring>{L"Outlook Data File", kMailboxEntry, L"All stores"}));
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\nRed\r\n");
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(offer); })) << "signed in: nothing left to offer";
    ExitWithButton(app);
}

TEST_F(Microsoft365EndToEnd, WithoutClassicOutlookTheRegistryAndTheMailboxAndNoErrorBox)
{
    WriteMasterListValue(L"14.0", L"Green;");
    SignInHere();
    Unregister();
    TPellorinProcess app;
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    EXPECT_EQ(app.WaitForMessageBox(1500).Handle, nullptr) << "no error box";
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), L"Outlook version detected: none");
    ExpectStoreInUseState(app);
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Green\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\nRed\r\n");
    EXPECT_EQ(EntriesOf(app.Control(idStoreChooser)), std::vector<std::wstring>{kMailboxEntry});
    SaveScreenshot(L"main-mailbox-without-outlook");

    RunConfirmed(app, idBtnTAVtoOL);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoPst)) == L"Blue\r\nGreen\r\nRed\r\n"; }));
    EXPECT_EQ(standIn_.Categories(kOid).size(), 3u);
    ExitWithButton(app);
}

}  // namespace
