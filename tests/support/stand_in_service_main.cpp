// stand-in-service --port N [--seconds S] [--with-microblog]
// Serves the local stand-in of the service on 127.0.0.1:N (0: any free port) and prints one line per
// request. Stops after S seconds, or on SIGINT or SIGTERM (without --seconds it runs until then).
// --with-microblog also serves the stand-in Lumo microblog's sign-in (OAuth) on a free port and prints
// "stand-in-service microblog on HOST:PORT" (for OMBRI_LUMO_WEIBO_HOST).
#include "service/StandInService.h"
#include "servers/OAuthProviders.h"

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace {

void usage()
{
    std::fprintf(stderr, "usage: stand-in-service --port N [--seconds S] [--with-microblog]\n");
}

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
    bool microblog = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--with-microblog") {
            microblog = true;
        } else if (i + 1 < argc && argument == "--port") {
            port = parseNumber(argv[++i], 0, 65535);
            if (!port) {
                usage();
                return 2;
            }
        } else if (i + 1 < argc && argument == "--seconds") {
            seconds = parseNumber(argv[++i], 1, 365L * 24 * 3600);
            if (!seconds) {
                usage();
                return 2;
            }
        } else {
            usage();
            return 2;
        }
    }
    if (!port) {
        usage();
        return 2;
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
    try {
        standin::StandInService service(std::move(options));
        std::unique_ptr<TestServers::OAuthProvider> lumo;
        if (microblog) {
            // The consumer pair the client is configured with.
            lumo = std::make_unique<TestServers::OAuthProvider>(TestServers::OAuthProvider::Options{
                TestServers::OAuthProvider::Kind::Lumo, "2538114601", "c3ccc6d4f8e2dce2058abf5ca4fb2c95", nullptr});
            std::lock_guard lock(g_printMutex);
            std::printf("stand-in-service microblog on %s\n", lumo->hostPort().c_str());
            std::fflush(stdout);
        }
        {
            std::lock_guard lock(g_printMutex);
            std::printf("stand-in-service listening on %s\n", service.hostPort().c_str());
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
        std::printf("stand-in-service stopped\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "stand-in-service: %s\n", error.what());
        return 1;
    }
    return 0;
}
