#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Stage.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UITextView.h"
#include "platform/uikit/MessageUI.h"
#include "platform/uikit/UIGeometryValue.h"
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

namespace outboxtest {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> out;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        out.push_back(entry.path().string());
    }
    return out;
}

// A MIME entity: its headers by lower-case name (unfolded) and its body.
struct Entity {
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string header(const std::string& name) const
    {
        for (const auto& [key, value] : headers) {
            if (key == name) return value;
        }
        return {};
    }
    std::string decodedBody() const
    {
        std::string compact;
        for (char c : body) {
            if (c != '\r' && c != '\n') compact += c;
        }
        return Base64::decode(compact).value_or("(not base64)");
    }
};

Entity parseEntity(const std::string& text)
{
    Entity entity;
    const size_t split = text.find("\r\n\r\n");
    const std::string head = text.substr(0, split);
    entity.body = split == std::string::npos ? "" : text.substr(split + 4);
    std::string line;
    std::istringstream lines(head);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !entity.headers.empty()) {
            entity.headers.back().second += line;
            continue;
        }
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        entity.headers.push_back({name, colon == std::string::npos ? "" : line.substr(colon + 2)});
    }
    return entity;
}

std::vector<Entity> parts(const Entity& message)
{
    const std::string type = message.header("content-type");
    const size_t at = type.find("boundary=\"");
    const std::string boundary = "--" + type.substr(at + 10, type.find('"', at + 10) - at - 10);
    std::vector<Entity> out;
    size_t from = message.body.find(boundary);
    while (from != std::string::npos) {
        from += boundary.size();
        if (message.body.compare(from, 2, "--") == 0) break;
        const size_t next = message.body.find(boundary, from);
        out.push_back(parseEntity(message.body.substr(from + 2, next - from - 2)));
        from = next;
    }
    return out;
}

// Decodes the encoded words of a header value (only the UTF-8 Base64 kind the composer writes).
std::string decodedHeader(const std::string& value)
{
    std::string out;
    size_t at = 0;
    while (true) {
        const size_t start = value.find("=?UTF-8?B?", at);
        if (start == std::string::npos) {
            out += value.substr(at);
            return out;
        }
        const size_t end = value.find("?=", start + 10);
        out += Base64::decode(value.substr(start + 10, end - start - 10)).value_or("?");
        at = end + 2;
        while (at < value.size() && value[at] == ' ') ++at;
    }
}

CGPoint composerFieldMiddle(const Ref<UIView>& view)
{
    const CGRect b = view->bounds();
    return view->convertPoint_toView(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)), nullptr);
}

struct OutboxStage : Stage {
    TemporaryFolder home{"outbox-test"};
    Ref<Composer> screen = UIViewController::make<Composer>();
    OutboxStage()
    {
        FoundationRoots::setHomeDirectory(home.path());
        MFMailComposeViewController::resetCanSend();
        MFMessageComposeViewController::resetCanSend();
        window->setRootViewController(screen);
    }
    ~OutboxStage()
    {
        MFMailComposeViewController::setCanSendMail(true);
        MFMessageComposeViewController::setCanSendText(true);
    }
    void present(const Ref<UIViewController>& composer)
    {
        screen->presentModalViewController_animated(composer, false);
        clock.advance(1);
        window->layoutIfNeeded();
    }
    void tapBarItem(const Ref<UINavigationItem>& item, bool right)
    {
        window->layoutIfNeeded();
        window->simulateTap(composerFieldMiddle((right ? item->rightBarButtonItem() : item->leftBarButtonItem())->barView()));
    }
};

}  // namespace outboxtest

using namespace outboxtest;

