// Proxy auto-configuration: scripts and URLs to proxy lists, the helper functions, broken and hostile
// scripts going direct, and scripts fetched over HTTP or from a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "../cfnetwork/StreamHarness.h"
#include "platform/cfnetwork/CFProxySupport.h"
#include "platform/cfnetwork/ProxyAutoConfig.h"
#include "servers/ForwardProxy.h"
#include "servers/ScriptedHTTPServer.h"

using TestServers::ForwardProxy;
using TestServers::Reply;
using TestServers::ScriptedHTTPServer;

namespace {

// "HTTP host:port; SOCKS host:port; DIRECT" from a proxy list, "nil" for none.
std::string summary(const Value& list)
{
    if (!list.isArray()) {
        return "nil";
    }
    std::string out;
    for (const Value& entry : list.arrayItems()) {
        if (!out.empty()) {
            out += "; ";
        }
        std::string type = entry[kCFProxyTypeKey].stringValue();
        if (type == kCFProxyTypeNone) {
            out += "DIRECT";
            EXPECT_FALSE(entry[kCFProxyHostNameKey]);
            continue;
        }
        out += type == kCFProxyTypeHTTP ? "HTTP " : type == kCFProxyTypeSOCKS ? "SOCKS " : "? ";
        EXPECT_TRUE(entry[kCFProxyPortNumberKey].isInteger());
        out += entry[kCFProxyHostNameKey].stringValue() + ":" + entry[kCFProxyPortNumberKey].stringValue();
    }
    return out;
}

std::string copyProxies(const std::string& script, const std::string& url, Ref<NSError>* error = nullptr)
{
    Ref<NSError> failure;
    Value list = CFNetworkCopyProxiesForAutoConfigurationScript(script, NSURL::URLWithString(url), &failure);
    EXPECT_EQ(list.isNil(), failure != nullptr);
    if (error) {
        *error = failure;
    }
    return summary(list);
}

const char kCorporate[] = R"JS(
function FindProxyForURL(url, host) {
    if (isPlainHostName(host) || dnsDomainIs(host, ".corp.example")) {
        return "DIRECT";
    }
    if (shExpMatch(url, "https:*")) {
        return "PROXY secure.example:8443; DIRECT";
    }
    if (host == "video.example") {
        return "SOCKS5 socks.example:1081";
    }
    return "PROXY proxy.example:8080;SOCKS socks.example ; DIRECT";
}
)JS";

