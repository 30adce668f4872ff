#include "ServerCore.h"

#include "platform/foundation/NSString.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace TestServers {

namespace {

constexpr int kTickMs = 20;

}  // namespace

void ignoreBrokenPipeOnThisThread()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool isLoopbackHost(const std::string& host)
{
    return host == "127.0.0.1" || host == "localhost" || host == "::1";
}

int connectLoopback(const std::string& host, int port)
{
    if (!isLoopbackHost(host) || port <= 0 || port > 65535) {
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void relay(Channel& client, int upstream)
{
    if (!client.pending.empty()) {
        ::send(upstream, client.pending.data(), client.pending.size(), MSG_NOSIGNAL);
        client.pending.clear();
    }
    char buffer[16384];
    while (!client.stopping()) {
        pollfd fds[2] = {{client.fd(), POLLIN, 0}, {upstream, POLLIN, 0}};
        int rc = ::poll(fds, 2, kTickMs);
        if (rc < 0 && errno != EINTR) {
            return;
        }
        if (rc <= 0) {
            continue;
        }
        if (fds[0].revents) {
            ssize_t n = ::recv(client.fd(), buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::shutdown(upstream, SHUT_WR);
                // Pass on what the upstream still says, then end.
                while (!client.stopping()) {
                    pollfd up{upstream, POLLIN, 0};
                    if (::poll(&up, 1, kTickMs) <= 0) {
                        continue;
                    }
                    n = ::recv(upstream, buffer, sizeof buffer, 0);
                    if (n <= 0 || !client.writeAll(std::string_view(buffer, static_cast<size_t>(n)))) {
                        break;
                    }
                }
                return;
            }
            if (::send(upstream, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) {
                return;
            }
        }
        if (fds[1].revents) {
            ssize_t n = ::recv(upstream, buffer, sizeof buffer, 0);
            if (n <= 0) {
                client.shutdownWrite();
                return;
            }
            if (!client.writeAll(std::string_view(buffer, static_cast<size_t>(n)))) {
                return;
            }
        }
    }
}

// ---- Channel -------------------------------------------------------------------------------------------

Channel::Channel(int fd, const std::atomic<bool>& stopping, std::chrono::steady_clock::time_point deadline)
    : fd_(fd), stopping_(stopping), deadline_(deadline)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.ss_family == AF_INET) {
        peerPort_ = ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port);
    }
    // Bound every blocking call (the TLS handshake and writes) so a silent peer cannot hold a thread.
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Channel::~Channel()
{
    closeNow();
}

bool Channel::stopping() const
{
    return stopping_.load() || std::chrono::steady_clock::now() >= deadline_;
}

bool Channel::acceptTLS(SSL_CTX* context)
{
    ssl_ = SSL_new(context);
    if (!ssl_) {
        return false;
    }
    SSL_set_fd(ssl_, fd_);
    ERR_clear_error();
    if (SSL_accept(ssl_) != 1) {
        ERR_clear_error();
        return false;
    }
    return true;
}

std::string Channel::clientCertificateSubject() const
{
    if (!ssl_) {
        return {};
    }
    X509* peer = SSL_get1_peer_certificate(ssl_);
    if (!peer) {
        return {};
    }
    char buffer[256] = {0};
    X509_NAME_get_text_by_NID(X509_get_subject_name(peer), NID_commonName, buffer, sizeof buffer);
    X509_free(peer);
    return buffer;
}

std::string Channel::serverName() const
{
    const char* name = ssl_ ? SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name) : nullptr;
    return name ? name : "";
}

