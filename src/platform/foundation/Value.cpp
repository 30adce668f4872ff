#include "platform/foundation/Value.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

// ---- Dictionary storage -----------------------------------------------------------------------------

namespace {
struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
}  // namespace

struct Value::Dict {
    // Small dictionaries are searched linearly; larger ones keep a key index beside the ordered items.
    static constexpr size_t kIndexThreshold = 12;

    DictionaryItems items;
    std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>> index;

    std::ptrdiff_t find(std::string_view key) const
    {
        if (items.size() > kIndexThreshold) {
            auto it = index.find(key);
            return it == index.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
        }
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].first == key) {
                return static_cast<std::ptrdiff_t>(i);
            }
        }
        return -1;
    }

    void set(std::string_view key, const Value& value)
    {
        const auto at = find(key);
        if (at >= 0) {
            items[static_cast<size_t>(at)].second = value;
            return;
        }
        items.emplace_back(std::string(key), value);
        if (items.size() > kIndexThreshold) {
            if (index.empty()) {
                rebuildIndex();
            } else {
                index.emplace(items.back().first, items.size() - 1);
            }
        }
    }

    void erase(std::string_view key)
    {
        const auto at = find(key);
        if (at < 0) {
            return;
        }
        items.erase(items.begin() + at);
        rebuildIndex();
    }

    void clear()
    {
        items.clear();
        index.clear();
    }

    void rebuildIndex()
    {
        index.clear();
        if (items.size() > kIndexThreshold) {
            index.reserve(items.size());
            for (size_t i = 0; i < items.size(); ++i) {
                index.emplace(items[i].first, i);
            }
        }
    }
};

// ---- Construction -----------------------------------------------------------------------------------

Value::Value(const char* s)
{
    if (s != nullptr) {
        v_.emplace<std::string>(s);
    }
}

Value::Value(NSData d) : v_(std::in_place_type<std::shared_ptr<const NSData>>, std::make_shared<const NSData>(std::move(d)))
{
}

Value::Value(Ref<NSObject> object)
{
    if (object) {
        v_.emplace<Ref<NSObject>>(std::move(object));
    }
}

Value::Value(ArrayItems items)
    : v_(std::in_place_type<std::shared_ptr<ArrayItems>>, std::make_shared<ArrayItems>(std::move(items)))
{
}

Value::Value(std::shared_ptr<Dict> d) : v_(std::in_place_type<std::shared_ptr<Dict>>, std::move(d)) {}

Value Value::dictionary()
{
    return Value(std::make_shared<Dict>());
}

Value Value::dictionary(std::initializer_list<DictionaryItem> items)
{
    auto d = std::make_shared<Dict>();
    for (const auto& [key, value] : items) {
        d->set(key, value);
    }
    return Value(std::move(d));
}

// ---- Decimal text -----------------------------------------------------------------------------------

namespace {

// Length of the longest number prefix of `s` (sign, digits, point, digits, exponent), 0 when none.
// With `whole`, the number must be all of `s`.
size_t scanNumber(std::string_view s, bool* integral = nullptr)
{
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++digits;
    }
    bool isIntegral = true;
    if (i < s.size() && s[i] == '.') {
        size_t j = i + 1;
        size_t fraction = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
            isIntegral = false;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            ++j;
        }
        size_t expDigits = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0) {
            i = j;
            isIntegral = false;
        }
    }
    if (integral != nullptr) {
        *integral = isIntegral;
    }
    return i;
}

bool isDecimalText(std::string_view s)
{
    return s == "NaN" || (!s.empty() && scanNumber(s) == s.size());
}

// A decimal in a canonical form for comparison: sign, significant digits without leading or trailing
// zeros, and the power of ten of the last digit. Zero is {false, "", 0}.
struct NormalDecimal {
    bool nan = false;
    bool negative = false;
    std::string digits;
    int64_t exponent = 0;
    bool operator==(const NormalDecimal&) const = default;
};

