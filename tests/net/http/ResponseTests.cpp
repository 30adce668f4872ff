// What a request makes of the response: kept connections, redirects, character sets, gzip bodies,
// cookies, the one silent retry on a dropped connection, bodies cut short, bodies handed to the
// delegate, and downloads to a file with resume.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "HTTPTestSupport.h"
#include "net/http/HTTPDataCompressor.h"

using TestServers::RecordedRequest;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

std::string gzipped(const std::string& text)
{
    Ref<NSError> error;
    std::optional<NSData> packed = HTTPDataCompressor::compressData_error(NSData::dataWithString(text), &error);
    return packed ? packed->string() : std::string();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
}

size_t filesIn(const std::string& folder)
{
    std::error_code ignored;
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, ignored); it != std::filesystem::directory_iterator();
         ++it) {
        ++count;
    }
    return count;
}

// A text long enough to need several reads, and to compress well.
std::string longText(size_t length)
{
    std::string text;
    for (size_t i = 0; text.size() < length; ++i) {
        text += "line " + std::to_string(i) + " of the reply\n";
    }
    text.resize(length);
    return text;
}

// A delegate that takes the body as it arrives and may be asked about redirects.
class TakingDelegate : public RecordingDelegate {
public:
    bool takesData = true;
    bool asksAboutRedirects = false;
    std::string received;
    std::vector<std::string> redirectsOffered;
    std::function<void(const Ref<HTTPRequest>&, const Ref<NSURL>&)> onRedirect;

    bool respondsToSelector(std::string_view selector) const override
    {
        if (selector == kHTTPRequestDidReceiveDataSelector) {
            return takesData;
        }
        if (selector == kHTTPRequestWillRedirectSelector) {
            return asksAboutRedirects;
        }
        return RecordingDelegate::respondsToSelector(selector);
    }
    void request_didReceiveData(const Ref<HTTPRequest>&, const NSData& data) override { received += data.string(); }
    void request_willRedirectToURL(const Ref<HTTPRequest>& request, const Ref<NSURL>& newURL) override
    {
        redirectsOffered.push_back(newURL ? newURL->absoluteString() : "(null)");
        if (onRedirect) {
            onRedirect(request, newURL);
        }
    }
};

class HTTPResponseTest : public HTTPRequestTest {
protected:
    HTTPResponseTest()
    {
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        HTTPRequest::setSessionCookies({});
    }

    // Runs `r` synchronously with a recording delegate; answers the delegate.
    std::shared_ptr<RecordingDelegate> run(const Ref<HTTPRequest>& r)
    {
        auto delegate = std::make_shared<RecordingDelegate>();
        r->setDelegate(delegate);
        r->startSynchronous();
        return delegate;
    }
};

// ---- Kept connections ------------------------------------------------------------------------------------

