// The body stream: reads counted and cut to the throttle's allowance; everything else is the inner
// stream's.
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "HTTPTestSupport.h"
#include "net/http/HTTPInputStream.h"
#include "platform/foundation/Clock.h"

namespace {

// An inner stream that remembers the lengths it was asked for.
class AskedLengths : public CFReadStream {
public:
    std::vector<CFIndex> asked;

    bool open() override { return CFReadStream::open(); }
    CFIndex read(uint8_t* buffer, CFIndex length) override
    {
        asked.push_back(length);
        std::fill(buffer, buffer + length, uint8_t('b'));
        return length;
    }
};

class HTTPInputStreamTest : public ::testing::Test {
protected:
    HTTPInputStreamTest() { HTTPRequest::resetBandwidthThrottling(); }
    ~HTTPInputStreamTest() override { HTTPRequest::resetBandwidthThrottling(); }

    // A body stream over an inner stream that records what it is asked.
    Ref<HTTPInputStream> bodyStream()
    {
        auto body = HTTPInputStream::inputStreamWithData_request(NSData(), request);
        body->setStream(inner);
        body->open();
        return body;
    }
    // Throttled with `allowance` bytes left for one body read in this second (a quarter of the maximum).
    static void throttleWithAllowance(unsigned long allowance)
    {
        HTTPRequest::setMaxBandwidthPerSecond(allowance == 0 ? 1000 : allowance * 4);
        HTTPRequest::recordBandwidthUsage();  // the measurement second runs until one second from now
        if (allowance == 0) {
            HTTPRequest::incrementBandwidthUsedInLastSecond(1000);
        }
        ASSERT_EQ(HTTPRequest::maxUploadReadLength(), allowance);
    }

