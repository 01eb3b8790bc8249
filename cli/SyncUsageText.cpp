#include "cli/SyncCommandLine.h"

const wchar_t* SyncUsageText()
{
    // The text is kept in cli/usage.txt, where README.txt and the docs quote it
    // from, so that --help can never drift from what users read.
    return
#include "SyncUsageText.inc"
        ;
}
