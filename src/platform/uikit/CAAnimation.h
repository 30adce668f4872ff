#pragma once
// Layer animations: what animates (key path), from what to what, for how long, how it is timed and
// repeated. A layer that holds animations shows them through its presentation layer (the model
// values with every animation's value at the current time on the process clock applied); it ends an
// animation on the process clock (Clock) when its time is up and tells the animation's delegate.
//
// Adding an animation to a layer copies it (later changes to the original do not touch the copy), as
// on the phone. A duration of 0 means 0.25 seconds.
#include <cmath>  // HUGE_VALF: a repeat count that repeats for ever
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/CAValue.h"

inline constexpr char kCAMediaTimingFunctionLinear[] = "linear";
inline constexpr char kCAMediaTimingFunctionEaseIn[] = "easeIn";
inline constexpr char kCAMediaTimingFunctionEaseOut[] = "easeOut";
inline constexpr char kCAMediaTimingFunctionEaseInEaseOut[] = "easeInEaseOut";
inline constexpr char kCAMediaTimingFunctionDefault[] = "default";

inline constexpr char kCAFillModeForwards[] = "forwards";
inline constexpr char kCAFillModeBackwards[] = "backwards";
inline constexpr char kCAFillModeBoth[] = "both";
inline constexpr char kCAFillModeRemoved[] = "removed";

inline constexpr char kCAAnimationLinear[] = "linear";
inline constexpr char kCAAnimationDiscrete[] = "discrete";
inline constexpr char kCAAnimationPaced[] = "paced";
inline constexpr char kCAAnimationRotateAuto[] = "auto";
inline constexpr char kCAAnimationRotateAutoReverse[] = "autoReverse";

inline constexpr char kCATransitionFade[] = "fade";
inline constexpr char kCATransitionMoveIn[] = "moveIn";
inline constexpr char kCATransitionPush[] = "push";
inline constexpr char kCATransitionReveal[] = "reveal";
inline constexpr char kCATransitionFromRight[] = "fromRight";
inline constexpr char kCATransitionFromLeft[] = "fromLeft";
inline constexpr char kCATransitionFromTop[] = "fromTop";
inline constexpr char kCATransitionFromBottom[] = "fromBottom";

class CALayer;

class CAMediaTimingFunction : public NSObject {
public:
    static Ref<CAMediaTimingFunction> functionWithName(const std::string& name);
    static Ref<CAMediaTimingFunction> functionWithControlPoints(float c1x, float c1y, float c2x, float c2y);

    // The name it was made with (empty for control points).
    const std::string& name() const { return name_; }
    // Control point 0 to 3 of the cubic timing curve ((0,0) and (1,1) at the ends).
    CGPoint controlPointAtIndex(size_t index) const;
    // The curve's output for an input time fraction in [0, 1] (the curve's y where its x is the input).
    double evaluate(double x) const;

    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

    CAMediaTimingFunction(std::string name, CGPoint c1, CGPoint c2);

private:
    std::string name_;
    CGPoint c1_, c2_;
};

class CAAnimation;

// Told when an animation starts and when it stops (finished = false when it was removed or replaced
// before its time was up).
class CAAnimationDelegate {
public:
    virtual ~CAAnimationDelegate() = default;
    virtual void animationDidStart(const Ref<CAAnimation>& animation) {}
    virtual void animationDidStop_finished(const Ref<CAAnimation>& animation, bool finished) {}
};

class CAAnimation : public NSObject {
public:
    static Ref<CAAnimation> animation();
    // A copy of the same class with the same settings.
    virtual Ref<CAAnimation> copy() const;

    double duration() const { return duration_; }
    void setDuration(double d) { duration_ = d; }
    double beginTime() const { return beginTime_; }  // on the Clock::now() base; 0: when added
    void setBeginTime(double t) { beginTime_ = t; }
    double timeOffset() const { return timeOffset_; }
    void setTimeOffset(double t) { timeOffset_ = t; }
    float speed() const { return speed_; }
    void setSpeed(float s) { speed_ = s; }
    float repeatCount() const { return repeatCount_; }
    void setRepeatCount(float c) { repeatCount_ = c; }
    double repeatDuration() const { return repeatDuration_; }
    void setRepeatDuration(double d) { repeatDuration_ = d; }
    bool autoreverses() const { return autoreverses_; }
    void setAutoreverses(bool a) { autoreverses_ = a; }
    const std::string& fillMode() const { return fillMode_; }
    void setFillMode(const std::string& mode) { fillMode_ = mode; }
    bool isRemovedOnCompletion() const { return removedOnCompletion_; }
    bool removedOnCompletion() const { return removedOnCompletion_; }
    void setRemovedOnCompletion(bool r) { removedOnCompletion_ = r; }
    Ref<CAMediaTimingFunction> timingFunction() const { return timingFunction_; }
    void setTimingFunction(Ref<CAMediaTimingFunction> f) { timingFunction_ = std::move(f); }
    Weak<CAAnimationDelegate> delegate() const { return delegate_; }
    void setDelegate(Weak<CAAnimationDelegate> d) { delegate_ = std::move(d); }

    // How long the animation runs once started: the duration (0 as 0.25) times the repeats, doubled
    // when it autoreverses, divided by the speed; infinity when it repeats for ever or has speed 0.
    double activeDuration() const;