TEST(MessageUITest, AMailSentFromItsFormIsWrittenToTheOutboxAsAMimeMessage)
{
    OutboxStage stage;
    EXPECT_TRUE(MFMailComposeViewController::canSendMail());
    auto mail = MFMailComposeViewController::create();
    mail->setMailComposeDelegate(stage.screen);
    mail->setSubject("来自您的朋友的视频 on a long line that needs more than one encoded word to carry it");
    mail->setToRecipients({"first@example.com"});
    mail->setCcRecipients({"copy@example.com"});
    const std::string html = "看看<a href='http://127.0.0.1/show/sc1.htm'>视频</a>";
    mail->setMessageBody_isHTML(html, true);
    std::string picture(3000, '\0');
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = char(i * 7);
    mail->addAttachmentData_mimeType_fileName(NSData::dataWithString(picture), "image/jpeg", "封面.jpg");
    stage.present(mail);

    // The form shows what the screen gave: the HTML body as its text, the attachment by name.
    ASSERT_TRUE(mail->toField());
    EXPECT_EQ(mail->toField()->text(), "first@example.com");
    EXPECT_EQ(mail->bodyView()->text(), "看看视频 (http://127.0.0.1/show/sc1.htm)");
    // A person adds a recipient and sends.
    // A click at the field's right end, past its text, puts the caret at the end.
    const CGRect toBounds = mail->toField()->bounds();
    stage.window->simulateTap(
        mail->toField()->convertPoint_toView(CGPointMake(CGRectGetMaxX(toBounds) - 4, CGRectGetMidY(toBounds)), nullptr));
    ASSERT_TRUE(mail->toField()->isFirstResponder());
    UIKeyboard::typeText(", second@example.com");
    stage.tapBarItem(mail->topViewController()->navigationItem(), true);
    EXPECT_EQ(stage.screen->results, std::vector<NSInteger>{MFMailComposeResultSent});
    const auto files = filesIn(MFMailComposeViewController::outboxPath());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], mail->sentPath());

    const std::string text = readFile(files[0]);
    const Entity message = parseEntity(text);
    EXPECT_EQ(message.header("to"), "first@example.com, second@example.com");
    EXPECT_EQ(message.header("cc"), "copy@example.com");
    EXPECT_EQ(decodedHeader(message.header("subject")), "来自您的朋友的视频 on a long line that needs more than one encoded word to carry it");
    EXPECT_FALSE(message.header("date").empty());
    EXPECT_FALSE(message.header("from").empty());
    EXPECT_EQ(message.header("mime-version"), "1.0");
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        EXPECT_LE(end - at, 78u) << "line " << text.substr(at, end - at);
    }
    const auto entities = parts(message);
    ASSERT_EQ(entities.size(), 2u);
    EXPECT_EQ(entities[0].header("content-type"), "text/html; charset=UTF-8");
    EXPECT_EQ(entities[0].decodedBody(), html) << "an untouched HTML body goes as the page gave it";
    EXPECT_EQ(entities[1].header("content-type"), "image/jpeg");
    EXPECT_EQ(entities[1].header("content-disposition"), "attachment; filename*=UTF-8''%E5%B0%81%E9%9D%A2.jpg");
    EXPECT_EQ(entities[1].decodedBody(), picture);
}

