#include "widgets/RadialMenu.h"

#include <cmath>

#include "platform/foundation/NSRunLoop.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UITouch.h"

namespace {
namespace RadialMenu_cpp {

constexpr NSInteger kItemTagBase = 1000;

CGPoint onCircle(CGFloat radius, CGFloat angle)
{
    return CGPointMake(kRadialMenuStartPoint.x + radius * std::sin(angle),
                       kRadialMenuStartPoint.y - radius * std::cos(angle));
}

CGPathRef straightPath(std::initializer_list<CGPoint> points)
{
    CGMutablePathRef path = CGPathCreateMutable();
    bool first = true;
    for (CGPoint point : points) {
        if (first) {
            CGPathMoveToPoint(path, nullptr, point.x, point.y);
        } else {
            CGPathAddLineToPoint(path, nullptr, point.x, point.y);
        }
        first = false;
    }
    return path;
}

Ref<CAKeyframeAnimation> rotation(std::vector<CAValue> values, std::vector<double> keyTimes, double duration)
{
    auto animation = CAKeyframeAnimation::animationWithKeyPath("transform.rotation.z");
    animation->setValues(std::move(values));
    animation->setKeyTimes(std::move(keyTimes));
    animation->setDuration(duration);
    return animation;
}

Ref<CAKeyframeAnimation> movement(CGPathRef path, double duration)
{
    auto animation = CAKeyframeAnimation::animationWithKeyPath("position");
    animation->setPath(std::move(path));
    animation->setDuration(duration);
    return animation;
}

Ref<CAAnimationGroup> group(std::vector<Ref<CAAnimation>> animations, double duration, bool easeIn)
{
    auto animation = CAAnimationGroup::animation();
    animation->setAnimations(std::move(animations));
    animation->setDuration(duration);
    animation->setFillMode(kCAFillModeForwards);
    if (easeIn) {
        animation->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn));
    }
    return animation;
}

// The chosen item blows up (scale 3) and the others shrink away (scale 0.01), fading out at `point`.
Ref<CAAnimationGroup> vanish(CGPoint point, CGFloat scale)
{
    auto position = CAKeyframeAnimation::animationWithKeyPath("position");
    position->setValues({point});
    position->setKeyTimes({0.3});
    auto size = CABasicAnimation::animationWithKeyPath("transform");
    size->setToValue(CATransform3DMakeScale(scale, scale, 1));
    auto opacity = CABasicAnimation::animationWithKeyPath("opacity");
    opacity->setToValue(0.0);
    return group({position, size, opacity}, 0.3, false);
}

}  // namespace RadialMenu_cpp
}  // namespace

CGPoint RotateCGPointAroundCenter(CGPoint point, CGPoint center, CGFloat angle)
{
    CGAffineTransform translate = CGAffineTransformMakeTranslation(center.x, center.y);
    CGAffineTransform rotate = CGAffineTransformMakeRotation(angle);
    CGAffineTransform transform =
        CGAffineTransformConcat(CGAffineTransformConcat(CGAffineTransformInvert(translate), rotate), translate);
    return CGPointApplyAffineTransform(point, transform);
}

CGRect ScaleRect(CGRect rect, CGFloat n)
{
    const CGFloat w = rect.size.width;
    const CGFloat h = rect.size.height;
    return CGRectMake((w - w * n) / 2, (h - h * n) / 2, w * n, h * n);
}

// ---- RadialMenuItem ------------------------------------------------------------------------------

Ref<RadialMenuItem> RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
    const Ref<UIImage>& image, const Ref<UIImage>& highlightedImage, const Ref<UIImage>& contentImage,
    const Ref<UIImage>& highlightedContentImage)
{
    auto item = std::make_shared<RadialMenuItem>();
    item->initWithImage_highlightedImage_ContentImage_highlightedContentImageBody(image, highlightedImage, contentImage,
                                                                                highlightedContentImage);
    return item;
}

void RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImageBody(
    const Ref<UIImage>& image, const Ref<UIImage>& highlightedImage, const Ref<UIImage>& contentImage,
    const Ref<UIImage>& highlightedContentImage)
{
    const CGSize size = image ? image->size() : CGSizeZero;
    UIImageView::initWithFrameBody(CGRectMake(0, 0, size.width, size.height));
    setImage(image);
    setHighlightedImage(highlightedImage);
    setUserInteractionEnabled(true);
    contentImageView_ = UIImageView::initWithImage(contentImage);
    contentImageView_->setHighlightedImage(highlightedContentImage);
    addSubview(contentImageView_);
    layoutSubviews();
}

