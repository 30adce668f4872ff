// The JSON writer: texts of values in both layouts, what it refuses and why, and the stream writer's
// grammar checks.
#include "../../support/fixtures/JsonNumbersDocument.h"
#include "JsonTestSupport.h"
#include "net/json/JsonStreamWriterState.h"
#include "net/json/JsonWriter.h"
#include "platform/foundation/NSLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using jsontest::typed;

namespace {

std::string write(const Value& value, bool humanReadable = false, bool sortKeys = false, uint32_t maxDepth = 32)
{
    const Ref<JsonWriter> writer = JsonWriter::create();
    writer->setHumanReadable(humanReadable);
    writer->setSortKeys(sortKeys);
    writer->setMaxDepth(maxDepth);
    const std::optional<std::string> text = writer->stringWithObject(value);
    return text ? *text : "error: " + writer->error();
}

Value nestedArrays(int depth)
{
    Value inner = Value::array();
    for (int i = 1; i < depth; ++i) {
        inner = Value::array({inner});
    }
    return inner;
}

class Opaque : public NSObject {
public:
    static Ref<Opaque> create() { return Ref<Opaque>(new Opaque()); }

private:
    Opaque() = default;
};

// A record that writes itself as a dictionary.
class Record : public NSObject, public JsonProxying {
public:
    static Ref<Record> create(std::string name) { return Ref<Record>(new Record(std::move(name))); }
    Value proxyForJson() const override { return Value::dictionary({{"name", Value(name_)}}); }

private:
    explicit Record(std::string name) : name_(std::move(name)) {}
    std::string name_;
};

// An object whose proxy is itself: writing it must end.
class Mirror : public NSObject, public JsonProxying {
public:
    static Ref<Mirror> create() { return Ref<Mirror>(new Mirror()); }
    Value proxyForJson() const override { return Value(std::const_pointer_cast<NSObject>(self())); }

private:
    Mirror() = default;
};

// A record whose proxy holds its own text, written while the text holding the record is being written.
class SelfWritingRecord : public NSObject, public JsonProxying {
public:
    static Ref<SelfWritingRecord> create(Value inner) { return Ref<SelfWritingRecord>(new SelfWritingRecord(std::move(inner))); }
    Value proxyForJson() const override
    {
        const std::optional<std::string> text = JsonWriter::create()->stringWithObject(inner_);
        return Value::dictionary({{"text", text ? Value(*text) : Value::null()}});
    }

private:
    explicit SelfWritingRecord(Value inner) : inner_(std::move(inner)) {}
    Value inner_;
};

struct Written {
    std::string name;
    Value value;
    std::string compact;
};

TEST(JsonWriter, CompactTexts)
{
    const std::vector<Written> table = {
        {"empty object", Value::dictionary(), "{}"},
        {"empty array", Value::array(), "[]"},
        {"nested", Value::dictionary({{"a", Value::array({1, 2})}}), "{\"a\":[1,2]}"},
        {"dictionary order", Value::dictionary({{"b", 1}, {"a", 2}}), "{\"b\":1,\"a\":2}"},
        {"booleans and null", Value::array({true, false, Value::null()}), "[true,false,null]"},
        {"char", Value::array({Value(static_cast<int>(static_cast<char>(1)))}), "[1]"},
        {"integers",
         Value::array({Value(std::numeric_limits<unsigned long long>::max()), Value(std::numeric_limits<long long>::min()),
                       Value(-0), Value(0u)}),
         "[18446744073709551615,-9223372036854775808,0,0]"},
        {"doubles", Value::array({0.1, 1e300, 0.0, -0.0, 2.5, 1e-7}),
         "[0.10000000000000001,1.0000000000000001e+300,0,-0,2.5,9.9999999999999995e-08]"},
        {"decimals keep their digits",
         Value::array({Value::decimal("1.50"), Value::decimal("-12345678901234567890.25"), Value::decimal("1e400")}),
         "[1.50,-12345678901234567890.25,1e400]"},
        {"decimals become JSON numbers",
         Value::array({Value::decimal("+5"), Value::decimal(".5"), Value::decimal("-.5"), Value::decimal("5."),
                       Value::decimal("007")}),
         "[5,0.5,-0.5,5,7]"},
        {"escapes", Value::array({"/\t\xC3\xA9", "\x01", "\x0B\x1F", "q\"b\\s", "\b\f\n\r"}),
         "[\"/\\t\xC3\xA9\",\"\\u0001\",\"\\u000b\\u001f\",\"q\\\"b\\\\s\",\"\\b\\f\\n\\r\"]"},
        {"keys are escaped too", Value::dictionary({{"a\"b\n", Value("c")}}), "{\"a\\\"b\\n\":\"c\"}"},
        {"long strings", Value::array({std::string(40, 'x') + "\"" + std::string(20, 'y')}),
         "[\"" + std::string(40, 'x') + "\\\"" + std::string(20, 'y') + "\"]"},
        {"NUL", Value::array({std::string("a\0b", 3)}), "[\"a\\u0000b\"]"},
        {"proxy inside", Value::array({Value(Record::create("r"))}), "[{\"name\":\"r\"}]"},
        {"proxy at the top", Value(Record::create("top")), "{\"name\":\"top\"}"},
    };
    for (const Written& row : table) {
        EXPECT_EQ(write(row.value), row.compact) << row.name;
    }
}

TEST(JsonWriter, HumanReadableLayout)
{
    const std::vector<Written> table = {
        {"object with array", Value::dictionary({{"a", Value::array({1, 2})}}), "{\n  \"a\": [\n    1,\n    2\n  ]\n}"},
        {"empty object", Value::dictionary(), "{\n}"},
        {"empty array", Value::array(), "[\n]"},
        {"nested empty", Value::dictionary({{"a", Value::dictionary()}, {"b", Value::array()}}),
         "{\n  \"a\": {\n  },\n  \"b\": [\n  ]\n}"},
        {"array of objects", Value::array({Value::dictionary({{"k", Value::null()}}), true}),
         "[\n  {\n    \"k\": null\n  },\n  true\n]"},
    };
    for (const Written& row : table) {
        const std::string text = write(row.value, true);
        EXPECT_EQ(text, row.compact) << row.name;
        // The layout reads back as the same value.
        EXPECT_TRUE(NSString_JsonParsing::JSONValue(text).isEqual(row.value)) << row.name;
    }
}

TEST(JsonWriter, SortedKeys)
{
    const Value dict = Value::dictionary({{"b", 1}, {"a", Value::dictionary({{"z", 1}, {"y", 2}})}, {"B", 3}});
    EXPECT_EQ(write(dict, false, true), "{\"B\":3,\"a\":{\"y\":2,\"z\":1},\"b\":1}");
    EXPECT_EQ(write(dict), "{\"b\":1,\"a\":{\"z\":1,\"y\":2},\"B\":3}");
}

TEST(JsonWriter, RefusedValuesSayWhy)
{
    Value date = Value::array({Value(NSDate())});
    const std::vector<Written> table = {
        {"top-level string", Value("text"), "Not valid type for JSON"},
        {"top-level number", Value(5), "Not valid type for JSON"},
        {"top-level null", Value::null(), "Not valid type for JSON"},
        {"nil", Value(), "Not valid type for JSON"},
        {"NaN", Value::array({std::nan("")}), "NaN is not a valid number in JSON"},
        {"+Infinity", Value::array({HUGE_VAL}), "+Infinity is not a valid number in JSON"},
        {"-Infinity", Value::dictionary({{"x", -HUGE_VAL}}), "-Infinity is not a valid number in JSON"},
        {"decimal NaN", Value::array({Value::decimal("NaN")}), "NaN is not a valid number in JSON"},
        {"date", date, "JSON serialisation not supported for NSDate"},
        {"data", Value::array({Value(NSData::dataWithString("x"))}), "JSON serialisation not supported for NSData"},
        {"object", Value::array({Value(Opaque::create())}), "JSON serialisation not supported for Opaque"},
        {"self proxy", Value::array({Value(Mirror::create())}), "JSON serialisation not supported for Mirror"},
        {"self proxy at the top", Value(Mirror::create()), "Not valid type for JSON"},
        {"33 levels", nestedArrays(33), "Nested too deep"},
    };
    for (const Written& row : table) {
        EXPECT_EQ(write(row.value), "error: " + row.compact) << row.name;
    }
}

TEST(JsonWriter, DepthLimit)
{
    EXPECT_EQ(write(nestedArrays(32)), std::string(32, '[') + std::string(32, ']'));
    EXPECT_EQ(write(nestedArrays(3), false, false, 2), "error: Nested too deep");
    EXPECT_EQ(write(nestedArrays(200), false, false, 0), std::string(200, '[') + std::string(200, ']'));
}

TEST(JsonWriter, AContainerHoldingItselfEndsWithoutADepthLimit)
{
    Value array = Value::array({1});
    Value dict = Value::dictionary({{"list", array}});
    array.addObject(dict);
    EXPECT_EQ(write(dict, false, false, 0), "error: Nested too deep");
    EXPECT_EQ(write(dict), "error: Nested too deep");
    // The same container twice, side by side, is no cycle.
    Value shared = Value::array({1});
    EXPECT_EQ(write(Value::array({shared, shared}), false, false, 0), "[[1],[1]]");
    array.removeAllObjects();  // break the cycle so both are freed
}

TEST(JsonWriter, ErrorObjectTextAndReuse)
{
    const Ref<JsonWriter> writer = JsonWriter::create();
    EXPECT_EQ(writer->maxDepth(), 32u);
    EXPECT_FALSE(writer->sortKeys());
    EXPECT_FALSE(writer->humanReadable());
    Ref<NSError> error;
    EXPECT_FALSE(writer->stringWithObject_error(Value("x"), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), JsonWriterErrorDomain);
    EXPECT_EQ(error->code(), 0);
    EXPECT_EQ(error->localizedDescription(), "Not valid type for JSON");
    EXPECT_EQ(writer->stringWithObject(Value::array()), "[]");
    EXPECT_EQ(writer->error(), "");  // cleared by every write
    const std::optional<NSData> data = writer->dataWithObject(Value::array({1}));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->string(), "[1]");
}

