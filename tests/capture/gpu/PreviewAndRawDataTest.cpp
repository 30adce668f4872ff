// The chain's two ends on the real renderer: the preview view (what its layer shows) and the raw-pixel
// reader.
#include <gtest/gtest.h>

#include "GpuTestSupport.h"
#include "capture/gpu/GPURawData.h"
#include "capture/gpu/GPUView.h"
#include "platform/uikit/UIScreen.h"

namespace {
namespace PreviewAndRawDataTest_cpp {

// Puts the main screen at a scale for one test and back to 1 afterwards.
class ScreenScale {
public:
    explicit ScreenScale(CGFloat scale) { UIScreen::mainScreen()->setScale(scale); }
    ~ScreenScale() { UIScreen::mainScreen()->setScale(1); }
};

// The layer's picture as RGBA bytes (it is opaque, so premultiplication changes nothing).
gputest::Picture layerPicture(const Ref<GPUView>& view)
{
    CGImageRef image = view->layer()->contents();
    if (!image) {
        return {};
    }
    gputest::Picture p = gputest::Picture::filled(static_cast<int>(image->width()), static_cast<int>(image->height()),
                                                  {0, 0, 0, 0});
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const uint32_t argb = image->pixelAt(static_cast<size_t>(x), static_cast<size_t>(y));
            uint8_t* px = p.at(x, y);
            px[0] = static_cast<uint8_t>(argb >> 16);
            px[1] = static_cast<uint8_t>(argb >> 8);
            px[2] = static_cast<uint8_t>(argb);
            px[3] = static_cast<uint8_t>(argb >> 24);
        }
    }
    return p;
}

gputest::Picture flippedRows(const gputest::Picture& in)
{
    gputest::Picture out = in;
    for (int y = 0; y < in.height; ++y) {
        std::copy(in.at(0, y), in.at(0, y) + in.width * 4, out.at(0, in.height - 1 - y));
    }
    return out;
}

class Processor : public GPURawDataProcessor {
public:
    void newImageFrameAvailableFromDataSource(GPURawData& source) override
    {
        ++frames;
        firstRed = source.rawBytesForImage()[0];
    }
    int frames = 0;
    int firstRed = -1;
};

}  // namespace PreviewAndRawDataTest_cpp
}  // namespace

// --- Preview view -----------------------------------------------------------------------------------

TEST(GPUViewTest, MaximumOutputSizeIsThePixelSize)
{
    using PreviewAndRawDataTest_cpp::ScreenScale;
    struct Case {
        CGFloat scale;
        CGSize expected;
    };
    for (const Case& c : {Case{2, {640, 960}}, Case{1, {320, 480}}}) {
        ScreenScale screen(c.scale);
        auto view = GPUView::initWithFrame(CGRectMake(0, 0, 320, 480));
        EXPECT_EQ(view->maximumOutputSize(), c.expected);
        EXPECT_EQ(view->nextAvailableTextureIndex(), 0);
    }
}

TEST(GPUViewTest, LayerIsAnOpaqueRGBA8Drawable)
{
    auto view = GPUView::initWithFrame(CGRectMake(0, 0, 10, 10));
    ASSERT_TRUE(std::dynamic_pointer_cast<CAEAGLLayer>(view->layer()));
    EXPECT_TRUE(view->layer()->isOpaque());
    EXPECT_FALSE(view->eaglLayer()->drawableProperties()[kEAGLDrawablePropertyRetainedBacking].boolValue());
    EXPECT_EQ(view->eaglLayer()->drawableProperties()[kEAGLDrawablePropertyColorFormat].stringValue(),
              kEAGLColorFormatRGBA8);
}

TEST(GPUViewTest, FiltersInFrontRenderAtThePreviewsSizeOnA1xScreen)
{
    using namespace gputest;
    using PreviewAndRawDataTest_cpp::ScreenScale;
    struct Case {
        CGFloat scale;
        int width;
        int height;
    };
    for (const Case& c : {Case{2, 480, 640}, Case{1, 320, 480}}) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale);
        ScreenScale screen(c.scale);
        auto source = PictureSource::withPicture(Picture::asymmetric(480, 640));
        auto filter = GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
        auto view = GPUView::initWithFrame(CGRectMake(0, 0, 320, 480));
        source->addTarget(filter);
        filter->addTarget(view);
        source->processFrame();
        const Picture out = readFramebuffer(*filter);
        EXPECT_EQ(out.width, c.width);
        EXPECT_EQ(out.height, c.height);
        EXPECT_EQ(view->backingWidth(), static_cast<GLint>(320 * c.scale));
        EXPECT_EQ(view->backingHeight(), static_cast<GLint>(480 * c.scale));
    }
}

TEST(GPUViewTest, PresentedPictureStandsUpright)
{
    using namespace gputest;
    using PreviewAndRawDataTest_cpp::ScreenScale;
    ScreenScale screen(2);
    const Picture input = Picture::asymmetric(4, 6);
    auto source = PictureSource::withPicture(input);
    auto filter = GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
    auto view = GPUView::initWithFrame(CGRectMake(0, 0, 2, 3));
    source->addTarget(filter);
    filter->addTarget(view);
    EXPECT_EQ(view->eaglLayer()->presentedCount(), 0u);
    source->processFrame();
    EXPECT_EQ(view->eaglLayer()->presentedCount(), 1u);
    // The view's pixel size equals the picture's: the layer shows it as uploaded, first row on top.
    EXPECT_TRUE(picturesMatch(input, PreviewAndRawDataTest_cpp::layerPicture(view)));
    source->processFrame();
    EXPECT_EQ(view->eaglLayer()->presentedCount(), 2u);
}

