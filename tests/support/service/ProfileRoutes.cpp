#include "service/ProfileRoutes.h"
#include "service/ServiceReplies.h"

#include "service/FeedRoutes.h"
#include "service/FriendRoutes.h"
#include "service/ImageRoutes.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace standin {

namespace {
namespace ProfileRoutes_cpp {

Response refusal(int status, const char* message)
{
    return jsonReply(R"({"status":)" + std::to_string(status) + R"(,"msg":")" + message + "\"}");
}

int number(const std::optional<std::string>& text, int fallback)
{
    const int value = text ? std::atoi(text->c_str()) : 0;
    return value > 0 ? value : fallback;
}

struct Person {
    std::string suid;
    std::string nick;
    int avatar;  // 1001 to 1004
    int type;
};

// The two lists and the relations the follow post changes; shared by the routes of one install.
struct Relations {
    std::mutex mutex;
    std::vector<Person> follow;
    std::vector<Person> fans;
    long followTotal = -1;
    long fansTotal = -1;
    std::map<std::string, int> relation;  // by suid
};

std::string personJson(const Person& person, int type, const std::string& host)
{
    return R"({"suid":")" + person.suid + R"(","nick":")" + person.nick + R"(","icon":")" +
           imageUrl(host, "avatar-" + std::to_string(person.avatar)) + R"(","type":)" + std::to_string(type) + "}";
}

Response listPage(const std::shared_ptr<Relations>& relations, const Request& request, bool fans)
{
    if (!hasSession(request.param("token"))) {
        return refusal(403, "请先登录");
    }
    const std::size_t page = std::size_t(number(request.param("page"), 1));
    const std::size_t per = std::size_t(number(request.param("per"), 50));
    const std::string host = hostOf(request);
    std::lock_guard hold(relations->mutex);
    const std::vector<Person>& people = fans ? relations->fans : relations->follow;
    const long total = fans ? relations->fansTotal : relations->followTotal;
    const std::size_t from = std::min(people.size(), (page - 1) * per);
    const std::size_t to = std::min(people.size(), from + per);
    std::string result;
    for (std::size_t i = from; i < to; ++i) {
        result += (result.empty() ? "" : ",") + personJson(people[i], relations->relation[people[i].suid], host);
    }
    return jsonReply(R"({"status":200,"msg":"","result":[)" + result + R"(],"total":)" +
                std::to_string(total < 0 ? long(people.size()) : total) + "}");
}

Response follow(const std::shared_ptr<Relations>& relations, const Request& request)
{
    if (request.method != "POST") {
        return refusal(405, "不支持的请求方式");
    }
    const Params form = request.formParams();
    if (!hasSession(findParam(form, "token"))) {
        return refusal(403, "请先登录");
    }
    const std::string suid = findParam(form, "suid").value_or("");
    if (suid.empty()) {
        return refusal(400, "用户不存在");
    }
    const bool stop = findParam(form, "_method").value_or("") == "delete";
    std::lock_guard hold(relations->mutex);
    int& type = relations->relation[suid];
    if (type != 4 && type != -1) {
        type = stop ? (type & ~1) : (type | 1);
    }
    return jsonReply(R"({"status":200,"msg":"操作成功","relation":)" + std::to_string(type) + R"(,"type":)" +
                std::to_string(type) + "}");
}

Response userInfo(const Request& request, const World* world)
{
    if (request.method != "GET") {
        return refusal(405, "不支持的请求方式");
    }
    if (!hasSession(request.param("token"))) {
        return refusal(403, "请先登录");
    }
    const std::string host = hostOf(request);
    const auto picture = [&](const std::string& seeded) {
        const std::string uploaded = world != nullptr ? world->uploadedPicture(seeded) : std::string();
        return uploaded.empty() ? imageUrl(host, seeded) : uploaded;
    };
    return jsonReply(R"({"status":200,"msg":"","suid":"1001","nick":"小明","icon":")" + picture("avatar-1001") +
                R"(","cover":")" + picture("cover-1001") +
                R"(","loginName":"xiaoming","email":"xiaoming@example.com","emailv":true,)"
                R"("phone":)" + jsonQuoted(world != nullptr ? world->phone() : kAccountPhone) +
                R"(,"desc":"西湖边长大的摄影爱好者"})");
}

void installLists(HttpServer& server, const std::shared_ptr<Relations>& relations)
{
    server.route("/m/relation/follow.json",
                 [relations](const Request& request) { return listPage(relations, request, false); });
    server.route(kFansPath, [relations](const Request& request) { return listPage(relations, request, true); });
}

