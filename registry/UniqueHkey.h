#pragma once
// Owns one open registry key and closes it on every way out, exceptions included.

#include "base/UniqueHandle.h"

#include <windows.h>

// Opening an empty path below a root may hand back the root's own
// pseudo-handle, which belongs to the process and is not ours to close.
inline void CloseKeyUnlessPredefined(HKEY key) noexcept
{
    for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                            HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
        if (key == root)
            return;
    }
    RegCloseKey(key);
}

using UniqueHkey = TUniqueHandle<HKEY, CloseKeyUnlessPredefined>;
