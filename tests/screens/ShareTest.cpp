// The share dialog: the targets it starts with, the counter and the length limit, the share button's
// rule, binding a microblog on the way, the posts in their order and what the user is told at the end,
// the edition's switches, and the mail and text-message composers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "AccountScreensSupport.h"
#include "api/Categories.h"
#include "api/LumoWeiboClient.h"
#include "api/PZRequest.h"
#include "api/QQWeiboClient.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Clock.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/uikit/UIKeyboardView.h"
#include "platform/uikit/UITextView.h"
#include "platform/foundation/PropertyList.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UINavigationItem.h"
#include "social/Share.h"

namespace {
namespace ShareTest_cpp {

using accounttest::AccountScreenTest;

Value record(bool withFn = true)
{
    Value channel = Value::dictionary({{"scid", Value("sc3001")},
                                       {"t", Value("西湖边的傍晚")},
                                       {"url", Value("http://video.example/v/sc3001")}});
    if (withFn) {
        channel.setObject_forKey(Value("sc3001.mp4"), "fn");
    }
    return channel;
}

class ShareTest : public AccountScreenTest {
protected:
    void SetUp() override
    {
        AccountScreenTest::SetUp();
        MFMailComposeViewController::setCanSendMail(true);
        MFMessageComposeViewController::setCanSendText(true);
    }
    void TearDown() override
    {
        MFMailComposeViewController::setCanSendMail(true);
        MFMessageComposeViewController::setCanSendText(true);
        AccountScreenTest::TearDown();
    }
    // Presents the dialog as the feed and the video panel do.
    Ref<Share> open(const Value& channel = record())
    {
        share = Share::myinit(channel);
        flow = CustomImage::MyNaviWithRoot(share);
        root->presentModalViewController_animated(flow, false);
        share->view();
        drainMain();
        return share;
    }
    static void tap(const Ref<UIControl>& control)
    {
        ASSERT_TRUE(control);
        control->sendActionsForControlEvents(UIControlEventTouchUpInside);
    }
    // Uses a bundle whose edition list holds the "Share" entry given.
    void useEditionEntry(const Value& entry)
    {
        ASSERT_TRUE(PropertyList::writeFile(Value::dictionary({{"Share", entry}}), bundle / "lumo-OEM-config.plist"));
        NSBundle::setMainBundlePath(bundle.path());
    }
    // Answers a path with a body from now on.
    void answer(const std::string& path, const std::string& body)
    {
        service.server().route(path, [body](const standin::Request&) { return accounttest::jsonReply(body); });
    }
    // The paths of the share posts the service received, in order (a post the client sent again
    // after a dropped connection counts once).
    std::vector<std::string> posts() const
    {
        std::vector<std::string> paths;
        for (const auto& request : service.server().requests()) {
            if ((request.path == "/m/forward.json" || request.path == "/m/share-weibo.json" ||
                 request.path == "/m/share-qweibo.json") &&
                (paths.empty() || paths.back() != request.path)) {
                paths.push_back(request.path);
            }
        }
        return paths;
    }
    // Sends and waits until the dialog has closed.
    bool sendAndWaitForClose()
    {
        share->navigationItem()->rightBarButtonItem()->simulateTap();
        return pumpMainUntil([&] { return !root->modalViewController() && !share->progress(); });
    }
    static std::vector<std::pair<std::string, std::string>> alertsShown()
    {
        std::vector<std::pair<std::string, std::string>> shown;
        for (const auto& alert : UIAlertView::shownAlerts()) {
            shown.emplace_back(alert->title(), alert->message());
        }
        return shown;
    }

