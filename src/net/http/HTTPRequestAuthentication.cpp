// Authentication: credentials presented before a challenge, answers to 401 and 407 challenges, the
// session credential stores, and asking the delegate or the dialog.
#include "net/http/HTTPRequest.h"

void HTTPRequest::applyAuthorizationHeader()
{
    // Credentials presented before a challenge come with the authentication work; nothing in this
    // system sets any.
}

void HTTPRequest::attemptToApplyCredentialsAndResume()
{
    // Until challenges are answered, a challenged request fails as one nobody can answer.
    if (error() || isCancelled()) {
        return;
    }
    cancelLoad();
    failWithError(HTTPAuthenticationError());
}
