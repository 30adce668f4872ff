// The web view as a person uses it: pages laid out and drawn, fields tapped and typed into, forms
// submitted, links followed, and hostile pages answered within bounds.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "fixtures/RefusingPort.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/foundation/MainThread.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIWebView.h"
#include "platform/uikit/UIWindow.h"
#include "service/HttpServer.h"

namespace {
namespace WebViewPageTest_cpp {

class Browser : public NSObject, public UIWebViewDelegate {
public:
    std::vector<std::string> asked;  // "<type> <path>"
    Ref<NSError> error;
    int finished = 0;
    bool webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>&, const Ref<NSURLRequest>& request,
                                                           UIWebViewNavigationType type) override
    {
        asked.push_back(std::to_string(int(type)) + " " + request->URL()->absoluteString());
        return true;
    }
    void webViewDidFinishLoad(const Ref<UIWebView>&) override { ++finished; }
    void webView_didFailLoadWithError(const Ref<UIWebView>&, const Ref<NSError>& e) override { error = e; }
};

standin::Response page(std::string body, std::string type = "text/html; charset=utf-8")
{
    standin::Response response;
    response.headers.push_back({"Content-Type", std::move(type)});
    response.body = std::move(body);
    return response;
}

// A picture of one colour, as PNG bytes.
std::string pngOf(size_t width, size_t height, uint32_t argb)
{
    auto image = UIImage::imageWithCGImage(CGImage::create(width, height, std::vector<uint32_t>(width * height, argb)));
    return UIImagePNGRepresentation(image)->string();
}

uint32_t crcOf(const std::string& type, const std::string& data)
{
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), uInt(type.size()));
    return uint32_t(crc32(crc, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

std::string chunk(const std::string& type, const std::string& data)
{
    auto be32 = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    return be32(uint32_t(data.size())) + type + data + be32(crcOf(type, data));
}

// A valid one-bit grey PNG of side x side pixels, all black: a few KiB on the wire, side^2 pixels decoded.
std::string pngBomb(uint32_t side)
{
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const std::string header = be32(side) + be32(side) + std::string{1, 0, 0, 0, 0};
    const size_t row = 1 + (side + 7) / 8;
    std::string raw(row * side, '\0');
    uLongf size = compressBound(uLong(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              uLong(raw.size()), 9);
    packed.resize(size);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

constexpr uint32_t kRed = 0xFFFF0000;

struct Fixture {
    MainThreadScope main;
    standin::HttpServer server;
    Ref<Browser> browser = std::make_shared<Browser>();
    Ref<UIWindow> window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    Ref<UIWebView> web = UIWebView::initWithFrame(CGRectMake(0, 0, 320, 480));

    Fixture()
    {
        UIKeyboard::reset();
        web->setDelegate(browser);
        window->addSubview(web);
        window->makeKeyAndVisible();
    }
    ~Fixture()
    {
        window->setHidden(true);
        UIKeyboard::reset();
    }
    std::string url(const std::string& path) const { return "http://" + server.hostPort() + path; }
    void serve(const std::string& path, std::string html)
    {
        server.route(path, [html](const standin::Request&) { return page(html); });
    }
    // Loads a page and waits until it shows, drawn, with its pictures in.
    bool open(const std::string& path)
    {
        web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(url(path))));
        return settle();
    }
    bool settle()
    {
        return pumpMainUntil([&] {
            web->layer()->layoutAndDisplayTreeIfNeeded();
            return !web->isLoading() && web->pendingImageCount() == 0 && web->pageDrawn();
        });
    }
    const UIWebView::Field* field(const std::string& nameOrType) const
    {
        static std::vector<UIWebView::Field> fields;
        fields = web->fields();
        for (const auto& f : fields) {
            if (f.name == nameOrType || f.type == nameOrType) return &f;
        }
        return nullptr;
    }
    // A finger on the middle of a rect of the web view.
    void tap(CGRect frame)
    {
        UIScreenInput::tap(web->convertPoint_toView(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)), nullptr));
    }
    void tapField(const std::string& nameOrType)
    {
        const UIWebView::Field* f = field(nameOrType);
        ASSERT_TRUE(f) << nameOrType;
        tap(f->frame);
    }
    std::string lastPosted(const std::string& path) const
    {
        const auto requests = server.requests(path);
        return requests.empty() ? "(none)" : requests.back().method + " " + requests.back().body;
    }
    // The web view drawn at one pixel a point.
    Ref<UIImage> picture()
    {
        web->layer()->layoutAndDisplayTreeIfNeeded();
        UIGraphicsBeginImageContextWithOptions(web->bounds().size, true, 1);
        web->layer()->renderInContext(UIGraphicsGetCurrentContext());
        Ref<UIImage> image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        return image;
    }
};

