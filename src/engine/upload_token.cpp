// The upload token: the request that gives the current job its scid and its upload server, and the
// evaluation of the reply.
#include "engine/cjsonhelper.h"
#include "engine/crtfun.h"
#include "engine/global.h"
#include "engine/printlog.h"
#include "engine/upload_internal.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bytes that would end or split the request line or the query (blanks, controls, "&", "#", "%") are
// percent-encoded; every other byte goes as it is, so ordinary tokens and device names are unchanged.
std::string _upload_urlsafe(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f || c == '&' || c == '#' || c == '%') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// A text from the reply that goes into block headers, the end call and the commit lists: it must not
// carry anything that breaks a request line, a query or the "|"-joined lists.
bool _upload_safereplytext(const std::string& text, const char* forbidden)
{
    if (text.empty() || text.size() > 255) {
        return false;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f || std::strchr(forbidden, c) != nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

int _upload_checkcurrenttoken(const _UploadRef& job)
{
    if (!job->uploadtoken.empty()) {
        return 0;
    }
    if (job->status == 2 || job->status == 16) {
        const std::string usertoken = g_usertoken.get();
        if (usertoken.empty()) {
            job->status = 0;
            _upload_savechange(1, job.get());
            global_putstatusdispatch(3, 2, "token not found", nullptr);
            _upload_deletejob(job);
            return 500;
        }
        job->usertoken = usertoken;
        _upload_savechange(3, job.get());
    }

    const global_settings settings = global_getsettings();
    const long offsettime = static_cast<long>(crtfun::unix_time()) - static_cast<long>(job->ct);
    char url[2048];
    std::snprintf(url, sizeof url,
                  "http://%s/m/request-upload.json?token=%s&ctype=%d&utype=http-post&dname=%s&offsetTime=%d&width=%d"
                  "&height=%d&fname=%s&pstatus=%d&r=%d&vend=%s&title=",
                  global_servicehost().c_str(), _upload_urlsafe(job->usertoken).c_str(), job->filetype,
                  _upload_urlsafe(settings.devicename).c_str(), static_cast<int>(offsettime), job->w, job->h,
                  _upload_urlsafe(job->guid).c_str(), job->status == 1 ? 2 : 0, std::rand(),
                  _upload_urlsafe(settings.vendor).c_str());
    printlog("uploadthread request token with url:%s", url);
    _upload_asyn_http(&job->httpjob, std::string(url) + crtfun::urlencode(job->title), std::string(), kHttpJobToken);
    return 1;
}

void _upload_parse_token_reply(_UploadObject* job, const _HttpJob& httpjob)
{
    cJSON* json = cJSON_Parse(httpjob.result.c_str());
    if (json != nullptr && cJSON_IsObject(json)) {
        const int status = cJSON_GetObjectItemInt(json, "status");
        const int createtime = cJSON_GetObjectItemInt(json, "createTime");
        const std::string scid = cJSON_GetObjectItemString(json, "scid");
        const std::string server = cJSON_GetObjectItemString(json, "server");
        const std::string msg = cJSON_GetObjectItemString(json, "msg");
        printlog("parse json result:%d,%d,%s,%s,%s", status, createtime, scid.c_str(), server.c_str(), msg.c_str());
        if (status == 200 && _upload_safereplytext(scid, "&#%?/|'\"\\") && _upload_safereplytext(server, "&#%?/|'\"\\")) {
            job->retrycount = 0;
            job->uploadtoken = scid;
            job->uploadsvr = server;
            job->st = static_cast<uint32_t>(createtime);
            _upload_savechange(0, job);
            global_putstatusdispatch(2, 5, scid.c_str(), nullptr);
            const std::string endcall = "http://" + server + "/upload_tc_file_end?t=" + scid + "." + job->fileext;
            job->finishcommit = job->finishcommit.empty() ? endcall : endcall + "|" + job->finishcommit;
            _upload_savechange(4, job);
        } else if (status == 200) {
            printlog("request upload reply unusable:%s,%s", scid.c_str(), server.c_str());
        } else if (status >= 400) {
            printlog("request upload have error,cancel the upload:%d,%s", status, msg.c_str());
            global_putstatusdispatch(3, 2, msg.c_str(), nullptr);
        }
    }
    cJSON_Delete(json);
    if (job->uploadtoken.empty()) {
        _upload_backoff(job);
    }
}
