#include "platform/foundation/MIMEType.h"
#include "platform/foundation/NSString.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

const std::map<std::string, std::string>& builtIn()
{
    static const auto* table = new std::map<std::string, std::string>{
        {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},       {"jpe", "image/jpeg"},
        {"png", "image/png"},         {"gif", "image/gif"},         {"bmp", "image/bmp"},
        {"tif", "image/tiff"},        {"tiff", "image/tiff"},       {"ico", "image/vnd.microsoft.icon"},
        {"webp", "image/webp"},       {"heic", "image/heic"},       {"svg", "image/svg+xml"},
        {"mp4", "video/mp4"},         {"m4v", "video/x-m4v"},       {"mov", "video/quicktime"},
        {"flv", "video/x-flv"},       {"3gp", "video/3gpp"},        {"avi", "video/avi"},
        {"mpg", "video/mpeg"},        {"mpeg", "video/mpeg"},       {"ts", "video/mp2t"},
        {"mp3", "audio/mpeg"},        {"m4a", "audio/x-m4a"},       {"aac", "audio/aac"},
        {"wav", "audio/wav"},         {"caf", "audio/x-caf"},       {"aiff", "audio/aiff"},
        {"txt", "text/plain"},        {"text", "text/plain"},       {"html", "text/html"},
        {"htm", "text/html"},         {"css", "text/css"},          {"csv", "text/csv"},
        {"xml", "application/xml"},   {"js", "application/javascript"}, {"json", "application/json"},
        {"pdf", "application/pdf"},   {"zip", "application/zip"},   {"gz", "application/x-gzip"},
        {"tar", "application/x-tar"}, {"plist", "application/x-plist"}, {"rtf", "text/rtf"},
        {"doc", "application/msword"}, {"xls", "application/vnd.ms-excel"},
        {"ppt", "application/vnd.ms-powerpoint"},
    };
    return *table;
}

const std::map<std::string, std::string>& system()
{
    static std::once_flag once;
    static auto* table = new std::map<std::string, std::string>;
    std::call_once(once, [] {
        std::ifstream in("/etc/mime.types");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') {
                continue;
            }
            std::istringstream words(line);
            std::string type;
            words >> type;
            std::string extension;
            while (words >> extension) {
                table->emplace(NSString::asciiLowercaseString(extension), type);  // the first mention wins
            }
        }
    });
    return *table;
}

}  // namespace

namespace MIMEType {

std::string forExtension(std::string_view extension)
{
    if (extension.empty()) {
        return {};
    }
    std::string key = NSString::asciiLowercaseString(extension);
    if (auto it = builtIn().find(key); it != builtIn().end()) {
        return it->second;
    }
    if (auto it = system().find(key); it != system().end()) {
        return it->second;
    }
    return {};
}

std::string forPath(std::string_view path)
{
    size_t slash = path.rfind('/');
    std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = last.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return forExtension(last.substr(dot + 1));
}

}  // namespace MIMEType
