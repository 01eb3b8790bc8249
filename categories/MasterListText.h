#pragma once
// Master list text: category names separated by ";", as a MasterList value holds
// them. Texts are counted: a U+0000 inside one does not end it.

#include "CategorySet.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

// Word routines. A word is a maximal run of non-delimiters; positions are 1-based.
bool IsDelimiterChar(std::wstring_view delimiters, wchar_t c);
int CountDelimitedWords(std::wstring_view text, std::wstring_view delimiters);
bool FindWordStart(int n, std::wstring_view text, std::wstring_view delimiters,
                   std::size_t& position);
std::wstring ExtractDelimitedWord(int n, std::wstring_view text, std::wstring_view delimiters);

// Blank routines. A blank is a character whose CTYPE1 class has the space or
// the control bit, U+0000 included.
// Raises EAssertionFailed "Assertion failure (Main, line 115)" when the
// platform cannot classify the character.
WORD GetCharType1W(wchar_t c);
bool IsBlankCharW(wchar_t c);
const wchar_t* SkipLeadingBlanksW(const wchar_t* text, std::size_t count);
// Writes U+0000 after the kept characters when any are kept, so the buffer
// needs room for one unit past count.
std::size_t StripTrailingBlanksW(wchar_t* text, std::size_t count);
std::wstring TrimBlanksW(std::wstring_view text);

// A word becomes a name when its first character is not U+0000 and it holds a
// character that is not blank. The untrimmed word is what is stored.
bool IsAcceptedWord(std::wstring_view word);

// Whether a master list can hold a name so that it reads back as itself. A
// blank name, or one starting with U+0000, reads back as no name at all; one
// holding a delimiter reads back as two. Neither could ever be found in the
// list again, so every copy would add it once more.
enum class TMasterListFit { Fits, NeverAName, HoldsDelimiter };
TMasterListFit MasterListFit(std::wstring_view name);

// Adds every accepted word of text to set, in word order. One pass over the text.
void SplitMasterList(std::wstring_view text, std::wstring_view delimiters, TCategorySet& set);

// Every name of the set in set order, each followed by ";".
std::wstring JoinMasterList(const TCategorySet& set);
