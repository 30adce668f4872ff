#include "service/FeedRoutes.h"
#include "service/ServiceReplies.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "service/ImageRoutes.h"
#include "service/ProfileRoutes.h"
#include "service/StreamRoutes.h"
#include "service/WorldRoutes.h"

namespace standin {

namespace {
namespace FeedRoutes_cpp {

struct Person {
    const char* suid;
    const char* nick;
};

const Person kPeople[] = {
    {"1001", "小明"}, {"1002", "阿芳"}, {"1003", "老周"}, {"1004", "林小雨"}, {"1005", "大熊"}, {"1006", "苏苏"},
};

struct Place {
    const char* location;
    const char* text;
};

const Place kPlaces[] = {
    {"30.25,120.16", "杭州西湖"},   {"31.24,121.49", "上海外滩"}, {"39.92,116.39", "北京故宫"},
    {"22.54,114.06", "深圳湾公园"}, {"30.66,104.07", "成都宽窄巷子"},
};

const char* const kTitles[] = {
    "西湖边的傍晚", "周末去爬山，风景太美了", "第一次做红烧肉", "下雨天的咖啡馆", "我家猫咪又在捣乱",
    "地铁站里的街头艺人", "夜跑十公里打卡", "外婆包的饺子", "海边看日出", "小区里的樱花开了",
    "新买的滑板练起来", "元宵节的灯会",
};

const char* const kComments[] = {
    "拍得真好，西湖的晚霞！", "这个角度绝了", "求背景音乐的名字", "看饿了……", "下次带上我",
};

// Where the records' pictures are: the stand-in's own pictures when the host is known, else
// addresses that lead nowhere.
thread_local std::string g_pictureHost;
// What the person did that the records show back (their marks and comments); none without a world.
thread_local const World* g_world = nullptr;

// The person as the author of a mark or comment.
std::string accountUser();

std::string picture(const std::string& name, const std::string& elsewhere)
{
    return g_pictureHost.empty() ? elsewhere : imageUrl(g_pictureHost, name);
}

std::string avatar(const char* suid);

std::string accountUser()
{
    return std::string(R"({"suid":")") + kAccountSuid + R"(","nick":")" + kAccountNick + R"(","icon":")" +
           avatar(kAccountSuid) + R"("})";
}

// The picture the person uploaded in place of their seeded one, once they did ("" before, or
// without a world).
std::string uploadedByAccount(const char* suid, const std::string& seeded)
{
    return g_world != nullptr && std::string_view(suid) == kAccountSuid ? g_world->uploadedPicture(seeded)
                                                                        : std::string();
}

std::string avatar(const char* suid)
{
    // The stand-in has pictures of the first four people; the others borrow theirs.
    const int number = std::atoi(suid);
    const std::string own = "avatar-" + std::to_string(1001 + (number - 1001) % 4);
    // The person's own records show the avatar they uploaded, as their profile does.
    if (std::string uploaded = uploadedByAccount(suid, own); !uploaded.empty()) {
        return uploaded;
    }
    return picture(own, std::string("http://img.example/avatar/") + suid + ".jpg");
}

std::string user(const Person& person)
{
    return std::string(R"({"suid":")") + person.suid + R"(","nick":")" + person.nick + R"(","icon":")" +
           avatar(person.suid) + R"("})";
}

// The "mark" list of a video: the person's own mark when they put one on it.
std::string marks(const std::string& scid)
{
    const int mark = g_world != nullptr ? g_world->markOn(scid) : 0;
    if (mark == 0) {
        return R"("mark":{"result":[],"total":0})";
    }
    return R"("mark":{"result":[{"user":)" + accountUser() + R"(,"mark":)" + std::to_string(mark) + R"(}],"total":1})";
}

// The "comment" list of a video: the first two of its comments (the fixture's, then the person's),
// with the count of them all.
std::string comments(const std::string& scid, const std::string& fixtureComment)
{
    std::vector<std::string> all = {fixtureComment};
    if (g_world != nullptr) {
        const std::vector<std::string> written = g_world->commentsOn(scid);
        all.insert(all.end(), written.begin(), written.end());
    }
    const std::size_t total = all.size();
    all.resize(std::min<std::size_t>(total, 2));
    return R"("comment":{"result":)" + jsonList(all) + R"(,"total":)" + std::to_string(total) + "}";
}

