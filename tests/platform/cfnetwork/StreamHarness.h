#pragma once
// Drives one HTTP read stream on the test thread's run loop the way a client does: schedule, open,
// read on "bytes available" until "end" or "error".
#include <chrono>
#include <string>
#include <vector>

#include "platform/cfnetwork/CFHTTPReadStream.h"
#include "platform/foundation/NSRunLoop.h"

struct StreamHarness {
    Ref<CFHTTPReadStream> stream;
    std::string body;
    std::vector<CFStreamEventType> events;
    bool ended = false;
    bool failed = false;
    size_t readSize = 16384;
    std::string mode = kCFRunLoopDefaultMode;

    static Ref<CFHTTPMessage> get(const std::string& url, const std::string& method = "GET",
                                  const char* version = kCFHTTPVersion1_1)
    {
        return CFHTTPMessage::createRequest(method, NSURL::URLWithString(url), version);
    }

    explicit StreamHarness(Ref<CFHTTPReadStream> s) : stream(std::move(s)) {}

    void start(bool schedule = true)
    {
        stream->setClient(kCFStreamEventHasBytesAvailable | kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered |
                              kCFStreamEventOpenCompleted,
                          [this](CFReadStream& s, CFStreamEventType event) { handle(s, event); });
        if (schedule) {
            stream->scheduleWithRunLoop(NSRunLoop::currentRunLoop(), mode);
        }
        stream->open();
    }

    void handle(CFReadStream& s, CFStreamEventType event)
    {
        events.push_back(event);
        if (event == kCFStreamEventHasBytesAvailable) {
            std::string chunk(readSize, '\0');
            CFIndex n = s.read(reinterpret_cast<uint8_t*>(chunk.data()), static_cast<CFIndex>(chunk.size()));
            if (n > 0) {
                body.append(chunk, 0, static_cast<size_t>(n));
            }
        } else if (event == kCFStreamEventEndEncountered) {
            ended = true;
        } else if (event == kCFStreamEventErrorOccurred) {
            failed = true;
        }
    }

    bool finished() const { return ended || failed; }

    // Runs the loop until the exchange ended or failed (at most `seconds`).
    bool run(double seconds = 10)
    {
        return NSRunLoop::currentRunLoop()->runUntil(
            [this] { return finished(); },
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds)), mode);
    }

    int status() const
    {
        auto header = stream->copyResponseHeader();
        return header ? header->getResponseStatusCode() : 0;
    }
    std::string header(const std::string& name) const
    {
        auto header = stream->copyResponseHeader();
        return header ? header->copyAllHeaderFields().valueForKey(name) : std::string();
    }
    size_t count(CFStreamEventType event) const
    {
        size_t n = 0;
        for (auto e : events) {
            n += e == event;
        }
        return n;
    }
};
