// Sockets and the blocking HTTP/1.1 client.
#include "engine/crthttp.h"

#include "engine/crtfun.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace crtfun {

namespace {

thread_local int g_httperror = kHttpErrorNone;

// The bounds of the exchange running on this thread (set by http_download_to_str with bounds).
struct _exchange {
    uint64_t deadline = 0;  // net_real_ms() at which it ends; 0 for none
    size_t maxbody = 0;     // 0 for none
    bool late = false;      // the deadline passed
    bool toolong = false;   // the body passed maxbody
};
thread_local _exchange g_exchange;

// Milliseconds left before the exchange's deadline (capped at `cap`); -1 without a deadline, 0 when
// it has passed (and then marks the exchange late).
long _timeleft(long cap)
{
    if (g_exchange.deadline == 0) {
        return -1;
    }
    const uint64_t now = net_real_ms();
    if (now >= g_exchange.deadline) {
        g_exchange.late = true;
        return 0;
    }
    const uint64_t left = g_exchange.deadline - now;
    return cap >= 0 && left > static_cast<uint64_t>(cap) ? cap : static_cast<long>(left);
}

// Waits until the socket is ready for `events`, at most until the exchange's deadline; false when the
// deadline passed first (nothing to wait for without a deadline: the socket's own time-outs apply).
bool _waitready(int sock, short events)
{
    for (;;) {
        const long left = _timeleft(-1);
        if (left < 0) {
            return true;
        }
        if (left == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd pfd{sock, events, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left > 1000000 ? 1000000 : left));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return true;  // let the call itself report the socket's trouble
        }
    }
}

std::mutex& g_useragentmtx = *new std::mutex;
std::string& g_useragent = *new std::string("httpdownloader");

constexpr size_t kIoPiece = 4096;

bool _isdigits(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// A port number 1..65535 from decimal digits, else 0.
int _parseport(const std::string& text)
{
    if (!_isdigits(text) || text.size() > 5) {
        return 0;
    }
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? port : 0;
}

uint32_t _resolve(const std::string& host)
{
    if (host.empty()) {
        return 0;
    }
    bool dotted = true;
    for (char c : host) {
        dotted = dotted && ((c >= '0' && c <= '9') || c == '.');
    }
    if (dotted) {
        in_addr address{};
        return inet_pton(AF_INET, host.c_str(), &address) == 1 ? address.s_addr : 0;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return 0;
    }
    uint32_t address = 0;
    for (addrinfo* a = found; a != nullptr && address == 0; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
            address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
        }
    }
    freeaddrinfo(found);
    return address;
}

int _fail(int error)
{
    g_httperror = error;
    return -1;
}

void _settimeouts(int sock, unsigned int realms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(realms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((realms % 1000) * 1000);
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Connects with a time-out, then makes the socket blocking with send and receive time-outs.
int _connecttimed(uint32_t address, int port)
{
    const int sock = createconnectsocket(address, port, false);
    if (sock < 0) {
        return -1;  // g_httperror set
    }
    pollfd pfd{sock, POLLOUT, 0};
    long connectms = static_cast<long>(net_timeout_realms(kHttpConnectTimeoutMs));
    const long exchangeleft = _timeleft(connectms);
    if (exchangeleft >= 0) {
        connectms = exchangeleft;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectms);
    int ready;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ready = poll(&pfd, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready >= 0 || errno != EINTR) {
            break;
        }
    }
    int error = 0;
    socklen_t errorlength = sizeof error;
    if (ready <= 0 || getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &errorlength) != 0 || error != 0) {
        ::close(sock);
        return _fail(kHttpErrorConnect);
    }
    const int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0 || fcntl(sock, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(sock);
        return _fail(kHttpErrorSocket);
    }
    _settimeouts(sock, net_timeout_realms(kHttpIoTimeoutMs));
    return sock;
}

