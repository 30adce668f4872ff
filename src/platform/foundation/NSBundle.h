#pragma once
// NSBundle: a folder of resources. The main bundle is resources/ beside the running program unless the
// application or a test names another folder (NSBundle::setMainBundlePath).
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSBundle : public NSObject {
public:
    static Ref<NSBundle> mainBundle();
    // Makes the folder the main bundle (empty: the default again). Bundles already handed out keep
    // their folder.
    static void setMainBundlePath(const std::string& path);
    // <folder of the running program>/resources
    static std::string defaultMainBundlePath();
    // nil when the path is not a folder.
    static Ref<NSBundle> bundleWithPath(const std::string& path);

    const std::string& bundlePath() const { return path_; }
    const std::string& resourcePath() const { return path_; }

    // The path of a resource, "" when there is none. With a type, "name.type" is tried first and then
    // the name exactly as given (so "menu_icon.png" of type "png" is found too); without one, the name.
    // Resources are looked for in the bundle folder (or its `directory`), then in its Base.lproj,
    // zh-Hans.lproj and en.lproj folders.
    std::string pathForResource_ofType(std::string_view name, std::string_view type) const;
    std::string pathForResource_ofType_inDirectory(std::string_view name, std::string_view type,
                                                   std::string_view directory) const;
    // Every resource with the extension (any with an empty type) in the folder, sorted.
    std::vector<std::string> pathsForResourcesOfType_inDirectory(std::string_view type, std::string_view directory) const;

    // The bundle's Info.plist as a dictionary (empty when it has none), read once.
    Value infoDictionary() const;
    Value objectForInfoDictionaryKey(std::string_view key) const { return infoDictionary()[key]; }
    // CFBundleIdentifier, "" when none.
    std::string bundleIdentifier() const;

    // The localized text for the key from <table>.strings (table "Localizable" when empty); `value`,
    // or the key when `value` is empty, when there is none.
    std::string localizedStringForKey_value_table(std::string_view key, std::string_view value,
                                                  std::string_view table) const;

private:
    std::string path_;
    mutable std::mutex mutex_;
    mutable bool infoLoaded_ = false;
    mutable Value info_;
    mutable Value tables_ = Value::dictionary();  // table name -> dictionary of texts
};

// NSLocalizedString(key, comment): the main bundle's text for the key, or the key itself.
std::string NSLocalizedString(std::string_view key, std::string_view comment = {});

// Parses the texts of a .strings file ("key" = "value"; with comments); nil when malformed. Property
// lists are accepted too.
Value parseStringsFile(std::string_view contents);
