// The settings screen: its rows by edition and what they open, the notice switches as the service keeps
// them, the upload switch kept only on the phone, and what a change sends.
#include "AccountScreensSupport.h"

#include "platform/screen/UIScreenInput.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/BindAccountController.h"
#include "social/MemberInfoController.h"
#include "social/SettingVC.h"

namespace {
namespace SettingsTest_cpp {

using accounttest::AccountScreenTest;
using accounttest::jsonReply;

class SettingsTest : public AccountScreenTest {
protected:
    // The screen on a stack, its first read answered.
    Ref<SettingVC> openSettings()
    {
        logIn();
        auto screen = SettingVC::create();
        presentOnStack(screen);
        EXPECT_TRUE(pumpMainUntil([&] { return !screen->getUserSettingRequest(); }));
        return screen;
    }
    // The service's notice settings answered by every read.
    void serveSetting(const std::string& body)
    {
        service.server().route("/m/user-settings.json", [body](const standin::Request& request) {
            if (request.method == "POST") {
                return jsonReply(R"({"status":200,"msg":"操作成功"})");
            }
            return jsonReply(body);
        });
    }
    // The switch of a row as shown, the row scrolled into sight first.
    static Ref<UISwitch> switchAt(const Ref<SettingVC>& screen, NSInteger section, NSInteger row)
    {
        auto path = NSIndexPath::indexPathForRow_inSection(row, section);
        screen->tableView()->scrollToRowAtIndexPath_atScrollPosition_animated(path, UITableViewScrollPositionMiddle,
                                                                              false);
        screen->tableView()->layoutIfNeeded();
        auto cell = screen->tableView()->cellForRowAtIndexPath(path);
        return cell ? std::dynamic_pointer_cast<UISwitch>(cell->accessoryView()) : nullptr;
    }
    static std::string shownNotices(const Ref<SettingVC>& screen)
    {
        std::string shown;
        for (NSInteger row = 0; row < SettingVC::kNoticeCount; ++row) {
            auto toggle = switchAt(screen, 2, row);
            shown += !toggle ? "?" : toggle->isOn() ? "1" : "0";
        }
        return shown;
    }
    static void flip(const Ref<UISwitch>& toggle)
    {
        toggle->setOn(!toggle->isOn());
        toggle->sendActionsForControlEvents(UIControlEventValueChanged);
    }
    std::vector<standin::Request> writes()
    {
        std::vector<standin::Request> posted;
        for (const auto& request : service.server().requests("/m/user-settings.json")) {
            if (request.method == "POST") {
                posted.push_back(request);
            }
        }
        return posted;
    }
};

TEST_F(SettingsTest, RowsByEditionAndWhatTheyOpen)
{
    struct Case {
        std::string edition;
        std::vector<std::string> accountRows;
    };
    for (const Case& c : std::vector<Case>{{"", {"个人资料"}}, {"other", {"个人资料", "账号绑定"}}}) {
        SCOPED_TRACE(c.edition);
        ScreenEdition::setWordForTesting(c.edition);
        auto screen = openSettings();
        EXPECT_EQ(screen->title(), "个人设置");
        auto table = screen->tableView();
        EXPECT_EQ(table->frame(), CGRectMake(0, 0, 320, 414));
        ASSERT_EQ(table->numberOfSections(), 3);
        const std::vector<std::vector<std::string>> rows = {
            c.accountRows, {"非wifi自动上传"}, {"用户访问通知", "新评论通知", "新分享通知", "新转发通知", "新标记通知"}};
        const std::vector<std::string> headers = {"账号", "上传", "消息提醒"};
        for (NSInteger section = 0; section < 3; ++section) {
            EXPECT_EQ(screen->tableView_titleForHeaderInSection(table, section), headers[size_t(section)]);
            ASSERT_EQ(table->numberOfRowsInSection(section), NSInteger(rows[size_t(section)].size()));
            for (NSInteger row = 0; row < table->numberOfRowsInSection(section); ++row) {
                auto path = NSIndexPath::indexPathForRow_inSection(row, section);
                table->scrollToRowAtIndexPath_atScrollPosition_animated(path, UITableViewScrollPositionMiddle, false);
                table->layoutIfNeeded();
                auto cell = table->cellForRowAtIndexPath(path);
                ASSERT_TRUE(cell);
                EXPECT_EQ(cell->textLabel()->text(), rows[size_t(section)][size_t(row)]);
                auto toggle = std::dynamic_pointer_cast<UISwitch>(cell->accessoryView());
                if (section == 0) {
                    EXPECT_FALSE(toggle);
                    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);
                } else {
                    ASSERT_TRUE(toggle);
                    EXPECT_EQ(toggle->tag(), section * 10 + row);
                }
            }
        }
        // Each account row pushes its screen; the switch rows open nothing.
        for (size_t row = 0; row < c.accountRows.size(); ++row) {
            screen->tableView_didSelectRowAtIndexPath(table, NSIndexPath::indexPathForRow_inSection(NSInteger(row), 0));
            drainMain();
            auto top = flow->topViewController();
            EXPECT_TRUE(row == 0 ? bool(std::dynamic_pointer_cast<MemberInfoController>(top))
                                 : bool(std::dynamic_pointer_cast<BindAccountController>(top)));
            flow->popViewControllerAnimated(false);
            drainMain();
        }
        screen->tableView_didSelectRowAtIndexPath(table, NSIndexPath::indexPathForRow_inSection(0, 2));
        drainMain();
        EXPECT_EQ(flow->topViewController(), screen);
        root->dismissModalViewControllerAnimated(false);
        drainMain();
    }
}

TEST_F(SettingsTest, NoticeSwitchesShowWhatTheServiceKeeps)
{
    struct Case {
        std::string reply;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {R"({"status":200,"result":{"data":{"1":"1,1,0,1,1"}}})", "11011"},
        {R"({"status":200,"result":{"data":{"1":"0,1"}}})", "01111"},
        {R"({"status":200,"result":{"data":{}}})", "11111"},
        {R"({"status":403,"msg":"请先登录"})", "11111"},
        {"不是JSON", "11111"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        serveSetting(c.reply);
        auto screen = openSettings();
        EXPECT_EQ(shownNotices(screen), c.shown);
        root->dismissModalViewControllerAnimated(false);
        drainMain();
    }
}

TEST_F(SettingsTest, UploadSwitchStaysOnThePhoneAndNoticesGoWholeToTheService)
{
    serveSetting(R"({"status":200,"result":{"data":{"1":"1,1,1,1,1"}}})");
    auto screen = openSettings();
    auto upload = switchAt(screen, 1, 0);
    ASSERT_TRUE(upload);
    EXPECT_FALSE(upload->isOn());
    flip(upload);
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey(SettingVC::kUploadSettingKey));

    // Turning off the shares notice sends all five, flag "1".
    flip(switchAt(screen, 2, 2));
    ASSERT_TRUE(pumpMainUntil([&] { return writes().size() == 1; }));
    const auto first = writes()[0];
    EXPECT_EQ(standin::findParam(first.formParams(), "flag"), "1");
    EXPECT_EQ(standin::findParam(first.formParams(), "value"), "1,1,0,1,1");
    EXPECT_TRUE(standin::findParam(first.formParams(), "token").has_value());

    // The write's reply carries no settings: the switches stay as the person set them, and the next
    // change sends them so.
    ASSERT_TRUE(pumpMainUntil([&] { return screen->userSetting().size() == 5 && writes().size() == 1; }));
    drainMain();
    screen->tableView()->reloadData();
    EXPECT_EQ(shownNotices(screen), "11011");
    auto visits = switchAt(screen, 2, 0);
    ASSERT_TRUE(visits);
    flip(visits);
    ASSERT_TRUE(pumpMainUntil([&] { return writes().size() == 2; }));
    EXPECT_EQ(standin::findParam(writes()[1].formParams(), "value"), "0,1,0,1,1");
}

// Against the service's own world: a switch the person taps is kept there, and the screen opened again
// shows it.
TEST_F(SettingsTest, ATappedNoticeSwitchIsShownAgainWhenTheScreenOpensAgain)
{
    auto screen = openSettings();
    EXPECT_EQ(shownNotices(screen), "11011");
    auto shares = switchAt(screen, 2, 2);
    ASSERT_TRUE(shares);
    const CGRect bounds = shares->bounds();
    UIScreenInput::tap(shares->convertPoint_toView(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)), nullptr));
    ASSERT_TRUE(pumpMainUntil([&] { return service.world().setting("1") == "1,1,1,1,1"; }));
    root->dismissModalViewControllerAnimated(false);
    drainMain();
    screen = nullptr;

    auto again = openSettings();
    EXPECT_EQ(shownNotices(again), "11111");
}

}  // namespace SettingsTest_cpp
}  // namespace
