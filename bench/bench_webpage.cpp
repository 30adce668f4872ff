// A web page as the web view shows it: a 30 KB page of mixed Chinese and Latin text (headings,
// paragraphs, a list, links) with a sign-in form, in a 320 x 480 point view drawn at scale 2
// (640 x 960 pixels). A frame has 16.7 ms.
//   BM_WebPageParse        the markup bounded and parsed into the engine's document
//   BM_WebPageLayout       the page laid out again at the view's width
//   BM_WebPageDraw         the part on screen drawn into the 640 x 960 pixels
//   BM_WebViewFieldFrame   the window stand-in's frame after one character typed into a field of the
//                          page (the field drawn again and the window rendered)
//   BM_WebViewScrollFrame  the window stand-in's frame after the page scrolled by 40 points (the page
//                          is drawn in a band around what shows, and again when a scroll leaves it)
#include <benchmark/benchmark.h>

#include <string>

#include "platform/foundation/MainThread.h"
#include "platform/graphics/CGContext.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIWebView.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/WebDocument.h"

namespace {
namespace bench_webpage_cpp {

// About 30 KB: sections of Chinese and Latin text, a list of links, and a form near the top.
std::string page()
{
    std::string html =
        "<html><head><meta charset=\"utf-8\"><title>西湖短片 · West Lake shorts</title></head><body>"
        "<h1>授权 ombri 访问你的微博帐号</h1><p>登录后即可分享视频。Sign in to share your videos.</p>"
        "<form method=\"post\" action=\"/oauth/authorize\"><input type=\"hidden\" name=\"oauth_token\" value=\"rt1\">"
        "<p>帐号 <input type=\"text\" name=\"userId\" value=\"xiaoming\"></p>"
        "<p>密码 <input type=\"password\" name=\"passwd\" value=\"\"></p>"
        "<p><input type=\"checkbox\" name=\"keep\" checked> 记住我 Remember me</p>"
        "<input type=\"submit\" value=\"授权\"></form>";
    int section = 0;
    while (html.size() < 30 * 1024) {
        ++section;
        html += "<h2>第" + std::to_string(section) + "节 Section " + std::to_string(section) + "</h2>";
        html += "<p>今天在西湖边拍的一段短片，配上了新的<b>滤镜</b>。The light on the water changed every minute, "
                "and the <i>old film</i> filter kept its warmth. 已经有 128 人看过，32 人留下了评论。</p>";
        html += "<ul><li><a href=\"/v/" + std::to_string(section) + "\">西湖的早晨 Morning on the lake</a></li>"
                "<li><a href=\"/v/" + std::to_string(section + 1) + "\">How the filters work 滤镜是怎样做的</a></li></ul>";
    }
    return html + "</body></html>";
}

void BM_WebPageParse(benchmark::State& state)
{
    const std::string html = page();
    for (auto _ : state) {
        benchmark::DoNotOptimize(webpage::Document::parse(html, "http://127.0.0.1/page", webpage::Limits()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(html.size()));
}
BENCHMARK(BM_WebPageParse)->Unit(benchmark::kMillisecond);

void BM_WebPageLayout(benchmark::State& state)
{
    auto doc = webpage::Document::parse(page(), "http://127.0.0.1/page", webpage::Limits());
    for (auto _ : state) {
        benchmark::DoNotOptimize(doc->layout(320, 480));
    }
    state.counters["height"] = doc->height();
}
BENCHMARK(BM_WebPageLayout)->Unit(benchmark::kMillisecond);

void BM_WebPageDraw(benchmark::State& state)
{
    auto doc = webpage::Document::parse(page(), "http://127.0.0.1/page", webpage::Limits());
    doc->layout(320, 480);
    CGContextRef context = CGContext::createImageContext(CGSizeMake(320, 480), 2);
    for (auto _ : state) {
        context->setFillColor(CGColor::createGray(1, 1));
        context->fillRect(CGRectMake(0, 0, 320, 480));
        doc->draw(context, CGRectMake(0, 0, 320, 480));
        benchmark::DoNotOptimize(CGBitmapContextGetData(context));
    }
}
BENCHMARK(BM_WebPageDraw)->Unit(benchmark::kMillisecond);

// The benchmark page loaded in a web view filling a window, drawn once.
struct ShownPage {
    ShownPage()
    {
        window->setBackgroundColor(UIColor::whiteColor());
        window->addSubview(web);
        window->makeKeyAndVisible();
        web->loadHTMLString_baseURL(page(), NSURL::URLWithString("http://127.0.0.1/page"));
        pumpMainUntil([&] { return !web->isLoading(); });
        renderer.renderFrame();
    }
    Ref<UIWindow> window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    Ref<UIWebView> web = UIWebView::initWithFrame(window->bounds());
    UIScreenRenderer renderer{CGSizeMake(320, 480), 2, true};
};

void BM_WebViewFieldFrame(benchmark::State& state)
{
    MainThreadScope main;
    ShownPage shown;
    auto& web = shown.web;
    auto& renderer = shown.renderer;
    for (const auto& field : web->fields()) {
        if (field.name == "passwd") {
            UIScreenInput::tap(web->convertPoint_toView(
                CGPointMake(CGRectGetMidX(field.frame), CGRectGetMidY(field.frame)), nullptr));
        }
    }
    renderer.renderFrame();
    int typed = 0;
    for (auto _ : state) {
        if (++typed % 16 == 0) {
            for (int i = 0; i < 15; ++i) UIKeyboard::pressDelete();
        } else {
            UIKeyboard::typeText("a");
        }
        benchmark::DoNotOptimize(renderer.renderFrame());
    }
    state.SetItemsProcessed(state.iterations());
    UIKeyboard::reset();
}
BENCHMARK(BM_WebViewFieldFrame)->Unit(benchmark::kMillisecond);

void BM_WebViewScrollFrame(benchmark::State& state)
{
    MainThreadScope main;
    ShownPage shown;
    auto& web = shown.web;
    auto& renderer = shown.renderer;
    const CGFloat most = web->scrollView()->contentSize().height - 480;
    CGFloat y = 0;
    for (auto _ : state) {
        y = y + 40 > most ? 0 : y + 40;
        web->scrollView()->setContentOffset(CGPointMake(0, y));
        benchmark::DoNotOptimize(renderer.renderFrame());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WebViewScrollFrame)->Unit(benchmark::kMillisecond);

}  // namespace bench_webpage_cpp
}  // namespace

BENCHMARK_MAIN();
