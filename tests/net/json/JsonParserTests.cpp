// The JSON parser: what it accepts and builds, what it refuses and why, and that feeding the text in
// pieces never changes the outcome.
#include "../../support/fixtures/JsonNumbersDocument.h"
#include "JsonTestSupport.h"

#include "platform/foundation/NSLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using jsontest::Outcome;
using jsontest::parseInPieces;
using jsontest::parseWhole;
using jsontest::typed;

namespace {

struct Accepted {
    std::string text;
    std::string value;  // typed rendering
};

std::string nested(int depth, const std::string& open, const std::string& inner, const std::string& close)
{
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += open;
    }
    text += inner;
    for (int i = 0; i < depth; ++i) {
        text += close;
    }
    return text;
}

const std::vector<Accepted>& acceptedTable()
{
    static const std::vector<Accepted> table = {
        // Containers and whitespace (space, tab, line feed, carriage return only).
        {"[]", "[]"},
        {"{}", "{}"},
        {" \t\r\n[ \t\r\n] \t\r\n", "[]"},
        {"[[],{},[[]]]", "[[],{},[[]]]"},
        {"{\"a\":[1,{\"b\":[true,false,null]}],\"c\":\"x\"}", "{a:[u1,{b:[true,false,null]}],c:\"x\"}"},
        // A repeated key keeps the value that comes last; null is a present member.
        {"{\"a\":1,\"a\":2}", "{a:u2}"},
        {"{\"a\":1,\"b\":3,\"a\":{\"c\":[]}}", "{a:{c:[]},b:u3}"},
        {"[null]", "[null]"},
        {"{\"a\":null}", "{a:null}"},
        // Integers below 19 digits are 64-bit integers, "-0" a signed zero.
        {"[0]", "[u0]"},
        {"[-0]", "[i0]"},
        {"[-5]", "[i-5]"},
        {"[123456789]", "[u123456789]"},
        {"[999999999999999999]", "[u999999999999999999]"},
        {"[-999999999999999999]", "[i-999999999999999999]"},
        // 19 digits and more: exact decimals, even where 64 bits would hold them.
        {"[1000000000000000000]", "[d1000000000000000000]"},
        {"[-1000000000000000000]", "[d-1000000000000000000]"},
        {"[18446744073709551615]", "[d18446744073709551615]"},
        {"[123456789012345678901234567890]", "[d123456789012345678901234567890]"},
        {"[12345678901234567890.5e-3]", "[d12345678901234567.8905]"},
        // Fractions and exponents: exact decimals in positional form.
        {"[1.5]", "[d1.5]"},
        {"[2e3]", "[d2000]"},
        {"[1.50]", "[d1.5]"},
        {"[-0.0]", "[d0]"},
        {"[1E+2]", "[d100]"},
        {"[1e-2]", "[d0.01]"},
        {"[0.5e1]", "[d5]"},
        {"[-12.25E-1]", "[d-1.225]"},
        {"[0.00000000000000001]", "[d0.00000000000000001]"},
        {"[0.000000000000000001]", "[d0.000000000000000001]"},
        {"[1e127]", "[d1" + std::string(127, '0') + "]"},
        {"[1e-128]", "[d0." + std::string(127, '0') + "1]"},
        // Far outside the platform decimal's range the exponent stays (the parse never fails for it).
        {"[1e128]", "[d1e128]"},
        {"[1e400]", "[d1e400]"},
        {"[-25e-400]", "[d-25e-400]"},
        {"[1e40000]", "[d1e40000]"},
        {"[1e99999999999999999999]", "[d1e1000000]"},
        {"[1e-99999999999999999999]", "[d1e-1000000]"},
        {"[-9999900E999999999]", "[d-99999e1000000]"},
        {"[0.5e-99999999999]", "[d5e-1000000]"},
        {"[0e99999999999]", "[d0]"},
        // Strings, escapes, UTF-8.
        {"[\"\"]", "[\"\"]"},
        {"[\"a\\\"b\\\\c\\/d\"]", "[\"a\"b\\c/d\"]"},
        {"[\"\\b\\f\\n\\r\\t\"]", "[\"\b\f\n\r\t\"]"},
        {"[\"\\u0041\\u00e9\\u4E2D\"]", "[\"A\xC3\xA9\xE4\xB8\xAD\"]"},
        {"[\"\\uD83D\\uDE00\"]", "[\"\xF0\x9F\x98\x80\"]"},
        {"[\"\\ud83d\\ude00x\"]", "[\"\xF0\x9F\x98\x80x\"]"},
        {"[\"\\uDBFF\\uDFFF\"]", "[\"\xF4\x8F\xBF\xBF\"]"},
        {"[\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\"]", "[\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\"]"},
        // The edges of each UTF-8 form, alone and after a run of ASCII long enough to be skipped in blocks.
        {"[\"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\"]",
         "[\"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\"]"},
        {"[\"" + std::string(20, 'a') + "\xE4\xB8\xAD" + std::string(9, 'b') + "\xC3\xA9\"]",
         "[\"" + std::string(20, 'a') + "\xE4\xB8\xAD" + std::string(9, 'b') + "\xC3\xA9\"]"},
        {"[\"long text with an escape at the very end, past sixteen bytes\\n\"]",
         "[\"long text with an escape at the very end, past sixteen bytes\n\"]"},
        {"{\"k\\u0065y\":\"v\"}", "{key:\"v\"}"},
        {"[true,false,null,\"\",0,{}]", "[true,false,null,\"\",u0,{}]"},
        // Nesting up to the limit.
        {nested(32, "[", "", "]"), nested(32, "[", "", "]")},
        {nested(31, "{\"a\":", "{}", "}"), nested(31, "{a:", "{}", "}")},
    };
    return table;
}

