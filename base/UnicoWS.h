#pragma once
// The Unicode layer for the 9x family. Only the character classification needs
// it, and only there: the NT family never loads it.

#include <windows.h>

using GetStringTypeExWProc = BOOL(WINAPI*)(LCID, DWORD, LPCWSTR, int, LPWORD);

// On the 9x family, loads "unicows.dll" from the program's own folder (never
// through the search path) and binds GetStringTypeExW. Missing: silent.
void StartUnicodeLayer(bool isWinNT);
void StopUnicodeLayer();
// The bound entry, or null when the layer is absent.
GetStringTypeExWProc UnicodeLayerGetStringTypeExW();
