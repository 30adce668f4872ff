#pragma once
// The upload job operations that the job thread runs for the queued job operations, and that the
// folder scan uses to drop jobs whose files have gone. They change a job in the job database and,
// when it is the upload manager's current job, the job in memory under the upload lock.
//
// Every function runs on the calling thread (the job thread, or a scan thread) and reports its
// failures as status events. Texts may not be null.

// Operations 1 (makecurrent) and 11: start or resume the upload of the job.
void upload_startjob_byguid(const char* guid, bool makecurrent);
// Operation 2: pause the job.
void upload_stopjob_byguid(const char* guid);
// Operation 3: reset the job's upload (new token, ranges computed again at the next start).
void upload_deletejob_byguid(const char* guid);
// Operation 4: delete the job and its files inside the video folder.
void upload_deletefile_byguid(const char* guid);
// Operation 5: add a commit URL run once the job has its upload token.
void upload_addcommiturl_byguid(const char* guid, const char* url);
// Operation 7: add a commit URL run once the media has been sent (at once for a finished job).
void upload_addfinishcommiturl_byguid(const char* guid, const char* url);
// Operations 6 (online false) and 9 (online true): change the title, also on the service when online.
void upload_changetitle_byguid(const char* guid, const char* title, bool online);
// Operation 10: who may see the video, "all" or "off".
void upload_setsharewith(const char* guid, const char* value);
// Operation 12: delete the video on the service, then the job and its files.
void upload_deletevideo_byguid(const char* guid);