    TemporaryFolder bundle{"share-bundle"};
    Ref<Share> share;
};

TEST_F(ShareTest, OpensWithTheRepostAndTheBoundMicroblogsChosen)
{
    const struct {
        bool lumoBound, qqBound;
    } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        logIn({{"bindLumoWeibo", Value(c.lumoBound)}, {"bindQWeibo", Value(c.qqBound)}});
        open();
        EXPECT_EQ(share->title(), "分享");
        EXPECT_EQ(share->navigationItem()->rightBarButtonItem()->title(), "分享");
        EXPECT_TRUE(share->navigationItem()->leftBarButtonItem()->image());
        EXPECT_EQ(share->wordLeft->text(), "140");
        EXPECT_TRUE(share->input->isFirstResponder());
        EXPECT_TRUE(share->repostBtn->isSelected());
        EXPECT_EQ(share->postToLumoBtn->isSelected(), c.lumoBound);
        EXPECT_EQ(share->postQQBtn->isSelected(), c.qqBound);
        EXPECT_FALSE(share->postByEmailBtn->isSelected());
        EXPECT_FALSE(share->postBySmsBtn->isSelected());
        EXPECT_TRUE(share->shareBtn->isEnabled());
        // The bundle's own edition shows both microblogs.
        EXPECT_FALSE(share->postToLumoBtn->isHidden());
        EXPECT_FALSE(share->postQQBtn->isHidden());
        share->navigationItem()->leftBarButtonItem()->simulateTap();
        ASSERT_TRUE(pumpMainUntil([&] { return !root->modalViewController(); }));
    }
}

TEST_F(ShareTest, TheEditionDecidesWhichMicroblogsShow)
{
    const struct {
        Value entry;
        bool lumoHidden, qqHidden;
    } cases[] = {
        {Value::dictionary({{"postToLumoBtn", Value::dictionary({{"hidden", Value(true)}})}}), true, true},
        {Value::dictionary({{"postQQBtn", Value::dictionary({{"used", Value(true)}, {"hidden", Value(false)}})}}), false,
         false},
        {Value::dictionary({{"postQQBtn", Value::dictionary({{"used", Value(true)}, {"hidden", Value(true)}})}}), false,
         true},
        {Value::dictionary(), false, true},
    };
    logIn({{"bindQWeibo", Value(false)}});
    for (const auto& c : cases) {
        useEditionEntry(c.entry);
        open();
        EXPECT_EQ(share->postToLumoBtn->isHidden(), c.lumoHidden) << c.entry.description();
        EXPECT_EQ(share->postQQBtn->isHidden(), c.qqHidden) << c.entry.description();
        EXPECT_FALSE(share->postQQBtn->isSelected());
        root->dismissModalViewControllerAnimated(false);
    }
    // With a QQ account bound the dialog chooses it whenever it shows, whether the edition shows the
    // button or not, and sends to it.
    logIn({{"bindQWeibo", Value(true)}});
    for (const auto& c : cases) {
        useEditionEntry(c.entry);
        open();
        EXPECT_TRUE(share->postQQBtn->isSelected()) << c.entry.description();
        EXPECT_EQ(share->postQQBtn->isHidden(), c.qqHidden) << c.entry.description();
        root->dismissModalViewControllerAnimated(false);
    }
}

TEST_F(ShareTest, TheCounterAllows140CharactersAndRefuses141)
{
    logIn();
    open();
    const std::string text140 = [] {
        std::string text;
        for (int i = 0; i < 14; ++i) {
            text += "西湖的晚霞真美啊！!";  // 10 characters
        }
        return text;
    }();
    UIKeyboard::pasteText(text140);
    EXPECT_EQ(share->wordLeft->text(), "0");
    EXPECT_TRUE(UIColorEqual(share->wordLeft->textColor(), UIColor::blackColor()));
    UIKeyboard::typeText("😀");  // one character of two UTF-16 units: 142
    EXPECT_EQ(share->wordLeft->text(), "-2");
    EXPECT_TRUE(UIColorEqual(share->wordLeft->textColor(), UIColor::redColor()));
    UIKeyboard::pressDelete();
    UIKeyboard::typeText("好");
    EXPECT_EQ(share->wordLeft->text(), "-1");
    EXPECT_TRUE(UIColorEqual(share->wordLeft->textColor(), UIColor::redColor()));

    tap(share->shareBtn);
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(alert()->title(), "提示");
    EXPECT_EQ(alert()->message(), "您输入的内容过长，请重新编辑！");
    alert()->simulateClickButtonAtIndex(0);
    drainMain();
    EXPECT_FALSE(share->progress());
    EXPECT_EQ(root->modalViewController(), flow);

    UIKeyboard::pressDelete();
    EXPECT_EQ(share->wordLeft->text(), "0");
    UIAlertView::resetRecords();
    ASSERT_TRUE(sendAndWaitForClose());
    ASSERT_EQ(posts(), std::vector<std::string>{"/m/forward.json"});
    const auto form = service.server().requests("/m/forward.json").back().formParams();
    EXPECT_EQ(standin::findParam(form, "content").value_or(""), text140);
    EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "sc3001");
}

