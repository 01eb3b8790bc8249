#pragma once
// The app registration's certificate with its private key, read from a PFX
// file, and RS256 signatures made with it by Windows' own cryptography.
//
// Importing a PFX makes Windows keep the key in a key container of the
// user's profile; this object deletes that container again when it ends, so
// that each run leaves no copy of the key behind. Windows gives each import a
// container of its own; Wine 8 puts every import in the user's one default
// container, so there a process holds one certificate at a time.

#include <memory>
#include <string>
#include <string_view>

inline constexpr wchar_t kPfxPasswordVariable[] = L"PELLORIN_PFX_PASSWORD";

class TAppCertificate {
public:
    // Reads the PFX at path; its password comes from PELLORIN_PFX_PASSWORD,
    // or none when that is not set. Raises ECredentialError naming the cause.
    static TAppCertificate FromPfxFile(const std::wstring& path);
    // The password is wiped before this returns, whatever the outcome; path
    // only names the file in messages.
    static TAppCertificate FromPfx(std::string_view pfx, std::wstring& password, bool passwordGiven,
                                   const std::wstring& path);

    TAppCertificate(TAppCertificate&&) noexcept;
    TAppCertificate& operator=(TAppCertificate&&) noexcept;
    ~TAppCertificate();

    // The certificate's DER encoding.
    const std::string& Der() const;
    // Base64url SHA-256 of the DER, the assertion header's "x5t#S256".
    std::string Sha256Thumbprint() const;
    // RSASSA-PKCS1-v1_5 with SHA-256, most significant byte first, as JWS's
    // RS256 wants it.
    std::string SignRs256(std::string_view data) const;

private:
    struct TImpl;
    explicit TAppCertificate(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
};
