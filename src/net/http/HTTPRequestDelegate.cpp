#include "net/http/HTTPRequestDelegate.h"

#include "net/http/HTTPRequest.h"

bool HTTPRequestDelegate::respondsToSelector(std::string_view selector) const
{
    return selector == kHTTPRequestStartedSelector || selector == kHTTPRequestDidReceiveResponseHeadersSelector ||
           selector == kHTTPRequestRedirectedSelector || selector == kHTTPRequestFinishedSelector ||
           selector == kHTTPRequestFailedSelector;
}

void HTTPRequestDelegate::performRequestSelector(std::string_view selector, const Ref<HTTPRequest>& request,
                                                 const HTTPRequestSelectorArgument& argument)
{
    if (selector == kHTTPRequestFinishedSelector) {
        requestFinished(request);
    } else if (selector == kHTTPRequestFailedSelector) {
        requestFailed(request);
    } else if (selector == kHTTPRequestStartedSelector) {
        requestStarted(request);
    } else if (selector == kHTTPRequestRedirectedSelector) {
        requestRedirected(request);
    } else if (selector == kHTTPRequestDidReceiveResponseHeadersSelector) {
        if (const auto* headers = std::get_if<HTTPHeaderFields>(&argument)) {
            request_didReceiveResponseHeaders(request, *headers);
        }
    } else if (selector == kHTTPRequestWillRedirectSelector) {
        if (const auto* url = std::get_if<Ref<NSURL>>(&argument)) {
            request_willRedirectToURL(request, *url);
        }
    } else if (selector == kHTTPRequestDidReceiveDataSelector) {
        if (const auto* data = std::get_if<NSData>(&argument)) {
            request_didReceiveData(request, *data);
        }
    } else if (selector == kHTTPAuthenticationNeededSelector) {
        authenticationNeededForRequest(request);
    } else if (selector == kHTTPProxyAuthenticationNeededSelector) {
        proxyAuthenticationNeededForRequest(request);
    }
}
