#include "platform/uikit/UIWebView.h"

#include <algorithm>
#include <cmath>

#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/WebDocument.h"

// ---- The parsed page ---------------------------------------------------------------------------------

struct UIWebView::Page {
    std::shared_ptr<webpage::Document> doc;
    std::string plainText;  // a page that is not HTML
    bool isPlainText = false;
    std::string title;
    std::string text;
    // What the page's bytes were read in; its forms are sent in it too.
    NSStringEncoding encoding = NSUTF8StringEncoding;
};

namespace {
namespace UIWebView_cpp {

// Pictures on pages: the most of one picture's bytes that is read.
constexpr NSUInteger kMaximumImageLength = 4 * 1024 * 1024;
// ... and the most pixels a page's picture may decode to.
constexpr CGFloat kMaximumImagePixels = 4096.0 * 4096.0;
// Style sheets a page links: how many are fetched, the most of one that is read, and how long the page
// waits for one before it shows without it.
constexpr size_t kMaximumStyleSheets = 16;
constexpr NSUInteger kMaximumStyleSheetLength = kMaximumImageLength;
constexpr double kStyleSheetTimeout = 10;

std::string lower(std::string s) { return webpage::lowerASCII(std::move(s)); }
std::string collapse(std::string_view text) { return webpage::collapseWhiteSpace(text); }

std::string schemeOf(const Ref<NSURL>& url) { return url ? lower(url->scheme()) : ""; }

bool isNetworkScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// Parses (and lays out at width, when given) a page given as UTF-8 text: safe off the main thread.
std::shared_ptr<UIWebView::Page> parsePage(const std::string& body, const std::string& mime, const std::string& url,
                                           int width, int height, NSStringEncoding encoding = NSUTF8StringEncoding,
                                           const webpage::StyleSheets& sheets = {})
{
    auto page = std::make_shared<UIWebView::Page>();
    page->encoding = encoding;
    if (lower(mime).rfind("text/plain", 0) == 0) {
        page->isPlainText = true;
        page->plainText = body;
        page->text = body;
        page->doc = webpage::Document::parse(
            "<html><body><pre style=\"white-space: pre-wrap\">" + webpage::escapeHTML(body) + "</pre></body></html>", url,
            webpage::Limits());
    } else {
        page->doc = webpage::Document::parse(body, url, webpage::Limits(), sheets);
        page->title = page->doc->title();
        page->text = page->doc->text();
    }
    if (width > 0) {
        page->doc->layout(width, height);
    }
    return page;
}

std::shared_ptr<UIWebView::Page> errorPage(const Ref<NSError>& error, const Ref<NSURLRequest>& request, int width,
                                          int height)
{
    const std::string address = request && request->URL() ? request->URL()->absoluteString() : "";
    std::string reason = error ? error->localizedDescription() : "";
    if (error) {
        reason += " (" + error->domain() + " " + std::to_string(error->code()) + ")";
    }
    const std::string html =
        "<html><head><title>无法打开网页</title></head><body style=\"margin: 24px 16px; color: #333\">"
        "<h2 style=\"color: #222\">无法打开网页</h2><p>" +
        webpage::escapeHTML(reason) + "</p><p style=\"color: #777; font-size: 13px\">" + webpage::escapeHTML(address) +
        "</p></body></html>";
    return parsePage(html, "text/html", address, width, height);
}

// application/x-www-form-urlencoded in the page's encoding; a character the encoding cannot hold goes
// as a numeric character reference, as browsers send it.
std::string formEncode(std::string_view text, NSStringEncoding encoding)
{
    std::string bytes;
    const bool unicode = encoding == NSUTF8StringEncoding || encoding == NSUTF16BigEndianStringEncoding ||
                         encoding == NSUTF16LittleEndianStringEncoding || encoding == NSUnicodeStringEncoding;
    if (unicode) {
        bytes = std::string(text);
    } else if (auto whole = Charset::encode(text, encoding)) {
        bytes = std::move(*whole);
    } else {
        for (char32_t c : NSString::toUTF32(std::string(text))) {
            const std::string one = NSString::fromUTF32(std::u32string(1, c));
            auto encoded = Charset::encode(one, encoding);
            bytes += encoded ? *encoded : "&#" + std::to_string(uint32_t(c)) + ";";
        }
    }
    std::string escaped = PercentEscapes::escapeAllExcept(bytes, "*-._ ");
    std::replace(escaped.begin(), escaped.end(), ' ', '+');
    return escaped;
}

std::string typeName(webpage::Control::Kind kind)
{
    using Kind = webpage::Control::Kind;
    switch (kind) {
    case Kind::Text: return "text";
    case Kind::Password: return "password";
    case Kind::TextArea: return "textarea";
    case Kind::Checkbox: return "checkbox";
    case Kind::Radio: return "radio";
    case Kind::Select: return "select";
    case Kind::Submit: return "submit";
    case Kind::Reset: return "reset";
    case Kind::Button: return "button";
    case Kind::Hidden: return "hidden";
    case Kind::File: return "file";
    }
    return "";
}

}  // namespace UIWebView_cpp
}  // namespace

using namespace UIWebView_cpp;

// ---- The page on the screen --------------------------------------------------------------------------

// The page's content inside the scroll view: it draws the page and takes the finger's taps.
class UIWebView::PageView : public UIView {
public:
    Weak<UIWebView> web;
    bool drawn = false;

    void drawRect(CGRect rect) override
    {
        auto view = web.lock();
        webpage::Document* doc = view ? view->shownDocument() : nullptr;
        CGContextRef context = UIGraphicsGetCurrentContext();
        if (!doc || !context) {
            return;
        }
        // Only a band around what shows is drawn (a long page would otherwise keep, and paint every
        // frame, the drawing of all of it); scrolling out of the band draws it again.
        band = view->visibleBand();
        doc->draw(context, CGRectIntersection(rect, band));
        drawn = true;
    }
    CGRect band = CGRectNull;
    void touchesBegan_withEvent(const UITouchSet&, const Ref<UIEvent>&) override {}
    void touchesMoved_withEvent(const UITouchSet&, const Ref<UIEvent>&) override {}
    void touchesCancelled_withEvent(const UITouchSet&, const Ref<UIEvent>&) override {}
    void touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>&) override
    {
        auto touch = touches.anyObject();
        auto view = web.lock();
        if (touch && view) {
            view->pageTapped(touch->locationInView(self<UIView>()));
        }
    }
};

// The scroll view around the page: it tells the page when it scrolls.
class UIWebView::PageScroller : public UIScrollView {
public:
    Weak<UIWebView> web;

protected:
    void contentOffsetDidChange() override
    {
        if (auto view = web.lock()) view->pageScrolled();
    }
};

// The focused text field drawn over the page: typing and the caret redraw this small view alone, not
// the whole page beneath it (which catches up when the focus leaves).
class UIWebView::FieldView : public UIView {
public:
    Weak<UIWebView> web;

