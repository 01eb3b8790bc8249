// Files read whole and replaced whole, and the system's texts their failures carry.
#include "base/Files.h"
#include "base/SystemErrorText.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class FilesTest : public testing::Test {
protected:
    FilesTest()
    {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                (L"pellorin-files-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~FilesTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::wstring Path(const wchar_t* name) const { return (root_ / name).wstring(); }
    void Write(const wchar_t* name, const std::string& bytes) const
    {
        std::ofstream(root_ / name, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string Read(const wchar_t* name) const
    {
        std::ifstream file(root_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(root_))
            names.push_back(entry.path().filename().wstring());
        return names;
    }

    std::filesystem::path root_;
};

TEST_F(FilesTest, ReadsEveryByteUpToTheLimitAndRefusesOneMoreBeforeReading)
{
    const std::string large(300 * 1024 + 7, '\x5A');
    for (const std::string& bytes : {std::string(), std::string("\0\r\n\xFF", 4), large}) {
        Write(L"a.bin", bytes);
        EXPECT_EQ(ReadWholeFile(Path(L"a.bin"), large.size()), bytes);
    }
    const auto tooLarge = Caught<EFileError>([&] { ReadWholeFile(Path(L"a.bin"), large.size() - 1); });
    EXPECT_EQ(tooLarge.Code(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
}

TEST_F(FilesTest, AFileAnotherProgramHoldsOpenForWritingStillReads)
{
    Write(L"held.csv", "DisplayName,Color\r\n");
    // As a spreadsheet holds the file it shows: writing, others may only read.
    const UniqueKernelHandle held = OwnedFile(CreateFileW(Path(L"held.csv").c_str(), GENERIC_READ | GENERIC_WRITE,
                                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(ReadWholeFile(Path(L"held.csv"), 1024), "DisplayName,Color\r\n");
    EXPECT_EQ(ReadWholeFile(held.get(), 1024), "DisplayName,Color\r\n") << "and the open handle reads from its start";
}

TEST_F(FilesTest, AFailureCarriesItsCodeAndTheSystemsText)
{
    const auto missing = Caught<EFileError>([&] { ReadWholeFile(Path(L"missing.csv"), 1024); });
    EXPECT_EQ(missing.Code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.Message(), SystemErrorText(ERROR_FILE_NOT_FOUND));
    // The messages put it after a name and the front end adds the ".".
    for (const DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_SHARING_VIOLATION}}) {
        const std::wstring text = SystemErrorText(code);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), L'.') << code;
        EXPECT_GT(text.back(), L' ') << code;
    }
    EXPECT_EQ(SystemErrorText(0x2000BEEF), L"System error 536919791") << "a code without a text";
}

TEST_F(FilesTest, ReplacingPutsTheNewFileWholeInPlaceAndLeavesNothingElse)
{
    ReplaceWholeFile(Path(L"list.csv"), "a long first version\r\n");
    EXPECT_EQ(Read(L"list.csv"), "a long first version\r\n");
    ReplaceWholeFile(Path(L"list.csv"), "short");
    EXPECT_EQ(Read(L"list.csv"), "short") << "nothing of the longer old file is left at its end";
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"list.csv"});
}

TEST_F(FilesTest, AReplaceThatFailsLeavesTheFolderAsItWas)
{
    // A folder where the file should be: the new file cannot take its place.
    std::filesystem::create_directory(root_ / L"taken.csv");
    Write(L"other.csv", "kept");
    const auto failed = Caught<EFileError>([&] { ReplaceWholeFile(Path(L"taken.csv"), "new"); });
    EXPECT_NE(failed.Code(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(std::filesystem::is_directory(root_ / L"taken.csv"));
    EXPECT_EQ(Names().size(), 2u) << "the new file beside it is gone";
    EXPECT_EQ(Read(L"other.csv"), "kept");

    const auto noFolder = Caught<EFileError>([&] { ReplaceWholeFile(Path(L"none\\list.csv"), "new"); });
    EXPECT_NE(noFolder.Code(), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(FilesTest, FullPathsResolveAgainstTheCurrentFolderAtAnyLength)
{
    wchar_t previous[MAX_PATH];
    ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryW(root_.c_str()));
    const std::wstring root = FullPath(L".");
    EXPECT_EQ(FullPath(L"sub\\..\\list.csv"), root + L"\\list.csv");
    // A relative name writes beside the current folder's other files.
    ReplaceWholeFile(L"list.csv", "here");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(Read(L"list.csv"), "here");

    // Longer than MAX_PATH: the buffer grows, and nothing is cut off.
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\list.csv";
    EXPECT_EQ(FullPath(deep), deep);
}

}  // namespace
