// Walks one raw AAC frame (raw_data_block) element by element to find where it ends.
//
// Nothing is decoded: every field is only skipped, the Huffman codewords through lookup tables that
// give the whole length of a codeword with its sign bits in one step. The walk reads the caller's
// buffer in place and keeps its channel state on the stack. Reads beyond the end of the buffer see
// zero bits and never touch memory; the position is checked against the end where the syntax allows a
// loop to go on, and after every element, so a cut frame fails instead of running on.

#include "engine/aac/aac_parser.h"

#include "engine/aac/aac_tables.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<aac_log_callback> g_aac_log{nullptr};

// Element ids of a raw_data_block.
enum : unsigned { ID_SCE = 0, ID_CPE = 1, ID_CCE = 2, ID_LFE = 3, ID_DSE = 4, ID_PCE = 5, ID_FIL = 6, ID_END = 7 };

// Window sequences and band types.
constexpr unsigned EIGHT_SHORT_SEQUENCE = 2;
constexpr unsigned ZERO_HCB = 0;
constexpr unsigned ESC_HCB = 11;
constexpr unsigned RESERVED_HCB = 12;
constexpr unsigned NOISE_HCB = 13;  // 14 and 15 are the intensity books

// Extension payload types of a fill element.
constexpr unsigned EXT_DATA_ELEMENT = 2;
constexpr unsigned EXT_DYNAMIC_RANGE = 11;
constexpr unsigned ANC_DATA = 0;

constexpr unsigned TNS_MAX_ORDER_LONG = 12;  // AAC LC
constexpr unsigned MAX_ESCAPE_PREFIX = 8;    // quantised values stop at 8191 = 2^13 - 1
constexpr unsigned MAX_BANDS = 8 * 16;       // groups x bands, enough for either window length

inline uint64_t load_be64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(v);
#else
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i) {
        r = (r << 8) | p[i];
    }
    return r;
#endif
}

struct BitReader {
    const unsigned char* data;
    size_t bytes;
    size_t bits;
    size_t pos = 0;

    // The next 64 bits from the position, first bit highest; zeros past the end of the buffer.
    // At least 57 of them are real stream bits (or zeros past the end).
    uint64_t window() const
    {
        const size_t byte = pos >> 3;
        uint64_t v;
        if (byte + 8 <= bytes) {
            v = load_be64(data + byte);
        } else {
            v = 0;
            for (size_t i = 0; i < 8; ++i) {
                v = (v << 8) | (byte + i < bytes ? data[byte + i] : 0u);
            }
        }
        return v << (pos & 7);
    }
    // 1 <= n <= 32
    uint32_t read(unsigned n)
    {
        const uint32_t v = static_cast<uint32_t>(window() >> (64 - n));
        pos += n;
        return v;
    }
    bool read1() { return read(1) != 0; }
    void skip(size_t n) { pos += n; }
    void align() { pos = (pos + 7) & ~size_t(7); }
    bool overrun() const { return pos > bits; }
    // Bits left before the end of the buffer; negative once reads have gone past it.
    long long left() const { return static_cast<long long>(bits) - static_cast<long long>(pos); }
};

// State of one individual channel stream.
struct Ics {
    unsigned windowSequence = 0;
    unsigned maxSfb = 0;
    unsigned groups = 1;
    unsigned groupLength[8] = {1};
    const AacBandTable* bands = nullptr;
    uint8_t bandType[MAX_BANDS];  // [group * maxSfb + band], written by the section data before use
};

class Walk {
public:
    Walk(const AacTables& tables, const unsigned char* bytes, size_t length)
        : t_(tables), br_{bytes, length, length * 8}
    {
    }

    uint32_t run();
    const char* message() const { return message_; }

private:
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool overread() { return fail("overread_err"); }

    bool element(unsigned id);
    bool single_channel();
    bool channel_pair();
    bool coupling_channel();
    bool data_stream();
    bool program_config();
    bool fill();
    unsigned extension_payload(unsigned count);
    unsigned dynamic_range();

