// gallery DIR [NAME...]: writes DIR/NAME.png for every registered widget and screen (or those named).
#include <cstdio>
#include <filesystem>

#include "Gallery.h"
#include "platform/foundation/MainThread.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: gallery DIR [NAME...]\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    designateMainThread();
    gallery::registerAllEntries();
    const gallery::Result result = gallery::run(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    for (const std::string& path : result.written) {
        std::printf("%s\n", path.c_str());
    }
    for (const std::string& name : result.unready) {
        std::fprintf(stderr, "gallery: %s was drawn before its pictures or replies had all arrived\n", name.c_str());
    }
    for (const std::string& name : result.failed) {
        std::fprintf(stderr, "gallery: %s could not be drawn\n", name.c_str());
    }
    return result.failed.empty() ? 0 : 1;
}
