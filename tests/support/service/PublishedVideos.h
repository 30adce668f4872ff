// The videos published through the stand-in service: what the commit calls said of each upload (keyed
// by its scid) and whether the upload server closed its file complete. A video counts as published once
// it has a title and its file is complete; the account's own page lists those first (FeedRoutes.h).
// Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "service/HttpServer.h"

namespace standin {

struct PublishedVideo {
    std::string scid;
    std::string title;
    std::string location;      // "<lat>,<lng>"
    std::string locationText;
    std::string withSuids;     // the friends in it, joined by ","
    std::string seenBy;        // "all" or "off"
    std::string shareTargets;  // the microblog codes joined by ","
    std::string shareMessage;
    bool uploaded = false;
    // The picture its records show ("/img/<cover>.png") and that picture's size: a still of the
    // uploaded movie once the upload ended with one, else a fixture still.
    std::string cover = "video-3001";
    int coverWidth = 480;
    int coverHeight = 360;
};

class PublishedVideos {
public:
    // A commit call that was answered 200 (path and form as posted).
    void recordCommit(const std::string& path, const Params& form);
    // The upload server closed the file of this scid complete.
    void markUploaded(const std::string& scid);
    // The still of its uploaded movie, served as "/img/<cover>.png".
    void setCover(const std::string& scid, const std::string& cover, int width, int height);
    // A deleted video leaves the list.
    void remove(const std::string& scid);

    // Every video the calls named, in the order first named.
    std::vector<PublishedVideo> all() const;
    // Those with a title and a complete file, the newest first.
    std::vector<PublishedVideo> published() const;

private:
    PublishedVideo& entry(const std::string& scid);

    mutable std::mutex mutex_;
    std::vector<PublishedVideo> videos_;
};

// Wraps the routes that answer the commit calls, the upload server's end call and the deletion, as they
// stand, so that what they accept is recorded in `published` (which must outlive the server). Installed
// after every other route.
void recordPublishing(HttpServer& server, PublishedVideos& published);

} // namespace standin