TEST_F(ShareTest, TheShareButtonFollowsRepostLumoAndQQButNotMailOrText)
{
    logIn({{"bindLumoWeibo", Value(true)}, {"bindQWeibo", Value(true)}});
    open();
    const struct {
        const char* target;
        bool enabledAfter;
    } taps[] = {
        {"repost", true},  // Lumo and QQ still chosen
        {"lumo", true},    // QQ still chosen
        {"qq", false},     // nothing of the three
        {"mail", true},    // the mail counts for nothing, but each appearance chooses the bound microblogs
        {"qq", true},      // Lumo still chosen
        {"lumo", false},
        {"sms", true},     // the same on the way back from a text
        {"qq", true},      // Lumo still chosen
        {"lumo", false},
        {"qq", true},
        {"qq", false},
        {"repost", true},
    };
    for (const auto& t : taps) {
        const std::string target = t.target;
        if (target == "repost") {
            tap(share->repostBtn);
        } else if (target == "lumo") {
            tap(share->postToLumoBtn);
        } else if (target == "qq") {
            tap(share->postQQBtn);
        } else if (target == "mail") {
            tap(share->postByEmailBtn);
            auto composer = std::dynamic_pointer_cast<MFMailComposeViewController>(flow->modalViewController());
            ASSERT_TRUE(composer);
            composer->simulateFinishWithResult(MFMailComposeResultSent);
            ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));
        } else {
            tap(share->postBySmsBtn);
            auto composer = std::dynamic_pointer_cast<MFMessageComposeViewController>(flow->modalViewController());
            ASSERT_TRUE(composer);
            composer->simulateFinishWithResult(MessageComposeResultSent);
            ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));
        }
        EXPECT_EQ(share->shareBtn->isEnabled(), t.enabledAfter) << target;
    }
    EXPECT_TRUE(share->postByEmailBtn->isSelected());
    EXPECT_TRUE(share->postBySmsBtn->isSelected());
    EXPECT_FALSE(share->postToLumoBtn->isSelected()) << "dropped by the user, bound or not";
}

TEST_F(ShareTest, AnUnboundMicroblogOpensItsBindingAndIsChosenOnlyOnceBound)
{
    const struct {
        const char* key;
        bool lumo;
    } cases[] = {{"bindLumoWeibo", true}, {"bindQWeibo", false}};
    for (const auto& c : cases) {
        logIn({{"bindLumoWeibo", Value(false)}, {"bindQWeibo", Value(false)}});
        open();
        const Ref<UIButton> button = c.lumo ? share->postToLumoBtn : share->postQQBtn;
        tap(button);
        drainMain();
        const Ref<UIViewController> pushed = flow->topViewController();
        EXPECT_TRUE(c.lumo ? std::dynamic_pointer_cast<LumoWeiboClient>(pushed) != nullptr
                           : std::dynamic_pointer_cast<QQWeiboClient>(pushed) != nullptr)
            << c.key;
        EXPECT_FALSE(button->isSelected());
        // Back without binding: still not chosen.
        flow->popViewControllerAnimated(false);
        drainMain();
        EXPECT_FALSE(button->isSelected()) << c.key;
        // Bound on a second visit: chosen on the way back.
        tap(button);
        drainMain();
        Value bound = account().mutableCopy();
        bound.setObject_forKey(Value(true), c.key);
        storeUserInfo(bound);
        flow->popViewControllerAnimated(false);
        drainMain();
        EXPECT_EQ(flow->topViewController(), share);
        EXPECT_TRUE(button->isSelected()) << c.key;
        // A chosen target is simply dropped by a tap.
        tap(button);
        EXPECT_FALSE(button->isSelected()) << c.key;
        EXPECT_EQ(flow->topViewController(), share);
        root->dismissModalViewControllerAnimated(false);
    }
}

