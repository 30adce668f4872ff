#include "platform/uikit/UIImageView.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr char kAnimationKey[] = "contents";
}

void UIImageView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setUserInteractionEnabled(false);
}

Ref<UIImageView> UIImageView::initWithImage(const Ref<UIImage>& image)
{
    return initWithImage_highlightedImage(image, nullptr);
}

Ref<UIImageView> UIImageView::initWithImage_highlightedImage(const Ref<UIImage>& image,
                                                             const Ref<UIImage>& highlightedImage)
{
    const CGSize size = image ? image->size() : CGSizeZero;
    auto view = makeWithFrame<UIImageView>(CGRectMake(0, 0, size.width, size.height));
    view->image_ = image;
    view->highlightedImage_ = highlightedImage;
    view->showImage();
    return view;
}

Ref<UIImage> UIImageView::displayedImage() const
{
    return highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
}

void UIImageView::showImage()
{
    const Ref<UIImage> shown = displayedImage();
    layer()->setContents(shown ? shown->CGImage() : nullptr);
    if (shown) {
        // The image's scale and caps: a stretchable image keeps its caps in points as it stretches.
        layer()->setContentsScale(shown->scale());
        const CGSize size = shown->size();
        const UIEdgeInsets caps = shown->capInsets();
        CGRect center = CGRectMake(0, 0, 1, 1);
        if (size.width > 0 && (caps.left > 0 || caps.right > 0)) {
            center.origin.x = caps.left / size.width;
            center.size.width = std::max(size.width - caps.left - caps.right, CGFloat(0)) / size.width;
        }
        if (size.height > 0 && (caps.top > 0 || caps.bottom > 0)) {
            center.origin.y = caps.top / size.height;
            center.size.height = std::max(size.height - caps.top - caps.bottom, CGFloat(0)) / size.height;
        }
        layer()->setContentsCenter(center);
    }
    setNeedsDisplay();
}

void UIImageView::setImage(const Ref<UIImage>& image)
{
    image_ = image;
    showImage();
}

void UIImageView::setHighlightedImage(const Ref<UIImage>& image)
{
    highlightedImage_ = image;
    showImage();
}

void UIImageView::setHighlighted(bool highlighted)
{
    highlighted_ = highlighted;
    showImage();
}

void UIImageView::startAnimating()
{
    if (animationImages_.empty()) {
        return;
    }
    auto animation = CAKeyframeAnimation::animationWithKeyPath(kAnimationKey);
    std::vector<CAValue> values;
    for (const Ref<UIImage>& image : animationImages_) {
        values.emplace_back(image ? image->CGImage() : nullptr);
    }
    animation->setValues(std::move(values));
    animation->setCalculationMode(kCAAnimationDiscrete);
    animation->setDuration(animationDuration_ > 0 ? animationDuration_ : double(animationImages_.size()) / 30.0);
    animation->setRepeatCount(animationRepeatCount_ > 0 ? float(animationRepeatCount_) : HUGE_VALF);
    layer()->addAnimation_forKey(animation, kAnimationKey);
}

void UIImageView::stopAnimating() { layer()->removeAnimationForKey(kAnimationKey); }

bool UIImageView::isAnimating() const { return layer()->animationForKey(kAnimationKey) != nullptr; }

CGSize UIImageView::sizeThatFits(CGSize size) const
{
    const Ref<UIImage> shown = displayedImage();
    return shown ? shown->size() : CGSizeZero;
}

void UIImageView::drawRect(CGRect) {}
