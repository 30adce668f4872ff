#include <gtest/gtest.h>

#include "AccountScreensSupport.h"
#include "net/http/HTTPRequest.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSThread.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/Registration.h"

namespace {
namespace RegistrationTest_cpp {

using accounttest::AccountScreenTest;

class RegistrationTest : public AccountScreenTest {
protected:
    Ref<Reg1_InputPhoneNumber> openStep1()
    {
        auto step1 = Reg1_InputPhoneNumber::initWithStyle(UITableViewStyleGrouped);
        presentOnStack(step1);
        step1->tableView()->layoutIfNeeded();
        return step1;
    }
    Ref<RegSettingUserInfo> openStep2()
    {
        auto step2 = RegSettingUserInfo::create();
        presentOnStack(step2);
        return step2;
    }
    static Ref<UIImage> picture()
    {
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(8, 8), true, 1);
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        return image;
    }
};

TEST_F(RegistrationTest, StepOneChecksTheFormThenRegistersWithThePasswordAsTyped)
{
    // Who stored the session, and on which thread.
    std::vector<bool> storedOnMain;
    auto observer = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
        kLoginSuccessNotification, Value(),
        [&](const Ref<NSNotification>&) { storedOnMain.push_back(NSThread::isMainThread()); });
    struct Unregister {
        Ref<NSObject> observer;
        ~Unregister() { NSNotificationCenter::defaultCenter()->removeObserver(observer); }
    } unregister{observer};

    auto step1 = openStep1();
    EXPECT_EQ(step1->title(), "注册");
    EXPECT_EQ(step1->navigationItem()->rightBarButtonItem()->title(), "下一步");
    ASSERT_TRUE(step1->acount());
    EXPECT_TRUE(step1->acount()->isFirstResponder());
    EXPECT_EQ(step1->acount()->placeholder(), "4-16位英文、数字和下划线");
    EXPECT_EQ(step1->pwd()->placeholder(), "6-16位大小写英文、数字和符号");
    EXPECT_TRUE(step1->pwd()->isSecureTextEntry());

    const struct {
        std::string account, password, message;  // "" message: registered
    } cases[] = {
        {"abc", "secret12", "用户名错误：4-16位英文、数字和下划线"},
        {"west_lake", "12345", "密码错误：6-16位大小写英文、数字和符号"},
        {"xiaoming", "secret12", "该用户名已被注册"},
        {"west_lake", "secret+12", ""},
    };
    for (const auto& c : cases) {
        UIAlertView::resetRecords();
        const size_t before = requestCount("/m/reg.json");
        type(step1->acount(), c.account);
        UIKeyboard::pressReturn();
        EXPECT_TRUE(step1->pwd()->isFirstResponder());
        step1->pwd()->setText("");
        UIKeyboard::typeText(c.password);
        UIKeyboard::pressReturn();  // the password's return registers
        if (!c.message.empty()) {
            ASSERT_TRUE(alertShown()) << c.account;
            EXPECT_EQ(alert()->title(), "提示");
            EXPECT_EQ(alert()->message(), c.message);
            EXPECT_EQ(step1->acount()->text(), c.account);
            EXPECT_EQ(flow->topViewController(), step1);
            EXPECT_FALSE(isLogin());
            alert()->simulateClickButtonAtIndex(0);
            continue;
        }
        ASSERT_TRUE(pumpMainUntil([&] { return std::dynamic_pointer_cast<RegSettingUserInfo>(flow->topViewController()) != nullptr; }));
        EXPECT_EQ(requestCount("/m/reg.json"), before + 1);
        const auto sent = service.server().requests("/m/reg.json").back().formParams();
        EXPECT_EQ(sent, (standin::Params{{"user", "west_lake"}, {"pwd", "secret+12"}}));
    }
    EXPECT_EQ(requestCount("/m/reg.json"), 2u) << "refused forms send nothing";
    // The new user is logged in (on the main thread) before step 2 shows, even if it is left at once.
    EXPECT_TRUE(isLogin());
    EXPECT_EQ(account()["loginName"].stringValue(), "west_lake");
    EXPECT_EQ(account()["username"].stringValue(), "west_lake");
    EXPECT_EQ(account()["pwd"].stringValue(), "secret+12");
    EXPECT_EQ(storedOnMain, std::vector<bool>{true});
}

TEST_F(RegistrationTest, StepOneWithoutAnAnswerSaysThereIsNoNetwork)
{
    auto step1 = openStep1();
    service.server().addFault("/m/reg.json", standin::Fault::closeWithoutAnswer().persistent());
    type(step1->acount(), "west_lake");
    type(step1->pwd(), "secret12");
    step1->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(alert()->message(), "当前无可用网络，请检查网络");
    EXPECT_EQ(step1->status(), 0);
    EXPECT_FALSE(isLogin());
}