struct Refused {
    std::string text;
    std::string error;
};

const std::vector<Refused>& refusedTable()
{
    static const std::vector<Refused> table = {
        // The end of the input.
        {"", "Unexpected end of input"},
        {" \n\t ", "Unexpected end of input"},
        {"[", "Unexpected end of input"},
        {"[1", "Unexpected end of input"},
        {"{\"a\":", "Unexpected end of input"},
        {"[\"abc", "Unexpected end of input"},
        {"[tr", "Unexpected end of input"},
        {"123", "Unexpected end of input"},  // a number ends only when a byte follows it
        // The top level is an object or an array.
        {"123 ", "Token 'number' not expected before outer-most array or object"},
        {"\"abc\"", "Token 'string' not expected before outer-most array or object"},
        {"true ", "Token 'boolean' not expected before outer-most array or object"},
        {"null ", "Token 'null' not expected before outer-most array or object"},
        {"]", "Token 'end of array' not expected before outer-most array or object"},
        {"{}{}", "Token 'start of object' not expected after outer-most array or object"},
        {"[1]]", "Token 'end of array' not expected after outer-most array or object"},
        {"{}x", "Illegal start of token [x]"},
        // Grammar inside containers.
        {"[1,]", "Token 'end of array' not expected as array value"},
        {"[,1]", "Token 'value separator' not expected at array start"},
        {"[1 2]", "Token 'number' not expected after array value"},
        {"[1:2]", "Token 'key-value separator' not expected after array value"},
        {"[1}", "Token 'end of object' not expected after array value"},
        {"{\"a\":1,}", "Token 'end of object' not expected in place of object key"},
        {"{1:2}", "Token 'number' not expected at beginning of object"},
        {"{\"a\" 1}", "Token 'number' not expected after object key"},
        {"{\"a\":}", "Token 'end of object' not expected as object value"},
        {"{\"a\":1 \"b\":2}", "Token 'string' not expected after object value"},
        {"{\"a\":1]", "Token 'end of array' not expected after object value"},
        // Words.
        {"[tru]", "Expected 'true' after initial 't'"},
        {"[fals]", "Expected 'false' after initial 'f'"},
        {"[nulx]", "Expected 'null' after initial 'n'"},
        {"[True]", "Illegal start of token [T]"},
        // Numbers.
        {"[01]", "Leading zero is illegal in number"},
        {"[-01]", "Leading zero is illegal in number"},
        {"[1.]", "No digits after decimal point"},
        {"[1.e5]", "No digits after decimal point"},
        {"[1e]", "No digits in exponent"},
        {"[1e+]", "No digits in exponent"},
        {"[1E-x]", "No digits in exponent"},
        {"[-]", "No digits after initial minus"},
        {"[-x]", "No digits after initial minus"},
        {"[-.5]", "No digits after initial minus"},
        {"[+1]", "Leading + is illegal in number"},
        {"[.5]", "Illegal start of token [.]"},
        // Escapes and surrogates.
        {"[\"\\q\"]", "Illegal escape character"},
        {"[\"\\U0041\"]", "Illegal escape character"},
        {"[\"\\u12G4\"]", "Invalid hex quad"},
        {"[\"\\uDE00\"]", "Invalid high character in surrogate pair"},
        {"[\"\\uD83Dabcdef\"]", "Missing low character in surrogate pair"},
        {"[\"\\uD83D\\n\\u0041\"]", "Missing low character in surrogate pair"},
        {"[\"\\uD83D\\u00\"]  ", "Missing low character in surrogate pair"},
        {"[\"\\uD83D\\u0041\"]", "Invalid low character in surrogate pair"},
        {"[\"\\uD83D\\uD83D\"]", "Invalid low character in surrogate pair"},
        {"[\"\\uD83D\"]", "Unexpected end of input"},  // the high unit within the text's last five bytes
        // Control characters and invalid UTF-8.
        {"[\"a\tb\"]", "Unescaped control character [0x09]"},
        {"[\"a\nb\"]", "Unescaped control character [0x0A]"},
        {std::string("[\"a\0b\"]", 6), "Unescaped control character [0x00]"},
        {"[\"\x1F\"]", "Unescaped control character [0x1F]"},
        {"[\"\xC3\"]", "Broken Unicode encoding"},
        {"[\"\xC3(\"]", "Broken Unicode encoding"},
        {"[\"\xC0\x80\"]", "Broken Unicode encoding"},
        {"[\"\xE0\x80\xAF\"]", "Broken Unicode encoding"},
        {"[\"\xED\xA0\x80\"]", "Broken Unicode encoding"},
        {"[\"\xF4\x90\x80\x80\"]", "Broken Unicode encoding"},
        {"[\"\xFF\"]", "Broken Unicode encoding"},
        {"[\"\xC1\xBF\"]", "Broken Unicode encoding"},
        {"[\"\x80\"]", "Broken Unicode encoding"},
        {"[\"\xE4\xB8" "A\"]", "Broken Unicode encoding"},
        {"[\"\xE4" "A\xAD\"]", "Broken Unicode encoding"},
        {"[\"\xF0\x8F\xBF\xBF\"]", "Broken Unicode encoding"},
        {"[\"\xF0\x9F\x98" "A\"]", "Broken Unicode encoding"},
        {"[\"\xF0\x9F\x98\"]", "Broken Unicode encoding"},
        {"[\"\xF5\x80\x80\x80\"]", "Broken Unicode encoding"},
        {"[\"" + std::string(17, 'a') + "\xE4\xB8\xAD\xBF" + std::string(17, 'a') + "\"]", "Broken Unicode encoding"},
        {"[\"" + std::string(40, 'a') + "\xE4\xB8\"]", "Broken Unicode encoding"},
        {"[\"\\n\xC3\"]", "Broken Unicode encoding"},
        // Bytes outside strings are shown escaped when they are not printable ASCII.
        {"[\xC3\xA9]", "Illegal start of token [\\xC3]"},
        {"\xEF\xBB\xBF[]", "Illegal start of token [\\xEF]"},
        {"[\x01]", "Illegal start of token [\\x01]"},
        {"[\x0B]", "Illegal start of token [\\x0B]"},
        // Nesting beyond the limit.
        {nested(33, "[", "", "]"), "Input depth exceeds max depth of 32"},
        {nested(32, "{\"a\":", "{}", "}"), "Input depth exceeds max depth of 32"},
        {nested(16, "[{\"k\":", "[]", "}]"), "Input depth exceeds max depth of 32"},
    };
    return table;
}

