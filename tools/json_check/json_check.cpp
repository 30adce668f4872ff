// json_check FILE: runs the JSON parser over a file. Exit status 0 when it accepts the text, 1 when it
// refuses it (the reason goes to standard error), 2 when the file cannot be read.
#include "net/json/JsonParser.h"

#include <cstdio>
#include <optional>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const std::optional<NSData> data = NSData::dataWithContentsOfFile(argv[1]);
    if (!data) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 2;
    }
    const Ref<JsonParser> parser = JsonParser::create();
    if (parser->objectWithData(*data).isNil()) {
        std::fprintf(stderr, "%s\n", parser->error().c_str());
        return 1;
    }
    return 0;
}
