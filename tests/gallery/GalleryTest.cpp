// Runs the whole gallery in this process and reads every picture back.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "Gallery.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"

#include "../support/GLTestEnvironment.h"

TEST(GalleryTest, EveryEntryWritesAPictureOfItsSizeThatIsNotOneColour)
{
    MainThreadScope main;
    gallery::registerAllEntries();
    // An entry that fails to build is reported and the others still draw.
    UIGallery::add({"zz-broken", CGSizeMake(10, 10), [](const Ref<UIWindow>&) { throw std::runtime_error("no"); }, {}});
    const auto entries = UIGallery::entries();
    ASSERT_GE(entries.size(), 5u);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("gallery-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const gallery::Result result = gallery::run(dir.string());
    EXPECT_EQ(result.failed, std::vector<std::string>{"zz-broken"});
    EXPECT_EQ(result.written.size(), entries.size() - 1);
    UIImage::installImageCodecs();
    for (const UIGalleryEntry& entry : entries) {
        if (entry.name == "zz-broken") {
            continue;
        }
        SCOPED_TRACE(entry.name);
        const auto image = UIImage::imageWithContentsOfFile((dir / (entry.name + ".png")).string());
        ASSERT_TRUE(image);
        const CGImageRef pixels = image->CGImage();
        ASSERT_TRUE(pixels && pixels->hasPixels());
        EXPECT_EQ(pixels->width(), size_t(entry.size.width * 2));
        EXPECT_EQ(pixels->height(), size_t(entry.size.height * 2));
        const std::set<uint32_t> colours(pixels->pixels().begin(), pixels->pixels().end());
        EXPECT_GT(colours.size(), 1u);
    }
    std::filesystem::remove_all(dir);
    UIGallery::clear();
}
