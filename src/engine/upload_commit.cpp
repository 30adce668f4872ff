// Commit URLs: adding them to a job's lists, running the current job's and the global ones on HTTP job
// threads, evaluating the answers, and the title and visibility operations that add their own.
#include "engine/upload_commit.h"

#include "engine/cjsonhelper.h"
#include "engine/crtfun.h"
#include "engine/global.h"
#include "engine/jobcontrol.h"
#include "engine/jobdb.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"
#include "engine/upload_internal.h"

#include <cjson/cJSON.h>
#include <sqlite3.h>

#include <mutex>

namespace {

// Under curupmtx: the row and the entry of the running global commit, and the global commits' back-off.
std::string& g_globaljobguid = *new std::string;
std::string& g_globaljobentry = *new std::string;
int g_globalretrycount = 0;
uint64_t g_globalretryat = 0;  // engine tick

bool _startswith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The first non-empty entry of a list; empty entries in front of it are dropped from the list (they
// could only come from an edited database, and would otherwise be run as a URL that cannot succeed).
std::string _upload_firstentry(std::string& list)
{
    std::string first;
    while (!list.empty()) {
        getaddcommitjob(first, list, false);
        if (!first.empty()) {
            return first;
        }
        getaddcommitjob(first, list, true);
    }
    return std::string();
}

// The stored lists of a job that is not current; false when the job has no row.
bool _upload_readadddata(const std::string& guid, std::string& pre, std::string& finish, int* status = nullptr)
{
    global_dbref db = global_getdb();
    if (!db) {
        return false;
    }
    global_dbstatement select(db, "select adddata,status from localmedia where guid=?1");
    select.bindtext(1, guid);
    const int rc = select.step();
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) {
            select.reportfailure();
        }
        return false;
    }
    _upload_splitadddata(select.text(0), pre, finish);
    if (status != nullptr) {
        *status = static_cast<int>(select.integer(1));
    }
    return true;
}

bool _upload_writeadddata(const std::string& guid, const std::string& pre, const std::string& finish, bool report)
{
    global_dbstatement update(global_getdb(), "update localmedia set adddata=?1 where guid=?2");
    update.bindtext(1, pre + "||" + finish);
    update.bindtext(2, guid);
    if (update.step() != SQLITE_DONE) {
        if (report) {
            update.reportfailure();
        }
        return false;
    }
    return true;
}

// The service host's commit URL of `path` with an already encoded query.
std::string _upload_servicecommit(const char* path, const std::string& query)
{
    return "post://" + global_servicehost() + path + "?" + query;
}

// A global commit the service has answered: its entry leaves the row's pre list. The row is read again
// now (not from a copy taken when the commit started), so URLs added meanwhile are kept.
void _upload_removeglobalentry()
{
    const std::string& guid = g_globaljobguid;
    if (vcurup && vcurup->guid == guid) {
        std::string first = _upload_firstentry(vcurup->precommit);
        if (first == g_globaljobentry) {
            getaddcommitjob(first, vcurup->precommit, true);
        }
        _upload_savechange(4, vcurup.get());
        return;
    }
    std::string pre;
    std::string finish;
    if (!_upload_readadddata(guid, pre, finish)) {
        return;  // the job is gone (a commit that deleted it, or the user)
    }
    std::string first = _upload_firstentry(pre);
    if (first == g_globaljobentry) {
        getaddcommitjob(first, pre, true);
    }
    if (!_upload_writeadddata(guid, pre, finish, false)) {
        printlog("store global commit result failed %s", guid.c_str());
    }
}

void _upload_globalbackoff()
{
    g_globalretrycount += 1;
    const int wait = g_globalretrycount * 30000 - 20000;
    g_globalretryat = crtfun::get_ms_tick() + static_cast<uint64_t>(wait);
    printlog("global commit something wrong,sleep %d ms", wait);
}

