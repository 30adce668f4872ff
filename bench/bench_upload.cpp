// Upload throughput of the engine's upload manager: a 100 MB movie sent over loopback to the stand-in
// upload server, answered at once or after a fixed 20 ms per block (a simulated round trip), with
// the CPU time this process spent per 100 MB; and curl posting the same bytes in one request as a
// reference (its counter engine_of_curl is the engine's loopback rate over curl's). The servers run in
// child processes so that the CPU time measured is the engine's.
//
// Run from build-release/bin: ./bench_upload (OMBRI_BENCH_DIR=/dev/shm ./bench_upload for a database
// without disk syncs).
#include "engine/UtilityAdapter.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/upload.h"
#include "engine/upload_internal.h"

#include "service/StandInService.h"
#include "service/UploadRoutes.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr uint64_t kMovieSize = 100000000;

struct Child {
    pid_t pid = -1;
    int port = 0;
};
Child g_direct;   // answers every block at once
Child g_delayed;  // answers every block 20 ms after its last byte arrived
std::string g_dir;
std::string g_movie;

// A stand-in service in a child process; its port comes back through a pipe. It stops by itself.
Child startServer(int delayms)
{
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        standin::ServerOptions options;
        options.lifetime = std::chrono::minutes(15);
        options.maxBodyBytes = 128u * 1024 * 1024;
        options.maxRecords = 16;  // the record keeps bodies
        standin::StandInService service(options);
        // The stand-in's block route, with room for the whole movie made at its first block (growing
        // a 100 MB file block by block moves all of it now and then, up to a fifth of a second each
        // time) and, for the delayed server, the answer sent `delayms` after the block's last byte came
        // in: storing the block happens within that time, not after it.
        service.server().route(standin::kUploadPath, [&service, delayms](const standin::Request& r) {
            service.uploads().reserve(r.param("t").value_or(""), r.param("p").value_or(""), kMovieSize);
            standin::Response response = standin::handleUploadBlock(service.uploads(), r);
            if (delayms > 0) {
                std::this_thread::sleep_until(r.arrived + std::chrono::milliseconds(delayms));
            }
            return response;
        });
        service.server().route("/bench/check", [&service](const standin::Request& r) {
            const std::string t = r.param("t").value_or("");
            const std::string p = r.param("p").value_or("");
            const bool whole = service.uploads().missing(t, p, kMovieSize).empty();
            service.uploads().clear();
            return standin::Response::text(whole ? "whole" : "missing");
        });
        const int port = service.port();
        if (write(fds[1], &port, sizeof port) != sizeof port) {
            _exit(1);
        }
        ::close(fds[1]);
        service.server().waitUntilStopped(std::chrono::minutes(15));
        _exit(0);
    }
    ::close(fds[1]);
    Child child;
    child.pid = pid;
    if (read(fds[0], &child.port, sizeof child.port) != sizeof child.port) {
        std::fprintf(stderr, "server did not start\n");
        std::exit(1);
    }
    ::close(fds[0]);
    return child;
}

// The engine's status events that the benchmark waits for.
std::mutex g_mutex;
std::condition_variable g_changed;
std::string g_finished;

void onStatus(unsigned int act, int status, const char* msg, const char* msg2)
{
    if (act == 5 && status == 2 && std::string(msg2 ? msg2 : "") == "3") {
        std::lock_guard<std::mutex> hold(g_mutex);
        g_finished = msg ? msg : "";
        g_changed.notify_all();
    }
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void exec(const std::string& sql)
{
    global_dbref db = global_getdb();
    if (!db || sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sql failed: %s\n", sql.c_str());
        std::exit(1);
    }
}

std::string get(int port, const std::string& path)
{
    std::string text;
    const std::string command = "curl -s 'http://127.0.0.1:" + std::to_string(port) + path + "'";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            text += buffer;
        }
        pclose(pipe);
    }
    return text;
}