TEST_F(ShareTest, PostsRunInOrderAndOnlyASuccessIsAnnounced)
{
    const char* ok = R"({"status":200,"msg":"操作成功"})";
    const struct {
        const char* name;
        const char* forward;
        const char* weibo;
        const char* qweibo;
        std::vector<std::string> sent;
        std::vector<std::pair<std::string, std::string>> alerts;
        bool repostUnanswered = false;
    } cases[] = {
        {"all succeed", ok, ok, ok,
         {"/m/forward.json", "/m/share-weibo.json", "/m/share-qweibo.json"},
         {{"分享成功！", "已成功分享到Lumo微博  腾讯微博  西湖视频"}}},
        {"repost fails, Lumo succeeds", R"({"status":500,"msg":"服务器忙，请稍后再试"})", ok,
         R"({"status":400,"msg":"腾讯微博授权已过期"})",
         {"/m/forward.json", "/m/share-weibo.json", "/m/share-qweibo.json"},
         {{"提示", "服务器忙，请稍后再试"}, {"提示", "腾讯微博授权已过期"}, {"分享成功！", "已成功分享到Lumo微博  "}}},
        {"every target fails", R"({"status":500,"msg":"服务器忙，请稍后再试"})",
         R"({"status":400,"msg":"Lumo微博授权已过期"})", R"({"status":400,"msg":"腾讯微博授权已过期"})",
         {"/m/forward.json", "/m/share-weibo.json", "/m/share-qweibo.json"},
         {{"提示", "服务器忙，请稍后再试"}, {"提示", "Lumo微博授权已过期"}, {"提示", "腾讯微博授权已过期"}}},
        {"the video is gone", R"({"status":404,"msg":"频道不存在"})", ok, ok,
         {"/m/forward.json"},
         {{"提示", "频道不存在"}}},
        {"the repost is not answered", ok, ok, ok,
         {"/m/forward.json", "/m/share-weibo.json", "/m/share-qweibo.json"},
         {{"提示", "当前无可用网络，请检查网络"}, {"分享成功！", "已成功分享到Lumo微博  腾讯微博  "}},
         true},
    };
    useEditionEntry(Value::dictionary({{"postQQBtn", Value::dictionary({{"used", Value(true)}})},
                                       {"oemString", Value("西湖视频")}}));
    logIn({{"bindLumoWeibo", Value(true)}, {"bindQWeibo", Value(true)}});
    for (const auto& c : cases) {
        service.server().clearRequests();
        UIAlertView::resetRecords();
        answer("/m/forward.json", c.forward);
        answer("/m/share-weibo.json", c.weibo);
        answer("/m/share-qweibo.json", c.qweibo);
        service.server().clearFaults("/m/forward.json");
        if (c.repostUnanswered) {
            // Closed twice: the client tries a dropped connection once more.
            service.server().addFault("/m/forward.json", standin::Fault::closeWithoutAnswer().persistent());
        }
        open();
        share->input->setText("一起来看");
        ASSERT_TRUE(sendAndWaitForClose()) << c.name;
        EXPECT_EQ(posts(), c.sent) << c.name;
        drainMain();
        EXPECT_EQ(alertsShown(), c.alerts) << c.name;
        EXPECT_EQ(share->videoNotExist(), std::string(c.name) == "the video is gone") << c.name;
    }
}