// Sends everything in pieces of at most 4096 bytes; false when a send fails or times out.
bool _sendall(int sock, const char* data, size_t length)
{
    size_t sent = 0;
    while (sent < length) {
        const size_t piece = length - sent < kIoPiece ? length - sent : kIoPiece;
        if (!_waitready(sock, POLLOUT)) {
            return false;
        }
        const ssize_t n = ::send(sock, data + sent, piece, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

ssize_t _recv(int sock, char* buffer, size_t size)
{
    for (;;) {
        if (!_waitready(sock, POLLIN)) {
            return -1;
        }
        const ssize_t n = ::recv(sock, buffer, size, 0);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

struct _url {
    std::string host;
    int port = 80;
    std::string path;
};

bool _parseurl(const char* text, _url& url)
{
    std::string rest = text != nullptr ? text : "";
    for (unsigned char c : rest) {
        if (c < 0x20 || c == 0x7f) {
            return false;  // a line break would end the request line early
        }
    }
    if (rest.size() >= 7 && strncasecmp(rest.c_str(), "http://", 7) == 0) {
        rest.erase(0, 7);
    } else if (rest.find("://") != std::string::npos) {
        return false;  // only plain HTTP is spoken
    }
    const size_t hostend = rest.find_first_of(":/?");
    url.host = rest.substr(0, hostend);
    size_t pathstart = rest.find_first_of("/?", hostend == std::string::npos ? rest.size() : hostend);
    if (hostend != std::string::npos && rest[hostend] == ':') {
        url.port = _parseport(rest.substr(hostend + 1, pathstart == std::string::npos ? std::string::npos
                                                                                      : pathstart - hostend - 1));
        if (url.port == 0) {
            return false;
        }
    }
    std::string path = pathstart == std::string::npos ? std::string() : rest.substr(pathstart);
    std::string out;
    out.reserve(path.size() + 8);
    if (path.empty() || path[0] == '?') {
        out.push_back('/');
    }
    for (char c : path) {
        if (c == ' ') {
            out.append({'%', '2', '0'});
        } else {
            out.push_back(c);
        }
    }
    url.path.swap(out);
    return !url.host.empty();
}

// A Location value made absolute against the URL that answered with it.
std::string _absolutelocation(const std::string& location, const _url& base)
{
    if (!location.empty() && location[0] == '/') {
        return "http://" + base.host + ":" + std::to_string(base.port) + location;
    }
    return location;
}

int _download(const char* url, httpcallback callback, void* context, const std::string* post, int redirects);

}  // namespace

unsigned int net_timeout_realms(unsigned int enginems)
{
    const unsigned int scaled = enginems / static_cast<unsigned int>(time_scale());
    return scaled < kNetTimeoutFloorMs ? kNetTimeoutFloorMs : scaled;
}

uint64_t net_real_ms()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

int gethttperror()
{
    return g_httperror;
}

void setupuseragent(const char* text)
{
    std::lock_guard<std::mutex> hold(g_useragentmtx);
    g_useragent = text != nullptr ? text : "";
}

std::string getuseragent()
{
    std::lock_guard<std::mutex> hold(g_useragentmtx);
    return g_useragent;
}

uint32_t get_ip_port_by_name(const char* text, int* port)
{
    const std::string name = text != nullptr ? text : "";
    const size_t colon = name.find(':');
    if (port != nullptr) {
        *port = colon == std::string::npos ? 0 : _parseport(name.substr(colon + 1));
    }
    return _resolve(name.substr(0, colon));
}

int createconnectsocket(uint32_t address, int port, bool blocking)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        return _fail(kHttpErrorSocket);
    }
    if (!blocking) {
        const int flags = fcntl(sock, F_GETFL, 0);
        if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0) {
            ::close(sock);
            return _fail(kHttpErrorSocket);
        }
    }
    const int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port));
    target.sin_addr.s_addr = address;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        return sock;
    }
    if (errno == EINPROGRESS || errno == EAGAIN || errno == EINTR || errno == ENOTCONN) {
        return sock;
    }
    ::close(sock);
    return _fail(kHttpErrorConnect);
}

