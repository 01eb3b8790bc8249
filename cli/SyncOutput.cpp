#include "cli/SyncOutput.h"

#include "base/CodePage.h"
#include "categories/ShownText.h"
#include "outlook/OutlookConnection.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

const wchar_t* ShortEscape(wchar_t c)
{
    switch (c) {
    case L'"': return L"\\\"";
    case L'\\': return L"\\\\";
    case L'\b': return L"\\b";
    case L'\f': return L"\\f";
    case L'\n': return L"\\n";
    case L'\r': return L"\\r";
    case L'\t': return L"\\t";
    default: return nullptr;
    }
}

void AppendLines(std::wstring& text, std::wstring_view prefix, const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names)
        text += std::wstring(prefix) + ShownOnLine(name) + kLineEnd;
}

std::wstring VersionLine(const TSyncResult& result)
{
    const std::wstring text = DetectedVersionText(result.OutlookMajorVersion, result.OutlookVersion);
    if (OutlookVersionText(result.OutlookMajorVersion).empty())
        return ShownOnLine(text);
    return ShownOnLine(text + L" (" + result.OutlookVersion + L")");
}

// With "All stores" over several stores, each line says which store it is about.
bool NamesStores(const TSyncRequest& request, const TSyncResult& result)
{
    return request.AllStores && result.Stores.size() > 1;
}

std::wstring StoreLabel(const TSyncStore& store)
{
    return L"Outlook (" + ShownOnLine(store.Name.value_or(L"")) + L")";
}

std::wstring UnreadableLine(const TSyncStore& store)
{
    return StoreLabel(store) + L" could not be read: " + ShownOnLine(store.Error.value_or(L"")) + kLineEnd;
}

// The lines of names added to Outlook, and how many there are.
std::size_t AppendOutlookLines(std::wstring& text, const TSyncRequest& request, const TSyncResult& result)
{
    const wchar_t* const verb = request.DryRun ? L"would add to " : L"added to ";
    if (!NamesStores(request, result)) {
        AppendLines(text, verb + std::wstring(L"Outlook: "), result.AddedToOutlook);
        return result.AddedToOutlook.size();
    }
    std::size_t lines = 0;
    for (const TSyncStore& store : result.Stores) {
        AppendLines(text, (verb + StoreLabel(store) + L": "), store.AddedNames);
        lines += store.AddedNames.size();
    }
    return lines;
}

std::wstring Summary(const TSyncRequest& request, std::size_t toOutlook, const TSyncResult& result)
{
    const wchar_t* const added = request.DryRun ? L" would be added to " : L" added to ";
    std::wstring text;
    if (request.Verb != TSyncVerb::ToRegistry)
        text += std::to_wstring(toOutlook) + added + L"Outlook";
    if (request.Verb != TSyncVerb::ToOutlook) {
        if (!text.empty())
            text += L", ";
        text += std::to_wstring(result.AddedToRegistry.size()) + added + L"the registry";
    }
    return text + kLineEnd;
}

std::wstring JsonNames(const std::optional<std::vector<std::wstring>>& names)
{
    if (!names)
        return L"null";
    std::wstring text = L"[";
    for (const std::wstring& name : *names) {
        if (text.size() > 1)
            text += L',';
        text += JsonString(name);
    }
    return text + L"]";
}

std::wstring JsonBool(bool value)
{
    return value ? L"true" : L"false";
}

std::wstring JsonText(const std::optional<std::wstring>& text)
{
    return text ? JsonString(*text) : L"null";
}

std::wstring JsonStores(const std::vector<TSyncStore>& stores)
{
    std::wstring json = L"[";
    for (const TSyncStore& store : stores) {
        if (json.size() > 1)
            json += L',';
        json += L"{\"name\":" + JsonText(store.Name);
        json += L",\"default\":" + JsonBool(store.Default);
        json += L",\"readable\":" + JsonBool(store.Readable);
        json += L",\"error\":" + JsonText(store.Error);
        json += L",\"names\":" + JsonNames(store.Names);
        json += L",\"addedNames\":" + JsonNames(store.AddedNames) + L"}";
    }
    return json + L"]";
}

// The store's entry name, or null where Outlook gives its stores no names.
std::wstring JsonRefused(const std::vector<TSyncRefusal>& refused, const std::vector<TSyncStore>& stores)
{
    std::wstring text = L"[";
    for (const TSyncRefusal& name : refused) {
        if (text.size() > 1)
            text += L',';
        const std::optional<std::wstring> store =
            name.Store < stores.size() ? stores[name.Store].Name : std::optional<std::wstring>();
        text += L"{\"name\":" + JsonString(name.Name) + L",\"error\":" + JsonString(name.Error) +
                L",\"store\":" + JsonText(store) + L"}";
    }
    return text + L"]";
}

// As standard error shows it: the hint after a blank line.
std::optional<std::wstring> ErrorWithHint(const TSyncResult& result)
{
    if (!result.Error || result.ErrorHint.empty())
        return result.Error;
    return *result.Error + kLineEnd + kLineEnd + result.ErrorHint;
}

