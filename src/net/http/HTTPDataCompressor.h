#pragma once
// Deflates request bodies into gzip with zlib, in memory or from one file into another. One object is
// one gzip member, used for one body and by one thread at a time.
//
// Every error has the domain "HTTPRequestErrorDomain" and code 11 (HTTPErrorCompression).
#include <atomic>
#include <optional>
#include <string>

#include <zlib.h>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class HTTPDataCompressor : public NSObject {
public:
    // A compressor whose stream is already set up.
    static Ref<HTTPDataCompressor> compressor();

    ~HTTPDataCompressor() override;

    // Nothing when the stream is ready; otherwise initialises it (default level, gzip header and
    // trailer). Answers the error, or nullptr.
    Ref<NSError> setupStream();
    // The deflated bytes of the next piece; with shouldFinish the member is completed (gzip trailer
    // written). nullopt for an empty piece (no error), or on failure with *error set when given.
    std::optional<NSData> compressBytes_length_error_shouldFinish(const void* bytes, NSUInteger length,
                                                                  Ref<NSError>* error, bool shouldFinish);
    // Ends the stream (nothing when not ready). Answers zlib's error, or nullptr.
    Ref<NSError> closeStream();
    bool streamReady() const { return streamReady_.load(); }

    // `data` as one complete gzip member; nullopt and the error on failure (empty input gives nullopt
    // with no error).
    static std::optional<NSData> compressData_error(const NSData& data, Ref<NSError>* error);
    // Compresses the file at `sourcePath` into a new file at `destinationPath`, 262144 bytes at a time;
    // the destination always ends with a complete gzip member, whatever the source's length (an empty
    // source gives an empty member). Neither file is deleted on failure.
    static bool compressDataFromFile_toFile_error(const std::string& sourcePath, const std::string& destinationPath,
                                                  Ref<NSError>* error);
    // "Compression of data failed with code %hi".
    static Ref<NSError> deflateErrorWithCode(int code);

    HTTPDataCompressor();  // use compressor()

private:
    // One deflate pass over the input (which may be empty when finishing).
    std::optional<NSData> deflatePiece(const void* bytes, NSUInteger length, Ref<NSError>* error, bool finish);

    z_stream zStream_{};
    std::atomic<bool> streamReady_{false};
};
