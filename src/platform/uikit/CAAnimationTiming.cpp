// How animations move: their timing (begin, speed, offset, repeats, autoreverse, fill modes, timing
// curves) and the values they give their key paths at a moment, applied to a presentation layer.
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"

namespace {
namespace CAAnimationTiming_cpp {

// --- Cubic timing curves ---

double bezier(double a, double b, double t)
{
    // One coordinate of the curve from 0 through control values a and b to 1.
    const double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
}

double bezierSlope(double a, double b, double t)
{
    const double u = 1 - t;
    return 3 * u * u * a + 6 * u * t * (b - a) + 3 * t * t * (1 - b);
}

// --- Values ---

double lerp(double a, double b, double u) { return a + (b - a) * u; }
CGPoint lerp(CGPoint a, CGPoint b, double u) { return {lerp(a.x, b.x, u), lerp(a.y, b.y, u)}; }
CGSize lerp(CGSize a, CGSize b, double u) { return {lerp(a.width, b.width, u), lerp(a.height, b.height, u)}; }
CGRect lerp(CGRect a, CGRect b, double u) { return {lerp(a.origin, b.origin, u), lerp(a.size, b.size, u)}; }

struct Parts {
    double tx, ty, sx, sy, angle, shear;
};

// An affine transform as translation, scale, rotation and shear, so that a turn interpolates as a turn
// (element by element a half turn would pass through nothing).
Parts partsOf(const CATransform3D& t)
{
    Parts p{};
    p.tx = t.m41;
    p.ty = t.m42;
    p.sx = std::hypot(t.m11, t.m12);
    p.angle = std::atan2(t.m12, t.m11);
    const double det = t.m11 * t.m22 - t.m12 * t.m21;
    if (p.sx != 0) {
        p.sy = det / p.sx;
        p.shear = (t.m11 * t.m21 + t.m12 * t.m22) / (p.sx * p.sx);
    } else {
        p.sy = std::hypot(t.m21, t.m22);
    }
    return p;
}

CATransform3D transformOf(const Parts& p, const CATransform3D& like)
{
    const double c = std::cos(p.angle), s = std::sin(p.angle);
    CATransform3D t = like;
    // Row vectors: the first row is the turned x axis at its scale; the second the turned y axis at
    // its scale plus the shear along the first (measured in units of the x scale).
    t.m11 = p.sx * c;
    t.m12 = p.sx * s;
    t.m21 = p.shear * p.sx * c - p.sy * s;
    t.m22 = p.shear * p.sx * s + p.sy * c;
    t.m41 = p.tx;
    t.m42 = p.ty;
    return t;
}

bool isAffine(const CATransform3D& t)
{
    return t.m13 == 0 && t.m14 == 0 && t.m23 == 0 && t.m24 == 0 && t.m31 == 0 && t.m32 == 0 && t.m34 == 0 &&
           t.m43 == 0 && t.m44 == 1;
}

CATransform3D lerp(const CATransform3D& a, const CATransform3D& b, double u)
{
    if (isAffine(a) && isAffine(b)) {
        Parts pa = partsOf(a), pb = partsOf(b);
        // The shorter way round.
        double delta = pb.angle - pa.angle;
        if (delta > M_PI) delta -= 2 * M_PI;
        if (delta < -M_PI) delta += 2 * M_PI;
        Parts p{lerp(pa.tx, pb.tx, u), lerp(pa.ty, pb.ty, u), lerp(pa.sx, pb.sx, u),
                lerp(pa.sy, pb.sy, u),  pa.angle + delta * u,   lerp(pa.shear, pb.shear, u)};
        CATransform3D t = transformOf(p, a);
        t.m33 = lerp(a.m33, b.m33, u);
        return t;
    }
    const CGFloat* x = &a.m11;
    const CGFloat* y = &b.m11;
    CATransform3D t;
    CGFloat* out = &t.m11;
    for (int i = 0; i < 16; ++i) out[i] = lerp(x[i], y[i], u);
    return t;
}

CAValue interpolate(const CAValue& a, const CAValue& b, double u)
{
    if (a.index() != b.index()) {
        return u < 0.5 ? a : b;
    }
    if (auto* x = std::get_if<double>(&a)) return lerp(*x, std::get<double>(b), u);
    if (auto* x = std::get_if<CGPoint>(&a)) return lerp(*x, std::get<CGPoint>(b), u);
    if (auto* x = std::get_if<CGSize>(&a)) return lerp(*x, std::get<CGSize>(b), u);
    if (auto* x = std::get_if<CGRect>(&a)) return lerp(*x, std::get<CGRect>(b), u);
    if (auto* x = std::get_if<CATransform3D>(&a)) return lerp(*x, std::get<CATransform3D>(b), u);
    if (auto* x = std::get_if<CGColorRef>(&a)) {
        const CGColorRef& y = std::get<CGColorRef>(b);
        if (*x && y && !x->get()->patternImage() && !y->patternImage()) {
            const auto p = (*x)->rgba(), q = y->rgba();
            return CGColor::createRGB(lerp(p[0], q[0], u), lerp(p[1], q[1], u), lerp(p[2], q[2], u),
                                      lerp(p[3], q[3], u));
        }
    }
    // Images and whatever cannot be mixed change half way.
    return u < 0.5 ? a : b;
}

// a + b (a - b when negate), for the values that can be added; otherwise b.
CAValue add(const CAValue& a, const CAValue& b, bool negate = false)
{
    const double k = negate ? -1 : 1;
    if (a.index() != b.index()) {
        return b;
    }
    if (auto* x = std::get_if<double>(&a)) return *x + k * std::get<double>(b);
    if (auto* x = std::get_if<CGPoint>(&a)) {
        const CGPoint y = std::get<CGPoint>(b);
        return CGPoint{x->x + k * y.x, x->y + k * y.y};
    }
    if (auto* x = std::get_if<CGSize>(&a)) {
        const CGSize y = std::get<CGSize>(b);
        return CGSize{x->width + k * y.width, x->height + k * y.height};
    }
    if (auto* x = std::get_if<CGRect>(&a)) {
        const CGRect y = std::get<CGRect>(b);
        return CGRect{{x->origin.x + k * y.origin.x, x->origin.y + k * y.origin.y},
                      {x->size.width + k * y.size.width, x->size.height + k * y.size.height}};
    }
    if (auto* x = std::get_if<CATransform3D>(&a)) {
        // Transforms add by concatenation: b after a.
        const CATransform3D& y = std::get<CATransform3D>(b);
        return negate ? CATransform3DConcat(*x, CATransform3DInvert(y)) : CATransform3DConcat(y, *x);
    }
    return b;
}

double distance(const CAValue& a, const CAValue& b)
{
    if (auto* x = std::get_if<double>(&a)) {
        if (auto* y = std::get_if<double>(&b)) return std::abs(*y - *x);
    }
    if (auto* x = std::get_if<CGPoint>(&a)) {
        if (auto* y = std::get_if<CGPoint>(&b)) return std::hypot(y->x - x->x, y->y - x->y);
    }
    return 1;
}

// A keyframe path as segments from one element's end to the next: lines and curves as given.
struct PathSegment {
    CGPathElement::Type type;
    CGPoint start;
    std::vector<CGPoint> points;  // the element's points (control points, then the end)
};

CGPoint pointOn(const PathSegment& s, double u)
{
    const double v = 1 - u;
    switch (s.type) {
    case CGPathElement::kAddQuadCurveToPoint: {
        const CGPoint c = s.points[0], e = s.points[1];
        return {v * v * s.start.x + 2 * v * u * c.x + u * u * e.x, v * v * s.start.y + 2 * v * u * c.y + u * u * e.y};
    }
    case CGPathElement::kAddCurveToPoint: {
        const CGPoint c1 = s.points[0], c2 = s.points[1], e = s.points[2];
        return {v * v * v * s.start.x + 3 * v * v * u * c1.x + 3 * v * u * u * c2.x + u * u * u * e.x,
                v * v * v * s.start.y + 3 * v * v * u * c1.y + 3 * v * u * u * c2.y + u * u * u * e.y};
    }
    default:
        return lerp(s.start, s.points.back(), u);
    }
}

double segmentLength(const PathSegment& s)
{
    if (s.type != CGPathElement::kAddQuadCurveToPoint && s.type != CGPathElement::kAddCurveToPoint) {
        return std::hypot(s.points.back().x - s.start.x, s.points.back().y - s.start.y);
    }
    double length = 0;
    CGPoint last = s.start;
    for (int i = 1; i <= 16; ++i) {
        const CGPoint p = pointOn(s, i / 16.0);
        length += std::hypot(p.x - last.x, p.y - last.y);
        last = p;
    }
    return length;
}

}  // namespace CAAnimationTiming_cpp
}  // namespace