// The lists as the world has them: the account's follow list is whom it follows; anyone else's fans
// list holds the account while it follows them; every relation is the account's to that person.
Response worldListPage(const World& world, const std::shared_ptr<Relations>& seeded, const Request& request, bool fans)
{
    if (!hasSession(request.param("token"))) {
        return refusal(403, "请先登录");
    }
    const std::string suid = request.param("suid").value_or("");
    std::vector<Person> people;
    if (!fans && suid == kAccountSuid) {
        for (const std::string& followed : world.followedPeople()) {
            people.push_back(Person{followed, personNick(followed), 1001 + std::atoi(followed.c_str()) % 4, 0});
        }
    } else {
        if (fans && suid != kAccountSuid && world.followsPerson(suid)) {
            people.push_back(Person{kAccountSuid, kAccountNick, 1001, 0});
        }
        std::lock_guard hold(seeded->mutex);
        const std::vector<Person>& list = fans ? seeded->fans : seeded->follow;
        people.insert(people.end(), list.begin(), list.end());
    }
    const std::size_t page = std::size_t(number(request.param("page"), 1));
    const std::size_t per = std::size_t(number(request.param("per"), 50));
    const std::string host = hostOf(request);
    const std::size_t from = std::min(people.size(), (page - 1) * per);
    const std::size_t to = std::min(people.size(), from + per);
    std::vector<std::string> items;
    for (std::size_t i = from; i < to; ++i) {
        items.push_back(personJson(people[i], world.relationTo(people[i].suid), host));
    }
    return jsonReply(R"({"status":200,"msg":"","result":)" + jsonList(items) + R"(,"total":)" +
                     std::to_string(people.size()) + "}");
}

}  // namespace ProfileRoutes_cpp
}  // namespace

namespace {
namespace ProfileRoutes_cpp {

std::shared_ptr<Relations> makeRelations(std::size_t followCount, std::size_t fansCount, long followTotal,
                                         long fansTotal)
{
    auto relations = std::make_shared<Relations>();
    relations->followTotal = followTotal;
    relations->fansTotal = fansTotal;
    const std::vector<std::string> followNames = relationNames(followCount, false);
    for (std::size_t i = 0; i < followCount; ++i) {
        Person person{std::to_string(2000 + i), followNames[i], int(1001 + i % 4), 0};
        // Everyone the user follows is followed by the account too; every third follows it back.
        relations->relation[person.suid] = i % 3 == 2 ? 3 : 1;
        relations->follow.push_back(std::move(person));
    }
    const std::vector<std::string> fanNames = relationNames(fansCount, true);
    for (std::size_t i = 0; i < fansCount; ++i) {
        Person person{std::to_string(3000 + i), fanNames[i], int(1001 + (i + 2) % 4), 0};
        // Fans the account follows back are mutual (3); the others are not followed (2).
        relations->relation[person.suid] = i % 2 == 0 ? 2 : 3;
        relations->fans.push_back(std::move(person));
    }
    // The account itself, seen in a list of someone else's.
    relations->relation["1001"] = 4;
    return relations;
}

}  // namespace ProfileRoutes_cpp
}  // namespace

std::vector<std::string> relationNames(std::size_t count, bool fans)
{
    static const char* const followed[] = {"阿芳", "王大锤", "李雷", "韩梅梅", "张小凡", "陈晓",
                                           "西湖边的摄影师", "赵子龙", "吴小燕", "周杰", "孙悟空", "林黛玉"};
    static const char* const fanNames[] = {"爱旅行的猫", "杭州小吃货", "老王", "晨跑的小鹿", "北京胡同",
                                           "咖啡不加糖", "夏天的风", "小确幸", "南山南", "一只喵"};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = fans ? std::size(fanNames) : std::size(followed);
        const char* base = fans ? fanNames[i % n] : followed[i % n];
        out.push_back(i < n ? std::string(base) : std::string(base) + std::to_string(i / n + 1));
    }
    return out;
}

void installRelationPages(HttpServer& server, std::size_t followCount, std::size_t fansCount, long followTotal,
                          long fansTotal)
{
    auto relations = ProfileRoutes_cpp::makeRelations(followCount, fansCount, followTotal, fansTotal);
    ProfileRoutes_cpp::installLists(server, relations);
    server.route(kFollowPostPath,
                 [relations](const Request& request) { return ProfileRoutes_cpp::follow(relations, request); });
}

std::string personNick(const std::string& suid)
{
    const int number = std::atoi(suid.c_str());
    if (number >= 2000 && number < 2000 + int(kProfileFollowCount)) {
        return relationNames(kProfileFollowCount, false)[std::size_t(number - 2000)];
    }
    if (number >= 3000 && number < 3000 + int(kProfileFansCount)) {
        return relationNames(kProfileFansCount, true)[std::size_t(number - 3000)];
    }
    if (suid == kAccountSuid) {
        return kAccountNick;
    }
    if (std::string nick = feedPersonNick(suid); !nick.empty()) {
        return nick;
    }
    if (std::string nick = suggestionNick(suid); !nick.empty()) {
        return nick;
    }
    return "用户" + suid;
}

void installProfileRoutes(HttpServer& server, World* world)
{
    using namespace ProfileRoutes_cpp;
    server.route(kUserInfoPath, [world](const Request& request) { return userInfo(request, world); });
    auto seeded = makeRelations(kProfileFollowCount, kProfileFansCount, -1, -1);
    if (world == nullptr) {
        installLists(server, seeded);
        return;
    }
    server.route("/m/relation/follow.json",
                 [world, seeded](const Request& request) { return worldListPage(*world, seeded, request, false); });
    server.route(kFansPath,
                 [world, seeded](const Request& request) { return worldListPage(*world, seeded, request, true); });
}

} // namespace standin
