#pragma once
// Byte buffers (NSData and NSMutableData are one value type here: copying an NSData copies its bytes).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"

class NSData {
public:
    NSData() = default;
    NSData(const void* bytes, size_t length);
    explicit NSData(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    // The bytes of a text (UTF-8 as it stands).
    static NSData dataWithString(std::string_view text) { return NSData(text.data(), text.size()); }
    static NSData dataWithBytes_length(const void* bytes, size_t length) { return NSData(bytes, length); }
    // The whole file, or nothing when it cannot be read.
    static std::optional<NSData> dataWithContentsOfFile(const std::string& path);

    const uint8_t* bytes() const { return bytes_.data(); }
    uint8_t* mutableBytes() { return bytes_.data(); }
    NSUInteger length() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    const std::vector<uint8_t>& vector() const { return bytes_; }
    // The bytes as a std::string (any bytes, not necessarily UTF-8).
    std::string string() const { return std::string(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()); }
    std::string_view view() const { return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()}; }

    // Bytes of the range, clamped to the data (a range past the end gives the part that exists).
    NSData subdataWithRange(NSRange range) const;

    // NSMutableData
    void appendBytes_length(const void* bytes, size_t length);
    void appendData(const NSData& other) { appendBytes_length(other.bytes(), other.length()); }
    void appendString(std::string_view text) { appendBytes_length(text.data(), text.size()); }
    void setLength(NSUInteger length) { bytes_.resize(length); }
    void setData(const NSData& other) { bytes_ = other.bytes_; }
    void replaceBytesInRange_withBytes_length(NSRange range, const void* bytes, size_t length);
    void resetBytesInRange(NSRange range);

    // Writes the file; atomically means through a temporary file renamed into place. False on failure.
    bool writeToFile_atomically(const std::string& path, bool atomically) const;

    bool isEqualToData(const NSData& other) const { return bytes_ == other.bytes_; }
    bool operator==(const NSData& other) const = default;

    // "<48656c6c 6f>", as the platform describes data.
    std::string description() const;

private:
    std::vector<uint8_t> bytes_;
};

using NSMutableData = NSData;
