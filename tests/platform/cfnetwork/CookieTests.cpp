// Cookies: parsing "Set-Cookie", which hosts and paths get them back, the jar's replacement, order and
// expiry (on the manual clock).
#include <gtest/gtest.h>

#include "platform/cfnetwork/NSHTTPCookie.h"
#include "platform/foundation/Clock.h"

namespace {

Ref<NSURL> url(const char* text)
{
    return NSURL::URLWithString(text);
}

class CookieTest : public ::testing::Test {
protected:
    void SetUp() override { jar()->removeAllCookies(); }
    void TearDown() override
    {
        jar()->removeAllCookies();
        jar()->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyAlways);
    }
    static Ref<NSHTTPCookieStorage> jar() { return NSHTTPCookieStorage::sharedHTTPCookieStorage(); }

    static std::string header(const char* to)
    {
        return NSHTTPCookie::requestHeaderFieldsWithCookies(jar()->cookiesForURL(url(to))).valueForKey("Cookie");
    }
    static void receive(const char* from, std::vector<HTTPHeaderFields::Field> setCookies)
    {
        jar()->setCookies_forURL_mainDocumentURL(NSHTTPCookie::cookiesWithResponseHeaderFields_forURL(setCookies, url(from)),
                                                 url(from), nullptr);
    }
};

TEST_F(CookieTest, ParsesTheAttributes)
{
    struct Case {
        const char* setCookie;
        const char* from;
        bool accepted;
        const char* domain;
        const char* path;
        bool secure;
        bool session;
    };
    const Case cases[] = {
        {"sid=abc", "http://example.com/dir/page", true, "example.com", "/dir", false, true},
        {"sid=abc", "http://example.com/page", true, "example.com", "/", false, true},
        {" sid = a b ; Path=/x ; Secure; HttpOnly", "http://example.com/", true, "example.com", "/x", true, true},
        {"sid=1; Domain=.example.com", "http://www.example.com/", true, ".example.com", "/", false, true},
        {"sid=1; Domain=EXAMPLE.com", "http://example.com/", true, ".example.com", "/", false, true},
        {"sid=1; Domain=other.com", "http://www.example.com/", false, "", "", false, false},
        {"sid=1; Domain=com", "http://example.com/", false, "", "", false, false},
        {"sid=1; Domain=ample.com", "http://example.com/", false, "", "", false, false},
        {"sid=1; Path=relative", "http://example.com/a/b", true, "example.com", "/a", false, true},
        {"sid=1; Max-Age=60", "http://example.com/", true, "example.com", "/", false, false},
        {"sid=1; Expires=Wed, 09 Jun 2100 10:18:14 GMT", "http://example.com/", true, "example.com", "/", false, false},
        {"sid=1; Expires=garbage", "http://example.com/", true, "example.com", "/", false, true},
        {"noequals", "http://example.com/", false, "", "", false, false},
        {"=value", "http://example.com/", false, "", "", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setCookie);
        auto cookie = NSHTTPCookie::cookieWithSetCookieValue(c.setCookie, url(c.from));
        ASSERT_EQ(static_cast<bool>(cookie), c.accepted);
        if (!cookie) {
            continue;
        }
        EXPECT_EQ(cookie->domain(), c.domain);
        EXPECT_EQ(cookie->path(), c.path);
        EXPECT_EQ(cookie->isSecure(), c.secure);
        EXPECT_EQ(cookie->isSessionOnly(), c.session);
    }
    auto trimmed = NSHTTPCookie::cookieWithSetCookieValue(" sid = a b ; HttpOnly", url("http://example.com/"));
    EXPECT_EQ(trimmed->name(), "sid");
    EXPECT_EQ(trimmed->value(), "a b");
    EXPECT_TRUE(trimmed->isHTTPOnly());
}