double CAMediaTimingFunction::evaluate(double x) const
{
    using namespace CAAnimationTiming_cpp;
    x = std::clamp(x, 0.0, 1.0);
    if (c1_.x == c1_.y && c2_.x == c2_.y) {
        return x;  // a straight line
    }
    // Find the curve's parameter for x (Newton's steps, then halving if they stray), then its y.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(c1_.x, c2_.x, t) - x;
        if (std::abs(error) < 1e-7) {
            return bezier(c1_.y, c2_.y, t);
        }
        const double slope = bezierSlope(c1_.x, c2_.x, t);
        if (std::abs(slope) < 1e-6) {
            break;
        }
        t -= error / slope;
    }
    double lo = 0, hi = 1;
    t = x;
    for (int i = 0; i < 60; ++i) {
        const double value = bezier(c1_.x, c2_.x, t);
        if (std::abs(value - x) < 1e-9) {
            break;
        }
        (value < x ? lo : hi) = t;
        t = (lo + hi) / 2;
    }
    return bezier(c1_.y, c2_.y, t);
}

std::optional<CAAnimation::Progress> CAAnimation::progressAt(double time) const
{
    const double once = duration_ > 0 ? duration_ : 0.25;
    const double pass = once * (autoreverses_ ? 2 : 1);
    double active = pass;
    if (repeatDuration_ > 0) {
        active = repeatDuration_;
    } else if (repeatCount_ > 0) {
        active = std::isinf(repeatCount_) ? std::numeric_limits<double>::infinity() : pass * repeatCount_;
    }
    const double elapsed = (time - beginTime_) * speed_;
    const bool forwards = fillMode_ == kCAFillModeForwards || fillMode_ == kCAFillModeBoth;
    const bool backwards = fillMode_ == kCAFillModeBackwards || fillMode_ == kCAFillModeBoth;
    double local;
    bool ended = false;
    if (elapsed < 0) {
        if (!backwards) return std::nullopt;
        local = timeOffset_;
    } else if (elapsed >= active) {
        // The very end still shows the last value (an animation in a group held at the group's end
        // stands exactly there); after it only a forward fill holds it.
        if (elapsed > active && !forwards) return std::nullopt;
        local = active + timeOffset_;
        ended = true;
    } else {
        local = elapsed + timeOffset_;
    }
    Progress progress;
    double within = std::fmod(local, pass);
    double passes = std::floor(local / pass);
    if (ended && within < 1e-9 && passes > 0) {
        // Exactly at the end of a whole pass: hold that pass's last value, not the next one's first.
        within = pass;
        passes -= 1;
    }
    progress.iteration = int(std::min(passes, double(std::numeric_limits<int>::max())));
    if (autoreverses_ && within > once) {
        within = pass - within;
    }
    double fraction = std::clamp(within / once, 0.0, 1.0);
    if (timingFunction_) {
        fraction = timingFunction_->evaluate(fraction);
    }
    progress.fraction = fraction;
    return progress;
}