int _upload_parse_global_result(_HttpJob& httpjob)
{
    printlog("parse global result %u,%s", static_cast<unsigned int>(httpjob.ret),
             crtfun::saveprinturl(httpjob.result).c_str());
    const int ret = httpjob.ret;
    int value = 0;
    bool done = false;
    if (ret == 200 && !httpjob.result.empty()) {
        cJSON* json = cJSON_Parse(httpjob.result.c_str());
        if (json != nullptr) {
            value = cJSON_GetObjectItemInt(json, "status");
            if (value >= 500) {
                value = 400;
            }
            done = value >= 200 && value <= 499;
            cJSON_Delete(json);
        }
    } else if (ret > 200 && ret <= 499) {
        // The service has refused the call for good: kept, it would be tried for ever and, found first
        // by every search, hold back the commits of every other finished job.
        done = true;
        value = ret;
    }
    if (!done) {
        _upload_globalbackoff();
        return 0;
    }
    g_globalretrycount = 0;
    g_globalretryat = 0;
    _upload_removeglobalentry();
    global_putstatusdispatch(5, 0, g_globaljobguid.c_str(), "");
    return value;
}

int _upload_parse_current_result(_UploadObject* job, _HttpJob& httpjob)
{
    const int ret = httpjob.ret;
    if (ret < 200 || ret > 499 || (ret == 200 && httpjob.result.empty())) {
        _upload_backoff(job);
        return 0;
    }
    int status = 0;
    if (ret == 200) {
        cJSON* json = cJSON_Parse(httpjob.result.c_str());
        if (json == nullptr) {
            _upload_backoff(job);
            return 500;
        }
        status = cJSON_GetObjectItemInt(json, "status");
        if (status >= 500) {
            status = 400;
        }
        cJSON_Delete(json);
    }
    // The commit counts as done whatever the service's status: it has answered.
    printlog("change precommit %s", crtfun::saveprinturl(job->precommit).c_str());
    std::string first = _upload_firstentry(job->precommit);
    std::string url;
    std::string post;
    _upload_translateurl(first, url, post, _upload_commitsuffix(job->uploadtoken));
    if (!first.empty() && url == httpjob.url && post == httpjob.post) {
        getaddcommitjob(first, job->precommit, true);
    } else {
        printlog("answered commit is not first any more %s", crtfun::saveprinturl(httpjob.url).c_str());
    }
    printlog("changed precommit %s", crtfun::saveprinturl(job->precommit).c_str());
    job->retrycount = 0;
    _upload_savechange(4, job);
    return status;
}

}  // namespace

// ---- list texts ---------------------------------------------------------------------------------------

void getaddcommitjob(std::string& first, std::string& list, bool remove)
{
    const size_t bar = list.find('|');
    if (bar == std::string::npos) {
        first = list;
        if (remove) {
            list.clear();
        }
        return;
    }
    first = list.substr(0, bar);
    if (remove) {
        list.erase(0, bar + 1);
    }
}

void _upload_splitadddata(const std::string& adddata, std::string& pre, std::string& finish)
{
    const size_t split = adddata.find("||");
    pre = adddata.substr(0, split);
    finish = split == std::string::npos ? std::string() : adddata.substr(split + 2);
}

std::string _upload_commitentry(const std::string& url)
{
    if (!_startswith(url, "post://") && !_startswith(url, "action://") && !_startswith(url, "http://")) {
        return std::string();
    }
    std::string entry;
    entry.reserve(url.size());
    for (char c : url) {
        if (c == '|') {
            entry += "%7C";
        } else {
            entry += c;
        }
    }
    return entry;
}

std::string _upload_commitsuffix(const std::string& scid)
{
    return "scid=" + crtfun::urlencode(scid) + "&vend=" + crtfun::urlencode(g_vendor.get());
}

