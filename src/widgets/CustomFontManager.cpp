#include "widgets/CustomFontManager.h"

#include <utility>

#include "platform/foundation/NSBundle.h"

Ref<CustomFontManager> CustomFontManager::sharedManager()
{
    // Never destroyed: fonts handed out may be drawn until the process ends.
    static const Ref<CustomFontManager>* const shared = new Ref<CustomFontManager>(create());
    return *shared;
}

Ref<CustomFontManager> CustomFontManager::create()
{
    auto self = std::make_shared<CustomFontManager>();
    self->initBody();
    return self;
}

CGFontRef CustomFontManager::fontForURLKey(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = fonts_.find(key);
    return found == fonts_.end() ? nullptr : found->second;
}

void CustomFontManager::store(const std::string& key, CGFontRef font)
{
    std::lock_guard lock(mutex_);
    // A font already loaded under this URL stays: handles given out keep comparing equal.
    fonts_.emplace(key, std::move(font));
}

bool CustomFontManager::loadFontURL(const Ref<NSURL>& url)
{
    if (!url || !url->isFileURL()) {
        return false;
    }
    CGFontRef font = CGFont::createWithFile(url->path());
    if (!font) {
        return false;
    }
    store(url->absoluteString(), std::move(font));
    return true;
}

bool CustomFontManager::loadFont(const std::string& name)
{
    const Ref<NSBundle> bundle = NSBundle::mainBundle();
    // "<name>.ttf" is found before a file named exactly by the name.
    const std::string path = bundle ? bundle->pathForResource_ofType(name, "ttf") : std::string();
    Ref<NSURL> url;
    if (!path.empty()) {
        url = NSURL::fileURLWithPath(path);
        if (!loadFontURL(url)) {
            return false;
        }
    } else {
        if (name.empty()) {
            return false;
        }
        CGFontRef font = CGFontCreateWithFontName(name);
        if (!font) {
            return false;
        }
        url = NSURL::fileURLWithPath(name);
        if (!url) {
            return false;
        }
        store(url->absoluteString(), std::move(font));
    }
    std::lock_guard lock(mutex_);
    urls_[name] = url->absoluteString();
    return true;
}

CGFontRef CustomFontManager::fontWithName(const std::string& name)
{
    std::string key;
    {
        std::lock_guard lock(mutex_);
        const auto found = urls_.find(name);
        if (found != urls_.end()) {
            key = found->second;
        }
    }
    if (key.empty()) {
        if (!loadFont(name)) {
            return nullptr;
        }
        std::lock_guard lock(mutex_);
        key = urls_[name];
    }
    return fontForURLKey(key);
}

Ref<TextFont> CustomFontManager::textFontWithName_pointSize(const std::string& name, float pointSize)
{
    return TextFont::fontWithCGFont_size(fontWithName(name), pointSize);
}

Ref<TextFont> CustomFontManager::textFontWithURL_pointSize(const Ref<NSURL>& url, float pointSize)
{
    if (!url) {
        return nullptr;
    }
    const std::string key = url->absoluteString();
    CGFontRef font = fontForURLKey(key);
    if (!font) {
        if (!loadFontURL(url)) {
            return nullptr;
        }
        font = fontForURLKey(key);
    }
    return TextFont::fontWithCGFont_size(font, pointSize);
}

std::vector<CGFontRef> CustomFontManager::copyAllFonts() const
{
    std::lock_guard lock(mutex_);
    std::vector<CGFontRef> all;
    all.reserve(fonts_.size());
    for (const auto& [url, font] : fonts_) {
        all.push_back(font);
    }
    return all;
}
