#pragma once
// Files as their makers encode them, and a folder of the test's own for them.

#include "base/Errors.h"
#include "listfile/CategoryListFile.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

inline std::string Utf8Bom(std::wstring_view text)
{
    return "\xEF\xBB\xBF" + ToUtf8(text);
}

inline std::string Utf16(std::wstring_view text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// "Name = colour @line", so that a whole list compares and prints at once.
inline std::vector<std::wstring> Described(const TCategoryListFile& list)
{
    std::vector<std::wstring> lines;
    for (const TListFileEntry& entry : list.Entries)
        lines.push_back(entry.Name + L" = " + (entry.Color ? *entry.Color->GraphName() : L"-") + L" @" +
                        std::to_wstring(entry.Line));
    return lines;
}

// A fresh folder under the user's temporary folder, removed with its files.
class TScratchFolder {
public:
    TScratchFolder()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"pellorin-listfile-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    ~TScratchFolder()
    {
        for (const std::wstring& name : Names()) {
            RemoveDirectoryW(Path(name).c_str());
            DeleteFileW(Path(name).c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    std::wstring Path(std::wstring_view name) const { return folder_ + std::wstring(name); }

    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((folder_ + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                names.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

    void Put(std::wstring_view name, std::string_view bytes) const
    {
        const HANDLE file =
            CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    std::string Get(std::wstring_view name) const
    {
        const HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        std::string bytes(1 << 16, '\0');
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        bytes.resize(read);
        return bytes;
    }

private:
    std::wstring folder_;
};
