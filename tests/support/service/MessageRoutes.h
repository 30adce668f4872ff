// The system messages, page by page, with pictures served by this stand-in:
//
//   GET /m/sysmsg.json?token=&page=&per=  (needs a session)
//       page 0 marks the messages read -> {"status":200,"msg":"","result":[],"total":kMessageCount}
//       page n >= 1 -> {"status":200,"msg":"","result":[messages (n-1)*per ... n*per-1],"total":kMessageCount}
//
// kMessageCount messages, newest first, each {"action","data","user","msg","createTime"[,"mark"][,"channel"]}:
// in turn a mark on a landscape video ("chan", the video's scid), a reply on an upright video ("cmt",
// the comment's id), a new fan ("user", the fan's suid), a notice with a web page ("url", the
// stand-in's about page) and a recommendation of a wide video ("sys"). Videos carry "ext" "w" and "h"
// and a "pic" whose base and name make a picture URL of the image routes; times are minutes to days
// before the request.
#pragma once

#include "service/HttpServer.h"

#include <cstddef>
#include <string>

namespace standin {

inline constexpr std::size_t kMessageCount = 27;

// Message number n (0 for the newest) as JSON text, its pictures on the host.
std::string messageJson(const std::string& hostPort, std::size_t n);

void installMessageRoutes(HttpServer& server);

} // namespace standin
