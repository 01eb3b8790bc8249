// An Outlook store's key is its StoreID: hex whose letter case Outlook does
// not keep from one object to the next, so the same store may answer in
// another case than the default store did, or than the last Refresh read.
#include "outlook/OutlookStores.h"

#include <gtest/gtest.h>

TEST(OutlookStoreKey, AStoreIdInAnotherLetterCaseIsTheSameStore)
{
    const std::wstring id = L"0000000038A1BB1005E5101AA1BB08002B2A56C2000000AB";
    std::wstring lower = id;
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(towlower(c));
    TOutlookConnection connection;
    const TOutlookStore store(connection, TAutomationValue(), L"Mailbox", id);
    const auto keyOf = [&](const std::wstring& storeId) {
        return TOutlookStore(connection, TAutomationValue(), L"Mailbox", storeId).Key();
    };
    EXPECT_EQ(store.Key(), id);
    EXPECT_EQ(keyOf(id), store.Key());
    EXPECT_EQ(keyOf(lower), store.Key());
    EXPECT_NE(keyOf(id.substr(0, id.size() - 1) + L"C"), store.Key());
    EXPECT_NE(keyOf(id + L"00"), store.Key());

    // The default store is the first whose StoreID is the one DefaultStore gave.
    const std::vector<std::wstring> ids = {L"00AA", L"00ab", L"00AB"};
    const std::pair<std::wstring, std::size_t> defaults[] = {
        {L"00AB", 1}, {L"00ab", 1}, {L"00aa", 0}, {L"00Ac", 0} /* none: the first stands in */};
    for (const auto& [defaultId, position] : defaults)
        EXPECT_EQ(DefaultStorePosition(ids, defaultId), position) << ToUtf8(defaultId);
}
