#include "base/Sha256.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/SystemErrorText.h"

#include <windows.h>
#include <wincrypt.h>

namespace {

[[noreturn]] void RaiseLastError(const wchar_t* what)
{
    const DWORD code = GetLastError();
    throw EException(std::wstring(what) + L": " + SystemErrorText(code));
}

}  // namespace

TSha256::TSha256()
{
    if (!CryptAcquireContextW(provider_.put(), nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT) ||
        !CryptCreateHash(provider_.get(), CALG_SHA_256, 0, 0, hash_.put()))
        RaiseLastError(L"SHA-256 is not available");
}

void TSha256::Update(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(size > 0x10000000 ? 0x10000000 : size);
        if (!CryptHashData(hash_.get(), bytes, piece, 0))
            RaiseLastError(L"SHA-256 failed");
        bytes += piece;
        size -= piece;
    }
}

TSha256Digest TSha256::Finish()
{
    TSha256Digest digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(hash_.get(), HP_HASHVAL, digest.data(), &size, 0) ||
        size != digest.size())
        RaiseLastError(L"SHA-256 failed");
    return digest;
}

TSha256Digest Sha256(std::string_view bytes)
{
    TSha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

TSha256Digest Sha256OfFile(const std::wstring& path)
{
    UniqueKernelHandle file;
    try {
        file = OpenFileForReading(path);
    } catch (const EFileError& e) {
        throw EException(path + L": " + e.Message());
    }
    TSha256 hash;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            RaiseLastError(path.c_str());
        if (read == 0)
            break;
        hash.Update(buffer.data(), read);
    }
    return hash.Finish();
}

std::string LowerHex(const TSha256Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}
