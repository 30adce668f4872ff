#pragma once
// Live recording jobs: the job whose file the live remux writes while the camera records, and the
// engine's own recording. Run on the job thread (operations 32 to 39) and by the facade's
// UtilityAdapter_StartJob(1) / UtilityAdapter_StopJob(1).

// Operations 32, 33, 34 and 36: starts an effect job of that kind for the movie, named by `realname`
// when it is not empty.
void global_effectstart(const char* moviepath, const char* realname, int kind);
// Operation 35: ends the running effect job.
void global_effectend();
// The keep-local switch of operations 37 (on) and 38 (off): live data stays local during the
// recording.
void global_setkeeplocal(bool on);
// global_startjob(1) and global_endjob(1): the engine's own recording. Ending reports (2, 3) with the
// last byte count even when nothing records.
void _global_startrecording();
void _global_endrecording();
