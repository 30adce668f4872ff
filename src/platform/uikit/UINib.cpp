#include "platform/uikit/UINib.h"

#include <map>
#include <mutex>
#include <set>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, UINibFactory> whole;
    std::map<std::string, std::map<size_t, UINibObjectFactory>> indexed;
};

// Lives for the whole process: registrations may happen from static start-up code of any module.
Registry& registry()
{
    static Registry* instance = new Registry;
    return *instance;
}

}  // namespace

void UINibRegistry::registerNib(const std::string& name, UINibFactory factory)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.whole[name] = std::move(factory);
}

void UINibRegistry::registerObject(const std::string& name, size_t index, UINibObjectFactory factory)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.indexed[name][index] = std::move(factory);
}

bool UINibRegistry::hasNib(const std::string& name)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.whole.count(name) != 0 || r.indexed.count(name) != 0;
}

void UINibRegistry::unregisterNib(const std::string& name)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.whole.erase(name);
    r.indexed.erase(name);
}

std::vector<Ref<NSObject>> UINibRegistry::instantiate(const std::string& name, const Ref<NSObject>& owner,
                                                      const Value& options)
{
    UINibFactory whole;
    std::map<size_t, UINibObjectFactory> indexed;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (auto it = r.whole.find(name); it != r.whole.end()) {
            whole = it->second;
        } else if (auto found = r.indexed.find(name); found != r.indexed.end()) {
            indexed = found->second;
        } else {
            NSException::raise(NSInternalInconsistencyException,
                               stringWithFormat("Could not load NIB in bundle: '%@' with name '%@'",
                                                NSBundle::mainBundle() ? NSBundle::mainBundle()->bundlePath()
                                                                       : std::string(),
                                                name));
        }
    }
    // Factories run outside the lock: they may load other files.
    UINibBuilder builder(owner, options);
    std::vector<Ref<NSObject>> top;
    if (whole) {
        top = whole(builder);
    } else if (!indexed.empty()) {
        const size_t count = indexed.rbegin()->first + 1;
        for (size_t i = 0; i < count; ++i) {
            auto it = indexed.find(i);
            Ref<NSObject> object = it != indexed.end() ? it->second(builder) : nullptr;
            top.push_back(object ? object : Ref<NSObject>(UIView::create()));
        }
    }
    // Every object of the file hears awakeFromNib once, in the order it was made.
    std::vector<Ref<NSObject>> all = builder.made();
    all.insert(all.end(), top.begin(), top.end());
    std::set<const NSObject*> awoken;
    for (const Ref<NSObject>& object : all) {
        if (!object || !awoken.insert(object.get()).second) {
            continue;
        }
        if (auto responder = std::dynamic_pointer_cast<UIResponder>(object)) {
            responder->awakeFromNib();
        }
    }
    return top;
}

Ref<UINib> UINib::nibWithNibName_bundle(const std::string& name, const Ref<NSBundle>& bundle)
{
    auto nib = std::make_shared<UINib>();
    nib->name_ = name;
    return nib;
}

std::vector<Ref<NSObject>> UINib::instantiateWithOwner_options(const Ref<NSObject>& owner, const Value& options) const
{
    return UINibRegistry::instantiate(name_, owner, options);
}

std::vector<Ref<NSObject>> UINibLoadingAdditions::loadNibNamed_owner_options(const Ref<NSBundle>& bundle,
                                                                             const std::string& name,
                                                                             const Ref<NSObject>& owner,
                                                                             const Value& options)
{
    return UINibRegistry::instantiate(name, owner, options);
}
