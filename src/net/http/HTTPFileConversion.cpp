#include "net/http/HTTPFileConversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "net/http/HTTPRequestErrors.h"
#include "platform/foundation/NSString.h"

namespace HTTPFileConversion {

namespace {

struct File {
    int fd = -1;
    ~File()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Up to kPieceSize bytes (fewer only at the end of the file); nullopt with errno on a read error.
std::optional<NSData> readPiece(int fd)
{
    std::vector<uint8_t> buffer(kPieceSize);
    size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    buffer.resize(got);
    return NSData(std::move(buffer));
}

bool writeAll(int fd, const NSData& data)
{
    size_t put = 0;
    while (put < data.length()) {
        ssize_t n = ::write(fd, data.bytes() + put, data.length() - put);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        put += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool convertFile(const std::string& sourcePath, const std::string& destinationPath, const char* verb, bool lookAhead,
                 const Convert& convert, const Finish& finish, Ref<NSError>* error)
{
    File destination;
    destination.fd = ::open(destinationPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (destination.fd < 0) {
        setError(error, HTTPRequestError(HTTPErrorCompression,
                                         stringWithFormat("%s of %@ failed because we were to create a file at %@",
                                                          verb, sourcePath, destinationPath)));
        return false;
    }
    struct stat st{};
    if (::stat(sourcePath.c_str(), &st) != 0) {
        setError(error, HTTPRequestError(HTTPErrorCompression, stringWithFormat("%s of %@ failed the file does not exist",
                                                                                verb, sourcePath)));
        return false;
    }
    auto readFailure = [&](int code) {
        setError(error, HTTPRequestError(
                            HTTPErrorCompression,
                            stringWithFormat("%s of %@ failed because we were unable to read from the source data file",
                                             verb, sourcePath),
                            NSError::posixError(code, sourcePath)));
        finish();
        return false;
    };
    File source;
    source.fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (source.fd < 0 || S_ISDIR(st.st_mode)) {
        return readFailure(source.fd < 0 ? errno : EISDIR);
    }

    std::optional<NSData> piece = readPiece(source.fd);
    if (!piece) {
        return readFailure(errno);
    }
    bool first = true;
    for (;;) {
        if (piece->empty() && !(first && lookAhead)) {
            break;  // the end of the source (an empty source still gets its one final piece when looking ahead)
        }
        std::optional<NSData> next;
        bool last = false;
        if (lookAhead) {
            next = piece->empty() ? NSData() : readPiece(source.fd);
            if (!next) {
                return readFailure(errno);
            }
            last = next->empty();
        }
        first = false;
        Ref<NSError> conversionError;
        std::optional<NSData> converted = convert(*piece, last, &conversionError);
        if (!converted && conversionError) {
            setError(error, conversionError);
            finish();
            return false;
        }
        if (converted && !writeAll(destination.fd, *converted)) {
            const int code = errno;
            setError(error, HTTPRequestError(HTTPErrorCompression,
                                             stringWithFormat("%s of %@ failed because we were unable to write to the "
                                                              "destination data file at %@",
                                                              verb, sourcePath, destinationPath),
                                             NSError::posixError(code, destinationPath)));
            finish();
            return false;
        }
        if (lookAhead) {
            if (last) {
                break;
            }
            piece = std::move(next);
        } else {
            piece = readPiece(source.fd);
            if (!piece) {
                return readFailure(errno);
            }
        }
    }
    if (::close(destination.fd) != 0) {
        destination.fd = -1;
        const int code = errno;
        setError(error, HTTPRequestError(HTTPErrorCompression,
                                         stringWithFormat("%s of %@ failed because we were unable to write to the "
                                                          "destination data file at %@",
                                                          verb, sourcePath, destinationPath),
                                         NSError::posixError(code, destinationPath)));
        finish();
        return false;
    }
    destination.fd = -1;
    if (Ref<NSError> closing = finish()) {
        setError(error, closing);
        return false;
    }
    return true;
}

PumpResult pump(z_stream& stream, const void* bytes, size_t length, size_t firstSize, size_t growth, bool drain,
                const std::function<int(bool takesLastInput)>& step, size_t limit)
{
    PumpResult result;
    // One byte beyond the limit is room enough to learn that the limit is passed.
    const size_t ceiling = limit == SIZE_MAX ? SIZE_MAX : limit + 1;
    std::vector<std::vector<uint8_t>> pieces;
    size_t produced = 0;     // in every piece
    size_t inLast = 0;       // in the last piece
    const auto* in = static_cast<const uint8_t*>(bytes);
    size_t remaining = length;
    for (;;) {
        if (pieces.empty() || inLast == pieces.back().size()) {
            // A new piece: the first guess, then steps that grow with what came out so far, so a long
            // output is gathered in few pieces.
            size_t size = pieces.empty() ? firstSize : std::max(growth, produced / 2);
            size = std::min(std::max<size_t>(size, 1), ceiling - produced);
            pieces.emplace_back(size);
            inLast = 0;
        }
        std::vector<uint8_t>& out = pieces.back();
        const auto availIn = static_cast<uInt>(std::min<size_t>(remaining, UINT_MAX));
        const auto availOut = static_cast<uInt>(std::min<size_t>(out.size() - inLast, UINT_MAX));
        stream.next_in = const_cast<Bytef*>(in);
        stream.avail_in = availIn;
        stream.next_out = out.data() + inLast;
        stream.avail_out = availOut;
        const int status = step(availIn == remaining);
        const size_t consumed = availIn - stream.avail_in;
        in += consumed;
        remaining -= consumed;
        const size_t made = availOut - stream.avail_out;
        inLast += made;
        produced += made;
        if (produced > limit) {
            result.exceeded = true;
            return result;
        }
        if (status == Z_STREAM_END) {
            result.ended = true;
            break;
        }
        const bool wantsRoom = status == Z_BUF_ERROR && stream.avail_out == 0;
        if (status == Z_BUF_ERROR && !wantsRoom && !drain && remaining == 0) {
            break;  // nothing more can be done without more input
        }
        if (status != Z_OK && !wantsRoom) {
            result.failed = true;
            result.status = status;
            return result;
        }
        if (!drain && remaining == 0 && stream.avail_out > 0) {
            break;
        }
    }
    pieces.back().resize(inLast);
    if (pieces.size() == 1) {
        result.data = NSData(std::move(pieces.front()));
        return result;
    }
    std::vector<uint8_t> joined;
    joined.reserve(produced);
    for (std::vector<uint8_t>& piece : pieces) {
        joined.insert(joined.end(), piece.begin(), piece.end());
        std::vector<uint8_t>().swap(piece);
    }
    result.data = NSData(std::move(joined));
    return result;
}

}  // namespace HTTPFileConversion