TEST(JsonParser, AcceptedTextsBuildTheirValues)
{
    for (const Accepted& row : acceptedTable()) {
        const Outcome outcome = parseWhole(row.text);
        EXPECT_EQ(outcome.error, "") << row.text;
        EXPECT_EQ(outcome.value, row.value) << row.text;
    }
}

TEST(JsonParser, RefusedTextsSayWhy)
{
    for (const Refused& row : refusedTable()) {
        const Outcome outcome = parseWhole(row.text);
        EXPECT_EQ(outcome.value, "nil") << row.text;
        EXPECT_EQ(outcome.error, row.error) << row.text;
    }
}

TEST(JsonParser, FeedingInPiecesChangesNothing)
{
    std::vector<std::string> texts;
    for (const Accepted& row : acceptedTable()) {
        texts.push_back(row.text);
    }
    for (const Refused& row : refusedTable()) {
        texts.push_back(row.text);
    }
    for (const std::string& text : texts) {
        const Outcome whole = parseWhole(text);
        // The last: the stream parser given the whole text in one piece.
        for (const size_t piece : {size_t(1), size_t(2), size_t(3), size_t(7), std::max<size_t>(text.size(), 1)}) {
            const Outcome pieces = parseInPieces(text, piece);
            EXPECT_EQ(pieces.value, whole.value) << "piece " << piece << ": " << text;
            EXPECT_EQ(pieces.error, whole.error) << "piece " << piece << ": " << text;
        }
    }
}