TEST_F(HTTPResponseTest, KeepAliveFollowsTheResponsesConnectionHeaders)
{
    struct Case {
        const char* name;
        std::string version;
        std::vector<std::string> headerLines;
        bool serverCloses;
        bool reused;
        double timeout;
    };
    const Case cases[] = {
        {"timeout 15, max 5: too few requests left", "HTTP/1.1", {"Keep-Alive: timeout=15, max=5"}, false, false, 60},
        {"timeout 15, max 6", "HTTP/1.1", {"Keep-Alive: timeout=15, max=6"}, false, true, 15},
        {"timeout 15, max 100", "HTTP/1.1", {"Keep-Alive: timeout=15, max=100"}, false, true, 15},
        {"names and values in any case", "HTTP/1.1", {"connection: Keep-Alive", "keep-alive: timeout=7, max=50"},
         false, true, 7},
        {"HTTP/1.1 without Keep-Alive", "HTTP/1.1", {}, false, true, 60},
        {"Connection: close", "HTTP/1.1", {}, true, false, 60},
        {"HTTP/1.0 without keep-alive", "HTTP/1.0", {}, false, false, 60},
        {"HTTP/1.0 with keep-alive", "HTTP/1.0", {"Connection: keep-alive"}, false, true, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reply reply = Reply::ok("first");
        reply.version = c.version;
        reply.headerLines = c.headerLines;
        reply.keepAlive = !c.serverCloses;
        server.enqueue(reply);
        const size_t before = server.requestCount();
        auto first = request("/first");
        first->startSynchronous();
        ASSERT_EQ(first->responseStatusCode(), 200);
        EXPECT_EQ(first->responseString(), "first");
        EXPECT_EQ(first->connectionCanBeReused(), c.reused);
        EXPECT_EQ(first->persistentConnectionTimeoutSeconds(), c.timeout);
        auto second = request("/second");
        second->startSynchronous();
        ASSERT_EQ(second->responseStatusCode(), 200);
        const auto recorded = server.requests();
        ASSERT_EQ(recorded.size(), before + 2);
        EXPECT_EQ(recorded[before + 1].connection == recorded[before].connection, c.reused);
    }
}

// ---- Redirects -------------------------------------------------------------------------------------------

TEST_F(HTTPResponseTest, RedirectsChangeTheMethodOrKeepItByStatus)
{
    struct Case {
        int status;
        bool rfc2616;
        bool keepsPost;
    };
    const Case cases[] = {{301, false, false}, {302, false, false}, {303, false, false}, {307, false, true},
                          {301, true, true},   {302, true, true},   {303, true, false}};
    server.setHandler([](const RecordedRequest& r) {
        if (r.target.rfind("/form/", 0) == 0) {
            Reply redirect = Reply::withStatus(std::stoi(r.target.substr(6)), "Moved", "<p>moved</p>");
            // Resolved against the current URL.
            redirect.headerLines = {"location: ../landing?from=" + r.target.substr(6)};
            return redirect;
        }
        return Reply::ok("landed " + r.method + " " + r.body);
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + (c.rfc2616 ? " with RFC 2616 behaviour" : ""));
        const size_t before = server.requestCount();
        auto form = request("/form/" + std::to_string(c.status));
        form->setRequestMethod("POST");
        form->addRequestHeader_value("User-Agent", "Probe/1");
        form->addRequestHeader_value("Accept", "application/json");
        form->addRequestHeader_value("Content-Type", "application/x-www-form-urlencoded");
        form->addRequestHeader_value("X-Extra", "1");
        form->appendPostData(NSData::dataWithString("a=1&b=2"));
        form->setShouldUseRFC2616RedirectBehaviour(c.rfc2616);
        int redirectedBlocks = 0;
        form->setRequestRedirectedBlock([&] { ++redirectedBlocks; });
        auto delegate = run(form);
        ASSERT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "started", "headers", "finished"}));
        EXPECT_EQ(redirectedBlocks, 1);
        EXPECT_EQ(form->redirectCount(), 1);
        EXPECT_EQ(form->url()->absoluteString(), server.url("/landing?from=" + std::to_string(c.status)));
        EXPECT_EQ(form->originalURL()->absoluteString(), server.url("/form/" + std::to_string(c.status)));

        const auto recorded = server.requests();
        ASSERT_EQ(recorded.size(), before + 2);
        const RecordedRequest& followed = recorded[before + 1];
        EXPECT_EQ(followed.target, "/landing?from=" + std::to_string(c.status));
        EXPECT_EQ(followed.header("User-Agent"), "Probe/1");
        EXPECT_EQ(followed.header("Accept"), "application/json");
        EXPECT_EQ(followed.header("vend"), "lumo");
        EXPECT_EQ(followed.header("Accept-Encoding"), "gzip");
        if (c.keepsPost) {
            EXPECT_EQ(followed.method, "POST");
            EXPECT_EQ(followed.body, "a=1&b=2");
            EXPECT_EQ(followed.header("X-Extra"), "1");
            EXPECT_EQ(form->responseString(), "landed POST a=1&b=2");
        } else {
            EXPECT_EQ(followed.method, "GET");
            EXPECT_EQ(followed.body, "");
            EXPECT_FALSE(followed.hasHeader("Content-Length"));
            EXPECT_FALSE(followed.hasHeader("Content-Type"));
            EXPECT_FALSE(followed.hasHeader("X-Extra"));
            EXPECT_EQ(form->requestMethod(), "GET");
            EXPECT_EQ(form->responseString(), "landed GET ");
        }
    }
}

TEST_F(HTTPResponseTest, AKeptRedirectSendsABodyStreamedFromDiskAgain)
{
    Reply redirect = Reply::withStatus(307, "Temporary Redirect");
    redirect.headerLines = {"Location: /upload-here"};
    server.enqueue(redirect);
    const std::string body = longText(100000);
    auto upload = request("/upload");
    upload->setShouldStreamPostDataFromDisk(true);
    upload->appendPostData(NSData::dataWithString(body));
    const std::string file = upload->postBodyFilePath();
    ASSERT_EQ(run(upload)->count("finished"), 1u);
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[1].method, "POST");
    EXPECT_EQ(recorded[1].body, body);
    EXPECT_FALSE(std::filesystem::exists(file));  // the request's own file is gone once it has ended
}

