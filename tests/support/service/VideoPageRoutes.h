// One video with its viewers and comments, as the video page and the per-video panel read it, from a
// few fixture videos (Chinese titles, places and comments, the stand-in's own pictures and a real
// movie):
//
//   GET  /m/v2_channel.json?scid=<scid>&scmtid=&token=&fillType=   (needs a session)
//        -> {"status":200,"msg":"","result":<the video>}
//   GET  /m/v2_channel.json?scid=&scmtid=<comment id>&token=&fillType=
//        -> the same for the comment's video, with that comment at the top level as "cmt"
//   GET  /m/v2_comment.json?scid=&page=&per=
//        -> {"status":200,"msg":"","result":[the page's comments],"total":<all the video's comments>}
//   POST /m/comment.json  scid, token, content   (needs a session)
//        -> {"status":200,"msg":"评论成功","result":[the new comment, from the account 1001]}
//        any video's record and comment pages serve its new comments after its own (and count them
//        in the totals) for as long as the service runs
//        an empty content -> {"status":400,"msg":"评论内容不可为空"}
//   GET  /stream/<scid>.mp4 -> the movie of every fixture video (ranges answered, MovieRoutes.h)
//
// A video record carries "ext" (title "t", size "w" x "h", place, owner, finish time), "pic" and
// "stream" on the host the request was sent to, "mark", "with", the first two comments ("comment"),
// the first page of 20 comments ("pagedcmt" with the total), the viewers ("visit": entries of "user"
// and "mark") and "stat". An unknown scid answers the first fixture video under that scid. Comment ids
// are "c<scid digits>-<n>", n from 1; a comment id the fixtures do not know answers the first video
// with a comment of that id. A test that needs another shape replaces a route.
#pragma once

#include "service/HttpServer.h"
#include "service/PublishedVideos.h"
#include "service/World.h"

#include <string>

namespace standin {

struct VideoFixture {
    const char* scid;
    const char* title;  // "" for none
    const char* still;  // a picture of ImageRoutes.h
    int width;          // 0: the record has no "w"
    int height;
    const char* ownerSuid;
    int comments;
    int viewers;
    const char* place;  // "" for none
};

// The fixture videos: sc3001 (the account's own, 3 comments, 5 viewers), sc3002 (13 viewers, 20
// comments: two pages), sc3019 (19 comments: one page), sc3040 (40 viewers, no comment), sc3009 (no
// size, no title, place or people).
const VideoFixture* videoFixtures(std::size_t* count);
// The record of a fixture video (its pictures and movie on hostPort), as JSON text.
std::string videoRecordJson(const std::string& hostPort, const std::string& scid);
// The id of the n-th comment (from 1) of a video.
std::string videoCommentId(const std::string& scid, int n);

// With `published` (which must outlive the server), a video the person published answers its own
// record: its title, place and picture, and the friend's comment on it. A video of the feeds that is
// none of the fixtures answers as its feed item tells (title, owner, place, picture, size, one comment).
// The comments posted and the person's marks are kept in `world` (one of this server's own when null),
// which must outlive the server: the records and comment pages of every video show them.
void installVideoPageRoutes(HttpServer& server, const PublishedVideos* published = nullptr, World* world = nullptr);

} // namespace standin