TEST(ProxyAutoConfigScript, ScriptsAndURLsGiveProxyLists)
{
    struct Case {
        std::string script;
        std::string url;
        std::string expected;
    };
    const Case cases[] = {
        {kCorporate, "http://intranet/start", "DIRECT"},
        {kCorporate, "http://wiki.CORP.example/a", "DIRECT"},
        {kCorporate, "https://bank.example/login", "HTTP secure.example:8443; DIRECT"},
        {kCorporate, "http://video.example/x", "SOCKS socks.example:1081"},
        {kCorporate, "http://news.example/", "HTTP proxy.example:8080; SOCKS socks.example:1080; DIRECT"},
        // The script sees the URL without credentials and fragment, and the bare host.
        {"function FindProxyForURL(url, host) {"
         "  return url == 'http://h.example:81/p?q=1' && host == 'h.example' ? 'DIRECT' : 'PROXY wrong:1'; }",
         "http://user:pw@h.example:81/p?q=1#frag", "DIRECT"},
        {"function FindProxyForURL(url, host) { return 'PROXY [::1]:3128; HTTP 10.0.0.1'; }", "http://a.example/",
         "HTTP ::1:3128; HTTP 10.0.0.1:80"},
        {"function FindProxyForURL(url, host) { return ''; }", "http://a.example/", "DIRECT"},
        // Global state and helpers defined by the script itself.
        {"var n = 7; function pick() { return 'PROXY p' + n + '.example:' + (8000 + n); }"
         "function FindProxyForURL(url, host) { return pick(); }",
         "http://a.example/", "HTTP p7.example:8007"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(copyProxies(c.script, c.url), c.expected);
    }
}

TEST(ProxyAutoConfigScript, AnEmptyScriptPrimesAndAnswersNothing)
{
    Ref<NSError> error;
    Value list = CFNetworkCopyProxiesForAutoConfigurationScript("", NSURL::URLWithString("http://a/"), &error);
    EXPECT_TRUE(list.isArray());
    EXPECT_EQ(list.count(), 0u);
    EXPECT_FALSE(error);
}

TEST(ProxyAutoConfigScript, BrokenScriptsGiveAnErrorSoTheCallerGoesDirect)
{
    const std::pair<const char*, std::string> cases[] = {
        {"syntax error", "function FindProxyForURL(url, host) { return 'DIRECT' "},
        {"throws", "function FindProxyForURL(url, host) { throw new Error('no'); }"},
        {"throws while loading", "undefinedFunction(); function FindProxyForURL(url, host) { return 'DIRECT'; }"},
        {"no FindProxyForURL", "function findProxy(url, host) { return 'DIRECT'; }"},
        {"not a function", "var FindProxyForURL = 'DIRECT';"},
        {"answers a number", "function FindProxyForURL(url, host) { return 42; }"},
        {"answers null", "function FindProxyForURL(url, host) { return null; }"},
        {"answers nothing usable", "function FindProxyForURL(url, host) { return 'HTTPS tls.example:443; BOGUS x'; }"},
        {"endless recursion", "function f(n) { return f(n + 1) + 1; } function FindProxyForURL(u, h) { return f(0); }"},
        {"eats memory", "function FindProxyForURL(u, h) { var s = 'xxxxxxxx'; while (true) { s = s + s; } }"},
        {"binary garbage", std::string("\x00\xff\xfe function", 12)},
    };
    for (const auto& [what, script] : cases) {
        SCOPED_TRACE(what);
        Ref<NSError> error;
        EXPECT_EQ(copyProxies(script, "http://a.example/", &error), "nil");
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), kCFErrorDomainCFNetwork);
        EXPECT_EQ(error->code(), kCFErrorPACFileError);
        EXPECT_FALSE(error->localizedDescription().empty());
    }
}

TEST(ProxyAutoConfigScript, AScriptThatNeverEndsFailsAndIsNotRunAgain)
{
    ProxyAutoConfig::Environment environment;
    environment.timeLimitSeconds = 0.3;
    const char endless[] = "function FindProxyForURL(u, h) { while (true) {} }";
    std::string error;
    EXPECT_FALSE(ProxyAutoConfig::findProxyForURL(endless, "http://a/", "a", environment, &error));
    EXPECT_NE(error.find("did not finish in time"), std::string::npos) << error;
    EXPECT_FALSE(ProxyAutoConfig::findProxyForURL(endless, "http://a/", "a", environment, &error));
    EXPECT_NE(error.find("before"), std::string::npos) << error;
    // Other scripts still run, on a fresh worker.
    auto answer = ProxyAutoConfig::findProxyForURL("function FindProxyForURL(u, h) { return 'DIRECT'; }", "http://a/",
                                                   "a", environment, &error);
    EXPECT_EQ(answer, "DIRECT") << error;
}

