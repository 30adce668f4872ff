#pragma once
// HTTP messages: a request the client fills, or a response the transport parsed.
//
//   CFHTTPMessageCreateRequest(alloc, method, url, version)   CFHTTPMessage::createRequest(method, url, version)
//   CFHTTPMessageCreateResponse(alloc, code, text, version)   CFHTTPMessage::createResponse(code, text, version)
//   CFHTTPMessageCreateEmpty(alloc, isRequest)                CFHTTPMessage::createEmpty(isRequest)
//   CFHTTPMessageSetHeaderFieldValue(m, name, value)          m->setHeaderFieldValue(name, value)
//   CFHTTPMessageCopyHeaderFieldValue(m, name)                m->copyHeaderFieldValue(name)
//   CFHTTPMessageCopyAllHeaderFields(m)                       m->copyAllHeaderFields()
//   CFHTTPMessageSetBody / CopyBody                           m->setBody(bytes) / m->copyBody()
//   CFHTTPMessageCopySerializedMessage(m)                     m->copySerializedMessage()
//   CFHTTPMessageAppendBytes(m, bytes, n)                     m->appendBytes(bytes, n)
//   CFHTTPMessageIsHeaderComplete(m)                          m->isHeaderComplete()
//   CFHTTPMessageGetResponseStatusCode(m)                     m->getResponseStatusCode()
//   CFHTTPMessageCopyResponseStatusLine(m)                    m->copyResponseStatusLine()
//   CFHTTPMessageCopyVersion(m)                               m->copyVersion()
//   CFHTTPMessageCopyRequestMethod / CopyRequestURL           m->copyRequestMethod() / m->copyRequestURL()
//
// Header names are looked up without regard to case; a field that occurs more than once reads as its
// values joined with ", " in order, as the platform's header dictionary gives it. The lines exactly as
// received stay available (rawHeaderFields()), which is how "Set-Cookie" must be read.
//
// The message never adds or changes headers of its own; the read stream adds "Host" and the framing
// when it sends a request. Only "http" and "https" URLs make a request message, and a header name or
// value holding CR, LF or NUL is refused, so no caller can inject lines into a request.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

inline constexpr char kCFHTTPVersion1_0[] = "HTTP/1.0";
inline constexpr char kCFHTTPVersion1_1[] = "HTTP/1.1";

// An ordered set of header fields with case-insensitive names.
class HTTPHeaderFields {
public:
    using Field = std::pair<std::string, std::string>;

    // Replaces every field of that name (the new spelling of the name is kept).
    void set(std::string_view name, std::string_view value);
    // Adds a value: an existing field of that name gets ", " and the value appended.
    void add(std::string_view name, std::string_view value);
    void remove(std::string_view name);
    std::optional<std::string> get(std::string_view name) const;
    // The value, or the empty text when the field is absent (nil-messaging reads).
    std::string valueForKey(std::string_view name) const { return get(name).value_or(std::string()); }
    bool contains(std::string_view name) const { return get(name).has_value(); }
    size_t count() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    const std::vector<Field>& fields() const { return fields_; }
    std::vector<Field>::const_iterator begin() const { return fields_.begin(); }
    std::vector<Field>::const_iterator end() const { return fields_.end(); }

    static bool namesEqual(std::string_view a, std::string_view b);

private:
    std::vector<Field> fields_;
};

class CFHTTPMessage : public NSObject {
public:
    // nullptr when the method is not an HTTP token, the URL is nil or not http/https with a host, or the
    // version is neither kCFHTTPVersion1_0 nor kCFHTTPVersion1_1.
    static Ref<CFHTTPMessage> createRequest(std::string_view method, const Ref<NSURL>& url, std::string_view version);
    static Ref<CFHTTPMessage> createResponse(int statusCode, std::string_view statusDescription,
                                             std::string_view version);
    // An empty message to be filled with appendBytes().
    static Ref<CFHTTPMessage> createEmpty(bool isRequest);

    bool isRequest() const { return isRequest_; }

    // Sets (or, with nullopt, removes) a header field. False, and nothing changed, when the name is not
    // an HTTP token or the name or value holds CR, LF or NUL.
    bool setHeaderFieldValue(std::string_view name, std::optional<std::string_view> value);
    std::optional<std::string> copyHeaderFieldValue(std::string_view name) const { return headers_.get(name); }
    const HTTPHeaderFields& copyAllHeaderFields() const { return headers_; }
    // Every header line as it was received (or set), in order, repeated names kept apart.
    const std::vector<HTTPHeaderFields::Field>& rawHeaderFields() const { return raw_; }

    void setBody(std::string bytes) { body_ = std::move(bytes); }
    const std::string& copyBody() const { return body_; }

    // The message as it goes on the wire: start line, header fields as set, an empty line, the body.
    // A request's start line has the origin-form target ("/path?query").
    std::string copySerializedMessage() const;

    // Parses received bytes: start line and header fields, then everything after the empty line is body
    // (no framing is applied here; the read stream frames responses itself). False on malformed input.
    bool appendBytes(const void* bytes, size_t length);
    bool isHeaderComplete() const { return headerComplete_; }

    // Request side.
    const std::string& copyRequestMethod() const { return method_; }
    const Ref<NSURL>& copyRequestURL() const { return url_; }

    // Response side.
    int getResponseStatusCode() const { return statusCode_; }
    // The whole status line, "HTTP/1.1 200 OK".
    std::string copyResponseStatusLine() const;
    const std::string& copyVersion() const { return version_; }
    const std::string& statusDescription() const { return statusDescription_; }

    // For the transport's parser: fills a response from its parsed pieces.
    void setResponseStartLine(std::string version, int statusCode, std::string description);
    void addReceivedHeaderField(std::string name, std::string value);
    // A folded continuation line: appends " " + text to the last received field. False when none.
    bool continueLastHeaderField(std::string_view text);
    void markHeaderComplete() { headerComplete_ = true; }

    CFHTTPMessage() = default;  // use the factories

    static bool isToken(std::string_view text);
    static bool isSafeFieldValue(std::string_view text);

private:
    bool parseStartLine(std::string_view line);

    bool isRequest_ = true;
    std::string method_;
    Ref<NSURL> url_;
    std::string version_ = kCFHTTPVersion1_1;
    int statusCode_ = 0;
    std::string statusDescription_;
    HTTPHeaderFields headers_;
    std::vector<HTTPHeaderFields::Field> raw_;
    std::string body_;
    bool headerComplete_ = false;
    std::string pending_;  // bytes of an incomplete header while parsing
    bool failed_ = false;
};