// A larger document with every kind of token, cut at every point into two pieces.
TEST(JsonParser, EverySplitPointOfADocumentGivesTheSameTree)
{
    const std::string text =
        "{\"id\":12345,\"name\":\"caf\xC3\xA9 \\u4e2d\\uD83D\\uDE00\",\"tags\":[\"a\",\"b\\n\"],"
        "\"geo\":{\"lat\":-12.5e-1,\"lon\":170.25,\"alt\":-0},\"big\":123456789012345678901,"
        "\"flags\":[true,false,null],\"empty\":{},\"list\":[[],[1,[2,[3]]]]}";
    const Outcome whole = parseWhole(text);
    ASSERT_EQ(whole.error, "");
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        const Ref<JsonStreamParserAccumulator> accumulator = JsonStreamParserAccumulator::create();
        const Ref<JsonStreamParserAdapter> adapter = JsonStreamParserAdapter::create();
        adapter->setDelegate(accumulator);
        const Ref<JsonStreamParser> parser = JsonStreamParser::create();
        parser->setDelegate(adapter);
        const int first = parser->parse(std::string_view(text).substr(0, cut));
        EXPECT_EQ(first, cut == text.size() ? JsonParserComplete : JsonParserWaitingForData) << cut;
        EXPECT_EQ(parser->parse(std::string_view(text).substr(cut)), JsonParserComplete) << cut;
        EXPECT_EQ(typed(accumulator->value()), whole.value) << cut;
    }
}

namespace JsonParserTests_cpp {

using jsontest::readSourceFile;

// The whole-text parser (what JsonParser runs) and the stream parser with the adapter, given the same
// text in one piece, must come to the same tree or the same error text.
void expectBothParsersAgree(const std::string& text, const std::string& what)
{
    const Outcome whole = parseWhole(text);
    const Outcome streamed = parseInPieces(text, std::max<size_t>(text.size(), 1));
    EXPECT_EQ(whole.error, streamed.error) << what;
    EXPECT_EQ(whole.value, streamed.value) << what;
}

}  // namespace JsonParserTests_cpp

