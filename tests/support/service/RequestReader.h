// Reads HTTP/1.1 requests one after another from a blocking socket, keeping whatever the client has
// already sent of the next request (pipelining). Every byte of a request is kept as it came in.
#pragma once

#include "service/HttpMessage.h"

#include <cstddef>
#include <string>

namespace standin {

class RequestReader {
public:
    enum class Status {
        Ok,
        Closed,         // the peer closed (or the socket was shut down) before the request was complete
        Malformed,      // not HTTP: bad request line, header line, length or chunk framing
        HeaderTooLarge, // the header block exceeds its limit
        BodyTooLarge,   // the body exceeds its limit
        BudgetReached,  // the byte budget set for this request is used up (see setBudget)
    };

    RequestReader(int fd, std::size_t maxHeaderBytes, std::size_t maxBodyBytes);

    // Reads the next header block and fills the request's head fields (raw and parsed). Blank lines
    // before a request line are skipped, as clients may send one after a body.
    Status readHead(Request& request);

    // Reads the body announced by the head just read (Content-Length or chunked), filling
    // rawBody and body. With a budget set, stops at the budget and returns BudgetReached; then
    // rawBody holds the body bytes within the budget.
    Status readBody(Request& request);

    // Allows at most `bytes` bytes of the current request (counted from its first byte) to be read.
    void setBudget(std::size_t bytes);

    // Bytes of a request whose head could not be completed.
    const std::string& unfinished() const { return unfinished_; }

    // Whether the request whose head was just read announced a body.
    bool expectsBody() const { return chunked_ || contentLength_ > 0; }

private:
    bool fill();                                   // one recv more; false at end of stream
    Status need(std::size_t bytes);                // ensures `bytes` unread bytes past pos_
    Status readLine(std::string_view& line);       // one line from pos_, without its end
    Status readChunked(Request& request, std::size_t bodyStart);
    static bool parseHead(Request& request);

    int fd_;
    std::size_t maxHeaderBytes_;
    std::size_t maxBodyBytes_;
    std::string buffer_;
    std::size_t pos_ = 0;          // next unread byte
    std::size_t requestStart_ = 0; // first byte of the current request
    std::size_t budgetEnd_ = 0;    // 0: no budget
    bool chunked_ = false;
    std::size_t contentLength_ = 0;
    std::string unfinished_;
};

} // namespace standin