void _upload_translateurl(const std::string& url, std::string& outurl, std::string& outpost, const std::string& suffix)
{
    const bool post = _startswith(url, "post");
    if (post || _startswith(url, "action")) {
        const std::string full = post ? "http" + url.substr(4) : url;
        const size_t query = full.find('?');
        if (query == std::string::npos) {
            outurl = full;
            outpost = suffix;
        } else {
            outurl = full.substr(0, query);
            outpost = full.substr(query + 1) + "&" + suffix;
        }
        return;
    }
    outurl = url + (url.find('?') == std::string::npos ? "?" : "&") + suffix;
    outpost.clear();
}

// ---- adding -------------------------------------------------------------------------------------------

void _upload_addcommiturl_byguid(const char* guid, const char* url, _commitlist list)
{
    printlog("upload_addcommiturl_byguid %s,%s", guid, crtfun::saveprinturl(url).c_str());
    if (!global_isdbopen() || *url == '\0') {
        return;
    }
    const std::string entry = _upload_commitentry(url);
    if (entry.empty()) {
        printlog("refuse commit url %s", crtfun::saveprinturl(url).c_str());
        return;
    }
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        _UploadObject* current = vcurup && vcurup->guid == guid ? vcurup.get() : nullptr;
        std::string pre;
        std::string finish;
        int status = 0;
        if (current != nullptr) {
            printlog("need to notify curup job");
            pre = current->precommit;
            finish = current->finishcommit;
        } else if (!_upload_readadddata(guid, pre, finish, &status)) {
            printlog("no job for commit %s", guid);
            return;
        }
        bool topre = list == kCommitPre;
        if (list == kCommitFinishOrNow) {
            topre = current != nullptr ? current->finishstate >= 1 : status == 3;
        }
        std::string& target = topre ? pre : finish;
        target = target.empty() ? entry : target + "|" + entry;
        printlog("current commit job is :pre:%s,post:%s", crtfun::saveprinturl(pre).c_str(),
                 crtfun::saveprinturl(finish).c_str());
        if (current != nullptr) {
            current->precommit = pre;
            current->finishcommit = finish;
            _upload_savechange(4, current);
        } else {
            _upload_writeadddata(guid, pre, finish, true);
        }
        g_uploadidle.store(false);
    }
    _upload_wakeup();
}

void upload_addcommiturl_byguid(const char* guid, const char* url)
{
    _upload_addcommiturl_byguid(guid, url, kCommitPre);
}

void upload_addfinishcommiturl_byguid(const char* guid, const char* url)
{
    _upload_addcommiturl_byguid(guid, url, kCommitFinishOrNow);
}

void upload_changetitle_byguid(const char* guid, const char* title, bool online)
{
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    global_dbstatement update(db, "update localmedia set title=?1 where guid=?2");
    update.bindtext(1, title);
    update.bindtext(2, guid);
    if (update.step() != SQLITE_DONE) {
        update.reportfailure();
    }
    global_putstatusdispatch(5, 3, guid, title);
    {
        // The token request names the video by the title it knows.
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        if (vcurup && vcurup->guid == guid) {
            vcurup->title = title;
        }
    }
    if (online) {
        const std::string url = _upload_servicecommit(
            "/m/modify-channel.json", "token=" + crtfun::urlencode(g_usertoken.get()) + "&title=" + crtfun::urlencode(title));
        _upload_addcommiturl_byguid(guid, url.c_str(), kCommitPre);
    }
}

void upload_setsharewith(const char* guid, const char* value)
{
    printlog("upload_setshartwith guid:%s sharewith:%s", guid, value);
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    global_dbstatement update(db, "update localmedia set publictype=?1 where guid=?2");
    update.bindtext(1, value);
    update.bindtext(2, guid);
    if (update.step() != SQLITE_DONE) {
        update.reportfailure();
    }
    global_putstatusdispatch(5, 5, guid, value);
    const std::string url = _upload_servicecommit(
        "/m/share-with.json", "token=" + crtfun::urlencode(g_usertoken.get()) + "&suids=" + crtfun::urlencode(value));
    _upload_addcommiturl_byguid(guid, url.c_str(), kCommitPre);
}

// ---- running ------------------------------------------------------------------------------------------