bool dark(uint32_t argb)
{
    const int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    return r + g + b < 3 * 110;
}

// Rows of a rect that carry dark ink.
int inkRows(const CGImageRef& image, CGRect rect)
{
    int rows = 0;
    for (int y = int(rect.origin.y); y < int(CGRectGetMaxY(rect)); ++y) {
        for (int x = int(rect.origin.x); x < int(CGRectGetMaxX(rect)); ++x) {
            if (dark(image->pixelAt(size_t(x), size_t(y)))) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

constexpr char kLoginPage[] =
    "<html><head><title>登录</title></head><body><h1>登录</h1><form method=\"post\" action=\"/login?from=page\">"
    "<input type=\"hidden\" name=\"token\" value=\"t 1\">"
    "<p>帐号 <input type=\"text\" name=\"user\"></p><p>密码 <input type=\"password\" name=\"pwd\"></p>"
    "<p><input type=\"checkbox\" name=\"keep\" value=\"yes\"> 记住我</p>"
    "<p><select name=\"lang\"><option value=\"en\">English</option><option value=\"zh\">中文</option></select></p>"
    "<input type=\"submit\" name=\"go\" value=\"登录\"> <input type=\"submit\" name=\"other\" value=\"注册\">"
    "</form></body></html>";

TEST(WebViewPageTest, APageIsDrawnWherePageLayoutPutsItsParts)
{
    Fixture f;
    f.server.route("/red.png", [](const standin::Request&) { return page(pngOf(40, 30, kRed), "image/png"); });
    f.serve("/page", "<html><body><h1>标题 Heading</h1><p>第一段 paragraph text</p>"
                     "<ul><li>一</li><li>two</li></ul><p><img src=\"/red.png\"></p>"
                     "<form><input type=\"text\" name=\"q\" value=\"搜索\"></form></body></html>");
    ASSERT_TRUE(f.open("/page"));
    const CGImageRef image = f.picture()->CGImage();

    // The picture lies in its box, at its own size, with the page around it.
    const CGRect img = f.web->frameOfElement("img");
    ASSERT_FALSE(CGRectIsNull(img));
    EXPECT_EQ(img.size.width, 40);
    EXPECT_EQ(img.size.height, 30);
    EXPECT_EQ(image->pixelAt(size_t(CGRectGetMidX(img)), size_t(CGRectGetMidY(img))), kRed);
    EXPECT_EQ(image->pixelAt(size_t(img.origin.x + 1), size_t(img.origin.y + 1)), kRed);
    EXPECT_NE(image->pixelAt(size_t(CGRectGetMaxX(img) + 3), size_t(CGRectGetMidY(img))), kRed);

    // The heading's ink is taller than the paragraph's, and both have some.
    const CGRect heading = f.web->frameOfElement("h1");
    const CGRect paragraph = f.web->frameOfElement("p");
    EXPECT_LT(CGRectGetMaxY(heading), paragraph.origin.y);
    const int headingInk = inkRows(image, heading);
    const int paragraphInk = inkRows(image, paragraph);
    EXPECT_GT(paragraphInk, 8);
    EXPECT_GT(headingInk, paragraphInk * 3 / 2);

    // List items carry their markers left of their text; the field is a box with its text in it.
    const CGRect item = f.web->frameOfElement("li");
    EXPECT_GT(inkRows(image, CGRectMake(item.origin.x - 14, item.origin.y, 12, item.size.height)), 2);
    const UIWebView::Field* q = f.field("q");
    ASSERT_TRUE(q);
    EXPECT_GT(q->frame.origin.y, CGRectGetMaxY(img));
    EXPECT_FALSE(dark(image->pixelAt(size_t(q->frame.origin.x + 3), size_t(q->frame.origin.y + 3))));
    EXPECT_GT(inkRows(image, CGRectInset(q->frame, 3, 3)), 6);
}

TEST(WebViewPageTest, APersonFillsTheFormByTapsAndKeysAndSubmitsIt)
{
    Fixture f;
    f.serve("/form", kLoginPage);
    f.serve("/login", "<html><head><title>done</title></head></html>");
    ASSERT_TRUE(f.open("/form"));

    f.tapField("user");
    EXPECT_TRUE(f.web->isFirstResponder());
    EXPECT_TRUE(UIKeyboard::isVisible());
    EXPECT_TRUE(f.field("user")->focused);
    EXPECT_TRUE(UIScreenInput::typeText("小明 ab"));
    EXPECT_TRUE(UIScreenInput::pressDelete());
    f.tapField("pwd");
    EXPECT_TRUE(f.field("pwd")->focused);
    EXPECT_TRUE(UIKeyboard::isVisible());
    EXPECT_TRUE(f.web->isSecureTextEntry());
    EXPECT_TRUE(UIScreenInput::typeText("p&w d"));
    EXPECT_EQ(f.field("user")->value, "小明 a");
    EXPECT_EQ(f.field("pwd")->value, "p&w d");
    // The password shows as dots: its box holds ink, but not the ink of its text.
    // A check box and a select, as a person sets them.
    f.tapField("keep");
    EXPECT_FALSE(f.web->isFirstResponder());
    EXPECT_TRUE(f.field("keep")->checked);
    f.tapField("lang");
    ASSERT_TRUE(UIActionSheet::currentSheet());
    UIActionSheet::currentSheet()->simulateClickButtonWithTitle("中文");
    EXPECT_EQ(f.field("lang")->value, "zh");

    f.tapField("other");  // the second button: its own name goes, not the first's
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "done");
    EXPECT_EQ(f.lastPosted("/login"),
              "POST token=t+1&user=%E5%B0%8F%E6%98%8E+a&pwd=p%26w+d&keep=yes&lang=zh&other=%E6%B3%A8%E5%86%8C");
    EXPECT_EQ(f.browser->asked.back(), "1 " + f.url("/login?from=page"));
}

TEST(WebViewPageTest, TabMovesBetweenFieldsAndReturnSubmits)
{
    Fixture f;
    f.serve("/form", kLoginPage);
    f.serve("/login", "<html><head><title>done</title></head></html>");
    ASSERT_TRUE(f.open("/form"));
    f.tapField("user");
    UIScreenInput::typeText("a");
    EXPECT_TRUE(UIScreenInput::pressTab());
    EXPECT_TRUE(f.field("pwd")->focused);
    UIScreenInput::typeText("b");
    EXPECT_TRUE(UIScreenInput::pressTab(true));
    EXPECT_TRUE(f.field("user")->focused);
    UIScreenInput::typeText("c");
    EXPECT_TRUE(UIScreenInput::pressTab());
    EXPECT_TRUE(UIScreenInput::pressReturn());
    ASSERT_TRUE(f.settle());
    // Return sends the form as its first button would.
    EXPECT_EQ(f.lastPosted("/login"), "POST token=t+1&user=ac&pwd=b&lang=en&go=%E7%99%BB%E5%BD%95");
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_FALSE(UIScreenInput::pressTab());  // nothing has the keys now
}

TEST(WebViewPageTest, LinksAreFollowedAndTheHistoryGoesBackAndForward)
{
    Fixture f;
    std::string filler;
    for (int i = 0; i < 40; ++i) filler += "<p>第" + std::to_string(i) + "段 some text to scroll past</p>";
    f.serve("/one", "<html><head><title>one</title></head><body><a href=\"two?x=1\" target=\"_blank\">第二页</a> "
                    "<a href=\"javascript:go()\">script</a> <a href=\"#top\">top</a>" + filler +
                        "<a href=\"/three\">bottom link</a></body></html>");
    f.serve("/two", "<html><head><title>two</title></head><body>second</body></html>");
    f.serve("/three", "<html><head><title>three</title></head><body>third</body></html>");
    ASSERT_TRUE(f.open("/one"));
    const size_t asked = f.browser->asked.size();
    // A link to a script and a link to a place on the page load nothing.
    f.tap(f.web->frameOfLink("javascript:go()"));
    f.tap(f.web->frameOfLink("#top"));
    EXPECT_FALSE(f.web->isLoading());
    EXPECT_EQ(f.browser->asked.size(), asked);

    // The page is longer than the view: a finger drags it up to its last link.
    EXPECT_GT(f.web->pageHeight(), 480);
    EXPECT_EQ(f.web->scrollView()->contentSize().height, f.web->pageHeight());
    for (int i = 0; i < 6 && f.web->frameOfLink("/three").origin.y > 400; ++i) {
        UIScreenInput::touchDown(CGPointMake(160, 400));
        for (int step = 1; step <= 8; ++step) UIScreenInput::touchMoved(CGPointMake(160, 400 - step * 40));
        UIScreenInput::touchUp(CGPointMake(160, 80));
    }
    EXPECT_GT(f.web->scrollView()->contentOffset().y, 0);
    const CGRect bottom = f.web->frameOfLink("/three");
    ASSERT_LT(CGRectGetMaxY(bottom), 480);
    f.tap(bottom);
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "three");
    EXPECT_EQ(f.browser->asked.back(), "0 " + f.url("/three"));
    EXPECT_EQ(f.web->scrollView()->contentOffset().y, 0);  // a new page starts at its top

    f.web->goBack();
    ASSERT_TRUE(f.settle());
    f.tap(f.web->frameOfLink("two?x=1"));  // a link with a target opens here too
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "two");
    EXPECT_EQ(f.web->request()->URL()->absoluteString(), f.url("/two?x=1"));
    f.web->goBack();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "one");
    ASSERT_TRUE(f.web->canGoForward());
    f.web->goForward();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "two");
    EXPECT_EQ(f.web->history().size(), 2u);  // the page left by going back was replaced
}

