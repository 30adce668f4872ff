#include "platform/uikit/CAAnimation.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/foundation/Clock.h"

double CACurrentMediaTime() { return Clock::now(); }

// --- Timing functions -----------------------------------------------------------------------------

CAMediaTimingFunction::CAMediaTimingFunction(std::string name, CGPoint c1, CGPoint c2)
    : name_(std::move(name)), c1_(c1), c2_(c2)
{
}

Ref<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(const std::string& name)
{
    if (name == kCAMediaTimingFunctionLinear) {
        return std::make_shared<CAMediaTimingFunction>(name, CGPoint{0, 0}, CGPoint{1, 1});
    }
    if (name == kCAMediaTimingFunctionEaseIn) {
        return std::make_shared<CAMediaTimingFunction>(name, CGPoint{0.42, 0}, CGPoint{1, 1});
    }
    if (name == kCAMediaTimingFunctionEaseOut) {
        return std::make_shared<CAMediaTimingFunction>(name, CGPoint{0, 0}, CGPoint{0.58, 1});
    }
    if (name == kCAMediaTimingFunctionEaseInEaseOut) {
        return std::make_shared<CAMediaTimingFunction>(name, CGPoint{0.42, 0}, CGPoint{0.58, 1});
    }
    if (name == kCAMediaTimingFunctionDefault) {
        return std::make_shared<CAMediaTimingFunction>(name, CGPoint{0.25, 0.1}, CGPoint{0.25, 1});
    }
    return nullptr;
}

Ref<CAMediaTimingFunction> CAMediaTimingFunction::functionWithControlPoints(float c1x, float c1y, float c2x,
                                                                            float c2y)
{
    return std::make_shared<CAMediaTimingFunction>("", CGPoint{c1x, c1y}, CGPoint{c2x, c2y});
}

CGPoint CAMediaTimingFunction::controlPointAtIndex(size_t index) const
{
    switch (index) {
    case 0:
        return {0, 0};
    case 1:
        return c1_;
    case 2:
        return c2_;
    default:
        return {1, 1};
    }
}

bool CAMediaTimingFunction::isEqual(const NSObject* other) const
{
    const auto* f = dynamic_cast<const CAMediaTimingFunction*>(other);
    return f != nullptr && f->name_ == name_ && f->c1_ == c1_ && f->c2_ == c2_;
}

std::string CAMediaTimingFunction::description() const
{
    if (!name_.empty()) {
        return name_;
    }
    std::string text = "(";
    text += NSStringFromCGPoint(c1_);
    text += ' ';
    text += NSStringFromCGPoint(c2_);
    text += ')';
    return text;
}

// --- CAAnimation ----------------------------------------------------------------------------------

Ref<CAAnimation> CAAnimation::animation() { return std::make_shared<CAAnimation>(); }

Ref<CAAnimation> CAAnimation::copy() const { return make(); }

Ref<CAAnimation> CAAnimation::make() const
{
    auto a = std::make_shared<CAAnimation>();
    copyInto(*a);
    return a;
}

void CAAnimation::copyInto(CAAnimation& o) const
{
    o.duration_ = duration_;
    o.beginTime_ = beginTime_;
    o.timeOffset_ = timeOffset_;
    o.speed_ = speed_;
    o.repeatCount_ = repeatCount_;
    o.repeatDuration_ = repeatDuration_;
    o.autoreverses_ = autoreverses_;
    o.fillMode_ = fillMode_;
    o.removedOnCompletion_ = removedOnCompletion_;
    o.timingFunction_ = timingFunction_;
    o.delegate_ = delegate_;
}

double CAAnimation::activeDuration() const
{
    const double once = duration_ > 0 ? duration_ : 0.25;
    double total = once * (autoreverses_ ? 2 : 1);
    if (repeatDuration_ > 0) {
        total = repeatDuration_;
    } else if (repeatCount_ > 0) {
        if (std::isinf(repeatCount_)) {
            return std::numeric_limits<double>::infinity();
        }
        total *= repeatCount_;
    }
    if (speed_ == 0) {
        return std::numeric_limits<double>::infinity();
    }
    return total / std::abs(speed_);
}

std::string CAAnimation::description() const
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " duration %g", duration_);
    return NSObject::description() + buffer;
}

// --- Property animations --------------------------------------------------------------------------

Ref<CAPropertyAnimation> CAPropertyAnimation::animationWithKeyPath(const std::string& keyPath)
{
    auto a = std::make_shared<CAPropertyAnimation>();
    a->keyPath_ = keyPath;
    return a;
}

Ref<CAAnimation> CAPropertyAnimation::make() const
{
    auto a = std::make_shared<CAPropertyAnimation>();
    copyInto(*a);
    return a;
}

void CAPropertyAnimation::copyInto(CAPropertyAnimation& o) const
{
    CAAnimation::copyInto(o);
    o.keyPath_ = keyPath_;
    o.additive_ = additive_;
    o.cumulative_ = cumulative_;
}

std::string CAPropertyAnimation::description() const { return CAAnimation::description() + " keyPath " + keyPath_; }

Ref<CABasicAnimation> CABasicAnimation::animation() { return std::make_shared<CABasicAnimation>(); }

Ref<CABasicAnimation> CABasicAnimation::animationWithKeyPath(const std::string& keyPath)
{
    auto a = std::make_shared<CABasicAnimation>();
    a->setKeyPath(keyPath);
    return a;
}

Ref<CAAnimation> CABasicAnimation::make() const
{
    auto a = std::make_shared<CABasicAnimation>();
    copyInto(*a);
    a->fromValue_ = fromValue_;
    a->toValue_ = toValue_;
    a->byValue_ = byValue_;
    return a;
}

std::string CABasicAnimation::description() const
{
    return CAPropertyAnimation::description() + " from " + CAValueDescription(fromValue_) + " to " +
           CAValueDescription(toValue_);
}

Ref<CAKeyframeAnimation> CAKeyframeAnimation::animation() { return std::make_shared<CAKeyframeAnimation>(); }

Ref<CAKeyframeAnimation> CAKeyframeAnimation::animationWithKeyPath(const std::string& keyPath)
{
    auto a = std::make_shared<CAKeyframeAnimation>();
    a->setKeyPath(keyPath);
    return a;
}

Ref<CAAnimation> CAKeyframeAnimation::make() const
{
    auto a = std::make_shared<CAKeyframeAnimation>();
    copyInto(*a);
    a->values_ = values_;
    a->path_ = path_;
    a->keyTimes_ = keyTimes_;
    a->timingFunctions_ = timingFunctions_;
    a->calculationMode_ = calculationMode_;
    a->rotationMode_ = rotationMode_;
    return a;
}

Ref<CAAnimationGroup> CAAnimationGroup::animation() { return std::make_shared<CAAnimationGroup>(); }

Ref<CAAnimation> CAAnimationGroup::make() const
{
    auto a = std::make_shared<CAAnimationGroup>();
    copyInto(*a);
    a->animations_ = animations_;
    return a;
}

Ref<CATransition> CATransition::animation() { return std::make_shared<CATransition>(); }

Ref<CAAnimation> CATransition::make() const
{
    auto a = std::make_shared<CATransition>();
    copyInto(*a);
    a->type_ = type_;
    a->subtype_ = subtype_;
    a->startProgress_ = startProgress_;
    a->endProgress_ = endProgress_;
    return a;
}
