#include "service/VideoPageRoutes.h"
#include "service/ServiceReplies.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "service/ApiRoutes.h"
#include "service/FeedRoutes.h"
#include "service/ImageRoutes.h"
#include "service/MovieRoutes.h"
#include "service/StreamRoutes.h"
#include "service/WorldRoutes.h"

namespace standin {

namespace {
namespace VideoPageRoutes_cpp {

const VideoFixture kVideos[] = {
    {"sc3001", "西湖边的傍晚", "video-3001", 640, 480, "1001", 3, 5, "杭州西湖"},
    {"sc3002", "钱塘江边的夜景", "video-3002", 640, 360, "1002", 20, 13, "杭州钱塘江"},
    {"sc3019", "第一次做红烧肉", "video-3001", 480, 360, "1003", 19, 2, ""},
    {"sc3040", "小区里的樱花开了", "video-3002", 640, 360, "1004", 0, 40, "杭州植物园"},
    {"sc3009", "", "video-3001", 0, 0, "1002", 1, 0, ""},
};

struct Person {
    const char* suid;
    const char* nick;
};

const Person kPeople[] = {{"1001", "小明"}, {"1002", "阿芳"}, {"1003", "老周"}, {"1004", "林小雨"}};

const char* const kComments[] = {
    "拍得真好，西湖的晚霞！", "这个角度绝了", "求背景音乐的名字", "看饿了……", "下次带上我",
    "这是用什么手机拍的？", "太美了，收藏了", "好想去啊", "画面好稳", "周末一起去吧",
};


const VideoFixture* fixtureOf(const std::string& scid)
{
    for (const VideoFixture& video : kVideos) {
        if (scid == video.scid) {
            return &video;
        }
    }
    return nullptr;
}

// A person: the four with pictures of their own, then viewers who borrow them.
std::string person(const std::string& host, int index)
{
    const int picture = index % 4;
    const std::string icon = imageUrl(host, "avatar-" + std::to_string(1001 + picture));
    if (index < 4) {
        return std::string(R"({"suid":")") + kPeople[index].suid + R"(","nick":")" + kPeople[index].nick +
               R"(","icon":)" + jsonQuoted(icon) + "}";
    }
    return R"({"suid":")" + std::to_string(2000 + index) + R"(","nick":"观众)" + std::to_string(index) +
           R"(","icon":)" + jsonQuoted(icon) + "}";
}

std::string personBySuid(const std::string& host, const std::string& suid)
{
    for (int index = 0; index < 4; ++index) {
        if (suid == kPeople[index].suid) {
            return person(host, index);
        }
    }
    // The feeds' other people borrow the pictures of the first four.
    if (const std::string nick = feedPersonNick(suid); !nick.empty()) {
        const int picture = (std::atoi(suid.c_str()) - 1001) % 4;
        return R"({"suid":)" + jsonQuoted(suid) + R"(,"nick":)" + jsonQuoted(nick) + R"(,"icon":)" +
               jsonQuoted(imageUrl(host, "avatar-" + std::to_string(1001 + picture))) + "}";
    }
    return person(host, 0);
}

long long nowMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Comment n (from 1) of a video: authors and texts in turn, seven minutes apart, the last one newest.
std::string comment(const std::string& host, const VideoFixture& video, int n)
{
    const long long created = nowMilliseconds() - static_cast<long long>(video.comments - n + 1) * 7 * 60 * 1000;
    return R"({"id":)" + jsonQuoted(videoCommentId(video.scid, n)) + R"(,"content":)" +
           jsonQuoted(kComments[(n - 1) % 10]) + R"(,"fromUser":)" + person(host, n % 4) +
           R"(,"toUser":)" + personBySuid(host, video.ownerSuid) + R"(,"createTime":)" + std::to_string(created) + "}";
}

// A page of the video's comments: the fixture's, then those posted.
std::string commentPage(const std::string& host, const VideoFixture& video, int page, int per,
                        const std::vector<std::string>& posted = {})
{
    std::string items;
    const int first = std::max(page - 1, 0) * per + 1;
    const int all = video.comments + int(posted.size());
    for (int n = first; n <= all && n < first + per; ++n) {
        items += (items.empty() ? "" : ",") +
                 (n <= video.comments ? comment(host, video, n) : posted[size_t(n - video.comments - 1)]);
    }
    return "[" + items + "]";
}