    void drawRect(CGRect) override
    {
        auto view = web.lock();
        webpage::Document* doc = view ? view->shownDocument() : nullptr;
        CGContextRef context = UIGraphicsGetCurrentContext();
        if (!doc || !context || !view->focused_) {
            return;
        }
        context->translateCTM(-frame().origin.x, -frame().origin.y);
        doc->drawControl(context, view->focused_, view->isCaretShown());
    }
};

// ---- The network's side of a load --------------------------------------------------------------------

namespace webpage {

// Something a page needs beside its own text (a style sheet, a picture): read only through network
// addresses (a redirect anywhere else is refused), never beyond its cap, a reply outside 2xx counting
// as none. The body is handed over once, or nothing when the fetch failed; nothing after cancel().
class SubresourceFetch : public NSObject, public NSURLConnectionDelegate {
public:
    void start()
    {
        auto request = NSURLRequest::requestWithURL_cachePolicy_timeoutInterval(
            NSURL::URLWithString(url_), NSURLRequestUseProtocolCachePolicy, timeout_);
        connection_ = NSURLConnection::initWithRequest_delegate_startImmediately(
            request, std::static_pointer_cast<SubresourceFetch>(shared_from_this()), false);
        connection_->scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopCommonModes);
        connection_->start();
    }
    void cancel()
    {
        over_ = true;
        data_ = NSData();
        if (connection_) {
            connection_->cancel();
            connection_ = nullptr;
        }
    }
    Ref<NSURLRequest> connection_willSendRequest_redirectResponse(NSURLConnection*, const Ref<NSURLRequest>& request,
                                                                  const Ref<NSURLResponse>& redirectResponse) override
    {
        if (redirectResponse && !UIWebView_cpp::isNetworkScheme(UIWebView_cpp::schemeOf(request->URL()))) {
            finish(std::nullopt);
            return nullptr;
        }
        return request;
    }
    void connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& response) override
    {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
        ok_ = !http || (http->statusCode() >= 200 && http->statusCode() < 300);
        charset_ = response ? response->textEncodingName() : "";
        data_ = NSData();
    }
    void connection_didReceiveData(NSURLConnection*, const NSData& data) override
    {
        if (over_) {
            return;
        }
        if (data_.length() + data.length() > cap_) {
            finish(std::nullopt);
            return;
        }
        data_.appendData(data);
    }
    void connectionDidFinishLoading(NSURLConnection*) override
    {
        if (!ok_) {
            finish(std::nullopt);
            return;
        }
        NSData body = std::move(data_);
        finish(std::move(body));
    }
    void connection_didFailWithError(NSURLConnection*, const Ref<NSError>&) override { finish(std::nullopt); }

protected:
    SubresourceFetch(std::string url, NSUInteger cap, double timeout)
        : url_(std::move(url)), cap_(cap), timeout_(timeout)
    {
    }
    const std::string& url() const { return url_; }
    virtual void arrived(std::optional<NSData> body, const std::string& charset) = 0;

private:
    void finish(std::optional<NSData> body)
    {
        if (over_) {
            return;
        }
        cancel();
        arrived(std::move(body), charset_);
    }
    std::string url_;
    NSUInteger cap_;
    double timeout_;
    Ref<NSURLConnection> connection_;
    NSData data_;
    std::string charset_;
    bool ok_ = true;
    bool over_ = false;
};

}  // namespace webpage

namespace {
namespace UIWebView_cpp {

// One style sheet of a page, handed over as text or given up (nullopt).
class SheetFetch : public webpage::SubresourceFetch {
public:
    using Done = std::function<void(const std::string& url, std::optional<std::string> text)>;
    SheetFetch(std::string url, Done done)
        : SubresourceFetch(std::move(url), kMaximumStyleSheetLength, kStyleSheetTimeout), done_(std::move(done))
    {
    }

private:
    void arrived(std::optional<NSData> body, const std::string& charset) override
    {
        Done done = std::move(done_);
        done_ = nullptr;
        if (done) {
            done(url(), body ? std::optional<std::string>(webpage::decodePage(body->string(), charset, false).text)
                             : std::nullopt);
        }
    }
    Done done_;
};

}  // namespace UIWebView_cpp
}  // namespace

class UIWebView::Fetch : public NSObject, public NSURLConnectionDelegate {
public:
    Fetch(Weak<UIWebView> view, NSUInteger limit, int width, int height)
        : view_(std::move(view)), limit_(limit), width_(width), height_(height)
    {
    }

