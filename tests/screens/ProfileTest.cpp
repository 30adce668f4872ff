// The own profile as a person uses it: the top area and the rows, the profile read merged into the
// account, the nick rules, the avatar and cover changes and which key of a reply counts, and the
// password and phone forms pushed from the rows.
#include <gtest/gtest.h>

#include <functional>

#include "AccountScreensSupport.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIWindowSnapshot.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITableViewCell.h"
#include "service/ImageRoutes.h"
#include "service/ProfileRoutes.h"
#include "social/ChangePasswordController.h"
#include "social/ChangePhoneController.h"
#include "social/CheckEmailController.h"
#include "social/MemberInfoController.h"

namespace {
namespace ProfileTest_cpp {

using accounttest::AccountScreenTest;
using accounttest::jsonReply;

// The engine's side of the session: records the token the account holds each time it is handed over.
class RecordingEngine : public EngineSession {
public:
    void setToken() override { tokens.push_back(getSelfToken().stringValue()); }
    void logOut() override {}
    std::vector<std::string> tokens;
};

class ProfileTest : public AccountScreenTest {
protected:
    void TearDown() override
    {
        SessionHooks::setEngineSession(nullptr);
        AccountScreenTest::TearDown();
    }
    Ref<MemberInfoController> openProfile()
    {
        auto profile = MemberInfoController::create();
        presentOnStack(profile);
        profile->tableView()->layoutIfNeeded();
        return profile;
    }
    Ref<UIViewController> top() const { return flow ? flow->topViewController() : nullptr; }
    template <class T>
    Ref<T> pushed()
    {
        Ref<T> screen;
        pumpMainUntil([&] { return (screen = std::dynamic_pointer_cast<T>(top())) != nullptr; });
        if (screen) {
            screen->view()->layoutIfNeeded();
        }
        return screen;
    }
    static Ref<NSIndexPath> row(NSInteger r) { return NSIndexPath::indexPathForRow_inSection(r, 0); }
    // A point inside the top area that is neither a button nor the nick field: ends the nick editing.
    void tapTopArea(const Ref<MemberInfoController>& profile)
    {
        const CGPoint point = profile->topView()->convertPoint_toView(CGPointMake(30, 60), nullptr);
        window->simulateTap(point);
    }
    void waitForProfileRead(const Ref<MemberInfoController>& profile)
    {
        ASSERT_TRUE(pumpMainUntil([&] { return !profile->userInfoRequest(); }));
    }
};

TEST_F(ProfileTest, ShowsTheStoredAccountThenMergesTheProfileRead)
{
    logIn({{"loginName", Value("小明")}});
    auto profile = openProfile();
    EXPECT_EQ(profile->title(), "个人资料");
    EXPECT_EQ(profile->view(), profile->tableView());
    EXPECT_EQ(profile->tableView()->style(), UITableViewStyleGrouped);
    EXPECT_EQ(profile->tableView()->tableHeaderView(), profile->topView());
    EXPECT_NEAR(profile->avatarFrameView()->frame().origin.y, 32.8, 1e-9);
    EXPECT_EQ(profile->avatarFrameView()->superview(), profile->tableView());
    EXPECT_EQ(profile->nickField()->text(), "小明");
    const std::vector<std::string> titles{"账号", "修改密码", "手机号填写", "邮箱验证"};
    EXPECT_EQ(profile->menuList(), titles);
    ASSERT_EQ(profile->tableView()->numberOfRowsInSection(0), 4);
    for (NSInteger r = 0; r < 4; ++r) {
        auto cell = profile->tableView()->cellForRowAtIndexPath(row(r));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->textLabel()->text(), titles[size_t(r)]);
        EXPECT_EQ(cell->accessoryType(),
                  r == 0 ? UITableViewCellAccessoryNone : UITableViewCellAccessoryDisclosureIndicator);
    }

