// HTTP client throughput and size. 2,000 small GETs over keep-alive connections on loopback, 4 in flight:
// the request's whole life (the shared queue of width 4, the network thread, the messages to the main
// thread) against libcurl's multi interface in this process (4 connections, 4 transfers in flight,
// connections reused), and against the curl program fetching the same URLs with --parallel
// --parallel-max 4 (its time includes starting a process and reading the URL list). The same 2,000
// GETs one after another on one connection: synchronous requests against libcurl's easy interface.
// All from the same minimal server in the same run. Also the memory of an idle request object.
//
//   build-release/bin/bench_http
//
// The ratios of the rates are printed at the end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/http/HTTPRequest.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"

extern char** environ;

namespace {

constexpr int kRequests = 2000;

// A keep-alive server that answers every request with "ok": one thread per connection, no parsing
// beyond finding the end of each request head (the GETs carry no body). Lives for the process.
class TinyServer {
public:
    TinyServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 64);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        std::thread([this] { acceptLoop(); }).detach();
    }
    int port() const { return port_; }

private:
    void acceptLoop()
    {
        for (;;) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::thread([fd] { serve(fd); }).detach();
        }
    }
    static void serve(int fd)
    {
        static const char reply[] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok";
        std::string pending;
        char buffer[16384];
        for (;;) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            pending.append(buffer, static_cast<size_t>(n));
            std::string out;
            size_t end;
            while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
                pending.erase(0, end + 4);
                out += reply;
            }
            if (!out.empty() && ::send(fd, out.data(), out.size(), MSG_NOSIGNAL) < 0) {
                break;
            }
        }
        ::close(fd);
    }

    int listener_ = -1;
    int port_ = 0;
};

TinyServer& server()
{
    static TinyServer* instance = new TinyServer;
    return *instance;
}

std::string urlFor(int i)
{
    return "http://127.0.0.1:" + std::to_string(server().port()) + "/item?n=" + std::to_string(i);
}

double g_clientRate = 0;
double g_curlRate = 0;
double g_syncRate = 0;
double g_libcurlMultiRate = 0;
double g_libcurlEasyRate = 0;

double rateOf(const benchmark::State& state, double seconds)
{
    return seconds > 0 ? static_cast<double>(state.iterations()) * kRequests / seconds : 0;
}

class CountingDelegate : public HTTPRequestDelegate {
public:
    int finished = 0;
    int failed = 0;
    void requestFinished(const Ref<HTTPRequest>&) override { ++finished; }
    void requestFailed(const Ref<HTTPRequest>&) override { ++failed; }
};

