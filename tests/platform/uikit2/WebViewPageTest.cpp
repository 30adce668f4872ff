// The web view as a person uses it: pages laid out and drawn, fields tapped and typed into, forms
// submitted, links followed, and hostile pages answered within bounds.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
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
#include "platform/uikit/UIKeyboardView.h"
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
    // The deadline only bounds a failure: a page of ten thousand fields takes seconds to lay out and
    // draw under the thread sanitizer on a busy machine.
    bool settle()
    {
        return pumpMainUntil(
            [&] {
                web->layer()->layoutAndDisplayTreeIfNeeded();
                return !web->isLoading() && web->pendingImageCount() == 0 && web->pageDrawn();
            },
            std::chrono::seconds(60));
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

// Pages in other encodings than UTF-8 read as their authors wrote them: the response's charset first,
// then the page's own <meta>, then UTF-8 when the bytes are valid UTF-8, else Windows Latin-1.
TEST(WebViewPageTest, PagesAreReadInTheEncodingTheyAreWrittenIn)
{
    struct Case {
        const char* what;
        const char* type;
        std::string body;
        const char* text;
    } cases[] = {
        {"GBK by header", "text/html; charset=GBK", "<p>\xD6\xD0\xCE\xC4\xCD\xF8\xD2\xB3</p>", "中文网页"},
        {"GB2312 by meta", "text/html", "<head><meta charset=\"gb2312\"></head><p>\xC4\xE3\xBA\xC3</p>", "你好"},
        {"Latin-1 by header", "text/html; charset=ISO-8859-1", "<p>Caf\xE9 \xDCn\xEF" "code \xDF</p>", "Café Ünïcode ß"},
        {"Latin-1 by http-equiv, read as Windows Latin-1", "text/html",
         "<!-- <meta charset=\"utf-8\"> --><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
         "<p>\x80 5, na\xEFve</p>",
         "€ 5, naïve"},
        {"the header wins over the meta", "text/html; charset=utf-8", "<meta charset=\"gbk\"><p>中文</p>", "中文"},
        {"unlabelled UTF-8", "text/html", "<p>中文 text</p>", "中文 text"},
        {"unlabelled, not UTF-8", "text/html", "<p>Caf\xE9</p>", "Café"},
        {"bytes not valid in the encoding show as replacements", "text/html; charset=gbk", "<p>\xD6\xD0\xFF!</p>",
         "中\xEF\xBF\xBD!"},
        {"an unknown charset falls back to the meta", "text/html; charset=x-unknown",
         "<meta charset=gbk><p>\xC4\xE3\xBA\xC3</p>", "你好"},
        {"a byte-order mark wins over everything", "text/html; charset=gbk", "\xEF\xBB\xBF<p>中文</p>", "中文"},
        {"plain text by header", "text/plain; charset=gbk", "\xC4\xE3\xBA\xC3 <p>", "你好 <p>"},
    };
    Fixture f;
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = "/page" + std::to_string(++n);
        f.server.route(path, [c](const standin::Request&) { return page(c.body, c.type); });
        ASSERT_TRUE(f.open(path)) << c.what;
        EXPECT_EQ(f.web->pageText(), c.text) << c.what;
    }
}

// A form goes back in its page's encoding; what that encoding cannot hold goes as a character reference.
TEST(WebViewPageTest, AFormIsSentInItsPagesEncoding)
{
    struct Case {
        const char* type;
        std::string field;  // the page's text before the field, in its encoding
        const char* typed;
        const char* sent;
    } cases[] = {
        {"text/html; charset=gbk", "\xD5\xCA\xBA\xC5", "小明", "POST user=%D0%A1%C3%F7"},
        {"text/html; charset=iso-8859-1", "Nom", "é中", "POST user=%E9%26%2320013%3B"},
        {"text/html; charset=utf-8", "帐号", "é", "POST user=%C3%A9"},
    };
    for (const auto& c : cases) {
        Fixture f;
        const std::string html = "<form method=\"post\" action=\"/sink\">" + c.field +
                                 " <input type=\"text\" name=\"user\"></form>";
        f.server.route("/form", [html, type = std::string(c.type)](const standin::Request&) { return page(html, type); });
        f.serve("/sink", "<title>sink</title>");
        ASSERT_TRUE(f.open("/form")) << c.type;
        f.tapField("user");
        UIScreenInput::typeText(c.typed);
        UIScreenInput::pressReturn();
        ASSERT_TRUE(f.settle()) << c.type;
        EXPECT_EQ(f.lastPosted("/sink"), c.sent) << c.type;
    }
}

