#include "service/PublishedVideos.h"

#include <algorithm>

#include "service/CommitRoutes.h"
#include "service/UploadRoutes.h"

namespace standin {

PublishedVideo& PublishedVideos::entry(const std::string& scid)
{
    auto found = std::find_if(videos_.begin(), videos_.end(), [&](const PublishedVideo& video) { return video.scid == scid; });
    if (found != videos_.end()) {
        return *found;
    }
    videos_.push_back(PublishedVideo{.scid = scid});
    return videos_.back();
}

void PublishedVideos::recordCommit(const std::string& path, const Params& form)
{
    const std::string scid = findParam(form, "scid").value_or("");
    if (scid.empty()) {
        return;
    }
    const auto field = [&form](const char* name) { return findParam(form, name); };
    std::lock_guard hold(mutex_);
    PublishedVideo& video = entry(scid);
    if (path == kModifyChannelPath) {
        if (auto title = field("title")) {
            video.title = *title;
        }
        if (auto location = field("location")) {
            video.location = *location;
            video.locationText = field("locationText").value_or("");
        }
    } else if (path == kWithPath) {
        video.withSuids = field("suids").value_or("");
    } else if (path == kShareWithPath) {
        video.seenBy = field("suids").value_or("");
    } else if (path == kShareWeiboPath) {
        video.shareTargets = field("othertype").value_or("");
        video.shareMessage = field("msg").value_or("");
    }
}

void PublishedVideos::markUploaded(const std::string& scid)
{
    std::lock_guard hold(mutex_);
    entry(scid).uploaded = true;
}

void PublishedVideos::setCover(const std::string& scid, const std::string& cover, int width, int height)
{
    std::lock_guard hold(mutex_);
    PublishedVideo& video = entry(scid);
    video.cover = cover;
    video.coverWidth = width;
    video.coverHeight = height;
}

void PublishedVideos::remove(const std::string& scid)
{
    std::lock_guard hold(mutex_);
    std::erase_if(videos_, [&](const PublishedVideo& video) { return video.scid == scid; });
}

std::vector<PublishedVideo> PublishedVideos::all() const
{
    std::lock_guard hold(mutex_);
    return videos_;
}

std::vector<PublishedVideo> PublishedVideos::published() const
{
    std::vector<PublishedVideo> done;
    std::lock_guard hold(mutex_);
    for (auto it = videos_.rbegin(); it != videos_.rend(); ++it) {
        if (it->uploaded && !it->title.empty()) {
            done.push_back(*it);
        }
    }
    return done;
}

void recordPublishing(HttpServer& server, PublishedVideos& published)
{
    // Whether the reply is the service's yes.
    const auto accepted = [](const Response& response) { return response.body.starts_with(R"({"status":200)"); };
    const auto wrap = [&server, accepted](const std::string& path, auto record) {
        HttpServer::Handler inner = server.handlerOf(path);
        if (!inner) {
            return;
        }
        server.route(path, [inner, accepted, record](const Request& request) {
            Response response = inner(request);
            if (accepted(response)) {
                record(request);
            }
            return response;
        });
    };
    for (const char* path : {kModifyChannelPath, kShareWithPath, kWithPath, kShareWeiboPath}) {
        wrap(path, [&published](const Request& request) {
            if (request.method == "POST") {
                published.recordCommit(request.path, request.formParams());
            }
        });
    }
    wrap(kMediaPath, [&published](const Request& request) {
        if (request.method == "POST") {
            published.remove(findParam(request.formParams(), "scid").value_or(""));
        }
    });
    // The file is named "<scid>.<ext>".
    wrap(kUploadEndPath, [&published](const Request& request) {
        const std::string name = request.param("t").value_or("");
        published.markUploaded(name.substr(0, name.rfind('.')));
    });
}

} // namespace standin