    void start(const Ref<NSURLRequest>& request)
    {
        connection_ = NSURLConnection::initWithRequest_delegate_startImmediately(
            request, std::static_pointer_cast<Fetch>(shared_from_this()), false);
        connection_->scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopCommonModes);
        connection_->start();
    }
    void cancel()
    {
        cancelled_ = true;
        if (connection_) {
            connection_->cancel();
            connection_ = nullptr;
        }
        for (const auto& sheet : sheetFetches_) {
            sheet->cancel();
        }
        sheetFetches_.clear();
    }

    Ref<NSURLRequest> connection_willSendRequest_redirectResponse(NSURLConnection*, const Ref<NSURLRequest>& request,
                                                                  const Ref<NSURLResponse>& redirectResponse) override
    {
        auto view = view_.lock();
        if (!redirectResponse || cancelled_ || !view) {
            return request;
        }
        if (!isNetworkScheme(schemeOf(request->URL()))) {
            // A network page sends nobody to a local file or a script.
            stopWith(NSError::errorWithDomain_code_userInfo(
                WebKitErrorDomain, WebKitErrorCannotShowURL,
                Value::dictionary({{NSLocalizedDescriptionKey, "The page was sent to an address it may not open"}})));
            return nullptr;
        }
        if (auto delegate = view->delegate_.lock();
            delegate && !delegate->webView_shouldStartLoadWithRequest_navigationType(view, request,
                                                                                     UIWebViewNavigationTypeOther)) {
            // The page's delegate stops the load here; the failure is reported from the loop, not from
            // inside the connection's own callback.
            stopWith(NSError::errorWithDomain_code_userInfo(
                WebKitErrorDomain, WebKitErrorFrameLoadInterruptedByPolicyChange,
                Value::dictionary({{NSLocalizedDescriptionKey, "Frame load interrupted"}})));
            return nullptr;
        }
        view->request_ = request;
        return request;
    }
    void connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& response) override
    {
        if (stopped_) {
            return;
        }
        response_ = response;
        data_ = NSData();
    }
    void connection_didReceiveData(NSURLConnection*, const NSData& data) override
    {
        if (stopped_ || cancelled_) {
            return;
        }
        if (data_.length() + data.length() > limit_) {
            stopWith(NSError::errorWithDomain_code_userInfo(
                NSURLErrorDomain, UIWebViewErrorPageTooLarge,
                Value::dictionary({{NSLocalizedDescriptionKey, "The page is too large to show"}})));
            return;
        }
        data_.appendData(data);
    }
    void connectionDidFinishLoading(NSURLConnection* connection) override
    {
        auto view = view_.lock();
        if (cancelled_ || stopped_ || !view || view->fetch_.get() != this) {
            return;
        }
        Ref<NSURLRequest> finalRequest = connection->currentRequest();
        if (response_ && response_->URL() && finalRequest &&
            response_->URL()->absoluteString() != finalRequest->URL()->absoluteString()) {
            Ref<NSMutableURLRequest> moved = finalRequest->mutableCopy();
            moved->setURL(response_->URL());
            finalRequest = moved;
        }
        // The page is parsed and laid out away from the interface; the load ends on the main loop.
        Ref<Fetch> self = std::static_pointer_cast<Fetch>(shared_from_this());
        auto body = std::make_shared<std::string>(data_.string());
        data_ = NSData();
        const std::string mime = response_ ? response_->MIMEType() : "text/html";
        const std::string charset = response_ ? response_->textEncodingName() : "";
        const std::string url = finalRequest && finalRequest->URL() ? finalRequest->URL()->absoluteString() : "";
        const int width = width_;
        const int height = height_;
        dispatch_async(dispatch_get_global_queue(0, 0), [self, body, mime, charset, url, width, height, finalRequest] {
            const bool plain = lower(mime).rfind("text/plain", 0) == 0;
            auto decoded = std::make_shared<webpage::DecodedText>(webpage::decodePage(*body, charset, !plain));
            std::vector<std::string> sheets =
                plain ? std::vector<std::string>() : webpage::styleSheetLinks(decoded->text, url, kMaximumStyleSheets);
            if (!sheets.empty()) {
                // The page shows styled from its first picture: its sheets come first.
                dispatch_async(dispatch_get_main_queue(), [self, decoded, sheets, mime, url, finalRequest] {
                    self->fetchSheets(decoded, sheets, mime, url, finalRequest);
                });
                return;
            }
            auto page = parsePage(decoded->text, mime, url, width, height, decoded->encoding);
            dispatch_async(dispatch_get_main_queue(), [self, page, finalRequest] { self->deliver(page, finalRequest); });
        });
    }
    void connection_didFailWithError(NSURLConnection*, const Ref<NSError>& error) override
    {
        auto view = view_.lock();
        if (cancelled_ || stopped_ || !view || view->fetch_.get() != this) {
            return;
        }
        view->failLoad(error);
    }

private:
    void deliver(const std::shared_ptr<Page>& page, const Ref<NSURLRequest>& finalRequest)
    {
        auto view = view_.lock();
        if (!cancelled_ && view && view->fetch_.get() == this) {
            view->finishLoad(page, finalRequest);
        }
    }
    // Fetches the page's style sheets (main thread), then parses the page with those that arrived.
    void fetchSheets(const std::shared_ptr<webpage::DecodedText>& decoded, const std::vector<std::string>& urls,
                     const std::string& mime, const std::string& url, const Ref<NSURLRequest>& finalRequest)
    {
        if (cancelled_) {
            return;
        }
        auto arrived = std::make_shared<webpage::StyleSheets>();
        auto waiting = std::make_shared<size_t>(urls.size());
        Weak<Fetch> weak = std::static_pointer_cast<Fetch>(shared_from_this());
        const int width = width_;
        const int height = height_;
        for (const std::string& sheetURL : urls) {
            auto sheet = std::make_shared<SheetFetch>(
                sheetURL, [weak, arrived, waiting, decoded, mime, url, width, height,
                           finalRequest](const std::string& from, std::optional<std::string> text) {
                    if (text) {
                        (*arrived)[from] = std::move(*text);
                    }
                    auto self = weak.lock();
                    if (--*waiting > 0 || !self || self->cancelled_) {
                        return;
                    }
                    self->sheetFetches_.clear();
                    dispatch_async(dispatch_get_global_queue(0, 0), [self, arrived, decoded, mime, url, width, height,
                                                                     finalRequest] {
                        auto page = parsePage(decoded->text, mime, url, width, height, decoded->encoding, *arrived);
                        dispatch_async(dispatch_get_main_queue(),
                                       [self, page, finalRequest] { self->deliver(page, finalRequest); });
                    });
                });
            sheetFetches_.push_back(sheet);
        }
        // Started after all are listed: one may end at once.
        const std::vector<std::shared_ptr<SheetFetch>> started = sheetFetches_;
        for (const auto& sheet : started) {
            sheet->start();
        }
    }

    // Ends the load with this error on the next turn of the loop.
    void stopWith(const Ref<NSError>& error)
    {
        if (stopped_) {
            return;
        }
        stopped_ = true;
        data_ = NSData();
        Ref<Fetch> self = std::static_pointer_cast<Fetch>(shared_from_this());
        NSRunLoop::currentRunLoop()->performBlock([self, error] {
            const bool mine = !self->cancelled_;
            self->cancel();
            if (auto view = self->view_.lock(); mine && view && view->fetch_ == self) {
                view->failLoad(error);
            }
        });
    }

    Weak<UIWebView> view_;
    NSUInteger limit_;
    int width_;
    int height_;
    Ref<NSURLConnection> connection_;
    Ref<NSURLResponse> response_;
    NSData data_;
    std::vector<std::shared_ptr<SheetFetch>> sheetFetches_;
    bool cancelled_ = false;
    bool stopped_ = false;
};

// A picture of the page, decoded away from the interface (it may be large, or not a picture at all).
class UIWebView::ImageFetch : public webpage::SubresourceFetch {
public:
    ImageFetch(Weak<UIWebView> view, std::shared_ptr<Page> page, std::string url)
        : SubresourceFetch(std::move(url), kMaximumImageLength, NSURLRequest::kDefaultTimeoutInterval),
          view_(std::move(view)), page_(std::move(page))
    {
    }
    bool finished() const { return finished_; }

private:
    void arrived(std::optional<NSData> body, const std::string&) override
    {
        if (!body) {
            show(nullptr);
            return;
        }
        Ref<ImageFetch> self = std::static_pointer_cast<ImageFetch>(shared_from_this());
        auto data = std::make_shared<NSData>(std::move(*body));
        dispatch_async(dispatch_get_global_queue(0, 0), [self, data] {
            Ref<UIImage> image = UIImage::imageWithData(*data);
            if (image && image->size().width * image->size().height > kMaximumImagePixels) {
                image = nullptr;
            }
            dispatch_async(dispatch_get_main_queue(), [self, image] { self->show(image); });
        });
    }
    void show(const Ref<UIImage>& image)
    {
        finished_ = true;
        if (auto view = view_.lock()) {
            view->imageArrived(page_, url(), image);  // a page no longer shown ignores it
        }
    }
    Weak<UIWebView> view_;
    std::shared_ptr<Page> page_;
    bool finished_ = false;
};

