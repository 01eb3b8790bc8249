#pragma once
// SHA-256 through Windows' own cryptography: CryptoAPI's AES provider, which
// every Windows since XP SP3 has and Wine implements (its CNG hash is not
// needed for this).

#include "base/UniqueHandle.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using TSha256Digest = std::array<std::uint8_t, 32>;

class TSha256 {
public:
    TSha256();

    void Update(const void* data, std::size_t size);
    // Ends the hash; the object takes no more data after it.
    TSha256Digest Finish();

private:
    // Declared first, so that the hash is destroyed before its provider.
    UniqueCryptProvider provider_;
    UniqueCryptHash hash_;
};

TSha256Digest Sha256(std::string_view bytes);
// The digest of a file's bytes, read in pieces; raises EException with the
// system's text when the file cannot be read.
TSha256Digest Sha256OfFile(const std::wstring& path);
std::string LowerHex(const TSha256Digest& digest);
