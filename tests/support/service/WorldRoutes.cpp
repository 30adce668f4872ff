#include "service/WorldRoutes.h"
#include "service/ServiceReplies.h"

#include "service/ApiRoutes.h"
#include "service/CommitRoutes.h"
#include "service/FeedRoutes.h"
#include "service/ImageRoutes.h"
#include "service/MovieRoutes.h"
#include "service/ProfileRoutes.h"
#include "service/StreamRoutes.h"
#include "service/MovieStill.h"
#include "service/UploadRoutes.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <tuple>

namespace standin {

namespace {
namespace WorldRoutes_cpp {

std::string friendJson(const std::string& host)
{
    return std::string(R"({"suid":")") + kReminderFriendSuid + R"(","nick":")" + kReminderFriendNick +
           R"(","icon":)" + jsonQuoted(imageUrl(host, "avatar-1002")) + "}";
}

std::vector<std::string> publishedScids(const PublishedVideos& published)
{
    std::vector<std::string> scids;
    for (const PublishedVideo& video : published.published()) {
        scids.push_back(video.scid);
    }
    return scids;
}

Response remind(const Request& request, const World& world, const PublishedVideos& published)
{
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    const std::string host = hostOf(request);
    std::string body = R"({"status":200,"msg":"")";
    if (world.fansUnread()) {
        body += R"(,"fans":{"cnt":1,"fan":)" + friendJson(host) + R"(,"text":")" + kReminderFriendNick + "关注了你\"}";
    }
    const std::vector<std::string> unread = world.unreadComments(publishedScids(published));
    if (!unread.empty()) {
        body += R"(,"sys":{"cnt":)" + std::to_string(unread.size()) + R"(,"user":)" + friendJson(host) +
                R"(,"text":")" + kReminderFriendNick + R"(评论了你的视频","mark":0,"action":"chan","data":)" +
                jsonQuoted(unread.front()) + "}";
    }
    return jsonReply(body + "}");
}

// The friend's comment on a published video, as a message of the message box.
std::string commentMessage(const std::string& host, const PublishedVideo& video)
{
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    return R"({"action":"chan","data":)" + jsonQuoted(video.scid) + R"(,"user":)" + friendJson(host) + R"(,"msg":)" +
           jsonQuoted(std::string(kReminderFriendNick) + "评论了你的视频《" + video.title + "》：" +
                      kPublishedVideoComment) +
           R"(,"channel":{"scid":)" + jsonQuoted(video.scid) + R"(,"ext":{"w":)" + std::to_string(video.coverWidth) +
           R"(,"h":)" + std::to_string(video.coverHeight) + R"(},"pic":{"base":)" + jsonQuoted("http://" + host + "/img/") +
           R"(,"m":)" + jsonQuoted(video.cover + ".png") + R"(}},"createTime":)" + std::to_string(now) + "}";
}

// The message box's first page begins with the friends' comments on the published videos (newest
// first), which the reminders announced; the total counts them.
Response withCommentMessages(const Response& inner, const Request& request, const PublishedVideos& published)
{
    const std::vector<PublishedVideo> videos = published.published();
    const std::string head = R"({"status":200,"msg":"","result":[)";
    const std::size_t totalAt = inner.body.rfind(R"("total":)");
    if (videos.empty() || request.param("page").value_or("1") != "1" || !inner.body.starts_with(head) ||
        totalAt == std::string::npos) {
        return inner;
    }
    std::string items;
    for (const PublishedVideo& video : videos) {
        items += (items.empty() ? "" : ",") + commentMessage(hostOf(request), video);
    }
    Response response = inner;
    const long total = std::atol(inner.body.c_str() + totalAt + 8) + long(videos.size());
    response.body = inner.body.substr(0, totalAt + 8) + std::to_string(total) + "}";
    const bool more = inner.body.compare(head.size(), 1, "]") != 0;
    response.body.insert(head.size(), items + (more ? "," : ""));
    return response;
}

Response followedTopics(const Request& request, World& world)
{
    if (request.method == "POST") {
        const Params form = request.formParams();
        if (!hasSession(findParam(form, "token"))) {
            return needLogin();
        }
        const std::string id = findParam(form, "stpid").value_or("");
        if (World::topicName(id).empty()) {
            return jsonReply(R"({"status":404,"msg":"话题不存在"})");
        }
        world.setFollowsTopic(id, findParam(form, "_method").value_or("") != "delete");
        return jsonReply(R"({"status":200,"msg":"操作成功"})");
    }
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    // One page holds them all.
    const std::vector<Topic> followed = world.followedTopics();
    std::vector<std::string> items;
    if (request.param("page").value_or("1") == "1") {
        for (std::size_t n = 0; n < followed.size(); ++n) {
            items.push_back(R"({"stpid":)" + jsonQuoted(followed[n].id) + R"(,"topic":)" + jsonQuoted(followed[n].name) +
                            R"(,"isnew":)" + (n % 3 == 0 ? "true" : "false") + "}");
        }
    }
    return jsonReply(R"({"status":200,"msg":"","result":)" + jsonList(items) + R"(,"total":)" +
                     std::to_string(followed.size()) + "}");
}

