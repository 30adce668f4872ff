#pragma once
// The upload engine's own state and steps: the current upload job, the manager thread's pass, the
// upload token, the blocks and their two connections, and the service calls made on threads of their
// own. Shared by upload*.cpp and the engine code that hands jobs to the manager (job control, the live
// remux); everyone else uses upload.h.
//
// Locking: `curupmtx` (recursive) guards `vcurup`, everything inside the current job except the two
// block queues (which carry their own locks), `g_globalhttpjob`, and the state of the HTTP jobs the
// manager owns. The manager holds it for a whole pass, never across a sleep.
//
// Ranges: one row of uploadprocess (id = the job's row id, off, len) is a piece of the job's file still
// to send. A range is cut into blocks of at most 64 KiB; a block read from the database keeps its row
// until the upload server has accepted it (status 200), so a crash or kill between reading a block and
// its acceptance leaves the range in the database and it is simply sent again. The rows of accepted
// blocks are deleted in batches (kUploadDeleteBatch to kUploadDeleteBatchMost blocks, or once a second),
// since a synchronous commit per 64 KiB block costs more than sending it, and a busy disk takes longer
// for one than a distant server for its answer; a crash re-sends at most that batch, never leaves a
// hole. Blocks handed over by
// the live remux have no row; they are written back as ranges when their job is released.
#include "engine/crtfun.h"
#include "engine/crtlock.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

constexpr uint32_t kUploadBlockSize = 65536;
// The stored offset of byte 0 of the effect file (2^32 - 100000001): ranges of the effect file are kept
// at offsets shifted up by it, and sent with o = stored + kUploadEffectShift (modulo 2^32).
constexpr uint32_t kUploadEffectMarker = 4194967295u;
constexpr uint32_t kUploadEffectShift = 100000001u;
// New rows made from one long range in one pass; the rest stays one row for a later pass. The cut
// comes before its first block goes, so it costs a commit on the way (one per 26 blocks), which takes
// the accepted blocks' rows along.
constexpr int kUploadMaxCutRows = 25;
// Longest block request header, and longest answer read for a block before it counts as garbage.
constexpr size_t kUploadMaxHeader = 1024;
constexpr size_t kUploadMaxAnswer = 16384;
// Accepted blocks whose rows are deleted together. From kUploadDeleteBatch on, the rows go after a pass
// that leaves both connections' blocks just sent, so that the commit's disk syncs overlap the wait for
// both answers instead of holding an answer up; at kUploadDeleteBatchMost, or once the oldest has
// waited kUploadDeleteDelayMs (engine ms), they go anyway. A cut takes the waiting rows along.
constexpr size_t kUploadDeleteBatch = 32;
constexpr size_t kUploadDeleteBatchMost = 64;
constexpr uint64_t kUploadDeleteDelayMs = 1000;
// Sent within this many real milliseconds counts as just sent for the deletion's moment.
constexpr uint64_t kUploadJustSentMs = 5;
// A connection whose send or receive would block answers this many milliseconds; the manager then
// waits for its socket's readiness for at most that long before the next pass.
constexpr int kUploadWouldBlockMs = 5;

// ---- HTTP jobs: one service call on a thread of its own ---------------------------------------------

enum _httpjobstate { kHttpJobCreated = 0, kHttpJobRunning = 1, kHttpJobDone = 2, kHttpJobAbandoned = 3 };
enum _httpjobkind { kHttpJobGlobalCommit = 0, kHttpJobToken = 1, kHttpJobCommit = 2 };

struct _HttpJob {
    std::atomic<int> state{kHttpJobCreated};
    int kind = 0;
    std::string url;
    std::string post;    // the form body; empty means GET
    int ret = 0;         // the HTTP status, or the client's result code (crthttp.h)
    std::string result;  // the response body
};
// Shared by the owner and the call's thread: the thread writes ret and result, then sets state 2; the
// owner reads them only after it has seen 2. An owner that drops a job not yet done marks it abandoned.
using _HttpJobRef = std::shared_ptr<_HttpJob>;

// Starts a call of `kind` on a detached thread. `owner` (the current job's httpjob, g_globalhttpjob, or
// null for nobody) receives the new job; an earlier job there is dropped (abandoned when not done).
// Caller holds curupmtx when owner is not null.
_HttpJobRef _upload_asyn_http(_HttpJobRef* owner, const std::string& url, const std::string& post, int kind);
// Drops an owner's job, marking it abandoned when its call is still running.
void _upload_abandon_httpjob(_HttpJobRef& owner);

