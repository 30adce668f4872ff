// How Values keep their contents: decimals packed into integers that give back their exact text,
// dictionaries built in one go, moved-in items, the key index of large dictionaries, and copies that
// own what they hold.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NSException.h"
#include "platform/foundation/Value.h"
#include "platform/foundation/ValueArena.h"

namespace {

std::string keyOf(int i)
{
    return "key-" + std::to_string(i);
}

struct DecimalText {
    const char* text;
    double doubleValue;
    long long longLongValue;
};

TEST(ValueStorageDecimal, EveryTextComesBackExactly)
{
    // Packed forms (plain, at most 19 digits) and kept texts (everything else) alike.
    const DecimalText table[] = {
        {"0", 0.0, 0},
        {"-0", -0.0, 0},
        {"0.05", 0.05, 0},
        {"-0.000", -0.0, 0},
        {"1.50", 1.5, 1},
        {"-123.456789012345", -123.456789012345, -123},
        {"9999999999999999999", 1e19, LLONG_MAX},                // 19 digits, above the signed range
        {"-9223372036854775808", -9223372036854775808.0, LLONG_MIN},
        {"-9999999999999999999", -1e19, LLONG_MIN},
        {"0.0000000000000000001", 1e-19, 0},
        {"12345678901234567890", 12345678901234567890.0, LLONG_MAX},  // 20 digits: kept as text
        {"1234567890.1234567890", 1234567890.1234567890, 1234567890},
        {"9007199254740993.5", 9007199254740993.5, 9007199254740994},  // beyond 2^53: read by text
        {"007", 7.0, 7},
        {"5.", 5.0, 5},
        {"-.5", -0.5, 0},
        {"+5", 5.0, 5},
        {"2e3", 2000.0, 2000},
        {"1.5E-3", 0.0015, 0},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.text);
        const Value v = Value::decimal(c.text);
        ASSERT_EQ(v.kind(), Value::Kind::Decimal);
        EXPECT_EQ(v.decimalText(), c.text);
        char buffer[32];
        EXPECT_EQ(v.decimalView(buffer), c.text);  // what writers read, without keeping a text
        EXPECT_EQ(v.stringValue(), c.text);
        EXPECT_EQ(v.description(), c.text);
        EXPECT_EQ(v.doubleValue(), c.doubleValue);
        EXPECT_EQ(std::signbit(v.doubleValue()), std::signbit(c.doubleValue));
        EXPECT_EQ(v.longLongValue(), c.longLongValue);
        EXPECT_TRUE(v.isEqual(Value::decimal(c.text)));

        // Copies and moves keep the text; a copy lives on after the original is gone.
        Value copy;
        {
            const Value original = Value::decimal(c.text);
            (void)original.decimalText();  // a packed one has made its text by now
            copy = original;
        }
        EXPECT_EQ(copy.decimalText(), c.text);
        Value moved = std::move(copy);
        EXPECT_EQ(moved.decimalText(), c.text);
        EXPECT_TRUE(copy.isNil());  // a moved-from Value is left nil
    }
    for (const char* bad : {"", "-", "--1", ".", "1e", "1.2.3", "0x10", " 1", "1 ", "-a"}) {
        EXPECT_TRUE(Value::decimal(bad).isNil()) << bad;
    }
}

TEST(ValueStorageDecimal, ManyReadersMakeOneText)
{
    const Value shared = Value::array({Value::decimal("-12.0625")});
    std::vector<std::thread> readers;
    std::vector<const std::string*> seen(4, nullptr);
    for (size_t i = 0; i < seen.size(); ++i) {
        readers.emplace_back([&, i] { seen[i] = &shared.arrayItems()[0].decimalText(); });
    }
    for (auto& t : readers) {
        t.join();
    }
    for (const std::string* text : seen) {
        EXPECT_EQ(text, seen[0]);
        EXPECT_EQ(*text, "-12.0625");
    }
}

TEST(ValueStorageDictionary, BuiltInOneGoLikeKeyByKey)
{
    // Small and indexed sizes, with and without repeated keys: a later duplicate replaces the value in
    // the first one's place, exactly as setObject_forKey does.
    // Past 512 items the duplicate check is made with the index itself rather than a table on the stack.
    for (int size : {0, 1, 5, 12, 13, 40, 300, 512, 513, 1500}) {
        for (bool repeat : {false, true}) {
            SCOPED_TRACE(testing::Message() << size << (repeat ? " with repeats" : ""));
            Value::DictionaryItems items;
            Value expected = Value::dictionary();
            for (int i = 0; i < size; ++i) {
                const int key = repeat ? (i * 7) % (size / 2 + 1) : i;
                items.emplace_back(keyOf(key), Value(i));
                expected.setObject_forKey(Value(i), keyOf(key));
            }
            const Value built = Value::dictionaryWithItems(std::move(items));
            ASSERT_EQ(built.count(), expected.count());
            EXPECT_EQ(built.allKeys(), expected.allKeys());
            for (const auto& [key, value] : expected.dictionaryItems()) {
                EXPECT_EQ(built[key].intValue(), value.intValue()) << key;
            }
            EXPECT_TRUE(built["absent"].isNil());
        }
    }
}

