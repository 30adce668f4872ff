#pragma once
// Errors of the HTTP client: one domain, eleven codes. The description of every error is under
// NSLocalizedDescriptionKey; a cause (the stream's, the file system's, zlib's) is under
// NSUnderlyingErrorKey where there is one.
//
// The errors of codes 2, 3, 4, 5 and 9 are single shared objects, made once for the process and never
// destroyed; compare them by code, not by identity, when a test only cares about the outcome.
#include <string>

#include "platform/foundation/NSError.h"

inline constexpr char NetworkRequestErrorDomain[] = "HTTPRequestErrorDomain";

enum HTTPRequestErrorCode : NSInteger {
    HTTPErrorConnectionFailure = 1,
    HTTPErrorTimedOut = 2,
    HTTPErrorAuthenticationNeeded = 3,
    HTTPErrorCancelled = 4,
    HTTPErrorBadURL = 5,
    HTTPErrorBuildingRequest = 6,
    HTTPErrorApplyingCredentials = 7,
    HTTPErrorFileManagement = 8,
    HTTPErrorTooManyRedirects = 9,
    HTTPErrorUnhandledException = 10,
    HTTPErrorCompression = 11,
};

// An error of the client's domain with `description` under NSLocalizedDescriptionKey and, when given,
// `underlying` under NSUnderlyingErrorKey.
Ref<NSError> HTTPRequestError(HTTPRequestErrorCode code, const std::string& description,
                              const Ref<NSError>& underlying = nullptr);

// The shared errors.
Ref<NSError> HTTPRequestTimedOutError();        // 2 "The request timed out"
Ref<NSError> HTTPAuthenticationError();         // 3 "Authentication needed"
Ref<NSError> HTTPRequestCancelledError();       // 4 "The request was cancelled"
Ref<NSError> HTTPUnableToCreateRequestError();  // 5 "Unable to create request (bad url?)"
Ref<NSError> HTTPTooMuchRedirectionError();     // 9 "The request failed because it redirected too many times"
