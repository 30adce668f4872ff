#include "platform/foundation/NSBundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <climits>
#include <filesystem>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/PropertyList.h"

namespace {

std::mutex g_mainMutex;
std::string* g_mainPath = new std::string();  // empty: the default; never destroyed
Ref<NSBundle>* g_main = nullptr;              // never destroyed

bool isFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

const char* const kLocalizationFolders[] = {"", "Base.lproj", "zh-Hans.lproj", "en.lproj"};

}  // namespace

std::string NSBundle::defaultMainBundlePath()
{
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return "resources";
    }
    return NSString::stringByAppendingPathComponent(
        NSString::stringByDeletingLastPathComponent(std::string(exe, static_cast<size_t>(n))), "resources");
}

Ref<NSBundle> NSBundle::mainBundle()
{
    std::lock_guard lock(g_mainMutex);
    if (g_main == nullptr) {
        auto bundle = std::make_shared<NSBundle>();
        bundle->initBody();
        bundle->path_ = g_mainPath->empty() ? defaultMainBundlePath() : *g_mainPath;
        g_main = new Ref<NSBundle>(std::move(bundle));
    }
    return *g_main;
}

void NSBundle::setMainBundlePath(const std::string& path)
{
    std::lock_guard lock(g_mainMutex);
    *g_mainPath = path;
    if (g_main != nullptr) {
        // The old bundle may still be in use elsewhere: replace the shared handle, never free it here.
        auto bundle = std::make_shared<NSBundle>();
        bundle->initBody();
        bundle->path_ = g_mainPath->empty() ? defaultMainBundlePath() : *g_mainPath;
        *g_main = std::move(bundle);
    }
}

Ref<NSBundle> NSBundle::bundleWithPath(const std::string& path)
{
    if (!isFolder(path)) {
        return nullptr;
    }
    auto bundle = std::make_shared<NSBundle>();
    bundle->initBody();
    bundle->path_ = path;
    return bundle;
}

std::string NSBundle::pathForResource_ofType(std::string_view name, std::string_view type) const
{
    return pathForResource_ofType_inDirectory(name, type, {});
}

std::string NSBundle::pathForResource_ofType_inDirectory(std::string_view name, std::string_view type,
                                                         std::string_view directory) const
{
    if (name.empty()) {
        return std::string();
    }
    std::vector<std::string> candidates;
    if (!type.empty()) {
        std::string typed(name);
        typed += type.front() == '.' ? "" : ".";
        typed += type;
        candidates.push_back(std::move(typed));
    }
    candidates.emplace_back(name);
    const std::string base = directory.empty() ? path_ : NSString::stringByAppendingPathComponent(path_, directory);
    for (const char* folder : kLocalizationFolders) {
        const std::string dir = *folder ? NSString::stringByAppendingPathComponent(base, folder) : base;
        for (const auto& candidate : candidates) {
            const std::string path = NSString::stringByAppendingPathComponent(dir, candidate);
            if (isFile(path)) {
                return path;
            }
        }
    }
    return std::string();
}

std::vector<std::string> NSBundle::pathsForResourcesOfType_inDirectory(std::string_view type, std::string_view directory) const
{
    const std::string dir = directory.empty() ? path_ : NSString::stringByAppendingPathComponent(path_, directory);
    std::vector<std::string> paths;
    std::string ext(type);
    if (!ext.empty() && ext.front() == '.') {
        ext.erase(0, 1);
    }
    for (const auto& name : NSFileManager::defaultManager()->contentsOfDirectoryAtPath_error(dir)) {
        const std::string path = NSString::stringByAppendingPathComponent(dir, name);
        if (isFile(path) && (ext.empty() || NSString::pathExtension(name) == ext)) {
            paths.push_back(path);
        }
    }
    return paths;
}

Value NSBundle::infoDictionary() const
{
    std::lock_guard lock(mutex_);
    if (!infoLoaded_) {
        infoLoaded_ = true;
        info_ = NSDictionary::dictionaryWithContentsOfFile(NSString::stringByAppendingPathComponent(path_, "Info.plist"));
        if (!info_.isDictionary()) {
            info_ = Value::dictionary();
        }
    }
    return info_.deepCopy();  // callers may change their copy; the bundle's stays as read
}

std::string NSBundle::bundleIdentifier() const
{
    return infoDictionary()["CFBundleIdentifier"].stringValue();
}

