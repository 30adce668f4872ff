// Commit URLs: their lists and forms, and the current job's and the global commits against the stand-in
// service over real sockets, with a real job database and the engine's clock sped up.
#include "upload_fixture.h"

#include "engine/jobcontrol.h"
#include "engine/jobthread.h"
#include "engine/upload_commit.h"

#include "service/CommitRoutes.h"
#include "service/TokenRoutes.h"
#include "service/UploadRoutes.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
namespace upload_commit_test_cpp {

using namespace std::chrono_literals;
using standin::Fault;
using standin::Request;
using standin::Response;
using uploadtest::Job;
using uploadtest::Record;
using uploadtest::UploadFixture;

template <class Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

// ---- texts --------------------------------------------------------------------------------------------

struct TranslateCase {
    const char* name;
    std::string url;
    std::string outurl;
    std::string outpost;
};

class CommitTranslation : public ::testing::TestWithParam<TranslateCase> {};

TEST_P(CommitTranslation, GivesTheCallAndItsBody)
{
    const TranslateCase& c = GetParam();
    std::string url = "unchanged";
    std::string post = "unchanged";
    _upload_translateurl(c.url, url, post, "scid=S&vend=lumo");
    EXPECT_EQ(url, c.outurl);
    EXPECT_EQ(post, c.outpost);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CommitTranslation,
    ::testing::Values(
        TranslateCase{"VideoSign", "post://h:1/m/video-sign.json?token=T", "http://h:1/m/video-sign.json",
                      "token=T&scid=S&vend=lumo"},
        TranslateCase{"Friends", "post://h/m/with.json?suids=1,2&token=T", "http://h/m/with.json",
                      "suids=1,2&token=T&scid=S&vend=lumo"},
        TranslateCase{"PostWithoutQuery", "post://h/m/video-sign.json", "http://h/m/video-sign.json", "scid=S&vend=lumo"},
        TranslateCase{"Action", "action://deletefile?guid=G", "action://deletefile", "guid=G&scid=S&vend=lumo"},
        TranslateCase{"EndCall", "http://u:9/upload_tc_file_end?t=S.flv", "http://u:9/upload_tc_file_end?t=S.flv&scid=S&vend=lumo",
                      ""},
        TranslateCase{"PlainWithoutQuery", "http://u:9/x", "http://u:9/x?scid=S&vend=lumo", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommitLists, FirstEntryIsTakenAndRemovedAtTheBar)
{
    struct Case {
        std::string list;
        bool remove;
        std::string first;
        std::string rest;
    };
    for (const Case& c : {Case{"a|b|c", true, "a", "b|c"}, Case{"a|b|c", false, "a", "a|b|c"}, Case{"a", true, "a", ""},
                          Case{"a", false, "a", "a"}, Case{"", true, "", ""}, Case{"|b", true, "", "b"}}) {
        std::string list = c.list;
        std::string first = "x";
        getaddcommitjob(first, list, c.remove);
        EXPECT_EQ(first, c.first) << c.list;
        EXPECT_EQ(list, c.rest) << c.list;
    }
    // A bar inside a URL can never split the list; other forms cannot succeed and are refused.
    EXPECT_EQ(_upload_commitentry("post://h/a?t=x|y||z"), "post://h/a?t=x%7Cy%7C%7Cz");
    EXPECT_EQ(_upload_commitentry("action://deletefile?guid=g"), "action://deletefile?guid=g");
    EXPECT_EQ(_upload_commitentry("ftp://h/a"), "");
    EXPECT_EQ(_upload_commitentry("/m/with.json?x=1"), "");
}

// ---- adding -------------------------------------------------------------------------------------------

struct AddCase {
    const char* name;
    int status;
    std::string before;
    _commitlist list;
    std::string url;
    std::string after;
};

class CommitAdding : public UploadFixture, public ::testing::WithParamInterface<AddCase> {};

TEST_P(CommitAdding, StoresTheUrlInTheListWhereItRuns)
{
    const AddCase& c = GetParam();
    insertJob({.guid = "g", .status = c.status});
    exec("update localmedia set adddata=" + quote(c.before));
    _upload_addcommiturl_byguid("g", c.url.c_str(), c.list);
    EXPECT_EQ(column("g", "adddata"), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CommitAdding,
    ::testing::Values(AddCase{"FirstPre", 2, "||", kCommitPre, "post://h/a?x=1", "post://h/a?x=1||"},
                      AddCase{"FirstFinish", 2, "post://h/a?x=1||", kCommitFinishOrNow, "post://h/b", "post://h/a?x=1||post://h/b"},
                      AddCase{"SecondFinish", 16, "u||post://h/b", kCommitFinishOrNow, "post://h/c", "u||post://h/b|post://h/c"},
                      AddCase{"FinishOfAFinishedJobRunsNow", 3, "||", kCommitFinishOrNow, "action://deletefile?guid=g",
                              "action://deletefile?guid=g||"},
                      AddCase{"BarsInTheUrl", 2, "||", kCommitPre, "post://h/a?t=x|y||z", "post://h/a?t=x%7Cy%7C%7Cz||"},
                      AddCase{"UnknownForm", 2, "||", kCommitPre, "ftp://h/a", "||"},
                      AddCase{"Empty", 2, "||", kCommitPre, "", "||"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UploadFixture, TitleAndVisibilityStoreTheirValuesAndEncodedCommits)
{
    insertJob({.guid = "g"});
    const std::string title = "a|b||c&d=e%f 'q'";
    upload_changetitle_byguid("g", "offline only", false);
    EXPECT_EQ(column("g", "adddata"), "||");
    upload_changetitle_byguid("g", title.c_str(), true);
    upload_setsharewith("g", "all");

    EXPECT_EQ(column("g", "title"), title);
    EXPECT_EQ(column("g", "publictype"), "all");
    const std::string host = service.hostPort();
    EXPECT_EQ(column("g", "adddata"), "post://" + host + "/m/modify-channel.json?token=utok&title=" + crtfun::urlencode(title) +
                                          "|post://" + host + "/m/share-with.json?token=utok&suids=all||");
    const Record r = record();
    EXPECT_TRUE(r.has(5, 3, "g", "offline only"));
    EXPECT_TRUE(r.has(5, 3, "g", title));
    EXPECT_TRUE(r.has(5, 5, "g", "all"));
}

// ---- running ------------------------------------------------------------------------------------------

class CommitRunTest : public UploadFixture {
protected:
    std::string url(const std::string& path, const std::string& query) { return "post://" + service.hostPort() + path + "?" + query; }

    // The job "g" with a file of `size` bytes pending and the given lists.
    std::string addMovie(size_t size, const std::string& adddata)
    {
        const std::string bytes = writeFile("movie.flv", size);
        id = insertJob({.guid = "g", .filename = dir / "movie.flv"}, size);
        exec("update localmedia set adddata=" + quote(adddata) + " where guid='g'");
        return bytes;
    }

    // A finished job whose pre list holds `adddata`'s commits, with the scid "sc9".
    void addFinished(const std::string& guid, const std::string& adddata)
    {
        insertJob({.guid = guid, .status = 3, .usertoken = "tok1", .uploadtoken = "sc9"});
        exec("update localmedia set adddata=" + quote(adddata) + " where guid=" + quote(guid));
    }

    bool finished(const std::string& guid = "g")
    {
        return waitFor([guid](const Record& r) { return r.has(5, 2, guid, "3"); });
    }

    // Index among every request the service recorded of the first one of `path`, or -1.
    long firstIndex(const std::string& path)
    {
        for (const Request& request : service.server().requests()) {
            if (request.path == path) {
                return static_cast<long>(request.index);
            }
        }
        return -1;
    }
    long lastIndex(const std::string& path)
    {
        long last = -1;
        for (const Request& request : service.server().requests(path)) {
            last = static_cast<long>(request.index);
        }
        return last;
    }

    // Ticks of the log lines beginning with `prefix`.
    static std::vector<uint64_t> ticks(const Record& r, const std::string& prefix)
    {
        std::vector<uint64_t> out;
        for (const auto& line : r.lines) {
            if (line.message.rfind(prefix, 0) == 0) {
                out.push_back(line.tick);
            }
        }
        return out;
    }

    static std::string vcurupGuid()
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        return vcurup ? vcurup->guid : std::string();
    }

    uint32_t id = 0;
};

struct AnswerCase {
    const char* name;
    Fault fault;
    size_t calls;  // how often the commit is made in all
};

class CommitAnswers : public CommitRunTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(CommitAnswers, DecideWhetherTheCommitIsDoneOrWaitsAndRunsAgain)
{
    const AnswerCase& c = GetParam();
    service.server().addFault(standin::kVideoSignPath, c.fault);
    const std::string bytes = addMovie(300000, url(standin::kVideoSignPath, "token=utok") + "||");
    upload_manager_startjob();
    ASSERT_TRUE(finished());

    EXPECT_EQ(service.server().requestCount(standin::kVideoSignPath), c.calls);
    // No block leaves before the pre list is empty.
    EXPECT_GT(firstIndex(standin::kUploadPath), lastIndex(standin::kVideoSignPath));
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
    EXPECT_EQ(column("g", "adddata"), "||");

    const Record r = record();
    const std::vector<uint64_t> starts = ticks(r, "uploadthread addcommit url:http://" + service.hostPort() + "/m/video-sign.json");
    ASSERT_EQ(starts.size(), c.calls);
    if (c.calls == 2) {
        const long failed = r.line("upload something wrong,sleep 10000 ms");
        ASSERT_GE(failed, 0);
        EXPECT_GE(starts[1], r.lines[failed].tick + 10000);  // tried again only after the wait
    } else {
        EXPECT_LT(r.line("upload something wrong,sleep 10000 ms"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, CommitAnswers,
                         ::testing::Values(AnswerCase{"NotFoundIsDone", Fault::status(404), 1},
                                           AnswerCase{"RefusedFormIsDone", Fault::status(200, R"({"status":403})"), 1},
                                           AnswerCase{"BadGatewayWaitsAndRunsAgain", Fault::status(502), 2},
                                           AnswerCase{"NotJsonWaitsAndRunsAgain", Fault::notJson(), 2},
                                           AnswerCase{"EmptyBodyWaitsAndRunsAgain", Fault::emptyBody(), 2},
                                           AnswerCase{"NoAnswerWaitsAndRunsAgain", Fault::closeWithoutAnswer(), 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommitRunTest, FinishedJobCommitRunsAsAGlobalCommitWithItsOwnScid)
{
    addFinished("done", "||");
    upload_addfinishcommiturl_byguid("done", url(standin::kWithPath, "suids=1,2&token=tok1").c_str());
    EXPECT_EQ(column("done", "adddata"), url(standin::kWithPath, "suids=1,2&token=tok1") + "||");
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(5, 0, "done", "提交中") && r.has(5, 0, "done", ""); }));

    const std::vector<Request> calls = service.server().requests(standin::kWithPath);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, "POST");
    EXPECT_EQ(calls[0].target, "/m/with.json");
    EXPECT_EQ(calls[0].body, "suids=1,2&token=tok1&scid=sc9&vend=lumo");
    EXPECT_EQ(calls[0].header("Content-Type").value_or(""), "application/x-www-form-urlencoded");
    EXPECT_EQ(column("done", "adddata"), "||");
    EXPECT_EQ(column("done", "status"), "3");
}

class GlobalAnswers : public CommitRunTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(GlobalAnswers, DecideWhetherTheGlobalCommitIsDoneOrRunsAgain)
{
    const AnswerCase& c = GetParam();
    service.server().addFault(standin::kWithPath, c.fault);
    addFinished("done", url(standin::kWithPath, "suids=1&token=tok1") + "||");
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(5, 0, "done", ""); }));
    EXPECT_EQ(service.server().requestCount(standin::kWithPath), c.calls);
    EXPECT_EQ(column("done", "adddata"), "||");
    EXPECT_EQ(record().line("global commit something wrong,sleep 10000 ms") >= 0, c.calls == 2);
}

INSTANTIATE_TEST_SUITE_P(Answers, GlobalAnswers,
                         ::testing::Values(AnswerCase{"NotFoundIsDone", Fault::status(404), 1},
                                           AnswerCase{"RefusedFormIsDone", Fault::status(200, R"({"status":403})"), 1},
                                           AnswerCase{"ServiceErrorCountsAsRefused", Fault::status(200, R"({"status":503})"), 1},
                                           AnswerCase{"NoStatusRunsAgain", Fault::status(200, R"({"msg":"later"})"), 2},
                                           AnswerCase{"BadGatewayRunsAgain", Fault::status(502), 2},
                                           AnswerCase{"NotJsonRunsAgain", Fault::notJson(), 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// A job that stays current without sending anything: its upload server does not exist.
class GlobalBackoff : public CommitRunTest, public ::testing::WithParamInterface<bool> {};

TEST_P(GlobalBackoff, FailingGlobalCommitWaitsTenThenFortySecondsAndIsNotRestartedEveryPass)
{
    const bool busy = GetParam();
    if (busy) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        const std::string dead = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        service.server().route(standin::kTokenPath, [dead](const Request&) {
            return Response::json(R"({"status":200,"scid":"busy","server":")" + dead + R"(","createTime":1})");
        });
        addMovie(100000, "||");
    }
    service.server().addFault(standin::kWithPath, Fault::status(502).persistent());
    addFinished("done", url(standin::kWithPath, "suids=1&token=tok1") + "||");
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.line("global commit something wrong,sleep 70000 ms") >= 0; }));

    const Record r = record();
    const long third = r.line("global commit something wrong,sleep 70000 ms");
    size_t startsBefore = 0;
    for (long i = 0; i < third; ++i) {
        startsBefore += r.lines[static_cast<size_t>(i)].message.rfind("start global commit", 0) == 0;
    }
    EXPECT_EQ(startsBefore, 3u);  // one start per failure, not one per pass
    const std::vector<uint64_t> starts = ticks(r, "start global commit");
    const std::vector<uint64_t> failures = ticks(r, "global commit something wrong,sleep");
    ASSERT_GE(starts.size(), 3u);
    ASSERT_GE(failures.size(), 3u);
    EXPECT_GE(starts[1], failures[0] + 10000);
    EXPECT_GE(starts[2], failures[1] + 40000);
    if (busy) {
        EXPECT_EQ(vcurupGuid(), "g");
    }

    // Once the service answers, the commit is done at its next try.
    service.server().clearFaults(standin::kWithPath);
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(5, 0, "done", ""); }));
    EXPECT_EQ(column("done", "adddata"), "||");
}

