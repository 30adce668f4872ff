// The two-input blends on the real renderer: the first source added is a, the second b.
#include <gtest/gtest.h>

#include <functional>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUBlendFilters.h"

namespace {
namespace BlendFiltersTest_cpp {

gputest::Picture blendThrough(const Ref<GPUFilter>& filter, const gputest::Picture& a, const gputest::Picture& b)
{
    auto first = gputest::PictureSource::withPicture(a);
    auto second = gputest::PictureSource::withPicture(b);
    first->addTarget(filter);
    second->addTarget(filter);
    first->processFrame();
    second->processFrame();
    gputest::Picture out = gputest::readFramebuffer(*filter);
    first->removeTarget(filter);
    second->removeTarget(filter);
    return out;
}

}  // namespace BlendFiltersTest_cpp
}  // namespace

TEST(GPUBlendFiltersTest, EachBlendCombinesTheTwoTexels)
{
    using namespace gputest;
    using Case = FilterColourCase;
    // a = (64, 200, 128, 255), b = (192, 100, 128, 255): channels chosen so min and max differ in order.
    const Case cases[] = {
        {"darken", [] { return GPUDarkenBlendFilter::create(); }, {64, 100, 128, 255}},
        {"lighten", [] { return GPULightenBlendFilter::create(); }, {192, 200, 128, 255}},
        // 64 x 192 / 255 = 48.2; 200 x 100 / 255 = 78.4; 128 x 128 / 255 = 64.3.
        {"multiply", [] { return GPUMultiplyBlendFilter::create(); }, {48, 78, 64, 255}},
        // red: a below a half, 2ab = 96.4; green: a above, 1 - 2(1-a)(1-b) = 188.1; blue: a = 0.502 is
        // not below a half, 1 - 2 x 0.498 x 0.498 = 0.504.
        {"overlay", [] { return GPUOverlayBlendFilter::create(); }, {96, 188, 129, 255}},
        {"dissolve by default half", [] { return GPUDissolveBlendFilter::create(); }, {128, 150, 128, 255}},
        {"dissolve 0 keeps a",
         [] {
             auto f = GPUDissolveBlendFilter::create();
             f->setMix(0.0f);
             return f;
         },
         {64, 200, 128, 255}},
        {"dissolve 1 gives b",
         [] {
             auto f = GPUDissolveBlendFilter::create();
             f->setMix(1.0f);
             return f;
         },
         {192, 100, 128, 255}},
    };
    const Picture a = Picture::filled(5, 3, {64, 200, 128, 255});
    const Picture b = Picture::filled(5, 3, {192, 100, 128, 255});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(picturesMatch(Picture::filled(5, 3, c.expected), BlendFiltersTest_cpp::blendThrough(c.make(), a, b)));
    }
}
