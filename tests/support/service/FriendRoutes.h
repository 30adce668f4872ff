// The people screens' replies, with avatars served by this stand-in:
//
//   GET  /m/find-friend.json?token=&page=&per=      (needs a session)
//        -> {"status":200,"result":[{"user":<person with "fansCnt">,"relation":n,"msg":text}],
//            "total":<count>}, page by page. With a world: strangers only ("5001".., never the account
//           nor anyone it follows). Without: kPossibleKnownCount people "3001".. with every relation a
//           service may send (0, 1 followed, 4 the account itself; possibleKnownWithEveryRelation)
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
#include "service/World.h"

#include <cstddef>

namespace standin {

inline constexpr std::size_t kPossibleKnownCount = 56;
inline constexpr std::size_t kWeiboFriendCount = 25;
inline constexpr std::size_t kRecommendedPeopleCount = 61;

// The people one may know as a service may list them: "3001" on, relations 0, 1, 0, 4, 0, 1 in turn
// (row 0 is named like the account, row 3 is the account itself), kPossibleKnownCount of them.
Response possibleKnownWithEveryRelation(const Request& request);
// The nick of one of the world's people one may know ("5001" on); "" for anyone else.
std::string suggestionNick(const std::string& suid);

// `world` (which must outlive the server) decides whom the people one may know leave out.
void installFriendRoutes(HttpServer& server, const World* world = nullptr);

} // namespace standin
