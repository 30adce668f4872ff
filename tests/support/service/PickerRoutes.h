// Longer lists for the publish screen's pickers, replacing the one-record replies of the API routes:
//
//   GET /m/all-topic.json?token=&page=&per=
//       -> {"status":200,"msg":"","result":[<topics of the page>],"total":<count>}
//   GET /m/relation/follow.json?suid=&token=&page=&per=  (needs a session)
//       -> {"status":200,"msg":"","result":[<people of the page>],"total":<count>}
//
// Topics are {"stpid":"t4<nnn>","topic":"#<word>#","isnew":0,"desc":null} (the service leaves an
// empty description null) with Chinese words; people are {"suid":"<2000+n>","nick":"<name>",
// "icon":<avatar URL>}. A page past the end answers an empty result.
#pragma once

#include "service/HttpServer.h"

#include <string>
#include <vector>

namespace standin {

inline constexpr const char* kAllTopicPath = "/m/all-topic.json";
inline constexpr const char* kFollowPath = "/m/relation/follow.json";

// The topic words ("西湖", "春节", ...), as many as asked for (numbered once the list runs out).
std::vector<std::string> pickerTopicWords(std::size_t count);
// The people's names, as many as asked for.
std::vector<std::string> pickerFriendNames(std::size_t count);

// How many topics the stand-in service has in all.
inline constexpr std::size_t kPickerTopicCount = 26;

// `count` topics. The stand-in's own total is the count.
void installTopicPages(HttpServer& server, std::size_t count);
// `count` people; their avatars point at iconBase + "<1 to 4>.png" (in turn) when iconBase is given,
// else nowhere.
// `total` is what the replies claim (the count unless given).
void installFollowPages(HttpServer& server, std::size_t count, std::string iconBase = {}, long total = -1);

} // namespace standin
