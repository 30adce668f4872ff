// The service's codec header call, which gives a device the header every live FLV starts with:
//
//   GET /m/request-meta.json?ver=1&dev=<device name>
//       -> 200 {"status":200,"meta":"<codec header in hexadecimal>","meta2":"0"}
//
// The header is the one of the movies the test fixture GrowingMovie writes with its default settings
// (H.264 Main 480x360 at 30 frames per second from libx264, AAC LC mono 44100 Hz): the AVC sequence
// header tag built from the movie's "avcC", then the fixed AAC sequence header tag, each with its
// previous tag size. "meta2" is the software-encoding flag ("0": the device's own encoder).
#pragma once

#include "service/HttpServer.h"

namespace standin {

inline constexpr const char* kMetaPath = "/m/request-meta.json";
// kMetaHeaderHex decoded: the codec header the route answers with.
extern const char* const kMetaHeaderHex;

void installMetaRoutes(HttpServer& server);

} // namespace standin
