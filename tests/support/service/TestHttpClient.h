// A tiny blocking HTTP/1.1 client for tests: one connection to 127.0.0.1, raw bytes out, responses
// read one at a time (so pipelining is the test's to do). Every read is bounded by the time-out given
// at construction; nothing in it waits longer.
#pragma once

#include "service/HttpMessage.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct ClientResponse {
    int status = 0;
    std::string statusLine;
    std::vector<Header> headers;
    std::string body; // chunk framing removed
    std::string raw;  // every byte of the response as received

    std::optional<std::string> header(std::string_view name) const;
};

class TestHttpClient {
public:
    // Connects at once; connected() tells whether it worked.
    explicit TestHttpClient(std::uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~TestHttpClient();
    TestHttpClient(const TestHttpClient&) = delete;
    TestHttpClient& operator=(const TestHttpClient&) = delete;

    bool connected() const { return fd_ >= 0; }

    // False when not every byte could be sent (the peer closed or reset the connection).
    bool sendRaw(std::string_view bytes);

    // The next final response (interim 1xx answers are skipped); nullopt when the connection ends or
    // the time-out passes first. A response to HEAD has no body: say so with `headRequest`.
    std::optional<ClientResponse> readResponse(bool headRequest = false);

    // Sends one request with Host, Content-Length (for a body) and `extraHeaders` lines ("Name: value")
    // and reads its response.
    std::optional<ClientResponse> request(const std::string& method, const std::string& target,
                                          const std::string& body = {},
                                          const std::vector<std::string>& extraHeaders = {});

    // Waits for the peer to end the connection, discarding what it sends meanwhile. True when it
    // closed or reset it before the time-out.
    bool waitForClose();

    void close();

    // The text of a request as request() sends it.
    static std::string format(const std::string& method, const std::string& target, const std::string& body,
                              const std::vector<std::string>& extraHeaders = {});

private:
    bool fill();
    bool readLine(std::string& line);
    bool readExact(std::size_t count, std::string& out);

    int fd_ = -1;
    std::string buffer_;
    std::size_t pos_ = 0;
    std::string raw_; // bytes of the response being read
};

} // namespace standin
