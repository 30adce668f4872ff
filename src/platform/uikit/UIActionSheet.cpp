#include "platform/uikit/UIActionSheet.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"

namespace {
namespace UIActionSheet_cpp {

struct Records {
    std::vector<Ref<UIActionSheet>> visible;
    std::vector<Ref<UIActionSheet>> shown;
};

Records& records()
{
    static Records* instance = new Records;
    return *instance;
}

}  // namespace UIActionSheet_cpp
}  // namespace

void UIActionSheetDelegate::actionSheetCancel(const Ref<UIActionSheet>& actionSheet)
{
    if (actionSheet->cancelButtonIndex() >= 0) {
        actionSheet->simulateClickButtonAtIndex(actionSheet->cancelButtonIndex());
    } else {
        actionSheet->dismissWithClickedButtonIndex_animated(-1, false);
    }
}

Ref<UIActionSheet> UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
    const std::string& title, const Ref<UIActionSheetDelegate>& delegate, const std::string& cancelButtonTitle,
    const std::string& destructiveButtonTitle, const std::vector<std::string>& otherButtonTitles)
{
    auto sheet = create();
    sheet->title_ = title;
    sheet->delegate_ = delegate;
    if (!destructiveButtonTitle.empty()) {
        sheet->destructiveIndex_ = sheet->addButtonWithTitle(destructiveButtonTitle);
    }
    for (const std::string& other : otherButtonTitles) {
        sheet->addButtonWithTitle(other);
    }
    if (!cancelButtonTitle.empty()) {
        sheet->cancelIndex_ = sheet->addButtonWithTitle(cancelButtonTitle);
    }
    return sheet;
}

NSInteger UIActionSheet::addButtonWithTitle(const std::string& title)
{
    buttons_.push_back(title);
    return NSInteger(buttons_.size()) - 1;
}

std::string UIActionSheet::buttonTitleAtIndex(NSInteger index) const
{
    return index >= 0 && index < NSInteger(buttons_.size()) ? buttons_[size_t(index)] : std::string();
}

NSInteger UIActionSheet::firstOtherButtonIndex() const
{
    for (NSInteger i = 0; i < NSInteger(buttons_.size()); ++i) {
        if (i != cancelIndex_ && i != destructiveIndex_) {
            return i;
        }
    }
    return -1;
}

void UIActionSheet::show(ShownFrom from)
{
    shownFrom_ = from;
    if (visible_) {
        return;
    }
    Ref<UIActionSheet> me = self<UIActionSheet>();
    if (auto delegate = delegate_.lock()) {
        delegate->willPresentActionSheet(me);
    }
    visible_ = true;
    UIActionSheet_cpp::records().visible.push_back(me);
    UIActionSheet_cpp::records().shown.push_back(me);
    if (auto delegate = delegate_.lock()) {
        delegate->didPresentActionSheet(me);
    }
}

void UIActionSheet::showInView(const Ref<UIView>& view)
{
    shownInView_ = view;
    show(ShownFrom::View);
}

void UIActionSheet::showFromToolbar(const Ref<UIView>& toolbar)
{
    shownInView_ = toolbar;
    show(ShownFrom::Toolbar);
}

void UIActionSheet::showFromTabBar(const Ref<UIView>& tabBar)
{
    shownInView_ = tabBar;
    show(ShownFrom::TabBar);
}

void UIActionSheet::showFromBarButtonItem_animated(const Ref<UIBarButtonItem>& item, bool animated)
{
    shownFromItem_ = item;
    show(ShownFrom::BarButtonItem);
}

void UIActionSheet::showFromRect_inView_animated(CGRect rect, const Ref<UIView>& view, bool animated)
{
    shownFromRect_ = rect;
    shownInView_ = view;
    show(ShownFrom::Rect);
}

void UIActionSheet::hide()
{
    visible_ = false;
    auto& visible = UIActionSheet_cpp::records().visible;
    visible.erase(std::remove(visible.begin(), visible.end(), self<UIActionSheet>()), visible.end());
}

void UIActionSheet::dismissWithClickedButtonIndex_animated(NSInteger buttonIndex, bool animated)
{
    if (!visible_) {
        return;
    }
    Ref<UIActionSheet> me = self<UIActionSheet>();
    if (auto delegate = delegate_.lock()) {
        delegate->actionSheet_willDismissWithButtonIndex(me, buttonIndex);
    }
    hide();
    if (auto delegate = delegate_.lock()) {
        delegate->actionSheet_didDismissWithButtonIndex(me, buttonIndex);
    }
}

void UIActionSheet::simulateClickButtonAtIndex(NSInteger buttonIndex)
{
    if (!visible_) {
        NSException::raise(NSInternalInconsistencyException, "the action sheet is not on show: " + description());
    }
    if (buttonIndex < 0 || buttonIndex >= NSInteger(buttons_.size())) {
        NSException::raise(NSRangeException, stringWithFormat("button index %ld beyond the %ld buttons of %@",
                                                              long(buttonIndex), long(buttons_.size()), description()));
    }
    Ref<UIActionSheet> me = self<UIActionSheet>();
    if (auto delegate = delegate_.lock()) {
        delegate->actionSheet_clickedButtonAtIndex(me, buttonIndex);
    }
    dismissWithClickedButtonIndex_animated(buttonIndex, true);
}

void UIActionSheet::simulateClickButtonWithTitle(const std::string& title)
{
    auto it = std::find(buttons_.begin(), buttons_.end(), title);
    if (it == buttons_.end()) {
        NSException::raise(NSInvalidArgumentException, "no button \"" + title + "\" in " + description());
    }
    simulateClickButtonAtIndex(NSInteger(it - buttons_.begin()));
}

void UIActionSheet::simulateSystemCancel()
{
    if (!visible_) {
        return;
    }
    Ref<UIActionSheet> me = self<UIActionSheet>();
    if (auto delegate = delegate_.lock()) {
        delegate->actionSheetCancel(me);
    }
    if (visible_) {
        hide();
    }
}

std::vector<Ref<UIActionSheet>> UIActionSheet::visibleSheets() { return UIActionSheet_cpp::records().visible; }

Ref<UIActionSheet> UIActionSheet::currentSheet()
{
    return UIActionSheet_cpp::records().visible.empty() ? nullptr : UIActionSheet_cpp::records().visible.back();
}

std::vector<Ref<UIActionSheet>> UIActionSheet::shownSheets() { return UIActionSheet_cpp::records().shown; }

void UIActionSheet::resetRecords()
{
    for (const Ref<UIActionSheet>& sheet : UIActionSheet_cpp::records().visible) {
        sheet->visible_ = false;
    }
    UIActionSheet_cpp::records().visible.clear();
    UIActionSheet_cpp::records().shown.clear();
}

std::string UIActionSheet::description() const
{
    std::string buttons;
    for (const std::string& b : buttons_) {
        buttons += (buttons.empty() ? "" : ", ") + b;
    }
    return "<UIActionSheet \"" + title_ + "\" [" + buttons + "]>";
}
