#include "net/http/HTTPRequestErrors.h"

Ref<NSError> HTTPRequestError(HTTPRequestErrorCode code, const std::string& description, const Ref<NSError>& underlying)
{
    Value userInfo = Value::dictionary({{NSLocalizedDescriptionKey, Value(description)}});
    if (underlying) {
        userInfo.setObject_forKey(Value(underlying), NSUnderlyingErrorKey);
    }
    return NSError::errorWithDomain_code_userInfo(NetworkRequestErrorDomain, code, userInfo);
}

namespace {

// Made once, never destroyed: requests on the network thread may report them while the process exits.
const Ref<NSError>& shared(HTTPRequestErrorCode code, const char* description)
{
    // One static per code: the function-local statics below are distinct for each caller.
    return *new Ref<NSError>(HTTPRequestError(code, description));
}

}  // namespace

Ref<NSError> HTTPRequestTimedOutError()
{
    static const Ref<NSError>& error = shared(HTTPErrorTimedOut, "The request timed out");
    return error;
}

Ref<NSError> HTTPAuthenticationError()
{
    static const Ref<NSError>& error = shared(HTTPErrorAuthenticationNeeded, "Authentication needed");
    return error;
}

Ref<NSError> HTTPRequestCancelledError()
{
    static const Ref<NSError>& error = shared(HTTPErrorCancelled, "The request was cancelled");
    return error;
}

Ref<NSError> HTTPUnableToCreateRequestError()
{
    static const Ref<NSError>& error = shared(HTTPErrorBadURL, "Unable to create request (bad url?)");
    return error;
}

Ref<NSError> HTTPTooMuchRedirectionError()
{
    static const Ref<NSError>& error =
        shared(HTTPErrorTooManyRedirects, "The request failed because it redirected too many times");
    return error;
}
