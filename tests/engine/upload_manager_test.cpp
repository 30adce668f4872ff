// The upload manager thread end to end: real sockets to the stand-in service on 127.0.0.1, a real job
// database, the engine's clock sped up (except where a test needs real seconds).
#include "fixtures/RefusingPort.h"
#include "upload_fixture.h"

#include "service/TokenRoutes.h"
#include "service/UploadRoutes.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <set>

namespace {
namespace upload_manager_test_cpp {

using namespace std::chrono_literals;
using standin::Fault;
using standin::Outcome;
using standin::Request;
using standin::Response;
using uploadtest::Job;
using uploadtest::Record;
using uploadtest::UploadFixture;

// A port on 127.0.0.1 that refuses connections.
int closedPort()
{
    return RefusingPort::shared().port();
}

class UploadManagerTest : public UploadFixture {
protected:
    // The job "g" for a file of `size` bytes, with its whole file pending.
    std::string addMovie(size_t size, const std::string& name = "movie.flv", Job job = {})
    {
        const std::string bytes = writeFile(name, size);
        job.guid = "g";
        job.filename = dir / name;
        id = insertJob(job, size);
        return bytes;
    }

    bool finished() { return waitFor([](const Record& r) { return r.has(5, 2, "g", "3"); }); }

    // Token replies that name an upload server where nothing listens.
    void uploadServerUnreachable()
    {
        const std::string server = "127.0.0.1:" + std::to_string(closedPort());
        service.server().route(standin::kTokenPath, [server](const Request&) {
            return Response::json(R"({"status":200,"scid":"dead","server":")" + server + R"(","createTime":1})");
        });
    }

    // The engine tick of the first log line starting with `prefix` after line `from`; the line index in
    // *at.
    static uint64_t tickAfter(const Record& r, long from, const std::string& prefix, long* at = nullptr)
    {
        for (size_t i = static_cast<size_t>(from + 1); i < r.lines.size(); ++i) {
            if (r.lines[i].message.rfind(prefix, 0) == 0) {
                if (at != nullptr) {
                    *at = static_cast<long>(i);
                }
                return r.lines[i].tick;
            }
        }
        return 0;
    }

    uint32_t id = 0;
};

TEST_F(UploadManagerTest, MovieUploadsAndTheServiceFileEqualsItByteForByte)
{
    const std::string bytes = addMovie(1000000, "movie.flv", {.title = "it's a|title & more"});
    upload_manager_startjob();
    ASSERT_TRUE(finished());

    const std::vector<Request> tokens = service.server().requests(standin::kTokenPath);
    ASSERT_EQ(tokens.size(), 1u);
    const std::vector<std::pair<const char*, const char*>> params = {
        {"token", "utok"}, {"ctype", "0"},    {"utype", "http-post"}, {"dname", "dev"},
        {"width", "480"},  {"height", "360"}, {"fname", "g"},         {"pstatus", "0"},
        {"vend", "lumo"},  {"title", "it's a|title & more"}};
    for (const auto& [name, value] : params) {
        EXPECT_EQ(tokens[0].param(name).value_or("<none>"), value) << name;
    }
    const std::string scid = column("g", "uploadtoken");
    EXPECT_EQ(scid, "sc1");
    EXPECT_EQ(column("g", "uploadsvr"), service.hostPort());
    EXPECT_EQ(column("g", "usertoken"), "utok");

    EXPECT_EQ(service.uploads().contents(scid, "flv"), bytes);
    EXPECT_TRUE(service.uploads().missing(scid, "flv", bytes.size()).empty());
    EXPECT_EQ(endCallAnswers(), std::vector<std::string>{R"({"status":200})"});
    EXPECT_TRUE(ranges(id).empty());
    EXPECT_EQ(column("g", "status"), "3");

    const std::vector<Request> blocks = service.server().requests(standin::kUploadPath);
    ASSERT_EQ(blocks.size(), 16u);  // 15 of 64 KiB and one of 16960 bytes, each once
    std::set<uint64_t> connections;
    for (const Request& block : blocks) {
        connections.insert(block.connection);
        EXPECT_LE(block.body.size(), 65536u);
        if (block.param("o") == "0") {
            EXPECT_EQ(block.head, "POST /upload?t=sc1&o=0&l=65536&m=rec&p=flv HTTP/1.1\r\nHost: " + service.hostPort() +
                                      "\r\nContent-Length: 65536\r\nUser-Agent: zizuvozizir\r\n"
                                      "Connection: Keep-Alive\r\n\r\n");
        }
    }
    EXPECT_LE(connections.size(), 2u);  // two keep-alive connections carry every block

    const Record r = record();
    EXPECT_TRUE(r.has(2, 5, "sc1", ""));
    EXPECT_TRUE(r.has(5, 6, "g", "sc1"));
    EXPECT_GE(r.count(5, 1, "g", "100"), 2u);
    int last = 0;
    for (const auto& e : r.events) {
        if (e.act == 5 && e.status == 1 && e.msg == "g") {
            const int percent = std::stoi(e.msg2);
            EXPECT_GE(percent, last);
            last = percent;
        }
    }
    EXPECT_EQ(last, 100);
}

TEST_F(UploadManagerTest, RefusedBlockAndDroppedConnectionAreResentAndNothingIsLost)
{
    service.server().addFault(standin::kUploadPath, Fault::dropAfterBytes(30000));
    service.server().addFault(standin::kUploadPath, Fault::statusOnNth(4));
    const std::string bytes = addMovie(1000000, "clip.MOV", {.filetype = 16});
    upload_manager_startjob();
    ASSERT_TRUE(finished());

    EXPECT_EQ(service.uploads().contents("sc1", "MOV"), bytes);
    size_t dropped = 0;
    size_t refused = 0;
    for (const Request& block : service.server().requests(standin::kUploadPath)) {
        dropped += block.outcome == Outcome::Dropped;
        refused += block.status == 500;
        EXPECT_EQ(block.param("m"), "up");
    }
    EXPECT_EQ(dropped, 1u);
    EXPECT_EQ(refused, 1u);
    EXPECT_TRUE(ranges(id).empty());
    // Blocks sent again closed every gap before the end call.
    EXPECT_EQ(endCallAnswers(), std::vector<std::string>{R"({"status":200})"});
}

TEST_F(UploadManagerTest, BothConnectionsFailingWaitTenThenFortySeconds)
{
    uploadServerUnreachable();
    addMovie(100000);
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.line("upload something wrong,sleep 70000 ms") >= 0; }));

    const Record r = record();
    const long first = r.line("upload something wrong,sleep 10000 ms");
    const long second = r.line("upload something wrong,sleep 40000 ms");
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    long retry = -1;
    // The next try comes only once the wait has passed on the engine's clock.
    EXPECT_GE(tickAfter(r, first, "try connect[0]", &retry), r.lines[first].tick + 10000);
    EXPECT_LT(retry, second);
    EXPECT_GE(tickAfter(r, second, "try connect[0]"), r.lines[second].tick + 40000);
    EXPECT_TRUE(r.has(5, 0, "g", "重试中"));
    // The token request was made once: the back-off is the connections'.
    EXPECT_EQ(service.server().requestCount(standin::kTokenPath), 1u);
}

