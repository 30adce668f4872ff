// The stand-in's HTTP server: framing, keep-alive, the request record and its bounds.
#include "service/HttpServer.h"
#include "service/TestHttpClient.h"

#include "Cases.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace standin {
namespace {

using namespace std::chrono_literals;

ServerOptions testOptions()
{
    ServerOptions options;
    options.lifetime = 30s;
    return options;
}

// Answers "<method> <target> <body>".
Response echo(const Request& request)
{
    return Response::text(request.method + " " + request.target + " " + request.body);
}

TEST(HttpServer, AnswersPipelinedRequestsInOrderOnOneConnection)
{
    HttpServer server(testOptions());
    server.route("/echo", echo);
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.connected());

    // Three requests in one write: a GET, a POST with a length, a POST in chunks.
    ASSERT_TRUE(client.sendRaw(TestHttpClient::format("GET", "/echo?n=1", "") +
                               TestHttpClient::format("POST", "/echo?n=2", "second") +
                               "POST /echo?n=3 HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "5\r\nthird\r\n0\r\n\r\n"));
    for (const char* expected : {"GET /echo?n=1 ", "POST /echo?n=2 second", "POST /echo?n=3 third"}) {
        auto response = client.readResponse();
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 200);
        EXPECT_EQ(response->body, expected);
    }
    // The connection is still usable afterwards.
    auto fourth = client.request("GET", "/echo?n=4");
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->body, "GET /echo?n=4 ");

    auto records = server.requests();
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].connection, records[0].connection);
        EXPECT_EQ(records[i].sequence, i);
        EXPECT_EQ(records[i].index, i);
        EXPECT_EQ(records[i].outcome, Outcome::Answered);
    }
    EXPECT_EQ(server.connectionsAccepted(), 1u);
}

struct BodyCase {
    const char* name;
    std::string request;
    std::string body;    // decoded
    std::string rawBody; // as sent
};

class HttpServerBodies : public ::testing::TestWithParam<BodyCase> {};

TEST_P(HttpServerBodies, AreDecodedAndKeptAsSent)
{
    const BodyCase& c = GetParam();
    HttpServer server(testOptions());
    server.route("/b", echo);
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.sendRaw(c.request));
    auto response = client.readResponse();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->body, "POST /b " + c.body);

    auto records = server.requests();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].body, c.body);
    EXPECT_EQ(records[0].rawBody, c.rawBody);
    EXPECT_EQ(records[0].raw(), c.request);
}