NormalDecimal normalise(std::string_view s)
{
    NormalDecimal n;
    if (s == "NaN") {
        n.nan = true;
        return n;
    }
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        n.negative = s[i] == '-';
        ++i;
    }
    int64_t fractionDigits = 0;
    bool inFraction = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.') {
            inFraction = true;
        } else if (c >= '0' && c <= '9') {
            if (!(n.digits.empty() && c == '0')) {
                n.digits += c;
            }
            if (inFraction) {
                ++fractionDigits;
            }
        } else {
            break;
        }
    }
    int64_t exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            negativeExponent = s[i] == '-';
            ++i;
        }
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            if (exponent < (int64_t{1} << 40)) {  // saturate: such exponents compare as extremes anyway
                exponent = exponent * 10 + (s[i] - '0');
            }
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (n.digits.empty()) {
        return NormalDecimal{};
    }
    size_t trailing = 0;
    while (trailing < n.digits.size() && n.digits[n.digits.size() - 1 - trailing] == '0') {
        ++trailing;
    }
    n.digits.resize(n.digits.size() - trailing);
    n.exponent = exponent - fractionDigits + static_cast<int64_t>(trailing);
    return n;
}

locale_t cLocale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

double parseDouble(std::string_view number)
{
    if (number == "NaN") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const std::string text(number);
    return strtod_l(text.c_str(), nullptr, cLocale());
}

size_t skipSpace(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\f' || s[i] == '\v')) {
        ++i;
    }
    return i;
}

// The leading integer of a text, saturating at the given bounds (the platform's intValue and
// longLongValue of a string).
long long leadingInteger(std::string_view s, long long lo, long long hi)
{
    size_t i = skipSpace(s);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    unsigned long long magnitude = 0;
    const unsigned long long limit = negative ? static_cast<unsigned long long>(-(lo + 1)) + 1 : static_cast<unsigned long long>(hi);
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (!overflow) {
            magnitude = magnitude * 10 + static_cast<unsigned long long>(s[i] - '0');
            if (magnitude > limit) {
                overflow = true;
            }
        }
    }
    if (overflow) {
        return negative ? lo : hi;
    }
    return negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
}

double leadingDouble(std::string_view s)
{
    s.remove_prefix(skipSpace(s));
    const size_t n = scanNumber(s);
    return n == 0 ? 0.0 : parseDouble(s.substr(0, n));
}

// The platform's boolValue of a text: leading white space, sign and zeros skipped, then YES for one of
// "Y", "y", "T", "t" or a digit 1 to 9.
bool leadingBool(std::string_view s)
{
    size_t i = skipSpace(s);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    while (i < s.size() && s[i] == '0') {
        ++i;
    }
    if (i >= s.size()) {
        return false;
    }
    const char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// Truncation of a double into [lo, hi], with NaN as 0 (a plain cast would be undefined out of range).
long long truncateDouble(double d, long long lo, long long hi)
{
    if (std::isnan(d)) {
        return 0;
    }
    if (d <= static_cast<double>(lo)) {
        return lo;
    }
    if (d >= static_cast<double>(hi)) {
        return hi;
    }
    return static_cast<long long>(d);
}

std::string shortestDouble(double d)
{
    if (std::isnan(d)) {
        return "nan";
    }
    if (std::isinf(d)) {
        return d < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
}

}  // namespace

Value Value::decimal(std::string_view text)
{
    if (!isDecimalText(text)) {
        return Value();
    }
    Value v;
    v.v_.emplace<ValueDecimal>(ValueDecimal{std::string(text)});
    return v;
}

// ---- Kind -------------------------------------------------------------------------------------------

bool Value::isNumber() const
{
    switch (kind()) {
    case Kind::Bool:
    case Kind::Int:
    case Kind::UInt:
    case Kind::Double:
    case Kind::Decimal:
        return true;
    default:
        return false;
    }
}

const char* ValueKindName(Value::Kind kind)
{
    switch (kind) {
    case Value::Kind::Nil: return "nil";
    case Value::Kind::Null: return "null";
    case Value::Kind::Bool: return "bool";
    case Value::Kind::Int: return "integer";
    case Value::Kind::UInt: return "unsigned integer";
    case Value::Kind::Double: return "double";
    case Value::Kind::Decimal: return "decimal";
    case Value::Kind::String: return "string";
    case Value::Kind::Data: return "data";
    case Value::Kind::Date: return "date";
    case Value::Kind::Array: return "array";
    case Value::Kind::Dictionary: return "dictionary";
    case Value::Kind::Object: return "object";
    }
    return "?";
}

// ---- Reads ------------------------------------------------------------------------------------------

Value Value::itemAt(uint64_t index) const
{
    if (const auto* a = std::get_if<std::shared_ptr<ArrayItems>>(&v_)) {
        if (index < (*a)->size()) {
            return (**a)[index];
        }
    }
    return Value();
}

Value Value::objectForKey(std::string_view key) const
{
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&v_)) {
        const auto at = (*d)->find(key);
        if (at >= 0) {
            return (*d)->items[static_cast<size_t>(at)].second;
        }
    }
    return Value();
}