class UploadRealClockTest : public UploadManagerTest {
protected:
    const char* timeScale() const override { return "1"; }
};

TEST_F(UploadRealClockTest, NetworkChangeEndsTheWaitAtOnce)
{
    uploadServerUnreachable();
    addMovie(100000);
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.line("upload something wrong,sleep 10000 ms") >= 0; }, 10s));
    const Record before = record();
    const long failed = before.line("upload something wrong,sleep 10000 ms");

    UtilityAdapter_SetExtData(5, "", 3);
    ASSERT_TRUE(waitFor([failed](const Record& r) { return tickAfter(r, failed, "try connect[0]") != 0; }, 5s));
    const Record after = record();
    // Without the change the next try would wait 10 s of the (real) engine clock.
    EXPECT_LT(tickAfter(after, failed, "try connect[0]"), after.lines[failed].tick + 10000);
    EXPECT_GE(after.line("upload_clean_current_network_error"), 0);
}

TEST_F(UploadManagerTest, WifiOnlyPolicyOnCellularSendsNothingUntilWifi)
{
    g_uploadstatus.store(1);
    g_netstatus.store(2);
    const std::string bytes = addMovie(300000);
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.count(5, 0, "g", "网络受限") >= 3; }));
    EXPECT_EQ(service.server().requestCount(), 0u);
    EXPECT_EQ(g_curguid.get(), "g");

    UtilityAdapter_SetExtData(5, "", 3);
    ASSERT_TRUE(finished());
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
}

TEST_F(UploadManagerTest, WithoutUserTokenTheJobGetsStatusZeroAndIsLeft)
{
    g_usertoken.set("");
    addMovie(100000);
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) {
        const long reported = r.line("putstatusdispatch:3,2,token not found,");
        return reported >= 0 && r.line("no job selected", static_cast<size_t>(reported)) >= 0;
    }));
    const Record r = record();
    EXPECT_TRUE(r.has(3, 2, "token not found", ""));
    EXPECT_TRUE(r.has(5, 2, "g", "0"));
    EXPECT_EQ(column("g", "status"), "0");
    EXPECT_EQ(service.server().requestCount(), 0u);
    EXPECT_EQ(g_curguid.get(), "");
}

