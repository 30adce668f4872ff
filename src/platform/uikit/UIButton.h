#pragma once
// Buttons: a control with a title, title colours, an image and a background image per control state.
// A state without its own value shows the normal state's. The current values are shown by the
// button's subviews: a background image view that fills it, an image view and a title label
// (titleLabel(), imageView()), laid out side by side in the middle of the content rectangle.
#include <map>
#include <string>

#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIGeometry.h"

class UIImage;
class UIImageView;
class UILabel;

class UIButton : public UIControl {
public:
    static Ref<UIButton> buttonWithType(UIButtonType type);
    static Ref<UIButton> initWithFrame(CGRect frame) { return makeWithFrame<UIButton>(frame); }
    static Ref<UIButton> create() { return makeWithFrame<UIButton>(CGRectZero); }

    UIButtonType buttonType() const { return buttonType_; }

    void setTitle_forState(const std::string& title, UIControlState state);
    std::string titleForState(UIControlState state) const;
    void setTitleColor_forState(const Ref<UIColor>& color, UIControlState state);
    Ref<UIColor> titleColorForState(UIControlState state) const;
    void setTitleShadowColor_forState(const Ref<UIColor>& color, UIControlState state);
    Ref<UIColor> titleShadowColorForState(UIControlState state) const;
    void setImage_forState(const Ref<UIImage>& image, UIControlState state);
    Ref<UIImage> imageForState(UIControlState state) const;
    void setBackgroundImage_forState(const Ref<UIImage>& image, UIControlState state);
    Ref<UIImage> backgroundImageForState(UIControlState state) const;

    std::string currentTitle() const { return titleForState(state()); }
    Ref<UIColor> currentTitleColor() const { return titleColorForState(state()); }
    Ref<UIColor> currentTitleShadowColor() const { return titleShadowColorForState(state()); }
    Ref<UIImage> currentImage() const { return imageForState(state()); }
    Ref<UIImage> currentBackgroundImage() const { return backgroundImageForState(state()); }

    Ref<UILabel> titleLabel() const { return titleLabel_; }
    Ref<UIImageView> imageView() const { return imageView_; }

    bool adjustsImageWhenHighlighted() const { return adjustsImageWhenHighlighted_; }
    void setAdjustsImageWhenHighlighted(bool adjusts) { adjustsImageWhenHighlighted_ = adjusts; }
    bool adjustsImageWhenDisabled() const { return adjustsImageWhenDisabled_; }
    void setAdjustsImageWhenDisabled(bool adjusts) { adjustsImageWhenDisabled_ = adjusts; }
    bool showsTouchWhenHighlighted() const { return showsTouchWhenHighlighted_; }
    void setShowsTouchWhenHighlighted(bool shows) { showsTouchWhenHighlighted_ = shows; }
    bool reversesTitleShadowWhenHighlighted() const { return reversesTitleShadowWhenHighlighted_; }
    void setReversesTitleShadowWhenHighlighted(bool reverses) { reversesTitleShadowWhenHighlighted_ = reverses; }

    UIEdgeInsets contentEdgeInsets() const { return contentEdgeInsets_; }
    void setContentEdgeInsets(UIEdgeInsets insets);
    UIEdgeInsets titleEdgeInsets() const { return titleEdgeInsets_; }
    void setTitleEdgeInsets(UIEdgeInsets insets);
    UIEdgeInsets imageEdgeInsets() const { return imageEdgeInsets_; }
    void setImageEdgeInsets(UIEdgeInsets insets);

    virtual CGRect backgroundRectForBounds(CGRect bounds);
    virtual CGRect contentRectForBounds(CGRect bounds);
    virtual CGRect titleRectForContentRect(CGRect contentRect);
    virtual CGRect imageRectForContentRect(CGRect contentRect);

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) const override;

    void initWithFrameBody(CGRect frame) override;

    // The plain look of the control (UIStandardLook.cpp).
    void drawRect(CGRect rect) override;

protected:
    void stateDidChange() override;

private:
    template <class T>
    static T lookup(const std::map<UIControlState, T>& values, UIControlState state);
    void refresh();
    CGSize titleSize() const;

    UIButtonType buttonType_ = UIButtonTypeCustom;
    std::map<UIControlState, std::string> titles_;
    std::map<UIControlState, Ref<UIColor>> titleColors_;
    std::map<UIControlState, Ref<UIColor>> titleShadowColors_;
    std::map<UIControlState, Ref<UIImage>> images_;
    std::map<UIControlState, Ref<UIImage>> backgroundImages_;
    Ref<UIImageView> backgroundView_;
    Ref<UIImageView> imageView_;
    Ref<UILabel> titleLabel_;
    bool adjustsImageWhenHighlighted_ = true;
    bool adjustsImageWhenDisabled_ = true;
    bool showsTouchWhenHighlighted_ = false;
    bool reversesTitleShadowWhenHighlighted_ = false;
    UIEdgeInsets contentEdgeInsets_;
    UIEdgeInsets titleEdgeInsets_;
    UIEdgeInsets imageEdgeInsets_;
};