    bool ics_info(Ics& ics);
    bool channel_stream(Ics& ics, bool commonWindow);
    bool section_data(Ics& ics);
    bool scale_factor_data(const Ics& ics);
    bool pulse_data(const Ics& ics);
    bool tns_data(const Ics& ics);
    bool spectral_data(const Ics& ics);
    bool scalefactor_codeword();

    const AacTables& t_;
    BitReader br_;
    char message_[128] = {};
};

bool Walk::fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(message_, sizeof message_, format, args);
    va_end(args);
    return false;
}

uint32_t Walk::run()
{
    for (;;) {
        if (br_.left() < 3) {
            fail("warning:get_bits_left < 3");
            return AAC_CUTLEN_INVALID;
        }
        const unsigned id = br_.read(3);
        if (id == ID_END) {
            return static_cast<uint32_t>((br_.pos + 7) / 8);
        }
        if (!element(id)) {
            return AAC_CUTLEN_INVALID;
        }
    }
}

bool Walk::element(unsigned id)
{
    switch (id) {
    case ID_SCE:
    case ID_LFE:
        return single_channel();
    case ID_CPE:
        return channel_pair();
    case ID_CCE:
        return coupling_channel();
    case ID_DSE:
        return data_stream();
    case ID_PCE:
        return program_config();
    default:
        return fill();
    }
}

bool Walk::single_channel()
{
    br_.skip(4);  // element_instance_tag
    Ics ics;
    return channel_stream(ics, false);
}

bool Walk::channel_pair()
{
    br_.skip(4);  // element_instance_tag
    const bool commonWindow = br_.read1();
    Ics first;
    if (commonWindow) {
        if (!ics_info(first)) {
            return false;
        }
        const unsigned msMaskPresent = br_.read(2);
        if (msMaskPresent == 3) {
            return fail("ms_present = 3 is reserved.");
        }
        if (msMaskPresent == 1) {
            br_.skip(size_t(first.groups) * first.maxSfb);  // ms_used per group and band
        }
    }
    Ics second;
    if (commonWindow) {
        second = first;  // the shared window layout; each channel has its own sections
    }
    return channel_stream(first, commonWindow) && channel_stream(second, commonWindow);
}

bool Walk::coupling_channel()
{
    br_.skip(4);  // element_instance_tag
    const bool independentlySwitched = br_.read1();
    const unsigned coupled = br_.read(3);  // num_coupled_elements
    unsigned gainLists = 0;
    for (unsigned c = 0; c <= coupled; ++c) {
        ++gainLists;
        const bool targetIsPair = br_.read1();
        br_.skip(4);  // cc_target_tag_select
        if (targetIsPair) {
            const bool left = br_.read1();
            const bool right = br_.read1();
            if (left && right) {
                ++gainLists;
            }
        }
    }
    br_.skip(1 + 1 + 2);  // cc_domain, gain_element_sign, gain_element_scale
    Ics ics;
    if (!channel_stream(ics, false)) {
        return false;
    }
    for (unsigned c = 1; c < gainLists; ++c) {
        const bool common = independentlySwitched || br_.read1();
        if (common) {
            if (!scalefactor_codeword()) {  // common_gain_element
                return false;
            }
            continue;
        }
        for (unsigned g = 0; g < ics.groups; ++g) {
            for (unsigned sfb = 0; sfb < ics.maxSfb; ++sfb) {
                if (ics.bandType[g * ics.maxSfb + sfb] != ZERO_HCB && !scalefactor_codeword()) {
                    return false;
                }
            }
        }
        if (br_.overrun()) {
            return overread();
        }
    }
    return true;
}

bool Walk::data_stream()
{
    br_.skip(4);  // element_instance_tag
    const bool align = br_.read1();
    unsigned count = br_.read(8);
    if (count == 255) {
        count += br_.read(8);
    }
    if (align) {
        br_.align();
    }
    if (br_.left() < static_cast<long long>(count) * 8) {
        return overread();
    }
    br_.skip(size_t(count) * 8);
    return true;
}

