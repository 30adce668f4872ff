#include <cstdlib>

#include "ApiTestSupport.h"
#include "api/Categories.h"
#include "api/Tool.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/ABAddressBook.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

namespace apitest {
namespace {

using namespace PhoneNumberTest;

class ToolTest : public ApiTest {};

std::string imageName(const Ref<UIImage>& image)
{
    return image ? image->name() : std::string("(none)");
}

TEST(Validators, PhoneNumbers)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"13812345678", true},     {"8613812345678", true},   {"+8613812345678", true}, {"23812345678", false},
        {"1381234567", false},     {"138123456789", false},   {"+86 13812345678", false}, {"+8513812345678", false},
        {"138-1234-5678", false},  {"", false},               {"13812345678\n", false}, {"手机13812345678", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isPhoneNumber(c.text), c.valid) << c.text;
    }
}

TEST(Validators, PasswordsCountCharactersNotBytes)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"12345", false},
        {"123456", true},
        {"1234567890123456", true},
        {"12345678901234567", false},
        {"abc def1", false},
        {"abc\tdef1", false},
        {"密码", false},
        {"密码密码密码", true},                            // 6 characters, 18 bytes
        {"密码密码密码密码密码密码密码密码", true},        // 16 characters, 48 bytes
        {"密码密码密码密码密码密码密码密码密", false},     // 17 characters
        {"密码\u3000密码密码", false},                     // an ideographic space is white space
        {"pass密码word", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isPassword(c.text), c.valid) << c.text;
    }
}

TEST(Validators, EmailAddresses)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"a.b+c_d-e@mail.example.com", true},
        {"user@example.co", true},
        {"user@sub-domain.example.info", true},
        {"user@localhost", false},
        {"user@example.c", false},
        {"@example.com", false},
        {"a@b@example.com", false},
        {"用户@example.com", false},
        {"user@例子.com", false},
        {"user@example.com ", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isEmail(c.text), c.valid) << c.text;
    }
}

