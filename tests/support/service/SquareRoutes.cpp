#include "service/SquareRoutes.h"
#include "service/ServiceReplies.h"

#include "service/ImageRoutes.h"
#include "service/ProfileRoutes.h"

#include <string>
#include <vector>

namespace standin {

namespace {
namespace SquareRoutes_cpp {

const char* const kAvatars[] = {"avatar-1001", "avatar-1002", "avatar-1003", "avatar-1004"};
const char* const kTopicWords[] = {"西湖", "美食", "旅行", "春节", "萌宠", "街拍"};
const char* const kStills[] = {"video-3001", "video-3002"};

// A place's visitor: the person first, then the people of the feeds ("1001" to "1004"), named and
// pictured as their own pages and the feeds show them.
std::string visitor(const std::string& host, std::size_t n)
{
    const std::string suid = std::to_string(1001 + n);
    return R"({"suid":")" + suid + R"(","nick":)" + jsonQuoted(personNick(suid)) + R"(,"icon":")" +
           imageUrl(host, kAvatars[n % 4]) + R"("})";
}

Response square(const Request& request)
{
    const std::string host = hostOf(request);
    std::vector<std::string> people;
    for (std::size_t n = 0; n < kSquarePeopleCount; ++n) {
        people.push_back(R"({"pic":")" + imageUrl(host, kAvatars[n % 4]) + R"(","data":")" + std::to_string(2001 + n) +
                         R"("})");
    }
    std::vector<std::string> topics;
    std::vector<std::string> videos;
    for (std::size_t n = 0; n < 5; ++n) {
        topics.push_back(R"({"pic":")" + imageUrl(host, kStills[n % 2]) + R"(","data":"t40)" + std::to_string(n + 1) +
                         R"(","title":"#)" + kTopicWords[n] + R"(#"})");
        videos.push_back(R"({"pic":")" + imageUrl(host, kStills[(n + 1) % 2]) + R"(","data":"sc300)" +
                         std::to_string(n + 1) + R"("})");
    }
    return jsonReply(R"({"status":200,"msg":"","result":{"user":)" + jsonList(people) + R"(,"topic":)" + jsonList(topics) +
                R"(,"chan":)" + jsonList(videos) + "}}");
}

Response followedTopics(const Request& request)
{
    if (request.method == "POST") {
        return hasSession(findParam(request.formParams(), "token")) ? jsonReply(R"({"status":200,"msg":"操作成功"})")
                                                                     : needLogin();
    }
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    std::vector<std::string> topics;
    if (request.param("page").value_or("1") == "1") {
        for (std::size_t n = 0; n < kFollowedTopicCount; ++n) {
            topics.push_back(R"({"stpid":"t40)" + std::to_string(n + 1) + R"(","topic":"#)" + kTopicWords[n] +
                             R"(#","isnew":)" + (n % 3 == 0 ? "true" : "false") + "}");
        }
    }
    return jsonReply(R"({"status":200,"msg":"","result":)" + jsonList(topics) + R"(,"total":)" +
                std::to_string(kFollowedTopicCount) + "}");
}

Response visitors(const Request& request)
{
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    const std::string host = hostOf(request);
    std::vector<std::string> owners;
    for (std::size_t n = 0; n < 4; ++n) {
        owners.push_back(R"({"user":)" + visitor(host, n) + R"(,"count":)" + std::to_string(4 - n) + "}");
    }
    return jsonReply(R"({"status":200,"msg":"","title":")" + std::string(kPlaceTitle) + R"(","owner":)" + jsonList(owners) +
                "}");
}

} // namespace SquareRoutes_cpp
} // namespace

void installSquareRoutes(HttpServer& server)
{
    using namespace SquareRoutes_cpp;
    server.route("/m/category-custom.json", square);
    server.route("/m/follow-topic.json", followedTopics);
    server.route("/m/v2_location.json", visitors);
}

} // namespace standin
