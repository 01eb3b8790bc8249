#pragma once
// The program state over an Outlook profile, set up as a front end sets it up:
// the connection, the profile as the source of the stores, and the version
// found. Everything goes again, stores first, when it goes.

#include "commands/ProgramState.h"
#include "outlook/OutlookStores.h"

#include <string>

struct TOutlookProgram {
    explicit TOutlookProgram(std::wstring progId, TOnlyStoreNaming naming = TOnlyStoreNaming::Unnamed)
        : Profile(Connection, naming, std::move(progId))
    {
        State.Sources = {&Profile};
    }
    ~TOutlookProgram() { Close(); }
    TOutlookProgram(const TOutlookProgram&) = delete;
    TOutlookProgram& operator=(const TOutlookProgram&) = delete;

    void Open()
    {
        Profile.Open();
        State.OutlookMajorVersion = Connection.OutlookMajorVersion;
        State.OutlookVersion = Connection.OutlookVersion;
    }
    void Close()
    {
        State.Stores.clear();
        CloseOutlookConnection(Connection);
    }

    TOutlookConnection Connection;
    TOutlookProfile Profile;
    TProgramState State;
};