TEST_F(HTTPResponseTest, FiveRedirectsAreFollowedAndTheSixthFailsWithCode9)
{
    server.setHandler([](const RecordedRequest& r) {
        const int step = std::stoi(r.target.substr(r.target.rfind('/') + 1));
        const int last = r.target.rfind("/chain5/", 0) == 0 ? 5 : 100;
        if (step >= last) {
            return Reply::ok("end");
        }
        Reply redirect = Reply::withStatus(302, "Found");
        redirect.headerLines = {"Location: " + std::to_string(step + 1)};
        return redirect;
    });
    auto five = request("/chain5/0");
    auto fiveDelegate = run(five);
    EXPECT_EQ(fiveDelegate->names().back(), "finished");
    EXPECT_EQ(five->responseString(), "end");
    EXPECT_EQ(five->redirectCount(), 5);

    const size_t before = server.requestCount();
    auto endless = request("/endless/0");
    auto delegate = run(endless);
    ASSERT_EQ(delegate->count("failed"), 1u);
    EXPECT_EQ(delegate->count("finished"), 0u);
    ASSERT_TRUE(endless->error());
    EXPECT_EQ(endless->error()->code(), HTTPErrorTooManyRedirects);
    EXPECT_EQ(endless->error()->localizedDescription(), "The request failed because it redirected too many times");
    EXPECT_EQ(server.requestCount() - before, 6u);  // the first request and five redirects
    EXPECT_TRUE(endless->isFinished());
}

TEST_F(HTTPResponseTest, ARedirectToSomethingThatIsNoWebURLFailsWithCode5)
{
    for (const char* location : {"http://bad host/", "file:///etc/passwd", "ftp://127.0.0.1/x"}) {
        SCOPED_TRACE(location);
        Reply redirect = Reply::withStatus(302, "Found");
        redirect.headerLines = {std::string("Location: ") + location};
        server.enqueue(redirect);
        const size_t before = server.requestCount();
        auto r = request("/away");
        auto delegate = run(r);
        ASSERT_EQ(delegate->count("failed"), 1u);
        EXPECT_EQ(r->error()->code(), HTTPErrorBadURL);
        EXPECT_EQ(server.requestCount(), before + 1);
    }
}

TEST_F(HTTPResponseTest, ASynchronousRequestFollowsARedirectWithoutAsking)
{
    server.setHandler([](const RecordedRequest& r) {
        if (r.target == "/from") {
            Reply redirect = Reply::withStatus(301, "Moved Permanently");
            redirect.headerLines = {"Location: /to"};
            return redirect;
        }
        return Reply::ok("arrived");
    });
    auto delegate = std::make_shared<TakingDelegate>();
    delegate->takesData = false;
    delegate->asksAboutRedirects = true;
    auto r = request("/from");
    r->setDelegate(delegate);
    r->startSynchronous();
    EXPECT_TRUE(delegate->redirectsOffered.empty());
    EXPECT_EQ(delegate->count("finished"), 1u);
    EXPECT_EQ(r->responseString(), "arrived");
}

TEST_F(HTTPResponseTest, ADelegateAskedAboutARedirectContinuesOrCancelsIt)
{
    server.setHandler([](const RecordedRequest& r) {
        if (r.target == "/from") {
            Reply redirect = Reply::withStatus(302, "Found", "not for the delegate");
            redirect.headerLines = {"Location: /to"};
            return redirect;
        }
        return Reply::ok("arrived");
    });
    auto delegate = std::make_shared<TakingDelegate>();
    delegate->takesData = false;
    delegate->asksAboutRedirects = true;
    delegate->onRedirect = [](const Ref<HTTPRequest>& request, const Ref<NSURL>& newURL) {
        request->redirectToURL(newURL);
    };
    auto followed = request("/from");
    followed->setDelegate(delegate);
    followed->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return delegate->count("finished") + delegate->count("failed") == 1; }));
    EXPECT_EQ(delegate->redirectsOffered, std::vector<std::string>{server.url("/to")});
    EXPECT_EQ(followed->responseString(), "arrived");

    // Cancelled instead: the request fails with code 4 and leaves the queue.
    auto refusing = std::make_shared<TakingDelegate>();
    refusing->takesData = false;
    refusing->asksAboutRedirects = true;
    refusing->onRedirect = [](const Ref<HTTPRequest>& request, const Ref<NSURL>&) { request->cancel(); };
    auto cancelled = request("/from");
    cancelled->setDelegate(refusing);
    cancelled->startAsynchronous();
    ASSERT_TRUE(waitFor([&] { return refusing->count("failed") == 1 && cancelled->isFinished(); }));
    EXPECT_EQ(cancelled->error()->code(), HTTPErrorCancelled);
    EXPECT_EQ(refusing->count("finished"), 0u);
}

