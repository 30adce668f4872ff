#include "platform/foundation/HTTPDate.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/foundation/NSString.h"

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) {
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return days[month - 1];
}

int monthOf(std::string_view token)
{
    if (token.size() < 3) {
        return 0;
    }
    for (int i = 0; i < 12; ++i) {
        if (NSString::asciiEqualIgnoringCase(token.substr(0, 3), kMonths[i])) {
            return i + 1;
        }
    }
    return 0;
}

bool allDigits(std::string_view s)
{
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

int toInt(std::string_view s)
{
    int v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
        if (v > 100000) {
            return v;
        }
    }
    return v;
}

// Offset of a zone name in seconds east of UTC; nullopt when unknown.
std::optional<int> zoneOffset(std::string_view zone)
{
    struct Named {
        const char* name;
        int hours;
    };
    static const Named named[] = {{"GMT", 0},  {"UTC", 0},  {"UT", 0},   {"Z", 0},   {"EST", -5},
                                  {"EDT", -4}, {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6},
                                  {"PST", -8}, {"PDT", -7}};
    for (const auto& n : named) {
        if (NSString::asciiEqualIgnoringCase(zone, n.name)) {
            return n.hours * 3600;
        }
    }
    std::string_view numeric = zone;
    if (numeric.size() > 3 && (NSString::asciiEqualIgnoringCase(numeric.substr(0, 3), "GMT") || NSString::asciiEqualIgnoringCase(numeric.substr(0, 3), "UTC"))) {
        numeric.remove_prefix(3);
    }
    if (numeric.size() < 2 || (numeric[0] != '+' && numeric[0] != '-')) {
        return std::nullopt;
    }
    int sign = numeric[0] == '-' ? -1 : 1;
    numeric.remove_prefix(1);
    std::string digits;
    for (char c : numeric) {
        if (c == ':') {
            continue;
        }
        if (!isDigit(c)) {
            return std::nullopt;
        }
        digits.push_back(c);
    }
    int hours = 0;
    int minutes = 0;
    if (digits.size() == 4) {
        hours = toInt(digits.substr(0, 2));
        minutes = toInt(digits.substr(2));
    } else if (digits.size() <= 2 && !digits.empty()) {
        hours = toInt(digits);
    } else {
        return std::nullopt;
    }
    if (hours > 14 || minutes > 59) {
        return std::nullopt;
    }
    return sign * (hours * 3600 + minutes * 60);
}

int widenYear(int year, size_t digits)
{
    if (digits <= 2) {
        return year >= 70 ? 1900 + year : 2000 + year;
    }
    return year;
}

}  // namespace

namespace HTTPDate {

std::optional<double> fromUTC(int year, int month, int day, int hour, int minute, int second)
{
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60) {
        return std::nullopt;
    }
    if (second == 60) {
        second = 59;  // a leap second reads as the second before it
    }
    int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second);
}

