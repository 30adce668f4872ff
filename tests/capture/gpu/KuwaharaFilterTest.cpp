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

TEST(GPUKuwaharaFilterTest, EdgeStaysSharpBecauseEachSideTakesTheWindowThatLiesOnIt)
{
    // Offsets step by one pixel of a 768 x 1024 picture, so a picture of that width (for columns) or
    // height (for rows) samples whole pixels. Beside an edge between black and white only the windows
    // lying wholly on the pixel's side are uniform: the filter must choose them, and keep the edge. A
    // mean over all windows, or windows reaching the wrong way along one axis, turn the edge grey.
    using namespace gputest;
    struct Case {
        const char* edge;
        int width;
        int height;
        bool acrossColumns;
    };
    const Case cases[] = {{"between columns", 768, 16, true}, {"between rows", 16, 1024, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edge);
        const int edge = (c.acrossColumns ? c.width : c.height) / 2;
        Picture input = Picture::filled(c.width, c.height, {0, 0, 0, 255});
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                if ((c.acrossColumns ? x : y) >= edge) {
                    uint8_t* px = input.at(x, y);
                    px[0] = px[1] = px[2] = 255;
                }
            }
        }
        auto kuwahara = GPUKuwaharaFilter::create();  // radius 4
        const Picture output = runThrough(kuwahara, input);
        ASSERT_EQ(output.width, c.width);
        ASSERT_EQ(output.height, c.height);
        for (int k = edge - 6; k < edge + 6; ++k) {
            const int x = c.acrossColumns ? k : c.width / 2;
            const int y = c.acrossColumns ? c.height / 2 : k;
            const uint8_t want = k >= edge ? 255 : 0;
            const uint8_t* px = output.at(x, y);
            EXPECT_NEAR(px[0], want, 1) << "at " << k;
            EXPECT_NEAR(px[1], want, 1) << "at " << k;
            EXPECT_NEAR(px[2], want, 1) << "at " << k;
        }
    }
}
