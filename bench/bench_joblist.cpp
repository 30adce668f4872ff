// The local media list of a job database with a thousand jobs, as the interface reads it: the first
// page of 50 (what it asks at start-up and on every refresh), the whole list at once, and a page
// before a time.
#include "engine/UtilityAdapter.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kJobs = 1000;
constexpr long kFirstCt = 1700000000;

// A scratch folder with the database of kJobs jobs: mixed statuses and kinds, every third with its
// movie file on disk, every other with pending ranges.
class JobDatabase {
public:
    JobDatabase()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ombri-bench-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        const std::string path = folder_ + "/ombri.db";
        UtilityAdapter_SetExtData(3, path.c_str(), 4);

        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
        static const int statuses[] = {0, 2, 3, 4, 5, 16, 17, 2};
        for (int i = 0; i < kJobs; ++i) {
            const std::string movie = folder_ + "/movie" + std::to_string(i) + (i % 4 == 0 ? ".flv" : ".mp4");
            if (i % 3 == 0) {
                std::ofstream(movie, std::ios::binary) << std::string(4096, 'm');
            }
            char* sql = sqlite3_mprintf(
                "insert into localmedia(guid,ct,st,filename,uploadtoken,usertoken,publictype,title,localimg,filetype,"
                "h,w,length,status,uploadsvr,adddata) values('%032x',%ld,0,%Q,'scid%d','token','%s','标题 %d',"
                "'%q/%032x.jpg',%d,360,480,%d,%d,'','');"
                "insert into uploadprocess(id,off,len) select rowid,0,%d from localmedia where rowid=last_insert_rowid() "
                "and %d;",
                i, kFirstCt + i, movie.c_str(), i, i % 2 ? "all" : "1", i, folder_.c_str(), i, i % 4 == 0 ? 0 : 16,
                i % 50, statuses[i % 8], 1024 + i, i % 2);
            sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
            sqlite3_free(sql);
        }
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    ~JobDatabase()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

private:
    std::string folder_;
};

JobDatabase& database()
{
    static JobDatabase db;
    return db;
}

void readList(benchmark::State& state, unsigned int page, int count)
{
    database();
    size_t bytes = 0;
    for (auto _ : state) {
        char* reply = UtilityAdapter_GetLocalMediaList(page, count);
        bytes = std::strlen(reply);
        benchmark::DoNotOptimize(reply);
        UtilityAdapter_FreeString(reply);
    }
    state.counters["reply_bytes"] = static_cast<double>(bytes);
}

void BM_FirstPageOf50(benchmark::State& state)
{
    readList(state, 1, 50);
}
BENCHMARK(BM_FirstPageOf50)->Unit(benchmark::kMicrosecond);

void BM_LastPageOf50(benchmark::State& state)
{
    readList(state, 20, 50);
}
BENCHMARK(BM_LastPageOf50)->Unit(benchmark::kMicrosecond);

void BM_AllThousand(benchmark::State& state)
{
    readList(state, 1, kJobs);
}
BENCHMARK(BM_AllThousand)->Unit(benchmark::kMicrosecond);

void BM_50BeforeATime(benchmark::State& state)
{
    readList(state, static_cast<unsigned int>(kFirstCt + kJobs / 2), 50);
}
BENCHMARK(BM_50BeforeATime)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
