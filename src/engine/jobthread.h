#pragma once
// The job thread `asyn_thread` and the job engine's own operations: the queue of job operations, live
// recording jobs, the engine's own recording and the device orientation.
//
// Hooks filled by the job thread work (jobthread.cpp); until then they do nothing.

// Starts the job thread once per process; later calls do nothing.
void global_startasynthread();

// Queues job operation `code` for guid with its extra text (texts copied; null counts as empty).
void global_addasynjob(unsigned int code, const char* guid, const char* extra, int a, int b);

// kind 1: starts an engine recording; kind 2: starts the upload manager thread.
void global_startjob(int kind);
// kind 1: ends the engine recording (only reports the last byte count when none runs); kind 2: stops
// the upload manager thread.
void global_endjob(int kind);

// Device orientation input: the orientation 0..3 plus flag 4 (changed) and flag 8 (steady).
int global_orientation_sensor(const void* sample, int x, int y);
