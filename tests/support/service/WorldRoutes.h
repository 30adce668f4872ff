// The routes that make the stand-in one consistent world (World.h), installed over the areas' own:
//
//   GET  /m/v2_remind.json?token=   (needs a session) what the person has not read:
//        "fans" {"cnt","fan":<the follower>,"text"} while the seeded follow is unread, "sys" {"cnt",
//        "user":<the friend>,"text","mark","action":"chan","data":<newest scid>} while the friend's
//        comment on a published video is unread; neither when all was read
//   GET  /m/sysmsg.json (with a session) reads the system reminder; /m/relation/fans.json or the
//        follower's page (/m/v2_user.json?suid=<follower>) reads the fans reminder
//   POST /m/follow.json (answered 200) follows or stops following a person: their page's "relation"
//        (/m/v2_user.json) is odd while followed, they are in the account's follow list and the account
//        heads their fans list (ProfileRoutes.h), and the people one may know leave them out
//   POST /m/mark.json scid, icon (1 to 5), token: the person's mark on the video, shown by its feed items
//        ("selfmark", "mark") and its record ("mark", first)
//   GET  /m/user-settings.json?token=  {"status":200,"msg":"","result":{"data":{"1":<switches>}}}, the
//        switches last posted (POST flag, value, token), "1,1,0,1,1" before
//   POST /m/modify-info.json with "phone" (answered 200): the number the profile read and the next
//        sign-in give
//   GET  /m/follow-topic.json?token=   the followed topics; POST stpid, token[, _method=delete] follows
//        or stops following a topic (the topic pages' "isfollow" follows it)
//   GET  /stream/<scid>.mp4 and /show/<scid>.htm for every video the feeds name, and for each video the
//        person uploads once its upload ends: its stream is the movie uploaded (the blocks assembled),
//        its cover (/img/cover-<scid>.png) that movie's first picture at its size
#pragma once

#include "service/HttpServer.h"
#include "service/PublishedVideos.h"
#include "service/UploadStore.h"
#include "service/World.h"

#include <string>

namespace standin {

// The page a video's share link leads to.
std::string videoShowPath(const std::string& scid);

// The share fields of a video record ("t", "url", "fn"), as JSON members without braces.
std::string videoShareFields(const std::string& host, const std::string& scid, const std::string& title);

// `world`, `published` and `uploads` must outlive the server.
void installWorldRoutes(HttpServer& server, World& world, PublishedVideos& published, const UploadStore& uploads);

} // namespace standin
