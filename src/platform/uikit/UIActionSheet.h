#pragma once
// Action sheets: a title and a column of buttons sliding up from the bottom.
//
// Button indexes are the platform's: made with init, the destructive button (when given) is first,
// the other buttons follow in the order given and the cancel button (when given) is last;
// addButtonWithTitle appends and answers the new index (screens that add every button set the
// cancel and destructive indexes themselves).
//
// Headless, a shown sheet is recorded with where it was shown from (a view, a toolbar, a tab bar, a
// bar item or a rectangle): visibleSheets(), currentSheet() (the last shown), shownSheets() (every
// sheet shown since resetRecords()). A test answers the sheet on top by index or title:
//     UIActionSheet::currentSheet()->simulateClickButtonAtIndex(0);
// which calls the delegate as the phone does: clickedButtonAtIndex, willDismissWithButtonIndex, then
// didDismissWithButtonIndex. simulateSystemCancel is the system closing it (actionSheetCancel, whose
// default clicks the cancel button).
#include <string>
#include <vector>

#include "platform/uikit/UIView.h"

class UIActionSheet;
class UIBarButtonItem;

enum UIActionSheetStyle : NSInteger {
    UIActionSheetStyleAutomatic = -1,
    UIActionSheetStyleDefault = 0,
    UIActionSheetStyleBlackTranslucent = 2,
    UIActionSheetStyleBlackOpaque = 1,
};

class UIActionSheetDelegate {
public:
    virtual ~UIActionSheetDelegate() = default;
    virtual void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) {}
    // The system cancels the sheet; by default, as a click on the cancel button.
    virtual void actionSheetCancel(const Ref<UIActionSheet>& actionSheet);
    virtual void willPresentActionSheet(const Ref<UIActionSheet>& actionSheet) {}
    virtual void didPresentActionSheet(const Ref<UIActionSheet>& actionSheet) {}
    virtual void actionSheet_willDismissWithButtonIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex)
    {
    }
    virtual void actionSheet_didDismissWithButtonIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex)
    {
    }
};

class UIActionSheet : public UIView {
public:
    // Empty titles mean none.
    static Ref<UIActionSheet> initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        const std::string& title, const Ref<UIActionSheetDelegate>& delegate, const std::string& cancelButtonTitle,
        const std::string& destructiveButtonTitle, const std::vector<std::string>& otherButtonTitles = {});
    static Ref<UIActionSheet> create() { return makeWithFrame<UIActionSheet>(CGRectZero); }

    const std::string& title() const { return title_; }
    void setTitle(const std::string& title) { title_ = title; }
    Ref<UIActionSheetDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UIActionSheetDelegate>& delegate) { delegate_ = delegate; }
    UIActionSheetStyle actionSheetStyle() const { return style_; }
    void setActionSheetStyle(UIActionSheetStyle style) { style_ = style; }

    NSInteger addButtonWithTitle(const std::string& title);
    NSInteger numberOfButtons() const { return NSInteger(buttons_.size()); }
    std::string buttonTitleAtIndex(NSInteger index) const;
    const std::vector<std::string>& buttonTitles() const { return buttons_; }
    NSInteger cancelButtonIndex() const { return cancelIndex_; }
    void setCancelButtonIndex(NSInteger index) { cancelIndex_ = index; }
    NSInteger destructiveButtonIndex() const { return destructiveIndex_; }
    void setDestructiveButtonIndex(NSInteger index) { destructiveIndex_ = index; }
    // The first button that is neither destructive nor cancel; -1 when none.
    NSInteger firstOtherButtonIndex() const;

    bool isVisible() const { return visible_; }
    void showInView(const Ref<UIView>& view);
    void showFromToolbar(const Ref<UIView>& toolbar);
    void showFromTabBar(const Ref<UIView>& tabBar);
    void showFromBarButtonItem_animated(const Ref<UIBarButtonItem>& item, bool animated);
    void showFromRect_inView_animated(CGRect rect, const Ref<UIView>& view, bool animated);
    void dismissWithClickedButtonIndex_animated(NSInteger buttonIndex, bool animated);

    // Where the sheet was last shown from.
    enum class ShownFrom { None, View, Toolbar, TabBar, BarButtonItem, Rect };
    ShownFrom shownFrom() const { return shownFrom_; }
    Ref<UIView> shownInView() const { return shownInView_.lock(); }
    Ref<UIBarButtonItem> shownFromBarButtonItem() const { return shownFromItem_.lock(); }
    CGRect shownFromRect() const { return shownFromRect_; }

    // Where the button of the index is drawn, in the view's coordinates (null past the buttons).
    CGRect buttonFrameAtIndex(NSInteger index) const;

    // --- Test driving ---
    void simulateClickButtonAtIndex(NSInteger buttonIndex);
    void simulateClickButtonWithTitle(const std::string& title);
    void simulateSystemCancel();

    static std::vector<Ref<UIActionSheet>> visibleSheets();
    static Ref<UIActionSheet> currentSheet();
    static std::vector<Ref<UIActionSheet>> shownSheets();
    static void resetRecords();

    std::string description() const override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;
    CGSize sizeThatFits(CGSize size) const override;

private:
    void show(ShownFrom from);
    void hide();

    std::string title_;
    Weak<UIActionSheetDelegate> delegate_;
    UIActionSheetStyle style_ = UIActionSheetStyleAutomatic;
    std::vector<std::string> buttons_;
    NSInteger cancelIndex_ = -1;
    NSInteger destructiveIndex_ = -1;
    bool visible_ = false;
    ShownFrom shownFrom_ = ShownFrom::None;
    Weak<UIView> shownInView_;
    Weak<UIBarButtonItem> shownFromItem_;
    CGRect shownFromRect_;
};
