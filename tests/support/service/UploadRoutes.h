// The upload server's two calls, assembling files into an UploadStore:
//
//   POST /upload?t=<token>&o=<offset>&l=<length>&m=<mode>&p=<ext>   body: the block's l bytes
//        -> 200 {"status":200}; 400 {"status":400,"msg":...} for a block that does not add up
//   GET  /upload_tc_file_end?t=<token>.<ext>                         (more parameters are ignored)
//        -> 200 {"status":200}
//
// The blocks' connections are kept alive, as the engine keeps two open per upload.
#pragma once

#include "service/HttpServer.h"
#include "service/UploadStore.h"

namespace standin {

inline constexpr const char* kUploadPath = "/upload";
inline constexpr const char* kUploadEndPath = "/upload_tc_file_end";

// The store must outlive the server (or the routes).
void installUploadRoutes(HttpServer& server, UploadStore& store);

Response handleUploadBlock(UploadStore& store, const Request& request);
Response handleUploadEnd(UploadStore& store, const Request& request);

} // namespace standin
