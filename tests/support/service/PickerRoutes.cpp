#include "service/PickerRoutes.h"
#include "service/ServiceReplies.h"

#include <algorithm>
#include <cstdlib>

namespace standin {

namespace {
namespace PickerRoutes_cpp {

int number(const std::optional<std::string>& text, int fallback)
{
    const int value = text ? std::atoi(text->c_str()) : 0;
    return value > 0 ? value : fallback;
}

// The page's slice of `count` items as a reply of JSON records made by `item`.
template <class Item>
std::string page(const Request& request, std::size_t count, long total, int defaultPer, Item item)
{
    const std::size_t pageNumber = std::size_t(number(request.param("page"), 1));
    const std::size_t per = std::size_t(number(request.param("per"), defaultPer));
    const std::size_t from = std::min(count, (pageNumber - 1) * per);
    const std::size_t to = std::min(count, from + per);
    std::string result;
    for (std::size_t i = from; i < to; ++i) {
        result += (result.empty() ? "" : ",") + item(i);
    }
    return R"({"status":200,"msg":"","result":[)" + result + R"(],"total":)" +
           std::to_string(total < 0 ? long(count) : total) + "}";
}

bool hasSession(const Request& request)
{
    const std::string token = request.param("token").value_or("");
    return !token.empty() && token != "(null)";
}

}  // namespace PickerRoutes_cpp
}  // namespace

std::vector<std::string> pickerTopicWords(std::size_t count)
{
    static const char* const words[] = {"西湖", "春节", "美食", "旅行", "萌宠", "街拍", "毕业季", "音乐节",
                                        "下雪了", "早餐", "健身", "读书", "日落", "海边", "咖啡", "地铁",
                                        "夜市", "火锅", "摄影", "宝宝", "跑步", "周末", "樱花", "故宫",
                                        "上海外滩", "家乡"};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = std::size(words);
        out.push_back(i < n ? words[i] : std::string(words[i % n]) + std::to_string(i / n + 1));
    }
    return out;
}

std::vector<std::string> pickerFriendNames(std::size_t count)
{
    // The eighth name is long: its chip does not fit beside three others.
    static const char* const names[] = {"阿芳", "小明", "王大锤", "李雷", "韩梅梅", "张小凡", "陈晓",
                                        "西湖边的摄影爱好者小王同学", "赵子龙", "孙悟空", "周杰", "吴小燕"};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = std::size(names);
        out.push_back(i < n ? names[i] : std::string(names[i % n]) + std::to_string(i / n + 1));
    }
    return out;
}

void installTopicPages(HttpServer& server, std::size_t count)
{
    const std::vector<std::string> words = pickerTopicWords(count);
    server.route(kAllTopicPath, [words](const Request& request) {
        return jsonReply(PickerRoutes_cpp::page(request, words.size(), -1, 20, [&](std::size_t i) {
            return R"({"stpid":"t4)" + std::to_string(100 + i) + R"(","topic":"#)" + words[i] +
                   R"(#","isnew":0,"desc":null})";
        }));
    });
}

void installFollowPages(HttpServer& server, std::size_t count, std::string iconBase, long total)
{
    const std::vector<std::string> names = pickerFriendNames(count);
    server.route(kFollowPath, [names, iconBase, total](const Request& request) {
        if (!PickerRoutes_cpp::hasSession(request)) {
            return jsonReply(R"({"status":403,"msg":"请先登录"})");
        }
        return jsonReply(PickerRoutes_cpp::page(request, names.size(), total, 50, [&](std::size_t i) {
            const std::string suid = std::to_string(2000 + i);
            const std::string icon = iconBase.empty() ? std::string() : iconBase + std::to_string(1 + i % 4) + ".png";
            return R"({"suid":")" + suid + R"(","nick":")" + names[i] + R"(","icon":")" + icon + "\"}";
        }));
    });
}

} // namespace standin
