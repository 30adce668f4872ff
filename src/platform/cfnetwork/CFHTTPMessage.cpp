#include "platform/cfnetwork/CFHTTPMessage.h"

#include <cstring>

#include "platform/foundation/NSString.h"

namespace {

bool isSchemeHTTP(const std::string& scheme)
{
    return NSString::asciiEqualIgnoringCase(scheme, "http") || NSString::asciiEqualIgnoringCase(scheme, "https");
}

// A host name or IP literal that can stand in a request line and a "Host" header as it is. Escapes in a
// URL's host are decoded by NSURL, so "%0d%0a" would otherwise reach the wire as a line break.
bool isSafeHost(const std::string& host)
{
    if (host.empty()) {
        return false;
    }
    for (char c : host) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
                  c == '_' || c == '~' || c == ':';
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool HTTPHeaderFields::namesEqual(std::string_view a, std::string_view b)
{
    return NSString::asciiEqualIgnoringCase(a, b);
}

void HTTPHeaderFields::set(std::string_view name, std::string_view value)
{
    remove(name);
    fields_.emplace_back(std::string(name), std::string(value));
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value)
{
    for (auto& field : fields_) {
        if (namesEqual(field.first, name)) {
            field.second += ", ";
            field.second += value;
            return;
        }
    }
    fields_.emplace_back(std::string(name), std::string(value));
}

void HTTPHeaderFields::remove(std::string_view name)
{
    std::erase_if(fields_, [&](const Field& field) { return namesEqual(field.first, name); });
}

std::optional<std::string> HTTPHeaderFields::get(std::string_view name) const
{
    for (const auto& field : fields_) {
        if (namesEqual(field.first, name)) {
            return field.second;
        }
    }
    return std::nullopt;
}

bool CFHTTPMessage::isToken(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        bool ok = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                  (u != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool CFHTTPMessage::isSafeFieldValue(std::string_view text)
{
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') {
            return false;
        }
    }
    return true;
}

Ref<CFHTTPMessage> CFHTTPMessage::createRequest(std::string_view method, const Ref<NSURL>& url,
                                                std::string_view version)
{
    if (!isToken(method) || !url || (version != kCFHTTPVersion1_0 && version != kCFHTTPVersion1_1)) {
        return nullptr;
    }
    if (!isSchemeHTTP(url->scheme()) || !url->hasAuthority() || !isSafeHost(url->host())) {
        return nullptr;
    }
    auto message = std::make_shared<CFHTTPMessage>();
    message->isRequest_ = true;
    message->method_ = std::string(method);
    message->url_ = url->absoluteURL();
    message->version_ = std::string(version);
    message->headerComplete_ = true;
    return message;
}

Ref<CFHTTPMessage> CFHTTPMessage::createResponse(int statusCode, std::string_view statusDescription,
                                                 std::string_view version)
{
    if (statusCode < 100 || statusCode > 999 || !isSafeFieldValue(statusDescription)) {
        return nullptr;
    }
    auto message = std::make_shared<CFHTTPMessage>();
    message->isRequest_ = false;
    message->setResponseStartLine(std::string(version), statusCode, std::string(statusDescription));
    message->headerComplete_ = true;
    return message;
}

Ref<CFHTTPMessage> CFHTTPMessage::createEmpty(bool isRequest)
{
    auto message = std::make_shared<CFHTTPMessage>();
    message->isRequest_ = isRequest;
    message->version_.clear();
    return message;
}

bool CFHTTPMessage::setHeaderFieldValue(std::string_view name, std::optional<std::string_view> value)
{
    if (!isToken(name) || (value && !isSafeFieldValue(*value))) {
        return false;
    }
    std::erase_if(raw_, [&](const HTTPHeaderFields::Field& f) { return HTTPHeaderFields::namesEqual(f.first, name); });
    if (value) {
        headers_.set(name, *value);
        raw_.emplace_back(std::string(name), std::string(*value));
    } else {
        headers_.remove(name);
    }
    return true;
}

void CFHTTPMessage::setResponseStartLine(std::string version, int statusCode, std::string description)
{
    isRequest_ = false;
    version_ = std::move(version);
    statusCode_ = statusCode;
    statusDescription_ = std::move(description);
}

void CFHTTPMessage::addReceivedHeaderField(std::string name, std::string value)
{
    headers_.add(name, value);
    raw_.emplace_back(std::move(name), std::move(value));
}

bool CFHTTPMessage::continueLastHeaderField(std::string_view text)
{
    if (raw_.empty()) {
        return false;
    }
    auto& last = raw_.back();
    last.second += " ";
    last.second += text;
    // Rebuild the joined value of that name from the raw lines.
    std::string name = last.first;
    headers_.remove(name);
    for (const auto& field : raw_) {
        if (HTTPHeaderFields::namesEqual(field.first, name)) {
            headers_.add(field.first, field.second);
        }
    }
    return true;
}

std::string CFHTTPMessage::copyResponseStatusLine() const
{
    if (isRequest_ || version_.empty()) {
        return {};
    }
    std::string line = version_ + " " + std::to_string(statusCode_);
    if (!statusDescription_.empty()) {
        line += " " + statusDescription_;
    }
    return line;
}

std::string CFHTTPMessage::copySerializedMessage() const
{
    std::string out;
    if (isRequest_) {
        out = method_ + " " + (url_ ? url_->requestTarget() : std::string("/")) + " " + version_ + "\r\n";
    } else {
        out = copyResponseStatusLine() + "\r\n";
    }
    for (const auto& [name, value] : raw_) {
        out += name + ": " + value + "\r\n";
    }
    out += "\r\n";
    out += body_;
    return out;
}

bool CFHTTPMessage::parseStartLine(std::string_view line)
{
    if (isRequest_) {
        size_t sp1 = line.find(' ');
        size_t sp2 = line.rfind(' ');
        if (sp1 == std::string_view::npos || sp2 == sp1) {
            return false;
        }
        method_ = std::string(line.substr(0, sp1));
        std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        version_ = std::string(line.substr(sp2 + 1));
        if (!isToken(method_) || version_.rfind("HTTP/", 0) != 0) {
            return false;
        }
        url_ = NSURL::URLWithString(target);
        return true;
    }
    if (line.rfind("HTTP/", 0) != 0) {
        return false;
    }
    size_t sp = line.find(' ');
    if (sp == std::string_view::npos || sp + 4 > line.size()) {
        return false;
    }
    std::string_view code = line.substr(sp + 1, 3);
    for (char c : code) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    if (sp + 4 < line.size() && line[sp + 4] != ' ') {
        return false;
    }
    version_ = std::string(line.substr(0, sp));
    statusCode_ = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    statusDescription_ = sp + 5 <= line.size() ? std::string(line.substr(sp + 5)) : std::string();
    return true;
}

bool CFHTTPMessage::appendBytes(const void* bytes, size_t length)
{
    if (failed_) {
        return false;
    }
    const char* data = static_cast<const char*>(bytes);
    if (headerComplete_) {
        body_.append(data, length);
        return true;
    }
    pending_.append(data, length);
    size_t start = 0;
    for (;;) {
        size_t newline = pending_.find('\n', start);
        if (newline == std::string::npos) {
            break;
        }
        std::string_view line(pending_.data() + start, newline - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        start = newline + 1;
        if (version_.empty() && method_.empty()) {
            if (!parseStartLine(line)) {
                failed_ = true;
                return false;
            }
            continue;
        }
        if (line.empty()) {
            headerComplete_ = true;
            body_.append(pending_, start, std::string::npos);
            pending_.clear();
            return true;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            if (!continueLastHeaderField(NSString::trimSpacesAndTabs(line))) {
                failed_ = true;
                return false;
            }
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
            failed_ = true;
            return false;
        }
        addReceivedHeaderField(std::string(line.substr(0, colon)), std::string(NSString::trimSpacesAndTabs(line.substr(colon + 1))));
    }
    pending_.erase(0, start);
    return true;
}