// The person's own mark as a feed item tells it.
std::string selfmark(const std::string& scid)
{
    return R"("selfmark":)" + std::to_string(g_world != nullptr ? g_world->markOn(scid) : 0);
}

std::string channel(int index)
{
    const Person& owner = kPeople[index % 6];
    const Place& place = kPlaces[index % 5];
    const std::string scid = "sc" + std::to_string(3001 + index);
    const int width = index % 3 == 2 ? 360 : 480;
    const int height = index % 3 == 2 ? 480 : 360;
    return std::string(R"({"scid":")") + scid + R"(","ext":{"t":")" + kTitles[index % 12] + R"(","w":)" +
           std::to_string(width) + R"(,"h":)" + std::to_string(height) + R"(,"location":")" + place.location +
           R"(","locationText":")" + place.text + R"(","owner":)" + user(owner) +
           R"(,"finishTime":)" + std::to_string(1357000000000LL - index * 3600000LL) +
           R"(,"status":1,"lengthNice":")" + kStreamLengthNice + R"("},)" +
           R"("pic":{"base":")" + (g_pictureHost.empty() ? std::string("http://img.example/pic/") : "http://" + g_pictureHost + "/img/") +
           R"(","m":")" + (g_pictureHost.empty() ? scid + ".jpg" : index % 3 == 1 ? std::string("video-3002.png") : std::string("video-3001.png")) +
           R"("},)" +
           R"("stream":{"base":")" + (g_pictureHost.empty() ? std::string("http://video.example/") : "http://" + g_pictureHost + "/stream/") + R"(","ios":"mp4"},)" +
           (g_pictureHost.empty() ? std::string() : videoShareFields(g_pictureHost, scid, kTitles[index % 12]) + ",") +
           marks(scid) + R"(,"with":{"result":[],"total":0},)" +
           comments(scid, std::string(R"({"content":")") + kComments[index % 5] + R"(","fromUser":)" +
                              user(kPeople[(index + 1) % 6]) + R"(,"createTime":1357000100000})") +
           R"(,"pagedcmt":{"result":[],"total":0},"visit":{"result":[],"total":0},"stat":{"hcnt":)" +
           std::to_string(3 + index) + "}}";
}

std::optional<std::string> param(const Request& request, const char* name)
{
    return request.param(name);
}

bool hasSession(const Request& request)
{
    const std::optional<std::string> token = request.param("token");
    return token && !token->empty() && *token != "(null)";
}

int intParam(const Request& request, const char* name, int fallback)
{
    const std::optional<std::string> value = param(request, name);
    return value && !value->empty() ? std::atoi(value->c_str()) : fallback;
}

const Person* personOf(const std::string& suid)
{
    for (const Person& person : kPeople) {
        if (suid == person.suid) {
            return &person;
        }
    }
    return nullptr;
}

std::string cover(const std::string& suid)
{
    std::string uploaded = uploadedByAccount(suid.c_str(), "cover-1001");
    return !uploaded.empty() ? uploaded : picture("cover-1001", "http://img.example/cover/" + suid + ".jpg");
}

std::string header(const std::string& suid)
{
    // Anyone a list names (the square, a place's visitors, the follow and fans lists) has their page
    // under the name the list gave.
    const std::string nick = personNick(suid);
    // The counts of the lists the person's page opens: the account's own follow list is the world's;
    // anyone else's fans list holds the account while it follows them.
    std::size_t follows = kProfileFollowCount;
    std::size_t fans = kProfileFansCount;
    if (g_world != nullptr && suid == kAccountSuid) {
        follows = g_world->followedPeople().size();
    } else if (g_world != nullptr && g_world->followsPerson(suid)) {
        ++fans;
    }
    return std::string(R"("header":{"suid":")") + suid + R"(","nick":")" + nick + R"(","icon":")" +
           avatar(suid.c_str()) + R"(","ext":{"cover":")" + cover(suid) + R"("},"eventCnt":{"follow":)" +
           std::to_string(follows) + R"(,"fans":)" + std::to_string(fans) + R"(,"event":)" + std::to_string(kFeedTotal) +
           R"(},"sign":{"result":[],"total":0}})";
}