TEST(ProxyAutoConfigScript, AnswersAreReadIntoProxyLists)
{
    const std::pair<const char*, const char*> cases[] = {
        {"DIRECT", "DIRECT"},
        {"  ", "DIRECT"},
        {"proxy a.example:1; direct", "HTTP a.example:1; DIRECT"},
        {"PROXY a.example", "HTTP a.example:80"},
        {"SOCKS4 s.example; SOCKS5 t.example:9", "SOCKS s.example:1080; SOCKS t.example:9"},
        {"PROXY a.example:0; PROXY b.example:65536; PROXY c.example:x; PROXY d.example:65535", "HTTP d.example:65535"},
        {"PROXY bad host:1; PROXY [::1; PROXY [zz]:1; PROXY ok.example:2", "HTTP ok.example:2"},
        {"DIRECT extra; ;; PROXY a.example:3", "HTTP a.example:3"},
        {"PROXY", "nil"},
        {"HTTPS secure.example:443", "nil"},
        {"garbage", "nil"},
    };
    for (const auto& [answer, expected] : cases) {
        SCOPED_TRACE(answer);
        auto list = ProxyAutoConfig::parseProxyList(answer);
        EXPECT_EQ(list ? summary(*list) : "nil", expected);
    }
}

TEST(ProxyAutoConfigScript, ScriptBytesAreUTF8ElseLatin1)
{
    EXPECT_EQ(ProxyAutoConfig::decodeScript("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(ProxyAutoConfig::decodeScript("caf\xE9"), "caf\xC3\xA9");
    // A Latin-1 script still runs.
    std::string script = ProxyAutoConfig::decodeScript(
        "// caf\xE9\nfunction FindProxyForURL(u, h) { return h == 'caf\xE9.example' ? 'DIRECT' : 'PROXY p:1'; }");
    EXPECT_EQ(ProxyAutoConfig::findProxyForURL(script, "http://x/", "caf\xC3\xA9.example"), "DIRECT");
}

// ---- Helper functions, in a fixed world ------------------------------------------------------------------

constexpr double kFridayMorning = 1710498645;  // 2024-03-15 10:30:45 UTC, a Friday; 13:30:45 local
constexpr double kNewYearsEve = 1735683300;    // 2024-12-31 22:15:00 UTC, a Tuesday; 2025-01-01 01:15 local

class ProxyAutoConfigHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Local time three hours ahead of GMT, so local and GMT answers differ.
        const char* tz = std::getenv("TZ");
        savedTZ = tz ? std::optional<std::string>(tz) : std::nullopt;
        ::setenv("TZ", "LOC-3", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (savedTZ) {
            ::setenv("TZ", savedTZ->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

    static std::string evaluate(const std::string& expression, double now)
    {
        ProxyAutoConfig::Environment environment;
        environment.resolve = [](const std::string& host) -> std::optional<std::string> {
            if (host == "intranet.example") {
                return "10.1.2.3";
            }
            if (host == "10.1.2.3" || host == "200.1.2.3") {
                return host;
            }
            return std::nullopt;
        };
        environment.myIpAddress = [] { return std::string("192.168.7.20"); };
        environment.wallNow = [now] { return now; };
        std::string error;
        auto answer = ProxyAutoConfig::findProxyForURL(
            "function FindProxyForURL(url, host) { return String(" + expression + "); }", "http://x/", "x", environment,
            &error);
        return answer ? *answer : "error: " + error;
    }

    std::optional<std::string> savedTZ;
};

TEST_F(ProxyAutoConfigHelpers, HostsAddressesAndPatterns)
{
    const std::pair<const char*, const char*> cases[] = {
        {"isPlainHostName('www')", "true"},
        {"isPlainHostName('www.example')", "false"},
        {"dnsDomainIs('www.Example.org', '.example.org')", "true"},
        {"dnsDomainIs('www.example.com', '.example.org')", "false"},
        {"dnsDomainIs('example.org', '.example.org')", "false"},
        {"localHostOrDomainIs('www.example.org', 'www.example.org')", "true"},
        {"localHostOrDomainIs('www', 'www.example.org')", "true"},
        {"localHostOrDomainIs('www.example.com', 'www.example.org')", "false"},
        {"localHostOrDomainIs('home.example.org', 'www.example.org')", "false"},
        {"localHostOrDomainIs('ww', 'www.example.org')", "false"},
        {"isResolvable('intranet.example')", "true"},
        {"isResolvable('nowhere.invalid')", "false"},
        {"dnsResolve('intranet.example')", "10.1.2.3"},
        {"dnsResolve('nowhere.invalid')", "null"},
        {"isInNet('intranet.example', '10.0.0.0', '255.0.0.0')", "true"},
        {"isInNet('10.1.2.3', '10.1.0.0', '255.255.0.0')", "true"},
        {"isInNet('10.2.2.3', '10.1.0.0', '255.255.0.0')", "false"},
        {"isInNet('200.1.2.3', '200.0.0.0', '255.0.0.0')", "true"},
        {"isInNet('nowhere.invalid', '0.0.0.0', '0.0.0.0')", "false"},
        {"isInNet('10.1.2.3', '10.1.0.0', 'bogus')", "false"},
        {"isInNet('10.1.2.300', '10.1.0.0', '255.255.0.0')", "false"},
        {"myIpAddress()", "192.168.7.20"},
        {"isInNet(myIpAddress(), '192.168.0.0', '255.255.0.0')", "true"},
        {"dnsDomainLevels('www')", "0"},
        {"dnsDomainLevels('www.example.org')", "2"},
        {"shExpMatch('http://home.example.org/x', '*.example.org/*')", "true"},
        {"shExpMatch('abc', 'a?c')", "true"},
        {"shExpMatch('abc', 'a*')", "true"},
        {"shExpMatch('abc', '*d')", "false"},
        {"shExpMatch('abc', 'a.c')", "false"},
        {"shExpMatch('a.c', 'a.c')", "true"},
        {"shExpMatch('a(b)+c', 'a(b)+*')", "true"},
        {"shExpMatch('', '*')", "true"},
        {"shExpMatch('x', '')", "false"},
        {"shExpMatch('aaaaaaaaaaaaaaaaaaaaaaaaaaaaab', '*a*a*a*a*a*a*a*a*c')", "false"},
    };
    for (const auto& [expression, expected] : cases) {
        EXPECT_EQ(evaluate(expression, kFridayMorning), expected) << expression;
    }
}

TEST_F(ProxyAutoConfigHelpers, DaysDatesAndTimesInLocalTimeOrGMT)
{
    struct Case {
        double now;
        const char* expression;
        const char* expected;
    };
    const Case cases[] = {
        {kFridayMorning, "weekdayRange('FRI')", "true"},
        {kFridayMorning, "weekdayRange('fri', 'GMT')", "true"},
        {kFridayMorning, "weekdayRange('MON', 'THU')", "false"},
        {kFridayMorning, "weekdayRange('THU', 'SAT')", "true"},
        {kFridayMorning, "weekdayRange('SAT', 'MON')", "false"},
        {kFridayMorning, "weekdayRange('THU', 'MON')", "true"},
        {kFridayMorning, "weekdayRange('XYZ')", "false"},
        {kFridayMorning, "timeRange(13)", "true"},
        {kFridayMorning, "timeRange(10, 'GMT')", "true"},
        {kFridayMorning, "timeRange(9, 12)", "false"},
        {kFridayMorning, "timeRange(9, 13)", "true"},
        {kFridayMorning, "timeRange(13, 30, 13, 30)", "true"},
        {kFridayMorning, "timeRange(13, 31, 14, 0)", "false"},
        {kFridayMorning, "timeRange(13, 30, 45, 13, 30, 45)", "true"},
        {kFridayMorning, "timeRange(13, 30, 46, 14, 0, 0)", "false"},
        {kFridayMorning, "timeRange(0, 23)", "true"},
        {kFridayMorning, "timeRange('x')", "false"},
        {kFridayMorning, "dateRange(15)", "true"},
        {kFridayMorning, "dateRange('MAR')", "true"},
        {kFridayMorning, "dateRange(2024)", "true"},
        {kFridayMorning, "dateRange(1, 14)", "false"},
        {kFridayMorning, "dateRange('FEB', 'APR')", "true"},
        {kFridayMorning, "dateRange(10, 'MAR', 20, 'MAR')", "true"},
        {kFridayMorning, "dateRange('JAN', 2024, 'FEB', 2024)", "false"},
        {kFridayMorning, "dateRange(40)", "false"},
        {kNewYearsEve, "weekdayRange('WED')", "true"},
        {kNewYearsEve, "weekdayRange('WED', 'GMT')", "false"},
        {kNewYearsEve, "weekdayRange('TUE', 'GMT')", "true"},
        {kNewYearsEve, "dateRange(2025)", "true"},
        {kNewYearsEve, "dateRange(2024, 'GMT')", "true"},
        {kNewYearsEve, "dateRange('JAN')", "true"},
        {kNewYearsEve, "dateRange('DEC', 'GMT')", "true"},
        {kNewYearsEve, "dateRange(31, 'GMT')", "true"},
        {kNewYearsEve, "dateRange(1)", "true"},
        {kNewYearsEve, "dateRange('NOV', 'FEB')", "true"},
        {kNewYearsEve, "dateRange(1, 'JAN', 15, 'JAN')", "true"},
        {kNewYearsEve, "dateRange(20, 'DEC', 5, 'JAN')", "true"},
        {kNewYearsEve, "dateRange('DEC', 2024, 'JAN', 2025)", "true"},
        {kNewYearsEve, "dateRange(1, 'JAN', 2025, 2, 'JAN', 2025)", "true"},
        {kNewYearsEve, "dateRange(2, 'JAN', 2025, 3, 'JAN', 2025)", "false"},
        {kNewYearsEve, "dateRange(2026, 2024)", "false"},
        {kNewYearsEve, "timeRange(1)", "true"},
        {kNewYearsEve, "timeRange(22, 'GMT')", "true"},
        {kNewYearsEve, "timeRange(22, 2)", "true"},
        {kNewYearsEve, "timeRange(2, 22)", "false"},
        {kNewYearsEve, "timeRange(23, 0, 0, 30, 'GMT')", "false"},
        {kNewYearsEve, "timeRange(22, 0, 22, 15, 'GMT')", "true"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(evaluate(c.expression, c.now), c.expected) << c.expression << " at " << c.now;
    }
}

// ---- Scripts fetched from a server or a file -------------------------------------------------------------

class ProxyAutoConfigFetch : public ::testing::Test {
protected:
    // Runs the fetch on this thread's loop until its callback came.
    Value fetch(const Ref<NSURL>& scriptURL, const std::string& target, Ref<NSError>* error)
    {
        bool called = false;
        Value result;
        auto task = CFNetworkExecuteProxyAutoConfigurationURL(
            scriptURL, NSURL::URLWithString(target), [&](const Value& proxies, const Ref<NSError>& failure) {
                EXPECT_FALSE(called);
                called = true;
                result = proxies;
                *error = failure;
            });
        EXPECT_TRUE(task->isValid());
        task->scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode);
        EXPECT_TRUE(NSRunLoop::currentRunLoop()->runUntil([&] { return called; }, std::chrono::seconds(10)));
        EXPECT_FALSE(task->isValid());
        return result;
    }

    ScriptedHTTPServer server;
};

TEST_F(ProxyAutoConfigFetch, AScriptOverHTTPRoutesThroughTheProxyItNames)
{
    ForwardProxy proxy;
    ScriptedHTTPServer origin;
    origin.enqueue(Reply::ok("through the proxy"));
    Reply script = Reply::ok("function FindProxyForURL(url, host) {\n"
                             "  return url.indexOf('/routed') >= 0 ? 'PROXY 127.0.0.1:" +
                             std::to_string(proxy.port()) + "; DIRECT' : 'DIRECT';\n}\n");
    script.headerLines.push_back("Content-Type: application/x-ns-proxy-autoconfig");
    server.enqueue(script);

    Ref<NSError> error;
    Value proxies = fetch(NSURL::URLWithString(server.url("/proxy.pac")), origin.url("/routed"), &error);
    ASSERT_FALSE(error) << error->localizedDescription();
    EXPECT_EQ(summary(proxies), "HTTP 127.0.0.1:" + std::to_string(proxy.port()) + "; DIRECT");

    // The first entry is the one a client uses.
    CFHTTPProxySettings settings{proxies[0][kCFProxyHostNameKey].stringValue(),
                                 proxies[0][kCFProxyPortNumberKey].intValue(), "", 0};
    StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(origin.url("/routed"))));
    h.stream->setHTTPProxy(settings);
    h.start();
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.body, "through the proxy");
    ASSERT_EQ(proxy.seen().size(), 1u);
    EXPECT_EQ(proxy.seen()[0].target, origin.url("/routed"));
}

TEST_F(ProxyAutoConfigFetch, ABrokenOrMissingScriptGivesAnErrorAndTheRequestGoesDirect)
{
    ForwardProxy proxy;
    ScriptedHTTPServer origin;
    origin.enqueue(Reply::ok("direct"));
    server.enqueue(Reply::ok("function FindProxyForURL(url, host) { return 'PROXY 127.0.0.1:" +
                             std::to_string(proxy.port()) + "' "));  // cut short
    server.enqueue(Reply::withStatus(404, "Not Found", "function FindProxyForURL(u, h) { return 'PROXY x:1'; }"));

    Ref<NSError> error;
    EXPECT_EQ(summary(fetch(NSURL::URLWithString(server.url("/broken.pac")), origin.url("/"), &error)), "nil");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), kCFErrorPACFileError);
    EXPECT_EQ(summary(fetch(NSURL::URLWithString(server.url("/missing.pac")), origin.url("/"), &error)), "nil");
    ASSERT_TRUE(error);
    EXPECT_NE(error->localizedDescription().find("404"), std::string::npos);
    error.reset();
    EXPECT_EQ(summary(fetch(NSURL::URLWithString("http://127.0.0.1:1/unreachable.pac"), origin.url("/"), &error)),
              "nil");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->underlyingError());

    // With no list, the request goes direct: the proxy sees nothing.
    StreamHarness h(CFReadStream::createForHTTPRequest(StreamHarness::get(origin.url("/"))));
    h.start();
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.body, "direct");
    EXPECT_TRUE(proxy.seen().empty());
}

