#pragma once
// URL requests and responses of the URL-loading layer (NSURLConnection).
//
//   +[NSURLRequest requestWithURL:]                                 NSURLRequest::requestWithURL(url)
//   +[NSURLRequest requestWithURL:cachePolicy:timeoutInterval:]     NSURLRequest::requestWithURL_cachePolicy_timeoutInterval
//   -[NSURLRequest initWithURL:cachePolicy:timeoutInterval:]        ...::initWithURL_cachePolicy_timeoutInterval
//   -URL, -cachePolicy, -timeoutInterval, -HTTPMethod, -allHTTPHeaderFields, -valueForHTTPHeaderField:,
//   -HTTPBody, -HTTPShouldHandleCookies, -mainDocumentURL, -mutableCopy
//   NSMutableURLRequest: -setURL:, -setCachePolicy:, -setTimeoutInterval:, -setHTTPMethod:,
//   -setValue:forHTTPHeaderField:, -addValue:forHTTPHeaderField:, -setAllHTTPHeaderFields:,
//   -setHTTPBody:, -setHTTPShouldHandleCookies:, -setMainDocumentURL:
//   NSURLResponse: -URL, -MIMEType, -expectedContentLength, -textEncodingName
//   NSHTTPURLResponse: -statusCode, -allHeaderFields
//
// Subclasses (a request that signs itself) derive from NSMutableURLRequest and call its init body.
// A header value holding CR or LF is not set (the platform would refuse to send it).
#include <optional>
#include <string>

#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

enum NSURLRequestCachePolicy {
    NSURLRequestUseProtocolCachePolicy = 0,
    NSURLRequestReloadIgnoringLocalCacheData = 1,
    NSURLRequestReturnCacheDataElseLoad = 2,
    NSURLRequestReturnCacheDataDontLoad = 3,
};

class NSMutableURLRequest;

class NSURLRequest : public NSObject {
public:
    static constexpr double kDefaultTimeoutInterval = 60.0;

    static Ref<NSURLRequest> requestWithURL(const Ref<NSURL>& url);
    static Ref<NSURLRequest> requestWithURL_cachePolicy_timeoutInterval(const Ref<NSURL>& url,
                                                                        NSURLRequestCachePolicy policy,
                                                                        double timeoutInterval);
    static Ref<NSURLRequest> initWithURL_cachePolicy_timeoutInterval(const Ref<NSURL>& url,
                                                                      NSURLRequestCachePolicy policy,
                                                                      double timeoutInterval)
    {
        return requestWithURL_cachePolicy_timeoutInterval(url, policy, timeoutInterval);
    }

    const Ref<NSURL>& URL() const { return url_; }
    NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    double timeoutInterval() const { return timeoutInterval_; }
    const std::string& HTTPMethod() const { return method_; }
    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const { return headers_.get(field); }
    const NSData& HTTPBody() const { return body_; }
    bool HTTPShouldHandleCookies() const { return handleCookies_; }
    const Ref<NSURL>& mainDocumentURL() const { return mainDocumentURL_; }

    // A mutable copy with the same URL, policy, time-out, method, headers, body and cookie switch.
    Ref<NSMutableURLRequest> mutableCopy() const;

    std::string description() const override;

    NSURLRequest() = default;  // use the factories

protected:
    void initWithURL_cachePolicy_timeoutIntervalBody(const Ref<NSURL>& url, NSURLRequestCachePolicy policy,
                                                      double timeoutInterval);
    void copyFieldsFrom(const NSURLRequest& other);

    Ref<NSURL> url_;
    NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
    double timeoutInterval_ = kDefaultTimeoutInterval;
    std::string method_ = "GET";
    HTTPHeaderFields headers_;
    NSData body_;
    bool handleCookies_ = true;
    Ref<NSURL> mainDocumentURL_;
};

class NSMutableURLRequest : public NSURLRequest {
public:
    static Ref<NSMutableURLRequest> requestWithURL(const Ref<NSURL>& url);
    static Ref<NSMutableURLRequest> requestWithURL_cachePolicy_timeoutInterval(const Ref<NSURL>& url,
                                                                               NSURLRequestCachePolicy policy,
                                                                               double timeoutInterval);
    static Ref<NSMutableURLRequest> initWithURL(const Ref<NSURL>& url) { return requestWithURL(url); }
    static Ref<NSMutableURLRequest> initWithURL_cachePolicy_timeoutInterval(const Ref<NSURL>& url,
                                                                             NSURLRequestCachePolicy policy,
                                                                             double timeoutInterval)
    {
        return requestWithURL_cachePolicy_timeoutInterval(url, policy, timeoutInterval);
    }

    void setURL(const Ref<NSURL>& url) { url_ = url; }
    void setCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }
    // nullopt removes the field. Values with CR or LF are ignored.
    void setValue_forHTTPHeaderField(std::optional<std::string_view> value, std::string_view field);
    void addValue_forHTTPHeaderField(std::string_view value, std::string_view field);
    void setAllHTTPHeaderFields(const HTTPHeaderFields& fields);
    void setHTTPBody(NSData body) { body_ = std::move(body); }
    void setHTTPShouldHandleCookies(bool value) { handleCookies_ = value; }
    void setMainDocumentURL(const Ref<NSURL>& url) { mainDocumentURL_ = url; }

    NSMutableURLRequest() = default;  // use the factories

protected:
    friend class NSURLRequest;
};

class NSURLResponse : public NSObject {
public:
    static Ref<NSURLResponse> initWithURL_MIMEType_expectedContentLength_textEncodingName(
        const Ref<NSURL>& url, std::string mimeType, long long expectedContentLength, std::string textEncodingName);

    const Ref<NSURL>& URL() const { return url_; }
    const std::string& MIMEType() const { return mimeType_; }
    // -1 when the length is not known.
    long long expectedContentLength() const { return expectedContentLength_; }
    const std::string& textEncodingName() const { return textEncodingName_; }

    NSURLResponse() = default;  // use the factories

protected:
    Ref<NSURL> url_;
    std::string mimeType_;
    long long expectedContentLength_ = -1;
    std::string textEncodingName_;
};

class NSHTTPURLResponse : public NSURLResponse {
public:
    // From a parsed response header for `url`.
    static Ref<NSHTTPURLResponse> responseWithMessage(const Ref<NSURL>& url, const CFHTTPMessage& header);

    long statusCode() const { return statusCode_; }
    const HTTPHeaderFields& allHeaderFields() const { return headers_; }
    // "no error", "not found", ... as the platform words them (lower case).
    static std::string localizedStringForStatusCode(long statusCode);

    NSHTTPURLResponse() = default;  // use the factory

private:
    long statusCode_ = 0;
    HTTPHeaderFields headers_;
};
