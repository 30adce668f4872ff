// HTTP messages as the stand-in service sees them: the request exactly as received (for tests to
// inspect byte for byte) with parsed helpers, and the response a handler returns.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

struct Header {
    std::string name;
    std::string value;
};

// Decoded name/value pairs of a query or a form body, in the order they were sent.
using Params = std::vector<std::pair<std::string, std::string>>;

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Decodes %xx escapes. '+' is kept as it stands: the clients of this service escape spaces as %20,
// while tokens they send unescaped may contain a literal '+'. A malformed escape is kept verbatim.
std::string percentDecode(std::string_view text);

// "a=1&b=x%20y&c" -> {a,1} {b,x y} {c,""}; empty pieces are skipped.
Params parseParams(std::string_view text);

std::optional<std::string> findParam(const Params& params, std::string_view name);

// "OK", "Not Found", ... ("Unknown" for a code without a usual phrase).
std::string_view reasonPhrase(int status);

// What became of a request.
enum class Outcome {
    Answered,            // a response was sent (or is being sent)
    Hanging,             // a hang fault holds the answer back
    ClosedWithoutAnswer, // the connection was closed once the request was read
    Dropped,             // the connection was reset part-way through the request
    Incomplete,          // the client closed, or the server stopped, before the request was complete
};

std::string_view toString(Outcome outcome);

struct Request {
    // As received.
    std::string head;                     // request line and header lines up to and including the blank line
    std::string requestLine;              // without its line end
    std::vector<std::string> headerLines; // each exactly as sent, without its line end, in order
    std::string rawBody;                  // the body bytes as sent (chunk framing included)

    // Parsed.
    std::string method;
    std::string target; // as in the request line: path and query
    std::string path;   // the target without its query; routes match it exactly
    std::string query;  // the text after '?', undecoded
    std::string version;
    Params queryParams;
    std::vector<Header> headers; // names and values trimmed of surrounding blanks
    std::string body;            // the body with any chunk framing removed

    // Where it came from and what became of it.
    std::uint64_t connection = 0; // connection id, from 1 in the order the server accepted them
    std::uint64_t sequence = 0;   // position of the request on its connection, from 0
    std::size_t index = 0;        // position among every request the server recorded
    std::chrono::steady_clock::time_point arrived{}; // when its last byte came in
    Outcome outcome = Outcome::Answered;
    int status = 0;    // status sent back; 0 when none was
    std::string answerBody; // the body sent back with it (not kept for an answer held back by a hang)
    std::string fault; // the fault applied, empty when none

    // First header of that name, compared ignoring case.
    std::optional<std::string> header(std::string_view name) const;
    // Decoded query parameter.
    std::optional<std::string> param(std::string_view name) const;
    // The body read as a form (name=value&...).
    Params formParams() const;
    // Every byte of the request as it came in.
    std::string raw() const { return head + rawBody; }
};

struct Response {
    int status = 200;
    std::vector<Header> headers; // sent in this order, before the ones the server adds
    std::string body;
    bool chunked = false;         // send the body in chunks instead of with Content-Length
    std::size_t chunkSize = 1024; // the largest chunk when chunked

    static Response json(std::string body, int status = 200);
    static Response text(std::string body, int status = 200);
    static Response empty(int status);

    Response& with(std::string name, std::string value);
    std::optional<std::string> header(std::string_view name) const;
};

// The response's bytes. The server adds "Content-Length" (exact case) unless the response is chunked
// or sets it itself, and "Connection: close" when it is going to close. A HEAD answer has no body.
std::string serialize(const Response& response, bool closing, bool headOnly);

} // namespace standin
