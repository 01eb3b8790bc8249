// The store choice in-process: the chooser's entries and how they are
// numbered, what "All stores" is, which entry stays chosen across a Refresh,
// and a copy's report, which names its stores by their keys, read against
// stores that came back in another order and with their keys in another case.
#include "InProcessTest.h"

#include "categories/ShownText.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

class StoreChoiceTest : public InProcessTest {
protected:
    void Refresh() { BtnReadCategoriesClick(state_, ui_); }
};

// Outlook gives its StoreIDs in whichever letter case, and may list its
// stores in another order on the next read.
void ShuffleKeysAndOrder(TFakeSource& source)
{
    for (const auto& store : source.Stores) {
        for (wchar_t& c : store->Key)
            c = static_cast<wchar_t>(iswupper(c) ? towlower(c) : towupper(c));
    }
    std::reverse(source.Stores.begin(), source.Stores.end());
}

TEST_F(StoreChoiceTest, EntriesNumberNamesThatRepeatIgnoringCaseAndTheChooserEndsWithAllStores)
{
    source_.AddStore(L"00A1", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}));
    source_.AddStore(L"00A2", L"archive");
    source_.AddStore(L"00A3", L"Mailbox").Unreadable = L"Not connected";
    source_.AddStore(L"00A4", L"ARCHIVE");
    source_.AddStore(L"00A5", L"\x00C4rchiv");
    source_.AddStore(L"00A6", L"\x00E4rchiv");
    Refresh();

    EXPECT_EQ(StoreEntryNames(state_),
              (std::vector<std::wstring>{L"Archive", L"archive (2)", L"Mailbox", L"ARCHIVE (3)", L"\x00C4rchiv",
                                         L"\x00E4rchiv (2)"}));
    EXPECT_EQ(ui_.StoreChoices, (std::vector<std::wstring>{L"Archive", L"archive (2)", L"Mailbox (could not be read)",
                                                           L"ARCHIVE (3)", L"\x00C4rchiv", L"\x00E4rchiv (2)",
                                                           L"All stores"}));
    EXPECT_EQ(ui_.ChosenEntry, 0);
    EXPECT_EQ(StoreOfEntryName(state_, L"ARCHIVE (2)"), 1u);
    EXPECT_EQ(StoreOfEntryName(state_, L"archive"), 0u);
    EXPECT_EQ(StoreOfEntryName(state_, L"Archive (4)"), std::nullopt);

    // The last entry is "All stores", whatever the window counts.
    ChooseChooserEntry(state_, ui_, 6);
    EXPECT_TRUE(IsAllStores(state_));
    EXPECT_EQ(ChooserEntryOfChoice(state_), 6);
    EXPECT_EQ(ChosenStores(state_), (std::vector<std::size_t>{0, 1, 3, 4, 5})) << "every readable store";
    ChooseChooserEntry(state_, ui_, 2);
    EXPECT_FALSE(ChosenStoreReadable(state_));
    EXPECT_EQ(UnreadableChosenStore(state_), 2u);
    EXPECT_EQ(ui_.MemoPst, L"Not connected") << "why it could not be read, in its place";
    ui_.Answers = {true};
    EXPECT_THROW(BtnTAVtoOLClick(state_, ui_), EException);
    EXPECT_TRUE(ui_.Asked.empty());
}

