#include "platform/uikit/UIWebView.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/tree.h>

#include <algorithm>

#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIStringDrawing.h"

// ---- The parsed page ---------------------------------------------------------------------------------

struct UIWebView::Page {
    xmlDocPtr doc = nullptr;
    std::string plainText;  // a page that is not HTML
    ~Page()
    {
        if (doc) {
            xmlFreeDoc(doc);
        }
    }
};

namespace {
namespace UIWebView_cpp {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string nodeName(xmlNodePtr node) { return node && node->name ? lower(reinterpret_cast<const char*>(node->name)) : ""; }

std::optional<std::string> attribute(xmlNodePtr node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value) {
        return std::nullopt;
    }
    std::string out(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return out;
}

std::string content(xmlNodePtr node)
{
    xmlChar* value = xmlNodeGetContent(node);
    if (!value) {
        return "";
    }
    std::string out(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return out;
}

// Blanks (spaces, tabs, line ends) collapsed to one space, none at either end.
std::string collapse(std::string_view text)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) {
            out += ' ';
        }
        blank = false;
        out += c;
    }
    return out;
}

void findElements(xmlNodePtr node, const std::string& tag, std::vector<xmlNodePtr>& out)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) {
            if (tag == "*" || nodeName(node) == tag) {
                out.push_back(node);
            }
            findElements(node->children, tag, out);
        }
    }
}

xmlNodePtr firstElement(xmlDocPtr doc, const std::string& tag)
{
    std::vector<xmlNodePtr> found;
    if (doc) {
        findElements(xmlDocGetRootElement(doc), tag, found);
    }
    return found.empty() ? nullptr : found.front();
}

std::string innerHTML(xmlDocPtr doc, xmlNodePtr node)
{
    std::string out;
    xmlBufferPtr buffer = xmlBufferCreate();
    for (xmlNodePtr child = node->children; child; child = child->next) {
        xmlBufferEmpty(buffer);
        htmlNodeDump(buffer, doc, child);
        out += reinterpret_cast<const char*>(xmlBufferContent(buffer));
    }
    xmlBufferFree(buffer);
    return out;
}

bool isBlock(const std::string& name)
{
    static const char* const blocks[] = {"address", "article", "aside", "blockquote", "br", "dd", "div", "dl",
                                         "dt", "fieldset", "footer", "form", "h1", "h2", "h3", "h4", "h5", "h6",
                                         "header", "hr", "li", "main", "nav", "ol", "p", "pre", "section",
                                         "table", "tr", "ul"};
    return std::find(std::begin(blocks), std::end(blocks), name) != std::end(blocks);
}

// The text a reader sees: one line per block. With controls, form fields show as "[value]".
struct TextWriter {
    bool controls = false;
    std::vector<std::string> lines{""};

    void breakLine()
    {
        if (!lines.back().empty()) {
            lines.emplace_back();
        }
    }
    void append(std::string_view raw)
    {
        std::string text = collapse(raw);
        if (text.empty()) {
            if (!raw.empty() && !lines.back().empty() && lines.back().back() != ' ') {
                lines.back() += ' ';
            }
            return;
        }
        bool leadingBlank = raw.find_first_of(" \t\n\r") == 0;
        if (leadingBlank && !lines.back().empty() && lines.back().back() != ' ') {
            lines.back() += ' ';
        }
        lines.back() += text;
        char last = raw.back();
        if (last == ' ' || last == '\t' || last == '\n' || last == '\r') {
            lines.back() += ' ';
        }
    }
    void control(xmlNodePtr node)
    {
        std::string name = nodeName(node);
        if (name == "textarea") {
            append(" [" + collapse(content(node)) + "] ");
            return;
        }
        if (name == "button") {
            append(" [" + collapse(content(node)) + "] ");
            return;
        }
        if (name == "select") {
            std::vector<xmlNodePtr> options;
            findElements(node->children, "option", options);
            xmlNodePtr chosen = options.empty() ? nullptr : options.front();
            for (xmlNodePtr option : options) {
                if (attribute(option, "selected")) {
                    chosen = option;
                }
            }
            append(" [" + (chosen ? collapse(content(chosen)) : std::string()) + "] ");
            return;
        }
        std::string type = lower(attribute(node, "type").value_or("text"));
        if (type == "hidden") {
            return;
        }
        std::string value = attribute(node, "value").value_or("");
        if (type == "password") {
            value = std::string(NSString::length(value), '*');
        }
        if (value.empty() && type == "submit") {
            value = "Submit";
        }
        append(" [" + value + "] ");
    }
    void walk(xmlNodePtr node)
    {
        for (; node; node = node->next) {
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                append(reinterpret_cast<const char*>(node->content ? node->content : BAD_CAST ""));
                continue;
            }
            if (node->type != XML_ELEMENT_NODE) {
                continue;
            }
            std::string name = nodeName(node);
            if (name == "script" || name == "style" || name == "head" || name == "title" || name == "noscript") {
                continue;
            }
            if (name == "input" || name == "textarea" || name == "button" || name == "select") {
                if (controls) {
                    control(node);
                }
                continue;
            }
            bool block = isBlock(name);
            if (block) {
                breakLine();
            }
            walk(node->children);
            if (block) {
                breakLine();
            }
        }
    }
    std::string text() const
    {
        std::string out;
        for (const auto& line : lines) {
            std::string trimmed = collapse(line);
            if (trimmed.empty()) {
                continue;
            }
            if (!out.empty()) {
                out += '\n';
            }
            out += trimmed;
        }
        return out;
    }
};