void CABasicAnimation::applyTo(CALayer& layer, double time) const
{
    using namespace CAAnimationTiming_cpp;
    const auto progress = progressAt(time);
    if (!progress) {
        return;
    }
    const CAValue current = layer.valueForKeyPath(keyPath());
    if (CAValueIsNil(current) && keyPath() != "contents" && keyPath().find("Color") == std::string::npos) {
        return;  // a key path the layer does not have
    }
    // Missing ends come from the value the layer shows without this animation.
    const bool from = !CAValueIsNil(fromValue_), to = !CAValueIsNil(toValue_), by = !CAValueIsNil(byValue_);
    CAValue start, end;
    if (from && to) {
        start = fromValue_, end = toValue_;
    } else if (from && by) {
        start = fromValue_, end = add(fromValue_, byValue_);
    } else if (by && to) {
        start = add(toValue_, byValue_, true), end = toValue_;
    } else if (from) {
        start = fromValue_, end = current;
    } else if (to) {
        start = current, end = toValue_;
    } else if (by) {
        start = current, end = add(current, byValue_);
    } else {
        return;
    }
    CAValue value = interpolate(start, end, progress->fraction);
    if (isCumulative() && progress->iteration > 0) {
        const CAValue step = add(end, start, true);
        for (int i = 0; i < std::min(progress->iteration, 1000); ++i) value = add(value, step);
    }
    if (isAdditive()) {
        value = add(current, value);
    }
    layer.setValue_forKeyPath(value, keyPath());
}