TEST(MessageUITest, CancelLeavesNothingAndAnOutboxThatCannotBeWrittenFails)
{
    OutboxStage stage;
    auto mail = MFMailComposeViewController::create();
    mail->setMailComposeDelegate(stage.screen);
    mail->setSubject("line\r\nBcc: hidden@example.com");  // a break in a field starts no header
    stage.present(mail);
    stage.tapBarItem(mail->topViewController()->navigationItem(), false);
    EXPECT_EQ(stage.screen->results, std::vector<NSInteger>{MFMailComposeResultCancelled});
    EXPECT_TRUE(filesIn(MFMailComposeViewController::outboxPath()).empty());

    const std::string sent = mail->messageText("Fri, 11 Dec 2026 10:00:00 +0000", "id@here");
    EXPECT_EQ(sent.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(parseEntity(sent).header("subject"), "line  Bcc: hidden@example.com");

    // Text messages: recipients typed, the body as the screen gave it, one small file.
    auto text = MFMessageComposeViewController::create();
    text->setMessageComposeDelegate(stage.screen);
    text->setBody("来看我的视频：http://127.0.0.1/show/sc1.htm");
    stage.present(text);
    stage.window->simulateTap(composerFieldMiddle(text->recipientsField()));
    UIKeyboard::typeText("13800138000; 13900139000");
    stage.tapBarItem(text->topViewController()->navigationItem(), true);
    EXPECT_EQ(stage.screen->results.back(), MessageComposeResultSent);
    EXPECT_EQ(readFile(text->sentPath()), "To: 13800138000, 13900139000\n\n来看我的视频：http://127.0.0.1/show/sc1.htm\n");

    // The outbox is a file, not a folder: nothing can be sent, and a send that is tried fails.
    std::filesystem::remove_all(MFMailComposeViewController::outboxPath());
    std::ofstream(MFMailComposeViewController::outboxPath()) << "in the way";
    EXPECT_FALSE(MFMailComposeViewController::canSendMail());
    EXPECT_FALSE(MFMessageComposeViewController::canSendText());
    stage.screen->results.clear();
    auto failing = MFMailComposeViewController::create();
    failing->setMailComposeDelegate(stage.screen);
    stage.present(failing);
    stage.tapBarItem(failing->topViewController()->navigationItem(), true);
    EXPECT_EQ(stage.screen->results, std::vector<NSInteger>{MFMailComposeResultFailed});
}

namespace pickertest {

// What the picker's screens hear back, and what they asked of the media.
class PickerScreen : public UIViewController, public UIImagePickerControllerDelegate {
public:
    std::vector<Value> picked;
    int cancels = 0;
    void imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                             const Value& info) override
    {
        picked.push_back(info);
        picker->dismissModalViewControllerAnimated(false);
    }
    void imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker) override
    {
        ++cancels;
        picker->dismissModalViewControllerAnimated(false);
    }
};

// The views of a kind under a view, in order.
template <class T>
std::vector<Ref<T>> viewsUnder(const Ref<UIView>& view)
{
    std::vector<Ref<T>> found;
    for (const Ref<UIView>& sub : view->subviews()) {
        if (auto match = std::dynamic_pointer_cast<T>(sub)) found.push_back(match);
        for (const auto& deeper : viewsUnder<T>(sub)) found.push_back(deeper);
    }
    return found;
}

Ref<UIButton> buttonTitled(const Ref<UIView>& view, const std::string& title)
{
    for (const auto& button : viewsUnder<UIButton>(view)) {
        if (button->titleForState(UIControlStateNormal).find(title) != std::string::npos) return button;
    }
    return nullptr;
}