std::string pageText(const UIWebView::Page* page, bool controls)
{
    if (!page) {
        return "";
    }
    if (!page->doc) {
        return page->plainText;
    }
    TextWriter writer;
    writer.controls = controls;
    xmlNodePtr body = firstElement(page->doc, "body");
    writer.walk(body ? body->children : xmlDocGetRootElement(page->doc));
    return writer.text();
}

std::string pageTitle(const UIWebView::Page* page)
{
    xmlNodePtr title = page ? firstElement(page->doc, "title") : nullptr;
    return title ? collapse(content(title)) : "";
}

std::shared_ptr<UIWebView::Page> parsePage(const NSData& data, const Ref<NSURLResponse>& response)
{
    auto page = std::make_shared<UIWebView::Page>();
    std::string mime = response ? lower(response->MIMEType()) : "text/html";
    if (mime.rfind("text/plain", 0) == 0) {
        page->plainText = data.string();
        return page;
    }
    if (data.empty()) {
        return page;
    }
    std::string url = response && response->URL() ? response->URL()->absoluteString() : "";
    std::string charset = response ? response->textEncodingName() : "";
    page->doc = htmlReadMemory(reinterpret_cast<const char*>(data.bytes()), int(data.length()), url.c_str(),
                               charset.empty() ? nullptr : charset.c_str(),
                               HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    return page;
}

std::shared_ptr<UIWebView::Page> parseHTML(const std::string& html)
{
    return parsePage(NSData::dataWithString(html), nullptr);
}

// application/x-www-form-urlencoded, UTF-8.
std::string formEncode(std::string_view text)
{
    std::string escaped = PercentEscapes::escapeAllExcept(text, "*-._ ");
    std::replace(escaped.begin(), escaped.end(), ' ', '+');
    return escaped;
}

void collectFields(xmlNodePtr node, std::vector<std::pair<std::string, std::string>>& fields, bool& submitSeen)
{
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) {
            continue;
        }
        std::string name = nodeName(node);
        std::optional<std::string> fieldName = attribute(node, "name");
        bool disabled = attribute(node, "disabled").has_value();
        if (name == "input" && fieldName && !disabled) {
            std::string type = lower(attribute(node, "type").value_or("text"));
            std::string value = attribute(node, "value").value_or("");
            if (type == "checkbox" || type == "radio") {
                if (attribute(node, "checked")) {
                    fields.emplace_back(*fieldName, attribute(node, "value").value_or("on"));
                }
            } else if (type == "submit" || type == "image") {
                if (!submitSeen) {
                    submitSeen = true;
                    fields.emplace_back(*fieldName, value);
                }
            } else if (type != "reset" && type != "button" && type != "file") {
                fields.emplace_back(*fieldName, value);
            }
            continue;
        }
        if (name == "button") {
            std::string type = lower(attribute(node, "type").value_or("submit"));
            if (type == "submit" && !submitSeen) {
                submitSeen = true;
                if (fieldName && !disabled) {
                    fields.emplace_back(*fieldName, attribute(node, "value").value_or(""));
                }
            }
            continue;
        }
        if (name == "textarea" && fieldName && !disabled) {
            fields.emplace_back(*fieldName, content(node));
            continue;
        }
        if (name == "select" && fieldName && !disabled) {
            std::vector<xmlNodePtr> options;
            findElements(node->children, "option", options);
            xmlNodePtr chosen = options.empty() ? nullptr : options.front();
            for (xmlNodePtr option : options) {
                if (attribute(option, "selected")) {
                    chosen = option;
                    break;
                }
            }
            if (chosen) {
                fields.emplace_back(*fieldName, attribute(chosen, "value").value_or(collapse(content(chosen))));
            }
            continue;
        }
        collectFields(node->children, fields, submitSeen);
    }
}

}  // namespace UIWebView_cpp
}  // namespace

