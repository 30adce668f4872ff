#pragma once
// Colours of the interface: grey, RGB and pattern (tiled image) colours over the drawing model's
// CGColor. Colours are immutable; the named colours are shared instances. Two colours are equal when
// their colour spaces and components are (a pattern colour: the same image).
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"

class UIImage;

class UIColor : public NSObject {
public:
    static Ref<UIColor> colorWithRed_green_blue_alpha(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    static Ref<UIColor> colorWithWhite_alpha(CGFloat white, CGFloat alpha);
    static Ref<UIColor> colorWithPatternImage(const Ref<UIImage>& image);
    static Ref<UIColor> colorWithCGColor(CGColorRef color);
    static Ref<UIColor> initWithRed_green_blue_alpha(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
    {
        return colorWithRed_green_blue_alpha(red, green, blue, alpha);
    }
    static Ref<UIColor> initWithWhite_alpha(CGFloat white, CGFloat alpha) { return colorWithWhite_alpha(white, alpha); }
    static Ref<UIColor> initWithPatternImage(const Ref<UIImage>& image) { return colorWithPatternImage(image); }

    static Ref<UIColor> blackColor();      // white 0
    static Ref<UIColor> darkGrayColor();   // white 1/3
    static Ref<UIColor> lightGrayColor();  // white 2/3
    static Ref<UIColor> whiteColor();      // white 1
    static Ref<UIColor> grayColor();       // white 0.5
    static Ref<UIColor> redColor();
    static Ref<UIColor> greenColor();
    static Ref<UIColor> blueColor();
    static Ref<UIColor> cyanColor();
    static Ref<UIColor> yellowColor();
    static Ref<UIColor> magentaColor();
    static Ref<UIColor> orangeColor();  // 1, 0.5, 0
    static Ref<UIColor> purpleColor();  // 0.5, 0, 0.5
    static Ref<UIColor> brownColor();   // 0.6, 0.4, 0.2
    static Ref<UIColor> clearColor();   // white 0, alpha 0
    static Ref<UIColor> lightTextColor();  // white 1, alpha 0.6
    static Ref<UIColor> darkTextColor();   // white 0
    static Ref<UIColor> groupTableViewBackgroundColor();
    static Ref<UIColor> viewFlipsideBackgroundColor();
    static Ref<UIColor> scrollViewTexturedBackgroundColor();

    Ref<UIColor> colorWithAlphaComponent(CGFloat alpha) const;
    CGColorRef CGColor() const { return color_; }
    // The tiled image of a pattern colour.
    Ref<UIImage> patternImage() const { return pattern_; }
    // Components of a grey or RGB colour; false for a pattern colour (the outputs are then untouched).
    bool getRed_green_blue_alpha(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const;
    // Components of a grey colour; false for other colours.
    bool getWhite_alpha(CGFloat* white, CGFloat* alpha) const;
    CGFloat alpha() const { return color_->alpha(); }

    // Make this the fill and stroke (set), fill or stroke colour of the current drawing context.
    void set() const;
    void setFill() const;
    void setStroke() const;

    bool isEqual(const NSObject* other) const override;
    // "UIDeviceRGBColorSpace 1 0 0 1", "UIDeviceWhiteColorSpace 0 1", "UIPatternColor"
    std::string description() const override;

    explicit UIColor(CGColorRef color, Ref<UIImage> pattern = nullptr);

private:
    CGColorRef color_;
    Ref<UIImage> pattern_;
};

// Equality as the platform's isEqual: two nils are equal, nil and a colour are not.
bool UIColorEqual(const Ref<UIColor>& a, const Ref<UIColor>& b);
