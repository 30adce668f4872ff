// Misbehaviour on demand. A fault is set on a route's path (HttpServer::addFault) and applies to the
// next request of that path, once, or to every following one when made persistent:
//
//     server.addFault("/upload", Fault::statusOnNth(3));               // the 3rd block from now gets 500
//     server.addFault("/m/request-upload.json", Fault::notJson().persistent());
//
// Except for a hang with a delay, a faulty answer replaces the route's handler: the handler does not
// run, so nothing it would have stored (uploaded bytes, for instance) is stored.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

struct Fault {
    enum class Kind {
        Status,             // answer `code` with `body` (empty by default)
        EmptyBody,          // answer 200 with an empty body
        NotJson,            // answer 200 with a body that is not JSON
        CloseWithoutAnswer, // read the whole request, then close the connection
        Hang,               // hold the answer until `delay` after the request's last byte, then let the handler answer
        HangUntilStopped,   // never answer; the connection closes when the server stops
        DropAfterBytes,     // reset the connection once `bytes` of the request have been read
        StatusOnNth,        // answer `code` to the `nth` request of the route (every nth when persistent)
        Drip,               // let the handler answer, but send its bytes `bytes` at a time, `delay` apart
    };

    Kind kind = Kind::Status;
    int code = 500;
    std::string body;
    std::chrono::milliseconds delay{0};
    std::size_t bytes = 0;
    std::uint64_t nth = 1;
    bool isPersistent = false;

    static Fault status(int code, std::string body = {});
    static Fault emptyBody();
    static Fault notJson();
    static Fault closeWithoutAnswer();
    static Fault hang(std::chrono::milliseconds delay);
    static Fault hangUntilStopped();
    // The header block is always read whole: when `bytes` is smaller than the header, the connection
    // is reset right after it. A request shorter than `bytes` is read whole, then the connection reset.
    static Fault dropAfterBytes(std::size_t bytes);
    // Counted among the route's requests from the moment the fault is added, from 1.
    static Fault statusOnNth(std::uint64_t nth, int code = 500);
    // A server that is alive but crawls: every `delay`, `bytes` more bytes of the answer (status line
    // first). It stops when the answer is out, the client goes away or the server stops.
    static Fault drip(std::size_t bytes, std::chrono::milliseconds delay);

    // A copy that stays in force until cleared.
    Fault persistent() const;

    // For the request record: "status 503", "drop after 100 bytes", ...
    std::string describe() const;
};

} // namespace standin
