#pragma once
// Value: the stand-in for `id` when it holds property-list or JSON data.
//
// Kinds:
//   Nil         no object at all (a missing key, an out-of-range index, a failed parse)
//   Null        the NSNull singleton: present, but empty (JSON null)
//   Bool        a boolean number (@YES / @NO, JSON true / false)
//   Int         a signed 64-bit integer
//   UInt        an unsigned 64-bit integer (kept apart from Int, so 2^64-1 survives)
//   Double      a binary floating-point number
//   Decimal     an exact decimal number kept as its text ("-12.50", "1e400", "12345678901234567890123",
//               or "NaN"); compared and converted by value, written back as the same text
//   String      UTF-8 text (lengths and ranges in UTF-16 units: see NSString.h)
//   Data        bytes (NSData)
//   Date        a point in time (NSDate)
//   Array       an ordered list of Values
//   Dictionary  string keys to Values, in insertion order (replacing a key keeps its place)
//   Object      any Ref<NSObject>
//
// Containers are shared mutable handles: copying a Value copies the handle, like copying an object
// pointer, so a change made through one copy is seen through all. copy() and mutableCopy() make a new
// container holding the same items (shallow, as the platform does); deepCopy() copies nested containers
// too. Containers are not thread-safe; share them across threads only read-only or under a lock.
//
// Nil-safe reads, as messaging nil: reading through anything missing or of the wrong kind gives nil,
// and nil reads as 0, NO, 0.0 or the empty text, so
//     reply["result"]["ext"]["title"].stringValue()
// never throws, whatever the reply holds. Conversions follow the platform:
//     intValue()   of "200" is 200, of "  -12abc" is -12, of "abc" is 0, of YES is 1, of 3.9 is 3
//     boolValue()  of "YES", "true", "1", "001" is true; of "NO", "0", "" is false; of 2 is true
//     stringValue() of 200 is "200", of 0.5 is "0.5", of YES is "1", of a string is the string
//     doubleValue() of "3.5kg" is 3.5
// Null reads like nil (0, NO, ""), although it is a present value (isNull(), description "<null>").
//
// Mutation of a container never happens on a temporary by accident: assignment to a Value is allowed
// only on named values, so `dict["k"] = v` does not compile; write dict.setObject_forKey(v, "k").
#include <compare>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>  // not used here any more; kept for files that relied on it through this header
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"

class Value;

struct ValueNull {
    bool operator==(const ValueNull&) const = default;
};
struct ValueDecimal {
    std::string text;
};

class Value {
public:
    enum class Kind { Nil, Null, Bool, Int, UInt, Double, Decimal, String, Data, Date, Array, Dictionary, Object };
    using ArrayItems = std::vector<Value>;
    using DictionaryItem = std::pair<std::string, Value>;
    using DictionaryItems = std::vector<DictionaryItem>;

    // ---- Construction -----------------------------------------------------------------------------
    Value() noexcept {}                  // nil
    Value(std::nullptr_t) noexcept {}    // nil
    Value(bool b) noexcept : kind_(Kind::Bool) { s_.b = b; }
    Value(int i) noexcept : kind_(Kind::Int) { s_.i = i; }
    Value(long i) noexcept : kind_(Kind::Int) { s_.i = i; }
    Value(long long i) noexcept : kind_(Kind::Int) { s_.i = i; }
    Value(unsigned u) noexcept : kind_(Kind::UInt) { s_.u = u; }
    Value(unsigned long u) noexcept : kind_(Kind::UInt) { s_.u = u; }
    Value(unsigned long long u) noexcept : kind_(Kind::UInt) { s_.u = u; }
    Value(double d) noexcept : kind_(Kind::Double) { s_.d = d; }
    Value(const char* s);  // a null pointer gives nil
    Value(char* s) : Value(static_cast<const char*>(s)) {}
    Value(std::string s) noexcept : kind_(Kind::String) { ::new (&s_.str) std::string(std::move(s)); }
    Value(std::string_view s) : kind_(Kind::String) { ::new (&s_.str) std::string(s); }
    Value(NSData d);
    Value(NSDate d) noexcept : kind_(Kind::Date) { ::new (&s_.date) NSDate(d); }
    Value(Ref<NSObject> object);  // a null Ref gives nil
    template <class T>
        requires(std::is_base_of_v<NSObject, T> && !std::is_same_v<T, NSObject>)
    Value(const Ref<T>& object) : Value(std::static_pointer_cast<NSObject>(object))
    {
    }
    // A new array holding the items (copied handles).
    Value(ArrayItems items);
    // Other pointers must not silently become booleans.
    template <class T>
    Value(T*) = delete;