// Real documents (the fuzzing seeds and the benchmark's replies), whole and damaged: cut short, or one
// byte replaced by one that ends, opens or breaks something, at positions spread over the text.
TEST(JsonParser, WholeTextAndStreamParsersAgreeOnDocumentsAndOnTheirDamage)
{
    using namespace JsonParserTests_cpp;
    const char* const documents[] = {
        "tests/net/json/fuzz/seeds/deep.json",    "tests/net/json/fuzz/seeds/mixed.json",
        "tests/net/json/fuzz/seeds/numbers.json", "tests/net/json/fuzz/seeds/strings.json",
        "bench/data/twitter.json",                "bench/data/citm_catalog.json",
    };
    const char replacements[] = {'x', ']', ',', ':', '}', '[', '"', '\\', '-', '0', '\x01', '\x80', ' '};
    for (const char* name : documents) {
        const std::string text = readSourceFile(name);
        ASSERT_FALSE(text.empty()) << name;
        if (text.size() > 256) {
            ASSERT_EQ(parseWhole(text).error, "") << name;  // the replies are whole documents
        }
        expectBothParsersAgree(text, name);
        // Every position of a small document; eight of a large one.
        const size_t step = text.size() < 256 ? 1 : text.size() / 8;
        for (size_t at = 0; at < text.size(); at += step) {
            const std::string where = std::string(name) + " at " + std::to_string(at);
            expectBothParsersAgree(text.substr(0, at), where + " cut");
            for (const char replacement : text.size() < 256 ? std::string_view(replacements, sizeof replacements)
                                                            : std::string_view(replacements, 2)) {
                std::string damaged = text;
                damaged[at] = replacement;
                expectBothParsersAgree(damaged, where + " replaced by " + std::to_string(static_cast<unsigned char>(replacement)));
            }
        }
    }
}

// Every text of the accepted and refused tables, the three documents the benchmark parses, and texts
// that end or break exactly where the whole-text parser reads tokens itself (plain strings scanned
// sixteen bytes at a time, words, numbers, white space runs) come to the same value or the same error
// through both parsers.
TEST(JsonParser, BothParsersAgreeOnTablesBenchmarkDocumentsAndTokenEdges)
{
    using namespace JsonParserTests_cpp;
    std::vector<std::pair<std::string, std::string>> texts;
    for (const Accepted& row : acceptedTable()) {
        texts.emplace_back(row.text, row.text);
    }
    for (const Refused& row : refusedTable()) {
        texts.emplace_back(row.text, row.text);
    }
    texts.emplace_back(readSourceFile("bench/data/twitter.json"), "twitter");
    texts.emplace_back(readSourceFile("bench/data/citm_catalog.json"), "citm_catalog");
    texts.emplace_back(jsonNumbersDocument(), "coordinates");
    const std::string sixteen(16, 'a');
    const std::vector<std::string> edges = {
        "[\"" + sixteen + "\"]",
        "[\"" + std::string(15, 'a') + "\"]",
        "[\"" + std::string(17, 'a') + "\"]",
        "{\"" + sixteen + "\":\"" + sixteen + sixteen + "\"}",
        "[\"" + std::string(14, 'a') + "\xC3\xA9\"]",                        // a character across the block
        "[\"" + std::string(15, 'a') + "\xE4\xB8\xAD" + sixteen + "\"]",
        "[\"" + std::string(15, 'a') + "\xE4\xB8\"," + sixteen + "]",         // broken just before a quote
        "{\"caf\xC3\xA9\":\"\xF0\x9F\x98\x80\"}",
        "{\"\xC3\":1}",
        "[\"" + sixteen + "\\n" + sixteen + "\"]",
        "[\"" + sixteen + "\x1F\"]",
        "[\"" + sixteen,
        "[\"" + sixteen + "\"",
        "[\"" + sixteen + "\\",
        "[true", "[tru", "[false", "[nul", "[null", "[truex]", "[nullnull]", "[falsetrue]",
        "[1", "[-", "[1.", "[1e", "[12345678901234567890", "[1]2", "{}0", "{}-", "{}\"x", "{}t", "[]\"x\"",
        "[1.5,-0,0.25e3,1E+2,-12345678901234567890.5]",
        "[" + std::string(40, ' ') + "1" + std::string(40, '\n') + "]",
        std::string(33, ' ') + "[]" + std::string(17, '\t'),
        "[\"a\"," + std::string(20, ' ') + "\"b\"" + std::string(20, '\r') + ",null]",
    };
    for (const std::string& edge : edges) {
        texts.emplace_back(edge, edge);
    }
    for (const auto& [text, what] : texts) {
        expectBothParsersAgree(text, what);
    }
    // The documents are whole, so both parsers built them.
    for (size_t at = texts.size() - edges.size() - 3; at < texts.size() - edges.size(); ++at) {
        EXPECT_EQ(parseWhole(texts[at].first).error, "") << texts[at].second;
    }
}