std::string format(double t)
{
    auto seconds = static_cast<int64_t>(std::floor(t));
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rest = seconds - days * 86400;
    // Civil date from days (inverse of daysFromCivil).
    int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
    int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02u %s %04lld %02d:%02d:%02d GMT", kDays[weekday], d, kMonths[m - 1],
                  static_cast<long long>(y), static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

std::optional<double> parse(std::string_view text)
{
    // Tokens: runs of letters, digits, ':' and signs; ',' , ' ' and '-' between day, month and year.
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == ',' || c == '\t') {
            ++i;
            continue;
        }
        size_t start = i;
        if (c == '+' || (c == '-' && !tokens.empty() && tokens.back().find(':') != std::string_view::npos)) {
            ++i;  // a signed zone offset after the time
        } else if (c == '-') {
            ++i;
            continue;
        }
        // A sign continues a token only after "GMT" or "UTC" ("GMT+08:00"), never after a month ("Nov-94").
        auto zonePrefix = [&] {
            std::string_view sofar = text.substr(start, i - start);
            return NSString::asciiEqualIgnoringCase(sofar, "GMT") || NSString::asciiEqualIgnoringCase(sofar, "UTC");
        };
        while (i < text.size() && (isAlpha(text[i]) || isDigit(text[i]) || text[i] == ':' ||
                                   ((text[i] == '+' || text[i] == '-') && zonePrefix()))) {
            ++i;
        }
        if (i == start) {
            return std::nullopt;  // a character that has no place in a date
        }
        tokens.push_back(text.substr(start, i - start));
    }

    int day = -1;
    int month = 0;
    int year = -1;
    int hour = -1;
    int minute = -1;
    int second = 0;
    std::optional<int> offset;
    bool weekdaySeen = false;
    for (std::string_view token : tokens) {
        if (token.find(':') != std::string_view::npos && isDigit(token[0])) {
            if (hour >= 0) {
                return std::nullopt;
            }
            std::vector<std::string_view> parts;
            size_t from = 0;
            for (;;) {
                size_t colon = token.find(':', from);
                parts.push_back(token.substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from));
                if (colon == std::string_view::npos) {
                    break;
                }
                from = colon + 1;
            }
            if (parts.size() < 2 || parts.size() > 3) {
                return std::nullopt;
            }
            for (auto p : parts) {
                if (!allDigits(p) || p.size() > 2) {
                    return std::nullopt;
                }
            }
            hour = toInt(parts[0]);
            minute = toInt(parts[1]);
            second = parts.size() == 3 ? toInt(parts[2]) : 0;
        } else if (allDigits(token)) {
            if (day < 0 && token.size() <= 2) {
                day = toInt(token);
            } else if (year < 0 && (token.size() == 2 || token.size() == 4)) {
                year = widenYear(toInt(token), token.size());
            } else {
                return std::nullopt;
            }
        } else if (int m = monthOf(token); m && month == 0 && token.size() == 3) {
            month = m;
        } else if (!weekdaySeen && month == 0 && day < 0 && monthOf(token) == 0 && token.size() >= 3 &&
                   [&] {
                       for (const char* d : kDays) {
                           if (NSString::asciiEqualIgnoringCase(token.substr(0, 3), d)) {
                               return true;
                           }
                       }
                       return false;
                   }()) {
            weekdaySeen = true;
        } else if (!offset) {
            offset = zoneOffset(token);
            if (!offset) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (day < 0 || month == 0 || year < 0 || hour < 0) {
        return std::nullopt;
    }
    auto t = fromUTC(year, month, day, hour, minute, second);
    if (!t) {
        return std::nullopt;
    }
    return *t - offset.value_or(0);
}

std::optional<double> parseCookieDate(std::string_view text)
{
    auto isDelimiter = [](unsigned char c) {
        return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
               (c >= 0x7B && c <= 0x7E);
    };
    bool foundTime = false;
    bool foundDay = false;
    bool foundMonth = false;
    bool foundYear = false;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int day = 0;
    int month = 0;
    int year = 0;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDelimiter(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        size_t start = i;
        while (i < text.size() && !isDelimiter(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        std::string_view token = text.substr(start, i - start);
        if (token.empty()) {
            continue;
        }
        // Leading digits of a token, and whether more digits follow them (the grammar's "non-digit").
        auto digitsAt = [&](size_t from, size_t minimum, size_t maximum, size_t& end) -> std::optional<int> {
            size_t k = from;
            while (k < token.size() && isDigit(token[k]) && k - from < maximum) {
                ++k;
            }
            if (k - from < minimum || (k < token.size() && isDigit(token[k]))) {
                return std::nullopt;
            }
            end = k;
            return toInt(token.substr(from, k - from));
        };
        if (!foundTime) {
            size_t end = 0;
            auto h = digitsAt(0, 1, 2, end);
            if (h && end < token.size() && token[end] == ':') {
                auto m = digitsAt(end + 1, 1, 2, end);
                if (m && end < token.size() && token[end] == ':') {
                    auto s = digitsAt(end + 1, 1, 2, end);
                    if (s) {
                        foundTime = true;
                        hour = *h;
                        minute = *m;
                        second = *s;
                        continue;
                    }
                }
            }
        }
        if (!foundDay) {
            size_t end = 0;
            if (auto d = digitsAt(0, 1, 2, end)) {
                foundDay = true;
                day = *d;
                continue;
            }
        }
        if (!foundMonth) {
            if (int m = monthOf(token)) {
                foundMonth = true;
                month = m;
                continue;
            }
        }
        if (!foundYear) {
            size_t end = 0;
            if (auto y = digitsAt(0, 2, 4, end)) {
                foundYear = true;
                year = *y;
                if (year >= 70 && year <= 99) {
                    year += 1900;
                } else if (year <= 69) {
                    year += 2000;
                }
                continue;
            }
        }
    }
    if (!foundTime || !foundDay || !foundMonth || !foundYear || year < 1601 || hour > 23 || minute > 59 ||
        second > 59) {
        return std::nullopt;
    }
    return fromUTC(year, month, day, hour, minute, second);
}

}  // namespace HTTPDate
