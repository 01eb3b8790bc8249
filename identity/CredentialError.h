#pragma once
// A run that signs in as the application stops before it changes anything
// when its credentials are wrong; this is what it raises then, with a text
// that names the cause and what to mend.

#include "base/Errors.h"

class ECredentialError : public EException {
public:
    using EException::EException;
};
