#pragma once
// A folder of the test's own under the temporary folder, removed with all it
// holds when the test ends.

#include <filesystem>
#include <string>
#include <string_view>

class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    std::wstring Path(std::wstring_view name) const;
    void Write(std::wstring_view name, std::string_view bytes) const;
    std::string Read(std::wstring_view name) const;

private:
    std::filesystem::path root_;
};