Value Value::valueForKeyPath(std::string_view path) const
{
    Value current = *this;
    while (true) {
        const auto dot = path.find('.');
        current = current.objectForKey(path.substr(0, dot));
        if (dot == std::string_view::npos || current.isNil()) {
            return current;
        }
        path.remove_prefix(dot + 1);
    }
}

Value Value::objectAtIndex(NSUInteger index) const
{
    if (const auto* a = std::get_if<std::shared_ptr<ArrayItems>>(&v_)) {
        if (index >= (*a)->size()) {
            NSException::raise(NSRangeException,
                               stringWithFormat("*** -[__NSArrayM objectAtIndex:]: index %lu beyond bounds [0 .. %ld]",
                                                index, static_cast<long>((*a)->size()) - 1));
        }
        return (**a)[index];
    }
    return Value();
}

Value Value::firstObject() const
{
    return itemAt(0);
}

Value Value::lastObject() const
{
    const NSUInteger n = count();
    return n == 0 || !isArray() ? Value() : itemAt(n - 1);
}

NSUInteger Value::count() const
{
    if (const auto* a = std::get_if<std::shared_ptr<ArrayItems>>(&v_)) {
        return (*a)->size();
    }
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&v_)) {
        return (*d)->items.size();
    }
    return 0;
}

NSUInteger Value::length() const
{
    if (const auto* s = std::get_if<std::string>(&v_)) {
        return NSString::length(*s);
    }
    if (const auto* d = std::get_if<std::shared_ptr<const NSData>>(&v_)) {
        return (*d)->length();
    }
    return 0;
}

// ---- Conversions ------------------------------------------------------------------------------------

long long Value::longLongValue() const
{
    switch (kind()) {
    case Kind::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Kind::Int: return std::get<int64_t>(v_);
    case Kind::UInt: return static_cast<long long>(std::get<uint64_t>(v_));
    case Kind::Double: return truncateDouble(std::get<double>(v_), LLONG_MIN, LLONG_MAX);
    case Kind::Decimal: {
        const auto& text = std::get<ValueDecimal>(v_).text;
        bool integral = false;
        scanNumber(text, &integral);
        return integral ? leadingInteger(text, LLONG_MIN, LLONG_MAX)
                        : truncateDouble(parseDouble(text), LLONG_MIN, LLONG_MAX);
    }
    case Kind::String: return leadingInteger(std::get<std::string>(v_), LLONG_MIN, LLONG_MAX);
    default: return 0;
    }
}

int Value::intValue() const
{
    switch (kind()) {
    case Kind::String: return static_cast<int>(leadingInteger(std::get<std::string>(v_), INT_MIN, INT_MAX));
    case Kind::Double: return static_cast<int>(truncateDouble(std::get<double>(v_), INT_MIN, INT_MAX));
    case Kind::Decimal: return static_cast<int>(std::clamp<long long>(longLongValue(), INT_MIN, INT_MAX));
    default: return static_cast<int>(longLongValue());  // integers wrap to 32 bits as a C cast does
    }
}

NSInteger Value::integerValue() const
{
    return static_cast<NSInteger>(longLongValue());
}

