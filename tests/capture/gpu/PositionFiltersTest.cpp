// Pixellation, vignette and swirl on the real renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUPositionFilters.h"

TEST(GPUPixellateFilterTest, EveryCellShowsOneColour)
{
    using namespace gputest;
    auto pixellate = GPUPixellateFilter::create();
    pixellate->setFractionalWidthOfAPixel(0.25f);  // cells of 2 x 2 pixels on an 8 x 8 picture
    const Picture out = runThrough(pixellate, Picture::asymmetric(8, 8));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
            const uint8_t* corner = out.at(x - x % 2, y - y % 2);
            EXPECT_TRUE(std::equal(corner, corner + 4, out.at(x, y)));
        }
    }
    // Neighbouring cells differ: the picture is not flattened to one colour.
    EXPECT_FALSE(std::equal(out.at(0, 0), out.at(0, 0) + 3, out.at(6, 6)));
}

TEST(GPUVignetteFilterTest, DarkensWithDistanceFromTheCentre)
{
    using namespace gputest;
    const Picture out = runThrough(GPUVignetteFilter::create(), Picture::filled(8, 8, {200, 200, 200, 255}));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const double d = std::hypot((x + 0.5) / 8 - 0.5, (y + 0.5) / 8 - 0.5);
            const double u = std::clamp((d - 0.75) / (0.5 - 0.75), 0.0, 1.0);
            const int expected = static_cast<int>(std::lround(200 * u * u * (3 - 2 * u)));
            SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
            EXPECT_NEAR(out.at(x, y)[0], expected, 2);
            EXPECT_EQ(out.at(x, y)[3], 255);
        }
    }
    EXPECT_LT(out.at(0, 0)[0], out.at(3, 3)[0]);
}

TEST(GPUSwirlFilterTest, TurnsOnlyInsideTheRadius)
{
    using namespace gputest;
    const Picture input = Picture::asymmetric(8, 8);
    auto still = GPUSwirlFilter::create();
    still->setAngle(0.0f);
    EXPECT_TRUE(picturesMatch(input, runThrough(still, input)));

    const Picture out = runThrough(GPUSwirlFilter::create(), input);
    int changedInside = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const double d = std::hypot((x + 0.5) / 8 - 0.5, (y + 0.5) / 8 - 0.5);
            if (d >= 0.5) {
                SCOPED_TRACE(testing::Message() << "outside pixel " << x << ", " << y);
                EXPECT_TRUE(std::equal(input.at(x, y), input.at(x, y) + 4, out.at(x, y)));
            } else if (!std::equal(input.at(x, y), input.at(x, y) + 3, out.at(x, y))) {
                ++changedInside;
            }
        }
    }
    EXPECT_GT(changedInside, 8);
}