// ---- the current job --------------------------------------------------------------------------------

// One of the two upload connections of a job.
struct _UploadConnection {
    int sock = -1;
    crtfun::_memitem* sendblock = nullptr;  // the block being sent, or none
    bool fromdb = false;                    // the block's range is still a row (deleted once accepted)
    std::string header;                     // the block's request header
    uint32_t headerlen = 0;                 // the header's length while it is being sent; 0 once sent
    uint32_t sentcount = 0;                 // bytes of the header, then of the body, sent so far
    std::string recvtext;                   // what the server has answered on this block so far
    uint64_t lastactive = 0;                // net_real_ms() when a byte last moved or the connect began
    uint64_t sentat = 0;                    // net_real_ms() when the block's last byte went out
};

struct _UploadObject {
    _UploadObject();
    ~_UploadObject();  // closes the file and the sockets, frees every block
    _UploadObject(const _UploadObject&) = delete;
    _UploadObject& operator=(const _UploadObject&) = delete;

    uint32_t id = 0;   // row id in localmedia, and id of its uploadprocess ranges
    uint32_t ct = 0;   // creation time (Unix seconds)
    uint32_t st = 0;   // "createTime" of the token reply
    std::string guid;
    std::string filename;
    std::string uploadtoken;  // the video's scid, empty until the token reply
    std::string usertoken;
    std::string title;
    int32_t filetype = 0;  // 16: a movie uploaded unchanged ("up")
    int32_t h = 0;
    int32_t w = 0;
    int32_t length = 0;
    int32_t status = 0;
    int32_t retrycount = 0;  // failures since the last success
    int32_t retrywait = 0;   // engine ms still to wait before the next try
    std::string uploadsvr;   // "host:port" of the upload server
    FILE* file = nullptr;    // the media file, opened on first read
    crtfun::crtlockdataqueue freeblocks;  // pool of 64 KiB buffers
    crtfun::crtlockdataqueue liveblocks;  // blocks of the live remux, sent before database ranges
    _UploadConnection conn[2];
    crtfun::speedcounting speed;
    uint32_t filesize = 0;
    uint32_t remainsize = 0;
    std::string precommit;  // commit URLs to run now, joined by "|"
    std::string fileext;    // p= of the media file's blocks
    _HttpJobRef httpjob;    // the job's running service call (token request or commit)
    std::string finishcommit;  // commit URLs to run once the media is sent, joined by "|"
    std::string localimg;      // thumbnail path; the effect file lies beside it with extension "etf"
    int32_t finishstate = 0;   // 0 sending, 1 media sent and finish commits released, 2 finished
    std::vector<uint32_t> accepted;  // offsets of accepted blocks whose rows are still to be deleted
    uint64_t acceptedtick = 0;       // engine tick of the oldest of them
};
using _UploadRef = std::shared_ptr<_UploadObject>;

extern _UploadRef& vcurup;          // the current job, or none
extern crtfun::crtmutex& curupmtx;  // recursive
// 0 not running, 1 starting or stopped, 2 running, 3 asked to stop.
extern std::atomic<int> g_uploadthreadstate;
// Set when the last search found no job; cleared by every change that can create work.
extern std::atomic<bool> g_uploadidle;
extern _HttpJobRef& g_globalhttpjob;  // the running commit of a job that is not current

// Statement text from sqlite's printf: "%q" doubles the quotes of a text placed between single quotes,
// so a title, token or path with a quote cannot break the statement.
std::string _upload_sql(const char* format, ...);
// Runs the statements; on failure reports (3, 0, statement) and returns false. False without a database.
bool _upload_dbexec(const std::string& sql);

// Wakes the manager from its sleep (a stop, a network change, new work).
void _upload_wakeup();

