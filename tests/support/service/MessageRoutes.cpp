#include "service/MessageRoutes.h"
#include "service/ServiceReplies.h"

#include "service/ImageRoutes.h"

#include <chrono>
#include <vector>

namespace standin {

namespace {
namespace MessageRoutes_cpp {

struct Sender {
    const char* suid;
    const char* nick;
    const char* avatar;
};

const Sender kSenders[] = {{"1002", "阿芳", "avatar-1002"}, {"1003", "阿刚", "avatar-1003"}, {"1004", "小红", "avatar-1004"},
                           {"1001", "Ombri小助手", "avatar-1001"}};
const char* const kVideoTitles[] = {"西湖边的傍晚", "断桥残雪", "灵隐寺的钟声", "龙井村的茶园", "苏堤春晓"};
const char* const kReplies[] = {"拍得真好，西湖的晚霞！下次一起去断桥看日落吧", "哈哈，太有意思了", "这是在哪里拍的？求地址",
                                "好美的画面，收藏了！"};

std::string user(const std::string& host, const Sender& sender)
{
    return std::string(R"({"suid":")") + sender.suid + R"(","nick":")" + sender.nick + R"(","icon":")" +
           imageUrl(host, sender.avatar) + R"("})";
}

std::string video(const std::string& host, const std::string& scid, const char* still, int width, int height)
{
    return R"({"scid":")" + scid + R"(","ext":{"w":)" + std::to_string(width) + R"(,"h":)" + std::to_string(height) +
           R"(},"pic":{"base":"http://)" + host + R"(/img/","m":")" + still + R"(.png"}})";
}

long long millisecondsNow()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace MessageRoutes_cpp
} // namespace

std::string messageJson(const std::string& host, std::size_t n)
{
    using namespace MessageRoutes_cpp;
    const std::string scid = "sc300" + std::to_string(n % 5 + 1);
    const std::string title = kVideoTitles[n % 5];
    // Minutes apart at first, then hours, then days.
    const long long minutesAgo = n < 5 ? 3 + 9 * static_cast<long long>(n) : 90 * static_cast<long long>(n * n);
    const std::string time = std::to_string(millisecondsNow() - minutesAgo * 60 * 1000);
    std::string fields;
    switch (n % 5) {
    case 0: {
        const Sender& from = kSenders[n % 3];
        fields = R"("action":"chan","data":")" + scid + R"(","user":)" + user(host, from) + R"(,"mark":)" +
                 std::to_string((n / 5) % 5 + 1) + R"(,"msg":")" + from.nick + "给你的视频《" + title +
                 R"(》标记了心情","channel":)" + video(host, scid, "video-3001", 480, 360);
        break;
    }
    case 1: {
        const Sender& from = kSenders[(n + 1) % 3];
        fields = R"("action":"cmt","data":"c20)" + std::to_string(10 + n) + R"(","user":)" + user(host, from) +
                 R"(,"msg":")" + from.nick + "回复了你：" + kReplies[n % 4] + R"(","channel":)" +
                 video(host, scid, "video-3003", 360, 480);
        break;
    }
    case 2: {
        const Sender& from = kSenders[(n + 2) % 3];
        fields = R"("action":"user","data":")" + std::string(from.suid) + R"(","user":)" + user(host, from) +
                 R"(,"msg":")" + from.nick + R"(关注了你")";
        break;
    }
    case 3:
        fields = R"("action":"url","data":"http://)" + host + R"(/oem.html?vend=lumo","user":)" +
                 user(host, kSenders[3]) +
                 R"(,"msg":"Ombri新版本上线啦：全新的滤镜、更快的上传，还有更多惊喜等你发现，点这里看看吧")";
        break;
    default:
        fields = R"("action":"sys","data":"","user":)" + user(host, kSenders[3]) + R"(,"msg":"你的视频《)" + title +
                 R"(》被推荐到了广场","channel":)" + video(host, scid, "video-3002", 640, 360);
        break;
    }
    return "{" + fields + R"(,"createTime":)" + time + "}";
}

void installMessageRoutes(HttpServer& server)
{
    using namespace MessageRoutes_cpp;
    server.route("/m/sysmsg.json", [](const Request& request) {
        if (!hasSession(request.param("token"))) {
            return jsonReply(R"({"status":403,"msg":"请先登录"})");
        }
        const std::string host = request.header("Host").value_or("127.0.0.1");
        long page = 1;
        long per = 20;
        try {
            page = std::stol(request.param("page").value_or("1"));
            per = std::stol(request.param("per").value_or("20"));
        } catch (...) {
            return jsonReply(R"({"status":400,"msg":"参数错误"})");
        }
        std::string items;
        if (page >= 1 && per > 0) {
            for (long n = (page - 1) * per; n < page * per && n < static_cast<long>(kMessageCount); ++n) {
                items += (items.empty() ? "" : ",") + messageJson(host, static_cast<std::size_t>(n));
            }
        }
        return jsonReply(R"({"status":200,"msg":"","result":[)" + items + R"(],"total":)" + std::to_string(kMessageCount) +
                    "}");
    });
}

} // namespace standin
