#include "service/AccountRoutes.h"
#include "service/ServiceReplies.h"

#include "service/ApiRoutes.h"
#include "service/ImageRoutes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace standin {

namespace {
namespace AccountRoutes_cpp {

Response refusal(int status, const std::string& message)
{
    return jsonReply(R"({"status":)" + std::to_string(status) + R"(,"msg":")" + message + "\"}");
}


// A field of a URL-encoded or multipart body.
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

bool hasSession(const Request& request)
{
    const std::string token = field(request, "token").value_or("");
    return !token.empty() && token != "(null)";
}

// ---- Routes ----------------------------------------------------------------------------------------

Response registration(const Request& request)
{
    if (request.method != "POST") {
        return refusal(405, "不支持的请求方式");
    }
    const std::string user = field(request, "user").value_or("");
    const std::string password = field(request, "pwd").value_or("");
    if (user.empty()) {
        return refusal(400, "请填写用户名");
    }
    if (user == "xiaoming" || user == "小明") {
        return refusal(400, "该用户名已被注册");
    }
    if (password.size() < 6) {
        return refusal(400, "密码太短");
    }
    const std::string host = hostOf(request);
    return jsonReply(R"({"status":200,"msg":"注册成功","token":"tk-reg-)" + std::to_string(user.size()) +
                 R"(","suid":"1009","nick":)" + jsonQuoted(user) + R"(,"icon":)" +
                 jsonQuoted(imageUrl(host, "avatar-1001")) + R"(,"cover":)" +
                 jsonQuoted(imageUrl(host, "cover-1001")) +
                 R"(,"email":"","emailv":false,"otherLoginMode":0,"loginName":)" + jsonQuoted(user) +
                 R"(,"bindLumoWeibo":false,"bindQWeibo":false,"unbindLumoWeibo":true,"unbindQWeibo":true})");
}

Response forgottenPassword(const Request& request)
{
    // The service marks a sent reminder under both spellings of the key.
    if (field(request, "email").value_or("") == "nobody@example.com") {
        return refusal(404, "该邮箱尚未注册");
    }
    return jsonReply(R"({"status":200,"stauts":200,"msg":"重置密码的邮件已发送"})");
}

Response modifyInfo(const Request& request)
{
    if (request.method != "POST") {
        return refusal(405, "不支持的请求方式");
    }
    if (!hasSession(request)) {
        return refusal(403, "请先登录");
    }
    if (const auto email = field(request, "email")) {
        if (*email == "used@example.com") {
            return refusal(400, "该邮箱已被其他账号使用");
        }
        return jsonReply(R"({"status":200,"msg":"修改成功","email":"need verify"})");
    }
    if (const auto nick = field(request, "nick")) {
        if (*nick == "管理员") {
            return refusal(400, "该昵称不可使用");
        }
        return jsonReply(R"({"status":200,"msg":"修改成功","nick":)" + jsonQuoted(*nick) + "}");
    }
    if (const auto password = field(request, "pwd")) {
        if (field(request, "old").value_or("") == "wrong123") {
            return refusal(400, "原密码错误");
        }
        // A new session token for the new password.
        return jsonReply(R"({"status":200,"msg":"修改成功","newToken":)" + jsonQuoted("tk-pwd-" + std::to_string(password->size())) + "}");
    }
    if (const auto phone = field(request, "phone")) {
        if (*phone == "13900000000") {
            return refusal(400, "该手机号已被其他账号使用");
        }
        return jsonReply(R"({"status":200,"msg":"修改成功","phone":)" + jsonQuoted(*phone) + "}");
    }
    return jsonReply(apiOkReply());
}

Response pictureChange(const Request& request, const char* key, const char* name)
{
    if (request.method != "POST") {
        return refusal(405, "不支持的请求方式");
    }
    if (!hasSession(request)) {
        return refusal(403, "请先登录");
    }
    return jsonReply(R"({"status":200,"msg":"上传成功",")" + std::string(key) + R"(":)" +
                 jsonQuoted(imageUrl(hostOf(request), name)) + "}");
}

Response unbind(const Request& request)
{
    if (request.method != "POST") {
        return refusal(405, "不支持的请求方式");
    }
    if (!hasSession(request)) {
        return refusal(403, "请先登录");
    }
    const int type = std::atoi(field(request, "othertype").value_or("0").c_str());
    if (type != 1 && type != 2) {
        return refusal(400, "未知的微博类型");
    }
    return jsonReply(R"({"status":200,"msg":"解除绑定成功","othertype":)" + std::to_string(type) + "}");
}

Response bind(const Request& request, const char* nick)
{
    if (request.method != "POST") {
        return refusal(405, "不支持的请求方式");
    }
    if (!hasSession(request)) {
        return refusal(403, "请先登录");
    }
    return jsonReply(R"({"status":200,"msg":"绑定成功","weiboNick":)" + jsonQuoted(nick) + R"(,"weiboToken":)" +
                 jsonQuoted(field(request, "weiboToken").value_or("")) + R"(,"weiboTokenSecret":)" +
                 jsonQuoted(field(request, "weiboTokenSecret").value_or("")) + "}");
}

Response aboutPage(const Request& request)
{
    const std::string edition = request.param("vend").value_or("");
    Response response;
    response.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
    // The application's bar already says "关于" above the page: the page opens with its text, not
    // with a heading that repeats the bar.
    response.body = "<html><head><meta charset=\"utf-8\"><title>关于Ombri</title></head><body>"
                    "<p>Ombri是一款手机视频分享软件：随手拍下身边的精彩，一键分享给朋友。</p>"
                    "<p>版本：" + edition + " 版 1.0</p>"
                    "<p>客服邮箱：service@ombri.example</p></body></html>";
    return response;
}

} // namespace AccountRoutes_cpp
} // namespace

std::string accountReplyWithImages(const std::string& hostPort, int otherLoginMode)
{
    std::string account = apiAccountReply(otherLoginMode);
    auto replace = [&account](const std::string& from, const std::string& to) {
        if (const std::size_t at = account.find(from); at != std::string::npos) {
            account.replace(at, from.size(), to);
        }
    };
    replace("http://img.example/avatar/1001.jpg", imageUrl(hostPort, "avatar-1001"));
    replace("http://img.example/cover/1001.jpg", imageUrl(hostPort, "cover-1001"));
    return account;
}

void installAccountRoutes(HttpServer& server)
{
    using namespace AccountRoutes_cpp;
    server.route("/m/reg.json", registration);
    server.route("/m/forget-pwd.json", forgottenPassword);
    server.route("/m/modify-info.json", modifyInfo);
    server.route("/m/upload-icon.json", [](const Request& request) { return pictureChange(request, "newIcon", "avatar-1002"); });
    server.route("/m/upload-cover.json", [](const Request& request) { return pictureChange(request, "newCover", "video-3002"); });
    server.route("/m/unbind-weibo.json", unbind);
    server.route("/m/bind-lumoweibo.json", [](const Request& request) { return bind(request, "西湖边的小明"); });
    server.route("/m/bind-qweibo.json", [](const Request& request) { return bind(request, "QQ小明"); });
    server.route("/oem.html", aboutPage);
}

} // namespace standin
