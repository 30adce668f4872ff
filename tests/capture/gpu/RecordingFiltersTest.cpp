// The recording screen's filters on the real renderer: rotation, the edge family and the bundle looks.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "GpuTestSupport.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"

namespace {
namespace RecordingFiltersTest_cpp {

// A picture whose left half is black and right half white, split between columns split-1 and split.
gputest::Picture stepEdge(int width, int height, int split)
{
    gputest::Picture p = gputest::Picture::filled(width, height, {0, 0, 0, 255});
    for (int y = 0; y < height; ++y) {
        for (int x = split; x < width; ++x) {
            uint8_t* px = p.at(x, y);
            px[0] = px[1] = px[2] = 255;
        }
    }
    return p;
}

// The colour of column x of every row, as one expected picture.
gputest::Picture byColumn(int width, int height, const std::function<std::array<uint8_t, 4>(int x)>& colour)
{
    gputest::Picture p = gputest::Picture::filled(width, height, {0, 0, 0, 0});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = colour(x);
            std::copy(c.begin(), c.end(), p.at(x, y));
        }
    }
    return p;
}

}  // namespace RecordingFiltersTest_cpp
}  // namespace

// --- Rotation ---------------------------------------------------------------------------------------

TEST(GPURotationFilterTest, EachModeMovesEveryPixelWhereItBelongs)
{
    using namespace gputest;
    // out is read row 0 first, as in is uploaded.
    struct Case {
        int mode;
        bool swapsSize;
        std::function<const uint8_t*(const Picture& in, int column, int row)> source;
    };
    const Case cases[] = {
        {0, true, [](const Picture& in, int c, int r) { return in.at(in.width - 1 - r, c); }},
        {1, true, [](const Picture& in, int c, int r) { return in.at(r, in.height - 1 - c); }},
        {2, false, [](const Picture& in, int c, int r) { return in.at(in.width - 1 - c, r); }},
        {3, false, [](const Picture& in, int c, int r) { return in.at(c, in.height - 1 - r); }},
    };
    const Picture input = Picture::asymmetric(5, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        auto rotation = GPURotationFilter::initWithRotation(c.mode);
        EXPECT_EQ(rotation->rotationMode(), c.mode);
        const Picture out = gputest::runThrough(rotation, input);
        Picture expected = Picture::filled(c.swapsSize ? 3 : 5, c.swapsSize ? 5 : 3, {0, 0, 0, 0});
        for (int r = 0; r < expected.height; ++r) {
            for (int col = 0; col < expected.width; ++col) {
                const uint8_t* from = c.source(input, col, r);
                std::copy(from, from + 4, expected.at(col, r));
            }
        }
        EXPECT_TRUE(picturesMatch(expected, out));
    }
}

