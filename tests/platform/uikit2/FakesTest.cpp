#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Stage.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/MessageUI.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/uikit/UIWebView.h"

namespace {

Ref<NSURLRequest> requestFor(const std::string& url) { return NSURLRequest::requestWithURL(NSURL::URLWithString(url)); }

class Browser : public NSObject, public UIWebViewDelegate {
public:
    std::vector<std::string> events;
    std::string refuse;
    bool webView_shouldStartLoadWithRequest_navigationType(const Ref<UIWebView>&, const Ref<NSURLRequest>& request,
                                                           UIWebViewNavigationType type) override
    {
        events.push_back("should " + request->URL()->absoluteString() + " " + std::to_string(int(type)));
        return request->URL()->absoluteString() != refuse;
    }
    void webViewDidStartLoad(const Ref<UIWebView>&) override { events.push_back("start"); }
    void webViewDidFinishLoad(const Ref<UIWebView>& web) override
    {
        events.push_back("finish " + web->stringByEvaluatingJavaScriptFromString("document.title"));
    }
    void webView_didFailLoadWithError(const Ref<UIWebView>&, const Ref<NSError>& error) override
    {
        events.push_back("fail " + std::to_string(error->code()));
    }
};

class Picker : public NSObject, public UIImagePickerControllerDelegate {
public:
    Value info;
    void imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                             const Value& i) override
    {
        info = i;
        picker->dismissModalViewControllerAnimated(false);
    }
};

class Composer : public UIViewController,
                 public MFMailComposeViewControllerDelegate,
                 public MFMessageComposeViewControllerDelegate {
public:
    std::vector<NSInteger> results;
    void mailComposeController_didFinishWithResult_error(const Ref<MFMailComposeViewController>& controller,
                                                         MFMailComposeResult result, const Ref<NSError>&) override
    {
        results.push_back(result);
        controller->dismissModalViewControllerAnimated(false);
    }
    void messageComposeViewController_didFinishWithResult(const Ref<MFMessageComposeViewController>& controller,
                                                          MessageComposeResult result) override
    {
        results.push_back(result);
        controller->dismissModalViewControllerAnimated(false);
    }
};

}  // namespace

TEST(UIWebViewTest, LoadsRunTheDelegateAndTheTestPlaysThePage)
{
    Stage stage;
    auto browser = std::make_shared<Browser>();
    auto web = UIWebView::initWithFrame(CGRectMake(0, 0, 320, 416));
    web->setDelegate(browser);
    web->setScriptResult("document.title", "Home");

    web->loadRequest(requestFor("http://127.0.0.1/a"));
    EXPECT_TRUE(web->isLoading());
    EXPECT_EQ(browser->events, (std::vector<std::string>{"should http://127.0.0.1/a 5", "start"}));
    EXPECT_TRUE(web->simulateFinishLoad(NSURL::URLWithString("http://127.0.0.1/a/home")));
    EXPECT_EQ(web->request()->URL()->absoluteString(), "http://127.0.0.1/a/home");
    EXPECT_EQ(browser->events.back(), "finish Home");
    EXPECT_FALSE(web->canGoBack());

    browser->events.clear();
    EXPECT_TRUE(web->simulateNavigation(requestFor("http://127.0.0.1/b"), UIWebViewNavigationTypeLinkClicked));
    web->simulateFinishLoad();
    EXPECT_TRUE(web->canGoBack());
    web->goBack();
    EXPECT_EQ(web->request()->URL()->absoluteString(), "http://127.0.0.1/a/home");
    web->stopLoading();
    EXPECT_EQ(browser->events, (std::vector<std::string>{"should http://127.0.0.1/b 0", "start", "finish Home",
                                                         "should http://127.0.0.1/a/home 2", "start", "fail -999"}));
    EXPECT_FALSE(web->isLoading());

    // The delegate may refuse a navigation; failures reach it with their error.
    browser->refuse = "http://127.0.0.1/blocked";
    EXPECT_FALSE(web->simulateNavigation(requestFor("http://127.0.0.1/blocked"), UIWebViewNavigationTypeFormSubmitted));
    web->reload();
    EXPECT_TRUE(web->simulateFailLoad(NSError::errorWithDomain_code_userInfo(NSURLErrorDomain, NSURLErrorTimedOut)));
    EXPECT_EQ(browser->events.back(), "fail -1001");
    EXPECT_EQ(web->evaluatedScripts(), (std::vector<std::string>{"document.title", "document.title"}));
    EXPECT_EQ(web->startedRequests().size(), 4u);
}