std::string record(const std::string& host, const VideoFixture& video, const std::string& scid,
                   const std::vector<std::string>& posted = {}, int ownMark = 0)
{
    std::string ext = R"({"t":)" + jsonQuoted(video.title);
    if (video.title[0] == '\0') {
        ext = "{";
    } else {
        ext += ",";
    }
    if (video.width > 0) {
        ext += R"("w":)" + std::to_string(video.width) + R"(,"h":)" + std::to_string(video.height) + ",";
    }
    if (video.place[0] != '\0') {
        ext += R"("location":"30.25,120.16","locationText":)" + jsonQuoted(video.place) + ",";
    }
    ext += R"("owner":)" + personBySuid(host, video.ownerSuid) +
           R"(,"finishTime":)" + std::to_string(nowMilliseconds() - 3 * 3600 * 1000) +
           R"(,"status":1,"lengthNice":")" + kStreamLengthNice + R"("})";

    std::string visits;
    for (int index = 0; index < video.viewers; ++index) {
        visits += (visits.empty() ? "" : ",") + std::string(R"({"user":)") + person(host, index) +
                  R"(,"mark":)" + std::to_string(index % 5 + 1) + "}";
    }
    const bool people = video.title[0] != '\0';
    return R"({"type":"channel","scid":)" + jsonQuoted(scid) + "," + videoShareFields(host, scid, video.title) +
           R"(,"ext":)" + ext + R"(,"pic":{"base":)" +
           jsonQuoted("http://" + host + "/img/") + R"(,"m":)" + jsonQuoted(std::string(video.still) + ".png") +
           R"(},"stream":{"base":)" + jsonQuoted("http://" + host + "/stream/") + R"(,"ios":"mp4"},)" +
           R"("mark":{"result":[)" +
           (ownMark > 0 ? R"({"user":)" + person(host, 0) + R"(,"mark":)" + std::to_string(ownMark) + "}," : std::string()) +
           R"({"user":)" + person(host, 1) + R"(,"mark":2}],"total":)" + (ownMark > 0 ? "2" : "1") + "}," +
           R"("with":{"result":[)" + (people ? person(host, 2) : std::string()) + R"(],"total":)" +
           (people ? "1" : "0") + "}," + R"("comment":{"result":)" + commentPage(host, video, 1, 2, posted) +
           R"(,"total":)" + std::to_string(video.comments + int(posted.size())) + "}," + R"("pagedcmt":{"result":)" +
           commentPage(host, video, 1, 20, posted) + R"(,"total":)" +
           std::to_string(video.comments + int(posted.size())) + "}," +
           R"("visit":{"result":[)" + visits + R"(],"total":)" + std::to_string(video.viewers) + "}," +
           R"("stat":{"hcnt":)" + std::to_string(video.viewers * 3 + 1) + "}}";
}

// The video and number of a comment id "c<digits>-<n>"; the first video otherwise.
const VideoFixture& videoOfComment(const std::string& commentId, int* number)
{
    *number = 0;
    const std::size_t dash = commentId.rfind('-');
    if (commentId.size() > 1 && commentId[0] == 'c' && dash != std::string::npos) {
        if (const VideoFixture* video = fixtureOf("sc" + commentId.substr(1, dash - 1))) {
            const int n = std::atoi(commentId.c_str() + dash + 1);
            if (n >= 1 && n <= video->comments) {
                *number = n;
            }
            return *video;
        }
    }
    return kVideos[0];
}

// A video that is not one of the fixtures above, made one: a video the person published (its title,
// place and picture, and the one comment a friend left on it, the first of the fixture comments,
// 阿芳's), or a video of the feeds (its title, owner, place, picture and size as its feed item tells).
struct MadeFixture {
    std::string scid, title, still, owner, place;
    int width = 0, height = 0;
    VideoFixture video;
};

std::optional<MadeFixture> madeFixture(const PublishedVideos* published, const std::string& scid)
{
    if (published != nullptr) {
        for (const PublishedVideo& video : published->published()) {
            if (video.scid == scid) {
                return MadeFixture{video.scid, video.title, video.cover, "1001", video.locationText,
                                   video.coverWidth, video.coverHeight, {}};
            }
        }
    }
    FeedVideo feed;
    if (fixtureOf(scid) == nullptr && feedVideoOf(scid, &feed)) {
        return MadeFixture{scid, feed.title, feed.still, feed.ownerSuid, feed.place, feed.width, feed.height, {}};
    }
    return std::nullopt;
}

// The fixture of a video id (nullptr for one the world does not know); `made` holds a made one's texts.
const VideoFixture* videoFor(const PublishedVideos* published, const std::string& scid, std::optional<MadeFixture>& made)
{
    made = madeFixture(published, scid);
    if (!made) {
        return fixtureOf(scid);
    }
    made->video = {made->scid.c_str(), made->title.c_str(), made->still.c_str(), made->width, made->height,
                   made->owner.c_str(), 1, 3, made->place.c_str()};
    if (made->owner == "1001") {
        made->video.viewers = 0;
    }
    return &made->video;
}

