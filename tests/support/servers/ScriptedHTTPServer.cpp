#include "ScriptedHTTPServer.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <chrono>
#include <stdexcept>

namespace TestServers {

namespace {

bool linesHave(const std::vector<std::string>& lines, std::string_view name)
{
    for (const auto& line : lines) {
        size_t colon = line.find(':');
        if (colon != std::string::npos && headerNamesEqual(trimHeaderText(std::string_view(line).substr(0, colon)), name)) {
            return true;
        }
    }
    return false;
}

SSL_CTX* serverContext(const TestCertificate& certificate, const std::string& clientAuthorityPEM)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    BIO* certBio = BIO_new_mem_buf(certificate.certificatePEM.data(), static_cast<int>(certificate.certificatePEM.size()));
    X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO* keyBio = BIO_new_mem_buf(certificate.privateKeyPEM.data(), static_cast<int>(certificate.privateKeyPEM.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    if (!cert || !key || SSL_CTX_use_certificate(ctx, cert) != 1 || SSL_CTX_use_PrivateKey(ctx, key) != 1) {
        throw std::runtime_error("test TLS server: bad certificate or key");
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!clientAuthorityPEM.empty()) {
        BIO* caBio = BIO_new_mem_buf(clientAuthorityPEM.data(), static_cast<int>(clientAuthorityPEM.size()));
        X509* ca = PEM_read_bio_X509(caBio, nullptr, nullptr, nullptr);
        BIO_free(caBio);
        X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx), ca);
        X509_free(ca);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    }
    return ctx;
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (headerNamesEqual(key, name)) {
            return value;
        }
    }
    return {};
}

bool RecordedRequest::hasHeader(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (headerNamesEqual(key, name)) {
            return true;
        }
    }
    return false;
}

ScriptedHTTPServer::ScriptedHTTPServer() : ScriptedHTTPServer(Options{}) {}

ScriptedHTTPServer::ScriptedHTTPServer(Options options) : options_(std::move(options))
{
    if (options_.tls) {
        context_ = serverContext(options_.certificate, options_.clientAuthorityPEM);
    }
    core_ = std::make_unique<ServerCore>([this](Channel& channel, size_t index) { serve(channel, index); },
                                         options_.lifetimeSeconds, context_);
}

ScriptedHTTPServer::~ScriptedHTTPServer()
{
    core_->stop();
    if (context_) {
        SSL_CTX_free(context_);
    }
}

std::string ScriptedHTTPServer::url(std::string_view path) const
{
    return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port()) + std::string(path);
}

void ScriptedHTTPServer::enqueue(Reply reply)
{
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(reply));
}

void ScriptedHTTPServer::setHandler(std::function<Reply(const RecordedRequest&)> handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<RecordedRequest> ScriptedHTTPServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t ScriptedHTTPServer::requestCount() const
{
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool ScriptedHTTPServer::waitForRequests(size_t count, double timeoutSeconds) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                             [&] { return requests_.size() >= count; });
}

std::set<uint16_t> ScriptedHTTPServer::peerPorts() const
{
    std::lock_guard lock(mutex_);
    std::set<uint16_t> ports;
    for (const auto& r : requests_) {
        ports.insert(r.peerPort);
    }
    return ports;
}

Reply ScriptedHTTPServer::next(const RecordedRequest& request)
{
    std::function<Reply(const RecordedRequest&)> handler;
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) {
            Reply reply = std::move(queue_.front());
            queue_.pop_front();
            return reply;
        }
        handler = handler_;
    }
    return handler ? handler(request) : Reply::ok();
}

