#include "service/ApiRoutes.h"
#include "service/ServiceReplies.h"

#include "service/AccountRoutes.h"
#include "service/CommitRoutes.h"
#include "service/ImageRoutes.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

namespace standin {

const char* const kApiUserJson =
    R"({"suid":"1001","nick":"小明","icon":"http://img.example/avatar/1001.jpg",)"
    R"("ext":{"cover":"http://img.example/cover/1001.jpg"}})";

const char* const kApiCommentJson =
    R"({"id":"c2001","content":"拍得真好，西湖的晚霞！","fromUser":{"suid":"1002","nick":"阿芳",)"
    R"("icon":"http://img.example/avatar/1002.jpg"},"toUser":{"suid":"1001","nick":"小明"},)"
    R"("createTime":1357000100000})";

const char* const kApiChannelJson =
    R"({"type":"channel","scid":"sc3001","t":"西湖边的傍晚","url":"http://www.example/show/sc3001.htm","fn":"sc3001.mp4",)"
    R"("ext":{"t":"西湖边的傍晚","w":480,"h":360,"location":"30.25,120.16",)"
    R"("locationText":"杭州西湖","owner":{"suid":"1001","nick":"小明","icon":"http://img.example/avatar/1001.jpg"},)"
    R"("finishTime":1357000000000,"status":1,"lengthNice":"00:12"},)"
    R"("pic":{"base":"http://img.example/pic/","m":"sc3001.jpg"},)"
    R"("stream":{"base":"http://video.example/","ios":"mp4"},)"
    R"("mark":{"result":[],"total":0},"with":{"result":[],"total":0},)"
    R"("comment":{"result":[{"content":"拍得真好","fromUser":{"suid":"1002","nick":"阿芳"},"createTime":1357000100000}],"total":1},)"
    R"("pagedcmt":{"result":[],"total":0},"visit":{"result":[],"total":0},"stat":{"hcnt":3}})";

const char* const kApiMessageJson =
    R"({"msg":"你的视频被推荐到了广场","mark":2,"createTime":1357000200000,)"
    R"("channel":{"scid":"sc3001","pic":{"base":"http://img.example/pic/","m":"sc3001.jpg"}}})";

const char* const kApiTopicJson = R"({"stpid":"t4001","topic":"#西湖#","isnew":0})";

namespace {

Response refusal(int status, const char* message)
{
    return jsonReply(R"({"status":)" + std::to_string(status) + R"(,"msg":")" + message + "\"}");
}

std::string record(std::string_view resultJson)
{
    return R"({"status":200,"msg":"","result":)" + std::string(resultJson) + "}";
}

// What a call answers with when it is allowed.
enum class Kind { Ok, Users, Channels, Channel, Comments, Messages, Topics, Square, User, Remind, Settings, Version };

std::string body(Kind kind)
{
    switch (kind) {
    case Kind::Ok: return apiOkReply();
    case Kind::Users: return apiListReply(kApiUserJson, 1);
    case Kind::Channels: return apiListReply(kApiChannelJson, 1);
    case Kind::Channel: return record(kApiChannelJson);
    case Kind::Comments: return apiListReply(kApiCommentJson, 1);
    case Kind::Messages: return apiListReply(kApiMessageJson, 1);
    case Kind::Topics: return apiListReply(kApiTopicJson, 1);
    case Kind::User: return record(kApiUserJson);
    case Kind::Square:
        return record(std::string(R"({"user":[{"pic":"http://img.example/avatar/1001.jpg","data":"1001"}],)") +
                      R"("topic":[{"pic":"http://img.example/pic/t4001.jpg","data":"t4001","title":"#西湖#"}],)" +
                      R"("chan":[{"pic":"http://img.example/pic/sc3001.jpg","data":"sc3001"}]})");
    case Kind::Remind:
        // "fan" and "user" are person records.
        return R"({"status":200,"msg":"","fans":{"cnt":1,)"
               R"("fan":{"suid":"1002","nick":"阿芳","icon":"http://img.example/avatar/1002.jpg"},"text":"阿芳关注了你"},)"
               R"("sys":{"cnt":1,"user":{"suid":"1003","nick":"阿刚","icon":"http://img.example/avatar/1003.jpg"},)"
               R"("text":"你的视频被推荐到了广场","mark":2,"action":"chan","data":"sc3001"}})";
    case Kind::Settings: return record(R"({"data":{"1":"1,1,0,1,1"}})");
    case Kind::Version: return record(R"({"ver":"1.0","url":""})");
    }
    return apiOkReply();
}

// The value of a field of a URL-encoded or multipart body.
std::optional<std::string> field(const Request& request, std::string_view name)
{
    if (request.header("Content-Type").value_or("").starts_with("multipart/form-data")) {
        for (const FormPart& part : multipartParts(request)) {
            if (part.name == name && part.fileName.empty()) {
                return part.content;
            }
        }
        return std::nullopt;
    }
    return findParam(request.formParams(), name);
}

bool isDigest(const std::string& text)
{
    if (text.size() != 32) {
        return false;
    }
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

Response login(const Request& request)
{
    if (request.method == "POST") {
        const std::optional<std::string> type = field(request, "othertype");
        if (!field(request, "user").value_or("").empty() && type && !type->empty()) {
            return jsonReply(accountReplyWithImages(hostOf(request), std::atoi(type->c_str())));
        }
        return refusal(400, "授权信息不完整");
    }
    if (request.param("user").value_or("").empty() || !isDigest(request.param("pwd").value_or(""))) {
        return refusal(400, "用户名或密码错误");
    }
    // The account's pictures load from this service.
    return jsonReply(accountReplyWithImages(hostOf(request), 0));
}

// One API path: what a GET and a post answer, and whether each needs a session.
struct Endpoint {
    const char* path;
    std::optional<Kind> get;
    bool getNeedsToken;
    std::optional<Kind> post;
    bool postNeedsToken;
};

const Endpoint kEndpoints[] = {
    {"/m/people.json", Kind::Users, false, {}, false},
    {"/m/follow-topic.json", Kind::Topics, true, Kind::Ok, true},
    {"/m/category-custom.json", Kind::Square, true, {}, false},
    {"/m/v2_location.json", Kind::Users, true, {}, false},
    {"/m/v2_comment.json", Kind::Comments, false, {}, false},
    {"/m/sysmsg.json", Kind::Messages, true, {}, false},
    {"/m/mark.json", {}, false, Kind::Ok, true},
    {"/m/v2_channel.json", Kind::Channel, true, {}, false},
    {"/m/v2_near.json", Kind::Channels, false, {}, false},
    {"/m/logout.json", {}, false, Kind::Ok, true},
    {"/m/user-info.json", Kind::User, true, {}, false},
    {"/m/v2_feed.json", Kind::Channels, true, {}, false},
    {"/m/v2_user.json", Kind::Channels, true, {}, false},
    {"/m/v2_recent.json", Kind::Channels, true, {}, false},
    {"/m/v2_plaza.json", Kind::Channels, false, {}, false},
    {"/m/v2_topic.json", Kind::Channels, true, {}, false},
    {"/m/relation/follow.json", Kind::Users, true, {}, false},
    {"/m/relation/fans.json", Kind::Users, true, {}, false},
    {"/m/relation/friend.json", Kind::Users, true, {}, false},
    {"/m/follow.json", {}, false, Kind::Ok, true},
    {"/m/comment.json", Kind::Comments, false, Kind::Ok, true},
    {"/m/forward.json", {}, false, Kind::Ok, true},
    {"/m/plaza.json", Kind::Channels, false, {}, false},
    {"/m/category-channel.json", Kind::Channels, false, {}, false},
    {"/m/msg.json", Kind::Messages, true, Kind::Ok, true},
    {"/m/event.json", Kind::Channels, true, {}, false},
    {"/m/msgs.json", Kind::Messages, true, {}, false},
    {"/m/reply.json", Kind::Comments, true, Kind::Ok, true},
    {"/m/modify-info.json", {}, false, Kind::Ok, true},
    {"/m/forget-pwd.json", {}, false, Kind::Ok, false},
    {"/m/upload-icon.json", {}, false, Kind::Ok, true},
    {"/m/upload-cover.json", {}, false, Kind::Ok, true},
    {"/m/bind-lumoweibo.json", {}, false, Kind::Ok, true},
    {"/m/bind-qweibo.json", {}, false, Kind::Ok, true},
    {"/m/unbind-qweibo.json", {}, false, Kind::Ok, true},
    {"/m/find-friend.json", Kind::Users, true, {}, false},
    {"/m/v2_weibofriends.json", Kind::Users, true, {}, false},
    {"/m/search-user.json", Kind::Users, true, {}, false},
    {"/m/recommend.json", Kind::Users, false, {}, false},
    {"/m/error-report.json", {}, false, Kind::Ok, true},
    {"/m/share-lumoweibo.json", {}, false, Kind::Ok, true},
    {"/m/share-qweibo.json", {}, false, Kind::Ok, true},
    {"/m/channel-report.json", {}, false, Kind::Ok, true},
    {"/m/search-channel.json", {}, false, Kind::Channels, false},
    {"/m/ver.json", Kind::Version, false, {}, false},
    {"/m/atme.json", Kind::Comments, true, {}, false},
    {"/m/all-topic.json", Kind::Topics, false, {}, false},
    {"/m/v2_remind.json", Kind::Remind, true, {}, false},
    {"/m/user-settings.json", Kind::Settings, true, Kind::Ok, true},
    {"/m/unbind-weibo.json", {}, false, Kind::Ok, true},
};

// The fixture records name placeholder hosts; a reply names what this service serves instead, so that
// every address in it leads somewhere: avatars, covers and stills to its pictures, streams to its movie,
// share links to its video pages.
std::string servedHere(std::string json, const std::string& host)
{
    const auto replaceAll = [&json](const std::string& from, const std::string& to) {
        for (std::size_t at = json.find(from); at != std::string::npos; at = json.find(from, at + to.size())) {
            json.replace(at, from.size(), to);
        }
    };
    for (int suid = 1001; suid <= 1006; ++suid) {
        replaceAll("http://img.example/avatar/" + std::to_string(suid) + ".jpg",
                   imageUrl(host, "avatar-" + std::to_string(1001 + (suid - 1001) % 4)));
    }
    replaceAll("http://img.example/cover/1001.jpg", imageUrl(host, "cover-1001"));
    replaceAll("http://img.example/pic/t4001.jpg", imageUrl(host, "video-3002"));
    replaceAll(R"("base":"http://img.example/pic/","m":"sc3001.jpg")",
               R"("base":"http://)" + host + R"(/img/","m":"video-3001.png")");
    replaceAll("http://img.example/pic/sc3001.jpg", imageUrl(host, "video-3001"));
    replaceAll("http://video.example/", "http://" + host + "/stream/");
    replaceAll("http://www.example/", "http://" + host + "/");
    return json;
}

Response answer(const Endpoint& endpoint, const Request& request)
{
    const bool posted = request.method == "POST";
    const std::optional<Kind> kind = posted ? endpoint.post : endpoint.get;
    if (!kind) {
        return refusal(405, "不支持的请求方式");
    }
    const bool needsToken = posted ? endpoint.postNeedsToken : endpoint.getNeedsToken;
    if (needsToken && !hasSession(posted ? field(request, "token") : request.param("token"))) {
        return refusal(403, "请先登录");
    }
    return jsonReply(servedHere(body(*kind), hostOf(request)));
}

// A post that needs a session and answers the plain OK.
const Endpoint kPlainPost = {"", {}, false, Kind::Ok, true};

} // namespace

std::string apiOkReply()
{
    return R"({"status":200,"msg":"操作成功"})";
}

namespace {

// An account signed in through a microblog is bound to it for good.
std::string microblogBindings(int otherLoginMode)
{
    const bool lumo = otherLoginMode == 1 || otherLoginMode == 3;
    const bool qq = otherLoginMode == 2;
    if (!lumo && !qq) {
        return R"("bindLumoWeibo":false,"bindQWeibo":false)";
    }
    return std::string(R"("bindLumoWeibo":)") + (lumo ? "true" : "false") + R"(,"bindQWeibo":)" +
           (qq ? "true" : "false") + (lumo ? R"(,"lumoWeibo":{"weiboNick":"西湖边的小明"})" : "") +
           (qq ? R"(,"qWeibo":{"weiboNick":"QQ小明"})" : "") + R"(,"unbindLumoWeibo":)" + (lumo ? "false" : "true") +
           R"(,"unbindQWeibo":)" + (qq ? "false" : "true");
}

} // namespace

std::string apiAccountReply(int otherLoginMode)
{
    return std::string(R"({"status":200,"msg":"登录成功","token":")") + kApiAccountToken +
           R"(","suid":"1001","nick":"小明","icon":"http://img.example/avatar/1001.jpg",)"
           R"("cover":"http://img.example/cover/1001.jpg","email":"xiaoming@example.com","emailv":true,)"
           R"("phone":"13800138000","canlive":true,"otherLoginMode":)" +
           std::to_string(otherLoginMode) +
           R"(,"loginName":"小明",)" + microblogBindings(otherLoginMode) + "}";
}

std::string apiListReply(const std::string& itemJson, int total)
{
    return R"({"status":200,"msg":"","result":[)" + itemJson + R"(],"total":)" + std::to_string(total) + "}";
}

std::vector<FormPart> multipartParts(const Request& request)
{
    std::vector<FormPart> parts;
    const std::string type = request.header("Content-Type").value_or("");
    const std::size_t at = type.find("boundary=");
    if (at == std::string::npos) {
        return parts;
    }
    const std::string delimiter = "--" + type.substr(at + 9);
    const std::string& text = request.body;
    std::size_t position = text.find(delimiter);
    while (position != std::string::npos) {
        position += delimiter.size();
        if (text.compare(position, 2, "--") == 0) {
            break; // the closing delimiter
        }
        position += 2; // CRLF after the delimiter
        const std::size_t headersEnd = text.find("\r\n\r\n", position);
        if (headersEnd == std::string::npos) {
            break;
        }
        const std::size_t next = text.find("\r\n" + delimiter, headersEnd + 4);
        if (next == std::string::npos) {
            break;
        }
        FormPart part;
        const std::string headers = text.substr(position, headersEnd - position);
        auto quoted = [&headers](std::string_view key) {
            const std::size_t start = headers.find(std::string(key) + "=\"");
            if (start == std::string::npos) {
                return std::string();
            }
            const std::size_t from = start + key.size() + 2;
            return headers.substr(from, headers.find('"', from) - from);
        };
        part.name = quoted("name");
        part.fileName = quoted("filename");
        if (const std::size_t typeAt = headers.find("Content-Type: "); typeAt != std::string::npos) {
            const std::size_t from = typeAt + 14;
            const std::size_t end = headers.find("\r\n", from);
            part.contentType = headers.substr(from, end == std::string::npos ? std::string::npos : end - from);
        }
        part.content = text.substr(headersEnd + 4, next - headersEnd - 4);
        parts.push_back(std::move(part));
        position = next + 2;
        position = text.find(delimiter, position);
    }
    return parts;
}

void installApiRoutes(HttpServer& server)
{
    for (const Endpoint& endpoint : kEndpoints) {
        server.route(endpoint.path, [&endpoint](const Request& request) { return answer(endpoint, request); });
    }
    server.route("/m/login.json", login);
    // The paths the engine's commit calls share stay with the commit handlers when they are installed;
    // on a server without them the API answers those posts itself.
    for (const char* path : {kShareWithPath, kVideoSignPath, kShareWeiboPath}) {
        if (!server.hasRoute(path)) {
            server.route(path, [](const Request& request) { return answer(kPlainPost, request); });
        }
    }
    // A change of place from the API carries the coordinates alone (the engine's call adds the place's
    // name); everything else is a commit call.
    server.route(kModifyChannelPath, [](const Request& request) {
        const Params form = request.formParams();
        if (request.method == "POST" && findParam(form, "location") && !findParam(form, "locationText") &&
            !findParam(form, "title")) {
            return answer(kPlainPost, request);
        }
        return handleCommit(request);
    });
    server.route(kMediaPath, [](const Request& request) {
        if (request.method == "GET") {
            return hasSession(request.param("token")) ? jsonReply(servedHere(body(Kind::Channels), hostOf(request)))
                                                      : refusal(403, "请先登录");
        }
        return handleMediaDelete(request);
    });
}

} // namespace standin
