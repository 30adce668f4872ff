#pragma once
// The one-shot JSON parser: text in, a tree of Values out (mutable dictionaries and arrays, strings,
// numbers, booleans, the null value), or nil with the reason in error().
//
//   Value reply = NSString_JsonParsing::JSONValue(responseText);
//   if (reply["status"].intValue() == 200) ...
//
// The top level must be an object or an array. Numbers: integers of fewer than 19 digits are 64-bit
// integers (unsigned, or signed when negative: "-0" is a signed 0); every other number is an exact
// decimal. A repeated key keeps its last value. At most maxDepth (32) containers may be open at once.
//
// The text is whole here, so the tokens go straight into the tree: each container's items are built in
// the vector that becomes its storage, under the grammar of the stream parser and with its error
// texts, and without its events. JsonStreamParser with JsonStreamParserAdapter stays the path for text
// that arrives in pieces; both give the same values and the same errors.
#include "net/json/JsonStreamParserAdapter.h"
#include "platform/foundation/NSError.h"

#include <string>
#include <string_view>

inline constexpr char JsonParserErrorDomain[] = "JsonParserErrorDomain";

class JsonParser : public NSObject {
public:
    // maxDepth 32.
    static Ref<JsonParser> create();

    // The value of a whole text, or nil (error() says why). A parser may be used for several texts;
    // error() is only written when one fails.
    Value objectWithString(std::string_view string);
    Value objectWithString(const std::string& string) { return objectWithString(std::string_view(string)); }
    // A null pointer is a nil string.
    Value objectWithString(const char* string) { return string ? objectWithString(std::string_view(string)) : objectWithString(Value()); }
    // Nil string: nil with "Input was 'nil'"; a Value that is not a string counts as nil too.
    Value objectWithString(const Value& string);
    Value objectWithData(const NSData& data) { return objectWithBytes(data.bytes(), data.length()); }
    // Nil data: nil with "Input was 'nil'".
    Value objectWithData(const NSData* data);
    Value objectWithBytes(const void* bytes, size_t length);
    // As objectWithString; on failure, when `error` is given, it receives an error of
    // JsonParserErrorDomain, code 0, with the error text as its localized description.
    Value objectWithString_error(std::string_view string, Ref<NSError>* error);

    uint32_t maxDepth() const { return _maxDepth; }
    void setMaxDepth(uint32_t maxDepth) { _maxDepth = maxDepth; }
    const std::string& error() const { return _error; }
    void setError(std::string error) { _error = std::move(error); }

protected:
    JsonParser() = default;

private:
    std::string _error;
    uint32_t _maxDepth = 32;
};

// The category every reply handler uses.
namespace NSString_JsonParsing {
// The value of the text, or nil after logging "-JSONValue failed. Error is: <reason>".
Value JSONValue(std::string_view string);
inline Value JSONValue(const std::string& string) { return JSONValue(std::string_view(string)); }
inline Value JSONValue(const char* string) { return string ? JSONValue(std::string_view(string)) : Value(); }
// Nil (or anything but a string) gives nil without a word, as a message to nil would.
Value JSONValue(const Value& string);
}  // namespace NSString_JsonParsing
