#pragma once
// One move-only owner for handle-like things, named per kind.

#include <windows.h>

#include "base/UniqueHandle.h"

inline void DeleteGdiObject(HGDIOBJ object) noexcept { DeleteObject(object); }
inline void DestroyOwnedIcon(HICON icon) noexcept { DestroyIcon(icon); }

using UniqueHfont = TUniqueHandle<HFONT, DeleteGdiObject>;
using UniqueHbitmap = TUniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueHicon = TUniqueHandle<HICON, DestroyOwnedIcon>;