    static Value null() { return Value(ValueNull{}); }
    // An exact decimal from its text: optional sign, digits with an optional point (at least one digit
    // in all, so "-.5" and "5." are accepted), optional exponent; or "NaN". Text of any other shape
    // gives nil.
    static Value decimal(std::string_view text);
    // The same decimal as decimal(text) for a text of the plain form -?(0|[1-9][0-9]*)(\.[0-9]+)? given
    // by its parts, for a reader that has already taken the digits in: `digits` is the text's digits
    // read as one integer, `integerDigits` (at least 1) and `fractionDigits` count them before and after
    // the point, 19 at most in all.
    static Value plainDecimal(uint64_t digits, unsigned integerDigits, unsigned fractionDigits, bool negative) noexcept
    {
        Value v;
        ::new (&v.s_.dec) Decimal{digits, true, negative, static_cast<uint8_t>(integerDigits), static_cast<uint8_t>(fractionDigits), nullptr};
        v.kind_ = Kind::Decimal;
        return v;
    }
    static Value array() { return Value(ArrayItems{}); }
    static Value array(std::initializer_list<Value> items) { return Value(ArrayItems(items)); }
    static Value dictionary();
    // Later duplicates of a key replace the earlier value in its place.
    static Value dictionary(std::initializer_list<DictionaryItem> items);
    // A new dictionary made of the entries in one go (they are moved in, not copied); as above, a later
    // duplicate of a key replaces the earlier value in its place.
    static Value dictionaryWithItems(DictionaryItems items);

    Value(const Value& other)
    {
        if (isInline(other.kind_)) {
            copyInline(other);
        } else {
            copyFrom(other);
        }
    }
    // The moved-from value is left nil.
    Value(Value&& other) noexcept
    {
        if (isInline(other.kind_)) {
            copyInline(other);
        } else {
            moveFrom(other);
        }
    }
    // Assignment only to named values: `container["key"] = x` would assign to a temporary.
    Value& operator=(const Value& other) &
    {
        if (this != &other) {
            if (isInline(kind_) && isInline(other.kind_)) {
                copyInline(other);
            } else {
                Value copied(other);  // first: `other` may live inside what this value holds
                *this = std::move(copied);
            }
        }
        return *this;
    }
    Value& operator=(Value&& other) & noexcept
    {
        if (this != &other) {
            if (isInline(kind_)) {
                if (isInline(other.kind_)) {
                    copyInline(other);
                } else {
                    moveFrom(other);
                }
            } else {
                Value taken(std::move(other));  // first: `other` may live inside what this value holds
                release();
                moveFrom(taken);
            }
        }
        return *this;
    }
    ~Value()
    {
        if (!isInline(kind_)) {
            release();
        }
    }

