// The image codecs: PNG and JPEG decoding into premultiplied pixels, and PNG and JPEG encoding.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/uikit/UIImage.h"

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// A small picture with opaque, translucent and transparent pixels (premultiplied: no colour channel
// above its alpha).
Ref<UIImage> sampleImage(size_t width, size_t height)
{
    std::vector<uint32_t> pixels;
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            const uint32_t a = (x + y) % 3 == 0 ? 255 : (x + y) % 3 == 1 ? 128 : 0;
            const uint32_t r = (uint32_t(x) * 40) % 256 * a / 255;
            const uint32_t g = (uint32_t(y) * 60) % 256 * a / 255;
            const uint32_t b = (uint32_t(x * y) * 7) % 256 * a / 255;
            pixels.push_back(argb(a, r, g, b));
        }
    }
    return UIImage::imageWithCGImage(CGImage::create(width, height, std::move(pixels)));
}

// An opaque gradient that JPEG keeps well.
Ref<UIImage> gradientImage(size_t width, size_t height)
{
    std::vector<uint32_t> pixels;
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            pixels.push_back(argb(255, uint32_t(x * 255 / (width - 1)), uint32_t(y * 255 / (height - 1)), 96));
        }
    }
    return UIImage::imageWithCGImage(CGImage::create(width, height, std::move(pixels)));
}

int channel(uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

// The largest difference of any colour channel between two images of the same size.
int largestDifference(const CGImage& a, const CGImage& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.pixels().size(); ++i) {
        for (int shift : {0, 8, 16, 24}) {
            worst = std::max(worst, std::abs(channel(a.pixels()[i], shift) - channel(b.pixels()[i], shift)));
        }
    }
    return worst;
}

uint32_t crc32(const uint8_t* bytes, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
    }
    return ~crc;
}

void putBigEndian32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = char(value >> (24 - 8 * i));
    }
}

// A JPEG written directly with the library, in a colour space the encoder above never writes.
std::string jpegWithColorSpace(J_COLOR_SPACE space, int components, const std::vector<uint8_t>& sample,
                               size_t width, size_t height)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row;
    for (size_t x = 0; x < width; ++x) {
        row.insert(row.end(), sample.begin(), sample.end());
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

NSData dataOf(const std::string& bytes) { return NSData(bytes.data(), bytes.size()); }

class UIImageCodec : public ::testing::Test {
protected:
    void SetUp() override { UIImage::setDecoder(&UIImage::decodeWithImageCodecs); }
    void TearDown() override { UIImage::setDecoder(nullptr); }
};

}  // namespace

TEST_F(UIImageCodec, PNGKeepsEveryPixelIncludingTranslucentOnes)
{
    auto original = sampleImage(7, 5);
    auto png = UIImagePNGRepresentation(original);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->string().substr(1, 3), "PNG");
    auto decoded = UIImage::imageWithData(*png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), CGSizeMake(7, 5));
    ASSERT_TRUE(decoded->CGImage()->hasPixels());
    EXPECT_EQ(decoded->CGImage()->pixels(), original->CGImage()->pixels());
    EXPECT_EQ(decoded->CGImage()->pixelAt(1, 0), original->CGImage()->pixelAt(1, 0));  // half transparent
    EXPECT_EQ(decoded->encodedData().vector(), png->vector());

    // The same bytes at scale 2: half the points, the same pixels.
    auto retina = UIImage::imageWithData_scale(*png, 2);
    ASSERT_TRUE(retina);
    EXPECT_EQ(retina->scale(), 2);
    EXPECT_EQ(retina->size(), CGSizeMake(3.5, 2.5));
    EXPECT_EQ(retina->CGImage()->width(), 7u);
}

TEST_F(UIImageCodec, JPEGIsCloseAtBestQualityAndSmallerAtLowQuality)
{
    auto original = gradientImage(64, 48);
    auto best = UIImageJPEGRepresentation(original, 1.0);
    auto rough = UIImageJPEGRepresentation(original, 0.1);
    ASSERT_TRUE(best && rough);
    EXPECT_EQ(best->bytes()[0], 0xFF);
    EXPECT_EQ(best->bytes()[1], 0xD8);
    EXPECT_LT(rough->length(), best->length());
    auto decoded = UIImage::imageWithData(*best);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), CGSizeMake(64, 48));
    EXPECT_LE(largestDifference(*decoded->CGImage(), *original->CGImage()), 6);
    EXPECT_EQ(decoded->CGImage()->pixelAt(63, 47) >> 24, 0xFFu);  // JPEG pixels are opaque

    // Transparent pixels come out over black.
    auto translucent = UIImage::imageWithCGImage(CGImage::create(16, 16, std::vector<uint32_t>(256, argb(128, 128, 0, 0))));
    auto overBlack = UIImage::imageWithData(*UIImageJPEGRepresentation(translucent, 1.0));
    ASSERT_TRUE(overBlack);
    EXPECT_NEAR(channel(overBlack->CGImage()->pixelAt(8, 8), 16), 128, 3);
    EXPECT_EQ(overBlack->CGImage()->pixelAt(8, 8) >> 24, 0xFFu);
}

