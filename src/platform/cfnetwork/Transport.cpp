#include "platform/cfnetwork/Transport.h"
#include "platform/crypto/OpenSSLLifetime.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <thread>

#include "platform/cfnetwork/SecIdentity.h"
#include "platform/foundation/Configuration.h"
#include "platform/foundation/NSLog.h"

namespace Transport {

namespace {

// A socket BIO that never raises SIGPIPE: writes go through send(MSG_NOSIGNAL), so a peer that went
// away gives EPIPE to the writer instead of ending the process.
int bioWrite(BIO* bio, const char* data, int length)
{
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    BIO_clear_retry_flags(bio);
    ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(n);
}

int bioRead(BIO* bio, char* data, int length)
{
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    BIO_clear_retry_flags(bio);
    ssize_t n = ::recv(fd, data, static_cast<size_t>(length), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_read(bio);
    }
    return static_cast<int>(n);
}

long bioCtrl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ombri socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

bool isIPAddress(const std::string& host)
{
    in6_addr a6{};
    in_addr a4{};
    return ::inet_pton(AF_INET, host.c_str(), &a4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

SInt32 verifyStatus(long result)
{
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return errSSLCertExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return errSSLCertNotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return errSSLUnknownRootCert;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        return errSSLNoRootCert;
    default:
        return errSSLXCertChainInvalid;  // host-name mismatch and every other reason
    }
}

struct ContextCache {
    std::mutex mutex;
    SSL_CTX* validating = nullptr;
    SSL_CTX* permissive = nullptr;
    unsigned generation = ~0u;
    std::string extraAuthorities;
};

SSL_CTX* makeContext(bool validate, const std::string& extraAuthorities)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A peer that closes without close_notify is an end of stream; the HTTP framing decides whether
    // the response was complete.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (validate) {
        SSL_CTX_set_default_verify_paths(ctx);
        // The configured file of further authorities (a local stand-in's test authority) is trusted as
        // the system's are; a file that cannot be read adds nothing, so its servers fail validation.
        if (!extraAuthorities.empty() &&
            SSL_CTX_load_verify_locations(ctx, extraAuthorities.c_str(), nullptr) != 1) {
            ERR_clear_error();
            NSLog("TLS: cannot read the authorities in %@", extraAuthorities);
        }
        X509_STORE* store = SSL_CTX_get_cert_store(ctx);
        for (const auto& anchor : SecTrustAnchors::all()) {
            X509_STORE_add_cert(store, anchor->x509());
        }
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    } else {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    }
    return ctx;
}

}  // namespace

SSL_CTX* clientContext(bool validate)
{
    static auto* cache = new ContextCache;
    std::lock_guard lock(cache->mutex);
    unsigned generation = SecTrustAnchors::generation();
    // The only place the transport reads its configuration: the file of extra authorities.
    std::string extraAuthorities = Configuration::extraCAFile();
    if (cache->generation != generation || cache->extraAuthorities != extraAuthorities) {
        // Contexts still used by live connections keep their own reference (SSL_new takes one).
        SSL_CTX_free(cache->validating);
        SSL_CTX_free(cache->permissive);
        cache->validating = makeContext(true, extraAuthorities);
        cache->permissive = makeContext(false, extraAuthorities);
        cache->generation = generation;
        cache->extraAuthorities = std::move(extraAuthorities);
    }
    SSL_CTX* ctx = validate ? cache->validating : cache->permissive;
    if (ctx) {
        SSL_CTX_up_ref(ctx);
    }
    return ctx;
}

void disposeAfterLoopTurn(std::shared_ptr<void> object, const std::weak_ptr<NSRunLoop>& loop, const RunLoopModes& modes)
{
    auto target = loop.lock();
    if (!object || !target || modes.empty()) {
        return;  // released here
    }
    target->performBlock([held = std::move(object)] {}, modes);
}

CFStreamError socketError(int code)
{
    switch (code) {
    case ECONNRESET:
    case EPIPE:
    case ENOTCONN:
    case ECONNABORTED:
        return {kCFStreamErrorDomainCFNetwork, kCFURLErrorNetworkConnectionLost};
    default:
        return {kCFStreamErrorDomainPOSIX, code};
    }
}

int startConnect(const sockaddr_storage& address, socklen_t length)
{
    int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 && errno != EINPROGRESS) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