    // The read of the own profile (empty id) replaces or adds its keys, and leaves the account's
    // "status" and "msg" as they were; the account row shows the new name.
    waitForProfileRead(profile);
    const auto reads = service.server().requests(standin::kUserInfoPath);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].param("suid"), "");
    EXPECT_EQ(reads[0].param("token"), account()["token"].stringValue());
    EXPECT_EQ(account()["loginName"].stringValue(), "xiaoming");
    EXPECT_EQ(account()["desc"].stringValue(), "西湖边长大的摄影爱好者");
    EXPECT_EQ(account()["status"].intValue(), 200);
    EXPECT_EQ(account()["msg"].stringValue(), "登录成功");
    EXPECT_EQ(profile->userInfo()["loginName"].stringValue(), "xiaoming");
    EXPECT_EQ(profile->tableView()->cellForRowAtIndexPath(row(0))->detailTextLabel()->text(), "xiaoming");

    // The profile is read again each time the screen shows.
    auto phone = ChangePhoneController::create();
    flow->pushViewController_animated(phone, false);
    flow->popViewControllerAnimated(false);
    ASSERT_TRUE(pumpMainUntil([&] { return service.server().requests(standin::kUserInfoPath).size() == 2; }));
}

TEST_F(ProfileTest, NickIsKeptWithinSixteenGb18030BytesAndSentFromFourUp)
{
    logIn();
    auto profile = openProfile();
    waitForProfileRead(profile);
    auto nick = profile->nickField();
    // Typing: eight Chinese characters fill the sixteen bytes, a ninth is not taken.
    nick->becomeFirstResponder();
    nick->setText("");
    UIKeyboard::typeText("西湖边的小明同学们");
    EXPECT_EQ(nick->text(), "西湖边的小明同学");

    const struct {
        const char* nick;
        bool sent;
    } cases[] = {{"abc", false}, {"abcd", true}, {"小明同学", true}, {"小", false}};
    size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nick);
        UIAlertView::resetRecords();
        type(nick, c.nick);
        tapTopArea(profile);
        EXPECT_FALSE(nick->isFirstResponder());
        if (c.sent) {
            ++sent;
            EXPECT_FALSE(alert());
            ASSERT_TRUE(pumpMainUntil([&] { return account()["nick"].stringValue() == c.nick; }));
        } else {
            ASSERT_TRUE(alert());
            EXPECT_EQ(alert()->title(), "提示");
            EXPECT_EQ(alert()->message(), "昵称为4-16个字符之间的大小写英文、数字、符号、中文组合");
        }
        EXPECT_EQ(requestCount("/m/modify-info.json"), sent);
    }
    // A tap while nobody edits the nick sends nothing.
    tapTopArea(profile);
    drainMain();
    EXPECT_EQ(requestCount("/m/modify-info.json"), sent);
}

TEST_F(ProfileTest, PickedPhotoGoesAsJpegAvatarAndTheCoverComesFromTheService)
{
    logIn();
    auto profile = openProfile();
    waitForProfileRead(profile);

    // With a front camera the sheet's first button opens it for a self-portrait.
    UIImagePickerController::setCameraDeviceAvailable(UIImagePickerControllerCameraDeviceFront, true);
    UIImagePickerController::setSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera, true);
    profile->avatarButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(UIActionSheet::currentSheet());
    EXPECT_EQ(UIActionSheet::currentSheet()->buttonTitles(), (std::vector<std::string>{"拍照", "相册", "取消"}));
    UIActionSheet::currentSheet()->simulateClickButtonAtIndex(0);
    Ref<UIImagePickerController> picker;
    ASSERT_TRUE(pumpMainUntil([&] {
        return (picker = std::dynamic_pointer_cast<UIImagePickerController>(flow->modalViewController())) != nullptr;
    }));
    EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeCamera);
    EXPECT_EQ(picker->cameraDevice(), UIImagePickerControllerCameraDeviceFront);
    EXPECT_TRUE(picker->allowsEditing());
    picker->simulateCancel();
    ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));

    // The album: the picked photo is sent as the avatar, as JPEG.
    profile->changeAvatarButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    UIActionSheet::currentSheet()->simulateClickButtonAtIndex(1);
    ASSERT_TRUE(pumpMainUntil([&] {
        return (picker = std::dynamic_pointer_cast<UIImagePickerController>(flow->modalViewController())) != nullptr;
    }));
    EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeSavedPhotosAlbum);
    auto photo = UIImage::imageWithContentsOfFile(standin::imagePath("avatar-1003"));
    ASSERT_TRUE(photo);
    picker->simulateFinishPickingMediaWithInfo(Value::dictionary({{UIImagePickerControllerEditedImage, Value(photo)}}));
    ASSERT_TRUE(pumpMainUntil([&] { return account()["icon"].stringValue().find("/img/uploaded-avatar-1001-") != std::string::npos; }));
    ASSERT_TRUE(pumpMainUntil([&] { return !flow->modalViewController(); }));
    const auto uploads = service.server().requests("/m/upload-icon.json");
    ASSERT_EQ(uploads.size(), 1u);
    bool jpeg = false;
    for (const auto& part : standin::multipartParts(uploads[0])) {
        if (part.name == "icon") {
            jpeg = part.fileName == "avatar.jpg" && part.contentType == "image/jpeg" &&
                   part.content.starts_with("\xFF\xD8\xFF");
        }
    }
    EXPECT_TRUE(jpeg);
    // The new avatar shows.
    ASSERT_TRUE(pumpMainUntil([&] {
        auto image = profile->avatarButton()->backgroundImageForState(UIControlStateNormal);
        return image && image->size().width >= 100;
    }));

    // "换个封面" asks the service for a cover; it shows and is kept.
    profile->reloadButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_TRUE(pumpMainUntil([&] { return account()["cover"].stringValue().ends_with("/img/video-3002.png"); }));
    const auto covers = service.server().requests("/m/upload-cover.json");
    ASSERT_EQ(covers.size(), 1u);
    for (const auto& part : standin::multipartParts(covers[0])) {
        EXPECT_NE(part.name, "cover") << "no picture: the service picks the cover";
    }
}