void BM_HTTPRequest_KeepAliveGETs(benchmark::State& state)
{
    static bool once = [] {
        designateMainThread();
        HTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
        return true;
    }();
    (void)once;
    std::vector<Ref<NSURL>> urls;
    for (int i = 0; i < kRequests; ++i) {
        urls.push_back(NSURL::URLWithString(urlFor(i)));
    }
    double seconds = 0;
    for (auto _ : state) {
        auto delegate = std::make_shared<CountingDelegate>();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& url : urls) {
            auto request = HTTPRequest::requestWithURL(url);
            request->setDelegate(delegate);
            request->startAsynchronous();
        }
        if (!pumpMainUntil([&] { return delegate->finished + delegate->failed == kRequests; },
                           std::chrono::seconds(120))) {
            state.SkipWithError("requests did not finish");
            return;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (delegate->failed != 0) {
            state.SkipWithError("some requests failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kRequests);
    g_clientRate = static_cast<double>(state.iterations()) * kRequests / seconds;
    state.counters["requests/s"] = g_clientRate;
}
BENCHMARK(BM_HTTPRequest_KeepAliveGETs)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Where the time goes. The same 2,000 GETs, synchronously on the main thread one after another: no
// queue, no network thread, the messages delivered inline (the cost of one exchange through the
// request and the transport).
void BM_HTTPRequest_SynchronousGETs(benchmark::State& state)
{
    std::vector<Ref<NSURL>> urls;
    for (int i = 0; i < kRequests; ++i) {
        urls.push_back(NSURL::URLWithString(urlFor(i)));
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& url : urls) {
            auto request = HTTPRequest::requestWithURL(url);
            request->startSynchronous();
            if (request->responseStatusCode() != 200) {
                state.SkipWithError("a request failed");
                return;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * kRequests);
    g_syncRate = rateOf(state, seconds);
    state.counters["requests/s"] = g_syncRate;
}
BENCHMARK(BM_HTTPRequest_SynchronousGETs)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Asynchronous, but only 4 queued at a time: each finish (on the main thread) starts the next request,
// so the shared queue never holds more than 4 and the main-thread hop is on the critical path.
void BM_HTTPRequest_RefilledFromFinishGETs(benchmark::State& state)
{
    class Refiller : public HTTPRequestDelegate {
    public:
        std::vector<Ref<NSURL>>* urls = nullptr;
        Weak<HTTPRequestDelegate> self;
        size_t next = 0;
        int done = 0;
        int failed = 0;
        void startNext()
        {
            if (next < urls->size()) {
                auto request = HTTPRequest::requestWithURL((*urls)[next++]);
                request->setDelegate(self);
                request->startAsynchronous();
            }
        }
        void requestFinished(const Ref<HTTPRequest>&) override
        {
            ++done;
            startNext();
        }
        void requestFailed(const Ref<HTTPRequest>&) override
        {
            ++failed;
            startNext();
        }
    };
    std::vector<Ref<NSURL>> urls;
    for (int i = 0; i < kRequests; ++i) {
        urls.push_back(NSURL::URLWithString(urlFor(i)));
    }
    for (auto _ : state) {
        auto refiller = std::make_shared<Refiller>();
        refiller->urls = &urls;
        refiller->self = refiller;
        for (int i = 0; i < 4; ++i) {
            refiller->startNext();
        }
        if (!pumpMainUntil([&] { return refiller->done + refiller->failed == kRequests; }, std::chrono::seconds(120)) ||
            refiller->failed != 0) {
            state.SkipWithError("requests failed or did not finish");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kRequests);
}
BENCHMARK(BM_HTTPRequest_RefilledFromFinishGETs)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_Curl_ParallelKeepAliveGETs(benchmark::State& state)
{
    const std::string config = "/tmp/ombri-bench-http-" + std::to_string(::getpid()) + ".curl";
    {
        std::ofstream out(config);
        for (int i = 0; i < kRequests; ++i) {
            out << "url = \"" << urlFor(i) << "\"\noutput = \"/dev/null\"\n";
        }
    }
    const char* argv[] = {"curl",     "-s", "--no-progress-meter", "--parallel", "--parallel-max", "4", "--noproxy", "*",
                          "-K",       config.c_str(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawnp(&pid, "curl", &quiet, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            state.SkipWithError("curl cannot be started");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&quiet);
    std::remove(config.c_str());
    state.SetItemsProcessed(state.iterations() * kRequests);
    if (seconds > 0) {
        g_curlRate = static_cast<double>(state.iterations()) * kRequests / seconds;
        state.counters["requests/s"] = g_curlRate;
    }
}
BENCHMARK(BM_Curl_ParallelKeepAliveGETs)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

size_t discardBody(char*, size_t size, size_t count, void*)
{
    return size * count;
}

CURL* libcurlHandle()
{
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    return easy;
}

// libcurl's multi interface as a program would use it for the same job: 4 transfers in flight over at
// most 4 connections (kept alive and shared by the multi handle's pool), each finished transfer's easy
// handle reused for the next URL.
void BM_Libcurl_MultiKeepAliveGETs(benchmark::State& state)
{
    static bool once = (curl_global_init(CURL_GLOBAL_DEFAULT), true);
    (void)once;
    std::vector<std::string> urls;
    for (int i = 0; i < kRequests; ++i) {
        urls.push_back(urlFor(i));
    }
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, 4L);
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 4L);
    std::vector<CURL*> handles;
    for (int i = 0; i < 4; ++i) {
        handles.push_back(libcurlHandle());
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        size_t next = 0;
        int done = 0;
        int failed = 0;
        for (CURL* easy : handles) {
            curl_easy_setopt(easy, CURLOPT_URL, urls[next++].c_str());
            curl_multi_add_handle(multi, easy);
        }
        while (done < kRequests) {
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                CURL* easy = message->easy_handle;
                long status = 0;
                curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
                if (message->data.result != CURLE_OK || status != 200) {
                    ++failed;
                }
                ++done;
                curl_multi_remove_handle(multi, easy);
                if (next < urls.size()) {
                    curl_easy_setopt(easy, CURLOPT_URL, urls[next++].c_str());
                    curl_multi_add_handle(multi, easy);
                }
            }
            if (done < kRequests) {
                curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (failed != 0) {
            state.SkipWithError("some libcurl transfers failed");
            break;
        }
    }
    for (CURL* easy : handles) {
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
    state.SetItemsProcessed(state.iterations() * kRequests);
    g_libcurlMultiRate = rateOf(state, seconds);
    state.counters["requests/s"] = g_libcurlMultiRate;
}
BENCHMARK(BM_Libcurl_MultiKeepAliveGETs)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// libcurl's easy interface: one handle, the same 2,000 GETs one after another on its kept-alive
// connection (the peer of the synchronous requests above).
void BM_Libcurl_EasySequentialGETs(benchmark::State& state)
{
    static bool once = (curl_global_init(CURL_GLOBAL_DEFAULT), true);
    (void)once;
    std::vector<std::string> urls;
    for (int i = 0; i < kRequests; ++i) {
        urls.push_back(urlFor(i));
    }
    CURL* easy = libcurlHandle();
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& url : urls) {
            curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
            long status = 0;
            if (curl_easy_perform(easy) != CURLE_OK ||
                curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
                state.SkipWithError("a libcurl transfer failed");
                curl_easy_cleanup(easy);
                return;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    curl_easy_cleanup(easy);
    state.SetItemsProcessed(state.iterations() * kRequests);
    g_libcurlEasyRate = rateOf(state, seconds);
    state.counters["requests/s"] = g_libcurlEasyRate;
}
BENCHMARK(BM_Libcurl_EasySequentialGETs)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Heap bytes held by one request that was made and not started (what a screen keeps while idle).
void BM_HTTPRequest_IdleObjectMemory(benchmark::State& state)
{
    constexpr int kObjects = 10000;
    auto url = NSURL::URLWithString(urlFor(0));
    double perObject = 0;
    for (auto _ : state) {
        std::vector<Ref<HTTPRequest>> requests;
        requests.reserve(kObjects);
        const size_t before = mallinfo2().uordblks;
        for (int i = 0; i < kObjects; ++i) {
            requests.push_back(HTTPRequest::requestWithURL(url));
        }
        const size_t after = mallinfo2().uordblks;
        perObject = static_cast<double>(after - before) / kObjects;
        benchmark::DoNotOptimize(requests.data());
    }
    state.counters["bytes/request"] = perObject;
    state.counters["sizeof(HTTPRequest)"] = sizeof(HTTPRequest);
}
BENCHMARK(BM_HTTPRequest_IdleObjectMemory)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto ratio = [](const char* what, double ours, double peer) {
        if (ours > 0 && peer > 0) {
            std::printf("%s: %.2f (%.0f vs %.0f requests per second)\n", what, ours / peer, ours, peer);
        }
    };
    ratio("4 in flight, client / libcurl multi", g_clientRate, g_libcurlMultiRate);
    ratio("4 in flight, client / curl program", g_clientRate, g_curlRate);
    ratio("sequential, synchronous requests / libcurl easy", g_syncRate, g_libcurlEasyRate);
    return 0;
}
