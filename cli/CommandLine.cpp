#include "cli/CommandLine.h"

#include "base/Platform.h"
#include "base/WaitLimit.h"
#include "deploy/Deployment.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

// One bit per verb, in kVerbs' order.
constexpr unsigned kList = 1u << 0, kToOutlook = 1u << 1, kToRegistry = 1u << 2, kBoth = 1u << 3,
                   kExport = 1u << 4, kImport = 1u << 5, kSignIn = 1u << 6, kSignOut = 1u << 7, kDeploy = 1u << 8,
                   kCompare = 1u << 9, kAudit = 1u << 10;
// What deploy and audit share: the organisation's mailboxes and the app's sign-in.
constexpr unsigned kTenantVerbs = kDeploy | kAudit;
constexpr unsigned kStoreVerbs = kList | kToOutlook | kToRegistry | kBoth | kExport | kImport | kCompare;
constexpr unsigned kOtherVerbs = kStoreVerbs | kSignIn | kSignOut;

enum class TFileRule {
    None,
    Next,       // the argument right after the verb, even one that looks like an option
    Positional  // the first argument after the verb that is no option
};

struct TVerbRule {
    const wchar_t* Name;
    std::optional<TSyncVerb> Verb;
    TFileRule File;
    const wchar_t* WhyNoDryRun;
};

constexpr TVerbRule kVerbs[] = {
    {L"list", TSyncVerb::List, TFileRule::None, L", which changes nothing"},
    {L"to-outlook", TSyncVerb::ToOutlook, TFileRule::None, L""},
    {L"to-registry", TSyncVerb::ToRegistry, TFileRule::None, L""},
    {L"both", TSyncVerb::Both, TFileRule::None, L""},
    {L"export", TSyncVerb::Export, TFileRule::Next, L", which changes no category"},
    {L"import", TSyncVerb::Import, TFileRule::Next, L""},
    {L"signin", TSyncVerb::SignIn, TFileRule::None, L""},
    {L"signout", TSyncVerb::SignOut, TFileRule::None, L""},
    {L"deploy", std::nullopt, TFileRule::Positional, L""},
    {L"compare", TSyncVerb::Compare, TFileRule::Positional, L", which changes nothing"},
    {L"audit", std::nullopt, TFileRule::Positional, L""},
};

struct TRange {
    int Min;
    int Max;
    const wchar_t* Of;  // "seconds", "mailboxes"
};

struct TOptionRule {
    TOption Option;
    const wchar_t* Name;
    bool TakesValue;
    unsigned Verbs;
    // Bad usage when the value is missing, where the plain "no value after" would say less.
    const wchar_t* NoValue = nullptr;
    std::optional<TRange> Range = std::nullopt;
    // Options of one choice: a second of them is refused as a repeat is.
    const wchar_t* OneChoice = nullptr;
    const wchar_t* Why = L"";
};

constexpr wchar_t kStoreChoice[] = L"one store choice at a time, not also ";
constexpr wchar_t kOnlyImport[] = L": only \"import\" takes it";

