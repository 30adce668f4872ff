// The service's commit calls, which the engine makes for one uploaded video (its scid) once the upload
// has its token or has finished, and the upload server's end call, which closes one uploaded file:
//
//   POST /m/modify-channel.json   form: title=.. or location=<lat>,<lng>&locationText=..; token, scid, vend
//   POST /m/share-with.json       form: suids=all|off; token, scid, vend
//   POST /m/video-sign.json       form: token, scid, vend
//   POST /m/with.json             form: suids=<user ids joined by ",">; token, scid, vend
//   POST /m/share-weibo.json      form: msg=..&othertype=<"2","3" joined by ",">; token, scid, vend
//        -> 200 {"status":200}
//        -> 200 {"status":403,"msg":...} without a token, {"status":400,"msg":...} without a scid or
//           without the call's own fields
//   POST /m/media.json            form: scid, token, _method=delete, vend    (the video is deleted)
//        -> 200 {"status":200}; {"status":400,"msg":...} when a field is missing
//   GET  /upload_tc_file_end?t=<scid>.<ext>[&scid=<scid>&vend=..]
//        -> 200 {"status":200} when the blocks received so far make one file from byte 0 without a
//           gap, {"status":400,"msg":"file incomplete"} otherwise, {"status":400,...} when scid names
//           another upload. Every call is counted (UploadStore::endCalls).
//
// Non-POST commit calls answer 405. Tests read what the calls carried from the server's record
// (requests(path), Request::formParams()).
#pragma once

#include "service/HttpServer.h"
#include "service/UploadStore.h"

namespace standin {

inline constexpr const char* kModifyChannelPath = "/m/modify-channel.json";
inline constexpr const char* kShareWithPath = "/m/share-with.json";
inline constexpr const char* kVideoSignPath = "/m/video-sign.json";
inline constexpr const char* kWithPath = "/m/with.json";
inline constexpr const char* kShareWeiboPath = "/m/share-weibo.json";
inline constexpr const char* kMediaPath = "/m/media.json";

// Installs the commit calls and replaces the plain end call of installUploadRoutes with the checking
// one. The store must outlive the server (or the routes).
void installCommitRoutes(HttpServer& server, UploadStore& store);

Response handleCommit(const Request& request);
Response handleMediaDelete(const Request& request);
Response handleCheckedUploadEnd(UploadStore& store, const Request& request);

} // namespace standin
