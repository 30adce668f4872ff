#pragma once
// Items of navigation bars and toolbars: a title, an image, a system item or a custom view, with a
// style, a width and a target-action (the item is the sender).
//
// In a bar an item shows as its custom view, or as a button the item makes (barView): its title
// (or the system item's title: "Done", "Cancel", "Edit", "Save"; other system items are icons) or
// image, enabled as the item is, sending the item's action when tapped. Spaces show nothing. Tests
// tap an item through the window or with simulateTap.
#include <string>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UISelector.h"

class UIButton;
class UIColor;
class UIImage;
class UIView;

enum UIBarButtonItemStyle : NSInteger {
    UIBarButtonItemStylePlain = 0,
    UIBarButtonItemStyleBordered = 1,
    UIBarButtonItemStyleDone = 2,
};

enum UIBarButtonSystemItem : NSInteger {
    UIBarButtonSystemItemDone = 0,
    UIBarButtonSystemItemCancel = 1,
    UIBarButtonSystemItemEdit = 2,
    UIBarButtonSystemItemSave = 3,
    UIBarButtonSystemItemAdd = 4,
    UIBarButtonSystemItemFlexibleSpace = 5,
    UIBarButtonSystemItemFixedSpace = 6,
    UIBarButtonSystemItemCompose = 7,
    UIBarButtonSystemItemReply = 8,
    UIBarButtonSystemItemAction = 9,
    UIBarButtonSystemItemOrganize = 10,
    UIBarButtonSystemItemBookmarks = 11,
    UIBarButtonSystemItemSearch = 12,
    UIBarButtonSystemItemRefresh = 13,
    UIBarButtonSystemItemStop = 14,
    UIBarButtonSystemItemCamera = 15,
    UIBarButtonSystemItemTrash = 16,
    UIBarButtonSystemItemPlay = 17,
    UIBarButtonSystemItemPause = 18,
    UIBarButtonSystemItemRewind = 19,
    UIBarButtonSystemItemFastForward = 20,
    UIBarButtonSystemItemUndo = 21,
    UIBarButtonSystemItemRedo = 22,
    UIBarButtonSystemItemPageCurl = 23,
};

// What bar items have in common.
class UIBarItem : public NSObject {
public:
    bool isEnabled() const { return enabled_; }
    bool enabled() const { return enabled_; }
    virtual void setEnabled(bool enabled) { enabled_ = enabled; }
    const std::string& title() const { return title_; }
    virtual void setTitle(const std::string& title) { title_ = title; }
    Ref<UIImage> image() const { return image_; }
    virtual void setImage(const Ref<UIImage>& image) { image_ = image; }
    UIEdgeInsets imageInsets() const { return imageInsets_; }
    void setImageInsets(UIEdgeInsets insets) { imageInsets_ = insets; }
    NSInteger tag() const { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }

protected:
    UIBarItem() = default;

private:
    bool enabled_ = true;
    std::string title_;
    Ref<UIImage> image_;
    UIEdgeInsets imageInsets_;
    NSInteger tag_ = 0;
};

class UIBarButtonItem : public UIBarItem {
public:
    static Ref<UIBarButtonItem> initWithImage_style_target_action(const Ref<UIImage>& image, UIBarButtonItemStyle style,
                                                                  const Ref<NSObject>& target, UISelector action);
    static Ref<UIBarButtonItem> initWithTitle_style_target_action(const std::string& title, UIBarButtonItemStyle style,
                                                                  const Ref<NSObject>& target, UISelector action);
    static Ref<UIBarButtonItem> initWithBarButtonSystemItem_target_action(UIBarButtonSystemItem systemItem,
                                                                          const Ref<NSObject>& target,
                                                                          UISelector action);
    static Ref<UIBarButtonItem> initWithCustomView(const Ref<UIView>& view);
    static Ref<UIBarButtonItem> create();

    UIBarButtonItemStyle style() const { return style_; }
    void setStyle(UIBarButtonItemStyle style) { style_ = style; }
    // 0: the item's natural width.
    CGFloat width() const { return width_; }
    void setWidth(CGFloat width) { width_ = width; }
    Ref<UIView> customView() const { return customView_; }
    void setCustomView(const Ref<UIView>& view) { customView_ = view; }
    Ref<UIColor> tintColor() const { return tintColor_; }
    void setTintColor(const Ref<UIColor>& color) { tintColor_ = color; }
    const std::vector<std::string>& possibleTitles() const { return possibleTitles_; }
    void setPossibleTitles(std::vector<std::string> titles) { possibleTitles_ = std::move(titles); }

    // The system item, or -1 when the item is not one.
    NSInteger systemItem() const { return systemItem_; }
    bool isSpace() const
    {
        return systemItem_ == UIBarButtonSystemItemFlexibleSpace || systemItem_ == UIBarButtonSystemItemFixedSpace;
    }

    Ref<NSObject> target() const { return targetAction_.target.lock(); }
    void setTarget(const Ref<NSObject>& target) { targetAction_ = UITargetAction(target, targetAction_.action); }
    const UISelector& action() const { return targetAction_.action; }
    void setAction(UISelector action) { targetAction_ = UITargetAction(target(), std::move(action)); }

    void setEnabled(bool enabled) override;
    void setTitle(const std::string& title) override;
    void setImage(const Ref<UIImage>& image) override;

    // The view that stands for the item in a bar: the custom view, else a button made once (null for
    // spaces).
    Ref<UIView> barView();
    // The width the item takes in a bar.
    CGFloat barWidth();

    // The user taps the item: sends its action when it is enabled. Answers whether it was sent.
    bool simulateTap();

    UIBarButtonItem() = default;

private:
    void updateButton();

    UIBarButtonItemStyle style_ = UIBarButtonItemStylePlain;
    CGFloat width_ = 0;
    Ref<UIView> customView_;
    Ref<UIColor> tintColor_;
    std::vector<std::string> possibleTitles_;
    NSInteger systemItem_ = -1;
    UITargetAction targetAction_;
    Ref<UIButton> button_;
};