// A picture of one colour, the size given.
Ref<UIImage> plainPicture(CGSize size, CGFloat grey)
{
    UIGraphicsBeginImageContextWithOptions(size, true, 1);
    UIGraphicsGetCurrentContext()->setFillColor(CGColor::createGray(grey, 1));
    UIGraphicsGetCurrentContext()->fillRect(CGRectMake(0, 0, size.width, size.height));
    Ref<UIImage> image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

struct PickerStage : Stage {
    TemporaryFolder home{"picker-test"};
    Ref<PickerScreen> screen = UIViewController::make<PickerScreen>();
    std::vector<std::string> recorded;  // "device seconds"
    PickerStage()
    {
        FoundationRoots::setHomeDirectory(home.path());
        UIImage::installImageCodecs();
        UIImagePickerController::resetAvailability();
        UIImagePickerController::setMediaSupport({
            [](const std::string&, Ref<UIImage>* poster, double* seconds) {
                *poster = plainPicture(CGSizeMake(160, 120), 0.3);
                *seconds = 3.4;
                return true;
            },
            [](NSInteger device, int64_t frame) {
                return plainPicture(CGSizeMake(480, 360), device == UIImagePickerControllerCameraDeviceFront ? 0.9 : 0.1);
            },
            [this](const std::string& path, NSInteger device, double seconds) {
                recorded.push_back(std::to_string(device) + " " + std::to_string(std::lround(seconds * 10)));
                std::ofstream(path) << "movie bytes";
                return true;
            },
        });
        window->setRootViewController(screen);
    }
    ~PickerStage()
    {
        UIImagePickerController::setMediaSupport({});
        UIImagePickerController::resetAvailability();
    }
    Ref<UIImagePickerController> present(UIImagePickerControllerSourceType source, std::vector<std::string> types,
                                         bool editing)
    {
        auto picker = UIImagePickerController::create();
        picker->setSourceType(source);
        picker->setMediaTypes(std::move(types));
        picker->setAllowsEditing(editing);
        picker->setDelegate(screen);
        screen->presentModalViewController_animated(picker, false);
        clock.advance(0.5);
        window->layoutIfNeeded();
        return picker;
    }
    void tapBarItemOf(const Ref<UIImagePickerController>& picker)
    {
        tap(picker->sourceScreen()->navigationItem()->rightBarButtonItem()->barView());
    }
    void tap(const Ref<UIView>& view)
    {
        ASSERT_TRUE(view);
        const CGRect b = view->bounds();
        window->simulateTap(view->convertPoint_toView(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)), nullptr));
    }
};

}  // namespace pickertest

using namespace pickertest;

