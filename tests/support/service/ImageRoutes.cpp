#include "service/ImageRoutes.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace standin {

namespace {
namespace ImageRoutes_cpp {

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace ImageRoutes_cpp
} // namespace

void installImageRoutes(HttpServer& server)
{
    std::error_code error;
    const std::filesystem::path folder(OMBRI_STAND_IN_IMAGES);
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".png") {
            continue;
        }
        // Read once; the handlers answer from memory on any connection thread.
        const std::string bytes = ImageRoutes_cpp::readFile(entry.path());
        server.route("/img/" + entry.path().filename().string(), [bytes](const Request&) {
            Response response;
            response.body = bytes;
            response.with("Content-Type", "image/png");
            return response;
        });
    }
}

std::string imageUrl(const std::string& hostPort, const std::string& name)
{
    return "http://" + hostPort + "/img/" + name + ".png";
}

std::string imagePath(const std::string& name)
{
    return (std::filesystem::path(OMBRI_STAND_IN_IMAGES) / (name + ".png")).string();
}

} // namespace standin