TEST(JsonParser, NumbersAreTheRightKind)
{
    const Value v = NSString_JsonParsing::JSONValue(
        std::string_view("[17,-17,-0,1.25,999999999999999999,9999999999999999999,18446744073709551616]"));
    ASSERT_TRUE(v.isArray());
    EXPECT_EQ(v[0].kind(), Value::Kind::UInt);
    EXPECT_EQ(v[1].kind(), Value::Kind::Int);
    EXPECT_EQ(v[1].intValue(), -17);
    EXPECT_EQ(v[2].kind(), Value::Kind::Int);
    EXPECT_EQ(v[3].kind(), Value::Kind::Decimal);
    EXPECT_DOUBLE_EQ(v[3].doubleValue(), 1.25);
    EXPECT_EQ(v[4].unsignedLongLongValue(), 999999999999999999ULL);
    EXPECT_EQ(v[5].kind(), Value::Kind::Decimal);
    EXPECT_EQ(v[6].decimalText(), "18446744073709551616");
}

// Fractions that end in a non-zero digit are made from the digits the number scan took in, not from
// their text again: at every count of digits the scan keeps (up to 18), with leading zeros after the
// point and either sign, the decimal is the one its text makes, through both parsers, and writes back
// as the same text.
TEST(JsonParser, PlainFractionsAreTheDecimalsOfTheirTexts)
{
    const std::vector<std::string> tokens = {
        "0.5", "-0.5", "1.25", "0.0000000000000001", "-0.00000000000000007", "12345678901234567.1",
        "-1.23456789012345678", "0.12345678901234567", "100000000000000000.9", "9.000000000000001",
    };
    for (const std::string& token : tokens) {
        SCOPED_TRACE(token);
        const std::string text = "[" + token + "]";
        const Value parsed = NSString_JsonParsing::JSONValue(text);
        ASSERT_EQ(parsed[0].kind(), Value::Kind::Decimal);
        EXPECT_EQ(parsed[0].decimalText(), token);
        EXPECT_TRUE(parsed[0].isEqual(Value::decimal(token)));
        EXPECT_EQ(parsed[0].doubleValue(), Value::decimal(token).doubleValue());
        EXPECT_EQ(parseInPieces(text, 1).value, "[d" + token + "]");
        EXPECT_EQ(NSObject_JsonWriting::JSONRepresentation(parsed), text);
    }
}

TEST(JsonParser, ParsedContainersAreMutable)
{
    Value v = NSString_JsonParsing::JSONValue(std::string_view("{\"list\":[1],\"inner\":{}}"));
    Value list = v["list"];
    list.addObject(Value(2));
    Value inner = v["inner"];
    inner.setObject_forKey(Value("x"), "k");
    v.setObject_forKey(Value::null(), "added");
    EXPECT_EQ(typed(v), "{list:[u1,i2],inner:{k:\"x\"},added:null}");
}

