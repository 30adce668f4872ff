// The engine's blocking HTTP/1.1 client and its socket helpers, against the stand-in server on
// 127.0.0.1.
#include "fixtures/RefusingPort.h"
#include "engine/crtfun.h"
#include "engine/crthttp.h"

#include "service/HttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using standin::Fault;
using standin::HttpServer;
using standin::Request;
using standin::Response;

class CrtHttpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Engine time runs 1000 times faster, so the 30-second receive time-out takes its real floor.
        ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
        ASSERT_EQ(crtfun::time_scale(), 1000);
    }

    std::string url(const std::string& path) const { return "http://" + server.hostPort() + path; }

    HttpServer server{{.lifetime = std::chrono::seconds(30)}};
};

// A port on 127.0.0.1 that refuses connections.
int closedPort()
{
    return RefusingPort::shared().port();
}

TEST_F(CrtHttpTest, GetSendsExactlyTheHeaderLinesWithHostWithoutPort)
{
    server.route("/a/b", [](const Request&) { return Response::text("body"); });
    int status = 0;
    const std::string text = crtfun::http_download_to_str(url("/a/b?x=1").c_str(), nullptr, &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(text, "body");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].head,
              "GET /a/b?x=1 HTTP/1.1\r\nUser-Agent: httpdownloader\r\nAccept: */*\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST_F(CrtHttpTest, PostSendsFormBodyAfterLengthAndTypeWithTheUserAgentSet)
{
    server.route("/m/with.json", [](const Request&) { return Response::json(R"({"status":200})"); });
    crtfun::setupuseragent("ios_5.1_apple_iPhone4");
    std::string body(10000, 'x');
    for (size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>('a' + i % 26);
    }
    const std::string text = crtfun::http_download_to_str(url("/m/with.json").c_str(), &body, nullptr);
    EXPECT_EQ(text, R"({"status":200})");
    ASSERT_EQ(server.requestCount(), 1u);
    const Request request = server.requests()[0];
    EXPECT_EQ(request.head, "POST /m/with.json HTTP/1.1\r\nUser-Agent: ios_5.1_apple_iPhone4\r\nAccept: */*\r\n"
                            "Host: 127.0.0.1\r\nContent-Length: 10000\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
    EXPECT_EQ(request.rawBody, body);
}

TEST_F(CrtHttpTest, BodiesAndStatusesAreReadAsTheAnswerFramesThem)
{
    struct Case {
        const char* name;
        Response response;
        int status;          // result with a status pointer
        std::string text;    // text with a status pointer
        std::string plain;   // text without one
    };
    const std::string big(100000, 'b');
    Response chunked = Response::text("hello");
    chunked.chunked = true;
    Response bigchunked = Response::text(big);
    bigchunked.chunked = true;
    bigchunked.chunkSize = 777;
    Response lower = Response::text("abc");
    lower.with("content-length", "3");
    Response longheader = Response::text("after a long header");
    longheader.with("X-Padding", std::string(9000, 'p'));
    Response createdwithlocation = Response::text("made", 201);
    createdwithlocation.with("Location", "http://127.0.0.1:1/elsewhere");
    const std::vector<Case> cases = {
        {"chunked", chunked, 200, "hello", "hello"},
        {"big chunked", bigchunked, 200, big, big},
        {"length", Response::text(big), 200, big, big},
        {"lower-case length", lower, 200, "abc", "abc"},
        {"header beyond 4096 bytes", longheader, 200, "after a long header", "after a long header"},
        {"404", Response::text("not here", 404), 404, "", ""},
        {"201 with Location is no redirect", createdwithlocation, 201, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/case", [&c](const Request&) { return c.response; });
        int status = -1;
        EXPECT_EQ(crtfun::http_download_to_str(url("/case").c_str(), nullptr, &status), c.text);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(crtfun::http_download_to_str(url("/case").c_str(), nullptr, nullptr), c.plain);
    }
}

TEST_F(CrtHttpTest, RedirectIsFollowedWithTheSameBodyAndGivesTheSecondAnswer)
{
    server.route("/old", [this](const Request&) {
        return Response::empty(301).with("Location", "http://" + server.hostPort() + "/new");
    });
    server.route("/new", [](const Request& r) { return Response::text("moved:" + r.body); });
    server.route("/relative", [](const Request&) { return Response::empty(302).with("location", "/new"); });
    const std::string body = "a=1&b=2";
    int status = 0;
    EXPECT_EQ(crtfun::http_download_to_str(url("/old").c_str(), &body, &status), "moved:a=1&b=2");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(crtfun::http_download_to_str(url("/relative").c_str(), &body, &status), "moved:a=1&b=2");
    const std::vector<Request> moved = server.requests("/new");
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(moved[0].method, "POST");
    EXPECT_EQ(moved[1].method, "POST");
}

TEST_F(CrtHttpTest, RedirectLoopStopsAfterFiveRedirects)
{
    server.route("/loop", [this](const Request&) {
        return Response::empty(302).with("Location", "http://" + server.hostPort() + "/loop");
    });
    int status = -1;
    EXPECT_EQ(crtfun::http_download_to_str(url("/loop").c_str(), nullptr, &status), "");
    EXPECT_EQ(status, crtfun::kHttpNoAnswer);
    EXPECT_EQ(crtfun::gethttperror(), crtfun::kHttpErrorRedirects);
    EXPECT_EQ(server.requestCount("/loop"), 1u + crtfun::kHttpMaxRedirects);
}

TEST_F(CrtHttpTest, SilentServerAndCutBodyTimeOut)
{
    server.addFault("/silent", Fault::hangUntilStopped());
    int status = -1;
    EXPECT_EQ(crtfun::http_download_to_str(url("/silent").c_str(), nullptr, &status), "");
    EXPECT_EQ(status, crtfun::kHttpNoAnswer);
    EXPECT_EQ(crtfun::gethttperror(), crtfun::kHttpErrorNoHeader);

    // Announces ten bytes, sends five and keeps the connection open.
    server.route("/short", [](const Request&) { return Response::text("12345").with("Content-Length", "10"); });
    EXPECT_EQ(crtfun::http_download_to_str(url("/short").c_str(), nullptr, &status), "12345");
    EXPECT_EQ(status, crtfun::kHttpBodyCut);
    EXPECT_EQ(crtfun::gethttperror(), crtfun::kHttpErrorBodyCut);
}

TEST_F(CrtHttpTest, BoundedExchangeEndsAtItsDeadlineAndRefusesLongBodies)
{
    // With the engine clock 1000 times faster the service calls' deadline takes its real floor.
    ASSERT_EQ(crtfun::net_timeout_realms(crtfun::kServiceCallBounds.deadlinems), crtfun::kNetTimeoutFloorMs);
    const size_t limit = crtfun::kServiceCallBounds.maxbody;
    const crtfun::httpbounds roomy{1000u * 60u * 1000u, limit};  // a minute of real time at 1000 times
    struct Case {
        const char* name;
        std::string body;
        bool chunked;
        std::optional<Fault> fault;
        int status;
        int error;
        // The service calls' own bounds where the deadline is what is tested; elsewhere the same body
        // limit with a deadline no loaded machine reaches (the floor of one real second is short for a
        // megabyte under a sanitizer on a busy machine, and those cases are about the size).
        bool ownDeadline = false;
    };
    const std::vector<Case> cases = {
        // A byte every 20 ms: the socket's silence time-out never trips, the whole-exchange deadline does.
        {"dripping header", R"({"status":200})", false, Fault::drip(1, 20ms), crtfun::kHttpLate,
         crtfun::kHttpErrorDeadline, true},
        {"dripping body", std::string(4000, 'd'), false, Fault::drip(40, 20ms), crtfun::kHttpLate,
         crtfun::kHttpErrorDeadline, true},
        {"slow but in time", R"({"status":200})", false, Fault::drip(64, 5ms), 200, crtfun::kHttpErrorNone},
        {"at the body limit", std::string(limit, 'j'), false, std::nullopt, 200, crtfun::kHttpErrorNone},
        {"announced past the limit", std::string(limit + 1, 'j'), false, std::nullopt, crtfun::kHttpTooLong,
         crtfun::kHttpErrorBodyTooLong},
        {"chunked past the limit", std::string(2 * limit, 'j'), true, std::nullopt, crtfun::kHttpTooLong,
         crtfun::kHttpErrorBodyTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/bounded", [&c](const Request&) {
            Response response = Response::json(c.body);
            response.chunked = c.chunked;
            response.chunkSize = 65536;
            return response;
        });
        if (c.fault) {
            server.addFault("/bounded", *c.fault);
        }
        int status = -1;
        const std::string text =
            crtfun::http_download_to_str(url("/bounded").c_str(), nullptr, &status,
                                         c.ownDeadline ? crtfun::kServiceCallBounds : roomy);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(crtfun::gethttperror(), c.error);
        EXPECT_EQ(text.size(), c.status == 200 ? c.body.size() : text.size());
        if (c.status == crtfun::kHttpTooLong) {
            EXPECT_EQ(text, "");
        }
        server.clearFaults("/bounded");
    }
    // The bounds belong to their call: the next unbounded one takes a body past the limit.
    server.route("/long", [limit](const Request&) { return Response::text(std::string(limit + 1, 'x')); });
    int status = -1;
    EXPECT_EQ(crtfun::http_download_to_str(url("/long").c_str(), nullptr, &status).size(), limit + 1);
    EXPECT_EQ(status, 200);
}

TEST_F(CrtHttpTest, UnreachableAndUnusableUrlsFailWithTheirErrors)
{
    struct Case {
        std::string url;
        int error;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:" + std::to_string(closedPort()) + "/x", crtfun::kHttpErrorConnect},
        {"https://127.0.0.1/x", crtfun::kHttpErrorHost},
        {"http://127.0.0.1:0/x", crtfun::kHttpErrorHost},
        {"http://127.0.0.1:99999/x", crtfun::kHttpErrorHost},
        {"http://127.0.0.1/a\r\nX-Injected: 1", crtfun::kHttpErrorHost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        int status = -1;
        EXPECT_EQ(crtfun::http_download_to_str(c.url.c_str(), nullptr, &status), "");
        EXPECT_EQ(status, crtfun::kHttpNoAnswer);
        EXPECT_EQ(crtfun::gethttperror(), c.error);
    }
}

TEST_F(CrtHttpTest, CallbackSeesConnectHeaderAndDataAndCanStop)
{
    server.route("/d", [](const Request&) { return Response::text(std::string(10000, 'd')); });
    struct Seen {
        std::vector<int> kinds;
        long long announced = 0;
        size_t bytes = 0;
        bool stop = false;
    } seen;
    auto callback = [](int type, long long n1, long long, const char*, size_t length, void* context) {
        auto* s = static_cast<Seen*>(context);
        s->kinds.push_back(type);
        if (type == crtfun::kHttpCbData) {
            s->announced = n1;
            s->bytes += length;
            return !s->stop;
        }
        return true;
    };
    EXPECT_EQ(crtfun::http_download_callback(url("/d").c_str(), callback, &seen, nullptr), 200);
    ASSERT_GE(seen.kinds.size(), 3u);
    EXPECT_EQ(seen.kinds[0], crtfun::kHttpCbConnected);
    EXPECT_EQ(seen.kinds[1], crtfun::kHttpCbHeader);
    EXPECT_EQ(seen.announced, 10000);
    EXPECT_EQ(seen.bytes, 10000u);

    seen = Seen{};
    seen.stop = true;
    EXPECT_EQ(crtfun::http_download_callback(url("/d").c_str(), callback, &seen, nullptr), crtfun::kHttpStopped);
}

TEST(CrtHttpParts, HostAndPortFromText)
{
    struct Case {
        const char* text;
        const char* address;  // dotted, or null for 0
        int port;
    };
    const std::vector<Case> cases = {
        {"192.0.2.1:8080", "192.0.2.1", 8080},
        {"127.0.0.1", "127.0.0.1", 0},
        {"localhost:80", "127.0.0.1", 80},
        {"127.0.0.1:http", "127.0.0.1", 0},
        {"1.2.3:80", nullptr, 80},
        {"", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int port = -1;
        const uint32_t address = crtfun::get_ip_port_by_name(c.text, &port);
        EXPECT_EQ(port, c.port);
        if (c.address == nullptr) {
            EXPECT_EQ(address, 0u);
        } else {
            in_addr expected{};
            ASSERT_EQ(inet_pton(AF_INET, c.address, &expected), 1);
            EXPECT_EQ(address, expected.s_addr);
        }
    }
}

TEST(CrtHttpParts, ChunkedBodyDecodesWhateverTheSplitOfItsBytes)
{
    const std::string coded = "5;ext=1\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nTrailer: x\r\n\r\nNEXT";
    const std::string decoded = "helloabcdefghijklmnopqrstuvwxyz";
    const size_t codedend = coded.size() - 4;
    for (size_t split = 0; split <= coded.size(); ++split) {
        SCOPED_TRACE(split);
        crtfun::httpchunkdecoder decoder;
        std::string out;
        size_t used1 = 0;
        size_t used2 = 0;
        decoder.feed(coded.data(), split, out, &used1);
        const auto state = decoder.feed(coded.data() + split, coded.size() - split, out, &used2);
        EXPECT_EQ(state, crtfun::httpchunkdecoder::kDone);
        EXPECT_EQ(out, decoded);
        // The bytes after the coded body are left alone.
        EXPECT_EQ(used1 + used2, codedend);
    }
}

TEST(CrtHttpParts, MalformedChunkingIsAnErrorNotAMisreading)
{
    const std::vector<std::string> cases = {
        "zz\r\nhello\r\n0\r\n\r\n",                       // size not hexadecimal
        "5\r\nhelloXX0\r\n\r\n",                          // no line break after the data
        std::string(2000, '1') + "\r\n",                  // size line beyond any sensible length
        "fffffffffffffffff\r\n",                          // size beyond 60 bits
        "\r\n",                                           // empty size line
    };
    for (const std::string& coded : cases) {
        SCOPED_TRACE(coded.substr(0, 40));
        crtfun::httpchunkdecoder decoder;
        std::string out;
        EXPECT_EQ(decoder.feed(coded.data(), coded.size(), out), crtfun::httpchunkdecoder::kError);
    }
}

TEST(CrtHttpParts, StatusLineAndHeaderValues)
{
    EXPECT_EQ(crtfun::http_parsestatusline("HTTP/1.1 200 OK"), 200);
    EXPECT_EQ(crtfun::http_parsestatusline("HTTP/1.0 404"), 404);
    EXPECT_EQ(crtfun::http_parsestatusline("HTTP/1.1 2"), -1);
    EXPECT_EQ(crtfun::http_parsestatusline("HTTP/1.1 2000 x"), -1);
    EXPECT_EQ(crtfun::http_parsestatusline("ICY 200 OK"), -1);

    const std::string header = "HTTP/1.1 200 OK\r\ncontent-LENGTH:  12 \r\nX-Location: no\r\nLocation: http://h/x";
    std::string value;
    ASSERT_TRUE(crtfun::http_headervalue(header, "Content-Length", value));
    EXPECT_EQ(value, "12");
    ASSERT_TRUE(crtfun::http_headervalue(header, "location", value));
    EXPECT_EQ(value, "http://h/x");
    EXPECT_FALSE(crtfun::http_headervalue(header, "Transfer-Encoding", value));
}

}  // namespace
