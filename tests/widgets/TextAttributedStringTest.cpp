#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIColor.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextAttributedString.h"

namespace {
namespace TextAttributedStringTest_cpp {

// The invariants every string keeps; "" when they hold.
std::string brokenInvariant(const TextAttributedString& s)
{
    const TextAttributeRuns& runs = s.attributes();
    if (runs.empty()) {
        return "no runs";
    }
    if (runs.front()->index() != 0) {
        return "the first run starts at " + std::to_string(runs.front()->index());
    }
    if (s.length() == 0 && runs.size() != 1) {
        return "an empty string with " + std::to_string(runs.size()) + " runs";
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        if (i > 0 && runs[i]->index() <= runs[i - 1]->index()) {
            return "run " + std::to_string(i) + " does not start after the one before";
        }
        if (s.length() > 0 && runs[i]->index() >= s.length()) {
            return "run " + std::to_string(i) + " starts at or after the end";
        }
        if (i > 0 && runs[i]->attributes().isEqual(runs[i - 1]->attributes())) {
            return "runs " + std::to_string(i - 1) + " and " + std::to_string(i) + " are equal";
        }
        if (!runs[i]->attributes().isDictionary()) {
            return "run " + std::to_string(i) + " has no dictionary";
        }
    }
    return "";
}

// The same text with one dictionary per UTF-16 unit: what every mutation means, spelled out.
struct Model {
    std::u16string text;
    std::vector<Value> attributes;

    static Model of(const TextAttributedString& s)
    {
        Model m{s.utf16String(), {}};
        for (NSUInteger i = 0; i < s.length(); ++i) {
            m.attributes.push_back(s.attributesAtIndex_effectiveRange(i, nullptr));
        }
        return m;
    }
    void change(NSRange r, const std::function<void(Value&)>& f)
    {
        for (NSUInteger i = r.location; i < NSMaxRange(r); ++i) {
            Value d = attributes[i].copy();
            f(d);
            attributes[i] = d;
        }
    }
    void replace(NSRange r, const Model& other)
    {
        text.replace(r.location, r.length, other.text);
        attributes.erase(attributes.begin() + long(r.location), attributes.begin() + long(NSMaxRange(r)));
        attributes.insert(attributes.begin() + long(r.location), other.attributes.begin(), other.attributes.end());
    }
};

// The string holds the model's text and, at every index, the model's dictionary over a run that is
// exactly the stretch of equal dictionaries around it.
std::string differenceFrom(const TextAttributedString& s, const Model& m)
{
    if (s.utf16String() != m.text) {
        return "text \"" + s.string() + "\" instead of \"" + NSString::fromUTF16(m.text) + "\"";
    }
    for (NSUInteger i = 0; i < m.text.size(); ++i) {
        NSRange range{};
        const Value got = s.attributesAtIndex_effectiveRange(i, &range);
        if (!got.isEqual(m.attributes[i])) {
            return "index " + std::to_string(i) + ": " + got.description() + " instead of " + m.attributes[i].description();
        }
        NSUInteger start = i;
        while (start > 0 && m.attributes[start - 1].isEqual(m.attributes[i])) {
            --start;
        }
        NSUInteger end = i + 1;
        while (end < m.text.size() && m.attributes[end].isEqual(m.attributes[i])) {
            ++end;
        }
        if (range != NSMakeRange(start, end - start)) {
            return "index " + std::to_string(i) + ": run (" + std::to_string(range.location) + ", " +
                   std::to_string(range.length) + ") instead of (" + std::to_string(start) + ", " +
                   std::to_string(end - start) + ")";
        }
    }
    return "";
}

Value dict(std::initializer_list<Value::DictionaryItem> items) { return Value::dictionary(items); }

// A string from pieces of text, each with its dictionary.
Ref<TextMutableAttributedString> styled(const std::vector<std::pair<std::string, Value>>& pieces)
{
    Ref<TextMutableAttributedString> s = TextMutableAttributedString::create();
    for (const auto& [text, attributes] : pieces) {
        s->appendAttributedString(*TextAttributedString::initWithString_attributes(text, attributes));
    }
    return s;
}

struct Op {
    enum Kind { Add, AddMany, Set, Remove, ReplaceText, ReplaceStyled, Insert, Append, Delete, SetString, InsertSelf };
    Kind kind;
    NSRange range;
    std::string name;
    Value value;          // Add: the value; AddMany, Set: the dictionary
    std::string text;     // ReplaceText and the other string's text
    Value textAttributes;  // the other string's one dictionary

