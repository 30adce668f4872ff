#include "service/MovieRoutes.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

namespace standin {

namespace {
namespace MovieRoutes_cpp {

// The first range of a "bytes=a-b" header within a file of `size` bytes; false when there is none
// that can be served.
bool parseRange(const std::string& header, std::uint64_t size, std::uint64_t& first, std::uint64_t& last)
{
    const std::string prefix = "bytes=";
    if (header.rfind(prefix, 0) != 0 || size == 0) {
        return false;
    }
    const std::string spec = header.substr(prefix.size(), header.find(',') - prefix.size());
    const auto dash = spec.find('-');
    if (dash == std::string::npos) {
        return false;
    }
    const std::string from = spec.substr(0, dash);
    const std::string to = spec.substr(dash + 1);
    try {
        if (from.empty()) { // the last n bytes
            const std::uint64_t n = std::stoull(to);
            first = n >= size ? 0 : size - n;
            last = size - 1;
        } else {
            first = std::stoull(from);
            last = to.empty() ? size - 1 : std::min<std::uint64_t>(std::stoull(to), size - 1);
        }
    } catch (...) {
        return false;
    }
    return first <= last && first < size;
}

} // namespace MovieRoutes_cpp
} // namespace

namespace {
namespace MovieRoutes_cpp {

Response answer(const Request& request, const std::string& bytes)
{
    const auto range = request.header("Range");
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (range && parseRange(*range, bytes.size(), first, last)) {
        Response response;
        response.status = 206;
        response.body = bytes.substr(first, last - first + 1);
        std::ostringstream contentRange;
        contentRange << "bytes " << first << '-' << last << '/' << bytes.size();
        return response.with("Content-Type", "video/mp4")
            .with("Accept-Ranges", "bytes")
            .with("Content-Range", contentRange.str());
    }
    if (range) {
        Response response = Response::empty(416);
        return response.with("Content-Range", "bytes */" + std::to_string(bytes.size()));
    }
    Response response;
    response.body = bytes;
    return response.with("Content-Type", "video/mp4").with("Accept-Ranges", "bytes");
}

} // namespace MovieRoutes_cpp
} // namespace

void installMovieRoute(HttpServer& server, const std::string& path, const std::string& file)
{
    server.route(path, [file](const Request& request) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return Response::empty(404);
        }
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return MovieRoutes_cpp::answer(request, bytes);
    });
}

void installMovieBytesRoute(HttpServer& server, const std::string& path, std::shared_ptr<const std::string> bytes)
{
    server.route(path, [bytes](const Request& request) { return MovieRoutes_cpp::answer(request, *bytes); });
}

} // namespace standin