TEST_F(HTTPResponseTest, CredentialsAreNotCarriedToAnotherHostByAKeptRedirect)
{
    ScriptedHTTPServer other;
    server.setHandler([&](const RecordedRequest& r) {
        Reply redirect = Reply::withStatus(307, "Temporary Redirect");
        redirect.headerLines = {"Location: " + (r.target == "/same" ? server.url("/landed") : other.url("/landed"))};
        return r.target == "/landed" ? Reply::ok() : redirect;
    });
    for (const char* path : {"/same", "/other"}) {
        auto r = request(path);
        r->addRequestHeader_value("Authorization", "Basic dXNlcjpwYXNz");
        r->startSynchronous();
        ASSERT_EQ(r->responseStatusCode(), 200);
    }
    const auto here = server.requests();
    ASSERT_EQ(here.size(), 3u);
    EXPECT_EQ(here[1].target, "/landed");
    EXPECT_EQ(here[1].header("Authorization"), "Basic dXNlcjpwYXNz");
    ASSERT_EQ(other.requestCount(), 1u);
    EXPECT_FALSE(other.requests()[0].hasHeader("Authorization"));
}

// ---- Character sets --------------------------------------------------------------------------------------

TEST_F(HTTPResponseTest, TheBodyIsDecodedInTheCharsetTheResponseNames)
{
    const std::string chinese = "网络连接有问题";
    const std::string gbk = *Charset::encode(chinese, CFStringConvertEncodingToNSStringEncoding(kCFStringEncodingGB_18030_2000));
    std::string latin1;  // the UTF-8 bytes read one by one as Latin-1 characters
    for (unsigned char byte : chinese) {
        Charset::appendUTF8(latin1, byte);
    }
    struct Case {
        const char* contentType;  // nullptr: no header
        std::string body;
        std::string text;
        NSStringEncoding encoding;
    };
    const Case cases[] = {
        {"content-type: application/json; charset=utf-8", chinese, chinese, NSUTF8StringEncoding},
        {"Content-Type: text/plain; Charset=\"UTF-8\"; format=flowed", chinese, chinese, NSUTF8StringEncoding},
        {"Content-Type: text/plain; charset=GB18030", gbk, chinese,
         CFStringConvertEncodingToNSStringEncoding(kCFStringEncodingGB_18030_2000)},
        {"Content-Type: application/json", chinese, latin1, NSISOLatin1StringEncoding},
        {nullptr, chinese, latin1, NSISOLatin1StringEncoding},
        {"Content-Type: text/plain; charset=no-such-charset", chinese, latin1, NSISOLatin1StringEncoding},
        {"Content-Type: text/plain; charset=utf-8", "\xff\xfe broken", "", NSUTF8StringEncoding},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType ? c.contentType : "no Content-Type");
        Reply reply = Reply::ok(c.body);
        if (c.contentType) {
            reply.headerLines = {c.contentType};
        }
        server.enqueue(reply);
        auto r = request("/text");
        r->startSynchronous();
        EXPECT_EQ(r->responseEncoding(), c.encoding);
        EXPECT_EQ(r->responseString(), c.text);
        EXPECT_EQ(r->responseData().string(), c.body);
    }

    std::string mime = "unchanged";
    NSStringEncoding encoding = NSISOLatin1StringEncoding;
    HTTPRequest::parseMimeType_andResponseEncoding_fromContentType(&mime, &encoding, " text/html ; charset=utf-8");
    EXPECT_EQ(mime, "text/html");
    EXPECT_EQ(encoding, NSUTF8StringEncoding);
    HTTPRequest::parseMimeType_andResponseEncoding_fromContentType(&mime, &encoding, "image/png");
    EXPECT_EQ(mime, "image/png");
    EXPECT_EQ(encoding, NSUTF8StringEncoding);  // no charset: left as it was
}