TEST_F(ShareTest, EachPostCarriesTheCommentTheVideoAndTheSession)
{
    logIn({{"bindLumoWeibo", Value(true)}, {"bindQWeibo", Value(true)}});
    open();
    share->input->setText("西湖 & 断桥|一起来看");
    ASSERT_TRUE(sendAndWaitForClose());
    const std::string token = account()["token"].stringValue();
    const struct {
        const char* path;
        standin::Params expected;
    } cases[] = {
        {"/m/forward.json", {{"scid", "sc3001"}, {"content", "西湖 & 断桥|一起来看"}, {"token", token}}},
        {"/m/share-weibo.json", {{"othertype", "3"}, {"scid", "sc3001"}, {"msg", "西湖 & 断桥|一起来看"}, {"token", token}}},
        {"/m/share-qweibo.json", {{"scid", "sc3001"}, {"msg", "西湖 & 断桥|一起来看"}, {"token", token}}},
    };
    for (const auto& c : cases) {
        const auto requests = service.server().requests(c.path);
        ASSERT_EQ(requests.size(), 1u) << c.path;
        EXPECT_EQ(requests[0].method, "POST");
        for (const auto& [name, value] : c.expected) {
            EXPECT_EQ(standin::findParam(requests[0].formParams(), name).value_or("(absent)"), value) << c.path << name;
        }
    }
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(alert()->title(), "分享成功！");
}

TEST_F(ShareTest, MailAndTextMessageComposersCarryTheLinkAndMarkWhatWasSent)
{
    logIn({{"nick", Value("小明")}});
    const std::string page = PZRequest::apiBaseURL() + "show/sc3001.htm";
    const struct {
        bool withFn;
        bool canSend;
        int result;  // the composer's result
        bool chosen;
    } cases[] = {
        {true, true, 2, true},
        {false, true, 0, false},
        {true, false, 0, false},
    };
    for (const auto& c : cases) {
        MFMailComposeViewController::setCanSendMail(c.canSend);
        MFMessageComposeViewController::setCanSendText(c.canSend);
        open(record(c.withFn));
        const std::string link = c.withFn ? page : "http://video.example/v/sc3001";
        EXPECT_EQ(share->getVideoURL(), link);

        tap(share->postByEmailBtn);
        auto mail = std::dynamic_pointer_cast<MFMailComposeViewController>(flow->modalViewController());
        if (!c.canSend) {
            EXPECT_FALSE(flow->modalViewController());
            tap(share->postBySmsBtn);
            EXPECT_FALSE(flow->modalViewController());
            root->dismissModalViewControllerAnimated(false);
            continue;
        }
        ASSERT_TRUE(mail);
        EXPECT_EQ(mail->subject(), "来自您的朋友小明在Ombri的视频");
        EXPECT_EQ(mail->messageBody(),
                  "我在Ombri手机视频分享软件的视频，点击看Ombri吧^_^<a href='" + link + "'>西湖边的傍晚</a>");
        EXPECT_TRUE(mail->isBodyHTML());
        mail->simulateFinishWithResult(static_cast<MFMailComposeResult>(c.result));
        ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));
        EXPECT_EQ(share->postByEmailBtn->isSelected(), c.chosen);

        tap(share->postBySmsBtn);
        auto text = std::dynamic_pointer_cast<MFMessageComposeViewController>(flow->modalViewController());
        ASSERT_TRUE(text);
        EXPECT_EQ(text->body(), "来看我在Ombri手机视频分享软件的视频，西湖边的傍晚：" + link);
        // A text message counts as sent with result 1.
        text->simulateFinishWithResult(c.chosen ? MessageComposeResultSent : MessageComposeResultCancelled);
        EXPECT_FALSE(flow->modalViewController()) << "dismissed without animation";
        EXPECT_EQ(share->postBySmsBtn->isSelected(), c.chosen);
        root->dismissModalViewControllerAnimated(false);
    }
}

