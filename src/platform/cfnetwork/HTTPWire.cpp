#include "platform/cfnetwork/HTTPWire.h"

#include <algorithm>
#include <vector>

namespace HTTPWire {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        out.push_back(lower(c));
    }
    return out;
}

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

// The comma-separated tokens of a header value, lower-cased.
std::vector<std::string> tokens(std::string_view value)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        std::string_view part = value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        part = trim(part);
        if (!part.empty()) {
            out.push_back(lowered(part));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return out;
}

bool hasToken(const std::optional<std::string>& value, std::string_view token)
{
    if (!value) {
        return false;
    }
    for (const auto& t : tokens(*value)) {
        if (t == token) {
            return true;
        }
    }
    return false;
}

}  // namespace

int defaultPort(std::string_view scheme)
{
    return lowered(scheme) == "https" ? 443 : 80;
}

std::string hostHeader(const NSURL& url, bool alwaysWithPort)
{
    std::string host = url.host();
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    auto port = url.port();
    if (port) {
        host += ":" + std::to_string(*port);
    } else if (alwaysWithPort) {
        host += ":" + std::to_string(defaultPort(url.scheme()));
    }
    return host;
}

std::string requestHead(const CFHTTPMessage& request, const RequestHeadOptions& options)
{
    const NSURL& url = *request.copyRequestURL();
    std::string target = url.requestTarget();
    if (options.absoluteForm) {
        target = lowered(url.scheme()) + "://" + hostHeader(url, false) + target;
    }
    std::string head = request.copyRequestMethod() + " " + target + " " + request.copyVersion() + "\r\n";
    const HTTPHeaderFields& fields = request.copyAllHeaderFields();
    if (!fields.contains("Host")) {
        head += "Host: " + hostHeader(url, false) + "\r\n";
    }
    for (const auto& [name, value] : request.rawHeaderFields()) {
        if (!options.sendProxyAuthorization && HTTPHeaderFields::namesEqual(name, "Proxy-Authorization")) {
            continue;
        }
        head += name + ": " + value + "\r\n";
    }
    bool hasFraming = fields.contains("Content-Length") || fields.contains("Transfer-Encoding");
    if (!hasFraming) {
        if (options.chunkedBody) {
            head += "Transfer-Encoding: chunked\r\n";
        } else if (options.contentLength) {
            head += "Content-Length: " + std::to_string(*options.contentLength) + "\r\n";
        }
    }
    if (!fields.contains("Connection")) {
        if (!options.persistent) {
            head += "Connection: close\r\n";
        } else if (request.copyVersion() == kCFHTTPVersion1_0) {
            head += "Connection: keep-alive\r\n";
        }
    }
    head += "\r\n";
    return head;
}

ResponseParser::ResponseParser(bool requestWasHEAD, bool requestWasCONNECT)
    : head_(requestWasHEAD), connect_(requestWasCONNECT)
{
}

bool ResponseParser::takeLine(std::string_view& in, size_t& consumed, std::string& line)
{
    std::string_view rest = in.substr(consumed);
    size_t newline = rest.find('\n');
    if (newline == std::string_view::npos) {
        line_.append(rest);
        consumed = in.size();
        if (line_.size() > kMaxLineBytes) {
            fail();
        }
        return false;
    }
    line = line_;
    line.append(rest.substr(0, newline));
    line_.clear();
    consumed += newline + 1;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.size() > kMaxLineBytes) {
        fail();
        return false;
    }
    return true;
}

