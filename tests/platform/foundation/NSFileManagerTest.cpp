#include <gtest/gtest.h>

#include <algorithm>

#include "TempDir.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"

namespace {

TEST(NSFileManagerTest, CreateInspectMoveCopyRemove)
{
    TempDir dir;
    auto fm = NSFileManager::defaultManager();
    Ref<NSError> error;

    // Without intermediate folders the parent must exist, and an existing folder is an error.
    EXPECT_FALSE(fm->createDirectoryAtPath_withIntermediateDirectories_attributes_error(dir / "a/b/c", false, Value(), &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), NSFileNoSuchFileError);
    EXPECT_EQ(error->underlyingError()->domain(), NSPOSIXErrorDomain);
    EXPECT_TRUE(fm->createDirectoryAtPath_withIntermediateDirectories_attributes_error(dir / "a/b/c", true, Value(), &error));
    EXPECT_TRUE(fm->createDirectoryAtPath_withIntermediateDirectories_attributes_error(dir / "a/b/c", true));
    EXPECT_FALSE(fm->createDirectoryAtPath_withIntermediateDirectories_attributes_error(dir / "a/b/c", false));
    EXPECT_TRUE(fm->createDirectoryAtPath_withIntermediateDirectories_attributes_error(dir / "a/d", false));

    ASSERT_TRUE(fm->createFileAtPath_contents_attributes(dir / "a/b/c/f.bin", NSData::dataWithString("12345")));
    EXPECT_FALSE(fm->createDirectoryAtPath_withIntermediateDirectories_attributes_error(dir / "a/b/c/f.bin/x", true));
    bool isDirectory = true;
    EXPECT_TRUE(fm->fileExistsAtPath_isDirectory(dir / "a/b/c/f.bin", &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(fm->fileExistsAtPath_isDirectory(dir / "a/b", &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(fm->fileExistsAtPath(dir / "nope"));
    EXPECT_FALSE(fm->fileExistsAtPath(""));

    const Value attributes = fm->attributesOfItemAtPath_error(dir / "a/b/c/f.bin");
    EXPECT_EQ(attributes[NSFileSize].unsignedLongLongValue(), 5u);
    EXPECT_EQ(attributes[NSFileType].stringValue(), NSFileTypeRegular);
    EXPECT_LT(std::abs(attributes[NSFileModificationDate].date().timeIntervalSinceNow()), 600.0);
    const NSDate past = NSDate::dateWithTimeIntervalSince1970(1000000000.5);
    EXPECT_TRUE(fm->setAttributes_ofItemAtPath_error(Value::dictionary({{NSFileModificationDate, past}}), dir / "a/b/c/f.bin"));
    EXPECT_EQ(fm->attributesOfItemAtPath_error(dir / "a/b/c/f.bin")[NSFileModificationDate].date(), past);
    EXPECT_TRUE(fm->attributesOfItemAtPath_error(dir / "nope", &error).isNil());
    EXPECT_EQ(error->code(), NSFileNoSuchFileError);

    // Move and copy refuse an existing destination.
    ASSERT_TRUE(fm->createFileAtPath_contents_attributes(dir / "other", std::nullopt));
    EXPECT_FALSE(fm->moveItemAtPath_toPath_error(dir / "a/b/c/f.bin", dir / "other", &error));
    EXPECT_EQ(error->code(), NSFileWriteFileExistsError);
    EXPECT_TRUE(fm->moveItemAtPath_toPath_error(dir / "a/b/c/f.bin", dir / "a/d/g.bin", &error));
    EXPECT_FALSE(fm->fileExistsAtPath(dir / "a/b/c/f.bin"));
    EXPECT_TRUE(fm->copyItemAtPath_toPath_error(dir / "a", dir / "copy", &error));
    EXPECT_EQ(fm->contentsAtPath(dir / "copy/d/g.bin")->string(), "12345");
    EXPECT_FALSE(fm->copyItemAtPath_toPath_error(dir / "a", dir / "copy", &error));
    EXPECT_FALSE(fm->moveItemAtPath_toPath_error(dir / "nope", dir / "x", &error));
    EXPECT_EQ(error->code(), NSFileNoSuchFileError);

    EXPECT_EQ(fm->contentsOfDirectoryAtPath_error(dir.path()), (std::vector<std::string>{"a", "copy", "other"}));
    auto subpaths = fm->subpathsOfDirectoryAtPath_error(dir / "a");
    std::sort(subpaths.begin(), subpaths.end());
    EXPECT_EQ(subpaths, (std::vector<std::string>{"b", "b/c", "d", "d/g.bin"}));

    // The enumerator can skip a folder's contents.
    auto enumerator = fm->enumeratorAtPath(dir / "a");
    ASSERT_NE(enumerator, nullptr);
    std::vector<std::string> seen;
    for (std::string next = enumerator->nextObject(); !next.empty(); next = enumerator->nextObject()) {
        seen.push_back(next);
        if (next == "b") {
            EXPECT_EQ(enumerator->fileAttributes()[NSFileType].stringValue(), NSFileTypeDirectory);
            enumerator->skipDescendants();
        }
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "d", "d/g.bin"}));
    EXPECT_EQ(fm->enumeratorAtPath(dir / "nope"), nullptr);

    EXPECT_TRUE(fm->removeItemAtPath_error(dir / "copy", &error));
    EXPECT_FALSE(fm->fileExistsAtPath(dir / "copy"));
    EXPECT_FALSE(fm->removeItemAtPath_error(dir / "copy", &error));
    EXPECT_TRUE(fm->isDeletableFileAtPath(dir / "other"));
}

TEST(FoundationRootsTest, FoldersLiveUnderTheChosenHome)
{
    TempDir dir;
    ASSERT_TRUE(FoundationRoots::setHomeDirectory(dir.path() + "/"));
    EXPECT_EQ(NSHomeDirectory(), dir.path());
    EXPECT_EQ(NSTemporaryDirectory(), dir.path() + "/tmp/");
    EXPECT_EQ(NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true),
              (std::vector<std::string>{dir / "Documents"}));
    EXPECT_EQ(NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true).at(0), dir / "Library/Caches");
    EXPECT_TRUE(NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSSystemDomainMask, true).empty());
    auto fm = NSFileManager::defaultManager();
    for (const auto& folder : {dir / "Documents", dir / "Library/Caches", dir / "Library/Preferences", dir / "tmp"}) {
        bool isDirectory = false;
        EXPECT_TRUE(fm->fileExistsAtPath_isDirectory(folder, &isDirectory) && isDirectory) << folder;
    }
    ASSERT_TRUE(FoundationRoots::setTemporaryDirectory(dir / "elsewhere"));
    EXPECT_EQ(NSTemporaryDirectory(), dir / "elsewhere/");
    FoundationRoots::setTemporaryDirectory("");
    EXPECT_EQ(NSTemporaryDirectory(), dir.path() + "/tmp/");
}

}  // namespace