// A person changes the avatar through the device's own screens: "相册" and a picture of the album's
// grid, then "拍照" and the camera's shutter and "使用". Each goes up as a square JPEG.
TEST_F(ProfileTest, TheAvatarComesFromTheAlbumGridOrTheCameraAsAPersonPicksIt)
{
    AVCaptureDevice::announceCamerasToImagePicker();
    ASSERT_TRUE(UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear));
    ASSERT_TRUE(UIImagePickerController::seedMediaLibraryIfNeeded());
    logIn();
    auto profile = openProfile();
    waitForProfileRead(profile);
    auto middle = [](const Ref<UIView>& view) {
        return view->convertPoint_toView(CGPointMake(CGRectGetMidX(view->bounds()), CGRectGetMidY(view->bounds())),
                                         nullptr);
    };
    auto sheetButton = [](NSInteger index) {
        auto sheet = UIActionSheet::currentSheet();
        const CGRect frame = UIWindowOverlayFrame(sheet, UIScreenInput::screenSize());
        const CGRect button = sheet->buttonFrameAtIndex(index);
        return CGPointMake(frame.origin.x + CGRectGetMidX(button), frame.origin.y + CGRectGetMidY(button));
    };
    auto openPicker = [&](NSInteger button) {
        window->layoutIfNeeded();
        UIScreenInput::tap(middle(profile->changeAvatarButton()));
        Ref<UIImagePickerController> picker;
        if (!UIActionSheet::currentSheet()) return picker;
        UIScreenInput::tap(sheetButton(button));
        pumpMainUntil([&] {
            picker = std::dynamic_pointer_cast<UIImagePickerController>(flow->modalViewController());
            return picker && picker->sourceScreen() && picker->sourceScreen()->isViewLoaded();
        });
        window->layoutIfNeeded();
        return picker;
    };
    auto uploadedSizes = [&] {
        std::vector<CGSize> sizes;
        for (const auto& upload : service.server().requests("/m/upload-icon.json")) {
            for (const auto& part : standin::multipartParts(upload)) {
                if (part.name == "icon") {
                    auto image = UIImage::imageWithData(NSData::dataWithString(part.content));
                    sizes.push_back(image ? image->size() : CGSizeZero);
                }
            }
        }
        return sizes;
    };

    // The avatar is edited: the move-and-scale screen comes up, and the person takes the frame as it starts.
    auto chooseInFrame = [&](const Ref<UIImagePickerController>& picker) {
        Ref<UIButton> choose;
        std::function<void(const Ref<UIView>&)> look = [&](const Ref<UIView>& view) {
            for (const auto& sub : view->subviews()) {
                auto button = std::dynamic_pointer_cast<UIButton>(sub);
                if (button && button->titleForState(UIControlStateNormal) == "选取") choose = button;
                look(sub);
            }
        };
        look(picker->topViewController()->view());
        ASSERT_TRUE(choose);
        window->layoutIfNeeded();
        UIScreenInput::tap(middle(choose));
    };
    auto picker = openPicker(1);
    ASSERT_TRUE(picker);
    std::vector<Ref<UIControl>> thumbs;
    for (const auto& view : picker->sourceScreen()->view()->subviews()) {
        for (const auto& inner : view->subviews()) {
            if (auto control = std::dynamic_pointer_cast<UIControl>(inner)) thumbs.push_back(control);
        }
    }
    ASSERT_EQ(thumbs.size(), 3u) << "the three seeded pictures";
    UIScreenInput::tap(middle(thumbs[0]));
    chooseInFrame(picker);
    ASSERT_TRUE(pumpMainUntil([&] { return uploadedSizes().size() == 1 && !flow->modalViewController(); }));
    EXPECT_EQ(uploadedSizes()[0], CGSizeMake(360, 360));

    picker = openPicker(0);
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeCamera);
    Ref<UIControl> shutter;
    Ref<UIButton> use;
    std::function<void(const Ref<UIView>&)> find = [&](const Ref<UIView>& view) {
        for (const auto& sub : view->subviews()) {
            auto button = std::dynamic_pointer_cast<UIButton>(sub);
            if (button && button->titleForState(UIControlStateNormal) == "使用") use = button;
            if (!button && std::dynamic_pointer_cast<UIControl>(sub)) shutter = std::dynamic_pointer_cast<UIControl>(sub);
            find(sub);
        }
    };
    find(picker->sourceScreen()->view());
    ASSERT_TRUE(shutter && use);
    UIScreenInput::tap(middle(shutter));
    window->layoutIfNeeded();
    ASSERT_FALSE(use->isHidden());
    UIScreenInput::tap(middle(use));
    chooseInFrame(picker);
    ASSERT_TRUE(pumpMainUntil([&] { return uploadedSizes().size() == 2 && !flow->modalViewController(); }));
    EXPECT_EQ(uploadedSizes()[1], CGSizeMake(360, 360));
}

