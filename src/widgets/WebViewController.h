#pragma once
// The in-app browser: WebViewController shows one page with a toolbar (back, forward, reload or stop,
// and the page actions), and ModalWebViewController is the navigation controller that wraps it for
// modal presentation with a Done button.
//
// The page actions (a bit mask) go into a sheet, each entry looked up in the main bundle's strings:
// "Copy Link" (4), "Open in Safari" (1), "Mail Link to this Page" (2, only when the device can send
// mail), then "Cancel". A chosen entry is told apart by its own looked-up title, so Cancel (or any
// other title) does nothing. Main thread only; the browser must sit inside a navigation controller.
#include <string>

#include "platform/uikit/MFMailComposeViewController.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWebView.h"

class UIColor;

enum WebPageAction : unsigned {
    WebPageActionNone = 0,
    WebPageActionOpenInSafari = 1 << 0,
    WebPageActionMailLink = 1 << 1,
    WebPageActionCopyLink = 1 << 2,
};

class WebViewController : public UIViewController,
                          public UIWebViewDelegate,
                          public UIActionSheetDelegate,
                          public MFMailComposeViewControllerDelegate {
public:
    static Ref<WebViewController> initWithURL(const Ref<NSURL>& url);
    static Ref<WebViewController> initWithAddress(const std::string& address);
    ~WebViewController() override;

    unsigned availableActions() const { return availableActions_; }
    void setAvailableActions(unsigned actions) { availableActions_ = actions; }
    Ref<NSURL> URL() const { return URL_; }
    Ref<UIWebView> mainWebView() const { return mainWebView_; }

    // The bar items, made on first use.
    Ref<UIBarButtonItem> backBarButtonItem();
    Ref<UIBarButtonItem> forwardBarButtonItem();
    Ref<UIBarButtonItem> refreshBarButtonItem();
    Ref<UIBarButtonItem> stopBarButtonItem();
    Ref<UIBarButtonItem> actionBarButtonItem();
    // The page-action sheet, made on first use; kept until one of its buttons is chosen.
    Ref<UIActionSheet> pageActionSheet();

    void updateToolbarItems();

    // --- Actions ---
    void goBackClicked(const Ref<UIBarButtonItem>& sender);
    void goForwardClicked(const Ref<UIBarButtonItem>& sender);
    void reloadClicked(const Ref<UIBarButtonItem>& sender);
    void stopClicked(const Ref<UIBarButtonItem>& sender);
    void actionButtonClicked(const Ref<NSObject>& sender);
    void doneButtonClicked(const Ref<NSObject>& sender);

    // --- View controller ---
    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // --- Web view ---
    void webViewDidStartLoad(const Ref<UIWebView>& webView) override;
    void webViewDidFinishLoad(const Ref<UIWebView>& webView) override;
    void webView_didFailLoadWithError(const Ref<UIWebView>& webView, const Ref<NSError>& error) override;

    // --- Sheet and mail ---
    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) override;
    void mailComposeController_didFinishWithResult_error(const Ref<MFMailComposeViewController>& controller,
                                                         MFMailComposeResult result, const Ref<NSError>& error) override;

    void initWithURLBody(const Ref<NSURL>& url);

private:
    bool isTablet() const;

    unsigned availableActions_ = 0;
    Ref<NSURL> URL_;
    Ref<UIWebView> mainWebView_;
    Ref<UIBarButtonItem> backBarButtonItem_;
    Ref<UIBarButtonItem> forwardBarButtonItem_;
    Ref<UIBarButtonItem> refreshBarButtonItem_;
    Ref<UIBarButtonItem> stopBarButtonItem_;
    Ref<UIBarButtonItem> actionBarButtonItem_;
    Ref<UIActionSheet> pageActionSheet_;
};

class ModalWebViewController : public UINavigationController {
public:
    static Ref<ModalWebViewController> initWithURL(const Ref<NSURL>& url);
    static Ref<ModalWebViewController> initWithAddress(const std::string& address);

    Ref<UIColor> barsTintColor() const { return barsTintColor_; }
    void setBarsTintColor(const Ref<UIColor>& color) { barsTintColor_ = color; }
    unsigned availableActions() const { return availableActions_; }
    // Passed on to the browser.
    void setAvailableActions(unsigned actions);
    // The browser at the root of the stack (which owns it).
    Ref<WebViewController> webViewController() const { return webViewController_.lock(); }

    void viewWillAppear(bool animated) override;

    void initWithURLBody(const Ref<NSURL>& url);

private:
    Ref<UIColor> barsTintColor_;
    unsigned availableActions_ = 0;
    Weak<WebViewController> webViewController_;
};
