// Program entry.
#include "categories/MainUnit.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    StartMainUnit();
    MessageBoxW(nullptr, L"Pellorin", L"Pellorin", MB_OK);
    StopMainUnit();
    return 0;
}
