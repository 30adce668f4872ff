#pragma once
// NSUserDefaults: the application's small persistent settings.
//
// One store per process (standardUserDefaults), thread-safe; every reader sees a write at once. Each
// change is written through to a binary property-list file, <home>/Library/Preferences/<bundle
// identifier, or "ombri">.plist (see NSPathUtilities.h for the home folder), so the values survive the
// process. resetStandardUserDefaults() drops the shared store; the next standardUserDefaults() reads the
// file again, which is how a test simulates a relaunch.
//
// Values must be property-list values (see PropertyList.h); setting anything else raises
// NSInvalidArgumentException, as on the platform. Stored and returned values are copies, so changing a
// container read from the store does not change the store.
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSUserDefaults : public NSObject {
public:
    static Ref<NSUserDefaults> standardUserDefaults();
    static void resetStandardUserDefaults();
    // A store on its own file (read now if it exists).
    static Ref<NSUserDefaults> initWithFile(const std::string& path);

    Value objectForKey(std::string_view key) const;
    // nil removes the key.
    void setObject_forKey(const Value& value, std::string_view key);
    void removeObjectForKey(std::string_view key);

    // Typed readings: stringForKey gives a number's text too and "" otherwise; arrayForKey,
    // dictionaryForKey and dataForKey give nil for other kinds; the number readings follow Value's.
    std::string stringForKey(std::string_view key) const;
    Value arrayForKey(std::string_view key) const;
    Value dictionaryForKey(std::string_view key) const;
    Value dataForKey(std::string_view key) const;
    bool boolForKey(std::string_view key) const;
    NSInteger integerForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    void setBool_forKey(bool value, std::string_view key) { setObject_forKey(Value(value), key); }
    void setInteger_forKey(NSInteger value, std::string_view key) { setObject_forKey(Value(value), key); }
    void setFloat_forKey(float value, std::string_view key) { setObject_forKey(Value(static_cast<double>(value)), key); }
    void setDouble_forKey(double value, std::string_view key) { setObject_forKey(Value(value), key); }

    // Values read when a key has none of its own (not persisted).
    void registerDefaults(const Value& dictionary);
    // Registered and stored values together.
    Value dictionaryRepresentation() const;

    // Writes the file if an earlier write failed; true when the file holds the current values.
    bool synchronize();
    const std::string& path() const { return path_; }

private:
    void load();
    bool writeLocked();

    std::string path_;
    mutable std::mutex mutex_;
    Value values_ = Value::dictionary();
    Value registered_ = Value::dictionary();
    bool dirty_ = false;
};