// A wrapper that runs `after` once the inner handler answered a GET with a session.
template <class After>
void afterRead(HttpServer& server, const std::string& path, After after)
{
    HttpServer::Handler inner = server.handlerOf(path);
    if (!inner) {
        return;
    }
    server.route(path, [inner, after](const Request& request) {
        Response response = inner(request);
        if (request.method == "GET" && hasSession(request.param("token")) &&
            response.body.starts_with(R"({"status":200)")) {
            after(request);
        }
        return response;
    });
}

Response showPage(const std::string& scid)
{
    Response response;
    response.body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Ombri</title></head><body>"
                    "<video src=\"/stream/" + scid + ".mp4\" controls></video></body></html>";
    response.with("Content-Type", "text/html; charset=utf-8");
    return response;
}

Response mark(const Request& request, World& world)
{
    if (request.method != "POST") {
        return jsonReply(R"({"status":405,"msg":"不支持的请求方式"})");
    }
    const Params form = request.formParams();
    if (!hasSession(findParam(form, "token"))) {
        return needLogin();
    }
    const std::string scid = findParam(form, "scid").value_or("");
    const int icon = std::atoi(findParam(form, "icon").value_or("0").c_str());
    if (scid.empty() || icon < 1 || icon > 5) {
        return jsonReply(R"({"status":400,"msg":"表情不存在"})");
    }
    world.setMark(scid, icon);
    return jsonReply(R"({"status":200,"msg":"操作成功"})");
}

Response userSettings(const Request& request, World& world)
{
    if (request.method == "POST") {
        const Params form = request.formParams();
        if (!hasSession(findParam(form, "token"))) {
            return needLogin();
        }
        const std::string flag = findParam(form, "flag").value_or("");
        const std::optional<std::string> value = findParam(form, "value");
        if (flag.empty() || !value) {
            return jsonReply(R"({"status":400,"msg":"参数错误"})");
        }
        world.setSetting(flag, *value);
        return jsonReply(R"({"status":200,"msg":"操作成功"})");
    }
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    return jsonReply(R"({"status":200,"msg":"","result":{"data":{"1":)" + jsonQuoted(world.setting("1")) + "}}}");
}

void installVideo(HttpServer& server, const std::string& scid)
{
    installMovieRoute(server, "/stream/" + scid + ".mp4", streamMovieFile());
    server.route(videoShowPath(scid), [scid](const Request&) { return showPage(scid); });
}

void installUploadedVideo(HttpServer& server, PublishedVideos& published, const std::string& scid, std::string movie)
{
    std::optional<MovieStill> still = movieStill(movie);
    installMovieBytesRoute(server, "/stream/" + scid + ".mp4", std::make_shared<const std::string>(std::move(movie)));
    server.route(videoShowPath(scid), [scid](const Request&) { return showPage(scid); });
    if (still) {
        const std::string cover = "cover-" + scid;
        server.route("/img/" + cover + ".png", [png = std::move(still->png)](const Request&) {
            Response response;
            response.body = png;
            return response.with("Content-Type", "image/png");
        });
        published.setCover(scid, cover, still->width, still->height);
    }
}

} // namespace WorldRoutes_cpp
} // namespace

std::string videoShowPath(const std::string& scid)
{
    return "/show/" + scid + ".htm";
}

std::string videoShareFields(const std::string& host, const std::string& scid, const std::string& title)
{
    return R"("t":)" + jsonQuoted(title) + R"(,"url":)" + jsonQuoted("http://" + host + videoShowPath(scid)) +
           R"(,"fn":)" + jsonQuoted(scid + ".mp4");
}

