#pragma once
// What PellorinSync prints of a run: lines for people and simple scripts, or
// one JSON object that keeps every name exactly.

#include "cli/SyncCommandLine.h"
#include "cli/SyncRun.h"

#include <string>
#include <string_view>

// Each line ends in CR LF. Every outside text (a name, a store's name,
// Outlook's reasons and version) shows as ShownOnLine shows it, so that none
// forges a line, drives a terminal or puts a NUL in a file.
std::wstring SyncPlainText(const TSyncRequest& request, const TSyncResult& result);

// One object on one line, its keys always present and in the README's order.
std::wstring SyncJsonText(const TSyncRequest& request, const TSyncResult& result);

// A message on one line, for standard error and JSON's "error": each line
// break (CR LF, LF or CR) becomes a space.
std::wstring OneLineMessage(std::wstring_view message);

// A JSON string, quotes included. A lone surrogate is written as \uXXXX, as
// UTF-8 cannot carry it; so are U+2028 and U+2029, for JavaScript's readers.
std::wstring JsonString(std::wstring_view text);
