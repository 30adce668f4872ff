#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/RefusingPort.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIToolbar.h"
#include "platform/uikit/UIWindow.h"
#include "service/HttpServer.h"
#include "widgets/WebViewController.h"

namespace {
namespace WebViewControllerTest_cpp {

constexpr char kAddress[] = "http://127.0.0.1:9/news/1";
constexpr char kPage[] = "<html><head><title>新闻</title></head><body><p>今天</p></body></html>";

// A window whose root screen presents the browser the way the screens do.
struct Stage {
    MainThreadScope main;
    Ref<UIWindow> window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    Ref<UIViewController> screen = UIViewController::create();
    Ref<ModalWebViewController> modal;

    explicit Stage(std::string address = kAddress, unsigned actions = 7)
    {
        UIActionSheet::resetRecords();
        UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
        MFMailComposeViewController::setCanSendMail(true);
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        modal = ModalWebViewController::initWithAddress(address);
        modal->setModalPresentationStyle(UIModalPresentationPageSheet);
        modal->setAvailableActions(actions);
    }
    ~Stage()
    {
        window->setHidden(true);
        UIActionSheet::resetRecords();
        UIDevice::currentDevice()->setUserInterfaceIdiom(UIUserInterfaceIdiomPhone);
        MFMailComposeViewController::setCanSendMail(true);
    }
    Ref<WebViewController> browser() const { return modal->webViewController(); }
    Ref<UIWebView> web() const { return browser()->mainWebView(); }
    void present() { screen->presentModalViewController_animated(modal, false); }
    // The page arrives as the test gives it.
    void showPage() { web()->simulateFinishLoadWithHTML(kPage); }

