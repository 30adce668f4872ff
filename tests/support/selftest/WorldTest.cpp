// The stand-in as one world: every address its replies name is served, ids it hands out resolve, and
// what a person does (topic follows, reading reminders, publishing) comes back in later replies.
#include "service/CommitRoutes.h"
#include "service/FeedRoutes.h"
#include "service/MessageRoutes.h"
#include "service/StandInService.h"
#include "service/TestHttpClient.h"
#include "service/UploadRoutes.h"
#include "service/World.h"
#include "fixtures/MovieProbe.h"
#include "fixtures/TemporaryFolder.h"
#include "service/StreamRoutes.h"
#include "fixtures/TestMovie.h"

#include <cJSON.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <tuple>
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

    // The message box begins with it, and counts it.
    auto messages = client.request("GET", "/m/sysmsg.json?token=T&page=1&per=20");
    ASSERT_TRUE(messages);
    Json box = parse(messages->body);
    const cJSON* message = cJSON_GetArrayItem(cJSON_GetObjectItemCaseSensitive(box.get(), "result"), 0);
    EXPECT_EQ(text(message, "action"), "chan");
    EXPECT_EQ(text(message, "data"), "sc9002");
    EXPECT_EQ(text(cJSON_GetObjectItemCaseSensitive(message, "user"), "suid"), kReminderFriendSuid);
    EXPECT_EQ(cJSON_GetObjectItemCaseSensitive(box.get(), "total")->valueint, int(kMessageCount) + 1);
    EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItemCaseSensitive(box.get(), "result")), 21);

    // Reading the messages reads it; it does not come back.
    ASSERT_TRUE(client.request("GET", "/m/sysmsg.json?token=T&page=0&per=20"));
    EXPECT_FALSE(cJSON_GetObjectItemCaseSensitive(remind().get(), "sys"));
    EXPECT_FALSE(cJSON_GetObjectItemCaseSensitive(remind().get(), "fans"));
}

// The reply of a GET as JSON (null when there is none).
Json getJson(TestHttpClient& client, const std::string& target)
{
    auto reply = client.request("GET", target);
    return parse(reply ? reply->body : "");
}

const cJSON* member(const cJSON* item, const char* name)
{
    return cJSON_GetObjectItemCaseSensitive(item, name);
}

// The feed item of a video on the home feed's pages.
const cJSON* feedItem(const Json& page, const std::string& scid)
{
    for (const cJSON* item = member(page.get(), "result")->child; item != nullptr; item = item->next) {
        if (text(member(item, "channel"), "scid") == scid) {
            return item;
        }
    }
    return nullptr;
}

