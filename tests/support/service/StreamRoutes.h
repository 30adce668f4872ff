// The videos' streams as the stream host serves them: GET /stream/<scid>.mp4 for the videos of the
// fixtures ("sc3001" to "sc3005") answers a real three-second movie (H.264, 480 x 360, 15 frames a
// second, the picture of "video-3001" slowly zooming in), with byte ranges, from the movies folder
// beside this file.
#pragma once

#include "service/HttpServer.h"

#include <string>

namespace standin {

// The movie file every stream answers with.
std::string streamMovieFile();

// The length the records of the streamed videos give ("lengthNice"): the stream movie's three
// seconds, so a video's row, its page and its player agree.
inline constexpr char kStreamLengthNice[] = "00:03";

void installStreamRoutes(HttpServer& server);

} // namespace standin