TEST_F(ShareTest, AMicroblogClientsPostClosesTheDialogHalfASecondLater)
{
    ScopedManualClock clock;
    logIn();
    open();
    share->LumoWeiboClient_didPostStatus(nullptr, R"({"status":200})");
    clock.advance(0.4);
    EXPECT_EQ(root->modalViewController(), flow);
    clock.advance(0.2);
    clock.advance(1.0);  // the closing animation
    EXPECT_FALSE(root->modalViewController());
}

// "发送邮件" as a person uses it: the composer shows what the dialog gave, a recipient is typed and
// the mail is sent; it lands in the outbox. A cancelled composer leaves nothing there.
TEST_F(ShareTest, AMailWrittenFromTheShareIsSentToTheOutbox)
{
    MFMailComposeViewController::resetCanSend();
    logIn();
    open();
    auto middle = [](const Ref<UIView>& view) {
        return view->convertPoint_toView(CGPointMake(CGRectGetMidX(view->bounds()), CGRectGetMidY(view->bounds())),
                                         nullptr);
    };
    auto outbox = [] {
        std::vector<std::string> files;
        std::error_code ignored;
        for (const auto& entry :
             std::filesystem::directory_iterator(MFMailComposeViewController::outboxPath(), ignored)) {
            files.push_back(entry.path().string());
        }
        return files;
    };
    auto composer = [&] {
        Ref<MFMailComposeViewController> shown;
        pumpMainUntil([&] {
            shown = std::dynamic_pointer_cast<MFMailComposeViewController>(flow->modalViewController());
            return shown && shown->isViewLoaded() && shown->toField();
        });
        if (shown) window->layoutIfNeeded();
        return shown;
    };

    for (const bool send : {false, true}) {
        SCOPED_TRACE(send ? "send" : "cancel");
        window->layoutIfNeeded();
        // The dialog's text takes the keyboard, which covers the targets: "收起" puts it away.
        if (auto keyboard = UIKeyboard::keyboardView()) {
            const CGRect key = keyboard->frameOfKey("hide");
            UIScreenInput::tap(CGPointMake(CGRectGetMidX(key) + UIKeyboard::frame().origin.x,
                                           CGRectGetMidY(key) + UIKeyboard::frame().origin.y));
        }
        EXPECT_FALSE(share->input->isFirstResponder());
        window->layoutIfNeeded();
        UIScreenInput::tap(middle(share->postByEmailBtn));
        auto mail = composer();
        ASSERT_TRUE(mail);
        EXPECT_EQ(mail->subjectField()->text(), "来自您的朋友" + account()["nick"].stringValue() + "在Ombri的视频");
        EXPECT_NE(mail->bodyView()->text().find("西湖边的傍晚"), std::string::npos);
        UIScreenInput::tap(middle(mail->toField()));
        UIScreenInput::typeText("friend@example.com");
        Ref<UINavigationItem> item = mail->topViewController()->navigationItem();
        UIScreenInput::tap(middle((send ? item->rightBarButtonItem() : item->leftBarButtonItem())->barView()));
        ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));
        EXPECT_EQ(outbox().size(), send ? 1u : 0u);
        EXPECT_EQ(share->postByEmailBtn->isSelected(), send);
    }
    std::ifstream in(outbox().at(0), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string message = text.str();
    EXPECT_NE(message.find("\r\nTo: friend@example.com\r\n"), std::string::npos) << message;
    EXPECT_NE(message.find("Content-Type: text/html; charset=UTF-8"), std::string::npos);
    // The body as the dialog wrote it, with the video's page.
    const size_t body = message.find("\r\n\r\n");
    std::string encoded;
    for (char c : message.substr(body + 4)) {
        if (c != '\r' && c != '\n') encoded += c;
    }
    const std::string html = Base64::decode(encoded).value_or("");
    EXPECT_NE(html.find("西湖边的傍晚</a>"), std::string::npos) << html;
    EXPECT_NE(html.find("show/sc3001.htm"), std::string::npos) << html;
}

}  // namespace ShareTest_cpp
}  // namespace
