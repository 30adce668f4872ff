#include "platform/uikit/UISearchBar.h"

#include <algorithm>

#include "platform/uikit/UISearchDisplayController.h"

namespace {
constexpr CGFloat kCancelWidth = 60;
}

// The bar's field reports to the bar, which speaks to its own delegate.
class UISearchBarFieldDelegate : public NSObject, public UITextFieldDelegate {
public:
    Weak<UISearchBar> bar;

    bool textFieldShouldBeginEditing(const Ref<UITextField>&) override
    {
        auto b = bar.lock();
        auto d = b ? b->delegate_.lock() : nullptr;
        return !d || d->searchBarShouldBeginEditing(b);
    }
    void textFieldDidBeginEditing(const Ref<UITextField>&) override
    {
        auto b = bar.lock();
        if (!b) return;
        if (auto display = b->display_.lock()) display->searchBarDidBeginEditing();
        if (auto d = b->delegate_.lock()) d->searchBarTextDidBeginEditing(b);
    }
    bool textFieldShouldEndEditing(const Ref<UITextField>&) override
    {
        auto b = bar.lock();
        auto d = b ? b->delegate_.lock() : nullptr;
        return !d || d->searchBarShouldEndEditing(b);
    }
    void textFieldDidEndEditing(const Ref<UITextField>&) override
    {
        auto b = bar.lock();
        if (auto d = b ? b->delegate_.lock() : nullptr) d->searchBarTextDidEndEditing(b);
    }
    bool textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>&, NSRange range,
                                                                   const std::string& text) override
    {
        auto b = bar.lock();
        auto d = b ? b->delegate_.lock() : nullptr;
        return !d || d->searchBar_shouldChangeTextInRange_replacementText(b, range, text);
    }
    bool textFieldShouldReturn(const Ref<UITextField>&) override
    {
        auto b = bar.lock();
        if (auto d = b ? b->delegate_.lock() : nullptr) d->searchBarSearchButtonClicked(b);
        return false;
    }
    void textChanged()
    {
        auto b = bar.lock();
        if (!b) return;
        if (auto d = b->delegate_.lock()) d->searchBar_textDidChange(b, b->text());
        if (auto display = b->display_.lock()) display->searchTextDidChange();
    }
};

void UISearchBar::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    field_ = UITextField::initWithFrame(CGRectZero);
    field_->setBorderStyle(UITextBorderStyleRoundedRect);
    field_->setReturnKeyType(UIReturnKeySearch);
    field_->setClearButtonMode(UITextFieldViewModeWhileEditing);
    auto helper = std::make_shared<UISearchBarFieldDelegate>();
    helper->bar = self<UISearchBar>();
    field_->setDelegate(helper);
    Weak<UISearchBarFieldDelegate> weak = helper;
    field_->addTarget_action_forControlEvents(helper,
                                              UIControlAction::block("_textChanged:",
                                                                     [weak](const Ref<UIControl>&, const Ref<UIEvent>&) {
                                                                         if (auto h = weak.lock()) h->textChanged();
                                                                     }),
                                              UIControlEventEditingChanged);
    fieldDelegate_ = helper;
    addSubview(field_);
    layoutSubviews();
}

const std::string& UISearchBar::text() const { return field_->text(); }

void UISearchBar::setText(const std::string& text) { field_->setText(text); }

const std::string& UISearchBar::placeholder() const { return field_->placeholder(); }

void UISearchBar::setPlaceholder(const std::string& placeholder) { field_->setPlaceholder(placeholder); }

bool UISearchBar::becomeFirstResponder() { return field_->becomeFirstResponder(); }

bool UISearchBar::resignFirstResponder() { return field_->resignFirstResponder(); }

bool UISearchBar::simulateSearchButtonTap()
{
    if (!field_->isEditing()) {
        return false;
    }
    field_->insertText("\n");
    return true;
}

bool UISearchBar::simulateCancelButtonTap()
{
    if (!showsCancelButton_) {
        return false;
    }
    Ref<UISearchBar> me = self<UISearchBar>();
    if (auto d = delegate_.lock()) {
        d->searchBarCancelButtonClicked(me);
    }
    if (auto display = display_.lock()) {
        display->searchBarCancelled();
    }
    return true;
}

void UISearchBar::simulateSelectScopeButtonAtIndex(NSInteger index)
{
    selectedScope_ = index;
    Ref<UISearchBar> me = self<UISearchBar>();
    if (auto d = delegate_.lock()) {
        d->searchBar_selectedScopeButtonIndexDidChange(me, index);
    }
    if (auto display = display_.lock()) {
        display->searchScopeDidChange();
    }
}

void UISearchBar::layoutSubviews()
{
    const CGRect b = bounds();
    const CGFloat right = showsCancelButton_ ? kCancelWidth : 0;
    field_->setFrame(CGRectMake(6, 7, std::max<CGFloat>(0, b.size.width - 12 - right), std::max<CGFloat>(0, b.size.height - 14)));
}
