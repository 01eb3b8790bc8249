// The token cache: DPAPI for the current user, replaced whole, and nothing
// readable in it without that user's keys.

#include "GraphFixture.h"

#include <windows.h>
#include <dpapi.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string FileBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file << bytes;
}

int FilesIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    int n = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++n;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return n;
}

const TCachedSignIn kSignIn{L"zoë@contoso.example", L"oid-1", L"contoso.example", L"app-1",
                            "rt-0123456789abcdefghijklmnopqrstuvwxyz"};

class TokenCacheTest : public testing::Test {
protected:
    std::wstring Path() const { return folder.Path() + L"\\Pellorin\\microsoft365.token"; }
    TTempFolder folder;
};

TEST_F(TokenCacheTest, RoundTripsThroughDpapiAndTheFileHoldsNothingReadable)
{
    const TTokenCache cache(Path());
    EXPECT_FALSE(cache.Load());
    cache.Save(kSignIn);
    const auto loaded = cache.Load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Account, kSignIn.Account);
    EXPECT_EQ(loaded->ObjectId, kSignIn.ObjectId);
    EXPECT_EQ(loaded->TenantId, kSignIn.TenantId);
    EXPECT_EQ(loaded->ClientId, kSignIn.ClientId);
    EXPECT_EQ(loaded->RefreshToken, kSignIn.RefreshToken);

    const std::string bytes = FileBytes(Path());
    EXPECT_EQ(bytes.find("rt-0123456789"), std::string::npos);
    EXPECT_EQ(bytes.find("contoso"), std::string::npos);
    EXPECT_EQ(bytes.find("refresh_token"), std::string::npos);
}

// Any program the user runs can ask DPAPI for the user's secrets: only the
// cache's own entropy keeps them from opening the refresh token with it.
TEST_F(TokenCacheTest, TheFileOpensOnlyWithTheCachesOwnEntropy)
{
    TTokenCache(Path()).Save(kSignIn);
    std::string bytes = FileBytes(Path());
    DATA_BLOB sealed{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
    const auto opens = [&](DATA_BLOB* entropy) {
        DATA_BLOB plain{};
        if (!CryptUnprotectData(&sealed, nullptr, entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain))
            return false;
        LocalFree(plain.pbData);
        return true;
    };
    EXPECT_FALSE(opens(nullptr)) << "a plain CryptUnprotectData opened the token cache";
    std::string other = "Pellorin";
    DATA_BLOB wrong{static_cast<DWORD>(other.size()), reinterpret_cast<BYTE*>(other.data())};
    EXPECT_FALSE(opens(&wrong));
    std::string own = "Pellorin.Microsoft365.TokenCache";
    DATA_BLOB right{static_cast<DWORD>(own.size()), reinterpret_cast<BYTE*>(own.data())};
    EXPECT_TRUE(opens(&right)) << "the cache is sealed with DPAPI and its entropy";
}

TEST_F(TokenCacheTest, SaveReplacesTheWholeFileAndLeavesNoPartBehind)
{
    const TTokenCache cache(Path());
    cache.Save(kSignIn);
    TCachedSignIn second = kSignIn;
    second.RefreshToken = "rt-second";
    cache.Save(second);
    EXPECT_EQ(cache.Load()->RefreshToken, "rt-second");
    EXPECT_EQ(FilesIn(folder.Path() + L"\\Pellorin"), 1);
}

TEST_F(TokenCacheTest, DamagedOrForeignFileIsNoSignIn)
{
    const TTokenCache cache(Path());
    cache.Save(kSignIn);
    std::string bytes = FileBytes(Path());
    bytes[bytes.size() / 2] ^= 0x55;
    WriteBytes(Path(), bytes);
    EXPECT_FALSE(cache.Load());
    WriteBytes(Path(), "{\"refresh_token\":\"rt-plain\",\"oid\":\"x\"}");
    EXPECT_FALSE(cache.Load());
    WriteBytes(Path(), "");
    EXPECT_FALSE(cache.Load());
}

TEST_F(TokenCacheTest, RemoveDeletesAndAMissingFileIsNoFailure)
{
    const TTokenCache cache(Path());
    EXPECT_NO_THROW(cache.Remove());
    cache.Save(kSignIn);
    cache.Remove();
    EXPECT_FALSE(cache.Load());
    EXPECT_EQ(GetFileAttributesW(Path().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TokenCacheTest, FailedSaveKeepsTheOldSignInAndNamesNoToken)
{
    // A folder where the file should be: the new file cannot take its place.
    const std::wstring blocked = folder.Path() + L"\\blocked.token";
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    const TTokenCache cache(blocked);
    try {
        cache.Save(kSignIn);
        FAIL() << "saved over a folder";
    } catch (const EException& e) {
        EXPECT_EQ(e.Message().find(L"rt-"), std::wstring::npos);
        EXPECT_NE(e.Message().find(blocked), std::wstring::npos);
    }
    EXPECT_EQ(FilesIn(folder.Path()), 0);
}

TEST(TokenCachePath, LiesInTheUsersLocalApplicationData)
{
    const std::wstring path = TTokenCache::DefaultPath();
    EXPECT_NE(path.find(L"\\Pellorin\\microsoft365.token"), std::wstring::npos);
    wchar_t local[MAX_PATH] = {};
    ASSERT_TRUE(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH));
    EXPECT_EQ(_wcsnicmp(path.c_str(), local, wcslen(local)), 0);
}

}  // namespace
