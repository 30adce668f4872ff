#pragma once
// The connection layer under the HTTP read stream: non-blocking TCP sockets, TLS through OpenSSL,
// host lookup off the calling thread, and the registry of idle persistent connections. Internal to
// platform_cfnetwork (CFHTTPReadStream is the public face).
#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cfnetwork/CFNetworkErrors.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"

struct ssl_st;
struct ssl_ctx_st;
class SecIdentity;

namespace Transport {

// What a connection was made for; an idle connection is reused only for an equal key.
struct ConnectionKey {
    std::string scheme;  // "http" or "https", lower case
    std::string host;    // lower case
    int port = 0;
    int route = 0;  // Route below
    std::string proxyHost;
    int proxyPort = 0;
    std::string proxyUser;
    bool validates = true;
    std::string peerName;
    const void* identity = nullptr;
    bool operator==(const ConnectionKey&) const = default;
};

enum Route { kDirect = 0, kHTTPProxy = 1, kTunnel = 2, kSOCKS = 3 };

enum class IO { Ok, WouldBlock, Eof, Error };

// A connected TCP socket, with TLS on top once established.
class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_; }
    ssl_st* ssl() const { return ssl_; }
    bool reused() const { return reused_; }
    void setReused(bool value) { reused_ = value; }
    const ConnectionKey& key() const { return key_; }
    void setKey(ConnectionKey key) { key_ = std::move(key); }

    // Reads or writes through TLS when it is attached, else the socket. On WouldBlock, wantsRead() and
    // wantsWrite() tell what to wait for. On Error, `error` is set (a TLS error is classified with
    // `handshake` false: after the handshake).
    IO read(char* buffer, size_t length, size_t& got, CFStreamError& error);
    IO write(const char* buffer, size_t length, size_t& put, CFStreamError& error);
    bool wantsRead() const { return wantRead_; }
    bool wantsWrite() const { return wantWrite_; }

    // Starts TLS over the socket (client side), taking over the caller's reference to `context`. False
    // when OpenSSL refuses the set-up.
    bool startTLS(ssl_ctx_st* context, const std::string& serverName, bool validate, const Ref<SecIdentity>& identity,
                  const std::vector<Ref<NSObject>>& extraCertificates);
    // Advances the handshake: Ok when done, WouldBlock, or Error with `error` set.
    IO handshake(CFStreamError& error);

    // An idle connection is alive when the peer has neither closed it nor sent anything unasked.
    bool idleAndAlive();

private:
    IO tlsResult(int rc, size_t& count, CFStreamError& error, bool handshake);

    int fd_;
    ssl_st* ssl_ = nullptr;
    bool reused_ = false;
    bool wantRead_ = false;
    bool wantWrite_ = false;
    ConnectionKey key_;
};

// TLS client contexts: validating (system trust store plus SecTrustAnchors) or not. Shared, made once
// per trust-anchor generation; the caller receives its own reference (for Connection::startTLS).
ssl_ctx_st* clientContext(bool validate);

// Releases `object` (a connection or a lookup, closing their descriptors) on `loop` after its next turn
// in one of `modes`, or at once when there is no such loop. See CFHTTPReadStream's dispose().
void disposeAfterLoopTurn(std::shared_ptr<void> object, const std::weak_ptr<NSRunLoop>& loop, const RunLoopModes& modes);

// Maps errno of a socket operation on an established connection to the error classes of the stream.
CFStreamError socketError(int code);

// Non-blocking connect to one address; returns the socket (connect in progress or done) or -1 with errno.
int startConnect(const sockaddr_storage& address, socklen_t length);

// Host lookup on a helper thread. The loop watches eventFd() (readable once done).
class Lookup : public std::enable_shared_from_this<Lookup> {
public:
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    static std::shared_ptr<Lookup> start(const std::string& host, int port);
    ~Lookup();
    int eventFd() const { return eventFd_; }
    bool done() const;
    // The addresses, or the getaddrinfo error code (kCFStreamErrorDomainNetDB).
    std::vector<Address> addresses() const;
    int errorCode() const;

    // Numeric hosts need no thread: nullopt when the host is not a numeric address.
    static std::optional<std::vector<Address>> numeric(const std::string& host, int port);

    Lookup();  // use start()

private:
    mutable std::mutex mutex_;
    bool done_ = false;
    int error_ = 0;
    std::vector<Address> addresses_;
    int eventFd_ = -1;
};

// Idle persistent connections by the caller's stream id. A connection is parked by the stream that
// finished an exchange on it (its owner, by serial number) and taken by the next stream opened with
// the same id; closing the owner while its connection is still parked closes the connection.
namespace Registry {

// `loop` and `modes` name the run loop that watched the connection, for disposeAfterLoopTurn.
void park(int64_t id, std::unique_ptr<Connection> connection, uint64_t ownerSerial, std::weak_ptr<NSRunLoop> loop,
          RunLoopModes modes);
// The parked connection of `id` when its key matches and it is still alive; a stale or mismatched one
// is closed.
std::unique_ptr<Connection> take(int64_t id, const ConnectionKey& key);
void releaseOwner(uint64_t ownerSerial);
void closeAll();
size_t count();

}  // namespace Registry

}  // namespace Transport