unsigned long long Value::unsignedLongLongValue() const
{
    switch (kind()) {
    case Kind::UInt: return std::get<uint64_t>(v_);
    case Kind::Double: {
        const double d = std::get<double>(v_);
        if (d >= 18446744073709551615.0) {
            return ULLONG_MAX;
        }
        if (d >= 0) {
            return static_cast<unsigned long long>(d);
        }
        return static_cast<unsigned long long>(truncateDouble(d, LLONG_MIN, LLONG_MAX));
    }
    case Kind::String:
    case Kind::Decimal: {
        const std::string_view text = kind() == Kind::String ? std::string_view(std::get<std::string>(v_))
                                                             : std::string_view(std::get<ValueDecimal>(v_).text);
        std::string_view rest = text.substr(skipSpace(text));
        if (!rest.empty() && rest[0] == '+') {
            rest.remove_prefix(1);
        }
        bool integral = false;
        if (kind() == Kind::Decimal) {
            scanNumber(text, &integral);
        }
        if ((kind() == Kind::String || integral) && !rest.empty() && rest[0] >= '0' && rest[0] <= '9') {
            unsigned long long u = 0;
            auto r = std::from_chars(rest.data(), rest.data() + rest.size(), u);
            return r.ec == std::errc::result_out_of_range ? ULLONG_MAX : u;
        }
        return static_cast<unsigned long long>(longLongValue());
    }
    default: return static_cast<unsigned long long>(longLongValue());
    }
}

unsigned int Value::unsignedIntValue() const
{
    return static_cast<unsigned int>(unsignedLongLongValue());
}

NSUInteger Value::unsignedIntegerValue() const
{
    return static_cast<NSUInteger>(unsignedLongLongValue());
}

double Value::doubleValue() const
{
    switch (kind()) {
    case Kind::Bool: return std::get<bool>(v_) ? 1.0 : 0.0;
    case Kind::Int: return static_cast<double>(std::get<int64_t>(v_));
    case Kind::UInt: return static_cast<double>(std::get<uint64_t>(v_));
    case Kind::Double: return std::get<double>(v_);
    case Kind::Decimal: return parseDouble(std::get<ValueDecimal>(v_).text);
    case Kind::String: return leadingDouble(std::get<std::string>(v_));
    default: return 0.0;
    }
}

float Value::floatValue() const
{
    return static_cast<float>(doubleValue());
}

bool Value::boolValue() const
{
    switch (kind()) {
    case Kind::Bool: return std::get<bool>(v_);
    case Kind::Int: return std::get<int64_t>(v_) != 0;
    case Kind::UInt: return std::get<uint64_t>(v_) != 0;
    case Kind::Double: return std::get<double>(v_) != 0.0;
    case Kind::Decimal: {
        const auto n = normalise(std::get<ValueDecimal>(v_).text);
        return n.nan || !n.digits.empty();
    }
    case Kind::String: return leadingBool(std::get<std::string>(v_));
    default: return false;
    }
}

std::string Value::stringValue() const
{
    switch (kind()) {
    case Kind::Bool: return std::get<bool>(v_) ? "1" : "0";
    case Kind::Int: return std::to_string(std::get<int64_t>(v_));
    case Kind::UInt: return std::to_string(std::get<uint64_t>(v_));
    case Kind::Double: return shortestDouble(std::get<double>(v_));
    case Kind::Decimal: return std::get<ValueDecimal>(v_).text;
    case Kind::String: return std::get<std::string>(v_);
    default: return std::string();
    }
}

// ---- Description ------------------------------------------------------------------------------------

namespace {
bool needsQuotes(std::string_view s)
{
    if (s.empty()) {
        return true;
    }
    for (unsigned char c : s) {
        if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' || c >= 0x80)) {
            return true;
        }
    }
    return false;
}

void appendQuoted(std::string& out, std::string_view s)
{
    if (!needsQuotes(s)) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    out += '"';
}
}  // namespace