TEST_F(CookieTest, GoBackOnlyWhereTheyBelong)
{
    receive("http://www.example.com/shop/cart",
            {{"Set-Cookie", "host=1"}, {"Set-Cookie", "wide=2; Domain=example.com; Path=/"},
             {"Set-Cookie", "deep=3; Path=/shop"}, {"Set-Cookie", "safe=4; Secure; Path=/"}});
    const std::pair<const char*, const char*> table[] = {
        // "host" took the default path "/shop": as long as "deep"'s, so the older comes first.
        {"http://www.example.com/shop/cart", "host=1; deep=3; wide=2"},
        {"http://www.example.com/shop", "host=1; deep=3; wide=2"},
        {"http://www.example.com/shopping", "wide=2"},
        {"http://www.example.com/", "wide=2"},
        {"https://www.example.com/", "wide=2; safe=4"},
        {"http://api.example.com/shop/x", "wide=2"},  // host-only cookies stay with their host
        {"http://example.com/", "wide=2"},
        {"http://notexample.com/", ""},
    };
    for (const auto& [to, expected] : table) {
        SCOPED_TRACE(to);
        EXPECT_EQ(header(to), expected);
    }
}

TEST_F(CookieTest, SameNameDomainAndPathReplaces)
{
    receive("http://h.test/", {{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}});
    receive("http://h.test/", {{"Set-Cookie", "a=3"}});
    EXPECT_EQ(header("http://h.test/"), "a=3; b=2");  // the replacement keeps its place
    receive("http://h.test/", {{"Set-Cookie", "a=gone; Max-Age=0"}});
    EXPECT_EQ(header("http://h.test/"), "b=2");
    receive("http://h.test/", {{"Set-Cookie", "b=old; Expires=Thu, 01 Jan 1970 00:00:01 GMT"}});
    EXPECT_EQ(header("http://h.test/"), "");
}

TEST_F(CookieTest, ExpireOnTheProcessClock)
{
    ScopedManualClock clock;
    receive("http://h.test/", {{"Set-Cookie", "short=1; Max-Age=60"}, {"Set-Cookie", "session=2"}});
    EXPECT_EQ(header("http://h.test/"), "short=1; session=2");
    clock.advance(59);
    EXPECT_EQ(header("http://h.test/"), "short=1; session=2");
    clock.advance(2);
    EXPECT_EQ(header("http://h.test/"), "session=2");
    EXPECT_EQ(jar()->cookies().size(), 1u);
}

TEST_F(CookieTest, JoinedHeaderIsSplitAtCookiesNotAtDates)
{
    HTTPHeaderFields fields;
    fields.add("Set-Cookie", "a=1; Expires=Wed, 09 Jun 2100 10:18:14 GMT; Path=/");
    fields.add("Set-Cookie", "b=2");
    fields.add("Set-Cookie", "c=3; Expires=Thu, 10 Jun 2100 10:18:14 GMT");
    auto cookies = NSHTTPCookie::cookiesWithResponseHeaderFields_forURL(fields, url("http://h.test/x"));
    ASSERT_EQ(cookies.size(), 3u);
    EXPECT_EQ(cookies[0]->name(), "a");
    EXPECT_FALSE(cookies[0]->isSessionOnly());
    EXPECT_EQ(cookies[1]->name(), "b");
    EXPECT_EQ(cookies[2]->name(), "c");
    EXPECT_FALSE(cookies[2]->isSessionOnly());
}

TEST_F(CookieTest, PropertiesAndPolicy)
{
    NSHTTPCookie::Properties p;
    p.name = "token";
    p.value = "xyz";
    p.domain = ".h.test";
    auto cookie = NSHTTPCookie::cookieWithProperties(p);
    ASSERT_TRUE(cookie);
    jar()->setCookie(cookie);
    EXPECT_EQ(header("http://sub.h.test/any"), "token=xyz");
    p.value = "bad;value";
    EXPECT_FALSE(NSHTTPCookie::cookieWithProperties(p));
    p.value = "v";
    p.domain = "";
    EXPECT_FALSE(NSHTTPCookie::cookieWithProperties(p));

    jar()->removeAllCookies();
    jar()->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyNever);
    receive("http://h.test/", {{"Set-Cookie", "a=1"}});
    EXPECT_TRUE(jar()->cookies().empty());
    jar()->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain);
    auto third = NSHTTPCookie::cookiesWithResponseHeaderFields_forURL({{"Set-Cookie", "t=1"}}, url("http://ads.test/"));
    jar()->setCookies_forURL_mainDocumentURL(third, url("http://ads.test/"), url("http://h.test/"));
    EXPECT_TRUE(jar()->cookies().empty());
}

}  // namespace
