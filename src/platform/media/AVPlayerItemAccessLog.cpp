#include "platform/media/AVPlayerItemAccessLog.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVPlayer.h"

Ref<AVPlayerItemAccessLog> AVPlayerItemAccessLog::logOfItem(AVPlayerItem& item)
{
    const Ref<NSURL> url = item.URL();
    if (!url) {
        return nullptr;
    }
    auto event = std::make_shared<AVPlayerItemAccessLogEvent>();
    event->URI = url->absoluteString();
    if (url->isFileURL()) {
        std::error_code error;
        const auto size = std::filesystem::file_size(url->path(), error);
        event->numberOfBytesTransferred = error ? 0 : int64_t(size);
    }
    double seconds = CMTimeGetSeconds(item.duration());
    if (!(seconds > 0)) {
        const Ref<AVAsset> asset = item.asset();
        seconds = asset ? CMTimeGetSeconds(asset->duration()) : 0;
    }
    event->observedBitrate = seconds > 0 ? double(event->numberOfBytesTransferred) * 8 / seconds : 0;
    // The stand-in's playback decodes ahead of the clock and never waits for data, so it never stalls.
    event->numberOfStalls = 0;
    event->durationWatched = CMTimeGetSeconds(item.currentTime());
    auto log = std::make_shared<AVPlayerItemAccessLog>();
    log->events_.push_back(event);
    return log;
}

NSData AVPlayerItemAccessLog::extendedLogData() const
{
    std::string text = "#Version: 1.0\n#Software: ombri\n#Fields: uri bytes c-observed-bitrate c-stalls c-duration-watched\n";
    for (const Ref<AVPlayerItemAccessLogEvent>& event : events_) {
        text += stringWithFormat("%@ %lld %.0f %ld %.3f\n", event->URI, static_cast<long long>(event->numberOfBytesTransferred),
                                 event->observedBitrate, static_cast<long>(event->numberOfStalls), event->durationWatched);
    }
    return NSData::dataWithString(text);
}

Ref<AVPlayerItemAccessLog> AVPlayerItem::accessLog() { return AVPlayerItemAccessLog::logOfItem(*this); }