    MainThreadScope main;
    ScopedManualClock clock;  // the measurement second stays put while the test runs
    Ref<HTTPRequest> request = HTTPRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:9/"));
    std::shared_ptr<AskedLengths> inner = std::make_shared<AskedLengths>();
    std::vector<uint8_t> buffer = std::vector<uint8_t>(16384);
};

TEST_F(HTTPInputStreamTest, UnthrottledReadsPassThroughAndAreCounted)
{
    auto body = bodyStream();
    const unsigned long before = HTTPRequest::bandwidthUsedInLastSecond();
    EXPECT_EQ(body->read(buffer.data(), 16384), 16384);
    EXPECT_EQ(body->read(buffer.data(), 7), 7);
    EXPECT_EQ(inner->asked, (std::vector<CFIndex>{16384, 7}));
    EXPECT_EQ(HTTPRequest::bandwidthUsedInLastSecond() - before, 16391u);
}

TEST_F(HTTPInputStreamTest, ThrottledReadsAreCutToTheAllowance)
{
    struct Case {
        unsigned long allowance;
        CFIndex asked;
        CFIndex read;
    };
    const std::vector<Case> cases = {
        {0, 16384, 1},        // nothing left: one byte, so the read still ends
        {0, 1, 1},
        {4096, 16384, 4096},  // a quarter of the maximum
        {4096, 4096, 4096},
        {4096, 100, 100},     // a short read is left as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.allowance) + " " + std::to_string(c.asked));
        HTTPRequest::resetBandwidthThrottling();
        throttleWithAllowance(c.allowance);
        inner->asked.clear();
        auto body = bodyStream();
        const unsigned long before = HTTPRequest::bandwidthUsedInLastSecond();
        EXPECT_EQ(body->read(buffer.data(), c.asked), c.read);
        EXPECT_EQ(inner->asked, std::vector<CFIndex>{c.read});
        EXPECT_EQ(HTTPRequest::bandwidthUsedInLastSecond() - before, static_cast<unsigned long>(c.read));
    }
}

// A read of nothing stays a read of nothing, even with no allowance left (one byte would not fit).
TEST_F(HTTPInputStreamTest, EmptyReadNeverGrowsWithTheThrottle)
{
    throttleWithAllowance(0);
    auto body = bodyStream();
    EXPECT_EQ(body->read(buffer.data(), 0), 0);
    EXPECT_EQ(inner->asked, std::vector<CFIndex>{0});
}

// Status, errors, length and events are the inner stream's: over bytes, over a file, over a missing file.
TEST_F(HTTPInputStreamTest, StatusErrorsAndEventsAreTheInnerStreams)
{
    TemporaryFolder folder;
    {
        std::ofstream file(folder / "body");
        file << "file body";
    }
    struct Case {
        const char* name;
        Ref<HTTPInputStream> body;
        std::string content;
        CFStreamEventType lastEvent;
    };
    const std::vector<Case> cases = {
        {"bytes", HTTPInputStream::inputStreamWithData_request(NSData::dataWithString("some bytes"), request),
         "some bytes", kCFStreamEventEndEncountered},
        {"file", HTTPInputStream::inputStreamWithFileAtPath_request(folder / "body", request), "file body",
         kCFStreamEventEndEncountered},
        {"missing file", HTTPInputStream::inputStreamWithFileAtPath_request(folder / "missing", request), "",
         kCFStreamEventErrorOccurred},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CFStreamEventType> events;
        c.body->setClient(kCFStreamEventOpenCompleted | kCFStreamEventHasBytesAvailable |
                              kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
                          [&](CFReadStream& stream, CFStreamEventType event) {
                              EXPECT_EQ(&stream, c.body.get());
                              events.push_back(event);
                          });
        c.body->scheduleWithRunLoop(NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode);
        EXPECT_EQ(c.body->getStatus(), kCFStreamStatusNotOpen);
        ASSERT_TRUE(c.body->open());
        std::string read;
        if (c.content.empty()) {
            EXPECT_EQ(c.body->getStatus(), kCFStreamStatusError);
            EXPECT_EQ(c.body->getError().domain, kCFStreamErrorDomainPOSIX);
            EXPECT_EQ(c.body->getError().error, ENOENT);
            EXPECT_EQ(c.body->read(buffer.data(), 16), -1);
        } else {
            EXPECT_EQ(c.body->knownLength(), c.content.size());
            for (CFIndex n; (n = c.body->read(buffer.data(), 4)) > 0;) {
                read.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
            }
            EXPECT_EQ(c.body->getStatus(), kCFStreamStatusAtEnd);
        }
        EXPECT_EQ(read, c.content);
        ASSERT_TRUE(pumpMainUntil([&] { return !events.empty() && events.back() == c.lastEvent; }));
        EXPECT_EQ(c.body->stream()->scheduledRunLoop(), NSRunLoop::currentRunLoop());

        c.body->close();
        EXPECT_EQ(c.body->getStatus(), kCFStreamStatusClosed);
        EXPECT_FALSE(c.body->stream()->isScheduled());
    }
}

}  // namespace

namespace {
namespace HTTPInputStreamTests_cpp {

class NoOpStreamDelegate : public NSStreamDelegate {};

}  // namespace HTTPInputStreamTests_cpp
}  // namespace

TEST_F(HTTPInputStreamTest, DelegateAndPropertiesAreTheInnerStreams)
{
    auto body = bodyStream();
    auto delegate = std::make_shared<HTTPInputStreamTests_cpp::NoOpStreamDelegate>();
    body->setDelegate(delegate);
    EXPECT_EQ(inner->delegate(), delegate);
    EXPECT_EQ(body->delegate(), delegate);

    struct Case {
        const char* key;
        Value value;
    };
    const Case cases[] = {
        {"HTTPStreamID", Value(7)},
        {"kCFStreamPropertyFileCurrentOffset", Value(4096)},
        {"a name of the caller's", Value("any value")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_TRUE(body->propertyForKey(c.key).isNil());
        EXPECT_TRUE(body->setProperty_forKey(c.value, c.key));
        EXPECT_TRUE(inner->propertyForKey(c.key).isEqual(c.value));
        EXPECT_TRUE(body->propertyForKey(c.key).isEqual(c.value));
        // Set on the inner stream: the body stream answers the same.
        inner->setProperty_forKey(Value("changed"), c.key);
        EXPECT_EQ(body->propertyForKey(c.key).stringValue(), "changed");
    }
    body->setProperty_forKey(Value(), "HTTPStreamID");
    EXPECT_TRUE(inner->propertyForKey("HTTPStreamID").isNil());
}
