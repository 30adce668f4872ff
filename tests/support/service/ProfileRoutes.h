// The own profile and the people lists of the stand-in service:
//
//   GET  /m/user-info.json?suid=&token=  (needs a session) the profile keys at the top level:
//        {"status":200,"msg":"","suid":"1001","nick":"小明","icon":<avatar>,"cover":<cover>,
//         "loginName":"xiaoming","email":...,"emailv":true,"phone":...,"desc":...}
//   GET  /m/relation/follow.json?suid=&token=&page=&per=   (needs a session) the people the user follows
//   GET  /m/relation/fans.json?suid=&token=&page=&per=     (needs a session) the user's fans
//        -> {"status":200,"msg":"","result":[<people of the page>],"total":<count>}; each person is
//           {"suid","nick","icon","type"}, "type" being the logged-in account's relation to that person
//           (odd: followed; even: not followed; 4: the account itself). A page past the end is empty.
//   POST /m/follow.json  suid, token[, _method=delete]: follows or stops following; answers the new
//        relation {"status":200,"msg":"操作成功","relation":<it>,"type":<it>} (the list's relation
//        with the follow bit set or cleared; people the lists do not hold start at 0). Installed by
//        installRelationPages; the service's default follow post is the people screens' (FriendRoutes).
//
// Avatars point at this server's pictures (imageUrl), so screens showing the lists load real images.
#pragma once

#include "service/HttpServer.h"
#include "service/World.h"

#include <string>
#include <vector>

namespace standin {

inline constexpr const char* kUserInfoPath = "/m/user-info.json";
inline constexpr const char* kFansPath = "/m/relation/fans.json";
inline constexpr const char* kFollowPostPath = "/m/follow.json";
// The lengths of the default lists, which a person's page header counts too.
inline constexpr std::size_t kProfileFollowCount = 9;
inline constexpr std::size_t kProfileFansCount = 7;

// The profile read and the default lists (9 followed people, 7 fans), without the follow post. With a
// world (which must outlive the server) the profile gives the number the person last saved, the
// account's follow list is whom the world says it follows, another person's fans list begins with the
// account while it follows them, and each person's relation is the world's.
void installProfileRoutes(HttpServer& server, World* world = nullptr);

// The nick of anyone the stand-in's lists or feeds name, by suid ("用户<suid>" for a stranger).
std::string personNick(const std::string& suid);

// Lists of the given lengths (followed people "2000+n", fans "3000+n"); the replies claim the totals
// given (the counts when negative). The follow post keeps answering from the same relations.
void installRelationPages(HttpServer& server, std::size_t followCount, std::size_t fansCount,
                          long followTotal = -1, long fansTotal = -1);

// The names the lists use, as many as asked for.
std::vector<std::string> relationNames(std::size_t count, bool fans);

} // namespace standin
