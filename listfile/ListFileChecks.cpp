// The checks every list file entry passes whatever the file's format, and the
// error a file is refused with.
#include "listfile/ListFileParts.h"

#include "base/Platform.h"
#include "categories/CategorySet.h"
#include "categories/MasterListText.h"

#include <cstdint>

namespace {

bool IsOutlookColorNumber(std::wstring_view text, std::int32_t& value)
{
    // "7" and "25", never "07" or "+7": the numbers as Outlook's object model
    // and a script print them.
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[0] == L'0'))
        return false;
    value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + (c - L'0');
    }
    return value <= TCategoryColor::kLastValue;
}

// Graph's spelling or Outlook's number; false for anything else.
bool ParseColor(std::wstring_view text, std::optional<TCategoryColor>& color)
{
    const std::wstring trimmed = TrimBlanksW(text);
    color.reset();
    if (trimmed.empty())
        return true;
    if ((color = TCategoryColor::FromGraphName(trimmed)))
        return true;
    std::int32_t value = 0;
    if (IsOutlookColorNumber(trimmed, value))
        color = TCategoryColor::FromOutlook(value);
    return color.has_value();
}

// Only a unit outside ASCII can have become "?", and every other unit is as
// it was: an export that lacks a letter changes nothing else.
bool IsMangledFrom(std::wstring_view name, std::wstring_view target)
{
    if (name.size() != target.size())
        return false;
    bool replaced = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == target[i])
            continue;
        if (name[i] != L'?' || target[i] < 0x80)
            return false;
        replaced = true;
    }
    return replaced;
}

}  // namespace

std::wstring ListFileLineText(std::wstring_view file, int line)
{
    return std::wstring(file) + L", line " + std::to_wstring(line) + L": ";
}

EListFileError::EListFileError(std::wstring_view file, int line, std::wstring_view what)
    : EException(ListFileLineText(file, line) + std::wstring(what)), file_(file), line_(line), what_(what)
{
}

void TListCollector::Fail(int line, std::wstring_view what) const
{
    throw EListFileError(file_, line, what);
}

void TListCollector::Warn(int line, std::wstring_view what)
{
    list_.Warnings.push_back({line, ListFileLineText(file_, line) + L"skipped: " + std::wstring(what)});
}

void TListCollector::Remark(int line, std::wstring_view what)
{
    list_.Remarks.push_back({line, ListFileLineText(file_, line) + std::wstring(what)});
}

bool TListCollector::TNameLess::operator()(const std::wstring& a, const std::wstring& b) const
{
    return CompareCategoryNames(a, b) < 0;
}

void TListCollector::Add(int line, std::wstring name, std::wstring_view colorText)
{
    if (++rows_ > kListFileMaxRows)
        Fail(line, L"the file has more than 100,000 rows, the most a category list may have");
    if (name.find(L'\0') != std::wstring::npos || colorText.find(L'\0') != std::wstring_view::npos)
        Fail(line, kEmbeddedNul);
    std::optional<TCategoryColor> color;
    if (!ParseColor(colorText, color))
        Fail(line, L"unknown colour \"" + std::wstring(colorText) +
                       L"\" (a colour is none, preset0 to preset24, or a number from 0 to 25)");
    if (TrimBlanksW(name).empty()) {
        Warn(line, L"the name is blank");
        return;
    }
    const auto [first, inserted] = firstLines_.try_emplace(name, line);
    if (!inserted) {
        Warn(line, L"\"" + name + L"\" is already on line " + std::to_wstring(first->second));
        return;
    }
    list_.Entries.push_back({std::move(name), color, line});
}

std::vector<std::wstring> MangledNameWarnings(std::wstring_view file, const std::vector<TListFileEntry>& entries,
                                              const std::vector<std::wstring>& targetNames)
{
    TCategorySet held;
    for (const std::wstring& name : targetNames)
        held.Add(name);
    std::vector<std::wstring> warnings;
    for (const TListFileEntry& entry : entries) {
        // A name the target holds already adds nothing, mangled or not.
        if (entry.Name.find(L'?') == std::wstring::npos || held.IndexOf(entry.Name) != -1)
            continue;
        for (const std::wstring& target : targetNames) {
            if (!IsMangledFrom(entry.Name, target))
                continue;
            warnings.push_back(ListFileLineText(file, entry.Line) + L"\"" + entry.Name + L"\" looks like \"" +
                               target +
                               L"\" with its letters outside ASCII turned into \"?\" by an export that could not "
                               L"hold them; it would be added beside it. Export the list again in UTF-8 (Windows "
                               L"PowerShell 5.1: Export-Csv -Encoding UTF8)");
            break;
        }
    }
    return warnings;
}
