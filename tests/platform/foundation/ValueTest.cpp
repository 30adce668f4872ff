#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "platform/foundation/NSException.h"
#include "platform/foundation/Value.h"

namespace {

Value sampleReply()
{
    return Value::dictionary({
        {"code", 200},
        {"result", Value::dictionary({
                       {"ext", Value::dictionary({{"title", "今天"}, {"count", "12"}})},
                       {"list", Value::array({1, "two", Value::null()})},
                       {"nothing", Value::null()},
                   })},
    });
}

TEST(ValueReads, NilSafeThroughMissingKeysAndWrongKinds)
{
    const Value reply = sampleReply();
    EXPECT_EQ(reply["result"]["ext"]["title"].stringValue(), "今天");
    EXPECT_EQ(reply["result"]["ext"]["count"].intValue(), 12);

    // Every path below runs through something missing, null or of another kind.
    const Value misses[] = {
        reply["missing"]["ext"]["title"],
        reply["result"]["nothing"]["title"],          // through null
        reply["code"]["ext"],                         // through a number
        reply["result"]["ext"]["title"]["x"],         // through a string
        reply["result"]["list"]["title"],             // a key on an array
        reply["result"]["list"][7],                   // past the end
        reply["result"]["list"][-1],
        reply["result"]["ext"][0],                    // an index on a dictionary
        Value()["a"][0]["b"],
    };
    for (const Value& v : misses) {
        EXPECT_TRUE(v.isNil()) << ValueKindName(v.kind());
        EXPECT_EQ(v.intValue(), 0);
        EXPECT_EQ(v.longLongValue(), 0);
        EXPECT_EQ(v.doubleValue(), 0.0);
        EXPECT_FALSE(v.boolValue());
        EXPECT_EQ(v.stringValue(), "");
        EXPECT_EQ(v.count(), 0u);
        EXPECT_EQ(v.length(), 0u);
        EXPECT_EQ(v.description(), "(null)");
    }
    // Null is present, but reads as empty.
    const Value null = reply["result"]["nothing"];
    EXPECT_TRUE(null.isNull());
    EXPECT_TRUE(static_cast<bool>(null));
    EXPECT_EQ(null.intValue(), 0);
    EXPECT_EQ(null.stringValue(), "");
    EXPECT_EQ(null.description(), "<null>");
    EXPECT_EQ(reply.valueForKeyPath("result.ext.title").stringValue(), "今天");
    EXPECT_TRUE(reply.valueForKeyPath("result.nothing.title").isNil());
}

struct Conversion {
    Value value;
    int intValue;
    long long longLongValue;
    double doubleValue;
    bool boolValue;
    const char* stringValue;
};

TEST(ValueConversions, FollowThePlatformsReadings)
{
    const Conversion table[] = {
        {"200", 200, 200, 200.0, true, "200"},
        {"12abc", 12, 12, 12.0, true, "12abc"},
        {"  -7 apples", -7, -7, -7.0, true, "  -7 apples"},
        {"+3", 3, 3, 3.0, true, "+3"},
        {"abc", 0, 0, 0.0, false, "abc"},
        {"", 0, 0, 0.0, false, ""},
        {"3.9kg", 3, 3, 3.9, true, "3.9kg"},
        {"1e3", 1, 1, 1000.0, true, "1e3"},
        {"YES", 0, 0, 0.0, true, "YES"},
        {"true", 0, 0, 0.0, true, "true"},
        {"no", 0, 0, 0.0, false, "no"},
        {"0", 0, 0, 0.0, false, "0"},
        {"007", 7, 7, 7.0, true, "007"},
        {"99999999999", INT_MAX, 99999999999LL, 99999999999.0, true, "99999999999"},
        {"-99999999999", INT_MIN, -99999999999LL, -99999999999.0, true, "-99999999999"},
        {"99999999999999999999", INT_MAX, LLONG_MAX, 1e20, true, "99999999999999999999"},
        {true, 1, 1, 1.0, true, "1"},
        {false, 0, 0, 0.0, false, "0"},
        {42, 42, 42, 42.0, true, "42"},
        {-5L, -5, -5, -5.0, true, "-5"},
        {3.99, 3, 3, 3.99, true, "3.99"},
        {-3.99, -3, -3, -3.99, true, "-3.99"},
        {0.5, 0, 0, 0.5, true, "0.5"},
        {1e300, INT_MAX, LLONG_MAX, 1e300, true, "1e+300"},
        {std::nan(""), 0, 0, std::nan(""), true, "nan"},
        {Value::decimal("12.50"), 12, 12, 12.5, true, "12.50"},
        {Value::decimal("-0.0"), 0, 0, -0.0, false, "-0.0"},
        {Value::decimal("2e3"), 2000, 2000, 2000.0, true, "2e3"},
        {Value::decimal("123456789012345678901234"), INT_MAX, LLONG_MAX, 1.2345678901234568e23, true,
         "123456789012345678901234"},
        {Value::null(), 0, 0, 0.0, false, ""},
        {Value::array({1}), 0, 0, 0.0, false, ""},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.value.description());
        EXPECT_EQ(c.value.intValue(), c.intValue);
        EXPECT_EQ(c.value.longLongValue(), c.longLongValue);
        if (std::isnan(c.doubleValue)) {
            EXPECT_TRUE(std::isnan(c.value.doubleValue()));
        } else {
            EXPECT_DOUBLE_EQ(c.value.doubleValue(), c.doubleValue);
        }
        EXPECT_EQ(c.value.boolValue(), c.boolValue);
        EXPECT_EQ(c.value.stringValue(), c.stringValue);
    }
}

