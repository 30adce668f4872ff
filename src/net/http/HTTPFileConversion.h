#pragma once
// What the gzip compressor and decompressor share. Internal to the HTTP client.
// - convertFile: file-to-file conversion; the destination is created first (empty, replacing a file of
//   that name), then the source is read in pieces of 262144 bytes, each piece converted and written.
// - pump: one piece of input through deflate or inflate into a growing buffer.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <zlib.h>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"

namespace HTTPFileConversion {

// The smallest step by which an output buffer grows (half of a tiny input would be 0).
inline constexpr size_t kMinimumGrowth = 4096;

inline constexpr size_t kPieceSize = 262144;

// Converts one piece; `last` is true for the final piece (which may be empty when the source is).
// Answers the converted bytes (nullopt with *error set on failure).
using Convert = std::function<std::optional<NSData>(const NSData& piece, bool last, Ref<NSError>* error)>;
// Ends the conversion once the source is used up; answers an error or nullptr.
using Finish = std::function<Ref<NSError>()>;

// `verb` is "Compression" or "Decompression" and begins every error text. `lookAhead` reads one piece
// ahead so that the final piece is known when it is converted (the compressor must finish its member
// with the last piece); without it every piece is converted with last = false.
bool convertFile(const std::string& sourcePath, const std::string& destinationPath, const char* verb,
                 bool lookAhead, const Convert& convert, const Finish& finish, Ref<NSError>* error);

// Stores `value` in *error when an error out-parameter was given.
inline void setError(Ref<NSError>* error, Ref<NSError> value)
{
    if (error) {
        *error = std::move(value);
    }
}

struct PumpResult {
    NSData data;         // what zlib wrote
    int status = Z_OK;   // zlib's status of the failing call when `failed`
    bool failed = false;
    bool ended = false;  // the compressed stream reached its end
    bool exceeded = false;  // more than `limit` bytes would have come out (`data` is empty then)
};

// Runs `step` (one call of deflate or inflate on `stream`, told whether it is handed the last of the
// input) over `length` bytes, the output buffer starting at `firstSize` and growing by `growth` bytes.
// It stops when the stream ends, or when all input is taken while zlib still had room to write and
// `drain` is false (nothing is left pending inside zlib then); with `drain` it runs to the stream's
// end. A step that cannot progress for want of output room is retried with a larger buffer; one that
// cannot progress for want of input, with the input used up and `drain` off, just stops.
// At most `limit` bytes may come out: once one more is produced the pump stops, frees what it made and
// answers `exceeded`. The output is gathered in separate pieces joined at the end, so a refused stream
// never holds much more than `limit` bytes at once (a growing single buffer would briefly hold its old
// and new copies).
PumpResult pump(z_stream& stream, const void* bytes, size_t length, size_t firstSize, size_t growth, bool drain,
                const std::function<int(bool takesLastInput)>& step, size_t limit = SIZE_MAX);

}  // namespace HTTPFileConversion
