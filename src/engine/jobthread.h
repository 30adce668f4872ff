#pragma once
// The job thread `asyn_thread` and the job engine's own operations: the queue of job operations, the
// start and end of the engine's jobs, the device orientation and the last live status.
//
// Every queued operation runs on the one job thread, one at a time in the order queued, and ends with
// the status event (7, code), whatever the code (unknown codes do nothing else):
//   1 start now, 2 pause, 3 reset, 4 delete locally, 5 add commit URL, 6 title, 7 add finish-commit
//   URL, 9 title also on the service, 10 visibility, 11 start queued, 12 delete on the service
//   (jobcontrol.h); 32, 33, 34, 36 start an effect job, 35 end it, 37 and 38 start an engine
//   recording (data kept local / sent live), 39 end it (livejob.h). 8 (read one column) is answered by
//   the facade and never queued.
#include <string>

// Starts the job thread once per process; later calls do nothing.
void global_startasynthread();

// Queues job operation `code` for guid with its extra text (texts copied; null counts as empty). The
// two numbers are kept with the job and not read.
void global_addasynjob(unsigned int code, const char* guid, const char* extra, int a, int b);

// kind 1: starts an engine recording; kind 2: starts the upload manager thread.
void global_startjob(int kind);
// kind 1: ends the engine recording (only reports the last byte count when none runs); kind 2: stops
// the upload manager thread.
void global_endjob(int kind);

// Device orientation input (angles in degrees): the orientation 0..3 plus flag 4 (it changed) and
// flag 8 (the device has held still for a while). `sample` is read as a number.
int global_orientation_sensor(const void* sample, int x, int y);
// The orientation 0..3 the live video uses (0 until the first input).
int global_getorientation();

// The last live status (the upload manager's display text and percentage for a live job), guarded by
// g_statusmtx. Cleared (empty text, 0) when a live job ends.
void global_setlastlivestatus(const char* text, int value);
void global_getlastlivestatus(std::string& text, int& value);
