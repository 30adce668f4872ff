#include "engine/flv.h"

#include <algorithm>
#include <cstring>

void flv_putbe16(unsigned char* p, uint32_t value)
{
    p[0] = static_cast<unsigned char>(value >> 8);
    p[1] = static_cast<unsigned char>(value);
}

void flv_putbe24(unsigned char* p, uint32_t value)
{
    p[0] = static_cast<unsigned char>(value >> 16);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value);
}

void flv_putbe32(unsigned char* p, uint32_t value)
{
    p[0] = static_cast<unsigned char>(value >> 24);
    p[1] = static_cast<unsigned char>(value >> 16);
    p[2] = static_cast<unsigned char>(value >> 8);
    p[3] = static_cast<unsigned char>(value);
}

uint32_t flv_getbe32(const unsigned char* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void flv_putdouble(unsigned char* p, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(bits);
        bits >>= 8;
    }
}

namespace {

// An 11-byte tag header: type, data size, timestamp (lower 24 bits, then bits 24-31), stream id 0.
void _flv_taghead(unsigned char* p, unsigned char type, uint32_t datasize, uint32_t timestamp)
{
    p[0] = type;
    flv_putbe24(p + 1, datasize);
    flv_putbe24(p + 4, timestamp & 0xFFFFFF);
    p[7] = static_cast<unsigned char>(timestamp >> 24);
    flv_putbe24(p + 8, 0);
}

void _amf_key(std::string& out, const char* key)
{
    const size_t n = std::strlen(key);
    unsigned char length[2];
    flv_putbe16(length, static_cast<uint32_t>(n));
    out.append(reinterpret_cast<const char*>(length), 2);
    out.append(key, n);
}

void _amf_number(std::string& out, double value)
{
    unsigned char number[9];
    number[0] = 0;
    flv_putdouble(number + 1, value);
    out.append(reinterpret_cast<const char*>(number), sizeof number);
}

void _amf_string(std::string& out, const std::string& text)
{
    const size_t n = std::min<size_t>(text.size(), 0xFFFF);
    unsigned char head[3];
    head[0] = 2;
    flv_putbe16(head + 1, static_cast<uint32_t>(n));
    out.append(reinterpret_cast<const char*>(head), sizeof head);
    out.append(text, 0, n);
}

}  // namespace

std::string flv_makeheader(int width, int height, const std::string& id, int accelero)
{
    std::string out;
    out.reserve(500);
    static const unsigned char filehead[13] = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
    out.append(reinterpret_cast<const char*>(filehead), sizeof filehead);
    const size_t tagstart = out.size();
    out.append(11, '\0');  // the script tag header, once its size is known

    _amf_string(out, "onMetaData");
    // An ECMA array announcing 15 entries; readers go by the end marker.
    static const unsigned char array[5] = {8, 0, 0, 0, 15};
    out.append(reinterpret_cast<const char*>(array), sizeof array);
    _amf_key(out, "width");
    _amf_number(out, width);
    _amf_key(out, "height");
    _amf_number(out, height);
    _amf_key(out, "duration");
    _amf_number(out, 0);
    _amf_key(out, "creator");
    _amf_string(out, "ombri");
    _amf_key(out, "id");
    _amf_string(out, id);
    _amf_key(out, "accelero");
    _amf_number(out, accelero);
    static const unsigned char end[3] = {0, 0, 9};
    out.append(reinterpret_cast<const char*>(end), sizeof end);

    const uint32_t datasize = static_cast<uint32_t>(out.size() - tagstart - 11);
    _flv_taghead(reinterpret_cast<unsigned char*>(out.data() + tagstart), 18, datasize, 0);
    unsigned char previous[4];
    flv_putbe32(previous, datasize + 11);
    out.append(reinterpret_cast<const char*>(previous), sizeof previous);
    return out;
}

std::string flv_makecodecheader(const unsigned char* box, size_t boxsize)
{
    std::string out;
    if (box == nullptr || boxsize < 8) {
        return out;
    }
    const size_t payload = boxsize - 8;
    out.resize(16);
    unsigned char* p = reinterpret_cast<unsigned char*>(out.data());
    _flv_taghead(p, 9, static_cast<uint32_t>(payload + 5), 0);
    p[11] = 0x17;  // key frame, AVC
    p[12] = 0;     // sequence header
    p[13] = p[14] = p[15] = 0;
    out.append(reinterpret_cast<const char*>(box) + 8, payload);
    unsigned char previous[4];
    flv_putbe32(previous, static_cast<uint32_t>(payload + 16));
    out.append(reinterpret_cast<const char*>(previous), sizeof previous);
    out.append(reinterpret_cast<const char*>(kFlvAacSequenceTag), sizeof kFlvAacSequenceTag);
    return out;
}

void flv_videotaghead(unsigned char head[kFlvVideoHeadSize], uint32_t nallength, uint32_t timestamp,
                      unsigned char nalheader)
{
    _flv_taghead(head, 9, nallength + 9, timestamp);
    head[11] = (nalheader & 0x0F) == 5 ? 0x17 : 0x27;
    head[12] = 1;
    head[13] = head[14] = head[15] = 0;
}

void flv_audiotaghead(unsigned char head[kFlvAudioHeadSize], uint32_t framelength, uint32_t timestamp)
{
    _flv_taghead(head, 8, framelength + 2, timestamp);
    head[11] = 0xAF;
    head[12] = 1;
}

uint32_t flv_nextaudiotimestamp(uint32_t timestamp)
{
    uint32_t t = timestamp + 23;
    if ((t / 23) % 5 == 4) {
        t += 1;
    }
    if ((t / 23) % 50 == 49) {
        t += 1;
    }
    return t;
}

int flv_adjustframeduration(int duration, uint32_t videotimestamp, uint32_t audiotimestamp)
{
    if (videotimestamp > audiotimestamp) {
        if (duration > kFlvMinFrameDuration) {
            duration -= 2;
        }
    } else if (videotimestamp < audiotimestamp) {
        if (duration < kFlvMaxFrameDuration) {
            duration += 2;
        }
    }
    return duration;
}

bool flv_isvideonalheader(unsigned char nalheader)
{
    switch (nalheader) {
    case 0x21:
    case 0x25:
    case 0x41:
    case 0x45:
    case 0x61:
    case 0x65:
    case 0xB8:
        return true;
    default:
        return false;
    }
}
