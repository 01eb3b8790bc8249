#include "cli/SyncOutput.h"

#include "base/CodePage.h"
#include "categories/ShownText.h"
#include "cli/ConsoleText.h"
#include "sources/ProgramSources.h"
#include "registry/MasterList.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";

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

// "Outlook", or "Outlook (ENTRY)" where lines name their stores.
std::wstring OutlookLabel(const std::optional<std::wstring>& storeEntry)
{
    return storeEntry ? L"Outlook (" + ShownOnLine(*storeEntry) + L")" : std::wstring(L"Outlook");
}

std::wstring StoreLabel(const TSyncStore& store)
{
    return OutlookLabel(store.Name.value_or(L""));
}

std::wstring UnreadableLine(const TSyncStore& store)
{
    return StoreLabel(store) + L" could not be read: " + ShownOnLine(store.Error.value_or(L"")) + kLineEnd;
}

void AppendUnreadableStores(std::wstring& text, const TSyncRequest& request, const TSyncResult& result)
{
    if (!NamesStores(request, result))
        return;
    for (const TSyncStore& store : result.Stores) {
        if (!store.Readable)
            text += UnreadableLine(store);
    }
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

// The lines of a dry run's adds, and each copy's summary, are decided at the
// end; the steps of a copy that adds were printed as they happened.
std::size_t OutlookLineCount(const TSyncRequest& request, const TSyncResult& result)
{
    std::wstring printed;
    return AppendOutlookLines(printed, request, result);
}

std::wstring Summary(const TSyncRequest& request, std::size_t toOutlook, const TSyncResult& result)
{
    const wchar_t* const added = request.DryRun ? L" would be added to " : L" added to ";
    std::wstring text;
    if (request.Verb != TSyncVerb::ToRegistry)
        text += std::to_wstring(toOutlook) + added + L"Outlook";
    if (request.Verb != TSyncVerb::ToOutlook && (request.Verb != TSyncVerb::Import || request.Registry)) {
        if (!text.empty())
            text += L", ";
        text += std::to_wstring(result.AddedToRegistry.size()) + added + L"the registry";
    }
    if (request.Verb == TSyncVerb::Import && request.Colors) {
        text += L", " + std::to_wstring(result.Recoloured.size()) +
                (request.DryRun ? L" would be recoloured in Outlook" : L" recoloured in Outlook");
    }
    return text + kLineEnd;
}

// Graph's spelling, or Outlook's number for a colour Graph has no name for.
std::wstring ColorText(TCategoryColor color)
{
    return color.GraphName().value_or(std::to_wstring(color.OutlookValue()));
}

std::wstring RecolourText(const std::wstring& name, TCategoryColor from, TCategoryColor to)
{
    return ShownOnLine(name) + L" (" + ColorText(from) + L" -> " + ColorText(to) + L")";
}

std::wstring RecolourText(const TSyncRecolour& recolour)
{
    return RecolourText(recolour.Name, recolour.From, recolour.To);
}

// "Outlook", or with "All stores" over several stores the store's label.
std::wstring OutlookLabel(const TSyncRequest& request, const TSyncResult& result, std::size_t store)
{
    const bool named = NamesStores(request, result) && store < result.Stores.size();
    return named ? StoreLabel(result.Stores[store]) : OutlookLabel(std::nullopt);
}

void AppendRecolourLines(std::wstring& text, const TSyncRequest& request, const TSyncResult& result)
{
    const wchar_t* const verb = request.DryRun ? L"would recolour in " : L"recoloured in ";
    for (const TSyncRecolour& recolour : result.Recoloured)
        text += verb + OutlookLabel(request, result, recolour.Store) + L": " + RecolourText(recolour) + kLineEnd;
    for (const TSyncRecolour& refused : result.RecolourRefused) {
        text += OutlookLabel(request, result, refused.Store) + L" refused to recolour: " + RecolourText(refused) +
                L" - " + ShownOnLine(refused.Error) + kLineEnd;
    }
}

std::wstring SideLabel(const TSyncRequest& request, const TCompareSide& side)
{
    switch (side.Kind) {
    case TCompareSide::TKind::Registry:
        return L"registry";
    case TCompareSide::TKind::File:
        return L"file";
    case TCompareSide::TKind::Store:
        break;
    }
    return OutlookLabel(request.AllStores ? std::optional(side.EntryName) : std::nullopt);
}

// Side by side, one name a line: what each lacks, then its colours.
std::wstring CompareText(const TSyncRequest& request, const TSyncResult& result)
{
    if (!result.Comparison)
        return {};
    std::wstring text;
    std::size_t lacking = 0;
    std::size_t colors = 0;
    for (const TCompareSide& side : result.Comparison->Sides) {
        const std::wstring label = SideLabel(request, side);
        AppendLines(text, label + L" lacks: ", side.Lacks);
        for (const TCompareColor& color : side.ColorDiffers)
            text += label + L" colour differs: " + RecolourText(color.Name, color.Held, color.Reference) + kLineEnd;
        lacking += side.Lacks.size();
        colors += side.ColorDiffers.size();
    }
    AppendUnreadableStores(text, request, result);
    if (result.Comparison->Alike())
        return text + L"alike" + kLineEnd;
    return text + std::to_wstring(lacking) + L" lacking, " + std::to_wstring(colors) + L" colours differ" + kLineEnd;
}

std::wstring ExportText(const TSyncRequest& request, const TSyncResult& result)
{
    std::wstring text;
    if (NamesStores(request, result)) {
        for (const TSyncStore& store : result.Stores) {
            if (!store.Readable)
                text += UnreadableLine(store);
        }
    }
    if (result.Error)
        return text;
    AppendLines(text, L"not written (holds U+0000): ", result.NotExported);
    const std::size_t count = result.Exported.size();
    return text + std::to_wstring(count) + (count == 1 ? L" name" : L" names") + L" written to " +
           ShownOnLine(result.File.value_or(request.File)) + kLineEnd;
}

// What a copy that adds prints once it has ended: its steps are out already.
std::wstring CopyEndText(const TSyncRequest& request, const TSyncResult& result)
{
    std::wstring text;
    AppendUnreadableStores(text, request, result);
    AppendLines(text, L"not copied to registry (holds \";\"): ", result.NotCopiedToRegistry);
    return text + Summary(request, OutlookLineCount(request, result), result);
}

std::wstring JsonStores(const std::vector<TSyncStore>& stores)
{
    std::vector<std::wstring> items;
    for (const TSyncStore& store : stores) {
        items.push_back(L"{\"name\":" + JsonStringOrNull(store.Name) + L",\"default\":" + JsonBool(store.Default) +
                        L",\"readable\":" + JsonBool(store.Readable) + L",\"error\":" + JsonStringOrNull(store.Error) +
                        L",\"names\":" + JsonStrings(store.Names) +
                        L",\"addedNames\":" + JsonStrings(store.AddedNames) + L"}");
    }
    return JsonArray(items);
}

// The store's entry name, or null where Outlook gives its stores no names.
std::wstring JsonStoreOf(std::size_t store, const std::vector<TSyncStore>& stores)
{
    return JsonStringOrNull(store < stores.size() ? stores[store].Name : std::nullopt);
}

std::wstring JsonRefused(const std::vector<TSyncRefusal>& refused, const std::vector<TSyncStore>& stores)
{
    std::vector<std::wstring> items;
    for (const TSyncRefusal& name : refused) {
        items.push_back(L"{\"name\":" + JsonString(name.Name) + L",\"error\":" + JsonString(name.Error) +
                        L",\"store\":" + JsonStoreOf(name.Store, stores) + L"}");
    }
    return JsonArray(items);
}

std::wstring JsonColor(std::optional<TCategoryColor> color)
{
    return JsonStringOrNull(color ? color->GraphName() : std::nullopt);
}

std::wstring JsonComparison(const std::optional<TComparison>& comparison)
{
    if (!comparison)
        return L"null";
    std::vector<std::wstring> sides;
    for (const TCompareSide& side : comparison->Sides) {
        const wchar_t* const kind = side.Kind == TCompareSide::TKind::Registry ? L"registry"
                                    : side.Kind == TCompareSide::TKind::File   ? L"file"
                                                                               : L"store";
        std::vector<std::wstring> colors;
        for (const TCompareColor& color : side.ColorDiffers) {
            colors.push_back(L"{\"name\":" + JsonString(color.Name) + L",\"color\":" + JsonColor(color.Held) +
                             L",\"reference\":" + JsonColor(color.Reference) + L"}");
        }
        sides.push_back(L"{\"side\":" + JsonString(kind) + L",\"store\":" +
                        JsonStringOrNull(side.Kind == TCompareSide::TKind::Store ? std::optional(side.EntryName)
                                                                                 : std::nullopt) +
                        L",\"lacks\":" + JsonStrings(side.Lacks) + L",\"colorDiffers\":" + JsonArray(colors) + L"}");
    }
    return L"{\"alike\":" + JsonBool(comparison->Alike()) + L",\"sides\":" + JsonArray(sides) +
           L",\"storesLeftOut\":" + JsonStrings(comparison->StoresLeftOut) + L"}";
}

std::wstring JsonExported(const std::vector<TListFileEntry>& entries)
{
    std::vector<std::wstring> items;
    for (const TListFileEntry& entry : entries)
        items.push_back(L"{\"name\":" + JsonString(entry.Name) + L",\"color\":" + JsonColor(entry.Color) + L"}");
    return JsonArray(items);
}

// Each with the store's entry name, as refusedByOutlook has it, and for the
// changes turned away the store's reason.
std::wstring JsonRecolours(const std::vector<TSyncRecolour>& recolours, const std::vector<TSyncStore>& stores,
                           bool refused)
{
    std::vector<std::wstring> items;
    for (const TSyncRecolour& recolour : recolours) {
        std::wstring item = L"{\"name\":" + JsonString(recolour.Name) +
                            L",\"from\":" + JsonString(ColorText(recolour.From)) +
                            L",\"to\":" + JsonString(ColorText(recolour.To));
        if (refused)
            item += L",\"error\":" + JsonString(recolour.Error);
        items.push_back(item + L",\"store\":" + JsonStoreOf(recolour.Store, stores) + L"}");
    }
    return JsonArray(items);
}

std::wstring JsonUnreadable(const std::vector<TUnreadableMasterList>& lists)
{
    std::vector<std::wstring> items;
    for (const TUnreadableMasterList& list : lists) {
        items.push_back(L"{\"version\":" + JsonString(std::wstring(list.Version.begin(), list.Version.end())) +
                        L",\"type\":" + JsonString(RegistryTypeName(list.Type)) + L"}");
    }
    return JsonArray(items);
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
    if (request.Verb == TSyncVerb::Export)
        return ExportText(request, result);
    if (request.Verb == TSyncVerb::Compare)
        return CompareText(request, result);
    if (!request.DryRun)
        return CopyEndText(request, result);
    const std::size_t toOutlook = AppendOutlookLines(text, request, result);
    AppendRecolourLines(text, request, result);
    AppendLines(text, L"would add to registry: ", result.AddedToRegistry);
    AppendUnreadableStores(text, request, result);
    AppendLines(text, L"would not copy to registry (holds \";\"): ", result.NotCopiedToRegistry);
    return text + Summary(request, toOutlook, result);
}

std::wstring CopyStepLine(const TCopyStep& step, const std::optional<std::wstring>& storeEntry)
{
    const std::wstring outlook = OutlookLabel(storeEntry);
    switch (step.Kind) {
    case TCopyStep::TKind::AddedToStore:
        return L"added to " + outlook + L": " + ShownOnLine(step.Name) + kLineEnd;
    case TCopyStep::TKind::RefusedByStore:
        return outlook + L" refused: " + ShownOnLine(step.Name) + L" - " + ShownOnLine(step.Error) + kLineEnd;
    case TCopyStep::TKind::AddedToRegistry:
        return L"added to registry: " + ShownOnLine(step.Name) + kLineEnd;
    }
    return {};
}

TSyncStepPrinter::TSyncStepPrinter(const TSyncRequest& request, const TProgramState& state, TSyncLineWriter write)
    : request_(request), state_(state), write_(std::move(write))
{
}

void TSyncStepPrinter::CopyStep(const TCopyStep& step)
{
    if (!write_)
        return;
    // The same rule as the summary's count: over several stores each line names its store.
    const bool named = request_.AllStores && state_.Stores.size() > 1;
    std::optional<std::wstring> entry;
    if (named && step.Kind != TCopyStep::TKind::AddedToRegistry)
        entry = EntryNameOfKey(state_, step.StoreKey).value_or(L"");
    if (step.Kind == TCopyStep::TKind::AddedToStore && !named) {
        if (addedToOutlook_.IndexOf(step.Name) != -1)
            return;
        addedToOutlook_.Add(step.Name);
    }
    write_(CopyStepLine(step, entry));
}

void TSyncStepPrinter::RecolourStep(const TRecolourStep& step)
{
    if (!write_)
        return;
    const bool named = request_.AllStores && state_.Stores.size() > 1;
    const std::wstring outlook =
        OutlookLabel(named ? EntryNameOfKey(state_, step.StoreKey).value_or(L"") : std::optional<std::wstring>());
    const std::wstring what = RecolourText(step.Name, step.From, step.To);
    write_(step.Refusal.empty() ? L"recoloured in " + outlook + L": " + what + kLineEnd
                                : outlook + L" refused to recolour: " + what + L" - " + ShownOnLine(step.Refusal) +
                                      kLineEnd);
}

std::wstring SyncErrorText(std::wstring_view message, std::wstring_view hint)
{
    std::wstring text = L"PellorinSync: " + ShownOnLine(OneLineMessage(message)) + kLineEnd;
    if (!hint.empty())
        text += kLineEnd + std::wstring(hint) + kLineEnd;
    return text;
}

void WriteSyncError(std::wstring_view message, std::wstring_view hint)
{
    WriteText(GetStdHandle(STD_ERROR_HANDLE), SyncErrorText(message, hint));
}

std::wstring SyncJsonText(const TSyncRequest& request, const TSyncResult& result)
{
    std::wstring json = L"{";
    json += L"\"command\":" + JsonString(SyncVerbName(request.Verb));
    json += L",\"dryRun\":" + JsonBool(request.DryRun);
    json += L",\"outlookVersion\":" +
            JsonStringOrNull(result.Connected ? std::optional<std::wstring>(result.OutlookVersion) : std::nullopt);
    json += L",\"outlookMajor\":" + JsonStringOrNull(WideMajor(result));
    json += L",\"storeInUse\":" + JsonBool(result.StoreInUse);
    json += L",\"registryNames\":" + JsonStrings(result.RegistryNames);
    json += L",\"storeNames\":" + JsonStrings(result.StoreNames);
    json += L",\"addedToOutlook\":" + JsonStrings(result.AddedToOutlook);
    json += L",\"addedToRegistry\":" + JsonStrings(result.AddedToRegistry);
    json += L",\"notCopiedToRegistry\":" + JsonStrings(result.NotCopiedToRegistry);
    json += L",\"refusedByOutlook\":" + JsonRefused(result.RefusedByOutlook, result.Stores);
    json += L",\"stores\":" + JsonStores(result.Stores);
    if (request.Verb == TSyncVerb::Export || request.Verb == TSyncVerb::Import || request.Verb == TSyncVerb::Compare)
        json += L",\"file\":" + JsonStringOrNull(result.File);
    if (request.Verb == TSyncVerb::Compare)
        json += L",\"comparison\":" + JsonComparison(result.Comparison);
    if (request.Verb == TSyncVerb::Export) {
        json += L",\"exported\":" + JsonExported(result.Exported);
        json += L",\"notExported\":" + JsonStrings(result.NotExported);
    }
    if (request.Verb == TSyncVerb::Import) {
        json += L",\"recolouredInOutlook\":" + JsonRecolours(result.Recoloured, result.Stores, false);
        json += L",\"recolourRefusedByOutlook\":" + JsonRecolours(result.RecolourRefused, result.Stores, true);
    }
    json += L",\"registryUnreadable\":" + JsonUnreadable(result.RegistryUnreadable);
    json += L",\"error\":" + JsonStringOrNull(ErrorWithHint(result));
    return json + L"}" + kLineEnd;
}