int build_http_request(const char* url, httpcallback callback, void* context, const std::string* post)
{
    _url target;
    if (!_parseurl(url, target)) {
        return _fail(kHttpErrorHost);
    }
    const uint32_t address = _resolve(target.host);
    if (address == 0) {
        return _fail(kHttpErrorHost);
    }
    const auto started = std::chrono::steady_clock::now();
    const int sock = _connecttimed(address, target.port);
    if (sock < 0) {
        return -1;
    }
    if (callback != nullptr) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
        callback(kHttpCbConnected, seconds.count(), 0, target.host.c_str(), target.host.size(), context);
    }

    std::string header = (post != nullptr ? "POST " : "GET ") + target.path + " HTTP/1.1\r\nUser-Agent: " +
                         getuseragent() + "\r\nAccept: */*\r\nHost: " + target.host;
    if (post != nullptr) {
        header += "\r\nContent-Length: " + std::to_string(post->size()) +
                  "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    header += "\r\n\r\n";
    if (!_sendall(sock, header.data(), header.size())) {
        ::close(sock);
        return _fail(kHttpErrorSendHeader);
    }
    if (post != nullptr && !_sendall(sock, post->data(), post->size())) {
        ::close(sock);
        return _fail(kHttpErrorSendBody);
    }
    return sock;
}

long ensure_recvhttpheader(int sock, char* buffer, size_t size, std::string& header)
{
    std::string received;
    size_t searched = 0;
    for (;;) {
        const ssize_t n = _recv(sock, buffer, size);
        if (n <= 0) {
            return _fail(kHttpErrorNoHeader);
        }
        received.append(buffer, static_cast<size_t>(n));
        const size_t end = received.find("\r\n\r\n", searched);
        if (end != std::string::npos) {
            if (end > kHttpMaxHeaderBytes) {
                return _fail(kHttpErrorHeaderTooLong);
            }
            header.assign(received, 0, end);
            // What follows the blank line came with the last receive, so it fits the buffer.
            const size_t rest = received.size() - end - 4;
            std::memmove(buffer, received.data() + end + 4, rest);
            return static_cast<long>(rest);
        }
        if (received.size() > kHttpMaxHeaderBytes) {
            return _fail(kHttpErrorHeaderTooLong);
        }
        searched = received.size() >= 3 ? received.size() - 3 : 0;
    }
}

bool http_headervalue(const std::string& header, const char* name, std::string& value)
{
    const size_t namelength = std::strlen(name);
    size_t start = header.find("\r\n");  // the status line is no header line
    while (start != std::string::npos) {
        start += 2;
        size_t end = header.find("\r\n", start);
        const std::string line = header.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.size() > namelength && line[namelength] == ':' && strncasecmp(line.c_str(), name, namelength) == 0) {
            size_t first = namelength + 1;
            size_t last = line.size();
            while (first < last && (line[first] == ' ' || line[first] == '\t')) {
                ++first;
            }
            while (last > first && (line[last - 1] == ' ' || line[last - 1] == '\t')) {
                --last;
            }
            value = line.substr(first, last - first);
            return true;
        }
        start = end;
    }
    return false;
}

int http_parsestatusline(const std::string& line)
{
    // "HTTP/1.1 200 OK": the version, one blank, three digits, then a blank or the end.
    if (line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0 || line[8] != ' ') {
        return -1;
    }
    int status = 0;
    for (size_t i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return -1;
        }
        status = status * 10 + (line[i] - '0');
    }
    if (line.size() > 12 && line[12] != ' ' && line[12] != '\r') {
        return -1;
    }
    return status;
}

