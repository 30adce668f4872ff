// Pictures the service's records point at: avatars, covers, video stills and the advertisement
// banner, served as PNG files under "/img/<name>.png" (GET), from the images folder beside this file.
// Records built by tests and the gallery name them with imageUrl(hostPort, name).
#pragma once

#include "service/HttpServer.h"

#include <string>

namespace standin {

// "avatar-1001", "avatar-1002", "avatar-1003", "avatar-1004", "cover-1001", "video-3001" (4:3),
// "video-3002" (16:9), "ad-banner".
void installImageRoutes(HttpServer& server);

// "http://<hostPort>/img/<name>.png".
std::string imageUrl(const std::string& hostPort, const std::string& name);

// The file of a picture ("<images folder>/<name>.png"), for tests that pick it as a photo.
std::string imagePath(const std::string& name);

} // namespace standin
