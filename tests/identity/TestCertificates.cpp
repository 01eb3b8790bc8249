#include "identity/TestCertificates.h"

#include "base/Errors.h"
#include "identity/AppCertificate.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

std::wstring TestCertificatePath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"PELLORIN_TEST_CERTIFICATES", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("PELLORIN_TEST_CERTIFICATES is not set: run this test through CTest");
    return std::wstring(folder, length) + L"\\" + name;
}

std::string ReadTestFile(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

TPfxPasswordScope::TPfxPasswordScope(const std::wstring* password)
{
    const DWORD needed = GetEnvironmentVariableW(kPfxPasswordVariable, nullptr, 0);
    if (needed > 0) {
        saved_.resize(needed);
        saved_.resize(GetEnvironmentVariableW(kPfxPasswordVariable, saved_.data(), needed));
        had_ = true;
    }
    SetEnvironmentVariableW(kPfxPasswordVariable, password ? password->c_str() : nullptr);
}

TPfxPasswordScope::~TPfxPasswordScope()
{
    SetEnvironmentVariableW(kPfxPasswordVariable, had_ ? saved_.c_str() : nullptr);
}

std::wstring TestPfxPassword()
{
    return FromUtf8(ReadTestFile(TestCertificatePath(L"password.txt")));
}
