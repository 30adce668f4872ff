#include "service/RequestReader.h"

#include <sys/socket.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>

namespace standin {

namespace {

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isToken(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c <= ' ' || c == ':' || c == 0x7f) {
            return false;
        }
    }
    return true;
}

// Non-empty run of decimal digits that fits a size.
bool parseDecimal(std::string_view text, std::size_t& value)
{
    if (text.empty() || text.size() > 18) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return true;
}

bool parseHex(std::string_view text, std::size_t& value)
{
    if (text.empty() || text.size() > 15) {
        return false;
    }
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        value = value * 16 + static_cast<std::size_t>(digit);
    }
    return true;
}

// Whether the last transfer coding named is "chunked".
bool endsWithChunked(std::string_view codings)
{
    std::size_t comma = codings.rfind(',');
    std::string_view last = comma == std::string_view::npos ? codings : codings.substr(comma + 1);
    return equalsIgnoringCase(trim(last), "chunked");
}

} // namespace

RequestReader::RequestReader(int fd, std::size_t maxHeaderBytes, std::size_t maxBodyBytes)
    : fd_(fd), maxHeaderBytes_(maxHeaderBytes), maxBodyBytes_(maxBodyBytes)
{
}

bool RequestReader::fill()
{
    char chunk[16384];
    for (;;) {
        ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(got));
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
}

void RequestReader::setBudget(std::size_t bytes)
{
    budgetEnd_ = requestStart_ + bytes;
}

RequestReader::Status RequestReader::need(std::size_t bytes)
{
    while (buffer_.size() - pos_ < bytes) {
        if (budgetEnd_ != 0 && buffer_.size() >= budgetEnd_) {
            return Status::BudgetReached;
        }
        if (!fill()) {
            return Status::Closed;
        }
    }
    if (budgetEnd_ != 0 && pos_ + bytes > budgetEnd_) {
        return Status::BudgetReached;
    }
    return Status::Ok;
}

RequestReader::Status RequestReader::readLine(std::string_view& line)
{
    std::size_t end;
    while ((end = buffer_.find('\n', pos_)) == std::string::npos) {
        if (buffer_.size() - pos_ > maxHeaderBytes_) {
            return Status::Malformed;
        }
        if (budgetEnd_ != 0 && buffer_.size() >= budgetEnd_) {
            return Status::BudgetReached;
        }
        if (!fill()) {
            return Status::Closed;
        }
    }
    if (budgetEnd_ != 0 && end + 1 > budgetEnd_) {
        return Status::BudgetReached;
    }
    line = std::string_view(buffer_).substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    pos_ = end + 1;
    return Status::Ok;
}

RequestReader::Status RequestReader::readHead(Request& request)
{
    buffer_.erase(0, pos_);
    pos_ = 0;
    requestStart_ = 0;
    budgetEnd_ = 0;
    chunked_ = false;
    contentLength_ = 0;
    unfinished_.clear();

    // Blank lines between requests.
    for (;;) {
        if (pos_ == buffer_.size()) {
            if (!fill()) {
                return Status::Closed;
            }
            continue;
        }
        if (buffer_[pos_] == '\n') {
            ++pos_;
            continue;
        }
        if (buffer_[pos_] == '\r') {
            if (pos_ + 1 == buffer_.size()) {
                if (!fill()) {
                    return Status::Closed;
                }
                continue;
            }
            if (buffer_[pos_ + 1] == '\n') {
                pos_ += 2;
                continue;
            }
        }
        break;
    }
    requestStart_ = pos_;

    // The head ends at the first empty line.
    std::size_t scan = pos_;
    std::size_t headEnd = 0;
    for (;;) {
        std::size_t newline = buffer_.find('\n', scan);
        if (newline == std::string::npos) {
            if (buffer_.size() - requestStart_ > maxHeaderBytes_) {
                return Status::HeaderTooLarge;
            }
            if (!fill()) {
                unfinished_ = buffer_.substr(requestStart_);
                return Status::Closed;
            }
            continue;
        }
        bool empty = newline == scan || (newline == scan + 1 && buffer_[scan] == '\r');
        scan = newline + 1;
        if (scan - requestStart_ > maxHeaderBytes_) {
            return Status::HeaderTooLarge;
        }
        if (empty) {
            headEnd = scan;
            break;
        }
    }
    request.head = buffer_.substr(requestStart_, headEnd - requestStart_);
    pos_ = headEnd;
    if (!parseHead(request)) {
        return Status::Malformed;
    }

    // Body framing: chunked wins over a length.
    if (auto codings = request.header("Transfer-Encoding")) {
        if (!endsWithChunked(*codings)) {
            return Status::Malformed;
        }
        chunked_ = true;
        return Status::Ok;
    }
    bool haveLength = false;
    for (const Header& header : request.headers) {
        if (!equalsIgnoringCase(header.name, "Content-Length")) {
            continue;
        }
        std::size_t length;
        if (!parseDecimal(header.value, length) || (haveLength && length != contentLength_)) {
            return Status::Malformed;
        }
        haveLength = true;
        contentLength_ = length;
    }
    if (contentLength_ > maxBodyBytes_) {
        return Status::BodyTooLarge;
    }
    return Status::Ok;
}

