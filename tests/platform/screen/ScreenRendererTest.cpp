// The screen stand-in without a display: the kept picture is redrawn only where layers changed and
// then equals a picture drawn whole; one finger's touches and the keyboard reach the windows, alerts
// and text inputs as a person's would.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIKeyboardView.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"

namespace {
namespace ScreenRendererTest_cpp {

const CGSize kScreen{320, 480};

struct Screen {
    Ref<UIWindow> window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    Ref<UILabel> title = UILabel::initWithFrame(CGRectMake(20, 40, 280, 30));
    Ref<UIView> box = UIView::initWithFrame(CGRectMake(40, 200, 100, 60));
    Ref<UIView> corner = UIView::initWithFrame(CGRectMake(250, 400, 50, 50));

    Screen()
    {
        window->setBackgroundColor(UIColor::whiteColor());
        title->setText("第一条视频 · A short clip");
        title->setFont(UIFont::systemFontOfSize(17));
        box->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.2, 0.4, 0.8, 1));
        box->layer()->setCornerRadius(8);
        corner->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.9, 0.3, 0.1, 0.6));
        for (const auto& view : {Ref<UIView>(title), box, corner}) {
            window->addSubview(view);
        }
        window->makeKeyAndVisible();
    }
};

bool samePixels(const CGContextRef& a, const CGContextRef& b)
{
    if (a->pixelWidth() != b->pixelWidth() || a->pixelHeight() != b->pixelHeight()) {
        return false;
    }
    for (size_t y = 0; y < a->pixelHeight(); ++y) {
        if (std::memcmp(static_cast<const char*>(a->data()) + y * a->bytesPerRow(),
                        static_cast<const char*>(b->data()) + y * b->bytesPerRow(), a->pixelWidth() * 4) != 0) {
            return false;
        }
    }
    return true;
}

TEST(ScreenRenderer, RedrawsOnlyWhatChangedAndThenShowsWhatAWholeDrawingShows)
{
    MainThreadScope main;
    struct Case {
        std::string name;
        std::function<void(Screen&)> change;
        bool local;  // drawn again in part of the screen only
    };
    const std::vector<Case> cases = {
        {"label text", [](Screen& s) { s.title->setText("第二条视频"); }, true},
        {"view moved", [](Screen& s) { s.box->setFrame(CGRectMake(60, 260, 100, 60)); }, true},
        {"view hidden", [](Screen& s) { s.corner->setHidden(true); }, true},
        {"view added", [](Screen& s) {
             auto added = UIView::initWithFrame(CGRectMake(10, 300, 30, 30));
             added->setBackgroundColor(UIColor::blackColor());
             s.window->addSubview(added);
         }, true},
        {"view removed", [](Screen& s) { s.box->removeFromSuperview(); }, true},
        {"colour and opacity", [](Screen& s) {
             s.box->setBackgroundColor(UIColor::greenColor());
             s.corner->setAlpha(0.3);
         }, true},
        {"alert shown", [](Screen&) {
             UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "网络不给力", nullptr,
                                                                                            "确定")->show();
         }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UIApplication::resetForTesting();
        Screen screen;
        UIScreenRenderer kept(kScreen, 2);
        ASSERT_TRUE(kept.renderFrame());
        EXPECT_EQ(kept.lastDrawnRect(), CGRectMake(0, 0, 320, 480));
        EXPECT_FALSE(kept.renderFrame()) << "nothing changed, nothing drawn";

        c.change(screen);
        ASSERT_TRUE(kept.renderFrame());
        const CGRect drawn = kept.lastDrawnRect();
        if (c.local) {
            EXPECT_LT(drawn.size.width * drawn.size.height, 320 * 480 / 2) << "drawn again: " << drawn.size.width
                                                                           << " x " << drawn.size.height;
        } else {
            EXPECT_EQ(drawn, CGRectMake(0, 0, 320, 480));
        }
        UIScreenRenderer whole(kScreen, 2, false);
        ASSERT_TRUE(whole.renderFrame());
        EXPECT_TRUE(samePixels(kept.context(), whole.context()));
        EXPECT_EQ(kept.context()->pixelWidth(), 640u);
        EXPECT_EQ(kept.context()->pixelHeight(), 960u);
    }
}