void Value::describe(std::string& out, int indent) const
{
    const std::string pad(static_cast<size_t>(indent) * 4, ' ');
    const std::string inner(static_cast<size_t>(indent + 1) * 4, ' ');
    switch (kind()) {
    case Kind::String:
        appendQuoted(out, std::get<std::string>(v_));
        return;
    case Kind::Array: {
        const auto& items = *std::get<std::shared_ptr<ArrayItems>>(v_);
        out += "(\n";
        for (size_t i = 0; i < items.size(); ++i) {
            out += inner;
            items[i].describe(out, indent + 1);
            out += i + 1 < items.size() ? ",\n" : "\n";
        }
        out += pad + ")";
        return;
    }
    case Kind::Dictionary: {
        const auto& items = std::get<std::shared_ptr<Dict>>(v_)->items;
        out += "{\n";
        for (const auto& [key, value] : items) {
            out += inner;
            appendQuoted(out, key);
            out += " = ";
            value.describe(out, indent + 1);
            out += ";\n";
        }
        out += pad + "}";
        return;
    }
    default:
        out += description();
    }
}

std::string Value::description() const
{
    switch (kind()) {
    case Kind::Nil: return "(null)";
    case Kind::Null: return "<null>";
    case Kind::String: return std::get<std::string>(v_);
    case Kind::Data: return std::get<std::shared_ptr<const NSData>>(v_)->description();
    case Kind::Date: return std::get<NSDate>(v_).description();
    case Kind::Object: return std::get<Ref<NSObject>>(v_)->description();
    case Kind::Array:
    case Kind::Dictionary: {
        std::string out;
        describe(out, 0);
        return out;
    }
    default: return stringValue();
    }
}

// ---- Typed access -----------------------------------------------------------------------------------

const std::string& Value::string() const
{
    static const std::string empty;
    const auto* s = std::get_if<std::string>(&v_);
    return s ? *s : empty;
}

const std::string& Value::decimalText() const
{
    static const std::string empty;
    const auto* d = std::get_if<ValueDecimal>(&v_);
    return d ? d->text : empty;
}

const NSData& Value::data() const
{
    static const NSData empty;
    const auto* d = std::get_if<std::shared_ptr<const NSData>>(&v_);
    return d ? **d : empty;
}

NSDate Value::date() const
{
    const auto* d = std::get_if<NSDate>(&v_);
    return d ? *d : NSDate();
}

Ref<NSObject> Value::object() const
{
    const auto* o = std::get_if<Ref<NSObject>>(&v_);
    return o ? *o : nullptr;
}

const Value::ArrayItems& Value::arrayItems() const
{
    static const ArrayItems empty;
    const auto* a = std::get_if<std::shared_ptr<ArrayItems>>(&v_);
    return a ? **a : empty;
}

const Value::DictionaryItems& Value::dictionaryItems() const
{
    static const DictionaryItems empty;
    const auto* d = std::get_if<std::shared_ptr<Dict>>(&v_);
    return d ? (*d)->items : empty;
}

std::vector<std::string> Value::allKeys() const
{
    std::vector<std::string> keys;
    for (const auto& item : dictionaryItems()) {
        keys.push_back(item.first);
    }
    return keys;
}

std::vector<Value> Value::allValues() const
{
    if (isArray()) {
        return arrayItems();
    }
    std::vector<Value> values;
    for (const auto& item : dictionaryItems()) {
        values.push_back(item.second);
    }
    return values;
}

// ---- Mutation ---------------------------------------------------------------------------------------

namespace {
[[noreturn]] void unrecognised(const Value& receiver, const char* operation)
{
    NSException::raise(NSInvalidArgumentException,
                       std::string("-[") + ValueKindName(receiver.kind()) + " " + operation + "]: unrecognized selector sent to instance");
}

void refuseNil(const Value& item, const char* operation)
{
    if (item.isNil()) {
        NSException::raise(NSInvalidArgumentException, std::string("*** -[") + operation + "]: object cannot be nil");
    }
}

[[noreturn]] void outOfRange(const char* operation, NSUInteger index, size_t count)
{
    NSException::raise(NSRangeException, stringWithFormat("*** -[__NSArrayM %s]: index %lu beyond bounds [0 .. %ld]",
                                                          operation, index, static_cast<long>(count) - 1));
}
}  // namespace

