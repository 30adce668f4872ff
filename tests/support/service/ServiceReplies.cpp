#include "service/ServiceReplies.h"

#include <cstdio>

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

std::string jsonQuoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

}  // namespace standin
