#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"

namespace {

TEST(NSErrorTest, DescriptionsAndUnderlyingErrors)
{
    auto underlying = NSError::posixError(ENOENT, "/x");
    auto error = NSError::errorWithDomain_code_userInfo(
        "HTTPRequestErrorDomain", 2,
        Value::dictionary({{NSLocalizedDescriptionKey, "The request timed out"}, {NSUnderlyingErrorKey, underlying}}));
    EXPECT_EQ(error->localizedDescription(), "The request timed out");
    EXPECT_EQ(error->underlyingError(), underlying);
    EXPECT_EQ(error->underlyingError()->code(), ENOENT);
    EXPECT_EQ(error->description().rfind("Error Domain=HTTPRequestErrorDomain Code=2 \"The request timed out\"", 0), 0u);
    auto bare = NSError::errorWithDomain_code_userInfo("D", 5);
    EXPECT_EQ(bare->localizedDescription(), "The operation couldn’t be completed. (D error 5.)");
    EXPECT_TRUE(bare->userInfo().isDictionary());
    EXPECT_EQ(bare->underlyingError(), nullptr);
    EXPECT_TRUE(Value(bare).isEqual(Value(NSError::errorWithDomain_code_userInfo("D", 5))));
    EXPECT_FALSE(Value(bare).isEqual(Value(NSError::errorWithDomain_code_userInfo("D", 6))));
}

TEST(NSExceptionTest, CarriesNameAndReason)
{
    try {
        NSException::raise("ProgressHUDViewIsNillException", "The view used in the HUD is nil.");
        FAIL();
    } catch (const std::exception& e) {
        const auto* ns = dynamic_cast<const NSException*>(&e);
        ASSERT_NE(ns, nullptr);
        EXPECT_EQ(ns->name(), "ProgressHUDViewIsNillException");
        EXPECT_EQ(ns->reason(), "The view used in the HUD is nil.");
        EXPECT_STREQ(e.what(), "ProgressHUDViewIsNillException: The view used in the HUD is nil.");
    }
    try {
        NSAssert(1 + 1 == 3, "index %d out of %@", 4, "range");
        FAIL();
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), NSInternalInconsistencyException);
        EXPECT_EQ(e.reason(), "index 4 out of range");
    }
}

TEST(NSLogTest, CaptureSeesMessagesFromEveryThread)
{
    NSLogCapture capture(true);
    NSLog("send succ");
    std::thread([] { NSLog("remind %@", Value::dictionary({{"n", 1}})); }).join();
    NSLog("Failed to get token, error: %@", NSError::errorWithDomain_code_userInfo("D", 1));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "send succ");
    EXPECT_EQ(lines[1], "remind {\n    n = 1;\n}");
    EXPECT_TRUE(capture.contains("Failed to get token, error: Error Domain=D Code=1"));
    EXPECT_EQ(capture.count("send succ"), 1u);
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

}  // namespace