httpchunkdecoder::state httpchunkdecoder::feed(const char* data, size_t length, std::string& out, size_t* consumed)
{
    constexpr size_t kMaxLine = 1024;
    size_t i = 0;
    while (i < length && state_ == kMore) {
        switch (phase_) {
        case kSizeLine:
        case kDataEnd:
        case kTrailer: {
            const char c = data[i++];
            if (c != '\n') {
                line_ += c;
                if (line_.size() > kMaxLine) {
                    state_ = kError;
                }
                break;
            }
            if (!line_.empty() && line_.back() == '\r') {
                line_.pop_back();
            }
            if (phase_ == kDataEnd) {
                // The line break after a chunk's data.
                state_ = line_.empty() ? kMore : kError;
                phase_ = kSizeLine;
            } else if (phase_ == kTrailer) {
                if (line_.empty()) {
                    state_ = kDone;
                }
            } else {
                // Hexadecimal size, optionally followed by extensions after ";".
                const size_t stop = line_.find_first_of("; \t");
                const std::string digits = line_.substr(0, stop);
                uint64_t size = 0;
                bool valid = !digits.empty() && digits.size() <= 15;
                for (char d : digits) {
                    int v = (d >= '0' && d <= '9') ? d - '0' : (d >= 'a' && d <= 'f') ? d - 'a' + 10
                                                           : (d >= 'A' && d <= 'F') ? d - 'A' + 10 : -1;
                    if (v < 0) {
                        valid = false;
                        break;
                    }
                    size = size * 16 + static_cast<uint64_t>(v);
                }
                if (!valid) {
                    state_ = kError;
                } else if (size == 0) {
                    phase_ = kTrailer;
                } else {
                    remaining_ = size;
                    phase_ = kData;
                }
            }
            line_.clear();
            break;
        }
        case kData: {
            const size_t n = length - i < remaining_ ? length - i : static_cast<size_t>(remaining_);
            out.append(data + i, n);
            i += n;
            remaining_ -= n;
            if (remaining_ == 0) {
                phase_ = kDataEnd;
            }
            break;
        }
        }
    }
    if (consumed != nullptr) {
        *consumed = i;
    }
    return state_;
}

namespace {

// Delivers a piece of the body; false when the callback asks to stop.
bool _deliver(httpcallback callback, void* context, long long announced, long long& delivered, const char* data,
              size_t length)
{
    if (length == 0) {
        return true;
    }
    if (g_exchange.maxbody != 0 && static_cast<unsigned long long>(delivered) + length > g_exchange.maxbody) {
        g_exchange.toolong = true;
        return false;
    }
    const bool goon = callback == nullptr || callback(kHttpCbData, announced, delivered, data, length, context);
    delivered += static_cast<long long>(length);
    return goon;
}

int _download(const char* url, httpcallback callback, void* context, const std::string* post, int redirects)
{
    g_httperror = kHttpErrorNone;
    const int sock = build_http_request(url, callback, context, post);
    if (sock < 0) {
        return kHttpNoAnswer;
    }
    char buffer[kIoPiece];
    std::string header;
    long have = ensure_recvhttpheader(sock, buffer, sizeof buffer, header);
    if (have < 0) {
        ::close(sock);
        return kHttpNoAnswer;
    }
    const int status = http_parsestatusline(header.substr(0, header.find("\r\n")));
    if (status < 0) {
        ::close(sock);
        g_httperror = kHttpErrorNoStatus;
        return kHttpNoStatus;
    }

    std::string location;
    if (status >= 300 && status <= 399 && http_headervalue(header, "Location", location) && !location.empty()) {
        ::close(sock);
        if (redirects >= kHttpMaxRedirects) {
            g_httperror = kHttpErrorRedirects;
            return kHttpNoAnswer;
        }
        _url base;
        _parseurl(url, base);
        location = _absolutelocation(location, base);
        if (callback != nullptr &&
            !callback(kHttpCbRedirect, status, 0, location.c_str(), location.size(), context)) {
            return kHttpStopped;
        }
        return _download(location.c_str(), callback, context, post, redirects + 1);
    }

    if (callback != nullptr && !callback(kHttpCbHeader, status, 0, header.c_str(), header.size(), context)) {
        ::close(sock);
        return kHttpStopped;
    }
    if (status != 200) {
        ::close(sock);
        g_httperror = kHttpErrorStatus;
        return status;
    }

    std::string value;
    const bool chunked = http_headervalue(header, "Transfer-Encoding", value) &&
                         strcasestr(value.c_str(), "chunked") != nullptr;
    long long announced = -1;
    bool chunkedbody = chunked;
    if (!chunked && http_headervalue(header, "Content-Length", value)) {
        if (value == "-1") {
            chunkedbody = true;  // a server that announces -1 sends chunks
        } else if (_isdigits(value) && value.size() <= 18) {
            announced = std::stoll(value);
        }
    }
    if (announced >= 0 && g_exchange.maxbody != 0 && static_cast<unsigned long long>(announced) > g_exchange.maxbody) {
        // Not one byte of an answer that is announced too long is read.
        ::close(sock);
        g_exchange.toolong = true;
        return kHttpStopped;
    }

    long long delivered = 0;
    int result = status;
    if (chunkedbody) {
        httpchunkdecoder decoder;
        std::string piece;
        httpchunkdecoder::state state = decoder.feed(buffer, static_cast<size_t>(have), piece);
        for (;;) {
            if (!_deliver(callback, context, -1, delivered, piece.data(), piece.size())) {
                result = kHttpStopped;
                break;
            }
            piece.clear();
            if (state == httpchunkdecoder::kDone) {
                break;
            }
            const ssize_t n = state == httpchunkdecoder::kError ? -1 : _recv(sock, buffer, sizeof buffer);
            if (n <= 0) {
                g_httperror = kHttpErrorBodyCut;
                result = kHttpBodyCut;
                break;
            }
            state = decoder.feed(buffer, static_cast<size_t>(n), piece);
        }
    } else if (announced >= 0) {
        size_t first = static_cast<size_t>(have) < static_cast<unsigned long long>(announced) ? static_cast<size_t>(have)
                                                                                            : static_cast<size_t>(announced);
        if (!_deliver(callback, context, announced, delivered, buffer, first)) {
            result = kHttpStopped;
        }
        while (result == status && delivered < announced) {
            const size_t want = static_cast<unsigned long long>(announced - delivered) < sizeof buffer
                                    ? static_cast<size_t>(announced - delivered)
                                    : sizeof buffer;
            const ssize_t n = _recv(sock, buffer, want);
            if (n <= 0) {
                g_httperror = kHttpErrorBodyCut;
                result = kHttpBodyCut;
            } else if (!_deliver(callback, context, announced, delivered, buffer, static_cast<size_t>(n))) {
                result = kHttpStopped;
            }
        }
    } else {
        // Neither length nor chunks: the body ends when the server closes the connection.
        bool goon = _deliver(callback, context, -1, delivered, buffer, static_cast<size_t>(have));
        while (goon) {
            const ssize_t n = _recv(sock, buffer, sizeof buffer);
            if (n == 0) {
                break;
            }
            if (n < 0) {
                g_httperror = kHttpErrorBodyCut;
                result = kHttpBodyCut;
                break;
            }
            goon = _deliver(callback, context, -1, delivered, buffer, static_cast<size_t>(n));
        }
        if (!goon) {
            result = kHttpStopped;
        }
    }
    ::close(sock);
    return result;
}

bool str_download_cb(int type, long long, long long, const char* data, size_t length, void* context)
{
    if (type == kHttpCbData) {
        static_cast<std::string*>(context)->append(data, length);
    }
    return true;
}

}  // namespace

