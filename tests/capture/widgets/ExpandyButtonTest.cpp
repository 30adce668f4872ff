// The expanding option button: its geometry collapsed and open, choosing through taps, the
// value-changed event only for a new choice, and an index past the options ignored.
#include <gtest/gtest.h>

#include "capture/widgets/ExpandyButton.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace ExpandyButtonTest_cpp {

std::vector<CGRect> labelFrames(const Ref<ExpandyButton>& button)
{
    std::vector<CGRect> frames;
    for (const auto& label : button->labels()) {
        frames.push_back(label->frame());
    }
    return frames;
}

class ExpandyButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
        button = ExpandyButton::initWithPoint_title_buttonNames_selectedItem(CGPointMake(10, 20), "闪光灯",
                                                                           {"自动", "开", "关"}, 1);
        window->addSubview(button);
        button->addTarget_action_forControlEvents(
            button, UIControlAction::block("changed", [this](const Ref<UIControl>&, const Ref<UIEvent>&) { ++changes; }),
            UIControlEventValueChanged);
    }
    // A tap at a point of the control's own space.
    void tapAt(CGFloat x, CGFloat y) { window->simulateTap(CGPointMake(button->frame().origin.x + x, button->frame().origin.y + y)); }

    MainThreadScope main;
    Ref<UIWindow> window;
    Ref<ExpandyButton> button;
    int changes = 0;
};

}  // namespace ExpandyButtonTest_cpp
}  // namespace

using ExpandyButtonTest_cpp::ExpandyButtonTest;
using ExpandyButtonTest_cpp::labelFrames;

TEST_F(ExpandyButtonTest, CollapsedAndOpenGeometry)
{
    EXPECT_EQ(button->frame(), CGRectMake(10, 20, 104, 32));
    EXPECT_EQ(button->frameShrunk(), CGRectMake(10, 20, 104, 32));
    EXPECT_EQ(button->frameExpanded(), CGRectMake(10, 20, 184, 32));
    EXPECT_FLOAT_EQ(button->buttonWidth(), 40);
    EXPECT_EQ(button->titleLabel()->frame(), CGRectMake(8, 9, 44, 16));
    EXPECT_EQ(button->titleLabel()->text(), "闪光灯");
    EXPECT_EQ(button->layer()->cornerRadius(), 15);
    EXPECT_EQ(button->layer()->borderWidth(), 1);
    EXPECT_FALSE(button->expanded());
    EXPECT_EQ(button->selectedItem(), 1);
    EXPECT_EQ(labelFrames(button),
              (std::vector<CGRect>{CGRectMake(54, -3, 0, 39), CGRectMake(54, -3, 40, 39), CGRectMake(94, -3, 0, 39)}));
    EXPECT_EQ(changes, 0) << "made with a choice: no event";

    // The shorter initialisers: width 40, the first option.
    auto plain = ExpandyButton::initWithPoint_title_buttonNames(CGPointZero, "t", {"a", "b"});
    EXPECT_EQ(plain->selectedItem(), 0);
    EXPECT_EQ(plain->frame(), CGRectMake(0, 0, 104, 32));
    EXPECT_EQ(plain->frameExpanded(), CGRectMake(0, 0, 144, 32));
    auto wide = ExpandyButton::initWithPoint_title_buttonNames_selectedItem_buttonWidth(CGPointZero, "t", {"a", "b"}, 0, 60);
    EXPECT_EQ(wide->frame().size, CGSizeMake(124, 32));
    EXPECT_EQ(wide->frameExpanded().size, CGSizeMake(184, 32));

    tapAt(70, 16);
    EXPECT_TRUE(button->expanded());
    EXPECT_EQ(button->frame(), CGRectMake(10, 20, 184, 32));
    EXPECT_EQ(labelFrames(button),
              (std::vector<CGRect>{CGRectMake(54, -3, 40, 39), CGRectMake(94, -3, 40, 39), CGRectMake(134, -3, 40, 39)}));
    EXPECT_EQ(button->labels()[1]->font()->fontName(), UIFont::boldSystemFontOfSize(14)->fontName());
    EXPECT_EQ(button->labels()[0]->font()->fontName(), UIFont::systemFontOfSize(14)->fontName());
    EXPECT_EQ(changes, 0);
}

TEST_F(ExpandyButtonTest, ChoosingSendsValueChangedOnlyForANewChoice)
{
    struct Step {
        const char* name;
        CGFloat optionX;  // where the option is touched once the control is open
        int32_t selected;
        int changes;
    };
    for (const Step& s : {Step{"the third option", 150, 2, 1}, Step{"the same again", 150, 2, 1},
                          Step{"the first option", 60, 0, 2}}) {
        SCOPED_TRACE(s.name);
        tapAt(70, 16);
        ASSERT_TRUE(button->expanded());
        tapAt(s.optionX, 16);
        EXPECT_FALSE(button->expanded());
        EXPECT_EQ(button->selectedItem(), s.selected);
        EXPECT_EQ(changes, s.changes);
        EXPECT_EQ(button->frame(), CGRectMake(10, 20, 104, 32));
        EXPECT_EQ(button->labels()[static_cast<size_t>(s.selected)]->frame(), CGRectMake(54, -3, 40, 39));
    }

    // An index at or past the count, or below zero, changes nothing.
    for (int32_t index : {3, 7, -1}) {
        SCOPED_TRACE(index);
        const std::vector<CGRect> before = labelFrames(button);
        button->setSelectedItem(index);
        EXPECT_EQ(button->selectedItem(), 0);
        EXPECT_EQ(labelFrames(button), before);
        EXPECT_EQ(changes, 2);
    }
    button->setSelectedItem(1);
    EXPECT_EQ(changes, 3);
}
