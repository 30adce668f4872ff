#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UITextField.h"

namespace {

class Answers : public NSObject, public UIAlertViewDelegate, public UIActionSheetDelegate {
public:
    std::vector<std::string> events;
    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alert, NSInteger index) override
    {
        events.push_back("clicked " + alert->buttonTitleAtIndex(index));
    }
    void willPresentAlertView(const Ref<UIAlertView>&) override { events.push_back("will present"); }
    void didPresentAlertView(const Ref<UIAlertView>& alert) override
    {
        events.push_back(std::string("did present, visible ") + (alert->isVisible() ? "yes" : "no"));
    }
    void alertView_willDismissWithButtonIndex(const Ref<UIAlertView>&, NSInteger index) override
    {
        events.push_back("will dismiss " + std::to_string(index));
    }
    void alertView_didDismissWithButtonIndex(const Ref<UIAlertView>& alert, NSInteger index) override
    {
        events.push_back("did dismiss " + std::to_string(index) + (alert->isVisible() ? " (visible)" : ""));
    }
    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& sheet, NSInteger index) override
    {
        events.push_back("sheet clicked " + sheet->buttonTitleAtIndex(index));
    }
    void actionSheet_didDismissWithButtonIndex(const Ref<UIActionSheet>&, NSInteger index) override
    {
        events.push_back("sheet did dismiss " + std::to_string(index));
    }
};

}  // namespace

TEST(UIAlertViewTest, CancelIsZeroAndTheOthersFollow)
{
    Stage stage;
    auto answers = std::make_shared<Answers>();
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "网络失败", "msg", answers, "取消", {"重试", "设置"});
    EXPECT_EQ(alert->buttonTitles(), (std::vector<std::string>{"取消", "重试", "设置"}));
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->addButtonWithTitle("更多"), 3);

    auto plain = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("t", "m", nullptr, "",
                                                                                                 {"确定"});
    EXPECT_EQ(plain->cancelButtonIndex(), -1);
    EXPECT_EQ(plain->firstOtherButtonIndex(), 0);
    EXPECT_EQ(plain->buttonTitleAtIndex(5), "");
}

TEST(UIAlertViewTest, ShownAlertsAreRecordedAndAnsweredAsOnThePhone)
{
    Stage stage;
    auto answers = std::make_shared<Answers>();
    {
        auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
            "Title", "Message", answers, "Cancel", {"OK"});
        alert->setTag(7);
        alert->show();
    }  // the screen drops its reference: the system keeps a shown alert
    Ref<UIAlertView> shown = UIAlertView::currentAlert();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->message(), "Message");
    EXPECT_EQ(shown->tag(), 7);
    EXPECT_EQ(answers->events, (std::vector<std::string>{"will present", "did present, visible yes"}));
    answers->events.clear();

    shown->simulateClickButtonWithTitle("OK");
    EXPECT_EQ(answers->events, (std::vector<std::string>{"clicked OK", "will dismiss 1", "did dismiss 1"}));
    EXPECT_FALSE(UIAlertView::currentAlert());
    EXPECT_EQ(UIAlertView::shownAlerts().size(), 1u);
    EXPECT_THROW(shown->simulateClickButtonAtIndex(0), NSException);  // no longer on show

    // The program closing an alert calls only the dismissal; the system's cancel clicks cancel.
    answers->events.clear();
    shown->show();
    shown->dismissWithClickedButtonIndex_animated(0, true);
    EXPECT_EQ(answers->events,
              (std::vector<std::string>{"will present", "did present, visible yes", "will dismiss 0", "did dismiss 0"}));
    answers->events.clear();
    shown->show();
    shown->simulateSystemCancel();
    EXPECT_EQ(answers->events[2], "clicked Cancel");
    EXPECT_THROW(UIAlertView::shownAlerts().back()->simulateClickButtonAtIndex(5), NSException);
}

