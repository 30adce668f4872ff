#include "ForwardProxy.h"

#include <sys/socket.h>
#include <unistd.h>

namespace TestServers {

namespace {

// "host:port" (or "[v6]:port") into its parts.
bool splitHostPort(const std::string& text, std::string& host, int& port)
{
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
    }
    try {
        port = std::stoi(text.substr(colon + 1));
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace

std::string ForwardProxy::Seen::header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (headerNamesEqual(key, name)) {
            return value;
        }
    }
    return {};
}

ForwardProxy::ForwardProxy() : ForwardProxy(Options{}) {}

ForwardProxy::ForwardProxy(Options options) : options_(std::move(options))
{
    core_ = std::make_unique<ServerCore>([this](Channel& channel, size_t) { serve(channel); }, options_.lifetimeSeconds);
}

ForwardProxy::~ForwardProxy()
{
    core_->stop();
}

std::vector<ForwardProxy::Seen> ForwardProxy::seen() const
{
    std::lock_guard lock(mutex_);
    return seen_;
}

void ForwardProxy::serve(Channel& channel)
{
    std::string head;
    if (!channel.readUntil(head, "\r\n\r\n", 1 << 20)) {
        return;
    }
    Seen seen;
    size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) {
        return;
    }
    seen.method = line.substr(0, sp1);
    seen.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string version = line.substr(sp2 + 1);
    std::string forwardedHeaders;
    size_t pos = lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == pos) {
            break;
        }
        std::string field = head.substr(pos, end - pos);
        size_t colon = field.find(':');
        if (colon != std::string::npos) {
            std::string name = trimHeaderText(std::string_view(field).substr(0, colon));
            seen.headers.emplace_back(name, trimHeaderText(std::string_view(field).substr(colon + 1)));
            if (!headerNamesEqual(name, "Proxy-Authorization") && !headerNamesEqual(name, "Proxy-Connection") &&
                !headerNamesEqual(name, "Connection")) {
                forwardedHeaders += field + "\r\n";
            }
        }
        pos = end + 2;
    }
    {
        std::lock_guard lock(mutex_);
        seen_.push_back(seen);
    }
    if (!options_.requiredAuthorization.empty() &&
        seen.header("Proxy-Authorization") != options_.requiredAuthorization) {
        std::string body = "proxy authentication required";
        channel.writeAll("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"proxy\"\r\n"
                         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        return;
    }
    if (seen.method == "CONNECT") {
        std::string host;
        int port = 0;
        int upstream = splitHostPort(seen.target, host, port) ? connectLoopback(host, port) : -1;
        if (upstream < 0) {
            channel.writeAll("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        channel.writeAll("HTTP/1.1 200 Connection established\r\n\r\n");
        relay(channel, upstream);
        ::close(upstream);
        return;
    }
    // Absolute form: http://host[:port]/path
    const std::string prefix = "http://";
    if (seen.target.rfind(prefix, 0) != 0) {
        channel.writeAll("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    std::string rest = seen.target.substr(prefix.size());
    size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
    std::string host = authority;
    int port = 80;
    if (authority.find(':') != std::string::npos && !splitHostPort(authority, host, port)) {
        return;
    }
    int upstream = connectLoopback(host, port);
    if (upstream < 0) {
        channel.writeAll("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    std::string request = seen.method + " " + path + " " + version + "\r\n" + forwardedHeaders + "Connection: close\r\n\r\n";
    std::string length = seen.header("Content-Length");
    if (!length.empty()) {
        channel.readExact(request, std::stoul(length));
    }
    ::send(upstream, request.data(), request.size(), MSG_NOSIGNAL);
    // The origin closes after its answer ("Connection: close"); relay it back and end.
    relay(channel, upstream);
    ::close(upstream);
}

}  // namespace TestServers