bool caretBlue(uint32_t argb)
{
    const int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    return b > 180 && r < 90 && g > 80 && g < 150;
}

// Where ink and the caret lie along a field's middle row: [first, last] dark columns, and the caret's.
struct Row {
    int firstInk = -1, lastInk = -1, caret = -1;
};
Row rowOf(const CGImageRef& image, CGRect field)
{
    Row row;
    const int y = int(CGRectGetMidY(field));
    for (int x = int(field.origin.x) + 3; x < int(CGRectGetMaxX(field)) - 3; ++x) {
        const uint32_t pixel = image->pixelAt(size_t(x), size_t(y));
        if (caretBlue(pixel) && row.caret < 0) row.caret = x;
        if (dark(pixel)) {
            if (row.firstInk < 0) row.firstInk = x;
            row.lastInk = x;
        }
    }
    return row;
}

// The caret of a page's field goes where a finger puts it; the caret keys move it; typing, delete and
// the selection act there.
TEST(WebViewPageTest, TheCaretIsPlacedByATapAndMovedByTheKeys)
{
    Fixture f;
    f.serve("/form", "<form action=\"/sink\"><p><input type=\"text\" name=\"q\" value=\"mmmmmmmmmm\"></p>"
                     "<p><textarea name=\"t\" rows=\"3\">line one\nline two</textarea></p>"
                     "<p><input type=\"password\" name=\"pw\" value=\"secret\"></p></form>");
    ASSERT_TRUE(f.open("/form"));
    const CGRect q = f.field("q")->frame;
    const Row atRest = rowOf(f.picture()->CGImage(), q);
    ASSERT_GT(atRest.lastInk, atRest.firstInk);

    // A tap in the middle of the text puts the caret between the middle characters, and it is drawn there.
    const int middle = (atRest.firstInk + atRest.lastInk) / 2;
    UIScreenInput::tap(f.web->convertPoint_toView(CGPointMake(middle, CGRectGetMidY(q)), nullptr));
    ASSERT_TRUE(f.field("q")->focused);
    // Return sends a one-line field's form, and the keyboard's key says so.
    ASSERT_TRUE(UIKeyboard::keyboardView());
    EXPECT_EQ(UIKeyboard::keyboardView()->returnKeyTitle(), "前往");
    EXPECT_EQ(f.web->selectedRange().location, 5u);
    EXPECT_EQ(f.web->selectedRange().length, 0u);
    const Row focused = rowOf(f.picture()->CGImage(), q);
    EXPECT_NEAR(focused.caret, middle, 6);

    // Typing goes in at the caret; the caret keys move it; Shift selects and typing replaces the selection.
    struct Step {
        std::function<void()> keys;
        const char* value;
        NSUInteger caret;
    } steps[] = {
        {[] { UIScreenInput::typeText("ab"); }, "mmmmmabmmmmm", 7},
        {[] { UIScreenInput::pressDelete(); }, "mmmmmammmmm", 6},
        {[] { UIScreenInput::pressCaretKey(UITextCaretKey::Home, false); UIScreenInput::typeText("<"); },
         "<mmmmmammmmm", 1},
        {[] { UIScreenInput::pressCaretKey(UITextCaretKey::End, false); UIScreenInput::typeText(">"); },
         "<mmmmmammmmm>", 13},
        {[] {
             UIScreenInput::pressCaretKey(UITextCaretKey::Left, false);
             UIScreenInput::pressCaretKey(UITextCaretKey::Left, true);
             UIScreenInput::pressCaretKey(UITextCaretKey::Left, true);
             UIScreenInput::typeText("中");
         },
         "<mmmmmammm中>", 11},
        {[] { UIScreenInput::pressCommand('a'); UIScreenInput::pressDelete(); }, "", 0},
    };
    for (const auto& step : steps) {
        step.keys();
        EXPECT_EQ(f.field("q")->value, step.value);
        EXPECT_EQ(f.web->selectedRange().location, step.caret) << step.value;
    }

    // In a text area a tap picks the line as well; Home goes to the start of that line.
    const CGRect t = f.field("t")->frame;
    UIScreenInput::tap(f.web->convertPoint_toView(CGPointMake(CGRectGetMaxX(t) - 8, t.origin.y + 5 + 20 + 6), nullptr));
    ASSERT_TRUE(f.field("t")->focused);
    EXPECT_EQ(UIKeyboard::keyboardView()->returnKeyTitle(), "换行");  // there Return breaks the line
    EXPECT_EQ(f.web->selectedRange().location, 17u);  // the end of "line two"
    UIScreenInput::pressCaretKey(UITextCaretKey::Home, false);
    UIScreenInput::typeText("2: ");
    EXPECT_EQ(f.field("t")->value, "line one\n2: line two");

    // A password's caret moves the same way, over its dots.
    f.tapField("pw");
    UIScreenInput::pressCaretKey(UITextCaretKey::Home, false);
    UIScreenInput::pressDelete();  // nothing before the start
    UIScreenInput::pressCaretKey(UITextCaretKey::Right, false);
    UIScreenInput::typeText("#");
    EXPECT_EQ(f.field("pw")->value, "s#ecret");
    EXPECT_FALSE(UIScreenInput::pressCommand('c'));  // its text does not leave the field
}

