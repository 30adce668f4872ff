#pragma once
// Web views: a small browser for the pages the application shows. Pages are fetched through the
// URL-loading layer (NSURLConnection), parsed once, laid out and drawn by the HTML and CSS engine behind
// the page's document container (platform/uikit/WebDocument.h), with the interface's fonts. Pages longer
// than the view scroll (the view's scrollView takes the finger). A tap on a link follows it (navigation
// type LinkClicked); a tap on a field focuses it and brings the keyboard up (the web view becomes the
// first responder and takes the keys: text, delete, Return submits the field's form, Tab and Shift+Tab
// move between the page's fields); a tap on a check box or radio button sets it, on a select opens a
// sheet of its choices, on a submit button submits its form (navigation type FormSubmitted: GET or
// POST to the action resolved against the page, fields form-encoded in document order, the submit
// button's own name=value when it has a name). No script of a page runs.
//
// A load (loadRequest, loadHTMLString, reload, back, forward, a link, a form) first asks the delegate
// (webView:shouldStartLoadWithRequest:navigationType:), then starts at once: the request becomes the
// view's request, isLoading turns on and webViewDidStartLoad is called. The page arrives later on the
// main run loop (common modes; it is parsed and laid out off the main thread): redirects are followed,
// each one asked of the delegate (navigation type Other; a refused one ends the load with
// WebKitErrorDomain 102), and the request's URL follows them; then webViewDidFinishLoad, or
// webView:didFailLoadWithError: with the loading layer's error. An HTTP error status is a page like any
// other: it finishes. A load started while another runs ends that one with NSURLErrorCancelled, as does
// stopLoading. A page given with loadHTMLString finishes on the next turn of the main loop.
// A failed load (other than a cancelled one) shows a plain page of the view's own saying what failed and
// where, unless showsErrorPages is off (a screen that says so itself).
//
// Hostile pages get bounded answers: the body read is capped (maximumPageLength, 8 MiB: past it the load
// fails with UIWebViewErrorPageTooLarge), the markup is cut to the page limits before parsing (elements,
// attributes per element, nesting), a network page's links, forms and redirects may only go to http and
// https (javascript: addresses do nothing; file:, data: and others fail with WebKitErrorCannotShowURL),
// pictures are capped in bytes and only taken when they decode.
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
#include "platform/uikit/UIKeyFocus.h"
#include "platform/uikit/UITextInput.h"
#include "platform/uikit/UIView.h"

class NSURLConnection;
class UIImage;
class UIScrollView;
class UIWebView;

inline constexpr char WebKitErrorDomain[] = "WebKitErrorDomain";
enum : long { WebKitErrorCannotShowURL = 101, WebKitErrorFrameLoadInterruptedByPolicyChange = 102 };
// A page whose body is longer than the view's maximumPageLength (NSURLErrorDomain).
enum : long { UIWebViewErrorPageTooLarge = -1103 };

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

namespace webpage {
class Document;
class Control;
}

class UIWebView : public UIView, public UIEditableKeyInput, public UIKeyFocusMovement {
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

    // The most of a page's body that is read (bytes); a longer page fails to load.
    NSUInteger maximumPageLength() const { return maximumPageLength_; }
    void setMaximumPageLength(NSUInteger length) { maximumPageLength_ = length; }
    // Whether a failed load shows the view's own error page (on by default).
    bool showsErrorPages() const { return showsErrorPages_; }
    void setShowsErrorPages(bool shows) { showsErrorPages_ = shows; }
    // Whether the error page is what shows now.
    bool showsErrorPage() const { return errorPage_ != nullptr; }

    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);

    // --- The page shown (the last one that finished loading) ---
    const std::string& pageTitle() const { return title_; }
    // The text of the page's body, one line per block, blanks collapsed.
    const std::string& pageText() const { return text_; }
    // Whether the page has a form.
    bool hasForm() const;
    // The height of the page as laid out (points).
    CGFloat pageHeight() const;
    // Whether the page has been drawn since it arrived.
    bool pageDrawn() const;
    // The page's pictures still on their way.
    NSUInteger pendingImageCount() const;

    // A form control of the page as a person sees it: where it is in this view (after scrolling), what
    // it holds.
    struct Field {
        std::string name;
        std::string type;  // "text", "password", "textarea", "checkbox", "radio", "select", "submit", ...
        std::string value;
        std::string label;  // a button's text
        bool checked = false;
        bool focused = false;
        CGRect frame;
    };
    std::vector<Field> fields() const;
    // The frame in this view of the n-th element of a tag on the page shown (CGRectNull when none).
    CGRect frameOfElement(const std::string& tag, size_t index = 0) const;
    // The frame in this view of the first link to this address as written (CGRectNull when none).
    CGRect frameOfLink(const std::string& href) const;

    // The user taps the submit button of the page's first form: its fields (inputs, text areas,
    // selects, the first submit button when it has a name), with `values` replacing those of the same
    // name, go to the form's action, form-encoded in the query (GET) or the body (POST), as a load of
    // navigation type FormSubmitted. False when there is no form or the delegate refused the load.
    bool submitFirstForm(const std::map<std::string, std::string>& values = {});

    void initWithFrameBody(CGRect frame) override;
    void layoutSubviews() override;

    // --- Keys (the web view is the first responder while one of its fields has the focus) ---
    bool canBecomeFirstResponder() const override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool hasText() const override;
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    bool moveKeyFocus(bool backward) override;
    // The focused field's caret or selection (UTF-16 units of its value; {0, 0} when none).
    NSRange selectedRange() const;

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

    // The parsed page, private to the implementation.
    struct Page;
    // Receives the network's side of a load; private to the implementation.
    class Fetch;
    class ImageFetch;
    class PageView;
    class FieldView;
    class PageScroller;

