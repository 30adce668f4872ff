#include "platform/uikit/UIGeometryValue.h"

namespace {
template <class T>
T unbox(const UIGeometryValue::Boxed& v)
{
    const T* p = std::get_if<T>(&v);
    return p ? *p : T{};
}
}  // namespace

Ref<UIGeometryValue> UIGeometryValue::valueWithCGRect(CGRect rect) { return std::make_shared<UIGeometryValue>(rect); }
Ref<UIGeometryValue> UIGeometryValue::valueWithCGPoint(CGPoint point) { return std::make_shared<UIGeometryValue>(point); }
Ref<UIGeometryValue> UIGeometryValue::valueWithCGSize(CGSize size) { return std::make_shared<UIGeometryValue>(size); }
Ref<UIGeometryValue> UIGeometryValue::valueWithCGAffineTransform(CGAffineTransform transform)
{
    return std::make_shared<UIGeometryValue>(transform);
}
Ref<UIGeometryValue> UIGeometryValue::valueWithUIEdgeInsets(UIEdgeInsets insets)
{
    return std::make_shared<UIGeometryValue>(insets);
}

CGRect UIGeometryValue::CGRectValue() const { return unbox<CGRect>(value_); }
CGPoint UIGeometryValue::CGPointValue() const { return unbox<CGPoint>(value_); }
CGSize UIGeometryValue::CGSizeValue() const { return unbox<CGSize>(value_); }
CGAffineTransform UIGeometryValue::CGAffineTransformValue() const
{
    const auto* p = std::get_if<CGAffineTransform>(&value_);
    return p ? *p : CGAffineTransformIdentity;
}
UIEdgeInsets UIGeometryValue::UIEdgeInsetsValue() const { return unbox<UIEdgeInsets>(value_); }

bool UIGeometryValue::isEqual(const NSObject* other) const
{
    const auto* v = dynamic_cast<const UIGeometryValue*>(other);
    return v != nullptr && v->value_ == value_;
}

std::string UIGeometryValue::description() const
{
    struct Visitor {
        std::string operator()(CGRect r) const { return "NSRect: " + NSStringFromCGRect(r); }
        std::string operator()(CGPoint p) const { return "NSPoint: " + NSStringFromCGPoint(p); }
        std::string operator()(CGSize s) const { return "NSSize: " + NSStringFromCGSize(s); }
        std::string operator()(CGAffineTransform t) const { return "CGAffineTransform: " + NSStringFromCGAffineTransform(t); }
        std::string operator()(UIEdgeInsets i) const { return "UIEdgeInsets: " + NSStringFromUIEdgeInsets(i); }
    };
    return std::visit(Visitor{}, value_);
}
