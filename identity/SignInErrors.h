#pragma once
// What stops the use of a Microsoft 365 mailbox for want of a sign-in. Their
// texts never hold a token: they come from these classes' callers or from
// the service's own error description.

#include "base/Errors.h"

// Nobody is signed in with the configured tenant and app, or the sign-in is
// no longer accepted: the user must sign in (again). Front ends may say how.
class ESignInRequired : public EException {
public:
    using EException::EException;
};

// The sign-in itself ended without an account: declined, expired, refused by
// the service, or cancelled.
class ESignInFailed : public EException {
public:
    using EException::EException;
};

class ESignInCancelled : public ESignInFailed {
public:
    ESignInCancelled() : ESignInFailed(L"The sign-in to Microsoft 365 was cancelled.") {}
};

// The configured tenant, app or base address cannot be used.
class ESettingsError : public EException {
public:
    using EException::EException;
};