    // ---- Kind -------------------------------------------------------------------------------------
    Kind kind() const { return kind_; }
    bool isNil() const { return kind() == Kind::Nil; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isNilOrNull() const { return isNil() || isNull(); }
    bool isBool() const { return kind() == Kind::Bool; }
    // Bool, Int, UInt, Double and Decimal are all numbers (NSNumber / NSDecimalNumber).
    bool isNumber() const;
    bool isInteger() const { return kind() == Kind::Int || kind() == Kind::UInt; }
    bool isString() const { return kind() == Kind::String; }
    bool isData() const { return kind() == Kind::Data; }
    bool isDate() const { return kind() == Kind::Date; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }
    bool isObject() const { return kind() == Kind::Object; }
    // True unless nil (NSNull is an object, so it is true), like testing an id in a condition.
    explicit operator bool() const { return !isNil(); }

    // ---- Nil-safe reads ---------------------------------------------------------------------------
    // The value for a key of a dictionary; nil when this is not a dictionary or the key is missing.
    Value operator[](std::string_view key) const { return objectForKey(key); }
    Value operator[](const char* key) const { return objectForKey(key ? std::string_view(key) : std::string_view()); }
    Value operator[](const std::string& key) const { return objectForKey(key); }
    // The item at an index of an array; nil when this is not an array or the index is out of range.
    template <class I>
        requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
    Value operator[](I index) const
    {
        if constexpr (std::is_signed_v<I>) {
            if (index < 0) {
                return Value();
            }
        }
        return itemAt(static_cast<uint64_t>(index));
    }
    Value objectForKey(std::string_view key) const;
    Value valueForKey(std::string_view key) const { return objectForKey(key); }
    // Dotted key path through nested dictionaries ("result.ext.title").
    Value valueForKeyPath(std::string_view path) const;
    // The item at an index; throws NSException "NSRangeException" when out of range (as the platform
    // does); nil when this is not an array.
    Value objectAtIndex(NSUInteger index) const;
    Value firstObject() const;
    Value lastObject() const;
    // Items in an array or entries in a dictionary; 0 for anything else.
    NSUInteger count() const;
    // UTF-16 units of a string, bytes of data; 0 for anything else.
    NSUInteger length() const;

    // ---- Conversions (the platform's readings; nil and null read as 0 / NO / "") --------------------
    int intValue() const;                  // 32-bit, saturating for text, truncating for numbers
    NSInteger integerValue() const;        // 64-bit
    long long longLongValue() const;       // exact for Int; UInt above INT64_MAX wraps as on the platform
    unsigned int unsignedIntValue() const;
    NSUInteger unsignedIntegerValue() const;
    unsigned long long unsignedLongLongValue() const;  // exact for UInt
    float floatValue() const;
    double doubleValue() const;
    bool boolValue() const;
    // Text of a string, number (shortest form that reads back the same), decimal (its text); "" else.
    std::string stringValue() const;
    // What "%@" prints: "(null)" for nil, "<null>" for null, text as it is, numbers as stringValue,
    // containers in the platform's old-style property-list description.
    std::string description() const;

    // ---- Typed access (empty or null results for other kinds) ------------------------------------
    const std::string& string() const;      // the text of a String
    const std::string& decimalText() const;  // the text of a Decimal
    // The text of a Decimal without keeping it: made in `buffer` for a decimal held as digits, so a
    // writer reads it without an allocation. Only for a Decimal.
    std::string_view decimalView(char (&buffer)[32]) const;
    // Whether a Decimal's text is of the plain form -?(0|[1-9][0-9]*)(\.[0-9]+)?, which is also how JSON
    // writes numbers (true for most; false means "look at the text"). Only for a Decimal.
    bool decimalIsPlain() const { return s_.dec.packed; }
    const NSData& data() const;             // the bytes of Data
    NSDate date() const;                    // the date of a Date (the epoch otherwise)
    Ref<NSObject> object() const;           // the object of an Object
    template <class T>
    Ref<T> object() const
    {
        return std::dynamic_pointer_cast<T>(object());
    }
    // Items of an array / entries of a dictionary in order (empty for other kinds). The reference is
    // valid until the container is changed.
    const ArrayItems& arrayItems() const;
    const DictionaryItems& dictionaryItems() const;
    std::vector<std::string> allKeys() const;
    std::vector<Value> allValues() const;

    // ---- Array mutation (no effect on nil, like messaging nil; NSInvalidArgumentException when this
    // is of another kind; nil items are refused with NSInvalidArgumentException as the platform does) -
    void addObject(const Value& item);
    void addObject(Value&& item);  // moves the item in
    void insertObject_atIndex(const Value& item, NSUInteger index);  // NSRangeException past the end
    void removeObjectAtIndex(NSUInteger index);                     // NSRangeException when out of range
    void replaceObjectAtIndex_withObject(NSUInteger index, const Value& item);
    void removeLastObject();                                        // no effect when empty
    void removeObject(const Value& item);                           // every isEqual item
    void addObjectsFromArray(const Value& other);
    bool containsObject(const Value& item) const;
    NSUInteger indexOfObject(const Value& item) const;  // NSNotFound when absent

    // ---- Dictionary mutation (same rules; a new key goes last, an existing key keeps its place) -----
    void setObject_forKey(const Value& item, std::string_view key);  // nil item: NSInvalidArgumentException
    // The same, moving the item (and a key given as a temporary string) in instead of copying.
    void setObject_forKey(Value&& item, std::string_view key);
    void setObject_forKey(Value&& item, std::string&& key);
    void setObject_forKey(Value&& item, const char* key) { setObject_forKey(std::move(item), std::string_view(key)); }
    // Key-value coding: nil removes the key.
    void setValue_forKey(const Value& item, std::string_view key);
    void removeObjectForKey(std::string_view key);
    void addEntriesFromDictionary(const Value& other);

    // Both containers.
    void removeAllObjects();

    // ---- Copies and equality ----------------------------------------------------------------------
    // A new container with the same items (shallow); other kinds return themselves.
    Value copy() const;
    Value mutableCopy() const { return copy(); }
    // Nested arrays and dictionaries copied too.
    Value deepCopy() const;
    // The platform's isEqual: numbers by value across kinds (1 == 1.0 == YES), exact decimals by value,
    // strings by text, data by bytes, dates by time, containers by contents, objects by
    // NSObject::isEqual. Nil equals nothing, not even nil (messaging nil returns NO).
    bool isEqual(const Value& other) const;
    bool isEqualToString(std::string_view text) const { return isString() && string() == text; }
    // Same as isEqual, except that nil == nil.
    bool operator==(const Value& other) const { return (isNil() && other.isNil()) || isEqual(other); }
    // Identity of containers and objects (pointer equality); for other kinds, isEqual.
    bool isIdenticalTo(const Value& other) const;

private:
    struct Dict;
    // An exact decimal. The common plain form -?(0|[1-9][0-9]*)(\.[0-9]+)? with at most 19 digits is
    // kept as its digits in an integer (no allocation) and its text is made again when asked for;
    // any other text is kept as it is. Plain bytes: the owning Value copies and frees `text`.
    struct Decimal {
        uint64_t digits;         // packed: the text's digits read as one integer
        bool packed;
        bool negative;           // packed: a leading minus
        uint8_t integerDigits;   // packed: digits before the point
        uint8_t fractionDigits;  // packed: digits after the point (0: no point)
        // Owned. The text, given from the start (not packed), or made at the first decimalText() of a
        // packed one and published with an atomic exchange, so readers on several threads stay safe.
        std::string* text;
    };
    // The payload: which member is alive is told by kind_. Nil, null, booleans, numbers and dates fit
    // in eight bytes without a destructor ("inline" kinds), and are copied as plain bytes.
    union Storage {
        bool b;
        int64_t i;
        uint64_t u;
        double d;
        NSDate date;
        Decimal dec;
        std::string str;
        std::shared_ptr<const NSData> data;
        std::shared_ptr<ArrayItems> array;
        std::shared_ptr<Dict> dict;
        Ref<NSObject> object;
        Storage() noexcept : u(0) {}
        ~Storage() {}
    };
    static_assert(std::is_trivially_copyable_v<Decimal> && std::is_trivially_copyable_v<NSDate> && sizeof(NSDate) <= 8);

    explicit Value(ValueNull) noexcept : kind_(Kind::Null) {}
    explicit Value(std::shared_ptr<Dict> d);

    static constexpr bool isInline(Kind k)
    {
        return ((1u << static_cast<unsigned>(k)) &
                ((1u << static_cast<unsigned>(Kind::Nil)) | (1u << static_cast<unsigned>(Kind::Null)) |
                 (1u << static_cast<unsigned>(Kind::Bool)) | (1u << static_cast<unsigned>(Kind::Int)) |
                 (1u << static_cast<unsigned>(Kind::UInt)) | (1u << static_cast<unsigned>(Kind::Double)) |
                 (1u << static_cast<unsigned>(Kind::Date)))) != 0;
    }
    // Only while this value holds an inline kind or nothing (no destructor to run first).
    void copyInline(const Value& other) noexcept
    {
        std::memcpy(static_cast<void*>(&s_), static_cast<const void*>(&other.s_), 8);
        kind_ = other.kind_;
    }
    // Only while this value holds an inline kind or nothing; `other` holds another kind.
    void copyFrom(const Value& other);
    // Only while this value holds an inline kind or nothing. Takes the payload and leaves `other` nil.
    // A moved-from string or handle has nothing left to free, so its destructor is not run.
    void moveFrom(Value& other) noexcept;
    // Ends the life of a non-inline payload; the value is nil afterwards.
    void release() noexcept;

    const std::shared_ptr<ArrayItems>* arrayHandle() const { return kind_ == Kind::Array ? &s_.array : nullptr; }
    const std::shared_ptr<Dict>* dictHandle() const { return kind_ == Kind::Dictionary ? &s_.dict : nullptr; }
    Value itemAt(uint64_t index) const;
    ArrayItems* mutableArray(const char* operation);
    Dict* mutableDict(const char* operation);
    void describe(std::string& out, int indent) const;

    Storage s_;
    Kind kind_ = Kind::Nil;
};

// A short name for the kind ("string", "dictionary", ...), for messages and logs.
const char* ValueKindName(Value::Kind kind);
