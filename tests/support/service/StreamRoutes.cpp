#include "service/StreamRoutes.h"

#include "service/MovieRoutes.h"

namespace standin {

std::string streamMovieFile()
{
    return std::string(OMBRI_STAND_IN_MOVIES) + "/stream.mp4";
}

void installStreamRoutes(HttpServer& server)
{
    for (int n = 1; n <= 5; ++n) {
        installMovieRoute(server, "/stream/sc300" + std::to_string(n) + ".mp4", streamMovieFile());
    }
}

} // namespace standin
