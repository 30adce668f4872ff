#include "platform/cfnetwork/NSHTTPCookie.h"

#include <arpa/inet.h>

#include <algorithm>

#include "platform/foundation/Clock.h"
#include "platform/foundation/HTTPDate.h"
#include "platform/foundation/NSString.h"

namespace {

bool isIPAddress(std::string_view host)
{
    std::string h(host);
    in_addr a4{};
    in6_addr a6{};
    return ::inet_pton(AF_INET, h.c_str(), &a4) == 1 || ::inet_pton(AF_INET6, h.c_str(), &a6) == 1;
}

// Characters a cookie's name or value may not hold: they would break the "Cookie" header.
bool isHeaderSafe(std::string_view s)
{
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == ';') {
            return false;
        }
    }
    return true;
}

bool isSchemeHTTPS(const NSURL& url)
{
    return NSString::asciiLowercaseString(url.scheme()) == "https";
}

}  // namespace

bool NSHTTPCookie::domainMatches(std::string_view host, std::string_view domain)
{
    if (host == domain) {
        return true;
    }
    return !isIPAddress(host) && host.size() > domain.size() && host.ends_with(domain) &&
           host[host.size() - domain.size() - 1] == '.';
}

bool NSHTTPCookie::pathMatches(std::string_view requestPath, std::string_view cookiePath)
{
    if (requestPath == cookiePath) {
        return true;
    }
    if (!requestPath.starts_with(cookiePath)) {
        return false;
    }
    return cookiePath.ends_with('/') || requestPath[cookiePath.size()] == '/';
}

std::string NSHTTPCookie::defaultPath(std::string_view requestPath)
{
    if (requestPath.empty() || requestPath[0] != '/') {
        return "/";
    }
    size_t last = requestPath.rfind('/');
    if (last == 0) {
        return "/";
    }
    return std::string(requestPath.substr(0, last));
}

Ref<NSHTTPCookie> NSHTTPCookie::cookieWithProperties(const Properties& p)
{
    if (p.name.empty() || p.domain.empty() || !isHeaderSafe(p.name) || !isHeaderSafe(p.value) ||
        p.name.find('=') != std::string::npos || !isHeaderSafe(p.domain) || !isHeaderSafe(p.path)) {
        return nullptr;
    }
    auto cookie = std::make_shared<NSHTTPCookie>();
    cookie->name_ = p.name;
    cookie->value_ = p.value;
    cookie->hostOnly_ = p.domain[0] != '.';
    cookie->domain_ = NSString::asciiLowercaseString(cookie->hostOnly_ ? std::string_view(p.domain) : std::string_view(p.domain).substr(1));
    if (cookie->domain_.empty()) {
        return nullptr;
    }
    cookie->path_ = p.path.empty() || p.path[0] != '/' ? "/" : p.path;
    cookie->expires_ = p.expiresDate;
    cookie->secure_ = p.secure;
    cookie->httpOnly_ = p.httpOnly;
    cookie->created_ = Clock::wallNow();
    return cookie;
}

