#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/Configuration.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

struct Roots {
    std::mutex mutex;
    std::string home;       // empty until first use
    std::string temporary;  // empty: <home>/tmp
};

Roots& roots()
{
    static Roots* r = new Roots();
    return *r;
}

bool makeFolders(const std::string& home)
{
    std::error_code ec;
    for (const char* sub : {"", "/Documents", "/Library/Caches", "/Library/Preferences", "/tmp"}) {
        std::filesystem::create_directories(home + sub, ec);
        if (ec && !std::filesystem::is_directory(home + sub)) {
            return false;
        }
    }
    return true;
}

std::string defaultHome()
{
    if (std::string configured = Configuration::home(); !configured.empty()) {
        return configured;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home) + "/.local/share/ombri";
    }
    return "/tmp/ombri-" + std::to_string(::getuid());
}

std::string trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

std::string NSHomeDirectory()
{
    std::string home;
    {
        std::lock_guard lock(roots().mutex);
        if (!roots().home.empty()) {
            return roots().home;
        }
        home = roots().home = trimmed(defaultHome());
    }
    makeFolders(home);
    return home;
}

std::string NSTemporaryDirectory()
{
    {
        std::lock_guard lock(roots().mutex);
        if (!roots().temporary.empty()) {
            return roots().temporary + "/";
        }
    }
    return NSHomeDirectory() + "/tmp/";
}

std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                              NSSearchPathDomainMask domainMask, bool expandTilde)
{
    if ((domainMask & NSUserDomainMask) == 0) {
        return {};
    }
    const std::string home = expandTilde ? NSHomeDirectory() : std::string("~");
    switch (directory) {
    case NSDocumentDirectory: return {home + "/Documents"};
    case NSLibraryDirectory: return {home + "/Library"};
    case NSCachesDirectory: return {home + "/Library/Caches"};
    case NSApplicationSupportDirectory: return {home + "/Library/Application Support"};
    case NSApplicationDirectory: return {home + "/Applications"};
    case NSDocumentationDirectory: return {home + "/Library/Documentation"};
    default: return {};
    }
}

namespace FoundationRoots {

bool setHomeDirectory(const std::string& path)
{
    const std::string home = trimmed(path);
    if (home.empty() || !makeFolders(home)) {
        return false;
    }
    std::lock_guard lock(roots().mutex);
    roots().home = home;
    return true;
}

bool setTemporaryDirectory(const std::string& path)
{
    const std::string temporary = path.empty() ? std::string() : trimmed(path);
    if (!temporary.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(temporary, ec);
        if (!std::filesystem::is_directory(temporary)) {
            return false;
        }
    }
    std::lock_guard lock(roots().mutex);
    roots().temporary = temporary;
    return true;
}

std::string documentsDirectory()
{
    return NSHomeDirectory() + "/Documents";
}

std::string libraryDirectory()
{
    return NSHomeDirectory() + "/Library";
}

std::string cachesDirectory()
{
    return NSHomeDirectory() + "/Library/Caches";
}

std::string preferencesDirectory()
{
    return NSHomeDirectory() + "/Library/Preferences";
}

}  // namespace FoundationRoots