TEST(HTTPRequestDates, HTTPDatesWithAndWithoutWeekdayAndSeconds)
{
    struct Case {
        const char* text;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sun, 06 Nov 1994 08:49 GMT", 784111740},
        {"06 Nov 1994 08:49 GMT", 784111740},
        {"yesterday", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<NSDate> date = HTTPRequest::dateFromRFC1123String(c.text);
        ASSERT_EQ(date.has_value(), c.seconds.has_value());
        if (date) {
            EXPECT_EQ(date->timeIntervalSince1970(), *c.seconds);
        }
    }
}

// ---- Gzip ------------------------------------------------------------------------------------------------

TEST_F(HTTPResponseTest, GzipBodiesAreInflatedWhenReadOrWhileTheyArrive)
{
    const std::string text = longText(300000);
    const std::string packed = gzipped(text);
    ASSERT_LT(packed.size(), text.size() / 4);
    struct Case {
        const char* name;
        bool waits;
        bool chunked;
    };
    for (const Case& c : {Case{"inflated when read", true, false}, Case{"inflated while arriving", false, false},
                          Case{"inflated while arriving in chunks", false, true}}) {
        SCOPED_TRACE(c.name);
        Reply reply;
        reply.headerLines = {"Content-Encoding: gzip", "Content-Type: text/plain; charset=utf-8"};
        if (c.chunked) {
            for (size_t at = 0; at < packed.size(); at += 1000) {
                reply.chunks.push_back(packed.substr(at, 1000));
            }
        } else {
            reply.body = packed;
        }
        server.enqueue(reply);
        auto r = request("/gzip");
        r->setShouldWaitToInflateCompressedResponses(c.waits);
        auto delegate = run(r);
        ASSERT_EQ(delegate->count("finished"), 1u);
        EXPECT_TRUE(r->isResponseCompressed());
        EXPECT_EQ(r->rawResponseData().string(), c.waits ? packed : text);
        EXPECT_EQ(r->responseData().string(), text);
        EXPECT_EQ(r->responseString(), text);
        EXPECT_EQ(r->totalBytesRead(), packed.size());
    }
}

TEST_F(HTTPResponseTest, ACorruptGzipBodyFailsWithCode11OnlyWhenInflatedOnTheFly)
{
    // A gzip header followed by deflate blocks of a type that does not exist.
    const std::string corrupt = gzipped(longText(5000)).substr(0, 10) + std::string(200, '\xff');
    for (bool waits : {false, true}) {
        SCOPED_TRACE(waits ? "waiting" : "on the fly");
        Reply reply = Reply::ok(corrupt);
        reply.headerLines = {"Content-Encoding: gzip"};
        server.enqueue(reply);
        auto r = request("/corrupt");
        r->setShouldWaitToInflateCompressedResponses(waits);
        auto delegate = run(r);
        if (waits) {
            EXPECT_EQ(delegate->count("finished"), 1u);
            EXPECT_EQ(r->rawResponseData().string(), corrupt);
            EXPECT_TRUE(r->responseData().empty());
            EXPECT_EQ(r->responseString(), "");
        } else {
            ASSERT_EQ(delegate->count("failed"), 1u);
            EXPECT_EQ(delegate->count("finished"), 0u);
            EXPECT_EQ(r->error()->code(), HTTPErrorCompression);
        }
    }
}

// ---- Cookies ---------------------------------------------------------------------------------------------

TEST_F(HTTPResponseTest, CookiesSetByAResponseGoBackWithTheNextRequest)
{
    Reply first = Reply::ok();
    first.headerLines = {"Set-Cookie: sid=abc; Path=/", "set-cookie: lang=zh; Path=/account"};
    server.enqueue(first);
    auto login = request("/account/login");
    login->startSynchronous();
    ASSERT_EQ(login->responseCookies().size(), 2u);
    EXPECT_EQ(login->responseCookies()[0]->name(), "sid");
    EXPECT_EQ(HTTPRequest::sessionCookies().size(), 2u);

    auto next = request("/account/page");
    next->startSynchronous();
    auto elsewhere = request("/feed");
    elsewhere->startSynchronous();
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_FALSE(recorded[0].hasHeader("Cookie"));
    EXPECT_EQ(recorded[1].header("Cookie"), "lang=zh; sid=abc");
    EXPECT_EQ(recorded[2].header("Cookie"), "sid=abc");

    // A new value replaces the old one, in the jar and in the session list.
    Reply renewed = Reply::ok();
    renewed.headerLines = {"Set-Cookie: sid=def; Path=/"};
    server.enqueue(renewed);
    request("/renew")->startSynchronous();
    const auto session = HTTPRequest::sessionCookies();
    ASSERT_EQ(session.size(), 2u);
    EXPECT_EQ(session.back()->name(), "sid");
    EXPECT_EQ(session.back()->value(), "def");
    request("/feed")->startSynchronous();
    EXPECT_EQ(server.requests().back().header("Cookie"), "sid=def");

    // A cookie set by a redirect response goes with the redirected request.
    Reply signIn = Reply::withStatus(302, "Found");
    signIn.headerLines = {"Location: /home", "Set-Cookie: token=t1; Path=/"};
    server.enqueue(signIn);
    request("/sign-in")->startSynchronous();
    EXPECT_EQ(server.requests().back().target, "/home");
    EXPECT_EQ(server.requests().back().header("Cookie"), "sid=def; token=t1");

    // Without cookie persistence nothing is stored or sent.
    Reply ignored = Reply::ok();
    ignored.headerLines = {"Set-Cookie: other=1; Path=/"};
    server.enqueue(ignored);
    auto alone = request("/alone");
    alone->setUseCookiePersistence(false);
    alone->startSynchronous();
    EXPECT_FALSE(server.requests().back().hasHeader("Cookie"));
    EXPECT_EQ(alone->responseCookies().size(), 1u);
    EXPECT_EQ(HTTPRequest::sessionCookies().size(), 3u);
}

// ---- A dropped connection, a body cut short ---------------------------------------------------------------

TEST_F(HTTPResponseTest, AKeptConnectionThatTheServerDroppedIsRetriedOnceSilently)
{
    auto warm = request("/warm");
    warm->startSynchronous();
    ASSERT_TRUE(warm->connectionCanBeReused());

    // The server drops the kept connection as the next request arrives on it.
    Reply drop;
    drop.action = Reply::Action::CloseWithoutAnswer;
    server.enqueue(drop);
    server.enqueue(Reply::ok("fresh"));
    auto next = request("/next");
    auto delegate = run(next);
    EXPECT_EQ(delegate->count("failed"), 0u);
    ASSERT_EQ(delegate->count("finished"), 1u);
    EXPECT_EQ(next->responseString(), "fresh");
    EXPECT_EQ(next->retryCount(), 1);
    EXPECT_NE(next->connectionID(), warm->connectionID());
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[1].connection, recorded[0].connection);
    EXPECT_NE(recorded[2].connection, recorded[0].connection);
    EXPECT_EQ(recorded[2].target, "/next");

    // Reset twice: the one retry is spent, the second loss is a failure.
    Reply reset;
    reset.action = Reply::Action::ResetWithoutAnswer;
    server.enqueue(reset);
    server.enqueue(reset);
    auto unlucky = request("/unlucky");
    auto unluckyDelegate = run(unlucky);
    ASSERT_EQ(unluckyDelegate->count("failed"), 1u);
    EXPECT_EQ(unluckyDelegate->count("finished"), 0u);
    EXPECT_EQ(unlucky->error()->code(), HTTPErrorConnectionFailure);
    EXPECT_EQ(unlucky->error()->localizedDescription(), "A connection failure occurred");
    EXPECT_EQ(unlucky->retryCount(), 1);
    EXPECT_EQ(server.requestCount(), 5u);
}