// ---- The network's side of a load --------------------------------------------------------------------

class UIWebView::Fetch : public NSObject, public NSURLConnectionDelegate {
public:
    explicit Fetch(Weak<UIWebView> view) : view_(std::move(view)) {}

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
    }

    Ref<NSURLRequest> connection_willSendRequest_redirectResponse(NSURLConnection*, const Ref<NSURLRequest>& request,
                                                                  const Ref<NSURLResponse>& redirectResponse) override
    {
        auto view = view_.lock();
        if (!redirectResponse || cancelled_ || !view) {
            return request;
        }
        if (auto delegate = view->delegate_.lock();
            delegate && !delegate->webView_shouldStartLoadWithRequest_navigationType(view, request,
                                                                                     UIWebViewNavigationTypeOther)) {
            // The page's delegate stops the load here; the failure is reported from the loop, not from
            // inside the connection's own callback.
            refused_ = true;
            return nullptr;
        }
        view->request_ = request;
        return request;
    }
    void connection_didReceiveResponse(NSURLConnection* connection, const Ref<NSURLResponse>& response) override
    {
        if (refused_) {
            Ref<Fetch> self = std::static_pointer_cast<Fetch>(shared_from_this());
            NSRunLoop::currentRunLoop()->performBlock([self] {
                self->cancel();
                if (auto view = self->view_.lock(); view && view->fetch_ == self) {
                    view->failLoad(NSError::errorWithDomain_code_userInfo(
                        WebKitErrorDomain, WebKitErrorFrameLoadInterruptedByPolicyChange,
                        Value::dictionary({{NSLocalizedDescriptionKey, "Frame load interrupted"}})));
                }
            });
            return;
        }
        response_ = response;
        data_ = NSData();
    }
    void connection_didReceiveData(NSURLConnection*, const NSData& data) override
    {
        if (!refused_) {
            data_.appendData(data);
        }
    }
    void connectionDidFinishLoading(NSURLConnection* connection) override
    {
        auto view = view_.lock();
        if (cancelled_ || refused_ || !view || view->fetch_.get() != this) {
            return;
        }
        Ref<NSURLRequest> finalRequest = connection->currentRequest();
        if (response_ && response_->URL() && finalRequest &&
            response_->URL()->absoluteString() != finalRequest->URL()->absoluteString()) {
            Ref<NSMutableURLRequest> moved = finalRequest->mutableCopy();
            moved->setURL(response_->URL());
            finalRequest = moved;
        }
        view->finishLoad(UIWebView_cpp::parsePage(data_, response_), finalRequest);
    }
    void connection_didFailWithError(NSURLConnection*, const Ref<NSError>& error) override
    {
        auto view = view_.lock();
        if (cancelled_ || refused_ || !view || view->fetch_.get() != this) {
            return;
        }
        view->failLoad(error);
    }

private:
    Weak<UIWebView> view_;
    Ref<NSURLConnection> connection_;
    Ref<NSURLResponse> response_;
    NSData data_;
    bool cancelled_ = false;
    bool refused_ = false;
};

// ---- The view ----------------------------------------------------------------------------------------

void UIWebView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setBackgroundColor(UIColor::whiteColor());
}

UIWebView::~UIWebView()
{
    if (fetch_) {
        fetch_->cancel();
    }
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
                      std::optional<std::string> html)
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
        fetch();
    }
    return true;
}

