#pragma once
// The application's configuration: the OMBRI_* environment settings, each with its build-time default.
// Every module asks here instead of reading the environment itself, so a setting has one name, one
// default and one meaning, and the programs' usage texts list them all from the same table.
//
// Values are read at each call, so a test that points the client at its own server sets the variable
// before it starts the client and every later call sees it. An empty variable counts as unset.
//
//     PZRequest: "http://" + Configuration::serviceHost() + "/"
//     ombri --help: Configuration::usage() lists every setting with its default
//
// The engine keeps its own copy of the service host (a C-level setting the bridge feeds from here at
// start), because it also runs alone.
#include <string>
#include <vector>

namespace Configuration {

struct Setting {
    const char* name;      // the environment variable
    const char* fallback;  // used when the variable is unset or empty ("" when there is none)
    const char* meaning;   // one line for the usage text
};

// Every setting, in the order the usage text lists them.
const std::vector<Setting>& settings();

// The value of a setting: the environment's when set and not empty, else the setting's default ("" for
// a name that is not in the table and unset).
std::string value(const char* name);

// "host" or "host:port" of the service's web and API server (OMBRI_SERVICE_HOST).
std::string serviceHost();
// The service host without its port (reachability asks for a host name).
std::string serviceWebHost();
// The microblog OAuth providers: Lumo over HTTP, QQ over HTTPS ("host:port").
std::string lumoWeiboHost();
std::string qqWeiboHost();
// The place search over HTTPS, and the key the client sends it.
std::string placeSearchHost();
std::string placeSearchKey();
// A PEM file of further certificate authorities the client trusts besides the system's ("" = none).
std::string extraCAFile();
// The application's home folder ("" when unset: the platform picks one under $HOME).
std::string home();
// The phone model reported to the service ("" when unset: the machine's).
std::string deviceModel();
// Where windows write their snapshots ("" = nowhere).
std::string snapshotDir();

// The environment part of a program's usage text: one line per setting with its default.
std::string usage();

}  // namespace Configuration