TEST(JsonParser, ErrorIsOnlyWrittenByAFailure)
{
    const Ref<JsonParser> parser = JsonParser::create();
    EXPECT_EQ(parser->maxDepth(), 32u);
    EXPECT_TRUE(parser->objectWithString(std::string_view("[1,]")).isNil());
    EXPECT_EQ(parser->error(), "Token 'end of array' not expected as array value");
    EXPECT_EQ(typed(parser->objectWithString(std::string_view("[1]"))), "[u1]");
    EXPECT_EQ(parser->error(), "Token 'end of array' not expected as array value");

    EXPECT_TRUE(parser->objectWithString(Value()).isNil());
    EXPECT_EQ(parser->error(), "Input was 'nil'");
    EXPECT_TRUE(parser->objectWithData(static_cast<const NSData*>(nullptr)).isNil());
    EXPECT_EQ(parser->error(), "Input was 'nil'");
    EXPECT_EQ(typed(parser->objectWithData(NSData::dataWithString("{\"a\":[]}"))), "{a:[]}");

    Ref<NSError> error;
    EXPECT_TRUE(parser->objectWithString_error("[1", &error).isNil());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), JsonParserErrorDomain);
    EXPECT_EQ(error->code(), 0);
    EXPECT_EQ(error->localizedDescription(), "Unexpected end of input");
    EXPECT_TRUE(parser->objectWithString_error("[1", nullptr).isNil());
}

TEST(JsonParser, MaxDepthIsAdjustable)
{
    const Ref<JsonParser> parser = JsonParser::create();
    parser->setMaxDepth(2);
    EXPECT_EQ(typed(parser->objectWithString(std::string_view("[[1]]"))), "[[u1]]");
    EXPECT_TRUE(parser->objectWithString(std::string_view("[[[1]]]")).isNil());
    EXPECT_EQ(parser->error(), "Input depth exceeds max depth of 2");
    parser->setMaxDepth(100);
    EXPECT_FALSE(parser->objectWithString(nested(100, "[", "", "]")).isNil());
}

TEST(JsonParser, JSONValueReadsTextsAndIgnoresNil)
{
    EXPECT_EQ(typed(NSString_JsonParsing::JSONValue(Value("{\"status\":200}"))), "{status:u200}");
    EXPECT_TRUE(NSString_JsonParsing::JSONValue(Value()).isNil());
    NSLogCapture log(true);
    EXPECT_TRUE(NSString_JsonParsing::JSONValue(std::string_view("<html>")).isNil());
    EXPECT_EQ(log.count("-JSONValue failed. Error is: Illegal start of token [<]"), 1u);
}

// ---- The stream parser on its own -------------------------------------------------------------------

// Records every finished top-level value, in order.
class Recorder : public NSObject, public JsonStreamParserAdapterDelegate {
public:
    static Ref<Recorder> create() { return Ref<Recorder>(new Recorder()); }
    void parser_foundArray(JsonStreamParser*, const Value& array) override { found.push_back("array " + typed(array)); }
    void parser_foundObject(JsonStreamParser*, const Value& dict) override { found.push_back("object " + typed(dict)); }
    std::vector<std::string> found;

private:
    Recorder() = default;
};

struct StreamRig {
    Ref<Recorder> recorder = Recorder::create();
    Ref<JsonStreamParserAdapter> adapter = JsonStreamParserAdapter::create();
    Ref<JsonStreamParser> parser = JsonStreamParser::create();
    StreamRig()
    {
        adapter->setDelegate(recorder);
        parser->setDelegate(adapter);
    }
};

