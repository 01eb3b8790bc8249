#pragma once
// Text from outside Pellorin (a category name, a store's name, Outlook's or the
// system's error text) as the window and the console show it. Characters that
// could end, split, forge or reorder what is around them show as U+FFFD: the
// controls U+0000 to U+001F, U+007F and U+0080 to U+009F (text controls and
// consoles stop at U+0000, a line break forges a line, ESC and CSI drive a
// terminal), and U+2028 and U+2029, which other readers take as line ends.
// JSON never goes through these: it keeps every text exact.

#include <string>
#include <string_view>

// A name in a memo, where it stands on a line of its own. Direction marks and
// overrides stay: a name in Arabic or Hebrew may need them, and the line ends
// with the name.
std::wstring ShownInMemo(std::wstring_view text);

// Outside text on a line beside Pellorin's own words: the console's lines and
// standard error, a box, the store chooser. The direction embeddings,
// overrides and isolates (U+202A to U+202E, U+2066 to U+2069) show as U+FFFD
// too, since they could make the rest of the line read backwards.
std::wstring ShownOnLine(std::wstring_view text);

// A message of several lines (the error box): each line as ShownOnLine shows
// it, its own line breaks (CR and LF) kept.
std::wstring ShownLineByLine(std::wstring_view text);