bool Walk::program_config()
{
    br_.skip(4 + 2 + 4);  // element_instance_tag, object_type, sampling_frequency_index
    const unsigned front = br_.read(4);
    const unsigned side = br_.read(4);
    const unsigned back = br_.read(4);
    const unsigned lfe = br_.read(2);
    const unsigned assocData = br_.read(3);
    const unsigned validCc = br_.read(4);
    if (br_.read1()) {
        br_.skip(4);  // mono_mixdown_element_number
    }
    if (br_.read1()) {
        br_.skip(4);  // stereo_mixdown_element_number
    }
    if (br_.read1()) {
        br_.skip(2 + 1);  // matrix_mixdown_idx, pseudo_surround_enable
    }
    br_.skip(size_t(front + side + back) * 5 + size_t(lfe) * 4 + size_t(assocData) * 4 + size_t(validCc) * 5);
    br_.align();
    if (br_.left() < 8) {
        return overread();
    }
    const unsigned commentBytes = br_.read(8);
    if (br_.left() < static_cast<long long>(commentBytes) * 8) {
        return fail("comment_len error.");
    }
    br_.skip(size_t(commentBytes) * 8);
    return true;
}

bool Walk::fill()
{
    int count = static_cast<int>(br_.read(4));
    if (count == 15) {
        count += static_cast<int>(br_.read(8)) - 1;
    }
    while (count > 0) {
        count -= static_cast<int>(extension_payload(static_cast<unsigned>(count)));
        if (br_.overrun()) {
            return overread();
        }
    }
    return true;
}

// Returns the bytes the payload took; most types fill the rest of the element.
unsigned Walk::extension_payload(unsigned count)
{
    const unsigned type = br_.read(4);
    if (type == EXT_DYNAMIC_RANGE) {
        return dynamic_range();
    }
    if (type == EXT_DATA_ELEMENT) {
        const unsigned version = br_.read(4);
        if (version == ANC_DATA) {
            unsigned length = 0, loops = 0, part = 0;
            do {
                part = br_.read(8);
                length += part;
                ++loops;
            } while (part == 255 && !br_.overrun());
            br_.skip(size_t(length) * 8);
            return length + loops + 1;
        }
        br_.skip(size_t(count - 1) * 8);
        return count;
    }
    br_.skip(size_t(count - 1) * 8 + 4);  // fill nibble / other bits and the remaining bytes
    return count;
}

unsigned Walk::dynamic_range()
{
    unsigned n = 1;
    unsigned bands = 1;
    if (br_.read1()) {  // pce_tag_present
        br_.skip(4 + 4);
        ++n;
    }
    if (br_.read1()) {  // excluded_chns_present
        do {
            br_.skip(7);  // exclude_mask
            ++n;
        } while (br_.read1() && !br_.overrun());  // additional_excluded_chns
    }
    if (br_.read1()) {  // drc_bands_present
        const unsigned increment = br_.read(4);
        br_.skip(4);  // drc_interpolation_scheme
        ++n;
        bands += increment;
        br_.skip(size_t(bands) * 8);  // drc_band_top
        n += bands;
    }
    if (br_.read1()) {  // prog_ref_level_present
        br_.skip(7 + 1);
        ++n;
    }
    br_.skip(size_t(bands) * 8);  // dyn_rng_sgn, dyn_rng_ctl
    n += bands;
    return n;
}

bool Walk::ics_info(Ics& ics)
{
    if (br_.read1()) {  // ics_reserved_bit
        return fail("error bit");
    }
    ics.windowSequence = br_.read(2);
    br_.skip(1);  // window_shape
    if (ics.windowSequence == EIGHT_SHORT_SEQUENCE) {
        ics.maxSfb = br_.read(4);
        const unsigned grouping = br_.read(7);
        ics.groups = 1;
        ics.groupLength[0] = 1;
        for (int bit = 6; bit >= 0; --bit) {
            if (grouping & (1u << bit)) {
                ++ics.groupLength[ics.groups - 1];
            } else {
                ics.groupLength[ics.groups++] = 1;
            }
        }
        ics.bands = &t_.shortBands;
    } else {
        ics.maxSfb = br_.read(6);
        ics.groups = 1;
        ics.groupLength[0] = 1;
        ics.bands = &t_.longBands;
        if (br_.read1()) {  // predictor_data_present: no prediction tool in AAC LC
            return fail("predictor data not allowed");
        }
    }
    if (ics.maxSfb > ics.bands->bands) {
        return fail("Number of bands (%u) exceeds limit (%u).\n", ics.maxSfb, ics.bands->bands);
    }
    return true;
}

