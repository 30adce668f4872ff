// The commit calls and the checking end call of the stand-in service, over real connections.
#include "service/CommitRoutes.h"
#include "service/StandInService.h"
#include "service/TestHttpClient.h"
#include "service/UploadRoutes.h"

#include "Cases.h"

#include <gtest/gtest.h>

#include <string>

namespace standin {
namespace {

using namespace std::chrono_literals;

struct CommitCase {
    const char* name;
    std::string method;
    std::string path;
    std::string body;
    int httpStatus;
    std::string reply;
};

class CommitRoutesAnswer : public ::testing::TestWithParam<CommitCase> {};

TEST_P(CommitRoutesAnswer, ByTheFormTheyCarry)
{
    const CommitCase& c = GetParam();
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    auto response = client.request(c.method, c.path, c.body, {"Content-Type: application/x-www-form-urlencoded"});
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, c.httpStatus);
    EXPECT_EQ(response->body, c.reply);
    const auto recorded = service.server().requests(c.path);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].body, c.body);
}

const std::string kOk = R"({"status":200})";

INSTANTIATE_TEST_SUITE_P(
    Calls, CommitRoutesAnswer,
    ::testing::Values(
        CommitCase{"Title", "POST", kModifyChannelPath, "token=T&title=a%7Cb&scid=S&vend=lumo", 200, kOk},
        CommitCase{"Location", "POST", kModifyChannelPath,
                   "location=1.500000,2.000000&locationText=x&token=T&scid=S&vend=lumo", 200, kOk},
        CommitCase{"ChannelWithoutChange", "POST", kModifyChannelPath, "token=T&scid=S&vend=lumo", 200,
                   R"({"status":400,"msg":"fields missing"})"},
        CommitCase{"Visibility", "POST", kShareWithPath, "token=T&suids=all&scid=S&vend=lumo", 200, kOk},
        CommitCase{"VideoSign", "POST", kVideoSignPath, "token=T&scid=S&vend=lumo", 200, kOk},
        CommitCase{"Friends", "POST", kWithPath, "suids=1,2&token=T&scid=S&vend=lumo", 200, kOk},
        CommitCase{"Share", "POST", kShareWeiboPath, "msg=hi&othertype=2,3&token=T&scid=S&vend=lumo", 200, kOk},
        CommitCase{"ShareWithoutTargets", "POST", kShareWeiboPath, "msg=hi&token=T&scid=S&vend=lumo", 200,
                   R"({"status":400,"msg":"fields missing"})"},
        CommitCase{"NoToken", "POST", kWithPath, "suids=1&scid=S&vend=lumo", 200,
                   R"({"status":403,"msg":"not logged in"})"},
        CommitCase{"NoScid", "POST", kWithPath, "suids=1&token=T&vend=lumo", 200,
                   R"({"status":400,"msg":"scid is required"})"},
        CommitCase{"NotPosted", "GET", kWithPath, "", 405, R"({"status":405,"msg":"commit calls are posted"})"},
        CommitCase{"Deletion", "POST", kMediaPath, "scid=S&token=T&_method=delete&vend=lumo", 200,
                   R"({"status":200,"delete":"S"})"},
        CommitCase{"DeletionWithoutMethod", "POST", kMediaPath, "scid=S&token=T&vend=lumo", 200,
                   R"({"status":400,"msg":"scid, token and _method=delete are required"})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommitRoutes, EndCallTellsACompleteFileFromOneWithAGap)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const auto block = [&](std::uint64_t offset, const std::string& bytes) {
        return client.request("POST", "/upload?t=S&o=" + std::to_string(offset) + "&l=" + std::to_string(bytes.size()) +
                                          "&m=up&p=MOV",
                              bytes);
    };
    const auto end = [&](const std::string& query) { return client.request("GET", "/upload_tc_file_end?" + query); };

    ASSERT_TRUE(block(0, "abc"));
    ASSERT_TRUE(block(6, "ghi"));
    auto gap = end("t=S.MOV&scid=S&vend=lumo");
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->body, R"({"status":400,"msg":"file incomplete"})");

    ASSERT_TRUE(block(3, "def"));
    auto other = end("t=S.MOV&scid=X&vend=lumo");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->body, R"({"status":400,"msg":"scid names another upload"})");
    auto complete = end("t=S.MOV&scid=S&vend=lumo");
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->status, 200);
    EXPECT_EQ(complete->body, R"({"status":200})");

    auto unknown = end("t=U.MOV");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->body, R"({"status":400,"msg":"file incomplete"})");
    EXPECT_EQ(service.uploads().endCalls("S", "MOV"), 3u);
    EXPECT_EQ(service.uploads().contents("S", "MOV"), "abcdefghi");
}

} // namespace
} // namespace standin
