// The one place the OMBRI_* settings are read: a set variable wins, an empty or unset one gives the
// default, and the service's web host drops only a trailing port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/foundation/Configuration.h"

namespace {

TEST(Configuration, SetValuesWinEmptyOrUnsetOnesGiveTheDefault)
{
    struct Case {
        const char* name;
        const char* set;  // nullptr: unset
        std::string expected;
    };
    const Case cases[] = {
        {"OMBRI_SERVICE_HOST", nullptr, "127.0.0.1:8080"},
        {"OMBRI_SERVICE_HOST", "", "127.0.0.1:8080"},
        {"OMBRI_SERVICE_HOST", "svc.example:81", "svc.example:81"},
        {"OMBRI_QQ_WEIBO_HOST", nullptr, "127.0.0.1:8443"},
        {"OMBRI_EXTRA_CA_FILE", nullptr, ""},
        {"OMBRI_EXTRA_CA_FILE", "/tmp/a.pem", "/tmp/a.pem"},
        {"OMBRI_NOT_A_SETTING", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = " + (c.set ? c.set : "(unset)"));
        if (c.set) {
            ::setenv(c.name, c.set, 1);
        } else {
            ::unsetenv(c.name);
        }
        EXPECT_EQ(Configuration::value(c.name), c.expected);
        ::unsetenv(c.name);
    }
    // Each named accessor is the table's setting.
    ::setenv("OMBRI_PLACE_SEARCH_HOST", "places:1", 1);
    EXPECT_EQ(Configuration::placeSearchHost(), "places:1");
    ::unsetenv("OMBRI_PLACE_SEARCH_HOST");
    EXPECT_EQ(Configuration::placeSearchHost(), "127.0.0.1:8444");
}

TEST(Configuration, TheWebHostIsTheServiceHostWithoutItsPort)
{
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1:8080", "127.0.0.1"},
        {"svc.example", "svc.example"},
        {"[::1]:8080", "[::1]"},
        {"[::1]", "[::1]"},
    };
    for (const auto& [host, web] : cases) {
        ::setenv("OMBRI_SERVICE_HOST", host, 1);
        EXPECT_EQ(Configuration::serviceWebHost(), web) << host;
    }
    ::unsetenv("OMBRI_SERVICE_HOST");
}

TEST(Configuration, TheUsageNamesEverySettingWithItsDefault)
{
    const std::string usage = Configuration::usage();
    for (const auto& setting : Configuration::settings()) {
        EXPECT_NE(usage.find(setting.name), std::string::npos) << setting.name;
        if (*setting.fallback != '\0') {
            EXPECT_NE(usage.find(std::string("default ") + setting.fallback), std::string::npos) << setting.name;
        }
    }
}

}  // namespace