// Texts are written into a buffer the thread keeps: each result holds exactly its own bytes, after a
// far longer text too, and a text written while another is being written (by a proxy) leaves both whole.
TEST(JsonWriter, TextsOneAfterAnotherAndOneInsideAnother)
{
    Value longList = Value::array();
    for (int i = 0; i < 20000; ++i) {
        longList.addObject(Value("item " + std::to_string(i)));
    }
    const std::optional<NSData> longText = JsonWriter::create()->dataWithObject(longList);
    ASSERT_TRUE(longText);
    EXPECT_GT(longText->length(), 200000u);
    EXPECT_EQ(longText->string().substr(0, 17), "[\"item 0\",\"item 1");
    EXPECT_EQ(longText->string().substr(longText->length() - 13), "\"item 19999\"]");

    const std::optional<NSData> shortText = JsonWriter::create()->dataWithObject(Value::array({1}));
    ASSERT_TRUE(shortText);
    EXPECT_EQ(shortText->string(), "[1]");
    EXPECT_EQ(shortText->length(), 3u);

    // The inner text is longer than the buffer a writer starts with, so it grows while the outer one
    // is half written.
    const Value outer = Value::array({Value("before"), Value(SelfWritingRecord::create(longList)), Value("after")});
    const std::optional<std::string> written = JsonWriter::create()->stringWithObject(outer);
    ASSERT_TRUE(written);
    const Value reread = NSString_JsonParsing::JSONValue(*written);
    ASSERT_EQ(reread.count(), 3u) << written->substr(0, 100);
    EXPECT_EQ(reread[0].stringValue(), "before");
    EXPECT_EQ(reread[1]["text"].stringValue(), longText->string());
    EXPECT_EQ(reread[2].stringValue(), "after");
}

