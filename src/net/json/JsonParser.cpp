#include "net/json/JsonParser.h"

#include "platform/foundation/NSLog.h"

Ref<JsonParser> JsonParser::create()
{
    Ref<JsonParser> self(new JsonParser());
    self->_maxDepth = 32;
    return self;
}

Value JsonParser::objectWithBytes(const void* bytes, size_t length)
{
    const Ref<JsonStreamParserAccumulator> accumulator = JsonStreamParserAccumulator::create();
    const Ref<JsonStreamParserAdapter> adapter = JsonStreamParserAdapter::create();
    adapter->setDelegate(accumulator);
    const Ref<JsonStreamParser> parser = JsonStreamParser::create();
    parser->setMaxDepth(_maxDepth);
    parser->setDelegate(adapter);

    switch (parser->parse(bytes, length)) {
        case JsonParserComplete:
            return accumulator->value();
        case JsonParserWaitingForData:
            _error = "Unexpected end of input";
            return Value();
        default:
            _error = parser->error();
            return Value();
    }
}

Value JsonParser::objectWithString(std::string_view string) { return objectWithBytes(string.data(), string.size()); }

Value JsonParser::objectWithString(const Value& string)
{
    if (!string.isString()) {
        _error = "Input was 'nil'";
        return Value();
    }
    return objectWithString(std::string_view(string.string()));
}

Value JsonParser::objectWithData(const NSData* data)
{
    if (data == nullptr) {
        _error = "Input was 'nil'";
        return Value();
    }
    return objectWithData(*data);
}

Value JsonParser::objectWithString_error(std::string_view string, Ref<NSError>* error)
{
    Value value = objectWithString(string);
    if (value.isNil() && error != nullptr) {
        *error = NSError::errorWithDomain_code_userInfo(JsonParserErrorDomain, 0,
                                                        Value::dictionary({{NSLocalizedDescriptionKey, Value(_error)}}));
    }
    return value;
}

namespace NSString_JsonParsing {

Value JSONValue(std::string_view string)
{
    const Ref<JsonParser> parser = JsonParser::create();
    Value value = parser->objectWithString(string);
    if (value.isNil()) {
        NSLog("-JSONValue failed. Error is: %@", parser->error());
    }
    return value;
}

Value JSONValue(const Value& string)
{
    if (!string.isString()) {
        return Value();
    }
    return JSONValue(std::string_view(string.string()));
}

}  // namespace NSString_JsonParsing