bool Walk::channel_stream(Ics& ics, bool commonWindow)
{
    br_.skip(8);  // global_gain
    if (!commonWindow && !ics_info(ics)) {
        return false;
    }
    if (!section_data(ics) || !scale_factor_data(ics)) {
        return false;
    }
    if (br_.read1() && !pulse_data(ics)) {
        return false;
    }
    if (br_.read1() && !tns_data(ics)) {
        return false;
    }
    if (br_.read1()) {  // gain_control_data_present
        return fail("SSR miss failtrue");
    }
    return spectral_data(ics);
}

bool Walk::section_data(Ics& ics)
{
    const bool shortWindows = ics.windowSequence == EIGHT_SHORT_SEQUENCE;
    const unsigned lengthBits = shortWindows ? 3 : 5;
    const unsigned escape = (1u << lengthBits) - 1;
    for (unsigned g = 0; g < ics.groups; ++g) {
        uint8_t* types = ics.bandType + g * ics.maxSfb;
        unsigned k = 0;
        while (k < ics.maxSfb) {
            if (br_.overrun()) {
                return overread();
            }
            const unsigned type = br_.read(4);
            if (type == RESERVED_HCB) {
                return fail("invalid band type\n");
            }
            unsigned length = 0;
            unsigned increment;
            while ((increment = br_.read(lengthBits)) == escape) {
                length += escape;
                if (br_.overrun()) {
                    return overread();
                }
            }
            length += increment;
            if (k + length > ics.maxSfb) {
                return fail("Number of bands (%u) exceeds limit (%u).\n", k + length, ics.maxSfb);
            }
            std::memset(types + k, static_cast<int>(type), length);
            k += length;
        }
    }
    return true;
}

inline bool Walk::scalefactor_codeword()
{
    const uint32_t leaf = aac_huff_lookup<AAC_SCALEFACTOR_ROOT_BITS>(t_.scalefactor.entries, br_.window());
    if (leaf == 0) {
        return fail("invalid scale factor code");
    }
    br_.skip(aac_huff_skip(leaf));
    return true;
}

bool Walk::scale_factor_data(const Ics& ics)
{
    bool noisePcm = true;  // the first noise energy is a 9-bit value, the others are codewords
    const unsigned count = ics.groups * ics.maxSfb;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned type = ics.bandType[i];
        if (type == ZERO_HCB) {
            continue;
        }
        if (type == NOISE_HCB && noisePcm) {
            noisePcm = false;
            br_.skip(9);
            continue;
        }
        if (!scalefactor_codeword()) {
            return false;
        }
    }
    return br_.overrun() ? overread() : true;
}

bool Walk::pulse_data(const Ics& ics)
{
    if (ics.windowSequence == EIGHT_SHORT_SEQUENCE) {
        return fail("Pulse tool not allowed in eight short sequence.\n");
    }
    const unsigned pulses = br_.read(2) + 1;
    const unsigned startBand = br_.read(6);
    if (startBand >= ics.bands->bands) {
        return fail("offest out of range");
    }
    unsigned position = ics.bands->offsets[startBand];
    for (unsigned i = 0; i < pulses; ++i) {
        position += br_.read(5);  // pulse_offset
        br_.skip(4);              // pulse_amp
        if (position >= ics.bands->offsets[ics.bands->bands]) {
            return fail("offest out of range");
        }
    }
    return true;
}

