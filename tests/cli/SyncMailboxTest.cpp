// PellorinSync's verbs in-process with Microsoft 365 configured: the profile's
// stores in memory, the real mailbox source against the Graph stand-in. The
// mailbox among the stores when signed in, alone without classic Outlook, and
// the sign-in asked for where a verb needs it.
#include "FakeStores.h"
#include "GraphFixture.h"

#include "cli/Microsoft365Verbs.h"
#include "cli/SyncOutput.h"
#include "cli/SyncRun.h"
#include "identity/SignInErrors.h"
#include "outlook/OleError.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::wstring kKey16 = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Categories";
const std::string kReplacement = "\xEF\xBF\xBD";

struct TSyncOutput {
    TSyncResult Result;
    std::string Out;
};

class SyncMailboxTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        WriteUserSettings(Settings().TenantId.c_str(), Settings().ClientId.c_str());
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Green;"));
        profile_.AddStore(L"", L"Outlook Data File", std::make_shared<TFakeList>(std::vector<std::wstring>{L"Out1"}));
    }

    // Outlook opened, or with outlookFailure not: as RunSync leaves a run.
    TSyncOutput Run(const std::vector<std::wstring>& arguments, std::optional<HRESULT> outlookFailure = std::nullopt)
    {
        const TSyncRequest request = ParseSyncCommandLine(arguments);
        TMicrosoft365 microsoft365(http, Microsoft365OverridesOf(request), CachePath());
        TMailboxSource mailbox(microsoft365);
        TProgramState state;
        TMailboxChoice choice(state, mailbox);
        state.Sources = {&profile_, &choice};
        TSyncOutput output;
        if (outlookFailure) {
            try {
                throw EOleSysError(*outlookFailure);
            } catch (...) {
                const TOpening opening = OpeningWithoutOutlook(state, &choice, TFrontEnd::Console);
                if (opening.Kind == TOpening::TKind::MailboxAlone)
                    TakeOpening(output.Result, opening);
                else
                    output.Result.Exit = TSyncExit::Failed;
            }
        } else {
            state.OutlookVersion = L"14.0.7015.1000";
            state.OutlookMajorVersion = "14";
            output.Result.Connected = true;
        }
        std::wstring out;
        RunSyncVerb(request, state, output.Result, [&out](std::wstring_view line) { out += line; }, nullptr, &mailbox);
        out += request.Json ? SyncJsonText(request, output.Result) : SyncPlainText(request, output.Result);
        output.Out = ToUtf8(out);
        return output;
    }

    static std::wstring MasterList(const std::wstring& key)
    {
        const auto value = GetValue(key, L"MasterList");
        return value ? std::wstring(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / 2)
                     : std::wstring();
    }

    TFakeSource profile_;
};