long Channel::readSome(char* buffer, size_t length)
{
    if (fd_ < 0) {
        return -1;
    }
    if (!pending.empty()) {
        size_t n = std::min(length, pending.size());
        std::memcpy(buffer, pending.data(), n);
        pending.erase(0, n);
        return static_cast<long>(n);
    }
    for (;;) {
        if (stopping()) {
            return -1;
        }
        if (!(ssl_ && SSL_pending(ssl_) > 0)) {
            pollfd p{fd_, POLLIN, 0};
            int rc = ::poll(&p, 1, kTickMs);
            if (rc < 0 && errno != EINTR) {
                return -1;
            }
            if (rc <= 0) {
                continue;
            }
        }
        if (ssl_) {
            ERR_clear_error();
            int n = SSL_read(ssl_, buffer, static_cast<int>(length));
            if (n > 0) {
                return n;
            }
            int code = SSL_get_error(ssl_, n);
            if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
                continue;
            }
            ERR_clear_error();
            return code == SSL_ERROR_ZERO_RETURN || code == SSL_ERROR_SYSCALL ? 0 : -1;
        }
        ssize_t n = ::recv(fd_, buffer, length, 0);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno == EINTR || errno == EAGAIN) {
            continue;
        }
        return errno == ECONNRESET ? 0 : -1;
    }
}

bool Channel::readUntil(std::string& out, std::string_view delimiter, size_t limit)
{
    char buffer[4096];
    std::string data = std::move(pending);
    pending.clear();
    for (;;) {
        size_t at = data.find(delimiter);
        if (at != std::string::npos) {
            size_t end = at + delimiter.size();
            out.append(data, 0, end);
            pending = data.substr(end);
            return true;
        }
        if (data.size() > limit) {
            return false;
        }
        long n = readSome(buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
}

bool Channel::readExact(std::string& out, size_t length)
{
    char buffer[16384];
    while (length > 0) {
        long n = readSome(buffer, std::min(length, sizeof buffer));
        if (n <= 0) {
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool Channel::writeAll(std::string_view bytes)
{
    while (!bytes.empty() && fd_ >= 0) {
        long n;
        if (ssl_) {
            ERR_clear_error();
            n = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
            if (n <= 0) {
                ERR_clear_error();
                return false;
            }
        } else {
            n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return bytes.empty();
}

void Channel::shutdownWrite()
{
    if (fd_ < 0) {
        return;
    }
    if (ssl_) {
        SSL_shutdown(ssl_);
    }
    ::shutdown(fd_, SHUT_WR);
}

void Channel::closeNow()
{
    if (ssl_) {
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void Channel::pause(double seconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!stopping() && std::chrono::steady_clock::now() < until) {
        ::poll(nullptr, 0, kTickMs);
    }
}

// ---- ServerCore ----------------------------------------------------------------------------------------

ServerCore::ServerCore(Handler handler, double lifetimeSeconds, SSL_CTX* tls)
    : handler_(std::move(handler)),
      tls_(tls),
      deadline_(std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(lifetimeSeconds)))
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::runtime_error("test server: socket failed");
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

ServerCore::~ServerCore()
{
    stop();
}

void ServerCore::acceptLoop()
{
    ignoreBrokenPipeOnThisThread();
    while (!stopping_.load() && std::chrono::steady_clock::now() < deadline_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kTickMs) <= 0) {
            continue;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        size_t index = connections_.fetch_add(1);
        std::lock_guard lock(mutex_);
        if (index >= kMaxConnections || stopping_.load()) {
            ::close(fd);
            continue;
        }
        openFds_.insert(fd);
        threads_.emplace_back([this, fd, index] {
            ignoreBrokenPipeOnThisThread();
            {
                Channel channel(fd, stopping_, deadline_);
                if (!tls_ || channel.acceptTLS(tls_)) {
                    handler_(channel, index);
                }
                std::lock_guard innerLock(mutex_);
                openFds_.erase(fd);
                // The channel closes the descriptor while the lock is held, so stop() never shuts down
                // a number that was reused meanwhile.
                channel.closeNow();
            }
        });
    }
}

void ServerCore::stop()
{
    if (stopping_.exchange(true)) {
        return;
    }
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_) {
            ::shutdown(fd, SHUT_RDWR);
        }
        threads.swap(threads_);
    }
    for (auto& t : threads) {
        if (t.joinable()) {
            t.join();
        }
    }
    ::close(listenFd_);
}

bool headerNamesEqual(std::string_view a, std::string_view b)
{
    return NSString::asciiEqualIgnoringCase(a, b);
}

std::string trimHeaderText(std::string_view s)
{
    while (!s.empty() && s.back() == '\r') {
        s.remove_suffix(1);
    }
    return std::string(NSString::trimSpacesAndTabs(s));
}

}  // namespace TestServers