// The keyboard never hides the field being filled in: the page moves it (and its form's button) above
// the keyboard, what lies under the keyboard can still be scrolled to, and the page goes back when the
// keyboard goes.
TEST(WebViewPageTest, TheKeyboardLeavesTheFocusedFieldInSight)
{
    struct Case {
        const char* what;
        int paragraphsBefore;  // filler above the form
        int paragraphsAfter;   // filler below it
        CGFloat top;           // where the web view starts on the screen (it may run past the screen's edge)
        CGFloat covered;       // how much of it lies below the keyboard's top
    } cases[] = {
        {"a form low on a long page", 9, 20, 0, 216},
        {"a form at the bottom of a page as tall as the view", 9, 0, 0, 216},
        {"a view under a bar, running past the screen's bottom", 6, 20, 64, 280},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        std::string before, after;
        for (int i = 0; i < c.paragraphsBefore; ++i) before += "<p>第" + std::to_string(i) + "段 filler</p>";
        for (int i = 0; i < c.paragraphsAfter; ++i) after += "<p>after " + std::to_string(i) + "</p>";
        f.serve("/form", "<body style=\"margin: 0\">" + before +
                             "<form action=\"/sink\"><input type=\"text\" name=\"q\"><br><input type=\"submit\" "
                             "name=\"go\" value=\"Go\"></form>" + after + "</body>");
        f.web->setFrame(CGRectMake(0, c.top, 320, 480));
        ASSERT_TRUE(f.open("/form"));
        const CGRect keyboard = CGRectMake(0, 264 - c.top, 320, 216);  // in the web view
        const CGRect field = f.field("q")->frame;
        ASSERT_GT(CGRectGetMaxY(field), keyboard.origin.y);  // where the keyboard will come
        ASSERT_LT(CGRectGetMaxY(field), 480 - c.top);
        const CGFloat offsetBefore = f.web->scrollView()->contentOffset().y;

        f.tapField("q");
        ASSERT_TRUE(UIKeyboard::isVisible());
        EXPECT_LE(CGRectGetMaxY(f.field("q")->frame), keyboard.origin.y);
        EXPECT_GE(f.field("q")->frame.origin.y, 0);
        EXPECT_LE(CGRectGetMaxY(f.field("go")->frame), keyboard.origin.y);
        EXPECT_EQ(f.web->scrollView()->contentInset().bottom, c.covered);
        UIScreenInput::typeText("x");
        EXPECT_EQ(f.field("q")->value, "x");

        // The page's last line can be dragged up above the keyboard.
        const CGFloat last = f.web->scrollView()->contentSize().height + c.covered - 480;
        for (int i = 0; i < 6 && f.web->scrollView()->contentOffset().y < last - 1; ++i) {
            UIScreenInput::touchDown(CGPointMake(300, 240));
            for (int step = 1; step <= 6; ++step) UIScreenInput::touchMoved(CGPointMake(300, 240 - step * 30));
            UIScreenInput::touchUp(CGPointMake(300, 60));
            pumpMainUntil([&] { return !f.web->scrollView()->isDecelerating(); });
        }
        EXPECT_TRUE(pumpMainUntil([&] {
            return std::abs(f.web->scrollView()->contentOffset().y - last) < 1 && !f.web->scrollView()->isDecelerating();
        }));
        EXPECT_TRUE(f.field("q")->focused);  // dragging the page leaves the field its focus

        // The keyboard goes: the page is where it was before it came.
        f.web->resignFirstResponder();
        EXPECT_FALSE(UIKeyboard::isVisible());
        EXPECT_EQ(f.web->scrollView()->contentInset().bottom, 0);
        EXPECT_EQ(f.web->scrollView()->contentOffset().y, offsetBefore);
    }
}

