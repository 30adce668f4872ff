// Service calls of the upload engine (the token request, commit URLs), each on a detached thread of
// its own so that the manager never waits on the network: it looks at the job's state between passes
// and is woken when the call is done. Each call
// is bounded (a whole-exchange deadline, a cap on the reply), so a server that answers too slowly or
// too much costs a failed transfer and the owner's usual back-off, never an upload stuck for hours.
#include "engine/crtfun.h"
#include "engine/crthttp.h"
#include "engine/printlog.h"
#include "engine/upload_internal.h"

#include <new>

namespace {

void* _upload_asyn_http_thread(void* arg)
{
    auto* holder = static_cast<_HttpJobRef*>(arg);
    const _HttpJobRef job = std::move(*holder);
    delete holder;

    int expected = kHttpJobCreated;
    job->state.compare_exchange_strong(expected, kHttpJobRunning);

    int ret = 0;
    std::string result;
    if (job->url.rfind("action://", 0) != 0) {
        printlog("asyn http download:%d,%d,%s,%s", job->kind, job->post.empty() ? 0 : 1,
                 crtfun::saveprinturl(job->url).c_str(), crtfun::saveprinturl(job->post).c_str());
        result = crtfun::http_download_to_str(job->url.c_str(), job->post.empty() ? nullptr : &job->post, &ret,
                                              crtfun::kServiceCallBounds);
        printlog("asyn http download ret:%d,%s", ret, crtfun::saveprinturl(result).c_str());
    } else {
        // Done inside the engine; it never fails.
        _upload_runaction(job->url, job->post);
        result = "{\"status\":200}";
        ret = 200;
    }
    job->ret = ret;
    job->result = std::move(result);
    // An abandoned job keeps its state and goes with this thread's reference.
    expected = kHttpJobRunning;
    if (job->state.compare_exchange_strong(expected, kHttpJobDone)) {
        // The manager looks at its calls between passes: the answer ends its sleep.
        _upload_wakeup();
    }
    return nullptr;
}

}  // namespace

void _upload_abandon_httpjob(_HttpJobRef& owner)
{
    if (!owner) {
        return;
    }
    int state = owner->state.load();
    while (state != kHttpJobDone && state != kHttpJobAbandoned &&
           !owner->state.compare_exchange_weak(state, kHttpJobAbandoned)) {
    }
    owner.reset();
}

_HttpJobRef _upload_asyn_http(_HttpJobRef* owner, const std::string& url, const std::string& post, int kind)
{
    auto job = std::make_shared<_HttpJob>();
    job->kind = kind;
    job->url = url;
    job->post = post;
    if (owner == nullptr) {
        job->state.store(kHttpJobAbandoned);
    } else {
        _upload_abandon_httpjob(*owner);
        *owner = job;
    }
    auto* holder = new (std::nothrow) _HttpJobRef(job);
    if (holder == nullptr || !crtfun::startdetachedthread(_upload_asyn_http_thread, holder)) {
        delete holder;
        printlog("start asyn http thread failed");
        // Evaluated like a failed transfer, so the owner backs off and tries again.
        int expected = kHttpJobCreated;
        job->state.compare_exchange_strong(expected, kHttpJobDone);
    }
    return job;
}
