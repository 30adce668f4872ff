#pragma once
// Web views, headless: nothing is fetched or rendered. The view records what it is asked to load and
// runs the delegate's side of each load as the phone does; the test plays the page's side.
//
// loadRequest (and loadHTMLString, reloads, back and forward) asks the delegate whether to start
// (shouldStartLoadWithRequest:navigationType:), then the load starts at once: the request becomes
// the view's request, isLoading turns on and webViewDidStartLoad is called. A load started while
// another runs ends that one with NSURLErrorCancelled (webView:didFailLoadWithError:), as does
// stopLoading. The test ends a load:
//   web->simulateFinishLoad();                 // webViewDidFinishLoad; the page enters the history
//   web->simulateFinishLoad(finalURL);         // after redirects: the request's URL becomes finalURL
//   web->simulateFailLoad(error);              // webView:didFailLoadWithError:
//   web->simulateNavigation(request, UIWebViewNavigationTypeLinkClicked);   // the page navigates
// Scripts (stringByEvaluatingJavaScriptFromString) are recorded and answered by the test: by
// setScriptResult for a script, else by the script handler, else "".
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/cfnetwork/NSURLRequest.h"
#include "platform/foundation/NSError.h"
#include "platform/uikit/UIView.h"

class UIScrollView;
class UIWebView;

enum UIWebViewNavigationType : NSInteger {
    UIWebViewNavigationTypeLinkClicked = 0,
    UIWebViewNavigationTypeFormSubmitted = 1,
    UIWebViewNavigationTypeBackForward = 2,
    UIWebViewNavigationTypeReload = 3,
    UIWebViewNavigationTypeFormResubmitted = 4,
    UIWebViewNavigationTypeOther = 5,
};

class UIWebViewDelegate {
public:
    virtual ~UIWebViewDelegate() = default;
    virtual bool webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>& webView,
                                                                   const Ref<NSURLRequest>& request,
                                                                   UIWebViewNavigationType navigationType)
    {
        return true;
    }
    virtual void webViewDidStartLoad(const Ref<UIWebView>& webView) {}
    virtual void webViewDidFinishLoad(const Ref<UIWebView>& webView) {}
    virtual void webView_didFailLoadWithError(const Ref<UIWebView>& webView, const Ref<NSError>& error) {}
};

class UIWebView : public UIView {
public:
    static Ref<UIWebView> initWithFrame(CGRect frame) { return makeWithFrame<UIWebView>(frame); }
    static Ref<UIWebView> create() { return makeWithFrame<UIWebView>(CGRectZero); }

    Ref<UIWebViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UIWebViewDelegate>& delegate) { delegate_ = delegate; }

    void loadRequest(const Ref<NSURLRequest>& request);
    // A nil base URL loads as "about:blank".
    void loadHTMLString_baseURL(const std::string& html, const Ref<NSURL>& baseURL);
    // The request of the page shown or loading (nil before any load).
    Ref<NSURLRequest> request() const { return request_; }
    bool isLoading() const { return loading_; }
    bool loading() const { return loading_; }
    bool canGoBack() const { return historyIndex_ > 0; }
    bool canGoForward() const { return historyIndex_ + 1 < NSInteger(history_.size()); }
    void goBack();
    void goForward();
    void reload();
    void stopLoading();

    bool scalesPageToFit() const { return scalesPageToFit_; }
    void setScalesPageToFit(bool scales) { scalesPageToFit_ = scales; }
    NSUInteger dataDetectorTypes() const { return dataDetectorTypes_; }
    void setDataDetectorTypes(NSUInteger types) { dataDetectorTypes_ = types; }
    bool allowsInlineMediaPlayback() const { return allowsInlineMediaPlayback_; }
    void setAllowsInlineMediaPlayback(bool allows) { allowsInlineMediaPlayback_ = allows; }
    Ref<UIScrollView> scrollView();

    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);

    // --- Test driving ---
    bool simulateFinishLoad();
    bool simulateFinishLoad(const Ref<NSURL>& finalURL);
    bool simulateFailLoad(const Ref<NSError>& error);
    // The page navigates (a link, a form): asks the delegate, then loads. False when refused.
    bool simulateNavigation(const Ref<NSURLRequest>& request, UIWebViewNavigationType navigationType);
    void setScriptResult(const std::string& script, const std::string& result) { scriptResults_[script] = result; }
    void setScriptHandler(std::function<std::string(const std::string& script)> handler)
    {
        scriptHandler_ = std::move(handler);
    }
    // Every request a load started with, in order.
    const std::vector<Ref<NSURLRequest>>& startedRequests() const { return started_; }
    const std::vector<std::string>& evaluatedScripts() const { return scripts_; }
    const std::string& loadedHTMLString() const { return html_; }
    // The pages of the history, oldest first.
    const std::vector<Ref<NSURLRequest>>& history() const { return history_; }

private:
    enum class Move { None, Back, Forward, Reload };
    bool start(const Ref<NSURLRequest>& request, UIWebViewNavigationType type, Move move);
    void cancelLoad();

    Weak<UIWebViewDelegate> delegate_;
    Ref<NSURLRequest> request_;
    bool loading_ = false;
    Move move_ = Move::None;
    std::vector<Ref<NSURLRequest>> history_;
    NSInteger historyIndex_ = -1;
    bool scalesPageToFit_ = false;
    NSUInteger dataDetectorTypes_ = 0;
    bool allowsInlineMediaPlayback_ = false;
    Ref<UIScrollView> scrollView_;
    std::map<std::string, std::string> scriptResults_;
    std::function<std::string(const std::string&)> scriptHandler_;
    std::vector<Ref<NSURLRequest>> started_;
    std::vector<std::string> scripts_;
    std::string html_;
};