TEST(WebViewPageTest, AFailedLoadShowsAPageSayingWhatFailedUnlessTheScreenSaysIt)
{
    for (bool shows : {true, false}) {
        Fixture f;
        f.web->setShowsErrorPages(shows);
        const std::string address = "http://" + RefusingPort::shared().hostPort() + "/gone";
        f.web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(address)));
        ASSERT_TRUE(pumpMainUntil([&] { return f.browser->error != nullptr; }));
        EXPECT_EQ(f.browser->error->code(), NSURLErrorCannotConnectToHost);
        EXPECT_EQ(f.web->showsErrorPage(), shows);
        const CGImageRef image = f.picture()->CGImage();
        EXPECT_EQ(inkRows(image, CGRectMake(0, 0, 320, 200)) > 20, shows) << shows;
    }
}

// Pages that mean harm: each ends within bounds, and the view stays usable.
TEST(WebViewPageTest, HostilePagesGetBoundedAnswers)
{
    Fixture f;
    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<div>";
    nested += "deep";
    std::string attributes = "<p";
    for (int i = 0; i < 40000; ++i) attributes += " a" + std::to_string(i) + "=\"v\"";
    attributes += ">many attributes</p>";
    std::string fields = "<form action=\"/sink\" method=\"post\">";
    for (int i = 0; i < 10000; ++i) fields += "<input name=\"f" + std::to_string(i) + "\" value=\"" + std::to_string(i) + "\">";
    fields += "<input type=\"submit\"></form>";
    f.serve("/nested", "<html><body>" + nested + "</body></html>");
    f.serve("/attributes", "<html><body>" + attributes + "</body></html>");
    f.serve("/fields", "<html><body>" + fields + "</body></html>");
    f.serve("/sink", "<html><head><title>sink</title></head></html>");
    f.serve("/large", std::string(600 * 1024, 'x'));
    f.server.route("/not-a-picture", [](const standin::Request&) { return page("<html>no</html>", "image/png"); });
    f.server.route("/bomb.png", [](const standin::Request&) { return page(pngBomb(9000), "image/png"); });
    f.serve("/pictures", "<html><body><img src=\"/not-a-picture\"><img src=\"/bomb.png\"><p>after</p></body></html>");
    f.server.route("/to-file", [](const standin::Request&) {
        return standin::Response::empty(302).with("Location", "file:///etc/passwd");
    });

    ASSERT_TRUE(f.open("/nested"));
    EXPECT_NE(f.web->pageText().find("deep"), std::string::npos);
    ASSERT_TRUE(f.open("/attributes"));
    EXPECT_EQ(f.web->pageText(), "many attributes");
    ASSERT_TRUE(f.open("/fields"));
    EXPECT_EQ(f.web->fields().size(), 10001u);
    f.web->submitFirstForm();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.web->pageTitle(), "sink");
    EXPECT_NE(f.lastPosted("/sink").find("&f9999=9999"), std::string::npos);

    ASSERT_TRUE(f.open("/pictures"));  // neither picture shows; the page does
    EXPECT_EQ(f.web->frameOfElement("img", 1).size.width, 0);
    EXPECT_EQ(f.web->pageText(), "after");

    struct Refused {
        const char* path;
        long code;
    } refused[] = {{"/large", UIWebViewErrorPageTooLarge}, {"/to-file", NSURLErrorUnsupportedURL}};
    f.web->setMaximumPageLength(512 * 1024);
    for (const auto& c : refused) {
        f.browser->error = nullptr;
        f.web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(f.url(c.path))));
        ASSERT_TRUE(pumpMainUntil([&] { return f.browser->error != nullptr; })) << c.path;
        EXPECT_EQ(f.browser->error->code(), c.code) << c.path;
        EXPECT_TRUE(f.web->showsErrorPage()) << c.path;
    }
}

