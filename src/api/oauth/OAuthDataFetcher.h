#pragma once
// Fetchers that prepare (sign) an OAuth request, send it and report to two messages of a delegate: the
// finish message with a ticket (didSucceed: the HTTP status is below 400) and the body, or the fail
// message with a ticket (didSucceed NO) and the error. The delegate is held weakly and decides what an
// error status means.
//
//   OAuthDataFetcher: synchronous for its caller, on the calling thread. While the exchange runs the
//   thread's run loop keeps turning in the default mode (the interface stays alive however slowly
//   the provider answers), and the whole exchange has a deadline (exchangeTimeout): past it the
//   connection is cancelled and the fail message carries NSURLErrorTimedOut.
//   OAuthAsynchronousDataFetcher: a connection on the run loop of the thread that starts it (common
//   modes); the fetcher lives until it has reported, or until cancel().
#include <functional>
#include <string>

#include "api/oauth/OAuthMutableURLRequest.h"
#include "platform/cfnetwork/NSURLConnection.h"

// A delegate's message taking a ticket and a result, named as the platform named it
// ("requestTokenTicket:didFinishWithData:").
template <class Result>
class OAuthTicketSelector {
public:
    using Invoke = std::function<void(NSObject* target, const Ref<OAuthServiceTicket>& ticket, const Result& result)>;

    OAuthTicketSelector() = default;
    OAuthTicketSelector(std::string name, Invoke invoke) : name_(std::move(name)), invoke_(std::move(invoke)) {}

    template <class T>
    static OAuthTicketSelector make(std::string name,
                                    void (T::*fn)(const Ref<OAuthServiceTicket>&, const Result&))
    {
        return OAuthTicketSelector(std::move(name), [fn](NSObject* target, const Ref<OAuthServiceTicket>& ticket,
                                                         const Result& result) {
            if (T* object = dynamic_cast<T*>(target)) {
                (object->*fn)(ticket, result);
            }
        });
    }

    const std::string& name() const { return name_; }
    explicit operator bool() const { return static_cast<bool>(invoke_); }
    void send(const Ref<NSObject>& target, const Ref<OAuthServiceTicket>& ticket, const Result& result) const
    {
        if (target && invoke_) {
            invoke_(target.get(), ticket, result);
        }
    }

private:
    std::string name_;
    Invoke invoke_;
};

using OAuthFinishSelector = OAuthTicketSelector<NSData>;
using OAuthFailSelector = OAuthTicketSelector<Ref<NSError>>;

class OAuthDataFetcher : public NSObject {
public:
    static Ref<OAuthDataFetcher> create() { return std::make_shared<OAuthDataFetcher>(); }

    // Seconds of real time a whole exchange may take, for every fetcher.
    static constexpr double kDefaultExchangeTimeout = 30;
    static double exchangeTimeout();
    static void setExchangeTimeout(double seconds);

    void fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(const Ref<OAuthMutableURLRequest>& request,
                                                                         const Ref<NSObject>& delegate,
                                                                         OAuthFinishSelector finishSelector,
                                                                         OAuthFailSelector failSelector);

    Ref<OAuthMutableURLRequest> request() const { return request_; }
    Ref<NSURLResponse> response() const { return response_; }
    Ref<NSError> error() const { return error_; }
    const NSData& responseData() const { return responseData_; }

private:
    Ref<OAuthMutableURLRequest> request_;
    Ref<NSURLResponse> response_;
    Ref<NSError> error_;
    NSData responseData_;
};

class OAuthAsynchronousDataFetcher : public NSObject, public NSURLConnectionDelegate {
public:
    static Ref<OAuthAsynchronousDataFetcher> asynchronousFetcherWithRequest_delegate_didFinishSelector_didFailSelector(
        const Ref<OAuthMutableURLRequest>& request, const Ref<NSObject>& delegate, OAuthFinishSelector finishSelector,
        OAuthFailSelector failSelector);
    static Ref<OAuthAsynchronousDataFetcher> initWithRequest_delegate_didFinishSelector_didFailSelector(
        const Ref<OAuthMutableURLRequest>& request, const Ref<NSObject>& delegate, OAuthFinishSelector finishSelector,
        OAuthFailSelector failSelector)
    {
        return asynchronousFetcherWithRequest_delegate_didFinishSelector_didFailSelector(
            request, delegate, std::move(finishSelector), std::move(failSelector));
    }

    void start();
    void cancel();

    Ref<OAuthMutableURLRequest> request() const { return request_; }
    Ref<NSURLResponse> response() const { return response_; }
    Ref<NSURLConnection> connection() const { return connection_; }
    const NSData& responseData() const { return responseData_; }

    void connection_didReceiveResponse(NSURLConnection* connection, const Ref<NSURLResponse>& response) override;
    void connection_didReceiveData(NSURLConnection* connection, const NSData& data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connection_didFailWithError(NSURLConnection* connection, const Ref<NSError>& error) override;

private:
    bool succeeded() const;

    Ref<OAuthMutableURLRequest> request_;
    Ref<NSURLResponse> response_;
    Ref<NSURLConnection> connection_;
    NSData responseData_;
    Weak<NSObject> delegate_;
    OAuthFinishSelector finishSelector_;
    OAuthFailSelector failSelector_;
};
