#pragma once
// Where Graph calls get their bearer tokens, whatever the grant behind them:
// a signed-in user's refresh token here, an application's credentials later.
// Implementations are safe to use from several threads at once.

#include <string>

class IAccessTokenSource {
public:
    virtual ~IAccessTokenSource() = default;
    // A token that stays valid for a while yet. Raises ESignInRequired when
    // none can be had without the user.
    virtual std::string AccessToken() = 0;
    // Graph turned rejected away (401): a new token, or ESignInRequired. A
    // token other threads renewed meanwhile is handed out without asking again.
    virtual std::string RenewAfterRejection(const std::string& rejected) = 0;
};