TEST_F(RegistrationTest, StepTwoShowsTheNewAccountAndSendsEachAcceptedChange)
{
    logIn({{"nick", Value("西湖")}});
    auto step2 = openStep2();
    EXPECT_TRUE(step2->navigationItem()->hidesBackButton());
    EXPECT_EQ(step2->navigationItem()->rightBarButtonItem()->title(), "完成");
    EXPECT_EQ(step2->nickField()->text(), "西湖");
    EXPECT_EQ(step2->avatarButton()->layer()->cornerRadius(), 30);
    EXPECT_NEAR(step2->avatarFrameView()->frame().origin.y, 22.8, 1e-9);
    EXPECT_NEAR(step2->avatarFrameView()->frame().origin.x, 127.8, 1e-9);
    EXPECT_EQ(step2->avatarFrameView()->superview(), step2->view());
    EXPECT_EQ(step2->nickTap()->view(), step2->view());

    // The nick: at most 16 GB 18030 bytes while typing, 4 to 16 when the editing ends.
    step2->nickField()->becomeFirstResponder();
    UIKeyboard::typeText("湖边小明同学");  // 8 characters, 16 bytes
    EXPECT_EQ(step2->nickField()->text(), "西湖湖边小明同学");
    UIKeyboard::typeText("们");
    EXPECT_EQ(step2->nickField()->text(), "西湖湖边小明同学");
    const struct {
        const char* nick;
        const char* alert;  // nullptr: sent
    } nicks[] = {
        {"abc", "昵称为4-16个字符之间的大小写英文、数字、符号、中文组合"},
        {"小明同学", nullptr},
    };
    for (const auto& n : nicks) {
        UIAlertView::resetRecords();
        type(step2->nickField(), n.nick);
        window->simulateTap(CGPointMake(160, 300));
        EXPECT_FALSE(step2->nickField()->isFirstResponder());
        if (n.alert) {
            ASSERT_TRUE(alert());
            EXPECT_EQ(alert()->message(), n.alert);
        } else {
            EXPECT_FALSE(alert());
            ASSERT_TRUE(pumpMainUntil([&] { return account()["nick"].stringValue() == n.nick; }));
        }
    }
    EXPECT_EQ(requestCount("/m/modify-info.json"), 1u);
    // A tap while nobody edits the nick does nothing.
    window->simulateTap(CGPointMake(160, 300));
    EXPECT_EQ(requestCount("/m/modify-info.json"), 1u);

    // The avatar: the camera is missing, the album gives a picture sent as PNG.
    step2->changeAvatarButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(UIActionSheet::currentSheet());
    EXPECT_EQ(UIActionSheet::currentSheet()->buttonTitles(), (std::vector<std::string>{"拍照", "相册", "取消"}));
    UIActionSheet::currentSheet()->simulateClickButtonAtIndex(0);
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "没找到摄像头");
    EXPECT_EQ(alert()->message(), "必须需要摄像头");
    step2->avatarButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    UIActionSheet::currentSheet()->simulateClickButtonAtIndex(1);
    Ref<UIImagePickerController> picker;
    ASSERT_TRUE(pumpMainUntil([&] {
        picker = std::dynamic_pointer_cast<UIImagePickerController>(flow->modalViewController());
        return picker != nullptr;
    }));
    EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeSavedPhotosAlbum);
    EXPECT_TRUE(picker->allowsEditing());
    Value info = Value::dictionary();
    info.setObject_forKey(Value(picture()), UIImagePickerControllerEditedImage);
    picker->simulateFinishPickingMediaWithInfo(info);
    ASSERT_TRUE(pumpMainUntil([&] { return account()["icon"].stringValue().find("/img/uploaded-avatar-1001-") != std::string::npos; }));
    ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); })) << "the picker goes";
    const auto uploads = service.server().requests("/m/upload-icon.json");
    ASSERT_EQ(uploads.size(), 1u);
    bool png = false;
    for (const auto& part : standin::multipartParts(uploads[0])) {
        png = png || part.content.starts_with("\x89PNG");
    }
    EXPECT_TRUE(png);

    // A new cover comes from the service.
    step2->reloadButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(pumpMainUntil([&] { return account()["cover"].stringValue().ends_with("/img/video-3002.png"); }));

    // "完成" closes the whole login flow; the user stays logged in.
    step2->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(pumpMainUntil([&] { return !root->modalViewController(); }));
    EXPECT_TRUE(isLogin());
}

