#pragma once
// Cookies (RFC 6265) and the process-wide cookie jar.
//
//   +[NSHTTPCookie cookiesWithResponseHeaderFields:forURL:]   NSHTTPCookie::cookiesWithResponseHeaderFields_forURL
//   +[NSHTTPCookie cookieWithProperties:]                     NSHTTPCookie::cookieWithProperties
//   +[NSHTTPCookie requestHeaderFieldsWithCookies:]           NSHTTPCookie::requestHeaderFieldsWithCookies
//   -name, -value, -domain, -path, -expiresDate, -isSecure, -isHTTPOnly, -isSessionOnly
//   +[NSHTTPCookieStorage sharedHTTPCookieStorage]            NSHTTPCookieStorage::sharedHTTPCookieStorage()
//   -setCookie:, -deleteCookie:, -cookies, -cookiesForURL:, -setCookies:forURL:mainDocumentURL:,
//   -cookieAcceptPolicy / -setCookieAcceptPolicy:
//
// Parsing and matching follow RFC 6265: a "Domain" attribute must domain-match the host that set the
// cookie (and may not be a bare top-level label), a cookie without one is sent back to its own host
// only; the default path is the directory of the request path; "Secure" cookies go only over https;
// "Max-Age" wins over "Expires", and a cookie whose expiry has passed is removed. A cookie replaces the
// stored one with the same name, domain and path. Expiry is read on the process clock (Clock::wallNow),
// so tests can move time.
//
// Response headers: the cookies of a response should be read from its raw "Set-Cookie" lines
// (CFHTTPMessage::rawHeaderFields); a header dictionary with the lines joined by ", " is split the way
// the phone does, keeping the commas of "Expires" dates.
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class NSHTTPCookie : public NSObject {
public:
    struct Properties {
        std::string name;
        std::string value;
        std::string domain;  // a leading "." makes a domain cookie; otherwise the cookie is host-only
        std::string path = "/";
        std::optional<double> expiresDate;  // seconds since 1970; none: a session cookie
        bool secure = false;
        bool httpOnly = false;
    };

    // nullptr when the name or domain is missing or a field holds characters a header cannot carry.
    static Ref<NSHTTPCookie> cookieWithProperties(const Properties& properties);

    // Cookies of the "Set-Cookie" lines of a response to `url`; lines that are not valid cookies, or
    // that name a domain the URL's host may not set, are skipped.
    static std::vector<Ref<NSHTTPCookie>> cookiesWithResponseHeaderFields_forURL(
        const std::vector<HTTPHeaderFields::Field>& rawHeaderFields, const Ref<NSURL>& url);
    static std::vector<Ref<NSHTTPCookie>> cookiesWithResponseHeaderFields_forURL(const HTTPHeaderFields& headers,
                                                                                  const Ref<NSURL>& url);
    // One "Set-Cookie" value; nullptr when it is not a cookie the URL may set.
    static Ref<NSHTTPCookie> cookieWithSetCookieValue(std::string_view value, const Ref<NSURL>& url);

    // {"Cookie": "a=1; b=2"} for the cookies in order; empty when there are none.
    static HTTPHeaderFields requestHeaderFieldsWithCookies(const std::vector<Ref<NSHTTPCookie>>& cookies);

    const std::string& name() const { return name_; }
    const std::string& value() const { return value_; }
    // The domain as the phone shows it: the host for a host-only cookie, "." + domain otherwise.
    std::string domain() const { return hostOnly_ ? domain_ : "." + domain_; }
    const std::string& path() const { return path_; }
    std::optional<double> expiresDate() const { return expires_; }
    bool isSecure() const { return secure_; }
    bool isHTTPOnly() const { return httpOnly_; }
    bool isSessionOnly() const { return !expires_.has_value(); }
    bool isHostOnly() const { return hostOnly_; }
    double creationDate() const { return created_; }

    bool isExpired(double now) const { return expires_ && *expires_ <= now; }
    // Whether the cookie goes with a request to `url` (domain, path and secure rules; not the expiry).
    bool matchesURL(const NSURL& url) const;
    // The same name, domain (and host-only flag) and path: the second replaces the first.
    bool sameIdentity(const NSHTTPCookie& other) const;

    std::string description() const override;

    NSHTTPCookie() = default;  // use the factories

    static bool domainMatches(std::string_view host, std::string_view domain);
    static bool pathMatches(std::string_view requestPath, std::string_view cookiePath);
    static std::string defaultPath(std::string_view requestPath);

private:
    friend class NSHTTPCookieStorage;
    std::string name_;
    std::string value_;
    std::string domain_;  // lower case, no leading dot
    bool hostOnly_ = true;
    std::string path_ = "/";
    std::optional<double> expires_;
    bool secure_ = false;
    bool httpOnly_ = false;
    double created_ = 0;
};

enum NSHTTPCookieAcceptPolicy {
    NSHTTPCookieAcceptPolicyAlways = 0,
    NSHTTPCookieAcceptPolicyNever = 1,
    NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain = 2,
};

class NSHTTPCookieStorage : public NSObject {
public:
    // The jar of the process (never destroyed).
    static Ref<NSHTTPCookieStorage> sharedHTTPCookieStorage();

    void setCookie(const Ref<NSHTTPCookie>& cookie);
    void deleteCookie(const Ref<NSHTTPCookie>& cookie);
    // Every stored cookie that has not expired.
    std::vector<Ref<NSHTTPCookie>> cookies();
    // The cookies to send with a request to `url`: longer paths first, then older cookies first.
    std::vector<Ref<NSHTTPCookie>> cookiesForURL(const Ref<NSURL>& url);
    // Stores cookies received from `url` as the accept policy allows (a main-document URL of nil counts
    // as `url` itself).
    void setCookies_forURL_mainDocumentURL(const std::vector<Ref<NSHTTPCookie>>& cookies, const Ref<NSURL>& url,
                                           const Ref<NSURL>& mainDocumentURL);
    NSHTTPCookieAcceptPolicy cookieAcceptPolicy() const;
    void setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy);
    // Empties the jar (tests).
    void removeAllCookies();

    NSHTTPCookieStorage() = default;  // use sharedHTTPCookieStorage()

private:
    void purgeExpired(double now);

    mutable std::mutex mutex_;
    std::vector<Ref<NSHTTPCookie>> cookies_;
    NSHTTPCookieAcceptPolicy policy_ = NSHTTPCookieAcceptPolicyAlways;
};
