// What Explorer's Properties and Windows' installers read from the built exes:
// the version resource and the manifest's version, read back through the
// system's own API, so that a resource the compiler mangled (the "(c)" sign of
// the notice, say) or a version written by hand somewhere shows here.
#include "base/ProductInfo.h"
#include "standins/outlook/StandInControl.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#ifndef PELLORIN_EXE
#error "PELLORIN_EXE and PELLORIN_SYNC_EXE name the programs under test"
#endif

namespace {

struct TShippedExe {
    const char* BuildPath;
    const wchar_t* FileName;
    const wchar_t* InternalName;
};

class VersionResource : public testing::TestWithParam<TShippedExe> {
protected:
    void SetUp() override
    {
        path_ = WindowsPath(GetParam().BuildPath);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource in " << testing::PrintToString(path_);
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, block_.data()));
    }

    // The string of the English (US), Unicode table, the one the resource declares.
    std::wstring Value(const wchar_t* name)
    {
        void* text = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueW(block_.data(), query.c_str(), &text, &length) || !text)
            return L"(missing)";
        return std::wstring(static_cast<const wchar_t*>(text));
    }

    std::wstring path_;
    std::vector<BYTE> block_;
};

TEST_P(VersionResource, NamesTheMakerTheNoticeAndWhatTheProgramDoes)
{
    EXPECT_EQ(Value(L"CompanyName"), L"Pellorin authors");
    // The window's Label5 and the splash show the same notice.
    EXPECT_EQ(Value(L"LegalCopyright"), PELLORIN_MAKER_NOTICE);
    for (const wchar_t* name : {L"Comments", L"FileDescription"}) {
        const std::wstring text = Value(name);
        EXPECT_GT(text.size(), 20u) << name;
        EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << name << ": one line";
    }
    EXPECT_NE(Value(L"Comments"), Value(L"FileDescription"));
    EXPECT_EQ(Value(L"ProductName"), L"Pellorin");
    EXPECT_EQ(Value(L"OriginalFilename"), GetParam().FileName);
    EXPECT_EQ(Value(L"InternalName"), GetParam().InternalName);

    void* table = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &table, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(table)[0], 0x0409);
    EXPECT_EQ(static_cast<const WORD*>(table)[1], 1200);
}

TEST_P(VersionResource, EveryVersionIsTheBuildsOne)
{
    EXPECT_EQ(Value(L"FileVersion"), PELLORIN_VERSION_TEXT);
    EXPECT_EQ(Value(L"ProductVersion"), PELLORIN_VERSION_TEXT);
    void* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", &fixed, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto& info = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
    EXPECT_EQ(info.dwFileVersionMS, static_cast<DWORD>(MAKELONG(PELLORIN_VERSION_MINOR, PELLORIN_VERSION_MAJOR)));
    EXPECT_EQ(info.dwFileVersionLS, 0u);
    EXPECT_EQ(info.dwProductVersionMS, info.dwFileVersionMS);
    EXPECT_EQ(info.dwProductVersionLS, 0u);

    // The manifest's assembly version, which Windows reads from the exe itself.
    const HMODULE exe = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    const HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(exe, found)));
    const std::string manifest(bytes, SizeofResource(exe, found));
    FreeLibrary(exe);
    const std::string identity = manifest.substr(0, manifest.find("<dependency>"));
    const std::string version = std::to_string(PELLORIN_VERSION_MAJOR) + "." + std::to_string(PELLORIN_VERSION_MINOR);
    EXPECT_NE(identity.find(" version=\"" + version + ".0.0\""), std::string::npos) << identity;
}

INSTANTIATE_TEST_SUITE_P(Shipped, VersionResource,
                         testing::Values(TShippedExe{PELLORIN_EXE, L"Pellorin.exe", L"Pellorin"},
                                         TShippedExe{PELLORIN_SYNC_EXE, L"PellorinSync.exe", L"PellorinSync"}),
                         [](const testing::TestParamInfo<TShippedExe>& info) {
                             return info.index == 0 ? std::string("Pellorin") : std::string("PellorinSync");
                         });

}  // namespace