TEST_F(ProfileTest, OnlyTheFirstKnownKeyOfAChangeReplyCounts)
{
    logIn();
    auto profile = openProfile();
    waitForProfileRead(profile);
    const std::string cover = standin::imageUrl(service.hostPort(), "video-3001");
    const std::string icon = standin::imageUrl(service.hostPort(), "avatar-1004");
    const struct {
        std::string body;
        bool coverChanged, iconChanged, nickChanged;
    } cases[] = {
        {R"({"status":200,"newCover":")" + cover + R"(","newIcon":")" + icon + R"(","nick":"新名字"})", true, false, false},
        {R"({"status":200,"newIcon":")" + icon + R"(","nick":"新名字"})", false, true, false},
        {R"({"status":200,"nick":"新名字"})", false, false, true},
        {R"({"status":200,"msg":"好的"})", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        logIn();
        const Value before = account();
        const size_t asked = requestCount("/m/upload-cover.json");
        service.server().route("/m/upload-cover.json", [body = c.body](const standin::Request&) { return jsonReply(body); });
        profile->reloadButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        ASSERT_TRUE(service.server().waitForRequests("/m/upload-cover.json", asked + 1, std::chrono::seconds(5)));
        const bool changes = c.coverChanged || c.iconChanged || c.nickChanged;
        EXPECT_EQ(pumpMainUntil([&] { return !account().isEqual(before); }, std::chrono::seconds(changes ? 5 : 0)), changes);
        EXPECT_EQ(account()["cover"].stringValue(), c.coverChanged ? cover : before["cover"].stringValue());
        EXPECT_EQ(account()["icon"].stringValue(), c.iconChanged ? icon : before["icon"].stringValue());
        EXPECT_EQ(account()["nick"].stringValue(), c.nickChanged ? "新名字" : before["nick"].stringValue());
        if (c.nickChanged) {
            EXPECT_EQ(profile->nickField()->text(), "新名字");
        }
    }
}

TEST_F(ProfileTest, RowsOpenTheFormsAndOnlyOwnAccountsChangeThePassword)
{
    const struct {
        Value unbindQ, unbindLumo;
        bool opens;
    } cases[] = {
        {Value(true), Value(true), true},
        {Value(), Value(true), false},
        {Value(true), Value(false), false},
    };
    for (const auto& c : cases) {
        logIn({{"unbindQWeibo", c.unbindQ}, {"unbindLumoWeibo", c.unbindLumo}});
        UIAlertView::resetRecords();
        auto profile = openProfile();
        ASSERT_TRUE(profile->tableView()->simulateTapOnRowAtIndexPath(row(1)));
        if (c.opens) {
            EXPECT_TRUE(pushed<ChangePasswordController>());
        } else {
            drainMain();
            EXPECT_EQ(top(), profile);
            ASSERT_TRUE(alert());
            EXPECT_EQ(alert()->title(), "提示");
            EXPECT_EQ(alert()->message(), "第三方登陆账号无法修改密码");
        }
        root->dismissModalViewControllerAnimated(false);
        drainMain();
    }
    logIn();
    auto profile = openProfile();
    ASSERT_TRUE(profile->tableView()->simulateTapOnRowAtIndexPath(row(2)));
    EXPECT_TRUE(pushed<ChangePhoneController>());
    flow->popViewControllerAnimated(false);
    ASSERT_TRUE(profile->tableView()->simulateTapOnRowAtIndexPath(row(3)));
    EXPECT_TRUE(pushed<CheckEmailController>());
}

// ---- The password form ---------------------------------------------------------------------------

class PasswordTest : public ProfileTest {
protected:
    Ref<ChangePasswordController> openForm()
    {
        logIn({{"unbindQWeibo", Value(true)}, {"unbindLumoWeibo", Value(true)}});
        engine = std::make_shared<RecordingEngine>();
        SessionHooks::setEngineSession(engine);
        auto profile = openProfile();
        profile->tableView()->simulateTapOnRowAtIndexPath(row(1));
        auto form = pushed<ChangePasswordController>();
        if (form) {
            form->tableView()->layoutIfNeeded();
        }
        return form;
    }
    void fill(const Ref<ChangePasswordController>& form, const std::string& old, const std::string& password,
              const std::string& confirm)
    {
        type(form->oldPasswordField(), old);
        type(form->passwordField(), password);
        type(form->confirmPasswordField(), confirm);
    }
    std::shared_ptr<RecordingEngine> engine;
};

TEST_F(PasswordTest, FormShowsThreeSecureFieldsAndChecksInOrder)
{
    auto form = openForm();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->title(), "修改密码");
    EXPECT_EQ(form->navigationItem()->rightBarButtonItem()->title(), "保存");
    ASSERT_EQ(form->tableView()->numberOfRowsInSection(0), 3);
    const Ref<UITextField> fields[] = {form->oldPasswordField(), form->passwordField(), form->confirmPasswordField()};
    const char* titles[] = {"旧密码", "新密码", "重复密码"};
    const char* placeholders[] = {"请输入旧密码", "6-16位大小写英文、数字、符号", "重复密码"};
    for (NSInteger r = 0; r < 3; ++r) {
        auto cell = form->tableView()->cellForRowAtIndexPath(row(r));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->textLabel()->text(), titles[r]);
        EXPECT_EQ(cell->accessoryView(), fields[r]);
        EXPECT_TRUE(fields[r]->isSecureTextEntry());
        EXPECT_EQ(fields[r]->placeholder(), placeholders[r]);
    }

    const struct {
        const char *old, *password, *confirm, *message;
    } cases[] = {
        {"", "secret12", "secret12", "请输入原始密码!"},
        {"secret12", "", "", "请输入新密码!"},
        {"abc12", "abc", "abc", "旧密码格式不正确!"},
        {"secret12", "abc12", "abc12", "新密码格式不正确!"},
        {"secret12", "12345678901234567", "12345678901234567", "新密码格式不正确!"},
        {"secret12", "newpass1", "newpass2", "确认密码不正确!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        UIAlertView::resetRecords();
        fill(form, c.old, c.password, c.confirm);
        form->navigationItem()->rightBarButtonItem()->simulateTap();
        ASSERT_TRUE(alert());
        EXPECT_EQ(alert()->title(), "提示");
        EXPECT_EQ(alert()->message(), c.message);
        EXPECT_EQ(alert()->buttonTitleAtIndex(alert()->cancelButtonIndex()), "确定");
    }
    drainMain();
    EXPECT_EQ(requestCount("/m/modify-info.json"), 0u);
}