// A number goes to a repeated name only where no other entry holds the
// numbered name, whether Outlook or the numbering gave it; names go by how
// the chooser shows them.
TEST_F(StoreChoiceTest, EveryEntryNameIsUniqueAsShownAndNamesItsOwnStore)
{
    struct TCase {
        std::vector<std::wstring> DisplayNames;
        std::vector<std::wstring> Entries;
    };
    const TCase cases[] = {
        {{L"Main", L"Main", L"Main (2)"}, {L"Main", L"Main (3)", L"Main (2)"}},
        {{L"Main (2)", L"Main", L"Main"}, {L"Main (2)", L"Main", L"Main (3)"}},
        {{L"Main", L"main", L"Main (2)", L"MAIN (3)"}, {L"Main", L"main (4)", L"Main (2)", L"MAIN (3)"}},
        {{L"Main (2)", L"Main (2)", L"Main"}, {L"Main (2)", L"Main (2) (2)", L"Main"}},
        {{L"", L""}, {L"(no name)", L"(no name) (2)"}},
        {{L"(No Name)", L"", L"(no name) (2)"}, {L"(No Name)", L"(no name) (3)", L"(no name) (2)"}},
        {{L"\x00C4rchiv", L"\x00E4rchiv", L"Stra\x00DF" L"e", L"Strasse"},
         {L"\x00C4rchiv", L"\x00E4rchiv (2)", L"Stra\x00DF" L"e", L"Strasse"}},
        // Alike once shown: a tab, a line break and U+FFFD itself all show as U+FFFD.
        {{L"A\tB", L"A\nB", L"A\xFFFD" L"B"}, {L"A\tB", L"A\nB (2)", L"A\xFFFD" L"B (3)"}},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(ToUtf8(test.Entries.back()));
        source_.Stores.clear();
        for (std::size_t i = 0; i < test.DisplayNames.size(); ++i)
            source_.AddStore(L"00A" + std::to_wstring(i), test.DisplayNames[i]);
        Refresh();
        EXPECT_EQ(StoreEntryNames(state_), test.Entries);
        for (std::size_t i = 0; i < test.Entries.size(); ++i) {
            EXPECT_EQ(StoreOfEntryName(state_, test.Entries[i]), i);
            EXPECT_EQ(StoreOfEntryName(state_, ShownOnLine(test.Entries[i])), i) << "as the chooser shows it";
            EXPECT_EQ(ui_.StoreChoices.at(i), ShownOnLine(test.Entries[i]));
        }
    }
    // Typed with other characters that the chooser shows alike.
    EXPECT_EQ(StoreOfEntryName(state_, L"a\x0001" L"b (2)"), 1u);
    EXPECT_EQ(StoreOfEntryName(state_, L"a\x202E" L"b"), 0u);
    EXPECT_EQ(StoreOfEntryName(state_, L"AB"), std::nullopt);
}

// Every box and the chooser show a store's name, a store's error and
// Outlook's reason through the line rule: none forges a line or turns one round.
TEST_F(StoreChoiceTest, OutsideTextInTheChooserAndEveryBoxShowsByTheLineRule)
{
    using namespace std::string_literals;
    const std::wstring shown = L"a\xFFFD" L"b";
    for (const wchar_t c : {L'\0', L'\t', L'\r', L'\n', L'\x1B', L'\x85', L'\x9B', L'\x2028', L'\x2029', L'\x202E',
                            L'\x2066'}) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c));
        const std::wstring text = L"a"s + c + L"b";
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;S;"));
        source_.Stores.clear();
        source_.AddStore(L"00A1", L"Main" + text).Refusals[L"S"] = L"No" + text;
        source_.AddStore(L"00A2", L"Other", std::make_shared<TFakeList>(std::vector<std::wstring>{L"X;Y" + text}));
        source_.AddStore(L"00A3", L"Gone" + text).Unreadable = L"Denied" + text;
        Refresh();
        EXPECT_EQ(ui_.StoreChoices, (std::vector<std::wstring>{L"Main" + shown, L"Other",
                                                               L"Gone" + shown + L" (could not be read)",
                                                               L"All stores"}));
        ChooseStore(state_, ui_, 2);
        EXPECT_EQ(ui_.MemoPst, L"Denied" + shown);
        ChooseStore(state_, ui_, kAllStores);
        EXPECT_EQ(ui_.MemoPst, L"X;Y" + ShownInMemo(text) + L"  (not in: Main" + shown + L")\r\n");

        ui_.Answers = {true};
        ui_.Informed.clear();
        BtnSyncOLandTAVClick(state_, ui_);
        EXPECT_EQ(ui_.Informed,
                  (std::vector<std::wstring>{
                      L"These stores could not be read, so nothing was copied to or from them:\nGone" + shown,
                      L"Outlook refused these categories, so they were not added to Outlook:\nS (Main" + shown +
                          L") - No" + shown,
                      L"These categories contain \";\", which the registry's master list cannot hold, so they were "
                      L"not copied to the registry:\nX;Y" + shown}));
    }
}

