// Upload assembly: the store's ranges and counts, and the upload server's routes over real connections.
#include "service/StandInService.h"
#include "service/TestHttpClient.h"
#include "service/UploadRoutes.h"
#include "service/UploadStore.h"

#include "Cases.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace standin {
namespace {

using namespace std::chrono_literals;

std::string pattern(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    unsigned state = seed;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

struct MissingCase {
    const char* name;
    std::vector<ByteRange> writes;
    std::uint64_t total;
    std::vector<ByteRange> missing;
    std::vector<ByteRange> received;
};

class UploadStoreMissing : public ::testing::TestWithParam<MissingCase> {};

TEST_P(UploadStoreMissing, ListsTheRangesNoBlockCovered)
{
    const MissingCase& c = GetParam();
    UploadStore store;
    for (const ByteRange& write : c.writes) {
        ASSERT_TRUE(store.write("S", "MOV", write.offset, std::string(write.length, 'x')));
    }
    EXPECT_EQ(store.missing("S", "MOV", c.total), c.missing);
    EXPECT_EQ(store.received("S", "MOV"), c.received);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, UploadStoreMissing,
    ::testing::Values(
        MissingCase{"NothingYet", {}, 1000, {{0, 1000}}, {}},
        MissingCase{"InOrder", {{0, 400}, {400, 400}, {800, 200}}, 1000, {}, {{0, 1000}}},
        MissingCase{"OutOfOrderWithGaps", {{600, 100}, {0, 100}, {900, 100}}, 1000, {{100, 500}, {700, 200}},
                    {{0, 100}, {600, 100}, {900, 100}}},
        MissingCase{"OverlapsMerge", {{100, 300}, {50, 100}, {350, 100}, {0, 10}}, 600, {{10, 40}, {450, 150}},
                    {{0, 10}, {50, 400}}},
        MissingCase{"OneRangeSpanningMany", {{10, 10}, {30, 10}, {50, 10}, {0, 100}}, 100, {}, {{0, 100}}},
        MissingCase{"BytesPastTheTotalDoNotCount", {{0, 10}, {90, 50}}, 100, {{10, 80}}, {{0, 10}, {90, 50}}},
        MissingCase{"EngineBlocksOfOneMillion",
                    {{0, 65536}, {917504, 65536}, {983040, 16960}}, 1000000, {{65536, 851968}},
                    {{0, 65536}, {917504, 82496}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UploadStore, AssemblesBytesAndCountsEachBlock)
{
    UploadStore store;
    ASSERT_TRUE(store.write("S", "flv", 4, "efgh", "live"));
    ASSERT_TRUE(store.write("S", "flv", 0, "abcd", "live"));
    ASSERT_TRUE(store.write("S", "flv", 4, "EFGH", "rec")); // resent, newer bytes win
    ASSERT_TRUE(store.write("S", "flv", 10, "kl", "rec"));  // leaves a gap
    ASSERT_TRUE(store.write("S", "etf", 0, "effects"));

    EXPECT_EQ(store.contents("S", "flv"), std::string("abcdEFGH\0\0kl", 12));
    EXPECT_EQ(store.contents("S", "etf"), "effects");
    EXPECT_EQ(store.contents("S", "MOV"), "");
    EXPECT_EQ(store.timesReceived("S", "flv", 4, 4), 2u);
    EXPECT_EQ(store.timesReceived("S", "flv", 0, 4), 1u);
    EXPECT_EQ(store.timesReceived("S", "flv", 0, 8), 0u);
    EXPECT_EQ(store.blockCount("S", "flv"), 4u);

    auto blocks = store.blocks("S", "flv");
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[1].offset, 4u);
    EXPECT_EQ(blocks[1].times, 2u);
    EXPECT_EQ(blocks[1].lastMode, "rec");
    EXPECT_EQ(store.files(), (std::vector<std::pair<std::string, std::string>>{{"S", "etf"}, {"S", "flv"}}));
}

TEST(UploadStore, RefusesBlocksPastTheLargestFile)
{
    UploadStore store(1000);
    EXPECT_TRUE(store.write("S", "MOV", 990, std::string(10, 'x')));
    EXPECT_FALSE(store.write("S", "MOV", 991, std::string(10, 'x')));
    EXPECT_FALSE(store.write("S", "MOV", UINT64_MAX - 2, std::string(10, 'x')));
    EXPECT_EQ(store.contents("S", "MOV").size(), 1000u);
    EXPECT_EQ(store.blockCount("S", "MOV"), 1u);
}

TEST(UploadStore, RoomMadeAheadChangesNeitherFilesNorBytes)
{
    UploadStore store(1000);
    store.reserve("S", "MOV", 800);  // before the first block
    store.reserve("S", "etf", 5000); // past the largest file: only as much room as that
    EXPECT_TRUE(store.files().empty());
    EXPECT_FALSE(store.exists("S", "MOV"));
    ASSERT_TRUE(store.write("S", "MOV", 10, "abc"));
    store.reserve("S", "MOV", 2); // after blocks, smaller than the file: the bytes stay
    EXPECT_EQ(store.contents("S", "MOV"), std::string(10, '\0') + "abc");
    EXPECT_EQ(store.files(), (std::vector<std::pair<std::string, std::string>>{{"S", "MOV"}}));
    EXPECT_EQ(store.missing("S", "MOV", 13), (std::vector<ByteRange>{{0, 10}}));
    store.clear();
    ASSERT_TRUE(store.write("S", "etf", 0, "e"));
    EXPECT_EQ(store.contents("S", "etf"), "e");
}

std::string blockTarget(const std::string& token, std::uint64_t offset, std::size_t length, const std::string& ext)
{
    return "/upload?t=" + token + "&o=" + std::to_string(offset) + "&l=" + std::to_string(length) + "&m=up&p=" + ext;
}

// The block request as the engine writes it.
std::string blockRequest(const std::string& host, const std::string& token, std::uint64_t offset,
                         const std::string& bytes, const std::string& ext)
{
    return "POST " + blockTarget(token, offset, bytes.size(), ext) + " HTTP/1.1\r\nHost: " + host +
           "\r\nContent-Length: " + std::to_string(bytes.size()) +
           "\r\nUser-Agent: zizuvozizir\r\nConnection: Keep-Alive\r\n\r\n" + bytes;
}

TEST(UploadRoutes, AssembleAFileFromBlocksOnTwoKeptAliveConnections)
{
    StandInService service({.lifetime = 30s});
    const std::string file = pattern(200000, 7);
    const std::size_t block = 65536;
    TestHttpClient connections[2] = {TestHttpClient(service.port()), TestHttpClient(service.port())};

    // Blocks out of order, alternating connections, the one at 65536 held back.
    int turn = 0;
    for (std::uint64_t offset : {131072u, 0u, 196608u}) {
        std::string bytes = file.substr(offset, block);
        ASSERT_TRUE(connections[turn].sendRaw(blockRequest(service.hostPort(), "S1", offset, bytes, "MOV")));
        auto response = connections[turn].readResponse();
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 200);
        EXPECT_EQ(response->body, R"({"status":200})");
        EXPECT_EQ(response->header("Connection"), std::nullopt);
        turn = 1 - turn;
    }
    EXPECT_EQ(service.uploads().missing("S1", "MOV", file.size()), (std::vector<ByteRange>{{65536, 65536}}));

    // The held-back block, then a resend of the first one.
    std::string heldBack = file.substr(65536, block);
    ASSERT_TRUE(connections[1].sendRaw(blockRequest(service.hostPort(), "S1", 65536, heldBack, "MOV")));
    ASSERT_TRUE(connections[1].readResponse());
    ASSERT_TRUE(connections[0].sendRaw(blockRequest(service.hostPort(), "S1", 0, file.substr(0, block), "MOV")));
    ASSERT_TRUE(connections[0].readResponse());

    EXPECT_TRUE(service.uploads().missing("S1", "MOV", file.size()).empty());
    EXPECT_EQ(service.uploads().contents("S1", "MOV"), file);
    EXPECT_EQ(service.uploads().timesReceived("S1", "MOV", 0, block), 2u);
    EXPECT_EQ(service.uploads().timesReceived("S1", "MOV", 196608, file.size() - 196608), 1u);
    EXPECT_EQ(service.server().connectionsAccepted(), 2u);

    // The end call names the file as token.ext.
    TestHttpClient endCall(service.port());
    auto ended = endCall.request("GET", "/upload_tc_file_end?t=S1.MOV&scid=S1&vend=lumo");
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->status, 200);
    EXPECT_EQ(ended->body, R"({"status":200})");
    EXPECT_EQ(service.uploads().endCalls("S1", "MOV"), 1u);
}

TEST(UploadRoutes, KeepFilesApartByTokenAndExtension)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    ASSERT_TRUE(client.request("POST", blockTarget("S", 0, 3, "flv"), "flv"));
    ASSERT_TRUE(client.request("POST", blockTarget("S", 0, 3, "etf"), "etf"));
    ASSERT_TRUE(client.request("POST", blockTarget("T", 0, 3, "flv"), "two"));
    EXPECT_EQ(service.uploads().contents("S", "flv"), "flv");
    EXPECT_EQ(service.uploads().contents("S", "etf"), "etf");
    EXPECT_EQ(service.uploads().contents("T", "flv"), "two");
}

struct BadBlockCase {
    const char* name;
    std::string method;
    std::string target;
    std::string body;
    int status;
};

class UploadRoutesRefusal : public ::testing::TestWithParam<BadBlockCase> {};

TEST_P(UploadRoutesRefusal, StoresNothingForABlockThatDoesNotAddUp)
{
    const BadBlockCase& c = GetParam();
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    auto response = client.request(c.method, c.target, c.body);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, c.status);
    EXPECT_NE(response->body.find(R"("status":)" + std::to_string(c.status)), std::string::npos);
    EXPECT_TRUE(service.uploads().files().empty());
    // The connection stays usable.
    auto next = client.request("POST", blockTarget("S", 0, 2, "MOV"), "ok");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, UploadRoutesRefusal,
    ::testing::Values(BadBlockCase{"NoToken", "POST", "/upload?o=0&l=3&m=up&p=MOV", "abc", 400},
                      BadBlockCase{"EmptyToken", "POST", "/upload?t=&o=0&l=3&m=up&p=MOV", "abc", 400},
                      BadBlockCase{"NoOffset", "POST", "/upload?t=S&l=3&m=up&p=MOV", "abc", 400},
                      BadBlockCase{"OffsetNotANumber", "POST", "/upload?t=S&o=-1&l=3&m=up&p=MOV", "abc", 400},
                      BadBlockCase{"LengthDiffersFromBody", "POST", "/upload?t=S&o=0&l=4&m=up&p=MOV", "abc", 400},
                      BadBlockCase{"EmptyBlock", "POST", "/upload?t=S&o=0&l=0&m=up&p=MOV", "", 400},
                      BadBlockCase{"PastTheLargestFile", "POST", "/upload?t=S&o=4294967295&l=3&m=up&p=MOV", "abc", 400},
                      BadBlockCase{"NotPosted", "GET", "/upload?t=S&o=0&l=0&m=up&p=MOV", "", 405},
                      BadBlockCase{"EndCallWithoutToken", "GET", "/upload_tc_file_end?scid=S", "", 400}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UploadRoutes, AFailedBlockIsNotStoredAndStaysMissing)
{
    StandInService service({.lifetime = 30s});
    service.server().addFault(kUploadPath, Fault::statusOnNth(2));
    const std::string file = pattern(3000, 3);
    TestHttpClient client(service.port());
    std::vector<int> statuses;
    for (std::uint64_t offset : {0u, 1000u, 2000u}) {
        auto response = client.request("POST", blockTarget("S", offset, 1000, "MOV"), file.substr(offset, 1000));
        statuses.push_back(response ? response->status : -1);
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 500, 200}));
    EXPECT_EQ(service.uploads().missing("S", "MOV", file.size()), (std::vector<ByteRange>{{1000, 1000}}));
    EXPECT_EQ(service.uploads().timesReceived("S", "MOV", 1000, 1000), 0u);
    ASSERT_TRUE(service.server().waitForRequests(kUploadPath, 3, kWait));
    EXPECT_EQ(service.server().requests(kUploadPath)[1].status, 500);
}

} // namespace
} // namespace standin