class Target : public NSObject {
public:
    void tapped() { ++taps; }
    int taps = 0;
};

class AlertAnswers : public UIAlertViewDelegate {
public:
    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>&, NSInteger index) override { clicked.push_back(index); }
    std::vector<NSInteger> clicked;
};

TEST(ScreenInput, FingersReachTheTopmostWindowTheAlertsButtonsAndTheFirstRespondersText)
{
    MainThreadScope main;
    Screen screen;
    auto target = std::make_shared<Target>();
    auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
    button->setFrame(CGRectMake(100, 100, 120, 44));
    button->addTarget_action_forControlEvents(target, UIControlAction::make("tapped", &Target::tapped),
                                              UIControlEventTouchUpInside);
    screen.window->addSubview(button);

    // Through the window's hit testing: a tap on the button is its action; a press dragged off and
    // released far away is not.
    EXPECT_EQ(UIScreenInput::tap(CGPointMake(160, 122)), button);
    EXPECT_EQ(target->taps, 1);
    UIScreenInput::touchDown(CGPointMake(160, 122));
    UIScreenInput::touchMoved(CGPointMake(160, 300));
    UIScreenInput::touchUp(CGPointMake(160, 400));
    EXPECT_EQ(target->taps, 1);
    EXPECT_FALSE(UIScreenInput::isTouching());

    // A window of a higher level over the button takes the finger instead.
    auto above = UIWindow::initWithFrame(CGRectMake(0, 80, 320, 100));
    above->setWindowLevel(UIWindowLevelAlert);
    above->setHidden(false);
    EXPECT_EQ(UIScreenInput::tap(CGPointMake(160, 122)), above);
    EXPECT_EQ(target->taps, 1);
    above->setHidden(true);

    // Typed keys go to the first responder.
    auto field = UITextField::initWithFrame(CGRectMake(20, 300, 280, 31));
    screen.window->addSubview(field);
    EXPECT_FALSE(UIScreenInput::typeText("x"));
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(UIScreenInput::typeText("小明 ab"));
    EXPECT_TRUE(UIScreenInput::pressDelete());
    EXPECT_EQ(field->text(), "小明 a");

    // While an alert shows it takes every finger: a release on one of its buttons clicks that button,
    // elsewhere nothing happens.
    auto answers = std::make_shared<AlertAnswers>();
    auto alert = UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles(
        "提示", "确定要退出吗?", answers, "取消", {"确定"});
    alert->show();
    EXPECT_EQ(UIScreenInput::tap(CGPointMake(160, 122)), nullptr);
    EXPECT_EQ(target->taps, 1);
    EXPECT_TRUE(answers->clicked.empty());
    const CGRect frame = UIWindowOverlayFrame(alert, UIScreenInput::screenSize());
    const CGRect ok = alert->buttonFrameAtIndex(1);
    UIScreenInput::tap(CGPointMake(frame.origin.x + CGRectGetMidX(ok), frame.origin.y + CGRectGetMidY(ok)));
    EXPECT_EQ(answers->clicked, std::vector<NSInteger>{1});
    EXPECT_FALSE(alert->isVisible());
    field->resignFirstResponder();
    UIKeyboard::reset();
}

class Screenful : public UIViewController {
public:
    void viewDidAppear(bool) override { ++appeared; }
    int appeared = 0;
};

