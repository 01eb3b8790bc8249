// What an Outlook store's Add makes of each way Outlook can answer it, over a
// store and its list played in-process: a name turned away is a refusal, and
// an Outlook that went during the call leaves the name's fate unknown.
#include "outlook/OleError.h"
#include "outlook/OutlookStores.h"

#include "FakeDispatch.h"

#include <gtest/gtest.h>

namespace {

struct TAddCase {
    HRESULT Answer;
    const wchar_t* Message;  // of what Add raises; none for a refusal
};

}  // namespace

TEST(OutlookStoreAdd, ARefusalIsTheNamesAndAnOutlookThatWentLeavesItsFateUnknown)
{
    const wchar_t* const unknown = L"Outlook was closed while adding Re\x1B[2Jd; it may or may not have been added";
    const TAddCase cases[] = {
        {RPC_E_DISCONNECTED, unknown},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), unknown},
        {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), unknown},
        {E_ACCESSDENIED, nullptr},
        {DISP_E_EXCEPTION, nullptr},
    };
    for (const TAddCase& test : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<unsigned long>(test.Answer));
        FakeDispatch list;
        list.invokeResult = test.Answer;
        list.answer = [](VARIANT*, EXCEPINFO* info) { info->bstrDescription = SysAllocString(L"Not allowed."); };
        FakeDispatch storeObject;
        storeObject.answer = [&list](VARIANT* result, EXCEPINFO*) {
            list.AddRef();
            result->vt = VT_DISPATCH;
            result->pdispVal = &list;
        };
        {
            TOutlookConnection connection;
            TOutlookStore store(connection, TAutomationValue(&storeObject), L"Mailbox", L"00A1");
            const std::wstring name = L"Re\x1B[2Jd";
            if (test.Answer == DISP_E_EXCEPTION) {
                const TAddOutcome outcome = store.Add(name, std::nullopt);
                EXPECT_FALSE(outcome.Added);
                EXPECT_EQ(outcome.Refusal, L"Not allowed");
            } else if (test.Message) {
                try {
                    store.Add(name, std::nullopt);
                    ADD_FAILURE() << "an Add whose fate is unknown said nothing";
                } catch (const EOleSysError& e) {
                    EXPECT_EQ(e.Message(), test.Message);
                    EXPECT_EQ(e.ErrorCode, test.Answer) << "the front ends still see that Outlook went";
                    EXPECT_FALSE(OleErrorHint(e.ErrorCode, THintReader::Console).empty());
                }
            } else {
                try {
                    store.Add(name, std::nullopt);
                    ADD_FAILURE() << "a failed Add said nothing";
                } catch (const EOleSysError& e) {
                    EXPECT_EQ(e.ErrorCode, test.Answer);
                    EXPECT_EQ(e.Message(), OleErrorText(test.Answer));
                }
            }
            EXPECT_EQ(store.Names().IndexOf(name), -1);
            store.EndCopy();
        }
        EXPECT_EQ(list.references, 1);
        EXPECT_EQ(storeObject.references, 1);
    }
}
