// Faults on demand: what the client sees, what the record says, and that the handler is kept out.
#include "service/HttpServer.h"
#include "service/TestHttpClient.h"

#include "Cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {
namespace {

using namespace std::chrono_literals;

// A server whose "/r" handler counts its calls and answers {"status":200}.
class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ServerOptions options;
        options.lifetime = 30s;
        options.onRequest = [this](const Request& request) {
            std::lock_guard lock(seenMutex_);
            firstOutcomes_.push_back(request.outcome);
        };
        server_ = std::make_unique<HttpServer>(options);
        server_->route("/r", [this](const Request&) {
            ++handled_;
            return Response::json(R"({"status":200})");
        });
    }

    // The server goes first: its threads report to the members below.
    void TearDown() override { server_.reset(); }

    std::vector<int> statusesOf(std::size_t count)
    {
        TestHttpClient client(server_->port());
        std::vector<int> statuses;
        for (std::size_t i = 0; i < count; ++i) {
            auto response = client.request("GET", "/r");
            statuses.push_back(response ? response->status : -1);
        }
        return statuses;
    }

    std::vector<Outcome> firstOutcomes()
    {
        std::lock_guard lock(seenMutex_);
        return firstOutcomes_;
    }

    std::unique_ptr<HttpServer> server_;
    std::atomic<int> handled_{0};
    std::mutex seenMutex_;
    std::vector<Outcome> firstOutcomes_; // outcome of each request when it was first recorded
};

struct AnswerCase {
    const char* name;
    Fault fault;
    int status;
    std::string body;
};

class FaultAnswers : public FaultTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(FaultAnswers, ReplaceTheNextAnswerOnce)
{
    const AnswerCase& c = GetParam();
    server_->addFault("/r", c.fault);
    TestHttpClient client(server_->port());

    auto faulty = client.request("POST", "/r", "payload");
    ASSERT_TRUE(faulty);
    EXPECT_EQ(faulty->status, c.status);
    EXPECT_EQ(faulty->body, c.body);
    EXPECT_TRUE(faulty->header("Content-Length")) << "the body must never end with the connection";
    EXPECT_EQ(handled_.load(), 0);

    // One-shot: the same kept-alive connection gets the handler's answer next.
    auto normal = client.request("GET", "/r");
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->status, 200);
    EXPECT_EQ(normal->body, R"({"status":200})");
    EXPECT_EQ(handled_.load(), 1);

    auto records = server_->requests("/r");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].status, c.status);
    EXPECT_EQ(records[0].body, "payload");
    EXPECT_EQ(records[0].fault, c.fault.describe());
    EXPECT_TRUE(records[1].fault.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FaultAnswers,
    ::testing::Values(AnswerCase{"Status", Fault::status(503), 503, ""},
                      AnswerCase{"StatusWithBody", Fault::status(404, "gone"), 404, "gone"},
                      AnswerCase{"EmptyBody", Fault::emptyBody(), 200, ""},
                      AnswerCase{"NotJson", Fault::notJson(), 200, Fault::notJson().body},
                      AnswerCase{"FirstRequest", Fault::statusOnNth(1), 500, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FaultKinds, NotJsonBodyIsNotJson)
{
    // What a client's JSON reader sees first must not open a value.
    std::string body = Fault::notJson().body;
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(std::string("{[\"0123456789-tfn").find(body.front()), std::string::npos);
}

TEST_F(FaultTest, PersistentFaultStaysUntilCleared)
{
    server_->addFault("/r", Fault::status(502).persistent());
    EXPECT_EQ(statusesOf(3), (std::vector<int>{502, 502, 502}));
    server_->clearFaults("/r");
    EXPECT_EQ(statusesOf(1), (std::vector<int>{200}));
    EXPECT_EQ(handled_.load(), 1);
}

TEST_F(FaultTest, FaultsApplyInTheOrderTheyWereAdded)
{
    server_->addFault("/r", Fault::status(401));
    server_->addFault("/r", Fault::status(403));
    EXPECT_EQ(statusesOf(3), (std::vector<int>{401, 403, 200}));
}

struct NthCase {
    const char* name;
    Fault fault;
    std::vector<int> statuses;
};

class FaultOnNth : public FaultTest, public ::testing::WithParamInterface<NthCase> {};

TEST_P(FaultOnNth, CountsTheRoutesRequestsFromWhenItWasAdded)
{
    const NthCase& c = GetParam();
    EXPECT_EQ(statusesOf(2), (std::vector<int>{200, 200})); // before the fault: not counted
    server_->addFault("/r", c.fault);
    EXPECT_EQ(statusesOf(c.statuses.size()), c.statuses);
}

INSTANTIATE_TEST_SUITE_P(
    Counting, FaultOnNth,
    ::testing::Values(NthCase{"OnceOnThird", Fault::statusOnNth(3), {200, 200, 500, 200, 200}},
                      NthCase{"EverySecond", Fault::statusOnNth(2, 503).persistent(), {200, 503, 200, 503, 200, 503}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultTest, NthFaultTakenByAnEarlierFaultFiresOnTheNextRequest)
{
    server_->addFault("/r", Fault::status(401));
    server_->addFault("/r", Fault::statusOnNth(1));
    EXPECT_EQ(statusesOf(3), (std::vector<int>{401, 500, 200}));
}

TEST_F(FaultTest, FaultsBelongToTheirPath)
{
    server_->route("/other", [](const Request&) { return Response::text("other"); });
    server_->addFault("/other", Fault::status(500).persistent());
    server_->addFault("/nowhere", Fault::status(503));
    EXPECT_EQ(statusesOf(2), (std::vector<int>{200, 200}));

    TestHttpClient client(server_->port());
    auto other = client.request("GET", "/other?x=1");
    auto nowhere = client.request("GET", "/nowhere");
    auto nowhereAgain = client.request("GET", "/nowhere");
    ASSERT_TRUE(other && nowhere && nowhereAgain);
    EXPECT_EQ(other->status, 500);
    EXPECT_EQ(nowhere->status, 503);
    EXPECT_EQ(nowhereAgain->status, 404);
}

TEST_F(FaultTest, CloseWithoutAnswerReadsTheRequestThenCloses)
{
    server_->addFault("/r", Fault::closeWithoutAnswer());
    TestHttpClient client(server_->port());
    ASSERT_TRUE(client.sendRaw(TestHttpClient::format("POST", "/r", "whole body")));
    EXPECT_FALSE(client.readResponse());
    EXPECT_TRUE(client.waitForClose());

    auto records = server_->requests("/r");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].outcome, Outcome::ClosedWithoutAnswer);
    EXPECT_EQ(records[0].body, "whole body");
    EXPECT_EQ(records[0].status, 0);
    EXPECT_EQ(handled_.load(), 0);
    // The next connection is served.
    EXPECT_EQ(statusesOf(1), (std::vector<int>{200}));
}

TEST_F(FaultTest, HangHoldsTheAnswerBackThenLetsTheHandlerAnswer)
{
    server_->addFault("/r", Fault::hang(300ms));
    TestHttpClient client(server_->port());
    auto response = client.request("GET", "/r");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->body, R"({"status":200})");
    EXPECT_EQ(handled_.load(), 1);

    EXPECT_EQ(firstOutcomes(), (std::vector<Outcome>{Outcome::Hanging}));
    auto records = server_->requests("/r");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].outcome, Outcome::Answered);
    EXPECT_EQ(records[0].status, 200);
}

