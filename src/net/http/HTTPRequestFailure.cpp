// Failures: the one failure routine every path ends in, and the read stream's errors.
#include <cerrno>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPCacheDelegate.h"
#include "net/http/HTTPRequestShared.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSString.h"

namespace {

// The stream's error as an error object (its domain, code and description).
Ref<NSError> streamErrorObject(const CFStreamError& error)
{
    if (!error) {
        return nullptr;
    }
    return NSError::errorWithDomain_code_userInfo(
        error.domainName(), error.error, Value::dictionary({{NSLocalizedDescriptionKey, Value(error.description())}}));
}

}  // namespace

void HTTPRequest::failWithError(const Ref<NSError>& theError)
{
    auto request = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    complete_ = true;
    Shared& s = shared();
    // The connection itself is suspect after any failure but a challenge or too many redirects.
    if (theError && theError->code() != HTTPErrorAuthenticationNeeded && theError->code() != HTTPErrorTooManyRedirects) {
        {
            std::lock_guard connections(*s.connectionsLock);
            if (std::shared_ptr<HTTPConnectionInfo> info = connectionInfo()) {
                info->request.reset();
                info->stream = nullptr;  // this request closes its stream; nobody else may
                std::erase(s.persistentConnectionsPool, info);
            }
        }
        destroyReadStream();
    }
    if (connectionCanBeReused()) {
        std::lock_guard connections(*s.connectionsLock);
        if (std::shared_ptr<HTTPConnectionInfo> info = connectionInfo()) {
            info->expires = Clock::now() + persistentConnectionTimeoutSeconds();
        }
    }
    // Only the first error is recorded and reported.
    if (cancelledFlag_ || error()) {
        return;
    }
    // A request whose cache policy falls back to the cache answers with the stored copy instead.
    if (Ref<HTTPCacheDelegate> cache = downloadCache();
        cache && (cachePolicy() & CachePolicyFallbackToCache) && cache->canUseCachedDataForRequest(request)) {
        useDataFromCache();
        return;
    }
    setError(theError);
    Ref<HTTPRequest> reporter = request;
    if (Ref<HTTPRequest> theMainRequest = mainRequest()) {
        theMainRequest->setError(theError);
        reporter = theMainRequest;
    }
    if (isPACFileRequest()) {
        reporter->reportFailure();
    } else if (reporter->hasReceiver(kToDelegate | kToQueue, &HTTPRequest::failureBlock_)) {
        reporter->performOnMainThread([](HTTPRequest& failed) { failed.reportFailure(); });
    }
    if (inProgress_) {
        markAsFinished();
    }
}

void HTTPRequest::handleStreamError()
{
    Ref<CFHTTPReadStream> stream = readStream();
    const CFStreamError streamError = stream ? stream->getError() : CFStreamError{};
    if (error()) {
        cancelLoad();
    } else {
        // The peer dropped the connection under us (typically a kept-alive socket the server had
        // already given up on): one fresh connection is worth a try.
        const bool lost = streamError.isConnectionLost() ||
                          (streamError.domain == kCFStreamErrorDomainPOSIX &&
                           (streamError.error == ENOTCONN || streamError.error == EPIPE ||
                            streamError.error == ECONNRESET));
        if (lost && retryUsingNewConnection()) {
            return;
        }
        std::string description = "A connection failure occurred";
        if (streamError.isSSLFailure()) {
            description = stringWithFormat(
                "%@: SSL problem (Possible causes may include a bad/expired/self-signed certificate, clock set to "
                "wrong date)",
                description);
        }
        cancelLoad();
        failWithError(HTTPRequestError(HTTPErrorConnectionFailure, description, streamErrorObject(streamError)));
    }
    checkRequestStatus();
}

bool HTTPRequest::retryUsingNewConnection()
{
    // Once per request: a second lost connection is a real failure.
    if (retryCount() != 0) {
        return false;
    }
    // The connection is suspect: its stream is closed, not parked.
    discardConnectionForRetry();
    setRetryCount(retryCount() + 1);
    startRequest();
    return true;
}
