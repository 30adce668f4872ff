#include "service/MetaRoutes.h"

#include <string>

namespace standin {

// Taken from a movie of the fixture's default settings; the engine tests check that it still matches
// the encoder (regenerate it from a fresh movie's "avcC" when libx264 changes what it writes).
const char* const kMetaHeaderHex =
    "0900002b000000000000001700000000014d401effe10017674d401eda0782ff9610000003001000000303c8f162ea01000468ef3c"
    "80000000360800000400000000000000af0012080000000f";

void installMetaRoutes(HttpServer& server)
{
    server.route(kMetaPath, [](const Request&) {
        return Response::json(std::string(R"({"status":200,"meta":")") + kMetaHeaderHex + R"(","meta2":"0"})");
    });
}

} // namespace standin