    // The toolbar as kinds: "fixed", "flex", "back", "forward", "refresh", "stop", "action".
    static std::vector<std::string> kinds(const std::vector<Ref<UIBarButtonItem>>& items)
    {
        std::vector<std::string> out;
        for (const auto& item : items) {
            switch (item->systemItem()) {
            case UIBarButtonSystemItemFixedSpace:
                out.push_back("fixed" + std::to_string(int(item->width())));
                break;
            case UIBarButtonSystemItemFlexibleSpace: out.push_back("flex"); break;
            case UIBarButtonSystemItemRefresh: out.push_back("refresh"); break;
            case UIBarButtonSystemItemStop: out.push_back("stop"); break;
            case UIBarButtonSystemItemAction: out.push_back(item->isEnabled() ? "action" : "action-off"); break;
            default: out.push_back(item->action().name() == "goBackClicked:" ? "back" : "forward");
            }
        }
        return out;
    }
    std::vector<std::string> toolbar() const { return kinds(browser()->toolbarItems()); }
};


TEST(WebViewControllerSheetTest, TheSheetOffersTheActionsOfTheBitsAndMailOnlyWhenTheDeviceCanSend)
{
    const struct {
        unsigned actions;
        bool canMail;
        std::vector<std::string> titles;
    } cases[] = {
        {7, true, {"Copy Link", "Open in Safari", "Mail Link to this Page", "Cancel"}},
        {7, false, {"Copy Link", "Open in Safari", "Cancel"}},
        {1, true, {"Open in Safari", "Cancel"}},
        {2, true, {"Mail Link to this Page", "Cancel"}},
        {2, false, {"Cancel"}},
        {4, true, {"Copy Link", "Cancel"}},
        {5, false, {"Copy Link", "Open in Safari", "Cancel"}},
        {6, true, {"Copy Link", "Mail Link to this Page", "Cancel"}},
    };
    for (const auto& c : cases) {
        Stage stage(WebViewControllerTest_cpp::kAddress, c.actions);
        MFMailComposeViewController::setCanSendMail(c.canMail);
        stage.present();
        stage.showPage();
        stage.browser()->actionBarButtonItem()->simulateTap();
        Ref<UIActionSheet> sheet = UIActionSheet::currentSheet();
        ASSERT_TRUE(sheet) << c.actions;
        EXPECT_EQ(sheet->buttonTitles(), c.titles) << c.actions << " mail " << c.canMail;
        EXPECT_EQ(sheet->cancelButtonIndex(), NSInteger(c.titles.size()) - 1);
        EXPECT_EQ(sheet->title(), WebViewControllerTest_cpp::kAddress);
        EXPECT_EQ(sheet->shownFrom(), UIActionSheet::ShownFrom::Toolbar);
        EXPECT_EQ(sheet->shownInView(), stage.modal->toolbar());
    }
}

TEST(WebViewControllerSheetTest, ABrowserMadeWithoutTheWrapperOffersOpenAndMail)
{
    MainThreadScope main;
    auto browser = WebViewController::initWithAddress(WebViewControllerTest_cpp::kAddress);
    EXPECT_EQ(browser->availableActions(), 3u);
    auto navigation = UINavigationController::initWithRootViewController(browser);
    browser->view();
    EXPECT_EQ(browser->pageActionSheet()->buttonTitles(),
              (std::vector<std::string>{"Open in Safari", "Mail Link to this Page", "Cancel"}));
}

TEST(WebViewControllerSheetTest, EachEntryDoesItsOwnThingAndCancelDoesNothing)
{
    ScopedManualClock clock;
    Stage stage;
    stage.present();
    stage.showPage();
    auto application = UIApplication::sharedApplication();
    auto pasteboard = UIPasteboard::generalPasteboard();
    pasteboard->setString("before");
    const size_t opened = application->openedURLs().size();
    auto choose = [&](const std::string& title) {
        stage.browser()->actionButtonClicked(nullptr);
        UIActionSheet::currentSheet()->simulateClickButtonWithTitle(title);
    };

    choose("Cancel");
    EXPECT_FALSE(stage.modal->modalViewController());
    EXPECT_EQ(application->openedURLs().size(), opened);
    EXPECT_EQ(pasteboard->string(), "before");

    choose("Copy Link");
    EXPECT_EQ(pasteboard->string(), WebViewControllerTest_cpp::kAddress);
    EXPECT_FALSE(stage.modal->modalViewController());

    choose("Open in Safari");
    ASSERT_EQ(application->openedURLs().size(), opened + 1);
    EXPECT_EQ(application->openedURLs().back(), WebViewControllerTest_cpp::kAddress);
    EXPECT_FALSE(stage.modal->modalViewController());

    choose("Mail Link to this Page");
    auto composer = std::dynamic_pointer_cast<MFMailComposeViewController>(stage.modal->modalViewController());
    ASSERT_TRUE(composer);
    EXPECT_EQ(composer->subject(), "新闻");
    EXPECT_EQ(composer->messageBody(), WebViewControllerTest_cpp::kAddress);
    EXPECT_FALSE(composer->isBodyHTML());
    EXPECT_EQ(composer->modalPresentationStyle(), UIModalPresentationFormSheet);
    EXPECT_TRUE(composer->lastPresentationAnimated() || stage.modal->lastPresentationAnimated());
    clock.advance(UIModalTransitionDuration);
    // Whatever the result, only the composer goes; the browser stays up.
    composer->simulateFinishWithResult(MFMailComposeResultCancelled);
    clock.advance(UIModalTransitionDuration);
    EXPECT_FALSE(stage.modal->modalViewController());
    EXPECT_EQ(stage.screen->modalViewController(), stage.modal);
    EXPECT_EQ(application->openedURLs().size(), opened + 1);
}

TEST(WebViewControllerSheetTest, TheActionItemShowsOneSheetAtATime)
{
    Stage stage;
    stage.present();
    stage.showPage();
    stage.browser()->actionBarButtonItem()->simulateTap();
    stage.browser()->actionBarButtonItem()->simulateTap();
    EXPECT_EQ(UIActionSheet::shownSheets().size(), 1u);
    UIActionSheet::currentSheet()->simulateClickButtonWithTitle("Cancel");
    // A chosen button lets the next tap build a fresh sheet.
    stage.browser()->actionBarButtonItem()->simulateTap();
    ASSERT_EQ(UIActionSheet::shownSheets().size(), 2u);
    EXPECT_NE(UIActionSheet::shownSheets()[0], UIActionSheet::shownSheets()[1]);
}

TEST(WebViewControllerToolbarTest, TheLayoutFollowsTheDeviceAndTheActions)
{
    const struct {
        UIUserInterfaceIdiom idiom;
        unsigned actions;
        std::vector<std::string> items;
        CGFloat tabletWidth;
    } cases[] = {
        {UIUserInterfaceIdiomPhone, 7,
         {"fixed5", "back", "flex", "forward", "flex", "refresh", "flex", "action", "fixed5"}, 0},
        {UIUserInterfaceIdiomPhone, 0, {"flex", "back", "flex", "forward", "flex", "refresh", "flex"}, 0},
        {UIUserInterfaceIdiomPad, 7,
         {"fixed5", "refresh", "flex", "back", "flex", "forward", "flex", "action", "fixed5"}, 250},
        {UIUserInterfaceIdiomPad, 0, {"fixed5", "refresh", "flex", "back", "flex", "forward", "fixed5"}, 200},
    };
    for (const auto& c : cases) {
        Stage stage(WebViewControllerTest_cpp::kAddress, c.actions);
        UIDevice::currentDevice()->setUserInterfaceIdiom(c.idiom);
        stage.present();
        stage.showPage();
        if (c.idiom == UIUserInterfaceIdiomPhone) {
            EXPECT_EQ(stage.toolbar(), c.items) << c.actions;
            EXPECT_FALSE(stage.modal->isToolbarHidden());
            EXPECT_FALSE(stage.browser()->navigationItem()->rightBarButtonItem());
        } else {
            auto bar = std::dynamic_pointer_cast<UIToolbar>(
                stage.browser()->navigationItem()->rightBarButtonItem()->customView());
            ASSERT_TRUE(bar);
            EXPECT_EQ(Stage::kinds(bar->items()), c.items) << c.actions;
            EXPECT_EQ(bar->frame().size.width, c.tabletWidth);
            EXPECT_EQ(bar->frame().size.height, 44);
            EXPECT_TRUE(stage.modal->isToolbarHidden());
        }
    }
    // The back and forward items are images with their insets and width.
    Stage stage;
    auto back = stage.browser()->backBarButtonItem();
    EXPECT_TRUE(back->image());
    EXPECT_EQ(back->width(), 18);
    EXPECT_EQ(back->imageInsets().top, 2);
    EXPECT_EQ(back->imageInsets().bottom, -2);
}

TEST(WebViewControllerToolbarTest, LoadingStatesDriveTheToolbarTitleAndActivityIndicator)
{
    standin::HttpServer server;
    server.route("/a", [](const standin::Request&) {
        standin::Response response;
        response.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
        response.body = "<html><head><title>第一页</title></head><body><a href=\"/b\">下一页</a></body></html>";
        return response;
    });
    Stage stage("http://" + server.hostPort() + "/a");
    auto application = UIApplication::sharedApplication();
    stage.present();
    // Loading: stop instead of refresh, no page actions, the indicator on.
    EXPECT_TRUE(stage.web()->isLoading());
    EXPECT_EQ(stage.toolbar(),
              (std::vector<std::string>{"fixed5", "back", "flex", "forward", "flex", "stop", "flex", "action-off",
                                        "fixed5"}));
    EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());