Ref<NSHTTPCookie> NSHTTPCookie::cookieWithSetCookieValue(std::string_view text, const Ref<NSURL>& url)
{
    if (!url) {
        return nullptr;
    }
    std::string host = NSString::asciiLowercaseString(url->host());
    if (host.empty()) {
        return nullptr;
    }
    size_t semicolon = text.find(';');
    std::string_view pair = text.substr(0, semicolon);
    size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
        return nullptr;
    }
    std::string_view name = NSString::trimSpacesAndTabs(pair.substr(0, equals));
    std::string_view value = NSString::trimSpacesAndTabs(pair.substr(equals + 1));
    if (name.empty() || !isHeaderSafe(name) || !isHeaderSafe(value)) {
        return nullptr;
    }

    auto cookie = std::make_shared<NSHTTPCookie>();
    cookie->name_ = std::string(name);
    cookie->value_ = std::string(value);
    double now = Clock::wallNow();
    cookie->created_ = now;
    std::optional<double> expires;
    std::optional<double> maxAge;
    std::optional<std::string> domainAttribute;
    std::optional<std::string> pathAttribute;

    std::string_view rest = semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
    while (!rest.empty()) {
        size_t next = rest.find(';');
        std::string_view attribute = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        size_t eq = attribute.find('=');
        std::string attrName = NSString::asciiLowercaseString(NSString::trimSpacesAndTabs(attribute.substr(0, eq)));
        std::string_view attrValue = eq == std::string_view::npos ? std::string_view() : NSString::trimSpacesAndTabs(attribute.substr(eq + 1));
        if (attrName == "expires") {
            if (auto date = HTTPDate::parseCookieDate(attrValue)) {
                expires = *date;
            }
        } else if (attrName == "max-age") {
            bool valid = !attrValue.empty() && (attrValue[0] == '-' || (attrValue[0] >= '0' && attrValue[0] <= '9'));
            for (size_t i = 1; valid && i < attrValue.size(); ++i) {
                valid = attrValue[i] >= '0' && attrValue[i] <= '9';
            }
            if (valid) {
                double seconds = 0;
                bool negative = attrValue[0] == '-';
                for (size_t i = negative ? 1 : 0; i < attrValue.size(); ++i) {
                    seconds = seconds * 10 + (attrValue[i] - '0');
                }
                maxAge = negative || seconds <= 0 ? -1e18 : now + seconds;
            }
        } else if (attrName == "domain") {
            if (!attrValue.empty()) {
                std::string_view d = attrValue[0] == '.' ? attrValue.substr(1) : attrValue;
                domainAttribute = NSString::asciiLowercaseString(d);
            }
        } else if (attrName == "path") {
            if (!attrValue.empty() && attrValue[0] == '/') {
                pathAttribute = std::string(attrValue);
            }
        } else if (attrName == "secure") {
            cookie->secure_ = true;
        } else if (attrName == "httponly") {
            cookie->httpOnly_ = true;
        }
    }

    cookie->expires_ = maxAge ? maxAge : expires;
    if (domainAttribute && !domainAttribute->empty()) {
        const std::string& domain = *domainAttribute;
        if (!domainMatches(host, domain)) {
            return nullptr;  // a host may only set cookies for itself and its parent domains
        }
        if (domain != host && domain.find('.') == std::string::npos) {
            return nullptr;  // never for a whole top-level domain
        }
        cookie->hostOnly_ = false;
        cookie->domain_ = domain;
    } else {
        cookie->hostOnly_ = true;
        cookie->domain_ = host;
    }
    cookie->path_ = pathAttribute ? *pathAttribute : defaultPath(url->percentEncodedPath());
    return cookie;
}

std::vector<Ref<NSHTTPCookie>> NSHTTPCookie::cookiesWithResponseHeaderFields_forURL(
    const std::vector<HTTPHeaderFields::Field>& rawHeaderFields, const Ref<NSURL>& url)
{
    std::vector<Ref<NSHTTPCookie>> out;
    for (const auto& [name, value] : rawHeaderFields) {
        if (HTTPHeaderFields::namesEqual(name, "Set-Cookie")) {
            if (auto cookie = cookieWithSetCookieValue(value, url)) {
                out.push_back(cookie);
            }
        }
    }
    return out;
}

std::vector<Ref<NSHTTPCookie>> NSHTTPCookie::cookiesWithResponseHeaderFields_forURL(const HTTPHeaderFields& headers,
                                                                                  const Ref<NSURL>& url)
{
    auto joined = headers.get("Set-Cookie");
    if (!joined) {
        return {};
    }
    // Split "a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT, b=2" at the commas that start a new cookie: the
    // text after such a comma reads "name=" before any ';'.
    std::vector<std::string> values;
    std::string_view text = *joined;
    std::string current;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string_view piece = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        std::string_view head = NSString::trimSpacesAndTabs(piece);
        size_t eq = head.find('=');
        size_t semi = head.find(';');
        bool startsCookie = eq != std::string_view::npos && (semi == std::string_view::npos || eq < semi) &&
                            CFHTTPMessage::isToken(NSString::trimSpacesAndTabs(head.substr(0, eq)));
        if (current.empty() || startsCookie) {
            if (!current.empty()) {
                values.push_back(current);
            }
            current = std::string(head);
        } else {
            current += ",";
            current += piece;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (!current.empty()) {
        values.push_back(current);
    }
    std::vector<Ref<NSHTTPCookie>> out;
    for (const auto& value : values) {
        if (auto cookie = cookieWithSetCookieValue(value, url)) {
            out.push_back(cookie);
        }
    }
    return out;
}

HTTPHeaderFields NSHTTPCookie::requestHeaderFieldsWithCookies(const std::vector<Ref<NSHTTPCookie>>& cookies)
{
    HTTPHeaderFields fields;
    std::string header;
    for (const auto& cookie : cookies) {
        if (!cookie) {
            continue;
        }
        if (!header.empty()) {
            header += "; ";
        }
        header += cookie->name_ + "=" + cookie->value_;
    }
    if (!header.empty()) {
        fields.set("Cookie", header);
    }
    return fields;
}

bool NSHTTPCookie::matchesURL(const NSURL& url) const
{
    std::string host = NSString::asciiLowercaseString(url.host());
    if (host.empty()) {
        return false;
    }
    if (hostOnly_ ? host != domain_ : !domainMatches(host, domain_)) {
        return false;
    }
    std::string path = url.percentEncodedPath();
    if (path.empty()) {
        path = "/";
    }
    if (!pathMatches(path, path_)) {
        return false;
    }
    return !secure_ || isSchemeHTTPS(url);
}

bool NSHTTPCookie::sameIdentity(const NSHTTPCookie& other) const
{
    return name_ == other.name_ && domain_ == other.domain_ && hostOnly_ == other.hostOnly_ && path_ == other.path_;
}

std::string NSHTTPCookie::description() const
{
    return "<NSHTTPCookie " + name_ + "=" + value_ + "; domain=" + domain() + "; path=" + path_ + ">";
}

// ---- The jar -------------------------------------------------------------------------------------------

Ref<NSHTTPCookieStorage> NSHTTPCookieStorage::sharedHTTPCookieStorage()
{
    static auto* shared = new Ref<NSHTTPCookieStorage>(std::make_shared<NSHTTPCookieStorage>());
    return *shared;
}

void NSHTTPCookieStorage::purgeExpired(double now)
{
    std::erase_if(cookies_, [now](const Ref<NSHTTPCookie>& c) { return c->isExpired(now); });
}

void NSHTTPCookieStorage::setCookie(const Ref<NSHTTPCookie>& cookie)
{
    if (!cookie) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (policy_ == NSHTTPCookieAcceptPolicyNever) {
        return;
    }
    double now = Clock::wallNow();
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
        if ((*it)->sameIdentity(*cookie)) {
            // The replacement keeps the creation time of the cookie it replaces (its order in headers).
            double created = (*it)->created_;
            cookies_.erase(it);
            if (!cookie->isExpired(now)) {
                auto copy = std::make_shared<NSHTTPCookie>();
                copy->name_ = cookie->name_;
                copy->value_ = cookie->value_;
                copy->domain_ = cookie->domain_;
                copy->hostOnly_ = cookie->hostOnly_;
                copy->path_ = cookie->path_;
                copy->expires_ = cookie->expires_;
                copy->secure_ = cookie->secure_;
                copy->httpOnly_ = cookie->httpOnly_;
                copy->created_ = created;
                cookies_.push_back(copy);
            }
            return;
        }
    }
    if (!cookie->isExpired(now)) {
        cookies_.push_back(cookie);
    }
}

