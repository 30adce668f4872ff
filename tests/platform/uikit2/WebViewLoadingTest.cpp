#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/RefusingPort.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIWebView.h"
#include "service/HttpServer.h"

namespace {
namespace WebViewLoadingTest_cpp {

constexpr char kPage[] =
    "<html><head><meta charset=\"utf-8\"><title> 授权 Lumo </title><script>var x = '<span>no</span>';</script>"
    "</head><body><h1>请授权</h1><p>第一段 <b>粗体</b></p>"
    "<div><span>V1 &amp; <i>two</i></span><span>second</span></div>"
    "<form action=\"/submit?x=1\" method=\"post\"><input type=\"hidden\" name=\"oauth_token\" value=\"tok en\">"
    "<input type=\"text\" name=\"user\" value=\"\"><input type=\"password\" name=\"pwd\" value=\"\">"
    "<input type=\"checkbox\" name=\"keep\" checked><input type=\"checkbox\" name=\"spam\">"
    "<select name=\"lang\"><option value=\"en\">English</option><option value=\"zh\" selected>中文</option></select>"
    "<textarea name=\"note\">a b</textarea>"
    "<input type=\"submit\" name=\"go\" value=\"授权\"><input type=\"submit\" name=\"deny\" value=\"拒绝\"></form>"
    "</body></html>";

class Browser : public NSObject, public UIWebViewDelegate {
public:
    std::vector<std::string> events;
    std::vector<Ref<NSURLRequest>> asked;
    std::string refuse;
    Ref<NSError> error;
    bool webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>&, const Ref<NSURLRequest>& request,
                                                           UIWebViewNavigationType type) override
    {
        asked.push_back(request);
        events.push_back("should " + request->URL()->path() + " " + std::to_string(int(type)));
        return refuse.empty() || request->URL()->path() != refuse;
    }
    void webViewDidStartLoad(const Ref<UIWebView>&) override { events.push_back("start"); }
    void webViewDidFinishLoad(const Ref<UIWebView>& web) override
    {
        events.push_back("finish " + web->request()->URL()->path());
    }
    void webView_didFailLoadWithError(const Ref<UIWebView>&, const Ref<NSError>& e) override
    {
        error = e;
        events.push_back("fail " + std::to_string(e->code()));
    }
};

standin::Response html(std::string body, int status = 200, std::string type = "text/html; charset=utf-8")
{
    standin::Response response;
    response.status = status;
    response.headers.push_back({"Content-Type", std::move(type)});
    response.body = std::move(body);
    return response;
}

struct Fixture {
    MainThreadScope main;
    standin::HttpServer server;
    Ref<Browser> browser = std::make_shared<Browser>();
    Ref<UIWebView> web = UIWebView::initWithFrame(CGRectMake(0, 0, 320, 416));

    Fixture()
    {
        web->setDelegate(browser);
        server.route("/page", [](const standin::Request&) {
            return html(kPage);
        });
        server.route("/moved", [](const standin::Request&) {
            return standin::Response::empty(302).with("Location", "/page");
        });
        server.route("/submit", [](const standin::Request& request) {
            return html("<html><head><title>done</title></head><body><span>" +
                        std::to_string(request.formParams().size()) + "</span></body></html>",
                        200, "text/html");
        });
        server.route("/missing", [](const standin::Request&) {
            return html("<html><head><title>Not here</title></head></html>", 404);
        });
    }
    std::string url(const std::string& path) const { return "http://" + server.hostPort() + path; }
    void load(const std::string& path)
    {
        web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(url(path))));
    }
    bool settle()
    {
        return pumpMainUntil([&] { return !web->isLoading(); });
    }
};


TEST(UIWebViewLoadingTest, LoadsAPageThroughRedirectsAndKeepsItsTitleAndText)
{
    Fixture f;
    f.load("/moved");
    EXPECT_TRUE(f.web->isLoading());
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.browser->events,
              (std::vector<std::string>{"should /moved 5", "start", "should /page 5", "finish /page"}));
    EXPECT_EQ(f.web->request()->URL()->absoluteString(), f.url("/page"));
    EXPECT_EQ(f.web->pageTitle(), "授权 Lumo");
    EXPECT_EQ(f.web->pageText(), "请授权\n第一段 粗体\nV1 & twosecond");
    EXPECT_TRUE(f.web->hasForm());
    EXPECT_FALSE(f.web->canGoBack());
}