// A page's linked style sheets are fetched before it shows, so its first picture is styled; sheets that
// fail, are too large or lie where a network page may not reach leave the page as it is.
TEST(WebViewPageTest, LinkedStyleSheetsStyleThePageFromItsFirstPicture)
{
    Fixture f;
    f.server.route("/css/site.css", [](const standin::Request&) {
        return page("@charset \"utf-8\"; h1 { color: #ff0000; } p.big { font-size: 40px; }", "text/css");
    });
    f.server.route("/css/huge.css", [](const standin::Request&) {
        return page("h2 { color: #00ff00; }" + std::string(5 * 1024 * 1024, ' '), "text/css");
    });
    f.server.route("/css/missing.css", [](const standin::Request&) {
        auto r = page("h2 { color: #00ff00; }", "text/css");
        r.status = 404;
        return r;
    });
    f.serve("/page", "<html><head><link rel=\"stylesheet\" href=\"css/site.css\">"
                     "<link rel=\"stylesheet\" href=\"/css/huge.css\"><link rel=\"stylesheet\" href=\"/css/missing.css\">"
                     "<link rel=\"stylesheet\" href=\"file:///etc/passwd\"><link rel=\"alternate stylesheet\" "
                     "href=\"/css/alt.css\"><link rel=\"icon\" href=\"/favicon.ico\"></head>"
                     "<body><h1>红色 Red</h1><h2>绿色? Green?</h2><p>normal</p><p class=\"big\">big</p></body></html>");
    ASSERT_TRUE(f.open("/page"));
    EXPECT_EQ(f.server.requests("/css/site.css").size(), 1u);
    EXPECT_TRUE(f.server.requests("/css/alt.css").empty());
    EXPECT_TRUE(f.server.requests("/favicon.ico").empty());

    const CGImageRef image = f.picture()->CGImage();
    auto count = [&](CGRect box, auto&& test) {
        int n = 0;
        for (int y = int(box.origin.y); y < int(CGRectGetMaxY(box)); ++y)
            for (int x = int(box.origin.x); x < int(CGRectGetMaxX(box)); ++x) n += test(image->pixelAt(size_t(x), size_t(y)));
        return n;
    };
    auto red = [](uint32_t p) { return ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80; };
    auto green = [](uint32_t p) { return ((p >> 8) & 0xFF) > 200 && ((p >> 16) & 0xFF) < 80 && (p & 0xFF) < 80; };
    EXPECT_GT(count(f.web->frameOfElement("h1"), red), 40);
    EXPECT_EQ(count(f.web->frameOfElement("h2"), green), 0);
    EXPECT_GT(f.web->frameOfElement("p", 1).size.height, f.web->frameOfElement("p", 0).size.height * 3 / 2);
}

// A long page is drawn in a band around what shows; wherever the wheel takes it, what shows is drawn.
TEST(WebViewPageTest, ALongPageShowsWhereverItIsScrolled)
{
    Fixture f;
    std::string body;
    for (int i = 0; i < 150; ++i) body += "<p>第" + std::to_string(i) + "段 paragraph " + std::to_string(i) + "</p>";
    f.serve("/long", "<html><body>" + body + "</body></html>");
    ASSERT_TRUE(f.open("/long"));
    const CGFloat most = f.web->scrollView()->contentSize().height - 480;
    ASSERT_GT(most, 480 * 8);
    for (CGFloat target : {most / 2, most}) {
        SCOPED_TRACE(target);
        for (int i = 0; i < 200 && f.web->scrollView()->contentOffset().y < target; ++i) {
            UIScreenInput::scrollWheel(CGPointMake(160, 240), CGPointMake(0, 120));
        }
        ASSERT_TRUE(pumpMainUntil([&] {
            const CGFloat y = f.web->scrollView()->contentOffset().y;
            return y >= target - 120 && y <= most;
        }));
        // The paragraphs in sight carry ink.
        const CGImageRef image = f.picture()->CGImage();
        int inked = 0, inSight = 0;
        for (size_t p = 0; p < 150; ++p) {
            const CGRect frame = f.web->frameOfElement("p", p);
            if (frame.origin.y < 0 || CGRectGetMaxY(frame) > 480) continue;
            ++inSight;
            inked += inkRows(image, frame) > 5 ? 1 : 0;
        }
        EXPECT_GT(inSight, 5);
        EXPECT_EQ(inked, inSight);
    }
}

}  // namespace WebViewPageTest_cpp
}  // namespace