void RadialMenuItem::layoutSubviews()
{
    const CGSize size = image() ? image()->size() : CGSizeZero;
    setBounds(CGRectMake(0, 0, size.width, size.height));
    const Ref<UIImage> content = contentImageView_->image();
    const CGSize contentSize = content ? content->size() : CGSizeZero;
    contentImageView_->setFrame(CGRectMake((size.width - contentSize.width) / 2, (size.height - contentSize.height) / 2,
                                           contentSize.width, contentSize.height));
}

void RadialMenuItem::setItemHighlighted(bool highlighted)
{
    setHighlighted(highlighted);
    contentImageView_->setHighlighted(highlighted);
}

bool RadialMenuItem::withinReach(const UITouchSet& touches)
{
    Ref<UITouch> touch = touches.anyObject();
    if (!touch) {
        return false;
    }
    return CGRectContainsPoint(ScaleRect(bounds(), 2), touch->locationInView(self<UIView>()));
}

void RadialMenuItem::touchesBegan_withEvent(const UITouchSet&, const Ref<UIEvent>&)
{
    setItemHighlighted(true);
    if (auto delegate = delegate_.lock()) {
        delegate->radialMenuItemTouchesBegan(self<RadialMenuItem>());
    }
}

void RadialMenuItem::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    if (!withinReach(touches)) {
        setItemHighlighted(false);
    }
}

void RadialMenuItem::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    setItemHighlighted(false);
    if (withinReach(touches)) {
        if (auto delegate = delegate_.lock()) {
            delegate->radialMenuItemTouchesEnd(self<RadialMenuItem>());
        }
    }
}

void RadialMenuItem::touchesCancelled_withEvent(const UITouchSet&, const Ref<UIEvent>&) { setItemHighlighted(false); }

// ---- RadialMenu ----------------------------------------------------------------------------------

Ref<RadialMenu> RadialMenu::initWithFrame_menus(CGRect frame, const std::vector<Ref<RadialMenuItem>>& menus)
{
    auto menu = std::make_shared<RadialMenu>();
    menu->initWithFrame_menusBody(frame, menus);
    return menu;
}

void RadialMenu::initWithFrame_menusBody(CGRect frame, const std::vector<Ref<RadialMenuItem>>& menus)
{
    UIView::initWithFrameBody(frame);
    setBackgroundColor(UIColor::clearColor());
    setMenusArray(menus);
    addButton_ = RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
        UIImage::imageNamed("bg-addbutton.png"), UIImage::imageNamed("bg-addbutton-highlighted.png"), nullptr,
        nullptr);
    addButton_->setDelegate(self<RadialMenu>());
    addButton_->setCenter(kRadialMenuStartPoint);
    addSubview(addButton_);
}

RadialMenu::~RadialMenu()
{
    if (timer_) {
        timer_->invalidate();
    }
}

void RadialMenu::setMenusArray(const std::vector<Ref<RadialMenuItem>>& menus)
{
    using namespace RadialMenu_cpp;
    if (menus == menusArray_) {
        return;
    }
    menusArray_ = menus;
    for (const Ref<UIView>& view : std::vector<Ref<UIView>>(subviews())) {
        if (view->tag() > kItemTagBase - 1) {
            view->removeFromSuperview();
        }
    }
    const size_t count = menusArray_.size();
    for (size_t i = 0; i < count; ++i) {
        const Ref<RadialMenuItem>& item = menusArray_[i];
        item->setTag(kItemTagBase + NSInteger(i));
        item->setStartPoint(kRadialMenuStartPoint);
        // The spread divides by the gaps between items; a single item has none and stands straight up.
        const CGFloat angle = count > 1 ? CGFloat(i) * CGFloat(M_PI_2) / CGFloat(count - 1) : 0;
        const CGFloat menuAngle = 0;
        item->setEndPoint(
            RotateCGPointAroundCenter(onCircle(kRadialMenuEndRadius, angle), kRadialMenuStartPoint, menuAngle));
        item->setNearPoint(
            RotateCGPointAroundCenter(onCircle(kRadialMenuNearRadius, angle), kRadialMenuStartPoint, menuAngle));
        item->setFarPoint(
            RotateCGPointAroundCenter(onCircle(kRadialMenuFarRadius, angle), kRadialMenuStartPoint, menuAngle));
        item->setCenter(item->startPoint());
        item->setDelegate(self<RadialMenu>());
        addSubview(item);
    }
}

