#pragma once
// Redirects this process's HKEY_CURRENT_USER to a fresh key that is deleted
// again afterwards, so that no test reads or writes the user's real keys (on
// Windows, the real Office keys). One at a time per process.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ScratchHkcu {
public:
    ScratchHkcu();
    ~ScratchHkcu();
    ScratchHkcu(const ScratchHkcu&) = delete;
    ScratchHkcu& operator=(const ScratchHkcu&) = delete;

    // The real HKEY_CURRENT_USER\Software, for checking that it stayed untouched.
    HKEY RealSoftware() const { return realSoftware_; }

private:
    HKEY realSoftware_ = nullptr;
    HKEY scratch_ = nullptr;
    std::wstring name_;
};

// Gives everyone full access to a key below HKEY_CURRENT_USER except what sddl
// denies, and full access again when it goes, so the scratch key can be deleted.
class RestrictedKey {
public:
    RestrictedKey(std::wstring path, const wchar_t* sddl);
    ~RestrictedKey();
    RestrictedKey(const RestrictedKey&) = delete;
    RestrictedKey& operator=(const RestrictedKey&) = delete;

private:
    std::wstring path_;
};
inline constexpr const wchar_t* kDenyWrite = L"D:(D;;0x6;;;WD)(A;;KA;;;WD)";  // KEY_SET_VALUE, KEY_CREATE_SUB_KEY
inline constexpr const wchar_t* kDenyRead = L"D:(D;;KR;;;WD)(A;;KA;;;WD)";

struct RegistryValue {
    DWORD type;
    std::vector<BYTE> bytes;
    bool operator==(const RegistryValue&) const = default;
};

// Helpers on the wide API, independent of the code under test. root defaults
// to HKEY_CURRENT_USER, which is the scratch key while one is active.
void PutValue(std::wstring_view keyPath, std::wstring_view name, DWORD type, const std::vector<BYTE>& bytes,
              HKEY root = HKEY_CURRENT_USER);
std::optional<RegistryValue> GetValue(std::wstring_view keyPath, std::wstring_view name,
                                      HKEY root = HKEY_CURRENT_USER);
bool KeyExists(std::wstring_view keyPath, HKEY root = HKEY_CURRENT_USER);

// UTF-16 code units, low byte first, without terminator.
std::vector<BYTE> Utf16Bytes(std::wstring_view text);