TEST(StandInWorld, MarksNoticeSwitchesAndThePhoneNumberAreKept)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    // sc3003 is 老周's video on the home feed's first page.
    const auto marks = [&] {
        Json feed = getJson(client, "/m/v2_feed.json?token=T&page=1&per=20");
        const cJSON* item = feedItem(feed, "sc3003");
        Json record = getJson(client, "/m/v2_channel.json?scid=sc3003&scmtid=&token=T&fillType=255");
        const cJSON* first = cJSON_GetArrayItem(member(member(member(record.get(), "result"), "mark"), "result"), 0);
        const cJSON* inFeed = cJSON_GetArrayItem(member(member(member(item, "channel"), "mark"), "result"), 0);
        return std::make_tuple(member(item, "selfmark")->valueint,
                               inFeed ? member(inFeed, "mark")->valueint : 0,
                               text(member(first, "user"), "suid") == "1001" ? member(first, "mark")->valueint : 0);
    };
    EXPECT_EQ(marks(), std::make_tuple(0, 0, 0));
    ASSERT_TRUE(client.request("POST", "/m/mark.json", "scid=sc3003&icon=3&token=T", form));
    EXPECT_EQ(marks(), std::make_tuple(3, 3, 3));
    // A new mark replaces the last; a refused one (no session, no such emotion) changes nothing.
    ASSERT_TRUE(client.request("POST", "/m/mark.json", "scid=sc3003&icon=5&token=T", form));
    ASSERT_TRUE(client.request("POST", "/m/mark.json", "scid=sc3003&icon=2", form));
    ASSERT_TRUE(client.request("POST", "/m/mark.json", "scid=sc3003&icon=9&token=T", form));
    EXPECT_EQ(marks(), std::make_tuple(5, 5, 5));

    const auto switches = [&] {
        return text(member(member(getJson(client, "/m/user-settings.json?token=T").get(), "result"), "data"), "1");
    };
    EXPECT_EQ(switches(), "1,1,0,1,1");
    ASSERT_TRUE(client.request("POST", "/m/user-settings.json", "flag=1&value=0%2C1%2C1%2C0%2C1&token=T", form));
    EXPECT_EQ(switches(), "0,1,1,0,1");
    ASSERT_TRUE(client.request("POST", "/m/user-settings.json", "flag=1&value=1%2C1%2C1%2C1%2C1", form));
    EXPECT_EQ(switches(), "0,1,1,0,1");

    const auto phones = [&] {
        Json profile = getJson(client, "/m/user-info.json?suid=1001&token=T&7");
        Json login = getJson(client, "/m/login.json?user=xiaoming&pwd=0123456789abcdef0123456789abcdef&type=md5");
        return std::make_pair(text(profile.get(), "phone"), text(login.get(), "phone"));
    };
    EXPECT_EQ(phones(), std::make_pair(std::string("13800138000"), std::string("13800138000")));
    ASSERT_TRUE(client.request("POST", "/m/modify-info.json", "phone=13800138055&token=T", form));
    EXPECT_EQ(phones(), std::make_pair(std::string("13800138055"), std::string("13800138055")));
    // A number the service refuses is not kept.
    ASSERT_TRUE(client.request("POST", "/m/modify-info.json", "phone=13900000000&token=T", form));
    EXPECT_EQ(phones().first, "13800138055");
}