void RadialMenu::setExpanding(bool expanding)
{
    expanding_ = expanding;
    const CGFloat angle = expanding ? CGFloat(-M_PI_4) : 0;
    Ref<RadialMenuItem> button = addButton_;
    UIView::animateWithDuration_animations(0.2, [button, angle] {
        button->setTransform(CGAffineTransformMakeRotation(angle));
    });
    if (timer_) {
        return;  // the running fold goes on to its end
    }
    flag_ = expanding ? 0 : int(menusArray_.size()) - 1;
    Weak<RadialMenu> weak = weakSelf<RadialMenu>();
    timer_ = NSTimer::timerWithTimeInterval(kRadialMenuFoldStepInterval, true, [weak, expanding] {
        if (auto menu = weak.lock()) {
            expanding ? menu->expandStep() : menu->closeStep();
        }
    });
    NSRunLoop::currentRunLoop()->addTimer(timer_, kCFRunLoopCommonModes);
}

void RadialMenu::stopTimer()
{
    if (timer_) {
        timer_->invalidate();
        timer_ = nullptr;
    }
}

Ref<RadialMenuItem> RadialMenu::itemAtFlag()
{
    return std::dynamic_pointer_cast<RadialMenuItem>(viewWithTag(RadialMenu_cpp::kItemTagBase + flag_));
}

void RadialMenu::expandStep()
{
    using namespace RadialMenu_cpp;
    if (flag_ >= int(menusArray_.size())) {
        stopTimer();
        return;
    }
    if (Ref<RadialMenuItem> item = itemAtFlag()) {
        auto spin = rotation({M_PI, 0.0}, {0.3, 0.4}, 0.45);
        auto path = movement(straightPath({item->startPoint(), item->farPoint(), item->nearPoint(), item->endPoint()}),
                             0.4);
        item->layer()->addAnimation_forKey(group({path, spin}, 0.5, true), "Expand");
        item->setCenter(item->endPoint());
    }
    ++flag_;
}

void RadialMenu::closeStep()
{
    using namespace RadialMenu_cpp;
    if (flag_ <= -1) {
        stopTimer();
        return;
    }
    if (Ref<RadialMenuItem> item = itemAtFlag()) {
        auto spin = rotation({0.0, 2 * M_PI, 0.0}, {0.0, 0.4, 0.5}, 0.3);
        auto path = movement(straightPath({item->endPoint(), item->farPoint(), item->startPoint()}), 0.3);
        item->layer()->addAnimation_forKey(group({path, spin}, 0.3, true), "Close");
        item->setCenter(item->startPoint());
    }
    --flag_;
}

bool RadialMenu::pointInside_withEvent(CGPoint point, const Ref<UIEvent>&)
{
    if (expanding_) {
        return true;
    }
    return CGRectContainsPoint(addButton_->frame(), point);
}

void RadialMenu::touchesBegan_withEvent(const UITouchSet&, const Ref<UIEvent>&) { setExpanding(!expanding_); }

void RadialMenu::radialMenuItemTouchesBegan(const Ref<RadialMenuItem>& item)
{
    if (item == addButton_) {
        setExpanding(!expanding_);
    }
}

void RadialMenu::radialMenuItemTouchesEnd(const Ref<RadialMenuItem>& item)
{
    using namespace RadialMenu_cpp;
    if (item == addButton_) {
        return;
    }
    item->layer()->addAnimation_forKey(vanish(item->center(), 3), "blowup");
    item->setCenter(item->startPoint());
    for (const Ref<RadialMenuItem>& other : menusArray_) {
        if (other->tag() == item->tag()) {
            continue;
        }
        other->layer()->addAnimation_forKey(vanish(other->center(), 0.01), "shrink");
        other->setCenter(other->startPoint());
    }
    expanding_ = false;
    Ref<RadialMenuItem> button = addButton_;
    UIView::animateWithDuration_animations(0.2, [button] { button->setTransform(CGAffineTransformMakeRotation(0)); });
    if (auto delegate = delegate_.lock()) {
        delegate->radialMenu_didSelectIndex(self<RadialMenu>(), int(item->tag() - kItemTagBase));
    }
}
