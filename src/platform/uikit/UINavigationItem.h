#pragma once
// What a navigation bar shows for one controller: a title (or a title view), the left and right
// items, the back item that the next controller's back button takes its title from, and whether
// the back button hides. A change reaches the bar showing the item at once.
#include <string>

#include "platform/foundation/NSObject.h"

class UIBarButtonItem;
class UINavigationBar;
class UIView;

class UINavigationItem : public NSObject {
public:
    static Ref<UINavigationItem> initWithTitle(const std::string& title);

    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    Ref<UIView> titleView() const { return titleView_; }
    void setTitleView(const Ref<UIView>& view);
    const std::string& prompt() const { return prompt_; }
    void setPrompt(const std::string& prompt);

    Ref<UIBarButtonItem> leftBarButtonItem() const { return left_; }
    void setLeftBarButtonItem(const Ref<UIBarButtonItem>& item) { setLeftBarButtonItem_animated(item, false); }
    void setLeftBarButtonItem_animated(const Ref<UIBarButtonItem>& item, bool animated);
    Ref<UIBarButtonItem> rightBarButtonItem() const { return right_; }
    void setRightBarButtonItem(const Ref<UIBarButtonItem>& item) { setRightBarButtonItem_animated(item, false); }
    void setRightBarButtonItem_animated(const Ref<UIBarButtonItem>& item, bool animated);
    // The item the back button shows when this item is under the top one (nil: a button with this
    // item's title, or "返回" when it has none, as the phone says in the application's language).
    Ref<UIBarButtonItem> backBarButtonItem() const { return back_; }
    void setBackBarButtonItem(const Ref<UIBarButtonItem>& item);
    bool hidesBackButton() const { return hidesBackButton_; }
    void setHidesBackButton(bool hides) { setHidesBackButton_animated(hides, false); }
    void setHidesBackButton_animated(bool hides, bool animated);
    bool leftItemsSupplementBackButton() const { return supplementBack_; }
    void setLeftItemsSupplementBackButton(bool supplement);

    // The bar showing the item (set by the bar).
    Ref<UINavigationBar> navigationBar() const { return bar_.lock(); }
    void setNavigationBar(const Ref<UINavigationBar>& bar) { bar_ = bar; }

    UINavigationItem() = default;

private:
    void changed();

    std::string title_;
    Ref<UIView> titleView_;
    std::string prompt_;
    Ref<UIBarButtonItem> left_;
    Ref<UIBarButtonItem> right_;
    Ref<UIBarButtonItem> back_;
    bool hidesBackButton_ = false;
    bool supplementBack_ = false;
    Weak<UINavigationBar> bar_;
};
