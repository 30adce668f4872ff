// The people screens' replies, with avatars served by this stand-in:
//
//   GET  /m/find-friend.json?token=&page=&per=      (needs a session)
//        -> {"status":200,"result":[{"user":<person with "fansCnt">,"relation":n,"msg":text}],
//            "total":kPossibleKnownCount}, page by page
//   GET  /m/v2_weibofriends.json?token=&othertype=&page=&per=   (needs a session)
//        -> {"status":200,"result":[{"weibo":{"nick","icon","name"},"relation":n[,"user":<person>]}]}
//           kWeiboFriendCount friends of the microblog named by othertype (2 the QQ microblog, any other
//           the Lumo one), page by page; pages past the end are empty
//   GET  /m/search-user.json?token=&keyword=&page=1&per=   (needs a session)
//        -> the people whose nick holds the keyword (an empty list when nobody's does)
//   GET  /m/people.json?page=&per=
//        -> {"status":200,"result":[<person>],"total":kRecommendedPeopleCount}, page by page
//   POST /m/follow.json  suid, token[, _method=delete]   (needs a session)
//        -> {"status":200,"msg":"操作成功","relation":1 | 0,"type":1 | 0} (0 after an unfollow)
//   POST /m/share-weibo.json  othertype, scid (empty), msg, token
//        -> an invitation without a video: {"status":200,"msg":"分享成功"}; with a video the engine's
//           commit call answers as before
#pragma once

#include "service/HttpServer.h"

#include <cstddef>

namespace standin {

inline constexpr std::size_t kPossibleKnownCount = 56;
inline constexpr std::size_t kWeiboFriendCount = 25;
inline constexpr std::size_t kRecommendedPeopleCount = 61;

void installFriendRoutes(HttpServer& server);

} // namespace standin