Response channelReply(const Request& request, const World& world, const PublishedVideos* published)
{
    if (!hasSession(request.param("token"))) {
        return jsonReply(R"({"status":403,"msg":"请先登录"})");
    }
    const std::string host = hostOf(request);
    const std::string commentId = request.param("scmtid").value_or("");
    if (!commentId.empty()) {
        int number = 0;
        const VideoFixture& video = videoOfComment(commentId, &number);
        std::string cmt = number > 0 ? comment(host, video, number)
                                     : R"({"id":)" + jsonQuoted(commentId) + R"(,"content":"这是在哪里拍的？","fromUser":)" +
                                           person(host, 1) + R"(,"createTime":)" +
                                           std::to_string(nowMilliseconds() - 600000) + "}";
        return jsonReply(R"({"status":200,"msg":"","result":)" +
                         record(host, video, video.scid, world.commentsOn(video.scid), world.markOn(video.scid)) +
                         R"(,"cmt":)" + cmt + "}");
    }
    const std::string scid = request.param("scid").value_or("");
    std::optional<MadeFixture> made;
    const VideoFixture* video = videoFor(published, scid, made);
    const std::vector<std::string> mine = video ? world.commentsOn(scid) : std::vector<std::string>{};
    return jsonReply(R"({"status":200,"msg":"","result":)" +
                     record(host, video ? *video : kVideos[0], scid, mine, world.markOn(scid)) + "}");
}

Response commentsReply(const Request& request, const World& world, const PublishedVideos* published)
{
    const std::string scid = request.param("scid").value_or("");
    std::optional<MadeFixture> made;
    const VideoFixture* video = videoFor(published, scid, made);
    if (!video) {
        return jsonReply(apiListReply(kApiCommentJson, 1));
    }
    const int page = std::atoi(request.param("page").value_or("1").c_str());
    const int per = std::clamp(std::atoi(request.param("per").value_or("20").c_str()), 1, 100);
    const std::vector<std::string> mine = world.commentsOn(scid);
    return jsonReply(R"({"status":200,"msg":"","result":)" + commentPage(hostOf(request), *video, page, per, mine) +
                     R"(,"total":)" + std::to_string(video->comments + int(mine.size())) + "}");
}

Response addComment(const Request& request, World& world)
{
    const Params form = request.formParams();
    if (!hasSession(findParam(form, "token"))) {
        return jsonReply(R"({"status":403,"msg":"请先登录"})");
    }
    if (findParam(form, "_method").value_or("") == "delete") {
        return jsonReply(apiOkReply());
    }
    const std::string content = findParam(form, "content").value_or("");
    if (content.empty()) {
        return jsonReply(R"({"status":400,"msg":"评论内容不可为空"})");
    }
    const std::string scid = findParam(form, "scid").value_or("");
    const std::string host = hostOf(request);
    const std::string made = R"({"id":)" + jsonQuoted("c-new-" + std::to_string(nowMilliseconds())) +
                             R"(,"content":)" + jsonQuoted(content) + R"(,"fromUser":)" + person(host, 0) +
                             R"(,"createTime":)" + std::to_string(nowMilliseconds()) + R"(,"scid":)" + jsonQuoted(scid) + "}";
    world.addComment(scid, made);
    return jsonReply(R"({"status":200,"msg":"评论成功","result":[)" + made + "]}");
}

} // namespace VideoPageRoutes_cpp
} // namespace

const VideoFixture* videoFixtures(std::size_t* count)
{
    *count = std::size(VideoPageRoutes_cpp::kVideos);
    return VideoPageRoutes_cpp::kVideos;
}

std::string videoRecordJson(const std::string& hostPort, const std::string& scid)
{
    const VideoFixture* video = VideoPageRoutes_cpp::fixtureOf(scid);
    return VideoPageRoutes_cpp::record(hostPort, video ? *video : VideoPageRoutes_cpp::kVideos[0], scid);
}

std::string videoCommentId(const std::string& scid, int n)
{
    return "c" + (scid.size() > 2 ? scid.substr(2) : scid) + "-" + std::to_string(n);
}

void installVideoPageRoutes(HttpServer& server, const PublishedVideos* published, World* world)
{
    using namespace VideoPageRoutes_cpp;
    // New comments are kept: a video's record and pages serve them after its own. Without the service's
    // world they are kept for this server alone.
    std::shared_ptr<World> own = world != nullptr ? nullptr : std::make_shared<World>();
    World* kept = world != nullptr ? world : own.get();
    server.route("/m/v2_channel.json", [own, kept, published](const Request& request) {
        return channelReply(request, *kept, published);
    });
    server.route("/m/v2_comment.json", [own, kept, published](const Request& request) {
        return commentsReply(request, *kept, published);
    });
    // A GET of comment.json keeps the API's list; posts are new comments.
    server.route("/m/comment.json", [own, kept](const Request& request) {
        if (request.method == "POST") {
            return addComment(request, *kept);
        }
        return jsonReply(apiListReply(kApiCommentJson, 1));
    });
    // The stream routes serve the feeds' videos; the fixture videos beyond them get the same movie.
    for (const VideoFixture& video : kVideos) {
        const std::string path = std::string("/stream/") + video.scid + ".mp4";
        if (!server.hasRoute(path)) {
            installMovieRoute(server, path, streamMovieFile());
        }
    }
}

} // namespace standin
