#include "HostileReplies.h"

#include <zlib.h>

#include <map>
#include <mutex>
#include <vector>

namespace TestServers {

namespace {
namespace HostileReplies_cpp {

std::string deflateZeros(size_t length)
{
    z_stream stream{};
    // 15 window bits + 16: a gzip wrapper.
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const std::vector<unsigned char> zeros(1 << 20, 0);
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    size_t left = length;
    int status = Z_OK;
    do {
        const size_t piece = left < zeros.size() ? left : zeros.size();
        stream.next_in = const_cast<unsigned char*>(zeros.data());
        stream.avail_in = static_cast<uInt>(piece);
        left -= piece;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = buffer.data();
            stream.avail_out = static_cast<uInt>(buffer.size());
            status = deflate(&stream, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    } while (left > 0 || status != Z_STREAM_END);
    deflateEnd(&stream);
    return out;
}

}  // namespace HostileReplies_cpp
}  // namespace

const std::string& gzipBomb(size_t inflatedLength)
{
    static std::mutex& mutex = *new std::mutex;
    static std::map<size_t, std::string>& made = *new std::map<size_t, std::string>;
    std::lock_guard lock(mutex);
    auto found = made.find(inflatedLength);
    if (found == made.end()) {
        found = made.emplace(inflatedLength, HostileReplies_cpp::deflateZeros(inflatedLength)).first;
    }
    return found->second;
}

Reply gzipBombReply(size_t inflatedLength)
{
    Reply reply;
    reply.headerLines = {"Content-Encoding: gzip", "Content-Type: application/json; charset=utf-8"};
    reply.body = gzipBomb(inflatedLength);
    return reply;
}

}  // namespace TestServers
