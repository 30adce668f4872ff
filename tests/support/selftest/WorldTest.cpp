// The stand-in as one world: every address its replies name is served, ids it hands out resolve, and
// what a person does (topic follows, reading reminders, publishing) comes back in later replies.
#include "service/CommitRoutes.h"
#include "service/FeedRoutes.h"
#include "service/StandInService.h"
#include "service/TestHttpClient.h"
#include "service/UploadRoutes.h"
#include "service/World.h"

#include <cJSON.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace standin {
namespace {

using namespace std::chrono_literals;

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

Json parse(const std::string& text)
{
    return Json(cJSON_Parse(text.c_str()), &cJSON_Delete);
}

std::string text(const cJSON* item, const char* name)
{
    const cJSON* member = cJSON_GetObjectItemCaseSensitive(item, name);
    return cJSON_IsString(member) ? member->valuestring : "";
}

// Every address a record names, as the client composes them: a picture is "base" + "m", a stream is
// "base" + the record's scid + "." + "ios"; any other text that starts with "http://" is an address.
void collectAddresses(const cJSON* item, const std::string& scid, std::set<std::string>& out)
{
    if (cJSON_IsObject(item)) {
        const std::string own = text(item, "scid").empty() ? scid : text(item, "scid");
        if (!text(item, "base").empty() && !text(item, "m").empty()) {
            out.insert(text(item, "base") + text(item, "m"));
        }
        if (!text(item, "base").empty() && !text(item, "ios").empty()) {
            out.insert(text(item, "base") + own + "." + text(item, "ios"));
        }
        for (const cJSON* member = item->child; member != nullptr; member = member->next) {
            if (cJSON_IsString(member) && std::string(member->string) != "base" &&
                std::string(member->valuestring).starts_with("http://")) {
                out.insert(member->valuestring);
            } else {
                collectAddresses(member, own, out);
            }
        }
    } else if (cJSON_IsArray(item)) {
        for (const cJSON* element = item->child; element != nullptr; element = element->next) {
            collectAddresses(element, scid, out);
        }
    }
}

// A GET as the application sends it: the Host names the port too, and the service builds the addresses
// in its replies from it.
std::optional<ClientResponse> get(TestHttpClient& client, std::uint16_t port, const std::string& target)
{
    if (!client.sendRaw("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n")) {
        return std::nullopt;
    }
    return client.readResponse();
}

// Publishes a video through the calls the engine makes: titled, its file complete.
void publish(TestHttpClient& client, const std::string& scid)
{
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    ASSERT_TRUE(client.request("POST", kModifyChannelPath, "token=T&scid=" + scid + "&title=Walk", form));
    ASSERT_TRUE(client.request("POST", std::string(kUploadPath) + "?t=" + scid + "&o=0&l=2&m=up&p=MOV", "ab"));
    ASSERT_TRUE(client.request("GET", std::string(kUploadEndPath) + "?t=" + scid + ".MOV&scid=" + scid));
}

TEST(StandInWorld, EveryAddressInTheRepliesOfASeededWorldIsServed)
{
    StandInService service({.lifetime = 60s});
    TestHttpClient client(service.port());
    publish(client, "sc9001");
    const std::string host = "http://" + service.hostPort() + "/";
    // What a person's roads read, the feeds page by page to their ends.
    std::vector<std::string> reads = {
        "/m/login.json?user=xiaoming&pwd=0123456789abcdef0123456789abcdef&type=md5",
        "/m/v2_remind.json?token=T",
        "/m/v2_user.json?suid=1001&token=T&page=1&per=20",
        "/m/v2_user.json?suid=1002&token=T&page=1&per=20",
        "/m/v2_topic.json?stpid=t401&token=T&page=1&per=20",
        "/m/v2_channel.json?scid=sc3001&token=T",
        "/m/v2_channel.json?scid=sc3002&token=T",
        "/m/v2_channel.json?scid=sc9001&token=T",
        "/m/v2_comment.json?scid=sc3002&page=1&per=20",
        "/m/category-custom.json?token=T",
        "/m/follow-topic.json?token=T&page=1&per=20",
        "/m/all-topic.json?page=1&per=20",
        "/m/sysmsg.json?token=T&page=1&per=20",
        "/m/people.json?page=1&per=20",
        "/m/relation/follow.json?suid=1001&token=T&page=1&per=20",
        "/m/relation/fans.json?suid=1001&token=T&page=1&per=20",
        "/m/find-friend.json?token=T&page=1&per=20",
        "/m/v2_weibofriends.json?token=T&othertype=1&page=1&per=20",
        "/m/search-user.json?token=T&key=%E5%B0%8F&page=1&per=20",
        "/m/v2_location.json?token=T&location=30.25,120.16",
        "/m/user-info.json?token=T&suid=1001",
        "/m/plaza.json?page=1&per=20",
        "/m/category-channel.json?page=1&per=20",
        "/m/event.json?token=T&page=1&per=20",
        "/m/msgs.json?token=T&page=1&per=20",
        "/m/atme.json?token=T&page=1&per=20",
        "/m/media.json?token=T",
    };
    for (const char* feed : {"/m/v2_feed.json?token=T", "/m/v2_plaza.json?", "/m/v2_recent.json?token=T",
                             "/m/v2_near.json?location=30.25,120.16"}) {
        for (int page = 1; (page - 1) * 20 < kFeedTotal; ++page) {
            reads.push_back(std::string(feed) + "&page=" + std::to_string(page) + "&per=20");
        }
    }
    std::set<std::string> addresses;
    for (const std::string& read : reads) {
        SCOPED_TRACE(read);
        auto reply = get(client, service.port(), read);
        ASSERT_TRUE(reply);
        Json json = parse(reply->body);
        ASSERT_TRUE(json) << reply->body.substr(0, 200);
        EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(json.get(), "status")->valueint, 200) << reply->body.substr(0, 200);
        collectAddresses(json.get(), "", addresses);
    }
    ASSERT_GT(addresses.size(), 50u);
    std::set<std::string> seen;
    for (const std::string& address : addresses) {
        SCOPED_TRACE(address);
        ASSERT_EQ(address.rfind(host, 0), 0u) << "not on the stand-in";
        const std::string path = address.substr(host.size() - 1);
        const std::string withoutQuery = path.substr(0, path.find('?'));
        if (!seen.insert(withoutQuery).second) {
            continue;  // the same picture or stream under another query
        }
        auto reply = get(client, service.port(), path);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
    }
}