Connection::~Connection()
{
    if (ssl_) {
        SSL_free(ssl_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

IO Connection::tlsResult(int rc, size_t& count, CFStreamError& error, bool handshake)
{
    if (rc > 0) {
        count = static_cast<size_t>(rc);
        return IO::Ok;
    }
    int code = SSL_get_error(ssl_, rc);
    int savedErrno = errno;
    switch (code) {
    case SSL_ERROR_WANT_READ:
        wantRead_ = true;
        return IO::WouldBlock;
    case SSL_ERROR_WANT_WRITE:
        wantWrite_ = true;
        return IO::WouldBlock;
    case SSL_ERROR_ZERO_RETURN:
        if (handshake) {
            error = {kCFStreamErrorDomainSSL, errSSLClosedAbort};
            return IO::Error;
        }
        return IO::Eof;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0 && (rc == 0 || savedErrno == 0)) {
            if (handshake) {
                error = {kCFStreamErrorDomainSSL, errSSLClosedAbort};
                return IO::Error;
            }
            return IO::Eof;
        }
        error = handshake ? CFStreamError{kCFStreamErrorDomainSSL, errSSLClosedAbort} : socketError(savedErrno);
        return IO::Error;
    default:
        if (handshake) {
            long verify = SSL_get_verify_result(ssl_);
            error = {kCFStreamErrorDomainSSL, verify != X509_V_OK ? verifyStatus(verify) : errSSLProtocol};
        } else {
            // OpenSSL reports a peer that vanished mid-record this way.
            unsigned long e = ERR_peek_error();
            error = (ERR_GET_REASON(e) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
                        ? CFStreamError{kCFStreamErrorDomainCFNetwork, kCFURLErrorNetworkConnectionLost}
                        : CFStreamError{kCFStreamErrorDomainSSL, errSSLProtocol};
        }
        ERR_clear_error();
        return IO::Error;
    }
}

IO Connection::read(char* buffer, size_t length, size_t& got, CFStreamError& error)
{
    wantRead_ = wantWrite_ = false;
    got = 0;
    if (ssl_) {
        ERR_clear_error();
        int rc = SSL_read(ssl_, buffer, static_cast<int>(std::min<size_t>(length, 1 << 30)));
        return tlsResult(rc, got, error, false);
    }
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        got = static_cast<size_t>(n);
        return IO::Ok;
    }
    if (n == 0) {
        return IO::Eof;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wantRead_ = true;
        return IO::WouldBlock;
    }
    error = socketError(errno);
    return IO::Error;
}

IO Connection::write(const char* buffer, size_t length, size_t& put, CFStreamError& error)
{
    wantRead_ = wantWrite_ = false;
    put = 0;
    if (length == 0) {
        return IO::Ok;
    }
    if (ssl_) {
        ERR_clear_error();
        int rc = SSL_write(ssl_, buffer, static_cast<int>(std::min<size_t>(length, 1 << 30)));
        return tlsResult(rc, put, error, false);
    }
    ssize_t n;
    do {
        n = ::send(fd_, buffer, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        put = static_cast<size_t>(n);
        return IO::Ok;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wantWrite_ = true;
        return IO::WouldBlock;
    }
    error = socketError(errno);
    return IO::Error;
}

bool Connection::startTLS(SSL_CTX* context, const std::string& serverName, bool validate,
                          const Ref<SecIdentity>& identity, const std::vector<Ref<NSObject>>& extraCertificates)
{
    if (!context) {
        return false;
    }
    ssl_ = SSL_new(context);
    SSL_CTX_free(context);  // the connection holds its own reference from here on
    if (!ssl_) {
        return false;
    }
    BIO* bio = BIO_new(socketMethod());
    if (!bio) {
        return false;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd_)));
    SSL_set_bio(ssl_, bio, bio);
    if (!serverName.empty()) {
        bool ip = isIPAddress(serverName);
        if (!ip) {
            SSL_set_tlsext_host_name(ssl_, serverName.c_str());
        }
        if (validate) {
            // The certificate must name the host: a valid certificate for another host is refused.
            if (ip) {
                X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), serverName.c_str());
            } else {
                SSL_set1_host(ssl_, serverName.c_str());
            }
        }
    }
    if (identity) {
        if (SSL_use_certificate(ssl_, identity->certificate()->x509()) != 1 ||
            SSL_use_PrivateKey(ssl_, identity->privateKey()) != 1) {
            return false;
        }
        for (const auto& extra : identity->chain()) {
            SSL_add1_chain_cert(ssl_, extra->x509());
        }
        for (const auto& item : extraCertificates) {
            if (auto certificate = std::dynamic_pointer_cast<SecCertificate>(item)) {
                SSL_add1_chain_cert(ssl_, certificate->x509());
            }
        }
    }
    SSL_set_connect_state(ssl_);
    return true;
}

IO Connection::handshake(CFStreamError& error)
{
    wantRead_ = wantWrite_ = false;
    ERR_clear_error();
    int rc = SSL_do_handshake(ssl_);
    size_t ignored = 0;
    if (rc == 1) {
        return IO::Ok;
    }
    return tlsResult(rc, ignored, error, true);
}