TEST_F(FaultTest, HangWithoutEndLastsUntilTheServerStops)
{
    server_->addFault("/r", Fault::hangUntilStopped());
    TestHttpClient client(server_->port());
    ASSERT_TRUE(client.sendRaw(TestHttpClient::format("GET", "/r", "")));
    ASSERT_TRUE(server_->waitUntil(
        [&] {
            auto records = server_->requests("/r");
            return !records.empty() && records[0].outcome == Outcome::Hanging;
        },
        kWait));

    server_->stop(); // returns only once the hanging connection's thread has ended
    EXPECT_TRUE(client.waitForClose());
    auto records = server_->requests("/r");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].outcome, Outcome::ClosedWithoutAnswer);
    EXPECT_EQ(handled_.load(), 0);
}

TEST_F(FaultTest, DestroyingTheServerEndsAHang)
{
    server_->addFault("/r", Fault::hang(std::chrono::hours(1)));
    TestHttpClient client(server_->port());
    ASSERT_TRUE(client.sendRaw(TestHttpClient::format("GET", "/r", "")));
    ASSERT_TRUE(server_->waitForRequests("/r", 1, kWait));
    server_.reset();
    EXPECT_TRUE(client.waitForClose());
    EXPECT_EQ(handled_.load(), 0);
}

struct DropCase {
    const char* name;
    std::size_t bytes;
    std::size_t bodySize;
    bool chunked;
};

class FaultDrop : public FaultTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(FaultDrop, ResetsTheConnectionPartWayThroughTheRequest)
{
    const DropCase& c = GetParam();
    server_->addFault("/r", Fault::dropAfterBytes(c.bytes));
    std::string body(c.bodySize, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>('a' + i % 26);
    }
    std::string request;
    if (c.chunked) {
        request = "POST /r HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (std::size_t at = 0; at < body.size(); at += 4096) {
            std::string piece = body.substr(at, 4096);
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            request += size + piece + "\r\n";
        }
        request += "0\r\n\r\n";
    } else {
        request = TestHttpClient::format("POST", "/r", body);
    }
    std::size_t headSize = request.find("\r\n\r\n") + 4;

    TestHttpClient client(server_->port());
    client.sendRaw(request); // may fail part-way: the server resets the connection
    EXPECT_FALSE(client.readResponse());
    EXPECT_TRUE(client.waitForClose());

    ASSERT_TRUE(server_->waitForRequests("/r", 1, kWait));
    auto records = server_->requests("/r");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].outcome, Outcome::Dropped);
    EXPECT_EQ(records[0].status, 0);
    EXPECT_EQ(records[0].raw(), request.substr(0, std::max(headSize, c.bytes)));
    EXPECT_EQ(handled_.load(), 0);
    EXPECT_EQ(statusesOf(1), (std::vector<int>{200}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FaultDrop,
    ::testing::Values(DropCase{"InTheBody", 1000, 200000, false},
                      DropCase{"InAChunkedBody", 5000, 200000, true},
                      DropCase{"WithinTheHeader", 10, 100, false},
                      DropCase{"AfterAShortRequest", 100000, 50, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace standin
