// Holds a route's answers until the test lets them go, so a test can look at what a client shows
// while its request is out, however quickly the machine would otherwise answer:
//
//     standin::HeldReplies held(service.server(), "/m/sysmsg.json");
//     ... start the request ...
//     ASSERT_TRUE(held.waitUntilHeld(1, std::chrono::seconds(10)));
//     EXPECT_EQ(header->state(), RefreshLoading);
//     held.release();
//
// The route's current handler is wrapped: a held request waits on its connection's thread, then the
// handler answers as usual. Releasing lets every held and later request through; so does the
// destructor, and so does the hold's own bound (a minute), so a failing test never leaves the
// server's stop waiting on a held thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "service/HttpServer.h"

namespace standin {

class HeldReplies {
public:
    HeldReplies(HttpServer& server, const std::string& path);
    ~HeldReplies();
    HeldReplies(const HeldReplies&) = delete;
    HeldReplies& operator=(const HeldReplies&) = delete;

    // True once `count` requests of the path are held (or were held and have been let go).
    bool waitUntilHeld(std::size_t count, std::chrono::milliseconds timeout) const;
    std::size_t held() const;
    void release();

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace standin
