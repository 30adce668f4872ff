#pragma once
// The engine's log: one line per step, to the log file and to the interface's log callback.
//
// A line is "[MM-DD hh:mm:ss]" of the local wall clock followed directly by the message. While the
// log is on, each line goes to the callback (line, message) on the logging thread and is appended,
// with a newline, to the log file, which is opened and closed for every line so that nothing is lost
// when the process ends. The log is off until UtilityAdapter_Init turns it on. The file is
// "/sdcard/ombri.log" at first, "" (nothing written) after UtilityAdapter_Init, then the log folder +
// "/ombri.log". A log file larger than 1 MiB is deleted whenever the path is set, the log is
// switched or a callback is installed.
#include "engine/UtilityAdapter.h"

#include <cstddef>
#include <string>

// The log size limit: a file larger than this is deleted.
constexpr long kPrintlogSizeLimit = 1048576;
// Lines are formatted in a buffer of this size; longer messages are cut.
constexpr size_t kPrintlogLineSize = 8192;

// printf-style; does nothing while the log is off.
void printlog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Sets the log file path (copied); applies the size limit.
void setlogfile(const char* path);
// Switches the log; applies the size limit.
void enableprintlog(bool on);
// Installs the log callback (null removes it); applies the size limit.
void setprintlogcb(UtilityAdapter_LogCallback callback);

// The current log file path and switch (for the engine's own checks and tests).
std::string getlogfile();
bool isprintlogenabled();
