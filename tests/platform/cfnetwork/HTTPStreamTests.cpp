// The HTTP read stream against a real loopback server: framing, raw bodies, persistent connections by
// id, early ends reported as errors, held events, request bodies and their byte count.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "StreamHarness.h"
#include "servers/ScriptedHTTPServer.h"

using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

class HTTPStreamTest : public ::testing::Test {
protected:
    void TearDown() override { CFHTTPReadStream::closeIdleConnections(); }

    // One GET on a stream that reuses connections under `id`.
    StreamHarness exchange(const std::string& url, std::optional<int64_t> id = std::nullopt,
                           const std::string& method = "GET")
    {
        StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(url, method)));
        if (id) {
            h.stream->setAttemptPersistentConnection(true);
            h.stream->setHTTPStreamID(id);
        }
        h.start();
        EXPECT_TRUE(h.run());
        return h;
    }

    ScriptedHTTPServer server;
};

TEST_F(HTTPStreamTest, BodiesArriveRawWhateverTheirFraming)
{
    const std::string gzipBytes("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\xc9\x07\x00\x86\xa6\x10\x36\x05\x00\x00\x00", 25);
    struct Case {
        const char* name;
        Reply reply;
        std::string expected;
    };
    Reply chunked;
    chunked.chunks = {"hel", "lo ", "world"};
    Reply gzip = Reply::ok(gzipBytes);
    gzip.headerLines = {"Content-Encoding: gzip", "Content-Type: text/plain"};
    Reply closeDelimited = Reply::ok("until the end");
    closeDelimited.closeDelimited = true;
    Reply interim = Reply::ok("after continue");
    interim.interim = {"HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 102 Processing\r\nX-A: 1\r\n\r\n"};
    Reply chunkedGzip;
    chunkedGzip.chunks = {gzipBytes.substr(0, 10), gzipBytes.substr(10)};
    chunkedGzip.headerLines = {"Content-Encoding: gzip"};
    const Case cases[] = {
        {"chunked", chunked, "hello world"},
        {"gzip stays compressed", gzip, gzipBytes},
        {"chunked gzip", chunkedGzip, gzipBytes},
        {"close-delimited", closeDelimited, "until the end"},
        {"interim responses skipped", interim, "after continue"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.reply);
        auto h = exchange(server.url("/x"));
        EXPECT_TRUE(h.ended);
        EXPECT_FALSE(h.failed);
        EXPECT_EQ(h.status(), 200);
        EXPECT_EQ(h.body, c.expected);
        EXPECT_EQ(h.stream->getStatus(), kCFStreamStatusAtEnd);
    }
}

