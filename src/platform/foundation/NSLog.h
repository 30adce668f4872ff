#pragma once
// NSLog: one line per message on stderr, "2013-05-01 12:00:00.123 program[pid:tid] message", and to
// every installed sink. Tests read what was logged with an NSLogCapture.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/NSString.h"

// Logs a message that is already formatted.
void NSLogMessage(const std::string& message);

// NSLog(format, arguments...) with the formats of stringWithFormat.
template <class... Args>
void NSLog(std::string_view format, const Args&... args)
{
    NSLogMessage(stringWithFormat(format, args...));
}

// Sinks receive every message (without the date and process prefix), on the logging thread.
using NSLogSink = std::function<void(const std::string& message)>;
int NSLogAddSink(NSLogSink sink);
void NSLogRemoveSink(int token);
// Whether messages also go to stderr (on by default).
void NSLogSetStderrEnabled(bool enabled);

// Collects the messages logged, from any thread, while it exists. Quiet keeps them off stderr meanwhile.
class NSLogCapture {
public:
    explicit NSLogCapture(bool quiet = false);
    ~NSLogCapture();
    NSLogCapture(const NSLogCapture&) = delete;
    NSLogCapture& operator=(const NSLogCapture&) = delete;

    std::vector<std::string> lines() const;
    // Whether some message contains the text.
    bool contains(std::string_view text) const;
    // Messages equal to the text.
    size_t count(std::string_view text) const;
    void clear();

private:
    struct State;
    std::shared_ptr<State> state_;
    int token_ = 0;
    bool quiet_ = false;
};
