// The two-pass blur with its sharp disc, on the real renderer, against the same sums done on the CPU.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUGaussianBlurFilter.h"
#include "capture/gpu/GPUPicture.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace GaussianBlurFilterTest_cpp {

using gputest::Picture;

struct BlurParameters {
    double blurSize;
    double pointX, pointY;
    double radius;
    double rim;
};

// A texel read with linear filtering and clamping to the edge, as the renderer samples.
double sampleLinear(const Picture& p, double u, double v, int channel)
{
    const double x = u * p.width - 0.5;
    const double y = v * p.height - 0.5;
    const double x0 = std::floor(x);
    const double y0 = std::floor(y);
    const double fx = x - x0;
    const double fy = y - y0;
    auto texel = [&](double tx, double ty) {
        const int cx = std::clamp(static_cast<int>(tx), 0, p.width - 1);
        const int cy = std::clamp(static_cast<int>(ty), 0, p.height - 1);
        return static_cast<double>(p.at(cx, cy)[channel]);
    };
    const double top = texel(x0, y0) * (1 - fx) + texel(x0 + 1, y0) * fx;
    const double bottom = texel(x0, y0 + 1) * (1 - fx) + texel(x0 + 1, y0 + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

// One pass of the blur, written out on the CPU; the result is stored in bytes as the framebuffer does.
Picture blurPass(const Picture& in, bool horizontal, const BlurParameters& b)
{
    static const double kWeights[9] = {0.05, 0.09, 0.12, 0.15, 0.18, 0.15, 0.12, 0.09, 0.05};
    Picture out = in;
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x) {
            const double u = (x + 0.5) / in.width;
            const double v = (y + 0.5) / in.height;
            const double dist = std::hypot(u - b.pointX, v - b.pointY);
            double s = b.blurSize;
            if (dist <= b.radius) {
                const double rimStart = b.radius - b.rim;
                if (dist < rimStart) {
                    continue;  // sharp: the texel as it is
                }
                s *= (dist - rimStart) / b.rim;
            }
            for (int c = 0; c < 4; ++c) {
                double sum = 0;
                for (int k = -4; k <= 4; ++k) {
                    sum += kWeights[k + 4] * sampleLinear(in, horizontal ? u + k * s : u, horizontal ? v : v + k * s, c);
                }
                out.at(x, y)[c] = static_cast<uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
            }
        }
    }
    return out;
}

Picture expectedBlur(const Picture& in, const BlurParameters& b)
{
    return blurPass(blurPass(in, true, b), false, b);
}

Ref<GPUGaussianBlurFilter> makeBlur(const BlurParameters& b)
{
    auto blur = GPUGaussianBlurFilter::create();
    blur->setBlurSize(static_cast<float>(b.blurSize));
    blur->setExcludeCirclePoint(CGPointMake(b.pointX, b.pointY));
    blur->setExcludeCircleRadius(static_cast<float>(b.radius));
    blur->setExcludeBlurSize(static_cast<float>(b.rim));
    return blur;
}

// Premultiplied ARGB words of an opaque picture made from RGBA bytes.
Ref<UIImage> imageOf(const Picture& p)
{
    std::vector<uint32_t> words(static_cast<size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* px = p.at(x, y);
            words[static_cast<size_t>(y) * p.width + x] = 0xFF000000u | uint32_t{px[0]} << 16 | uint32_t{px[1]} << 8 | px[2];
        }
    }
    return UIImage::imageWithCGImage_scale_orientation(
        CGImage::create(static_cast<size_t>(p.width), static_cast<size_t>(p.height), std::move(words)), 1.0,
        UIImageOrientationUp);
}

// An opaque picture with detail everywhere (so a blur changes it) and alpha left at 255.
Picture detailed(int size)
{
    Picture p = Picture::asymmetric(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            p.at(x, y)[0] = static_cast<uint8_t>((x * 37 + y * 11) % 256);
        }
    }
    return p;
}

}  // namespace GaussianBlurFilterTest_cpp
}  // namespace

