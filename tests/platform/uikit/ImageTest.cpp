#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScreen.h"

namespace {

// The first bytes of a PNG file of the given size (the header is all sizing reads).
std::string pngHeader(uint32_t width, uint32_t height)
{
    std::string bytes = "\x89PNG\r\n\x1a\n";
    bytes += std::string("\0\0\0\x0dIHDR", 8);
    for (uint32_t v : {width, height}) {
        bytes += char(v >> 24);
        bytes += char(v >> 16);
        bytes += char(v >> 8);
        bytes += char(v);
    }
    bytes += std::string("\x08\x06\0\0\0", 5);
    return bytes;
}

// A JPEG start with an application segment before the frame header.
std::string jpegHeader(uint16_t width, uint16_t height)
{
    std::string bytes = "\xff\xd8\xff\xe0";
    bytes += std::string("\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 16);
    bytes += "\xff\xc0";
    bytes += std::string("\0\x11\x08", 3);
    bytes += char(height >> 8);
    bytes += char(height);
    bytes += char(width >> 8);
    bytes += char(width);
    bytes += std::string("\x03\x01\x22\0\x02\x11\x01\x03\x11\x01", 10);
    return bytes;
}

class BundleImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() /
                  ("ombri-uikit-images-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(folder_);
        write("menu_icon.png", pngHeader(30, 20));
        write("menu_icon@2x.png", pngHeader(60, 40));
        write("only_single.png", pngHeader(10, 10));
        write("cover.jpg", jpegHeader(640, 480));
        write("broken.png", "not an image at all");
        NSBundle::setMainBundlePath(folder_.string());
        UIImage::clearNamedImageCache();
    }
    void TearDown() override
    {
        NSBundle::setMainBundlePath("");
        UIScreen::mainScreen()->setScale(1);
        UIImage::clearNamedImageCache();
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
    }
    void write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }
    std::filesystem::path folder_;
};

}  // namespace

TEST_F(BundleImages, NamedImagesAreFoundWithOrWithoutTheExtensionAndPreferDoubleResolutionOnScale2)
{
    auto plain = UIImage::imageNamed("menu_icon");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->size(), CGSizeMake(30, 20));
    EXPECT_EQ(plain->scale(), 1);
    EXPECT_EQ(UIImage::imageNamed("menu_icon"), plain);  // cached
    EXPECT_EQ(UIImage::imageNamed("menu_icon.png")->size(), CGSizeMake(30, 20));
    EXPECT_EQ(UIImage::imageNamed("cover.jpg")->size(), CGSizeMake(640, 480));
    EXPECT_FALSE(UIImage::imageNamed("missing"));
    EXPECT_FALSE(UIImage::imageNamed("broken"));

    UIScreen::mainScreen()->setScale(2);
    auto retina = UIImage::imageNamed("menu_icon");
    ASSERT_TRUE(retina);
    EXPECT_EQ(retina->scale(), 2);
    EXPECT_EQ(retina->size(), CGSizeMake(30, 20));  // the same points, twice the pixels
    EXPECT_EQ(retina->CGImage()->width(), 60u);
    auto single = UIImage::imageNamed("only_single");  // no @2x file: the single one serves
    ASSERT_TRUE(single);
    EXPECT_EQ(single->scale(), 1);
    // A memory warning empties the cache.
    UIApplication::sharedApplication()->simulateMemoryWarning();
    EXPECT_NE(UIImage::imageNamed("menu_icon"), retina);
}

TEST(UIImageTest, AStretchableImageKeepsItsCaps)
{
    auto image = UIImage::imageWithCGImage(CGImage::create(20, 30));
    auto stretchable = image->stretchableImageWithLeftCapWidth_topCapHeight(5, 6);
    EXPECT_EQ(stretchable->leftCapWidth(), 5);
    EXPECT_EQ(stretchable->topCapHeight(), 6);
    EXPECT_EQ(stretchable->capInsets(), UIEdgeInsetsMake(6, 5, 23, 14));  // one stretchable column and row
    EXPECT_EQ(stretchable->size(), image->size());
    EXPECT_EQ(stretchable->CGImage(), image->CGImage());
    EXPECT_EQ(image->leftCapWidth(), 0);  // the original is untouched

    // Drawn larger, the corners keep their size and only the middle stretches.
    const auto slices = stretchable->slicesForRect(CGRectMake(0, 0, 100, 60));
    ASSERT_EQ(slices.size(), 9u);
    EXPECT_EQ(slices[0].destination, CGRectMake(0, 0, 5, 6));
    EXPECT_EQ(slices[2].destination, CGRectMake(86, 0, 14, 6));
    EXPECT_EQ(slices[4].source, CGRectMake(5, 6, 1, 1));
    EXPECT_EQ(slices[4].destination, CGRectMake(5, 6, 81, 31));
    EXPECT_EQ(slices[8].destination, CGRectMake(86, 37, 14, 23));

    // A cap of 0 stretches that whole axis: 13/0 gives three columns, one row.
    auto bar = image->stretchableImageWithLeftCapWidth_topCapHeight(13, 0);
    const auto barSlices = bar->slicesForRect(CGRectMake(0, 0, 200, 30));
    ASSERT_EQ(barSlices.size(), 3u);
    EXPECT_EQ(barSlices[0].destination, CGRectMake(0, 0, 13, 30));
    EXPECT_EQ(barSlices[2].destination, CGRectMake(194, 0, 6, 30));

    // The caps survive being used: as a button background and in a drawing.
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setBackgroundImage_forState(stretchable, UIControlStateNormal);
    EXPECT_EQ(button->currentBackgroundImage()->capInsets(), stretchable->capInsets());
    UIGraphicsBeginImageContext(CGSizeMake(100, 60));
    stretchable->drawInRect(CGRectMake(0, 0, 100, 60));
    const auto records = UIGraphicsGetCurrentContext()->records();
    UIGraphicsEndImageContext();
    ASSERT_EQ(records.size(), 9u);
    EXPECT_EQ(records[0].kind, CGDrawingRecord::kImage);
    EXPECT_EQ(records[8].rect, CGRectMake(86, 37, 14, 23));
}

TEST(UIImageTest, ImagesFromBytesAndImageViewsSizedByTheirImage)
{
    const std::string png = pngHeader(12, 34);
    auto image = UIImage::imageWithData(NSData(png.data(), png.size()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), CGSizeMake(12, 34));
    EXPECT_FALSE(image->CGImage()->hasPixels());  // sized only: no decoder installed
    EXPECT_FALSE(UIImage::imageWithData(NSData::dataWithString("GIF8")));
    auto view = UIImageView::initWithImage(image);
    EXPECT_EQ(view->frame(), CGRectMake(0, 0, 12, 34));
    EXPECT_EQ(view->layer()->contents(), image->CGImage());
    EXPECT_FALSE(view->isUserInteractionEnabled());
    auto rotated = UIImage::imageWithCGImage_scale_orientation(CGImage::create(40, 20), 2, UIImageOrientationRight);
    EXPECT_EQ(rotated->size(), CGSizeMake(10, 20));
    auto pattern = UIColor::colorWithPatternImage(image);
    EXPECT_EQ(pattern->patternImage(), image);
    EXPECT_FALSE(pattern->getRed_green_blue_alpha(nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(UIColorEqual(UIColor::clearColor(), UIColor::colorWithRed_green_blue_alpha(0, 0, 0, 0)));
    EXPECT_TRUE(UIColorEqual(UIColor::clearColor(), UIColor::colorWithWhite_alpha(0, 0)));
}