INSTANTIATE_TEST_SUITE_P(WhileUploadingAndIdle, GlobalBackoff, ::testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "Busy" : "Idle"); });

class GlobalRealClock : public CommitRunTest {
protected:
    const char* timeScale() const override { return "1"; }
};

TEST_F(GlobalRealClock, NetworkChangeEndsTheGlobalCommitsWaitAtOnce)
{
    service.server().addFault(standin::kWithPath, Fault::status(502));
    addFinished("done", url(standin::kWithPath, "suids=1&token=tok1") + "||");
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.line("global commit something wrong,sleep 10000 ms") >= 0; }, 10s));
    const long failed = record().line("global commit something wrong,sleep 10000 ms");

    UtilityAdapter_SetExtData(5, "", 3);
    // Without the change the next try would come after 10 s of the (real) engine clock.
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(5, 0, "done", ""); }, 5s));
    const Record r = record();
    const std::vector<uint64_t> starts = ticks(r, "start global commit");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_LT(starts[1], r.lines[static_cast<size_t>(failed)].tick + 10000);
    EXPECT_EQ(column("done", "adddata"), "||");
}

TEST_F(CommitRunTest, CommitAddedWhileTheJobFinishesRunsBeforeTheJobEnds)
{
    // The end call is held back, so the media is sent and the finish list released when the friends
    // commit comes: it must go where it still runs.
    service.server().addFault(standin::kUploadEndPath, Fault::hang(300ms));
    const std::string bytes = addMovie(100000, "||");
    upload_manager_startjob();
    ASSERT_TRUE(service.server().waitForRequests(standin::kUploadEndPath, 1, 20s));
    const std::string friends = url(standin::kWithPath, "suids=7&token=utok");
    upload_addfinishcommiturl_byguid("g", friends.c_str());
    EXPECT_NE(column("g", "adddata").find(friends + "||"), std::string::npos);
    ASSERT_TRUE(finished());

    ASSERT_EQ(service.server().requestCount(standin::kWithPath), 1u);
    EXPECT_GT(firstIndex(standin::kWithPath), firstIndex(standin::kUploadEndPath));
    EXPECT_EQ(column("g", "adddata"), "||");
    EXPECT_EQ(column("g", "status"), "3");
    EXPECT_EQ(service.uploads().contents("sc1", "flv"), bytes);
}

