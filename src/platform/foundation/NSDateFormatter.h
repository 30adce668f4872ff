#pragma once
// Time zones, locales and date formatting with the platform's patterns ("yyyy'-'MM'-'dd",
// "yyyy'-'MM'-'dd HH:mm:ss", "HH':'mm", "'今天'HH':'mm", "EEE',' dd MMM yyyy HH':'mm':'ss z", ...).
// Patterns follow the Unicode date-field symbols; formatting and parsing are done by ICU, the same
// engine the platform's formatter uses.
//
// Local time is NSTimeZone::defaultTimeZone(): the system's zone (TZ, /etc/localtime) unless the
// application or a test sets another with NSTimeZone::setDefaultTimeZone. A formatter without its own
// time zone reads the default zone each time it formats, so a test may set it at any point.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSObject.h"

class NSTimeZone : public NSObject {
public:
    // A zone of the time-zone database ("Asia/Shanghai", "UTC", "GMT"); nil when unknown.
    static Ref<NSTimeZone> timeZoneWithName(std::string_view name);
    // A fixed offset, named "GMT+0800" as on the platform.
    static Ref<NSTimeZone> timeZoneForSecondsFromGMT(NSInteger seconds);
    // "GMT", "UTC" and the database's names; nil otherwise.
    static Ref<NSTimeZone> timeZoneWithAbbreviation(std::string_view abbreviation);
    static Ref<NSTimeZone> systemTimeZone();
    static Ref<NSTimeZone> defaultTimeZone();
    static Ref<NSTimeZone> localTimeZone() { return defaultTimeZone(); }
    // nullptr: the system zone again.
    static void setDefaultTimeZone(const Ref<NSTimeZone>& zone);

    const std::string& name() const { return name_; }
    NSInteger secondsFromGMT() const { return secondsFromGMTForDate(NSDate::date()); }
    NSInteger secondsFromGMTForDate(const NSDate& date) const;
    bool isDaylightSavingTimeForDate(const NSDate& date) const;
    std::string description() const override { return name_; }
    bool isEqual(const NSObject* other) const override;

    // The zone's identifier for ICU.
    const std::u16string& icuID() const { return icuID_; }

private:
    static Ref<NSTimeZone> make(std::string name, std::u16string icuID);
    std::string name_;
    std::u16string icuID_;
};

class NSLocale : public NSObject {
public:
    static Ref<NSLocale> localeWithLocaleIdentifier(std::string_view identifier);
    // The user's locale: LC_ALL, LC_TIME or LANG ("zh_CN.UTF-8" gives "zh_CN"), "en_US_POSIX" for
    // C/POSIX or none; settable for tests.
    static Ref<NSLocale> currentLocale();
    static void setCurrentLocale(const Ref<NSLocale>& locale);  // nullptr: from the environment again
    static Ref<NSLocale> systemLocale() { return localeWithLocaleIdentifier("en_US_POSIX"); }
    // Languages in order of preference ("zh-Hans", "en"), from LANGUAGE or the current locale.
    static std::vector<std::string> preferredLanguages();

    const std::string& localeIdentifier() const { return identifier_; }
    std::string description() const override { return identifier_; }

private:
    std::string identifier_;
};

class NSDateFormatter : public NSObject {
public:
    static Ref<NSDateFormatter> create();

    void setDateFormat(std::string pattern) { format_ = std::move(pattern); }
    const std::string& dateFormat() const { return format_; }
    // nullptr: the default time zone at the time of each use.
    void setTimeZone(Ref<NSTimeZone> zone) { zone_ = std::move(zone); }
    Ref<NSTimeZone> timeZone() const { return zone_ ? zone_ : NSTimeZone::defaultTimeZone(); }
    // nullptr: the current locale.
    void setLocale(Ref<NSLocale> locale) { locale_ = std::move(locale); }
    Ref<NSLocale> locale() const { return locale_ ? locale_ : NSLocale::currentLocale(); }
    // Lenient parsing accepts near-misses (off by default, as on the platform).
    void setLenient(bool lenient) { lenient_ = lenient; }

    std::string stringFromDate(const NSDate& date) const;
    // The whole text must match the pattern; nullopt otherwise.
    std::optional<NSDate> dateFromString(std::string_view text) const;

    // One-off helpers.
    static std::string format(const NSDate& date, const std::string& pattern, const Ref<NSTimeZone>& zone = nullptr,
                              const Ref<NSLocale>& locale = nullptr);

private:
    std::string format_;
    Ref<NSTimeZone> zone_;
    Ref<NSLocale> locale_;
    bool lenient_ = false;
};
