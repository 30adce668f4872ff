#include "platform/cfnetwork/NSURLRequest.h"
#include "platform/foundation/NSString.h"

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace

Ref<NSURLRequest> NSURLRequest::requestWithURL(const Ref<NSURL>& url)
{
    return requestWithURL_cachePolicy_timeoutInterval(url, NSURLRequestUseProtocolCachePolicy, kDefaultTimeoutInterval);
}

Ref<NSURLRequest> NSURLRequest::requestWithURL_cachePolicy_timeoutInterval(const Ref<NSURL>& url,
                                                                            NSURLRequestCachePolicy policy,
                                                                            double timeoutInterval)
{
    auto request = std::make_shared<NSURLRequest>();
    request->initWithURL_cachePolicy_timeoutIntervalBody(url, policy, timeoutInterval);
    return request;
}

void NSURLRequest::initWithURL_cachePolicy_timeoutIntervalBody(const Ref<NSURL>& url, NSURLRequestCachePolicy policy,
                                                                double timeoutInterval)
{
    initBody();
    url_ = url;
    cachePolicy_ = policy;
    timeoutInterval_ = timeoutInterval;
}

void NSURLRequest::copyFieldsFrom(const NSURLRequest& other)
{
    url_ = other.url_;
    cachePolicy_ = other.cachePolicy_;
    timeoutInterval_ = other.timeoutInterval_;
    method_ = other.method_;
    headers_ = other.headers_;
    body_ = other.body_;
    handleCookies_ = other.handleCookies_;
    mainDocumentURL_ = other.mainDocumentURL_;
}

Ref<NSMutableURLRequest> NSURLRequest::mutableCopy() const
{
    auto copy = std::make_shared<NSMutableURLRequest>();
    copy->copyFieldsFrom(*this);
    return copy;
}

std::string NSURLRequest::description() const
{
    return "<" + className() + ": " + (url_ ? url_->absoluteString() : std::string("(null)")) + ">";
}

Ref<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(const Ref<NSURL>& url)
{
    return requestWithURL_cachePolicy_timeoutInterval(url, NSURLRequestUseProtocolCachePolicy, kDefaultTimeoutInterval);
}

Ref<NSMutableURLRequest> NSMutableURLRequest::requestWithURL_cachePolicy_timeoutInterval(
    const Ref<NSURL>& url, NSURLRequestCachePolicy policy, double timeoutInterval)
{
    auto request = std::make_shared<NSMutableURLRequest>();
    request->initWithURL_cachePolicy_timeoutIntervalBody(url, policy, timeoutInterval);
    return request;
}

void NSMutableURLRequest::setValue_forHTTPHeaderField(std::optional<std::string_view> value, std::string_view field)
{
    if (!CFHTTPMessage::isToken(field)) {
        return;
    }
    if (!value) {
        headers_.remove(field);
    } else if (CFHTTPMessage::isSafeFieldValue(*value)) {
        headers_.set(field, *value);
    }
}

void NSMutableURLRequest::addValue_forHTTPHeaderField(std::string_view value, std::string_view field)
{
    if (CFHTTPMessage::isToken(field) && CFHTTPMessage::isSafeFieldValue(value)) {
        headers_.add(field, value);
    }
}

void NSMutableURLRequest::setAllHTTPHeaderFields(const HTTPHeaderFields& fields)
{
    for (const auto& [name, value] : fields) {
        setValue_forHTTPHeaderField(value, name);
    }
}

Ref<NSURLResponse> NSURLResponse::initWithURL_MIMEType_expectedContentLength_textEncodingName(
    const Ref<NSURL>& url, std::string mimeType, long long expectedContentLength, std::string textEncodingName)
{
    auto response = std::make_shared<NSURLResponse>();
    response->url_ = url;
    response->mimeType_ = std::move(mimeType);
    response->expectedContentLength_ = expectedContentLength;
    response->textEncodingName_ = std::move(textEncodingName);
    return response;
}

Ref<NSHTTPURLResponse> NSHTTPURLResponse::responseWithMessage(const Ref<NSURL>& url, const CFHTTPMessage& header)
{
    auto response = std::make_shared<NSHTTPURLResponse>();
    response->url_ = url;
    response->statusCode_ = header.getResponseStatusCode();
    response->headers_ = header.copyAllHeaderFields();
    std::string contentType = response->headers_.valueForKey("Content-Type");
    std::string_view type = contentType;
    size_t semicolon = type.find(';');
    response->mimeType_ = NSString::asciiLowercaseString(trim(type.substr(0, semicolon)));
    if (semicolon != std::string_view::npos) {
        std::string parameters = NSString::asciiLowercaseString(type.substr(semicolon));
        size_t at = parameters.find("charset=");
        if (at != std::string::npos) {
            std::string_view charset = std::string_view(parameters).substr(at + 8);
            charset = trim(charset.substr(0, charset.find(';')));
            if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') {
                charset = charset.substr(1, charset.size() - 2);
            }
            response->textEncodingName_ = std::string(charset);
        }
    }
    response->expectedContentLength_ = -1;
    if (auto length = response->headers_.get("Content-Length");
        length && !response->headers_.contains("Content-Encoding")) {
        try {
            response->expectedContentLength_ = std::stoll(*length);
        } catch (...) {
        }
    }
    return response;
}

std::string NSHTTPURLResponse::localizedStringForStatusCode(long statusCode)
{
    switch (statusCode) {
    case 200:
        return "no error";
    case 201:
        return "created";
    case 204:
        return "no content";
    case 301:
        return "moved permanently";
    case 302:
        return "found";
    case 304:
        return "not modified";
    case 400:
        return "bad request";
    case 401:
        return "unauthorized";
    case 403:
        return "forbidden";
    case 404:
        return "not found";
    case 500:
        return "internal server error";
    case 503:
        return "service unavailable";
    default:
        if (statusCode >= 200 && statusCode < 300) {
            return "success";
        }
        if (statusCode >= 300 && statusCode < 400) {
            return "redirected";
        }
        if (statusCode >= 400 && statusCode < 500) {
            return "client error";
        }
        return "server error";
    }
}
