// The service's API as the client's request factory calls it: every "/m/<name>.json" endpoint answers
// with the service's envelope {"status", "msg", "result", "total"} as JSON in UTF-8
// ("Content-Type: application/json; charset=utf-8"). Replies are built from a few fixture records (a
// user, a video, a comment, a system message, a topic) and hold Chinese text, as the real service's do.
//
//   GET  paged lists (feeds, people, comments, messages, topics) -> {"status":200,"msg":"","result":[...],"total":n}
//   GET  /m/login.json?user=..&pwd=<32 hex digits>&type=md5      -> the account ("token", "suid", "nick", ...)
//   POST /m/login.json  user, pwd, othertype                       -> the account, "otherLoginMode" = othertype
//   GET  /m/v2_channel.json, /m/user-info.json, /m/v2_remind.json, /m/user-settings.json -> one record
//   POST everything else                                           -> {"status":200,"msg":"操作成功"}
//
// Calls that need a session answer {"status":403,"msg":"请先登录"} without a token (absent, empty or
// "(null)"); a password login without a user or a 32-digit password digest answers
// {"status":400,"msg":"用户名或密码错误"}. The paths the engine's commit calls share (video-sign,
// modify-channel, share-with, share-weibo, and the deletion on media.json) answer posts as those calls
// do (CommitRoutes.h); a GET of media.json lists videos. Tests read what each call carried from the
// server's record.
#pragma once

#include "service/HttpServer.h"

#include <string>
#include <vector>

namespace standin {

// The fixture records, as JSON text.
extern const char* const kApiUserJson;
extern const char* const kApiChannelJson;
extern const char* const kApiCommentJson;
extern const char* const kApiMessageJson;
extern const char* const kApiTopicJson;
// The token of the account the login calls answer with.
inline constexpr const char* kApiAccountToken = "5f2b7c0e9a1d4e3f";

// The reply bodies the routes send.
std::string apiOkReply();
// The account of a login; signed in through a microblog (otherLoginMode 1 or 3 the Lumo microblog, 2
// the QQ one) it comes back bound to that microblog, which it cannot unbind.
std::string apiAccountReply(int otherLoginMode);
std::string apiListReply(const std::string& itemJson, int total);

// One part of a multipart/form-data body (a field has no file name).
struct FormPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string content;
};
// The parts of a multipart request's body, in order (empty for any other body).
std::vector<FormPart> multipartParts(const Request& request);

// Installs every API path. The paths shared with the engine's commit calls keep the commit handlers
// when installCommitRoutes ran first; media.json answers a GET with a list and posts as the deletion
// does, and modify-channel takes a change of place without its name (the API's form) besides the
// commit calls.
void installApiRoutes(HttpServer& server);

} // namespace standin
