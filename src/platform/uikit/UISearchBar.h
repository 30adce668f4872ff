#pragma once
// Search bars: a text field with a delegate of its own, a search key and an optional cancel button.
// Typing in the bar's field (the simulated keyboard, while the bar is the one editing) asks the bar's
// delegate (searchBar:shouldChangeTextInRange:replacementText:), then tells it
// (searchBar:textDidChange:); the return key is the search button (searchBarSearchButtonClicked:; the
// bar keeps editing, as on the phone). Tests use simulateSearchButtonTap and simulateCancelButtonTap
// (only while the cancel button shows).
#include <string>
#include <vector>

#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UITextField.h"

class UISearchBar;
class UISearchDisplayController;

class UISearchBarDelegate {
public:
    virtual ~UISearchBarDelegate() = default;
    virtual bool searchBarShouldBeginEditing(const Ref<UISearchBar>& searchBar) { return true; }
    virtual void searchBarTextDidBeginEditing(const Ref<UISearchBar>& searchBar) {}
    virtual bool searchBarShouldEndEditing(const Ref<UISearchBar>& searchBar) { return true; }
    virtual void searchBarTextDidEndEditing(const Ref<UISearchBar>& searchBar) {}
    virtual void searchBar_textDidChange(const Ref<UISearchBar>& searchBar, const std::string& searchText) {}
    virtual bool searchBar_shouldChangeTextInRange_replacementText(const Ref<UISearchBar>& searchBar, NSRange range,
                                                                   const std::string& text)
    {
        return true;
    }
    virtual void searchBarSearchButtonClicked(const Ref<UISearchBar>& searchBar) {}
    virtual void searchBarCancelButtonClicked(const Ref<UISearchBar>& searchBar) {}
    virtual void searchBarBookmarkButtonClicked(const Ref<UISearchBar>& searchBar) {}
    virtual void searchBar_selectedScopeButtonIndexDidChange(const Ref<UISearchBar>& searchBar, NSInteger index) {}
};

class UISearchBar : public UIView {
public:
    static Ref<UISearchBar> initWithFrame(CGRect frame) { return makeWithFrame<UISearchBar>(frame); }
    static Ref<UISearchBar> create() { return makeWithFrame<UISearchBar>(CGRectMake(0, 0, 320, 44)); }

    Ref<UISearchBarDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UISearchBarDelegate>& delegate) { delegate_ = delegate; }

    const std::string& text() const;
    // Setting the text from the program calls nothing.
    void setText(const std::string& text);
    const std::string& placeholder() const;
    void setPlaceholder(const std::string& placeholder);
    const std::string& prompt() const { return prompt_; }
    void setPrompt(const std::string& prompt) { prompt_ = prompt; }
    bool showsCancelButton() const { return showsCancelButton_; }
    void setShowsCancelButton(bool shows) { showsCancelButton_ = shows; }
    void setShowsCancelButton_animated(bool shows, bool animated) { showsCancelButton_ = shows; }
    bool showsBookmarkButton() const { return showsBookmarkButton_; }
    void setShowsBookmarkButton(bool shows) { showsBookmarkButton_ = shows; }
    UIBarStyle barStyle() const { return barStyle_; }
    void setBarStyle(UIBarStyle style) { barStyle_ = style; }
    Ref<UIColor> tintColor() const { return tintColor_; }
    void setTintColor(const Ref<UIColor>& color) { tintColor_ = color; }
    const std::vector<std::string>& scopeButtonTitles() const { return scopeButtonTitles_; }
    void setScopeButtonTitles(std::vector<std::string> titles) { scopeButtonTitles_ = std::move(titles); }
    NSInteger selectedScopeButtonIndex() const { return selectedScope_; }
    void setSelectedScopeButtonIndex(NSInteger index) { selectedScope_ = index; }
    bool showsScopeBar() const { return showsScopeBar_; }
    void setShowsScopeBar(bool shows) { showsScopeBar_ = shows; }
    // Traits of the bar's field.
    void setKeyboardType(UIKeyboardType type) { field_->setKeyboardType(type); }
    void setReturnKeyType(UIReturnKeyType type) { field_->setReturnKeyType(type); }
    void setAutocapitalizationType(UITextAutocapitalizationType type) { field_->setAutocapitalizationType(type); }
    void setAutocorrectionType(UITextAutocorrectionType type) { field_->setAutocorrectionType(type); }
    // The bar's text field.
    Ref<UITextField> searchField() const { return field_; }
    bool isEditing() const { return field_->isEditing(); }

    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isFirstResponderBar() const { return field_->isFirstResponder(); }

    // --- Test driving ---
    bool simulateSearchButtonTap();
    bool simulateCancelButtonTap();
    void simulateSelectScopeButtonAtIndex(NSInteger index);

    // The search display controller following the bar (set by it).
    void setDisplayController(const Ref<UISearchDisplayController>& controller) { display_ = controller; }

    void layoutSubviews() override;
    void initWithFrameBody(CGRect frame) override;

private:
    friend class UISearchBarFieldDelegate;
    Weak<UISearchBarDelegate> delegate_;
    Ref<UITextField> field_;
    Ref<NSObject> fieldDelegate_;
    std::string prompt_;
    bool showsCancelButton_ = false;
    bool showsBookmarkButton_ = false;
    UIBarStyle barStyle_ = UIBarStyleDefault;
    Ref<UIColor> tintColor_;
    std::vector<std::string> scopeButtonTitles_;
    NSInteger selectedScope_ = 0;
    bool showsScopeBar_ = false;
    Weak<UISearchDisplayController> display_;
};
