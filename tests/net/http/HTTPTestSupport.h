#pragma once
// Shared pieces of the HTTP client's tests: a scratch folder, a delegate that records what it is told
// (and on which thread, and whether a synchronous run had returned), and a fixture that makes the test
// thread the main thread, gives the process a scratch home folder and talks to a loopback server.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "net/http/HTTPRequest.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/Perform.h"
#include "fixtures/TemporaryFolder.h"
#include "servers/ScriptedHTTPServer.h"

// Records every message on the main thread, in order.
class RecordingDelegate : public HTTPRequestDelegate {
public:
    struct Event {
        std::string what;  // "started", "headers", "finished", "failed"
        Ref<HTTPRequest> request;
        bool onMainThread = false;
        int errorCode = 0;
    };

    std::vector<Event> events;
    // Optional: called after each event is recorded.
    std::function<void(const Event&)> onEvent;

    void requestStarted(const Ref<HTTPRequest>& request) override { record("started", request); }
    void request_didReceiveResponseHeaders(const Ref<HTTPRequest>& request, const HTTPHeaderFields&) override
    {
        record("headers", request);
    }
    void requestFinished(const Ref<HTTPRequest>& request) override { record("finished", request); }
    void requestFailed(const Ref<HTTPRequest>& request) override { record("failed", request); }

    size_t count(const std::string& what) const
    {
        size_t n = 0;
        for (const auto& e : events) {
            n += e.what == what;
        }
        return n;
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto& e : events) {
            out.push_back(e.what);
        }
        return out;
    }

private:
    void record(const std::string& what, const Ref<HTTPRequest>& request)
    {
        Event event{what, request, NSThread::isMainThread(), request->error() ? static_cast<int>(request->error()->code()) : 0};
        events.push_back(event);
        if (onEvent) {
            onEvent(events.back());
        }
    }
};

// A gate that a server handler waits at (boundedly) until the test opens it.
class Gate {
public:
    void open()
    {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // Waits until opened, at most `seconds`; answers whether it was opened.
    bool wait(double seconds = 10)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

class HTTPRequestTest : public ::testing::Test {
protected:
    HTTPRequestTest() { FoundationRoots::setHomeDirectory(home.path()); }
    // Handlers waiting at the gate are let go before the server stops.
    ~HTTPRequestTest() override { gate.open(); }

    Ref<HTTPRequest> request(const std::string& path = "/")
    {
        return HTTPRequest::requestWithURL(NSURL::URLWithString(server.url(path)));
    }

    // Serves the main loop until `done` holds (callbacks are delivered meanwhile).
    static bool waitFor(const std::function<bool()>& done, std::chrono::seconds timeout = std::chrono::seconds(10))
    {
        return pumpMainUntil(done, timeout);
    }
    // Waits without serving the main loop's common modes: messages posted to the main thread stay queued.
    static bool waitWithoutDelivering(const std::function<bool()>& done,
                                      std::chrono::seconds timeout = std::chrono::seconds(10))
    {
        return pumpMainUntil(done, timeout, "HTTPTestIdleMode");
    }
    // Serves everything posted to the main thread before this call (a marker posted now runs after it).
    static bool deliverPending()
    {
        auto marker = std::make_shared<std::atomic<bool>>(false);
        performSelectorOnMainThread([marker] { *marker = true; }, false);
        return pumpMainUntil([marker] { return marker->load(); });
    }

    // Makes a bundle with these Info.plist entries the main bundle, and forgets the built user agent.
    void useBundle(const std::vector<std::pair<std::string, std::string>>& entries)
    {
        const std::string folder = home / ("bundle" + std::to_string(++bundles_));
        std::filesystem::create_directories(folder);
        std::ofstream plist(folder + "/Info.plist");
        plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
        for (const auto& [key, value] : entries) {
            plist << "<key>" << key << "</key><string>" << value << "</string>\n";
        }
        plist << "</dict>\n</plist>\n";
        plist.close();
        NSBundle::setMainBundlePath(folder);
        HTTPRequest::setDefaultUserAgentString(std::nullopt);
    }

    MainThreadScope main;
    TemporaryFolder home;
    Gate gate;  // outlives the server, whose handlers may wait at it
    TestServers::ScriptedHTTPServer server;

private:
    int bundles_ = 0;
};