    std::string describe() const
    {
        static const char* names[] = {"add", "addMany", "set", "remove", "replaceText", "replaceStyled",
                                      "insert", "append", "delete", "setString", "insertSelf"};
        return std::string(names[kind]) + " (" + std::to_string(range.location) + ", " + std::to_string(range.length) +
               ") " + name + " " + value.description() + " \"" + text + "\" " + textAttributes.description();
    }

    void apply(TextMutableAttributedString& s, Model& m) const
    {
        const Ref<TextAttributedString> other = TextAttributedString::initWithString_attributes(text, textAttributes);
        const Model otherModel = Model::of(*other);
        switch (kind) {
        case Add:
            s.addAttribute_value_range(name, value, range);
            m.change(range, [&](Value& d) { d.setObject_forKey(value, name); });
            break;
        case AddMany:
            s.addAttributes_range(value, range);
            m.change(range, [&](Value& d) { d.addEntriesFromDictionary(value); });
            break;
        case Set:
            s.setAttributes_range(value, range);
            m.change(range, [&](Value& d) { d = value.copy(); });
            break;
        case Remove:
            s.removeAttribute_range(name, range);
            m.change(range, [&](Value& d) { d.removeObjectForKey(name); });
            break;
        case ReplaceText:
            s.replaceCharactersInRange_withString(range, text);
            m.replace(range, Model::of(*TextAttributedString::initWithString(text)));
            break;
        case ReplaceStyled:
            s.replaceCharactersInRange_withAttributedString(range, *other);
            m.replace(range, otherModel);
            break;
        case Insert:
            s.insertAttributedString_atIndex(*other, range.location);
            m.replace(NSMakeRange(range.location, 0), otherModel);
            break;
        case Append:
            s.appendAttributedString(*other);
            m.replace(NSMakeRange(m.text.size(), 0), otherModel);
            break;
        case Delete:
            s.deleteCharactersInRange(range);
            m.replace(range, Model{});
            break;
        case SetString:
            s.setAttributedString(*other);
            m = otherModel;
            break;
        case InsertSelf: {
            const Model before = m;
            s.insertAttributedString_atIndex(s, range.location);
            m.replace(NSMakeRange(range.location, 0), before);
            break;
        }
        }
    }
};

template <class F>
std::string raisedReason(F&& f)
{
    try {
        f();
    } catch (const NSException& e) {
        return e.name() + ": " + e.reason();
    }
    return "(nothing raised)";
}

std::string resourcesFolder()
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    return source ? std::string(source) + "/resources" : NSBundle::defaultMainBundlePath();
}

struct MutationCase {
    const char* name;
    std::vector<std::pair<std::string, Value>> start;
    std::vector<Op> ops;
    std::string expected;  // the description at the end
};

using O = Op;

void PrintTo(const MutationCase& c, std::ostream* os) { *os << c.name; }

std::vector<MutationCase> mutationCases()
{
    return {
        MutationCase{
            "AddInTheMiddleGivesThreeRunsTheRestJoinsThem",
            {{"Hello World", dict({{"c", "red"}})}},
            {{O::Add, {3, 2}, "u", 1},
             {O::Add, {0, 3}, "u", 1},
             {O::Add, {5, 6}, "u", 1}},
            "\"Hello World\" {c: red, u: 1}"},
        MutationCase{
            "ThreeRunsAfterTheFirstAdd",
            {{"Hello World", dict({{"c", "red"}})}},
            {{O::Add, {3, 2}, "u", 1}},
            "\"Hel\" {c: red} \"lo\" {c: red, u: 1} \" World\" {c: red}"},
        MutationCase{
            "SettingANeighboursAttributesJoinsTheTwo",
            {{"ab", dict({{"c", "red"}})}, {"cd", dict({{"c", "blue"}})}},
            {{O::Set, {2, 2}, "", dict({{"c", "red"}})}},
            "\"abcd\" {c: red}"},
        MutationCase{
            "InsertingInsideARunSplitsItAndTheTailKeepsItsAttributes",
            {{"abcd", dict({{"c", "red"}})}, {"ef", {}}},
            {{O::Insert, {2, 0}, "", {}, "XY", dict({{"u", 1}})}},
            "\"ab\" {c: red} \"XY\" {u: 1} \"cd\" {c: red} \"ef\" {}"},
        MutationCase{
            "PlainReplacementTextHasNoAttributes",
            {{"abcd", dict({{"c", "red"}})}},
            {{O::ReplaceText, {1, 2}, "", {}, "中文\U0001F600"}},
            "\"a\" {c: red} \"中文\U0001F600\" {} \"d\" {c: red}"},
        MutationCase{
            "ReplacingWithEqualAttributesJoinsAtBothSeams",
            {{"abcd", dict({{"c", "red"}})}},
            {{O::ReplaceStyled, {1, 2}, "", {}, "xyz", dict({{"c", "red"}})}},
            "\"axyzd\" {c: red}"},
        MutationCase{
            "DeletingEveryCharacterKeepsOneEmptyRun",
            {{"ab", dict({{"c", "red"}})}, {"cd", {}}},
            {{O::Delete, {0, 4}}},
            "\"\" {}"},
        MutationCase{
            "AnEmptiedStringTakesNewTextWithItsOwnAttributes",
            {{"ab", dict({{"c", "red"}})}},
            {{O::Delete, {0, 2}},
             {O::Append, {}, "", {}, "new", dict({{"u", 2}})},
             {O::Add, {0, 0}, "k", 1}},
            "\"new\" {u: 2}"},
        MutationCase{
            "EmptyRangesAtTheEndAndInsideChangeNothing",
            {{"ab", dict({{"c", "red"}})}, {"cd", {}}},
            {{O::Add, {4, 0}, "u", 1},
             {O::Set, {1, 0}, "", {}},
             {O::Remove, {2, 0}, "c"},
             {O::Insert, {3, 0}, "", {}, "", dict({{"u", 1}})},
             {O::Delete, {4, 0}}},
            "\"ab\" {c: red} \"cd\" {}"},
        MutationCase{
            "DeletingAcrossRunsJoinsEqualNeighbours",
            {{"ab", dict({{"c", "red"}})}, {"cd", {}}, {"ef", dict({{"c", "red"}})}},
            {{O::Delete, {1, 4}}},
            "\"af\" {c: red}"},
        MutationCase{
            "RemovingTheOnlyDifferenceJoinsRuns",
            {{"ab", dict({{"c", "red"}})}, {"cd", dict({{"c", "red"}, {"u", 1}})}},
            {{O::Remove, {0, 4}, "u"}},
            "\"abcd\" {c: red}"},
        MutationCase{
            "InsertingAStringIntoItself",
            {{"ab", dict({{"c", "red"}})}, {"cd", {}}},
            {{O::InsertSelf, {1, 0}}},
            "\"aab\" {c: red} \"cd\" {} \"b\" {c: red} \"cd\" {}"},
        MutationCase{
            "ReplacingEverythingWithAnEmptyString",
            {{"ab", dict({{"c", "red"}})}, {"cd", {}}},
            {{O::ReplaceStyled, {0, 4}, "", {}, "", dict({{"u", 1}})}},
            "\"\" {u: 1}"}
    };
}

}  // namespace TextAttributedStringTest_cpp
}  // namespace

