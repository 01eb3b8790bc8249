#pragma once
// PellorinSync's one command line, for every verb deploy included: each
// option's value, the verbs that take it and what a repeat means come from
// one table, so that no verb reads an option its own way.

#include "cli/SyncCommandLine.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

enum class TOption {
    DryRun, Json, Registry, Colors, Wait, Store, AllStores, Tenant, ClientId,
    Mailboxes, AllMailboxes, Certificate, ClientSecretEnv, Concurrency, Journal, Report,
    Group, Cloud,
    Count
};

struct TCommandLine {
    TSyncRequest::TAction Action = TSyncRequest::TAction::Run;
    bool Deploy = false;  // deploy or audit, the organisation's verbs
    bool Audit = false;
    std::optional<TSyncVerb> Verb;     // the other verbs'; none for deploy or when none was given
    std::optional<std::wstring> File;  // export's, import's and deploy's list file, as given
    // An option given: its value as given, or empty for one that takes none.
    std::array<std::optional<std::wstring>, static_cast<std::size_t>(TOption::Count)> Given;
    // --wait and --concurrency, checked against their ranges.
    std::optional<int> Wait;
    std::optional<int> Concurrency;

    const std::optional<std::wstring>& operator[](TOption option) const
    {
        return Given[static_cast<std::size_t>(option)];
    }
    bool Has(TOption option) const { return (*this)[option].has_value(); }
};

// Help or the version when an argument anywhere asks for it, else Run.
TSyncRequest::TAction ActionOf(const std::vector<std::wstring>& arguments);

// True when the first argument that is neither an option nor an option's
// value is "deploy" or "audit", letter case ignored.
bool NamesDeployVerb(const std::vector<std::wstring>& arguments);
// The same for "audit" alone.
bool NamesAuditVerb(const std::vector<std::wstring>& arguments);

// "--help", "/?" or "--version" anywhere wins over everything else. A
// repeated option is bad usage for every verb: a script that says one
// thing twice is more likely wrong than right about which one it meant.
// Raises ESyncUsageError naming what is wrong.
TCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// "unknown option "--dry-run" for "list", which changes nothing" when the
// verb given does not take an option given; deploy's options are checked
// as they are met.
void RefuseOptionsNotOfVerb(const TCommandLine& line);