void UIWebView::fetch()
{
    fetch_ = std::make_shared<Fetch>(weakSelf<UIWebView>());
    std::shared_ptr<Fetch> mine = fetch_;
    if (requestHTML_ || request_->URL()->scheme() == "about") {
        std::string html = requestHTML_.value_or("");
        Weak<UIWebView> weak = weakSelf<UIWebView>();
        NSRunLoop::currentRunLoop()->performBlock([weak, mine, html] {
            auto view = weak.lock();
            if (view && view->fetch_ == mine) {
                view->finishLoad(UIWebView_cpp::parseHTML(html), view->request_);
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
    page_ = page ? std::move(page) : std::make_shared<Page>();
    title_ = UIWebView_cpp::pageTitle(page_.get());
    text_ = UIWebView_cpp::pageText(page_.get(), false);
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
    setNeedsDisplay();
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
    if (auto delegate = delegate_.lock()) {
        delegate->webView_didFailLoadWithError(self<UIWebView>(), error);
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

Ref<UIScrollView> UIWebView::scrollView()
{
    if (!scrollView_) {
        scrollView_ = UIScrollView::initWithFrame(bounds());
        scrollView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        scrollView_->setBackgroundColor(UIColor::clearColor());
        addSubview(scrollView_);
    }
    return scrollView_;
}

std::string UIWebView::stringByEvaluatingJavaScriptFromString(const std::string& script)
{
    using namespace UIWebView_cpp;
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
    if (!page_ || !page_->doc || expression.rfind(prefix, 0) != 0) {
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
    std::vector<xmlNodePtr> found;
    findElements(xmlDocGetRootElement(page_->doc), tag, found);
    if (index >= found.size()) {
        return "";
    }
    xmlNodePtr element = found[index];
    if (property == "innerHTML") {
        return innerHTML(page_->doc, element);
    }
    return property == "innerText" ? collapse(content(element)) : content(element);
}

bool UIWebView::hasForm() const { return page_ && UIWebView_cpp::firstElement(page_->doc, "form") != nullptr; }

bool UIWebView::submitFirstForm(const std::map<std::string, std::string>& values)
{
    using namespace UIWebView_cpp;
    xmlNodePtr form = page_ ? firstElement(page_->doc, "form") : nullptr;
    if (!form || !request_) {
        return false;
    }
    std::vector<std::pair<std::string, std::string>> fields;
    bool submitSeen = false;
    collectFields(form->children, fields, submitSeen);
    std::string encoded;
    for (const auto& [name, value] : fields) {
        auto given = values.find(name);
        if (!encoded.empty()) {
            encoded += '&';
        }
        encoded += formEncode(name) + "=" + formEncode(given != values.end() ? given->second : value);
    }
    std::string action = attribute(form, "action").value_or("");
    Ref<NSURL> target = action.empty() ? request_->URL() : NSURL::URLWithString_relativeToURL(action, request_->URL());
    if (!target) {
        return false;
    }
    bool post = lower(attribute(form, "method").value_or("get")) == "post";
    Ref<NSMutableURLRequest> submission;
    if (post) {
        submission = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(target->absoluteString()));
        submission->setHTTPMethod("POST");
        submission->setValue_forHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");
        submission->setHTTPBody(NSData::dataWithString(encoded));
    } else {
        std::string base = target->absoluteString();
        base = base.substr(0, std::min(base.find('?'), base.find('#')));
        submission = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(base + "?" + encoded));
    }
    if (!submission->URL()) {
        return false;
    }
    return start(submission, UIWebViewNavigationTypeFormSubmitted, Move::None);
}

void UIWebView::drawRect(CGRect rect)
{
    // No layout engine: the page shows as its title over its text, fields and buttons in brackets.
    std::string title = title_;
    std::string text = UIWebView_cpp::pageText(page_.get(), true);
    if (title.empty() && text.empty()) {
        return;
    }
    CGRect area = CGRectInset(bounds(), 12, 12);
    UIColor::blackColor()->set();
    if (!title.empty()) {
        Ref<UIFont> titleFont = UIFont::boldSystemFontOfSize(18);
        CGSize used = UIStringDrawing::drawInRect_withFont(title, area, titleFont);
        area.origin.y += used.height + 12;
        area.size.height -= used.height + 12;
    }
    UIColor::darkGrayColor()->set();
    UIStringDrawing::drawInRect_withFont(text, area, UIFont::systemFontOfSize(15));
}

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
    finishLoad(UIWebView_cpp::parseHTML(html), finalRequest);
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
