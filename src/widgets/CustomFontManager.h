#pragma once
// CustomFontManager: the process-wide registry of the text kit's fonts. Fonts are loaded by name from
// the application bundle ("<name>.ttf", then a file named exactly <name>), or else taken from the
// installed fonts of that name, and kept for the life of the process: entries are only ever added.
//
// Loading and lookups are meant for the main thread, where all drawing happens; the registry's tables
// are nevertheless kept under a lock, so a lookup from another thread is safe.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/graphics/CGFont.h"
#include "widgets/TextFont.h"

class CustomFontManager : public NSObject {
public:
    // The one instance, made on first use.
    static Ref<CustomFontManager> sharedManager();
    // A registry of its own (tests use one so that names loaded elsewhere do not interfere).
    static Ref<CustomFontManager> create();

    // Loads the font of that name (see above) and records the name; false when there is no such file or
    // installed font, or the file is not a font.
    bool loadFont(const std::string& name);
    // Loads the font file at a file URL; false when it cannot be read as a font.
    bool loadFontURL(const Ref<NSURL>& url);
    // The font of a name, loading it on first use; null when it cannot be loaded. The manager keeps it.
    CGFontRef fontWithName(const std::string& name);
    // A TextFont of the font of a name or a file URL at a size; nil when the font cannot be loaded.
    Ref<TextFont> textFontWithName_pointSize(const std::string& name, float pointSize);
    Ref<TextFont> textFontWithURL_pointSize(const Ref<NSURL>& url, float pointSize);
    // Every loaded font, in the order of their URLs.
    std::vector<CGFontRef> copyAllFonts() const;

    CustomFontManager() = default;

private:
    CGFontRef fontForURLKey(const std::string& key) const;
    void store(const std::string& key, CGFontRef font);

    mutable std::mutex mutex_;
    std::map<std::string, CGFontRef> fonts_;  // absolute URL -> font
    std::map<std::string, std::string> urls_;  // name as asked for -> absolute URL
};
