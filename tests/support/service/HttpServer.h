// A small HTTP/1.1 server on the loopback address for tests: keep-alive with pipelined requests
// answered in order, one thread per connection, routes by exact path, faults on demand, and a record
// of every request. It is bounded: it stops by itself when its lifetime ends, refuses connections
// beyond its limit, and stops cleanly (every thread joined) when stopped or destroyed.
//
//     HttpServer server({.lifetime = std::chrono::seconds(20)});
//     server.route("/m/ping.json", [](const Request&) { return Response::json(R"({"status":200})"); });
//     ... point the client at server.hostPort() ...
//     ASSERT_TRUE(server.waitForRequests("/m/ping.json", 1, std::chrono::seconds(5)));
//     EXPECT_EQ(server.requests()[0].header("User-Agent"), "httpdownloader");
//
// Handlers run on the connections' threads, possibly several at once: they must be thread-safe.
#pragma once

#include "service/Fault.h"
#include "service/HttpMessage.h"
#include "service/RequestReader.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace standin {

// A lifetime without end: the server runs until stopped or destroyed (for the program).
inline constexpr std::chrono::milliseconds kUntilStopped = std::chrono::milliseconds::max();

struct ServerOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0; // 0: any free port (read it with port())
    std::chrono::milliseconds lifetime{60'000};
    std::size_t maxConnections = 32;             // open at once; more are closed as soon as accepted
    std::size_t maxRequestsPerConnection = 100'000;
    std::size_t maxHeaderBytes = 64 * 1024;
    std::size_t maxBodyBytes = 64 * 1024 * 1024;
    std::size_t maxRecords = 0; // requests kept in the record, the oldest dropped first; 0: all
    // Called on the connection's thread once a request is recorded (for logging).
    std::function<void(const Request&)> onRequest;
};

class HttpServer {
public:
    using Handler = std::function<Response(const Request&)>;

    // Listens at once; throws std::system_error when it cannot.
    explicit HttpServer(ServerOptions options = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string hostPort() const; // "127.0.0.1:<port>"

    // Routes match the request's path exactly (query excluded). A later route replaces an earlier one
    // of the same path. Paths without a route answer 404.
    void route(const std::string& path, Handler handler);
    bool hasRoute(const std::string& path) const;
    // The handler of a path (empty without a route), so that a route can be wrapped.
    Handler handlerOf(const std::string& path) const;

    // Faults of a path apply in the order they were added; the first that applies to a request wins.
    // A path needs no route to carry faults.
    void addFault(const std::string& path, Fault fault);
    void clearFaults(const std::string& path);
    void clearAllFaults();

    // The record, in the order requests were settled (answered, closed, dropped, or began to hang).
    std::vector<Request> requests() const;
    std::vector<Request> requests(std::string_view path) const;
    std::size_t requestCount() const;
    std::size_t requestCount(std::string_view path) const;
    void clearRequests();

    // Waits, without polling, until the condition holds. The condition is evaluated now and after every
    // change the server sees (a request recorded or updated, a connection opened or closed, the stop);
    // it may read the server and anything the handlers write. Returns its last value.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const;
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForRequests(std::string_view path, std::size_t count, std::chrono::milliseconds timeout) const;

    std::size_t connectionsAccepted() const;
    std::size_t connectionsRefused() const; // closed at once because maxConnections were open
    std::size_t connectionsOpen() const;

    // Stops accepting, ends every connection (hangs included) and joins every thread. Idempotent; the
    // destructor calls it. After its lifetime the server stops by itself in the same way.
    void stop();
    bool stopped() const;
    bool waitUntilStopped(std::chrono::milliseconds timeout) const;

private:
    struct Connection;
    struct FaultEntry {
        Fault fault;
        std::uint64_t countWhenAdded = 0;
    };
    struct Route {
        Handler handler;
        std::vector<FaultEntry> faults;
        std::uint64_t count = 0; // requests of this path seen so far
    };
    struct Dispatch {
        Handler handler;
        std::optional<Fault> fault;
    };

    enum class Next { Continue, Close, Reset }; // what becomes of a connection after a request

    void acceptLoop();
    void serveConnection(Connection& connection);
    Next serveRequest(Connection& connection, RequestReader& reader, std::uint64_t sequence);
    // Records the request; nullopt when the fault leaves it without an answer.
    std::optional<Response> answerWithFault(Request& request, const Fault& fault, const Handler& handler);
    Next refuse(Connection& connection, Request& request, RequestReader::Status status);
    void shutDownConnections(); // sets stopping_, wakes every connection and hang
    void reapFinished(std::list<std::unique_ptr<Connection>>& finished);

    Dispatch dispatch(const std::string& path);
    std::size_t record(Request& request);
    void updateRecord(std::size_t index, Outcome outcome, int status);
    void changed(); // under mutex_: something a waiter may be waiting for happened
    bool hangUntil(std::optional<std::chrono::steady_clock::time_point> until);
    // Sends `bytes` as the drip fault says; false when the client went away or the server stops.
    bool drip(int fd, std::string_view bytes, const Fault& fault);

    ServerOptions options_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::uint16_t port_ = 0;
    std::optional<std::chrono::steady_clock::time_point> deadline_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changedCv_;
    std::uint64_t generation_ = 0;
    bool stopping_ = false;
    bool stopped_ = false;
    std::map<std::string, Route, std::less<>> routes_;
    std::vector<Request> records_;
    std::size_t nextRecordIndex_ = 0;
    std::list<std::unique_ptr<Connection>> connections_;
    std::uint64_t nextConnectionId_ = 1;
    std::size_t accepted_ = 0;
    std::size_t refused_ = 0;

    std::mutex stopMutex_;
    std::thread acceptThread_;
};

} // namespace standin
