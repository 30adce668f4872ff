#include "platform/uikit/UIWebView.h"

#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/uikit/UIScrollView.h"

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
    start(NSURLRequest::requestWithURL(url), UIWebViewNavigationTypeOther, Move::None);
}

void UIWebView::cancelLoad()
{
    if (!loading_) {
        return;
    }
    loading_ = false;
    Ref<UIWebView> me = self<UIWebView>();
    if (auto delegate = delegate_.lock()) {
        delegate->webView_didFailLoadWithError(me, NSError::errorWithDomain_code_userInfo(
                                                       NSURLErrorDomain, NSURLErrorCancelled,
                                                       Value::dictionary({{"NSLocalizedDescription", "cancelled"}})));
    }
}

bool UIWebView::start(const Ref<NSURLRequest>& request, UIWebViewNavigationType type, Move move)
{
    Ref<UIWebView> me = self<UIWebView>();
    if (auto delegate = delegate_.lock();
        delegate && !delegate->webView_shouldStartLoadWithRequest_navigationType(me, request, type)) {
        return false;
    }
    cancelLoad();
    request_ = request;
    loading_ = true;
    move_ = move;
    started_.push_back(request);
    if (auto delegate = delegate_.lock()) {
        delegate->webViewDidStartLoad(me);
    }
    return true;
}

void UIWebView::goBack()
{
    if (canGoBack()) {
        start(history_[size_t(historyIndex_ - 1)], UIWebViewNavigationTypeBackForward, Move::Back);
    }
}

void UIWebView::goForward()
{
    if (canGoForward()) {
        start(history_[size_t(historyIndex_ + 1)], UIWebViewNavigationTypeBackForward, Move::Forward);
    }
}

void UIWebView::reload()
{
    if (request_) {
        start(request_, UIWebViewNavigationTypeReload, Move::Reload);
    }
}

void UIWebView::stopLoading() { cancelLoad(); }

Ref<UIScrollView> UIWebView::scrollView()
{
    if (!scrollView_) {
        scrollView_ = UIScrollView::initWithFrame(bounds());
        scrollView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        addSubview(scrollView_);
    }
    return scrollView_;
}

std::string UIWebView::stringByEvaluatingJavaScriptFromString(const std::string& script)
{
    scripts_.push_back(script);
    if (auto it = scriptResults_.find(script); it != scriptResults_.end()) {
        return it->second;
    }
    return scriptHandler_ ? scriptHandler_(script) : std::string();
}

bool UIWebView::simulateFinishLoad() { return simulateFinishLoad(nullptr); }

bool UIWebView::simulateFinishLoad(const Ref<NSURL>& finalURL)
{
    if (!loading_) {
        return false;
    }
    if (finalURL && request_) {
        Ref<NSMutableURLRequest> redirected = request_->mutableCopy();
        redirected->setURL(finalURL);
        request_ = redirected;
    }
    loading_ = false;
    switch (move_) {
    case Move::Back:
        --historyIndex_;
        break;
    case Move::Forward:
        ++historyIndex_;
        break;
    case Move::Reload:
        if (historyIndex_ >= 0) history_[size_t(historyIndex_)] = request_;
        break;
    case Move::None:
        history_.resize(size_t(historyIndex_ + 1));
        history_.push_back(request_);
        historyIndex_ = NSInteger(history_.size()) - 1;
        break;
    }
    move_ = Move::None;
    if (auto delegate = delegate_.lock()) {
        delegate->webViewDidFinishLoad(self<UIWebView>());
    }
    return true;
}

bool UIWebView::simulateFailLoad(const Ref<NSError>& error)
{
    if (!loading_) {
        return false;
    }
    loading_ = false;
    move_ = Move::None;
    if (auto delegate = delegate_.lock()) {
        delegate->webView_didFailLoadWithError(self<UIWebView>(), error);
    }
    return true;
}

bool UIWebView::simulateNavigation(const Ref<NSURLRequest>& request, UIWebViewNavigationType navigationType)
{
    return request && start(request, navigationType, Move::None);
}