TEST_F(StoreChoiceTest, AStoreWithoutAName)
{
    // Outlook 2007, and the one store the window does not ask the name of.
    source_.AddStore(L"", std::nullopt, std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}));
    Refresh();
    EXPECT_TRUE(ui_.StoreChoices.empty()) << "no chooser for one store";
    EXPECT_TRUE(NamedStoreEntries(state_).empty());
    EXPECT_EQ(StoreOfEntryName(state_, L""), std::nullopt) << "a script cannot name it";
    EXPECT_EQ(ChosenStores(state_), std::vector<std::size_t>{0});
    EXPECT_TRUE(ChosenStoreReadable(state_));
}

TEST_F(StoreChoiceTest, TheChoiceOutlivesARefreshThatReadsTheStoresInAnotherOrderAndCase)
{
    source_.AddStore(L"00ab01", L"Mailbox", std::make_shared<TFakeList>(std::vector<std::wstring>{L"M"}));
    source_.AddStore(L"00ab02", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}));
    source_.AddStore(L"00ab03", L"Shared", std::make_shared<TFakeList>(std::vector<std::wstring>{L"S"}));
    Refresh();
    ChooseStore(state_, ui_, 1);
    ShuffleKeysAndOrder(source_);
    Refresh();
    EXPECT_EQ(state_.ChosenStore, 1) << "Archive is in the middle still";
    EXPECT_EQ(ui_.MemoPst, L"A\r\n");
    ChooseStore(state_, ui_, 2);
    ShuffleKeysAndOrder(source_);
    Refresh();
    EXPECT_EQ(state_.ChosenStore, 0) << "Mailbox, first again";
    EXPECT_EQ(ui_.ChosenEntry, 0);
    ChooseStore(state_, ui_, kAllStores);
    Refresh();
    EXPECT_TRUE(IsAllStores(state_));
    EXPECT_EQ(ui_.ChosenEntry, 3);

    // Fewer than two readable stores: the default store, and no chooser.
    source_.Stores[1]->Unreadable = L"gone";
    source_.Stores[2]->Unreadable = L"gone";
    Refresh();
    EXPECT_EQ(state_.ChosenStore, 0);
    EXPECT_TRUE(ui_.StoreChoices.empty());
}

// A source that wants the chooser (Microsoft 365, configured) shows it for a
// profile of one store, with its pending entry (the sign-in) after every
// store and before "All stores"; the pending entry is never a choice.
TEST_F(StoreChoiceTest, APendingEntryStandsAfterTheStoresAndIsNeverChosen)
{
    TFakeSource mailbox;
    state_.ChooserWanted = true;
    state_.PendingEntries = {{1, L"Sign in\r\nnow"}};
    state_.Sources = {&source_, &mailbox};
    source_.AddStore(L"00ab01", L"Mailbox", std::make_shared<TFakeList>(std::vector<std::wstring>{L"M"}));
    Refresh();
    EXPECT_EQ(ui_.StoreChoices, (std::vector<std::wstring>{L"Mailbox", L"Sign in\xFFFD\xFFFDnow"}))
        << "no \"All stores\" for one readable store";
    EXPECT_EQ(ui_.ChosenEntry, 0);
    EXPECT_EQ(SourceOfChooserEntry(state_, 1), 1u);
    EXPECT_EQ(SourceOfChooserEntry(state_, 0), std::nullopt);
    EXPECT_EQ(SourceOfChooserEntry(state_, 2), std::nullopt);
    ChooseChooserEntry(state_, ui_, 1);
    EXPECT_EQ(state_.ChosenStore, 0) << "the pending entry leaves the choice as it was";
    EXPECT_EQ(ui_.MemoPst, L"M\r\n");

    // Two readable stores: "All stores" comes last, after the pending entry.
    source_.AddStore(L"00ab02", L"Archive");
    Refresh();
    ASSERT_EQ(ui_.StoreChoices.size(), 4u);
    EXPECT_EQ(ui_.StoreChoices[3], L"All stores");
    ChooseChooserEntry(state_, ui_, 3);
    EXPECT_TRUE(IsAllStores(state_));
    EXPECT_EQ(ChooserEntryOfChoice(state_), 3);
    EXPECT_EQ(ChosenStores(state_), (std::vector<std::size_t>{0, 1})) << "the pending entry is no store";

    // No store at all: nothing stands chosen, so that choosing the pending entry is heard.
    source_.Stores.clear();
    Refresh();
    EXPECT_EQ(ui_.StoreChoices, std::vector<std::wstring>{L"Sign in\xFFFD\xFFFDnow"});
    EXPECT_EQ(ui_.ChosenEntry, -1);
    EXPECT_EQ(SourceOfChooserEntry(state_, 0), 1u);

    // Configured no more: the window is as it was.
    state_.ChooserWanted = false;
    state_.PendingEntries.clear();
    source_.AddStore(L"00ab01", L"Mailbox");
    Refresh();
    EXPECT_TRUE(ui_.StoreChoices.empty());
}

