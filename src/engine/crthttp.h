#pragma once
// The engine's sockets and its small blocking HTTP/1.1 client (plain "http://", no TLS).
//
// The client sends one GET or form POST, reads the status line and the header, follows redirects and
// hands the body to a callback; http_download_to_str() is the form every caller uses (codec header,
// upload token, commit URLs, deletion on the service). The upload connections use the non-blocking
// connect.
//
// Every socket the client opens has a connect time-out and an inactivity time-out on each send and
// receive, so a silent server costs a failed call, never a stuck thread. Time-outs are given in engine
// milliseconds (divided by OMBRI_ENGINE_TIME_SCALE like every engine wait) with a floor of
// kNetTimeoutFloorMs real milliseconds, so a scaled test still gives a loaded machine time to answer.
//
// Those time-outs bound silence, not slowness: a server that drips its answer a few bytes at a time
// never trips them. A caller that must get its answer (or give up) in a bounded time passes
// httpbounds: a deadline for the whole exchange (connect, request, redirects, the whole body) on the
// same engine clock, and the most body bytes it will take. The engine's service calls all use
// kServiceCallBounds: their replies are small JSON texts, so a longer one is a failed exchange.
//
// Redirects are followed only for a 3xx status with a Location header, at most kHttpMaxRedirects times
// in a row. Header names match without regard to case. The header may be up to kHttpMaxHeaderBytes
// long; a longer one fails the call. A body is delimited by Content-Length, by chunked coding, or,
// with neither, by the server closing the connection.
#include <cstddef>
#include <cstdint>
#include <string>