TEST(StandInWorld, TopicsHaveTheirNamesAndTheirFollowsAreKept)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    const auto topicPage = [&](const std::string& id) {
        auto reply = client.request("GET", "/m/v2_topic.json?stpid=" + id + "&token=T&page=1&per=20");
        Json json = parse(reply ? reply->body : "");
        const cJSON* follows = cJSON_GetObjectItemCaseSensitive(json.get(), "isfollow");
        return std::make_pair(text(json.get(), "topic"), cJSON_IsTrue(follows) != 0);
    };
    const auto followed = [&] {
        auto reply = client.request("GET", "/m/follow-topic.json?token=T&page=1&per=20");
        Json json = parse(reply ? reply->body : "");
        std::vector<std::string> ids;
        for (const cJSON* topic = cJSON_GetObjectItemCaseSensitive(json.get(), "result")->child; topic; topic = topic->next) {
            ids.push_back(text(topic, "stpid"));
        }
        return ids;
    };
    // Every topic any list hands out has its own name; the followed ones say so on their pages.
    struct Case {
        const char* id;
        const char* name;
        bool follows;
    };
    const Case cases[] = {{"t4001", "#西湖#", false}, {"t401", "#西湖#", true},  {"t403", "#旅行#", true},
                          {"t4101", "#春节#", false}, {"t4125", "#家乡#", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(topicPage(c.id), std::make_pair(std::string(c.name), c.follows)) << c.id;
    }
    EXPECT_EQ(followed(), (std::vector<std::string>{"t401", "t402", "t403", "t404", "t405", "t406"}));

    ASSERT_TRUE(client.request("POST", "/m/follow-topic.json", "stpid=t4101&token=T", form));
    ASSERT_TRUE(client.request("POST", "/m/follow-topic.json", "stpid=t403&token=T&_method=delete", form));
    EXPECT_EQ(topicPage("t4101").second, true);
    EXPECT_EQ(topicPage("t403").second, false);
    EXPECT_EQ(followed(), (std::vector<std::string>{"t401", "t402", "t404", "t405", "t406", "t4101"}));
    // A post without a session changes nothing.
    ASSERT_TRUE(client.request("POST", "/m/follow-topic.json", "stpid=t401&_method=delete", form));
    EXPECT_EQ(topicPage("t401").second, true);
}

