#include <gtest/gtest.h>

#include <thread>

#include "TempDir.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

class NSUserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home.path()));
        NSBundle::setMainBundlePath(home / "bundle");  // no Info.plist: the file is ombri.plist
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override { NSUserDefaults::resetStandardUserDefaults(); }
    TempDir home;
};

TEST_F(NSUserDefaultsTest, ValuesSurviveARelaunch)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    const NSDate adDate = NSDate::dateWithTimeIntervalSince1970(1360000000.25);
    defaults->setObject_forKey(Value::dictionary({{"uid", 12345678901LL}, {"name", "用户"}}), "AcountInfo");
    defaults->setObject_forKey(Value(adDate), "kAdInSquareDate");
    defaults->setBool_forKey(true, "kShouldShowGuideKey");
    defaults->setInteger_forKey(2, "videoQuality");
    defaults->setObject_forKey("tok", "devicekToken");
    defaults->removeObjectForKey("devicekToken");
    // No synchronize: every change is already on disk.

    NSUserDefaults::resetStandardUserDefaults();  // the relaunch
    auto relaunched = NSUserDefaults::standardUserDefaults();
    ASSERT_NE(relaunched, defaults);
    EXPECT_EQ(relaunched->path(), home.path() + "/Library/Preferences/ombri.plist");
    EXPECT_EQ(relaunched->dictionaryForKey("AcountInfo")["uid"].longLongValue(), 12345678901LL);
    EXPECT_EQ(relaunched->dictionaryForKey("AcountInfo")["name"].stringValue(), "用户");
    EXPECT_EQ(relaunched->objectForKey("kAdInSquareDate").date(), adDate);
    EXPECT_TRUE(relaunched->boolForKey("kShouldShowGuideKey"));
    EXPECT_EQ(relaunched->integerForKey("videoQuality"), 2);
    EXPECT_TRUE(relaunched->objectForKey("devicekToken").isNil());
    EXPECT_EQ(relaunched->integerForKey("missing"), 0);
    EXPECT_FALSE(relaunched->boolForKey("missing"));
    EXPECT_EQ(relaunched->stringForKey("videoQuality"), "2");
}

TEST_F(NSUserDefaultsTest, StoredValuesAreCopiesAndPropertyListsOnly)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    Value list = Value::array({"a"});
    defaults->setObject_forKey(list, "uploadSetting");
    list.addObject("b");
    Value read = defaults->arrayForKey("uploadSetting");
    read.addObject("c");
    EXPECT_EQ(defaults->arrayForKey("uploadSetting").count(), 1u);

    EXPECT_THROW(defaults->setObject_forKey(Value::array({Value::null()}), "k"), NSException);
    EXPECT_THROW(defaults->setObject_forKey(Value(NSObject::create()), "k"), NSException);
    defaults->setObject_forKey(Value(), "uploadSetting");  // nil removes
    EXPECT_TRUE(defaults->objectForKey("uploadSetting").isNil());

    defaults->registerDefaults(Value::dictionary({{"kStatusBarOverlayStateShrinked", true}}));
    EXPECT_TRUE(defaults->boolForKey("kStatusBarOverlayStateShrinked"));
    defaults->setBool_forKey(false, "kStatusBarOverlayStateShrinked");
    EXPECT_FALSE(defaults->boolForKey("kStatusBarOverlayStateShrinked"));
    EXPECT_TRUE(defaults->synchronize());
}

TEST_F(NSUserDefaultsTest, WritesFromOneThreadAreSeenByAllAtOnce)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    std::thread writer([&] {
        for (int i = 1; i <= 20; ++i) {
            defaults->setInteger_forKey(i, "counter");
        }
    });
    // Readers on this thread see monotonically increasing values, never a torn or missing one.
    NSInteger last = 0;
    while (last < 20) {
        const NSInteger now = NSUserDefaults::standardUserDefaults()->integerForKey("counter");
        EXPECT_GE(now, last);
        last = now;
    }
    writer.join();
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->integerForKey("counter"), 20);
}

}  // namespace
