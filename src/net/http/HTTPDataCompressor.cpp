#include "net/http/HTTPDataCompressor.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "net/http/HTTPFileConversion.h"
#include "net/http/HTTPRequestErrors.h"
#include "platform/foundation/NSString.h"

using HTTPFileConversion::setError;

Ref<HTTPDataCompressor> HTTPDataCompressor::compressor()
{
    auto compressor = std::make_shared<HTTPDataCompressor>();
    compressor->setupStream();
    return compressor;
}

HTTPDataCompressor::HTTPDataCompressor() = default;

HTTPDataCompressor::~HTTPDataCompressor()
{
    closeStream();
}

Ref<NSError> HTTPDataCompressor::setupStream()
{
    if (streamReady_) {
        return nullptr;
    }
    zStream_.zalloc = Z_NULL;
    zStream_.zfree = Z_NULL;
    zStream_.opaque = Z_NULL;
    zStream_.avail_in = 0;
    zStream_.next_in = Z_NULL;
    // Default level, deflate, 15 window bits + 16 (a gzip header and trailer), memory level 8.
    int status = deflateInit2(&zStream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    if (status != Z_OK) {
        return deflateErrorWithCode(status);
    }
    streamReady_ = true;
    return nullptr;
}

std::optional<NSData> HTTPDataCompressor::compressBytes_length_error_shouldFinish(const void* bytes, NSUInteger length,
                                                                                 Ref<NSError>* error, bool shouldFinish)
{
    if (length == 0) {
        return std::nullopt;
    }
    return deflatePiece(bytes, length, error, shouldFinish);
}

std::optional<NSData> HTTPDataCompressor::deflatePiece(const void* bytes, NSUInteger length, Ref<NSError>* error,
                                                       bool finish)
{
    if (!streamReady_) {
        setError(error, deflateErrorWithCode(Z_STREAM_ERROR));
        return std::nullopt;
    }
    const size_t step = std::max<size_t>(length / 2, HTTPFileConversion::kMinimumGrowth);
    // Only the call that takes the last of the input may finish the member.
    HTTPFileConversion::PumpResult result =
        HTTPFileConversion::pump(zStream_, bytes, length, step, step, finish, [&](bool takesLastInput) {
            return deflate(&zStream_, finish && takesLastInput ? Z_FINISH : Z_NO_FLUSH);
        });
    if (result.failed) {
        setError(error, deflateErrorWithCode(result.status));
        return std::nullopt;
    }
    return std::move(result.data);
}

Ref<NSError> HTTPDataCompressor::closeStream()
{
    if (!streamReady_) {
        return nullptr;
    }
    streamReady_ = false;
    int status = deflateEnd(&zStream_);
    // Ending a member that was never finished is not an error of the data written so far.
    if (status != Z_OK && status != Z_DATA_ERROR) {
        return deflateErrorWithCode(status);
    }
    return nullptr;
}

std::optional<NSData> HTTPDataCompressor::compressData_error(const NSData& data, Ref<NSError>* error)
{
    if (data.empty()) {
        return std::nullopt;
    }
    auto compressor = HTTPDataCompressor::compressor();
    Ref<NSError> failure;
    std::optional<NSData> result =
        compressor->compressBytes_length_error_shouldFinish(data.bytes(), data.length(), &failure, true);
    if (!result) {
        setError(error, failure);
        return std::nullopt;
    }
    if (Ref<NSError> closing = compressor->closeStream()) {
        setError(error, closing);
        return std::nullopt;
    }
    return result;
}

bool HTTPDataCompressor::compressDataFromFile_toFile_error(const std::string& sourcePath,
                                                            const std::string& destinationPath, Ref<NSError>* error)
{
    auto compressor = HTTPDataCompressor::compressor();
    return HTTPFileConversion::convertFile(
        sourcePath, destinationPath, "Compression", true,
        [&](const NSData& piece, bool last, Ref<NSError>* failure) {
            return compressor->deflatePiece(piece.bytes(), piece.length(), failure, last);
        },
        [&]() { return compressor->closeStream(); }, error);
}

Ref<NSError> HTTPDataCompressor::deflateErrorWithCode(int code)
{
    return HTTPRequestError(HTTPErrorCompression,
                            stringWithFormat("Compression of data failed with code %hi", static_cast<short>(code)));
}
