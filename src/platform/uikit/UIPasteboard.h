#pragma once
// Pasteboards: the general one and named ones, holding text, URLs and images (the last set of each).
// Thread-safe, as the system's is.
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class UIImage;

inline constexpr char UIPasteboardNameGeneral[] = "com.apple.UIKit.pboard.general";

class UIPasteboard : public NSObject {
public:
    static Ref<UIPasteboard> generalPasteboard();
    // The named pasteboard, made when create is true and it does not exist (nil otherwise).
    static Ref<UIPasteboard> pasteboardWithName_create(const std::string& name, bool create);
    static Ref<UIPasteboard> pasteboardWithUniqueName();
    static void removePasteboardWithName(const std::string& name);

    const std::string& name() const { return name_; }
    // The first string ("" when none).
    std::string string() const;
    void setString(const std::string& string);
    std::vector<std::string> strings() const;
    void setStrings(std::vector<std::string> strings);
    Ref<NSURL> URL() const;
    void setURL(const Ref<NSURL>& url);
    Ref<UIImage> image() const;
    void setImage(const Ref<UIImage>& image);
    // Incremented by every change.
    NSInteger changeCount() const;

    UIPasteboard() = default;

private:
    mutable std::mutex mutex_;
    std::string name_;
    std::vector<std::string> strings_;
    Ref<NSURL> url_;
    Ref<UIImage> image_;
    NSInteger changeCount_ = 0;
};