Value::ArrayItems* Value::mutableArray(const char* operation)
{
    if (auto* a = std::get_if<std::shared_ptr<ArrayItems>>(&v_)) {
        return a->get();
    }
    if (isNil()) {
        return nullptr;
    }
    unrecognised(*this, operation);
}

Value::Dict* Value::mutableDict(const char* operation)
{
    if (auto* d = std::get_if<std::shared_ptr<Dict>>(&v_)) {
        return d->get();
    }
    if (isNil()) {
        return nullptr;
    }
    unrecognised(*this, operation);
}

void Value::addObject(const Value& item)
{
    if (auto* a = mutableArray("addObject:")) {
        refuseNil(item, "__NSArrayM insertObject:atIndex:");
        a->push_back(item);
    }
}

void Value::insertObject_atIndex(const Value& item, NSUInteger index)
{
    if (auto* a = mutableArray("insertObject:atIndex:")) {
        refuseNil(item, "__NSArrayM insertObject:atIndex:");
        if (index > a->size()) {
            outOfRange("insertObject:atIndex:", index, a->size());
        }
        a->insert(a->begin() + static_cast<std::ptrdiff_t>(index), item);
    }
}

void Value::removeObjectAtIndex(NSUInteger index)
{
    if (auto* a = mutableArray("removeObjectAtIndex:")) {
        if (index >= a->size()) {
            outOfRange("removeObjectAtIndex:", index, a->size());
        }
        a->erase(a->begin() + static_cast<std::ptrdiff_t>(index));
    }
}

void Value::replaceObjectAtIndex_withObject(NSUInteger index, const Value& item)
{
    if (auto* a = mutableArray("replaceObjectAtIndex:withObject:")) {
        refuseNil(item, "__NSArrayM replaceObjectAtIndex:withObject:");
        if (index >= a->size()) {
            outOfRange("replaceObjectAtIndex:withObject:", index, a->size());
        }
        (*a)[index] = item;
    }
}

void Value::removeLastObject()
{
    if (auto* a = mutableArray("removeLastObject"); a != nullptr && !a->empty()) {
        a->pop_back();
    }
}

void Value::removeObject(const Value& item)
{
    if (auto* a = mutableArray("removeObject:")) {
        std::erase_if(*a, [&](const Value& v) { return v.isEqual(item); });
    }
}

void Value::addObjectsFromArray(const Value& other)
{
    if (auto* a = mutableArray("addObjectsFromArray:")) {
        const ArrayItems items = other.arrayItems();  // a copy: other may be this very array
        a->insert(a->end(), items.begin(), items.end());
    }
}

bool Value::containsObject(const Value& item) const
{
    return indexOfObject(item) != NSNotFound;
}

NSUInteger Value::indexOfObject(const Value& item) const
{
    const auto& items = arrayItems();
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].isEqual(item)) {
            return i;
        }
    }
    return NSNotFound;
}

void Value::setObject_forKey(const Value& item, std::string_view key)
{
    if (auto* d = mutableDict("setObject:forKey:")) {
        refuseNil(item, "__NSDictionaryM setObject:forKey:");
        d->set(key, item);
    }
}

void Value::setValue_forKey(const Value& item, std::string_view key)
{
    if (auto* d = mutableDict("setValue:forKey:")) {
        if (item.isNil()) {
            d->erase(key);
        } else {
            d->set(key, item);
        }
    }
}

void Value::removeObjectForKey(std::string_view key)
{
    if (auto* d = mutableDict("removeObjectForKey:")) {
        d->erase(key);
    }
}

void Value::addEntriesFromDictionary(const Value& other)
{
    if (auto* d = mutableDict("addEntriesFromDictionary:")) {
        const DictionaryItems items = other.dictionaryItems();  // a copy: other may be this dictionary
        for (const auto& [key, value] : items) {
            d->set(key, value);
        }
    }
}

void Value::removeAllObjects()
{
    if (auto* a = std::get_if<std::shared_ptr<ArrayItems>>(&v_)) {
        (*a)->clear();
    } else if (isDictionary()) {
        mutableDict("removeAllObjects")->clear();
    } else if (!isNil()) {
        unrecognised(*this, "removeAllObjects");
    }
}