TEST_F(PasswordTest, SpacesAreNotTakenAndReturnWalksTheFieldsToSaving)
{
    auto form = openForm();
    ASSERT_TRUE(form);
    form->oldPasswordField()->becomeFirstResponder();
    UIKeyboard::typeText("sec ret 12");
    EXPECT_EQ(form->oldPasswordField()->text(), "secret12");
    UIKeyboard::pressReturn();
    EXPECT_TRUE(form->passwordField()->isFirstResponder());
    UIKeyboard::typeText(" newpass 1");
    EXPECT_EQ(form->passwordField()->text(), "newpass1");
    UIKeyboard::pressReturn();
    EXPECT_TRUE(form->confirmPasswordField()->isFirstResponder());
    UIKeyboard::typeText("newpass1 ");
    EXPECT_EQ(form->confirmPasswordField()->text(), "newpass1");
    UIKeyboard::pressReturn();
    ASSERT_TRUE(service.server().waitForRequests("/m/modify-info.json", 1, std::chrono::seconds(5)));
    const auto sent = service.server().requests("/m/modify-info.json")[0].formParams();
    EXPECT_EQ(standin::findParam(sent, "pwd"), "newpass1");
    EXPECT_EQ(standin::findParam(sent, "old"), "secret12");
    EXPECT_EQ(standin::findParam(sent, "token"), standin::kApiAccountToken);
}