bool ScriptedHTTPServer::readRequest(Channel& channel, RecordedRequest& request)
{
    std::string head;
    if (!channel.readUntil(head, "\r\n\r\n", 1 << 20)) {
        return false;
    }
    request.rawHead = head;
    size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) {
        return false;
    }
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = line.substr(sp2 + 1);
    size_t pos = lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == pos) {
            break;
        }
        std::string field = head.substr(pos, end - pos);
        size_t colon = field.find(':');
        if (colon != std::string::npos) {
            request.headers.emplace_back(trimHeaderText(std::string_view(field).substr(0, colon)),
                                         trimHeaderText(std::string_view(field).substr(colon + 1)));
        }
        pos = end + 2;
    }
    if (headerNamesEqual(request.header("Transfer-Encoding"), "chunked")) {
        for (;;) {
            std::string sizeLine;
            if (!channel.readUntil(sizeLine, "\r\n", 1024)) {
                return false;
            }
            size_t size = std::stoul(sizeLine, nullptr, 16);
            if (size == 0) {
                std::string trailer;
                return channel.readUntil(trailer, "\r\n", 1 << 16);
            }
            if (!channel.readExact(request.body, size)) {
                return false;
            }
            std::string crlf;
            if (!channel.readExact(crlf, 2)) {
                return false;
            }
        }
    }
    std::string length = request.header("Content-Length");
    if (!length.empty()) {
        return channel.readExact(request.body, std::stoul(length));
    }
    return true;
}

bool ScriptedHTTPServer::writeReply(Channel& channel, const RecordedRequest& request, const Reply& reply)
{
    if (reply.action == Reply::Action::CloseWithoutAnswer) {
        return false;
    }
    if (!reply.raw.empty()) {
        channel.writeAll(reply.raw);
        return reply.keepAlive;
    }
    for (const auto& interim : reply.interim) {
        channel.writeAll(interim);
    }
    if (reply.delayBeforeHeaders > 0) {
        channel.pause(reply.delayBeforeHeaders);
    }
    bool chunked = !reply.chunks.empty();
    std::string head = reply.version + " " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    for (const auto& line : reply.headerLines) {
        head += line + "\r\n";
    }
    if (reply.autoFraming) {
        if (chunked && !linesHave(reply.headerLines, "Transfer-Encoding")) {
            head += "Transfer-Encoding: chunked\r\n";
        } else if (!chunked && !reply.closeDelimited && !linesHave(reply.headerLines, "Content-Length")) {
            head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        }
    }
    bool closeAfter = !reply.keepAlive || reply.closeDelimited || reply.truncateBodyTo.has_value();
    if (closeAfter && !linesHave(reply.headerLines, "Connection") && !reply.truncateBodyTo) {
        head += "Connection: close\r\n";
    }
    head += "\r\n";
    if (!channel.writeAll(head)) {
        return false;
    }
    if (reply.action == Reply::Action::CloseAfterHeaders) {
        return false;
    }
    if (reply.action == Reply::Action::Hang) {
        channel.pause(reply.hangSeconds);
        return false;
    }
    if (reply.delayBeforeBody > 0) {
        channel.pause(reply.delayBeforeBody);
    }
    if (request.method == "HEAD") {
        return !closeAfter;
    }
    if (chunked) {
        std::string body;
        for (const auto& chunk : reply.chunks) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
            body += size + chunk + "\r\n";
        }
        body += "0\r\n\r\n";
        if (reply.truncateBodyTo) {
            body.resize(std::min(body.size(), *reply.truncateBodyTo));
        }
        channel.writeAll(body);
    } else {
        std::string_view body = reply.body;
        if (reply.truncateBodyTo) {
            body = body.substr(0, *reply.truncateBodyTo);
        }
        channel.writeAll(body);
    }
    return !closeAfter;
}

void ScriptedHTTPServer::serve(Channel& channel, size_t connection)
{
    for (size_t index = 0;; ++index) {
        RecordedRequest request;
        if (!readRequest(channel, request)) {
            return;
        }
        request.peerPort = channel.peerPort();
        request.connection = connection;
        request.indexOnConnection = index;
        request.clientCertificateSubject = channel.clientCertificateSubject();
        request.serverName = channel.serverName();
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        changed_.notify_all();
        Reply reply = next(request);
        if (reply.action == Reply::Action::ResetWithoutAnswer) {
            // Closing with a zero linger time sends a reset instead of an orderly end.
            linger abort{1, 0};
            ::setsockopt(channel.fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return;
        }
        bool clientCloses = headerNamesEqual(request.header("Connection"), "close");
        if (!writeReply(channel, request, reply) || clientCloses) {
            channel.shutdownWrite();
            return;
        }
    }
}

}  // namespace TestServers