TEST(GPUGaussianBlurFilterTest, TwoPassesGiveTheWeightedSumsOutsideASharpDisc)
{
    using namespace gputest;
    using namespace GaussianBlurFilterTest_cpp;
    const Picture input = detailed(32);
    struct Case {
        const char* name;
        BlurParameters parameters;
    };
    // Steps of whole texels (1/32), half texels, and a disc moved off centre with a wider rim.
    for (const Case& c : {Case{"default disc, one texel a step", {1.0 / 32, 0.5, 0.5, 0.1875, 0.03125}},
                          Case{"half a texel a step", {0.5 / 32, 0.5, 0.5, 0.1875, 0.03125}},
                          Case{"disc off centre, wide rim", {1.0 / 32, 0.3, 0.6, 0.25, 0.125}}}) {
        SCOPED_TRACE(c.name);
        auto blur = makeBlur(c.parameters);
        const Picture own = runThrough(blur, input);
        EXPECT_TRUE(picturesMatch(input, own)) << "the filter itself draws its input unchanged";
        const Picture out = readFramebuffer(*blur->verticalPass());
        const Picture expected = expectedBlur(input, c.parameters);
        EXPECT_TRUE(picturesMatch(expected, out, 2));

        // The test has teeth: the pixel at the disc's centre is the input's, a far one is not.
        const int cx = static_cast<int>(c.parameters.pointX * 32);
        const int cy = static_cast<int>(c.parameters.pointY * 32);
        EXPECT_TRUE(std::equal(input.at(cx, cy), input.at(cx, cy) + 4, out.at(cx, cy)));
        EXPECT_GT(std::abs(out.at(31, 0)[0] - input.at(31, 0)[0]) + std::abs(out.at(31, 0)[2] - input.at(31, 0)[2]), 10);
    }
}

TEST(GPUGaussianBlurFilterTest, TargetsAndStillsBelongToTheVerticalPass)
{
    using namespace gputest;
    using namespace GaussianBlurFilterTest_cpp;
    auto blur = GPUGaussianBlurFilter::create();
    EXPECT_FLOAT_EQ(blur->blurSize(), 0.003125f);
    EXPECT_EQ(blur->excludeCirclePoint(), CGPointMake(0.5, 0.5));
    EXPECT_FLOAT_EQ(blur->excludeCircleRadius(), 0.1875f);
    EXPECT_FLOAT_EQ(blur->excludeBlurSize(), 0.03125f);

    auto recorder = std::make_shared<RecordingInput>();
    blur->addTarget(recorder);
    ASSERT_EQ(blur->targets().size(), 1u);
    EXPECT_EQ(blur->targets()[0], blur->horizontalPass());
    ASSERT_EQ(blur->horizontalPass()->targets().size(), 1u);
    EXPECT_EQ(blur->horizontalPass()->targets()[0], blur->verticalPass());
    ASSERT_EQ(blur->verticalPass()->targets().size(), 1u);
    EXPECT_EQ(blur->verticalPass()->targets()[0], recorder);

    const BlurParameters parameters{1.0 / 16, 0.5, 0.5, 0.1875, 0.03125};
    blur->setBlurSize(static_cast<float>(parameters.blurSize));
    const Picture input = detailed(16);
    runThrough(blur, input);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"texture set at 0", "size 16x16", "newFrameReady"}));

    // A still through the blur: the horizontal, then the vertical pass, read from the vertical one.
    Ref<UIImage> still = blur->imageByFilteringImage(imageOf(input));
    ASSERT_TRUE(still);
    CGImageRef bitmap = still->CGImage();
    ASSERT_EQ(bitmap->width(), 16u);
    ASSERT_EQ(bitmap->height(), 16u);
    Picture fromStill = Picture::filled(16, 16, {0, 0, 0, 255});
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint32_t word = bitmap->pixelAt(static_cast<size_t>(x), static_cast<size_t>(y));
            uint8_t* px = fromStill.at(x, y);
            px[0] = static_cast<uint8_t>(word >> 16);
            px[1] = static_cast<uint8_t>(word >> 8);
            px[2] = static_cast<uint8_t>(word);
        }
    }
    EXPECT_TRUE(picturesMatch(expectedBlur(input, parameters), fromStill, 2));
    EXPECT_EQ(blur->horizontalPass()->filterSourceTexture(), blur->outputTexture())
        << "the chain reads the filter's own output again afterwards";

    blur->removeTarget(recorder);
    EXPECT_TRUE(blur->verticalPass()->targets().empty());
    blur->addTarget(recorder);
    blur->removeAllTargets();
    EXPECT_TRUE(blur->verticalPass()->targets().empty());
    EXPECT_EQ(blur->targets().size(), 1u) << "the passes stay joined";
}
