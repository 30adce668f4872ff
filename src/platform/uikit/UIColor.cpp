#include "platform/uikit/UIColor.h"

#include <cstdio>

#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"

UIColor::UIColor(CGColorRef color, Ref<UIImage> pattern) : color_(std::move(color)), pattern_(std::move(pattern)) {}

Ref<UIColor> UIColor::colorWithRed_green_blue_alpha(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return std::make_shared<UIColor>(CGColor::createRGB(red, green, blue, alpha));
}

Ref<UIColor> UIColor::colorWithWhite_alpha(CGFloat white, CGFloat alpha)
{
    return std::make_shared<UIColor>(CGColor::createGray(white, alpha));
}

Ref<UIColor> UIColor::colorWithPatternImage(const Ref<UIImage>& image)
{
    CGColorRef pattern = CGColor::createPattern(image ? image->CGImage() : nullptr, image ? image->scale() : 1);
    return std::make_shared<UIColor>(std::move(pattern), image);
}

Ref<UIColor> UIColor::colorWithCGColor(CGColorRef color)
{
    if (!color) {
        return nullptr;
    }
    return std::make_shared<UIColor>(std::move(color));
}

#define OMBRI_NAMED_COLOR(name, expression)        \
    Ref<UIColor> UIColor::name()                   \
    {                                              \
        static const Ref<UIColor> color = expression; \
        return color;                              \
    }

OMBRI_NAMED_COLOR(blackColor, colorWithWhite_alpha(0, 1))
OMBRI_NAMED_COLOR(darkGrayColor, colorWithWhite_alpha(1.0 / 3.0, 1))
OMBRI_NAMED_COLOR(lightGrayColor, colorWithWhite_alpha(2.0 / 3.0, 1))
OMBRI_NAMED_COLOR(whiteColor, colorWithWhite_alpha(1, 1))
OMBRI_NAMED_COLOR(grayColor, colorWithWhite_alpha(0.5, 1))
OMBRI_NAMED_COLOR(redColor, colorWithRed_green_blue_alpha(1, 0, 0, 1))
OMBRI_NAMED_COLOR(greenColor, colorWithRed_green_blue_alpha(0, 1, 0, 1))
OMBRI_NAMED_COLOR(blueColor, colorWithRed_green_blue_alpha(0, 0, 1, 1))
OMBRI_NAMED_COLOR(cyanColor, colorWithRed_green_blue_alpha(0, 1, 1, 1))
OMBRI_NAMED_COLOR(yellowColor, colorWithRed_green_blue_alpha(1, 1, 0, 1))
OMBRI_NAMED_COLOR(magentaColor, colorWithRed_green_blue_alpha(1, 0, 1, 1))
OMBRI_NAMED_COLOR(orangeColor, colorWithRed_green_blue_alpha(1, 0.5, 0, 1))
OMBRI_NAMED_COLOR(purpleColor, colorWithRed_green_blue_alpha(0.5, 0, 0.5, 1))
OMBRI_NAMED_COLOR(brownColor, colorWithRed_green_blue_alpha(0.6, 0.4, 0.2, 1))
OMBRI_NAMED_COLOR(clearColor, colorWithWhite_alpha(0, 0))
OMBRI_NAMED_COLOR(lightTextColor, colorWithWhite_alpha(1, 0.6))
OMBRI_NAMED_COLOR(darkTextColor, colorWithWhite_alpha(0, 1))
// The phone draws these three as textures; here they are their average colours.
OMBRI_NAMED_COLOR(groupTableViewBackgroundColor, colorWithRed_green_blue_alpha(0.77, 0.8, 0.84, 1))
OMBRI_NAMED_COLOR(viewFlipsideBackgroundColor, colorWithRed_green_blue_alpha(0.12, 0.13, 0.15, 1))
OMBRI_NAMED_COLOR(scrollViewTexturedBackgroundColor, colorWithRed_green_blue_alpha(0.43, 0.44, 0.48, 1))

#undef OMBRI_NAMED_COLOR

Ref<UIColor> UIColor::colorWithAlphaComponent(CGFloat alpha) const
{
    return std::make_shared<UIColor>(color_->copyWithAlpha(alpha), pattern_);
}

bool UIColor::getRed_green_blue_alpha(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const
{
    if (color_->model() == kCGColorSpaceModelPattern) {
        return false;
    }
    const auto rgba = color_->rgba();
    if (red) *red = rgba[0];
    if (green) *green = rgba[1];
    if (blue) *blue = rgba[2];
    if (alpha) *alpha = rgba[3];
    return true;
}

bool UIColor::getWhite_alpha(CGFloat* white, CGFloat* alpha) const
{
    if (color_->model() != kCGColorSpaceModelMonochrome) {
        return false;
    }
    if (white) *white = color_->components()[0];
    if (alpha) *alpha = color_->components()[1];
    return true;
}

void UIColor::set() const
{
    setFill();
    setStroke();
}

void UIColor::setFill() const { CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), color_); }

void UIColor::setStroke() const { CGContextSetStrokeColorWithColor(UIGraphicsGetCurrentContext(), color_); }

bool UIColor::isEqual(const NSObject* other) const
{
    const auto* color = dynamic_cast<const UIColor*>(other);
    return color != nullptr && color_->isEqual(*color->color_) && pattern_ == color->pattern_;
}

std::string UIColor::description() const
{
    std::string text;
    switch (color_->model()) {
    case kCGColorSpaceModelMonochrome:
        text = "UIDeviceWhiteColorSpace";
        break;
    case kCGColorSpaceModelRGB:
        text = "UIDeviceRGBColorSpace";
        break;
    default:
        return "UIPatternColor";
    }
    char buffer[32];
    for (CGFloat c : color_->components()) {
        std::snprintf(buffer, sizeof buffer, " %g", c);
        text += buffer;
    }
    return text;
}

bool UIColorEqual(const Ref<UIColor>& a, const Ref<UIColor>& b)
{
    if (!a || !b) {
        return !a && !b;
    }
    return a->isEqual(b.get());
}
