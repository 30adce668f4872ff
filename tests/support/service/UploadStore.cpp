#include "service/UploadStore.h"

#include <algorithm>
#include <iterator>

namespace standin {

UploadStore::UploadStore(std::uint64_t maxFileSize) : maxFileSize_(maxFileSize) {}

const UploadStore::File* UploadStore::find(const std::string& token, const std::string& ext) const
{
    auto found = files_.find(Key(token, ext));
    return found == files_.end() ? nullptr : &found->second;
}

void UploadStore::cover(File& file, std::uint64_t start, std::uint64_t end)
{
    // Merge with every range that overlaps or touches [start, end).
    auto it = file.covered.upper_bound(start);
    if (it != file.covered.begin()) {
        auto before = std::prev(it);
        if (before->second >= start) {
            it = before;
        }
    }
    while (it != file.covered.end() && it->first <= end) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        it = file.covered.erase(it);
    }
    file.covered.emplace(start, end);
}

bool UploadStore::write(const std::string& token, const std::string& ext, std::uint64_t offset,
                        std::string_view bytes, const std::string& mode)
{
    if (offset > maxFileSize_ || bytes.size() > maxFileSize_ - offset) {
        return false;
    }
    std::lock_guard lock(mutex_);
    File& file = files_[Key(token, ext)];
    if (auto room = reserved_.find(Key(token, ext)); room != reserved_.end()) {
        file.bytes.reserve(room->second);
        reserved_.erase(room);
    }
    std::uint64_t end = offset + bytes.size();
    if (file.bytes.size() < end) {
        file.bytes.resize(end, '\0');
    }
    std::copy(bytes.begin(), bytes.end(), file.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    if (!bytes.empty()) {
        cover(file, offset, end);
    }
    ReceivedBlock& block = file.blocks[{offset, bytes.size()}];
    block.offset = offset;
    block.length = bytes.size();
    ++block.times;
    block.lastMode = mode;
    ++file.arrivals;
    return true;
}

void UploadStore::reserve(const std::string& token, const std::string& ext, std::uint64_t size)
{
    size = std::min(size, maxFileSize_);
    std::lock_guard lock(mutex_);
    if (auto found = files_.find(Key(token, ext)); found != files_.end()) {
        found->second.bytes.reserve(std::max<std::uint64_t>(size, found->second.bytes.size()));
    } else {
        reserved_[Key(token, ext)] = size;
    }
}

void UploadStore::markEnded(const std::string& token, const std::string& ext)
{
    std::lock_guard lock(mutex_);
    ++files_[Key(token, ext)].endCalls;
}

std::vector<std::pair<std::string, std::string>> UploadStore::files() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, std::string>> names;
    for (const auto& [key, file] : files_) {
        names.push_back(key);
    }
    return names;
}

bool UploadStore::exists(const std::string& token, const std::string& ext) const
{
    std::lock_guard lock(mutex_);
    return find(token, ext) != nullptr;
}

std::string UploadStore::contents(const std::string& token, const std::string& ext) const
{
    std::lock_guard lock(mutex_);
    const File* file = find(token, ext);
    return file ? file->bytes : std::string();
}

std::vector<ByteRange> UploadStore::missing(const std::string& token, const std::string& ext,
                                            std::uint64_t totalSize) const
{
    std::lock_guard lock(mutex_);
    std::vector<ByteRange> gaps;
    std::uint64_t at = 0;
    if (const File* file = find(token, ext)) {
        for (const auto& [start, end] : file->covered) {
            if (start >= totalSize) {
                break;
            }
            if (start > at) {
                gaps.push_back({at, start - at});
            }
            at = std::max(at, end);
        }
    }
    if (at < totalSize) {
        gaps.push_back({at, totalSize - at});
    }
    return gaps;
}

std::vector<ByteRange> UploadStore::received(const std::string& token, const std::string& ext) const
{
    std::lock_guard lock(mutex_);
    std::vector<ByteRange> ranges;
    if (const File* file = find(token, ext)) {
        for (const auto& [start, end] : file->covered) {
            ranges.push_back({start, end - start});
        }
    }
    return ranges;
}

std::vector<ReceivedBlock> UploadStore::blocks(const std::string& token, const std::string& ext) const
{
    std::lock_guard lock(mutex_);
    std::vector<ReceivedBlock> list;
    if (const File* file = find(token, ext)) {
        for (const auto& [key, block] : file->blocks) {
            list.push_back(block);
        }
    }
    return list;
}

unsigned UploadStore::timesReceived(const std::string& token, const std::string& ext, std::uint64_t offset,
                                    std::uint64_t length) const
{
    std::lock_guard lock(mutex_);
    const File* file = find(token, ext);
    if (!file) {
        return 0;
    }
    auto found = file->blocks.find({offset, length});
    return found == file->blocks.end() ? 0 : found->second.times;
}

std::size_t UploadStore::blockCount(const std::string& token, const std::string& ext) const
{
    std::lock_guard lock(mutex_);
    const File* file = find(token, ext);
    return file ? file->arrivals : 0;
}

unsigned UploadStore::endCalls(const std::string& token, const std::string& ext) const
{
    std::lock_guard lock(mutex_);
    const File* file = find(token, ext);
    return file ? file->endCalls : 0;
}

void UploadStore::clear()
{
    std::lock_guard lock(mutex_);
    files_.clear();
    reserved_.clear();
}

} // namespace standin