// Loads the first job matching an SQL condition on localmedia (with its file size, pending bytes and
// commit lists); none when there is none or the database is closed. Texts in the condition are quoted
// with _upload_sql's "%q" ("guid='%q'").
_UploadRef _upload_fetchjob(const std::string& condition);
// The job's file size and its pending bytes (at most the file size).
void _get_upload_process_size(const std::string& guid, uint32_t& filesize, uint32_t& remainsize);
// Writes one change of the job (none: the current job) to localmedia; see upload.cpp for the kinds.
void _upload_savechange(int kind, _UploadObject* job);
// Releases the job: it stops being current, its file and sockets close, its live blocks (and blocks in
// flight that have no row) are written back as ranges, and its service call is abandoned.
void _upload_deletejob(const _UploadRef& job);
// Back-off after a failure: retrycount + 1, retrywait = retrycount x 30 s - 20 s.
void _upload_backoff(_UploadObject* job);
// 100 - remainsize x 100 / filesize, truncated, held between 1 and 99; 0 when the file size is 0.
unsigned int _upload_percent(const _UploadObject* job);
// Whether the network policy lets the job upload now.
bool _upload_networkallowed(const _UploadObject* job);
// The display text of the current job (none: clears the one shown last).
void _upload_update_display_status(_UploadObject* job);
// Chooses the current job; the pass's sleep.
unsigned int _upload_checkcurrentjob();
// One pass of the manager thread under curupmtx; the milliseconds to sleep before the next.
unsigned int _upload_manager_pass();
// Evaluates a finished service call: token replies here, commits in the commit work.
int _upload_parse_asyn_http_result(_UploadObject* job, _HttpJob& httpjob);

// ---- token and blocks (upload_token.cpp, upload_block.cpp) ---------------------------------------------

// 0 the job has its token, 1 a token request was started, 500 no user is logged in (job released).
int _upload_checkcurrenttoken(const _UploadRef& job);
void _upload_parse_token_reply(_UploadObject* job, const _HttpJob& httpjob);
// 0 the connection has a block, 200 nothing to prepare now, -1 the job has nothing left to send.
int _upload_preparesendbuf(_UploadObject* job, int index);
void _upload_make_sendheader(_UploadObject* job, int index);
// 0 progress, 5 try again when the socket is ready (within 5 ms), -1 the connection failed (its block is sent again).
int _upload_createsock(_UploadObject* job, int index);
int _upload_sendheader(_UploadObject* job, int index);
int _upload_sendbuf(_UploadObject* job, int index);
int _upload_recvbuf(_UploadObject* job, int index);
int _upload_checkrecv(_UploadObject* job, int index);
// Deletes the rows of the accepted blocks (one transaction); false when that failed.
bool _upload_flushaccepted(_UploadObject* job);
// The same when due (see kUploadDeleteBatch); the manager's pass calls it after both connections have
// had their turn.
void _upload_flushacceptedifdue(_UploadObject* job);
// Closes a connection's socket without touching its block.
void _upload_closesock(_UploadConnection& connection);

// How far an answer to a block has come in.
struct _upload_answer {
    int status = -2;         // -2 not complete yet, -1 not an HTTP answer, else the status
    bool closeafter = false; // the connection cannot carry another block (close, no length, extra bytes)
};
_upload_answer _upload_parseanswer(const std::string& text);

// ---- commit URLs and job control (upload_commit.cpp, upload_control.cpp) ------------------------------

// Runs the current job's first pre-commit when none runs; true while the job has pre-commits.
bool _upload_checkcurrentaddcommit(_UploadObject* job);
// Looks for a job that is not uploading but has pending commits and starts its first one as
// g_globalhttpjob (called when none runs, with curupmtx held).
void _upload_check_globalcommit();
// Evaluates a done commit (kind 0 global with job none, kind 2 of the current job); the service's
// status value (over 199 lets the manager look for the next global commit at once).
int _upload_parse_commit_result(_UploadObject* job, _HttpJob& httpjob);
// Carries out an "action://" URL (post holds its query) on the calling HTTP job thread.
void _upload_runaction(const std::string& url, const std::string& post);
// A failed global commit waits (10 s, 40 s, ... like a job's own commits); true once that wait is over,
// so the manager looks for it again even while it has found no other work.
bool _upload_globalcommit_due();
// Ends the global commits' wait (a network change).
void _upload_globalcommit_clearbackoff();
// Makes `job` the current job: the earlier one is released, the new one's back-off is cleared and the
// manager is woken. The live recording hands its job over this way.
void _upload_set_current_job(const _UploadRef& job);
