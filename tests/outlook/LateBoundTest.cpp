#include "FakeDispatch.h"
#include "base/WaitLimit.h"
#include "outlook/LateBound.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

class LateBound : public testing::Test {
protected:
    FakeDispatch server;
    TAutomationValue target{&server};

    template <class E = EOleError>
    E Failure(const TCallArgument& argument = {})
    {
        return Caught<E>([&] { LateBoundGet(target, L"Member", TCallKind::Method, argument); });
    }
};

HRESULT STDAPICALLTYPE FillInLater(EXCEPINFO* record)
{
    record->bstrDescription = SysAllocString(L"Filled in later.");
    record->scode = E_FAIL;
    return S_OK;
}

EOleError InvalidTarget(const TAutomationValue& target)
{
    return Caught<EOleError>([&] { LateBoundGet(target, L"Categories", TCallKind::Method); });
}

}  // namespace

TEST_F(LateBound, TargetMustHoldAnObject)
{
    EXPECT_EQ(InvalidTarget(TAutomationValue()).Message(), L"Invalid variant operation");
    EXPECT_EQ(InvalidTarget(TAutomationValue(5L)).Message(), L"Invalid variant operation");
    EXPECT_EQ(InvalidTarget(TAutomationValue(std::wstring_view(L"x"))).Message(), L"Invalid variant operation");
    TAutomationValue nullObject;
    VARIANT* raw = nullObject.receive();
    raw->vt = VT_DISPATCH;  // with a null pointer: no object to call
    raw->pdispVal = nullptr;
    EXPECT_EQ(InvalidTarget(nullObject).Message(), L"Invalid variant operation");

    IDispatch* pointer = &server;
    TAutomationValue byRef;
    byRef.receive()->vt = VT_BYREF | VT_DISPATCH;
    const_cast<VARIANT&>(byRef.get()).ppdispVal = &pointer;
    LateBoundGet(byRef, L"Count", TCallKind::Method);
    EXPECT_EQ(server.calls.size(), 1u);
}

TEST_F(LateBound, LooksTheNameUpOnEveryCall)
{
    LateBoundGet(target, L"Count", TCallKind::Method);
    LateBoundGet(target, L"Count", TCallKind::Method);
    ASSERT_EQ(server.lookups.size(), 2u);
    for (const auto& lookup : server.lookups) {
        EXPECT_EQ(lookup.name, L"Count");
        EXPECT_TRUE(lookup.iidNull);
        EXPECT_EQ(lookup.count, 1u);
        EXPECT_EQ(lookup.locale, GetThreadLocale());
    }
    for (const auto& call : server.calls) {
        EXPECT_EQ(call.id, 7);
        EXPECT_TRUE(call.iidNull);
        EXPECT_EQ(call.locale, 0u);
        EXPECT_TRUE(call.excepInfoPassed);
        EXPECT_FALSE(call.argErrorPassed);
        EXPECT_EQ(call.namedCount, 0u);
    }
}

