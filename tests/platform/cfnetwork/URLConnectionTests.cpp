// NSURLConnection over the transport: delivery on the scheduled run loop, inflated bodies, redirects,
// cookies, time-outs, cancel, the synchronous form and its errors.
#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/cfnetwork/NSHTTPCookie.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "servers/ScriptedHTTPServer.h"
#include "servers/TestCertificates.h"

using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

std::string gzip(const std::string& plain)
{
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, plain.size()) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    zs.avail_in = static_cast<uInt>(plain.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

class Recorder : public NSURLConnectionDelegate {
public:
    Ref<NSURLRequest> connection_willSendRequest_redirectResponse(NSURLConnection*, const Ref<NSURLRequest>& request,
                                                                  const Ref<NSURLResponse>&) override
    {
        redirects.push_back(request->URL()->absoluteString());
        return refuseRedirects ? nullptr : request;
    }
    void connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& r) override
    {
        response = std::dynamic_pointer_cast<NSHTTPURLResponse>(r);
        ++responses;
    }
    void connection_didReceiveData(NSURLConnection*, const NSData& data) override { body += data.string(); }
    void connectionDidFinishLoading(NSURLConnection*) override { finished = true; }
    void connection_didFailWithError(NSURLConnection*, const Ref<NSError>& e) override { error = e; }

    bool done() const { return finished || error; }

    bool refuseRedirects = false;
    std::vector<std::string> redirects;
    Ref<NSHTTPURLResponse> response;
    int responses = 0;
    std::string body;
    bool finished = false;
    Ref<NSError> error;
};

class URLConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies(); }
    void TearDown() override { NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies(); }

    // Starts a connection the caller does not keep (it keeps itself) and runs the loop until it is done.
    std::shared_ptr<Recorder> load(const Ref<NSURLRequest>& request, std::shared_ptr<Recorder> recorder = nullptr)
    {
        if (!recorder) {
            recorder = std::make_shared<Recorder>();
        }
        NSURLConnection::connectionWithRequest_delegate(request, recorder);
        EXPECT_TRUE(NSRunLoop::currentRunLoop()->runUntil([&] { return recorder->done(); }, std::chrono::seconds(10)));
        return recorder;
    }
    std::shared_ptr<Recorder> load(const std::string& url) { return load(NSURLRequest::requestWithURL(NSURL::URLWithString(url))); }

    ScriptedHTTPServer server;
};

TEST_F(URLConnectionTest, DeliversResponseAndInflatedBody)
{
    std::string text(200000, 'a');  // compresses far more than any buffer
    Reply compressed = Reply::ok(gzip(text));
    compressed.headerLines = {"Content-Encoding: gzip", "Content-Type: text/plain; charset=utf-8"};
    server.enqueue(compressed);
    auto r = load(server.url("/z"));
    EXPECT_TRUE(r->finished);
    ASSERT_TRUE(r->response);
    EXPECT_EQ(r->response->statusCode(), 200);
    EXPECT_EQ(r->response->MIMEType(), "text/plain");
    EXPECT_EQ(r->response->textEncodingName(), "utf-8");
    EXPECT_EQ(r->body.size(), text.size());
    EXPECT_EQ(r->body, text);
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].header("Accept-Encoding"), "gzip, deflate");

    Reply broken = Reply::ok(gzip(text).substr(0, 40));
    broken.headerLines = {"Content-Encoding: gzip"};
    server.enqueue(broken);
    auto cut = load(server.url("/cut"));
    ASSERT_TRUE(cut->error);
    EXPECT_EQ(cut->error->code(), -1016);
}

TEST_F(URLConnectionTest, FollowsRedirectsAsThePlatformDoes)
{
    server.setHandler([](const TestServers::RecordedRequest& r) {
        if (r.target == "/post") {
            Reply moved = Reply::withStatus(302, "Found");
            moved.headerLines = {"Location: /landing"};
            return moved;
        }
        if (r.target == "/keep") {
            Reply moved = Reply::withStatus(307, "Temporary Redirect");
            moved.headerLines = {"Location: landing"};
            return moved;
        }
        if (r.target.rfind("/loop", 0) == 0) {
            Reply moved = Reply::withStatus(301, "Moved");
            moved.headerLines = {"Location: /loop" + std::to_string(r.target.size())};
            return moved;
        }
        if (r.target == "/file") {
            Reply moved = Reply::withStatus(302, "Found");
            moved.headerLines = {"Location: file:///etc/passwd"};
            return moved;
        }
        return Reply::ok(r.method + " " + r.body);
    });
    auto post = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/post")));
    post->setHTTPMethod("POST");
    post->setHTTPBody(NSData::dataWithString("a=1"));
    post->setValue_forHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");
    auto r = load(post);
    EXPECT_TRUE(r->finished);
    EXPECT_EQ(r->body, "GET ");
    EXPECT_EQ(r->redirects, std::vector<std::string>{server.url("/landing")});
    EXPECT_EQ(r->responses, 1);

    auto keep = post->mutableCopy();
    keep->setURL(NSURL::URLWithString(server.url("/keep")));
    EXPECT_EQ(load(keep)->body, "POST a=1");

    auto refused = std::make_shared<Recorder>();
    refused->refuseRedirects = true;
    load(post, refused);
    EXPECT_TRUE(refused->finished);
    EXPECT_EQ(refused->response->statusCode(), 302);

    auto loop = load(server.url("/loop"));
    ASSERT_TRUE(loop->error);
    EXPECT_EQ(loop->error->code(), NSURLErrorHTTPTooManyRedirects);
    EXPECT_EQ(loop->redirects.size(), static_cast<size_t>(NSURLConnection::kMaxRedirects + 1));

    auto file = load(server.url("/file"));
    ASSERT_TRUE(file->error);
    EXPECT_EQ(file->error->code(), NSURLErrorUnsupportedURL);
}

