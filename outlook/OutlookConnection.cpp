#include "outlook/OutlookConnection.h"

#include "base/Platform.h"
#include "outlook/BusyWait.h"
#include "outlook/LateBound.h"

#include <windows.h>

#include <algorithm>

namespace {

TComPtr<IDispatch> AttachToRunning(const std::wstring& progId)
{
    TComPtr<IDispatch> app;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid)))
        return app;
    TComPtr<IUnknown> running;
    if (FAILED(GetActiveObject(clsid, nullptr, running.put())) || !running)
        return app;
    if (FAILED(RetryWhileBusy([&] { return running->QueryInterface(IID_IDispatch, app.put_void()); })))
        app.reset();
    return app;
}

TComPtr<IDispatch> Start(const std::wstring& progId)
{
    CLSID clsid;
    OleCheck(CLSIDFromProgID(progId.c_str(), &clsid));
    TComPtr<IDispatch> app;
    OleCheck(RetryWhileBusy([&] {
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                app.put_void());
    }));
    return app;
}

// The version text is 8-bit; names stay UTF-16 elsewhere.
std::string ToAnsi(std::wstring_view text)
{
    return ToCodePage(text, CP_THREAD_ACP);
}

bool SameText(const std::string& a, const char* b)
{
    return CompareIgnoringCaseInUserLocale(FromCodePage(a, CP_THREAD_ACP), FromCodePage(b, CP_THREAD_ACP)) == 0;
}

struct TVersionRow {
    const char* major;
    const wchar_t* text;
};

const TVersionRow kVersionRows[] = {
    {"9", L"Outlook version detected: Outlook 2000"},
    {"10", L"Outlook version detected: Outlook 2002"},
    {"11", L"Outlook version detected: Outlook 2003"},
    {"12", L"Outlook version detected: Outlook 2007"},
    {"14", L"Outlook version detected: Outlook 2010"},
    {"15", L"Outlook version detected: Outlook 2013"},
    {"16", L"Outlook version detected: Outlook 2016 or later"},
};

}  // namespace

TAutomationValue OutlookGet(TOutlookConnection& connection, TOutlookObject object, const TAutomationValue& target,
                            std::wstring_view member, TCallKind kind, const TCallArgument& argument)
{
    return LateBoundGet(target, member, kind, argument, {&connection.MemberIds, object});
}

void OpenOutlookConnection(TOutlookConnection& connection, std::wstring_view progId)
{
    connection.MemberIds.Clear();
    const std::wstring id(progId);
    const auto application = [&](std::wstring_view member, const TCallArgument& argument = {}) {
        return OutlookGet(connection, TOutlookObject::Application, connection.OutlookApp, member, TCallKind::Method,
                          argument);
    };
    const auto takeNamespace = [&](const TComPtr<IDispatch>& app) {
        connection.OutlookApp = TAutomationValue(app);
        connection.OutlookNamespace = application(L"GetNamespace", std::wstring_view(L"MAPI"));
    };
    const TComPtr<IDispatch> running = AttachToRunning(id);
    try {
        takeNamespace(running ? running : Start(id));
    } catch (const EOleSysError& e) {
        // A killed Outlook can leave its running-object entry behind: start one, once.
        if (!running || !IsDisconnectCode(e.ErrorCode))
            throw;
        CloseOutlookConnection(connection);
        takeNamespace(Start(id));
    }

    // The major version's length comes from the first read and its characters
    // from the second, as Outlook has always been asked.
    const std::string first = ToAnsi(AutomationText(application(L"Version")));
    const std::size_t dot = first.find('.');
    const std::wstring version = AutomationText(application(L"Version"));
    const std::string second = ToAnsi(version);
    connection.OutlookMajorVersion =
        dot == std::string::npos ? std::string() : second.substr(0, std::min(dot, second.size()));
    connection.OutlookVersion = version;
}

void CloseOutlookConnection(TOutlookConnection& connection)
{
    connection.OutlookApp.Clear();
    connection.OutlookNamespace.Clear();
    connection.MemberIds.Clear();
}

std::wstring OutlookVersionText(const std::string& majorVersion)
{
    for (const TVersionRow& row : kVersionRows) {
        if (SameText(majorVersion, row.major))
            return row.text;
    }
    return {};
}

std::wstring DetectedVersionText(const std::string& majorVersion, const std::wstring& reportedVersion)
{
    const std::wstring known = OutlookVersionText(majorVersion);
    return known.empty() ? L"Outlook version detected: " + reportedVersion : known;
}

bool IsStoreInUse(const std::string& majorVersion)
{
    return SameText(majorVersion, "12") || KeepsListPerStore(majorVersion);
}

bool KeepsListPerStore(const std::string& majorVersion)
{
    for (const char* major : {"14", "15", "16"}) {
        if (SameText(majorVersion, major))
            return true;
    }
    return false;
}
