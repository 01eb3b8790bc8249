#pragma once
// Points this program's import of one system function at a stand-in for the
// patch's life, so that a test can step in between the code under test and
// the platform at an exact moment: change a registry value between its size
// and its read, or look at a lock while the registry is being written. The
// stand-in calls Original() for what the platform would have done.

#include <vector>

class TImportPatch {
public:
    // Raises std::runtime_error when the program imports no function of that name.
    TImportPatch(const char* function, void* replacement);
    ~TImportPatch();
    TImportPatch(const TImportPatch&) = delete;
    TImportPatch& operator=(const TImportPatch&) = delete;

    template <class Function>
    Function Original() const
    {
        return reinterpret_cast<Function>(original_);
    }

private:
    std::vector<void**> slots_;
    void* original_ = nullptr;
};
