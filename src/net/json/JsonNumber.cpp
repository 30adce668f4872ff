#include "net/json/JsonNumber.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace {

// Exponents the platform's decimal numbers hold; the text is positional inside this range.
constexpr int64_t minPositionalExponent = -128;
constexpr int64_t maxPositionalExponent = 127;

// The text of (-)digits x 10^exponent. `digits` holds decimal digits only, possibly with leading and
// trailing zeros.
std::string canonicalText(bool negative, std::string_view digits, int64_t exponent)
{
    size_t first = 0;
    while (first < digits.size() && digits[first] == '0') {
        ++first;
    }
    size_t last = digits.size();
    while (last > first && digits[last - 1] == '0') {
        --last;
        ++exponent;
    }
    if (first == last) {
        return "0";
    }
    exponent = std::clamp<int64_t>(exponent, -JsonNumber::exponentLimit, JsonNumber::exponentLimit);
    const std::string_view significant = digits.substr(first, last - first);
    std::string text;
    text.reserve(significant.size() + 8);
    if (negative) {
        text.push_back('-');
    }
    if (exponent < minPositionalExponent || exponent > maxPositionalExponent) {
        text.append(significant);
        text.push_back('e');
        text.append(std::to_string(exponent));
        return text;
    }
    const int64_t n = static_cast<int64_t>(significant.size());
    if (exponent >= 0) {
        text.append(significant);
        text.append(static_cast<size_t>(exponent), '0');
    } else if (-exponent < n) {
        const size_t point = static_cast<size_t>(n + exponent);
        text.append(significant.substr(0, point));
        text.push_back('.');
        text.append(significant.substr(point));
    } else {
        text.append("0.");
        text.append(static_cast<size_t>(-exponent - n), '0');
        text.append(significant);
    }
    return text;
}

}  // namespace

namespace JsonNumber {

Value decimal(uint64_t mantissa, int32_t exponent, bool negative)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, mantissa);
    return Value::decimal(
        canonicalText(negative, std::string_view(digits, static_cast<size_t>(result.ptr - digits)), exponent));
}

Value decimalWithText(std::string_view token) { return Value::decimal(canonicalDecimalText(token)); }

std::string canonicalDecimalText(std::string_view token)
{
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) {
        negative = token[i] == '-';
        ++i;
    }
    std::string digits;
    digits.reserve(token.size());
    int64_t exponent = 0;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
        digits.push_back(token[i++]);
    }
    if (i < token.size() && token[i] == '.') {
        ++i;
        while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
            digits.push_back(token[i++]);
            --exponent;
        }
    }
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < token.size() && (token[i] == '-' || token[i] == '+')) {
            negativeExponent = token[i] == '-';
            ++i;
        }
        int64_t e = 0;
        while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
            e = std::min<int64_t>(e * 10 + (token[i] - '0'), exponentLimit);
            ++i;
        }
        exponent += negativeExponent ? -e : e;
    }
    return canonicalText(negative, digits, exponent);
}

bool isJsonNumberText(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    const auto digit = [&](size_t at) { return at < n && text[at] >= '0' && text[at] <= '9'; };
    if (i < n && text[i] == '-') {
        ++i;
    }
    if (!digit(i)) {
        return false;
    }
    if (text[i] == '0') {
        ++i;
    } else {
        while (digit(i)) {
            ++i;
        }
    }
    if (i < n && text[i] == '.') {
        ++i;
        if (!digit(i)) {
            return false;
        }
        while (digit(i)) {
            ++i;
        }
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+')) {
            ++i;
        }
        if (!digit(i)) {
            return false;
        }
        while (digit(i)) {
            ++i;
        }
    }
    return i == n;
}

}  // namespace JsonNumber
