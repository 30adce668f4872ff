#pragma once
// Length of one raw AAC frame.
//
// The camera's movie stores its AAC audio as raw frames (no ADTS header, no length field) and writes
// its index only when recording ends. To cut the growing file into audio tags, the live remux finds
// where each frame ends by walking the frame's bitstream syntax (every element up to the end element)
// without decoding any audio.
//
// Supported stream: AAC LC (no prediction, no gain control), 44100 or 48000 Hz (the two rates share
// their band tables), any number of channel elements. The recording is always 44100 Hz mono.
//
// Thread safety: getaudio_cutlen may be called from any thread at the same time; the lookup tables
// are built once per process, at the first call, and only read afterwards.

#include <cstddef>
#include <cstdint>

// Result of getaudio_cutlen for a frame that is incomplete or not valid AAC (-1 as unsigned).
constexpr uint32_t AAC_CUTLEN_INVALID = 0xFFFFFFFFu;

// Length in bytes of the raw frame (raw_data_block) that starts at bytes[0], counting the end element
// and the padding to the next byte; AAC_CUTLEN_INVALID when the frame is cut by the end of the buffer
// or is not valid AAC. A frame is accepted only when its end element lies inside the buffer.
// Never reads outside bytes[0 .. length); bytes may be null when length is 0. Buffers longer than
// AAC_CUTLEN_MAX_SCAN bytes are looked at only up to that many bytes (no frame comes near it).
uint32_t getaudio_cutlen(const unsigned char* bytes, size_t length);

constexpr size_t AAC_CUTLEN_MAX_SCAN = (size_t(1) << 28) - 1;

// Where the walker's failure messages go (the engine log). A failure logs its reason, then
// "decode error!!!". Null (the default) drops them. May be set from any thread at any time.
using aac_log_callback = void (*)(const char* message);
void aac_set_log_callback(aac_log_callback callback);
