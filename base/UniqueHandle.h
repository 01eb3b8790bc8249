#pragma once
// One move-only owner for handle-like things, and every kind the program owns
// named here, so that no handle is closed by hand and none twice.

#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>
#include <winhttp.h>

#include <utility>

template <typename T, auto Close, T Invalid = T{}>
class TUniqueHandle {
public:
    TUniqueHandle() = default;
    explicit TUniqueHandle(T value) noexcept : value_(value) {}
    TUniqueHandle(TUniqueHandle&& other) noexcept : value_(other.release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    ~TUniqueHandle() { reset(); }

    T get() const noexcept { return value_; }
    // Frees what is held, then hands out the slot for an out-parameter.
    T* put() noexcept
    {
        reset();
        return &value_;
    }
    explicit operator bool() const noexcept { return value_ != Invalid; }
    T release() noexcept { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) noexcept
    {
        // Handed back what it holds, it keeps it rather than freeing it.
        const T old = std::exchange(value_, value);
        if (old != Invalid && old != value)
            Close(old);
    }

private:
    T value_ = Invalid;
};

inline void CloseKernelHandle(HANDLE handle) noexcept { CloseHandle(handle); }
// Events, processes, tokens, mutexes and files. CreateFile's failure is
// INVALID_HANDLE_VALUE, not null: OwnedFile (base/Files.h) turns it into empty.
using UniqueKernelHandle = TUniqueHandle<HANDLE, CloseKernelHandle>;

// Opening an empty path below a root may hand back the root's own
// pseudo-handle, which belongs to the process and is not ours to close.
inline void CloseKeyUnlessPredefined(HKEY key) noexcept
{
    for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                            HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
        if (key == root)
            return;
    }
    RegCloseKey(key);
}
using UniqueHkey = TUniqueHandle<HKEY, CloseKeyUnlessPredefined>;

inline void CloseInternetHandle(HINTERNET handle) noexcept { WinHttpCloseHandle(handle); }
// A WinHTTP session, connection or request.
using UniqueHinternet = TUniqueHandle<HINTERNET, CloseInternetHandle>;

// HCRYPTPROV and HCRYPTHASH are one integer type: the closing function is
// what tells the two owners apart.
inline void ReleaseCryptProvider(HCRYPTPROV provider) noexcept { CryptReleaseContext(provider, 0); }
inline void DestroyCryptHash(HCRYPTHASH hash) noexcept { CryptDestroyHash(hash); }
using UniqueCryptProvider = TUniqueHandle<HCRYPTPROV, ReleaseCryptProvider>;
using UniqueCryptHash = TUniqueHandle<HCRYPTHASH, DestroyCryptHash>;
// A CNG key storage provider or one of its keys.
inline void FreeNcryptObject(NCRYPT_HANDLE object) noexcept { NCryptFreeObject(object); }
using UniqueNcryptHandle = TUniqueHandle<NCRYPT_HANDLE, FreeNcryptObject>;
inline void CloseCertStore(HCERTSTORE store) noexcept { CertCloseStore(store, 0); }
inline void FreeCertContext(PCCERT_CONTEXT cert) noexcept { CertFreeCertificateContext(cert); }
using UniqueCertStore = TUniqueHandle<HCERTSTORE, CloseCertStore>;
using UniqueCertContext = TUniqueHandle<PCCERT_CONTEXT, FreeCertContext>;

inline void DeleteGdiObject(HGDIOBJ object) noexcept { DeleteObject(object); }
inline void DestroyOwnedIcon(HICON icon) noexcept { DestroyIcon(icon); }
using UniqueHfont = TUniqueHandle<HFONT, DeleteGdiObject>;
using UniqueHbitmap = TUniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueHbrush = TUniqueHandle<HBRUSH, DeleteGdiObject>;
using UniqueHicon = TUniqueHandle<HICON, DestroyOwnedIcon>;

// A window this program created and nothing else destroys first.
inline void DestroyOwnedWindow(HWND window) noexcept { DestroyWindow(window); }
using UniqueHwnd = TUniqueHandle<HWND, DestroyOwnedWindow>;