TEST(GPURotationFilterTest, TargetsHearTheTurnedSize)
{
    using namespace gputest;
    struct Case {
        int mode;
        std::vector<std::string> heard;
    };
    const Case cases[] = {
        {1, {"texture set at 0", "size 480x640", "newFrameReady"}},
        {0, {"texture set at 0", "size 480x640", "newFrameReady"}},
        {2, {"texture set at 0", "size 640x480", "newFrameReady"}},
        {3, {"texture set at 0", "size 640x480", "newFrameReady"}},
        {4, {"texture set at 0"}},   // no such mode: nothing drawn, nobody told
        {-1, {"texture set at 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        auto rotation = GPURotationFilter::initWithRotation(c.mode);
        auto target = std::make_shared<RecordingInput>();
        rotation->addTarget(target);
        rotation->setInputSize(CGSizeMake(640, 480));
        rotation->newFrameReady();
        EXPECT_EQ(target->calls, c.heard);
        EXPECT_EQ(rotation->filterFramebuffer() != 0, c.heard.size() > 1);
    }
}

// --- Edge filters -----------------------------------------------------------------------------------

TEST(GPUEdgeFiltersTest, UniformPictureHasNoEdges)
{
    using namespace gputest;
    using Case = FilterColourCase;
    // 87, 160, 200 are 0.341, 0.627, 0.784: tenths 0.3, 0.6, 0.8.
    const Case cases[] = {
        {"sobel", [] { return GPUSobelEdgeDetectionFilter::create(); }, {0, 0, 0, 255}},
        {"sketch", [] { return GPUSketchFilter::create(); }, {255, 255, 255, 255}},
        {"toon", [] { return GPUToonFilter::create(); }, {77, 153, 204, 255}},
    };
    const Picture input = Picture::filled(6, 4, {87, 160, 200, 255});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(picturesMatch(Picture::filled(6, 4, c.expected), gputest::runThrough(c.make(), input)));
    }
}

TEST(GPUEdgeFiltersTest, StepEdgeIsFoundOnTheTwoColumnsBesideIt)
{
    using namespace gputest;
    using RecordingFiltersTest_cpp::byColumn;
    const auto onEdge = [](int x) { return x == 3 || x == 4; };
    struct Case {
        const char* name;
        std::function<Ref<GPUFilter>()> make;
        std::function<std::array<uint8_t, 4>(int x)> expected;
    };
    const Case cases[] = {
        {"sobel: white edge on black", [] { return GPUSobelEdgeDetectionFilter::create(); },
         [&](int x) { return onEdge(x) ? std::array<uint8_t, 4>{255, 255, 255, 255} : std::array<uint8_t, 4>{0, 0, 0, 255}; }},
        {"sketch: black edge on white", [] { return GPUSketchFilter::create(); },
         [&](int x) { return onEdge(x) ? std::array<uint8_t, 4>{0, 0, 0, 255} : std::array<uint8_t, 4>{255, 255, 255, 255}; }},
        {"toon: black edge, picture kept", [] { return GPUToonFilter::create(); },
         [&](int x) {
             return onEdge(x) || x < 3 ? std::array<uint8_t, 4>{0, 0, 0, 255} : std::array<uint8_t, 4>{255, 255, 255, 255};
         }},
    };
    const Picture input = RecordingFiltersTest_cpp::stepEdge(8, 5, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(picturesMatch(byColumn(8, 5, c.expected), gputest::runThrough(c.make(), input)));
    }
}

TEST(GPUEdgeFiltersTest, IntensityZeroKeepsThePicture)
{
    using namespace gputest;
    const Picture input = Picture::asymmetric(6, 5);
    for (Ref<GPUSobelEdgeDetectionFilter> filter :
         {GPUSobelEdgeDetectionFilter::create(), Ref<GPUSobelEdgeDetectionFilter>(GPUSketchFilter::create())}) {
        EXPECT_EQ(filter->intensity(), 1.0f);
        filter->setIntensity(0.0f);
        EXPECT_TRUE(picturesMatch(input, gputest::runThrough(filter, input)));
    }
}

TEST(GPUEdgeFiltersTest, SamplingStepFollowsTheFramebufferUnlessSetByHand)
{
    using namespace gputest;
    const Picture input = RecordingFiltersTest_cpp::stepEdge(16, 3, 8);
    auto automatic = GPUSobelEdgeDetectionFilter::create();
    Picture out = gputest::runThrough(automatic, input);
    EXPECT_FALSE(automatic->hasOverriddenImageSizeFactor());
    EXPECT_EQ(automatic->imageWidthFactor(), 16.0f);
    EXPECT_EQ(automatic->imageHeightFactor(), 3.0f);
    EXPECT_EQ(out.at(5, 1)[0], 0);  // three pixels from the edge: one-pixel steps miss it
    EXPECT_EQ(out.at(7, 1)[0], 255);

    // A factor of 4 is a step of a quarter of the width: columns 4 to 11 reach across the edge.
    auto byHand = GPUSobelEdgeDetectionFilter::create();
    byHand->setImageWidthFactor(4.0f);
    byHand->setImageHeightFactor(3.0f);
    out = gputest::runThrough(byHand, input);
    EXPECT_TRUE(byHand->hasOverriddenImageSizeFactor());
    EXPECT_EQ(byHand->imageWidthFactor(), 4.0f);
    EXPECT_EQ(out.at(5, 1)[0], 255);
    EXPECT_EQ(out.at(1, 1)[0], 0);
}

// --- Bundle looks -----------------------------------------------------------------------------------

TEST(BundleShaderFiltersTest, EveryLookLoadsAndDrawsAPictureOfItsOwn)
{
    using namespace gputest;
    const Picture input = Picture::asymmetric(48, 64);
    std::set<std::string> looks;  // the pictures' bytes
    for (const char* name : {"originality", "blackWhite", "oldFilm", "antiColor", "radial", "pro", "edge", "earlyBird"}) {
        SCOPED_TRACE(name);
        auto filter = GPUFilter::initWithFragmentShaderFromFile(name);
        const Picture out = gputest::runThrough(filter, input);
        ASSERT_EQ(out.width, 48);
        ASSERT_EQ(out.height, 64);
        for (size_t i = 3; i < out.rgba.size(); i += 4) {
            ASSERT_EQ(out.rgba[i], 255) << "opaque";
        }
        if (std::string(name) == "originality") {
            EXPECT_TRUE(picturesMatch(input, out));
        } else {
            EXPECT_FALSE(picturesMatch(input, out, 3)) << "changes the picture";
        }
        EXPECT_TRUE(looks.insert(std::string(out.rgba.begin(), out.rgba.end())).second) << "same as another look";
    }
}

TEST(BundleShaderFiltersTest, AntiColorAndBlackWhiteDoWhatTheirNamesSay)
{
    using namespace gputest;
    const Picture input = Picture::asymmetric(8, 6);
    Picture negative = input;
    for (size_t i = 0; i < negative.rgba.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            negative.rgba[i + c] = static_cast<uint8_t>(255 - negative.rgba[i + c]);
        }
    }
    EXPECT_TRUE(picturesMatch(negative, gputest::runThrough(GPUFilter::initWithFragmentShaderFromFile("antiColor"), input)));
    const Picture grey = gputest::runThrough(GPUFilter::initWithFragmentShaderFromFile("blackWhite"), input);
    for (size_t i = 0; i < grey.rgba.size(); i += 4) {
        EXPECT_EQ(grey.rgba[i], grey.rgba[i + 1]);
        EXPECT_EQ(grey.rgba[i], grey.rgba[i + 2]);
    }
}