TEST_F(HTTPResponseTest, AResponseCutShortIsAFailureNeverASuccess)
{
    struct Case {
        const char* name;
        Reply reply;
    };
    Reply truncated = Reply::ok(longText(50000));
    truncated.truncateBodyTo = 20000;
    Reply truncatedChunks;
    truncatedChunks.chunks = {longText(3000), longText(3000)};
    truncatedChunks.truncateBodyTo = 4000;
    Reply headersOnly = Reply::ok(longText(1000));
    headersOnly.action = Reply::Action::CloseAfterHeaders;
    Reply nothing;
    nothing.action = Reply::Action::CloseWithoutAnswer;
    const Case cases[] = {{"body shorter than its length", truncated},
                          {"chunked body cut short", truncatedChunks},
                          {"closed after the headers", headersOnly},
                          {"closed without an answer", nothing}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.reply);
        auto r = request("/short");
        r->setShouldAttemptPersistentConnection(false);  // a fresh connection: no retry applies
        auto delegate = run(r);
        ASSERT_EQ(delegate->count("failed"), 1u);
        EXPECT_EQ(delegate->count("finished"), 0u);
        EXPECT_EQ(r->error()->code(), HTTPErrorConnectionFailure);
        EXPECT_TRUE(r->rawResponseData().empty());
    }

    // A body delimited by the end of the connection is whole; its length is what was read.
    Reply closeDelimited = Reply::ok(longText(70000));
    closeDelimited.closeDelimited = true;
    server.enqueue(closeDelimited);
    auto r = request("/whole");
    auto delegate = run(r);
    ASSERT_EQ(delegate->count("finished"), 1u);
    EXPECT_EQ(r->contentLength(), 70000u);
    EXPECT_EQ(r->responseData().length(), 70000u);

    // A chunked body is framed by its chunks, whatever length is announced beside them.
    Reply chunkedWithLength;
    chunkedWithLength.chunks = {"abc", "def"};
    chunkedWithLength.headerLines = {"Content-Length: 100"};
    server.enqueue(chunkedWithLength);
    auto chunked = request("/chunked");
    chunked->setShouldAttemptPersistentConnection(false);
    ASSERT_EQ(run(chunked)->count("finished"), 1u);
    EXPECT_EQ(chunked->responseString(), "abcdef");

    // Answers that carry no body whatever length they announce are whole.
    struct Bodiless {
        const char* method;
        int status;
    };
    for (const Bodiless& b : {Bodiless{"HEAD", 200}, Bodiless{"GET", 204}, Bodiless{"GET", 304}}) {
        SCOPED_TRACE(std::string(b.method) + " " + std::to_string(b.status));
        Reply reply = Reply::withStatus(b.status, "Bodiless");
        reply.headerLines = {"Content-Length: 1000"};
        reply.autoFraming = false;
        server.enqueue(reply);
        auto r = request("/bodiless");
        r->setRequestMethod(b.method);
        auto bodiless = run(r);
        EXPECT_EQ(bodiless->count("finished"), 1u);
        EXPECT_EQ(r->responseStatusCode(), b.status);
        EXPECT_TRUE(r->responseData().empty());
    }

    // An HTTP error status is an answer, not a failure.
    server.enqueue(Reply::withStatus(404, "Not Found", "missing"));
    auto missing = request("/missing");
    auto missingDelegate = run(missing);
    EXPECT_EQ(missingDelegate->count("finished"), 1u);
    EXPECT_EQ(missing->responseStatusCode(), 404);
    EXPECT_EQ(missing->responseStatusMessage(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(missing->responseString(), "missing");
}

// ---- Where the body goes ---------------------------------------------------------------------------------

TEST_F(HTTPResponseTest, BodyBytesReadCountAgainstTheBandwidthMeter)
{
    HTTPRequest::resetBandwidthThrottling();
    const std::string packed = gzipped(longText(200000));
    Reply reply = Reply::ok(packed);
    reply.headerLines = {"Content-Encoding: gzip"};
    server.enqueue(reply);
    auto r = request("/metered");
    r->startSynchronous();
    ASSERT_EQ(r->responseStatusCode(), 200);
    unsigned long measured = HTTPRequest::bandwidthUsedInLastSecond();
    for (unsigned long second : HTTPRequest::bandwidthUsageTracker()) {
        measured += second;
    }
    EXPECT_EQ(measured, packed.size());  // the bytes on the wire, not the inflated text
}

TEST_F(HTTPResponseTest, ADelegateThatTakesTheBodyLeavesNothingInTheRequest)
{
    const std::string text = longText(200000);
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "gzip inflated on the fly" : "plain");
        Reply reply = Reply::ok(compressed ? gzipped(text) : text);
        if (compressed) {
            reply.headerLines = {"Content-Encoding: gzip"};
        }
        server.enqueue(reply);
        auto delegate = std::make_shared<TakingDelegate>();
        auto r = request("/stream");
        r->setShouldWaitToInflateCompressedResponses(false);
        r->setDownloadDestinationPath(home / "never-written");  // the delegate comes first
        r->setDelegate(delegate);
        r->startSynchronous();
        ASSERT_EQ(delegate->count("finished"), 1u);
        EXPECT_EQ(delegate->received, text);
        EXPECT_TRUE(r->rawResponseData().empty());
        EXPECT_TRUE(r->responseData().empty());
        EXPECT_FALSE(std::filesystem::exists(home / "never-written"));
    }

    // A data block takes it just as well.
    server.enqueue(Reply::ok("to the block"));
    std::string viaBlock;
    auto withBlock = request("/block");
    withBlock->setDataReceivedBlock([&](const NSData& data) { viaBlock += data.string(); });
    withBlock->startSynchronous();
    EXPECT_EQ(viaBlock, "to the block");
    EXPECT_TRUE(withBlock->rawResponseData().empty());
}