// ---- The view ----------------------------------------------------------------------------------------

void UIWebView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setBackgroundColor(UIColor::whiteColor());
    auto scroller = makeWithFrame<PageScroller>(bounds());
    scroller->web = weakSelf<UIWebView>();
    scrollView_ = scroller;
    scrollView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    scrollView_->setBackgroundColor(UIColor::clearColor());
    scrollView_->setAlwaysBounceVertical(false);
    pageView_ = makeWithFrame<PageView>(CGRectMake(0, 0, frame.size.width, frame.size.height));
    pageView_->web = weakSelf<UIWebView>();
    pageView_->setBackgroundColor(UIColor::clearColor());
    scrollView_->addSubview(pageView_);
    fieldView_ = makeWithFrame<FieldView>(CGRectZero);
    fieldView_->web = weakSelf<UIWebView>();
    fieldView_->setBackgroundColor(UIColor::clearColor());
    fieldView_->setUserInteractionEnabled(false);
    fieldView_->setHidden(true);
    pageView_->addSubview(fieldView_);
    addSubview(scrollView_);
    Weak<UIWebView> weak = weakSelf<UIWebView>();
    for (const char* name : {UIKeyboardWillShowNotification, UIKeyboardWillHideNotification}) {
        NSNotificationCenter::defaultCenter()->addObserver(self<UIWebView>(), name, Value(),
                                                           [weak](const Ref<NSNotification>&) {
                                                               if (auto view = weak.lock()) view->keyboardMoved();
                                                           });
    }
}

UIWebView::~UIWebView()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (fetch_) {
        fetch_->cancel();
    }
    for (const auto& image : imageFetches_) {
        std::static_pointer_cast<ImageFetch>(image)->cancel();
    }
}

Ref<UIScrollView> UIWebView::scrollView() { return scrollView_; }

webpage::Document* UIWebView::shownDocument() const
{
    if (errorPage_) {
        return errorPage_->doc.get();
    }
    return page_ ? page_->doc.get() : nullptr;
}

void UIWebView::layoutSubviews()
{
    UIView::layoutSubviews();
    scrollView_->setFrame(bounds());
    layoutPage();
}

void UIWebView::layoutPage()
{
    const CGSize size = bounds().size;
    webpage::Document* doc = shownDocument();
    const int width = std::max(1, int(std::floor(size.width)));
    CGFloat height = size.height;
    if (doc) {
        if (!doc->laidOut() || doc->width() != width) {
            doc->layout(width, int(size.height));
        }
        height = std::max<CGFloat>(height, doc->height());
    }
    if (pageView_->frame().size.width != size.width || pageView_->frame().size.height != height) {
        pageView_->setFrame(CGRectMake(0, 0, size.width, height));
        pageView_->setNeedsDisplay();
    }
    scrollView_->setContentSize(CGSizeMake(size.width, height));
    if (focused_ && focused_->isTextEntry() && doc) {
        const CGRect field = doc->frameOf(focused_);
        if (!CGRectEqualToRect(field, fieldView_->frame())) {
            fieldView_->setFrame(field);
            fieldView_->setNeedsDisplay();
        }
    }
}

void UIWebView::showPage()
{
    focused_ = nullptr;
    fieldView_->setHidden(true);
    if (isFirstResponder()) {
        resignFirstResponder();
    }
    if (webpage::Document* doc = shownDocument(); doc && doc->laidOut() && doc->width() != int(bounds().size.width)) {
        doc->layout(int(bounds().size.width), int(bounds().size.height));
    }
    layoutPage();
    scrollView_->setContentOffset(CGPointZero);
    pageView_->drawn = false;
    pageView_->setNeedsDisplay();
    setNeedsDisplay();
}

bool UIWebView::pageDrawn() const { return pageView_->drawn; }

CGRect UIWebView::visibleBand() const
{
    const CGRect page = pageView_->bounds();
    const CGFloat height = std::max<CGFloat>(bounds().size.height, 1);
    const CGFloat top = scrollView_->contentOffset().y;
    return CGRectIntersection(page, CGRectMake(page.origin.x, top - height, page.size.width, height * 3));
}

void UIWebView::pageScrolled()
{
    const CGRect band = pageView_->band;
    if (CGRectIsNull(band) || !pageView_->drawn) {
        return;
    }
    const CGFloat top = scrollView_->contentOffset().y;
    const CGRect shows = CGRectIntersection(pageView_->bounds(), CGRectMake(0, top, bounds().size.width, bounds().size.height));
    if (!CGRectIsNull(shows) && !CGRectContainsRect(band, shows)) {
        pageView_->setNeedsDisplay();
    }
}

CGFloat UIWebView::pageHeight() const
{
    webpage::Document* doc = shownDocument();
    return doc ? doc->height() : 0;
}

void UIWebView::loadRequest(const Ref<NSURLRequest>& request)
{
    if (request) {
        start(request, UIWebViewNavigationTypeOther, Move::None);
    }
}

void UIWebView::loadHTMLString_baseURL(const std::string& html, const Ref<NSURL>& baseURL)
{
    html_ = html;
    Ref<NSURL> url = baseURL ? baseURL : NSURL::URLWithString("about:blank");
    start(NSURLRequest::requestWithURL(url), UIWebViewNavigationTypeOther, Move::None, html);
}

void UIWebView::dropFetch()
{
    if (fetch_) {
        fetch_->cancel();
        fetch_ = nullptr;
    }
}

void UIWebView::cancelLoad()
{
    dropFetch();
    if (!loading_) {
        return;
    }
    loading_ = false;
    move_ = Move::None;
    Ref<UIWebView> me = self<UIWebView>();
    if (auto delegate = delegate_.lock()) {
        delegate->webView_didFailLoadWithError(me, NSError::errorWithDomain_code_userInfo(
                                                       NSURLErrorDomain, NSURLErrorCancelled,
                                                       Value::dictionary({{NSLocalizedDescriptionKey, "cancelled"}})));
    }
}

bool UIWebView::start(const Ref<NSURLRequest>& request, UIWebViewNavigationType type, Move move,
                      std::optional<std::string> html, Ref<NSError> refusal)
{
    Ref<UIWebView> me = self<UIWebView>();
    if (auto delegate = delegate_.lock();
        delegate && !delegate->webView_shouldStartLoadWithRequest_navigationType(me, request, type)) {
        return false;
    }
    cancelLoad();
    request_ = request;
    requestHTML_ = std::move(html);
    loading_ = true;
    move_ = move;
    started_.push_back(request);
    if (auto delegate = delegate_.lock()) {
        delegate->webViewDidStartLoad(me);
    }
    // The delegate may have started or stopped another load meanwhile.
    if (loading_ && request_ == request) {
        if (refusal) {
            fetch_ = std::make_shared<Fetch>(weakSelf<UIWebView>(), 0, 0, 0);
            std::shared_ptr<Fetch> mine = fetch_;
            Weak<UIWebView> weak = weakSelf<UIWebView>();
            NSRunLoop::currentRunLoop()->performBlock([weak, mine, refusal] {
                auto view = weak.lock();
                if (view && view->fetch_ == mine) {
                    view->failLoad(refusal);
                }
            });
        } else {
            fetch();
        }
    }
    return true;
}

