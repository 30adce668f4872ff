#include "service/TokenRoutes.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <string>

namespace standin {

void installTokenRoutes(HttpServer& server)
{
    auto next = std::make_shared<std::atomic<unsigned long>>(0);
    server.route(kTokenPath, [&server, next](const Request& request) {
        if (request.param("token").value_or("").empty()) {
            return Response::json(R"({"status":403,"msg":"not logged in"})");
        }
        const std::string scid = "sc" + std::to_string(++*next);
        return Response::json(R"({"status":200,"scid":")" + scid + R"(","server":")" + server.hostPort() +
                              R"(","createTime":)" + std::to_string(static_cast<long long>(std::time(nullptr))) +
                              R"(,"msg":""})");
    });
}

} // namespace standin