TEST(StandInWorld, FollowsShowInTheFollowAndFansListsAndLeaveThePeopleOneMayKnow)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    const auto suids = [&](const std::string& target, const char* key = nullptr) {
        Json reply = getJson(client, target);
        std::vector<std::string> out;
        for (const cJSON* item = member(reply.get(), "result")->child; item != nullptr; item = item->next) {
            out.push_back(text(key ? member(item, key) : item, "suid"));
        }
        EXPECT_EQ(int(out.size()), member(reply.get(), "total")->valueint) << target;
        return out;
    };
    const auto contains = [](const std::vector<std::string>& list, const std::string& suid) {
        return std::find(list.begin(), list.end(), suid) != list.end();
    };
    const auto headerCounts = [&](const std::string& suid) {
        Json page = getJson(client, "/m/v2_user.json?suid=" + suid + "&token=T&page=1&per=20");
        const cJSON* counts = member(member(page.get(), "header"), "eventCnt");
        return std::make_pair(member(counts, "follow")->valueint, member(counts, "fans")->valueint);
    };
    const std::string followList = "/m/relation/follow.json?suid=1001&token=T&page=1&per=50";
    const std::string fansOf1003 = "/m/relation/fans.json?suid=1003&token=T&page=1&per=50";
    const std::string suggestions = "/m/find-friend.json?token=T&page=1&per=100";

    const std::vector<std::string> first = suids(followList);
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(headerCounts("1001").first, 9);
    EXPECT_FALSE(contains(suids(fansOf1003), "1001"));
    // The people one may know: never the account, nobody it follows.
    const std::vector<std::string> known = suids(suggestions, "user");
    ASSERT_FALSE(known.empty());
    EXPECT_FALSE(contains(known, "1001"));
    for (const std::string& followed : first) {
        EXPECT_FALSE(contains(known, followed)) << followed;
    }
    // Nor anyone of the same name as the account or someone followed (阿芳 is followed).
    Json suggested = getJson(client, suggestions);
    for (const cJSON* item = member(suggested.get(), "result")->child; item; item = item->next) {
        EXPECT_EQ(member(item, "relation")->valueint % 2, 0) << text(member(item, "user"), "suid");
        EXPECT_NE(text(member(item, "user"), "nick"), "小明");
        EXPECT_NE(text(member(item, "user"), "nick"), "阿芳");
    }

    // Following someone from the feeds and someone one may know; stopping to follow one of the list.
    const std::string stranger = known.at(1);
    for (const std::string& body : std::vector<std::string>{"suid=1003&token=T", "suid=" + stranger + "&token=T", "suid=2003&token=T&_method=delete"}) {
        ASSERT_TRUE(client.request("POST", "/m/follow.json", body, form)) << body;
    }
    const std::vector<std::string> after = suids(followList);
    EXPECT_EQ(after.size(), 10u);
    EXPECT_TRUE(contains(after, "1003"));
    EXPECT_TRUE(contains(after, stranger));
    EXPECT_FALSE(contains(after, "2003"));
    EXPECT_EQ(headerCounts("1001").first, 10);
    EXPECT_EQ(suids(fansOf1003).front(), "1001");
    EXPECT_EQ(headerCounts("1003").second, 8);
    const std::vector<std::string> knownAfter = suids(suggestions, "user");
    EXPECT_FALSE(contains(knownAfter, stranger));
    EXPECT_EQ(knownAfter.size(), known.size() - 1);
    // The followed stranger is named in the follow list as one may know them.
    Json list = getJson(client, followList);
    const cJSON* last = cJSON_GetArrayItem(member(list.get(), "result"), cJSON_GetArraySize(member(list.get(), "result")) - 1);
    EXPECT_EQ(text(last, "suid"), stranger);
    EXPECT_EQ(member(last, "type")->valueint % 2, 1);
    EXPECT_FALSE(text(last, "nick").starts_with("用户"));

    // Unfollowing takes it all back.
    ASSERT_TRUE(client.request("POST", "/m/follow.json", "suid=1003&token=T&_method=delete", form));
    EXPECT_FALSE(contains(suids(followList), "1003"));
    EXPECT_FALSE(contains(suids(fansOf1003), "1001"));
    EXPECT_EQ(headerCounts("1003").second, 7);
}

TEST(StandInWorld, CommentsOnSomeoneElsesVideoAreKeptOnItsPagesAndInTheFeed)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    // sc3006 is 苏苏's video on the home feed, none of the video page's fixtures.
    Json before = getJson(client, "/m/v2_channel.json?scid=sc3006&scmtid=&token=T&fillType=255");
    const cJSON* video = member(before.get(), "result");
    EXPECT_EQ(text(video, "scid"), "sc3006");
    EXPECT_EQ(text(member(member(video, "ext"), "owner"), "suid"), "1006");
    Json feed = getJson(client, "/m/v2_feed.json?token=T&page=1&per=20");
    EXPECT_EQ(text(member(video, "ext"), "t"), text(member(member(feedItem(feed, "sc3006"), "channel"), "ext"), "t"));
    const int comments = member(member(video, "pagedcmt"), "total")->valueint;

    ASSERT_TRUE(client.request("POST", "/m/comment.json", "scid=sc3006&token=T&content=%E5%A5%BD%E7%9C%8B", form));
    // Its page, its comment pages and the feed show it, counted.
    Json record = getJson(client, "/m/v2_channel.json?scid=sc3006&scmtid=&token=T&fillType=255");
    const cJSON* paged = member(member(record.get(), "result"), "pagedcmt");
    EXPECT_EQ(member(paged, "total")->valueint, comments + 1);
    const cJSON* newest = cJSON_GetArrayItem(member(paged, "result"), comments);
    EXPECT_EQ(text(newest, "content"), "好看");
    EXPECT_EQ(text(member(newest, "fromUser"), "suid"), "1001");
    EXPECT_EQ(member(member(member(record.get(), "result"), "comment"), "total")->valueint, comments + 1);
    Json page = getJson(client, "/m/v2_comment.json?scid=sc3006&page=1&per=20");
    EXPECT_EQ(member(page.get(), "total")->valueint, comments + 1);
    EXPECT_EQ(text(cJSON_GetArrayItem(member(page.get(), "result"), comments), "content"), "好看");
    Json feedAfter = getJson(client, "/m/v2_feed.json?token=T&page=1&per=20");
    const cJSON* inFeed = member(member(feedItem(feedAfter, "sc3006"), "channel"), "comment");
    EXPECT_EQ(member(inFeed, "total")->valueint, 2);
    EXPECT_EQ(text(cJSON_GetArrayItem(member(inFeed, "result"), 1), "content"), "好看");
    // Another video keeps its own.
    Json other = getJson(client, "/m/v2_comment.json?scid=sc3004&page=1&per=20");
    for (const cJSON* item = member(other.get(), "result")->child; item != nullptr; item = item->next) {
        EXPECT_NE(text(item, "content"), "好看");
    }
}