TEST_F(HTTPStreamTest, ResponsesWithoutBodyEndAtOnce)
{
    struct Case {
        const char* method;
        int status;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"HEAD", 200, {"Content-Length: 1234"}},
        {"GET", 204, {}},
        {"GET", 304, {"Content-Length: 99"}},
        {"GET", 200, {"Content-Length: 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.status));
        Reply reply = Reply::withStatus(c.status, "S");
        reply.headerLines = c.lines;
        reply.autoFraming = false;
        server.enqueue(reply);
        auto h = exchange(server.url("/empty"), std::nullopt, c.method);
        EXPECT_TRUE(h.ended);
        EXPECT_EQ(h.status(), c.status);
        EXPECT_TRUE(h.body.empty());
        EXPECT_EQ(h.count(kCFStreamEventHasBytesAvailable), 0u);
    }
}

TEST_F(HTTPStreamTest, HeaderNamesAreLookedUpWithoutCaseAndRepeatsJoined)
{
    Reply reply = Reply::ok("x");
    reply.headerLines = {"content-type: text/plain; charset=utf-8", "set-cookie: a=1", "Set-Cookie: b=2",
                         "X-Folded: one", "  two", "LOCATION: /next"};
    server.enqueue(reply);
    auto h = exchange(server.url("/h"));
    auto response = h.stream->copyResponseHeader();
    ASSERT_TRUE(response);
    const auto& fields = response->copyAllHeaderFields();
    EXPECT_EQ(fields.valueForKey("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(fields.valueForKey("Set-Cookie"), "a=1, b=2");
    EXPECT_EQ(fields.valueForKey("x-folded"), "one two");
    EXPECT_EQ(fields.valueForKey("Location"), "/next");
    size_t cookies = 0;
    for (const auto& [name, value] : response->rawHeaderFields()) {
        cookies += HTTPHeaderFields::namesEqual(name, "Set-Cookie");
    }
    EXPECT_EQ(cookies, 2u);
    EXPECT_EQ(response->copyResponseStatusLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(response->copyVersion(), kCFHTTPVersion1_1);
}

TEST_F(HTTPStreamTest, RequestCarriesHostFramingAndTheCallersHeaders)
{
    auto message = StreamHarness::get(server.url("/path/a%20b?q=1&r=%2F#frag"), "POST");
    message->setHeaderFieldValue("X-Custom", "yes");
    message->setHeaderFieldValue("vend", "lumo");
    message->setBody("field=value");
    StreamHarness h(CFReadStream::createForHTTPRequest(message));
    h.start();
    ASSERT_TRUE(h.run());
    ASSERT_EQ(server.requestCount(), 1u);
    auto r = server.requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/path/a%20b?q=1&r=%2F");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(r.header("X-Custom"), "yes");
    EXPECT_EQ(r.header("vend"), "lumo");
    EXPECT_EQ(r.header("Content-Length"), "11");
    EXPECT_EQ(r.header("Connection"), "close");  // not persistent: the server may close
    EXPECT_EQ(r.body, "field=value");
    EXPECT_EQ(h.stream->requestBytesWrittenCount(), 11u);
}

TEST_F(HTTPStreamTest, StreamedBodyIsPulledAndCounted)
{
    std::string big(300 * 1024, 'z');
    big[0] = 'a';
    big.back() = 'b';
    struct Case {
        const char* name;
        Ref<CFReadStream> body;
        bool callerLength;
        const char* expectFraming;
    };
    // A stream of unknown length goes chunked; a memory stream announces its length.
    class UnknownLength : public CFReadStream {
    public:
        explicit UnknownLength(std::string bytes) : inner_(CFReadStream::createWithBytes(std::move(bytes))) {}
        bool open() override { return inner_->open() && CFReadStream::open(); }
        CFIndex read(uint8_t* b, CFIndex n) override { return inner_->read(b, std::min<CFIndex>(n, 1000)); }
        bool hasBytesAvailable() override { return inner_->hasBytesAvailable(); }

    private:
        Ref<CFReadStream> inner_;
    };
    const Case cases[] = {
        {"memory stream", CFReadStream::createWithBytes(big), false, "Content-Length"},
        {"caller's length", CFReadStream::createWithBytes(big), true, "Content-Length"},
        {"unknown length", std::make_shared<UnknownLength>(big), false, "Transfer-Encoding"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto message = StreamHarness::get(server.url("/upload"), "PUT");
        if (c.callerLength) {
            message->setHeaderFieldValue("Content-Length", std::to_string(big.size()));
        }
        size_t before = server.requestCount();
        StreamHarness h(CFReadStream::createForStreamedHTTPRequest(message, c.body));
        h.start();
        ASSERT_TRUE(h.run());
        EXPECT_TRUE(h.ended);
        ASSERT_EQ(server.requestCount(), before + 1);
        auto r = server.requests().back();
        EXPECT_TRUE(r.hasHeader(c.expectFraming));
        EXPECT_EQ(r.body.size(), big.size());
        EXPECT_EQ(r.body, big);
        EXPECT_EQ(h.stream->requestBytesWrittenCount(), big.size());
    }
}

TEST_F(HTTPStreamTest, BodyShorterThanItsAnnouncedLengthFailsInsteadOfHanging)
{
    auto message = StreamHarness::get(server.url("/upload"), "POST");
    message->setHeaderFieldValue("Content-Length", "100");
    StreamHarness h(CFReadStream::createForStreamedHTTPRequest(message, CFReadStream::createWithBytes("only ten b")));
    h.start();
    ASSERT_TRUE(h.run());
    EXPECT_TRUE(h.failed);
    EXPECT_EQ(h.stream->getError(), (CFStreamError{kCFStreamErrorDomainPOSIX, EIO}));
}

TEST_F(HTTPStreamTest, SameIdReusesTheSocketOtherIdsDoNot)
{
    auto first = exchange(server.url("/1"), 7);
    EXPECT_EQ(CFHTTPReadStream::idleConnectionCount(), 1u);
    auto second = exchange(server.url("/2"), 7);
    auto third = exchange(server.url("/3"), 8);
    ASSERT_EQ(server.requestCount(), 3u);
    auto r = server.requests();
    EXPECT_FALSE(first.stream->connectionWasReused());
    EXPECT_TRUE(second.stream->connectionWasReused());
    EXPECT_FALSE(third.stream->connectionWasReused());
    EXPECT_EQ(r[0].peerPort, r[1].peerPort);
    EXPECT_EQ(r[1].connection, r[0].connection);
    EXPECT_EQ(r[1].indexOnConnection, 1u);
    EXPECT_NE(r[2].peerPort, r[0].peerPort);
    EXPECT_EQ(r[0].header("Connection"), "");  // persistent HTTP/1.1 sends no Connection header
}

// A kept connection is idle and can take the request at once: it goes out while the stream opens,
// before the loop runs, and its answer is read as usual.
TEST_F(HTTPStreamTest, AReusedConnectionSendsTheRequestAsTheStreamOpens)
{
    auto first = exchange(server.url("/1"), 21);
    server.enqueue(Reply::ok("second"));
    StreamHarness second(CFReadStream::createForHTTPRequest(StreamHarness::get(server.url("/2"))));
    second.stream->setAttemptPersistentConnection(true);
    second.stream->setHTTPStreamID(21);
    second.start();
    EXPECT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(second.run());
    EXPECT_TRUE(second.stream->connectionWasReused());
    EXPECT_TRUE(second.ended);
    EXPECT_EQ(second.body, "second");
    const auto r = server.requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].connection, r[0].connection);
    EXPECT_EQ(r[1].target, "/2");
}

TEST_F(HTTPStreamTest, ConnectionsThatCannotBeKeptAreNotReused)
{
    struct Case {
        const char* name;
        Reply reply;
    };
    Reply close = Reply::ok();
    close.headerLines = {"Connection: close"};
    Reply http10 = Reply::ok();
    http10.version = "HTTP/1.0";
    Reply http10KeepAlive = Reply::ok();
    http10KeepAlive.version = "HTTP/1.0";
    http10KeepAlive.headerLines = {"Connection: keep-alive"};
    Reply delimited = Reply::ok("body");
    delimited.closeDelimited = true;
    struct Expectation {
        Case c;
        bool reused;
    };
    const Expectation table[] = {
        {{"Connection: close", close}, false},
        {{"HTTP/1.0 without keep-alive", http10}, false},
        {{"HTTP/1.0 with keep-alive", http10KeepAlive}, true},
        {{"close-delimited body", delimited}, false},
    };
    int64_t id = 100;
    for (const auto& row : table) {
        SCOPED_TRACE(row.c.name);
        server.enqueue(row.c.reply);
        auto first = exchange(server.url("/a"), ++id);
        auto second = exchange(server.url("/b"), id);
        EXPECT_TRUE(second.ended);
        EXPECT_EQ(second.stream->connectionWasReused(), row.reused);
    }
}

TEST_F(HTTPStreamTest, StaleReusedSocketReportsConnectionLost)
{
    auto first = exchange(server.url("/1"), 3);
    Reply drop;
    drop.action = Reply::Action::CloseWithoutAnswer;
    server.enqueue(drop);
    auto second = exchange(server.url("/2"), 3);
    EXPECT_TRUE(second.stream->connectionWasReused());
    EXPECT_TRUE(second.failed);
    EXPECT_TRUE(second.stream->getError().isConnectionLost());
    EXPECT_EQ(second.stream->getStatus(), kCFStreamStatusError);
}

TEST_F(HTTPStreamTest, ClosedIdleConnectionIsReplacedSilently)
{
    auto first = exchange(server.url("/1"), 4);
    // The client's pool expires the entry by closing the stream that parked the connection.
    first.stream->close();
    EXPECT_EQ(CFHTTPReadStream::idleConnectionCount(), 0u);
    auto second = exchange(server.url("/2"), 4);
    EXPECT_TRUE(second.ended);
    EXPECT_FALSE(second.stream->connectionWasReused());
    auto r = server.requests();
    EXPECT_NE(r[0].peerPort, r[1].peerPort);
}

TEST_F(HTTPStreamTest, AnEarlyEndIsAnErrorNeverASuccess)
{
    struct Case {
        const char* name;
        Reply reply;
        CFStreamError error;
    };
    Reply noAnswer;
    noAnswer.action = Reply::Action::CloseWithoutAnswer;
    Reply afterHeaders = Reply::ok("never sent");
    afterHeaders.action = Reply::Action::CloseAfterHeaders;
    Reply shortBody = Reply::ok("0123456789");
    shortBody.truncateBodyTo = 4;
    Reply shortChunked;
    shortChunked.chunks = {"abc", "def"};
    shortChunked.truncateBodyTo = 12;
    Reply garbage;
    garbage.raw = "SMTP ready\r\n\r\n";
    garbage.keepAlive = false;
    const CFStreamError cut{kCFStreamErrorDomainCFNetwork, kCFErrorHTTPConnectionLost};
    const Case cases[] = {
        {"no answer on a fresh connection", noAnswer, cut},
        {"close after the header", afterHeaders, cut},
        {"body shorter than Content-Length", shortBody, cut},
        {"unfinished chunked body", shortChunked, cut},
        {"not HTTP", garbage, {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPParseFailure}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.reply);
        auto h = exchange(server.url("/x"));
        EXPECT_TRUE(h.failed);
        EXPECT_FALSE(h.ended);
        EXPECT_EQ(h.stream->getError(), c.error);
        EXPECT_EQ(h.count(kCFStreamEventEndEncountered), 0u);
    }
}

TEST_F(HTTPStreamTest, RefusedConnectionIsAPosixError)
{
    uint16_t port;
    {
        ScriptedHTTPServer gone;
        port = gone.port();
    }
    auto h = exchange("http://127.0.0.1:" + std::to_string(port) + "/");
    EXPECT_TRUE(h.failed);
    EXPECT_EQ(h.stream->getError(), (CFStreamError{kCFStreamErrorDomainPOSIX, ECONNREFUSED}));
}

TEST_F(HTTPStreamTest, HostNamesAreLookedUpOffTheLoop)
{
    auto h = exchange("http://localhost:" + std::to_string(server.port()) + "/named");
    EXPECT_TRUE(h.ended);
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].header("Host"), "localhost:" + std::to_string(server.port()));
}

TEST_F(HTTPStreamTest, UnscheduledStreamHoldsItsEventsAndResumes)
{
    server.enqueue(Reply::ok(std::string(1000, 'q')));
    StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(server.url("/held"))));
    h.readSize = 100;  // ten reads, each leaving bytes, each signalled again
    h.start();
    auto loop = NSRunLoop::currentRunLoop();
    ASSERT_TRUE(loop->runUntil([&] { return !h.body.empty(); }, std::chrono::seconds(10)));
    h.stream->unscheduleFromRunLoop(loop, kCFRunLoopDefaultMode);
    size_t held = h.body.size();
    // Nothing is delivered while unscheduled, however long the loop runs.
    loop->runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(h.body.size(), held);
    EXPECT_FALSE(h.finished());
    h.stream->scheduleWithRunLoop(loop, kCFRunLoopDefaultMode);
    ASSERT_TRUE(h.run());
    EXPECT_TRUE(h.ended);
    EXPECT_EQ(h.body, std::string(1000, 'q'));
    EXPECT_EQ(h.count(kCFStreamEventHasBytesAvailable), 10u);
}

