#include "platform/foundation/NSDateFormatter.h"

#include <unicode/ucal.h>
#include <unicode/udat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/foundation/NSString.h"

namespace {

std::mutex g_mutex;
Ref<NSTimeZone>* g_defaultZone = nullptr;  // never destroyed
Ref<NSLocale>* g_currentLocale = nullptr;  // never destroyed

// The canonical database ID of a zone name; nullopt when ICU does not know it.
std::optional<std::u16string> canonicalID(const std::u16string& id)
{
    UChar buffer[128];
    UBool isSystem = false;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n =
        ucal_getCanonicalTimeZoneID(id.data(), static_cast<int32_t>(id.size()), buffer, 128, &isSystem, &status);
    if (U_FAILURE(status) || n <= 0) {
        return std::nullopt;
    }
    return std::u16string(buffer, static_cast<size_t>(n));
}

struct CalendarClose {
    void operator()(UCalendar* c) const { ucal_close(c); }
};
struct FormatClose {
    void operator()(UDateFormat* f) const { udat_close(f); }
};

std::string localeFromEnvironment()
{
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        std::string id(value);
        id = id.substr(0, id.find_first_of(".@"));
        if (id == "C" || id == "POSIX" || id.empty()) {
            return "en_US_POSIX";
        }
        return id;
    }
    return "en_US_POSIX";
}

}  // namespace

// ---- NSTimeZone -------------------------------------------------------------------------------------

Ref<NSTimeZone> NSTimeZone::make(std::string name, std::u16string icuID)
{
    auto zone = std::make_shared<NSTimeZone>();
    zone->initBody();
    zone->name_ = std::move(name);
    zone->icuID_ = std::move(icuID);
    return zone;
}

Ref<NSTimeZone> NSTimeZone::timeZoneWithName(std::string_view name)
{
    if (name.empty()) {
        return nullptr;
    }
    const auto id = canonicalID(NSString::toUTF16(name));
    if (!id) {
        return nullptr;
    }
    return make(std::string(name), NSString::toUTF16(name));
}

Ref<NSTimeZone> NSTimeZone::timeZoneForSecondsFromGMT(NSInteger seconds)
{
    const NSInteger magnitude = seconds < 0 ? -seconds : seconds;
    const NSInteger hours = magnitude / 3600;
    const NSInteger minutes = (magnitude % 3600) / 60;
    if (hours > 18) {
        return nullptr;
    }
    const char sign = seconds < 0 ? '-' : '+';
    const std::string name = seconds == 0 ? "GMT" : stringWithFormat("GMT%c%02ld%02ld", sign, hours, minutes);
    const std::string id = stringWithFormat("GMT%c%02ld:%02ld", sign, hours, minutes);
    return make(name, NSString::toUTF16(id));
}

Ref<NSTimeZone> NSTimeZone::timeZoneWithAbbreviation(std::string_view abbreviation)
{
    if (abbreviation == "GMT" || abbreviation == "UTC") {
        return make(std::string(abbreviation), NSString::toUTF16(abbreviation));
    }
    return timeZoneWithName(abbreviation);
}

Ref<NSTimeZone> NSTimeZone::systemTimeZone()
{
    UChar buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucal_getDefaultTimeZone(buffer, 128, &status);
    if (U_FAILURE(status) || n <= 0) {
        return make("GMT", u"GMT");
    }
    const std::u16string id(buffer, static_cast<size_t>(n));
    return make(NSString::fromUTF16(id), id);
}

Ref<NSTimeZone> NSTimeZone::defaultTimeZone()
{
    {
        std::lock_guard lock(g_mutex);
        if (g_defaultZone != nullptr && *g_defaultZone) {
            return *g_defaultZone;
        }
    }
    return systemTimeZone();
}

void NSTimeZone::setDefaultTimeZone(const Ref<NSTimeZone>& zone)
{
    std::lock_guard lock(g_mutex);
    if (g_defaultZone == nullptr) {
        g_defaultZone = new Ref<NSTimeZone>();
    }
    *g_defaultZone = zone;
}

NSInteger NSTimeZone::secondsFromGMTForDate(const NSDate& date) const
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCalendar, CalendarClose> cal(
        ucal_open(icuID_.data(), static_cast<int32_t>(icuID_.size()), "en_US_POSIX", UCAL_GREGORIAN, &status));
    if (U_FAILURE(status)) {
        return 0;
    }
    ucal_setMillis(cal.get(), date.timeIntervalSince1970() * 1000.0, &status);
    const int32_t zone = ucal_get(cal.get(), UCAL_ZONE_OFFSET, &status);
    const int32_t dst = ucal_get(cal.get(), UCAL_DST_OFFSET, &status);
    return U_SUCCESS(status) ? (zone + dst) / 1000 : 0;
}

bool NSTimeZone::isDaylightSavingTimeForDate(const NSDate& date) const
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCalendar, CalendarClose> cal(
        ucal_open(icuID_.data(), static_cast<int32_t>(icuID_.size()), "en_US_POSIX", UCAL_GREGORIAN, &status));
    if (U_FAILURE(status)) {
        return false;
    }
    ucal_setMillis(cal.get(), date.timeIntervalSince1970() * 1000.0, &status);
    return U_SUCCESS(status) && ucal_get(cal.get(), UCAL_DST_OFFSET, &status) != 0;
}

