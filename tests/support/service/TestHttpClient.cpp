#include "service/TestHttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace standin {

std::optional<std::string> ClientResponse::header(std::string_view name) const
{
    for (const Header& header : headers) {
        if (equalsIgnoringCase(header.name, name)) {
            return header.value;
        }
    }
    return std::nullopt;
}

TestHttpClient::TestHttpClient(std::uint16_t port, std::chrono::milliseconds timeout)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    limit.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

TestHttpClient::~TestHttpClient()
{
    close();
}

void TestHttpClient::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool TestHttpClient::sendRaw(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (fd_ < 0) {
            return false;
        }
        ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool TestHttpClient::fill()
{
    if (fd_ < 0) {
        return false;
    }
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
        return false; // closed, reset or timed out
    }
}

bool TestHttpClient::readLine(std::string& line)
{
    std::size_t end;
    while ((end = buffer_.find('\n', pos_)) == std::string::npos) {
        if (!fill()) {
            return false;
        }
    }
    raw_.append(buffer_, pos_, end + 1 - pos_);
    line = buffer_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    pos_ = end + 1;
    return true;
}

bool TestHttpClient::readExact(std::size_t count, std::string& out)
{
    while (buffer_.size() - pos_ < count) {
        if (!fill()) {
            return false;
        }
    }
    out.append(buffer_, pos_, count);
    raw_.append(buffer_, pos_, count);
    pos_ += count;
    return true;
}

std::optional<ClientResponse> TestHttpClient::readResponse(bool headRequest)
{
    for (;;) {
        buffer_.erase(0, pos_);
        pos_ = 0;
        raw_.clear();
        ClientResponse response;
        if (!readLine(response.statusLine)) {
            return std::nullopt;
        }
        std::size_t space = response.statusLine.find(' ');
        if (space == std::string::npos) {
            return std::nullopt;
        }
        response.status = std::atoi(response.statusLine.c_str() + space + 1);
        std::string line;
        for (;;) {
            if (!readLine(line)) {
                return std::nullopt;
            }
            if (line.empty()) {
                break;
            }
            std::size_t colon = line.find(':');
            std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') {
                value.erase(0, 1);
            }
            response.headers.push_back({line.substr(0, colon), value});
        }
        if (response.status >= 100 && response.status < 200) {
            continue; // interim answer
        }
        bool bodiless = headRequest || response.status == 204 || response.status == 304;
        std::optional<std::string> encoding = response.header("Transfer-Encoding");
        if (bodiless) {
            // nothing to read
        } else if (encoding && encoding->find("chunked") != std::string::npos) {
            for (;;) {
                if (!readLine(line)) {
                    return std::nullopt;
                }
                std::size_t size = std::strtoul(line.c_str(), nullptr, 16);
                if (size == 0) {
                    do {
                        if (!readLine(line)) {
                            return std::nullopt;
                        }
                    } while (!line.empty());
                    break;
                }
                std::string crlf;
                if (!readExact(size, response.body) || !readExact(2, crlf)) {
                    return std::nullopt;
                }
            }
        } else if (std::optional<std::string> length = response.header("Content-Length")) {
            if (!readExact(std::strtoul(length->c_str(), nullptr, 10), response.body)) {
                return std::nullopt;
            }
        } else {
            // The body runs to the end of the connection.
            while (fill()) {
            }
            response.body = buffer_.substr(pos_);
            raw_ += response.body;
            pos_ = buffer_.size();
        }
        response.raw = raw_;
        return response;
    }
}

std::string TestHttpClient::format(const std::string& method, const std::string& target, const std::string& body,
                                   const std::vector<std::string>& extraHeaders)
{
    std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const std::string& line : extraHeaders) {
        text += line + "\r\n";
    }
    if (!body.empty() || method == "POST" || method == "PUT") {
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return text + "\r\n" + body;
}

std::optional<ClientResponse> TestHttpClient::request(const std::string& method, const std::string& target,
                                                      const std::string& body,
                                                      const std::vector<std::string>& extraHeaders)
{
    if (!sendRaw(format(method, target, body, extraHeaders))) {
        return std::nullopt;
    }
    return readResponse(method == "HEAD");
}

bool TestHttpClient::waitForClose()
{
    if (fd_ < 0) {
        return true;
    }
    char chunk[4096];
    for (;;) {
        ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got > 0 || (got < 0 && errno == EINTR)) {
            continue;
        }
        if (got == 0) {
            return true;
        }
        return errno == ECONNRESET || errno == EPIPE;
    }
}

} // namespace standin