TEST(UIWebViewLoadingTest, AnswersTheScriptExpressionsFromThePage)
{
    Fixture f;
    f.load("/page");
    ASSERT_TRUE(f.settle());
    const struct {
        const char* script;
        const char* result;
    } cases[] = {
        {"document.title", "授权 Lumo"},
        {"document.getElementsByTagName('span')[0].innerHTML", "V1 &amp; <i>two</i>"},
        {"document.getElementsByTagName(\"SPAN\")[1].innerHTML", "second"},
        {"document.getElementsByTagName('span')[0].innerText", "V1 & two"},
        {"document.getElementsByTagName('span')[2].innerHTML", ""},
        {"document.getElementsByTagName('h1')[0].innerHTML;", "请授权"},
        {"document.location.href", ""},  // filled below
        {"alert(1)", ""},
        {"document.getElementsByTagName('span')[0].outerHTML", ""},
    };
    for (const auto& c : cases) {
        std::string expected = std::string(c.script) == "document.location.href" ? f.url("/page") : c.result;
        EXPECT_EQ(f.web->stringByEvaluatingJavaScriptFromString(c.script), expected) << c.script;
    }
    // A script answer set by a test comes first.
    f.web->setScriptResult("document.title", "set");
    EXPECT_EQ(f.web->stringByEvaluatingJavaScriptFromString("document.title"), "set");
}

TEST(UIWebViewLoadingTest, SubmittingTheFirstFormPostsItsFieldsAsTheUserLeftThem)
{
    Fixture f;
    f.load("/page");
    ASSERT_TRUE(f.settle());
    f.browser->events.clear();
    ASSERT_TRUE(f.web->submitFirstForm({{"user", "张三"}, {"pwd", "p&w d"}}));
    const Ref<NSURLRequest> submitted = f.browser->asked.back();
    EXPECT_EQ(submitted->HTTPMethod(), "POST");
    EXPECT_EQ(submitted->URL()->absoluteString(), f.url("/submit?x=1"));
    EXPECT_EQ(submitted->valueForHTTPHeaderField("Content-Type").value_or(""), "application/x-www-form-urlencoded");
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.browser->events, (std::vector<std::string>{"should /submit 1", "start", "finish /submit"}));

    auto received = f.server.requests("/submit");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].body,
              "oauth_token=tok+en&user=%E5%BC%A0%E4%B8%89&pwd=p%26w+d&keep=on&lang=zh&note=a+b&go=%E6%8E%88%E6%9D%83");
    EXPECT_EQ(f.web->stringByEvaluatingJavaScriptFromString("document.getElementsByTagName('span')[0].innerHTML"), "7");
    EXPECT_TRUE(f.web->canGoBack());
    EXPECT_FALSE(f.web->hasForm());
    EXPECT_FALSE(f.web->submitFirstForm());
}

TEST(UIWebViewLoadingTest, AGetFormSendsItsFieldsInTheQuery)
{
    Fixture f;
    f.web->loadHTMLString_baseURL("<form action=\"/submit?old=1#top\"><input name=\"q\" value=\"a b\"></form>",
                                  NSURL::URLWithString(f.url("/base/")));
    ASSERT_TRUE(f.settle());
    ASSERT_TRUE(f.web->submitFirstForm());
    EXPECT_EQ(f.web->request()->URL()->absoluteString(), f.url("/submit?q=a+b"));
    EXPECT_EQ(f.web->request()->HTTPMethod(), "GET");
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.server.requestCount("/submit"), 1u);
}

TEST(UIWebViewLoadingTest, FailuresReachTheDelegateAndErrorPagesFinish)
{
    Fixture f;
    RefusingPort refusing;
    f.web->loadRequest(NSURLRequest::requestWithURL(
        NSURL::URLWithString("http://127.0.0.1:" + std::to_string(refusing.port()) + "/x")));
    ASSERT_TRUE(f.settle());
    ASSERT_TRUE(f.browser->error);
    EXPECT_EQ(f.browser->error->domain(), NSURLErrorDomain);
    EXPECT_EQ(f.browser->error->code(), NSURLErrorCannotConnectToHost);

    f.browser->events.clear();
    f.load("/missing");
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.browser->events.back(), "finish /missing");
    EXPECT_EQ(f.web->pageTitle(), "Not here");

    // A redirect the delegate refuses ends the load.
    f.browser->events.clear();
    f.browser->refuse = "/page";
    f.load("/moved");
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.browser->events, (std::vector<std::string>{"should /moved 5", "start", "should /page 5", "fail 102"}));
    EXPECT_EQ(f.browser->error->domain(), WebKitErrorDomain);
}

TEST(UIWebViewLoadingTest, BackForwardAndReloadFetchThePagesAgain)
{
    Fixture f;
    f.load("/page");
    ASSERT_TRUE(f.settle());
    f.load("/missing");
    ASSERT_TRUE(f.settle());
    ASSERT_TRUE(f.web->canGoBack());
    f.web->goBack();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "授权 Lumo");
    EXPECT_TRUE(f.web->canGoForward());
    f.web->reload();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.server.requestCount("/page"), 3u);
    f.web->goForward();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "Not here");
    EXPECT_FALSE(f.web->canGoForward());

    // Stopping drops the fetch: the page that was loading never arrives.
    f.load("/page");
    f.web->stopLoading();
    EXPECT_EQ(f.browser->events.back(), "fail -999");
    EXPECT_EQ(f.web->pageTitle(), "Not here");
}

}  // namespace WebViewLoadingTest_cpp
}  // namespace
