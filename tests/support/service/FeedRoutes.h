// The feeds of the service, page by page: every feed path answers page `page` (1-based, `per` items)
// of a list of kFeedTotal items made from a few fixture people, places and titles (Chinese text, as
// the real service's). Item i is a video ("channel") except every fifth from the fourth on, which is a
// comment (i % 5 == 3) or a new follow (i % 5 == 4). Beside the list each feed sends what its screen
// reads of the first page:
//
//   /m/v2_feed.json    "header" (the account's user, 1001), "relation" 4, "pos" (an advertisement)
//   /m/v2_user.json    "header" (the user of "suid", counts and an empty sign list), "relation"
//                      (4 for the account's own user 1001, else 2)
//   /m/v2_topic.json   "topic" (the topic of "stpid", "#西湖#" for t4001), "isfollow" false
//   /m/v2_near.json    "locationText" "杭州市西湖区"
//   /m/v2_recent.json, /m/v2_plaza.json: the list alone
//
// Pictures (avatars, covers, stills, the advertisement) are the stand-in's own (ImageRoutes.h) on the
// host the request was sent to.
//
// The feeds that need a session answer 403 without a token, as the rest of the API does. A test that
// needs another list replaces the route and answers with feedPageReply.
#pragma once

#include "service/HttpServer.h"
#include "service/World.h"
#include "service/PublishedVideos.h"

#include <string>

namespace standin {

inline constexpr int kFeedTotal = 45;

// A video of the feeds ("sc3001" to "sc3045") as its feed item tells it.
struct FeedVideo {
    std::string title;
    std::string ownerSuid;
    std::string place;
    std::string still;  // the picture its cover is
    int width = 0;
    int height = 0;
};
bool feedVideoOf(const std::string& scid, FeedVideo* video);
// The nick of one of the feeds' people ("1001" to "1006"); "" for anyone else.
std::string feedPersonNick(const std::string& suid);

// Item i of every fixture feed, as JSON text.
std::string feedItemJson(int index);
// {"status":200,"msg":"","result":[items of the page],"total":total} with the extra members (JSON text
// of "key":value pairs, without braces) after "total".
std::string feedPageReply(int page, int per, int total, const std::string& extraMembers = "");

// With `published` (which must outlive the server), the account's own page (/m/v2_user.json of user
// 1001) begins with the videos published through the stand-in, the newest first, before the fixture
// items; its total counts them.
// With a world, the topic pages tell whether the person follows the topic, a person's page whether
// they are followed (and the counts of the lists), and the videos the person's marks ("selfmark" and
// "mark") and comments.
void installFeedRoutes(HttpServer& server, const PublishedVideos* published = nullptr, const World* world = nullptr);

} // namespace standin