TEST_F(HTTPResponseTest, DownloadsToAFileGoThroughATemporaryFile)
{
    const std::string text = longText(150000);
    struct Case {
        const char* name;
        bool compressed;
        bool waits;
    };
    const size_t temporaryFilesBefore = filesIn(NSTemporaryDirectory());
    for (const Case& c : {Case{"plain", false, true}, Case{"gzip inflated at the end", true, true},
                          Case{"gzip inflated on the fly", true, false}}) {
        SCOPED_TRACE(c.name);
        Reply reply = Reply::ok(c.compressed ? gzipped(text) : text);
        if (c.compressed) {
            reply.headerLines = {"Content-Encoding: gzip"};
        }
        server.enqueue(reply);
        const std::string destination = home / "download.txt";
        std::ofstream(destination) << "an older file that is replaced";
        auto r = request("/file");
        r->setDownloadDestinationPath(destination);
        r->setShouldWaitToInflateCompressedResponses(c.waits);
        auto delegate = run(r);
        ASSERT_EQ(delegate->count("finished"), 1u);
        EXPECT_EQ(readFile(destination), text);
        EXPECT_TRUE(r->rawResponseData().empty());
        EXPECT_EQ(r->temporaryFileDownloadPath(), "");
        EXPECT_EQ(r->temporaryUncompressedDataDownloadPath(), "");
    }
    EXPECT_EQ(filesIn(NSTemporaryDirectory()), temporaryFilesBefore);  // none left behind

    // After a redirect the file holds the final body, not the redirect's.
    Reply moved = Reply::withStatus(302, "Found", "<p>the redirect's own page</p>");
    moved.headerLines = {"Location: /file-here"};
    server.enqueue(moved);
    server.enqueue(Reply::ok("the file"));
    auto redirected = request("/file-moved");
    redirected->setDownloadDestinationPath(home / "redirected.txt");
    ASSERT_EQ(run(redirected)->count("finished"), 1u);
    EXPECT_EQ(readFile(home / "redirected.txt"), "the file");

    // An empty body gives an empty file.
    server.enqueue(Reply::ok(""));
    auto empty = request("/empty");
    empty->setDownloadDestinationPath(home / "empty.txt");
    ASSERT_EQ(run(empty)->count("finished"), 1u);
    EXPECT_TRUE(std::filesystem::exists(home / "empty.txt"));
    EXPECT_EQ(std::filesystem::file_size(home / "empty.txt"), 0u);
}

