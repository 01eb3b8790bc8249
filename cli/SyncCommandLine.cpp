#include "cli/SyncCommandLine.h"

#include "base/Platform.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <utility>

namespace {

struct TVerbName {
    TSyncVerb Verb;
    const wchar_t* Name;
};

constexpr TVerbName kVerbs[] = {
    {TSyncVerb::List, L"list"},
    {TSyncVerb::ToOutlook, L"to-outlook"},
    {TSyncVerb::ToRegistry, L"to-registry"},
    {TSyncVerb::Both, L"both"},
    {TSyncVerb::Export, L"export"},
    {TSyncVerb::Import, L"import"},
    {TSyncVerb::SignIn, L"signin"},
    {TSyncVerb::SignOut, L"signout"},
};

bool TakesFile(TSyncVerb verb)
{
    return verb == TSyncVerb::Export || verb == TSyncVerb::Import;
}

bool Is(const std::wstring& argument, const wchar_t* name)
{
    return SameTextIgnoringCase(argument, name);
}

std::wstring Quoted(const std::wstring& argument)
{
    return L"\"" + argument + L"\"";
}

// Whole seconds in digits: "-5", "1e3" or " 5" are no number of seconds.
int WaitSeconds(const std::wstring* value)
{
    const std::wstring range = L"\"--wait\" needs a number of seconds from 0 to " + std::to_wstring(kMaxWaitSeconds);
    if (!value)
        throw ESyncUsageError(range);
    const bool digits = !value->empty() && value->find_first_not_of(L"0123456789") == std::wstring::npos;
    // Too many digits saturate, and so stay out of range.
    const unsigned long seconds = digits ? std::wcstoul(value->c_str(), nullptr, 10) : 0;
    if (!digits || seconds > static_cast<unsigned long>(kMaxWaitSeconds))
        throw ESyncUsageError(range + L", not " + Quoted(*value));
    return static_cast<int>(seconds);
}

// An option's value: the next argument, taken as it is.
std::wstring ValueOf(const std::wstring& option, std::vector<std::wstring>::const_iterator& it,
                     std::vector<std::wstring>::const_iterator end)
{
    if (++it == end)
        throw ESyncUsageError(L"no value after " + Quoted(option));
    return *it;
}

}  // namespace

bool IsSignInVerb(TSyncVerb verb)
{
    return verb == TSyncVerb::SignIn || verb == TSyncVerb::SignOut;
}

const wchar_t* SyncVerbName(TSyncVerb verb)
{
    for (const TVerbName& entry : kVerbs) {
        if (entry.Verb == verb)
            return entry.Name;
    }
    return L"";
}

TSyncRequest ParseSyncCommandLine(const std::vector<std::wstring>& arguments)
{
    TSyncRequest request;
    for (const auto& [name, action] : {std::pair{L"--help", TSyncRequest::TAction::ShowHelp},
                                       {L"/?", TSyncRequest::TAction::ShowHelp},
                                       {L"--version", TSyncRequest::TAction::ShowVersion}}) {
        for (const std::wstring& argument : arguments) {
            if (Is(argument, name)) {
                request.Action = action;
                return request;
            }
        }
    }
    std::optional<TSyncVerb> verb;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::wstring& argument = *it;
        if (Is(argument, L"--dry-run")) {
            request.DryRun = true;
        } else if (Is(argument, L"--json")) {
            request.Json = true;
        } else if (Is(argument, L"--registry")) {
            request.Registry = true;
        } else if (Is(argument, L"--colors")) {
            request.Colors = true;
        } else if (Is(argument, L"--wait")) {
            const bool last = std::next(it) == arguments.end();
            request.WaitSeconds = WaitSeconds(last ? nullptr : &*++it);
        } else if (Is(argument, L"--store") || Is(argument, L"--all-stores")) {
            if (request.StoreName || request.AllStores)
                throw ESyncUsageError(L"one store choice at a time, not also " + Quoted(argument));
            if (Is(argument, L"--all-stores")) {
                request.AllStores = true;
            } else if (++it == arguments.end()) {
                throw ESyncUsageError(L"no store name after \"--store\"");
            } else {
                // Taken as it is, even when it looks like an option: a store's name can.
                request.StoreName = *it;
            }
        } else if (Is(argument, L"--tenant")) {
            request.TenantId = ValueOf(argument, it, arguments.end());
        } else if (Is(argument, L"--client-id")) {
            request.ClientId = ValueOf(argument, it, arguments.end());
        } else if (argument.starts_with(L"-") || argument.starts_with(L"/")) {
            throw ESyncUsageError(L"unknown option " + Quoted(argument));
        } else {
            const auto known = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                            [&](const TVerbName& entry) { return Is(argument, entry.Name); });
            if (known == std::end(kVerbs))
                throw ESyncUsageError(L"unknown verb " + Quoted(argument));
            if (verb)
                throw ESyncUsageError(L"one verb at a time, not also " + Quoted(argument));
            verb = known->Verb;
            if (TakesFile(*verb)) {
                // Taken as it is, even when it looks like an option or a verb: a file's name can.
                if (++it == arguments.end())
                    throw ESyncUsageError(L"no file name after " + Quoted(argument));
                request.File = *it;
            }
        }
    }
    if (!verb)
        throw ESyncUsageError(L"no verb given");
    if (*verb == TSyncVerb::List && request.DryRun)
        throw ESyncUsageError(L"unknown option \"--dry-run\" for \"list\", which changes nothing");
    if (*verb == TSyncVerb::Export && request.DryRun)
        throw ESyncUsageError(L"unknown option \"--dry-run\" for \"export\", which changes no category");
    for (const auto& [given, name] : {std::pair{request.Registry, L"--registry"}, {request.Colors, L"--colors"}}) {
        if (given && *verb != TSyncVerb::Import)
            throw ESyncUsageError(L"unknown option " + Quoted(name) + L" for " + Quoted(SyncVerbName(*verb)) +
                                  L": only \"import\" takes it");
    }
    if (IsSignInVerb(*verb)) {
        for (const auto& [given, option] : {std::pair{request.DryRun, L"--dry-run"}, {request.Json, L"--json"},
                                            {request.StoreName.has_value(), L"--store"},
                                            {request.AllStores, L"--all-stores"}}) {
            if (given)
                throw ESyncUsageError(L"unknown option " + Quoted(option) + L" for " + Quoted(SyncVerbName(*verb)));
        }
    }
    request.Verb = *verb;
    return request;
}