TEST_F(CommitRunTest, ActionsRunInsideTheEngineAndDeleteTheJob)
{
    global_startasynthread();
    g_imagepath.set(dir.path());
    const std::string thumb = dir / "g.jpg";
    writeFile("g.jpg", 10);
    insertJob({.guid = "g", .filename = "/elsewhere/movie.MOV", .status = 3, .localimg = thumb, .uploadtoken = "sc1"});
    exec("update localmedia set adddata='action://nothing?guid=g|action://deletefile?guid=g||' where guid='g'");
    upload_manager_startjob();
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(7, 4, "", ""); }));

    EXPECT_EQ(integer("select count(*) from localmedia where guid='g'"), 0);
    EXPECT_NE(::access(thumb.c_str(), F_OK), 0);
    const Record r = record();
    EXPECT_GE(r.line("unknown action action://nothing"), 0);
    EXPECT_GE(r.line("delete file guid=g&scid=sc1&vend=lumo"), 0);
    EXPECT_EQ(service.server().requestCount(), 0u);  // nothing went to the network
}

TEST_F(CommitRunTest, DeleteVideoActionDeletesOnTheServiceAndLocally)
{
    global_startasynthread();
    addFinished("v", "action://deletevideo?guid=v||");
    upload_manager_startjob();
    ASSERT_TRUE(service.server().waitForRequests(standin::kMediaPath, 1, 20s));
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(7, 12, "", ""); }));

    const std::vector<Request> calls = service.server().requests(standin::kMediaPath);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, "POST");
    EXPECT_EQ(calls[0].body, "scid=sc9&token=tok1&_method=delete&vend=lumo");
    EXPECT_EQ(integer("select count(*) from localmedia where guid='v'"), 0);
}

}  // namespace upload_commit_test_cpp
}  // namespace
