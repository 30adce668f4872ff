// The service's upload token call, which gives a video its id (scid) and names the upload server:
//
//   GET /m/request-upload.json?token=<user token>&ctype=..&fname=<guid>&..&title=..
//       -> 200 {"status":200,"scid":"sc<n>","server":"127.0.0.1:<port>","createTime":<unix seconds>,"msg":""}
//       -> 200 {"status":403,"msg":"not logged in"} without a user token
//
// Each call hands out a new scid (sc1, sc2, ... per server). The upload server named is this same
// server, where installUploadRoutes assembles the blocks.
#pragma once

#include "service/HttpServer.h"

namespace standin {

inline constexpr const char* kTokenPath = "/m/request-upload.json";

// The server must outlive its routes (they answer with its address).
void installTokenRoutes(HttpServer& server);

} // namespace standin