TEST(UIImagePickerControllerTest, TheLibraryShowsTheMediaFolderByTypeAndATapPicksFromIt)
{
    PickerStage stage;
    ASSERT_TRUE(UIImagePickerController::seedMediaLibraryIfNeeded());
    EXPECT_FALSE(UIImagePickerController::seedMediaLibraryIfNeeded()) << "only at the first start";
    std::vector<std::string> seeded = filesIn(UIImagePickerController::mediaFolderPath() + "/DCIM");
    std::sort(seeded.begin(), seeded.end());
    ASSERT_EQ(seeded.size(), 4u);  // three pictures and the movie the camera recorded
    EXPECT_EQ(stage.recorded, std::vector<std::string>{"0 20"});

    const struct {
        std::vector<std::string> types;
        size_t thumbs;
        size_t movieLabels;
    } filters[] = {{{kUTTypeImage, kUTTypeMovie}, 4, 1}, {{kUTTypeImage}, 3, 0}, {{kUTTypeMovie}, 1, 1}};
    for (const auto& filter : filters) {
        auto picker = stage.present(UIImagePickerControllerSourceTypeSavedPhotosAlbum, filter.types, false);
        auto grid = picker->sourceScreen()->view();
        EXPECT_EQ(picker->sourceScreen()->title(), "相机胶卷");
        size_t movies = 0;
        for (const auto& label : viewsUnder<UILabel>(grid)) {
            movies += label->text().find("0:03") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(viewsUnder<UIControl>(grid).size(), filter.thumbs);
        EXPECT_EQ(movies, filter.movieLabels);
        stage.tapBarItemOf(picker);
    }
    EXPECT_EQ(stage.screen->cancels, 3);

    // A picture: the original, and with editing (the move-and-scale screen left as it starts) its centre square.
    auto picker = stage.present(UIImagePickerControllerSourceTypePhotoLibrary, {kUTTypeImage, kUTTypeMovie}, true);
    EXPECT_EQ(picker->sourceScreen()->title(), "照片");
    stage.tap(viewsUnder<UIControl>(picker->sourceScreen()->view()).at(0));
    EXPECT_TRUE(stage.screen->picked.empty());
    stage.tap(buttonTitled(picker->topViewController()->view(), "选取"));
    ASSERT_EQ(stage.screen->picked.size(), 1u);
    Value info = stage.screen->picked[0];
    EXPECT_EQ(info[UIImagePickerControllerMediaType].stringValue(), kUTTypeImage);
    ASSERT_TRUE(info[UIImagePickerControllerOriginalImage].object<UIImage>());
    EXPECT_EQ(info[UIImagePickerControllerOriginalImage].object<UIImage>()->size(), CGSizeMake(480, 360));
    ASSERT_TRUE(info[UIImagePickerControllerEditedImage].object<UIImage>());
    EXPECT_EQ(info[UIImagePickerControllerEditedImage].object<UIImage>()->size(), CGSizeMake(360, 360));

    // A movie: a copy of its own in the temporary folder.
    picker = stage.present(UIImagePickerControllerSourceTypeSavedPhotosAlbum, {kUTTypeMovie}, true);
    stage.tap(viewsUnder<UIControl>(picker->sourceScreen()->view()).at(0));
    ASSERT_EQ(stage.screen->picked.size(), 2u);
    info = stage.screen->picked[1];
    EXPECT_EQ(info[UIImagePickerControllerMediaType].stringValue(), kUTTypeMovie);
    auto url = info[UIImagePickerControllerMediaURL].object<NSURL>();
    ASSERT_TRUE(url);
    EXPECT_EQ(url->path().rfind(NSTemporaryDirectory(), 0), 0u) << url->path();
    EXPECT_EQ(readFile(url->path()), "movie bytes");
    EXPECT_TRUE(std::filesystem::exists(seeded.back())) << "the library keeps its movie";
}

TEST(UIImagePickerControllerTest, TheCameraTakesAPictureOrAMovieThenUseOrRetake)
{
    PickerStage stage;
    UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, true);
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, true);
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, true);
    UIImagePickerController::setFlashAvailable(UIImagePickerControllerCameraDeviceRear, true);

    auto picker = stage.present(UIImagePickerControllerSourceTypeCamera, {kUTTypeImage}, true);
    auto view = picker->sourceScreen()->view();
    auto live = viewsUnder<UIImageView>(view);
    ASSERT_FALSE(live.empty());
    ASSERT_TRUE(live[0]->image()) << "the live picture shows";
    EXPECT_EQ(live[0]->image()->size(), CGSizeMake(480, 360));
    bool flashShown = false;
    for (const auto& label : viewsUnder<UILabel>(view)) {
        flashShown = flashShown || (!label->isHidden() && label->text().find("自动") != std::string::npos);
    }
    EXPECT_TRUE(flashShown) << "the rear camera has a flash, in the picker's mode";

    // The shutter (the one control that is no titled button), then retake, then shutter and use.
    auto shutter = [&] {
        for (const auto& control : viewsUnder<UIControl>(view)) {
            if (!std::dynamic_pointer_cast<UIButton>(control)) return control;
        }
        return Ref<UIControl>();
    };
    EXPECT_TRUE(buttonTitled(view, "重拍")->isHidden());
    stage.tap(shutter());
    EXPECT_FALSE(buttonTitled(view, "重拍")->isHidden());
    EXPECT_FALSE(buttonTitled(view, "使用")->isHidden());
    stage.tap(buttonTitled(view, "重拍"));
    EXPECT_TRUE(buttonTitled(view, "使用")->isHidden());
    // The switch turns to the front camera, whose picture is lighter.
    stage.tap(buttonTitled(view, "切换"));
    EXPECT_EQ(picker->cameraDevice(), UIImagePickerControllerCameraDeviceFront);
    stage.tap(shutter());
    stage.tap(buttonTitled(view, "使用"));
    // With editing the picture goes through the move-and-scale screen: "重拍" there takes another.
    ASSERT_TRUE(buttonTitled(picker->topViewController()->view(), "重拍"));
    stage.tap(buttonTitled(picker->topViewController()->view(), "重拍"));
    EXPECT_EQ(picker->topViewController(), picker->sourceScreen());
    EXPECT_TRUE(buttonTitled(view, "使用")->isHidden());
    stage.tap(shutter());
    stage.tap(buttonTitled(view, "使用"));
    stage.tap(buttonTitled(picker->topViewController()->view(), "选取"));
    ASSERT_EQ(stage.screen->picked.size(), 1u);
    auto edited = stage.screen->picked[0][UIImagePickerControllerEditedImage].object<UIImage>();
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->size(), CGSizeMake(360, 360));

    // Movies: record, stop after a second and a half, use.
    picker = stage.present(UIImagePickerControllerSourceTypeCamera, {kUTTypeMovie}, false);
    view = picker->sourceScreen()->view();
    stage.tap(shutter());
    stage.clock.advance(1.5);
    stage.tap(shutter());
    EXPECT_EQ(stage.recorded, std::vector<std::string>{"0 15"});
    stage.tap(buttonTitled(view, "使用"));
    ASSERT_EQ(stage.screen->picked.size(), 2u);
    auto url = stage.screen->picked[1][UIImagePickerControllerMediaURL].object<NSURL>();
    ASSERT_TRUE(url);
    EXPECT_EQ(readFile(url->path()), "movie bytes");

    // Cancel.
    picker = stage.present(UIImagePickerControllerSourceTypeCamera, {kUTTypeImage}, false);
    stage.tap(buttonTitled(picker->sourceScreen()->view(), "取消"));
    EXPECT_EQ(stage.screen->cancels, 1);
}