TEST(JsonWriter, JSONRepresentationLogsFailures)
{
    EXPECT_EQ(NSObject_JsonWriting::JSONRepresentation(Value::dictionary({{"a", 1}})), "{\"a\":1}");
    NSLogCapture log(true);
    EXPECT_FALSE(NSObject_JsonWriting::JSONRepresentation(Value(1)));
    EXPECT_EQ(log.count("-JSONRepresentation failed. Error is: Not valid type for JSON"), 1u);
}

TEST(JsonWriter, ParsedDocumentsWriteBackToTheSameTree)
{
    const std::vector<std::string> texts = {
        "{\"id\":12345,\"name\":\"caf\xC3\xA9 \\u4e2d\\uD83D\\uDE00\",\"tags\":[\"a\",\"b\\n\\u0001\"]}",
        "[-0,0,18446744073709551615,-999999999999999999,1.5,2e3,1e400,-0.000001]",
        // Exponents beyond the kept range saturate, and read back as the same value.
        "[-9999900E999999999,1.5e999999999,0.5e-99999999,1234567890123456789012e99999999]",
        "{\"a\":{\"b\":{\"c\":[[],{},null,true,false]}},\"s\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"}",
    };
    for (const std::string& text : texts) {
        const Value parsed = NSString_JsonParsing::JSONValue(text);
        ASSERT_FALSE(parsed.isNil()) << text;
        for (const bool human : {false, true}) {
            // Equal by value: "-0" comes back as 0 and the decimal 2e3 as the integer 2000.
            const std::string written = write(parsed, human);
            EXPECT_TRUE(NSString_JsonParsing::JSONValue(written).isEqual(parsed)) << written;
        }
    }
}

