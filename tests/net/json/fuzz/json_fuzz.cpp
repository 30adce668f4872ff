// libFuzzer target for the JSON parser. For every input it checks that
//   - the parse ends (no crash, leak or hang under the sanitizers),
//   - feeding the same bytes in pieces (one byte at a time, and in pieces of 7) gives the same verdict,
//     the same error text and the same tree,
//   - an accepted tree written by the writer (compact and human-readable) parses back equal to itself.
#include "../JsonTestSupport.h"
#include "net/json/JsonWriter.h"

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char* what, const jsontest::Outcome& a, const jsontest::Outcome& b)
{
    std::fprintf(stderr, "%s\n  %s / %s\n  %s / %s\n", what, a.value.c_str(), a.error.c_str(), b.value.c_str(),
                 b.error.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Ref<JsonParser> parser = JsonParser::create();
    const Value value = parser->objectWithString(text);
    const jsontest::Outcome whole{jsontest::typed(value), value.isNil() ? parser->error() : std::string()};

    for (const size_t piece : {size_t{1}, size_t{7}}) {
        if (piece == 1 && size > 4096) {
            continue;  // byte by byte re-reads an incomplete token each time: keep it to small inputs
        }
        const jsontest::Outcome pieces = jsontest::parseInPieces(text, piece);
        if (pieces.value != whole.value || pieces.error != whole.error) {
            fail("pieces differ from the whole", whole, pieces);
        }
    }

    if (!value.isNil()) {
        for (const bool human : {false, true}) {
            const Ref<JsonWriter> writer = JsonWriter::create();
            writer->setHumanReadable(human);
            const std::optional<std::string> written = writer->stringWithObject(value);
            if (!written) {
                fail(("writer refused: " + writer->error()).c_str(), whole, whole);
            }
            const Value again = JsonParser::create()->objectWithString(*written);
            if (!again.isEqual(value)) {
                fail(("written text reads back differently: " + *written).c_str(), whole,
                     jsontest::Outcome{jsontest::typed(again), ""});
            }
        }
    }
    return 0;
}