TEST(UIImagePickerControllerTest, AvailabilityIsSetByTestsAndPickingIsFinishedByThem)
{
    Stage stage;
    UIImagePickerController::resetAvailability();
    auto picker = UIImagePickerController::create();
    EXPECT_FALSE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera));
    EXPECT_THROW(picker->setSourceType(UIImagePickerControllerSourceTypeCamera), NSException);
    UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, true);
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, true);
    picker->setSourceType(UIImagePickerControllerSourceTypeCamera);
    picker->setMediaTypes({kUTTypeMovie});
    picker->setCameraDevice(UIImagePickerControllerCameraDeviceFront);
    EXPECT_THROW(picker->setCameraDevice(UIImagePickerControllerCameraDeviceRear), NSException);
    UIImagePickerController::setAvailableMediaTypes(UIImagePickerControllerSourceTypeCamera, {kUTTypeImage});
    EXPECT_THROW(picker->setMediaTypes({kUTTypeMovie}), NSException);

    auto screen = UIViewController::create();
    stage.window->setRootViewController(screen);
    auto delegate = std::make_shared<Picker>();
    picker->setDelegate(delegate);
    screen->presentModalViewController_animated(picker, false);
    picker->simulateFinishPickingMediaWithInfo(
        Value::dictionary({{UIImagePickerControllerMediaType, kUTTypeMovie},
                           {UIImagePickerControllerMediaURL, Value(NSURL::fileURLWithPath("/tmp/clip.mov"))}}));
    EXPECT_EQ(delegate->info[UIImagePickerControllerMediaURL].object<NSURL>()->path(), "/tmp/clip.mov");
    EXPECT_FALSE(screen->modalViewController());

    // A delegate without a cancel of its own lets the picker dismiss itself.
    screen->presentModalViewController_animated(picker, false);
    picker->simulateCancel();
    EXPECT_TRUE(picker->isBeingDismissed());
    stage.clock.advance(UIModalTransitionDuration);
    EXPECT_FALSE(screen->modalViewController());
    UIImagePickerController::resetAvailability();
}

TEST(MessageUITest, ComposersRecordTheirFieldsAndFinishWithTheTestsResult)
{
    Stage stage;
    auto screen = UIViewController::make<Composer>();
    stage.window->setRootViewController(screen);
    EXPECT_TRUE(MFMailComposeViewController::canSendMail());
    MFMailComposeViewController::setCanSendMail(false);
    EXPECT_FALSE(MFMailComposeViewController::canSendMail());
    MFMailComposeViewController::setCanSendMail(true);

    auto mail = MFMailComposeViewController::create();
    mail->setMailComposeDelegate(screen);
    mail->setSubject("Title");
    mail->setMessageBody_isHTML("http://127.0.0.1/page", false);
    mail->setModalPresentationStyle(UIModalPresentationFormSheet);
    screen->presentModalViewController_animated(mail, true);
    stage.clock.advance(1);
    EXPECT_EQ(mail->subject(), "Title");
    EXPECT_FALSE(mail->isBodyHTML());
    mail->simulateFinishWithResult(MFMailComposeResultSent);

    auto text = MFMessageComposeViewController::create();
    text->setMessageComposeDelegate(screen);
    text->setBody("hi");
    screen->presentModalViewController_animated(text, false);
    text->simulateFinishWithResult(MessageComposeResultSent);
    EXPECT_EQ(screen->results, (std::vector<NSInteger>{2, 1}));
    EXPECT_FALSE(screen->modalViewController());
}

TEST(UIPasteboardTest, TheGeneralPasteboardKeepsTheLastString)
{
    auto board = UIPasteboard::generalPasteboard();
    EXPECT_EQ(board, UIPasteboard::generalPasteboard());
    const NSInteger before = board->changeCount();
    board->setString("http://127.0.0.1/x");
    EXPECT_EQ(UIPasteboard::generalPasteboard()->string(), "http://127.0.0.1/x");
    EXPECT_EQ(board->changeCount(), before + 1);
    EXPECT_FALSE(UIPasteboard::pasteboardWithName_create("other", false));
    EXPECT_TRUE(UIPasteboard::pasteboardWithName_create("other", true)->string().empty());
}
