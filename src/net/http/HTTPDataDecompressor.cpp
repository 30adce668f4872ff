#include "net/http/HTTPDataDecompressor.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "net/http/HTTPFileConversion.h"
#include "net/http/HTTPRequestErrors.h"
#include "platform/foundation/NSString.h"

using HTTPFileConversion::setError;

Ref<HTTPDataDecompressor> HTTPDataDecompressor::decompressor()
{
    auto decompressor = std::make_shared<HTTPDataDecompressor>();
    decompressor->setupStream();
    return decompressor;
}

HTTPDataDecompressor::HTTPDataDecompressor() = default;

HTTPDataDecompressor::~HTTPDataDecompressor()
{
    closeStream();
}

Ref<NSError> HTTPDataDecompressor::setupStream()
{
    if (streamReady_) {
        return nullptr;
    }
    zStream_.zalloc = Z_NULL;
    zStream_.zfree = Z_NULL;
    zStream_.opaque = Z_NULL;
    zStream_.avail_in = 0;
    zStream_.next_in = Z_NULL;
    // 15 window bits + 32: a 32 KiB window and automatic recognition of a gzip or a zlib header.
    int status = inflateInit2(&zStream_, 47);
    if (status != Z_OK) {
        return inflateErrorWithCode(status);
    }
    streamReady_ = true;
    streamEnded_ = false;
    exceeded_ = false;
    inflatedLength_ = 0;
    return nullptr;
}

std::optional<NSData> HTTPDataDecompressor::uncompressBytes_length_error(const void* bytes, NSUInteger length,
                                                                         Ref<NSError>* error)
{
    if (length == 0) {
        return std::nullopt;
    }
    if (exceeded_) {
        setError(error, inflatedLengthError(maximumInflatedLength_));
        return std::nullopt;
    }
    if (!streamReady_) {
        setError(error, inflateErrorWithCode(Z_STREAM_ERROR));
        return std::nullopt;
    }
    const unsigned long long allowance =
        maximumInflatedLength_ > inflatedLength_ ? maximumInflatedLength_ - inflatedLength_ : 0;
    const size_t limit = allowance >= SIZE_MAX ? SIZE_MAX - 1 : static_cast<size_t>(allowance);
    const size_t step = std::max<size_t>(length / 2, HTTPFileConversion::kMinimumGrowth);
    HTTPFileConversion::PumpResult result = HTTPFileConversion::pump(
        zStream_, bytes, length, std::min(length + step, limit + 1), step, false,
        [&](bool) { return inflate(&zStream_, Z_NO_FLUSH); }, limit);
    if (result.exceeded) {
        exceeded_ = true;
        setError(error, inflatedLengthError(maximumInflatedLength_));
        return std::nullopt;
    }
    streamEnded_ = streamEnded_ || result.ended;
    if (result.failed) {
        setError(error, inflateErrorWithCode(result.status));
        return std::nullopt;
    }
    inflatedLength_ += result.data.length();
    return std::move(result.data);
}

Ref<NSError> HTTPDataDecompressor::closeStream()
{
    if (!streamReady_) {
        return nullptr;
    }
    streamReady_ = false;
    int status = inflateEnd(&zStream_);
    if (status != Z_OK) {
        return inflateErrorWithCode(status);
    }
    return nullptr;
}

std::optional<NSData> HTTPDataDecompressor::uncompressData_error(const NSData& data, Ref<NSError>* error,
                                                                 unsigned long long maximumLength)
{
    if (data.empty()) {
        return std::nullopt;
    }
    auto decompressor = HTTPDataDecompressor::decompressor();
    decompressor->setMaximumInflatedLength(maximumLength);
    if (!decompressor->streamReady()) {
        setError(error, inflateErrorWithCode(Z_STREAM_ERROR));
        return std::nullopt;
    }
    Ref<NSError> failure;
    std::optional<NSData> result = decompressor->uncompressBytes_length_error(data.bytes(), data.length(), &failure);
    if (!result) {
        setError(error, failure);
        return std::nullopt;
    }
    if (!decompressor->streamEnded()) {
        // The input stopped inside the compressed stream: part of a body is not the body.
        setError(error, inflateErrorWithCode(Z_BUF_ERROR));
        return std::nullopt;
    }
    if (Ref<NSError> closing = decompressor->closeStream()) {
        setError(error, closing);
        return std::nullopt;
    }
    return result;
}

bool HTTPDataDecompressor::uncompressDataFromFile_toFile_error(const std::string& sourcePath,
                                                                const std::string& destinationPath, Ref<NSError>* error,
                                                                unsigned long long maximumLength)
{
    auto decompressor = HTTPDataDecompressor::decompressor();
    decompressor->setMaximumInflatedLength(maximumLength);
    bool sawInput = false;
    return HTTPFileConversion::convertFile(
        sourcePath, destinationPath, "Decompression", false,
        [&](const NSData& piece, bool, Ref<NSError>* failure) {
            sawInput = sawInput || !piece.empty();
            return decompressor->uncompressBytes_length_error(piece.bytes(), piece.length(), failure);
        },
        [&]() -> Ref<NSError> {
            const bool truncated = sawInput && !decompressor->streamEnded();
            Ref<NSError> closing = decompressor->closeStream();
            if (closing) {
                return closing;
            }
            return truncated ? inflateErrorWithCode(Z_BUF_ERROR) : nullptr;
        },
        error);
}

Ref<NSError> HTTPDataDecompressor::inflateErrorWithCode(int code)
{
    return HTTPRequestError(HTTPErrorCompression,
                            stringWithFormat("Decompression of data failed with code %hi", static_cast<short>(code)));
}

Ref<NSError> HTTPDataDecompressor::inflatedLengthError(unsigned long long maximumLength)
{
    return HTTPRequestError(
        HTTPErrorCompression,
        stringWithFormat("Decompression of data failed because the inflated data would be longer than %llu bytes",
                         maximumLength));
}

bool HTTPDataDecompressor::isInflatedLengthError(const Ref<NSError>& error)
{
    return error && error->code() == HTTPErrorCompression &&
           error->localizedDescription().find("inflated data would be longer than") != std::string::npos;
}