bool NSTimeZone::isEqual(const NSObject* other) const
{
    const auto* zone = dynamic_cast<const NSTimeZone*>(other);
    return zone != nullptr && zone->name_ == name_;
}

// ---- NSLocale ---------------------------------------------------------------------------------------

Ref<NSLocale> NSLocale::localeWithLocaleIdentifier(std::string_view identifier)
{
    auto locale = std::make_shared<NSLocale>();
    locale->initBody();
    locale->identifier_ = identifier;
    return locale;
}

Ref<NSLocale> NSLocale::currentLocale()
{
    {
        std::lock_guard lock(g_mutex);
        if (g_currentLocale != nullptr && *g_currentLocale) {
            return *g_currentLocale;
        }
    }
    return localeWithLocaleIdentifier(localeFromEnvironment());
}

void NSLocale::setCurrentLocale(const Ref<NSLocale>& locale)
{
    std::lock_guard lock(g_mutex);
    if (g_currentLocale == nullptr) {
        g_currentLocale = new Ref<NSLocale>();
    }
    *g_currentLocale = locale;
}

std::vector<std::string> NSLocale::preferredLanguages()
{
    std::vector<std::string> languages;
    auto add = [&](std::string id) {
        id = id.substr(0, id.find_first_of(".@"));
        if (id.empty() || id == "C" || id == "POSIX" || id == "en_US_POSIX") {
            id = "en";
        }
        // Chinese in simplified script is named as the platform names it.
        if (id == "zh_CN" || id == "zh_SG" || id == "zh") {
            id = "zh-Hans";
        } else if (id == "zh_TW" || id == "zh_HK") {
            id = "zh-Hant";
        } else if (id.size() > 2 && id[2] == '_') {
            id = id.substr(0, 2);
        }
        if (std::find(languages.begin(), languages.end(), id) == languages.end()) {
            languages.push_back(id);
        }
    };
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr && *list != '\0') {
        for (const auto& part : NSString::componentsSeparatedByString(list, ":")) {
            add(part);
        }
    }
    add(currentLocale()->localeIdentifier());
    return languages;
}

// ---- NSDateFormatter --------------------------------------------------------------------------------

namespace {

std::unique_ptr<UDateFormat, FormatClose> openFormat(const std::string& pattern, const Ref<NSTimeZone>& zone,
                                                     const Ref<NSLocale>& locale, bool lenient)
{
    const std::u16string p = NSString::toUTF16(pattern);
    const std::u16string& id = zone->icuID();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UDateFormat, FormatClose> format(udat_open(UDAT_PATTERN, UDAT_PATTERN, locale->localeIdentifier().c_str(),
                                                               id.data(), static_cast<int32_t>(id.size()), p.data(),
                                                               static_cast<int32_t>(p.size()), &status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    udat_setLenient(format.get(), lenient ? 1 : 0);
    return format;
}

}  // namespace

Ref<NSDateFormatter> NSDateFormatter::create()
{
    auto formatter = std::make_shared<NSDateFormatter>();
    formatter->initBody();
    return formatter;
}

std::string NSDateFormatter::stringFromDate(const NSDate& date) const
{
    auto format = openFormat(format_, timeZone(), locale(), lenient_);
    if (!format) {
        return std::string();
    }
    UChar buffer[256];
    UErrorCode status = U_ZERO_ERROR;
    const UDate millis = date.timeIntervalSince1970() * 1000.0;
    int32_t n = udat_format(format.get(), millis, buffer, 256, nullptr, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        std::u16string big(static_cast<size_t>(n), u'\0');
        status = U_ZERO_ERROR;
        n = udat_format(format.get(), millis, big.data(), n, nullptr, &status);
        return U_SUCCESS(status) ? NSString::fromUTF16(big) : std::string();
    }
    return U_SUCCESS(status) ? NSString::fromUTF16(std::u16string_view(buffer, static_cast<size_t>(n))) : std::string();
}

std::optional<NSDate> NSDateFormatter::dateFromString(std::string_view text) const
{
    auto format = openFormat(format_, timeZone(), locale(), lenient_);
    if (!format) {
        return std::nullopt;
    }
    const std::u16string t = NSString::toUTF16(text);
    int32_t position = 0;
    UErrorCode status = U_ZERO_ERROR;
    const UDate millis = udat_parse(format.get(), t.data(), static_cast<int32_t>(t.size()), &position, &status);
    if (U_FAILURE(status) || static_cast<size_t>(position) != t.size()) {
        return std::nullopt;
    }
    return NSDate::dateWithTimeIntervalSince1970(millis / 1000.0);
}

std::string NSDateFormatter::format(const NSDate& date, const std::string& pattern, const Ref<NSTimeZone>& zone,
                                    const Ref<NSLocale>& locale)
{
    auto formatter = create();
    formatter->setDateFormat(pattern);
    formatter->setTimeZone(zone);
    formatter->setLocale(locale);
    return formatter->stringFromDate(date);
}