// ---- Copies -----------------------------------------------------------------------------------------

Value Value::copy() const
{
    if (isArray()) {
        return Value(arrayItems());
    }
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&v_)) {
        return Value(std::make_shared<Dict>(**d));
    }
    return *this;
}

Value Value::deepCopy() const
{
    if (isArray()) {
        ArrayItems items;
        items.reserve(count());
        for (const auto& item : arrayItems()) {
            items.push_back(item.deepCopy());
        }
        return Value(std::move(items));
    }
    if (isDictionary()) {
        auto d = std::make_shared<Dict>();
        d->items.reserve(count());
        for (const auto& [key, value] : dictionaryItems()) {
            d->items.emplace_back(key, value.deepCopy());
        }
        d->rebuildIndex();
        return Value(std::move(d));
    }
    return *this;
}

// ---- Equality ---------------------------------------------------------------------------------------

namespace {
NormalDecimal normaliseNumber(const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Decimal: return normalise(v.decimalText());
    case Value::Kind::Double: {
        const double d = v.doubleValue();
        if (std::isnan(d)) {
            NormalDecimal n;
            n.nan = true;
            return n;
        }
        return normalise(shortestDouble(d));
    }
    case Value::Kind::UInt: return normalise(std::to_string(v.unsignedLongLongValue()));
    default: return normalise(std::to_string(v.longLongValue()));
    }
}

bool numbersEqual(const Value& a, const Value& b)
{
    using K = Value::Kind;
    auto isInt = [](K k) { return k == K::Bool || k == K::Int || k == K::UInt; };
    if (isInt(a.kind()) && isInt(b.kind())) {
        auto wide = [](const Value& v) -> __int128 {
            return v.kind() == K::UInt ? static_cast<__int128>(v.unsignedLongLongValue())
                                       : static_cast<__int128>(v.longLongValue());
        };
        return wide(a) == wide(b);
    }
    if (a.kind() == K::Double && b.kind() == K::Double) {
        return a.doubleValue() == b.doubleValue();
    }
    // Mixed with an exact decimal, or a double against an integer: compare exact decimal forms (a
    // double by its shortest text, so 0.1 equals the decimal "0.1").
    const auto na = normaliseNumber(a);
    const auto nb = normaliseNumber(b);
    return na == nb;
}
}  // namespace

bool Value::isEqual(const Value& other) const
{
    if (isNil() || other.isNil()) {
        return false;
    }
    if (isNumber() && other.isNumber()) {
        return numbersEqual(*this, other);
    }
    if (kind() != other.kind()) {
        return false;
    }
    switch (kind()) {
    case Kind::Null: return true;
    case Kind::String: return string() == other.string();
    case Kind::Data: return data() == other.data();
    case Kind::Date: return date() == other.date();
    case Kind::Object: return object()->isEqual(other.object().get());
    case Kind::Array: {
        const auto& a = arrayItems();
        const auto& b = other.arrayItems();
        if (&a == &b) {
            return true;
        }
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (!a[i].isEqual(b[i]) && !(a[i].isNil() && b[i].isNil())) {
                return false;
            }
        }
        return true;
    }
    case Kind::Dictionary: {
        const auto& a = dictionaryItems();
        if (&a == &other.dictionaryItems()) {
            return true;
        }
        if (a.size() != other.count()) {
            return false;
        }
        for (const auto& [key, value] : a) {
            if (!value.isEqual(other.objectForKey(key))) {
                return false;
            }
        }
        return true;
    }
    default: return false;
    }
}

bool Value::isIdenticalTo(const Value& other) const
{
    if (kind() != other.kind()) {
        return false;
    }
    switch (kind()) {
    case Kind::Nil: return true;
    case Kind::Array: return &arrayItems() == &other.arrayItems();
    case Kind::Dictionary: return &dictionaryItems() == &other.dictionaryItems();
    case Kind::Object: return object() == other.object();
    case Kind::Data: return &data() == &other.data();
    default: return isEqual(other);
    }
}
