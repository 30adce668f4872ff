#include "service/FriendRoutes.h"
#include "service/ServiceReplies.h"

#include "service/CommitRoutes.h"
#include "service/ImageRoutes.h"
#include "service/ProfileRoutes.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace standin {

namespace {
namespace FriendRoutes_cpp {

const char* const kNicks[] = {"小明", "阿芳", "阿刚", "小红", "老王", "晓峰", "丽丽", "大壮", "小美", "阿杰"};
const char* const kWeiboNicks[] = {"西湖边的猫", "吃货小分队", "背包客阿亮", "摄影师老陈", "晴天娃娃"};
const char* const kAvatars[] = {"avatar-1001", "avatar-1002", "avatar-1003", "avatar-1004"};
// What the find-friends list says about a person; an empty text shows the fans instead.
const char* const kReasons[] = {"你的微博好友", "", "共同关注 阿芳", "", "同城 杭州"};
// 0 not followed, 1 followed, 4 the account itself (no button).
const int kRelations[] = {0, 1, 0, 4, 0, 1};

std::size_t number(const std::optional<std::string>& text, std::size_t fallback)
{
    if (!text || text->empty() || text->find_first_not_of("0123456789") != std::string::npos || text->size() > 6) {
        return fallback;
    }
    return std::stoul(*text);
}

std::string nickOf(std::size_t n)
{
    const std::size_t count = sizeof(kNicks) / sizeof(kNicks[0]);
    return n < count ? kNicks[n] : std::string(kNicks[n % count]) + std::to_string(n / count + 1);
}

std::string person(const std::string& host, std::size_t n, bool withFans, std::size_t firstSuid = 3001)
{
    std::string json = R"({"suid":")" + std::to_string(firstSuid + n) + R"(","nick":")" + nickOf(n) + R"(","icon":")" +
                       imageUrl(host, kAvatars[n % 4]) + "\"";
    if (withFans) {
        json += R"(,"fansCnt":)" + std::to_string((n * 37) % 500 + 3);
    }
    return json + "}";
}

// The items [first, first + per) of a list of `count`, made by `make`.
template <class Make>
std::vector<std::string> page(const Request& request, std::size_t count, Make make)
{
    const std::size_t pageNumber = std::max<std::size_t>(1, number(request.param("page"), 1));
    const std::size_t per = number(request.param("per"), 20);
    std::vector<std::string> items;
    for (std::size_t n = (pageNumber - 1) * per; n < count && n < pageNumber * per; ++n) {
        items.push_back(make(n));
    }
    return items;
}

Response listReply(const std::vector<std::string>& items, std::size_t total)
{
    return jsonReply(R"({"status":200,"msg":"","result":)" + jsonList(items) + R"(,"total":)" + std::to_string(total) + "}");
}

// The people one may know as the world has them: strangers only ("5001" on, with the same nicks,
// reasons and fan counts), never the account nor anyone followed, nor anyone of their names.
Response possibleKnownInWorld(const Request& request, const World& world)
{
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    const std::string host = hostOf(request);
    // Nobody the person would take for themself or for someone they follow.
    std::set<std::string> known = {kAccountNick};
    for (const std::string& suid : world.followedPeople()) {
        known.insert(personNick(suid));
    }
    std::vector<std::size_t> strangers;
    for (std::size_t n = 0; n < kPossibleKnownCount; ++n) {
        if (!world.followsPerson(std::to_string(5001 + n)) && known.count(nickOf(n)) == 0) {
            strangers.push_back(n);
        }
    }
    return listReply(page(request, strangers.size(),
                          [&](std::size_t at) {
                              const std::size_t n = strangers[at];
                              return R"({"user":)" + person(host, n, true, 5001) + R"(,"relation":)" +
                                     std::to_string(world.relationTo(std::to_string(5001 + n))) + R"(,"msg":")" +
                                     kReasons[n % 5] + "\"}";
                          }),
                     strangers.size());
}

