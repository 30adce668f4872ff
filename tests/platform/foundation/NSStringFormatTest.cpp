#include <gtest/gtest.h>

#include <functional>

#include "platform/foundation/NSString.h"

namespace {

struct FormatCase {
    std::string expected;
    std::function<std::string()> make;
};

TEST(StringWithFormat, FormatsAsThePlatformDoes)
{
    const Value nil;
    const Value reply = Value::dictionary({{"msg", "成功"}, {"id", 12345678901LL}});
    const std::string text = "文本";
    const Ref<NSObject> object;
    const FormatCase table[] = {
        {"v=(null)", [&] { return stringWithFormat("v=%@", nil); }},
        {"(null)", [&] { return stringWithFormat("%@", object); }},
        {"(null)", [&] { return stringWithFormat("%@", nullptr); }},
        {"(null)", [&] { return stringWithFormat("%@"); }},
        {"成功", [&] { return stringWithFormat("%@", reply["msg"]); }},
        {"文本/abc", [&] { return stringWithFormat("%@/%@", text, "abc"); }},
        {"12345678901", [&] { return stringWithFormat("%@", reply["id"]); }},
        {"12345678901", [&] { return stringWithFormat("%d", reply["id"]); }},
        {"<null>", [&] { return stringWithFormat("%@", Value::null()); }},
        {"42 -7", [&] { return stringWithFormat("%d %d", 42, -7); }},
        {"12", [&] { return stringWithFormat("%d%d", 1, 2); }},
        {"4294967295", [&] { return stringWithFormat("%u", -1); }},
        {"3000000000", [&] { return stringWithFormat("%u", 3000000000U); }},
        {"9000000000", [&] { return stringWithFormat("%ld", 9000000000L); }},
        {"-9000000000", [&] { return stringWithFormat("%lld", -9000000000LL); }},
        {"9000000000", [&] { return stringWithFormat("%d", 9000000000L); }},
        {"18446744073709551615", [&] { return stringWithFormat("%lu", 18446744073709551615UL); }},
        {"3.500000", [&] { return stringWithFormat("%f", 3.5); }},
        {"3.14", [&] { return stringWithFormat("%.2f", 3.14159); }},
        {"2.00", [&] { return stringWithFormat("%.2f", 2); }},
        {"07:05", [&] { return stringWithFormat("%02d:%02d", 7, 5); }},
        {"ff FF", [&] { return stringWithFormat("%x %X", 255, 255); }},
        {"ffffffff", [&] { return stringWithFormat("%x", -1); }},
        {"0a", [&] { return stringWithFormat("%02x", 10); }},
        {"100%", [&] { return stringWithFormat("%d%%", 100); }},
        {"c-str (null)", [&] { return stringWithFormat("%s %s", "c-str", static_cast<const char*>(nullptr)); }},
        {"  ab|ab  ", [&] { return stringWithFormat("%4s|%-4s", "ab", "ab"); }},
        {"   中文", [&] { return stringWithFormat("%5@", "中文"); }},
        {"b a", [&] { return stringWithFormat("%2$@ %1$@", "a", "b"); }},
        {"  7", [&] { return stringWithFormat("%*d", 3, 7); }},
        {"A", [&] { return stringWithFormat("%c", 'A'); }},
        {"1", [&] { return stringWithFormat("%@", true); }},
        {"0.5", [&] { return stringWithFormat("%@", 0.5); }},
        {"5", [&] { return stringWithFormat("%d", Value("5")); }},
        {"(\n    1,\n    2\n)", [&] { return stringWithFormat("%@", Value::array({1, 2})); }},
        {"no args %", [&] { return stringWithFormat("no args %"); }},
        {"x=0", [&] { return stringWithFormat("x=%d"); }},
    };
    for (const auto& c : table) {
        EXPECT_EQ(c.make(), c.expected);
    }
}

}  // namespace
