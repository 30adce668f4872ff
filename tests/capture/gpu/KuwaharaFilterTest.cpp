// The oil-paint filter on the real renderer.
#include <gtest/gtest.h>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUKuwaharaFilter.h"

TEST(GPUKuwaharaFilterTest, UniformPictureStaysAsItIsWithOpaqueAlpha)
{
    using namespace gputest;
    for (int radius : {0, 1, 4}) {
        SCOPED_TRACE(testing::Message() << "radius " << radius);
        auto kuwahara = GPUKuwaharaFilter::create();
        kuwahara->setRadius(radius);
        EXPECT_EQ(kuwahara->radius(), radius);
        EXPECT_TRUE(picturesMatch(Picture::filled(6, 6, {90, 140, 30, 255}),
                                  runThrough(kuwahara, Picture::filled(6, 6, {90, 140, 30, 128}))));
    }
}