TEST(ValueConversions, SignedAndUnsigned64BitStayExact)
{
    const Value big(18446744073709551615ULL);
    const Value small(static_cast<long long>(INT64_MIN));
    EXPECT_EQ(big.kind(), Value::Kind::UInt);
    EXPECT_EQ(small.kind(), Value::Kind::Int);
    EXPECT_EQ(big.unsignedLongLongValue(), 18446744073709551615ULL);
    EXPECT_EQ(big.stringValue(), "18446744073709551615");
    EXPECT_EQ(small.longLongValue(), INT64_MIN);
    EXPECT_EQ(small.stringValue(), "-9223372036854775808");
    EXPECT_FALSE(big.isEqual(Value(-1)));  // same bits, different numbers
    EXPECT_EQ(Value("18446744073709551615").unsignedLongLongValue(), 18446744073709551615ULL);
    EXPECT_EQ(Value(size_t{7}).kind(), Value::Kind::UInt);
    EXPECT_EQ(Value(int64_t{7}).kind(), Value::Kind::Int);
    EXPECT_EQ(Value('a').kind(), Value::Kind::Int);
}

TEST(ValueDecimal, KeepsTextAndComparesByValue)
{
    EXPECT_EQ(Value::decimal("-.5").decimalText(), "-.5");
    EXPECT_EQ(Value::decimal("NaN").kind(), Value::Kind::Decimal);
    EXPECT_TRUE(std::isnan(Value::decimal("NaN").doubleValue()));
    for (const char* bad : {"", "-", ".", "1e", "abc", "1.2.3", "0x10", " 1"}) {
        EXPECT_TRUE(Value::decimal(bad).isNil()) << bad;
    }
    EXPECT_TRUE(Value::decimal("1.50").isEqual(Value::decimal("15e-1")));
    EXPECT_TRUE(Value::decimal("2000").isEqual(Value::decimal("2e3")));
    EXPECT_TRUE(Value::decimal("0.1").isEqual(Value(0.1)));
    EXPECT_TRUE(Value::decimal("-0").isEqual(Value(0)));
    EXPECT_TRUE(Value::decimal("12345678901234567890").isEqual(Value(12345678901234567890ULL)));
    EXPECT_FALSE(Value::decimal("12345678901234567891").isEqual(Value(12345678901234567890ULL)));
    EXPECT_FALSE(Value::decimal("1e400").isEqual(Value::decimal("1e401")));
}

TEST(ValueEquality, ByKindAndContents)
{
    EXPECT_TRUE(Value(1).isEqual(Value(1.0)));
    EXPECT_TRUE(Value(1).isEqual(Value(true)));
    EXPECT_TRUE(Value(1U).isEqual(Value(1LL)));
    EXPECT_FALSE(Value(1).isEqual(Value("1")));
    EXPECT_FALSE(Value().isEqual(Value()));
    EXPECT_TRUE(Value() == Value());
    EXPECT_TRUE(Value::null().isEqual(Value::null()));
    EXPECT_FALSE(Value::null().isEqual(Value()));
    EXPECT_TRUE(Value(NSData::dataWithString("ab")).isEqual(Value(NSData::dataWithString("ab"))));
    EXPECT_TRUE(Value(NSDate::dateWithTimeIntervalSince1970(5)).isEqual(Value(NSDate::dateWithTimeIntervalSince1970(5))));

    // Dictionaries are equal whatever their order; arrays are not.
    const Value a = Value::dictionary({{"x", 1}, {"y", Value::array({"p", 2.5})}});
    const Value b = Value::dictionary({{"y", Value::array({"p", 2.5})}, {"x", 1.0}});
    EXPECT_TRUE(a.isEqual(b));
    EXPECT_FALSE(Value::array({1, 2}).isEqual(Value::array({2, 1})));
    EXPECT_FALSE(a.isEqual(Value::dictionary({{"x", 1}})));
    EXPECT_FALSE(a.isEqual(Value::dictionary({{"x", 1}, {"z", Value::array({"p", 2.5})}})));

    const Ref<NSObject> o = NSObject::create();
    EXPECT_TRUE(Value(o).isEqual(Value(o)));
    EXPECT_FALSE(Value(o).isEqual(Value(NSObject::create())));
    EXPECT_EQ(Value(Ref<NSObject>()).kind(), Value::Kind::Nil);
}