const TOptionRule kOptions[] = {
    {TOption::Registry, L"--registry", false, kImport, nullptr, std::nullopt, nullptr, kOnlyImport},
    {TOption::Colors, L"--colors", false, kImport | kDeploy, nullptr, std::nullopt, nullptr, kOnlyImport},
    {TOption::DryRun, L"--dry-run", false, kToOutlook | kToRegistry | kBoth | kImport | kDeploy},
    {TOption::Json, L"--json", false, kStoreVerbs | kTenantVerbs},
    {TOption::Store, L"--store", true, kStoreVerbs, L"no store name after \"--store\"", std::nullopt, kStoreChoice},
    {TOption::AllStores, L"--all-stores", false, kStoreVerbs, nullptr, std::nullopt, kStoreChoice},
    {TOption::Wait, L"--wait", true, kOtherVerbs, L"", TRange{0, kMaxWaitSeconds, L"seconds"}},
    {TOption::Tenant, L"--tenant", true, kOtherVerbs | kTenantVerbs},
    {TOption::ClientId, L"--client-id", true, kOtherVerbs | kTenantVerbs},
    {TOption::Mailboxes, L"--mailboxes", true, kTenantVerbs},
    {TOption::AllMailboxes, L"--all-mailboxes", false, kTenantVerbs},
    {TOption::Group, L"--group", true, kTenantVerbs},
    {TOption::Cloud, L"--cloud", true, kOtherVerbs | kTenantVerbs},
    {TOption::Certificate, L"--certificate", true, kTenantVerbs},
    {TOption::ClientSecretEnv, L"--client-secret-env", true, kTenantVerbs},
    {TOption::Concurrency, L"--concurrency", true, kTenantVerbs, nullptr, TRange{1, kMaxConcurrency, L"mailboxes"}},
    {TOption::Journal, L"--journal", true, kDeploy},
    {TOption::Report, L"--report", true, kTenantVerbs},
};

bool Is(const std::wstring& argument, const wchar_t* name)
{
    return SameTextIgnoringCase(argument, name);
}

bool IsOption(const std::wstring& argument)
{
    return argument.starts_with(L"-") || argument.starts_with(L"/");
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

const TOptionRule* FindOption(const std::wstring& argument)
{
    const auto found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                    [&](const TOptionRule& rule) { return Is(argument, rule.Name); });
    return found == std::end(kOptions) ? nullptr : &*found;
}

const TVerbRule* FindVerb(const std::wstring& argument)
{
    const auto found = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                    [&](const TVerbRule& rule) { return Is(argument, rule.Name); });
    return found == std::end(kVerbs) ? nullptr : &*found;
}

unsigned VerbBit(const TVerbRule& verb)
{
    return 1u << static_cast<unsigned>(&verb - kVerbs);
}

std::wstring RangeText(const TOptionRule& rule)
{
    return Quoted(rule.Name) + L" needs a number of " + rule.Range->Of + L" from " + std::to_wstring(rule.Range->Min) +
           L" to " + std::to_wstring(rule.Range->Max);
}

// Whole numbers in digits: "-5", "1e3" or " 5" are none.
int NumberIn(const TOptionRule& rule, const std::wstring& value)
{
    const bool digits = !value.empty() && value.find_first_not_of(L"0123456789") == std::wstring::npos;
    // Too many digits saturate, and so stay out of range.
    const unsigned long number = digits ? std::wcstoul(value.c_str(), nullptr, 10) : 0;
    if (!digits || number < static_cast<unsigned long>(rule.Range->Min) ||
        number > static_cast<unsigned long>(rule.Range->Max))
        throw ESyncUsageError(RangeText(rule) + L", not " + Quoted(value));
    return static_cast<int>(number);
}

void Take(TCommandLine& line, const TOptionRule& rule, const std::wstring& argument, std::wstring value)
{
    auto& slot = line.Given[static_cast<std::size_t>(rule.Option)];
    if (rule.OneChoice) {
        for (const TOptionRule& other : kOptions) {
            if (other.OneChoice == rule.OneChoice && line.Has(other.Option))
                throw ESyncUsageError(rule.OneChoice + Quoted(argument));
        }
    }
    if (slot)
        throw ESyncUsageError(Quoted(argument) + L" given twice");
    if (rule.Option == TOption::Wait)
        line.Wait = NumberIn(rule, value);
    else if (rule.Option == TOption::Concurrency)
        line.Concurrency = NumberIn(rule, value);
    slot = std::move(value);
}

}  // namespace

TSyncRequest::TAction ActionOf(const std::vector<std::wstring>& arguments)
{
    for (const auto& [name, action] : {std::pair{L"--help", TSyncRequest::TAction::ShowHelp},
                                       {L"/?", TSyncRequest::TAction::ShowHelp},
                                       {L"--version", TSyncRequest::TAction::ShowVersion}}) {
        for (const std::wstring& argument : arguments) {
            if (Is(argument, name))
                return action;
        }
    }
    return TSyncRequest::TAction::Run;
}