bool RequestReader::parseHead(Request& request)
{
    std::string_view head = request.head;
    bool first = true;
    while (!head.empty()) {
        std::size_t newline = head.find('\n');
        std::string_view line = head.substr(0, newline);
        head.remove_prefix(newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;
        }
        if (first) {
            request.requestLine = std::string(line);
            first = false;
            continue;
        }
        request.headerLines.emplace_back(line);
    }

    // METHOD SP target SP HTTP/x.y
    std::string_view line = request.requestLine;
    std::size_t space1 = line.find(' ');
    std::size_t space2 = space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
    if (space2 == std::string_view::npos || line.find(' ', space2 + 1) != std::string_view::npos) {
        return false;
    }
    request.method = std::string(line.substr(0, space1));
    request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
    request.version = std::string(line.substr(space2 + 1));
    if (!isToken(request.method) || request.target.empty() || request.version.rfind("HTTP/1.", 0) != 0) {
        return false;
    }
    std::size_t question = request.target.find('?');
    request.path = request.target.substr(0, question);
    if (question != std::string::npos) {
        request.query = request.target.substr(question + 1);
        request.queryParams = parseParams(request.query);
    }

    for (const std::string& headerLine : request.headerLines) {
        std::size_t colon = headerLine.find(':');
        if (colon == std::string::npos) {
            return false;
        }
        std::string_view name = std::string_view(headerLine).substr(0, colon);
        // A name must not carry blanks (nor may a line start with one: folded lines are refused).
        if (!isToken(name)) {
            return false;
        }
        std::string_view value = trim(std::string_view(headerLine).substr(colon + 1));
        request.headers.push_back({std::string(name), std::string(value)});
    }
    return true;
}

RequestReader::Status RequestReader::readBody(Request& request)
{
    std::size_t bodyStart = pos_;
    Status status = Status::Ok;
    if (chunked_) {
        status = readChunked(request, bodyStart);
    } else if (contentLength_ > 0) {
        status = need(contentLength_);
        if (status == Status::Ok) {
            request.rawBody = buffer_.substr(pos_, contentLength_);
            request.body = request.rawBody;
            pos_ += contentLength_;
        }
    }
    if (status == Status::BudgetReached) {
        std::size_t end = std::min(buffer_.size(), budgetEnd_);
        request.rawBody = end > bodyStart ? buffer_.substr(bodyStart, end - bodyStart) : std::string();
    } else if (status == Status::Closed) {
        request.rawBody = buffer_.substr(bodyStart);
    }
    return status;
}

RequestReader::Status RequestReader::readChunked(Request& request, std::size_t bodyStart)
{
    for (;;) {
        std::string_view line;
        if (Status status = readLine(line); status != Status::Ok) {
            return status;
        }
        std::size_t size;
        std::string_view digits = trim(line.substr(0, line.find(';')));
        if (!parseHex(digits, size)) {
            return Status::Malformed;
        }
        if (size == 0) {
            break;
        }
        if (request.body.size() + size > maxBodyBytes_) {
            return Status::BodyTooLarge;
        }
        if (Status status = need(size + 2); status != Status::Ok) {
            return status;
        }
        if (buffer_.compare(pos_ + size, 2, "\r\n") != 0) {
            return Status::Malformed;
        }
        request.body.append(buffer_, pos_, size);
        pos_ += size + 2;
    }
    // Trailer lines up to an empty line.
    for (;;) {
        std::string_view line;
        if (Status status = readLine(line); status != Status::Ok) {
            return status;
        }
        if (line.empty()) {
            break;
        }
        if (pos_ - bodyStart > maxBodyBytes_ + maxHeaderBytes_) {
            return Status::BodyTooLarge;
        }
    }
    request.rawBody = buffer_.substr(bodyStart, pos_ - bodyStart);
    return Status::Ok;
}

} // namespace standin
