#include "service/UploadRoutes.h"

#include <optional>

namespace standin {

namespace {

std::optional<std::uint64_t> parseUnsigned(const std::optional<std::string>& text)
{
    if (!text || text->empty() || text->size() > 19) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

Response refuse(int status, const std::string& message)
{
    // Messages are fixed ASCII texts without quotes or backslashes.
    return Response::json(R"({"status":)" + std::to_string(status) + R"(,"msg":")" + message + R"("})", status);
}

Response accepted()
{
    return Response::json(R"({"status":200})");
}

} // namespace

Response handleUploadBlock(UploadStore& store, const Request& request)
{
    if (request.method != "POST") {
        return refuse(405, "blocks are posted");
    }
    std::optional<std::string> token = request.param("t");
    std::optional<std::uint64_t> offset = parseUnsigned(request.param("o"));
    std::optional<std::uint64_t> length = parseUnsigned(request.param("l"));
    if (!token || token->empty() || !offset || !length) {
        return refuse(400, "t, o and l are required");
    }
    if (*length == 0 || *length != request.body.size()) {
        return refuse(400, "l does not match the body");
    }
    if (!store.write(*token, request.param("p").value_or(""), *offset, request.body, request.param("m").value_or(""))) {
        return refuse(400, "block beyond the largest file");
    }
    return accepted();
}

Response handleUploadEnd(UploadStore& store, const Request& request)
{
    std::string name = request.param("t").value_or("");
    std::size_t dot = name.rfind('.');
    std::string token = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (token.empty()) {
        return refuse(400, "t is required");
    }
    store.markEnded(token, ext);
    return accepted();
}

void installUploadRoutes(HttpServer& server, UploadStore& store)
{
    server.route(kUploadPath, [&store](const Request& request) { return handleUploadBlock(store, request); });
    server.route(kUploadEndPath, [&store](const Request& request) { return handleUploadEnd(store, request); });
}

} // namespace standin