int http_download_callback(const char* url, httpcallback callback, void* context, const std::string* post)
{
    return _download(url, callback, context, post, 0);
}

std::string http_download_to_str(const char* url, const std::string* post, int* status, const httpbounds& bounds)
{
    struct scope {
        explicit scope(const httpbounds& bounds)
        {
            g_exchange = _exchange{};
            if (bounds.deadlinems != 0) {
                g_exchange.deadline = net_real_ms() + net_timeout_realms(bounds.deadlinems);
            }
            g_exchange.maxbody = bounds.maxbody;
        }
        ~scope() { g_exchange = _exchange{}; }
    } bounded(bounds);
    int result = 0;
    std::string text = http_download_to_str(url, post, &result);
    if (g_exchange.toolong) {
        // Whatever made the transfer end (the callback stopping, or the cut), the cause is the length.
        g_httperror = kHttpErrorBodyTooLong;
        result = kHttpTooLong;
        text.clear();
    } else if (g_exchange.late && result < 200) {
        g_httperror = kHttpErrorDeadline;
        result = kHttpLate;
    }
    if (status != nullptr) {
        *status = result;
    } else if (result < 200 || result > 299) {
        text.clear();
    }
    return text;
}

std::string http_download_to_str(const char* url, const std::string* post, int* status)
{
    std::string text;
    const int result = http_download_callback(url, str_download_cb, &text, post);
    if (status != nullptr) {
        *status = result;
    } else if (result < 200 || result > 299) {
        text.clear();
    }
    return text;
}

}  // namespace crtfun