// The one-shot writer writes compact text itself; the stream writer, item by item, must come to the
// same bytes or the same refusal for every value: the tables above, strings with every escape at both
// sides of the sixteen-byte scan and at both ends of every short length, and the benchmark's documents
// in both key orders.
TEST(JsonWriter, OneShotAndStreamWritersWriteTheSameBytes)
{
    const auto streamed = [](const Value& value, bool sortKeys, uint32_t maxDepth) {
        const Ref<JsonStreamWriterAccumulator> accumulator = JsonStreamWriterAccumulator::create();
        const Ref<JsonStreamWriter> writer = JsonStreamWriter::create();
        writer->setDelegate(accumulator);
        writer->setSortKeys(sortKeys);
        writer->setMaxDepth(maxDepth);
        const bool ok = value.isDictionary() ? writer->writeObject(value) : writer->writeArray(value);
        return ok ? accumulator->data().string() : "error: " + writer->error();
    };
    std::vector<Value> values = {
        Value::dictionary({{"b", 1}, {"a", Value::dictionary({{"z", Value::decimal("-0.5")}, {"y", 2.5}})}, {"B", 3}}),
        Value::array({std::nan("")}),
        Value::array({Value(NSDate())}),
        Value::array({Value(Opaque::create())}),
        Value::array({Value(Mirror::create())}),
        Value::array({Value(Record::create("r")), Value::null(), true, false}),
        Value::array({Value::decimal("+5"), Value::decimal("1e400"), Value::decimal("NaN")}),
        Value::array({Value::decimal("12345678901234567890.5"), Value::decimal("-0.0000000000000000001")}),
        nestedArrays(32),
        nestedArrays(33),
    };
    Value strings = Value::array();
    for (const char special : {'"', '\\', '\b', '\t', '\n', '\f', '\r', '\x01', '\x1f', '\x7f'}) {
        for (const size_t before : {0, 1, 14, 15, 16, 17, 31}) {
            std::string text = std::string(before, 'a') + special + "\xC3\xA9z";
            strings.addObject(Value(text));
            Value keyed = Value::dictionary();
            keyed.setObject_forKey(Value(1), text);
            values.push_back(keyed);
        }
        // Every length a short string is checked at once, with the byte to escape last and first.
        for (size_t before = 0; before < 16; ++before) {
            strings.addObject(Value(std::string(before, 'a') + special));
            strings.addObject(Value(special + std::string(before, 'a')));
        }
    }
    values.push_back(strings);
    values.push_back(NSString_JsonParsing::JSONValue(jsontest::readSourceFile("bench/data/twitter.json")));
    values.push_back(NSString_JsonParsing::JSONValue(jsontest::readSourceFile("bench/data/citm_catalog.json")));
    values.push_back(NSString_JsonParsing::JSONValue(jsonNumbersDocument()));
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_FALSE(values[i].isNil()) << i;
        for (const bool sortKeys : {false, true}) {
            EXPECT_EQ(write(values[i], false, sortKeys), streamed(values[i], sortKeys, 32)) << i << " sorted " << sortKeys;
        }
        EXPECT_EQ(write(values[i], false, false, 0), streamed(values[i], false, 0)) << i << " without a depth limit";
    }
}

// ---- The stream writer on its own --------------------------------------------------------------------

struct WriterRig {
    Ref<JsonStreamWriterAccumulator> accumulator = JsonStreamWriterAccumulator::create();
    Ref<JsonStreamWriter> writer = JsonStreamWriter::create();
    WriterRig() { writer->setDelegate(accumulator); }
    std::string text() const { return accumulator->data().string(); }
};