bool Walk::tns_data(const Ics& ics)
{
    const bool shortWindows = ics.windowSequence == EIGHT_SHORT_SEQUENCE;
    const unsigned windows = shortWindows ? 8 : 1;
    const unsigned filterBits = shortWindows ? 1 : 2;
    const unsigned lengthBits = shortWindows ? 4 : 6;
    const unsigned orderBits = shortWindows ? 3 : 5;
    const unsigned maxOrder = shortWindows ? 7 : TNS_MAX_ORDER_LONG;
    for (unsigned w = 0; w < windows; ++w) {
        const unsigned filters = br_.read(filterBits);
        if (filters == 0) {
            continue;
        }
        const unsigned coefResolution = br_.read(1);
        for (unsigned f = 0; f < filters; ++f) {
            br_.skip(lengthBits);
            const unsigned order = br_.read(orderBits);
            if (order > maxOrder) {
                return fail("tns_order error");
            }
            if (order == 0) {
                continue;
            }
            br_.skip(1);  // direction
            const unsigned compress = br_.read(1);
            br_.skip(size_t(order) * (3 + coefResolution - compress));
        }
    }
    return true;
}

bool Walk::spectral_data(const Ics& ics)
{
    const uint16_t* offsets = ics.bands->offsets;
    for (unsigned g = 0; g < ics.groups; ++g) {
        const uint8_t* types = ics.bandType + g * ics.maxSfb;
        const unsigned groupLength = ics.groupLength[g];
        unsigned sfb = 0;
        while (sfb < ics.maxSfb) {
            // A run of bands coded with the same book is one stream of codewords.
            const unsigned type = types[sfb];
            const unsigned start = sfb;
            while (sfb < ics.maxSfb && types[sfb] == type) {
                ++sfb;
            }
            if (type == ZERO_HCB || type >= NOISE_HCB) {
                continue;  // nothing coded: zero, noise or intensity bands
            }
            const unsigned coefficients = (offsets[sfb] - offsets[start]) * groupLength;
            const unsigned words = type < 5 ? coefficients >> 2 : coefficients >> 1;
            const uint32_t* table = t_.spectral[type].entries;
            // The hot loop: the reader lives in registers here and is stored back once per run.
            BitReader r = br_;
            if (type != ESC_HCB) {
                for (unsigned i = 0; i < words; ++i) {
                    r.skip(aac_huff_skip(aac_huff_lookup<AAC_SPECTRAL_ROOT_BITS>(table, r.window())));
                }
            } else {
                for (unsigned i = 0; i < words; ++i) {
                    const uint32_t leaf = aac_huff_lookup<AAC_SPECTRAL_ROOT_BITS>(table, r.window());
                    r.skip(aac_huff_skip(leaf));
                    for (unsigned e = aac_huff_escapes(leaf); e > 0; --e) {
                        // escape_prefix: N ones, a zero, then an (N + 4)-bit escape_word
                        const uint64_t w = r.window();
                        const unsigned ones = static_cast<unsigned>(__builtin_clzll(~w | 1));
                        if (ones > MAX_ESCAPE_PREFIX) {
                            br_ = r;
                            return fail("esc overflow");
                        }
                        r.skip(2 * ones + 5);
                    }
                }
            }
            br_ = r;
            if (br_.overrun()) {
                return overread();
            }
        }
    }
    return true;
}

}  // namespace

uint32_t getaudio_cutlen(const unsigned char* bytes, size_t length)
{
    if (bytes == nullptr) {
        length = 0;
    }
    if (length > AAC_CUTLEN_MAX_SCAN) {
        length = AAC_CUTLEN_MAX_SCAN;
    }
    const AacTables& tables = aac_tables();
    const char* reason = nullptr;
    uint32_t result = AAC_CUTLEN_INVALID;
    Walk walk(tables, bytes, length);
    if (!tables.valid) {
        reason = tables.error.c_str();
    } else {
        result = walk.run();
        reason = walk.message();
    }
    if (result == AAC_CUTLEN_INVALID) {
        if (aac_log_callback log = g_aac_log.load(std::memory_order_acquire)) {
            log(reason);
            log("decode error!!!");
        }
    }
    return result;
}

void aac_set_log_callback(aac_log_callback callback) { g_aac_log.store(callback, std::memory_order_release); }
