#include "platform/uikit/UIGallery.h"

#include <algorithm>
#include <memory>
#include <map>
#include <mutex>

namespace {
namespace UIGallery_cpp {

struct Registry {
    std::mutex mutex;
    std::map<std::string, UIGalleryEntry> entries;
    std::vector<std::shared_ptr<const void>> kept;
};

Registry& registry()
{
    static auto* shared = new Registry();  // entries may be added from static start-up code
    return *shared;
}

}  // namespace UIGallery_cpp
}  // namespace

namespace UIGallery {

void add(UIGalleryEntry entry)
{
    auto& r = UIGallery_cpp::registry();
    std::lock_guard lock(r.mutex);
    std::string name = entry.name;
    r.entries.insert_or_assign(std::move(name), std::move(entry));
}

std::vector<UIGalleryEntry> entries()
{
    auto& r = UIGallery_cpp::registry();
    std::lock_guard lock(r.mutex);
    std::vector<UIGalleryEntry> out;
    for (const auto& [name, entry] : r.entries) {
        out.push_back(entry);
    }
    return out;
}

void clear()
{
    auto& r = UIGallery_cpp::registry();
    std::lock_guard lock(r.mutex);
    r.entries.clear();
}

void keep(std::shared_ptr<const void> object)
{
    auto& r = UIGallery_cpp::registry();
    std::lock_guard lock(r.mutex);
    r.kept.push_back(std::move(object));
}

void releaseKept()
{
    // Released outside the lock: a destructor may keep something again.
    std::vector<std::shared_ptr<const void>> dropped;
    {
        auto& r = UIGallery_cpp::registry();
        std::lock_guard lock(r.mutex);
        dropped.swap(r.kept);
    }
}

}  // namespace UIGallery
