#include "base/UnicoWS.h"

#include "base/Platform.h"

#include <string>

namespace {

HMODULE g_library = nullptr;
GetStringTypeExWProc g_getStringTypeExW = nullptr;

std::wstring ProgramFolderPath(const wchar_t* fileName)
{
    std::wstring path = ProgramFilePath();
    if (path.empty())
        return {};
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + fileName;
}

}  // namespace

void StartUnicodeLayer(bool isWinNT)
{
    if (isWinNT || g_library)
        return;
    const std::wstring path = ProgramFolderPath(L"unicows.dll");
    if (path.empty())
        return;
    g_library = LoadLibraryW(path.c_str());
    if (!g_library)
        return;
    g_getStringTypeExW = reinterpret_cast<GetStringTypeExWProc>(
        reinterpret_cast<void*>(GetProcAddress(g_library, "GetStringTypeExW")));
}

void StopUnicodeLayer()
{
    g_getStringTypeExW = nullptr;
    if (g_library) {
        FreeLibrary(g_library);
        g_library = nullptr;
    }
}

GetStringTypeExWProc UnicodeLayerGetStringTypeExW()
{
    return g_getStringTypeExW;
}
