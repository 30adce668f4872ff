#include "SOCKS5Server.h"

#include <arpa/inet.h>
#include <unistd.h>

namespace TestServers {

SOCKS5Server::SOCKS5Server() : SOCKS5Server(Options{}) {}

SOCKS5Server::SOCKS5Server(Options options) : options_(std::move(options))
{
    core_ = std::make_unique<ServerCore>([this](Channel& channel, size_t) { serve(channel); }, options_.lifetimeSeconds);
}

SOCKS5Server::~SOCKS5Server()
{
    core_->stop();
}

std::vector<SOCKS5Server::Target> SOCKS5Server::targets() const
{
    std::lock_guard lock(mutex_);
    return targets_;
}

void SOCKS5Server::serve(Channel& channel)
{
    auto byte = [](const std::string& s, size_t i) { return static_cast<unsigned char>(s[i]); };
    std::string greeting;
    if (!channel.readExact(greeting, 2) || byte(greeting, 0) != 5) {
        return;
    }
    std::string methods;
    if (!channel.readExact(methods, byte(greeting, 1))) {
        return;
    }
    const unsigned char wanted = options_.user.empty() ? 0 : 2;
    if (methods.find(static_cast<char>(wanted)) == std::string::npos) {
        channel.writeAll(std::string("\x05\xff", 2));
        return;
    }
    channel.writeAll(std::string("\x05", 1) + static_cast<char>(wanted));
    if (wanted == 2) {
        std::string auth;
        if (!channel.readExact(auth, 2)) {
            return;
        }
        std::string user;
        if (!channel.readExact(user, byte(auth, 1))) {
            return;
        }
        std::string length;
        std::string password;
        if (!channel.readExact(length, 1) || !channel.readExact(password, byte(length, 0))) {
            return;
        }
        bool ok = user == options_.user && password == options_.password;
        channel.writeAll(std::string("\x01", 1) + (ok ? '\x00' : '\x01'));
        if (!ok) {
            return;
        }
    }
    std::string request;
    if (!channel.readExact(request, 4) || byte(request, 0) != 5) {
        return;
    }
    Target target;
    target.addressType = byte(request, 3);
    std::string address;
    if (target.addressType == 1) {
        if (!channel.readExact(address, 4)) {
            return;
        }
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, address.data(), text, sizeof text);
        target.host = text;
    } else if (target.addressType == 4) {
        if (!channel.readExact(address, 16)) {
            return;
        }
        char text[INET6_ADDRSTRLEN];
        ::inet_ntop(AF_INET6, address.data(), text, sizeof text);
        target.host = text;
    } else if (target.addressType == 3) {
        std::string length;
        if (!channel.readExact(length, 1) || !channel.readExact(target.host, byte(length, 0))) {
            return;
        }
    } else {
        return;
    }
    std::string port;
    if (!channel.readExact(port, 2)) {
        return;
    }
    target.port = byte(port, 0) << 8 | byte(port, 1);
    {
        std::lock_guard lock(mutex_);
        targets_.push_back(target);
    }
    const std::string failure("\x05\x02\x00\x01\x00\x00\x00\x00\x00\x00", 10);  // not allowed by rule set
    if (byte(request, 1) != 1) {
        channel.writeAll(std::string("\x05\x07\x00\x01\x00\x00\x00\x00\x00\x00", 10));  // command not supported
        return;
    }
    int upstream = connectLoopback(target.host, target.port);
    if (upstream < 0) {
        channel.writeAll(isLoopbackHost(target.host) ? std::string("\x05\x05\x00\x01\x00\x00\x00\x00\x00\x00", 10)
                                                     : failure);
        return;
    }
    channel.writeAll(std::string("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
    relay(channel, upstream);
    ::close(upstream);
}

}  // namespace TestServers
