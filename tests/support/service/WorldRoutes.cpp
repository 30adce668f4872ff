#include "service/WorldRoutes.h"
#include "service/ServiceReplies.h"

#include "service/CommitRoutes.h"
#include "service/FeedRoutes.h"
#include "service/ImageRoutes.h"
#include "service/MovieRoutes.h"
#include "service/ProfileRoutes.h"
#include "service/StreamRoutes.h"
#include "service/UploadRoutes.h"

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

void installVideo(HttpServer& server, const std::string& scid)
{
    installMovieRoute(server, "/stream/" + scid + ".mp4", streamMovieFile());
    server.route(videoShowPath(scid), [scid](const Request&) { return showPage(scid); });
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

void installWorldRoutes(HttpServer& server, World& world, const PublishedVideos& published)
{
    using namespace WorldRoutes_cpp;
    server.route("/m/v2_remind.json",
                 [&world, &published](const Request& request) { return remind(request, world, published); });
    server.route("/m/follow-topic.json", [&world](const Request& request) { return followedTopics(request, world); });
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
    // Every video the feeds name can be played and shared.
    for (int index = 0; index < kFeedTotal; ++index) {
        installVideo(server, "sc" + std::to_string(3001 + index));
    }
    // A video the person uploads plays and is shared like the others.
    HttpServer::Handler uploadEnd = server.handlerOf(kUploadEndPath);
    if (uploadEnd) {
        server.route(kUploadEndPath, [&server, uploadEnd](const Request& request) {
            Response response = uploadEnd(request);
            const std::string name = request.param("t").value_or("");
            const std::string scid = name.substr(0, name.rfind('.'));
            if (response.body.starts_with(R"({"status":200)") && !scid.empty()) {
                installVideo(server, scid);
            }
            return response;
        });
    }
}

} // namespace standin
