#pragma once
// Inflates gzip (or zlib) bodies with zlib: piece by piece while a body arrives, all at once when it is
// read, or from one file into another. One object is one stream, used for one body and by one thread
// at a time.
//
// An inflating step runs until the stream has ended, or until the input is used up while zlib still had
// room to write: output never stays behind inside zlib, so a reply that compresses far better than
// the first buffer guess is never cut short. Conversions in one go (uncompressData_error, the file
// conversion) that use up their input without reaching the end of the compressed stream report the
// truncation as an error instead of handing back part of a body.
//
// A stream inflates to at most maximumInflatedLength() bytes in all (64 MiB unless set): a small
// compressed body can stand for an enormous one, and no body of this service comes near the limit.
// Past it the stream fails with inflatedLengthError() and stays failed.
//
// Every error has the domain "HTTPRequestErrorDomain" and code 11 (HTTPErrorCompression).
#include <atomic>
#include <optional>
#include <string>

#include <zlib.h>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class HTTPDataDecompressor : public NSObject {
public:
    static constexpr unsigned long long kDefaultMaximumInflatedLength = 64ull << 20;

    // A decompressor whose stream is already set up.
    static Ref<HTTPDataDecompressor> decompressor();

    ~HTTPDataDecompressor() override;

    // Nothing when the stream is ready; otherwise initialises it for gzip or zlib input (automatic
    // header recognition). Answers the error, or nullptr.
    Ref<NSError> setupStream();
    // The inflated bytes of the next piece of the stream. nullopt for an empty piece (no error), or on
    // failure with *error set when error is given.
    std::optional<NSData> uncompressBytes_length_error(const void* bytes, NSUInteger length, Ref<NSError>* error);
    // Ends the stream (nothing when not ready). Answers zlib's error, or nullptr.
    Ref<NSError> closeStream();
    bool streamReady() const { return streamReady_.load(); }
    // Whether the compressed stream has reached its end.
    bool streamEnded() const { return streamEnded_; }
    // The most bytes the whole stream may inflate to, and how many it has inflated to so far.
    unsigned long long maximumInflatedLength() const { return maximumInflatedLength_; }
    void setMaximumInflatedLength(unsigned long long value) { maximumInflatedLength_ = value; }
    unsigned long long inflatedLength() const { return inflatedLength_; }

    // The whole of `data` inflated, through a new decompressor; nullopt and the error on failure (empty
    // input gives nullopt with no error).
    static std::optional<NSData> uncompressData_error(
        const NSData& data, Ref<NSError>* error, unsigned long long maximumLength = kDefaultMaximumInflatedLength);
    // Inflates the file at `sourcePath` into a new file at `destinationPath`, 262144 bytes at a time.
    // Neither file is deleted on failure.
    static bool uncompressDataFromFile_toFile_error(const std::string& sourcePath, const std::string& destinationPath,
                                                    Ref<NSError>* error,
                                                    unsigned long long maximumLength = kDefaultMaximumInflatedLength);
    // "Decompression of data failed with code %hi".
    static Ref<NSError> inflateErrorWithCode(int code);
    // "Decompression of data failed because the inflated data would be longer than %llu bytes".
    static Ref<NSError> inflatedLengthError(unsigned long long maximumLength);
    // Whether `error` is the one above.
    static bool isInflatedLengthError(const Ref<NSError>& error);

    HTTPDataDecompressor();  // use decompressor()

private:
    z_stream zStream_{};
    std::atomic<bool> streamReady_{false};
    bool streamEnded_ = false;
    bool exceeded_ = false;
    unsigned long long maximumInflatedLength_ = kDefaultMaximumInflatedLength;
    unsigned long long inflatedLength_ = 0;
};
