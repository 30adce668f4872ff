// What the stand-in service keeps of a published video and where it shows it, and the account a
// microblog sign-in comes back with, over real connections.
#include "service/AccountRoutes.h"
#include "service/ApiRoutes.h"
#include "service/CommitRoutes.h"
#include "service/ServiceReplies.h"
#include "service/StandInService.h"
#include "service/TestHttpClient.h"
#include "service/UploadRoutes.h"

#include <gtest/gtest.h>

#include <string>

namespace standin {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kForm = {"Content-Type: application/x-www-form-urlencoded"};

// The first item's title on the account's own page, and the page's total.
std::pair<std::string, std::string> ownPageHead(TestHttpClient& client)
{
    auto page = client.request("GET", "/m/v2_user.json?suid=1001&token=T&page=1&per=20");
    if (!page) {
        return {};
    }
    const std::size_t title = page->body.find(R"("t":)");
    const std::size_t total = page->body.find(R"("total":45)");
    return {title == std::string::npos ? "" : page->body.substr(title + 5, page->body.find('"', title + 5) - title - 5),
            total == std::string::npos ? "more than the fixture" : "the fixture's"};
}

TEST(StandInPublishing, AVideoWithATitleAndACompleteFileHeadsTheOwnPageWithWhatTheCallsSaid)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const auto post = [&](const char* path, const std::string& body) {
        auto response = client.request("POST", path, body, kForm);
        return response ? response->body : std::string();
    };
    // Before anything is published the page is the fixture's.
    EXPECT_EQ(ownPageHead(client).second, "the fixture's");

    // The calls of one video; a refused call (no token) is not kept.
    EXPECT_EQ(post(kModifyChannelPath, "token=T&scid=sc9&title=Walk%23%E8%A5%BF%E6%B9%96%23"), R"({"status":200})");
    EXPECT_EQ(post(kModifyChannelPath, "token=T&scid=sc9&location=30.2,120.1&locationText=Lake"), R"({"status":200})");
    EXPECT_EQ(post(kWithPath, "token=T&scid=sc9&suids=2001,2002"), R"({"status":200})");
    EXPECT_EQ(post(kShareWithPath, "token=T&scid=sc9&suids=all"), R"({"status":200})");
    EXPECT_EQ(post(kShareWeiboPath, "token=T&scid=sc9&msg=Walk&othertype=1"), R"({"status":200})");
    post(kWithPath, "scid=sc9&suids=9");
    // Titled but not yet uploaded: not on the page.
    EXPECT_EQ(ownPageHead(client).second, "the fixture's");

    // An end call of an incomplete file does not count; a complete one does.
    ASSERT_TRUE(client.request("POST", std::string(kUploadPath) + "?t=sc9&o=2&l=2&m=up&p=MOV", "cd"));
    ASSERT_TRUE(client.request("GET", std::string(kUploadEndPath) + "?t=sc9.MOV&scid=sc9"));
    EXPECT_EQ(ownPageHead(client).second, "the fixture's");
    ASSERT_TRUE(client.request("POST", std::string(kUploadPath) + "?t=sc9&o=0&l=2&m=up&p=MOV", "ab"));
    ASSERT_TRUE(client.request("GET", std::string(kUploadEndPath) + "?t=sc9.MOV&scid=sc9"));

    const auto published = service.published().published();
    ASSERT_EQ(published.size(), 1u);
    const PublishedVideo& video = published[0];
    EXPECT_EQ(video.scid, "sc9");
    EXPECT_EQ(video.title, "Walk#西湖#");
    EXPECT_EQ(video.location, "30.2,120.1");
    EXPECT_EQ(video.locationText, "Lake");
    EXPECT_EQ(video.withSuids, "2001,2002");
    EXPECT_EQ(video.seenBy, "all");
    EXPECT_EQ(video.shareTargets, "1");
    EXPECT_EQ(video.shareMessage, "Walk");
    EXPECT_EQ(ownPageHead(client), (std::pair<std::string, std::string>{"Walk#西湖#", "more than the fixture"}));
    // Somebody else's page stays the fixture's.
    auto other = client.request("GET", "/m/v2_user.json?suid=1002&token=T&page=1&per=20");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->body.find("Walk"), std::string::npos);

    // Deleted, it leaves the page.
    EXPECT_EQ(post(kMediaPath, "token=T&scid=sc9&_method=delete"), R"({"status":200,"delete":"sc9"})");
    EXPECT_TRUE(service.published().published().empty());
    EXPECT_EQ(ownPageHead(client).second, "the fixture's");
}

