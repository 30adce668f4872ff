#pragma once
// Image views: show an image (the highlighted image while highlighted) as their layer's contents, or
// cycle through animation images (recorded as a keyframe animation of "contents" while animating).
// As on the phone they do not take touches, and initWithImage sizes the view to the image.
#include <vector>

#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"

class UIImageView : public UIView {
public:
    static Ref<UIImageView> initWithFrame(CGRect frame) { return makeWithFrame<UIImageView>(frame); }
    static Ref<UIImageView> create() { return makeWithFrame<UIImageView>(CGRectZero); }
    static Ref<UIImageView> initWithImage(const Ref<UIImage>& image);
    static Ref<UIImageView> initWithImage_highlightedImage(const Ref<UIImage>& image,
                                                           const Ref<UIImage>& highlightedImage);

    Ref<UIImage> image() const { return image_; }
    void setImage(const Ref<UIImage>& image);
    Ref<UIImage> highlightedImage() const { return highlightedImage_; }
    void setHighlightedImage(const Ref<UIImage>& image);
    bool isHighlighted() const { return highlighted_; }
    bool highlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);
    // The image shown now.
    Ref<UIImage> displayedImage() const;

    const std::vector<Ref<UIImage>>& animationImages() const { return animationImages_; }
    void setAnimationImages(std::vector<Ref<UIImage>> images) { animationImages_ = std::move(images); }
    // 0: one thirtieth of a second per image.
    double animationDuration() const { return animationDuration_; }
    void setAnimationDuration(double duration) { animationDuration_ = duration; }
    // 0: for ever.
    NSInteger animationRepeatCount() const { return animationRepeatCount_; }
    void setAnimationRepeatCount(NSInteger count) { animationRepeatCount_ = count; }
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const;

    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGRect rect) override;

    void initWithFrameBody(CGRect frame) override;

private:
    void showImage();

    Ref<UIImage> image_;
    Ref<UIImage> highlightedImage_;
    bool highlighted_ = false;
    std::vector<Ref<UIImage>> animationImages_;
    double animationDuration_ = 0;
    NSInteger animationRepeatCount_ = 0;
};