    // Where the animation stands at `time` on its parent's time line (the process clock for an
    // animation on a layer, the group's own time for one inside a group): the fraction of the
    // duration reached, with the timing function applied, and the number of whole passes before it.
    // Nothing when the animation has no effect then (before its begin or after its end, unless its
    // fill mode holds it there).
    struct Progress {
        double fraction = 0;
        int iteration = 0;
    };
    std::optional<Progress> progressAt(double time) const;
    // Applies the animation's value at `time` (as for progressAt) to a layer that shows it (a
    // presentation layer): a property animation sets its key path, a group applies its animations.
    virtual void applyTo(CALayer& layer, double time) const {}

    std::string description() const override;

protected:
    virtual Ref<CAAnimation> make() const;
    void copyInto(CAAnimation& other) const;

private:
    double duration_ = 0;
    double beginTime_ = 0;
    double timeOffset_ = 0;
    float speed_ = 1;
    float repeatCount_ = 0;
    double repeatDuration_ = 0;
    bool autoreverses_ = false;
    std::string fillMode_ = kCAFillModeRemoved;
    bool removedOnCompletion_ = true;
    Ref<CAMediaTimingFunction> timingFunction_;
    Weak<CAAnimationDelegate> delegate_;
};

class CAPropertyAnimation : public CAAnimation {
public:
    static Ref<CAPropertyAnimation> animationWithKeyPath(const std::string& keyPath);

    const std::string& keyPath() const { return keyPath_; }
    void setKeyPath(const std::string& keyPath) { keyPath_ = keyPath; }
    bool isAdditive() const { return additive_; }
    void setAdditive(bool a) { additive_ = a; }
    bool isCumulative() const { return cumulative_; }
    void setCumulative(bool c) { cumulative_ = c; }

    std::string description() const override;

protected:
    Ref<CAAnimation> make() const override;
    void copyInto(CAPropertyAnimation& other) const;

private:
    std::string keyPath_;
    bool additive_ = false;
    bool cumulative_ = false;
};

class CABasicAnimation : public CAPropertyAnimation {
public:
    static Ref<CABasicAnimation> animation();
    static Ref<CABasicAnimation> animationWithKeyPath(const std::string& keyPath);

    const CAValue& fromValue() const { return fromValue_; }
    void setFromValue(CAValue v) { fromValue_ = std::move(v); }
    const CAValue& toValue() const { return toValue_; }
    void setToValue(CAValue v) { toValue_ = std::move(v); }
    const CAValue& byValue() const { return byValue_; }
    void setByValue(CAValue v) { byValue_ = std::move(v); }

    std::string description() const override;
    void applyTo(CALayer& layer, double time) const override;

protected:
    Ref<CAAnimation> make() const override;

private:
    CAValue fromValue_, toValue_, byValue_;
};

class CAKeyframeAnimation : public CAPropertyAnimation {
public:
    static Ref<CAKeyframeAnimation> animation();
    static Ref<CAKeyframeAnimation> animationWithKeyPath(const std::string& keyPath);

    const std::vector<CAValue>& values() const { return values_; }
    void setValues(std::vector<CAValue> v) { values_ = std::move(v); }
    const CGPathRef& path() const { return path_; }
    void setPath(CGPathRef p) { path_ = std::move(p); }
    const std::vector<double>& keyTimes() const { return keyTimes_; }
    void setKeyTimes(std::vector<double> t) { keyTimes_ = std::move(t); }
    const std::vector<Ref<CAMediaTimingFunction>>& timingFunctions() const { return timingFunctions_; }
    void setTimingFunctions(std::vector<Ref<CAMediaTimingFunction>> f) { timingFunctions_ = std::move(f); }
    const std::string& calculationMode() const { return calculationMode_; }
    void setCalculationMode(const std::string& m) { calculationMode_ = m; }
    const std::string& rotationMode() const { return rotationMode_; }
    void setRotationMode(const std::string& m) { rotationMode_ = m; }

    void applyTo(CALayer& layer, double time) const override;

protected:
    Ref<CAAnimation> make() const override;

private:
    std::vector<CAValue> values_;
    CGPathRef path_;
    std::vector<double> keyTimes_;
    std::vector<Ref<CAMediaTimingFunction>> timingFunctions_;
    std::string calculationMode_ = kCAAnimationLinear;
    std::string rotationMode_;
};

class CAAnimationGroup : public CAAnimation {
public:
    static Ref<CAAnimationGroup> animation();

    const std::vector<Ref<CAAnimation>>& animations() const { return animations_; }
    void setAnimations(std::vector<Ref<CAAnimation>> a) { animations_ = std::move(a); }

    // The group's animations run on its time line: their begin times count from the group's start,
    // and nothing of them shows past the group's duration.
    void applyTo(CALayer& layer, double time) const override;

protected:
    Ref<CAAnimation> make() const override;

private:
    std::vector<Ref<CAAnimation>> animations_;
};

class CATransition : public CAAnimation {
public:
    static Ref<CATransition> animation();

    const std::string& type() const { return type_; }
    void setType(const std::string& t) { type_ = t; }
    const std::string& subtype() const { return subtype_; }
    void setSubtype(const std::string& s) { subtype_ = s; }
    float startProgress() const { return startProgress_; }
    void setStartProgress(float p) { startProgress_ = p; }
    float endProgress() const { return endProgress_; }
    void setEndProgress(float p) { endProgress_ = p; }

protected:
    Ref<CAAnimation> make() const override;

private:
    std::string type_ = kCATransitionFade;
    std::string subtype_;
    float startProgress_ = 0;
    float endProgress_ = 1;
};

// Seconds on the process clock (Clock::now()), the time base of beginTime.
double CACurrentMediaTime();