const std::string kBinary("\0\r\n\xff", 4);
const std::string kChunkedHead = "POST /b HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Framing, HttpServerBodies,
    ::testing::Values(
        BodyCase{"Length", "POST /b HTTP/1.1\r\nContent-Length: 11\r\n\r\nhello world", "hello world", "hello world"},
        BodyCase{"ZeroLength", "POST /b HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "", ""},
        BodyCase{"LengthWithBinaryBytes", "POST /b HTTP/1.1\r\ncontent-length: 4\r\n\r\n" + kBinary, kBinary, kBinary},
        BodyCase{"OneChunk", kChunkedHead + "5\r\nhello\r\n0\r\n\r\n", "hello", "5\r\nhello\r\n0\r\n\r\n"},
        BodyCase{"ChunksWithExtensionAndUpperHex", kChunkedHead + "3;x=1\r\nabc\r\nA\r\n0123456789\r\n0\r\n\r\n",
                 "abc0123456789", "3;x=1\r\nabc\r\nA\r\n0123456789\r\n0\r\n\r\n"},
        BodyCase{"ChunksWithTrailer", kChunkedHead + "2\r\nok\r\n0\r\nX-Check: 1\r\n\r\n", "ok",
                 "2\r\nok\r\n0\r\nX-Check: 1\r\n\r\n"},
        BodyCase{"ChunkedWinsOverLength",
                 "POST /b HTTP/1.1\r\nContent-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\n0\r\n\r\n", "z",
                 "1\r\nz\r\n0\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpServer, RecordsTheRequestExactlyAsSentWithParsedHelpers)
{
    HttpServer server(testOptions());
    server.route("/m/request-upload.json", [](const Request&) { return Response::json(R"({"status":200})"); });
    TestHttpClient client(server.port());
    const std::string sent = "GET /m/request-upload.json?token=a+b%2Fc&title=%E4%BD%A0%20x&empty=&flag&bad=%zz"
                             " HTTP/1.1\r\n"
                             "User-Agent: httpdownloader\r\n"
                             "accept:*/*\r\n"
                             "X-Twice: one\r\n"
                             "Host:   127.0.0.1  \r\n"
                             "X-Twice: two\r\n"
                             "\r\n";
    ASSERT_TRUE(client.sendRaw(sent));
    ASSERT_TRUE(client.readResponse());

    auto records = server.requests("/m/request-upload.json");
    ASSERT_EQ(records.size(), 1u);
    const Request& r = records[0];
    EXPECT_EQ(r.head, sent);
    EXPECT_EQ(r.requestLine, sent.substr(0, sent.find("\r\n")));
    EXPECT_EQ(r.headerLines, (std::vector<std::string>{"User-Agent: httpdownloader", "accept:*/*", "X-Twice: one",
                                                       "Host:   127.0.0.1  ", "X-Twice: two"}));
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/m/request-upload.json");
    EXPECT_EQ(r.query, "token=a+b%2Fc&title=%E4%BD%A0%20x&empty=&flag&bad=%zz");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.param("token"), "a+b/c");
    EXPECT_EQ(r.param("title"), "\xE4\xBD\xA0 x");
    EXPECT_EQ(r.param("empty"), "");
    EXPECT_EQ(r.param("flag"), "");
    EXPECT_EQ(r.param("bad"), "%zz");
    EXPECT_EQ(r.param("missing"), std::nullopt);
    EXPECT_EQ(r.header("user-agent"), "httpdownloader");
    EXPECT_EQ(r.header("ACCEPT"), "*/*");
    EXPECT_EQ(r.header("Host"), "127.0.0.1");
    EXPECT_EQ(r.header("x-twice"), "one");
    EXPECT_EQ(r.header("Connection"), std::nullopt);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.fault.empty());
}

TEST(HttpServer, ReadsAFormBody)
{
    HttpServer server(testOptions());
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.request("POST", "/m/with.json", "suids=1,2&token=T%2B&scid=S&vend="));
    auto records = server.requests("/m/with.json");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].formParams(), (Params{{"suids", "1,2"}, {"token", "T+"}, {"scid", "S"}, {"vend", ""}}));
}

TEST(HttpServer, AnswersUnknownPathsWith404AndLetsRoutesBeReplaced)
{
    HttpServer server(testOptions());
    server.route("/a", [](const Request&) { return Response::text("first"); });
    server.route("/a", [](const Request&) { return Response::text("second"); });
    TestHttpClient client(server.port());

    auto unknown = client.request("GET", "/a/b");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    auto known = client.request("GET", "/a?x=1");
    ASSERT_TRUE(known);
    EXPECT_EQ(known->body, "second");
    EXPECT_TRUE(server.hasRoute("/a"));
    EXPECT_FALSE(server.hasRoute("/a/b"));
}

TEST(HttpServer, SendsLengthsAndChunksAsTheResponseAsks)
{
    HttpServer server(testOptions());
    std::string big(2500, 'x');
    big[1234] = 'y';
    server.route("/chunked", [&](const Request&) {
        Response response = Response::text(big);
        response.chunked = true;
        return response;
    });
    server.route("/plain", [](const Request&) { return Response::json(R"({"status":200})"); });
    server.route("/throws", [](const Request&) -> Response { throw std::runtime_error("boom"); });
    TestHttpClient client(server.port());

    auto chunked = client.request("GET", "/chunked");
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->body, big);
    EXPECT_EQ(chunked->header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(chunked->header("Content-Length"), std::nullopt);

    auto plain = client.request("GET", "/plain");
    ASSERT_TRUE(plain);
    // Exact case: the engine's client looks for this text as it stands.
    EXPECT_NE(plain->raw.find("\r\nContent-Length: 14\r\n"), std::string::npos);
    EXPECT_EQ(plain->raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    auto failed = client.request("GET", "/throws");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 500);
    EXPECT_NE(failed->body.find("boom"), std::string::npos);

    auto head = client.request("HEAD", "/plain");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->body, "");
    auto after = client.request("GET", "/plain");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->body, R"({"status":200})");
}

