// The picture the service shows for an uploaded video: its movie's first frame, as a PNG file's bytes
// with the frame's size, taken from the bytes the upload server assembled.
#pragma once

#include <optional>
#include <string>

namespace standin {

struct MovieStill {
    std::string png;
    int width = 0;
    int height = 0;
};

// The first frame of a movie in any container FFmpeg reads; nullopt when the bytes hold no picture
// that decodes (an incomplete file, no video track).
std::optional<MovieStill> movieStill(const std::string& movieBytes);

} // namespace standin