bool UIWebView::navigate(const Ref<NSURLRequest>& request, UIWebViewNavigationType type)
{
    const std::string scheme = schemeOf(request ? request->URL() : nullptr);
    if (!request || scheme.empty() || scheme == "javascript") {
        return false;  // no script runs here
    }
    const std::string pageScheme = schemeOf(request_ ? request_->URL() : nullptr);
    Ref<NSError> refusal;
    if (!isNetworkScheme(scheme) && scheme != "about" && (isNetworkScheme(pageScheme) || scheme == "data")) {
        refusal = NSError::errorWithDomain_code_userInfo(
            WebKitErrorDomain, WebKitErrorCannotShowURL,
            Value::dictionary({{NSLocalizedDescriptionKey, "This page may not open that address"}}));
    }
    return start(request, type, Move::None, std::nullopt, refusal);
}

void UIWebView::fetch()
{
    const CGSize size = bounds().size;
    fetch_ = std::make_shared<Fetch>(weakSelf<UIWebView>(), maximumPageLength_, int(size.width), int(size.height));
    std::shared_ptr<Fetch> mine = fetch_;
    if (requestHTML_ || schemeOf(request_->URL()) == "about") {
        // The application's own page (or a blank one): parsed on the main loop's next turn.
        std::string html = requestHTML_.value_or("");
        Weak<UIWebView> weak = weakSelf<UIWebView>();
        NSRunLoop::currentRunLoop()->performBlock([weak, mine, html] {
            auto view = weak.lock();
            if (view && view->fetch_ == mine) {
                const CGSize box = view->bounds().size;
                view->finishLoad(parsePage(html, "text/html", view->request_->URL()->absoluteString(), int(box.width),
                                           int(box.height)),
                                 view->request_);
            }
        });
        return;
    }
    mine->start(request_);
}

void UIWebView::finishLoad(std::shared_ptr<Page> page, const Ref<NSURLRequest>& finalRequest)
{
    if (!loading_) {
        return;
    }
    fetch_ = nullptr;
    if (finalRequest) {
        request_ = finalRequest;
    }
    for (const auto& image : imageFetches_) {
        std::static_pointer_cast<ImageFetch>(image)->cancel();
    }
    imageFetches_.clear();
    page_ = page ? std::move(page)
                 : parsePage("", "text/html", request_ ? request_->URL()->absoluteString() : "", int(bounds().size.width),
                             int(bounds().size.height));
    errorPage_ = nullptr;
    title_ = page_->title;
    text_ = page_->text;
    loading_ = false;
    HistoryEntry entry{request_, requestHTML_};
    switch (move_) {
    case Move::Back:
        --historyIndex_;
        break;
    case Move::Forward:
        ++historyIndex_;
        break;
    case Move::Reload:
        if (historyIndex_ >= 0) history_[size_t(historyIndex_)] = entry;
        break;
    case Move::None:
        history_.resize(size_t(historyIndex_ + 1));
        history_.push_back(entry);
        historyIndex_ = NSInteger(history_.size()) - 1;
        break;
    }
    move_ = Move::None;
    showPage();
    fetchImages();
    if (auto delegate = delegate_.lock()) {
        delegate->webViewDidFinishLoad(self<UIWebView>());
    }
}

void UIWebView::failLoad(const Ref<NSError>& error)
{
    if (!loading_) {
        return;
    }
    fetch_ = nullptr;
    loading_ = false;
    move_ = Move::None;
    const bool cancelled = error && error->domain() == NSURLErrorDomain && error->code() == NSURLErrorCancelled;
    if (showsErrorPages_ && !cancelled) {
        errorPage_ = errorPage(error, request_, int(bounds().size.width), int(bounds().size.height));
        showPage();
    }
    if (auto delegate = delegate_.lock()) {
        delegate->webView_didFailLoadWithError(self<UIWebView>(), error);
    }
}

void UIWebView::fetchImages()
{
    if (!page_ || !page_->doc) {
        return;
    }
    const std::vector<std::string> urls = page_->doc->takeImageRequests();
    if (!urls.empty()) {
        UIImage::installImageCodecs();  // a page's pictures are drawn, so they need their pixels
    }
    for (const std::string& url : urls) {
        auto image = std::make_shared<ImageFetch>(weakSelf<UIWebView>(), page_, url);
        imageFetches_.push_back(image);
        image->start();
    }
}

NSUInteger UIWebView::pendingImageCount() const
{
    return NSUInteger(std::count_if(imageFetches_.begin(), imageFetches_.end(), [](const Ref<NSObject>& fetch) {
        return !std::static_pointer_cast<ImageFetch>(fetch)->finished();
    }));
}

void UIWebView::imageArrived(const std::shared_ptr<Page>& page, const std::string& url, const Ref<UIImage>& image)
{
    if (page != page_ || !page_->doc) {
        return;
    }
    if (image && page_->doc->setImage(url, image)) {
        if (!errorPage_) {
            page_->doc->layout(int(bounds().size.width), int(bounds().size.height));
            layoutPage();
            pageView_->setNeedsDisplay();
        }
    }
}

void UIWebView::goBack()
{
    if (canGoBack()) {
        const HistoryEntry& entry = history_[size_t(historyIndex_ - 1)];
        start(entry.request, UIWebViewNavigationTypeBackForward, Move::Back, entry.html);
    }
}

void UIWebView::goForward()
{
    if (canGoForward()) {
        const HistoryEntry& entry = history_[size_t(historyIndex_ + 1)];
        start(entry.request, UIWebViewNavigationTypeBackForward, Move::Forward, entry.html);
    }
}

void UIWebView::reload()
{
    if (request_) {
        start(request_, UIWebViewNavigationTypeReload, Move::Reload, requestHTML_);
    }
}

void UIWebView::stopLoading() { cancelLoad(); }

std::vector<Ref<NSURLRequest>> UIWebView::history() const
{
    std::vector<Ref<NSURLRequest>> out;
    for (const auto& entry : history_) {
        out.push_back(entry.request);
    }
    return out;
}