TEST_F(LateBound, KindsAndArguments)
{
    LateBoundGet(target, L"Version", TCallKind::Method);
    LateBoundGet(target, L"GetNamespace", TCallKind::Method, std::wstring_view(L"MAPI"));
    LateBoundCall(target, L"Add", TCallKind::Method, std::wstring_view(L" Ж\0名 ", 5), nullptr);
    LateBoundCall(target, L"Refresh", TCallKind::Method, {}, nullptr);
    LateBoundGet(target, L"Item", TCallKind::PropertyGet, std::int32_t{-3});
    LateBoundCall(target, L"Color", TCallKind::PropertyPut, std::int32_t{8}, nullptr);
    ASSERT_EQ(server.calls.size(), 6u);

    const auto& version = server.calls[0];
    EXPECT_EQ(version.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(version.argumentCount, 0u);
    EXPECT_TRUE(version.resultPassed);

    const auto& getNamespace = server.calls[1];
    EXPECT_EQ(getNamespace.flags, DISPATCH_METHOD);
    EXPECT_EQ(getNamespace.argumentType, VT_BSTR);
    EXPECT_EQ(getNamespace.text, L"MAPI");

    const auto& add = server.calls[2];
    EXPECT_EQ(add.flags, DISPATCH_METHOD);
    EXPECT_EQ(add.text, std::wstring(L" Ж\0名 ", 5));
    EXPECT_FALSE(add.resultPassed);

    EXPECT_EQ(server.calls[3].flags, DISPATCH_METHOD);

    const auto& item = server.calls[4];
    EXPECT_EQ(item.flags, DISPATCH_PROPERTYGET);
    EXPECT_EQ(item.argumentType, VT_I4);
    EXPECT_EQ(item.number, -3);
    EXPECT_EQ(item.namedCount, 0u);

    // IDispatch takes a property's new value only as the named argument DISPID_PROPERTYPUT.
    const auto& put = server.calls[5];
    EXPECT_EQ(put.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(put.argumentCount, 1u);
    EXPECT_EQ(put.namedCount, 1u);
    EXPECT_EQ(put.namedId, DISPID_PROPERTYPUT);
    EXPECT_EQ(put.number, 8);
    EXPECT_FALSE(put.resultPassed);
}

TEST_F(LateBound, ResultIsEmptiedBeforeTheCallAndHoldsTheAnswer)
{
    FakeDispatch previous;
    FakeDispatch answered;
    TAutomationValue result(&previous);
    LONG previousDuringCall = 0;
    server.answer = [&](VARIANT* out, EXCEPINFO*) {
        previousDuringCall = previous.references;
        answered.AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = &answered;
    };
    LateBoundCall(target, L"Item", TCallKind::PropertyGet, std::int32_t{1}, &result);
    EXPECT_EQ(previousDuringCall, 1);
    EXPECT_EQ(result.Object(), &answered);
    result.Clear();
    EXPECT_EQ(answered.references, 1);
    EXPECT_EQ(server.references, 2) << "the call keeps no reference to its target";
}

TEST_F(LateBound, ResultMayReplaceItsOwnTarget)
{
    FakeDispatch next;
    server.answer = [&](VARIANT* out, EXCEPINFO*) {
        next.AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = &next;
    };
    LateBoundCall(target, L"Parent", TCallKind::Method, {}, &target);
    EXPECT_EQ(target.Object(), &next);
    EXPECT_EQ(server.references, 1);
}

TEST_F(LateBound, UnknownNameAndFailureCodes)
{
    server.lookupResult = DISP_E_UNKNOWNNAME;
    EXPECT_EQ(Failure().Message(), L"Method 'Member' not supported by automation object");
    EXPECT_TRUE(server.calls.empty());

    server.lookupResult = E_ACCESSDENIED;
    const auto denied = Failure<EOleSysError>();
    EXPECT_EQ(denied.ErrorCode, E_ACCESSDENIED);
    EXPECT_EQ(denied.Message(), OleErrorText(E_ACCESSDENIED));

    server.lookupResult = S_OK;
    server.invokeResult = RPC_E_DISCONNECTED;
    const auto gone = Failure<EOleSysError>(std::wstring_view(L"arg"));
    EXPECT_EQ(gone.ErrorCode, RPC_E_DISCONNECTED);
    EXPECT_EQ(gone.Message(), OleErrorText(RPC_E_DISCONNECTED));

    // Any non-zero answer is a failure, S_FALSE included.
    server.invokeResult = S_FALSE;
    EXPECT_EQ(Failure<EOleSysError>().ErrorCode, S_FALSE);
}

TEST_F(LateBound, ServerExceptionCarriesTrimmedDescriptionSourceAndHelpFile)
{
    server.invokeResult = DISP_E_EXCEPTION;
    server.answer = [](VARIANT*, EXCEPINFO* info) {
        info->bstrSource = SysAllocString(L"Microsoft Outlook");
        info->bstrDescription = SysAllocString(L"Cannot add the category \u201cR\u00e9d\u201d.. \r\n\t");
        info->bstrHelpFile = SysAllocString(L"outlook.chm");
        info->scode = E_FAIL;
    };
    const auto e = Failure<EOleException>(std::wstring_view(L"Réd"));
    EXPECT_EQ(e.Message(), L"Cannot add the category \u201cR\u00e9d\u201d");
    EXPECT_EQ(e.Source, L"Microsoft Outlook");
    EXPECT_EQ(e.HelpFile, L"outlook.chm");
    EXPECT_EQ(e.ErrorCode, E_FAIL);
}

TEST_F(LateBound, ServerExceptionWithoutDescriptionUsesTheCodesText)
{
    server.invokeResult = DISP_E_EXCEPTION;
    server.answer = [](VARIANT*, EXCEPINFO* info) {
        info->bstrDescription = SysAllocString(L" . \r\n");
        info->scode = E_OUTOFMEMORY;
    };
    EXPECT_EQ(Failure<EOleException>().Message(), OleErrorText(E_OUTOFMEMORY));

    // A server may fill the record only when asked to.
    server.answer = [](VARIANT*, EXCEPINFO* info) {
        info->pfnDeferredFillIn = FillInLater;
    };
    EXPECT_EQ(Failure<EOleException>().Message(), L"Filled in later");
}

TEST_F(LateBound, FailedCallLeavesNoResult)
{
    FakeDispatch stray;
    server.invokeResult = E_FAIL;
    server.answer = [&](VARIANT* out, EXCEPINFO*) {
        stray.AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = &stray;
    };
    TAutomationValue result;
    EXPECT_THROW(LateBoundCall(target, L"Item", TCallKind::PropertyGet, std::int32_t{1}, &result), EOleSysError);
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_EQ(stray.references, 1);
}

TEST_F(LateBound, ABusyServerIsAskedAgainUntilItAnswers)
{
    server.busyLookups = 2;
    server.busyInvokes = 1;
    server.busyCode = RPC_E_SERVERCALL_RETRYLATER;
    server.answer = [](VARIANT* out, EXCEPINFO*) {
        out->vt = VT_I4;
        out->lVal = 5;
    };
    EXPECT_EQ(AutomationInt32(LateBoundGet(target, L"Count", TCallKind::Method)), 5);
    EXPECT_EQ(server.lookups.size(), 3u);
    EXPECT_EQ(server.calls.size(), 2u);
}

TEST_F(LateBound, PastTheWaitLimitTheBusyCodeIsTheFailure)
{
    struct TRestore {
        ~TRestore() { SetWaitLimitSeconds(kDefaultWaitSeconds); }
    } restore;
    server.busyLookups = 1000;
    SetWaitLimitSeconds(0);
    EXPECT_EQ(Failure<EOleSysError>().ErrorCode, RPC_E_CALL_REJECTED);
    EXPECT_EQ(server.lookups.size(), 1u) << "no wait at all";
    EXPECT_TRUE(server.calls.empty());

    // Only the two busy codes are worth waiting for.
    server.busyLookups = 0;
    server.lookups.clear();
    server.lookupResult = RPC_E_DISCONNECTED;
    EXPECT_EQ(Failure<EOleSysError>().ErrorCode, RPC_E_DISCONNECTED);
    EXPECT_EQ(server.lookups.size(), 1u);
}

TEST(OleErrorHint, OneHintForEachCauseTheUserCanMend)
{
    const std::wstring notInstalled = L"Classic Outlook (2007 to Microsoft 365) is not installed for this user. "
                                      L"The new Outlook for Windows cannot be used by other programs.";
    const std::wstring rights = L"Outlook and Pellorin are running with different rights, one of them as "
                                L"administrator. Start both the same way.";
    const std::wstring closed = L"Outlook was closed while Pellorin was working with it. Start Outlook, then ";
    const std::wstring busy = L"Outlook stayed busy for 60 seconds. If a dialog box is open in Outlook, close it, "
                              L"then try again.";
    const std::pair<HRESULT, std::wstring> windowHints[] = {
        {CO_E_CLASSSTRING, notInstalled},
        {REGDB_E_CLASSNOTREG, notInstalled},
        {CO_E_SERVER_EXEC_FAILURE, rights},
        {RPC_E_DISCONNECTED, closed + L"press Refresh."},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), closed + L"press Refresh."},
        {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), closed + L"press Refresh."},
        {RPC_E_CALL_REJECTED, busy},
        {RPC_E_SERVERCALL_RETRYLATER, busy},
        {E_FAIL, L""},
        {DISP_E_EXCEPTION, L""},
        {MK_E_UNAVAILABLE, L""},
    };
    for (const auto& [code, hint] : windowHints) {
        EXPECT_EQ(OleErrorHint(code, THintReader::Window), hint) << std::hex << code;
        const bool disconnect = hint.starts_with(closed);
        EXPECT_EQ(OleErrorHint(code, THintReader::Console),
                  disconnect ? closed + L"run PellorinSync again." : hint) << std::hex << code;
    }

    SetWaitLimitSeconds(2);
    EXPECT_EQ(OleErrorHint(RPC_E_CALL_REJECTED, THintReader::Console),
              L"Outlook stayed busy for 2 seconds. If a dialog box is open in Outlook, close it, then try again.");
    SetWaitLimitSeconds(kDefaultWaitSeconds);

    // Only a failure code of the platform's carries a hint, not a server's own exception.
    try {
        throw EOleException(L"Busy", RPC_E_CALL_REJECTED, L"", L"");
    } catch (...) {
        EXPECT_EQ(CurrentExceptionHint(THintReader::Window), L"");
    }
}

TEST(OleErrorText, TrimsTheSystemTextOrFallsBackToTheCode)
{
    const std::wstring text = OleErrorText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_FALSE(text.empty());
    EXPECT_GE(text.back(), L'!');
    EXPECT_NE(text.back(), L'.');
    EXPECT_EQ(OleErrorText(static_cast<HRESULT>(0xA0EE1234)), L"OLE error A0EE1234");
}

TEST(AutomationConversions, TextAndIntegerResults)
{
    EXPECT_EQ(AutomationText(TAutomationValue(std::wstring_view(L"Ζ\0x", 3))), std::wstring(L"Ζ\0x", 3));
    EXPECT_EQ(AutomationText(TAutomationValue()), L"");
    EXPECT_EQ(AutomationInt32(TAutomationValue(12L)), 12);
    TAutomationValue shortValue;
    shortValue.receive()->vt = VT_I2;
    const_cast<VARIANT&>(shortValue.get()).iVal = 3;
    EXPECT_EQ(AutomationInt32(shortValue), 3);
    EXPECT_THROW(AutomationInt32(TAutomationValue(std::wstring_view(L"many"))), EOleSysError);
}