TEST(ScreenInput, AControllerPresentedBeforeTheWindowShowsAppearsWithItAndTakesTheFingers)
{
    MainThreadScope main;
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    auto root = std::make_shared<Screenful>();
    window->setRootViewController(root);
    auto first = std::make_shared<Screenful>();
    root->presentModalViewController_animated(first, false);
    EXPECT_EQ(first->appeared, 0);

    window->makeKeyAndVisible();
    EXPECT_EQ(first->appeared, 1);
    ASSERT_EQ(first->view()->window(), window);
    EXPECT_EQ(UIScreenInput::tap(CGPointMake(160, 240)), first->view());
    first->dismissModalViewControllerAnimated(false);
    EXPECT_EQ(first->view()->window(), nullptr);
    EXPECT_EQ(UIScreenInput::tap(CGPointMake(160, 240)), root->view());
}

class Rows : public UITableViewDataSource, public UITableViewDelegate {
public:
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override { return 30; }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& path) override
    {
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, "Row");
        cell->textLabel()->setText("第" + std::to_string(path->row() + 1) + "行");
        return cell;
    }
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& path) override
    {
        selected.push_back(path->row());
    }
    void scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& view, bool) override
    {
        endedDragAt.push_back(view->contentOffset().y);
    }
    std::vector<NSInteger> selected;
    std::vector<CGFloat> endedDragAt;
};

void drag(CGPoint from, CGPoint to)
{
    UIScreenInput::touchDown(from);
    for (int step = 1; step <= 4; ++step) {
        UIScreenInput::touchMoved(CGPointMake(from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4));
    }
    UIScreenInput::touchUp(to);
}

TEST(ScreenInput, FingerDragsScrollTablesAndPagesAndTapsStillSelect)
{
    MainThreadScope main;
    Screen screen;
    auto rows = std::make_shared<Rows>();
    auto table = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
    table->setDataSource(rows);
    table->setDelegate(rows);
    screen.window->addSubview(table);
    table->reloadData();

    // Up by 300 points: the content follows the finger and no row is selected.
    drag(CGPointMake(160, 420), CGPointMake(160, 120));
    EXPECT_EQ(table->contentOffset().y, 300);
    EXPECT_TRUE(rows->selected.empty());
    EXPECT_FALSE(table->isDragging());
    // A tap selects the row under it (row 300 / 44 + 1 from the top of the content).
    UIScreenInput::tap(CGPointMake(160, 30));
    EXPECT_EQ(rows->selected, std::vector<NSInteger>{NSInteger((300 + 30) / 44)});

    // Pulled down past the top by 200 points, it stands 100 points out when let go (the delegate hears
    // that), then goes back to the top.
    table->setContentOffset(CGPointMake(0, 0));
    drag(CGPointMake(160, 100), CGPointMake(160, 300));
    ASSERT_EQ(rows->endedDragAt.size(), 2u);
    EXPECT_EQ(rows->endedDragAt.back(), -100);
    EXPECT_EQ(table->contentOffset().y, 0);
    table->removeFromSuperview();

    // A paging view swiped left by a third of a page settles on the next page.
    auto pages = UIView::makeWithFrame<UIScrollView>(CGRectMake(0, 0, 320, 480));
    pages->setContentSize(CGSizeMake(320 * 3, 480));
    pages->setPagingEnabled(true);
    screen.window->addSubview(pages);
    drag(CGPointMake(250, 240), CGPointMake(140, 240));
    EXPECT_EQ(pages->contentOffset(), CGPointMake(320, 0));
    drag(CGPointMake(100, 240), CGPointMake(200, 240));
    EXPECT_EQ(pages->contentOffset(), CGPointMake(0, 0));
}

