// The emotion-mark popup: where it opens, what a choice sends and who hears the reply, and closing
// it without a choice.
#include <gtest/gtest.h>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINib.h"
#include "ShellTestSupport.h"
#include "shell/ombriAppDelegate.h"
#include "social/TagEmotion.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace TagEmotionTest_cpp {

class TagEmotionTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        delegate = ombriAppDelegate::create();
        delegate->setWindow(window);
        UIApplication::sharedApplication()->setDelegate(delegate);
        // Messages stay waiting, newest first, so the test reads what the delegate posted whatever
        // earlier tests left in the shared overlay.
        StatusBarOverlay::sharedOverlay()->setForcedToHide(true);
        logIn();
    }
    void TearDown() override
    {
        StatusBarOverlay::sharedOverlay()->setForcedToHide(false);
        UIApplication::sharedApplication()->setDelegate(nullptr);
        delegate = nullptr;
        ShellTest::TearDown();
    }
    static Value channel()
    {
        return Value::dictionary({{"scid", Value("sc3001")}, {"ext", Value::dictionary({{"t", Value("西湖边的傍晚")}})}});
    }
    // Taps the middle of a view through the window, as a finger would.
    void tapOn(const Ref<UIView>& view)
    {
        const CGRect frame = view->convertRect_toView(view->bounds(), nullptr);
        window->simulateTap(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
    }
    void answerMark(const std::string& body)
    {
        service.server().route("/m/mark.json", [body](const standin::Request&) {
            standin::Response response;
            response.body = body;
            response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
            return response;
        });
    }

    Ref<ombriAppDelegate> delegate;
};

TEST_F(TagEmotionTest, OpensOnTheWindowWithItsBubbleBesideThePoint)
{
    TagEmotion::registerInterface();
    const auto objects = UINibRegistry::instantiate("CommonViews", nullptr);
    ASSERT_GT(objects.size(), 5u);
    EXPECT_TRUE(std::dynamic_pointer_cast<TagEmotion>(objects[5]));

    Value record = channel().mutableCopy();
    const Ref<TagEmotion> popup = TagEmotion::showAtPostion_withChannel(CGPointMake(290, 120), record);
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->superview(), window);
    EXPECT_TRUE(CGRectEqualToRect(popup->frame(), window->bounds()));
    const CGRect back = popup->backView()->frame();
    EXPECT_DOUBLE_EQ(CGRectGetMaxX(back), 295);  // 5 points right of the point
    EXPECT_DOUBLE_EQ(back.origin.y, 127);        // 7 points under it
    // The popup keeps a copy: a later change of the caller's record does not reach it.
    record.setObject_forKey(Value("sc9999"), "scid");
    EXPECT_EQ(popup->channel()["scid"].stringValue(), "sc3001");

    ASSERT_EQ(popup->emotionButtons().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        const auto button = std::dynamic_pointer_cast<UIButton>(popup->emotionButtons()[i]);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->tag(), static_cast<NSInteger>(i + 1));
        EXPECT_TRUE(button->imageForState(UIControlStateNormal)) << i;
        EXPECT_TRUE(button->isDescendantOfView(popup->backView()));
    }
}

TEST_F(TagEmotionTest, TheBubbleStaysBetweenTheBarsAndTheFootOfTheScreen)
{
    struct Case {
        CGPoint point;
        const char* where;
    } const cases[] = {
        {{290, 30}, "on the bars at the top: it drops below them"},
        {{290, 470}, "at the foot: it opens above the point"},
        {{20, 200}, "at the left edge: it stays on the screen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const Ref<TagEmotion> popup = TagEmotion::showAtPostion_withChannel(c.point, channel());
        ASSERT_TRUE(popup);
        const CGRect back = popup->backView()->frame();
        EXPECT_TRUE(CGRectContainsRect(window->bounds(), back));
        EXPECT_GE(back.origin.y, 20 + 44);
        if (c.point.y > 400) {
            EXPECT_LE(CGRectGetMaxY(back), c.point.y);
        }
        popup->removeFromSuperview();
    }
}

TEST_F(TagEmotionTest, AChoiceClosesAtOnceAndTheDelegateReportsTheReplyLater)
{
    const struct {
        int emotion;
        const char* reply;
        const char* message;
        int kind;
    } cases[] = {
        {1, R"({"status":200,"msg":"操作成功"})", "标记表情成功", StatusMessageKindFinish},
        {4, R"({"status":400,"msg":"这个视频已经被删除了"})", "这个视频已经被删除了", StatusMessageKindError},
    };
    auto overlay = StatusBarOverlay::sharedOverlay();
    size_t sent = 0;
    for (const auto& c : cases) {
        answerMark(c.reply);
        overlay->postMessage_duration("请稍候", 2.0);
        Weak<TagEmotion> popup = TagEmotion::showAtPostion_withChannel(CGPointMake(290, 120), channel());
        ASSERT_TRUE(popup.lock());
        tapOn(popup.lock()->emotionButtons()[c.emotion - 1]);
        EXPECT_FALSE(popup.lock()) << "closed before any reply";
        EXPECT_TRUE(window->subviews().empty() ||
                    !std::dynamic_pointer_cast<TagEmotion>(window->subviews().back()));
        EXPECT_EQ(overlay->messageQueue().front()[kStatusBarOverlayMessageKey].stringValue(), "请稍候");

        ASSERT_TRUE(waitForReceived("/m/mark.json", ++sent));
        const auto form = service.server().requests("/m/mark.json").back().formParams();
        EXPECT_EQ(standin::findParam(form, "scid").value_or(""), "sc3001");
        EXPECT_EQ(standin::findParam(form, "icon").value_or(""), std::to_string(c.emotion));
        EXPECT_EQ(standin::findParam(form, "token").value_or(""), "tok7");

        ASSERT_TRUE(pumpMainUntil([&] {
            return overlay->messageQueue().front()[kStatusBarOverlayMessageKey].stringValue() != "请稍候";
        })) << c.reply;
        const Value shown = overlay->messageQueue().front();
        EXPECT_EQ(shown[kStatusBarOverlayMessageKey].stringValue(), c.message);
        EXPECT_EQ(shown[kStatusBarOverlayMessageTypeKey].intValue(), c.kind);
        EXPECT_EQ(shown[kStatusBarOverlayDurationKey].doubleValue(), 2.0);
    }
}

TEST_F(TagEmotionTest, ATapBesideTheBubbleClosesWithoutARequest)
{
    Weak<TagEmotion> popup = TagEmotion::showAtPostion_withChannel(CGPointMake(290, 120), channel());
    ASSERT_TRUE(popup.lock());
    // Inside the bubble but between two buttons nothing happens.
    const Ref<UIView> back = popup.lock()->backView();
    const CGRect frame = back->convertRect_toView(back->bounds(), nullptr);
    window->simulateTap(CGPointMake(frame.origin.x + 2, frame.origin.y + 2));
    EXPECT_TRUE(popup.lock());
    window->simulateTap(CGPointMake(40, 400));
    EXPECT_FALSE(popup.lock());
    // Whatever was started has run its course (the login's reminder request) before counting.
    ASSERT_TRUE(pumpMainUntil([] { return HTTPRequest::sharedQueue()->operationCount() == 0; }));
    EXPECT_EQ(received("/m/mark.json"), 0u);
}

}  // namespace TagEmotionTest_cpp
}  // namespace
