#pragma once
// HTTP dates. Times are seconds since 1970-01-01 00:00:00 UTC (NSDate's timeIntervalSince1970).
//
//   HTTPDate::format(t)          "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 1123, always GMT)
//   HTTPDate::parse(text)        RFC 1123, RFC 850 and asctime forms, with or without the weekday and
//                                the seconds ("06 Nov 1994 08:49 GMT"); zones GMT, UTC, UT, Z, +hhmm,
//                                GMT+hh:mm and the US zone names. nullopt for anything else.
//   HTTPDate::parseCookieDate(t) the lenient cookie-date algorithm of RFC 6265 (section 5.1.1) used for
//                                "Expires" attributes, which real servers write in many shapes.
#include <optional>
#include <string>
#include <string_view>

namespace HTTPDate {

std::string format(double secondsSince1970);
std::optional<double> parse(std::string_view text);
std::optional<double> parseCookieDate(std::string_view text);

// Seconds since 1970 of a UTC calendar time; nullopt when the fields do not name a real date.
std::optional<double> fromUTC(int year, int month, int day, int hour, int minute, int second);

}  // namespace HTTPDate