TEST(ValueContainers, AreSharedHandlesUntilCopied)
{
    Value dict = Value::dictionary();
    Value alias = dict;
    alias.setObject_forKey("v", "k");
    EXPECT_EQ(dict["k"].stringValue(), "v");  // the same container

    Value copy = dict.mutableCopy();
    copy.setObject_forKey("w", "k");
    EXPECT_EQ(dict["k"].stringValue(), "v");
    EXPECT_EQ(copy["k"].stringValue(), "w");

    // copy() is shallow, deepCopy() is not.
    Value outer = Value::dictionary({{"inner", Value::array({1})}});
    Value shallow = outer.copy();
    Value deep = outer.deepCopy();
    outer["inner"].addObject(2);
    EXPECT_EQ(shallow["inner"].count(), 2u);
    EXPECT_EQ(deep["inner"].count(), 1u);
    EXPECT_TRUE(shallow["inner"].isIdenticalTo(outer["inner"]));
    EXPECT_FALSE(deep["inner"].isIdenticalTo(outer["inner"]));
}

TEST(ValueContainers, DictionariesKeepInsertionOrder)
{
    Value d = Value::dictionary();
    // Enough keys to pass the size where the dictionary starts indexing its keys.
    for (int i = 0; i < 40; ++i) {
        d.setObject_forKey(i, "k" + std::to_string((i * 7) % 40));
    }
    d.setObject_forKey("replaced", "k7");    // keeps its place
    d.removeObjectForKey("k14");
    d.setValue_forKey(Value(), "k21");       // nil through key-value coding removes
    d.setObject_forKey("last", "new");
    const auto keys = d.allKeys();
    ASSERT_EQ(keys.size(), 39u);
    EXPECT_EQ(keys[0], "k0");
    EXPECT_EQ(keys[1], "k7");
    EXPECT_EQ(keys[2], "k28");
    EXPECT_EQ(keys.back(), "new");
    EXPECT_EQ(d["k7"].stringValue(), "replaced");
    EXPECT_TRUE(d["k14"].isNil());
    EXPECT_EQ(d["k35"].intValue(), 5);
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(d.dictionaryItems()[i].first, keys[i]);
        EXPECT_TRUE(d[keys[i]].isEqual(d.dictionaryItems()[i].second));
    }

    const Value dup = Value::dictionary({{"a", 1}, {"b", 2}, {"a", 3}});
    EXPECT_EQ(dup.count(), 2u);
    EXPECT_EQ(dup["a"].intValue(), 3);
    EXPECT_EQ(dup.allKeys().front(), "a");
}

TEST(ValueContainers, ArrayMutationAndPlatformExceptions)
{
    Value a = Value::array({"a", "b"});
    a.addObject(3);
    a.insertObject_atIndex("first", 0);
    a.replaceObjectAtIndex_withObject(1, "A");
    EXPECT_EQ(a.description(), "(\n    first,\n    A,\n    b,\n    3\n)");
    EXPECT_EQ(a.indexOfObject("b"), 2u);
    EXPECT_EQ(a.indexOfObject("zz"), NSNotFound);
    a.removeObject("b");
    a.removeLastObject();
    EXPECT_EQ(a.count(), 2u);
    a.addObjectsFromArray(a);
    EXPECT_EQ(a.count(), 4u);

    auto expectThrow = [](const std::function<void()>& fn, const char* name) {
        try {
            fn();
            ADD_FAILURE() << "no exception, expected " << name;
        } catch (const NSException& e) {
            EXPECT_EQ(e.name(), name) << e.reason();
        }
    };
    expectThrow([&] { a.objectAtIndex(4); }, NSRangeException);
    expectThrow([&] { a.removeObjectAtIndex(9); }, NSRangeException);
    expectThrow([&] { a.insertObject_atIndex("x", 9); }, NSRangeException);
    expectThrow([&] { a.addObject(Value()); }, NSInvalidArgumentException);
    expectThrow([&] { Value::dictionary().setObject_forKey(Value(), "k"); }, NSInvalidArgumentException);
    expectThrow([&] { Value("text").addObject(1); }, NSInvalidArgumentException);

    // Messages to nil do nothing.
    Value nil;
    nil.addObject(1);
    nil.setObject_forKey(1, "k");
    nil.removeAllObjects();
    EXPECT_TRUE(nil.isNil());
}

TEST(ValueDescription, OldStylePropertyListText)
{
    const Value d = Value::dictionary({{"name", "a b"}, {"n", 1}, {"list", Value::array({})}, {"none", Value::null()}});
    EXPECT_EQ(d.description(), "{\n    name = \"a b\";\n    n = 1;\n    list = (\n    );\n    none = <null>;\n}");
    EXPECT_EQ(Value(NSData::dataWithString("Hello")).description(), "<48656c6c 6f>");
    EXPECT_EQ(Value(NSDate::dateWithTimeIntervalSince1970(0)).description(), "1970-01-01 00:00:00 +0000");
}

TEST(ValueStrings, LengthCountsUTF16Units)
{
    EXPECT_EQ(Value("abc").length(), 3u);
    EXPECT_EQ(Value("中文字").length(), 3u);
    EXPECT_EQ(Value("a😀").length(), 3u);
    EXPECT_EQ(Value(NSData::dataWithString("中")).length(), 3u);
    EXPECT_TRUE(Value("x").isEqualToString("x"));
}

}  // namespace