TEST_F(RegistrationTest, ARefusedChangeShowsTheServicesMessageForTwoSeconds)
{
    ScopedManualClock clock;
    logIn();
    auto step2 = openStep2();
    type(step2->nickField(), "管理员");
    window->simulateTap(CGPointMake(160, 300));
    ProgressHUD* box = nullptr;
    ASSERT_TRUE(pumpMainUntil([&] {
        for (const auto& view : step2->view()->subviews()) {
            if (auto hud = std::dynamic_pointer_cast<ProgressHUD>(view)) {
                box = hud.get();
            }
        }
        return box != nullptr;
    }));
    auto label = std::dynamic_pointer_cast<UILabel>(box->customView());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "该昵称不可使用");
    EXPECT_EQ(box->mode(), ProgressHUDModeCustom);
    EXPECT_EQ(account()["nick"].stringValue(), "小明");
    // The message stays two seconds, then goes.
    EXPECT_TRUE(pumpMainUntil([&] {
        clock.advance(0.25);
        for (const auto& view : step2->view()->subviews()) {
            if (std::dynamic_pointer_cast<ProgressHUD>(view)) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_GE(clock.now(), 2.0);
}

TEST_F(RegistrationTest, TheCameraIsTheFrontOneWhereThereIsOneAndTheRearOneOtherwise)
{
    logIn();
    auto step2 = openStep2();
    const struct {
        bool front;
        bool rear;
        UIImagePickerControllerCameraDevice chosen;
    } devices[] = {
        {true, true, UIImagePickerControllerCameraDeviceFront},
        {true, false, UIImagePickerControllerCameraDeviceFront},
        {false, true, UIImagePickerControllerCameraDeviceRear},
    };
    UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, true);
    for (const auto& d : devices) {
        SCOPED_TRACE(std::to_string(d.front) + std::to_string(d.rear));
        UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, d.front);
        UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, d.rear);
        step2->changeAvatarButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        ASSERT_TRUE(UIActionSheet::currentSheet());
        UIActionSheet::currentSheet()->simulateClickButtonAtIndex(0);
        Ref<UIImagePickerController> picker;
        ASSERT_TRUE(pumpMainUntil([&] {
            picker = std::dynamic_pointer_cast<UIImagePickerController>(flow->modalViewController());
            return picker != nullptr;
        }));
        EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeCamera);
        EXPECT_EQ(picker->cameraDevice(), d.chosen);
        picker->simulateCancel();
        ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));
    }
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, false);
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear, false);
    UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, false);
}

TEST_F(RegistrationTest, LeavingTheScreenCancelsItsChangeStillOnTheWay)
{
    logIn();
    service.server().addFault("/m/modify-info.json", standin::Fault::hangUntilStopped());
    auto step2 = openStep2();
    type(step2->nickField(), "小明同学");
    window->simulateTap(CGPointMake(160, 300));
    ASSERT_TRUE(pumpMainUntil([&] { return requestCount("/m/modify-info.json") == 1u; }));
    const auto running = HTTPRequest::sharedQueue()->operations();
    ASSERT_EQ(running.size(), 1u);
    auto request = std::dynamic_pointer_cast<HTTPRequest>(running[0]);
    ASSERT_TRUE(request);

    // The screen goes while the service still holds the answer: its request goes with it and
    // leaves the queue, and the account keeps its nick.
    flow->popViewControllerAnimated(false);
    Weak<RegSettingUserInfo> gone = step2;
    step2 = nullptr;
    ASSERT_TRUE(pumpMainUntil([&] { return gone.expired(); }));
    // The cancel reaches the request on its network thread.
    EXPECT_TRUE(pumpMainUntil([&] { return request->isCancelled(); }));
    ASSERT_TRUE(pumpMainUntil([&] { return HTTPRequest::sharedQueue()->operations().empty(); }));
    EXPECT_EQ(account()["nick"].stringValue(), "小明");
}

TEST_F(RegistrationTest, TheOldFormHasFiveRows)
{
    auto form = Reg::initWithStyle(UITableViewStyleGrouped);
    presentOnStack(form);
    form->tableView()->layoutIfNeeded();
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"用户名", "必填"}, {"密码", "必填"}, {"昵称", "可选"}, {"邮箱", "可选"}, {"头像", ""}};
    for (size_t row = 0; row < rows.size(); ++row) {
        auto cell = form->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(NSInteger(row), 0));
        ASSERT_TRUE(cell) << row;
        std::string label, placeholder;
        for (const auto& view : cell->contentView()->subviews()) {
            if (auto l = std::dynamic_pointer_cast<UILabel>(view)) {
                label = l->text();
            } else if (auto f = std::dynamic_pointer_cast<UITextField>(view)) {
                placeholder = f->placeholder();
            }
        }
        EXPECT_EQ(label, rows[row].first);
        EXPECT_EQ(placeholder, rows[row].second);
    }
}

}  // namespace RegistrationTest_cpp
}  // namespace
