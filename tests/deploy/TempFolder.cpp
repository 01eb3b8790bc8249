#include "deploy/TempFolder.h"

#include <windows.h>

#include <fstream>
#include <sstream>

TTempFolder::TTempFolder()
{
    static int counter = 0;
    root_ = std::filesystem::temp_directory_path() /
            (L"pellorin-deploy-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
}

TTempFolder::~TTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::wstring TTempFolder::Path(std::wstring_view name) const
{
    return (root_ / name).wstring();
}

void TTempFolder::Write(std::wstring_view name, std::string_view bytes) const
{
    std::ofstream file(root_ / name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TTempFolder::Read(std::wstring_view name) const
{
    std::ifstream file(root_ / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}
