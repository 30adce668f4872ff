#pragma once
// The shared machinery of the test servers: a listener on 127.0.0.1 (port chosen by the system), one
// thread per connection, optional TLS, and a bounded life. Every server stops by itself when its
// lifetime is over (default 30 s) and when it is destroyed; reads wait in short ticks so that stopping
// never waits for a silent peer.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace TestServers {

// A connection accepted by a test server.
class Channel {
public:
    Channel(int fd, const std::atomic<bool>& stopping, std::chrono::steady_clock::time_point deadline);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Server side of a TLS handshake; false when it fails (the peer refused our certificate...).
    bool acceptTLS(ssl_ctx_st* context);

    // Up to `length` bytes: the count, 0 at the peer's end, -1 on error or when the server stops.
    long readSome(char* buffer, size_t length);
    // Reads until `delimiter` (included) or `limit` bytes; false on end, error or overflow.
    bool readUntil(std::string& out, std::string_view delimiter, size_t limit);
    bool readExact(std::string& out, size_t length);
    bool writeAll(std::string_view bytes);
    // Half-closes (the peer reads the end) or closes now.
    void shutdownWrite();
    void closeNow();
    bool isOpen() const { return fd_ >= 0; }

    int fd() const { return fd_; }
    uint16_t peerPort() const { return peerPort_; }
    // The subject of the client's certificate, when TLS asked for one.
    std::string clientCertificateSubject() const;
    // The host name the client sent in its TLS hello (SNI); "" when none.
    std::string serverName() const;
    // Waits (in ticks) for `seconds`, or less when the server stops.
    void pause(double seconds);
    bool stopping() const;

    // Bytes read ahead of a delimiter, consumed first by later reads.
    std::string pending;

private:
    int fd_;
    ssl_st* ssl_ = nullptr;
    uint16_t peerPort_ = 0;
    const std::atomic<bool>& stopping_;
    std::chrono::steady_clock::time_point deadline_;
};

class ServerCore {
public:
    using Handler = std::function<void(Channel& channel, size_t connectionIndex)>;

    // Listens at once on 127.0.0.1:0. With a TLS context, every connection starts with a handshake.
    explicit ServerCore(Handler handler, double lifetimeSeconds = 30, ssl_ctx_st* tls = nullptr);
    ~ServerCore();
    ServerCore(const ServerCore&) = delete;
    ServerCore& operator=(const ServerCore&) = delete;

    uint16_t port() const { return port_; }
    size_t connectionCount() const { return connections_.load(); }
    void stop();

    static constexpr size_t kMaxConnections = 64;

private:
    void acceptLoop();

    Handler handler_;
    ssl_ctx_st* tls_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point deadline_;
    std::atomic<size_t> connections_{0};
    std::mutex mutex_;
    std::vector<std::thread> threads_;
    std::set<int> openFds_;
    std::thread acceptThread_;
};

// Blocks SIGPIPE on the calling thread, so a write to a vanished peer fails instead of ending the test.
void ignoreBrokenPipeOnThisThread();

// Header names compare without regard to ASCII case; header texts lose spaces, tabs and a trailing CR.
bool headerNamesEqual(std::string_view a, std::string_view b);
std::string trimHeaderText(std::string_view s);

// Connects to 127.0.0.1-only targets for the proxies; -1 when refused.
int connectLoopback(const std::string& host, int port);
bool isLoopbackHost(const std::string& host);

// Relays bytes both ways between a channel and a socket until either side ends.
void relay(Channel& client, int upstream);

}  // namespace TestServers
