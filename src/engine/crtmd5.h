#pragma once
// The engine's MD5 message digest (the algorithm of RFC 1321). The job engine names jobs by the
// digest of a text: md52str(digest) gives the 32 lower-case hexadecimal digits.
#include <cstddef>
#include <cstdint>
#include <string>

namespace crtfun {

// The running state: the bit count (low word first), the chaining words A, B, C, D and the input
// waiting for a full 64-byte block.
struct md5_state_s {
    uint32_t count[2];
    uint32_t abcd[4];
    uint8_t buf[64];
};

// The 16-byte digest.
typedef uint8_t _md5buffer[16];

// Count 0 and the initial chaining values.
void md5_init(md5_state_s* state);
// Adds bytes; every full 64-byte block is processed at once. Any alignment of `data` is accepted.
void md5_append(md5_state_s* state, const void* data, size_t length);
// Padding and length, then the 16 digest bytes. The state must be started again before reuse.
void md5_finish(md5_state_s* state, _md5buffer digest);
// The digest as 32 lower-case hexadecimal digits, first byte first.
std::string md52str(const _md5buffer digest);

// The digest over the calls of append(): crtmd5 md5; md5.append(...); md5.hexdigest().
class crtmd5 {
public:
    crtmd5();
    void append(const void* data, size_t length);
    void append(const std::string& text) { append(text.data(), text.size()); }
    // Ends the digest and writes its 16 bytes; the object starts afresh afterwards.
    void finish(_md5buffer digest);
    // Ends the digest and returns its text; the object starts afresh afterwards.
    std::string hexdigest();
    // The text of the digest of `text`.
    static std::string hex(const std::string& text);

private:
    md5_state_s state_;
};

}  // namespace crtfun
