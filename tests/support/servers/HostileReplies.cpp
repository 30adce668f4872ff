#include "HostileReplies.h"

#include <zlib.h>

#include <map>
#include <mutex>
#include <vector>

namespace TestServers {

namespace {
namespace HostileReplies_cpp {

// `length` zero bytes, compressed with the window bits given (15 + 16: in a gzip wrapper, 15: zlib's).
std::string deflateZeros(size_t length, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
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

void appendBigEndian(std::string& out, uint32_t value)
{
    for (int shift : {24, 16, 8, 0}) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void appendChunk(std::string& out, const char* type, const std::string& data)
{
    appendBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    appendBigEndian(out, static_cast<uint32_t>(
                             crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

}  // namespace HostileReplies_cpp
}  // namespace

std::string flatPng(uint32_t width, uint32_t height)
{
    using namespace HostileReplies_cpp;
    std::string header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header += std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit, grey, deflate, no filter kind, no interlace
    // Every row: filter byte 0 and (width + 7) / 8 zero bytes.
    const size_t raw = (size_t(1) + (width + 7) / 8) * height;
    const std::string compressed = deflateZeros(raw, 15);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", "");
    return png;
}

const std::string& gzipBomb(size_t inflatedLength)
{
    static std::mutex& mutex = *new std::mutex;
    static std::map<size_t, std::string>& made = *new std::map<size_t, std::string>;
    std::lock_guard lock(mutex);
    auto found = made.find(inflatedLength);
    if (found == made.end()) {
        found = made.emplace(inflatedLength, HostileReplies_cpp::deflateZeros(inflatedLength, 15 + 16)).first;
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

EndlessBodyServer::EndlessBodyServer(std::string contentType, size_t guardBytes, double lifetimeSeconds)
    : state_(std::make_shared<State>())
{
    state_->contentType = std::move(contentType);
    state_->guardBytes = guardBytes;
    core_ = std::make_unique<ServerCore>(
        [state = state_](Channel& channel, size_t) {
            ignoreBrokenPipeOnThisThread();
            std::string head;
            if (!channel.readUntil(head, "\r\n\r\n", 64 * 1024)) {
                return;
            }
            if (!channel.writeAll("HTTP/1.1 200 OK\r\nContent-Type: " + state->contentType +
                                  "\r\nTransfer-Encoding: chunked\r\n\r\n")) {
                return;
            }
            const std::string payload(64 * 1024, 'x');
            const std::string chunk = "10000\r\n" + payload + "\r\n";
            size_t sent = 0;
            while (sent < state->guardBytes && !channel.stopping()) {
                if (!channel.writeAll(chunk)) {
                    ++state->gone;
                    return;
                }
                sent += payload.size();
                state->sent += payload.size();
            }
        },
        lifetimeSeconds);
}

EndlessBodyServer::~EndlessBodyServer() { core_->stop(); }

std::string EndlessBodyServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(core_->port()) + path;
}

}  // namespace TestServers
