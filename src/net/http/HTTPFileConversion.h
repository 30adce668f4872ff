#pragma once
// File-to-file conversion shared by the gzip compressor and decompressor: the destination is created
// first (empty, replacing a file of that name), then the source is read in pieces of 262144 bytes,
// each piece converted and written. Internal to the HTTP client.
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"

namespace HTTPFileConversion {

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

}  // namespace HTTPFileConversion