TEST(StandInWorld, APublishedVideoStreamsTheUploadedMovieWithItsFirstPictureAsCover)
{
    TemporaryFolder folder("standin-published");
    const std::string path = folder / "walk.mp4";
    std::string error;
    ASSERT_TRUE(writeTestMovie(path, {.width = 240, .height = 320, .frames = 8}, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::string movie((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(movie.size(), 1000u);

    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const std::vector<std::string> form = {"Content-Type: application/x-www-form-urlencoded"};
    ASSERT_TRUE(client.request("POST", kModifyChannelPath, "token=T&scid=sc9101&title=Walk", form));
    // The blocks come out of order, as two connections send them.
    const std::size_t block = 4096;
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at < movie.size(); at += block) {
        offsets.push_back(at);
    }
    std::reverse(offsets.begin(), offsets.end());
    for (const std::size_t at : offsets) {
        const std::string part = movie.substr(at, block);
        auto reply = client.request("POST", std::string(kUploadPath) + "?t=sc9101&o=" + std::to_string(at) +
                                                "&l=" + std::to_string(part.size()) + "&m=up&p=MOV", part);
        ASSERT_TRUE(reply && reply->status == 200);
    }
    ASSERT_TRUE(client.request("GET", std::string(kUploadEndPath) + "?t=sc9101.MOV&scid=sc9101"));

    // Its stream is the movie uploaded.
    auto stream = get(client, service.port(), "/stream/sc9101.mp4");
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->status, 200);
    EXPECT_TRUE(stream->body == movie) << stream->body.size() << " bytes, uploaded " << movie.size();

    // Its records (the own page, its page) show its first picture at the picture's size.
    auto own = get(client, service.port(), "/m/v2_user.json?suid=1001&token=T&page=1&per=20");
    ASSERT_TRUE(own);
    Json page = parse(own->body);
    const cJSON* channel = member(cJSON_GetArrayItem(member(page.get(), "result"), 0), "channel");
    auto record = get(client, service.port(), "/m/v2_channel.json?scid=sc9101&scmtid=&token=T&fillType=255");
    ASSERT_TRUE(record);
    Json videoPage = parse(record->body);
    for (const cJSON* video : {channel, static_cast<const cJSON*>(member(videoPage.get(), "result"))}) {
        EXPECT_EQ(text(video, "scid"), "sc9101");
        EXPECT_EQ(member(member(video, "ext"), "w")->valueint, 240);
        EXPECT_EQ(member(member(video, "ext"), "h")->valueint, 320);
        const std::string cover = text(member(video, "pic"), "base") + text(member(video, "pic"), "m");
        const std::string prefix = "http://" + service.hostPort();
        ASSERT_TRUE(cover.starts_with(prefix)) << cover;
        auto picture = get(client, service.port(), cover.substr(prefix.size()));
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->status, 200);
        // A PNG of 240 x 320.
        const std::string& png = picture->body;
        ASSERT_GE(png.size(), 24u);
        EXPECT_EQ(png.substr(1, 3), "PNG");
        const auto word = [&png](std::size_t at) {
            return (unsigned(std::uint8_t(png[at])) << 24) | (unsigned(std::uint8_t(png[at + 1])) << 16) |
                   (unsigned(std::uint8_t(png[at + 2])) << 8) | unsigned(std::uint8_t(png[at + 3]));
        };
        EXPECT_EQ(word(16), 240u);
        EXPECT_EQ(word(20), 320u);
    }
}

}  // namespace