TEST_F(URLConnectionTest, CookiesGoToTheJarAndComeBack)
{
    Reply setting = Reply::ok();
    setting.headerLines = {"Set-Cookie: sid=42; Path=/", "Set-Cookie: theme=dark"};
    server.enqueue(setting);
    load(server.url("/login"));
    load(server.url("/feed"));
    auto quiet = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/private")));
    quiet->setHTTPShouldHandleCookies(false);
    load(quiet);
    auto r = server.requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_FALSE(r[0].hasHeader("Cookie"));
    EXPECT_EQ(r[1].header("Cookie"), "sid=42; theme=dark");
    EXPECT_FALSE(r[2].hasHeader("Cookie"));
}

TEST_F(URLConnectionTest, SilenceBeyondTheTimeoutFails)
{
    Reply hang = Reply::ok();
    hang.action = Reply::Action::Hang;
    hang.hangSeconds = 5;
    server.enqueue(hang);
    auto request = NSURLRequest::requestWithURL_cachePolicy_timeoutInterval(
        NSURL::URLWithString(server.url("/hang")), NSURLRequestReloadIgnoringLocalCacheData, 0.2);
    auto r = load(request);
    ASSERT_TRUE(r->error);
    EXPECT_EQ(r->error->domain(), NSURLErrorDomain);
    EXPECT_EQ(r->error->code(), NSURLErrorTimedOut);
    EXPECT_FALSE(r->finished);
}

TEST_F(URLConnectionTest, CancelSilencesTheDelegate)
{
    Reply slow = Reply::ok("late");
    slow.delayBeforeHeaders = 0.2;
    server.enqueue(slow);
    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<Recorder> watch = recorder;
    auto connection = NSURLConnection::connectionWithRequest_delegate(
        NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/slow"))), recorder);
    auto loop = NSRunLoop::currentRunLoop();
    ASSERT_TRUE(loop->runUntil([&] { return server.requestCount() == 1; }, std::chrono::seconds(5)));
    connection->cancel();
    recorder.reset();
    EXPECT_TRUE(watch.expired());  // the connection let go of its delegate: nothing can reach it
    loop->runUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(watch.expired());
}

TEST_F(URLConnectionTest, DeliversOnlyInItsModes)
{
    auto recorder = std::make_shared<Recorder>();
    auto connection = NSURLConnection::initWithRequest_delegate_startImmediately(
        NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/m"))), recorder, false);
    auto loop = NSRunLoop::currentRunLoop();
    connection->scheduleInRunLoop_forMode(loop, "PrivateMode");
    connection->start();
    loop->runUntil([] { return false; }, std::chrono::milliseconds(100), kCFRunLoopDefaultMode);
    EXPECT_FALSE(recorder->done());
    ASSERT_TRUE(loop->runUntil([&] { return recorder->done(); }, std::chrono::seconds(5), "PrivateMode"));
    EXPECT_EQ(recorder->body, "ok");
}

TEST_F(URLConnectionTest, SynchronousRequests)
{
    server.enqueue(Reply::withStatus(404, "Not Found", "missing"));
    Ref<NSURLResponse> response;
    Ref<NSError> error;
    auto data = NSURLConnection::sendSynchronousRequest_returningResponse_error(
        NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/sync"))), &response, &error);
    ASSERT_TRUE(data);  // an HTTP status is not a failure
    EXPECT_EQ(data->string(), "missing");
    EXPECT_FALSE(error);
    EXPECT_EQ(std::dynamic_pointer_cast<NSHTTPURLResponse>(response)->statusCode(), 404);

    uint16_t closed;
    {
        ScriptedHTTPServer gone;
        closed = gone.port();
    }
    auto none = NSURLConnection::sendSynchronousRequest_returningResponse_error(
        NSURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:" + std::to_string(closed) + "/")), &response,
        &error);
    EXPECT_FALSE(none);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSURLErrorCannotConnectToHost);
    ASSERT_TRUE(error->underlyingError());
    EXPECT_EQ(error->underlyingError()->domain(), "NSPOSIXErrorDomain");

    auto unsupported = NSURLConnection::sendSynchronousRequest_returningResponse_error(
        NSURLRequest::requestWithURL(NSURL::URLWithString("ftp://127.0.0.1/x")), &response, &error);
    EXPECT_FALSE(unsupported);
    EXPECT_EQ(error->code(), NSURLErrorUnsupportedURL);
}

TEST_F(URLConnectionTest, UntrustedCertificateIsItsOwnError)
{
    TestServers::CertificateOptions names;
    names.ipAddresses = {"127.0.0.1"};
    ScriptedHTTPServer::Options options;
    options.tls = true;
    options.certificate = TestServers::makeSelfSignedCertificate(names);
    ScriptedHTTPServer secure(options);
    auto r = load(secure.url("/"));
    ASSERT_TRUE(r->error);
    EXPECT_EQ(r->error->code(), NSURLErrorServerCertificateUntrusted);
    EXPECT_EQ(r->error->underlyingError()->domain(), "NSOSStatusErrorDomain");
}

}  // namespace
