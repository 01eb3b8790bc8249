#pragma once
// "PellorinSync deploy": reads and checks everything it is given (the list
// file, the mailboxes, the credentials, the journal, the report's place),
// signs in as the application, and runs the deployment, showing what
// happens. Anything wrong with what it was given, a refused sign-in or a
// missing consent ends it with exit code 2 before anything is changed.

#include "cli/DeployCommandLine.h"

// The exit code: 0 every mailbox ended well, 1 some failed (or the run
// stopped), 2 bad usage, bad input, bad credentials or no consent.
int RunDeployCommand(const TDeployRequest& request);
