#pragma once
// Web views, headless: pages are really fetched (through the URL-loading layer, NSURLConnection) and
// parsed as HTML, but not laid out and no script runs. The view keeps the page's title and text (it
// draws them, so a rendered view shows what was loaded), answers the few script expressions the
// application evaluates, and can submit the page's first form as a tap on its submit button would.
//
// A load (loadRequest, loadHTMLString, reload, back, forward, a form submission) first asks the
// delegate (webView:shouldStartLoadWithRequest:navigationType:), then starts at once: the request
// becomes the view's request, isLoading turns on and webViewDidStartLoad is called. The page arrives
// later on the main run loop (common modes): redirects are followed, each one asked of the delegate
// (navigation type Other; a refused one ends the load with WebKitErrorDomain 102), and the request's
// URL follows them; then webViewDidFinishLoad, or webView:didFailLoadWithError: with the loading
// layer's error. An HTTP error status is a page like any other: it finishes. A load started while
// another runs ends that one with NSURLErrorCancelled, as does stopLoading. A page given with
// loadHTMLString finishes on the next turn of the main loop.
//
// Scripts: stringByEvaluatingJavaScriptFromString answers, on the page shown last:
//   "document.title"
//   "document.getElementsByTagName('<tag>')[<n>].innerHTML" (also .innerText / .textContent)
//   "document.body.innerText", "document.location.href" / "window.location.href"
// and "" for every other script or when there is no such element.
//
// Tests may also play the page's side themselves; each of these ends the running load (its network
// fetch is dropped) instead of the network:
//   web->simulateFinishLoad();                   // webViewDidFinishLoad on an empty page
//   web->simulateFinishLoadWithHTML(html, url);  // ... on this page (url: after redirects, may be nil)
//   web->simulateFailLoad(error);                // webView:didFailLoadWithError:
//   web->simulateNavigation(request, UIWebViewNavigationTypeLinkClicked);   // the page navigates
// setScriptResult / setScriptHandler answer scripts before the page does.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/cfnetwork/NSURLRequest.h"
#include "platform/foundation/NSError.h"
#include "platform/uikit/UIView.h"

class NSURLConnection;
class UIScrollView;
class UIWebView;

inline constexpr char WebKitErrorDomain[] = "WebKitErrorDomain";
enum : long { WebKitErrorFrameLoadInterruptedByPolicyChange = 102 };

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
    ~UIWebView() override;

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

    // --- The page shown (the last one that finished loading) ---
    const std::string& pageTitle() const { return title_; }
    // The text of the page's body, one line per block, blanks collapsed.
    const std::string& pageText() const { return text_; }
    // Whether the page has a form.
    bool hasForm() const;
    // The user taps the submit button of the page's first form: its fields (inputs, text areas,
    // selects, the first submit button when it has a name), with `values` replacing those of the same
    // name (what the user typed), go to the form's action, form-encoded in the query (GET) or the body
    // (POST), as a load of navigation type FormSubmitted. False when there is no form or the delegate
    // refused the load.
    bool submitFirstForm(const std::map<std::string, std::string>& values = {});

    void drawRect(CGRect rect) override;
    void initWithFrameBody(CGRect frame) override;

    // --- Test driving ---
    bool simulateFinishLoad();
    bool simulateFinishLoad(const Ref<NSURL>& finalURL);
    bool simulateFinishLoadWithHTML(const std::string& html, const Ref<NSURL>& finalURL = nullptr);
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
    std::vector<Ref<NSURLRequest>> history() const;

    // The parsed page (libxml2's document), private to the implementation.
    struct Page;
    // Receives the network's side of a load; private to the implementation.
    class Fetch;

private:
    enum class Move { None, Back, Forward, Reload };
    struct HistoryEntry {
        Ref<NSURLRequest> request;
        std::optional<std::string> html;  // a page given as text rather than fetched
    };
    bool start(const Ref<NSURLRequest>& request, UIWebViewNavigationType type, Move move,
               std::optional<std::string> html = std::nullopt);
    void fetch();
    void dropFetch();
    void cancelLoad();
    // The load ends with this page (null: an empty one) at this request.
    void finishLoad(std::shared_ptr<Page> page, const Ref<NSURLRequest>& finalRequest);
    void failLoad(const Ref<NSError>& error);
    friend class Fetch;

    Weak<UIWebViewDelegate> delegate_;
    Ref<NSURLRequest> request_;
    std::optional<std::string> requestHTML_;
    bool loading_ = false;
    Move move_ = Move::None;
    std::vector<HistoryEntry> history_;
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
    std::shared_ptr<Fetch> fetch_;
    std::shared_ptr<Page> page_;
    std::string title_;
    std::string text_;
};