// One upload of the movie as a new job; the seconds it took.
double uploadOnce(const Child& server, int run, double& cpu)
{
    static int jobs = 0;
    const std::string guid = "bench" + std::to_string(++jobs);
    const std::string host = "127.0.0.1:" + std::to_string(server.port);
    ::setenv("OMBRI_SERVICE_HOST", host.c_str(), 1);
    exec("insert into localmedia(guid,ct,st,filename,uploadtoken,usertoken,publictype,title,localimg,filetype,h,w,"
         "length,status,uploadsvr,adddata) values('" + guid + "',1,0,'" + g_movie +
         "','','','off','bench','',0,360,480,10,2,'','||');"
         "insert into uploadprocess(id,off,len) select rowid,0," + std::to_string(kMovieSize) +
         " from localmedia where guid='" + guid + "';");
    const double cpu0 = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        g_uploadidle.store(false);  // what starting a job does
    }
    _upload_wakeup();
    {
        std::unique_lock<std::mutex> hold(g_mutex);
        if (!g_changed.wait_for(hold, std::chrono::minutes(3), [&] { return g_finished == guid; })) {
            std::fprintf(stderr, "upload %d did not finish\n", run);
            std::exit(1);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu = cpuSeconds() - cpu0;
    const std::string scid = upload_requestdata(guid.c_str(), "uploadtoken");
    if (get(server.port, "/bench/check?t=" + scid + "&p=flv") != "whole") {
        std::fprintf(stderr, "upload %d incomplete on the server\n", run);
        std::exit(1);
    }
    return seconds;
}

double g_loopbackMBps = 0;  // the engine's rate on loopback, for the curl reference's ratio

// ceilingMBps 0: no ceiling is reported.
double runUploads(benchmark::State& state, const Child& server, double ceilingMBps)
{
    double cpu = 0;
    double total = 0;
    int run = 0;
    for (auto _ : state) {
        double spent = 0;
        const double seconds = uploadOnce(server, ++run, spent);
        state.SetIterationTime(seconds);
        cpu += spent;
        total += seconds;
    }
    const double mbps = static_cast<double>(kMovieSize) * run / total / 1e6;
    state.counters["MB/s"] = mbps;
    if (ceilingMBps > 0) {
        state.counters["ceiling_MB/s"] = ceilingMBps;
        state.counters["of_ceiling"] = mbps / ceilingMBps;
    }
    state.counters["cpu_s_per_100MB"] = cpu / run;
    state.SetBytesProcessed(static_cast<int64_t>(kMovieSize) * run);
    return mbps;
}

// Two connections with one 64 KiB block in flight each. A connection that would block makes the
// manager wait for its socket to become ready (at most 5 ms), so on loopback the pace is set by the
// round trips and the server, not by a fixed sleep: compared with curl below.
void BM_UploadLoopback(benchmark::State& state)
{
    g_loopbackMBps = runUploads(state, g_direct, 0);
}

// Answers 20 ms after a block arrived. Both connections' receives would block until then; the
// manager wakes when the answers arrive, so at best 2 blocks go per 20 ms (6.55 MB/s), the ceiling.
void BM_UploadDelayed20ms(benchmark::State& state)
{
    runUploads(state, g_delayed, 2 * 65536 / 0.020 / 1e6);
}

// curl posting the same 100 MB in one request to the same (instant) upload server.
void BM_CurlReference(benchmark::State& state)
{
    int run = 0;
    double total = 0;
    for (auto _ : state) {
        const std::string command = "curl -s -o /dev/null -H 'Expect:' -H 'Content-Type: application/octet-stream' "
                                    "--data-binary @" + g_movie + " 'http://127.0.0.1:" + std::to_string(g_direct.port) +
                                    "/upload?t=curl" + std::to_string(++run) + "&o=0&l=" + std::to_string(kMovieSize) +
                                    "&m=up&p=flv'";
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
            return;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (get(g_direct.port, "/bench/check?t=curl" + std::to_string(run) + "&p=flv") != "whole") {
            state.SkipWithError("curl upload incomplete");
            return;
        }
    }
    const double mbps = static_cast<double>(kMovieSize) * run / total / 1e6;
    state.counters["MB/s"] = mbps;
    if (g_loopbackMBps > 0) {
        state.counters["engine_of_curl"] = g_loopbackMBps / mbps;
    }
    state.SetBytesProcessed(static_cast<int64_t>(kMovieSize) * run);
}

BENCHMARK(BM_UploadLoopback)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_UploadDelayed20ms)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(BM_CurlReference)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

void setUpEngine()
{
    // OMBRI_BENCH_DIR names the folder for the job database and the movie (default /tmp): a disk shows
    // the cost of the database's synchronous commits, /dev/shm leaves only the sockets and the passes.
    const char* base = std::getenv("OMBRI_BENCH_DIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ombri-bench-upload-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::exit(1);
    }
    g_dir = pattern;
    g_movie = g_dir + "/movie.flv";
    std::string bytes(kMovieSize, '\0');
    std::mt19937_64 random(11);
    for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const uint64_t v = random();
        std::memcpy(&bytes[i], &v, 8);
    }
    std::ofstream(g_movie, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    UtilityAdapter_Callbacks callbacks{};
    callbacks.status = &onStatus;
    UtilityAdapter_SetupCallbacks(&callbacks);
    g_dbname.set(g_dir + "/ombri.db");
    _global_initdatabase();
    g_usertoken.set("bench");
    g_devicename.set("bench");
    g_vendor.set("lumo");
    g_netstatus.store(3);
    g_uploadstatus.store(2);
    upload_manager_startjob();
}

}  // namespace

int main(int argc, char** argv)
{
    // The servers are forked before this process starts any thread.
    g_direct = startServer(0);
    g_delayed = startServer(20);
    setUpEngine();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    upload_manager_stopjob();
    for (const Child& child : {g_direct, g_delayed}) {
        kill(child.pid, SIGTERM);
        waitpid(child.pid, nullptr, 0);
    }
    std::filesystem::remove_all(g_dir);
    return 0;
}