namespace crtfun {

// ---- time-outs --------------------------------------------------------------------------------------

constexpr unsigned int kHttpConnectTimeoutMs = 15000;  // engine ms
constexpr unsigned int kHttpIoTimeoutMs = 30000;       // engine ms without a byte moving
constexpr unsigned int kNetTimeoutFloorMs = 1000;      // real ms
// Real milliseconds for a time-out of `enginems` engine milliseconds.
unsigned int net_timeout_realms(unsigned int enginems);
// A monotonic real-time tick in milliseconds (not scaled), for measuring socket inactivity.
uint64_t net_real_ms();

// ---- errors -----------------------------------------------------------------------------------------

// The last failure of the client on the calling thread (each caller runs on its own thread).
enum httperror {
    kHttpErrorNone = 0,
    kHttpErrorHost = 1,           // host not found, or a URL that cannot be requested
    kHttpErrorSocket = 2,         // socket not created
    kHttpErrorConnect = 3,        // connect failed or timed out
    kHttpErrorSendHeader = 4,     // header not sent
    kHttpErrorSendBody = 5,       // body not sent
    kHttpErrorNoHeader = 10,      // nothing (or not a whole header) received
    kHttpErrorHeaderTooLong = 11, // the header is longer than kHttpMaxHeaderBytes
    kHttpErrorNoStatus = 20,      // no status line
    kHttpErrorStatus = 21,        // status other than 200
    kHttpErrorRedirects = 22,     // too many redirects in a row
    kHttpErrorBodyCut = 23,       // body cut short, or malformed chunked coding
    kHttpErrorDeadline = 24,      // the exchange's deadline passed
    kHttpErrorBodyTooLong = 25,   // the body is longer than the caller takes
};
int gethttperror();

constexpr size_t kHttpMaxHeaderBytes = 65536;
constexpr int kHttpMaxRedirects = 5;

// ---- user agent -------------------------------------------------------------------------------------

// Sets the client's "User-Agent" text (copied; "httpdownloader" until set). Null counts as empty.
void setupuseragent(const char* text);
std::string getuseragent();

// ---- sockets ----------------------------------------------------------------------------------------

// The IPv4 address (network order) of "host" or "host:port", 0 when unknown; *port receives the number
// after the colon (0 without a colon, or when it is not a port number). A host of digits and dots is
// converted directly; any other name is looked up (first IPv4 address). Safe from several threads.
uint32_t get_ip_port_by_name(const char* text, int* port);

// A TCP socket (IPv4, close-on-exec) whose connect to address:port has been started, or -1. Non-
// blocking unless `blocking`; a connect still under way (EINPROGRESS, EAGAIN, EINTR) returns the socket.
int createconnectsocket(uint32_t address, int port, bool blocking);

// ---- the blocking client ----------------------------------------------------------------------------

enum cb_type {
    kHttpCbData = 0,      // body bytes; n1 = announced length (-1 unknown), n2 = bytes delivered before
    kHttpCbConnected = 1, // n1 = seconds the connect took; data = the host
    kHttpCbRedirect = 2,  // n1 = status; data = the new URL
    kHttpCbHeader = 3,    // n1 = status; data = the header text
};
// Returns true to go on.
using httpcallback = bool (*)(int type, long long n1, long long n2, const char* data, size_t length, void* context);

// Parses the URL, connects (blocking, with time-outs) and sends the request; the socket, or -1 with
// gethttperror() set. `post` null means GET.
int build_http_request(const char* url, httpcallback callback, void* context, const std::string* post);

// Reads until the end of the header. `header` receives the header text without the blank line;
// `buffer` (of `size` bytes) receives the body bytes that came with it. Their number, or -1.
long ensure_recvhttpheader(int sock, char* buffer, size_t size, std::string& header);

// Result of http_download_callback besides an HTTP status.
enum httpresult {
    kHttpNoAnswer = 0,  // no connection, no (whole) header, or a redirect loop stopped
    kHttpNoStatus = 1,  // no status line
    kHttpStopped = 2,   // the callback returned false
    kHttpBodyCut = 3,   // the body was cut short
    kHttpTooLong = 4,   // the body was longer than the bounds allow (nothing more of it is read)
    kHttpLate = 5,      // the exchange's deadline passed first
};
// The request and its answer: the HTTP status, or an httpresult.
int http_download_callback(const char* url, httpcallback callback, void* context, const std::string* post);

// The body as text; `post` null means GET. With `status`, it receives the result of
// http_download_callback; without, a result outside 200 to 299 empties the text.
std::string http_download_to_str(const char* url, const std::string* post, int* status);

// Bounds of one exchange; 0 means no bound.
struct httpbounds {
    unsigned int deadlinems = 0;  // engine ms for the whole exchange (real ms as net_timeout_realms gives)
    size_t maxbody = 0;           // the most body bytes taken
};
inline constexpr httpbounds kServiceCallBounds{60000, 1u << 20};

// As above within `bounds`: past the deadline the result is kHttpLate (gethttperror() 24), and a body
// longer than maxbody gives kHttpTooLong (25) with an empty text. Both are failed transfers.
std::string http_download_to_str(const char* url, const std::string* post, int* status, const httpbounds& bounds);

// ---- parsing helpers (also used by the upload connections) -----------------------------------------

// The value of the first header line named `name` (compared without regard to case) in a header text
// of lines joined by "\r\n"; false when there is none. Leading and trailing blanks are removed.
bool http_headervalue(const std::string& header, const char* name, std::string& value);

// The status of a status line "HTTP/1.x NNN ...": its three digits, or -1 when the line is not one.
int http_parsestatusline(const std::string& line);

// Decodes a chunked body incrementally: feed() takes any piece of the coded bytes and appends the
// decoded data to `out`. Lines are bounded, sizes checked for overflow.
class httpchunkdecoder {
public:
    enum state { kMore, kDone, kError };
    // Bytes after the end of the coded body are left unconsumed; *consumed receives how many were used.
    state feed(const char* data, size_t length, std::string& out, size_t* consumed = nullptr);
    state current() const { return state_; }

private:
    enum phase { kSizeLine, kData, kDataEnd, kTrailer };
    phase phase_ = kSizeLine;
    state state_ = kMore;
    std::string line_;
    uint64_t remaining_ = 0;
};

}  // namespace crtfun