TEST(UIAlertViewTest, AlertsQueueOneAtATimeInTheOrderShown)
{
    Stage stage;
    auto answers = std::make_shared<Answers>();
    auto make = [&](const std::string& title) {
        return UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(title, "", answers, "确定");
    };
    auto first = make("first");
    auto second = make("second");
    auto dropped = make("dropped");
    auto third = make("third");
    for (const auto& alert : {first, second, dropped, third}) {
        alert->show();
    }
    second->show();  // already waiting: no second place in the queue
    EXPECT_EQ(UIAlertView::visibleAlerts(), (std::vector<Ref<UIAlertView>>{first}));
    EXPECT_EQ(UIAlertView::waitingAlerts(), (std::vector<Ref<UIAlertView>>{second, dropped, third}));
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(answers->events, (std::vector<std::string>{"will present", "did present, visible yes"}));

    // Closed by the program before its turn, an alert never shows and tells nobody.
    dropped->dismissWithClickedButtonIndex_animated(0, false);
    answers->events.clear();
    std::vector<std::string> onShow;
    for (int i = 0; i < 3 && UIAlertView::currentAlert(); ++i) {
        onShow.push_back(UIAlertView::currentAlert()->title());
        UIAlertView::currentAlert()->simulateClickButtonAtIndex(0);
    }
    EXPECT_EQ(onShow, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_FALSE(UIAlertView::currentAlert());
    EXPECT_TRUE(UIAlertView::waitingAlerts().empty());
    // Each dismissal is told before the next alert presents.
    EXPECT_EQ(std::vector<std::string>(answers->events.begin(), answers->events.begin() + 5),
              (std::vector<std::string>{"clicked 确定", "will dismiss 0", "did dismiss 0", "will present",
                                        "did present, visible yes"}));
}

TEST(UIAlertViewTest, TextFieldsOfAnAlertTakeTheKeyboard)
{
    Stage stage;
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("Login", "", nullptr,
                                                                                                 "Cancel", {"OK"});
    alert->setAlertViewStyle(UIAlertViewStyleLoginAndPasswordInput);
    EXPECT_FALSE(alert->textFieldAtIndex(0)->isSecureTextEntry());
    EXPECT_TRUE(alert->textFieldAtIndex(1)->isSecureTextEntry());
    EXPECT_THROW(alert->textFieldAtIndex(2), NSException);
    // A field the screen adds itself, as the older platform required.
    auto own = UITextField::initWithFrame(CGRectMake(12, 45, 260, 25));
    own->setTag(99);
    alert->addSubview(own);
    alert->show();
    EXPECT_TRUE(alert->textFieldAtIndex(0)->isFirstResponder());
    EXPECT_TRUE(UIKeyboard::isVisible());
    UIKeyboard::typeText("me");
    EXPECT_EQ(alert->textFieldAtIndex(0)->text(), "me");
    EXPECT_EQ(alert->viewWithTag(99), own);
    alert->simulateClickButtonAtIndex(1);
    EXPECT_FALSE(alert->textFieldAtIndex(0)->isFirstResponder());
}

TEST(UIActionSheetTest, DestructiveFirstThenOthersThenCancel)
{
    struct Case {
        std::string cancel;
        std::string destructive;
        std::vector<std::string> others;
        std::vector<std::string> order;
        NSInteger cancelIndex;
        NSInteger destructiveIndex;
        NSInteger firstOther;
    };
    const std::vector<Case> cases = {
        {"取消", "删除", {}, {"删除", "取消"}, 1, 0, -1},
        {"取消", "", {"拍摄", "导入"}, {"拍摄", "导入", "取消"}, 2, -1, 0},
        {"Cancel", "Delete", {"Share", "Copy"}, {"Delete", "Share", "Copy", "Cancel"}, 3, 0, 1},
        {"", "", {"A"}, {"A"}, -1, -1, 0},
    };
    Stage stage;
    for (const Case& c : cases) {
        auto sheet = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
            "", nullptr, c.cancel, c.destructive, c.others);
        EXPECT_EQ(sheet->buttonTitles(), c.order);
        EXPECT_EQ(sheet->cancelButtonIndex(), c.cancelIndex);
        EXPECT_EQ(sheet->destructiveButtonIndex(), c.destructiveIndex);
        EXPECT_EQ(sheet->firstOtherButtonIndex(), c.firstOther);
    }
    // Built button by button, the screen sets the cancel index itself.
    auto sheet = UIActionSheet::create();
    EXPECT_EQ(sheet->addButtonWithTitle("Copy Link"), 0);
    EXPECT_EQ(sheet->addButtonWithTitle("Open in Safari"), 1);
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle("Cancel"));
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);
}

TEST(UIActionSheetTest, ShownSheetsAreRecordedWithWhereTheyCameFrom)
{
    Stage stage;
    auto answers = std::make_shared<Answers>();
    auto item = UIBarButtonItem::initWithBarButtonSystemItem_target_action(UIBarButtonSystemItemAction, nullptr, {});
    auto sheet = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "分享", answers, "取消", "删除", {"微博"});
    sheet->showFromBarButtonItem_animated(item, true);
    ASSERT_EQ(UIActionSheet::currentSheet(), sheet);
    EXPECT_EQ(sheet->shownFrom(), UIActionSheet::ShownFrom::BarButtonItem);
    EXPECT_EQ(sheet->shownFromBarButtonItem(), item);
    UIActionSheet::currentSheet()->simulateClickButtonAtIndex(0);
    EXPECT_EQ(answers->events, (std::vector<std::string>{"sheet clicked 删除", "sheet did dismiss 0"}));
    EXPECT_FALSE(UIActionSheet::currentSheet());

    sheet->showInView(stage.window);
    EXPECT_EQ(sheet->shownInView(), stage.window);
    answers->events.clear();
    sheet->simulateSystemCancel();
    EXPECT_EQ(answers->events, (std::vector<std::string>{"sheet clicked 取消", "sheet did dismiss 2"}));
    EXPECT_EQ(UIActionSheet::shownSheets().size(), 2u);
}