TEST_F(PasswordTest, NewTokenIsStoredAndHandedToTheEngineBeforeTheFormCloses)
{
    auto form = openForm();
    ASSERT_TRUE(form);
    // Refused: the service's message, the form stays, nothing changes.
    fill(form, "wrong123", "newpass1", "newpass1");
    form->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(alert()->message(), "原密码错误");
    EXPECT_EQ(top(), form);
    EXPECT_EQ(account()["token"].stringValue(), standin::kApiAccountToken);
    EXPECT_TRUE(engine->tokens.empty());

    // Accepted without a new token: nothing changes and the form stays.
    service.server().route("/m/modify-info.json", [](const standin::Request&) { return jsonReply(R"({"status":200,"msg":"ok"})"); });
    form->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(service.server().waitForRequests("/m/modify-info.json", 2, std::chrono::seconds(5)));
    ASSERT_TRUE(pumpMainUntil([&] { return !form->passwordRequest(); }));
    EXPECT_EQ(top(), form);
    EXPECT_EQ(account()["token"].stringValue(), standin::kApiAccountToken);
    EXPECT_TRUE(engine->tokens.empty());

    // Accepted: the new token is the account's and the engine's, then the form closes.
    standin::installAccountRoutes(service.server());
    UIAlertView::resetRecords();
    fill(form, "secret12", "newpass1", "newpass1");
    form->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(pumpMainUntil([&] { return std::dynamic_pointer_cast<MemberInfoController>(top()) != nullptr; }));
    EXPECT_EQ(account()["token"].stringValue(), "tk-pwd-8");
    EXPECT_EQ(engine->tokens, std::vector<std::string>{"tk-pwd-8"});
    EXPECT_FALSE(alert());
}

// ---- The phone form ------------------------------------------------------------------------------

class PhoneTest : public ProfileTest {
protected:
    Ref<ChangePhoneController> openForm()
    {
        logIn();
        auto profile = openProfile();
        profile->tableView()->simulateTapOnRowAtIndexPath(row(2));
        auto form = pushed<ChangePhoneController>();
        if (form) {
            form->tableView()->layoutIfNeeded();
        }
        return form;
    }
};