struct CloseCase {
    const char* name;
    std::string request;
    bool closes;
};

class HttpServerConnection : public ::testing::TestWithParam<CloseCase> {};

TEST_P(HttpServerConnection, ClosesOnlyWhenTheClientAsks)
{
    const CloseCase& c = GetParam();
    HttpServer server(testOptions());
    server.route("/x", echo);
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.sendRaw(c.request));
    auto response = client.readResponse();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->header("Connection") == "close", c.closes);
    if (c.closes) {
        EXPECT_TRUE(client.waitForClose());
    } else {
        auto again = client.request("GET", "/x");
        ASSERT_TRUE(again);
        EXPECT_EQ(again->status, 200);
    }
}

INSTANTIATE_TEST_SUITE_P(
    KeepAlive, HttpServerConnection,
    ::testing::Values(CloseCase{"Http11", "GET /x HTTP/1.1\r\n\r\n", false},
                      CloseCase{"Http11Close", "GET /x HTTP/1.1\r\nConnection: Close\r\n\r\n", true},
                      CloseCase{"Http10", "GET /x HTTP/1.0\r\n\r\n", true},
                      CloseCase{"Http10KeepAlive", "GET /x HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", false},
                      CloseCase{"BlankLineBefore", "\r\nGET /x HTTP/1.1\r\n\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    std::string request;
    int status;
};

class HttpServerRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(HttpServerRefusal, AnswersAndCloses)
{
    const RefusalCase& c = GetParam();
    ServerOptions options = testOptions();
    options.maxHeaderBytes = 256;
    options.maxBodyBytes = 64;
    HttpServer server(options);
    server.route("/x", echo);
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.sendRaw(c.request));
    auto response = client.readResponse();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, c.status);
    EXPECT_TRUE(client.waitForClose());
    ASSERT_TRUE(server.waitForRequests(1, kWait));
    EXPECT_EQ(server.requests()[0].status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, HttpServerRefusal,
    ::testing::Values(
        RefusalCase{"NoVersion", "GET /x\r\n\r\n", 400},
        RefusalCase{"NotHttp", "GET /x SPDY/3\r\n\r\n", 400},
        RefusalCase{"HeaderWithoutColon", "GET /x HTTP/1.1\r\nnonsense\r\n\r\n", 400},
        RefusalCase{"FoldedHeader", "GET /x HTTP/1.1\r\nA: 1\r\n  2\r\n\r\n", 400},
        RefusalCase{"BadLength", "POST /x HTTP/1.1\r\nContent-Length: 1x\r\n\r\n1", 400},
        RefusalCase{"ConflictingLengths", "POST /x HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n12", 400},
        RefusalCase{"BadChunkSize", "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
        RefusalCase{"ChunkWithoutLineEnd", "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabcd", 400},
        RefusalCase{"UnknownCoding", "POST /x HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", 400},
        RefusalCase{"HeaderTooLarge", "GET /x HTTP/1.1\r\nX-Big: " + std::string(300, 'a') + "\r\n\r\n", 431},
        RefusalCase{"LengthTooLarge", "POST /x HTTP/1.1\r\nContent-Length: 65\r\n\r\n", 413},
        RefusalCase{"ChunksTooLarge",
                    "POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n" + std::string(64, 'a') +
                        "\r\n1\r\n",
                    413}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpServer, ClosesAfterTheLastRequestAllowedOnAConnection)
{
    ServerOptions options = testOptions();
    options.maxRequestsPerConnection = 2;
    HttpServer server(options);
    server.route("/x", echo);
    TestHttpClient client(server.port());
    auto first = client.request("GET", "/x");
    auto second = client.request("GET", "/x");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->header("Connection"), std::nullopt);
    EXPECT_EQ(second->header("Connection"), "close");
    EXPECT_TRUE(client.waitForClose());
}

TEST(HttpServer, RecordsARequestCutShortByTheClient)
{
    HttpServer server(testOptions());
    {
        TestHttpClient client(server.port());
        ASSERT_TRUE(client.sendRaw("POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"));
    }
    ASSERT_TRUE(server.waitForRequests(1, kWait));
    auto records = server.requests();
    EXPECT_EQ(records[0].outcome, Outcome::Incomplete);
    EXPECT_EQ(records[0].rawBody, "abc");
    EXPECT_EQ(records[0].status, 0);
}

TEST(HttpServer, StopsByItselfWhenItsLifetimeEnds)
{
    ServerOptions options = testOptions();
    options.lifetime = 200ms;
    HttpServer server(options);
    server.route("/x", echo);
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.request("GET", "/x"));

    ASSERT_TRUE(server.waitUntilStopped(kWait));
    // The kept-alive connection is ended and no new one is taken.
    EXPECT_TRUE(client.waitForClose());
    TestHttpClient late(server.port(), 2s);
    EXPECT_FALSE(late.connected() && late.request("GET", "/x"));
}

TEST(HttpServer, RefusesConnectionsBeyondItsLimit)
{
    ServerOptions options = testOptions();
    options.maxConnections = 2;
    HttpServer server(options);
    server.route("/x", echo);
    auto first = std::make_unique<TestHttpClient>(server.port());
    TestHttpClient second(server.port());
    ASSERT_TRUE(first->request("GET", "/x"));
    ASSERT_TRUE(second.request("GET", "/x"));

    TestHttpClient third(server.port());
    EXPECT_TRUE(third.waitForClose());
    EXPECT_TRUE(server.waitUntil([&] { return server.connectionsRefused() == 1; }, kWait));

    // A slot freed is a slot available again.
    first.reset();
    ASSERT_TRUE(server.waitUntil([&] { return server.connectionsOpen() == 1; }, kWait));
    TestHttpClient fourth(server.port());
    auto answer = fourth.request("GET", "/x");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(server.connectionsAccepted(), 3u);
}

TEST(HttpServer, ServesConnectionsConcurrently)
{
    HttpServer server(testOptions());
    // The first request is answered only once the second one, on another connection, has arrived.
    server.route("/first", [&](const Request&) {
        bool seen = server.waitUntil([&] { return server.requestCount("/second") == 1; }, kWait);
        return Response::text(seen ? "saw second" : "alone");
    });
    server.route("/second", echo);
    TestHttpClient a(server.port());
    TestHttpClient b(server.port());
    ASSERT_TRUE(a.sendRaw(TestHttpClient::format("GET", "/first", "")));
    auto second = b.request("GET", "/second");
    auto first = a.readResponse();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->body, "saw second");
}