std::string UIWebView::stringByEvaluatingJavaScriptFromString(const std::string& script)
{
    scripts_.push_back(script);
    if (auto it = scriptResults_.find(script); it != scriptResults_.end()) {
        return it->second;
    }
    if (scriptHandler_) {
        return scriptHandler_(script);
    }
    std::string expression = collapse(script);
    while (!expression.empty() && (expression.back() == ';' || expression.back() == ' ')) {
        expression.pop_back();
    }
    if (expression == "document.title") {
        return title_;
    }
    if (expression == "document.location.href" || expression == "window.location.href") {
        return request_ ? request_->URL()->absoluteString() : "";
    }
    if (expression == "document.body.innerText" || expression == "document.body.textContent") {
        return text_;
    }
    // document.getElementsByTagName('tag')[n].property
    static constexpr std::string_view prefix = "document.getElementsByTagName(";
    if (!page_ || !page_->doc || page_->isPlainText || expression.rfind(prefix, 0) != 0) {
        return "";
    }
    std::string_view rest = std::string_view(expression).substr(prefix.size());
    if (rest.empty() || (rest[0] != '\'' && rest[0] != '"')) {
        return "";
    }
    size_t close = rest.find(rest[0], 1);
    if (close == std::string_view::npos) {
        return "";
    }
    std::string tag = lower(std::string(rest.substr(1, close - 1)));
    rest = rest.substr(close + 1);
    if (rest.rfind(")[", 0) != 0) {
        return "";
    }
    rest = rest.substr(2);
    size_t digits = 0;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
        ++digits;
    }
    if (digits == 0 || digits > 6 || rest.substr(digits, 2) != "].") {
        return "";
    }
    size_t index = std::stoul(std::string(rest.substr(0, digits)));
    std::string property(rest.substr(digits + 2));
    if (tag.empty() || (property != "innerHTML" && property != "innerText" && property != "textContent")) {
        return "";
    }
    if (property == "innerHTML") {
        return page_->doc->innerHTML(tag, index);
    }
    const std::string text = page_->doc->textContent(tag, index);
    return property == "innerText" ? collapse(text) : text;
}

bool UIWebView::hasForm() const { return page_ && page_->doc && !page_->isPlainText && page_->doc->hasForm(); }

std::vector<UIWebView::Field> UIWebView::fields() const
{
    std::vector<Field> out;
    webpage::Document* doc = shownDocument();
    if (!doc) {
        return out;
    }
    const CGPoint offset = scrollView_->contentOffset();
    for (webpage::Control* c : doc->controls()) {
        Field field;
        field.name = c->name();
        field.type = typeName(c->kind());
        field.value = c->kind() == webpage::Control::Kind::Select && c->selectedIndex() >= 0 &&
                              size_t(c->selectedIndex()) < c->options().size()
                          ? c->options()[size_t(c->selectedIndex())].second
                          : c->value();
        field.label = c->label();
        field.checked = c->checked();
        field.focused = c == focused_;
        field.frame = CGRectOffset(doc->frameOf(c), -offset.x, -offset.y);
        out.push_back(field);
    }
    return out;
}

CGRect UIWebView::frameOfElement(const std::string& tag, size_t index) const
{
    webpage::Document* doc = shownDocument();
    const CGRect frame = doc ? doc->frameOfElement(tag, index) : CGRectNull;
    const CGPoint offset = scrollView_->contentOffset();
    return CGRectIsNull(frame) ? frame : CGRectOffset(frame, -offset.x, -offset.y);
}

CGRect UIWebView::frameOfLink(const std::string& href) const
{
    webpage::Document* doc = shownDocument();
    if (!doc) {
        return CGRectNull;
    }
    const CGRect frame = doc->frameOfLink(href);
    const CGPoint offset = scrollView_->contentOffset();
    return CGRectIsNull(frame) ? frame : CGRectOffset(frame, -offset.x, -offset.y);
}

// ---- Touches and keys ------------------------------------------------------------------------------

void UIWebView::pageTapped(CGPoint point)
{
    webpage::Document* doc = page_ && !errorPage_ ? page_->doc.get() : nullptr;
    if (!doc || loading_) {
        return;
    }
    const webpage::Hit hit = doc->hitTest(point);
    if (hit.control) {
        activate(hit.control, point);
        return;
    }
    if (isFirstResponder()) {
        resignFirstResponder();
    }
    if (!hit.href.empty() && request_) {
        if (hit.href[0] == '#') {
            return;  // a place on this page
        }
        Ref<NSURL> base = NSURL::URLWithString(doc->resolveBase());
        Ref<NSURL> target = base ? NSURL::URLWithString_relativeToURL(hit.href, base) : NSURL::URLWithString(hit.href);
        if (target) {
            navigate(NSURLRequest::requestWithURL(NSURL::URLWithString(target->absoluteString())),
                     UIWebViewNavigationTypeLinkClicked);
        }
    }
}

void UIWebView::activate(webpage::Control* control, std::optional<CGPoint> point)
{
    using Kind = webpage::Control::Kind;
    if (control->disabled()) {
        return;
    }
    switch (control->kind()) {
    case Kind::Text:
    case Kind::Password:
    case Kind::TextArea:
        focus(control);
        if (point && focused_ == control && page_ && page_->doc) {
            // The caret goes where the finger fell, between the characters nearest it.
            forgetSelectionAnchor();
            setEditedSelection(NSMakeRange(page_->doc->characterIndexNearestPoint(control, *point), 0));
        }
        return;
    case Kind::Checkbox:
        focus(nullptr);
        control->setChecked(!control->checked());
        break;
    case Kind::Radio:
        focus(nullptr);
        if (!control->checked() && page_ && page_->doc) {
            // One of a group: the others of the same name in the page go off.
            for (webpage::Control* other : page_->doc->controls()) {
                if (other->kind() == Kind::Radio && other->name() == control->name()) {
                    other->setChecked(false);
                }
            }
            control->setChecked(true);
        }
        break;
    case Kind::Select:
        focus(nullptr);
        chooseOption(control);
        break;
    case Kind::Submit:
        focus(nullptr);
        submit(control);
        return;
    default:
        focus(nullptr);
        break;
    }
    pageView_->setNeedsDisplay();
}

void UIWebView::focus(webpage::Control* control)
{
    if (focused_ == control) {
        return;
    }
    if (focused_) {
        focused_->setFocused(false);
    }
    focused_ = control;
    fieldView_->setHidden(true);
    if (control) {
        control->setFocused(true);
        if (control->isTextEntry()) {
            setSecureTextEntry(control->kind() == webpage::Control::Kind::Password);
            // Return sends a one-line field's form and breaks a text area's line: its key says which.
            setReturnKeyType(control->kind() == webpage::Control::Kind::TextArea ? UIReturnKeyDefault : UIReturnKeyGo);
            control->setSelection(NSMakeRange(NSString::length(control->value()), 0));
            forgetSelectionAnchor();
            if (page_ && page_->doc) {
                fieldView_->setFrame(page_->doc->frameOf(control));
                fieldView_->setHidden(false);
                fieldView_->setNeedsDisplay();
            }
            becomeFirstResponder();
            caretMoved(fieldView_);
        }
        revealFocused();
    } else if (isFirstResponder()) {
        resignFirstResponder();
    }
    pageView_->setNeedsDisplay();
}

