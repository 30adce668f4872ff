// Editing text where a person puts the caret: taps, the caret keys with and without Shift, the
// clipboard commands, and what the delegate hears of each change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UITextView.h"

namespace {

class RangeLog : public NSObject, public UITextFieldDelegate, public UITextViewDelegate {
public:
    std::vector<std::string> changes;
    bool textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>&, NSRange range,
                                                                   const std::string& s) override
    {
        changes.push_back(std::to_string(range.location) + "+" + std::to_string(range.length) + " '" + s + "'");
        return true;
    }
    bool textView_shouldChangeTextInRange_replacementText(const Ref<UITextView>&, NSRange range,
                                                          const std::string& s) override
    {
        changes.push_back(std::to_string(range.location) + "+" + std::to_string(range.length) + " '" + s + "'");
        return true;
    }
};

// Keys as letters: L R H E move the caret, l r h e the same with Shift.
void press(const std::string& keys)
{
    for (char k : keys) {
        const bool shift = std::islower(static_cast<unsigned char>(k)) != 0;
        const char key = char(std::toupper(static_cast<unsigned char>(k)));
        const UITextCaretKey caret = key == 'L'   ? UITextCaretKey::Left
                                     : key == 'R' ? UITextCaretKey::Right
                                     : key == 'H' ? UITextCaretKey::Home
                                                  : UITextCaretKey::End;
        ASSERT_TRUE(UIKeyboard::pressCaretKey(caret, shift));
    }
}

std::string rangeText(NSRange r) { return std::to_string(r.location) + "+" + std::to_string(r.length); }

}  // namespace