TEST_F(UploadManagerTest, UnusableAndRefusedTokenRepliesBackOffThenTheUploadGoesOn)
{
    std::atomic<int> calls{0};
    service.server().route(standin::kTokenPath, [this, &calls](const Request&) {
        switch (++calls) {
        case 1:
            return Response::text("not json at all");
        case 2:
            return Response::json(R"({"status":400,"msg":"refused"})");
        case 3:  // a scid that would split the commit lists
            return Response::json(R"({"status":200,"scid":"a|b","server":")" + service.hostPort() + R"("})");
        default:
            return Response::json(R"({"status":200,"scid":"ok1","server":")" + service.hostPort() +
                                  R"(","createTime":5})");
        }
    });
    const std::string bytes = addMovie(200000);
    upload_manager_startjob();
    ASSERT_TRUE(finished());
    const Record r = record();
    EXPECT_TRUE(r.has(3, 2, "refused", ""));
    for (const char* wait : {"10000", "40000", "70000"}) {
        EXPECT_GE(r.line(std::string("upload something wrong,sleep ") + wait + " ms"), 0) << wait;
    }
    EXPECT_EQ(calls.load(), 4);
    EXPECT_EQ(column("g", "uploadtoken"), "ok1");
    EXPECT_EQ(column("g", "st"), "5");
    EXPECT_EQ(service.uploads().contents("ok1", "flv"), bytes);
}

// The engine clock only twelve times faster: the service call's deadline is then five real seconds, so
// the refused 2 MiB answer is refused for its size, not cut by the one-second floor the fast clock
// gives, which a sanitized build on a busy machine can pass before the answer's header is read.
class UploadManagerSlowClockTest : public UploadManagerTest {
protected:
    const char* timeScale() const override { return "12"; }
};

TEST_F(UploadManagerSlowClockTest, DrippingAndOversizedTokenRepliesAreFailedExchangesThenTheUploadGoesOn)
{
    std::atomic<int> calls{0};
    service.server().route(standin::kTokenPath, [this, &calls](const Request&) {
        const std::string reply = R"({"status":200,"scid":"ok1","server":")" + service.hostPort() + R"(","createTime":5)";
        if (++calls == 2) {
            // A well-formed answer of 2 MiB: far beyond any reply of the service.
            return Response::json(reply + R"(,"pad":")" + std::string(2u << 20, 'p') + R"("})");
        }
        return Response::json(reply + "}");
    });
    // The first answer crawls out a byte every 100 ms: alive, never silent, and never done in time (its
    // hundred bytes and more would take ten seconds).
    service.server().addFault(standin::kTokenPath, Fault::drip(1, 100ms));
    const std::string bytes = addMovie(200000);
    upload_manager_startjob();
    ASSERT_TRUE(finished());
    const Record r = record();
    EXPECT_EQ(calls.load(), 3);
    EXPECT_GE(r.line("asyn http download ret:5,"), 0);  // late
    EXPECT_GE(r.line("asyn http download ret:4,"), 0);  // too long, and nothing of it kept
    for (const char* wait : {"10000", "40000"}) {
        EXPECT_GE(r.line(std::string("upload something wrong,sleep ") + wait + " ms"), 0) << wait;
    }
    EXPECT_EQ(column("g", "uploadtoken"), "ok1");
    EXPECT_EQ(service.uploads().contents("ok1", "flv"), bytes);
}

TEST_F(UploadManagerTest, DrippingEndCallIsAbandonedAndMadeAgain)
{
    service.server().addFault(standin::kUploadEndPath, Fault::drip(1, 50ms));
    const std::string bytes = addMovie(100000);
    upload_manager_startjob();
    ASSERT_TRUE(finished());
    EXPECT_EQ(service.server().requests(standin::kUploadEndPath).size(), 2u);
    EXPECT_EQ(endCallAnswers(), (std::vector<std::string>{R"({"status":200})", R"({"status":200})"}));
    EXPECT_GE(record().line("asyn http download ret:5,"), 0);
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
}

TEST_F(UploadManagerTest, SilentUploadServerCostsARetryAndStoppingKeepsEveryRange)
{
    service.server().addFault(standin::kUploadPath, Fault::hangUntilStopped().persistent());
    const std::string bytes = addMovie(500000);
    upload_manager_startjob();
    // Both blocks in flight hang; the connections give up on their own and send the blocks again.
    ASSERT_TRUE(waitFor([](const Record& r) { return r.linesWith("socket [") >= 2 && r.linesWith("try connect[") >= 4; }));
    upload_manager_stopjob();
    EXPECT_EQ(g_curguid.get(), "");
    uint64_t pending = 0;
    for (const auto& range : ranges(id)) {
        pending += range.second;
    }
    EXPECT_EQ(pending, bytes.size());  // no block left the database without being accepted

    service.server().clearFaults(standin::kUploadPath);
    upload_manager_startjob();
    ASSERT_TRUE(finished());
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
    EXPECT_TRUE(ranges(id).empty());
}

}  // namespace upload_manager_test_cpp
}  // namespace
