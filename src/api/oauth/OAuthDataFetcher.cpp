#include "api/oauth/OAuthDataFetcher.h"

#include "platform/foundation/NSRunLoop.h"

namespace {
namespace OAuthDataFetcher_cpp {

bool statusBelow400(const Ref<NSURLResponse>& response)
{
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    return http && http->statusCode() < 400;
}

}  // namespace OAuthDataFetcher_cpp
}  // namespace

void OAuthDataFetcher::fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
    const Ref<OAuthMutableURLRequest>& request, const Ref<NSObject>& delegate, OAuthFinishSelector finishSelector,
    OAuthFailSelector failSelector)
{
    request_ = request;
    request_->prepare();
    response_ = nullptr;
    error_ = nullptr;
    std::optional<NSData> data =
        NSURLConnection::sendSynchronousRequest_returningResponse_error(request_, &response_, &error_);
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