bool ResponseParser::headerLine(const std::string& line)
{
    headerBytes_ += line.size() + 2;
    if (headerBytes_ > kMaxHeaderBytes) {
        return false;
    }
    if (!sawStatusLine_) {
        if (line.empty()) {
            return true;  // stray empty lines before a status line are tolerated
        }
        if (line.rfind("HTTP/", 0) != 0) {
            return false;
        }
        size_t sp = line.find(' ');
        if (sp == std::string::npos || sp + 4 > line.size()) {
            return false;
        }
        int code = 0;
        for (size_t i = sp + 1; i < sp + 4; ++i) {
            if (line[i] < '0' || line[i] > '9') {
                return false;
            }
            code = code * 10 + (line[i] - '0');
        }
        if (sp + 4 < line.size() && line[sp + 4] != ' ') {
            return false;
        }
        response_ = CFHTTPMessage::createEmpty(false);
        response_->setResponseStartLine(line.substr(0, sp), code,
                                        sp + 5 <= line.size() ? line.substr(sp + 5) : std::string());
        sawStatusLine_ = true;
        lastName_.clear();
        return true;
    }
    if (line.empty()) {
        int code = response_->getResponseStatusCode();
        if (code >= 100 && code < 200) {
            if (code == 101) {
                return false;  // no protocol switch was asked for
            }
            // An interim response: the final one follows.
            sawStatusLine_ = false;
            headerBytes_ = 0;
            response_.reset();
            return true;
        }
        response_->markHeaderComplete();
        state_ = State::Body;
        return startBody();
    }
    if (line.front() == ' ' || line.front() == '\t') {
        if (lastName_.empty()) {
            return false;
        }
        // A folded line continues the previous field's value.
        return response_->continueLastHeaderField(trim(line));
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string name(trim(std::string_view(line).substr(0, colon)));
    if (!CFHTTPMessage::isToken(name)) {
        return false;
    }
    lastName_ = name;
    response_->addReceivedHeaderField(name, std::string(trim(std::string_view(line).substr(colon + 1))));
    return true;
}

bool ResponseParser::startBody()
{
    int code = response_->getResponseStatusCode();
    if (head_ || code == 204 || code == 304 || (connect_ && code >= 200 && code < 300)) {
        framing_ = Framing::None;
        state_ = State::Done;
        return true;
    }
    if (auto te = response_->copyHeaderFieldValue("Transfer-Encoding")) {
        // A length beside a transfer coding is ignored, and such a connection is not trusted again:
        // another reader of the same bytes might have framed them by the length.
        ambiguousFraming_ = response_->copyHeaderFieldValue("Content-Length").has_value();
        auto codings = tokens(*te);
        framing_ = (!codings.empty() && codings.back() == "chunked") ? Framing::Chunked : Framing::Close;
        chunkState_ = ChunkState::Size;
        return true;
    }
    if (auto cl = response_->copyHeaderFieldValue("Content-Length")) {
        // Repeated fields must agree ("5, 5"); anything else could split the stream differently from an
        // intermediary's reading, so it is refused.
        std::optional<uint64_t> length;
        size_t start = 0;
        std::string_view value = *cl;
        for (;;) {
            size_t comma = value.find(',', start);
            std::string_view part =
                trim(value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            if (part.empty() || part.size() > 18) {
                return false;
            }
            uint64_t n = 0;
            for (char c : part) {
                if (c < '0' || c > '9') {
                    return false;
                }
                n = n * 10 + static_cast<uint64_t>(c - '0');
            }
            if (length && *length != n) {
                return false;
            }
            length = n;
            if (comma == std::string_view::npos) {
                break;
            }
            start = comma + 1;
        }
        contentLength_ = length;
        framing_ = Framing::Length;
        remaining_ = *length;
        if (remaining_ == 0) {
            state_ = State::Done;
        }
        return true;
    }
    framing_ = Framing::Close;
    return true;
}

size_t ResponseParser::feed(std::string_view in, std::string& body)
{
    if (!in.empty()) {
        sawBytes_ = true;
    }
    size_t consumed = 0;
    while (consumed < in.size() && (state_ == State::Head || state_ == State::Body)) {
        if (state_ == State::Head) {
            std::string line;
            if (!takeLine(in, consumed, line)) {
                break;
            }
            if (!headerLine(line)) {
                fail();
            }
            continue;
        }
        // Body.
        std::string_view rest = in.substr(consumed);
        switch (framing_) {
        case Framing::None:
            state_ = State::Done;
            break;
        case Framing::Close:
            body.append(rest);
            consumed = in.size();
            break;
        case Framing::Length: {
            size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, rest.size()));
            body.append(rest.substr(0, n));
            consumed += n;
            remaining_ -= n;
            if (remaining_ == 0) {
                state_ = State::Done;
            }
            break;
        }
        case Framing::Chunked: {
            if (chunkState_ == ChunkState::Data) {
                size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, rest.size()));
                body.append(rest.substr(0, n));
                consumed += n;
                remaining_ -= n;
                if (remaining_ == 0) {
                    chunkState_ = ChunkState::DataEnd;
                }
                break;
            }
            std::string line;
            if (!takeLine(in, consumed, line)) {
                break;
            }
            if (chunkState_ == ChunkState::Size) {
                std::string_view size = trim(std::string_view(line).substr(0, line.find(';')));
                if (size.empty() || size.size() > 15) {
                    fail();
                    break;
                }
                uint64_t n = 0;
                for (char c : size) {
                    int digit = (c >= '0' && c <= '9')   ? c - '0'
                                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                         : -1;
                    if (digit < 0) {
                        fail();
                        break;
                    }
                    n = n * 16 + static_cast<uint64_t>(digit);
                }
                if (state_ == State::Failed) {
                    break;
                }
                remaining_ = n;
                chunkState_ = n == 0 ? ChunkState::Trailer : ChunkState::Data;
            } else if (chunkState_ == ChunkState::DataEnd) {
                if (!line.empty()) {
                    fail();
                    break;
                }
                chunkState_ = ChunkState::Size;
            } else {  // trailer fields are read and dropped; an empty line ends the message
                headerBytes_ += line.size() + 2;
                if (headerBytes_ > kMaxHeaderBytes) {
                    fail();
                    break;
                }
                if (line.empty()) {
                    state_ = State::Done;
                }
            }
            break;
        }
        }
    }
    if (state_ == State::Body && framing_ == Framing::None) {
        state_ = State::Done;
    }
    return consumed;
}

void ResponseParser::finish()
{
    if (state_ == State::Body && framing_ == Framing::Close) {
        state_ = State::Done;
    } else if (state_ != State::Done) {
        state_ = State::Failed;
    }
}

bool ResponseParser::connectionReusable() const
{
    if (state_ != State::Done || framing_ == Framing::Close || ambiguousFraming_ || !response_) {
        return false;
    }
    auto connection = response_->copyHeaderFieldValue("Connection");
    if (hasToken(connection, "close")) {
        return false;
    }
    if (response_->copyVersion() == kCFHTTPVersion1_0) {
        return hasToken(connection, "keep-alive");
    }
    return true;
}

}  // namespace HTTPWire