TEST_F(HTTPStreamTest, EventsRunOnlyInTheScheduledMode)
{
    StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(server.url("/mode"))));
    h.mode = "HTTPRequestRunLoopMode";
    h.start();
    auto loop = NSRunLoop::currentRunLoop();
    loop->runUntil([] { return false; }, std::chrono::milliseconds(100), kCFRunLoopDefaultMode);
    EXPECT_FALSE(h.finished());
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.body, "ok");
}

TEST_F(HTTPStreamTest, PullReadsBlockWithoutARunLoop)
{
    server.enqueue(Reply::ok("pulled without events"));
    auto stream = CFReadStream::createForHTTPRequest(StreamHarness::get(server.url("/pull")));
    ASSERT_TRUE(stream->open());
    std::string body;
    uint8_t buffer[5];
    CFIndex n;
    while ((n = stream->read(buffer, sizeof buffer)) > 0) {
        body.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    }
    EXPECT_EQ(n, 0);
    EXPECT_EQ(body, "pulled without events");
    EXPECT_EQ(stream->getStatus(), kCFStreamStatusAtEnd);
}

TEST_F(HTTPStreamTest, OnlyHttpAndHttpsMakeStreams)
{
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x", "mailto:a@b.c", "http:///nohost"}) {
        SCOPED_TRACE(url);
        auto u = NSURL::URLWithString(url);
        EXPECT_FALSE(CFHTTPMessage::createRequest("GET", u, kCFHTTPVersion1_1));
    }
    // A host holding an escaped line break is refused too.
    EXPECT_FALSE(CFHTTPMessage::createRequest("GET", NSURL::URLWithString("http://a%0d%0ab/"), kCFHTTPVersion1_1));
    EXPECT_FALSE(CFReadStream::createForHTTPRequest(nullptr));
}

TEST_F(HTTPStreamTest, ClosingMidExchangeDeliversNothingMore)
{
    Reply slow = Reply::ok("late");
    slow.delayBeforeHeaders = 0.2;
    server.enqueue(slow);
    StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(server.url("/slow"))));
    h.start();
    ASSERT_TRUE(NSRunLoop::currentRunLoop()->runUntil([&] { return server.requestCount() == 1; },
                                                      std::chrono::seconds(5)));
    h.stream->close();
    NSRunLoop::currentRunLoop()->runUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(h.finished());
    EXPECT_EQ(h.stream->getStatus(), kCFStreamStatusClosed);
}

}  // namespace