webpage::Control* UIWebView::submitterFor(webpage::Control* field) const
{
    if (field->isSubmit()) {
        return field;
    }
    if (!page_ || !page_->doc) {
        return nullptr;
    }
    webpage::Document::Submission mine;
    if (!page_->doc->submission(field, mine)) {
        return nullptr;
    }
    for (webpage::Control* other : page_->doc->controls()) {
        webpage::Document::Submission theirs;
        if (other->isSubmit() && !other->disabled() && page_->doc->submission(other, theirs) &&
            theirs.action == mine.action && theirs.method == mine.method) {
            return other;
        }
    }
    return nullptr;
}

CGFloat UIWebView::keyboardOverlap() const
{
    auto window = this->window();
    if (!UIKeyboard::isVisible() || !window) {
        return 0;
    }
    const CGRect mine = convertRect_toView(bounds(), nullptr);
    const CGRect keyboard = CGRectOffset(UIKeyboard::frame(), -window->frame().origin.x, -window->frame().origin.y);
    if (keyboard.origin.x >= CGRectGetMaxX(mine) || CGRectGetMaxX(keyboard) <= mine.origin.x) {
        return 0;
    }
    // Everything below the keyboard's top is out of sight, under the keyboard or past the screen's edge.
    return std::clamp<CGFloat>(CGRectGetMaxY(mine) - keyboard.origin.y, 0, bounds().size.height);
}

void UIWebView::revealFocused()
{
    webpage::Document* doc = page_ && !errorPage_ ? page_->doc.get() : nullptr;
    if (!focused_ || !doc) {
        return;
    }
    const CGFloat visible = bounds().size.height - scrollView_->contentInset().bottom;
    CGRect target = doc->frameOf(focused_);
    if (webpage::Control* submitter = submitterFor(focused_)) {
        // The button that sends the form comes along when both fit.
        const CGRect both = CGRectUnion(target, doc->frameOf(submitter));
        if (both.size.height + 16 <= visible) {
            target = both;
        }
    }
    CGPoint offset = scrollView_->contentOffset();
    if (CGRectGetMaxY(target) + 8 > offset.y + visible) {
        offset.y = CGRectGetMaxY(target) + 8 - visible;
    }
    if (target.origin.y - 8 < offset.y) {
        offset.y = target.origin.y - 8;
    }
    const CGFloat most = scrollView_->contentSize().height + scrollView_->contentInset().bottom - bounds().size.height;
    offset.y = std::max<CGFloat>(0, std::min(offset.y, most));
    if (offset.y != scrollView_->contentOffset().y) {
        scrollView_->setContentOffset(offset);
    }
}

void UIWebView::keyboardMoved()
{
    const CGFloat overlap = keyboardOverlap();
    UIEdgeInsets inset = scrollView_->contentInset();
    if (overlap > 0) {
        // What the keyboard covers can still be scrolled to; the field goes above it.
        if (!offsetBeforeKeyboard_) {
            offsetBeforeKeyboard_ = scrollView_->contentOffset();
        }
        inset.bottom = overlap;
        scrollView_->setContentInset(inset);
        revealFocused();
    } else if (offsetBeforeKeyboard_) {
        inset.bottom = 0;
        scrollView_->setContentInset(inset);
        CGPoint offset = *offsetBeforeKeyboard_;
        offsetBeforeKeyboard_.reset();
        const CGFloat most = std::max<CGFloat>(0, scrollView_->contentSize().height - bounds().size.height);
        offset.y = std::clamp<CGFloat>(offset.y, 0, most);
        scrollView_->setContentOffset(offset);
    }
}

bool UIWebView::canBecomeFirstResponder() const { return focused_ != nullptr && isUserInteractionEnabled(); }

bool UIWebView::becomeFirstResponder()
{
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    UIKeyboard::Switch keepKeyboard;
    if (!UIResponder::becomeFirstResponder()) {
        return false;
    }
    UIKeyboard::inputDidBegin();
    return true;
}

bool UIWebView::resignFirstResponder()
{
    if (!isFirstResponder()) {
        return UIResponder::resignFirstResponder();
    }
    if (!UIResponder::resignFirstResponder()) {
        return false;
    }
    caretStopped();
    if (focused_) {
        focused_->setFocused(false);
        focused_ = nullptr;
        fieldView_->setHidden(true);
        pageView_->setNeedsDisplay();
    }
    UIKeyboard::inputDidEnd();
    return true;
}

bool UIWebView::hasText() const { return focused_ && !focused_->value().empty(); }

bool UIWebView::beginEditingIfNeeded() { return isFirstResponder() || becomeFirstResponder(); }

const std::string& UIWebView::editedText() const
{
    static const std::string none;
    return focused_ && focused_->isTextEntry() ? focused_->value() : none;
}

NSRange UIWebView::editedSelection() const
{
    return focused_ && focused_->isTextEntry() ? focused_->selection() : NSMakeRange(0, 0);
}

NSRange UIWebView::selectedRange() const { return editedSelection(); }

void UIWebView::setEditedSelection(NSRange range)
{
    if (!focused_ || !focused_->isTextEntry()) {
        return;
    }
    focused_->setSelection(range);
    caretMoved(fieldView_);
}

void UIWebView::replaceEdited(NSRange range, const std::string& replacement)
{
    if (!focused_ || !focused_->isTextEntry()) {
        return;
    }
    std::string text = replacement;
    if (focused_->kind() != webpage::Control::Kind::TextArea) {
        // One line: pasted line breaks become spaces.
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
    }
    const std::string& value = focused_->value();
    const NSUInteger length = NSString::length(value);
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    focused_->setValue(NSString::stringByReplacingCharactersInRange_withString(value, range, text));
    focused_->setSelection(NSMakeRange(range.location + NSString::length(text), 0));
    forgetSelectionAnchor();
    caretMoved(fieldView_);
    fieldChanged();
}

void UIWebView::fieldChanged()
{
    if (focused_ && focused_->isTextEntry() && !fieldView_->isHidden()) {
        fieldView_->setNeedsDisplay();
    } else {
        pageView_->setNeedsDisplay();
    }
}

void UIWebView::insertText(const std::string& text)
{
    if (!focused_) {
        return;
    }
    using Kind = webpage::Control::Kind;
    for (char32_t c : NSString::toUTF32(text)) {
        webpage::Control* field = focused_;
        if (!field) {
            return;
        }
        if (c == '\t') {
            moveKeyFocus(false);
            continue;
        }
        if (c == '\n' || c == '\r') {
            if (field->kind() == Kind::TextArea) {
                replaceEdited(field->selection(), "\n");
                continue;
            }
            if (field->kind() == Kind::Checkbox || field->kind() == Kind::Radio || field->kind() == Kind::Select) {
                continue;
            }
            // Return submits the field's form, as its first submit button would.
            webpage::Control* submitter = submitterFor(field);
            focus(nullptr);
            submit(submitter ? submitter : field);
            return;
        }
        if (c == ' ' && !field->isTextEntry()) {
            activate(field);
            if (focused_ != field && !field->isSubmit()) {
                focus(field);  // a check box keeps the focus it was toggled with
            }
            pageView_->setNeedsDisplay();
            continue;
        }
        if (field->isTextEntry() && c >= 0x20) {
            replaceEdited(field->selection(), NSString::fromUTF32(std::u32string(1, c)));
        }
    }
}