void CAKeyframeAnimation::applyTo(CALayer& layer, double time) const
{
    using namespace CAAnimationTiming_cpp;
    const auto progress = progressAt(time);
    if (!progress) {
        return;
    }
    const double f = progress->fraction;
    const bool discrete = calculationMode() == kCAAnimationDiscrete;
    const bool paced = calculationMode() == kCAAnimationPaced;
    // The time at which each keyframe is reached.
    auto keyTimesFor = [&](size_t count, const std::vector<double>& lengths) {
        if (!paced && keyTimes().size() == count) {
            return keyTimes();
        }
        std::vector<double> times(count, 0);
        if (paced && !lengths.empty()) {
            double total = 0;
            for (double l : lengths) total += l;
            double sum = 0;
            for (size_t i = 1; i < count; ++i) {
                sum += lengths[i - 1];
                times[i] = total > 0 ? sum / total : double(i) / double(count - 1);
            }
            return times;
        }
        const double parts = discrete ? double(count) : double(std::max<size_t>(count - 1, 1));
        for (size_t i = 0; i < count; ++i) times[i] = double(i) / parts;
        return times;
    };
    // Which keyframe span holds f, and how far into it (after the span's timing function).
    auto locate = [&](const std::vector<double>& times, size_t& index, double& u) {
        index = 0;
        while (index + 1 < times.size() && f >= times[index + 1]) ++index;
        u = 0;
        if (index + 1 < times.size() && f > times[index]) {
            const double span = times[index + 1] - times[index];
            u = span > 0 ? (f - times[index]) / span : 1;
            if (index < timingFunctions().size() && timingFunctions()[index]) {
                u = timingFunctions()[index]->evaluate(u);
            }
        }
    };

    CAValue value;
    if (path() && !path()->isEmpty()) {
        std::vector<PathSegment> segments;
        CGPoint at{}, subpathStart{};
        bool first = true;
        for (const CGPathElement& e : path()->elements()) {
            if (e.type == CGPathElement::kMoveToPoint) {
                at = subpathStart = e.points.at(0);
                if (first) {
                    segments.push_back({CGPathElement::kMoveToPoint, at, {at}});
                    first = false;
                }
                continue;
            }
            PathSegment s{e.type, at, e.points};
            if (e.type == CGPathElement::kCloseSubpath) {
                s = {CGPathElement::kAddLineToPoint, at, {subpathStart}};
            }
            if (first) {
                segments.push_back({CGPathElement::kMoveToPoint, at, {at}});
                first = false;
            }
            segments.push_back(s);
            at = s.points.back();
        }
        // Keyframes are the segments' ends; the first is the path's start.
        std::vector<double> lengths;
        for (size_t i = 1; i < segments.size(); ++i) lengths.push_back(segmentLength(segments[i]));
        const std::vector<double> times = keyTimesFor(segments.size(), lengths);
        size_t index;
        double u;
        locate(times, index, u);
        if (discrete || index + 1 >= segments.size()) {
            value = segments[index].points.back();
        } else {
            value = pointOn(segments[index + 1], u);
        }
    } else {
        const auto& keyValues = values();
        if (keyValues.empty()) {
            return;
        }
        std::vector<double> lengths;
        for (size_t i = 1; i < keyValues.size(); ++i) lengths.push_back(distance(keyValues[i - 1], keyValues[i]));
        const std::vector<double> times = keyTimesFor(keyValues.size(), lengths);
        size_t index;
        double u;
        locate(times, index, u);
        if (f < times.front()) {
            value = keyValues.front();
        } else if (discrete || index + 1 >= keyValues.size()) {
            value = keyValues[index];
        } else {
            value = interpolate(keyValues[index], keyValues[index + 1], u);
        }
    }
    if (isAdditive()) {
        value = add(layer.valueForKeyPath(keyPath()), value);
    }
    layer.setValue_forKeyPath(value, keyPath());
}

void CAAnimationGroup::applyTo(CALayer& layer, double time) const
{
    const auto progress = progressAt(time);
    if (!progress) {
        return;
    }
    const double once = duration() > 0 ? duration() : 0.25;
    const double local = progress->fraction * once;
    for (const Ref<CAAnimation>& animation : animations_) {
        if (animation) {
            animation->applyTo(layer, local);
        }
    }
}