TEST_F(HTTPResponseTest, ADownloadThatCannotBeMovedIntoPlaceFailsWithCode8)
{
    server.enqueue(Reply::ok("nowhere to go"));
    auto r = request("/file");
    r->setDownloadDestinationPath(home / "missing-folder/file.txt");
    auto delegate = run(r);
    ASSERT_EQ(delegate->count("failed"), 1u);
    EXPECT_EQ(delegate->count("finished"), 0u);
    EXPECT_EQ(r->error()->code(), HTTPErrorFileManagement);
    EXPECT_EQ(r->error()->localizedDescription().rfind("Failed to move file from '", 0), 0u);
    EXPECT_NE(r->error()->localizedDescription().find("' to '" + home / "missing-folder/file.txt" + "'"),
              std::string::npos);
}

TEST_F(HTTPResponseTest, AnInterruptedDownloadResumesWithARange)
{
    server.setHandler([](const RecordedRequest& r) {
        const std::string whole = "hello world";
        if (r.target == "/partial" && r.header("Range") == "bytes=6-") {
            Reply rest = Reply::withStatus(206, "Partial Content", whole.substr(6));
            rest.headerLines = {"Content-Range: bytes 6-10/11"};
            return rest;
        }
        return Reply::ok(whole);  // a server that ignores ranges sends everything
    });
    struct Case {
        const char* path;
        bool resume;
    };
    for (const Case& c : {Case{"/partial", true}, Case{"/ignores-ranges", true}, Case{"/partial", false}}) {
        SCOPED_TRACE(std::string(c.path) + (c.resume ? " resuming" : " not resuming"));
        const std::string temporary = home / "partial.download";
        const std::string destination = home / "resumed.txt";
        std::ofstream(temporary) << "hello ";
        auto r = request(c.path);
        r->setDownloadDestinationPath(destination);
        r->setTemporaryFileDownloadPath(temporary);
        r->setAllowResumeForFileDownloads(c.resume);
        long long downloadSize = 0;
        r->setDownloadSizeIncrementedBlock([&](long long amount) { downloadSize += amount; });
        auto delegate = run(r);
        ASSERT_EQ(delegate->count("finished"), 1u);
        ASSERT_TRUE(deliverPending());
        EXPECT_EQ(downloadSize, 11);  // the whole file, however it arrived
        EXPECT_EQ(readFile(destination), "hello world");
        EXPECT_FALSE(std::filesystem::exists(temporary));
        const RecordedRequest sent = server.requests().back();
        EXPECT_EQ(sent.header("Range"), c.resume ? "bytes=6-" : "");
        EXPECT_EQ(r->partialDownloadSize(), std::string(c.path) == "/partial" && c.resume ? 6u : 0u);
    }

    // A download cut short keeps its temporary file when it may be resumed, and loses it otherwise.
    // (Long enough that part of it is read before the connection ends.)
    const std::string large = longText(4 << 20);
    for (bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resumable" : "not resumable");
        Reply cut = Reply::ok(large);
        cut.truncateBodyTo = 3 << 20;
        server.enqueue(cut);
        auto r = request("/cut");
        r->setShouldAttemptPersistentConnection(false);
        r->setDownloadDestinationPath(home / "cut.txt");
        r->setAllowResumeForFileDownloads(resume);
        ASSERT_EQ(run(r)->count("failed"), 1u);
        const std::string temporary = r->temporaryFileDownloadPath();
        EXPECT_EQ(!temporary.empty() && std::filesystem::exists(temporary), resume);
        if (resume) {
            const auto kept = std::filesystem::file_size(temporary);
            EXPECT_GT(kept, 0u);
            EXPECT_LE(kept, 3u << 20);
            EXPECT_EQ(readFile(temporary), large.substr(0, kept));
            std::filesystem::remove(temporary);
        }
        EXPECT_FALSE(std::filesystem::exists(home / "cut.txt"));
    }
}

}  // namespace
