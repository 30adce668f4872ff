// JSON parse and write throughput: this codec against cJSON (the engine's JSON library), RapidJSON and
// simdjson, on the same documents in the same run. Each parse builds the whole tree and frees it.
//
//   build-release/bin/bench_json [--benchmark_filter=Parse]
//
// Documents: bench/data/twitter.json, bench/data/citm_catalog.json, and a generated number-heavy one.
#include "../tests/support/fixtures/JsonNumbersDocument.h"
#include "net/json/JsonParser.h"
#include "net/json/JsonWriter.h"

#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string readDocument(const std::string& name)
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    std::filesystem::path dir = source != nullptr ? std::filesystem::path(source) / "bench" / "data"
                                                  : std::filesystem::path(__FILE__).parent_path() / "data";
    if (dir.is_relative()) {
        // The compiler saw this file's path relative to the build folder, which holds bin/ and this program.
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        if (!error) {
            dir = program.parent_path().parent_path() / dir;
        }
    }
    std::ifstream in(dir / name, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + (dir / name).string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}


const std::string& document(const std::string& name)
{
    static std::map<std::string, std::string> documents;
    auto it = documents.find(name);
    if (it == documents.end()) {
        it = documents.emplace(name, name == "numbers" ? jsonNumbersDocument() : readDocument(name + ".json")).first;
    }
    return it->second;
}

// ---- Parsing ----------------------------------------------------------------------------------------

void ParseOmbri(benchmark::State& state, const std::string& name)
{
    const std::string& text = document(name);
    for (auto _ : state) {
        const Ref<JsonParser> parser = JsonParser::create();
        Value value = parser->objectWithString(text);
        if (value.isNil()) {
            state.SkipWithError(parser->error().c_str());
            return;
        }
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The tokeniser and the grammar alone (string and number values are still built, but no tree): how much
// of the parse is the parser's own and how much is building and freeing the Value tree.
void ParseOmbriWithoutTree(benchmark::State& state, const std::string& name)
{
    const std::string& text = document(name);
    for (auto _ : state) {
        const Ref<JsonStreamParser> parser = JsonStreamParser::create();
        if (parser->parse(text) != JsonParserComplete) {
            state.SkipWithError(parser->error().c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void ParseCJSON(benchmark::State& state, const std::string& name)
{
    const std::string& text = document(name);
    for (auto _ : state) {
        cJSON* root = cJSON_ParseWithLength(text.data(), text.size());
        if (root == nullptr) {
            state.SkipWithError("cJSON refused the document");
            return;
        }
        benchmark::DoNotOptimize(root);
        cJSON_Delete(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Full precision: the peer that converts every number exactly, as this codec does.
template <unsigned Flags>
void ParseRapidJSON(benchmark::State& state, const std::string& name)
{
    const std::string& text = document(name);
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse<Flags>(text.data(), text.size());
        if (doc.HasParseError()) {
            state.SkipWithError("RapidJSON refused the document");
            return;
        }
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void ParseSimdjson(benchmark::State& state, const std::string& name)
{
    const std::string& text = document(name);
    const simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(padded).get(root) != simdjson::SUCCESS) {
            state.SkipWithError("simdjson refused the document");
            return;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// ---- Writing (compact) ------------------------------------------------------------------------------

void WriteOmbri(benchmark::State& state, const std::string& name)
{
    const Value value = JsonParser::create()->objectWithString(document(name));
    size_t bytes = 0;
    for (auto _ : state) {
        const Ref<JsonWriter> writer = JsonWriter::create();
        std::optional<NSData> data = writer->dataWithObject(value);
        if (!data) {
            state.SkipWithError(writer->error().c_str());
            return;
        }
        bytes += data->length();
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void WriteCJSON(benchmark::State& state, const std::string& name)
{
    cJSON* root = cJSON_ParseWithLength(document(name).data(), document(name).size());
    size_t bytes = 0;
    for (auto _ : state) {
        char* text = cJSON_PrintUnformatted(root);
        bytes += std::strlen(text);
        benchmark::DoNotOptimize(text);
        cJSON_free(text);
    }
    cJSON_Delete(root);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void WriteRapidJSON(benchmark::State& state, const std::string& name)
{
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseFullPrecisionFlag>(document(name).data(), document(name).size());
    size_t bytes = 0;
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        doc.Accept(writer);
        bytes += buffer.GetSize();
        benchmark::DoNotOptimize(buffer.GetString());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void registerAll()
{
    for (const std::string name : {"twitter", "citm_catalog", "numbers"}) {
        benchmark::RegisterBenchmark(("Parse/" + name + "/ombri").c_str(), ParseOmbri, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/" + name + "/ombri-without-tree").c_str(), ParseOmbriWithoutTree, name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/" + name + "/cJSON").c_str(), ParseCJSON, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/" + name + "/RapidJSON").c_str(),
                                     ParseRapidJSON<rapidjson::kParseDefaultFlags>, name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/" + name + "/RapidJSON-full-precision").c_str(),
                                     ParseRapidJSON<rapidjson::kParseFullPrecisionFlag>, name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/" + name + "/simdjson").c_str(), ParseSimdjson, name)
            ->Unit(benchmark::kMillisecond);
    }
    for (const std::string name : {"twitter", "citm_catalog", "numbers"}) {
        benchmark::RegisterBenchmark(("Write/" + name + "/ombri").c_str(), WriteOmbri, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/" + name + "/cJSON").c_str(), WriteCJSON, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/" + name + "/RapidJSON").c_str(), WriteRapidJSON, name)
            ->Unit(benchmark::kMillisecond);
    }
}

// Prints the usual table, then this codec's time over each peer's for every document measured. The
// ratios are of CPU time: every path here runs on one thread, and on a shared machine the CPU time is
// what a busy neighbour disturbs least.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With --benchmark_repetitions, the median of the repetitions (reported after them).
            if (!run.error_occurred && run.iterations > 0 && (run.aggregate_name.empty() || run.aggregate_name == "median")) {
                times_[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const auto& [name, ours] : times_) {
            const std::string suffix = "/ombri";
            if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
                continue;
            }
            const std::string stem = name.substr(0, name.size() - suffix.size());
            for (const char* peer : {"RapidJSON", "RapidJSON-full-precision"}) {
                auto it = times_.find(stem + "/" + peer);
                if (it != times_.end() && it->second > 0) {
                    std::printf("%s: ombri / %s = %.2f (time)\n", stem.c_str(), peer, ours / it->second);
                }
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
