// stand-in-service --port N [--seconds S] [--ca-file PATH]
// The local world the application talks to, in one process: the stand-in of the service on
// 127.0.0.1:N (0: any free port), the two microblogs' sign-in providers (Lumo over HTTP, QQ over TLS)
// and the place search (TLS), each on a free port. The TLS stand-ins' certificates come from a test
// authority made at start, written as PEM to PATH (default: a temporary file removed at the end), which
// the client trusts when OMBRI_EXTRA_CA_FILE names it.
//
// Output: "stand-in-service listening on HOST:PORT", then the settings block, one "NAME=VALUE" line
// per setting the client needs (OMBRI_SERVICE_HOST, OMBRI_LUMO_WEIBO_HOST, OMBRI_QQ_WEIBO_HOST,
// OMBRI_PLACE_SEARCH_HOST, OMBRI_EXTRA_CA_FILE), ended by "stand-in-service ready"; then one line per
// request the service receives. Every stand-in stops after S seconds, or on SIGINT or SIGTERM (without
// --seconds it runs until then).
#include "service/StandInService.h"
#include "servers/OAuthProviders.h"
#include "servers/PlaceSearchServer.h"
#include "servers/TestCertificates.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

const char kUsage[] =
    "usage: stand-in-service --port N [--seconds S] [--ca-file PATH]\n"
    "       stand-in-service --help\n"
    "\n"
    "  --port N        the service's port on 127.0.0.1 (0: any free port)\n"
    "  --seconds S     stop every stand-in after S seconds (default: on SIGINT or SIGTERM)\n"
    "  --ca-file PATH  write the TLS stand-ins' authority there (default: a temporary file,\n"
    "                  removed at the end)\n"
    "  --help, -h      print this text\n"
    "\n"
    "Prints the settings the client needs, one NAME=VALUE line each, after the first line and before\n"
    "\"stand-in-service ready\": OMBRI_SERVICE_HOST, OMBRI_LUMO_WEIBO_HOST, OMBRI_QQ_WEIBO_HOST,\n"
    "OMBRI_PLACE_SEARCH_HOST and OMBRI_EXTRA_CA_FILE.\n";

int refuse(const std::string& why)
{
    std::fprintf(stderr, "stand-in-service: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// The consumer pairs the client is configured with.
constexpr char kLumoConsumerKey[] = "2538114601";
constexpr char kLumoConsumerSecret[] = "c3ccc6d4f8e2dce2058abf5ca4fb2c95";
constexpr char kQQConsumerKey[] = "801102367";
constexpr char kQQConsumerSecret[] = "9c2a7e41d05b86f3a1e4c7d92b58f0e6";

std::optional<long> parseNumber(const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::mutex g_printMutex;

void printRequest(const standin::Request& request)
{
    std::string line = std::to_string(request.connection) + " " + request.method + " " + request.target + " -> ";
    if (request.outcome == standin::Outcome::Answered) {
        line += std::to_string(request.status);
    } else {
        line += std::string(standin::toString(request.outcome));
    }
    line += " (" + std::to_string(request.body.size()) + " bytes in)";
    if (!request.fault.empty()) {
        line += " fault: " + request.fault;
    }
    std::lock_guard lock(g_printMutex);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::optional<long> port;
    std::optional<long> seconds;
    std::string caFile;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (argument == "--with-microblog") {
            // Every stand-in runs now; the flag of older scripts is still understood.
        } else if (argument == "--port") {
            port = i + 1 < argc ? parseNumber(argv[++i], 0, 65535) : std::nullopt;
            if (!port) {
                return refuse("--port needs a port number (0 to 65535)");
            }
        } else if (argument == "--seconds") {
            seconds = i + 1 < argc ? parseNumber(argv[++i], 1, 365L * 24 * 3600) : std::nullopt;
            if (!seconds) {
                return refuse("--seconds needs a number of seconds (1 or more)");
            }
        } else if (argument == "--ca-file") {
            if (i + 1 >= argc || *argv[i + 1] == '\0') {
                return refuse("--ca-file needs a path");
            }
            caFile = argv[++i];
        } else {
            return refuse("unknown argument " + argument);
        }
    }
    if (!port) {
        return refuse("--port is required");
    }

    // The signals are taken synchronously below; the server's threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    standin::ServerOptions options;
    options.port = static_cast<std::uint16_t>(*port);
    options.lifetime = seconds ? std::chrono::milliseconds(*seconds * 1000) : standin::kUntilStopped;
    options.maxConnections = 64;
    options.maxRecords = 1000; // a long session must not keep every uploaded block twice
    options.onRequest = printRequest;
    // The other stand-ins live as long as the service: --seconds, or (until a signal) a year.
    const double lifetime = seconds ? static_cast<double>(*seconds) : 365.0 * 24 * 3600;
    bool ownCaFile = false;
    try {
        standin::StandInService service(std::move(options));
        TestServers::TestCertificateAuthority authority;
        TestServers::OAuthProvider lumo(TestServers::OAuthProvider::Options{
            TestServers::OAuthProvider::Kind::Lumo, kLumoConsumerKey, kLumoConsumerSecret, nullptr, lifetime});
        TestServers::OAuthProvider qq(TestServers::OAuthProvider::Options{
            TestServers::OAuthProvider::Kind::QQ, kQQConsumerKey, kQQConsumerSecret, &authority, lifetime});
        TestServers::PlaceSearchServer places(authority, lifetime);
        places.setPlaces(TestServers::PlaceSearchServer::westLakePlaces());
        if (caFile.empty()) {
            caFile = std::filesystem::temp_directory_path() / ("stand-in-service-ca-" + std::to_string(::getpid()) + ".pem");
            ownCaFile = true;
        }
        {
            std::ofstream out(caFile, std::ios::binary | std::ios::trunc);
            out << authority.certificate().certificatePEM;
            if (!out.flush()) {
                throw std::runtime_error("cannot write the authority to " + caFile);
            }
        }
        {
            std::lock_guard lock(g_printMutex);
            std::printf("stand-in-service listening on %s\n", service.hostPort().c_str());
            std::printf("OMBRI_SERVICE_HOST=%s\n", service.hostPort().c_str());
            std::printf("OMBRI_LUMO_WEIBO_HOST=%s\n", lumo.hostPort().c_str());
            std::printf("OMBRI_QQ_WEIBO_HOST=%s\n", qq.hostPort().c_str());
            std::printf("OMBRI_PLACE_SEARCH_HOST=%s\n", places.hostPort().c_str());
            std::printf("OMBRI_EXTRA_CA_FILE=%s\n", caFile.c_str());
            std::printf("stand-in-service ready\n");
            std::fflush(stdout);
        }
        if (seconds) {
            timespec limit{static_cast<time_t>(*seconds), 0};
            while (sigtimedwait(&stopSignals, nullptr, &limit) < 0 && errno == EINTR) {
            }
        } else {
            int received = 0;
            sigwait(&stopSignals, &received);
        }
        service.server().stop();
        if (ownCaFile) {
            std::remove(caFile.c_str());
        }
        std::printf("stand-in-service stopped\n");
    } catch (const std::exception& error) {
        if (ownCaFile) {
            std::remove(caFile.c_str());
        }
        std::fprintf(stderr, "stand-in-service: %s\n", error.what());
        return 1;
    }
    return 0;
}
