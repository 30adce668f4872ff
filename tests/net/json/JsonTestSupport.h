#pragma once
// Helpers shared by the codec's tests: a typed rendering of Values (so that a table can say "unsigned
// 5" or "decimal 1.5" and not only "5"), and parsing fed in pieces.
#include "net/json/JSON.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace jsontest {

// nil, null, true, false, i-5 (signed), u5 (unsigned), d1.5 (decimal), f0.5 (double), "text",
// [a,b], {key:value,...} in the container's order.
inline std::string typed(const Value& v)
{
    switch (v.kind()) {
        case Value::Kind::Nil:
            return "nil";
        case Value::Kind::Null:
            return "null";
        case Value::Kind::Bool:
            return v.boolValue() ? "true" : "false";
        case Value::Kind::Int:
            return "i" + std::to_string(v.longLongValue());
        case Value::Kind::UInt:
            return "u" + std::to_string(v.unsignedLongLongValue());
        case Value::Kind::Decimal:
            return "d" + v.decimalText();
        case Value::Kind::Double:
            return "f" + v.stringValue();
        case Value::Kind::String:
            return "\"" + v.string() + "\"";
        case Value::Kind::Array: {
            std::string out = "[";
            for (const Value& item : v.arrayItems()) {
                out += (out.size() > 1 ? "," : "") + typed(item);
            }
            return out + "]";
        }
        case Value::Kind::Dictionary: {
            std::string out = "{";
            for (const auto& [key, item] : v.dictionaryItems()) {
                out += (out.size() > 1 ? "," : "") + key + ":" + typed(item);
            }
            return out + "}";
        }
        default:
            return std::string("<") + ValueKindName(v.kind()) + ">";
    }
}

// A file of the source tree (the benchmark's documents, the fuzzing seeds), by its path from the top.
inline std::string readSourceFile(const std::string& relative)
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    std::ifstream in(std::string(source != nullptr ? source : ".") + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a parse came to: the value (nil on failure) and the error text.
struct Outcome {
    std::string value;
    std::string error;
};

// The whole text at once, through the one-shot parser.
inline Outcome parseWhole(std::string_view text)
{
    const Ref<JsonParser> parser = JsonParser::create();
    const Value value = parser->objectWithString(text);
    return {typed(value), value.isNil() ? parser->error() : std::string()};
}

// The same text fed to a stream parser in pieces of `piece` bytes, read as the one-shot parser does.
inline Outcome parseInPieces(std::string_view text, size_t piece)
{
    const Ref<JsonStreamParserAccumulator> accumulator = JsonStreamParserAccumulator::create();
    const Ref<JsonStreamParserAdapter> adapter = JsonStreamParserAdapter::create();
    adapter->setDelegate(accumulator);
    const Ref<JsonStreamParser> parser = JsonStreamParser::create();
    parser->setDelegate(adapter);
    int status = parser->parse(text.substr(0, 0));
    for (size_t at = 0; at < text.size() && status != JsonParserError; at += piece) {
        status = parser->parse(text.substr(at, piece));
    }
    switch (status) {
        case JsonParserComplete:
            return {typed(accumulator->value()), ""};
        case JsonParserWaitingForData:
            return {"nil", "Unexpected end of input"};
        default:
            return {"nil", parser->error()};
    }
}

}  // namespace jsontest
