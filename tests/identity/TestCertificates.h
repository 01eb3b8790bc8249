#pragma once
// The throwaway certificates that make-certificates.sh made for this build
// tree; the test's wrapper names their folder in PELLORIN_TEST_CERTIFICATES.

#include <string>

std::wstring TestCertificatePath(const wchar_t* name);
// A small file's bytes as they are (the password, the expected thumbprint).
std::string ReadTestFile(const std::wstring& path);

// Sets PELLORIN_PFX_PASSWORD for the test's lifetime, or removes it, and puts
// back what was there.
class TPfxPasswordScope {
public:
    explicit TPfxPasswordScope(const std::wstring* password);
    ~TPfxPasswordScope();
    TPfxPasswordScope(const TPfxPasswordScope&) = delete;
    TPfxPasswordScope& operator=(const TPfxPasswordScope&) = delete;

private:
    std::wstring saved_;
    bool had_ = false;
};

// The app.pfx's password, as make-certificates.sh chose it.
std::wstring TestPfxPassword();