std::optional<std::wstring> WideMajor(const TSyncResult& result)
{
    if (!result.Connected)
        return std::nullopt;
    // The decision goes by the ANSI form of Outlook's version text.
    return FromCodePage(result.OutlookMajorVersion, CP_THREAD_ACP);
}

}  // namespace

std::wstring OneLineMessage(std::wstring_view message)
{
    std::wstring line;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == L'\r' && i + 1 < message.size() && message[i + 1] == L'\n')
            ++i;
        line += message[i] == L'\r' || message[i] == L'\n' ? L' ' : message[i];
    }
    return line;
}

std::wstring JsonString(std::wstring_view text)
{
    std::wstring json = L"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool paired = (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ||
                            (IsLowSurrogate(c) && i > 0 && IsHighSurrogate(text[i - 1]));
        if (const wchar_t* escape = ShortEscape(c)) {
            json += escape;
        } else if (c < 0x20 || c == 0x2028 || c == 0x2029 ||
                   ((IsHighSurrogate(c) || IsLowSurrogate(c)) && !paired)) {
            wchar_t escaped[8];
            std::swprintf(escaped, std::size(escaped), L"\\u%04X", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + L"\"";
}

std::wstring SyncPlainText(const TSyncRequest& request, const TSyncResult& result)
{
    std::wstring text;
    if (request.Verb == TSyncVerb::List) {
        // Without Outlook there is no version to name, but the registry's names are shown.
        if (result.Connected)
            text += VersionLine(result) + kLineEnd;
        else if (result.WithoutOutlook)
            text += kNoOutlookVersionText + std::wstring(kLineEnd);
        if (result.RegistryNames)
            AppendLines(text, L"registry: ", *result.RegistryNames);
        if (NamesStores(request, result)) {
            for (const TSyncStore& store : result.Stores) {
                if (store.Readable)
                    AppendLines(text, (StoreLabel(store) + L": "), store.Names.value_or(std::vector<std::wstring>()));
                else
                    text += UnreadableLine(store);
            }
        } else if (result.StoreNames) {
            AppendLines(text, L"Outlook: ", *result.StoreNames);
        } else if (result.UnreadableChoice) {
            text += UnreadableLine(result.Stores.at(*result.UnreadableChoice));
        }
        if (result.Connected && !result.StoreInUse)
            text += kStoreNotInUseText + std::wstring(kLineEnd);
        return text;
    }
    if ((!result.Connected && !result.WithoutOutlook) || !result.StoreInUse)
        return {};
    const bool dry = request.DryRun;
    const std::size_t toOutlook = AppendOutlookLines(text, request, result);
    for (const TSyncRefusal& refused : result.RefusedByOutlook) {
        const bool named = NamesStores(request, result) && refused.Store < result.Stores.size();
        text += (named ? StoreLabel(result.Stores[refused.Store]) : std::wstring(L"Outlook")) + L" refused: " +
                ShownOnLine(refused.Name) + L" - " + ShownOnLine(refused.Error) + kLineEnd;
    }
    AppendLines(text, dry ? L"would add to registry: " : L"added to registry: ", result.AddedToRegistry);
    if (NamesStores(request, result)) {
        for (const TSyncStore& store : result.Stores) {
            if (!store.Readable)
                text += UnreadableLine(store);
        }
    }
    AppendLines(text, dry ? L"would not copy to registry (holds \";\"): " : L"not copied to registry (holds \";\"): ",
                result.NotCopiedToRegistry);
    return text + Summary(request, toOutlook, result);
}

std::wstring SyncJsonText(const TSyncRequest& request, const TSyncResult& result)
{
    std::wstring json = L"{";
    json += L"\"command\":" + JsonString(SyncVerbName(request.Verb));
    json += L",\"dryRun\":" + JsonBool(request.DryRun);
    json += L",\"outlookVersion\":" +
            JsonText(result.Connected ? std::optional<std::wstring>(result.OutlookVersion) : std::nullopt);
    json += L",\"outlookMajor\":" + JsonText(WideMajor(result));
    json += L",\"storeInUse\":" + JsonBool(result.StoreInUse);
    json += L",\"registryNames\":" + JsonNames(result.RegistryNames);
    json += L",\"storeNames\":" + JsonNames(result.StoreNames);
    json += L",\"addedToOutlook\":" + JsonNames(result.AddedToOutlook);
    json += L",\"addedToRegistry\":" + JsonNames(result.AddedToRegistry);
    json += L",\"notCopiedToRegistry\":" + JsonNames(result.NotCopiedToRegistry);
    json += L",\"refusedByOutlook\":" + JsonRefused(result.RefusedByOutlook, result.Stores);
    json += L",\"stores\":" + JsonStores(result.Stores);
    json += L",\"error\":" + JsonText(ErrorWithHint(result));
    return json + L"}" + kLineEnd;
}
