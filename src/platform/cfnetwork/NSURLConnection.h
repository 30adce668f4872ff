#pragma once
// URL loading: one request, its response and bytes, then finish or failure, delivered on the run loop
// (and in the modes) the connection is scheduled on. Built on the same transport as the HTTP client
// (CFHTTPReadStream), with what the platform's URL loading adds on top: redirects (at most 16; a
// delegate may change or refuse each), cookies from and to the shared jar (unless the request turns
// them off), "Accept-Encoding: gzip, deflate" with the body inflated before delivery, and the
// request's time-out (no activity for timeoutInterval seconds fails with NSURLErrorTimedOut).
//
//   +connectionWithRequest:delegate:                    NSURLConnection::connectionWithRequest_delegate
//   -initWithRequest:delegate:[startImmediately:]       NSURLConnection::initWithRequest_delegate[_startImmediately]
//   -scheduleInRunLoop:forMode:, -unscheduleFromRunLoop:forMode:, -start, -cancel
//   +sendSynchronousRequest:returningResponse:error:    NSURLConnection::sendSynchronousRequest_returningResponse_error
//   +canHandleRequest:                                  NSURLConnection::canHandleRequest
//
// As on the phone, the connection keeps its delegate (and itself) alive until it has finished, failed
// or been cancelled; after cancel() the delegate hears nothing more. A connection started without
// being scheduled runs on the current thread's run loop in the default mode. Every connection has its
// own network connection (nothing is kept alive between loads).
//
// Errors have the domain NSURLErrorDomain: -1001 timed out, -1002 unsupported URL, -1003 host not
// found, -1004 cannot connect, -1005 connection lost, -1007 too many redirects, -1011 bad server
// response, -1200 secure connection failed, -1202 untrusted server certificate; the transport's error
// is the underlying error (NSUnderlyingErrorKey).
#include <optional>
#include <string>

#include "platform/cfnetwork/NSURLRequest.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"

inline constexpr char NSURLErrorDomain[] = "NSURLErrorDomain";
enum : long {
    NSURLErrorUnknown = -1,
    NSURLErrorCancelled = -999,
    NSURLErrorBadURL = -1000,
    NSURLErrorTimedOut = -1001,
    NSURLErrorUnsupportedURL = -1002,
    NSURLErrorCannotFindHost = -1003,
    NSURLErrorCannotConnectToHost = -1004,
    NSURLErrorNetworkConnectionLost = -1005,
    NSURLErrorHTTPTooManyRedirects = -1007,
    NSURLErrorBadServerResponse = -1011,
    NSURLErrorDataLengthExceedsMaximum = -1103,
    NSURLErrorSecureConnectionFailed = -1200,
    NSURLErrorServerCertificateUntrusted = -1202,
};

class NSURLConnection;

// NSURLConnectionDelegate and NSURLConnectionDataDelegate in one protocol; every message is optional.
class NSURLConnectionDelegate {
public:
    virtual ~NSURLConnectionDelegate() = default;
    // Before following a redirect: the request to send instead (nullptr: do not follow, the redirect
    // response is then delivered as the response). Default: follow.
    virtual Ref<NSURLRequest> connection_willSendRequest_redirectResponse(NSURLConnection* connection,
                                                                          const Ref<NSURLRequest>& request,
                                                                          const Ref<NSURLResponse>& redirectResponse)
    {
        return request;
    }
    virtual void connection_didReceiveResponse(NSURLConnection* connection, const Ref<NSURLResponse>& response) {}
    virtual void connection_didReceiveData(NSURLConnection* connection, const NSData& data) {}
    virtual void connectionDidFinishLoading(NSURLConnection* connection) {}
    virtual void connection_didFailWithError(NSURLConnection* connection, const Ref<NSError>& error) {}
};

class NSURLConnection : public NSObject {
public:
    static constexpr int kMaxRedirects = 16;

    static Ref<NSURLConnection> connectionWithRequest_delegate(const Ref<NSURLRequest>& request,
                                                               const std::shared_ptr<NSURLConnectionDelegate>& delegate);
    static Ref<NSURLConnection> initWithRequest_delegate(const Ref<NSURLRequest>& request,
                                                         const std::shared_ptr<NSURLConnectionDelegate>& delegate)
    {
        return connectionWithRequest_delegate(request, delegate);
    }
    static Ref<NSURLConnection> initWithRequest_delegate_startImmediately(
        const Ref<NSURLRequest>& request, const std::shared_ptr<NSURLConnectionDelegate>& delegate,
        bool startImmediately);

    // The body, or nullopt on failure (with *error set); *response is the last response received.
    static std::optional<NSData> sendSynchronousRequest_returningResponse_error(const Ref<NSURLRequest>& request,
                                                                               Ref<NSURLResponse>* response,
                                                                               Ref<NSError>* error);
    static bool canHandleRequest(const Ref<NSURLRequest>& request);

    ~NSURLConnection() override;

    void scheduleInRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode);
    void unscheduleFromRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode);
    void start();
    void cancel();

    const Ref<NSURLRequest>& originalRequest() const;
    const Ref<NSURLRequest>& currentRequest() const;

    struct Impl;
    NSURLConnection();  // use the factories

private:
    std::unique_ptr<Impl> impl_;
};