TEST(JsonStreamParser, MultipleDocumentsFollowOneAnother)
{
    StreamRig rig;
    rig.parser->setSupportMultipleDocuments(true);
    EXPECT_EQ(rig.parser->parse(std::string_view("[1] {\"a\":")), JsonParserWaitingForData);
    EXPECT_EQ(rig.parser->parse(std::string_view("2}[]")), JsonParserWaitingForData);
    EXPECT_EQ(rig.recorder->found, (std::vector<std::string>{"array [u1]", "object {a:u2}", "array []"}));
    EXPECT_EQ(rig.parser->parse(std::string_view("x")), JsonParserError);
    EXPECT_EQ(rig.parser->error(), "Illegal start of token [x]");
}

TEST(JsonStreamParser, SkippedLevelsDeliverTheirItemsOneByOne)
{
    StreamRig rig;
    rig.adapter->setLevelsToSkip(1);
    EXPECT_EQ(rig.parser->parse(std::string_view("[1,{\"a\":[2]},[3],\"s\",null]")), JsonParserComplete);
    EXPECT_EQ(rig.recorder->found,
              (std::vector<std::string>{"object u1", "object {a:[u2]}", "array [u3]", "object \"s\"", "object null"}));
    EXPECT_EQ(rig.adapter->depth(), 0u);

    StreamRig objects;
    objects.adapter->setLevelsToSkip(1);
    EXPECT_EQ(objects.parser->parse(std::string_view("{\"a\":1,\"b\":{\"c\":true}}")), JsonParserComplete);
    EXPECT_EQ(objects.recorder->found, (std::vector<std::string>{"object u1", "object {c:true}"}));
}

TEST(JsonStreamParser, AnErrorIsFinal)
{
    StreamRig rig;
    EXPECT_EQ(rig.parser->parse(std::string_view("[1,,")), JsonParserError);
    EXPECT_EQ(rig.parser->error(), "Token 'value separator' not expected as array value");
    EXPECT_EQ(rig.parser->state(), JsonStreamParserStateError::sharedInstance());
    EXPECT_EQ(rig.parser->parse(std::string_view("2]")), JsonParserError);
    EXPECT_TRUE(rig.recorder->found.empty());
}

TEST(JsonStreamParser, StatesNameThemselvesForErrors)
{
    const std::vector<std::pair<JsonStreamParserState*, std::string>> names = {
        {JsonStreamParserStateStart::sharedInstance(), "before outer-most array or object"},
        {JsonStreamParserStateComplete::sharedInstance(), "after outer-most array or object"},
        {JsonStreamParserStateError::sharedInstance(), "in error"},
        {JsonStreamParserStateObjectStart::sharedInstance(), "at beginning of object"},
        {JsonStreamParserStateObjectGotKey::sharedInstance(), "after object key"},
        {JsonStreamParserStateObjectSeparator::sharedInstance(), "as object value"},
        {JsonStreamParserStateObjectGotValue::sharedInstance(), "after object value"},
        {JsonStreamParserStateObjectNeedKey::sharedInstance(), "in place of object key"},
        {JsonStreamParserStateArrayStart::sharedInstance(), "at array start"},
        {JsonStreamParserStateArrayGotValue::sharedInstance(), "after array value"},
        {JsonStreamParserStateArrayNeedValue::sharedInstance(), "as array value"},
    };
    for (const auto& [state, name] : names) {
        EXPECT_EQ(state->name(), name);
        EXPECT_EQ(state->needKey(), state == JsonStreamParserStateObjectStart::sharedInstance() ||
                                        state == JsonStreamParserStateObjectNeedKey::sharedInstance());
    }
}

TEST(JsonStreamParser, ParsesWithoutADelegate)
{
    const Ref<JsonStreamParser> parser = JsonStreamParser::create();
    {
        const Ref<JsonStreamParserAdapter> adapter = JsonStreamParserAdapter::create();
        parser->setDelegate(adapter);
    }
    EXPECT_EQ(parser->parse(std::string_view("{\"a\":[1,2,{}]}")), JsonParserComplete);
}

}  // namespace
