#include "service/CommitRoutes.h"

#include <algorithm>
#include <cctype>

#include "service/UploadRoutes.h"

#include <initializer_list>
#include <optional>
#include <string>

namespace standin {

namespace {

Response answer(int status, const char* message = nullptr)
{
    // Messages are fixed ASCII texts without quotes or backslashes.
    std::string body = R"({"status":)" + std::to_string(status);
    if (message != nullptr) {
        body += R"(,"msg":")" + std::string(message) + "\"";
    }
    return Response::json(body + "}");
}

bool present(const Params& form, const char* name)
{
    std::optional<std::string> value = findParam(form, name);
    return value && !value->empty();
}

bool allPresent(const Params& form, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (!present(form, name)) {
            return false;
        }
    }
    return true;
}

} // namespace

Response handleCommit(const Request& request)
{
    if (request.method != "POST") {
        return Response::json(R"({"status":405,"msg":"commit calls are posted"})", 405);
    }
    const Params form = request.formParams();
    if (!present(form, "token")) {
        return answer(403, "not logged in");
    }
    if (!present(form, "scid")) {
        return answer(400, "scid is required");
    }
    bool complete = true;
    if (request.path == kModifyChannelPath) {
        complete = present(form, "title") || allPresent(form, {"location", "locationText"});
    } else if (request.path == kShareWithPath || request.path == kWithPath) {
        complete = present(form, "suids");
    } else if (request.path == kShareWeiboPath) {
        complete = allPresent(form, {"msg", "othertype"});
    }
    return complete ? answer(200) : answer(400, "fields missing");
}

Response handleMediaDelete(const Request& request)
{
    if (request.method != "POST") {
        return Response::json(R"({"status":405,"msg":"deletions are posted"})", 405);
    }
    const Params form = request.formParams();
    if (findParam(form, "_method").value_or("") != "delete" || !allPresent(form, {"scid", "token"})) {
        return answer(400, "scid, token and _method=delete are required");
    }
    // The reply names the deleted video under "delete", which is how the client tells a deletion.
    const std::string scid = findParam(form, "scid").value_or("");
    const bool plain = std::all_of(scid.begin(), scid.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
    if (!plain) {
        return answer(200);
    }
    return Response::json(R"({"status":200,"delete":")" + scid + "\"}");
}

Response handleCheckedUploadEnd(UploadStore& store, const Request& request)
{
    const std::string name = request.param("t").value_or("");
    const std::size_t dot = name.rfind('.');
    const std::string token = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (token.empty()) {
        return Response::json(R"({"status":400,"msg":"t is required"})", 400);
    }
    store.markEnded(token, ext);
    const std::optional<std::string> scid = request.param("scid");
    if (scid && *scid != token) {
        return answer(400, "scid names another upload");
    }
    const std::vector<ByteRange> received = store.received(token, ext);
    if (received.size() != 1 || received[0].offset != 0) {
        return answer(400, "file incomplete");
    }
    return answer(200);
}

void installCommitRoutes(HttpServer& server, UploadStore& store)
{
    for (const char* path : {kModifyChannelPath, kShareWithPath, kVideoSignPath, kWithPath, kShareWeiboPath}) {
        server.route(path, handleCommit);
    }
    server.route(kMediaPath, handleMediaDelete);
    server.route(kUploadEndPath, [&store](const Request& request) { return handleCheckedUploadEnd(store, request); });
}

} // namespace standin
