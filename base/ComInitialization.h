#pragma once
// COM for the calling thread, for as long as the object lives.

#include <objbase.h>

// Uninitialises COM only when this thread's initialisation succeeded.
class TComInitialization {
public:
    TComInitialization() : result_(CoInitialize(nullptr)) {}
    ~TComInitialization()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    TComInitialization(const TComInitialization&) = delete;
    TComInitialization& operator=(const TComInitialization&) = delete;

private:
    HRESULT result_;
};
