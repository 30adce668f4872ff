#include "platform/foundation/Configuration.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Configuration {

const std::vector<Setting>& settings()
{
    static const auto* table = new std::vector<Setting>{
        {"OMBRI_SERVICE_HOST", "127.0.0.1:8080", "the service's web and API host (host or host:port, plain HTTP)"},
        {"OMBRI_LUMO_WEIBO_HOST", "127.0.0.1:8081", "the Lumo microblog's sign-in host (plain HTTP)"},
        {"OMBRI_QQ_WEIBO_HOST", "127.0.0.1:8443", "the QQ microblog's sign-in host (HTTPS)"},
        {"OMBRI_PLACE_SEARCH_HOST", "127.0.0.1:8444", "the place search host (HTTPS)"},
        {"OMBRI_PLACE_SEARCH_KEY", "OmbriLumoPlaceSearchKey0000000000000000", "the key sent to the place search"},
        {"OMBRI_EXTRA_CA_FILE", "", "a PEM file of certificate authorities trusted besides the system's"},
        {"OMBRI_HOME", "", "the home folder (default: $HOME/.local/share/ombri)"},
        {"OMBRI_DEVICE_MODEL", "", "the phone model told to the service (default: the machine's)"},
        {"OMBRI_SNAPSHOT_DIR", "", "a folder windows write snapshots into (default: none)"},
        {"OMBRI_ENGINE_TIME_SCALE", "1", "divides every wait of the media engine (tests)"},
    };
    return *table;
}

std::string value(const char* name)
{
    if (const char* set = std::getenv(name); set != nullptr && *set != '\0') {
        return set;
    }
    for (const Setting& setting : settings()) {
        if (std::strcmp(setting.name, name) == 0) {
            return setting.fallback;
        }
    }
    return "";
}

std::string serviceHost() { return value("OMBRI_SERVICE_HOST"); }

std::string serviceWebHost()
{
    std::string host = serviceHost();
    // "[::1]:8080" keeps its brackets' colons; only a trailing port goes.
    if (const auto colon = host.rfind(':'); colon != std::string::npos && host.find(']') == std::string::npos &&
                                            host.find(':') == colon) {
        host.erase(colon);
    } else if (const auto close = host.rfind(']'); close != std::string::npos && close + 1 < host.size() &&
                                                   host[close + 1] == ':') {
        host.erase(close + 1);
    }
    return host;
}

std::string lumoWeiboHost() { return value("OMBRI_LUMO_WEIBO_HOST"); }
std::string qqWeiboHost() { return value("OMBRI_QQ_WEIBO_HOST"); }
std::string placeSearchHost() { return value("OMBRI_PLACE_SEARCH_HOST"); }
std::string placeSearchKey() { return value("OMBRI_PLACE_SEARCH_KEY"); }
std::string extraCAFile() { return value("OMBRI_EXTRA_CA_FILE"); }
std::string home() { return value("OMBRI_HOME"); }
std::string deviceModel() { return value("OMBRI_DEVICE_MODEL"); }
std::string snapshotDir() { return value("OMBRI_SNAPSHOT_DIR"); }

std::string usage()
{
    std::string text = "environment:\n";
    for (const Setting& setting : settings()) {
        std::string line = "  ";
        line += setting.name;
        line.resize(std::max<size_t>(line.size() + 1, 28), ' ');
        line += setting.meaning;
        if (*setting.fallback != '\0') {
            line += std::string("; default ") + setting.fallback;
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace Configuration
