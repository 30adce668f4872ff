#include "net/json/JsonWriter.h"

#include "platform/foundation/NSLog.h"

namespace {
namespace JsonWriter_cpp {
// Longest chain of proxies followed at the top level.
constexpr int kMaxProxyHops = 32;
}  // namespace JsonWriter_cpp
}  // namespace

Ref<JsonWriter> JsonWriter::create()
{
    Ref<JsonWriter> self(new JsonWriter());
    self->_maxDepth = 32;
    return self;
}

std::optional<NSData> JsonWriter::dataWithObject(const Value& value)
{
    _error.clear();
    const Ref<JsonStreamWriterAccumulator> accumulator = JsonStreamWriterAccumulator::create();
    const Ref<JsonStreamWriter> writer = JsonStreamWriter::create();
    writer->setSortKeys(_sortKeys);
    writer->setMaxDepth(_maxDepth);
    writer->setHumanReadable(_humanReadable);
    writer->setDelegate(accumulator);

    Value object = value;
    for (int hops = 0;; ++hops) {
        bool ok;
        if (object.isDictionary()) {
            ok = writer->writeObject(object);
        } else if (object.isArray()) {
            ok = writer->writeArray(object);
        } else if (const auto* proxying = object.isObject() ? dynamic_cast<const JsonProxying*>(object.object().get()) : nullptr;
                   proxying != nullptr && hops < JsonWriter_cpp::kMaxProxyHops) {
            Value proxy = proxying->proxyForJson();
            object = std::move(proxy);
            continue;
        } else {
            _error = "Not valid type for JSON";
            return std::nullopt;
        }
        if (!ok) {
            _error = writer->error();
            return std::nullopt;
        }
        return std::move(accumulator->data());
    }
}

std::optional<std::string> JsonWriter::stringWithObject(const Value& value)
{
    std::optional<NSData> data = dataWithObject(value);
    if (!data) {
        return std::nullopt;
    }
    return data->string();
}

std::optional<std::string> JsonWriter::stringWithObject_error(const Value& value, Ref<NSError>* error)
{
    std::optional<std::string> text = stringWithObject(value);
    if (!text && error != nullptr) {
        *error = NSError::errorWithDomain_code_userInfo(JsonWriterErrorDomain, 0,
                                                        Value::dictionary({{NSLocalizedDescriptionKey, Value(_error)}}));
    }
    return text;
}

namespace NSObject_JsonWriting {

std::optional<std::string> JSONRepresentation(const Value& object)
{
    const Ref<JsonWriter> writer = JsonWriter::create();
    std::optional<std::string> text = writer->stringWithObject(object);
    if (!text) {
        NSLog("-JSONRepresentation failed. Error is: %@", writer->error());
    }
    return text;
}

}  // namespace NSObject_JsonWriting