TEST(UITextEditingTest, CaretKeysMoveAndShiftSelectsFromWhereItBegan)
{
    Stage stage;
    auto field = UITextField::initWithFrame(CGRectMake(10, 10, 300, 30));
    stage.window->addSubview(field);
    EXPECT_FALSE(UIKeyboard::pressCaretKey(UITextCaretKey::Left, false));  // nothing is editing

    const struct {
        const char* text;
        NSRange start;
        const char* keys;
        const char* selection;
    } cases[] = {
        {"hello", {5, 0}, "LL", "3+0"},
        {"hello", {5, 0}, "H", "0+0"},
        {"hello", {0, 0}, "LLE", "5+0"},          // nothing left of the start
        {"hello", {5, 0}, "RR", "5+0"},           // nor right of the end
        {"a😀b", {3, 0}, "L", "1+0"},            // a surrogate pair is one character
        {"a😀b", {1, 0}, "R", "3+0"},
        {"hello", {1, 3}, "L", "1+0"},            // an arrow collapses a selection to its side
        {"hello", {1, 3}, "R", "4+0"},
        {"hello", {3, 0}, "ll", "1+2"},           // Shift grows from the caret...
        {"hello", {3, 0}, "llrrr", "3+1"},        // ...and crosses it, keeping where it began
        {"hello", {2, 0}, "e", "2+3"},
        {"hello", {2, 0}, "eh", "0+2"},           // the anchored end stays put
        {"你好世界", {4, 0}, "lL", "3+0"},
        {"a😀b", {0, 0}, "rr", "0+3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + c.keys);
        field->setText(c.text);
        ASSERT_TRUE(field->becomeFirstResponder());
        field->setSelectedRange(c.start);
        press(c.keys);
        EXPECT_EQ(rangeText(field->selectedRange()), c.selection);
    }

    // Lines of a text view: Home and End stop at the line's breaks.
    auto view = UITextView::initWithFrame(CGRectMake(10, 60, 300, 200));
    stage.window->addSubview(view);
    view->setText("one\ntwo\nthree");
    ASSERT_TRUE(view->becomeFirstResponder());
    view->setSelectedRange(NSMakeRange(5, 0));
    press("H");
    EXPECT_EQ(rangeText(view->selectedRange()), "4+0");
    press("e");
    EXPECT_EQ(rangeText(view->selectedRange()), "4+3");
    press("R");  // collapses to the selection's end, the line's break
    EXPECT_EQ(rangeText(view->selectedRange()), "7+0");
    press("RE");
    EXPECT_EQ(rangeText(view->selectedRange()), "13+0");
}

TEST(UITextEditingTest, TypingAtTheCaretAndTheClipboardShowTheDelegateTheRealRange)
{
    Stage stage;
    auto log = std::make_shared<RangeLog>();
    auto field = UITextField::initWithFrame(CGRectMake(10, 10, 300, 30));
    field->setDelegate(log);
    stage.window->addSubview(field);
    UIPasteboard::generalPasteboard()->setString("");
    field->setText("hello");
    ASSERT_TRUE(field->becomeFirstResponder());

    press("LL");
    UIKeyboard::typeText("X");
    press("ll");
    UIKeyboard::typeText("Y");          // typing replaces the selection
    press("ll");
    UIKeyboard::pressDelete();          // as does the delete key
    EXPECT_EQ(field->text(), "hlo");
    EXPECT_EQ(rangeText(field->selectedRange()), "1+0");

    EXPECT_FALSE(UIKeyboard::pressCommand('c'));  // nothing selected: nothing copied
    press("rr");
    EXPECT_TRUE(UIKeyboard::pressCommand('x'));
    EXPECT_EQ(UIPasteboard::generalPasteboard()->string(), "lo");
    EXPECT_TRUE(UIKeyboard::pressCommand('a'));
    EXPECT_EQ(rangeText(field->selectedRange()), "0+1");
    EXPECT_TRUE(UIKeyboard::pressCommand('c'));
    EXPECT_EQ(UIPasteboard::generalPasteboard()->string(), "h");
    press("E");
    UIPasteboard::generalPasteboard()->setString("a\nb");
    EXPECT_TRUE(UIKeyboard::pressCommand('v'));
    EXPECT_EQ(field->text(), "ha b");  // one line: a pasted break becomes a space
    EXPECT_EQ(log->changes,
              (std::vector<std::string>{"3+0 'X'", "2+2 'Y'", "1+2 ''", "1+2 ''", "1+0 'a b'"}));

    // A secure field keeps its text to itself: no copy, no cut.
    auto secret = UITextField::initWithFrame(CGRectMake(10, 50, 300, 30));
    secret->setSecureTextEntry(true);
    stage.window->addSubview(secret);
    secret->setText("pass");
    ASSERT_TRUE(secret->becomeFirstResponder());
    UIKeyboard::pressCommand('a');
    EXPECT_FALSE(UIKeyboard::pressCommand('c'));
    EXPECT_FALSE(UIKeyboard::pressCommand('x'));
    EXPECT_EQ(secret->text(), "pass");
    EXPECT_EQ(UIPasteboard::generalPasteboard()->string(), "a\nb");

    // A text view hears the same ranges.
    auto view = UITextView::initWithFrame(CGRectMake(10, 100, 300, 100));
    view->setDelegate(log);
    stage.window->addSubview(view);
    view->setText("ab\ncd");
    ASSERT_TRUE(view->becomeFirstResponder());
    log->changes.clear();
    press("Hh");  // already at the line's start
    EXPECT_EQ(rangeText(view->selectedRange()), "3+0");
    press("l");   // Shift+Left takes the line break
    EXPECT_EQ(rangeText(view->selectedRange()), "2+1");
    UIKeyboard::typeText("-");
    EXPECT_EQ(view->text(), "ab-cd");
    EXPECT_EQ(log->changes, std::vector<std::string>{"2+1 '-'"});
}

TEST(UITextEditingTest, ATapPutsTheCaretAtTheNearestCharacterAndItIsDrawnThere)
{
    Stage stage;
    const struct {
        UITextAlignment alignment;
        UITextBorderStyle border;
        bool secure;
    } looks[] = {
        {UITextAlignmentLeft, UITextBorderStyleNone, false},
        {UITextAlignmentCenter, UITextBorderStyleRoundedRect, false},
        {UITextAlignmentRight, UITextBorderStyleLine, true},
    };
    for (const auto& look : looks) {
        SCOPED_TRACE(int(look.alignment));
        auto field = UITextField::initWithFrame(CGRectMake(10, 10, 300, 30));
        field->setFont(UIFont::systemFontOfSize(17));
        field->setTextAlignment(look.alignment);
        field->setBorderStyle(look.border);
        field->setSecureTextEntry(look.secure);
        field->setText("Wide 你好 text");
        stage.window->addSubview(field);
        const NSUInteger length = NSString::length(field->text());
        CGFloat last = -1;
        for (NSUInteger i = 0; i <= length; ++i) {
            const CGRect caret = field->caretRectForIndex(i);
            EXPECT_GT(caret.origin.x, last) << "the caret moves right with every character";
            last = caret.origin.x;
            // A tap a point beside the caret's place puts it there (the first tap begins editing).
            stage.window->simulateTap(field->convertPoint_toView(CGPointMake(caret.origin.x + 1, 15), nullptr));
            ASSERT_TRUE(field->isFirstResponder());
            EXPECT_EQ(rangeText(field->selectedRange()), std::to_string(i) + "+0");
        }
        field->removeFromSuperview();
    }

    // The caret is drawn while editing, in the tint's blue, where the caret rect says.
    auto field = UITextField::initWithFrame(CGRectMake(0, 0, 200, 30));
    field->setText("abc");
    stage.window->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    field->setSelectedRange(NSMakeRange(1, 0));
    EXPECT_TRUE(field->isCaretShown());
    field->layer()->layoutAndDisplayTreeIfNeeded();
    const CGRect caret = field->caretRectForIndex(1);
    bool drawn = false;
    for (const auto& record : field->layer()->drawing()->records()) {
        drawn = drawn || CGRectEqualToRect(record.rect, caret);
    }
    EXPECT_TRUE(drawn);

    // Text views: a tap on the second line lands on it.
    auto view = UITextView::initWithFrame(CGRectMake(0, 100, 300, 200));
    view->setFont(UIFont::systemFontOfSize(17));
    view->setText("first\nsecond line");
    stage.window->addSubview(view);
    const CGRect at = view->caretRectForIndex(9);  // "sec|ond"
    EXPECT_GT(at.origin.y, view->caretRectForIndex(2).origin.y);
    stage.window->simulateTap(view->convertPoint_toView(CGPointMake(at.origin.x + 1, CGRectGetMidY(at)), nullptr));
    ASSERT_TRUE(view->isFirstResponder());
    EXPECT_EQ(rangeText(view->selectedRange()), "9+0");
}