TEST(Encodings, MD5IsLowerCaseHexOfTheUTF8Bytes)
{
    EXPECT_EQ(MD5String(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(MD5String("密码"), "a8105204604a0b11e916f3879aae3b0b");
}

TEST(Encodings, UrlEncodeEscapesTheQuerySeparatorsToo)
{
    EXPECT_EQ(urlEncode("张三"), "%E5%BC%A0%E4%B8%89");
    EXPECT_EQ(urlEncode("a b&c=d/e?f#g"), "a%20b%26c%3Dd%2Fe%3Ff%23g");
    EXPECT_EQ(urlEncode("!*'();:@+$,%[]"), "%21%2A%27%28%29%3B%3A%40%2B%24%2C%25%5B%5D");
    EXPECT_EQ(urlEncode("Az09-_.~"), "Az09-_.~");
}

TEST(Encodings, IndexLetters)
{
    const struct {
        const char* text;
        const char* letter;
    } cases[] = {
        {"张三", "z"}, {"阿明", "a"}, {"北京", "b"}, {"李", "l"}, {"中", "z"}, {"Bob", "B"},
        {"1abc", "1"}, {"😀", "#"},  {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(getChineseCaptialChar(c.text), c.letter) << c.text;
    }
}

TEST(Encodings, SecondsAsMinutesAndSeconds)
{
    EXPECT_EQ(second2String(5), "00:05");
    EXPECT_EQ(second2String(65), "01:05");
    EXPECT_EQ(second2String(600), "10:00");
    EXPECT_EQ(second2String(3600), "60:00");
}

TEST_F(ToolTest, DeviceNameFromTheConfiguredModel)
{
    UIDevice::currentDevice()->setSystemVersion("5.1");
    const struct {
        const char* model;
        const char* name;
    } cases[] = {
        {"iPhone4,1", "ios_5.1_apple_iPhone4S"}, {"iPhone3,1", "ios_5.1_apple_iPhone4"},
        {"i386", "ios_5.1_apple_Simulator"},     {"iPod4,1", "ios_5.1_apple_Touch4"},
        {"iPhone3,3", "ios_5.1_apple_unknown"},  {"x86_64", "ios_5.1_apple_unknown"},
    };
    for (const auto& c : cases) {
        ::setenv("OMBRI_DEVICE_MODEL", c.model, 1);
        EXPECT_EQ(getDeviceAndOSInfo(), c.name) << c.model;
    }
    ::unsetenv("OMBRI_DEVICE_MODEL");
    EXPECT_TRUE(getDeviceAndOSInfo().starts_with("ios_5.1_apple_"));
}

TEST_F(ToolTest, TheAdvertisementStaysClosedForTheRestOfTheDay)
{
    const double nineAM = 1367370000.0;  // 2013-05-01 09:00 in Shanghai
    setNow(nineAM);
    EXPECT_FALSE(isAdClosed());
    SetAdClosed();
    EXPECT_TRUE(isAdClosed());
    setNow(nineAM + 15 * 3600 - 1);  // 23:59:59
    EXPECT_TRUE(isAdClosed());
    setNow(nineAM + 15 * 3600);  // midnight
    EXPECT_FALSE(isAdClosed());
    NSUserDefaults::standardUserDefaults()->setObject_forKey("today", kAdInSquareDateKey);
    EXPECT_FALSE(isAdClosed());
}

TEST_F(ToolTest, FollowButtonsShowTheRelation)
{
    addImages({"invite", "unfollowHe", "followHe", "blue-button-small", "follow-button-small"});
    const struct {
        int relation;
        bool hidden;
        const char* image;
        const char* smallImage;
        const char* smallTitle;
    } cases[] = {
        {4, true, "(none)", "(none)", ""},
        {-1, false, "invite", "blue-button-small", "取消关注"},
        {0, false, "followHe", "follow-button-small", "关注"},
        {1, false, "unfollowHe", "blue-button-small", "取消关注"},
        {2, false, "followHe", "follow-button-small", "关注"},
        {3, false, "unfollowHe", "blue-button-small", "取消关注"},
    };
    for (const auto& c : cases) {
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setHidden(!c.hidden);
        Tool::setButtonStatus_withRelation(button, c.relation);
        EXPECT_EQ(button->isHidden(), c.hidden) << c.relation;
        EXPECT_EQ(imageName(button->backgroundImageForState(UIControlStateNormal)), c.image) << c.relation;

        auto small = UIButton::buttonWithType(UIButtonTypeCustom);
        Tool::setSmallButtonStatus_withRelation(small, c.relation);
        EXPECT_EQ(small->isHidden(), c.hidden) << c.relation;
        EXPECT_EQ(imageName(small->backgroundImageForState(UIControlStateNormal)), c.smallImage) << c.relation;
        EXPECT_EQ(small->titleForState(UIControlStateNormal), c.smallTitle) << c.relation;
    }
}

TEST_F(ToolTest, RegistrationButtonsAndTitle)
{
    addImages({"back-button", "blue-button", "gray-button"});
    auto back = Tool::backButton();
    EXPECT_EQ(back->frame(), CGRectMake(0, 0, 52, 31));
    EXPECT_EQ(imageName(back->backgroundImageForState(UIControlStateNormal)), "back-button.png");
    Ref<UILabel> label;
    for (const auto& subview : back->subviews()) {
        if (auto found = std::dynamic_pointer_cast<UILabel>(subview); found && found->text() == "返回") {
            label = found;
        }
    }
    ASSERT_TRUE(label);
    EXPECT_EQ(label->frame(), CGRectMake(16, 0, 42, 31));
    EXPECT_TRUE(label->font()->isEqual(UIFont::boldSystemFontOfSize(13).get()));
    EXPECT_TRUE(UIColorEqual(label->textColor(), UIColor::whiteColor()));

    auto send = Tool::sendButton("下一步");
    EXPECT_EQ(send->frame(), CGRectMake(0, 0, 52, 31));
    EXPECT_EQ(send->titleForState(UIControlStateNormal), "下一步");
    EXPECT_EQ(imageName(send->backgroundImageForState(UIControlStateNormal)), "blue-button.png");

    auto title = Tool::titleLableWithTitle("注册");
    EXPECT_EQ(title->frame(), CGRectMake(0, 0, 200, 44));
    EXPECT_EQ(title->text(), "注册");
    EXPECT_EQ(title->textAlignment(), UITextAlignmentCenter);
    EXPECT_EQ(title->font()->pointSize(), 18);

    auto more = Tool::loadMoreButton("更多");
    EXPECT_EQ(more->frame(), CGRectMake(0, 0, 80, 31));
    EXPECT_EQ(more->backgroundImageForState(UIControlStateNormal)->leftCapWidth(), 10);
    EXPECT_TRUE(UIColorEqual(more->titleColorForState(UIControlStateNormal), UIColor::whiteColor()));

    auto input = SetImageView::customInputLable();
    EXPECT_EQ(input->frame(), CGRectMake(10, 5, 65, 30));
    EXPECT_EQ(input->font()->pointSize(), 17);
}

TEST_F(ToolTest, EmotionMarksSitAtTheButtonsCorner)
{
    addImages({"emotion1", "emotion3", "emotion5"});
    auto cell = UIView::initWithFrame(CGRectMake(0, 0, 320, 100));
    auto button = UIButton::initWithFrame(CGRectMake(100, 50, 40, 40));
    cell->addSubview(button);
    auto marks = [&cell] {
        std::vector<Ref<UIImageView>> found;
        for (const auto& subview : cell->subviews()) {
            if (subview->tag() == kEmotionMarkTag) {
                found.push_back(std::dynamic_pointer_cast<UIImageView>(subview));
            }
        }
        return found;
    };

    const struct {
        int emotion;
        bool hidden;
        const char* image;
    } cases[] = {{0, true, "(none)"}, {1, false, "emotion1.png"}, {5, false, "emotion5.png"}, {6, true, "(none)"}};
    for (const auto& c : cases) {
        SetImageView::setEmotion(button, c.emotion);
        auto mark = marks().back();
        EXPECT_EQ(mark->frame(), CGRectMake(126, 76, 18, 18)) << c.emotion;
        EXPECT_EQ(mark->isHidden(), c.hidden) << c.emotion;
        EXPECT_EQ(imageName(mark->image()), c.image) << c.emotion;
    }
    EXPECT_EQ(marks().size(), 4u);  // each call adds its own mark

    auto refilled = UIView::initWithFrame(CGRectMake(0, 0, 320, 100));
    cell = refilled;
    cell->addSubview(button);
    SetImageView::setEmotion2(button, 3);
    SetImageView::setEmotion2(button, 1);
    ASSERT_EQ(marks().size(), 1u);
    EXPECT_EQ(imageName(marks()[0]->image()), "emotion1.png");
    SetImageView::setEmotionHidden(button);
    EXPECT_TRUE(marks()[0]->isHidden());

    // A spinner with the same tag is not taken for a mark.
    auto sending = UIButton::initWithFrame(CGRectMake(0, 0, 40, 40));
    auto other = UIView::initWithFrame(CGRectMake(0, 0, 320, 100));
    other->addSubview(sending);
    SetImageView::setEnabledWhileSendingRequest(sending, false);
    auto buttonBelow = UIButton::initWithFrame(CGRectMake(50, 0, 40, 40));
    other->addSubview(buttonBelow);
    SetImageView::setEmotion2(buttonBelow, 3);
    EXPECT_TRUE(std::dynamic_pointer_cast<UIActivityIndicatorView>(sending->viewWithTag(kEmotionMarkTag)));
    EXPECT_EQ(other->subviews().size(), 3u);

    auto alone = UIButton::initWithFrame(CGRectMake(0, 0, 40, 40));
    EXPECT_NO_THROW(SetImageView::setEmotion(alone, 2));  // no superview: nothing to do
    EXPECT_NO_THROW(SetImageView::setEmotionHidden(alone));
}

TEST_F(ToolTest, ASendingButtonSpinsUntilEnabledAgain)
{
    auto bar = UIView::initWithFrame(CGRectMake(0, 0, 320, 44));
    auto button = UIButton::initWithFrame(CGRectMake(10, 0, 60, 30));
    button->setTag(kEmotionMarkTag);  // the button's own tag is not its spinner's
    bar->addSubview(button);

    SetImageView::setEnabledWhileSendingRequest(button, false);
    EXPECT_FALSE(button->isEnabled());
    Ref<UIActivityIndicatorView> spinner;
    for (const auto& subview : button->subviews()) {
        if (subview->tag() == kEmotionMarkTag) {
            spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(subview);
        }
    }
    ASSERT_TRUE(spinner);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->center(), CGPointMake(30, 15));

    SetImageView::setEnabledWhileSendingRequest(button, true);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(spinner->superview());
    EXPECT_EQ(button->superview(), bar);
}

TEST_F(ToolTest, RoundedImagesAndButtons)
{
    addImages({"white-user-icon-overlay"});
    auto image = UIImageView::initWithFrame(CGRectMake(0, 0, 50, 50));
    OmbriOEM::setRoundRect(image);
    EXPECT_TRUE(image->clipsToBounds());
    EXPECT_EQ(image->layer()->cornerRadius(), 5);

    auto avatar = UIButton::initWithFrame(CGRectMake(5, 5, 60, 60));
    SetImageView::setToRound(avatar);
    EXPECT_EQ(avatar->layer()->cornerRadius(), 30);
    SetImageView::setRoundRect(avatar);
    EXPECT_EQ(avatar->layer()->cornerRadius(), 5);
    auto overlay = std::dynamic_pointer_cast<UIImageView>(avatar->subviews().back());
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->frame(), CGRectMake(0, 0, 60, 60));
    EXPECT_EQ(imageName(overlay->image()), "white-user-icon-overlay.png");
}

class Target : public NSObject {
public:
    void follow() {}
    void open() {}
};

TEST_F(ToolTest, RemovingAnActionFromEveryTarget)
{
    auto control = UIButton::create();
    auto first = std::make_shared<Target>();
    auto second = std::make_shared<Target>();
    control->addTarget_action_forControlEvents(first, UIControlAction::make("follow:", &Target::follow),
                                               UIControlEventTouchUpInside);
    control->addTarget_action_forControlEvents(second, UIControlAction::make("follow:", &Target::follow),
                                               UIControlEventTouchUpInside);
    control->addTarget_action_forControlEvents(second, UIControlAction::make("open:", &Target::open),
                                               UIControlEventTouchUpInside);
    Control_removeAllTarget(control, "follow:");
    EXPECT_TRUE(control->actionsForTarget_forControlEvent(first, UIControlEventTouchUpInside).empty());
    EXPECT_EQ(control->actionsForTarget_forControlEvent(second, UIControlEventTouchUpInside),
              (std::vector<std::string>{"open:"}));
}

TEST_F(ToolTest, GeometryAndTextHeights)
{
    EXPECT_EQ(CGRectZoomBy(CGRectMake(10, 20, 100, 80), 2), CGRectMake(16, 25, 88, 67));

    auto font = UIFont::systemFontOfSize(14);
    EXPECT_EQ(Tool::heightForText_width_font(Value(), 200, font), 0);
    const std::string text = "一段很长的评论，会在窄的格子里折成好几行，在宽的格子里少几行。";
    const CGFloat oneLine = Tool::heightForText_width_font(Value("短"), 200, font);
    const CGFloat wide = Tool::heightForText_width_font(Value(text), 300, font);
    const CGFloat narrow = Tool::heightForText_width_font(Value(text), 100, font);
    EXPECT_GT(oneLine, 0);
    EXPECT_GT(wide, oneLine);
    EXPECT_GT(narrow, wide);
}

TEST_F(ToolTest, TransitionsAnimateTheContainerAndSwapTheViews)
{
    auto container = UIView::initWithFrame(CGRectMake(0, 0, 320, 100));
    auto first = UIView::create();
    auto second = UIView::create();
    second->setHidden(true);
    Tool::performTransitionWithView1_view2_container(first, second, container);
    EXPECT_TRUE(first->isHidden());
    EXPECT_FALSE(second->isHidden());
    auto keys = container->layer()->animationKeys();
    ASSERT_EQ(keys.size(), 1u);
    auto transition = std::dynamic_pointer_cast<CATransition>(container->layer()->animationForKey(keys[0]));
    ASSERT_TRUE(transition);
    EXPECT_EQ(transition->duration(), 0.75);
    EXPECT_EQ(transition->type(), kCATransitionMoveIn);
    EXPECT_EQ(transition->subtype(), kCATransitionFromTop);

    auto bar = UIView::create();
    Tool::performTransition_andSubType_isHidden_theViewIs_duration(kCATransitionPush, kCATransitionFromBottom, false,
                                                                   bar, 1);
    EXPECT_TRUE(bar->layer()->animationKeys().empty());  // already shown: nothing to do
    Tool::performTransition_andSubType_isHidden_theViewIs_duration(kCATransitionPush, kCATransitionFromBottom, true,
                                                                   bar, 1);
    EXPECT_TRUE(bar->isHidden());
    ASSERT_EQ(bar->layer()->animationKeys().size(), 1u);
    auto push = std::dynamic_pointer_cast<CATransition>(bar->layer()->animationForKey(bar->layer()->animationKeys()[0]));
    ASSERT_TRUE(push);
    EXPECT_EQ(push->duration(), 1);
    EXPECT_EQ(push->fillMode(), kCAFillModeForwards);
}

TEST_F(ToolTest, ContactsAreTheAddressBooksPhoneNumbersInOrderWithoutTheCountryPrefix)
{
    ABAddressBook::reset();
    ABAddressBook::setPeople({
        {"张三", {"138-1234-5678", "+86 139 1234 5678", "010-12345678"}},
        {"Li Si", {"8615012345678"}},
        {"No Phone", {}},
        {"王五", {"86+8613700001111", "12345", "23812345678", "1381234567"}},
        {"Zhao", {"+8613600002222", "8613600002222"}},
    });
    struct Case {
        const char* name;
        ABAuthorizationStatus status;
        bool grant;
        std::vector<std::string> expected;  // "name phone"
    };
    const std::vector<std::string> everyone = {"张三 13812345678", "张三 13912345678", "Li Si 15012345678",
                                               "王五 13700001111", "Zhao 13600002222", "Zhao 13600002222"};
    const Case cases[] = {
        {"authorised", kABAuthorizationStatusAuthorized, true, everyone},
        {"asked now and granted", kABAuthorizationStatusNotDetermined, true, everyone},
        {"asked now and refused", kABAuthorizationStatusNotDetermined, false, {}},
        {"denied earlier", kABAuthorizationStatusDenied, true, {}},
        {"restricted", kABAuthorizationStatusRestricted, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ABAddressBook::setAuthorizationStatus(c.status);
        ABAddressBook::setAnswerToAccessRequest(c.grant);
        std::vector<std::string> got;
        for (const Ref<Contact>& contact : Tool::getContacts()) {
            got.push_back(contact->name() + " " + contact->phone());
        }
        EXPECT_EQ(got, c.expected);
    }
    ABAddressBook::reset();
}

}  // namespace
}  // namespace apitest
