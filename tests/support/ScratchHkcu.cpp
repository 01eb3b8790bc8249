#include "ScratchHkcu.h"

#include <sddl.h>

#include <stdexcept>

namespace {

constexpr const wchar_t* kParent = L"Pellorin test scratch";

void Check(LONG status, const char* what)
{
    if (status != ERROR_SUCCESS)
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

void SetKeyDacl(const std::wstring& path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        throw std::runtime_error("bad security descriptor");
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    Check(status, "set key security");
}

}  // namespace

ScratchHkcu::ScratchHkcu()
{
    static int serial = 0;
    name_ = std::wstring(kParent) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++serial);
    Check(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_ALL_ACCESS, &realSoftware_), "open Software");
    Check(RegCreateKeyExW(realSoftware_, name_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &scratch_, nullptr),
          "create scratch key");
    Check(RegOverridePredefKey(HKEY_CURRENT_USER, scratch_), "redirect HKEY_CURRENT_USER");
}

ScratchHkcu::~ScratchHkcu()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch_);
    RegDeleteTreeW(realSoftware_, name_.c_str());
    // Fails while another test process still has its scratch key there.
    RegDeleteKeyW(realSoftware_, kParent);
    RegCloseKey(realSoftware_);
}

RestrictedKey::RestrictedKey(std::wstring path, const wchar_t* sddl) : path_(std::move(path))
{
    SetKeyDacl(path_, sddl);
}

RestrictedKey::~RestrictedKey()
{
    try {
        SetKeyDacl(path_, L"D:(A;;KA;;;WD)");
    } catch (const std::exception&) {
        // The scratch key then stays behind; nothing else is harmed.
    }
}

void PutValue(std::wstring_view keyPath, std::wstring_view name, DWORD type, const std::vector<BYTE>& bytes,
              HKEY root)
{
    HKEY key = nullptr;
    Check(RegCreateKeyExW(root, std::wstring(keyPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
          "create key");
    const LONG status = RegSetValueExW(key, std::wstring(name).c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    Check(status, "set value");
}

std::optional<RegistryValue> GetValue(std::wstring_view keyPath, std::wstring_view name, HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, std::wstring(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring valueName(name);
    RegistryValue value{};
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, valueName.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        status = RegQueryValueExW(key, valueName.c_str(), nullptr, &value.type,
                                  value.bytes.empty() ? nullptr : value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

bool KeyExists(std::wstring_view keyPath, HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, std::wstring(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<BYTE> Utf16Bytes(std::wstring_view text)
{
    std::vector<BYTE> bytes;
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return bytes;
}