bool _upload_checkcurrentaddcommit(_UploadObject* job)
{
    const std::string before = job->precommit;
    const std::string first = _upload_firstentry(job->precommit);
    if (job->precommit != before) {
        _upload_savechange(4, job);
    }
    if (first.empty()) {
        return false;
    }
    printlog("need do commit first");
    std::string url;
    std::string post;
    _upload_translateurl(first, url, post, _upload_commitsuffix(job->uploadtoken));
    printlog("uploadthread addcommit url:%s,post:%s", crtfun::saveprinturl(url).c_str(),
             crtfun::saveprinturl(post).c_str());
    _upload_asyn_http(&job->httpjob, url, post, kHttpJobCommit);
    return true;
}

void _upload_check_globalcommit()
{
    if (g_globalretrycount != 0 && crtfun::get_ms_tick() < g_globalretryat) {
        return;
    }
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    // Asked on every pass of the manager: plain comparisons rather than a "not in" list, which would
    // build a temporary b-tree each time.
    global_dbstatement select(db,
                              "select guid,adddata,uploadtoken from localmedia where (status<>16 and status<>17 and status<>1 and "
                              "status<>2 and status<>4) and "
                              "uploadtoken!='' and adddata!='' and adddata!='||' and adddata not like '||%' limit 1;");
    const int rc = select.step();
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) {
            select.reportfailure();
        }
        // Nothing is waiting: a later commit starts without the earlier one's wait.
        g_globalretrycount = 0;
        g_globalretryat = 0;
        return;
    }
    const std::string guid = select.text(0);
    const std::string adddata = select.text(1);
    const std::string scid = select.text(2);
    printlog("global http job guid:%s,scid:%s,url:%s", guid.c_str(), scid.c_str(), crtfun::saveprinturl(adddata).c_str());
    if (g_netstatus.load() == 0) {
        global_putstatusdispatch(5, 0, guid.c_str(), "无网络");
        return;
    }
    std::string pre;
    std::string finish;
    _upload_splitadddata(adddata, pre, finish);
    const std::string first = _upload_firstentry(pre);
    if (first.empty()) {
        _upload_writeadddata(guid, pre, finish, true);  // only empty entries: drop them
        return;
    }
    std::string url;
    std::string post;
    _upload_translateurl(first, url, post, _upload_commitsuffix(scid));
    printlog("start global commit %s,%s", crtfun::saveprinturl(url).c_str(), crtfun::saveprinturl(post).c_str());
    g_globaljobguid = guid;
    g_globaljobentry = first;
    _upload_asyn_http(&g_globalhttpjob, url, post, kHttpJobGlobalCommit);
    global_putstatusdispatch(5, 0, guid.c_str(), "提交中");
}

int _upload_parse_commit_result(_UploadObject* job, _HttpJob& httpjob)
{
    if (httpjob.kind == kHttpJobGlobalCommit) {
        return _upload_parse_global_result(httpjob);
    }
    if (httpjob.kind == kHttpJobCommit && job != nullptr) {
        return _upload_parse_current_result(job, httpjob);
    }
    return 0;
}

void _upload_runaction(const std::string& url, const std::string& post)
{
    const std::string guid = crtfun::gethttpparam(post, "guid");
    if (_startswith(url, "action://deletevideo")) {
        printlog("delete video %s", crtfun::saveprinturl(post).c_str());
        global_addasynjob(12, guid.c_str(), "", 0, 0);
    } else if (_startswith(url, "action://deletefile")) {
        printlog("delete file %s", crtfun::saveprinturl(post).c_str());
        global_addasynjob(4, guid.c_str(), "", 0, 0);
    } else {
        printlog("unknown action %s", crtfun::saveprinturl(url).c_str());
    }
}

bool _upload_globalcommit_due()
{
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    return g_globalretrycount != 0 && crtfun::get_ms_tick() >= g_globalretryat;
}

void _upload_globalcommit_clearbackoff()
{
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    g_globalretrycount = 0;
    g_globalretryat = 0;
}