TEST(WebViewPageTest, ANetworkPageOpensOnlyNetworkAddresses)
{
    Fixture f;
    f.serve("/links", "<html><body><p><a href=\"file:///etc/passwd\">file</a></p><p><a href=\"data:text/html,hi\">data</a>"
                      "</p><form action=\"javascript:send()\"><input type=\"submit\" name=\"js\" value=\"js\"></form>"
                      "<form action=\"file:///tmp/x\"><input type=\"submit\" name=\"local\" value=\"local\"></form>"
                      "</body></html>");
    struct Case {
        const char* what;
        bool isLink;
        bool asked;  // the delegate hears of it (and the load fails), or nothing happens at all
    } cases[] = {{"file:///etc/passwd", true, true}, {"data:text/html,hi", true, true}, {"js", false, false},
                 {"local", false, true}};
    for (const auto& c : cases) {
        ASSERT_TRUE(f.open("/links"));
        const size_t asked = f.browser->asked.size();
        f.browser->error = nullptr;
        if (c.isLink) {
            f.tap(f.web->frameOfLink(c.what));
        } else {
            f.tapField(c.what);
        }
        if (c.asked) {
            ASSERT_TRUE(pumpMainUntil([&] { return f.browser->error != nullptr; })) << c.what;
            EXPECT_EQ(f.browser->error->domain(), WebKitErrorDomain);
            EXPECT_EQ(f.browser->error->code(), WebKitErrorCannotShowURL) << c.what;
            EXPECT_EQ(f.browser->asked.size(), asked + 1) << c.what;
        } else {
            EXPECT_FALSE(f.web->isLoading()) << c.what;
            EXPECT_EQ(f.browser->asked.size(), asked) << c.what;
        }
    }
}

}  // namespace WebViewPageTest_cpp
}  // namespace
