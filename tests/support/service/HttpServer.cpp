#include "service/HttpServer.h"

#include "service/RequestReader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
#include <system_error>

namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

// A deadline `timeout` from now, kept within a day so that huge time-outs cannot overflow.
Clock::time_point deadlineIn(std::chrono::milliseconds timeout)
{
    return Clock::now() + std::min<std::chrono::milliseconds>(timeout, std::chrono::hours(24));
}

[[noreturn]] void throwErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool hasToken(std::string_view list, std::string_view token)
{
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        while (!item.empty() && item.front() == ' ') {
            item.remove_prefix(1);
        }
        while (!item.empty() && item.back() == ' ') {
            item.remove_suffix(1);
        }
        if (equalsIgnoringCase(item, token)) {
            return true;
        }
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

// HTTP/1.1 keeps the connection unless told to close; HTTP/1.0 closes unless told to keep it.
bool clientWantsClose(const Request& request)
{
    std::string connection = request.header("Connection").value_or("");
    if (hasToken(connection, "close")) {
        return true;
    }
    return request.version == "HTTP/1.0" && !hasToken(connection, "keep-alive");
}

Response faultResponse(const Fault& fault)
{
    Response response;
    response.status = fault.code;
    switch (fault.kind) {
    case Fault::Kind::EmptyBody:
        response.headers.push_back({"Content-Type", "application/json"});
        break;
    case Fault::Kind::NotJson:
        response.headers.push_back({"Content-Type", "text/html"});
        response.body = fault.body;
        break;
    default:
        response.body = fault.body;
        break;
    }
    return response;
}

Response callHandler(const HttpServer::Handler& handler, const Request& request)
{
    if (!handler) {
        return Response::text("no route for " + request.path + "\n", 404);
    }
    try {
        return handler(request);
    } catch (const std::exception& error) {
        return Response::text(std::string("handler failed: ") + error.what() + "\n", 500);
    }
}

} // namespace

struct HttpServer::Connection {
    explicit Connection(std::uint64_t id, int fd) : id(id), fd(fd) {}
    ~Connection() { close(false); }

    // Wakes the thread from a blocking read or write. The descriptor stays open (and cannot be reused
    // by another socket) until the connection's own thread closes it.
    void interrupt()
    {
        std::lock_guard lock(fdMutex);
        if (fd >= 0) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }

    // `reset`: drop the connection (RST) instead of closing it in order.
    void close(bool reset)
    {
        std::lock_guard lock(fdMutex);
        if (fd < 0) {
            return;
        }
        if (reset) {
            linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(fd);
        fd = -1;
    }

    const std::uint64_t id;
    std::mutex fdMutex;
    int fd;
    std::thread thread;
    bool finished = false; // under the server's mutex
};

HttpServer::HttpServer(ServerOptions options) : options_(std::move(options))
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throwErrno("socket");
    }
    int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr) != 1) {
        ::close(listenFd_);
        throw std::system_error(EINVAL, std::generic_category(), "bad listening address " + options_.host);
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 128) != 0) {
        int error = errno;
        ::close(listenFd_);
        throw std::system_error(error, std::generic_category(),
                                "cannot listen on " + options_.host + ":" + std::to_string(options_.port));
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);

    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        int error = errno;
        ::close(listenFd_);
        throw std::system_error(error, std::generic_category(), "eventfd");
    }
    if (options_.lifetime != kUntilStopped) {
        deadline_ = Clock::now() + options_.lifetime;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer()
{
    stop();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
    ::close(wakeFd_);
}

std::string HttpServer::hostPort() const
{
    return options_.host + ":" + std::to_string(port_);
}

void HttpServer::route(const std::string& path, Handler handler)
{
    std::lock_guard lock(mutex_);
    routes_[path].handler = std::move(handler);
}

bool HttpServer::hasRoute(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    auto found = routes_.find(path);
    return found != routes_.end() && found->second.handler;
}

HttpServer::Handler HttpServer::handlerOf(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    auto found = routes_.find(path);
    return found != routes_.end() ? found->second.handler : Handler();
}

void HttpServer::addFault(const std::string& path, Fault fault)
{
    std::lock_guard lock(mutex_);
    Route& route = routes_[path];
    route.faults.push_back({std::move(fault), route.count});
}

void HttpServer::clearFaults(const std::string& path)
{
    std::lock_guard lock(mutex_);
    if (auto found = routes_.find(path); found != routes_.end()) {
        found->second.faults.clear();
    }
}

void HttpServer::clearAllFaults()
{
    std::lock_guard lock(mutex_);
    for (auto& [path, route] : routes_) {
        route.faults.clear();
    }
}

HttpServer::Dispatch HttpServer::dispatch(const std::string& path)
{
    std::lock_guard lock(mutex_);
    auto found = routes_.find(path);
    if (found == routes_.end()) {
        return {};
    }
    Route& route = found->second;
    ++route.count;
    Dispatch result{route.handler, std::nullopt};
    for (auto entry = route.faults.begin(); entry != route.faults.end(); ++entry) {
        const Fault& fault = entry->fault;
        bool applies = true;
        if (fault.kind == Fault::Kind::StatusOnNth) {
            std::uint64_t since = route.count - entry->countWhenAdded;
            // A one-shot fault whose request was taken by an earlier fault fires on the next one.
            applies = fault.isPersistent ? since % fault.nth == 0 : since >= fault.nth;
        }
        if (applies) {
            result.fault = fault;
            if (!fault.isPersistent) {
                route.faults.erase(entry);
            }
            break;
        }
    }
    return result;
}

void HttpServer::changed()
{
    ++generation_;
    changedCv_.notify_all();
}

std::size_t HttpServer::record(Request& request)
{
    Request copy;
    {
        std::lock_guard lock(mutex_);
        request.index = nextRecordIndex_++;
        if (options_.maxRecords != 0 && records_.size() >= options_.maxRecords) {
            auto excess = static_cast<std::ptrdiff_t>(records_.size() - options_.maxRecords + 1);
            records_.erase(records_.begin(), records_.begin() + excess);
        }
        records_.push_back(request);
        changed();
        if (options_.onRequest) {
            copy = request;
        }
    }
    if (options_.onRequest) {
        options_.onRequest(copy);
    }
    return request.index;
}

void HttpServer::updateRecord(std::size_t index, Outcome outcome, int status)
{
    std::lock_guard lock(mutex_);
    for (auto entry = records_.rbegin(); entry != records_.rend(); ++entry) {
        if (entry->index == index) {
            entry->outcome = outcome;
            entry->status = status;
            changed();
            return;
        }
    }
}

std::vector<Request> HttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<Request> HttpServer::requests(std::string_view path) const
{
    std::lock_guard lock(mutex_);
    std::vector<Request> matching;
    for (const Request& request : records_) {
        if (request.path == path) {
            matching.push_back(request);
        }
    }
    return matching;
}

std::size_t HttpServer::requestCount() const
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

std::size_t HttpServer::requestCount(std::string_view path) const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(records_.begin(), records_.end(), [&](const Request& request) { return request.path == path; }));
}

void HttpServer::clearRequests()
{
    std::lock_guard lock(mutex_);
    records_.clear();
    changed();
}

bool HttpServer::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const
{
    auto deadline = deadlineIn(timeout);
    std::unique_lock lock(mutex_);
    for (;;) {
        std::uint64_t seen = generation_;
        lock.unlock();
        if (condition()) {
            return true;
        }
        lock.lock();
        if (!changedCv_.wait_until(lock, deadline, [&] { return generation_ != seen; })) {
            lock.unlock();
            return condition();
        }
    }
}

bool HttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return requestCount() >= count; }, timeout);
}

bool HttpServer::waitForRequests(std::string_view path, std::size_t count, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return requestCount(path) >= count; }, timeout);
}

std::size_t HttpServer::connectionsAccepted() const
{
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::size_t HttpServer::connectionsRefused() const
{
    std::lock_guard lock(mutex_);
    return refused_;
}

std::size_t HttpServer::connectionsOpen() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(),
                                                  [](const auto& connection) { return !connection->finished; }));
}

