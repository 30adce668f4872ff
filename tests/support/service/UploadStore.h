// The files the upload server assembles from posted blocks, kept in memory. A file is named by the
// upload token and the extension (t and p of the block request). Blocks may come in any order, more
// than once, and overlap: each is written at its offset, the latest bytes winning. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool operator==(const ByteRange&) const = default;
};

struct ReceivedBlock {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    unsigned times = 0;    // how often exactly this block (offset and length) came in
    std::string lastMode;  // m= of its last arrival ("up", "live", "rec")
};

class UploadStore {
public:
    // Largest file the store assembles: a block reaching past it is refused.
    explicit UploadStore(std::uint64_t maxFileSize = 512ull * 1024 * 1024);

    // Writes `bytes` at `offset` of file (token, ext). False (and nothing written) when the block would
    // reach past the largest file size.
    bool write(const std::string& token, const std::string& ext, std::uint64_t offset, std::string_view bytes,
               const std::string& mode = {});

    // Room for `size` bytes of file (token, ext), made when its first block comes (at once when it has
    // blocks already): a large file's blocks then never move the bytes received before them, which
    // growing the file block by block does every time it outgrows its room. Never shrinks a file.
    void reserve(const std::string& token, const std::string& ext, std::uint64_t size);

    // The end call for a file: counted; the file need not exist.
    void markEnded(const std::string& token, const std::string& ext);

    // Files with at least one block or end call, as (token, ext), sorted.
    std::vector<std::pair<std::string, std::string>> files() const;
    bool exists(const std::string& token, const std::string& ext) const;

    // The bytes assembled so far, up to the furthest byte received; gaps read as zero bytes.
    std::string contents(const std::string& token, const std::string& ext) const;

    // The ranges of [0, totalSize) that no block has covered yet, in order.
    std::vector<ByteRange> missing(const std::string& token, const std::string& ext, std::uint64_t totalSize) const;
    // The ranges covered so far, merged, in order.
    std::vector<ByteRange> received(const std::string& token, const std::string& ext) const;

    // Every distinct block (offset and length) received, in order of offset.
    std::vector<ReceivedBlock> blocks(const std::string& token, const std::string& ext) const;
    unsigned timesReceived(const std::string& token, const std::string& ext, std::uint64_t offset,
                           std::uint64_t length) const;
    std::size_t blockCount(const std::string& token, const std::string& ext) const; // arrivals, repeats included

    unsigned endCalls(const std::string& token, const std::string& ext) const;

    void clear();

private:
    struct File {
        std::string bytes;
        std::map<std::uint64_t, std::uint64_t> covered; // start -> end, merged, non-adjacent
        std::map<std::pair<std::uint64_t, std::uint64_t>, ReceivedBlock> blocks;
        std::size_t arrivals = 0;
        unsigned endCalls = 0;
    };
    using Key = std::pair<std::string, std::string>;

    const File* find(const std::string& token, const std::string& ext) const;
    static void cover(File& file, std::uint64_t start, std::uint64_t end);

    std::uint64_t maxFileSize_;
    mutable std::mutex mutex_;
    std::map<Key, File> files_;
    std::map<Key, std::uint64_t> reserved_; // room to make for files that have no block yet
};

} // namespace standin