bool Connection::idleAndAlive()
{
    // Anything readable on an idle connection (a close, a reset, stray bytes) means it cannot carry
    // another exchange, except TLS records that carry no data (the session tickets a TLS 1.3 server
    // sends after the handshake), which are consumed here.
    for (int round = 0; round < 4; ++round) {
        pollfd p{fd_, POLLIN, 0};
        int rc = ::poll(&p, 1, 0);
        if (rc == 0) {
            return true;
        }
        if (!ssl_ || (p.revents & (POLLERR | POLLHUP))) {
            return false;
        }
        char c;
        ERR_clear_error();
        int n = SSL_peek(ssl_, &c, 1);
        int code = n > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_, n);
        ERR_clear_error();
        if (code != SSL_ERROR_WANT_READ) {
            return false;  // data, an alert or the end
        }
    }
    return false;
}

// ---- Host lookup -------------------------------------------------------------------------------------

Lookup::Lookup() : eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Lookup::~Lookup()
{
    if (eventFd_ >= 0) {
        ::close(eventFd_);
    }
}

namespace {

std::vector<Lookup::Address> collect(addrinfo* list)
{
    std::vector<Lookup::Address> out;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        Lookup::Address a;
        std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        out.push_back(a);
    }
    return out;
}

}  // namespace

std::optional<std::vector<Lookup::Address>> Lookup::numeric(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) {
        return std::nullopt;
    }
    auto out = collect(list);
    ::freeaddrinfo(list);
    return out;
}

std::shared_ptr<Lookup> Lookup::start(const std::string& host, int port)
{
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        std::string service = std::to_string(port);
        int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        {
            std::lock_guard lock(lookup->mutex_);
            if (rc == 0) {
                lookup->addresses_ = collect(list);
            } else {
                lookup->error_ = rc;
            }
            lookup->done_ = true;
        }
        if (list) {
            ::freeaddrinfo(list);
        }
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(lookup->eventFd_, &one, sizeof one);
    }).detach();
    return lookup;
}

bool Lookup::done() const
{
    std::lock_guard lock(mutex_);
    return done_;
}

std::vector<Lookup::Address> Lookup::addresses() const
{
    std::lock_guard lock(mutex_);
    return addresses_;
}

int Lookup::errorCode() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

// ---- Registry ----------------------------------------------------------------------------------------

namespace Registry {

namespace {

struct Entry {
    std::unique_ptr<Connection> connection;
    uint64_t owner = 0;
    std::weak_ptr<NSRunLoop> loop;
    RunLoopModes modes;

    void dispose()
    {
        if (connection) {
            disposeAfterLoopTurn(std::shared_ptr<void>(std::move(connection)), loop, modes);
        }
    }
};

struct State {
    std::mutex mutex;
    std::map<int64_t, Entry> entries;
};

State& state()
{
    static auto* s = new State;
    return *s;
}

}  // namespace

void park(int64_t id, std::unique_ptr<Connection> connection, uint64_t ownerSerial, std::weak_ptr<NSRunLoop> loop,
          RunLoopModes modes)
{
    Entry replaced;
    {
        std::lock_guard lock(state().mutex);
        Entry& entry = state().entries[id];
        replaced = std::move(entry);
        entry.connection = std::move(connection);
        entry.owner = ownerSerial;
        entry.loop = std::move(loop);
        entry.modes = std::move(modes);
    }
    replaced.dispose();  // outside the lock
}

std::unique_ptr<Connection> take(int64_t id, const ConnectionKey& key)
{
    Entry found;
    {
        std::lock_guard lock(state().mutex);
        auto it = state().entries.find(id);
        if (it == state().entries.end()) {
            return nullptr;
        }
        found = std::move(it->second);
        state().entries.erase(it);
    }
    if (!found.connection || !(found.connection->key() == key) || !found.connection->idleAndAlive()) {
        found.dispose();  // stale or made for something else
        return nullptr;
    }
    found.connection->setReused(true);
    return std::move(found.connection);
}

void releaseOwner(uint64_t ownerSerial)
{
    std::vector<Entry> closing;
    {
        std::lock_guard lock(state().mutex);
        for (auto it = state().entries.begin(); it != state().entries.end();) {
            if (it->second.owner == ownerSerial) {
                closing.push_back(std::move(it->second));
                it = state().entries.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& entry : closing) {
        entry.dispose();
    }
}

void closeAll()
{
    std::map<int64_t, Entry> closing;
    {
        std::lock_guard lock(state().mutex);
        closing.swap(state().entries);
    }
    for (auto& [id, entry] : closing) {
        entry.dispose();
    }
}

size_t count()
{
    std::lock_guard lock(state().mutex);
    return state().entries.size();
}

}  // namespace Registry

}  // namespace Transport

namespace {
namespace Transport_cpp {
const bool kOpenSSLKept = (OpenSSLLifetime::keepUntilExit(), true);
}  // namespace Transport_cpp
}  // namespace
