#pragma once
// The protocols of the HTTP client's receivers. Every method is optional (an empty default body); each
// gets the request first. Messages are delivered on the main thread.
//
// Selectors. A request names the messages it sends by selector (its didFinishSelector is
// "requestFinished:" unless changed). Delivery asks the receiver respondsToSelector(name) and then
// performRequestSelector(name, request, argument), whose default dispatches the protocol's own names to
// the methods below; a delegate that gives a request selectors of its own overrides both to take them.
//
// What a receiver answers matters for four messages, because a request behaves differently when
// someone takes them: "request:didReceiveData:" (the delegate takes the body; the request keeps
// nothing), "request:willRedirectToURL:" (the request waits for redirectToURL), and
// "authenticationNeededForRequest:" / "proxyAuthenticationNeededForRequest:" (the request waits for
// credentials). The default respondsToSelector answers NO for these four and YES for the other
// messages (whose empty default bodies do nothing), so a delegate that implements one of the four
// overrides respondsToSelector to say so.
#include <cstdint>
#include <string_view>
#include <variant>

#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class HTTPRequest;

inline constexpr char kHTTPRequestStartedSelector[] = "requestStarted:";
inline constexpr char kHTTPRequestDidReceiveResponseHeadersSelector[] = "request:didReceiveResponseHeaders:";
inline constexpr char kHTTPRequestWillRedirectSelector[] = "request:willRedirectToURL:";
inline constexpr char kHTTPRequestRedirectedSelector[] = "requestRedirected:";
inline constexpr char kHTTPRequestDidReceiveDataSelector[] = "request:didReceiveData:";
inline constexpr char kHTTPRequestFinishedSelector[] = "requestFinished:";
inline constexpr char kHTTPRequestFailedSelector[] = "requestFailed:";
inline constexpr char kHTTPAuthenticationNeededSelector[] = "authenticationNeededForRequest:";
inline constexpr char kHTTPProxyAuthenticationNeededSelector[] = "proxyAuthenticationNeededForRequest:";

// The second argument of a two-argument message: the response headers, the new URL or a piece of body.
using HTTPRequestSelectorArgument = std::variant<std::monostate, HTTPHeaderFields, Ref<NSURL>, NSData>;

class HTTPRequestDelegate {
public:
    virtual ~HTTPRequestDelegate() = default;

    virtual void requestStarted(const Ref<HTTPRequest>& request) {}
    virtual void request_didReceiveResponseHeaders(const Ref<HTTPRequest>& request,
                                                   const HTTPHeaderFields& responseHeaders)
    {
    }
    virtual void request_willRedirectToURL(const Ref<HTTPRequest>& request, const Ref<NSURL>& newURL) {}
    virtual void requestRedirected(const Ref<HTTPRequest>& request) {}
    virtual void request_didReceiveData(const Ref<HTTPRequest>& request, const NSData& data) {}
    virtual void requestFinished(const Ref<HTTPRequest>& request) {}
    virtual void requestFailed(const Ref<HTTPRequest>& request) {}
    virtual void authenticationNeededForRequest(const Ref<HTTPRequest>& request) {}
    virtual void proxyAuthenticationNeededForRequest(const Ref<HTTPRequest>& request) {}

    // See the header comment.
    virtual bool respondsToSelector(std::string_view selector) const;
    virtual void performRequestSelector(std::string_view selector, const Ref<HTTPRequest>& request,
                                        const HTTPRequestSelectorArgument& argument);
};

// Receivers of progress (a request's upload and download progress delegates, and its queue). Sizes and
// steps are byte counts; setProgress gets a fraction from 0 to 1.
class HTTPProgressDelegate {
public:
    virtual ~HTTPProgressDelegate() = default;

    virtual void setProgress(float newProgress) {}
    virtual void request_didReceiveBytes(const Ref<HTTPRequest>& request, long long bytes) {}
    virtual void request_didSendBytes(const Ref<HTTPRequest>& request, long long bytes) {}
    virtual void request_incrementDownloadSizeBy(const Ref<HTTPRequest>& request, long long newLength) {}
    virtual void request_incrementUploadSizeBy(const Ref<HTTPRequest>& request, long long newLength) {}

    // Every progress message is answered by default (the empty bodies do nothing).
    virtual bool respondsToSelector(std::string_view selector) const { return true; }
};

// The operations of a download cache (built with the cache itself); a request holds one as its
// downloadCache.
class HTTPCacheDelegate;
