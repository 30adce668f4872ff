#include "platform/foundation/NSUserDefaults.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/PropertyList.h"

namespace {
std::mutex g_standardMutex;
Ref<NSUserDefaults>* g_standard = nullptr;  // never destroyed; replaced on reset
}  // namespace

Ref<NSUserDefaults> NSUserDefaults::standardUserDefaults()
{
    std::lock_guard lock(g_standardMutex);
    if (g_standard == nullptr || !*g_standard) {
        std::string name = NSBundle::mainBundle()->bundleIdentifier();
        if (name.empty() || name.find('/') != std::string::npos) {
            name = "ombri";
        }
        auto defaults = initWithFile(FoundationRoots::preferencesDirectory() + "/" + name + ".plist");
        if (g_standard == nullptr) {
            g_standard = new Ref<NSUserDefaults>(std::move(defaults));
        } else {
            *g_standard = std::move(defaults);
        }
    }
    return *g_standard;
}

void NSUserDefaults::resetStandardUserDefaults()
{
    Ref<NSUserDefaults> previous;
    {
        std::lock_guard lock(g_standardMutex);
        if (g_standard != nullptr) {
            previous = std::move(*g_standard);
        }
    }
    if (previous) {
        previous->synchronize();
    }
}

Ref<NSUserDefaults> NSUserDefaults::initWithFile(const std::string& path)
{
    auto defaults = std::make_shared<NSUserDefaults>();
    defaults->initBody();
    defaults->path_ = path;
    defaults->load();
    return defaults;
}

void NSUserDefaults::load()
{
    const Value stored = PropertyList::readFile(path_);
    std::lock_guard lock(mutex_);
    values_ = stored.isDictionary() ? stored : Value::dictionary();
}

bool NSUserDefaults::writeLocked()
{
    if (values_.count() == 0 && !dirty_) {
        return true;
    }
    dirty_ = !PropertyList::writeFile(values_, path_, PropertyList::Format::Binary, true);
    return !dirty_;
}

Value NSUserDefaults::objectForKey(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    Value v = values_[key];
    if (v.isNil()) {
        v = registered_[key];
    }
    return v.deepCopy();
}

void NSUserDefaults::setObject_forKey(const Value& value, std::string_view key)
{
    if (value.isNil()) {
        removeObjectForKey(key);
        return;
    }
    if (!PropertyList::isPropertyList(value)) {
        NSException::raise(NSInvalidArgumentException,
                           stringWithFormat("Attempt to insert non-property list object %@ for key %@", value, key));
    }
    std::lock_guard lock(mutex_);
    values_.setObject_forKey(value.deepCopy(), key);
    dirty_ = true;
    writeLocked();
}

void NSUserDefaults::removeObjectForKey(std::string_view key)
{
    std::lock_guard lock(mutex_);
    if (values_[key].isNil()) {
        return;
    }
    values_.removeObjectForKey(key);
    dirty_ = true;
    writeLocked();
}

std::string NSUserDefaults::stringForKey(std::string_view key) const
{
    const Value v = objectForKey(key);
    return v.isString() || v.isNumber() ? v.stringValue() : std::string();
}

Value NSUserDefaults::arrayForKey(std::string_view key) const
{
    Value v = objectForKey(key);
    return v.isArray() ? v : Value();
}

Value NSUserDefaults::dictionaryForKey(std::string_view key) const
{
    Value v = objectForKey(key);
    return v.isDictionary() ? v : Value();
}

Value NSUserDefaults::dataForKey(std::string_view key) const
{
    Value v = objectForKey(key);
    return v.isData() ? v : Value();
}

bool NSUserDefaults::boolForKey(std::string_view key) const
{
    return objectForKey(key).boolValue();
}

NSInteger NSUserDefaults::integerForKey(std::string_view key) const
{
    return objectForKey(key).integerValue();
}

float NSUserDefaults::floatForKey(std::string_view key) const
{
    return objectForKey(key).floatValue();
}

double NSUserDefaults::doubleForKey(std::string_view key) const
{
    return objectForKey(key).doubleValue();
}

void NSUserDefaults::registerDefaults(const Value& dictionary)
{
    std::lock_guard lock(mutex_);
    registered_.addEntriesFromDictionary(dictionary.deepCopy());
}

Value NSUserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(mutex_);
    Value all = registered_.deepCopy();
    all.addEntriesFromDictionary(values_.deepCopy());
    return all;
}

bool NSUserDefaults::synchronize()
{
    std::lock_guard lock(mutex_);
    return !dirty_ || writeLocked();
}