TEST(StandInWorld, FollowingAPersonShowsOnTheirPage)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    const auto relation = [&](const char* suid) {
        auto reply = client.request("GET", std::string("/m/v2_user.json?suid=") + suid + "&token=T&page=1&per=20");
        Json json = parse(reply ? reply->body : "");
        const cJSON* value = cJSON_GetObjectItemCaseSensitive(json.get(), "relation");
        return value ? value->valueint : -1;
    };
    EXPECT_EQ(relation("1001"), 4);  // the account itself
    EXPECT_EQ(relation("1003"), 2);
    ASSERT_TRUE(client.request("POST", "/m/follow.json", "suid=1003&token=T", form));
    EXPECT_EQ(relation("1003"), 3);
    EXPECT_EQ(relation("1004"), 2);
    ASSERT_TRUE(client.request("POST", "/m/follow.json", "suid=1003&token=T&_method=delete", form));
    EXPECT_EQ(relation("1003"), 2);
    // A refused post (no session) changes nothing.
    ASSERT_TRUE(client.request("POST", "/m/follow.json", "suid=1004", form));
    EXPECT_EQ(relation("1004"), 2);
}

TEST(StandInWorld, RemindersComeFromWhatHappenedAndClearWhenRead)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const auto remind = [&] {
        auto reply = client.request("GET", "/m/v2_remind.json?token=T");
        return parse(reply ? reply->body : "");
    };
    // The first start: a follower, nothing else.
    Json first = remind();
    const cJSON* fans = cJSON_GetObjectItemCaseSensitive(first.get(), "fans");
    ASSERT_TRUE(fans);
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(fans, "cnt")->valueint, 1);
    EXPECT_EQ(text(cJSON_GetObjectItemCaseSensitive(fans, "fan"), "suid"), "1002");
    EXPECT_FALSE(cJSON_GetObjectItemCaseSensitive(first.get(), "sys"));
    // Asking again does not read it.
    EXPECT_TRUE(cJSON_GetObjectItemCaseSensitive(remind().get(), "fans"));
    // Looking at the fans does.
    ASSERT_TRUE(client.request("GET", "/m/relation/fans.json?suid=1001&token=T&page=1&per=20"));
    EXPECT_FALSE(cJSON_GetObjectItemCaseSensitive(remind().get(), "fans"));

    // A published video is commented on: the reminder leads to it, and its record holds the comment.
    publish(client, "sc9002");
    Json after = remind();
    const cJSON* sys = cJSON_GetObjectItemCaseSensitive(after.get(), "sys");
    ASSERT_TRUE(sys);
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(sys, "cnt")->valueint, 1);
    EXPECT_EQ(text(sys, "action"), "chan");
    EXPECT_EQ(text(sys, "data"), "sc9002");
    auto own = client.request("GET", "/m/v2_user.json?suid=1001&token=T&page=1&per=20");
    ASSERT_TRUE(own);
    Json page = parse(own->body);
    const cJSON* newest = cJSON_GetObjectItemCaseSensitive(cJSON_GetArrayItem(cJSON_GetObjectItemCaseSensitive(page.get(), "result"), 0), "channel");
    EXPECT_EQ(text(newest, "scid"), "sc9002");
    const cJSON* comments = cJSON_GetObjectItemCaseSensitive(newest, "comment");
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(comments, "total")->valueint, 1);
    EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItemCaseSensitive(comments, "result")), 1);
    // Its cover is the picture's own size.
    const cJSON* ext = cJSON_GetObjectItemCaseSensitive(newest, "ext");
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(ext, "w")->valueint, 480);
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(ext, "h")->valueint, 360);

    // The video the reminder leads to is the published one, with the friend's comment.
    auto videoPage = client.request("GET", "/m/v2_channel.json?scid=sc9002&token=T");
    ASSERT_TRUE(videoPage);
    Json record = parse(videoPage->body);
    const cJSON* result = cJSON_GetObjectItemCaseSensitive(record.get(), "result");
    EXPECT_EQ(text(cJSON_GetObjectItemCaseSensitive(result, "ext"), "t"), "Walk");
    const cJSON* friendComment = cJSON_GetArrayItem(
        cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(result, "comment"), "result"), 0);
    EXPECT_EQ(text(friendComment, "content"), kPublishedVideoComment);
    EXPECT_EQ(text(cJSON_GetObjectItemCaseSensitive(friendComment, "fromUser"), "suid"), kReminderFriendSuid);

    // Reading the messages reads it; it does not come back.
    ASSERT_TRUE(client.request("GET", "/m/sysmsg.json?token=T&page=0&per=20"));
    EXPECT_FALSE(cJSON_GetObjectItemCaseSensitive(remind().get(), "sys"));
    EXPECT_FALSE(cJSON_GetObjectItemCaseSensitive(remind().get(), "fans"));
}

}  // namespace
}  // namespace standin