    ASSERT_TRUE(pumpMainUntil([&] { return !stage.web()->isLoading(); }));
    EXPECT_EQ(stage.toolbar()[5], "refresh");
    EXPECT_EQ(stage.toolbar()[7], "action");
    EXPECT_EQ(stage.browser()->navigationItem()->title(), "第一页");
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
    EXPECT_FALSE(stage.browser()->backBarButtonItem()->isEnabled());

    // A failing load leaves the page and its title, and the toolbar ready again.
    RefusingPort refusing;
    stage.web()->loadRequest(NSURLRequest::requestWithURL(
        NSURL::URLWithString("http://127.0.0.1:" + std::to_string(refusing.port()) + "/gone")));
    EXPECT_EQ(stage.toolbar()[5], "stop");
    ASSERT_TRUE(pumpMainUntil([&] { return !stage.web()->isLoading(); }));
    EXPECT_EQ(stage.toolbar()[5], "refresh");
    EXPECT_EQ(stage.toolbar()[7], "action");
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
    EXPECT_EQ(stage.browser()->navigationItem()->title(), "第一页");

    // The stop item ends a load.
    stage.web()->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString("http://" + server.hostPort() + "/a")));
    EXPECT_TRUE(stage.browser()->stopBarButtonItem()->simulateTap());
    EXPECT_FALSE(stage.web()->isLoading());
    EXPECT_EQ(stage.toolbar()[5], "refresh");
    EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
}

TEST(ModalWebViewControllerTest, TheWrapperAddsDoneTintsItsBarsAndPassesTheActionsOn)
{
    ScopedManualClock clock;
    Stage stage(WebViewControllerTest_cpp::kAddress, 4);
    EXPECT_EQ(stage.browser()->availableActions(), 4u);
    EXPECT_EQ(stage.modal->viewControllers().front(), stage.browser());
    stage.modal->setBarsTintColor(UIColor::redColor());
    stage.screen->presentModalViewController_animated(stage.modal, true);
    clock.advance(UIModalTransitionDuration);
    EXPECT_EQ(stage.modal->navigationBar()->tintColor(), UIColor::redColor());
    EXPECT_EQ(stage.modal->toolbar()->tintColor(), UIColor::redColor());
    EXPECT_FALSE(stage.modal->isToolbarHidden());
    EXPECT_TRUE(stage.web()->scalesPageToFit());
    EXPECT_EQ(stage.web()->frame().size.height > 0, true);

    Ref<UIBarButtonItem> done = stage.browser()->navigationItem()->leftBarButtonItem();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->systemItem(), UIBarButtonSystemItemDone);
    EXPECT_TRUE(done->simulateTap());
    EXPECT_TRUE(stage.modal->isBeingDismissed());
    clock.advance(UIModalTransitionDuration);
    EXPECT_FALSE(stage.screen->modalViewController());
}

TEST(ModalWebViewControllerTest, ABrowserOutsideANavigationControllerIsAProgrammingError)
{
    Stage stage;
    auto bare = WebViewController::initWithAddress(WebViewControllerTest_cpp::kAddress);
    try {
        bare->viewWillAppear(false);
        FAIL() << "no assertion";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), NSInternalInconsistencyException);
        EXPECT_EQ(e.reason(),
                  "WebViewController needs to be contained in a UINavigationController. If you are presenting "
                  "WebViewController modally, use ModalWebViewController instead.");
    }
}

}  // namespace WebViewControllerTest_cpp
}  // namespace