// The avatar and cover a person uploads are theirs from then on: the upload's answer names an address
// that serves exactly the uploaded bytes, and the profile read and the next sign-in name it too.
TEST(StandInWorld, AnUploadedAvatarAndCoverAreServedAndNamedFromThenOn)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const auto pictures = [&] {
        Json profile = getJson(client, "/m/user-info.json?suid=1001&token=T&7");
        Json login = getJson(client, "/m/login.json?user=xiaoming&pwd=0123456789abcdef0123456789abcdef&type=md5");
        return std::make_tuple(text(profile.get(), "icon"), text(profile.get(), "cover"), text(login.get(), "icon"));
    };
    const auto [seededIcon, seededCover, seededLoginIcon] = pictures();
    ASSERT_NE(seededIcon.find("avatar-1001"), std::string::npos);
    const auto upload = [&](const std::string& path, const std::string& part, const std::string& bytes, bool signedIn) {
        const std::string boundary = "----boundary7";
        std::string body;
        if (signedIn) {
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\nT\r\n";
        }
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part + "\"; filename=\"p.jpg\"\r\n" +
                "Content-Type: image/jpeg\r\n\r\n" + bytes + "\r\n--" + boundary + "--\r\n";
        auto reply = client.request("POST", path, body, {"Content-Type: multipart/form-data; boundary=" + boundary});
        return parse(reply ? reply->body : "");
    };
    // Without a session nothing changes.
    upload("/m/upload-icon.json", "icon", "not kept", false);
    EXPECT_EQ(pictures(), std::make_tuple(seededIcon, seededCover, seededLoginIcon));

    static constexpr char kIcon[] = "\xff\xd8\xff\xe0 an avatar\0with a zero";
    const std::string iconBytes(kIcon, sizeof kIcon - 1);
    Json icon = upload("/m/upload-icon.json", "icon", iconBytes, true);
    Json cover = upload("/m/upload-cover.json", "cover", "a cover", true);
    const std::string iconUrl = text(icon.get(), "newIcon");
    const std::string coverUrl = text(cover.get(), "newCover");
    ASSERT_FALSE(iconUrl.empty());
    ASSERT_FALSE(coverUrl.empty());
    EXPECT_NE(iconUrl, seededIcon);
    for (const auto& [url, bytes] : {std::pair{iconUrl, iconBytes}, std::pair{coverUrl, std::string("a cover")}}) {
        const std::string path = url.substr(url.find("/img/"));
        auto served = client.request("GET", path);
        ASSERT_TRUE(served) << path;
        EXPECT_EQ(served->status, 200) << path;
        EXPECT_EQ(served->body, bytes) << path;
    }
    EXPECT_EQ(pictures(), std::make_tuple(iconUrl, coverUrl, iconUrl));
    // The person's own page and the home feed's header show them too, and so do the records the person
    // wrote (their marks, comments and videos name them with their avatar).
    for (const char* read : {"/m/v2_user.json?suid=1001&token=T&page=1&per=20", "/m/v2_feed.json?token=T&page=1&per=20"}) {
        SCOPED_TRACE(read);
        Json page = getJson(client, read);
        const cJSON* header = member(page.get(), "header");
        EXPECT_EQ(text(header, "icon"), iconUrl);
        EXPECT_EQ(text(member(header, "ext"), "cover"), coverUrl);
    }
    Json feed = getJson(client, "/m/v2_feed.json?token=T&page=1&per=20");
    const cJSON* own = feedItem(feed, "sc3001");
    ASSERT_NE(own, nullptr);
    const cJSON* owner = member(member(member(own, "channel"), "ext"), "owner");
    ASSERT_EQ(text(owner, "suid"), "1001");
    EXPECT_EQ(text(owner, "icon"), iconUrl);
    // Nobody else's picture changes.
    Json other = getJson(client, "/m/v2_user.json?suid=1002&token=T&page=1&per=20");
    EXPECT_EQ(text(member(other.get(), "header"), "icon").find("uploaded-"), std::string::npos);
}