TEST_F(UIImageCodec, GreyAndCMYKJPEGsDecodeToTheirColours)
{
    auto grey = UIImage::imageWithData(dataOf(jpegWithColorSpace(JCS_GRAYSCALE, 1, {200}, 8, 8)));
    ASSERT_TRUE(grey);
    const uint32_t g = grey->CGImage()->pixelAt(4, 4);
    EXPECT_NEAR(channel(g, 16), 200, 2);
    EXPECT_NEAR(channel(g, 8), 200, 2);
    EXPECT_NEAR(channel(g, 0), 200, 2);

    // The library marks CMYK files with an Adobe segment, whose convention is inverted ink: this is red.
    auto red = UIImage::imageWithData(dataOf(jpegWithColorSpace(JCS_CMYK, 4, {255, 0, 0, 255}, 8, 8)));
    ASSERT_TRUE(red);
    const uint32_t r = red->CGImage()->pixelAt(4, 4);
    EXPECT_NEAR(channel(r, 16), 255, 2);
    EXPECT_NEAR(channel(r, 8), 0, 2);
    EXPECT_NEAR(channel(r, 0), 0, 2);
    EXPECT_EQ(r >> 24, 0xFFu);
}

TEST_F(UIImageCodec, BytesThatDoNotDecodeWholeAreNoImage)
{
    const std::string png = UIImagePNGRepresentation(sampleImage(40, 30))->string();
    const std::string jpeg = UIImageJPEGRepresentation(gradientImage(64, 64), 0.9)->string();

    std::string corruptPNG = png;
    corruptPNG[corruptPNG.size() - 20] ^= 0x5A;  // inside the last data chunk: its check fails

    // Headers that promise far more pixels than allowed, otherwise valid.
    std::string hugePNG = png;
    putBigEndian32(hugePNG, 16, 100000);
    putBigEndian32(hugePNG, 20, 100000);
    putBigEndian32(hugePNG, 29, crc32(reinterpret_cast<const uint8_t*>(hugePNG.data()) + 12, 17));
    std::string hugeJPEG = jpeg;
    const size_t frame = hugeJPEG.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    hugeJPEG.replace(frame + 5, 4, "\xFD\xE8\xFD\xE8");  // 65000 x 65000

    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"text", "this is not an image"},
        {"nothing", ""},
        {"an HTML error page", "<html><body>404 Not Found</body></html>"},
        {"a truncated PNG", png.substr(0, png.size() / 2)},
        {"a PNG with a damaged chunk", corruptPNG},
        {"a truncated JPEG", jpeg.substr(0, jpeg.size() / 2)},
        {"a JPEG header only", jpeg.substr(0, frame + 19)},
        {"a PNG claiming 10^10 pixels", hugePNG},
        {"a JPEG claiming 65000 x 65000 pixels", hugeJPEG},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(UIImage::imageWithData(dataOf(c.bytes))) << c.what;
        EXPECT_FALSE(UIImage::decodeWithImageCodecs(dataOf(c.bytes))) << c.what;
    }
    // The intact files still decode.
    EXPECT_TRUE(UIImage::imageWithData(dataOf(png)));
    EXPECT_TRUE(UIImage::imageWithData(dataOf(jpeg)));
}

TEST_F(UIImageCodec, GIFIsSizedOnlyAndImagesWithoutPixelsDoNotEncode)
{
    std::string gif = "GIF89a";
    gif += std::string("\x0c\x00\x22\x00\x00\x00\x00", 7);
    auto image = UIImage::imageWithData(dataOf(gif));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), CGSizeMake(12, 34));
    EXPECT_FALSE(image->CGImage()->hasPixels());
    EXPECT_FALSE(UIImagePNGRepresentation(image));
    EXPECT_FALSE(UIImageJPEGRepresentation(image, 1.0));
    EXPECT_FALSE(UIImagePNGRepresentation(nullptr));
    EXPECT_FALSE(UIImageJPEGRepresentation(nullptr, 0.5));
}

TEST(UIImageCodecInstall, CodecsGoInOnlyWhereNoDecoderIsInstalled)
{
    // Without a decoder a PNG is sized from its header and has no pixels.
    const auto png = *UIImagePNGRepresentation(sampleImage(3, 3));
    EXPECT_FALSE(UIImage::hasDecoder());
    EXPECT_FALSE(UIImage::imageWithData(png)->CGImage()->hasPixels());

    int calls = 0;
    UIImage::setDecoder([&calls](const NSData& bytes) {
        ++calls;
        return UIImage::decodeWithImageCodecs(bytes);
    });
    EXPECT_FALSE(UIImage::installImageCodecs());  // a decoder is there: it stays
    EXPECT_TRUE(UIImage::imageWithData(png)->CGImage()->hasPixels());
    EXPECT_EQ(calls, 1);

    UIImage::setDecoder(nullptr);
    EXPECT_TRUE(UIImage::installImageCodecs());
    EXPECT_FALSE(UIImage::installImageCodecs());
    EXPECT_TRUE(UIImage::imageWithData(png)->CGImage()->hasPixels());
    EXPECT_EQ(calls, 1);
    UIImage::setDecoder(nullptr);
}
