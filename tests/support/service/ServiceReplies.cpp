#include "service/ServiceReplies.h"

namespace standin {

Response jsonReply(std::string body)
{
    Response response;
    response.body = std::move(body);
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    return response;
}

Response needLogin() { return jsonReply(R"({"status":403,"msg":"请先登录"})"); }

bool hasSession(const std::optional<std::string>& token)
{
    return token && !token->empty() && *token != "(null)";
}

std::string hostOf(const Request& request) { return request.header("Host").value_or("127.0.0.1"); }

std::string jsonList(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ",") + item;
    }
    return "[" + text + "]";
}

}  // namespace standin
