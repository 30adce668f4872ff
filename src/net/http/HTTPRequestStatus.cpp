// The status timer's work: every 0.25 s while an attempt runs, the request is checked on its own
// thread. Time-outs and their retries, progress reports and bandwidth throttling
// plug in here; until they do, a request ends only by its response, an error or a cancel.
#include "net/http/HTTPRequest.h"

void HTTPRequest::updateStatus()
{
    checkRequestStatus();
    if (!inProgress_) {
        setStatusTimer(nullptr);
    }
}

void HTTPRequest::checkRequestStatus()
{
    std::lock_guard lock(*cancelledLock_);
    if (cancelledFlag_ || complete_) {
        return;
    }
    performThrottling();
}

void HTTPRequest::performThrottling() {}

void HTTPRequest::updateProgressIndicators() {}

void HTTPRequest::removeUploadProgressSoFar() {}

void HTTPRequest::resetUploadProgress(unsigned long long) {}

void HTTPRequest::resetDownloadProgress() {}
