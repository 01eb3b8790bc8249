#pragma once
// What PellorinSync prints of a run: lines for people and simple scripts, or
// one JSON object that keeps every name exactly.

#include "cli/JsonText.h"
#include "cli/SyncCommandLine.h"
#include "cli/SyncRun.h"

#include <optional>
#include <string>
#include <string_view>

// Each line ends in CR LF. Every outside text (a name, a store's name,
// Outlook's reasons and version) shows as ShownOnLine shows it, so that none
// forges a line, drives a terminal or puts a NUL in a file. A copy that is no
// dry run printed its steps as they happened (TSyncStepPrinter): what follows
// them here is the rest, the summary line last.
std::wstring SyncPlainText(const TSyncRequest& request, const TSyncResult& result);

// The line of one step of a copy: "added to Outlook: NAME", "Outlook refused:
// NAME - REASON", "added to registry: NAME"; where lines name their stores,
// storeEntry is the store's entry name.
std::wstring CopyStepLine(const TCopyStep& step, const std::optional<std::wstring>& storeEntry);

// Prints each step of a copy the moment the copy tells of it, so that a log is
// true up to the moment a run was stopped. Over one store a name added to
// Outlook is printed once; with --all-stores over several, once per store.
class TSyncStepPrinter final : public TUnattendedUi {
public:
    // Nothing is printed without a writer (JSON prints one document at the end).
    TSyncStepPrinter(const TSyncRequest& request, const TProgramState& state, TSyncLineWriter write);
    void CopyStep(const TCopyStep& step) override;
    void RecolourStep(const TRecolourStep& step) override;

private:
    const TSyncRequest& request_;
    const TProgramState& state_;
    TSyncLineWriter write_;
    TCategorySet addedToOutlook_;
};

// What standard error shows of a failure: "PellorinSync: " and the message on
// one line, every outside text in it as ShownOnLine shows it; then the hint,
// if any, after a blank line. Every text from outside Pellorin that goes to
// standard error (Outlook's, the system's, Graph's, a file's) goes through this.
std::wstring SyncErrorText(std::wstring_view message, std::wstring_view hint = {});

// A note for people, for standard error so that what a script reads stays as
// it was: list's offer of the Microsoft 365 sign-in while nobody is signed in.
// Empty when there is nothing to say, with --json, or after a failure (its
// message says what to do).
std::wstring SyncNoteText(const TSyncRequest& request, const TSyncResult& result);

// SyncErrorText to standard error: every verb's one way of telling a failure.
void WriteSyncError(std::wstring_view message, std::wstring_view hint = {});

// One object on one line, its keys always present and in the README's order.
std::wstring SyncJsonText(const TSyncRequest& request, const TSyncResult& result);

// A message on one line, for standard error and JSON's "error": each line
// break (CR LF, LF or CR) becomes a space.
std::wstring OneLineMessage(std::wstring_view message);
