#pragma once
// The upload engine: the upload manager thread and the operations on upload jobs. The manager's own
// state and steps are in upload_internal.h.
#include <string>

// Starts the upload manager thread unless it runs.
void upload_manager_startjob();
// Asks the upload manager thread to stop and waits until it has finished its pass and released its
// current job.
void upload_manager_stopjob();

// Lock and unlock the upload lock (recursive) for the job engine: the current upload job changes only
// under it, and the manager holds it for a whole pass.
void upload_getlock();
void upload_releaselock();

// The text of one column of job `guid` ("rowid" or a column of localmedia), empty when the job, the
// column or its value is missing. The facade passes only known column names.
std::string upload_requestdata(const char* guid, const char* column);

// Ends the current upload job's back-off after a network change so that it retries at once.
void _upload_clean_current_network_error();
