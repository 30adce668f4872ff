#include "platform/foundation/NSURL.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/foundation/Charset.h"

namespace {

bool isAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHex(char c)
{
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hexValue(char c)
{
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c - 'a' + 10;
}

bool isUnreserved(char c)
{
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(char c)
{
    return std::strchr("!$&'()*+,;=", c) != nullptr && c != '\0';
}

bool isGenDelim(char c)
{
    return std::strchr(":/?#[]@", c) != nullptr && c != '\0';
}

// Every character a URL may hold, escapes aside.
bool isURLCharacter(char c)
{
    return isUnreserved(c) || isSubDelim(c) || isGenDelim(c);
}

bool isSchemeText(std::string_view s)
{
    if (s.empty() || !isAlpha(s[0])) {
        return false;
    }
    for (char c : s) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

// Decodes %XX escapes; the text has been validated, so every '%' starts a full escape.
std::string percentDecode(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isHex(s[i + 1]) && isHex(s[i + 2])) {
            out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Decoded text, or the empty text when the bytes are not UTF-8 (the phone answers nil then).
std::string decodedText(std::string_view s)
{
    std::string decoded = percentDecode(s);
    return Charset::isValidUTF8(decoded) ? decoded : std::string();
}

}  // namespace

std::string NSURL::Components::recompose() const
{
    // RFC 3986, section 5.3.
    std::string out;
    if (scheme) {
        out += *scheme;
        out += ':';
    }
    if (authority) {
        out += "//";
        out += *authority;
    }
    out += path;
    if (query) {
        out += '?';
        out += *query;
    }
    if (fragment) {
        out += '#';
        out += *fragment;
    }
    return out;
}

std::optional<NSURL::Components> NSURL::parse(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    size_t hashes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) {
                return std::nullopt;
            }
            i += 2;
            continue;
        }
        if (!isURLCharacter(c)) {
            return std::nullopt;  // space, controls, non-ASCII, "<>\"\\^`{|}"
        }
        if (c == '#') {
            ++hashes;
        }
    }
    if (hashes > 1) {
        return std::nullopt;
    }

    Components out;
    std::string_view rest = text;
    size_t colon = rest.find(':');
    size_t firstDelimiter = rest.find_first_of("/?#");
    if (colon != std::string_view::npos && (firstDelimiter == std::string_view::npos || colon < firstDelimiter) &&
        isSchemeText(rest.substr(0, colon))) {
        out.scheme = std::string(rest.substr(0, colon));
        rest.remove_prefix(colon + 1);
    }
    if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
        rest.remove_prefix(2);
        size_t end = rest.find_first_of("/?#");
        std::string_view authority = rest.substr(0, end);
        if (!splitAuthority(authority)) {
            return std::nullopt;
        }
        out.authority = std::string(authority);
        rest.remove_prefix(authority.size());
    }
    size_t pathEnd = rest.find_first_of("?#");
    out.path = std::string(rest.substr(0, pathEnd));
    rest.remove_prefix(out.path.size());
    if (!rest.empty() && rest[0] == '?') {
        size_t end = rest.find('#');
        out.query = std::string(rest.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
        rest.remove_prefix(1 + out.query->size());
    }
    if (!rest.empty() && rest[0] == '#') {
        out.fragment = std::string(rest.substr(1));
    }
    // Square brackets belong to IP-literal hosts only.
    for (const std::string* part : {&out.path, out.query ? &*out.query : nullptr, out.fragment ? &*out.fragment : nullptr}) {
        if (part && part->find_first_of("[]") != std::string::npos) {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<NSURL::Authority> NSURL::splitAuthority(std::string_view authority)
{
    Authority out;
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        out.hasUserinfo = true;
        out.userinfo = std::string(authority.substr(0, at));
        authority.remove_prefix(at + 1);
        for (char c : out.userinfo) {
            if (c == '[' || c == ']' || c == '/' || c == '?' || c == '#') {
                return std::nullopt;
            }
        }
    }
    std::string_view hostPort = authority;
    std::string_view portText;
    bool hasPort = false;
    if (!hostPort.empty() && hostPort[0] == '[') {
        size_t close = hostPort.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        std::string literal(hostPort.substr(1, close - 1));
        in6_addr address{};
        if (::inet_pton(AF_INET6, literal.c_str(), &address) != 1) {
            return std::nullopt;
        }
        out.host = std::string(hostPort.substr(0, close + 1));
        std::string_view after = hostPort.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') {
                return std::nullopt;
            }
            hasPort = true;
            portText = after.substr(1);
        }
    } else {
        size_t colon = hostPort.rfind(':');
        if (colon != std::string_view::npos) {
            hasPort = true;
            portText = hostPort.substr(colon + 1);
            hostPort = hostPort.substr(0, colon);
        }
        for (char c : hostPort) {
            if (!isUnreserved(c) && !isSubDelim(c) && c != '%') {
                return std::nullopt;
            }
        }
        out.host = std::string(hostPort);
    }
    if (hasPort && !portText.empty()) {
        long value = 0;
        for (char c : portText) {
            if (!isDigit(c)) {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
            if (value > 65535) {
                return std::nullopt;
            }
        }
        out.port = static_cast<int>(value);
    }
    return out;
}

std::string NSURL::removeDotSegments(std::string_view input)
{
    // RFC 3986, section 5.2.4.
    std::string in(input);
    std::string out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind("./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind("/./", 0) == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in == "/.." ? std::string("/") : in.substr(3);
            size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            size_t start = in[0] == '/' ? 1 : 0;
            size_t next = in.find('/', start);
            out += in.substr(0, next);
            in.erase(0, next == std::string::npos ? in.size() : next);
        }
    }
    return out;
}

NSURL::Components NSURL::resolve(const Components& base, const Components& r)
{
    // RFC 3986, section 5.2.2 (strict: a reference with a scheme stands alone).
    Components t;
    if (r.scheme) {
        t.scheme = r.scheme;
        t.authority = r.authority;
        t.path = removeDotSegments(r.path);
        t.query = r.query;
    } else {
        if (r.authority) {
            t.authority = r.authority;
            t.path = removeDotSegments(r.path);
            t.query = r.query;
        } else {
            if (r.path.empty()) {
                t.path = base.path;
                t.query = r.query ? r.query : base.query;
            } else {
                if (r.path[0] == '/') {
                    t.path = removeDotSegments(r.path);
                } else {
                    // Merge (section 5.2.3).
                    std::string merged;
                    if (base.authority && base.path.empty()) {
                        merged = "/" + r.path;
                    } else {
                        size_t slash = base.path.rfind('/');
                        merged = (slash == std::string::npos ? std::string() : base.path.substr(0, slash + 1)) + r.path;
                    }
                    t.path = removeDotSegments(merged);
                }
                t.query = r.query;
            }
            t.authority = base.authority;
        }
        t.scheme = base.scheme;
    }
    t.fragment = r.fragment;
    return t;
}

Ref<NSURL> NSURL::make(std::string text, const Ref<NSURL>& base)
{
    // An empty reference means the base itself (without its fragment).
    auto parsed = text.empty() && base ? std::optional<Components>(Components{}) : parse(text);
    if (!parsed) {
        return nullptr;
    }
    auto url = std::make_shared<NSURL>();
    url->text_ = std::move(text);
    if (base && !parsed->scheme) {
        url->base_ = base;
        url->absolute_ = resolve(base->absolute_, *parsed);
    } else {
        url->absolute_ = *parsed;
    }
    if (url->absolute_.authority) {
        auto authority = splitAuthority(*url->absolute_.authority);
        if (!authority) {
            return nullptr;
        }
        url->authority_ = *authority;
    }
    return url;
}

Ref<NSURL> NSURL::URLWithString(std::string_view text)
{
    return make(std::string(text), nullptr);
}

Ref<NSURL> NSURL::URLWithString_relativeToURL(std::string_view text, const Ref<NSURL>& base)
{
    return make(std::string(text), base);
}

Ref<NSURL> NSURL::fileURLWithPath_isDirectory(std::string_view path, bool isDirectory)
{
    std::string absolute(path);
    if (absolute.empty() || absolute[0] != '/') {
        char buffer[PATH_MAX];
        std::string cwd = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
        absolute = cwd + (cwd.size() > 1 ? "/" : "") + absolute;
    }
    if (isDirectory && absolute.back() != '/') {
        absolute += '/';
    }
    std::string text = "file://";
    static const char* digits = "0123456789ABCDEF";
    for (unsigned char c : absolute) {
        if (isUnreserved(static_cast<char>(c)) || c == '/' ||
            (c != ';' && isSubDelim(static_cast<char>(c))) || c == ':' || c == '@') {
            text.push_back(static_cast<char>(c));
        } else {
            text.push_back('%');
            text.push_back(digits[c >> 4]);
            text.push_back(digits[c & 15]);
        }
    }
    return make(std::move(text), nullptr);
}

Ref<NSURL> NSURL::fileURLWithPath(std::string_view path)
{
    return fileURLWithPath_isDirectory(path, !path.empty() && path.back() == '/');
}

Ref<NSURL> NSURL::absoluteURL() const
{
    if (!base_) {
        return std::const_pointer_cast<NSURL>(std::static_pointer_cast<const NSURL>(shared_from_this()));
    }
    return make(absolute_.recompose(), nullptr);
}

std::string NSURL::absoluteString() const
{
    return base_ ? absolute_.recompose() : text_;
}

std::string NSURL::scheme() const
{
    return absolute_.scheme.value_or(std::string());
}

std::string NSURL::host() const
{
    std::string_view host = authority_.host;
    if (host.size() >= 2 && host.front() == '[') {
        return std::string(host.substr(1, host.size() - 2));
    }
    return decodedText(host);
}

std::optional<int> NSURL::port() const
{
    return authority_.port;
}

std::string NSURL::user() const
{
    if (!authority_.hasUserinfo) {
        return {};
    }
    return decodedText(authority_.userinfo.substr(0, authority_.userinfo.find(':')));
}

std::string NSURL::password() const
{
    size_t colon = authority_.userinfo.find(':');
    if (!authority_.hasUserinfo || colon == std::string::npos) {
        return {};
    }
    return decodedText(authority_.userinfo.substr(colon + 1));
}

std::string NSURL::path() const
{
    std::string path = decodedText(absolute_.path);
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string NSURL::query() const
{
    return absolute_.query.value_or(std::string());
}

std::string NSURL::fragment() const
{
    return absolute_.fragment.value_or(std::string());
}

bool NSURL::hasAuthority() const
{
    return absolute_.authority.has_value();
}

bool NSURL::hasQuery() const
{
    return absolute_.query.has_value();
}

std::string NSURL::lastPathComponent() const
{
    std::string p = path();
    if (p.empty() || p == "/") {
        return p;
    }
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string NSURL::pathExtension() const
{
    std::string last = lastPathComponent();
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) {
        return {};
    }
    return last.substr(dot + 1);
}

bool NSURL::isFileURL() const
{
    std::string s = scheme();
    return s.size() == 4 && (s[0] | 0x20) == 'f' && (s[1] | 0x20) == 'i' && (s[2] | 0x20) == 'l' &&
           (s[3] | 0x20) == 'e';
}

std::string NSURL::percentEncodedPath() const
{
    if (absolute_.path.empty() && absolute_.authority) {
        return "/";
    }
    return absolute_.path;
}

std::string NSURL::percentEncodedQuery() const
{
    return query();
}

std::string NSURL::requestTarget() const
{
    std::string target = percentEncodedPath();
    if (target.empty()) {
        target = "/";
    }
    if (absolute_.query) {
        target += '?';
        target += *absolute_.query;
    }
    return target;
}

bool NSURL::isEqual(const NSObject* other) const
{
    auto url = dynamic_cast<const NSURL*>(other);
    if (!url) {
        return false;
    }
    if (url == this) {
        return true;
    }
    if (text_ != url->text_ || static_cast<bool>(base_) != static_cast<bool>(url->base_)) {
        return false;
    }
    return !base_ || base_->isEqual(url->base_);
}