TEST_F(SyncMailboxTest, TheSignedInMailboxIsAStoreOfEveryVerb)
{
    SignIn();
    const TSyncOutput list = Run({L"list", L"--all-stores"});
    EXPECT_EQ(list.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(list.Out, "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\n"
                        "registry: Green\r\n"
                        "Outlook (Outlook Data File): Out1\r\n"
                        "Microsoft 365 (alex@contoso.example): Blue\r\n"
                        "Microsoft 365 (alex@contoso.example): Red\r\n");

    // By its short name or its entry name, letter case ignored.
    for (const wchar_t* name : {L"m365", L"M365", L"microsoft 365 (ALEX@contoso.example)"}) {
        const TSyncOutput chosen = Run({L"list", L"--store", name});
        EXPECT_EQ(chosen.Result.Exit, TSyncExit::Done) << ToUtf8(name);
        EXPECT_TRUE(chosen.Out.ends_with("registry: Green\r\nOutlook: Blue\r\nOutlook: Red\r\n")) << chosen.Out;
    }
    const TSyncOutput other = Run({L"list", L"--store", L"Microsoft 365 (someone@else.example)"});
    EXPECT_EQ(other.Result.Error, L"No Outlook store is named \"Microsoft 365 (someone@else.example)\". The stores "
                                  L"are: \"Outlook Data File\", \"Microsoft 365 (alex@contoso.example)\".");

    const TSyncOutput both = Run({L"both", L"--store", L"m365", L"--json"});
    EXPECT_EQ(both.Result.Exit, TSyncExit::Done);
    EXPECT_NE(both.Out.find(R"j("addedToOutlook":["Green"],"addedToRegistry":["Blue","Red"])j"), std::string::npos)
        << both.Out;
    EXPECT_NE(both.Out.find(R"j({"name":"Microsoft 365 (alex@contoso.example)","default":false,"readable":true,)j"
                            R"j("error":null,"names":["Blue","Green","Red"],"addedNames":["Green"]})j"),
              std::string::npos)
        << both.Out;
    EXPECT_EQ(standIn.Categories(kOid),
              (std::vector<std::pair<std::string, std::string>>{{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}}));
    EXPECT_EQ(MasterList(kKey14), L"Green;Blue;Red;");
}

// Graph's texts are outside texts: on a line they show no line break.
TEST_F(SyncMailboxTest, AMailboxThatCannotBeReadIsSaidOnOneLine)
{
    SignIn();
    standIn.Fail({{"method", "GET"}, {"path", "masterCategories"}, {"status", 500}, {"count", -1},
                  {"code", "ErrorInternalServerError"}, {"message", "Down\r\nadded to Outlook: Fake"}});
    const TSyncOutput list = Run({L"list", L"--all-stores"});
    EXPECT_EQ(list.Result.Exit, TSyncExit::Done);
    const std::string prefix = "Microsoft 365 (alex@contoso.example) could not be read: ";
    const std::size_t line = list.Out.find(prefix);
    ASSERT_NE(line, std::string::npos) << list.Out;
    const std::string text = list.Out.substr(line + prefix.size());
    EXPECT_NE(text.find("Down" + kReplacement + kReplacement + "added to Outlook: Fake"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
    EXPECT_EQ(Run({L"to-outlook", L"--store", L"m365"}).Result.Exit, TSyncExit::Failed);
}

TEST_F(SyncMailboxTest, WithoutClassicOutlookTheRegistryAndTheMailboxWithNoError)
{
    SignIn();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft");
    const TSyncOutput list = Run({L"list"}, CO_E_CLASSSTRING);
    EXPECT_EQ(list.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(list.Result.Error, std::nullopt);
    EXPECT_EQ(list.Out, "Outlook version detected: none\r\nOutlook: Blue\r\nOutlook: Red\r\n");
    EXPECT_TRUE(profile_.Log.empty()) << "the profile is not read without Outlook";

    const TSyncOutput both = Run({L"both", L"--json"}, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(both.Result.Exit, TSyncExit::Done);
    EXPECT_EQ(both.Out, R"j({"command":"both","dryRun":false,"outlookVersion":null,"outlookMajor":null,)j"
                        R"j("storeInUse":true,"registryNames":["Blue","Red"],"storeNames":["Blue","Red"],)j"
                        R"j("addedToOutlook":[],"addedToRegistry":["Blue","Red"],"notCopiedToRegistry":[],)j"
                        R"j("refusedByOutlook":[],"stores":[{"name":"Microsoft 365 (alex@contoso.example)",)j"
                        R"j("default":false,"readable":true,"error":null,"names":["Blue","Red"],"addedNames":[]}],)j"
                        R"j("registryUnreadable":[],"error":null})j"
                        "\r\n");
    EXPECT_EQ(MasterList(kKey16), L"Blue;Red;") << "no list held names: Microsoft 365's own";

    // Any other failure of Outlook's is still Outlook's to report.
    const TSyncOutput busy = Run({L"list"}, RPC_E_CALL_REJECTED);
    EXPECT_EQ(busy.Result.Exit, TSyncExit::Failed);
    EXPECT_FALSE(busy.Result.WithoutOutlook);
}

// Without classic Outlook the mailbox is the store a list shows: one that
// cannot be read fails the list, as it fails a copy; the line stays on
// standard output for what was read around it.
TEST_F(SyncMailboxTest, AListOfTheMailboxAloneThatCannotBeReadFails)
{
    SignIn();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft");
    standIn.Fail({{"method", "GET"}, {"path", "masterCategories"}, {"status", 500}, {"count", -1},
                  {"code", "ErrorInternalServerError"}, {"message", "Down"}});
    const std::wstring prefix = L"The Outlook store Microsoft 365 (alex@contoso.example) could not be read: ";

    const TSyncOutput list = Run({L"list"}, CO_E_CLASSSTRING);
    EXPECT_EQ(list.Result.Exit, TSyncExit::Failed);
    ASSERT_TRUE(list.Result.Error.has_value());
    EXPECT_TRUE(list.Result.Error->starts_with(prefix)) << ToUtf8(*list.Result.Error);
    EXPECT_TRUE(list.Out.starts_with("Outlook version detected: none\r\n"
                                     "Microsoft 365 (alex@contoso.example) could not be read: "))
        << list.Out;

    const TSyncOutput json = Run({L"list", L"--json"}, CO_E_CLASSSTRING);
    EXPECT_EQ(json.Result.Exit, TSyncExit::Failed);
    EXPECT_NE(json.Out.find(R"j("storeNames":null,)j"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find(R"j("error":"The Outlook store Microsoft 365 (alex@contoso.example) could not be read: )j"),
              std::string::npos)
        << json.Out;
}

struct TSignInFirstCase {
    std::vector<std::wstring> Arguments;
    bool WithOutlook;
    TSyncExit Exit;
    std::string Out;
};

// Configured, nobody signed in: a verb that needs the mailbox asks for the
// sign-in; one that does not works as ever. Nothing is sent either way.
TEST_F(SyncMailboxTest, AVerbThatNeedsTheMailboxAsksForTheSignIn)
{
    const std::wstring signInFirst = kSignInFirstText;
    const TSignInFirstCase cases[] = {
        {{L"list"}, true, TSyncExit::Done,
         "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\nregistry: Green\r\nOutlook: Out1\r\n"},
        {{L"list", L"--all-stores"}, true, TSyncExit::Done,
         "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\nregistry: Green\r\nOutlook: Out1\r\n"},
        {{L"list", L"--store", L"m365"}, true, TSyncExit::Failed,
         "Outlook version detected: Outlook 2010 (14.0.7015.1000)\r\nregistry: Green\r\n"},
        {{L"both", L"--store", L"Microsoft 365 (alex@contoso.example)"}, true, TSyncExit::Failed,
         "0 added to Outlook, 0 added to the registry\r\n"},
        {{L"list"}, false, TSyncExit::Failed, "Outlook version detected: none\r\nregistry: Green\r\n"},
        {{L"to-registry"}, false, TSyncExit::Failed, "0 added to the registry\r\n"},
    };
    for (const TSignInFirstCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.Arguments.back()) + (c.WithOutlook ? " with Outlook" : " without Outlook"));
        const TSyncOutput run = Run(c.Arguments, c.WithOutlook ? std::nullopt : std::optional<HRESULT>(CO_E_CLASSSTRING));
        EXPECT_EQ(run.Result.Exit, c.Exit);
        EXPECT_EQ(run.Out, c.Out);
        EXPECT_EQ(run.Result.Error, c.Exit == TSyncExit::Done ? std::nullopt : std::optional(signInFirst));
    }
    EXPECT_EQ(MasterList(kKey14), L"Green;");
    EXPECT_TRUE(standIn.Log().empty());
    EXPECT_TRUE(profile_.Logged(L"add ").empty());
}

// A sign-in Microsoft 365 no longer honours is gone from the cache, and the
// verb asks for a new one.
TEST_F(SyncMailboxTest, ARevokedSignInIsRemovedAndAskedForAgain)
{
    SignIn();
    standIn.Post("tokens", {{"revoke_refresh", true}});
    const TSyncOutput run = Run({L"to-outlook"}, CO_E_CLASSSTRING);
    EXPECT_EQ(run.Result.Exit, TSyncExit::Failed);
    EXPECT_EQ(run.Result.Error, std::wstring(kSignInFirstText));
    EXPECT_FALSE(Cache().Load());
}

}  // namespace

namespace {

// Someone who has never heard of the sign-in finds it in list's answer, and
// asking sends nothing: only "signin" does.
TEST_F(SyncMailboxTest, ListOffersTheSignInOnOneLineAndSendsNothing)
{
    const auto note = [this](const std::vector<std::wstring>& arguments, std::optional<HRESULT> failure = {}) {
        const TSyncOutput run = Run(arguments, failure);
        return ToUtf8(SyncNoteText(ParseSyncCommandLine(arguments), run.Result));
    };
    const std::string offer = "A Microsoft 365 mailbox can be added with PellorinSync signin.\r\n";
    EXPECT_EQ(note({L"list"}), offer);
    EXPECT_EQ(note({L"list", L"--all-stores"}), offer);
    EXPECT_EQ(note({L"list", L"--json"}), "");
    // Its failure already says to sign in.
    EXPECT_EQ(note({L"list", L"--store", L"m365"}), "");
    EXPECT_EQ(note({L"to-outlook"}), "");
    EXPECT_TRUE(standIn.Log().empty());

    SignIn();
    EXPECT_EQ(note({L"list"}), "");
    // Where nothing is configured there is nothing to offer.
    WriteUserSettings(L"", L"");
    EXPECT_EQ(note({L"list"}), "");
    // A cloud Microsoft does not serve is refused before anything is sent.
    standIn.Post("log/clear");
    WriteUserSettings(Settings().TenantId.c_str(), Settings().ClientId.c_str());
    EXPECT_THROW(Run({L"list", L"--cloud", L"china"}), ESettingsError);
    EXPECT_TRUE(standIn.Log().empty());
}

}  // namespace