void UIWebView::deleteBackward()
{
    if (!focused_ || !focused_->isTextEntry()) {
        return;
    }
    if (std::optional<NSRange> range = rangeForDeleteBackward(focused_->value(), focused_->selection())) {
        replaceEdited(*range, std::string());
    }
}

bool UIWebView::moveKeyFocus(bool backward)
{
    webpage::Document* doc = page_ && !errorPage_ ? page_->doc.get() : nullptr;
    if (!doc) {
        return false;
    }
    const std::vector<webpage::Control*> order = doc->focusableControls();
    if (order.empty()) {
        return false;
    }
    auto at = std::find(order.begin(), order.end(), focused_);
    size_t next;
    if (at == order.end()) {
        next = backward ? order.size() - 1 : 0;
    } else {
        const size_t index = size_t(at - order.begin());
        next = backward ? (index + order.size() - 1) % order.size() : (index + 1) % order.size();
    }
    // The first responder stays with the page while the focus moves between its fields.
    webpage::Control* target = order[next];
    if (focused_) {
        focused_->setFocused(false);
    }
    focused_ = nullptr;
    focus(target);
    if (!target->isTextEntry() && !isFirstResponder()) {
        becomeFirstResponder();
    }
    return true;
}

void UIWebView::chooseOption(webpage::Control* select)
{
    class Chooser : public NSObject, public UIActionSheetDelegate {
    public:
        Weak<UIWebView> web;
        std::weak_ptr<Page> page;
        webpage::Control* control = nullptr;
        void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& sheet, NSInteger index) override
        {
            auto view = web.lock();
            if (view && page.lock() == view->page_ && index != sheet->cancelButtonIndex() && index >= 0 &&
                size_t(index) < control->options().size()) {
                control->setSelectedIndex(int(index));
                view->pageView_->setNeedsDisplay();
            }
            if (view) {
                view->optionSheet_ = nullptr;
            }
        }
    };
    if (select->options().empty()) {
        return;
    }
    auto chooser = std::make_shared<Chooser>();
    chooser->web = weakSelf<UIWebView>();
    chooser->page = page_;
    chooser->control = select;
    auto sheet = UIActionSheet::create();
    sheet->setDelegate(chooser);
    for (const auto& option : select->options()) {
        sheet->addButtonWithTitle(option.first);
    }
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle("取消"));
    optionSheet_ = chooser;
    sheet->showInView(self<UIView>());
}

bool UIWebView::submit(webpage::Control* submitter)
{
    webpage::Document::Submission form;
    if (!page_ || !page_->doc || !page_->doc->submission(submitter, form) || !request_) {
        return false;
    }
    std::string encoded;
    for (const auto& [name, value] : form.fields) {
        if (!encoded.empty()) {
            encoded += '&';
        }
        encoded += formEncode(name, page_->encoding) + "=" + formEncode(value, page_->encoding);
    }
    Ref<NSURL> base = NSURL::URLWithString(page_->doc->resolveBase());
    if (!base) {
        base = request_->URL();
    }
    Ref<NSURL> target = form.action.empty() ? request_->URL() : NSURL::URLWithString_relativeToURL(form.action, base);
    if (!target) {
        return false;
    }
    Ref<NSMutableURLRequest> submission;
    if (form.method == "post") {
        submission = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(target->absoluteString()));
        if (!submission->URL()) {
            return false;
        }
        submission->setHTTPMethod("POST");
        submission->setValue_forHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");
        submission->setHTTPBody(NSData::dataWithString(encoded));
    } else {
        std::string address = target->absoluteString();
        address = address.substr(0, std::min(address.find('?'), address.find('#')));
        submission = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(address + "?" + encoded));
        if (!submission->URL()) {
            return false;
        }
    }
    return navigate(submission, UIWebViewNavigationTypeFormSubmitted);
}

bool UIWebView::submitFirstForm(const std::map<std::string, std::string>& values)
{
    if (!page_ || !page_->doc || page_->isPlainText) {
        return false;
    }
    bool hasForm = false;
    webpage::Control* submitter = page_->doc->firstSubmitter(hasForm);
    if (!hasForm) {
        return false;
    }
    // What the user typed goes into the fields of those names.
    for (webpage::Control* c : page_->doc->controls()) {
        auto given = values.find(c->name());
        if (given != values.end() && c->kind() != webpage::Control::Kind::Submit) {
            c->setValue(given->second);
        }
    }
    if (submitter) {
        return submit(submitter);
    }
    // A form without a submit button still goes, as its first field's Return would send it.
    for (webpage::Control* c : page_->doc->controls()) {
        webpage::Document::Submission unused;
        if (page_->doc->submission(c, unused)) {
            return submit(c);
        }
    }
    return false;
}

// ---- Test driving ----------------------------------------------------------------------------------

bool UIWebView::simulateFinishLoad() { return simulateFinishLoad(nullptr); }

bool UIWebView::simulateFinishLoad(const Ref<NSURL>& finalURL)
{
    if (!loading_) {
        return false;
    }
    dropFetch();
    Ref<NSURLRequest> finalRequest = request_;
    if (finalURL && request_) {
        Ref<NSMutableURLRequest> redirected = request_->mutableCopy();
        redirected->setURL(finalURL);
        finalRequest = redirected;
    }
    finishLoad(nullptr, finalRequest);
    return true;
}

bool UIWebView::simulateFinishLoadWithHTML(const std::string& html, const Ref<NSURL>& finalURL)
{
    if (!loading_) {
        return false;
    }
    dropFetch();
    Ref<NSURLRequest> finalRequest = request_;
    if (finalURL && request_) {
        Ref<NSMutableURLRequest> redirected = request_->mutableCopy();
        redirected->setURL(finalURL);
        finalRequest = redirected;
    }
    const std::string url = finalRequest && finalRequest->URL() ? finalRequest->URL()->absoluteString() : "";
    finishLoad(parsePage(html, "text/html", url, int(bounds().size.width), int(bounds().size.height)), finalRequest);
    return true;
}

bool UIWebView::simulateFailLoad(const Ref<NSError>& error)
{
    if (!loading_) {
        return false;
    }
    dropFetch();
    failLoad(error);
    return true;
}

bool UIWebView::simulateNavigation(const Ref<NSURLRequest>& request, UIWebViewNavigationType navigationType)
{
    return request && start(request, navigationType, Move::None);
}
