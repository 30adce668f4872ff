// The local stand-in of the service: one HTTP server on the loopback address carrying every route
// the client talks to, with the state those routes keep (the uploaded files, ...). Tests build one per
// test (port 0) and point the client at hostPort(); the program stand-in-service runs the same thing.
//
//     StandInService service;                       // 127.0.0.1, a free port, a bounded lifetime
//     ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
//     service.server().addFault("/upload", Fault::statusOnNth(2));
//     ... run the client ...
//     EXPECT_TRUE(service.uploads().missing(scid, "MOV", size).empty());
//
// Routes are installed by one function per area (installUploadRoutes, ...), each in a file of its own,
// so that an area's handlers, state and fixtures stay together; a test may replace any route with
// server().route(...) to answer as it needs.
#pragma once

#include "service/HttpServer.h"
#include "service/PublishedVideos.h"
#include "service/UploadStore.h"
#include "service/World.h"

#include <cstdint>
#include <string>

namespace standin {

class StandInService {
public:
    explicit StandInService(ServerOptions options = {});

    HttpServer& server() { return server_; }
    const HttpServer& server() const { return server_; }
    UploadStore& uploads() { return uploads_; }
    const UploadStore& uploads() const { return uploads_; }
    // The videos the commit calls and the upload server were told of; the published ones head the
    // account's own page.
    PublishedVideos& published() { return published_; }
    const PublishedVideos& published() const { return published_; }
    // What the person did in the world that later replies show back (topic follows, reminders read).
    World& world() { return world_; }
    const World& world() const { return world_; }

    std::uint16_t port() const { return server_.port(); }
    // "127.0.0.1:<port>": the service host for the client, and the upload server its replies name.
    std::string hostPort() const { return server_.hostPort(); }

private:
    // Declared before the server, which is destroyed (its threads joined) first.
    UploadStore uploads_;
    PublishedVideos published_;
    World world_;
    HttpServer server_;
};

} // namespace standin
