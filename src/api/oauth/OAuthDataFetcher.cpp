#include "api/oauth/OAuthDataFetcher.h"

#include <atomic>
#include <chrono>

#include "platform/foundation/CFRunLoopMode.h"
#include "platform/foundation/NSRunLoop.h"

namespace {
namespace OAuthDataFetcher_cpp {

bool statusBelow400(const Ref<NSURLResponse>& response)
{
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    return http && http->statusCode() < 400;
}

std::atomic<double> g_exchangeTimeout{OAuthDataFetcher::kDefaultExchangeTimeout};

// Gathers one exchange's outcome.
class Collector : public NSObject, public NSURLConnectionDelegate {
public:
    void connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& received) override
    {
        response = received;
        data = NSData();
    }
    void connection_didReceiveData(NSURLConnection*, const NSData& more) override { data.appendData(more); }
    void connectionDidFinishLoading(NSURLConnection*) override { done = true; }
    void connection_didFailWithError(NSURLConnection*, const Ref<NSError>& failure) override
    {
        error = failure;
        done = true;
    }

    Ref<NSURLResponse> response;
    NSData data;
    Ref<NSError> error;
    bool done = false;
};

}  // namespace OAuthDataFetcher_cpp
}  // namespace

void OAuthDataFetcher::fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
    const Ref<OAuthMutableURLRequest>& request, const Ref<NSObject>& delegate, OAuthFinishSelector finishSelector,
    OAuthFailSelector failSelector)
{
    using namespace OAuthDataFetcher_cpp;
    request_ = request;
    request_->prepare();
    response_ = nullptr;
    error_ = nullptr;
    std::optional<NSData> data;
    auto collector = std::make_shared<Collector>();
    auto connection = NSURLConnection::initWithRequest_delegate_startImmediately(request_, collector, false);
    if (connection) {
        // A provider that answers a byte at a time must neither freeze the interface nor hold the
        // exchange for ever: the loop turns while it runs, and it ends by the deadline.
        auto loop = NSRunLoop::currentRunLoop();
        connection->scheduleInRunLoop_forMode(loop, kCFRunLoopCommonModes);
        connection->start();
        const auto timeout = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(exchangeTimeout()));
        if (!loop->runUntil([&] { return collector->done; }, timeout)) {
            connection->cancel();
            collector->error = NSError::errorWithDomain_code_userInfo(NSURLErrorDomain, NSURLErrorTimedOut);
        }
        response_ = collector->response;
        error_ = collector->error;
        if (!error_) {
            data = collector->data;
        }
    }
    responseData_ = data.value_or(NSData());
    if (response_ && data && !error_) {
        finishSelector.send(delegate,
                            OAuthServiceTicket::initWithRequest_response_didSucceed(
                                request_, response_, OAuthDataFetcher_cpp::statusBelow400(response_)),
                            responseData_);
    } else {
        failSelector.send(delegate, OAuthServiceTicket::initWithRequest_response_didSucceed(request_, response_, false),
                          error_);
    }
}

double OAuthDataFetcher::exchangeTimeout() { return OAuthDataFetcher_cpp::g_exchangeTimeout.load(); }

void OAuthDataFetcher::setExchangeTimeout(double seconds) { OAuthDataFetcher_cpp::g_exchangeTimeout.store(seconds); }

Ref<OAuthAsynchronousDataFetcher>
OAuthAsynchronousDataFetcher::asynchronousFetcherWithRequest_delegate_didFinishSelector_didFailSelector(
    const Ref<OAuthMutableURLRequest>& request, const Ref<NSObject>& delegate, OAuthFinishSelector finishSelector,
    OAuthFailSelector failSelector)
{
    auto fetcher = std::make_shared<OAuthAsynchronousDataFetcher>();
    fetcher->request_ = request;
    fetcher->delegate_ = delegate;
    fetcher->finishSelector_ = std::move(finishSelector);
    fetcher->failSelector_ = std::move(failSelector);
    return fetcher;
}

bool OAuthAsynchronousDataFetcher::succeeded() const { return OAuthDataFetcher_cpp::statusBelow400(response_); }

void OAuthAsynchronousDataFetcher::start()
{
    request_->prepare();
    if (connection_) {
        connection_->cancel();
    }
    auto self = std::static_pointer_cast<OAuthAsynchronousDataFetcher>(shared_from_this());
    if (!NSURLConnection::canHandleRequest(request_)) {
        failSelector_.send(delegate_.lock(), OAuthServiceTicket::initWithRequest_response_didSucceed(request_, nullptr, false),
                           nullptr);
        return;
    }
    // The connection keeps the fetcher (its delegate) alive until it has reported.
    connection_ = NSURLConnection::initWithRequest_delegate_startImmediately(request_, self, false);
    connection_->scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopCommonModes);
    connection_->start();
}

void OAuthAsynchronousDataFetcher::cancel()
{
    if (connection_) {
        connection_->cancel();
        connection_ = nullptr;
    }
}

void OAuthAsynchronousDataFetcher::connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& response)
{
    response_ = response;
    responseData_ = NSData();
}

void OAuthAsynchronousDataFetcher::connection_didReceiveData(NSURLConnection*, const NSData& data)
{
    responseData_.appendData(data);
}

void OAuthAsynchronousDataFetcher::connectionDidFinishLoading(NSURLConnection*)
{
    connection_ = nullptr;
    finishSelector_.send(delegate_.lock(),
                         OAuthServiceTicket::initWithRequest_response_didSucceed(request_, response_, succeeded()),
                         responseData_);
}

void OAuthAsynchronousDataFetcher::connection_didFailWithError(NSURLConnection*, const Ref<NSError>& error)
{
    connection_ = nullptr;
    failSelector_.send(delegate_.lock(), OAuthServiceTicket::initWithRequest_response_didSucceed(request_, response_, false),
                       error);
}