TEST(HttpServer, WaitUntilGivesUpAtItsDeadline)
{
    HttpServer server(testOptions());
    EXPECT_FALSE(server.waitForRequests(1, 50ms));
}

TEST(HttpServer, ClearsItsRecordWithoutReusingIndexes)
{
    HttpServer server(testOptions());
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.request("GET", "/a"));
    server.clearRequests();
    EXPECT_EQ(server.requestCount(), 0u);
    ASSERT_TRUE(client.request("GET", "/b"));
    auto records = server.requests();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, "/b");
    EXPECT_EQ(records[0].index, 1u);
}

TEST(HttpServer, KeepsOnlyTheNewestRecordsWhenBounded)
{
    ServerOptions options = testOptions();
    options.maxRecords = 2;
    HttpServer server(options);
    TestHttpClient client(server.port());
    for (const char* path : {"/1", "/2", "/3"}) {
        ASSERT_TRUE(client.request("GET", path));
    }
    auto records = server.requests();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].path, "/2");
    EXPECT_EQ(records[1].path, "/3");
    EXPECT_EQ(records[1].index, 2u);
}

TEST(HttpServer, ReportsEveryRequestToItsObserver)
{
    std::atomic<int> seen{0};
    ServerOptions options = testOptions();
    options.onRequest = [&](const Request& request) {
        if (request.path == "/x") {
            ++seen;
        }
    };
    HttpServer server(options);
    TestHttpClient client(server.port());
    ASSERT_TRUE(client.request("GET", "/x"));
    ASSERT_TRUE(client.request("GET", "/x"));
    EXPECT_EQ(seen.load(), 2);
}

} // namespace
} // namespace standin