TEST(JsonStreamWriter, ItemByItem)
{
    WriterRig rig;
    EXPECT_TRUE(rig.writer->writeObjectOpen());
    EXPECT_TRUE(rig.writer->writeString("k"));
    EXPECT_TRUE(rig.writer->writeArrayOpen());
    EXPECT_TRUE(rig.writer->writeNumber(Value(1.5)));
    EXPECT_TRUE(rig.writer->writeBool(false));
    EXPECT_TRUE(rig.writer->writeNull());
    EXPECT_TRUE(rig.writer->writeValue(Value("s")));
    EXPECT_TRUE(rig.writer->writeArrayClose());
    EXPECT_TRUE(rig.writer->writeString("n"));
    EXPECT_TRUE(rig.writer->writeNumber(Value(true)));
    EXPECT_TRUE(rig.writer->writeObjectClose());
    EXPECT_EQ(rig.text(), "{\"k\":[1.5,false,null,\"s\"],\"n\":true}");
    EXPECT_EQ(rig.writer->state(), JsonStreamWriterStateComplete::sharedInstance());
    EXPECT_TRUE(rig.writer->stateStack().empty());
}

// What each misuse of the stream writer is told; nothing is written for the refused item.
TEST(JsonStreamWriter, RefusedSteps)
{
    struct Step {
        std::string name;
        std::function<void(JsonStreamWriter&)> before;
        std::function<bool(JsonStreamWriter&)> refused;
        std::string error;
        std::string text;  // written before the refusal
    };
    const std::vector<Step> table = {
        {"after the end", [](JsonStreamWriter& w) { w.writeArrayOpen(), w.writeArrayClose(); },
         [](JsonStreamWriter& w) { return w.writeArrayOpen(); }, "Stream is closed", "[]"},
        {"string after the end", [](JsonStreamWriter& w) { w.writeArrayOpen(), w.writeArrayClose(); },
         [](JsonStreamWriter& w) { return w.writeValue(Value("late")); }, "Stream is closed", "[]"},
        {"number as key", [](JsonStreamWriter& w) { w.writeObjectOpen(); },
         [](JsonStreamWriter& w) { return w.writeNumber(Value(1)); }, "JSON object key must be string", "{"},
        {"null as second key", [](JsonStreamWriter& w) { w.writeObjectOpen(), w.writeString("a"), w.writeNull(); },
         [](JsonStreamWriter& w) { return w.writeNull(); }, "JSON object key must be string", "{\"a\":null"},
        {"array close where a key is due", [](JsonStreamWriter& w) { w.writeObjectOpen(); },
         [](JsonStreamWriter& w) { return w.writeArrayClose(); }, "JSON object key must be string", "{"},
        {"object close while a value is due", [](JsonStreamWriter& w) { w.writeObjectOpen(), w.writeString("a"); },
         [](JsonStreamWriter& w) { return w.writeObjectClose(); }, "Missing value for object key", "{\"a\""},
        {"array close while a value is due", [](JsonStreamWriter& w) { w.writeObjectOpen(), w.writeString("a"); },
         [](JsonStreamWriter& w) { return w.writeArrayClose(); }, "No array to close", "{\"a\""},
        {"object close in an array", [](JsonStreamWriter& w) { w.writeArrayOpen(); },
         [](JsonStreamWriter& w) { return w.writeObjectClose(); }, "No object to close", "["},
        {"close before anything", [](JsonStreamWriter&) {}, [](JsonStreamWriter& w) { return w.writeArrayClose(); },
         "No array to close", ""},
        {"object close before anything", [](JsonStreamWriter&) {},
         [](JsonStreamWriter& w) { return w.writeObjectClose(); }, "No object to close", ""},
        {"unsupported number", [](JsonStreamWriter& w) { w.writeArrayOpen(); },
         [](JsonStreamWriter& w) { return w.writeNumber(Value("1")); }, "JSON serialisation not supported for string", "["},
    };
    for (const Step& step : table) {
        WriterRig rig;
        step.before(*rig.writer);
        EXPECT_FALSE(step.refused(*rig.writer)) << step.name;
        EXPECT_EQ(rig.writer->error(), step.error) << step.name;
        EXPECT_EQ(rig.text(), step.text) << step.name;
    }
}

TEST(JsonStreamWriter, WritesNothingWithoutADelegate)
{
    const Ref<JsonStreamWriter> writer = JsonStreamWriter::create();
    EXPECT_TRUE(writer->writeArray(Value::array({1, "two"})));
    EXPECT_EQ(writer->state(), JsonStreamWriterStateComplete::sharedInstance());
}

}  // namespace