TEST_F(ProxyAutoConfigFetch, AScriptFromAFile)
{
    std::string folder = (std::filesystem::temp_directory_path() / "auth-pac-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(folder.data()));
    std::string path = folder + "/proxy.pac";
    std::ofstream(path) << "function FindProxyForURL(u, h) { return dnsDomainIs(h, '.example') ? "
                           "'SOCKS 127.0.0.1:1080' : 'DIRECT'; }";
    Ref<NSError> error;
    EXPECT_EQ(summary(fetch(NSURL::fileURLWithPath(path), "https://www.example/", &error)), "SOCKS 127.0.0.1:1080");
    EXPECT_FALSE(error);
    EXPECT_EQ(summary(fetch(NSURL::fileURLWithPath(folder + "/missing.pac"), "https://www.example/", &error)), "nil");
    EXPECT_TRUE(error);
    std::filesystem::remove_all(folder);
}

TEST_F(ProxyAutoConfigFetch, AnInvalidatedTaskNeverCallsBack)
{
    auto task = CFNetworkExecuteProxyAutoConfigurationURL(NSURL::URLWithString(server.url("/proxy.pac")),
                                                          NSURL::URLWithString("http://a/"),
                                                          [](const Value&, const Ref<NSError>&) { FAIL(); });
    task->invalidate();
    EXPECT_FALSE(task->isValid());
    task->scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode);
    EXPECT_EQ(NSRunLoop::currentRunLoop()->drain(), 0);
    EXPECT_EQ(server.requestCount(), 0u);
}

}  // namespace
