#include "platform/uikit/UIPasteboard.h"

#include <map>

#include "platform/foundation/UUID.h"
#include "platform/uikit/UIImage.h"

namespace {

struct Boards {
    std::mutex mutex;
    std::map<std::string, Ref<UIPasteboard>> named;
};

// The pasteboards live for the whole process, as the system's do.
Boards& boards()
{
    static Boards* instance = new Boards;
    return *instance;
}

}  // namespace

Ref<UIPasteboard> UIPasteboard::generalPasteboard() { return pasteboardWithName_create(UIPasteboardNameGeneral, true); }

Ref<UIPasteboard> UIPasteboard::pasteboardWithName_create(const std::string& name, bool create)
{
    Boards& b = boards();
    std::lock_guard lock(b.mutex);
    auto it = b.named.find(name);
    if (it != b.named.end()) {
        return it->second;
    }
    if (!create) {
        return nullptr;
    }
    auto board = std::make_shared<UIPasteboard>();
    board->name_ = name;
    b.named[name] = board;
    return board;
}

Ref<UIPasteboard> UIPasteboard::pasteboardWithUniqueName()
{
    return pasteboardWithName_create(CFUUIDCreateString(), true);
}

void UIPasteboard::removePasteboardWithName(const std::string& name)
{
    Boards& b = boards();
    std::lock_guard lock(b.mutex);
    b.named.erase(name);
}

std::string UIPasteboard::string() const
{
    std::lock_guard lock(mutex_);
    return strings_.empty() ? std::string() : strings_.front();
}

void UIPasteboard::setString(const std::string& string)
{
    std::lock_guard lock(mutex_);
    strings_ = {string};
    ++changeCount_;
}

std::vector<std::string> UIPasteboard::strings() const
{
    std::lock_guard lock(mutex_);
    return strings_;
}

void UIPasteboard::setStrings(std::vector<std::string> strings)
{
    std::lock_guard lock(mutex_);
    strings_ = std::move(strings);
    ++changeCount_;
}

Ref<NSURL> UIPasteboard::URL() const
{
    std::lock_guard lock(mutex_);
    return url_;
}

void UIPasteboard::setURL(const Ref<NSURL>& url)
{
    std::lock_guard lock(mutex_);
    url_ = url;
    ++changeCount_;
}

Ref<UIImage> UIPasteboard::image() const
{
    std::lock_guard lock(mutex_);
    return image_;
}

void UIPasteboard::setImage(const Ref<UIImage>& image)
{
    std::lock_guard lock(mutex_);
    image_ = image;
    ++changeCount_;
}

NSInteger UIPasteboard::changeCount() const
{
    std::lock_guard lock(mutex_);
    return changeCount_;
}
