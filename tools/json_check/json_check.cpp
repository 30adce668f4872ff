// json_check [--stream] FILE: runs the JSON parser over a file. Exit status 0 when it accepts the text,
// 1 when it refuses it (the reason goes to standard error), 2 when the file cannot be read.
// With --stream the text goes through the stream parser and its adapter (the path of text that comes
// in pieces) instead of the whole-text parser, so that a collection of documents can be run through both.
#include "net/json/JsonParser.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {
namespace json_check_cpp {

// The stream parser's verdict on the whole text; the error text on refusal, nothing on acceptance.
std::optional<std::string> refusalOfStreamParser(const NSData& data)
{
    const Ref<JsonStreamParserAccumulator> accumulator = JsonStreamParserAccumulator::create();
    const Ref<JsonStreamParserAdapter> adapter = JsonStreamParserAdapter::create();
    adapter->setDelegate(accumulator);
    const Ref<JsonStreamParser> parser = JsonStreamParser::create();
    parser->setDelegate(adapter);
    switch (parser->parse(data)) {
        case JsonParserComplete:
            return std::nullopt;
        case JsonParserWaitingForData:
            return std::string("Unexpected end of input");
        default:
            return parser->error();
    }
}

}  // namespace json_check_cpp
}  // namespace

int main(int argc, char** argv)
{
    const bool stream = argc == 3 && std::strcmp(argv[1], "--stream") == 0;
    if (argc != 2 && !stream) {
        std::fprintf(stderr, "usage: %s [--stream] FILE\n", argv[0]);
        return 2;
    }
    const char* const path = argv[argc - 1];
    const std::optional<NSData> data = NSData::dataWithContentsOfFile(path);
    if (!data) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path);
        return 2;
    }
    if (stream) {
        if (const std::optional<std::string> refusal = json_check_cpp::refusalOfStreamParser(*data)) {
            std::fprintf(stderr, "%s\n", refusal->c_str());
            return 1;
        }
        return 0;
    }
    const Ref<JsonParser> parser = JsonParser::create();
    if (parser->objectWithData(*data).isNil()) {
        std::fprintf(stderr, "%s\n", parser->error().c_str());
        return 1;
    }
    return 0;
}
