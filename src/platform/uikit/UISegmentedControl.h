#pragma once
// Segmented controls: segments with a title or an image. A tap in an enabled segment selects it and
// sends value-changed (a momentary control lights it only for the tap); setting the selected index
// from code sends nothing. Segments share the width, except those given a width of their own.
#include <string>
#include <variant>
#include <vector>

#include "platform/uikit/UIControl.h"

class UIImage;

using UISegmentItem = std::variant<std::string, Ref<UIImage>>;

class UISegmentedControl : public UIControl {
public:
    static Ref<UISegmentedControl> initWithFrame(CGRect frame) { return makeWithFrame<UISegmentedControl>(frame); }
    static Ref<UISegmentedControl> create() { return makeWithFrame<UISegmentedControl>(CGRectZero); }
    static Ref<UISegmentedControl> initWithItems(const std::vector<UISegmentItem>& items);

    NSUInteger numberOfSegments() const { return segments_.size(); }
    NSInteger selectedSegmentIndex() const { return selected_; }
    void setSelectedSegmentIndex(NSInteger index);
    bool isMomentary() const { return momentary_; }
    void setMomentary(bool momentary) { momentary_ = momentary; }
    UISegmentedControlStyle segmentedControlStyle() const { return style_; }
    void setSegmentedControlStyle(UISegmentedControlStyle style) { style_ = style; }
    Ref<UIColor> tintColor() const { return tintColor_; }
    void setTintColor(const Ref<UIColor>& color) { tintColor_ = color; }

    void insertSegmentWithTitle_atIndex_animated(const std::string& title, NSUInteger index, bool animated);
    void insertSegmentWithImage_atIndex_animated(const Ref<UIImage>& image, NSUInteger index, bool animated);
    void removeSegmentAtIndex_animated(NSUInteger index, bool animated);
    void removeAllSegments();
    void setTitle_forSegmentAtIndex(const std::string& title, NSUInteger index);
    std::string titleForSegmentAtIndex(NSUInteger index) const;
    void setImage_forSegmentAtIndex(const Ref<UIImage>& image, NSUInteger index);
    Ref<UIImage> imageForSegmentAtIndex(NSUInteger index) const;
    void setWidth_forSegmentAtIndex(CGFloat width, NSUInteger index);
    CGFloat widthForSegmentAtIndex(NSUInteger index) const;  // 0: shares the width
    void setEnabled_forSegmentAtIndex(bool enabled, NSUInteger index);
    bool isEnabledForSegmentAtIndex(NSUInteger index) const;
    // The frame of a segment in the control's coordinates.
    CGRect rectForSegmentAtIndex(NSUInteger index) const;

    void endTrackingWithTouch_withEvent(const Ref<UITouch>& touch, const Ref<UIEvent>& event) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

private:
    struct Segment {
        std::string title;
        Ref<UIImage> image;
        CGFloat width = 0;
        bool enabled = true;
    };
    std::vector<Segment> segments_;
    NSInteger selected_ = UISegmentedControlNoSegment;
    bool momentary_ = false;
    UISegmentedControlStyle style_ = UISegmentedControlStylePlain;
    Ref<UIColor> tintColor_;
};