protected:
    bool beginEditingIfNeeded() override;
    const std::string& editedText() const override;
    NSRange editedSelection() const override;
    void setEditedSelection(NSRange range) override;
    void replaceEdited(NSRange range, const std::string& replacement) override;

private:
    enum class Move { None, Back, Forward, Reload };
    struct HistoryEntry {
        Ref<NSURLRequest> request;
        std::optional<std::string> html;  // a page given as text rather than fetched
    };
    bool start(const Ref<NSURLRequest>& request, UIWebViewNavigationType type, Move move,
               std::optional<std::string> html = std::nullopt, Ref<NSError> refusal = nullptr);
    // A navigation the page itself asks for (a link, a form): the addresses a page may not open are
    // refused here.
    bool navigate(const Ref<NSURLRequest>& request, UIWebViewNavigationType type);
    void fetch();
    void dropFetch();
    void cancelLoad();
    // The load ends with this page (null: an empty one) at this request.
    void finishLoad(std::shared_ptr<Page> page, const Ref<NSURLRequest>& finalRequest);
    void failLoad(const Ref<NSError>& error);
    void showPage();
    void layoutPage();
    void fetchImages();
    void imageArrived(const std::shared_ptr<Page>& page, const std::string& url, const Ref<UIImage>& image);
    // Touches on the page (page coordinates).
    void pageTapped(CGPoint point);
    void focus(webpage::Control* control);
    void activate(webpage::Control* control, std::optional<CGPoint> point = std::nullopt);
    // The submit button Return in this field presses (null: the form goes without one).
    webpage::Control* submitterFor(webpage::Control* field) const;
    // The focused field drawn again (only it changed).
    void fieldChanged();
    // The focused field (and its form's submit button, where both fit) brought into the part of the
    // view the keyboard leaves.
    void revealFocused();
    // How much of the view's bottom the keyboard covers (points).
    CGFloat keyboardOverlap() const;
    void keyboardMoved();
    // The part of the page drawn: what shows and a view's height above and below it.
    CGRect visibleBand() const;
    void pageScrolled();
    bool submit(webpage::Control* submitter);
    void chooseOption(webpage::Control* select);
    webpage::Document* shownDocument() const;
    friend class Fetch;
    friend class ImageFetch;
    friend class PageView;
    friend class FieldView;
    friend class PageScroller;

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
    NSUInteger maximumPageLength_ = 8 * 1024 * 1024;
    bool showsErrorPages_ = true;
    Ref<UIScrollView> scrollView_;
    Ref<PageView> pageView_;
    Ref<FieldView> fieldView_;
    // The scroll position before the keyboard came up, given back when it goes.
    std::optional<CGPoint> offsetBeforeKeyboard_;
    std::map<std::string, std::string> scriptResults_;
    std::function<std::string(const std::string&)> scriptHandler_;
    std::vector<Ref<NSURLRequest>> started_;
    std::vector<std::string> scripts_;
    std::string html_;
    std::shared_ptr<Fetch> fetch_;
    std::vector<Ref<NSObject>> imageFetches_;
    std::shared_ptr<Page> page_;
    std::shared_ptr<Page> errorPage_;
    webpage::Control* focused_ = nullptr;
    Ref<NSObject> optionSheet_;
    std::string title_;
    std::string text_;
};
