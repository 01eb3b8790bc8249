#include "cli/DeployCommandLine.h"

#include "base/Platform.h"
#include "cli/SyncCommandLine.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

constexpr wchar_t kVerb[] = L"deploy";

// Options that take the next argument as their value: deploy's own, and
// the other verbs', so that a value is never taken for the verb.
constexpr const wchar_t* kValueOptions[] = {L"--mailboxes",   L"--tenant",  L"--client-id",
                                            L"--certificate", L"--client-secret-env", L"--concurrency",
                                            L"--journal",     L"--report",  L"--store", L"--wait"};

bool Is(const std::wstring& argument, const wchar_t* name)
{
    return SameTextIgnoringCase(argument, name);
}

bool TakesValue(const std::wstring& argument)
{
    return std::any_of(std::begin(kValueOptions), std::end(kValueOptions),
                       [&](const wchar_t* name) { return Is(argument, name); });
}

bool IsOption(const std::wstring& argument)
{
    return argument.starts_with(L"-") || argument.starts_with(L"/");
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

int Concurrency(const std::wstring& value)
{
    const std::wstring range = L"\"--concurrency\" needs a number of mailboxes from 1 to " +
                               std::to_wstring(kMaxConcurrency);
    const bool digits = !value.empty() && value.find_first_not_of(L"0123456789") == std::wstring::npos;
    // Too many digits saturate, and so stay out of range.
    const unsigned long number = digits ? std::wcstoul(value.c_str(), nullptr, 10) : 0;
    if (!digits || number < 1 || number > static_cast<unsigned long>(kMaxConcurrency))
        throw ESyncUsageError(range + L", not " + Quoted(value));
    return static_cast<int>(number);
}

}  // namespace

bool IsDeployCommandLine(const std::vector<std::wstring>& arguments)
{
    for (const std::wstring& argument : arguments) {
        if (Is(argument, L"--help") || Is(argument, L"/?") || Is(argument, L"--version"))
            return false;
    }
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (TakesValue(*it)) {
            if (++it == arguments.end())
                return false;
        } else if (!IsOption(*it)) {
            return Is(*it, kVerb);
        }
    }
    return false;
}

TDeployRequest ParseDeployCommandLine(const std::vector<std::wstring>& arguments)
{
    TDeployRequest request;
    bool verb = false;
    bool allMailboxes = false;
    std::optional<std::wstring> file;
    std::optional<std::wstring> tenant;
    std::optional<std::wstring> clientId;
    std::optional<int> concurrency;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::wstring& argument = *it;
        if (TakesValue(argument)) {
            if (Is(argument, L"--store") || Is(argument, L"--wait"))
                throw ESyncUsageError(L"unknown option " + Quoted(argument) + L" for \"deploy\"");
            if (std::next(it) == arguments.end())
                throw ESyncUsageError(L"no value after " + Quoted(argument));
            const std::wstring& value = *++it;
            const auto once = [&](auto& slot) {
                if (slot)
                    throw ESyncUsageError(Quoted(argument) + L" given twice");
                slot = value;
            };
            if (Is(argument, L"--mailboxes")) {
                once(request.MailboxList);
            } else if (Is(argument, L"--tenant")) {
                once(tenant);
            } else if (Is(argument, L"--client-id")) {
                once(clientId);
            } else if (Is(argument, L"--certificate")) {
                once(request.Certificate);
            } else if (Is(argument, L"--client-secret-env")) {
                once(request.SecretVariable);
            } else if (Is(argument, L"--concurrency")) {
                if (concurrency)
                    throw ESyncUsageError(Quoted(argument) + L" given twice");
                concurrency = Concurrency(value);
            } else if (Is(argument, L"--journal")) {
                once(request.Journal);
            } else {
                once(request.Report);
            }
        } else if (Is(argument, L"--all-mailboxes")) {
            allMailboxes = true;
        } else if (Is(argument, L"--colors")) {
            request.Colors = true;
        } else if (Is(argument, L"--dry-run")) {
            request.DryRun = true;
        } else if (Is(argument, L"--json")) {
            request.Json = true;
        } else if (IsOption(argument)) {
            throw ESyncUsageError(L"unknown option " + Quoted(argument) + L" for \"deploy\"");
        } else if (!verb && Is(argument, kVerb)) {
            verb = true;
        } else if (!verb) {
            throw ESyncUsageError(L"one verb at a time, not also " + Quoted(argument));
        } else if (file) {
            throw ESyncUsageError(L"one list file at a time, not also " + Quoted(argument));
        } else {
            file = argument;
        }
    }
    if (!file)
        throw ESyncUsageError(L"no category list file given to \"deploy\"");
    if (request.MailboxList.has_value() == allMailboxes)
        throw ESyncUsageError(allMailboxes ? L"either \"--mailboxes LIST\" or \"--all-mailboxes\", not both"
                                           : L"\"deploy\" needs \"--mailboxes LIST\" or \"--all-mailboxes\"");
    if (!tenant)
        throw ESyncUsageError(L"\"deploy\" needs \"--tenant\" and the organisation's tenant id or domain");
    if (!clientId)
        throw ESyncUsageError(L"\"deploy\" needs \"--client-id\" and the app registration's client id");
    if (request.Certificate.has_value() == request.SecretVariable.has_value())
        throw ESyncUsageError(request.Certificate
                                  ? L"either \"--certificate PFX\" or \"--client-secret-env NAME\", not both"
                                  : L"\"deploy\" needs \"--certificate PFX\" or \"--client-secret-env NAME\"");
    if (request.DryRun && request.Journal)
        throw ESyncUsageError(L"\"--dry-run\" writes nothing, a journal neither: leave out \"--journal\"");
    request.ListFile = *file;
    request.Tenant = *tenant;
    request.ClientId = *clientId;
    request.Concurrency = concurrency.value_or(kDefaultConcurrency);
    return request;
}
