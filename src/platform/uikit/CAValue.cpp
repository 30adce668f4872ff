#include "platform/uikit/CAValue.h"

#include <cstdio>

bool CAValueEqual(const CAValue& a, const CAValue& b)
{
    if (a.index() != b.index()) {
        return false;
    }
    if (const auto* c = std::get_if<CGColorRef>(&a)) {
        return CGColorEqualToColor(*c, std::get<CGColorRef>(b));
    }
    return a == b;
}

std::string CAValueDescription(const CAValue& v)
{
    struct Visitor {
        std::string operator()(std::monostate) const { return "nil"; }
        std::string operator()(double d) const
        {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%g", d);
            return buffer;
        }
        std::string operator()(CGPoint p) const { return NSStringFromCGPoint(p); }
        std::string operator()(CGSize s) const { return NSStringFromCGSize(s); }
        std::string operator()(CGRect r) const { return NSStringFromCGRect(r); }
        std::string operator()(const CATransform3D& t) const { return NSStringFromCATransform3D(t); }
        std::string operator()(const CGColorRef& c) const { return c ? c->description() : "nil"; }
        std::string operator()(const CGImageRef& i) const
        {
            return i ? "<image " + std::to_string(i->width()) + "x" + std::to_string(i->height()) + ">" : "nil";
        }
    };
    return std::visit(Visitor{}, v);
}