TEST(StandInPublishing, AMicroblogSignInComesBackBoundToThatMicroblogForGood)
{
    const struct {
        int mode;
        const char* bindings;
    } cases[] = {
        {0, R"("bindLumoWeibo":false,"bindQWeibo":false})"},
        {1, R"("bindLumoWeibo":true,"bindQWeibo":false,"lumoWeibo":{"weiboNick":"西湖边的小明"},)"
            R"("unbindLumoWeibo":false,"unbindQWeibo":true})"},
        {3, R"("bindLumoWeibo":true,"bindQWeibo":false,"lumoWeibo":{"weiboNick":"西湖边的小明"},)"
            R"("unbindLumoWeibo":false,"unbindQWeibo":true})"},
        {2, R"("bindLumoWeibo":false,"bindQWeibo":true,"qWeibo":{"weiboNick":"QQ小明"},)"
            R"("unbindLumoWeibo":true,"unbindQWeibo":false})"},
    };
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::string reply = apiAccountReply(c.mode);
        EXPECT_TRUE(reply.ends_with(c.bindings)) << reply;
        if (c.mode != 0) {
            auto login = client.request("POST", "/m/login.json", "user=tk&pwd=secret&othertype=" + std::to_string(c.mode),
                                        kForm);
            ASSERT_TRUE(login);
            // Its pictures on the host the request named.
            EXPECT_EQ(login->body, accountReplyWithImages(hostOf(service.server().requests("/m/login.json").back()), c.mode));
        }
    }
}

TEST(StandInComments, APostedCommentIsServedBackAfterTheVideosOwnAndCounted)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const auto get = [&](const std::string& path) {
        auto response = client.request("GET", path);
        return response ? response->body : std::string();
    };
    auto refused = client.request("POST", "/m/comment.json", "scid=sc3001&content=nope", kForm);
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->body.find(R"("status":403)"), std::string::npos);
    auto made = client.request("POST", "/m/comment.json", "token=T&scid=sc3001&content=Hello%20lake", kForm);
    ASSERT_TRUE(made);
    EXPECT_NE(made->body.find(R"("content":"Hello lake")"), std::string::npos);

    // The fixture's 3 comments, then the new one; the refused one is not kept, another video has none.
    const std::string page = get("/m/v2_comment.json?scid=sc3001&page=1&per=20&token=T");
    EXPECT_NE(page.find(R"("total":4)"), std::string::npos) << page;
    EXPECT_NE(page.find("Hello lake"), std::string::npos) << page;
    EXPECT_EQ(page.find("nope"), std::string::npos) << page;
    EXPECT_EQ(get("/m/v2_comment.json?scid=sc3019&page=1&per=20&token=T").find("Hello lake"), std::string::npos);
    // A page of 3 ends before it; the next page has it, and so does the record's first page.
    EXPECT_EQ(get("/m/v2_comment.json?scid=sc3001&page=1&per=3&token=T").find("Hello lake"), std::string::npos);
    EXPECT_NE(get("/m/v2_comment.json?scid=sc3001&page=2&per=3&token=T").find("Hello lake"), std::string::npos);
    const std::string record = get("/m/v2_channel.json?scid=sc3001&token=T&fillType=255");
    EXPECT_NE(record.find("Hello lake"), std::string::npos) << record;
}

} // namespace
} // namespace standin