TEST(ValueStorageDictionary, LargeDictionariesFindEveryKeyThroughChanges)
{
    Value d = Value::dictionary();
    // Keys that share long prefixes and suffixes, and the empty key.
    auto key = [](int i) { return std::string(40, 'p') + std::to_string(i) + std::string(20, 's'); };
    d.setObject_forKey("empty", "");
    for (int i = 0; i < 200; ++i) {
        d.setObject_forKey(Value(i), key(i));
    }
    for (int i = 0; i < 200; i += 3) {
        d.removeObjectForKey(key(i));
    }
    for (int i = 0; i < 200; i += 5) {
        d.setObject_forKey(Value(-i), key(i));  // back in, or replaced in place
    }
    EXPECT_EQ(d[""].stringValue(), "empty");
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        if (i % 5 == 0) {
            EXPECT_EQ(d[key(i)].intValue(), -i);
        } else if (i % 3 == 0) {
            EXPECT_TRUE(d[key(i)].isNil());
        } else {
            EXPECT_EQ(d[key(i)].intValue(), i);
        }
    }
    // A copy has its own keys and finds them all; the original is unchanged by changes to it.
    Value copy = d.mutableCopy();
    copy.removeAllObjects();
    copy.setObject_forKey(1, "only");
    EXPECT_EQ(copy.count(), 1u);
    EXPECT_EQ(d[key(1)].intValue(), 1);
    const Value deep = d.deepCopy();
    EXPECT_TRUE(deep.isEqual(d));
    EXPECT_EQ(deep[key(199)].intValue(), 199);
}

TEST(ValueStorageDictionary, ReadersOnSeveralThreadsShareTheIndexMadeAtTheFirstLookup)
{
    // A dictionary built in one go has no index until a lookup needs one; readers that arrive at once
    // each find every key, and a change afterwards keeps the index in step.
    for (int size : {13, 100, 700}) {
        SCOPED_TRACE(size);
        Value::DictionaryItems items;
        for (int i = 0; i < size; ++i) {
            items.emplace_back(keyOf(i), Value(i));
        }
        Value shared = Value::dictionaryWithItems(std::move(items));
        std::vector<std::thread> readers;
        std::vector<int> misses(4, 0);
        for (size_t r = 0; r < misses.size(); ++r) {
            readers.emplace_back([&, r] {
                for (int i = 0; i < size; ++i) {
                    misses[r] += shared[keyOf(i)].intValue() == i ? 0 : 1;
                }
                misses[r] += shared["absent"].isNil() ? 0 : 1;
            });
        }
        for (auto& t : readers) {
            t.join();
        }
        for (int m : misses) {
            EXPECT_EQ(m, 0);
        }
        shared.setObject_forKey(Value(-1), keyOf(size));
        shared.setObject_forKey(Value(-2), keyOf(0));
        shared.removeObjectForKey(keyOf(1));
        EXPECT_EQ(shared.count(), static_cast<NSUInteger>(size));
        EXPECT_EQ(shared[keyOf(size)].intValue(), -1);
        EXPECT_EQ(shared[keyOf(0)].intValue(), -2);
        EXPECT_TRUE(shared[keyOf(1)].isNil());
        EXPECT_EQ(shared[keyOf(size - 1)].intValue(), size - 1);
        EXPECT_EQ(shared.dictionaryItems()[0].first, keyOf(0));
        // A copy makes an index of its own.
        const Value copy = shared.copy();
        EXPECT_EQ(copy[keyOf(size - 1)].intValue(), size - 1);
        EXPECT_TRUE(copy[keyOf(1)].isNil());
    }
}

