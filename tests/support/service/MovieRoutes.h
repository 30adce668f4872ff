// Movies served as the service's video host serves them: a GET of the path answers the file's bytes as
// "video/mp4", and a "Range: bytes=a-b" request answers 206 with that part, so a player can read a
// movie whose index is at its end. The file is read when asked for, so a movie may be written after the
// route is installed.
#pragma once

#include "service/HttpServer.h"

#include <memory>
#include <string>

namespace standin {

void installMovieRoute(HttpServer& server, const std::string& path, const std::string& file);
// The same for a movie held in memory.
void installMovieBytesRoute(HttpServer& server, const std::string& path, std::shared_ptr<const std::string> bytes);

} // namespace standin
