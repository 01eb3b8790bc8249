#pragma once
// TStRegIni: a current key path below one predefined root, and the few value
// operations the master list needs. Texts are 8-bit, in the ANSI code page, and
// go through the 8-bit registry entry points. No key stays open between calls.

#include "base/Errors.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>

class EStException : public EException {
public:
    EStException(std::wstring message, int errorNumber);
    // The accessor's own number from its message table; a platform code, where
    // there is one, is only in the message.
    int ErrorNumber() const noexcept { return errorNumber_; }

private:
    int errorNumber_;
};

class EStRegIniError : public EStException {
public:
    using EStException::EStException;
};

class TStRegIni {
public:
    // "MACHINE", "USERS" and "ROOT" in any letter case select their root, any
    // other non-empty name HKEY_CURRENT_USER. Touches no key. Raises error 2 for
    // an empty name, error 4 on Win32s.
    explicit TStRegIni(const std::string& RootName);

    HKEY GetRootKey() const noexcept { return RootKey; }

    // Stored as given, a trailing "\" included.
    void SetCurrentSubKey(const std::string& Path) { CurrentSubKey = Path; }
    const std::string& GetCurrentSubKey() const noexcept { return CurrentSubKey; }

    // Type and byte size of a value of Key, or of the current key when Key is
    // null (then a missing key raises error 6). A missing value is a non-zero
    // status, and ValueType and DataSize keep what the caller had in them.
    LONG QueryValueInfo(HKEY Key, const std::string& ValueName, DWORD& ValueType, DWORD& DataSize);

    // Reads a REG_BINARY value of exactly Size bytes into Buffer; a Size other
    // than the value's raises error 34. A missing key or value, another type,
    // or a value that changed between the size query and the read makes it copy
    // Size bytes from Default instead (Default may be Buffer). True only when
    // the value's bytes were read.
    bool ReadBinaryValue(const std::string& ValueName, const void* Default, void* Buffer, int& Size);

    // REG_SZ and REG_EXPAND_SZ up to the first NUL, unexpanded; REG_BINARY of
    // at most 127 bytes as upper-case hex (more raises error 38); REG_DWORD in
    // decimal. Anything else, and a missing key or value, gives Default.
    std::string ReadStringValue(const std::string& ValueName, const std::string& Default);

    // A REG_SZ or REG_EXPAND_SZ value as stored, UTF-16 up to the first NUL, so
    // that no character is lost to the code page. Any other type gives Default.
    std::wstring ReadWideStringValue(const std::string& ValueName, const std::wstring& Default);

    // Creates the current key and its missing parents (error 5), then stores
    // Size bytes as REG_BINARY (error 8). Data may be null when Size is 0.
    void WriteBinaryValue(const std::string& ValueName, const void* Data, int Size);

    // Creates the current key and its missing parents (error 5), then stores
    // Text as REG_SZ, or REG_EXPAND_SZ when Type says so, through the wide API,
    // with its terminating U+0000 (error 8).
    void WriteWideStringValue(const std::string& ValueName, const std::wstring& Text, DWORD Type = REG_SZ);

    // Creates CurrentSubKey + "\" + Name, or Name when there is no current key.
    // Raises error 9 for an empty name, error 5 when the registry refuses.
    void CreateSubKey(const std::string& Name);

    // Path is relative to the root, not to the current key. A key that may not
    // be opened for reading counts as missing.
    bool SubKeyExists(const std::string& Path);

private:
    UniqueHkey OpenCurrentKey();
    // Empty when the current key cannot be opened for reading.
    UniqueHkey OpenCurrentKeyForReading();

    bool OpenForReading = false;
    HKEY RootKey;
    std::string CurrentSubKey;
    SECURITY_ATTRIBUTES KeySecurity;
};