TEST_F(PhoneTest, FormShowsTheStoredNumberAndChecksItsPattern)
{
    auto form = openForm();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->textField()->text(), "13800138000");
    EXPECT_EQ(form->textField()->keyboardType(), UIKeyboardTypePhonePad);
    EXPECT_EQ(form->textField()->placeholder(), "填写手机号码");
    auto header = std::dynamic_pointer_cast<UILabel>(form->tableView()->tableHeaderView());
    auto footer = std::dynamic_pointer_cast<UILabel>(form->tableView()->tableFooterView());
    ASSERT_TRUE(header && footer);
    EXPECT_EQ(header->text(), "手机号码");
    EXPECT_EQ(footer->text(), "手机号码,通过手机号码查找好友..");
    EXPECT_EQ(form->tableView()->cellForRowAtIndexPath(row(0))->textLabel()->text(), "手机号码:");

    const struct {
        const char* number;
        const char* refusal;  // nullptr: sent
    } cases[] = {
        {"", "手机号码"},
        {"23800138000", "请输入正确的手机号"},
        {"1380013800", "请输入正确的手机号"},
        {"138001380001", "请输入正确的手机号"},
        {"+8513800138000", "请输入正确的手机号"},
        {"13800138001", nullptr},
        {"8613800138002", nullptr},
        {"+8613800138003", nullptr},
    };
    size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        UIAlertView::resetRecords();
        type(form->textField(), c.number);
        form->navigationItem()->rightBarButtonItem()->simulateTap();
        if (c.refusal) {
            ASSERT_TRUE(alert());
            EXPECT_EQ(alert()->message(), c.refusal);
            EXPECT_TRUE(form->textField()->isFirstResponder());
        } else {
            ++sent;
            ASSERT_TRUE(pumpMainUntil([&] { return account()["phone"].stringValue() == c.number; }));
            ASSERT_TRUE(pumpMainUntil([&] { return top() != form; })) << "the form closes";
            EXPECT_EQ(standin::findParam(service.server().requests("/m/modify-info.json").back().formParams(), "phone"),
                      c.number);
        }
        EXPECT_EQ(requestCount("/m/modify-info.json"), sent);
        root->dismissModalViewControllerAnimated(false);
        drainMain();
        flow = nullptr;
        form = openForm();
        ASSERT_TRUE(form);
    }
}

// A person clicks into the field (the form's tap recogniser on its table must leave the field its
// tap), selects the stored number, types another and saves: the service gets the new one.
TEST_F(PhoneTest, ANumberTypedIntoTheClickedFieldIsTheOneSaved)
{
    auto form = openForm();
    ASSERT_TRUE(form);
    window->layoutIfNeeded();
    auto middleOf = [](const Ref<UIView>& view) {
        return view->convertPoint_toView(CGPointMake(CGRectGetMidX(view->bounds()), CGRectGetMidY(view->bounds())),
                                         nullptr);
    };
    EXPECT_EQ(UIScreenInput::tap(middleOf(form->textField())), form->textField());
    ASSERT_TRUE(form->textField()->isFirstResponder());
    ASSERT_TRUE(UIScreenInput::pressCommand('a'));
    ASSERT_TRUE(UIScreenInput::typeText("13800138055"));
    EXPECT_EQ(form->textField()->text(), "13800138055");

    // A tap beside the field, on the table, still puts the keyboard away.
    UIScreenInput::tap(form->tableView()->convertPoint_toView(CGPointMake(160, 40), nullptr));
    EXPECT_FALSE(form->textField()->isFirstResponder());

    UIScreenInput::tap(middleOf(form->navigationItem()->rightBarButtonItem()->barView()));
    ASSERT_TRUE(pumpMainUntil([&] { return account()["phone"].stringValue() == "13800138055"; }));
    EXPECT_EQ(standin::findParam(service.server().requests("/m/modify-info.json").back().formParams(), "phone"),
              "13800138055");
}

TEST_F(PhoneTest, RefusalKeepsTheFormAndAnAnswerWithoutNumberRemovesIt)
{
    auto form = openForm();
    ASSERT_TRUE(form);
    type(form->textField(), "13900000000");
    form->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(alert()->title(), "提示");
    EXPECT_EQ(alert()->message(), "该手机号已被其他账号使用");
    EXPECT_EQ(top(), form);
    EXPECT_EQ(form->textField()->text(), "13900000000");
    EXPECT_EQ(account()["phone"].stringValue(), "13800138000");

    service.server().route("/m/modify-info.json", [](const standin::Request&) { return jsonReply(R"({"status":200,"msg":"修改成功"})"); });
    form->navigationItem()->rightBarButtonItem()->simulateTap();
    ASSERT_TRUE(pumpMainUntil([&] { return top() != form; }));
    EXPECT_TRUE(account()["phone"].isNil());
    EXPECT_TRUE(isLogin());
}

}  // namespace ProfileTest_cpp
}  // namespace
