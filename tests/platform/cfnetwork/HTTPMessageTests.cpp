// HTTP messages, the request head the stream writes and the response parser's framing.
#include <gtest/gtest.h>

#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/cfnetwork/HTTPWire.h"

namespace {

Ref<CFHTTPMessage> request(const std::string& url, const std::string& method = "GET",
                           const char* version = kCFHTTPVersion1_1)
{
    return CFHTTPMessage::createRequest(method, NSURL::URLWithString(url), version);
}

TEST(CFHTTPMessageTest, RequestsNeedATokenMethodAnHttpURLAndAKnownVersion)
{
    EXPECT_TRUE(request("HTTPS://h/"));
    EXPECT_TRUE(request("http://h/", "PROPFIND"));
    EXPECT_FALSE(request("http://h/", "GET /x"));
    EXPECT_FALSE(request("http://h/", ""));
    EXPECT_FALSE(request("http://h/", "GET", "HTTP/2"));
    EXPECT_FALSE(CFHTTPMessage::createRequest("GET", nullptr, kCFHTTPVersion1_1));
}

TEST(CFHTTPMessageTest, HeaderFieldsRefuseLineBreaks)
{
    auto m = request("http://h/");
    EXPECT_TRUE(m->setHeaderFieldValue("X-A", "1"));
    const std::pair<const char*, std::string> refused[] = {
        {"X-A", "1\r\nX-Injected: 2"}, {"X-A", "1\n2"}, {"X-A", std::string("1\0", 2)},
        {"X A", "1"},                  {"X-A:", "1"},   {"", "1"},
    };
    for (const auto& [name, value] : refused) {
        SCOPED_TRACE(::testing::PrintToString(value));
        EXPECT_FALSE(m->setHeaderFieldValue(name, value));
    }
    EXPECT_EQ(m->copyHeaderFieldValue("x-a"), "1");
    EXPECT_TRUE(m->setHeaderFieldValue("x-a", "2"));  // replaces, whatever the case
    EXPECT_EQ(m->copyAllHeaderFields().count(), 1u);
    EXPECT_EQ(m->copyHeaderFieldValue("X-A"), "2");
    EXPECT_TRUE(m->setHeaderFieldValue("X-A", std::nullopt));
    EXPECT_FALSE(m->copyHeaderFieldValue("X-A"));
}

TEST(CFHTTPMessageTest, SerializesAndParsesInPieces)
{
    auto m = request("http://h:8/a%20b?c=d#f", "POST");
    m->setHeaderFieldValue("X-One", "1");
    m->setBody("payload");
    EXPECT_EQ(m->copySerializedMessage(), "POST /a%20b?c=d HTTP/1.1\r\nX-One: 1\r\n\r\npayload");

    const std::string wire = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nX-Multi: a\r\nx-multi: b\r\n\r\nbody";
    auto response = CFHTTPMessage::createEmpty(false);
    for (char c : wire) {
        ASSERT_TRUE(response->appendBytes(&c, 1));
    }
    EXPECT_TRUE(response->isHeaderComplete());
    EXPECT_EQ(response->getResponseStatusCode(), 404);
    EXPECT_EQ(response->copyResponseStatusLine(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(response->copyHeaderFieldValue("X-MULTI"), "a, b");
    EXPECT_EQ(response->copyBody(), "body");
    auto bad = CFHTTPMessage::createEmpty(false);
    EXPECT_FALSE(bad->appendBytes("ICY 200 OK\r\n", 12));
}

TEST(RequestHeadTest, HostFramingAndConnectionAreAddedAsNeeded)
{
    auto m = request("http://user:pw@127.0.0.1:8080/p?q");
    m->setHeaderFieldValue("Proxy-Authorization", "Basic x");
    m->setHeaderFieldValue("Accept", "*/*");
    HTTPWire::RequestHeadOptions direct;
    direct.persistent = true;
    EXPECT_EQ(HTTPWire::requestHead(*m, direct),
              "GET /p?q HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nAccept: */*\r\n\r\n");

    HTTPWire::RequestHeadOptions proxied;
    proxied.absoluteForm = true;
    proxied.sendProxyAuthorization = true;
    EXPECT_EQ(HTTPWire::requestHead(*m, proxied),
              "GET http://127.0.0.1:8080/p?q HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nProxy-Authorization: Basic x\r\n"
              "Accept: */*\r\nConnection: close\r\n\r\n");

    auto post = request("http://[::1]/up", "POST", kCFHTTPVersion1_0);
    post->setHeaderFieldValue("Host", "custom");
    HTTPWire::RequestHeadOptions body;
    body.persistent = true;
    body.contentLength = 12;
    EXPECT_EQ(HTTPWire::requestHead(*post, body),
              "POST /up HTTP/1.0\r\nHost: custom\r\nContent-Length: 12\r\nConnection: keep-alive\r\n\r\n");
    HTTPWire::RequestHeadOptions chunked;
    chunked.chunkedBody = true;
    chunked.persistent = true;
    EXPECT_EQ(HTTPWire::requestHead(*request("http://[::1]/up", "PUT"), chunked),
              "PUT /up HTTP/1.1\r\nHost: [::1]\r\nTransfer-Encoding: chunked\r\n\r\n");
}

struct Parsed {
    HTTPWire::ResponseParser::State state;
    std::string body;
    size_t consumed;
    bool reusable;
};

Parsed parse(const std::string& wire, bool byteByByte, bool head = false, bool closeAtEnd = false)
{
    HTTPWire::ResponseParser parser(head);
    std::string body;
    size_t consumed = 0;
    if (byteByByte) {
        for (size_t i = 0; i < wire.size() && !parser.done() && !parser.failed(); ++i) {
            consumed += parser.feed(std::string_view(&wire[i], 1), body);
        }
    } else {
        consumed = parser.feed(wire, body);
    }
    if (closeAtEnd) {
        parser.finish();
    }
    return {parser.state(), body, consumed, parser.connectionReusable()};
}

TEST(ResponseParserTest, FramesBodiesWholeAndInPieces)
{
    using State = HTTPWire::ResponseParser::State;
    struct Case {
        const char* name;
        std::string wire;
        bool closeAtEnd;
        State state;
        std::string body;
        bool reusable;
    };
    const Case cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false, State::Done, "hello", true},
        {"repeated equal lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nhi", false,
         State::Done, "hi", true},
        {"chunked with extension and trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n4;ext=1\r\nWiki\r\n5\r\npedia\r\n0\r\nT: x\r\n\r\n",
         false, State::Done, "Wikipedia", true},
        {"chunked beside a length", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
         false, State::Done, "ok", false},
        {"upper-case hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n0\r\n\r\n", false,
         State::Done, "0123456789", true},
        {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", false, State::Done, "ok", true},
        {"close-delimited", "HTTP/1.1 200 OK\r\n\r\nuntil close", true, State::Done, "until close", false},
        {"1.0 default close", "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx", false, State::Done, "x", false},
        {"1.0 keep-alive", "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 1\r\n\r\nx", false,
         State::Done, "x", true},
        {"Connection: close", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx", false, State::Done,
         "x", false},
        {"interim then final", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n", false,
         State::Done, "", true},
        {"204 ignores length", "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n", false, State::Done, "", true},
        {"unknown coding is close-delimited", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nzz", true,
         State::Done, "zz", false},
        {"short body at close", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", true, State::Failed, "abc", false},
        {"cut header at close", "HTTP/1.1 200 OK\r\nContent-Le", true, State::Failed, "", false},
        {"unfinished chunks at close", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", true,
         State::Failed, "ab", false},
        {"conflicting lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", false,
         State::Failed, "", false},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, State::Failed, "", false},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, State::Failed, "",
         false},
        {"chunk without its line end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nabc\r\n", false,
         State::Failed, "a", false},
        {"protocol switch", "HTTP/1.1 101 Switching Protocols\r\n\r\n", false, State::Failed, "", false},
        {"not HTTP", "<html>hello</html>\r\n", false, State::Failed, "", false},
        {"header line without colon", "HTTP/1.1 200 OK\r\nbroken\r\n\r\n", false, State::Failed, "", false},
    };
    for (const auto& c : cases) {
        for (bool pieces : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (pieces ? " (byte by byte)" : " (whole)"));
            Parsed p = parse(c.wire, pieces, false, c.closeAtEnd);
            EXPECT_EQ(p.state, c.state);
            EXPECT_EQ(p.body, c.body);
            EXPECT_EQ(p.reusable, c.reusable);
        }
    }
    // Bytes after the response stay unconsumed (the stream treats them as a broken connection).
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false).consumed,
              std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello").size());
    // A HEAD response has no body whatever its length says.
    EXPECT_EQ(parse("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", false, true).state,
              HTTPWire::ResponseParser::State::Done);
}

TEST(ResponseParserTest, RefusesHeadersBeyondItsBounds)
{
    std::string longLine = "HTTP/1.1 200 OK\r\nX: " + std::string(HTTPWire::ResponseParser::kMaxLineBytes + 10, 'a');
    EXPECT_EQ(parse(longLine, false).state, HTTPWire::ResponseParser::State::Failed);
    std::string many = "HTTP/1.1 200 OK\r\n";
    while (many.size() <= HTTPWire::ResponseParser::kMaxHeaderBytes) {
        many += "X-Filler: " + std::string(1000, 'b') + "\r\n";
    }
    EXPECT_EQ(parse(many + "\r\n", false).state, HTTPWire::ResponseParser::State::Failed);
}

}  // namespace