// Every third friend has no account on the service (relation -1, no "user"); the others do.
Response weiboFriends(const Request& request)
{
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    const std::string host = hostOf(request);
    const bool qq = request.param("othertype").value_or("") == "2";
    return listReply(page(request, kWeiboFriendCount,
                          [&host, qq](std::size_t n) {
                              const std::string nick = std::string(kWeiboNicks[n % 5]) +
                                                       (n < 5 ? "" : std::to_string(n / 5 + 1));
                              std::string item = R"({"weibo":{"nick":")" + nick + R"(","icon":")" +
                                                 imageUrl(host, kAvatars[(n + 1) % 4]) + R"(","name":")" +
                                                 (qq ? "qq_friend_" : "lumo_friend_") + std::to_string(n + 1) + "\"}";
                              if (n % 3 == 0) {
                                  return item + R"(,"relation":-1})";
                              }
                              return item + R"(,"relation":)" + std::to_string(n % 2) + R"(,"user":)" +
                                     person(host, n, true) + "}";
                          }),
                     kWeiboFriendCount);
}

Response searchUser(const Request& request)
{
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    const std::string host = hostOf(request);
    const std::string keyword = request.param("keyword").value_or("");
    std::vector<std::string> found;
    for (std::size_t n = 0; n < sizeof(kNicks) / sizeof(kNicks[0]) && !keyword.empty(); ++n) {
        if (nickOf(n).find(keyword) != std::string::npos) {
            found.push_back(R"({"user":)" + person(host, n, true) + R"(,"relation":)" + std::to_string(kRelations[n % 6]) +
                            R"(,"msg":""})");
        }
    }
    return listReply(found, found.size());
}

Response recommendedPeople(const Request& request)
{
    const std::string host = hostOf(request);
    return listReply(page(request, kRecommendedPeopleCount, [&host](std::size_t n) { return person(host, n, false); }),
                     kRecommendedPeopleCount);
}

Response follow(const Request& request)
{
    if (request.method != "POST") {
        return jsonReply(R"({"status":405,"msg":"不支持的请求方式"})");
    }
    const Params form = request.formParams();
    if (!hasSession(findParam(form, "token"))) {
        return needLogin();
    }
    const char* relation = findParam(form, "_method").value_or("") == "delete" ? "0" : "1";
    return jsonReply(std::string(R"({"status":200,"msg":"操作成功","relation":)") + relation + R"(,"type":)" + relation + "}");
}

// An invitation is a share without a video; a share of a video is the engine's commit call.
Response shareWeibo(const Request& request)
{
    const Params form = request.formParams();
    if (request.method == "POST" && findParam(form, "scid").value_or("").empty() &&
        !findParam(form, "msg").value_or("").empty() && !findParam(form, "othertype").value_or("").empty()) {
        return hasSession(findParam(form, "token")) ? jsonReply(R"({"status":200,"msg":"分享成功"})") : needLogin();
    }
    return handleCommit(request);
}

} // namespace FriendRoutes_cpp
} // namespace

Response possibleKnownWithEveryRelation(const Request& request)
{
    using namespace FriendRoutes_cpp;
    if (!hasSession(request.param("token"))) {
        return needLogin();
    }
    const std::string host = hostOf(request);
    return listReply(page(request, kPossibleKnownCount,
                          [&host](std::size_t n) {
                              return R"({"user":)" + person(host, n, true) + R"(,"relation":)" +
                                     std::to_string(kRelations[n % 6]) + R"(,"msg":")" + kReasons[n % 5] + "\"}";
                          }),
                     kPossibleKnownCount);
}

std::string suggestionNick(const std::string& suid)
{
    const int number = std::atoi(suid.c_str());
    if (number < 5001 || number >= 5001 + int(kPossibleKnownCount)) {
        return "";
    }
    return FriendRoutes_cpp::nickOf(std::size_t(number - 5001));
}

void installFriendRoutes(HttpServer& server, const World* world)
{
    using namespace FriendRoutes_cpp;
    if (world != nullptr) {
        server.route("/m/find-friend.json",
                     [world](const Request& request) { return possibleKnownInWorld(request, *world); });
    } else {
        server.route("/m/find-friend.json", possibleKnownWithEveryRelation);
    }
    server.route("/m/v2_weibofriends.json", weiboFriends);
    server.route("/m/search-user.json", searchUser);
    server.route("/m/people.json", recommendedPeople);
    server.route("/m/follow.json", follow);
    server.route(kShareWeiboPath, shareWeibo);
}

} // namespace standin
