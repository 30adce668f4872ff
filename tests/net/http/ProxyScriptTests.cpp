// Proxy auto-configuration scripts: a script read from a file or fetched over HTTP decides the proxy; a
// script that is broken or cannot be fetched means going direct; a fetch given up with its request
// gives its queue slot back.
#include <fstream>

#include "HTTPTestSupport.h"
#include "servers/ForwardProxy.h"

using TestServers::ForwardProxy;
using TestServers::RecordedRequest;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

class ProxyScriptTest : public HTTPRequestTest {
protected:
    // Handlers waiting at the gate are let go before the servers of this fixture stop.
    ~ProxyScriptTest() override { gate.open(); }

    std::string scriptFile(const std::string& text)
    {
        const std::string path = home / ("proxy" + std::to_string(++files_) + ".pac");
        std::ofstream(path) << text;
        return path;
    }
    std::string proxyScript() const
    {
        return "function FindProxyForURL(url, host) { return 'PROXY 127.0.0.1:" + std::to_string(proxy.port()) +
               "; DIRECT'; }";
    }
    // Runs the request (synchronously or not) and waits for its end.
    void run(const Ref<HTTPRequest>& r, bool synchronous)
    {
        auto delegate = std::make_shared<RecordingDelegate>();
        r->setDelegate(delegate);
        if (synchronous) {
            r->startSynchronous();
        } else {
            r->startAsynchronous();
            ASSERT_TRUE(waitFor([&] { return delegate->count("finished") + delegate->count("failed") > 0; }));
        }
    }

    ForwardProxy proxy;
    ScriptedHTTPServer scripts;

private:
    int files_ = 0;
};

TEST_F(ProxyScriptTest, AScriptFromAFileOrOverHTTPRoutesTheRequestThroughItsProxy)
{
    scripts.setHandler([this](const RecordedRequest&) { return Reply::ok(proxyScript()); });
    struct Case {
        const char* name;
        bool overHTTP;
        bool synchronous;
    };
    for (const Case& c : {Case{"file, synchronous", false, true}, Case{"file", false, false},
                          Case{"http, synchronous", true, true}, Case{"http", true, false}}) {
        SCOPED_TRACE(c.name);
        const size_t before = proxy.seen().size();
        auto routed = request("/routed");
        routed->setPACurl(c.overHTTP ? NSURL::URLWithString(scripts.url("/proxy.pac"))
                                     : NSURL::fileURLWithPath(scriptFile(proxyScript())));
        run(routed, c.synchronous);
        ASSERT_FALSE(routed->error()) << routed->error()->localizedDescription();
        EXPECT_EQ(routed->responseString(), "ok");
        EXPECT_EQ(routed->proxyHost(), "127.0.0.1");
        EXPECT_EQ(routed->proxyPort(), proxy.port());
        ASSERT_EQ(proxy.seen().size(), before + 1);
        EXPECT_EQ(proxy.seen().back().target, server.url("/routed"));
    }
    EXPECT_EQ(scripts.requestCount(), 2u);
    EXPECT_EQ(HTTPRequest::sharedQueue()->maxConcurrentOperationCount(), 4);
}

TEST_F(ProxyScriptTest, AScriptThatIsBrokenOrCannotBeFetchedMeansDirect)
{
    scripts.setHandler([](const RecordedRequest& r) {
        if (r.target == "/gone.pac") {
            Reply reply;
            reply.action = Reply::Action::CloseWithoutAnswer;
            return reply;
        }
        return Reply::ok("function FindProxyForURL(url, host) { return ");
    });
    struct Case {
        const char* name;
        std::function<Ref<NSURL>()> script;
    };
    const Case cases[] = {
        {"syntax error in a file", [&] { return NSURL::fileURLWithPath(scriptFile("function FindProxyForURL(")); }},
        {"no such file", [&] { return NSURL::fileURLWithPath(home / "missing.pac"); }},
        {"answers nothing usable",
         [&] { return NSURL::fileURLWithPath(scriptFile("function FindProxyForURL(u, h) { return 'FTP x:1'; }")); }},
        {"syntax error over HTTP", [&] { return NSURL::URLWithString(scripts.url("/broken.pac")); }},
        {"fetch fails", [&] { return NSURL::URLWithString(scripts.url("/gone.pac")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto direct = request("/direct");
        direct->setPACurl(c.script());
        run(direct, false);
        ASSERT_FALSE(direct->error()) << direct->error()->localizedDescription();
        EXPECT_EQ(direct->responseString(), "ok");
        EXPECT_EQ(direct->proxyHost(), "");
        EXPECT_EQ(server.requests().back().target, "/direct");  // origin form: not through a proxy
    }
    EXPECT_TRUE(proxy.seen().empty());
    EXPECT_EQ(HTTPRequest::sharedQueue()->maxConcurrentOperationCount(), 4);
}

TEST_F(ProxyScriptTest, CancellingARequestWhileItsScriptIsFetchedGivesTheQueueSlotBack)
{
    scripts.setHandler([this](const RecordedRequest&) {
        gate.wait();  // the script never comes while the test looks
        return Reply::ok(proxyScript());
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    auto waiting = request("/waiting");
    waiting->setPACurl(NSURL::URLWithString(scripts.url("/slow.pac")));
    waiting->setDelegate(delegate);
    waiting->startAsynchronous();
    ASSERT_TRUE(scripts.waitForRequests(1));
    EXPECT_EQ(HTTPRequest::sharedQueue()->maxConcurrentOperationCount(), 5);  // a slot for the fetch

    waiting->cancel();
    ASSERT_TRUE(waitFor([&] { return delegate->count("failed") == 1; }));
    EXPECT_EQ(waiting->error()->code(), HTTPErrorCancelled);
    EXPECT_TRUE(waitFor([] { return HTTPRequest::sharedQueue()->maxConcurrentOperationCount() == 4; }));
    gate.open();
    EXPECT_EQ(server.requestCount(), 0u);
}

}  // namespace