// One feed path: whether it needs a session and what it adds to a page.
struct Feed {
    const char* path;
    bool needsToken;
    std::string (*extras)(const Request& request, const World* world);
};

std::string homeExtras(const Request&, const World*)
{
    return header("1001") +
           R"(,"relation":4,"pos":{"pic":")" + picture("ad-banner", "http://img.example/ad/spring.jpg") +
           R"(","action":"topic","data":"t4001"})";
}

// The relation of the account to the page's person: 4 itself; else 2, and odd once it follows them.
std::string userExtras(const Request& request, const World* world)
{
    const std::string suid = param(request, "suid").value_or("");
    const bool follows = world != nullptr && world->followsPerson(suid);
    return header(suid) + R"(,"relation":)" + (suid == "1001" ? "4" : follows ? "3" : "2");
}

std::string topicExtras(const Request& request, const World* world)
{
    const std::string stpid = param(request, "stpid").value_or("");
    const std::string name = World::topicName(stpid);
    const std::string topic = name.empty() ? "#" + stpid + "#" : name;
    return R"("topic":)" + jsonQuoted(topic) + R"(,"isfollow":)" +
           (world != nullptr && world->followsTopic(stpid) ? "true" : "false");
}

std::string nearExtras(const Request&, const World*)
{
    return R"("locationText":"杭州市西湖区")";
}

std::string noExtras(const Request&, const World*)
{
    return "";
}

const Feed kFeeds[] = {
    {"/m/v2_feed.json", true, homeExtras},     {"/m/v2_user.json", true, userExtras},
    {"/m/v2_topic.json", true, topicExtras},   {"/m/v2_near.json", false, nearExtras},
    {"/m/v2_recent.json", true, noExtras},     {"/m/v2_plaza.json", false, noExtras},
};

// A video published through the stand-in, as the account's own channel.
std::string publishedChannel(const PublishedVideo& video)
{
    const std::string base = g_pictureHost.empty() ? std::string("http://img.example/pic/") : "http://" + g_pictureHost + "/img/";
    return std::string(R"({"type":"channel",)") + selfmark(video.scid) + R"(,"channel":{"scid":)" + jsonQuoted(video.scid) +
           R"(,"ext":{"t":)" + jsonQuoted(video.title) + R"(,"w":)" + std::to_string(video.coverWidth) +
           R"(,"h":)" + std::to_string(video.coverHeight) + R"(,"location":)" +
           jsonQuoted(video.location) + R"(,"locationText":)" + jsonQuoted(video.locationText) +
           R"(,"owner":)" + user(kPeople[0]) + R"(,"finishTime":1357100000000,"status":1,"lengthNice":"00:03"},)" +
           R"("pic":{"base":)" + jsonQuoted(base) + R"(,"m":)" + jsonQuoted(video.cover + ".png") + "}," +
           R"("stream":{"base":)" + jsonQuoted(g_pictureHost.empty() ? std::string("http://video.example/") : "http://" + g_pictureHost + "/stream/") + R"(,"ios":"mp4"},)" +
           (g_pictureHost.empty() ? std::string() : videoShareFields(g_pictureHost, video.scid, video.title) + ",") +
           marks(video.scid) + R"(,"with":{"result":[],"total":)" +
           std::to_string(video.withSuids.empty() ? 0 : std::count(video.withSuids.begin(), video.withSuids.end(), ',') + 1) +
           // Once its upload ended a friend commented on it (the reminder that came with it leads here).
           "}," + comments(video.scid, R"({"content":)" + jsonQuoted(kPublishedVideoComment) + R"(,"fromUser":)" +
                                           user(kPeople[1]) + R"(,"createTime":1357100100000})") +
           R"(,"pagedcmt":{"result":[],"total":0},)" +
           R"("visit":{"result":[],"total":0},"stat":{"hcnt":0}}})";
}