namespace {

// The first argument that is neither an option nor an option's value.
const std::wstring* FirstWord(const std::vector<std::wstring>& arguments)
{
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const TOptionRule* rule = FindOption(*it);
        if (rule && rule->TakesValue) {
            if (++it == arguments.end())
                return nullptr;
        } else if (!IsOption(*it)) {
            return &*it;
        }
    }
    return nullptr;
}

}  // namespace

bool NamesDeployVerb(const std::vector<std::wstring>& arguments)
{
    const std::wstring* word = FirstWord(arguments);
    return word && (Is(*word, L"deploy") || Is(*word, L"audit"));
}

bool NamesAuditVerb(const std::vector<std::wstring>& arguments)
{
    const std::wstring* word = FirstWord(arguments);
    return word && Is(*word, L"audit");
}

TCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments)
{
    TCommandLine line;
    line.Action = ActionOf(arguments);
    if (line.Action != TSyncRequest::TAction::Run)
        return line;
    // Deploy names the verb on each unknown option; the other verbs, which
    // share most options, leave it out.
    line.Deploy = NamesDeployVerb(arguments);
    line.Audit = NamesAuditVerb(arguments);
    const unsigned family = line.Audit ? kAudit : line.Deploy ? kDeploy : kOtherVerbs;
    const std::wstring forFamily = line.Audit ? L" for \"audit\"" : line.Deploy ? L" for \"deploy\"" : L"";
    const TVerbRule* verb = nullptr;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::wstring& argument = *it;
        if (IsOption(argument)) {
            const TOptionRule* rule = FindOption(argument);
            if (!rule || !(rule->Verbs & family))
                throw ESyncUsageError(L"unknown option " + Quoted(argument) + forFamily);
            if (!rule->TakesValue) {
                Take(line, *rule, argument, {});
            } else if (std::next(it) != arguments.end()) {
                // Taken as it is, even when it looks like an option: a name can.
                Take(line, *rule, argument, *++it);
            } else {
                throw ESyncUsageError(!rule->NoValue      ? L"no value after " + Quoted(argument)
                                      : *rule->NoValue    ? std::wstring(rule->NoValue)
                                                          : RangeText(*rule));
            }
        } else if (verb && verb->File == TFileRule::Positional) {
            if (line.File)
                throw ESyncUsageError(L"one list file at a time, not also " + Quoted(argument));
            line.File = argument;
        } else {
            const TVerbRule* named = FindVerb(argument);
            if (!named)
                throw ESyncUsageError(L"unknown verb " + Quoted(argument));
            if (verb)
                throw ESyncUsageError(L"one verb at a time, not also " + Quoted(argument));
            verb = named;
            if (verb->File == TFileRule::Next) {
                // Taken as it is, even when it looks like an option or a verb: a file's name can.
                if (++it == arguments.end())
                    throw ESyncUsageError(L"no file name after " + Quoted(argument));
                line.File = *it;
            }
        }
    }
    if (verb)
        line.Verb = verb->Verb;
    return line;
}

void RefuseOptionsNotOfVerb(const TCommandLine& line)
{
    if (line.Deploy || !line.Verb)
        return;
    const TVerbRule& verb = *std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                          [&](const TVerbRule& rule) { return rule.Verb == line.Verb; });
    for (const TOptionRule& rule : kOptions) {
        if (line.Has(rule.Option) && !(rule.Verbs & VerbBit(verb))) {
            throw ESyncUsageError(L"unknown option " + Quoted(rule.Name) + L" for " + Quoted(verb.Name) +
                                  (rule.Option == TOption::DryRun ? verb.WhyNoDryRun : rule.Why));
        }
    }
}

const wchar_t* SyncVerbName(TSyncVerb verb)
{
    for (const TVerbRule& rule : kVerbs) {
        if (rule.Verb == verb)
            return rule.Name;
    }
    return L"";
}
