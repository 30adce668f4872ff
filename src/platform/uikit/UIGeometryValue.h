#pragma once
// Geometry boxed as an object, as the platform's NSValue carries rectangles, points and sizes in
// notification user info (the status-bar frame, the keyboard frames):
//     CGRect frame = note->userInfo()[UIApplicationStatusBarFrameUserInfoKey].object<UIGeometryValue>()->CGRectValue();
#include <string>
#include <variant>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIGeometry.h"

class UIGeometryValue : public NSObject {
public:
    static Ref<UIGeometryValue> valueWithCGRect(CGRect rect);
    static Ref<UIGeometryValue> valueWithCGPoint(CGPoint point);
    static Ref<UIGeometryValue> valueWithCGSize(CGSize size);
    static Ref<UIGeometryValue> valueWithCGAffineTransform(CGAffineTransform transform);
    static Ref<UIGeometryValue> valueWithUIEdgeInsets(UIEdgeInsets insets);

    // The boxed value, or zero when another kind is boxed.
    CGRect CGRectValue() const;
    CGPoint CGPointValue() const;
    CGSize CGSizeValue() const;
    CGAffineTransform CGAffineTransformValue() const;
    UIEdgeInsets UIEdgeInsetsValue() const;

    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

    using Boxed = std::variant<CGRect, CGPoint, CGSize, CGAffineTransform, UIEdgeInsets>;
    explicit UIGeometryValue(Boxed value) : value_(value) {}

private:
    Boxed value_;
};
