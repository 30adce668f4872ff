#include "platform/graphics/CGGradient.h"

#include <algorithm>

CGColorSpaceRef CGColorSpaceCreateDeviceRGB()
{
    static const auto* space = new CGColorSpaceRef(std::make_shared<const CGColorSpace>(kCGColorSpaceModelRGB));
    return *space;
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray()
{
    static const auto* space =
        new CGColorSpaceRef(std::make_shared<const CGColorSpace>(kCGColorSpaceModelMonochrome));
    return *space;
}

size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space)
{
    return space ? space->numberOfComponents() : 0;
}

CGGradient::CGGradient(std::vector<Stop> stops) : stops_(std::move(stops))
{
    for (Stop& stop : stops_) {
        stop.location = std::clamp(stop.location, CGFloat(0), CGFloat(1));
    }
    std::stable_sort(stops_.begin(), stops_.end(),
                     [](const Stop& a, const Stop& b) { return a.location < b.location; });
}

namespace {
namespace CGGradient_cpp {

CGFloat evenLocation(size_t i, size_t count) { return count > 1 ? CGFloat(i) / CGFloat(count - 1) : 0; }

}  // namespace CGGradient_cpp
}  // namespace

CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const CGFloat* components,
                                                  const CGFloat* locations, size_t count)
{
    if (!space || components == nullptr || count == 0) {
        return nullptr;
    }
    const size_t n = space->numberOfComponents();
    std::vector<CGGradient::Stop> stops;
    for (size_t i = 0; i < count; ++i) {
        const CGFloat* c = components + i * (n + 1);
        CGGradient::Stop stop;
        stop.location = locations != nullptr ? locations[i] : CGGradient_cpp::evenLocation(i, count);
        stop.red = c[0];
        stop.green = n == 1 ? c[0] : c[1];
        stop.blue = n == 1 ? c[0] : c[2];
        stop.alpha = c[n];
        stops.push_back(stop);
    }
    return std::make_shared<const CGGradient>(std::move(stops));
}

CGGradientRef CGGradientCreateWithColors(const CGColorSpaceRef& space, const std::vector<CGColorRef>& colors,
                                         const CGFloat* locations)
{
    if (colors.empty()) {
        return nullptr;
    }
    std::vector<CGGradient::Stop> stops;
    for (size_t i = 0; i < colors.size(); ++i) {
        const auto rgba = colors[i] ? colors[i]->rgba() : std::array<CGFloat, 4>{0, 0, 0, 0};
        CGGradient::Stop stop;
        stop.location = locations != nullptr ? locations[i] : CGGradient_cpp::evenLocation(i, colors.size());
        stop.red = rgba[0];
        stop.green = rgba[1];
        stop.blue = rgba[2];
        stop.alpha = rgba[3];
        stops.push_back(stop);
    }
    return std::make_shared<const CGGradient>(std::move(stops));
}
