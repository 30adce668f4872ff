// The discovery screens' replies, with pictures served by this stand-in:
//
//   GET  /m/category-custom.json?token=&mode=v2&page=1&per=20
//        -> {"status":200,"result":{"user":[22 people],"topic":[5 topics],"chan":[5 videos]}}
//        items {"pic":<picture URL>,"data":<suid | topic id | scid>}, topics also "title"
//   GET  /m/follow-topic.json?token=&page=&per=   (needs a session)
//        -> {"status":200,"result":[kFollowedTopicCount topics],"total":kFollowedTopicCount}
//   POST /m/follow-topic.json  stpid, token[, _method=delete]  (needs a session) -> OK
//   GET  /m/v2_location.json?token=&scid=&location=  (needs a session)
//        -> {"status":200,"title":kPlaceTitle,"owner":[{"user":<person>,"count":<visits>}, ...]}
#pragma once

#include "service/HttpServer.h"

#include <cstddef>

namespace standin {

inline constexpr std::size_t kSquarePeopleCount = 22;
inline constexpr std::size_t kFollowedTopicCount = 6;
inline constexpr const char* kPlaceTitle = "杭州西湖";

void installSquareRoutes(HttpServer& server);

} // namespace standin
