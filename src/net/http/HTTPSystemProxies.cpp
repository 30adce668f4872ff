#include "net/http/HTTPSystemProxies.h"
#include "platform/foundation/NSString.h"

#include <cstdlib>
#include <string_view>

namespace HTTPSystemProxies {

namespace {

std::string environment(const char* lower, const char* upper)
{
    const char* value = std::getenv(lower);
    if (value == nullptr || *value == '\0') {
        value = std::getenv(upper);
    }
    return value != nullptr ? std::string(value) : std::string();
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '/')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> parsePort(std::string_view text)
{
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

// "[scheme://][user[:password]@]host[:port]" into an entry; nullopt when it cannot be understood.
std::optional<HTTPProxyEntry> parseProxy(std::string_view text)
{
    text = trimmed(text);
    HTTPProxyEntry entry;
    std::string scheme = "http";
    if (auto at = text.find("://"); at != std::string_view::npos) {
        scheme = NSString::asciiLowercaseString(text.substr(0, at));
        text.remove_prefix(at + 3);
    }
    int defaultPort = 0;
    if (scheme == "http") {
        entry.type = kCFProxyTypeHTTP;
        defaultPort = 80;
    } else if (scheme == "socks" || scheme == "socks5" || scheme == "socks5h") {
        entry.type = kCFProxyTypeSOCKS;
        defaultPort = 1080;
    } else {
        return std::nullopt;  // a TLS or SOCKS 4 proxy, or something else: not one this client speaks
    }
    if (auto at = text.rfind('@'); at != std::string_view::npos) {
        std::string_view user = text.substr(0, at);
        text.remove_prefix(at + 1);
        if (auto colon = user.find(':'); colon != std::string_view::npos) {
            entry.username = std::string(user.substr(0, colon));
            entry.password = std::string(user.substr(colon + 1));
        } else {
            entry.username = std::string(user);
        }
    }
    if (text.find_first_of("/?#") != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view host = text;
    std::optional<int> port = defaultPort;
    if (!host.empty() && host.front() == '[') {
        auto close = host.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view rest = host.substr(close + 1);
        host = host.substr(1, close - 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return std::nullopt;
            }
            port = parsePort(rest.substr(1));
        }
    } else if (auto colon = host.rfind(':'); colon != std::string_view::npos) {
        port = parsePort(host.substr(colon + 1));
        host = host.substr(0, colon);
    }
    if (host.empty() || !port || host.find_first_of(" \t\r\n:") != std::string_view::npos) {
        return std::nullopt;
    }
    entry.host = std::string(host);
    entry.port = *port;
    return entry;
}

// Whether `host` (with `port`) is excluded from proxying by the no_proxy text.
bool excluded(const std::string& noProxy, const std::string& host, int port)
{
    const std::string name = NSString::asciiLowercaseString(host);
    std::string_view list = noProxy;
    while (!list.empty()) {
        const auto end = list.find_first_of(", ");
        std::string_view item = trimmed(list.substr(0, end));
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        if (item.empty()) {
            continue;
        }
        if (item == "*") {
            return true;
        }
        std::string pattern = NSString::asciiLowercaseString(item);
        // An optional port: "host:port" (not for bare IPv6 addresses, which hold several colons).
        if (auto colon = pattern.rfind(':');
            colon != std::string::npos && pattern.find(':') == colon && pattern.find(']') == std::string::npos) {
            auto wanted = parsePort(std::string_view(pattern).substr(colon + 1));
            if (!wanted || *wanted != port) {
                continue;
            }
            pattern.resize(colon);
        }
        if (pattern.size() > 2 && pattern.front() == '[' && pattern.back() == ']') {
            pattern = pattern.substr(1, pattern.size() - 2);
        }
        if (pattern.rfind("*.", 0) == 0) {
            pattern.erase(0, 1);
        }
        if (!pattern.empty() && pattern.front() == '.') {
            pattern.erase(0, 1);
        }
        if (name == pattern ||
            (name.size() > pattern.size() && name.compare(name.size() - pattern.size(), pattern.size(), pattern) == 0 &&
             name[name.size() - pattern.size() - 1] == '.')) {
            return true;
        }
    }
    return false;
}

}  // namespace

HTTPSystemProxySettings copySystemProxySettings()
{
    HTTPSystemProxySettings settings;
    settings.httpProxy = environment("http_proxy", "HTTP_PROXY");
    settings.httpsProxy = environment("https_proxy", "HTTPS_PROXY");
    settings.allProxy = environment("all_proxy", "ALL_PROXY");
    settings.noProxy = environment("no_proxy", "NO_PROXY");
    return settings;
}

std::optional<std::vector<HTTPProxyEntry>> copyProxiesForURL(const Ref<NSURL>& url,
                                                             const HTTPSystemProxySettings& settings)
{
    std::vector<HTTPProxyEntry> list;
    if (!url) {
        return list;
    }
    const std::string scheme = NSString::asciiLowercaseString(url->scheme());
    std::string text;
    if (scheme == "http") {
        text = settings.httpProxy;
    } else if (scheme == "https") {
        text = settings.httpsProxy;
    } else {
        return list;
    }
    if (trimmed(text).empty()) {
        text = settings.allProxy;
    }
    if (trimmed(text).empty()) {
        return list;
    }
    const int port = url->port().value_or(scheme == "https" ? 443 : 80);
    if (excluded(settings.noProxy, url->host(), port)) {
        return list;
    }
    auto entry = parseProxy(text);
    if (!entry) {
        return std::nullopt;
    }
    list.push_back(std::move(*entry));
    return list;
}

}  // namespace HTTPSystemProxies