TEST(ScreenInput, TheWheelScrollsTheScrollViewUnderThePointerAndBouncesBack)
{
    MainThreadScope main;
    ScopedManualClock clock;
    Screen screen;
    // Pages side by side, the first holding a table: the table takes vertical turns, the pages
    // sideways ones.
    auto pages = UIView::makeWithFrame<UIScrollView>(CGRectMake(0, 0, 320, 480));
    pages->setContentSize(CGSizeMake(640, 480));
    screen.window->addSubview(pages);
    auto rows = std::make_shared<Rows>();
    auto table = UITableView::initWithFrame_style(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
    table->setDataSource(rows);
    table->setDelegate(rows);
    pages->addSubview(table);
    table->reloadData();
    const CGFloat bottom = 30 * 44 - 480;

    const struct {
        CGPoint delta;
        CGFloat tableY;
        CGFloat pagesX;
    } turns[] = {
        {{0, 120}, 120, 0},
        {{0, -40}, 80, 0},
        {{0, 2000}, bottom + 60, 0},  // past the end by half what is left, at most 60 points
        {{0, -80}, bottom - 80, 0},   // the next turn moves from the end
        {{0, -(bottom - 80)}, 0, 0},
        {{0, -60}, -30, 0},
        {{100, 0}, -30, 100},     // nothing to move sideways in the table: the pages take it
    };
    for (const auto& turn : turns) {
        EXPECT_TRUE(UIScreenInput::scrollWheel(CGPointMake(160, 240), turn.delta));
        EXPECT_EQ(table->contentOffset().y, turn.tableY) << turn.delta.y;
        EXPECT_EQ(pages->contentOffset().x, turn.pagesX) << turn.delta.x;
    }
    EXPECT_TRUE(rows->selected.empty());
    // At rest, what was pulled past the top goes back.
    clock.advance(0.25);
    EXPECT_EQ(table->contentOffset().y, 0);
    // Over nothing that scrolls, the wheel does nothing.
    pages->removeFromSuperview();
    EXPECT_FALSE(UIScreenInput::scrollWheel(CGPointMake(160, 240), CGPointMake(0, 40)));
}

TEST(ScreenInput, KeysClickedOnTheDrawnKeyboardTypeIntoTheField)
{
    MainThreadScope main;
    ScopedManualClock clock;
    Screen screen;
    auto field = UITextField::initWithFrame(CGRectMake(20, 100, 280, 31));
    field->setReturnKeyType(UIReturnKeySend);
    screen.window->addSubview(field);
    EXPECT_FALSE(UIKeyboard::keyboardView());
    UIScreenInput::tap(CGPointMake(100, 115));
    ASSERT_TRUE(field->isFirstResponder());
    Ref<UIKeyboardView> keyboard = UIKeyboard::keyboardView();
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(keyboard->window());
    EXPECT_EQ(keyboard->window()->frame(), UIKeyboard::frame());
    EXPECT_EQ(keyboard->returnKeyTitle(), "发送");

    auto click = [&](const std::string& key) {
        const CGRect frame = keyboard->frameOfKey(key);
        ASSERT_FALSE(CGRectIsNull(frame)) << key << " on page " << int(keyboard->page());
        const CGRect onScreen = keyboard->convertRect_toView(frame, nullptr);
        const CGPoint screenPoint = CGPointMake(CGRectGetMidX(onScreen) + UIKeyboard::frame().origin.x,
                                                CGRectGetMidY(onScreen) + UIKeyboard::frame().origin.y);
        UIScreenInput::tap(screenPoint);
    };
    for (const char* key : {"shift", "H", "i", "space", "123", "4", "2", "#+=", "€", "ABC", "x", "delete"}) {
        click(key);
    }
    EXPECT_EQ(field->text(), "Hi 42€");
    EXPECT_EQ(keyboard->page(), UIKeyboardView::Letters);
    EXPECT_FALSE(keyboard->isShifted()) << "shift lasts one letter";

    // The return key is the field's return: here it ends the editing, and the keyboard goes.
    field->addTarget_action_forControlEvents(
        field, UIControlAction::block("resign", [](const Ref<UIControl>& sender, const Ref<UIEvent>&) {
            sender->resignFirstResponder();
        }),
        UIControlEventEditingDidEndOnExit);
    click("return");
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(UIKeyboard::keyboardView());
    // "收起" puts the keyboard away without a return.
    UIScreenInput::tap(CGPointMake(100, 115));
    keyboard = UIKeyboard::keyboardView();
    ASSERT_TRUE(keyboard);
    click("hide");
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(field->text(), "Hi 42€");
    UIKeyboard::reset();
}

}  // namespace ScreenRendererTest_cpp
}  // namespace