// Move and scale: the picture under the frame follows a finger, two fingers and the scale buttons, never
// uncovering the frame, and what the frame holds comes back with its place in the original.
TEST(UIImagePickerControllerTest, MoveAndScaleHandsBackWhatTheFrameHolds)
{
    PickerStage stage;
    // A picture whose every pixel says where it is: red is x / 2, green is y / 2.
    std::vector<uint32_t> pixels(480 * 360);
    for (uint32_t y = 0; y < 360; ++y)
        for (uint32_t x = 0; x < 480; ++x) pixels[y * 480 + x] = 0xFF000000u | (x / 2) << 16 | (y / 2) << 8;
    const auto original = UIImage::imageWithCGImage(CGImage::create(480, 360, pixels));
    std::filesystem::create_directories(UIImagePickerController::mediaFolderPath());
    ASSERT_TRUE(UIImagePNGRepresentation(original)->writeToFile_atomically(
        UIImagePickerController::mediaFolderPath() + "/IMG_0001.PNG", true));

    Ref<UIImagePickerController> picker;
    Ref<UIView> edit;
    auto open = [&] {
        picker = stage.present(UIImagePickerControllerSourceTypePhotoLibrary, {kUTTypeImage}, true);
        stage.tap(viewsUnder<UIControl>(picker->sourceScreen()->view()).at(0));
        edit = picker->topViewController()->view();
        stage.clock.advance(0.5);  // the bar goes, the screen takes its room
        stage.window->layoutIfNeeded();
    };
    open();
    ASSERT_TRUE(buttonTitled(edit, "选取"));
    EXPECT_TRUE(picker->isNavigationBarHidden());
    // "取消" goes back to the grid, which picks again.
    stage.tap(buttonTitled(edit, "取消"));
    EXPECT_EQ(picker->topViewController(), picker->sourceScreen());
    EXPECT_TRUE(stage.screen->picked.empty());
    EXPECT_FALSE(picker->isNavigationBarHidden());
    stage.tapBarItemOf(picker);
    EXPECT_EQ(stage.screen->cancels, 1);

    // The frame is the canvas's middle square, 320 points across (a 72-point bar below the canvas).
    auto frameCentre = [&] {
        const Ref<UIView> canvas = edit->subviews().at(0);
        EXPECT_EQ(canvas->bounds().size.width, 320);
        return canvas->convertPoint_toView(CGPointMake(CGRectGetMidX(canvas->bounds()), CGRectGetMidY(canvas->bounds())),
                                           nullptr);
    };
    auto drag = [&](CGPoint from, CGPoint by) {
        stage.window->simulateTouchBegan(from);
        for (int i = 1; i <= 4; ++i) stage.window->simulateTouchMoved(CGPointMake(from.x + by.x * i / 4, from.y + by.y * i / 4));
        stage.window->simulateTouchEnded();
    };
    auto pinch = [&](CGPoint a0, CGPoint b0, CGPoint a1, CGPoint b1) {
        stage.window->simulateTouchBegan(a0, 0);
        stage.window->simulateTouchBegan(b0, 1);
        stage.window->simulateTouchMoved(a1, 0);
        stage.window->simulateTouchMoved(b1, 1);
        stage.window->simulateTouchEnded(0);
        stage.window->simulateTouchEnded(1);
    };
    auto press = [&](const char* title) { stage.tap(buttonTitled(edit, title)); };
    struct Step {
        const char* what;
        std::function<void()> act;
        CGRect crop;  // in the original's points
    } steps[] = {
        {"as it starts: the centre square", [] {}, CGRectMake(60, 0, 360, 360)},
        {"dragged right", [&] { drag(CGPointMake(160, 200), CGPointMake(40, 0)); }, CGRectMake(15, 0, 360, 360)},
        {"dragged down: the top already lies on the frame", [&] { drag(CGPointMake(160, 200), CGPointMake(0, 30)); },
         CGRectMake(15, 0, 360, 360)},
        {"dragged far right: the left edge stops at the frame", [&] { drag(CGPointMake(100, 200), CGPointMake(200, 0)); },
         CGRectMake(0, 0, 360, 360)},
        {"scaled up by a button", [&] { press("＋"); }, CGRectMake(36, 36, 288, 288)},
        {"pinched open twice as wide",
         [&] {
             const CGPoint centre = frameCentre();
             pinch(CGPointMake(centre.x - 50, centre.y), CGPointMake(centre.x + 50, centre.y),
                   CGPointMake(centre.x - 100, centre.y), CGPointMake(centre.x + 100, centre.y));
         },
         CGRectMake(108, 108, 144, 144)},
        {"scaled down by the button past the smallest: the frame stays covered",
         [&] { for (int i = 0; i < 8; ++i) press("－"); }, CGRectMake(0, 0, 360, 360)},
    };
    // Each step is played from a fresh start up to it, then the frame's content is picked.
    for (size_t k = 0; k < std::size(steps); ++k) {
        SCOPED_TRACE(steps[k].what);
        open();
        for (size_t i = 0; i <= k; ++i) steps[i].act();
        const size_t before = stage.screen->picked.size();
        press("选取");
        ASSERT_EQ(stage.screen->picked.size(), before + 1);
        const Value info = stage.screen->picked.back();
        const CGRect crop = info[UIImagePickerControllerCropRect].object<UIGeometryValue>()->CGRectValue();
        EXPECT_NEAR(crop.origin.x, steps[k].crop.origin.x, 1);
        EXPECT_NEAR(crop.origin.y, steps[k].crop.origin.y, 1);
        EXPECT_NEAR(crop.size.width, steps[k].crop.size.width, 1);
        EXPECT_EQ(crop.size.width, crop.size.height);
        ASSERT_TRUE(info[UIImagePickerControllerOriginalImage].object<UIImage>());
        EXPECT_EQ(info[UIImagePickerControllerOriginalImage].object<UIImage>()->size(), CGSizeMake(480, 360));
        auto edited = info[UIImagePickerControllerEditedImage].object<UIImage>();
        ASSERT_TRUE(edited);
        EXPECT_EQ(edited->size(), crop.size);
        // The edited picture's corner is the original's pixel at the crop's corner.
        const uint32_t corner = edited->CGImage()->pixelAt(0, 0);
        EXPECT_NEAR(int((corner >> 16) & 0xFF), int(crop.origin.x / 2), 1);
        EXPECT_NEAR(int((corner >> 8) & 0xFF), int(crop.origin.y / 2), 1);
    }
}