bool HttpServer::stopped() const
{
    std::lock_guard lock(mutex_);
    return stopped_;
}

bool HttpServer::waitUntilStopped(std::chrono::milliseconds timeout) const
{
    return waitUntil([this] { return stopped(); }, timeout);
}

void HttpServer::stop()
{
    std::lock_guard stopLock(stopMutex_);
    shutDownConnections();
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
}

void HttpServer::shutDownConnections()
{
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (auto& connection : connections_) {
        connection->interrupt();
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
    changed();
}

bool HttpServer::drip(int fd, std::string_view bytes, const Fault& fault)
{
    while (!bytes.empty()) {
        const std::size_t piece = std::min(fault.bytes, bytes.size());
        if (!sendAll(fd, bytes.substr(0, piece))) {
            return false;
        }
        bytes.remove_prefix(piece);
        if (!bytes.empty() && !hangUntil(Clock::now() + fault.delay)) {
            return false;
        }
    }
    return true;
}

bool HttpServer::hangUntil(std::optional<Clock::time_point> until)
{
    std::unique_lock lock(mutex_);
    if (until) {
        changedCv_.wait_until(lock, *until, [this] { return stopping_; });
    } else {
        changedCv_.wait(lock, [this] { return stopping_; });
    }
    return !stopping_;
}

void HttpServer::reapFinished(std::list<std::unique_ptr<Connection>>& finished)
{
    for (auto& connection : finished) {
        connection->thread.join();
    }
    finished.clear();
}

void HttpServer::acceptLoop()
{
    for (;;) {
        int timeoutMs = -1;
        if (deadline_) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now()).count();
            if (left <= 0) {
                break;
            }
            timeoutMs = static_cast<int>(std::min<long long>(left, INT_MAX));
        }
        pollfd polled[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = ::poll(polled, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (polled[1].revents != 0) {
            break;
        }
        if (ready <= 0 || (polled[0].revents & POLLIN) == 0) {
            continue;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

        std::list<std::unique_ptr<Connection>> finished;
        bool stop = false;
        {
            std::lock_guard lock(mutex_);
            for (auto it = connections_.begin(); it != connections_.end();) {
                auto next = std::next(it);
                if ((*it)->finished) {
                    finished.splice(finished.end(), connections_, it);
                }
                it = next;
            }
            if (stopping_) {
                ::close(fd);
                stop = true;
            } else if (connections_.size() >= options_.maxConnections) {
                ::close(fd);
                ++refused_;
            } else {
                auto connection = std::make_unique<Connection>(nextConnectionId_++, fd);
                Connection& ref = *connection;
                try {
                    connection->thread = std::thread([this, &ref] { serveConnection(ref); });
                    connections_.push_back(std::move(connection));
                    ++accepted_;
                } catch (const std::system_error&) {
                    ++refused_; // no thread to serve it: the destructor closes the socket
                }
            }
            changed();
        }
        // Threads of finished connections are joined even when stopping: a joinable thread that is
        // destroyed ends the process.
        reapFinished(finished);
        if (stop) {
            break;
        }
    }

    // Stopping, on request or because the lifetime is over: new connections are refused from here on.
    ::close(listenFd_);
    listenFd_ = -1;
    shutDownConnections();
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(connections_);
    }
    reapFinished(all);
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed();
}

void HttpServer::serveConnection(Connection& connection)
{
    RequestReader reader(connection.fd, options_.maxHeaderBytes, options_.maxBodyBytes);
    Next next = Next::Continue;
    for (std::uint64_t sequence = 0; next == Next::Continue && sequence < options_.maxRequestsPerConnection;
         ++sequence) {
        next = serveRequest(connection, reader, sequence);
    }
    connection.close(next == Next::Reset);
    std::lock_guard lock(mutex_);
    connection.finished = true;
    changed();
}

HttpServer::Next HttpServer::serveRequest(Connection& connection, RequestReader& reader, std::uint64_t sequence)
{
    Request request;
    request.connection = connection.id;
    request.sequence = sequence;

    RequestReader::Status status = reader.readHead(request);
    if (status == RequestReader::Status::Closed) {
        if (!reader.unfinished().empty()) {
            request.head = reader.unfinished();
            request.outcome = Outcome::Incomplete;
            record(request);
        }
        return Next::Close;
    }
    if (status != RequestReader::Status::Ok) {
        return refuse(connection, request, status);
    }

    Dispatch dispatched = dispatch(request.path);
    if (dispatched.fault) {
        request.fault = dispatched.fault->describe();
        if (dispatched.fault->kind == Fault::Kind::DropAfterBytes) {
            if (dispatched.fault->bytes > request.head.size()) {
                reader.setBudget(dispatched.fault->bytes);
                reader.readBody(request);
            }
            request.outcome = Outcome::Dropped;
            record(request);
            return Next::Reset;
        }
    }

    if (reader.expectsBody() && hasToken(request.header("Expect").value_or(""), "100-continue")) {
        sendAll(connection.fd, "HTTP/1.1 100 Continue\r\n\r\n");
    }
    status = reader.readBody(request);
    if (status == RequestReader::Status::Closed) {
        request.outcome = Outcome::Incomplete;
        record(request);
        return Next::Close;
    }
    if (status != RequestReader::Status::Ok) {
        return refuse(connection, request, status);
    }
    request.arrived = Clock::now();

    std::optional<Response> response;
    if (dispatched.fault) {
        response = answerWithFault(request, *dispatched.fault, dispatched.handler);
    } else {
        response = callHandler(dispatched.handler, request);
        request.status = response->status;
        request.answerBody = response->body;
        record(request);
    }
    if (!response) {
        return Next::Close;
    }
    bool closing = clientWantsClose(request) || sequence + 1 == options_.maxRequestsPerConnection;
    const std::string bytes = serialize(*response, closing, request.method == "HEAD");
    const bool sent = dispatched.fault && dispatched.fault->kind == Fault::Kind::Drip
                          ? drip(connection.fd, bytes, *dispatched.fault)
                          : sendAll(connection.fd, bytes);
    if (!sent || closing) {
        return Next::Close;
    }
    return Next::Continue;
}

std::optional<Response> HttpServer::answerWithFault(Request& request, const Fault& fault, const Handler& handler)
{
    switch (fault.kind) {
    case Fault::Kind::CloseWithoutAnswer:
        request.outcome = Outcome::ClosedWithoutAnswer;
        record(request);
        return std::nullopt;
    case Fault::Kind::Hang:
    case Fault::Kind::HangUntilStopped: {
        request.outcome = Outcome::Hanging;
        std::size_t index = record(request);
        std::optional<Clock::time_point> until;
        if (fault.kind == Fault::Kind::Hang) {
            // Counted from the request's last byte, so that recording it adds nothing to the delay.
            until = request.arrived + fault.delay;
        }
        if (!hangUntil(until)) {
            updateRecord(index, Outcome::ClosedWithoutAnswer, 0);
            return std::nullopt;
        }
        Response response = callHandler(handler, request);
        updateRecord(index, Outcome::Answered, response.status);
        return response;
    }
    case Fault::Kind::Drip: {
        Response response = callHandler(handler, request);
        request.status = response.status;
        request.answerBody = response.body;
        record(request);
        return response;
    }
    default: {
        Response response = faultResponse(fault);
        request.status = response.status;
        request.answerBody = response.body;
        record(request);
        return response;
    }
    }
}

HttpServer::Next HttpServer::refuse(Connection& connection, Request& request, RequestReader::Status status)
{
    int code = status == RequestReader::Status::HeaderTooLarge ? 431
               : status == RequestReader::Status::BodyTooLarge ? 413
                                                                : 400;
    request.status = code;
    record(request);
    sendAll(connection.fd, serialize(Response::text(std::string(reasonPhrase(code)) + "\n", code), true, false));
    return Next::Close;
}

} // namespace standin
