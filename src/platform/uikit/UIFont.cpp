#include "platform/uikit/UIFont.h"

#include <algorithm>
#include <cstdio>

UIFont::UIFont(std::string name, std::string family, CGFloat size, CGFontRef face)
    : fontName_(std::move(name)), familyName_(std::move(family)), pointSize_(size), face_(std::move(face))
{
}

Ref<UIFont> UIFont::fontWithName_size(const std::string& name, CGFloat size)
{
    CGFontRef face = CGFont::createWithFontName(name);
    if (!face) {
        return nullptr;
    }
    std::string family = CGFont::systemFamilyNameForFontName(name);
    if (family.empty()) {
        family = face->familyName();
    }
    // A size of 0 or less asks for the system size, as on the phone.
    return std::make_shared<UIFont>(name, family, size > 0 ? size : systemFontSize(), std::move(face));
}

Ref<UIFont> UIFont::systemFontOfSize(CGFloat size) { return fontWithName_size("Helvetica", size); }

Ref<UIFont> UIFont::boldSystemFontOfSize(CGFloat size) { return fontWithName_size("Helvetica-Bold", size); }

Ref<UIFont> UIFont::fontWithSize(CGFloat size) const
{
    return std::make_shared<UIFont>(fontName_, familyName_, size > 0 ? size : systemFontSize(), face_);
}

std::vector<std::string> UIFont::familyNames()
{
    std::vector<std::string> families;
    for (const std::string& name : CGFont::systemFontNames()) {
        if (!CGFont::createWithFontName(name)) {
            continue;
        }
        std::string family = CGFont::systemFamilyNameForFontName(name);
        if (std::find(families.begin(), families.end(), family) == families.end()) {
            families.push_back(family);
        }
    }
    return families;
}

std::vector<std::string> UIFont::fontNamesForFamilyName(const std::string& family)
{
    std::vector<std::string> names;
    for (const std::string& name : CGFont::systemFontNames()) {
        if (CGFont::systemFamilyNameForFontName(name) == family && CGFont::createWithFontName(name)) {
            names.push_back(name);
        }
    }
    return names;
}

bool UIFont::isEqual(const NSObject* other) const
{
    const auto* font = dynamic_cast<const UIFont*>(other);
    return font != nullptr && font->fontName_ == fontName_ && font->pointSize_ == pointSize_;
}

std::string UIFont::description() const
{
    char size[32];
    std::snprintf(size, sizeof size, "%g", pointSize_);
    const bool bold = face_ && face_->isBold();
    const bool italic = face_ && face_->isItalic();
    return NSObject::description() + " font-family: \"" + familyName_ + "\"; font-weight: " +
           (bold ? "bold" : "normal") + "; font-style: " + (italic ? "italic" : "normal") + "; font-size: " + size +
           "px";
}