// The account's own page: its published videos, then the fixture items.
std::string ownPageReply(int page, int per, const std::vector<PublishedVideo>& published, const std::string& extras)
{
    const int own = int(published.size());
    const int total = own + kFeedTotal;
    std::string items;
    const int first = std::max(page - 1, 0) * per;
    for (int index = first; index < std::min(first + per, total); ++index) {
        items += (items.empty() ? "" : ",") +
                 (index < own ? publishedChannel(published[std::size_t(index)]) : feedItemJson(index - own));
    }
    return R"({"status":200,"msg":"","result":[)" + items + R"(],"total":)" + std::to_string(total) + "," + extras + "}";
}

} // namespace FeedRoutes_cpp
} // namespace

bool feedVideoOf(const std::string& scid, FeedVideo* video)
{
    using namespace FeedRoutes_cpp;
    const int index = scid.size() == 6 && scid.starts_with("sc") ? std::atoi(scid.c_str() + 2) - 3001 : -1;
    if (index < 0 || index >= kFeedTotal || "sc" + std::to_string(3001 + index) != scid) {
        return false;
    }
    const bool upright = index % 3 == 2;
    *video = FeedVideo{kTitles[index % 12], kPeople[index % 6].suid, kPlaces[index % 5].text,
                       index % 3 == 1 ? "video-3002" : "video-3001", upright ? 360 : 480, upright ? 480 : 360};
    return true;
}

std::string feedPersonNick(const std::string& suid)
{
    const FeedRoutes_cpp::Person* person = FeedRoutes_cpp::personOf(suid);
    return person ? person->nick : "";
}

std::string feedItemJson(int index)
{
    using namespace FeedRoutes_cpp;
    switch (index % 5) {
    case 3:
        return std::string(R"({"type":"comment","comment":{"scmtid":"c)") + std::to_string(2001 + index) +
               R"(","content":")" + kComments[index % 5] + R"(","fromUser":)" + user(kPeople[(index + 2) % 6]) +
               R"(,"toUser":)" + user(kPeople[index % 6]) + R"(,"createTime":1357000100000,"channel":)" +
               channel(index) + "}}";
    case 4:
        return std::string(R"({"type":"follow","follow":{"fromUser":)") + user(kPeople[index % 6]) +
               R"(,"toUser":)" + user(kPeople[(index + 3) % 6]) + "}}";
    case 2:
        if (index % 10 == 7) {
            // Someone shared another's video with a line of their own.
            return std::string(R"({"type":"forward",)") + selfmark("sc" + std::to_string(3001 + index)) +
                   R"(,"user":)" + user(kPeople[(index + 4) % 6]) +
                   R"(,"content":"这个一定要看","channel":)" + channel(index) + "}";
        }
        [[fallthrough]];
    default:
        return std::string(R"({"type":"channel",)") + selfmark("sc" + std::to_string(3001 + index)) +
               R"(,"channel":)" + channel(index) + "}";
    }
}

std::string feedPageReply(int page, int per, int total, const std::string& extraMembers)
{
    std::string items;
    const int first = std::max(page - 1, 0) * per;
    for (int index = first; index < std::min(first + per, total); ++index) {
        if (!items.empty()) {
            items += ",";
        }
        items += feedItemJson(index);
    }
    std::string body = R"({"status":200,"msg":"","result":[)" + items + R"(],"total":)" + std::to_string(total);
    if (!extraMembers.empty()) {
        body += "," + extraMembers;
    }
    return body + "}";
}

void installFeedRoutes(HttpServer& server, const PublishedVideos* published, const World* world)
{
    using namespace FeedRoutes_cpp;

    for (const Feed& feed : kFeeds) {
        const bool ownPage = published != nullptr && std::string_view(feed.path) == "/m/v2_user.json";
        server.route(feed.path, [&feed, ownPage, published, world](const Request& request) {
            FeedRoutes_cpp::g_pictureHost = request.header("Host").value_or("");
            FeedRoutes_cpp::g_world = world;
            if (feed.needsToken && !hasSession(request)) {
                return jsonReply(R"({"status":403,"msg":"请先登录"})");
            }
            const int page = intParam(request, "page", 1);
            const int per = intParam(request, "per", 20);
            if (ownPage && param(request, "suid").value_or("") == kPeople[0].suid) {
                return jsonReply(ownPageReply(page, per, published->published(), feed.extras(request, world)));
            }
            return jsonReply(feedPageReply(page, per, kFeedTotal, feed.extras(request, world)));
        });
    }
}

} // namespace standin
