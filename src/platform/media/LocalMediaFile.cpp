#include "platform/media/LocalMediaFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

int openLocalMediaFile(AVFormatContext** format, const std::string& path)
{
    if (path.empty()) {
        *format = nullptr;
        return AVERROR(ENOENT);
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(format, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        *format = nullptr;
    }
    return opened;
}
