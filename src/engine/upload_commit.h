#pragma once
// Commit URLs: the calls to the service that belong to one job and wait for its upload (its place,
// title, visibility, video sign, friends, microblog shares, and the end call that tells the upload
// server the file is complete).
//
// Each job keeps two lists of URLs joined by "|": the pre list, run one at a time in order as soon as
// the job has its upload token (and before any block is sent), and the finish list, run once the
// media has been sent (the end call first). The column "adddata" stores them as pre + "||" + finish.
// A URL is removed only once the service has answered it. The current job's lists live in its
// _UploadObject and are written back after every change; a job that is not uploading (a finished
// one) runs its pre list as "global" commits, one at a time across all jobs.
//
// URL forms:
//   post://host/path?query    a form POST to http://host/path with the body query + "&scid=" + the
//                             job's scid + "&vend=" + the edition word
//   action://deletefile?guid=G    queues job operation 4 for G (delete the job and its files)
//   action://deletevideo?guid=G   queues job operation 12 for G (delete on the service, then locally)
//   http://...                a GET of the URL + "&scid=...&vend=..." (the end call)
// Values placed in a query must be percent-encoded by whoever builds the URL (the engine does so for
// its own title and visibility URLs): a raw "&", "=" or "%" would change the form body. A "|" in a URL
// is stored as "%7C" whatever the caller did, so no URL can split a list or move entries between the
// two lists. URLs of any other form are refused when they are added, since they could never succeed
// and would hold the job's upload for ever.
#include "engine/upload_internal.h"

#include <string>

// Where a new commit URL goes.
enum _commitlist {
    kCommitPre = 0,          // the pre list
    kCommitFinish = 1,       // the finish list
    kCommitFinishOrNow = 2,  // the finish list, or the pre list when the media is already sent
};

// Adds `url` to job `guid`'s lists under curupmtx. For kCommitFinishOrNow the list is chosen under the
// lock from what is true at that moment: the current job's in-memory finish state (media sent: the
// finish list has already been released into the pre list, so a URL put in the finish list would never
// run), otherwise the stored status (3, finished: pre, where it runs as a global commit).
void _upload_addcommiturl_byguid(const char* guid, const char* url, _commitlist list);

// `first` = the list's text up to its first "|" (the whole list when there is none); with `remove`
// the list keeps only what follows that "|" (nothing when there was none).
void getaddcommitjob(std::string& first, std::string& list, bool remove);

// The URL and form body of a stored commit URL (see the forms above); `suffix` is "scid=...&vend=...".
// An empty body means GET.
void _upload_translateurl(const std::string& url, std::string& outurl, std::string& outpost, const std::string& suffix);

// "scid=" + scid + "&vend=" + the edition word, both percent-encoded.
std::string _upload_commitsuffix(const std::string& scid);

// The commit list text with "|" made harmless ("%7C"); empty when the URL has none of the known forms.
std::string _upload_commitentry(const std::string& url);

// Splits "pre||finish" (no "||": all of it is the pre list).
void _upload_splitadddata(const std::string& adddata, std::string& pre, std::string& finish);

