#include "MasterListText.h"

#include "MainUnit.h"
#include "base/Errors.h"
#include "base/UnicoWS.h"

namespace {

constexpr WORD kSpaceBit = C1_SPACE;  // 0x0008
constexpr WORD kControlBit = C1_CNTRL;  // 0x0020

// Skips delimiters (wanted == true) or non-delimiters from i on; i is 0-based.
std::size_t SkipWhile(std::wstring_view text, std::wstring_view delimiters, std::size_t i,
                      bool delimiter)
{
    while (i < text.size() && IsDelimiterChar(delimiters, text[i]) == delimiter)
        ++i;
    return i;
}

}  // namespace

bool IsDelimiterChar(std::wstring_view delimiters, wchar_t c)
{
    return delimiters.find(c) != std::wstring_view::npos;
}

int CountDelimitedWords(std::wstring_view text, std::wstring_view delimiters)
{
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        i = SkipWhile(text, delimiters, i, true);
        if (i < text.size())
            ++count;
        i = SkipWhile(text, delimiters, i, false);
    }
    return count;
}

bool FindWordStart(int n, std::wstring_view text, std::wstring_view delimiters,
                   std::size_t& position)
{
    std::size_t i = 0;
    int j = 0;
    while (i < text.size() && j != n) {
        i = SkipWhile(text, delimiters, i, true);
        if (i < text.size())
            ++j;
        if (j == n) {
            position = i + 1;
            return true;
        }
        i = SkipWhile(text, delimiters, i, false);
    }
    return false;
}

std::wstring ExtractDelimitedWord(int n, std::wstring_view text, std::wstring_view delimiters)
{
    std::size_t position = 0;
    if (!FindWordStart(n, text, delimiters, position))
        return {};
    const std::size_t start = position - 1;
    const std::size_t end = SkipWhile(text, delimiters, start, false);
    return std::wstring(text.substr(start, end - start));
}

WORD GetCharType1W(wchar_t c)
{
    WORD type = 0;
    BOOL ok = FALSE;
    if (IsWinNT) {
        ok = GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE1, &c, 1, &type);
    } else if (const GetStringTypeExWProc layer = UnicodeLayerGetStringTypeExW()) {
        ok = layer(LOCALE_USER_DEFAULT, CT_CTYPE1, &c, 1, &type);
    }
    if (!ok)
        throw EAssertionFailed(L"Assertion failure", L"Main", 115);
    return type;
}

bool IsBlankCharW(wchar_t c)
{
    return (GetCharType1W(c) & (kSpaceBit | kControlBit)) != 0;
}

const wchar_t* SkipLeadingBlanksW(const wchar_t* text, std::size_t count)
{
    const wchar_t* const end = text + count;
    while (text != end && IsBlankCharW(*text))
        ++text;
    return text;
}

std::size_t StripTrailingBlanksW(wchar_t* text, std::size_t count)
{
    while (count > 0 && IsBlankCharW(text[count - 1]))
        --count;
    if (count > 0)
        text[count] = L'\0';
    return count;
}

std::wstring TrimBlanksW(std::wstring_view text)
{
    const wchar_t* const begin = text.data() ? text.data() : L"";
    const wchar_t* q = SkipLeadingBlanksW(begin, text.size());
    std::wstring_view rest(q, text.size() - static_cast<std::size_t>(q - begin));
    std::wstring t(rest.substr(0, rest.find(L'\0')));
    const std::size_t n = StripTrailingBlanksW(t.data(), t.size());
    if (n != t.size())
        t.resize(n);
    return t;
}

TMasterListFit MasterListFit(std::wstring_view name)
{
    if (!IsAcceptedWord(name))
        return TMasterListFit::NeverAName;
    if (name.find_first_of(CategoryDelimiters) != std::wstring_view::npos)
        return TMasterListFit::HoldsDelimiter;
    return TMasterListFit::Fits;
}

bool IsAcceptedWord(std::wstring_view word)
{
    if (word.empty() || word.front() == L'\0')
        return false;
    // The trimmed text is non-empty exactly when some character is not blank:
    // the first such character starts it and is never U+0000.
    for (const wchar_t c : word) {
        if (!IsBlankCharW(c))
            return true;
    }
    return false;
}

void SplitMasterList(std::wstring_view text, std::wstring_view delimiters, TCategorySet& set)
{
    // Same words, same order of Add calls as counting the words and extracting
    // word 1..n, without rescanning the text for each word.
    std::size_t i = 0;
    while (i < text.size()) {
        i = SkipWhile(text, delimiters, i, true);
        if (i >= text.size())
            break;
        const std::size_t start = i;
        i = SkipWhile(text, delimiters, i, false);
        const std::wstring_view word = text.substr(start, i - start);
        if (IsAcceptedWord(word))
            set.Add(word);
    }
}

std::wstring JoinMasterList(const TCategorySet& set)
{
    std::wstring text;
    const int count = set.Count();
    for (int i = 0; i < count; ++i) {
        text += set.Get(i);
        text += L';';
    }
    return text;
}