void NSHTTPCookieStorage::deleteCookie(const Ref<NSHTTPCookie>& cookie)
{
    if (!cookie) {
        return;
    }
    std::lock_guard lock(mutex_);
    std::erase_if(cookies_, [&](const Ref<NSHTTPCookie>& c) { return c->sameIdentity(*cookie); });
}

std::vector<Ref<NSHTTPCookie>> NSHTTPCookieStorage::cookies()
{
    std::lock_guard lock(mutex_);
    purgeExpired(Clock::wallNow());
    return cookies_;
}

std::vector<Ref<NSHTTPCookie>> NSHTTPCookieStorage::cookiesForURL(const Ref<NSURL>& url)
{
    std::vector<Ref<NSHTTPCookie>> out;
    if (!url) {
        return out;
    }
    {
        std::lock_guard lock(mutex_);
        purgeExpired(Clock::wallNow());
        for (const auto& cookie : cookies_) {
            if (cookie->matchesURL(*url)) {
                out.push_back(cookie);
            }
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const Ref<NSHTTPCookie>& a, const Ref<NSHTTPCookie>& b) {
        if (a->path_.size() != b->path_.size()) {
            return a->path_.size() > b->path_.size();
        }
        return a->created_ < b->created_;
    });
    return out;
}

void NSHTTPCookieStorage::setCookies_forURL_mainDocumentURL(const std::vector<Ref<NSHTTPCookie>>& cookies,
                                                            const Ref<NSURL>& url, const Ref<NSURL>& mainDocumentURL)
{
    NSHTTPCookieAcceptPolicy policy = cookieAcceptPolicy();
    if (policy == NSHTTPCookieAcceptPolicyNever) {
        return;
    }
    const Ref<NSURL>& main = mainDocumentURL ? mainDocumentURL : url;
    std::string mainHost = main ? NSString::asciiLowercaseString(main->host()) : std::string();
    for (const auto& cookie : cookies) {
        if (!cookie) {
            continue;
        }
        if (policy == NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain &&
            !NSHTTPCookie::domainMatches(mainHost, cookie->domain_)) {
            continue;
        }
        setCookie(cookie);
    }
}

NSHTTPCookieAcceptPolicy NSHTTPCookieStorage::cookieAcceptPolicy() const
{
    std::lock_guard lock(mutex_);
    return policy_;
}

void NSHTTPCookieStorage::setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy)
{
    std::lock_guard lock(mutex_);
    policy_ = policy;
}

void NSHTTPCookieStorage::removeAllCookies()
{
    std::lock_guard lock(mutex_);
    cookies_.clear();
}
