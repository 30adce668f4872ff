// Peak memory of a gzip bomb: a reply of about 1 MB that inflates to 1 GiB of zeros, as a hostile
// server could send to any request (every request offers gzip). Measured three ways in one run:
//   - HTTPRequest::responseData() on a request holding the bomb (the default 64 MiB limit),
//   - HTTPDataDecompressor::uncompressData_error with the default limit,
//   - the same without a limit (what inflating everything costs), for comparison.
// The peak is the process's resident high-water mark (VmHWM, reset before each run through
// /proc/self/clear_refs) above what was resident before; reported as the counter "peak_MiB".
//
//   build-release/bin/bench_inflate
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "net/http/HTTPDataDecompressor.h"
#include "net/http/HTTPRequest.h"

namespace {
namespace bench_inflate_cpp {

constexpr size_t kBombInflated = size_t{1} << 30;

const NSData& bomb()
{
    static const NSData& made = *new NSData([] {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
        const std::vector<unsigned char> zeros(1 << 20, 0);
        std::vector<uint8_t> out;
        std::vector<unsigned char> buffer(1 << 16);
        for (size_t left = kBombInflated; left > 0;) {
            left -= zeros.size();
            stream.next_in = const_cast<unsigned char*>(zeros.data());
            stream.avail_in = static_cast<uInt>(zeros.size());
            int status;
            do {
                stream.next_out = buffer.data();
                stream.avail_out = static_cast<uInt>(buffer.size());
                status = deflate(&stream, left == 0 ? Z_FINISH : Z_NO_FLUSH);
                out.insert(out.end(), buffer.begin(), buffer.end() - stream.avail_out);
            } while (stream.avail_out == 0 || (left == 0 && status != Z_STREAM_END));
        }
        deflateEnd(&stream);
        return NSData(std::move(out));
    }());
    return made;
}

// A field of /proc/self/status in KiB.
long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::stol(line.substr(length + 1));
        }
    }
    return -1;
}

// Resets the high-water mark to what is resident now; answers that.
long resetPeak()
{
    if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
    return statusKiB("VmRSS");
}

template <class Inflate>
void measure(benchmark::State& state, Inflate inflate)
{
    const NSData& compressed = bomb();
    long peakKiB = 0;
    size_t inflated = 0;
    for (auto _ : state) {
        const long before = resetPeak();
        inflated = inflate(compressed);
        peakKiB = std::max(peakKiB, statusKiB("VmHWM") - before);
    }
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
    state.counters["compressed_KiB"] = static_cast<double>(compressed.length()) / 1024.0;
    state.counters["inflated_MiB"] = static_cast<double>(inflated) / (1 << 20);
    state.counters["limit_MiB"] = static_cast<double>(HTTPDataDecompressor::kDefaultMaximumInflatedLength >> 20);
}

void BM_GzipBomb_ResponseData(benchmark::State& state)
{
    measure(state, [](const NSData& compressed) {
        auto request = HTTPRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:9/bomb"));
        HTTPHeaderFields headers;
        headers.set("Content-Encoding", "gzip");
        request->setResponseHeaders(headers);
        request->setRawResponseData(compressed);
        const size_t length = request->responseData().length();
        benchmark::DoNotOptimize(request->responseDecompressionError());
        return length;
    });
}

void BM_GzipBomb_Decompressor(benchmark::State& state)
{
    measure(state, [](const NSData& compressed) {
        return HTTPDataDecompressor::uncompressData_error(compressed, nullptr).value_or(NSData()).length();
    });
}

void BM_GzipBomb_Unbounded(benchmark::State& state)
{
    measure(state, [](const NSData& compressed) {
        return HTTPDataDecompressor::uncompressData_error(compressed, nullptr, ULLONG_MAX).value_or(NSData()).length();
    });
}

}  // namespace bench_inflate_cpp
}  // namespace

BENCHMARK(bench_inflate_cpp::BM_GzipBomb_ResponseData)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(bench_inflate_cpp::BM_GzipBomb_Decompressor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(bench_inflate_cpp::BM_GzipBomb_Unbounded)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
