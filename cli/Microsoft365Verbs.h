#pragma once
// PellorinSync and Microsoft 365: what its command line gives the sign-in,
// which sources/ carries out.

#include "cli/SyncCommandLine.h"
#include "sources/Microsoft365Access.h"
#include "sources/ProgramSources.h"

// --tenant and --client-id.
TMicrosoft365Overrides Microsoft365OverridesOf(const TSyncRequest& request);