// Choosing the sign-in's entry starts a sign-in that may be cancelled: the
// store (or "All stores") chosen before must still be the one a copy goes to.
TEST_F(StoreChoiceTest, ChoosingThePendingEntryKeepsAnotherStoreOrAllStoresChosen)
{
    TFakeSource mailbox;
    state_.ChooserWanted = true;
    state_.PendingEntries = {{1, L"Sign in"}};
    state_.Sources = {&source_, &mailbox};
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;"));
    const auto first = std::make_shared<TFakeList>(std::vector<std::wstring>{L"M"});
    const auto second = std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"});
    source_.AddStore(L"00ab01", L"Mailbox", first);
    source_.AddStore(L"00ab02", L"Archive", second);
    Refresh();
    ASSERT_EQ(ui_.StoreChoices, (std::vector<std::wstring>{L"Mailbox", L"Archive", L"Sign in", L"All stores"}));

    ChooseChooserEntry(state_, ui_, 1);
    ChooseChooserEntry(state_, ui_, 2);
    EXPECT_EQ(state_.ChosenStore, 1) << "not reset to the first store";
    EXPECT_EQ(ChooserEntryOfChoice(state_), 1);
    EXPECT_EQ(ui_.MemoPst, L"A\r\n");
    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(second->Names, (std::vector<std::wstring>{L"A", L"R"}));
    EXPECT_EQ(first->Names, std::vector<std::wstring>{L"M"}) << "the copy went to the store the user chose";

    ChooseChooserEntry(state_, ui_, 3);
    ChooseChooserEntry(state_, ui_, 2);
    EXPECT_TRUE(IsAllStores(state_));
    EXPECT_EQ(ChooserEntryOfChoice(state_), 3);
}

// What was added, and what was refused, goes by the store's key: after the
// copy's closing Refresh the stores stand elsewhere and their keys may read
// in another case.
TEST_F(StoreChoiceTest, TheReportFindsItsStoresAfterTheClosingRefresh)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;S;"));
    source_.AddStore(L"00ab01", L"Mailbox", std::make_shared<TFakeList>(std::vector<std::wstring>{L"M"}));
    TFakeStoreSetup& archive =
        source_.AddStore(L"00ab02", L"Archive", std::make_shared<TFakeList>(std::vector<std::wstring>{L"A"}));
    archive.Refusals[L"S"] = L"The name is too long";
    Refresh();
    ChooseStore(state_, ui_, kAllStores);
    source_.BeforeRead = ShuffleKeysAndOrder;

    ui_.Answers = {true};
    TCopyReport report;
    RunCopy(state_, ui_, TCopyDirection::RegistryToStore, report);

    ASSERT_EQ(state_.Stores.size(), 2u);
    ASSERT_EQ(state_.Stores[0]->DisplayName(), L"Archive");
    EXPECT_EQ(NamesAddedTo(report.AddedToStores, *state_.Stores[0]), (std::vector<std::wstring>{L"R"}));
    EXPECT_EQ(NamesAddedTo(report.AddedToStores, *state_.Stores[1]), (std::vector<std::wstring>{L"R", L"S"}));
    EXPECT_EQ(EntryNameOfKey(state_, report.RefusedByStore.at(0).StoreKey), L"Archive");
    EXPECT_EQ(ui_.Informed, std::vector<std::wstring>{L"Outlook refused these categories, so they were not added "
                                                      L"to Outlook:\nS (Archive) - The name is too long"});
}

}  // namespace