// Containers made in a bulk scope share the blocks their handles come from; the blocks must last
// exactly as long as the last of them, whichever thread lets it go, while each container stays an
// ordinary one that grows, shrinks and is copied. (Under the address sanitizer a handle used after the
// blocks went, or blocks never freed, fail the test.)
TEST(ValueStorageBulk, ContainersMadeInAScopeLiveOnAndEndOnAnyThread)
{
    const auto record = [](int i) {
        Value::DictionaryItems items;
        items.emplace_back("id", Value(i));
        items.emplace_back("tags", Value(Value::ArrayItems{Value(keyOf(i)), Value(i * 2)}));
        items.emplace_back("empty", Value::array());
        items.emplace_back("inner", Value::dictionaryWithItems({{"name", Value(keyOf(i))}}));
        return Value::dictionaryWithItems(std::move(items));
    };
    // The second round is made in the blocks the first one gave back.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        constexpr int kRecords = 800;  // handles enough for several blocks
        std::vector<Value> records;
        {
            ValueArena::Scope scope;
            for (int i = 0; i < kRecords; ++i) {
                records.push_back(record(i));
                if (i % 7 == 0) {
                    // Made and let go while the scope lives.
                    Value gone = record(-i);
                    gone.setObject_forKey(Value(1), "changed");
                }
            }
        }
        const Value kept = records[5]["inner"];  // outlives the record that held it
        constexpr int kThreads = 4;
        std::vector<int> wrong(kThreads, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            std::vector<Value> share;
            for (int i = t; i < kRecords; i += kThreads) {
                share.push_back(std::move(records[static_cast<size_t>(i)]));
            }
            threads.emplace_back([t, &wrong, share = std::move(share)]() mutable {
                for (size_t n = 0; n < share.size(); ++n) {
                    Value& r = share[n];
                    const int i = t + static_cast<int>(n) * kThreads;
                    Value tags = r["tags"];
                    tags.addObject(Value(-1));  // grows past what it was made with
                    Value grown = r;
                    for (int k = 0; k < 20; ++k) {
                        grown.setObject_forKey(Value(k), keyOf(k));  // past the size that gets an index
                    }
                    const Value copy = r.deepCopy();
                    wrong[static_cast<size_t>(t)] += r["id"].intValue() == i && r["tags"].count() == 3 && r["empty"].count() == 0 &&
                                                             r["inner"]["name"].stringValue() == keyOf(i) &&
                                                             r[keyOf(19)].intValue() == 19 && copy.isEqual(r)
                                                         ? 0
                                                         : 1;
                    r = Value();  // let go, one by one
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(wrong[static_cast<size_t>(t)], 0) << "thread " << t;
        }
        EXPECT_EQ(kept["name"].stringValue(), keyOf(5));
    }
}

TEST(ValueStorageBulk, NestedScopesAndScopesThatMakeNothing)
{
    Value outerArray;
    Value innerDictionary;
    Value afterInner;
    {
        ValueArena::Scope outer;
        outerArray = Value::array({1, 2});
        {
            ValueArena::Scope inner;
            innerDictionary = Value::dictionaryWithItems({{"k", Value("v")}});
            ValueArena::Scope nothing;
        }
        afterInner = Value::dictionary();  // the outer scope's again
        innerDictionary.setObject_forKey(outerArray, "list");
    }
    { ValueArena::Scope nothing; }
    outerArray.addObject(Value(3));
    afterInner.setObject_forKey(innerDictionary, "d");
    EXPECT_EQ(afterInner["d"]["list"].count(), 3u);
    EXPECT_EQ(afterInner["d"]["k"].stringValue(), "v");
    innerDictionary = Value();
    outerArray = Value();
    EXPECT_EQ(afterInner["d"]["list"][2].intValue(), 3);
}

TEST(ValueStorageMoves, MovedInItemsAreTheSameContainers)
{
    Value inner = Value::array({1});
    Value outer = Value::array();
    Value alias = inner;
    outer.addObject(std::move(inner));
    alias.addObject(2);
    EXPECT_EQ(outer[0].count(), 2u);  // the handle moved in, not a copy

    Value dict = Value::dictionary();
    std::string key = "a long key that does not fit in a short string";
    Value list = Value::array({"x"});
    Value listAlias = list;
    dict.setObject_forKey(std::move(list), std::move(key));
    dict.setObject_forKey(Value("v"), std::string_view("k"));
    dict.setObject_forKey(Value("w"), "k");  // replaces in place
    listAlias.addObject("y");
    EXPECT_EQ(dict["a long key that does not fit in a short string"].count(), 2u);
    EXPECT_EQ(dict["k"].stringValue(), "w");
    EXPECT_EQ(dict.allKeys().size(), 2u);

    // Nil is refused as before, moved or not; nil receivers ignore the message.
    EXPECT_THROW(dict.setObject_forKey(Value(), std::string("k")), NSException);
    EXPECT_THROW(outer.addObject(Value()), NSException);
    Value nil;
    nil.addObject(Value(1));
    nil.setObject_forKey(Value(1), std::string("k"));
    EXPECT_TRUE(nil.isNil());
}

TEST(ValueStorageMoves, AssignmentFromInsideItself)
{
    // The new value lives inside the old one: it must be taken before the old one goes.
    Value v = Value::dictionary({{"child", Value::dictionary({{"leaf", "text that is long enough to allocate"}})}});
    v = v["child"];
    EXPECT_EQ(v["leaf"].stringValue(), "text that is long enough to allocate");
    Value w = Value::array({Value::array({Value::decimal("1.25")})});
    const Value& inside = w.arrayItems()[0];
    w = inside;
    EXPECT_EQ(w[0].decimalText(), "1.25");
    Value self = Value("self-assigned text long enough to allocate");
    Value& same = self;
    self = same;
    EXPECT_EQ(self.stringValue(), "self-assigned text long enough to allocate");
}

}  // namespace