TEST(GPUViewTest, FrameIsStretchedOverTheWholeView)
{
    using namespace gputest;
    // Four flat quadrants, shown in a view of another aspect: each quadrant fills a quarter of it.
    Picture input = Picture::filled(8, 8, {0, 0, 0, 255});
    const std::array<uint8_t, 4> colours[4] = {{250, 0, 0, 255}, {0, 250, 0, 255}, {0, 0, 250, 255}, {250, 250, 0, 255}};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const auto& c = colours[(y / 4) * 2 + x / 4];
            std::copy(c.begin(), c.end(), input.at(x, y));
        }
    }
    auto source = PictureSource::withPicture(input);
    auto view = GPUView::initWithFrame(CGRectMake(0, 0, 20, 40));
    source->addTarget(view);
    source->processFrame();
    const Picture shown = PreviewAndRawDataTest_cpp::layerPicture(view);
    ASSERT_EQ(shown.width, 20);
    ASSERT_EQ(shown.height, 40);
    struct Probe {
        int x, y, quadrant;
    };
    for (const Probe& p : {Probe{0, 0, 0}, Probe{6, 14, 0}, Probe{19, 0, 1}, Probe{13, 14, 1}, Probe{0, 39, 2},
                           Probe{6, 25, 2}, Probe{19, 39, 3}, Probe{13, 25, 3}}) {
        const uint8_t* px = shown.at(p.x, p.y);
        for (int ch = 0; ch < 4; ++ch) {
            EXPECT_NEAR(px[ch], colours[p.quadrant][ch], 1) << p.x << "," << p.y << " channel " << ch;
        }
    }
}

// --- Raw data ---------------------------------------------------------------------------------------

TEST(GPURawDataTest, BytesAreTheFrameWithItsLastRowFirst)
{
    using namespace gputest;
    const Picture input = Picture::asymmetric(5, 4);
    auto source = PictureSource::withPicture(input);
    auto look = GPUFilter::initWithFragmentShaderFromFile("originality");
    auto reader = GPURawData::initWithImageSize(CGSizeMake(5, 4));
    EXPECT_EQ(reader->maximumOutputSize(), CGSizeMake(5, 4));
    source->addTarget(look);
    look->addTarget(reader);
    source->processFrame();
    const uint8_t* bytes = reader->rawBytesForImage();
    ASSERT_NE(bytes, nullptr);
    const Picture read{5, 4, std::vector<uint8_t>(bytes, bytes + 5 * 4 * 4)};
    EXPECT_TRUE(picturesMatch(PreviewAndRawDataTest_cpp::flippedRows(input), read));
}

TEST(GPURawDataTest, ColourAtLocationCountsRowsFromTheBottomAndClamps)
{
    using namespace gputest;
    const Picture input = Picture::asymmetric(5, 4);
    auto source = PictureSource::withPicture(input);
    auto reader = GPURawData::initWithImageSize(CGSizeMake(5, 4));
    source->addTarget(reader);
    source->processFrame();
    // Buffer row b holds input row 3 - b; the point's row is height - y, clamped.
    struct Case {
        CGPoint point;
        int inputX;
        int inputY;
    };
    const Case cases[] = {
        {{0, 0}, 0, 0},     // the first pixel of the buffer's last row
        {{4, 1}, 4, 0},     // row 3 of the buffer
        {{2, 3}, 2, 2},     // row 1 of the buffer
        {{1, 4}, 1, 3},     // row 0
        {{-7, 2}, 0, 1},    // column clamped to 0
        {{99, 2}, 4, 1},    // column clamped to the last
        {{3, -5}, 3, 0},    // row clamped to the last row of the buffer
        {{3, 50}, 3, 3},    // row clamped to 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.point.x << ", " << c.point.y << ")");
        const GPUByteColorVector colour = reader->colorAtLocation(c.point);
        const uint8_t* expected = input.at(c.inputX, c.inputY);
        EXPECT_NEAR(colour.red, expected[0], 1);
        EXPECT_NEAR(colour.green, expected[1], 1);
        EXPECT_NEAR(colour.blue, expected[2], 1);
        EXPECT_EQ(colour.alpha, 255);
    }
}

TEST(GPURawDataTest, DelegateHearsOfEachFrameWhileItLives)
{
    using namespace gputest;
    auto source = PictureSource::withPicture(Picture::filled(3, 3, {40, 50, 60, 255}));
    auto reader = GPURawData::initWithImageSize(CGSizeMake(3, 3));
    auto processor = std::make_shared<PreviewAndRawDataTest_cpp::Processor>();
    reader->setDelegate(processor);
    source->addTarget(reader);
    source->processFrame();
    source->processFrame();
    EXPECT_EQ(processor->frames, 2);
    EXPECT_NEAR(processor->firstRed, 40, 1);
    processor.reset();
    source->processFrame();  // nobody left to tell
    EXPECT_TRUE(reader->delegate().expired());
}
