#include "FakeDispatch.h"
#include "outlook/AutomationValue.h"

#include <gtest/gtest.h>

TEST(AutomationValue, HoldsExactlyOneReferencePerValue)
{
    FakeDispatch object;
    {
        TAutomationValue a(&object);
        EXPECT_EQ(object.references, 2);
        TAutomationValue b(a);
        EXPECT_EQ(object.references, 3);
        TAutomationValue c;
        c = b;
        EXPECT_EQ(object.references, 4);
        c = c;  // self-assignment keeps its one reference
        EXPECT_EQ(object.references, 4);
        TAutomationValue d(std::move(c));
        EXPECT_TRUE(c.IsEmpty());
        EXPECT_EQ(object.references, 4);
        b.Clear();
        EXPECT_TRUE(b.IsEmpty());
        EXPECT_EQ(object.references, 3);
    }
    EXPECT_EQ(object.references, 1);
}

TEST(AutomationValue, AssigningOrReceivingReleasesWhatWasHeld)
{
    FakeDispatch first;
    FakeDispatch second;
    TAutomationValue value(&first);
    value = TAutomationValue(&second);
    EXPECT_EQ(first.references, 1);
    EXPECT_EQ(second.references, 2);
    value = TAutomationValue(std::wstring_view(L"text"));
    EXPECT_EQ(second.references, 1);
    EXPECT_EQ(value.Type(), VT_BSTR);

    value = TAutomationValue(&first);
    VARIANT* out = value.receive();
    EXPECT_EQ(first.references, 1);
    EXPECT_EQ(out->vt, VT_EMPTY);
}

TEST(AutomationValue, ObjectFollowsReferencesAndRejectsOtherKinds)
{
    FakeDispatch object;
    IDispatch* pointer = &object;
    TAutomationValue byRef;
    byRef.receive()->vt = VT_BYREF | VT_DISPATCH;
    const_cast<VARIANT&>(byRef.get()).ppdispVal = &pointer;
    EXPECT_EQ(byRef.Object(), &object);
    byRef.Clear();
    EXPECT_EQ(object.references, 1) << "a by-reference value owns nothing";

    EXPECT_EQ(TAutomationValue().Object(), nullptr);
    EXPECT_EQ(TAutomationValue(42L).Object(), nullptr);
    EXPECT_EQ(TAutomationValue(std::wstring_view(L"Outlook")).Object(), nullptr);
    EXPECT_EQ(TAutomationValue(static_cast<IDispatch*>(nullptr)).Object(), nullptr);
}

TEST(ComOwners, PointerCopiesAddReferencesAndBstrKeepsWholeText)
{
    FakeDispatch object;
    {
        TComPtr<IDispatch> a(&object);
        TComPtr<IDispatch> b = a;
        EXPECT_EQ(object.references, 3);
        b = TComPtr<IDispatch>();
        EXPECT_EQ(object.references, 2);
    }
    EXPECT_EQ(object.references, 1);

    const std::wstring text(L"A\0B", 3);
    const UniqueBstr bstr = UniqueBstr::FromText(text);
    EXPECT_EQ(bstr.view(), text);
    EXPECT_EQ(UniqueBstr().view(), L"");
}