TEST(StandInWorld, EveryoneAListNamesHasTheirOwnPageUnderThatName)
{
    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    const auto pageNick = [&](const std::string& suid) {
        Json page = getJson(client, "/m/v2_user.json?suid=" + suid + "&token=T&page=1&per=20");
        return text(member(page.get(), "header"), "nick");
    };
    std::vector<std::pair<std::string, std::string>> named;  // suid, the nick the list gave
    Json visitors = getJson(client, "/m/v2_location.json?token=T&scid=sc3001&location=");
    for (const cJSON* item = member(visitors.get(), "owner")->child; item != nullptr; item = item->next) {
        named.emplace_back(text(member(item, "user"), "suid"), text(member(item, "user"), "nick"));
    }
    Json follows = getJson(client, "/m/relation/follow.json?suid=1001&token=T&page=1&per=20");
    for (const cJSON* item = member(follows.get(), "result")->child; item != nullptr; item = item->next) {
        const cJSON* user = member(item, "user") ? member(item, "user") : item;
        named.emplace_back(text(user, "suid"), text(user, "nick"));
    }
    ASSERT_GE(named.size(), 8u);
    for (const auto& [suid, nick] : named) {
        ASSERT_FALSE(nick.empty()) << suid;
        EXPECT_EQ(pageNick(suid), nick) << suid;
    }
    // The square's people are ids only; each still has a page with a name of its own.
    Json square = getJson(client, "/m/category-custom.json?token=T");
    const cJSON* people = member(member(square.get(), "result"), "user");
    ASSERT_NE(people, nullptr);
    for (const cJSON* item = people->child; item != nullptr; item = item->next) {
        const std::string nick = pageNick(text(item, "data"));
        EXPECT_FALSE(nick.empty()) << text(item, "data");
        EXPECT_NE(nick, "新用户") << text(item, "data");
    }
}

TEST(StandInWorld, AVideosLengthIsTheLengthOfItsStream)
{
    const ProbedMovie movie = probeMovie(streamMovieFile());
    ASSERT_TRUE(movie.error.empty()) << movie.error;
    char expected[8];
    std::snprintf(expected, sizeof expected, "00:%02d", int(movie.duration + 0.5));
    ASSERT_STREQ(kStreamLengthNice, expected);

    StandInService service({.lifetime = 30s});
    TestHttpClient client(service.port());
    std::vector<std::string> lengths;
    Json feed = getJson(client, "/m/v2_feed.json?token=T&page=1&per=20");
    for (const cJSON* item = member(feed.get(), "result")->child; item != nullptr; item = item->next) {
        if (const cJSON* channel = member(item, "channel")) {
            lengths.push_back(text(member(channel, "ext"), "lengthNice"));
        }
    }
    for (const char* scid : {"sc3001", "sc3002"}) {
        Json page = getJson(client, std::string("/m/v2_channel.json?scid=") + scid + "&token=T");
        lengths.push_back(text(member(member(page.get(), "result"), "ext"), "lengthNice"));
    }
    ASSERT_GE(lengths.size(), 5u);
    for (const std::string& length : lengths) {
        EXPECT_EQ(length, expected);
    }
}

}  // namespace standin