void installWorldRoutes(HttpServer& server, World& world, PublishedVideos& published, const UploadStore& uploads)
{
    using namespace WorldRoutes_cpp;
    server.route("/m/v2_remind.json",
                 [&world, &published](const Request& request) { return remind(request, world, published); });
    server.route("/m/follow-topic.json", [&world](const Request& request) { return followedTopics(request, world); });
    if (HttpServer::Handler messages = server.handlerOf("/m/sysmsg.json")) {
        server.route("/m/sysmsg.json", [&published, messages](const Request& request) {
            return withCommentMessages(messages(request), request, published);
        });
    }
    afterRead(server, "/m/sysmsg.json",
              [&world, &published](const Request&) { world.systemRead(publishedScids(published)); });
    afterRead(server, kFansPath, [&world](const Request&) { world.fansRead(); });
    afterRead(server, "/m/v2_user.json", [&world](const Request& request) {
        if (request.param("suid").value_or("") == kReminderFriendSuid) {
            world.fansRead();
        }
    });
    // Whom the person follows, as any follow post that was answered 200 said.
    if (HttpServer::Handler follow = server.handlerOf(kFollowPostPath)) {
        server.route(kFollowPostPath, [&world, follow](const Request& request) {
            Response response = follow(request);
            const Params form = request.formParams();
            const std::string suid = findParam(form, "suid").value_or("");
            if (request.method == "POST" && !suid.empty() && response.body.starts_with(R"({"status":200)")) {
                world.setFollowsPerson(suid, findParam(form, "_method").value_or("") != "delete");
            }
            return response;
        });
    }
    // The person's marks and notice switches.
    server.route("/m/mark.json", [&world](const Request& request) { return mark(request, world); });
    server.route("/m/user-settings.json", [&world](const Request& request) { return userSettings(request, world); });
    // A phone number the service accepted is the account's from then on: the profile read gives it
    // (ProfileRoutes) and so does the next sign-in.
    if (HttpServer::Handler modify = server.handlerOf("/m/modify-info.json")) {
        server.route("/m/modify-info.json", [&world, modify](const Request& request) {
            Response response = modify(request);
            const std::optional<std::string> phone = findParam(request.formParams(), "phone");
            if (request.method == "POST" && phone && response.body.starts_with(R"({"status":200)")) {
                world.setPhone(*phone);
            }
            return response;
        });
    }
    if (HttpServer::Handler login = server.handlerOf("/m/login.json")) {
        server.route("/m/login.json", [&world, login](const Request& request) {
            Response response = login(request);
            const std::string seeded = std::string(R"("phone":")") + kAccountPhone + "\"";
            if (const std::size_t at = response.body.find(seeded); at != std::string::npos) {
                response.body.replace(at, seeded.size(), R"("phone":)" + jsonQuoted(world.phone()));
            }
            for (const char* picture : {"avatar-1001", "cover-1001"}) {
                const std::string uploaded = world.uploadedPicture(picture);
                const std::string seededUrl = imageUrl(hostOf(request), picture);
                if (const std::size_t at = response.body.find(seededUrl); !uploaded.empty() && at != std::string::npos) {
                    response.body.replace(at, seededUrl.size(), uploaded);
                }
            }
            return response;
        });
    }
    // An avatar or cover the person uploads is what they see from then on: it is served at an address of
    // its own, which the upload's answer, the profile read and the next sign-in name.
    for (const auto& [path, key, seeded] : {std::tuple{"/m/upload-icon.json", "newIcon", "avatar-1001"},
                                           std::tuple{"/m/upload-cover.json", "newCover", "cover-1001"}}) {
        HttpServer::Handler upload = server.handlerOf(path);
        if (!upload) {
            continue;
        }
        server.route(path, [&server, &world, upload, key, seeded](const Request& request) {
            Response response = upload(request);
            if (request.method != "POST" || !response.body.starts_with(R"({"status":200)")) {
                return response;
            }
            for (const FormPart& part : multipartParts(request)) {
                if (part.fileName.empty() || part.content.empty()) {
                    continue;
                }
                static std::atomic<int> uploads{0};
                const std::string name = std::string("uploaded-") + seeded + "-" + std::to_string(++uploads);
                server.route("/img/" + name + ".png", [bytes = part.content, type = part.contentType](const Request&) {
                    Response picture;
                    picture.body = bytes;
                    picture.with("Content-Type", type.empty() ? "application/octet-stream" : type);
                    return picture;
                });
                const std::string url = imageUrl(hostOf(request), name);
                world.setUploadedPicture(seeded, url);
                return jsonReply(R"({"status":200,"msg":"上传成功",")" + std::string(key) + R"(":)" + jsonQuoted(url) + "}");
            }
            return response;
        });
    }
    // Every video the feeds name can be played and shared.
    for (int index = 0; index < kFeedTotal; ++index) {
        installVideo(server, "sc" + std::to_string(3001 + index));
    }
    // A video the person uploads plays what was uploaded, shows its first picture as its cover, and is
    // shared like the others.
    HttpServer::Handler uploadEnd = server.handlerOf(kUploadEndPath);
    if (uploadEnd) {
        server.route(kUploadEndPath, [&server, &published, &uploads, uploadEnd](const Request& request) {
            Response response = uploadEnd(request);
            const std::string name = request.param("t").value_or("");
            const std::size_t dot = name.rfind('.');
            const std::string scid = name.substr(0, dot);
            const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
            if (response.body.starts_with(R"({"status":200)") && !scid.empty()) {
                installUploadedVideo(server, published, scid, uploads.contents(scid, ext));
            }
            return response;
        });
    }
}

} // namespace standin
