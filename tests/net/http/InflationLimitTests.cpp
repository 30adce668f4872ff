// Compressed replies that inflate to far more than any reply of the service: every way a request can
// take a body stops at the request's limit, and a stored body is inflated once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "HTTPTestSupport.h"
#include "net/http/HTTPDataDecompressor.h"
#include "net/http/HTTPRequestErrors.h"
#include "platform/foundation/NSLog.h"
#include "servers/HostileReplies.h"

namespace {
namespace InflationLimitTests_cpp {

// With `takesData`, takes the body piece by piece and counts what it was given.
class CountingDelegate : public RecordingDelegate {
public:
    bool takesData = false;
    size_t received = 0;
    bool respondsToSelector(std::string_view selector) const override
    {
        if (selector == kHTTPRequestDidReceiveDataSelector) {
            return takesData;
        }
        return RecordingDelegate::respondsToSelector(selector);
    }
    void request_didReceiveData(const Ref<HTTPRequest>&, const NSData& data) override { received += data.length(); }
};

class HTTPInflationLimitTest : public HTTPRequestTest {};

}  // namespace InflationLimitTests_cpp
}  // namespace

using InflationLimitTests_cpp::HTTPInflationLimitTest;

TEST_F(HTTPInflationLimitTest, StoredBombIsRefusedOnceAtTheDefaultLimitAndTheRequestStillFinishes)
{
    using namespace InflationLimitTests_cpp;
    // 80 MiB of zeros in about 80 KiB, past the default limit of 64 MiB.
    server.enqueue(TestServers::gzipBombReply(80u << 20));
    auto r = request("/bomb");
    auto delegate = std::make_shared<RecordingDelegate>();
    r->setDelegate(delegate);
    r->startSynchronous();
    // As for a body that is corrupt: the exchange itself went well.
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "finished"}));
    EXPECT_EQ(r->responseStatusCode(), 200);
    EXPECT_FALSE(r->error());
    EXPECT_EQ(r->maximumInflatedResponseLength(), 64ull << 20);
    EXPECT_EQ(r->rawResponseData().length(), TestServers::gzipBomb(80u << 20).size());

    NSLogCapture log(true);
    EXPECT_TRUE(r->responseData().empty());
    EXPECT_EQ(r->responseString(), "");
    EXPECT_TRUE(r->responseData().empty());
    Ref<NSError> reason = r->responseDecompressionError();
    ASSERT_TRUE(reason);
    EXPECT_EQ(reason->code(), HTTPErrorCompression);
    EXPECT_TRUE(HTTPDataDecompressor::isInflatedLengthError(reason));
    // Three readings, one inflation (and one logged reason).
    size_t logged = 0;
    for (const std::string& line : log.lines()) {
        logged += line.find("Unable to inflate the response body of " + server.url("/bomb")) == 0 &&
                  line.find(reason->localizedDescription()) != std::string::npos;
    }
    EXPECT_EQ(logged, 1u);
}

TEST_F(HTTPInflationLimitTest, EveryWayOfTakingTheBodyStopsAtTheLimit)
{
    using namespace InflationLimitTests_cpp;
    const unsigned long long limit = 1 << 20;
    enum class Into { Memory, File, Delegate };
    struct Case {
        const char* name;
        Into into;
        bool inflateAsItArrives;
        size_t inflated;
    };
    const Case cases[] = {
        {"stored, inflated when read, at the limit", Into::Memory, false, limit},
        {"stored, inflated when read, past it", Into::Memory, false, 8 * limit},
        {"stored, inflated as it arrives, at the limit", Into::Memory, true, limit},
        {"stored, inflated as it arrives, past it", Into::Memory, true, 8 * limit},
        {"file, inflated at the end, at the limit", Into::File, false, limit},
        {"file, inflated at the end, past it", Into::File, false, 8 * limit},
        {"file, inflated as it arrives, at the limit", Into::File, true, limit},
        {"file, inflated as it arrives, past it", Into::File, true, 8 * limit},
        {"delegate, at the limit", Into::Delegate, true, limit},
        {"delegate, past it", Into::Delegate, true, 8 * limit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool fits = c.inflated <= limit;
        server.enqueue(TestServers::gzipBombReply(c.inflated));
        auto r = request("/bomb");
        r->setMaximumInflatedResponseLength(limit);
        r->setShouldWaitToInflateCompressedResponses(!c.inflateAsItArrives);
        auto delegate = std::make_shared<CountingDelegate>();
        delegate->takesData = c.into == Into::Delegate;
        r->setDelegate(delegate);
        const std::string destination = home / "download";
        std::filesystem::remove(destination);
        if (c.into == Into::File) {
            r->setDownloadDestinationPath(destination);
        }
        r->startSynchronous();

        // A body stored compressed is only judged when it is read; every other way fails the request.
        const bool storedCompressed = c.into == Into::Memory && !c.inflateAsItArrives;
        if (fits || storedCompressed) {
            EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "finished"}));
        } else {
            EXPECT_EQ(delegate->names(), (std::vector<std::string>{"started", "headers", "failed"}));
            ASSERT_TRUE(r->error());
            EXPECT_EQ(r->error()->code(), HTTPErrorCompression);
            EXPECT_TRUE(HTTPDataDecompressor::isInflatedLengthError(r->error()));
        }
        switch (c.into) {
        case Into::Memory:
            EXPECT_EQ(r->responseData().length(), fits ? c.inflated : 0u);
            EXPECT_EQ(static_cast<bool>(r->responseDecompressionError()), storedCompressed && !fits);
            break;
        case Into::File:
            // No part of a refused body is left behind as if it were the body.
            EXPECT_EQ(std::filesystem::exists(destination), fits);
            if (fits) {
                EXPECT_EQ(std::filesystem::file_size(destination), c.inflated);
            }
            break;
        case Into::Delegate:
            EXPECT_LE(delegate->received, limit);
            if (fits) {
                EXPECT_EQ(delegate->received, c.inflated);
            }
            break;
        }
    }
}

TEST_F(HTTPInflationLimitTest, AnInflatedBodyIsKeptAndABodyStoredAgainIsInflatedAgain)
{
    server.enqueue(TestServers::gzipBombReply(1000));
    auto r = request("/small");
    r->startSynchronous();
    ASSERT_EQ(r->responseData().length(), 1000u);
    EXPECT_FALSE(r->responseDecompressionError());
    // A new body (a cache answer, for instance) replaces the kept one.
    r->setRawResponseData(NSData::dataWithString(TestServers::gzipBomb(3000)));
    EXPECT_EQ(r->responseData().length(), 3000u);
    r->setRawResponseData(NSData::dataWithString("not gzip"));
    EXPECT_TRUE(r->responseData().empty());
    ASSERT_TRUE(r->responseDecompressionError());
    EXPECT_EQ(r->responseDecompressionError()->code(), HTTPErrorCompression);
    EXPECT_FALSE(HTTPDataDecompressor::isInflatedLengthError(r->responseDecompressionError()));
}