// ---- Mutations, each followed by the invariants and the model ------------------------------------------

class TextAttributedStringMutationTest : public ::testing::TestWithParam<TextAttributedStringTest_cpp::MutationCase> {};

TEST_P(TextAttributedStringMutationTest, InvariantsHoldAfterEveryStep)
{
    using namespace TextAttributedStringTest_cpp;
    const MutationCase& c = GetParam();
    const Ref<TextMutableAttributedString> s = styled(c.start);
    Model model = Model::of(*s);
    ASSERT_EQ(brokenInvariant(*s), "");
    for (const Op& op : c.ops) {
        SCOPED_TRACE(op.describe());
        op.apply(*s, model);
        ASSERT_EQ(brokenInvariant(*s), "") << s->description();
        ASSERT_EQ(differenceFrom(*s, model), "") << s->description();
    }
    EXPECT_EQ(s->description(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextAttributedStringMutationTest,
                         ::testing::ValuesIn(TextAttributedStringTest_cpp::mutationCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextAttributedStringRandomTest, RandomMutationsKeepInvariantsAndMatchTheModel)
{
    using namespace TextAttributedStringTest_cpp;
    const std::vector<std::string> texts = {"", "a", "xy", "中文", "\U0001F600", "Hello, 世界 42"};
    const std::vector<std::string> names = {"a", "b", TextUnderlineStyleAttributeName};
    const std::vector<Value> values = {Value(1), Value(2), Value("red")};
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const auto pick = [&](size_t n) { return size_t(random() % n); };
        const auto someDict = [&] {
            Value d = Value::dictionary();
            for (const std::string& name : names) {
                if (pick(3) == 0) {
                    d.setObject_forKey(values[pick(values.size())], name);
                }
            }
            return d;
        };
        const Ref<TextMutableAttributedString> s = TextMutableAttributedString::initWithString_attributes("seed", someDict());
        Model model = Model::of(*s);
        for (int step = 0; step < 250; ++step) {
            const NSUInteger length = model.text.size();
            const NSUInteger location = pick(length + 1);
            const NSRange range{location, pick(length - location + 1)};
            Op op{Op::Kind(pick(11)), range, names[pick(names.size())], values[pick(values.size())],
                  texts[pick(texts.size())], someDict()};
            if (op.kind == Op::AddMany || op.kind == Op::Set) {
                op.value = someDict();
            }
            if ((op.kind == Op::InsertSelf || op.kind == Op::Append) && length > 200) {
                op.kind = Op::Delete;  // keep the string small
            }
            SCOPED_TRACE(std::to_string(step) + ": " + op.describe());
            op.apply(*s, model);
            ASSERT_EQ(brokenInvariant(*s), "") << s->description();
            ASSERT_EQ(differenceFrom(*s, model), "") << s->description();
        }
    }
}

TEST(TextAttributedStringRandomTest, RangesBeyondTheEndAreRefusedAndChangeNothing)
{
    using namespace TextAttributedStringTest_cpp;
    const Ref<TextMutableAttributedString> s = styled({{"ab", dict({{"c", "red"}})}, {"cd", {}}});
    const std::string before = s->description();
    const std::string refused = "NSInternalInconsistencyException: Invalid parameter not satisfying: NSMaxRange(range) <= [_buffer length]";
    const NSRange beyond[] = {{4, 1}, {5, 0}, {0, 5}, {3, ~NSUInteger(0)}, {~NSUInteger(0), 2}};
    const Ref<TextAttributedString> other = TextAttributedString::initWithString("x");
    for (const NSRange r : beyond) {
        SCOPED_TRACE(std::to_string(r.location) + ", " + std::to_string(r.length));
        EXPECT_EQ(raisedReason([&] { s->addAttribute_value_range("u", 1, r); }), refused);
        EXPECT_EQ(raisedReason([&] { s->setAttributes_range(dict({}), r); }), refused);
        EXPECT_EQ(raisedReason([&] { s->removeAttribute_range("c", r); }), refused);
        EXPECT_EQ(raisedReason([&] { s->replaceCharactersInRange_withString(r, "x"); }), refused);
        EXPECT_EQ(raisedReason([&] { s->replaceCharactersInRange_withAttributedString(r, *other); }), refused);
        EXPECT_EQ(raisedReason([&] { s->deleteCharactersInRange(r); }), refused);
        EXPECT_EQ(raisedReason([&] { s->attributedSubstringFromRange(r); }),
                  "NSRangeException: range was outisde of the attributed string");
        s->setFontSize_andBold_andRange(12, false, r);  // beyond the end: nothing happens
        EXPECT_EQ(s->description(), before);
    }
    EXPECT_EQ(raisedReason([&] { s->insertAttributedString_atIndex(*other, 5); }), refused);
}

// ---- Queries -------------------------------------------------------------------------------------------

TEST(TextAttributedStringQueryTest, EffectiveAndLongestRanges)
{
    using namespace TextAttributedStringTest_cpp;
    // Runs: "ab" {c: red}  "cd" {c: red, u: 1}  "ef" {c: blue}  "gh" {}
    const Ref<TextMutableAttributedString> s =
        styled({{"ab", dict({{"c", "red"}})}, {"cd", dict({{"c", "red"}, {"u", 1}})}, {"ef", dict({{"c", "blue"}})}, {"gh", {}}});
    struct Case {
        const char* name;
        std::string key;  // "" for the whole dictionary
        NSUInteger index;
        NSRange limit;  // {0, 0} and key "": the plain effective range
        bool longest;
        Value expected;
        NSRange range;
    };
    const Case cases[] = {
        {"effective range of a run", "", 2, {}, false, dict({{"c", "red"}, {"u", 1}}), {2, 2}},
        {"longest dictionary range is the run cut to the limit", "", 3, {3, 5}, true, dict({{"c", "red"}, {"u", 1}}), {3, 1}},
        {"one key's effective range is its run", "c", 1, {}, false, Value("red"), {0, 2}},
        {"one key's longest range grows over runs with the same value", "c", 1, {0, 8}, true, Value("red"), {0, 4}},
        {"...within the limit", "c", 3, {1, 2}, true, Value("red"), {1, 2}},
        {"a key absent from neighbours joins them as absent", "u", 7, {0, 8}, true, Value(), {4, 4}},
        {"absent key in the first runs", "u", 0, {0, 8}, true, Value(), {0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NSRange range{99, 99};
        Value got;
        if (c.key.empty()) {
            got = c.longest ? s->attributesAtIndex_longestEffectiveRange_inRange(c.index, &range, c.limit)
                            : s->attributesAtIndex_effectiveRange(c.index, &range);
        } else {
            got = c.longest ? s->attribute_atIndex_longestEffectiveRange_inRange(c.key, c.index, &range, c.limit)
                            : s->attribute_atIndex_effectiveRange(c.key, c.index, &range);
        }
        EXPECT_TRUE(got == c.expected) << got.description();
        EXPECT_EQ(range, c.range) << range.location << ", " << range.length;
    }
    // The dictionary handed out is a copy: changing it changes nothing in the string.
    Value copy = s->attributesAtIndex_effectiveRange(0, nullptr);
    copy.setObject_forKey(Value(5), "c");
    EXPECT_EQ(s->attribute_atIndex_effectiveRange("c", 0, nullptr).string(), "red");

    const std::string beyond = "NSRangeException: index beyond range of attributed string";
    EXPECT_EQ(raisedReason([&] { s->attributesAtIndex_effectiveRange(8, nullptr); }), beyond);
    EXPECT_EQ(raisedReason([&] { s->attribute_atIndex_effectiveRange("c", 9, nullptr); }), beyond);
    EXPECT_EQ(raisedReason([] { TextAttributedString::create()->attributesAtIndex_effectiveRange(0, nullptr); }), beyond);
    EXPECT_EQ(raisedReason([&] { s->attributesAtIndex_longestEffectiveRange_inRange(1, nullptr, {4, 5}); }),
              "NSRangeException: rangeLimit beyond range of attributed string");
}

TEST(TextAttributedStringQueryTest, SubstringsCopiesAndEquality)
{
    using namespace TextAttributedStringTest_cpp;
    const Ref<TextMutableAttributedString> s = styled({{"ab", dict({{"c", "red"}})}, {"中文", {}}, {"ef", dict({{"u", 1}})}});
    EXPECT_EQ(s->attributedSubstringFromRange({1, 4})->description(), "\"b\" {c: red} \"中文\" {} \"e\" {u: 1}");
    EXPECT_EQ(s->attributedSubstringFromRange({2, 2})->description(), "\"中文\" {}");
    EXPECT_EQ(s->attributedSubstringFromRange({6, 0})->description(), "\"\" {}");

    const Ref<TextAttributedString> frozen = s->copy();
    EXPECT_EQ(dynamic_cast<TextMutableAttributedString*>(frozen.get()), nullptr) << "a copy is immutable";
    EXPECT_EQ(frozen->copy(), frozen) << "an immutable string copies as itself";
    EXPECT_TRUE(frozen->isEqual(s.get()));
    EXPECT_TRUE(s->isEqual(frozen.get()));
    const Ref<TextMutableAttributedString> thawed = frozen->mutableCopy();
    EXPECT_TRUE(thawed->isEqual(frozen.get()));

    // Changes to the mutable string, or to a copy of it, reach no other string.
    s->addAttribute_value_range("c", "blue", {0, 1});
    thawed->deleteCharactersInRange({0, 2});
    EXPECT_EQ(frozen->description(), "\"ab\" {c: red} \"中文\" {} \"ef\" {u: 1}");
    EXPECT_FALSE(frozen->isEqual(s.get()));

    // A string set from another takes copies of its runs: changing it leaves the other as it was.
    const Ref<TextMutableAttributedString> taker = TextMutableAttributedString::create();
    taker->setAttributedString(*frozen);
    taker->addAttribute_value_range("c", "green", {0, 6});
    taker->addAttribute_value_range("k", 7, {0, 1});
    EXPECT_EQ(frozen->description(), "\"ab\" {c: red} \"中文\" {} \"ef\" {u: 1}");

    EXPECT_FALSE(s->isEqual(TextAttributedString::initWithString(s->string()).get()));
    EXPECT_FALSE(s->isEqual(nullptr));
    EXPECT_EQ(raisedReason([] { TextAttributedString::initWithAttributedString(nullptr); }),
              "NSInternalInconsistencyException: Invalid parameter not satisfying: attr != nil");
    EXPECT_EQ(raisedReason([] { TextMutableAttributedString::initWithAttributedString(nullptr); }),
              "NSInternalInconsistencyException: Invalid parameter not satisfying: attr != nil");
}

TEST(TextAttributedStringQueryTest, DescriptionsAndArchives)
{
    using namespace TextAttributedStringTest_cpp;
    const Ref<TextAttributeRun> run = TextAttributeRun::initWithIndex_attributes(3, dict({{"a", 1}, {"b", "x"}}));
    EXPECT_TRUE(std::regex_match(run->description(), std::regex("<TextAttributeRun: 0x[0-9a-f]+ index=3 attributes=\\{a=1 b=x\\}>")))
        << run->description();
    EXPECT_EQ(TextAttributeRun::create()->index(), 0u);
    EXPECT_EQ(TextAttributeRun::create()->attributes().count(), 0u);
    EXPECT_TRUE(run->isEqual(run->copy().get()));
    EXPECT_FALSE(run->isEqual(TextAttributeRun::initWithIndex_attributes(4, run->attributes()).get()));

    // The run's dictionary is its own copy.
    Value given = dict({{"a", 1}});
    const Ref<TextAttributeRun> owner = TextAttributeRun::attributeRunWithIndex_attributes(0, given);
    given.setObject_forKey(Value(2), "a");
    EXPECT_EQ(owner->attributes()["a"].intValue(), 1);

    const Ref<TextMutableAttributedString> s = styled({{"ab", dict({{"c", "red"}, {"u", 1}})}, {"cd", {}}});
    EXPECT_EQ(s->description(), "\"ab\" {c: red, u: 1} \"cd\" {}");
    const Ref<TextAttributedString> back = TextAttributedString::initWithCoder(s->encodeWithCoder());
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(s.get()));
    ASSERT_TRUE(TextMutableAttributedString::initWithCoder(s->encodeWithCoder()));

    const auto archive = [](Value buffer, std::vector<std::pair<long long, Value>> runs) {
        Value array = Value::array();
        for (const auto& [index, attributes] : runs) {
            array.addObject(dict({{"index", Value(index)}, {"attributes", attributes}}));
        }
        return dict({{"buffer", buffer}, {"attributes", array}});
    };
    struct Case {
        const char* name;
        Value archive;
    };
    const Case refused[] = {
        {"no runs", archive("ab", {})},
        {"first run not at 0", archive("ab", {{1, dict({})}})},
        {"indexes not increasing", archive("abc", {{0, dict({})}, {2, dict({})}, {1, dict({})}})},
        {"a run at the end", archive("ab", {{0, dict({})}, {2, dict({})}})},
        {"a negative index", archive("ab", {{0, dict({})}, {-1, dict({})}})},
        {"text that is not text", archive(Value(5), {{0, dict({})}})},
        {"not an archive", Value("text")},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(TextAttributedString::initWithCoder(c.archive));
    }
    EXPECT_TRUE(TextAttributedString::initWithCoder(archive("", {{0, dict({})}})));
}

TEST(TextAttributedStringQueryTest, EnumeratingAttributes)
{
    using namespace TextAttributedStringTest_cpp;
    // Runs: "ab" {c: red}  "cd" {c: red, u: 1}  "ef" {}  "gh" {c: blue}
    const Ref<TextMutableAttributedString> s =
        styled({{"ab", dict({{"c", "red"}})}, {"cd", dict({{"c", "red"}, {"u", 1}})}, {"ef", {}}, {"gh", dict({{"c", "blue"}})}});
    using Calls = std::vector<std::string>;
    const auto runs = [&](NSRange r, NSUInteger options, int stopAfter = -1) {
        Calls calls;
        s->enumerateAttributesInRange_options_usingBlock(r, options, [&](const Value& d, NSRange range, bool* stop) {
            calls.push_back(std::to_string(range.location) + "+" + std::to_string(range.length) + " " + std::to_string(d.count()));
            *stop = int(calls.size()) == stopAfter;
        });
        return calls;
    };
    const auto values = [&](const char* key, NSRange r, NSUInteger options) {
        Calls calls;
        s->enumerateAttribute_inRange_options_usingBlock(key, r, options, [&](const Value& v, NSRange range, bool*) {
            calls.push_back(std::to_string(range.location) + "+" + std::to_string(range.length) + " " + v.description());
        });
        return calls;
    };
    EXPECT_EQ(runs({0, 8}, 0), (Calls{"0+2 1", "2+2 2", "4+2 0", "6+2 1"}));
    EXPECT_EQ(runs({1, 4}, 0), (Calls{"1+1 1", "2+2 2", "4+1 0"})) << "ranges cut to the range";
    EXPECT_EQ(runs({1, 4}, TextEnumerationReverse), (Calls{"4+1 0", "2+2 2", "1+1 1"}));
    EXPECT_EQ(runs({0, 8}, 0, 2), (Calls{"0+2 1", "2+2 2"})) << "the stop flag ends the walk";
    EXPECT_EQ(runs({0, 8}, TextEnumerationReverse, 1), (Calls{"6+2 1"}));
    EXPECT_EQ(runs({0, 0}, 0), Calls{}) << "an empty range meets no run";
    EXPECT_EQ(runs({6, 10}, 0), (Calls{"6+2 1"})) << "a range past the end is cut at the end";

    EXPECT_EQ(values("c", {0, 8}, 0), (Calls{"0+4 red", "6+2 blue"})) << "equal neighbours joined, absent skipped";
    EXPECT_EQ(values("c", {0, 8}, TextLongestEffectiveRangeNotRequired), (Calls{"0+2 red", "2+2 red", "6+2 blue"}));
    EXPECT_EQ(values("c", {1, 6}, TextEnumerationReverse), (Calls{"6+1 blue", "1+3 red"}));
    EXPECT_EQ(values("u", {0, 8}, 0), (Calls{"2+2 1"}));
    EXPECT_EQ(values("none", {0, 8}, 0), Calls{});

    // A block that shortens the text: the later pieces move with their characters.
    std::vector<std::string> seen;
    s->enumerateAttributesInRange_options_usingBlock({0, 8}, 0, [&](const Value&, NSRange range, bool*) {
        seen.push_back(NSString::fromUTF16(s->utf16String().substr(range.location, range.length)));
        s->deleteCharactersInRange({range.location, 1});
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"ab", "cd", "ef", "gh"}));
    EXPECT_EQ(s->string(), "bdfh");
}

// ---- Fonts by script -------------------------------------------------------------------------------------

TEST(TextAttributedStringFontTest, LatinAndChineseTakeTheirOwnFontsAndLoseTheirColours)
{
    using namespace TextAttributedStringTest_cpp;
    NSBundle::setMainBundlePath(resourcesFolder());
    const Ref<CustomFontManager> fonts = CustomFontManager::sharedManager();
    const Ref<UIColor> red = UIColor::colorWithRed_green_blue_alpha(1, 0, 0, 1);
    struct Case {
        bool bold;
        const char* latin;
        const char* other;
    };
    for (const Case c : {Case{false, "Helvetica", "STHeitiSC-Light"}, Case{true, "Helvetica-Bold", "STHeitiSC-Medium"}}) {
        SCOPED_TRACE(c.latin);
        const Ref<TextMutableAttributedString> s = TextMutableAttributedString::initWithString_attributes(
            "#Ab中文9 x\U0001F600", dict({{TextForegroundColorAttributeName, Value(red)}}));
        s->setFontSize_andBold_andRange(14, c.bold, {1, s->length() - 1});
        ASSERT_EQ(brokenInvariant(*s), "");
        const Value latin = Value(fonts->textFontWithName_pointSize(c.latin, 14));
        const Value other = Value(fonts->textFontWithName_pointSize(c.other, 14));
        ASSERT_TRUE(latin.object() && other.object());
        const Value colour = dict({{TextForegroundColorAttributeName, Value(red)}});
        struct Piece {
            NSRange range;
            Value attributes;
        };
        // "#" keeps its colour; letters and digits take the Latin font; CJK, the space and the
        // surrogate pair take the other; each run holds the font alone.
        const Piece expected[] = {
            {{0, 1}, colour},
            {{1, 2}, dict({{TextFontAttributeName, latin}})},
            {{3, 2}, dict({{TextFontAttributeName, other}})},
            {{5, 1}, dict({{TextFontAttributeName, latin}})},
            {{6, 1}, dict({{TextFontAttributeName, other}})},
            {{7, 1}, dict({{TextFontAttributeName, latin}})},
            {{8, 2}, dict({{TextFontAttributeName, other}})},
        };
        ASSERT_EQ(s->attributes().size(), std::size(expected)) << s->description();
        for (const Piece& p : expected) {
            NSRange range{};
            const Value got = s->attributesAtIndex_effectiveRange(p.range.location, &range);
            EXPECT_EQ(range, p.range) << p.range.location;
            EXPECT_TRUE(got.isEqual(p.attributes)) << p.range.location << ": " << got.description();
        }
        const Ref<TextFont> font = s->attribute_atIndex_effectiveRange(TextFontAttributeName, 1, nullptr).object<TextFont>();
        ASSERT_TRUE(font);
        EXPECT_EQ(font->pointSize(), 14);
        EXPECT_EQ(font->cgFont(), fonts->fontWithName(c.latin));
    }
    NSBundle::setMainBundlePath("");
}
