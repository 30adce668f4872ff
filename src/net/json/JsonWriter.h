#pragma once
// The one-shot JSON writer: a dictionary or an array of Values in, JSON text out (or nothing, with the
// reason in error()).
//
//   auto text = NSObject_JsonWriting::JSONRepresentation(dict);   // std::nullopt on failure
//
// Compact by default. humanReadable puts each key and element on its own line, indented by two spaces
// per open container, with ": " after keys; sortKeys writes keys in byte order of their UTF-8 text
// (otherwise in the dictionary's order). Integers are written exactly, doubles with 17 significant
// digits, decimals as their own text; NaN and infinities are refused. At most maxDepth (32) containers
// may be open at once; 0 means no limit.
#include "net/json/JsonStreamWriter.h"
#include "platform/foundation/NSError.h"

#include <optional>
#include <string>

inline constexpr char JsonWriterErrorDomain[] = "JsonWriterErrorDomain";

class JsonWriter : public NSObject {
public:
    // maxDepth 32, compact, keys in dictionary order.
    static Ref<JsonWriter> create();

    std::optional<std::string> stringWithObject(const Value& value);
    // As stringWithObject; on failure, when `error` is given, it receives an error of
    // JsonWriterErrorDomain, code 0, with the error text as its localized description.
    std::optional<std::string> stringWithObject_error(const Value& value, Ref<NSError>* error);
    std::optional<NSData> dataWithObject(const Value& value);

    bool sortKeys() const { return _sortKeys; }
    void setSortKeys(bool value) { _sortKeys = value; }
    bool humanReadable() const { return _humanReadable; }
    void setHumanReadable(bool value) { _humanReadable = value; }
    uint32_t maxDepth() const { return _maxDepth; }
    void setMaxDepth(uint32_t maxDepth) { _maxDepth = maxDepth; }
    const std::string& error() const { return _error; }
    void setError(std::string error) { _error = std::move(error); }

protected:
    JsonWriter() = default;

private:
    std::string _error;
    uint32_t _maxDepth = 32;
    bool _sortKeys = false;
    bool _humanReadable = false;
};

// The category for writing any value.
namespace NSObject_JsonWriting {
// The text of the value with default options, or nothing after logging
// "-JSONRepresentation failed. Error is: <reason>".
std::optional<std::string> JSONRepresentation(const Value& object);
}  // namespace NSObject_JsonWriting