std::string NSBundle::localizedStringForKey_value_table(std::string_view key, std::string_view value,
                                                        std::string_view table) const
{
    const std::string name = table.empty() ? std::string("Localizable") : std::string(table);
    Value texts;
    {
        std::lock_guard lock(mutex_);
        texts = tables_[name];
        if (texts.isNil()) {
            texts = Value::dictionary();
            const std::string path = pathForResource_ofType(name, "strings");
            if (!path.empty()) {
                if (auto contents = NSData::dataWithContentsOfFile(path)) {
                    const Value parsed = parseStringsFile(contents->view());
                    if (parsed.isDictionary()) {
                        texts = parsed;
                    }
                }
            }
            tables_.setObject_forKey(texts, name);
        }
    }
    const Value text = texts[key];
    if (text.isString()) {
        return text.string();
    }
    return std::string(value.empty() ? key : value);
}

std::string NSLocalizedString(std::string_view key, std::string_view comment)
{
    return NSBundle::mainBundle()->localizedStringForKey_value_table(key, {}, {});
}

// ---- .strings files ---------------------------------------------------------------------------------

namespace {

class StringsParser {
public:
    explicit StringsParser(std::string_view s) : s_(s) {}

    Value parse()
    {
        Value texts = Value::dictionary();
        while (true) {
            skip();
            if (i_ >= s_.size()) {
                return texts;
            }
            std::string key;
            if (!token(key)) {
                return Value();
            }
            skip();
            std::string value = key;  // "key"; alone means the value is the key
            if (i_ < s_.size() && s_[i_] == '=') {
                ++i_;
                skip();
                if (!token(value)) {
                    return Value();
                }
                skip();
            }
            if (i_ >= s_.size() || s_[i_] != ';') {
                return Value();
            }
            ++i_;
            texts.setObject_forKey(value, key);
        }
    }

private:
    void skip()
    {
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                ++i_;
            } else if (s_.substr(i_, 2) == "/*") {
                const size_t end = s_.find("*/", i_ + 2);
                i_ = end == std::string_view::npos ? s_.size() : end + 2;
            } else if (s_.substr(i_, 2) == "//") {
                const size_t end = s_.find('\n', i_);
                i_ = end == std::string_view::npos ? s_.size() : end + 1;
            } else if (i_ == 0 && s_.substr(0, 3) == "\xEF\xBB\xBF") {
                i_ = 3;  // byte-order mark
            } else {
                return;
            }
        }
    }

    bool token(std::string& out)
    {
        out.clear();
        if (i_ >= s_.size()) {
            return false;
        }
        if (s_[i_] != '"') {
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || std::strchr("_$./:-", s_[i_]))) {
                out += s_[i_++];
            }
            return !out.empty();
        }
        ++i_;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size()) {
                return false;
            }
            c = s_[i_++];
            switch (c) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'U':
            case 'u': {
                std::u16string units;
                if (!hexUnit(units)) {
                    return false;
                }
                // A high surrogate takes the low one of the escape that follows it.
                if (units[0] >= 0xD800 && units[0] <= 0xDBFF && (s_.substr(i_, 2) == "\\U" || s_.substr(i_, 2) == "\\u")) {
                    i_ += 2;
                    if (!hexUnit(units)) {
                        return false;
                    }
                }
                out += NSString::fromUTF16(units);
                break;
            }
            default: out += c;
            }
        }
        if (i_ >= s_.size()) {
            return false;
        }
        ++i_;
        return true;
    }

    bool hexUnit(std::u16string& units)
    {
        if (i_ + 4 > s_.size()) {
            return false;
        }
        const std::string hex(s_.substr(i_, 4));
        char* end = nullptr;
        const long unit = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 4) {
            return false;
        }
        i_ += 4;
        units += static_cast<char16_t>(unit);
        return true;
    }

    std::string_view s_;
    size_t i_ = 0;
};

}  // namespace

Value parseStringsFile(std::string_view contents)
{
    // A property list stands as one too (XML or binary .strings files).
    if (contents.substr(0, 6) == "bplist" || contents.find("<plist") != std::string_view::npos) {
        const Value v = PropertyList::fromData(contents);
        return v.isDictionary() ? v : Value();
    }
    return StringsParser(contents).parse();
}
