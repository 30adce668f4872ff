// Still pictures as a chain's source, and filtering one image at a time.
#include <gtest/gtest.h>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUPicture.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace StillPictureTest_cpp {

// An opaque image whose pixel (x, y) has red 30 x + 10, green 40 y + 20 and blue 90.
Ref<UIImage> gradientImage(size_t width, size_t height, CGFloat scale)
{
    std::vector<uint32_t> pixels(width * height);
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            pixels[y * width + x] = 0xFF000000u | static_cast<uint32_t>(30 * x + 10) << 16 |
                                    static_cast<uint32_t>(40 * y + 20) << 8 | 90u;
        }
    }
    return UIImage::imageWithCGImage_scale_orientation(CGImage::create(width, height, std::move(pixels)), scale,
                                                       UIImageOrientationUp);
}

}  // namespace StillPictureTest_cpp
}  // namespace

TEST(GPUPictureTest, TargetsGetThePixelSizeAndTheImageRowsFirstRowFirst)
{
    using namespace gputest;
    struct Case {
        const char* name;
        CGFloat scale;
        bool smooth;
    };
    for (const Case& c : {Case{"plain", 1, false}, Case{"scale 2", 2, false}, Case{"smooth: stretched to 4 x 4", 1, true}}) {
        SCOPED_TRACE(c.name);
        auto picture = GPUPicture::initWithImage_smoothlyScaleOutput(StillPictureTest_cpp::gradientImage(3, 2, c.scale), c.smooth);
        EXPECT_EQ(picture->shouldSmoothlyScaleOutput(), c.smooth);
        auto recorder = std::make_shared<RecordingInput>();
        auto filter = GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
        picture->addTarget(recorder);
        picture->addTarget(filter);
        picture->processImage();
        EXPECT_EQ(recorder->calls, (std::vector<std::string>{"texture set at 0", "size 3x2", "newFrameReady"}));
        const Picture out = readFramebuffer(*filter);
        ASSERT_EQ(out.width, 3);
        ASSERT_EQ(out.height, 2);
        if (!c.smooth) {
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 3; ++x) {
                    EXPECT_EQ(out.at(x, y)[0], 30 * x + 10);
                    EXPECT_EQ(out.at(x, y)[1], 40 * y + 20);
                    EXPECT_EQ(out.at(x, y)[2], 90);
                }
            }
        } else {
            // Stretched and mipmapped: the corners keep their order, blue stays flat.
            EXPECT_LT(out.at(0, 0)[0], out.at(2, 0)[0]);
            EXPECT_LT(out.at(0, 0)[1], out.at(0, 1)[1]);
            EXPECT_NEAR(out.at(1, 1)[2], 90, 1);
        }
    }
}

TEST(GPUFilterStillImageTest, ImageByFilteringImageRunsOneFrameAndLetsThePictureGo)
{
    auto negative = GPUFilter::initWithFragmentShaderFromFile("antiColor");
    Ref<UIImage> result = negative->imageByFilteringImage(StillPictureTest_cpp::gradientImage(3, 2, 1));
    ASSERT_TRUE(result);
    CGImageRef bitmap = result->CGImage();
    ASSERT_EQ(bitmap->width(), 3u);
    ASSERT_EQ(bitmap->height(), 2u);
    for (size_t y = 0; y < 2; ++y) {
        for (size_t x = 0; x < 3; ++x) {
            const uint32_t expected = 0xFF000000u | (255 - static_cast<uint32_t>(30 * x + 10)) << 16 |
                                      (255 - static_cast<uint32_t>(40 * y + 20)) << 8 | (255 - 90u);
            EXPECT_EQ(bitmap->pixelAt(x, y), expected) << x << "," << y;
        }
    }
    // The picture source let the filter go: its input is cleared.
    EXPECT_EQ(negative->filterSourceTexture(), 0u);
    EXPECT_EQ(negative->inputTextureSize(), CGSizeZero);
}
