#pragma once

#include <string>

struct AVFormatContext;

// Opens a movie or sound file on disk for demuxing. Only FFmpeg's file protocol is allowed and the
// path is always read as a path, so a name that looks like a protocol ("pipe:0", "http://...",
// "concat:a|b") opens the file of that name or fails; it never reads standard input or the network.
// Returns FFmpeg's result; on failure *format is left null.
int openLocalMediaFile(AVFormatContext** format, const std::string& path);
