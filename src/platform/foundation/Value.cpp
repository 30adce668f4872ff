#include "platform/foundation/Value.h"

#include "platform/foundation/DecimalDigits.h"
#include "platform/foundation/ValueArena.h"

#include <locale.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

// ---- Dictionary storage -----------------------------------------------------------------------------

namespace {

uint64_t hashSeed()
{
    // A seed of its own in every process, so keys that collide cannot be prepared in advance.
    static const uint64_t seed = [] {
        uint64_t value = 0x9E3779B97F4A7C15ULL;
        try {
            std::random_device device;
            value ^= (static_cast<uint64_t>(device()) << 32) | device();
        } catch (...) {
            value ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&value));
        }
        return value;
    }();
    return seed;
}

inline uint64_t mix(uint64_t a, uint64_t b)
{
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

inline uint64_t load64(const char* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline uint64_t load32(const char* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// A fast keyed hash of a dictionary key (a few multiplications for the usual short keys).
uint64_t hashKey(std::string_view key)
{
    constexpr uint64_t k1 = 0xA0761D6478BD642FULL;
    constexpr uint64_t k2 = 0xE7037ED1A0B428DBULL;
    const char* p = key.data();
    size_t n = key.size();
    uint64_t h = hashSeed() ^ n;
    if (n > 16) {
        while (n > 16) {
            h = mix(load64(p) ^ k1, load64(p + 8) ^ h);
            p += 16;
            n -= 16;
        }
        // The last sixteen bytes, overlapping what came before.
        p = key.data() + key.size() - 16;
        n = 16;
    }
    uint64_t a = 0;
    uint64_t b = 0;
    if (n >= 8) {
        a = load64(p);
        b = load64(p + n - 8);
    } else if (n >= 4) {
        a = load32(p);
        b = load32(p + n - 4);
    } else if (n > 0) {
        a = (static_cast<uint64_t>(static_cast<uint8_t>(p[0])) << 16) |
            (static_cast<uint64_t>(static_cast<uint8_t>(p[n >> 1])) << 8) | static_cast<uint8_t>(p[n - 1]);
    }
    return mix(a ^ k1 ^ key.size(), mix(b ^ k2, h ^ k1));
}

inline bool sameKey(const std::string& a, std::string_view b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), b.size()) == 0;
}

}  // namespace

struct Value::Dict {
    // Small dictionaries are searched linearly; larger ones keep an index beside the ordered items.
    static constexpr size_t kIndexThreshold = 12;
    // Above this many items a new dictionary's duplicate check builds the index itself (and keeps it)
    // instead of a table on the stack.
    static constexpr size_t kStackCheckLimit = 512;

    DictionaryItems items;
    // The index, made at the first lookup of a dictionary of more than kIndexThreshold items (many are
    // only read whole, or never, and pay nothing for it): an open-addressing table of item positions
    // plus one (0 is an empty slot), its size a power of two at least twice the item count, after a
    // first word that holds size - 1. It refers to the items' own keys, so no key is copied for it.
    // Readers on several threads may make it at once: each builds its own, one is published with an
    // atomic exchange and the others are thrown away. Changes (exclusive by contract) keep it in step
    // or drop it, to be made again when next needed.
    mutable std::atomic<uint32_t*> index{nullptr};

    Dict() = default;
    // The copy makes its own index when it is first looked up.
    Dict(const Dict& other) : items(other.items) {}
    Dict& operator=(const Dict&) = delete;
    ~Dict() { delete[] index.load(std::memory_order_relaxed); }

    // The items as they are; a later duplicate of a key replaces the earlier value in its place.
    explicit Dict(DictionaryItems&& list) : items(std::move(list))
    {
        if (hasDuplicates()) {
            DictionaryItems all = std::move(items);
            items.clear();
            items.reserve(all.size());
            dropIndex();
            for (auto& [key, value] : all) {
                set(std::move(key), std::move(value));
            }
        }
    }

    bool hasDuplicates()
    {
        const size_t n = items.size();
        if (n <= kIndexThreshold) {
            for (size_t i = 1; i < n; ++i) {
                for (size_t j = 0; j < i; ++j) {
                    if (sameKey(items[j].first, items[i].first)) {
                        return true;
                    }
                }
            }
            return false;
        }
        if (n > kStackCheckLimit) {
            uint32_t* block = newIndexBlock(n);
            for (size_t i = 0; i < n; ++i) {
                if (!insertSlot(block, i)) {
                    delete[] block;
                    return true;
                }
            }
            index.store(block, std::memory_order_relaxed);
            return false;
        }
        // A table of the same shape as the index, on the stack and thrown away.
        uint32_t block[1 + 2 * kStackCheckLimit];
        const size_t size = indexSize(n);
        block[0] = static_cast<uint32_t>(size - 1);
        std::memset(block + 1, 0, size * sizeof(uint32_t));
        for (size_t i = 0; i < n; ++i) {
            if (!insertSlot(block, i)) {
                return true;
            }
        }
        return false;
    }

    std::ptrdiff_t find(std::string_view key) const
    {
        if (items.size() <= kIndexThreshold) {
            for (size_t i = 0; i < items.size(); ++i) {
                if (sameKey(items[i].first, key)) {
                    return static_cast<std::ptrdiff_t>(i);
                }
            }
            return -1;
        }
        const uint32_t* block = index.load(std::memory_order_acquire);
        if (block == nullptr) {
            block = publishIndex();
        }
        const size_t mask = block[0];
        const uint32_t* slots = block + 1;
        for (size_t at = hashKey(key) & mask;; at = (at + 1) & mask) {
            const uint32_t slot = slots[at];
            if (slot == 0) {
                return -1;
            }
            if (sameKey(items[slot - 1].first, key)) {
                return static_cast<std::ptrdiff_t>(slot - 1);
            }
        }
    }

    template <class K, class V>
    void set(K&& key, V&& value)
    {
        const auto at = find(key);
        if (at >= 0) {
            items[static_cast<size_t>(at)].second = std::forward<V>(value);
            return;
        }
        if constexpr (std::is_same_v<std::decay_t<K>, std::string>) {
            items.emplace_back(std::forward<K>(key), std::forward<V>(value));
        } else {
            items.emplace_back(std::string(key), std::forward<V>(value));
        }
        // find() made the index if the dictionary was large enough to have one; the new item goes
        // in, unless the table is too full, when it is dropped and made again at its next use.
        uint32_t* block = index.load(std::memory_order_relaxed);
        if (block != nullptr) {
            if (2 * items.size() > static_cast<size_t>(block[0]) + 1) {
                dropIndex();
            } else {
                insertSlot(block, items.size() - 1);
            }
        }
    }

    void erase(std::string_view key)
    {
        const auto at = find(key);
        if (at < 0) {
            return;
        }
        items.erase(items.begin() + at);
        dropIndex();
    }

    void clear()
    {
        items.clear();
        dropIndex();
    }

private:
    static size_t indexSize(size_t n)
    {
        size_t size = 32;
        while (size < 2 * n) {
            size *= 2;
        }
        return size;
    }

    static uint32_t* newIndexBlock(size_t n)
    {
        const size_t size = indexSize(n);
        auto* block = new uint32_t[size + 1]();
        block[0] = static_cast<uint32_t>(size - 1);
        return block;
    }

    // Enters item i into the table; false (and nothing entered) when its key is already there.
    bool insertSlot(uint32_t* block, size_t i) const
    {
        const size_t mask = block[0];
        uint32_t* slots = block + 1;
        const std::string& key = items[i].first;
        for (size_t at = hashKey(key) & mask;; at = (at + 1) & mask) {
            const uint32_t slot = slots[at];
            if (slot == 0) {
                slots[at] = static_cast<uint32_t>(i + 1);
                return true;
            }
            if (sameKey(items[slot - 1].first, key)) {
                return false;
            }
        }
    }

    // Builds the index of the items (whose keys are distinct) and publishes it, or takes the one
    // another reader published first.
    const uint32_t* publishIndex() const
    {
        uint32_t* block = newIndexBlock(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            insertSlot(block, i);
        }
        uint32_t* expected = nullptr;
        if (!index.compare_exchange_strong(expected, block, std::memory_order_acq_rel, std::memory_order_acquire)) {
            delete[] block;
            return expected;
        }
        return block;
    }

    void dropIndex() { delete[] index.exchange(nullptr, std::memory_order_relaxed); }
};

// ---- Construction and lifetime ----------------------------------------------------------------------

void Value::copyFrom(const Value& other)
{
    switch (other.kind_) {
    case Kind::String: ::new (&s_.str) std::string(other.s_.str); break;
    case Kind::Decimal: {
        // A packed decimal makes its text again when asked (its text pointer may be being published
        // by another reader, so it is not read); a text one needs its own copy.
        const Decimal& o = other.s_.dec;
        ::new (&s_.dec) Decimal{o.digits, o.packed, o.negative, o.integerDigits, o.fractionDigits,
                                o.packed ? nullptr : new std::string(*o.text)};
        break;
    }
    case Kind::Data: ::new (&s_.data) std::shared_ptr<const NSData>(other.s_.data); break;
    case Kind::Array: ::new (&s_.array) std::shared_ptr<ArrayItems>(other.s_.array); break;
    case Kind::Dictionary: ::new (&s_.dict) std::shared_ptr<Dict>(other.s_.dict); break;
    case Kind::Object: ::new (&s_.object) Ref<NSObject>(other.s_.object); break;
    default: copyInline(other); return;
    }
    kind_ = other.kind_;
}

void Value::moveFrom(Value& other) noexcept
{
    // Tests in the order of how common the kinds are in parsed data (an indirect jump costs more).
    const Kind kind = other.kind_;
    if (kind == Kind::Decimal || isInline(kind)) {
        std::memcpy(static_cast<void*>(&s_), static_cast<const void*>(&other.s_), sizeof(Decimal));  // text goes along
    } else if (kind == Kind::String) {
        ::new (&s_.str) std::string(std::move(other.s_.str));
    } else if (kind == Kind::Dictionary) {
        ::new (&s_.dict) std::shared_ptr<Dict>(std::move(other.s_.dict));
    } else if (kind == Kind::Array) {
        ::new (&s_.array) std::shared_ptr<ArrayItems>(std::move(other.s_.array));
    } else if (kind == Kind::Data) {
        ::new (&s_.data) std::shared_ptr<const NSData>(std::move(other.s_.data));
    } else {
        ::new (&s_.object) Ref<NSObject>(std::move(other.s_.object));
    }
    kind_ = kind;
    other.kind_ = Kind::Nil;
}

void Value::release() noexcept
{
    const Kind kind = kind_;
    if (kind == Kind::String) {
        s_.str.~basic_string();
    } else if (kind == Kind::Decimal) {
        delete s_.dec.text;
    } else if (kind == Kind::Dictionary) {
        s_.dict.~shared_ptr();
    } else if (kind == Kind::Array) {
        s_.array.~shared_ptr();
    } else if (kind == Kind::Data) {
        s_.data.~shared_ptr();
    } else if (kind == Kind::Object) {
        s_.object.~shared_ptr();
    }
    kind_ = Kind::Nil;
    s_.u = 0;
}

Value::Value(const char* s)
{
    if (s != nullptr) {
        ::new (&s_.str) std::string(s);
        kind_ = Kind::String;
    }
}

Value::Value(NSData d) : kind_(Kind::Data)
{
    ::new (&s_.data) std::shared_ptr<const NSData>(std::make_shared<const NSData>(std::move(d)));
}

Value::Value(Ref<NSObject> object)
{
    if (object) {
        ::new (&s_.object) Ref<NSObject>(std::move(object));
        kind_ = Kind::Object;
    }
}

// ---- Handles made in bulk ----------------------------------------------------------------------------

struct ValueArena::Blocks {
    // Handles made here and not yet freed, plus kOpen while the scope lives: the scope counts what it
    // makes without an atomic operation and settles the count when it ends.
    static constexpr uint64_t kOpen = uint64_t{1} << 62;
    static constexpr size_t kAlign = alignof(std::max_align_t);
    // The first block is part of this object, so a small parse costs one allocation in all.
    static constexpr size_t kFirstChunk = 512;
    // Kept below the size whose release makes the C library tidy its whole heap and hand memory back
    // to the system, which a parse would then fault in again page by page.
    static constexpr size_t kLargestChunk = 32 * 1024 - kAlign;
    // Blocks of the largest size, given back by parses that ended, are kept for the next parse (up to
    // this many, 8 MB): freed, they would merge into large free regions whose release hands the memory
    // back to the system just the same.
    static constexpr size_t kKeptChunks = 256;

    struct Chunk {
        Chunk* next;
        size_t size;  // bytes after the header
    };
    static constexpr size_t kHeader = (sizeof(Chunk) + kAlign - 1) & ~(kAlign - 1);

    std::atomic<uint64_t> live{kOpen};
    uint64_t made = 0;  // only while the scope lives, on its thread
    Chunk* chunks = nullptr;
    char* next = first;
    char* limit = first + kFirstChunk;
    size_t nextChunk = 2 * kFirstChunk;
    alignas(kAlign) char first[kFirstChunk];

    Blocks()
    {
#if defined(__SANITIZE_ADDRESS__)
        // Handed out a handle at a time, so that a handle used after it was freed is caught.
        ASAN_POISON_MEMORY_REGION(first, kFirstChunk);
#endif
    }

    void* allocate(size_t bytes)
    {
        bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
        if (static_cast<size_t>(limit - next) < bytes) {
            addChunk(bytes);
        }
        void* p = next;
        next += bytes;
        ++made;
#if defined(__SANITIZE_ADDRESS__)
        ASAN_UNPOISON_MEMORY_REGION(p, bytes);
#endif
        return p;
    }

    struct KeptChunks {
        std::mutex mutex;
        Chunk* first = nullptr;
        size_t count = 0;
    };
    // Shared by every thread, and never destroyed: blocks may be given back on any thread at any time.
    static KeptChunks& kept()
    {
        static auto* instance = new KeptChunks;
        return *instance;
    }

    void addChunk(size_t bytes)
    {
        const size_t size = std::max(nextChunk, bytes);
        nextChunk = std::min(nextChunk * 2, kLargestChunk);
        Chunk* reused = nullptr;
        if (size == kLargestChunk) {
            KeptChunks& cache = kept();
            std::lock_guard lock(cache.mutex);
            if (cache.first != nullptr) {
                reused = cache.first;
                cache.first = reused->next;
                --cache.count;
            }
        }
        char* memory = reused != nullptr ? reinterpret_cast<char*>(reused) : static_cast<char*>(::operator new(kHeader + size));
        chunks = ::new (memory) Chunk{chunks, size};
        next = memory + kHeader;
        limit = next + size;
#if defined(__SANITIZE_ADDRESS__)
        ASAN_POISON_MEMORY_REGION(next, size);
#endif
    }

    void release(void* p, size_t bytes)
    {
#if defined(__SANITIZE_ADDRESS__)
        ASAN_POISON_MEMORY_REGION(p, (bytes + kAlign - 1) & ~(kAlign - 1));
#else
        (void)p;
        (void)bytes;
#endif
        if (live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            destroy();
        }
    }

    // The scope has ended: from now on the count is only of the handles still alive.
    void close()
    {
        const uint64_t share = kOpen - made;
        if (live.fetch_sub(share, std::memory_order_acq_rel) == share) {
            destroy();
        }
    }

    void destroy()
    {
        Chunk* chunk = chunks;
        if (chunk != nullptr) {
            // Largest blocks to the kept ones while there is room (a kept block stays poisoned under
            // the address sanitizer until it is handed out again), the rest back to the heap.
            KeptChunks& cache = kept();
            std::unique_lock lock(cache.mutex);
            while (chunk != nullptr && chunk->size == kLargestChunk && cache.count < kKeptChunks) {
                Chunk* following = chunk->next;
                chunk->next = cache.first;
                cache.first = chunk;
                ++cache.count;
                chunk = following;
            }
        }
        while (chunk != nullptr) {
            Chunk* following = chunk->next;
#if defined(__SANITIZE_ADDRESS__)
            ASAN_UNPOISON_MEMORY_REGION(reinterpret_cast<char*>(chunk) + kHeader, chunk->size);
#endif
            ::operator delete(static_cast<void*>(chunk));
            chunk = following;
        }
#if defined(__SANITIZE_ADDRESS__)
        ASAN_UNPOISON_MEMORY_REGION(first, kFirstChunk);
#endif
        delete this;
    }
};

namespace {
namespace Value_cpp {

// The innermost scope on this thread.
thread_local ValueArena::Scope* t_scope = nullptr;

// Gives a shared handle's storage (reference counts and the object together) from the blocks.
template <class T>
struct BlockAllocator {
    using value_type = T;
    ValueArena::Blocks* blocks;
    explicit BlockAllocator(ValueArena::Blocks* b) noexcept : blocks(b) {}
    template <class U>
    BlockAllocator(const BlockAllocator<U>& other) noexcept : blocks(other.blocks)
    {
    }
    T* allocate(size_t n) { return static_cast<T*>(blocks->allocate(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { blocks->release(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const BlockAllocator<U>& other) const noexcept
    {
        return blocks == other.blocks;
    }
};

}  // namespace Value_cpp
}  // namespace

ValueArena::Scope::Scope() : outer_(Value_cpp::t_scope)
{
    Value_cpp::t_scope = this;
}

ValueArena::Scope::~Scope()
{
    Value_cpp::t_scope = outer_;
    if (blocks_ != nullptr) {
        blocks_->close();
    }
}

ValueArena::Blocks* ValueArena::Scope::blocks()
{
    if (blocks_ == nullptr) {
        blocks_ = new Blocks;
    }
    return blocks_;
}

namespace {
namespace Value_cpp {

template <class T, class... Arguments>
std::shared_ptr<T> makeHandle(Arguments&&... arguments)
{
    if (t_scope != nullptr) {
        return std::allocate_shared<T>(BlockAllocator<T>(t_scope->blocks()), std::forward<Arguments>(arguments)...);
    }
    return std::make_shared<T>(std::forward<Arguments>(arguments)...);
}

}  // namespace Value_cpp
}  // namespace

// ---- Containers -------------------------------------------------------------------------------------

Value::Value(ArrayItems items) : kind_(Kind::Array)
{
    ::new (&s_.array) std::shared_ptr<ArrayItems>(Value_cpp::makeHandle<ArrayItems>(std::move(items)));
}

Value::Value(std::shared_ptr<Dict> d) : kind_(Kind::Dictionary)
{
    ::new (&s_.dict) std::shared_ptr<Dict>(std::move(d));
}

Value Value::dictionary()
{
    return Value(Value_cpp::makeHandle<Dict>());
}

Value Value::dictionary(std::initializer_list<DictionaryItem> items)
{
    auto d = std::make_shared<Dict>();
    d->items.reserve(items.size());
    for (const auto& [key, value] : items) {
        d->set(std::string_view(key), value);
    }
    return Value(std::move(d));
}

Value Value::dictionaryWithItems(DictionaryItems items)
{
    return Value(Value_cpp::makeHandle<Dict>(std::move(items)));
}

// ---- Decimal text -----------------------------------------------------------------------------------

namespace {

// Length of the longest number prefix of `s` (sign, digits, point, digits, exponent), 0 when none.
// With `whole`, the number must be all of `s`.
size_t scanNumber(std::string_view s, bool* integral = nullptr)
{
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++digits;
    }
    bool isIntegral = true;
    if (i < s.size() && s[i] == '.') {
        size_t j = i + 1;
        size_t fraction = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
            isIntegral = false;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            ++j;
        }
        size_t expDigits = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0) {
            i = j;
            isIntegral = false;
        }
    }
    if (integral != nullptr) {
        *integral = isIntegral;
    }
    return i;
}

bool isDecimalText(std::string_view s)
{
    return s == "NaN" || (!s.empty() && scanNumber(s) == s.size());
}

// A decimal in a canonical form for comparison: sign, significant digits without leading or trailing
// zeros, and the power of ten of the last digit. Zero is {false, "", 0}.
struct NormalDecimal {
    bool nan = false;
    bool negative = false;
    std::string digits;
    int64_t exponent = 0;
    bool operator==(const NormalDecimal&) const = default;
};

NormalDecimal normalise(std::string_view s)
{
    NormalDecimal n;
    if (s == "NaN") {
        n.nan = true;
        return n;
    }
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        n.negative = s[i] == '-';
        ++i;
    }
    int64_t fractionDigits = 0;
    bool inFraction = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.') {
            inFraction = true;
        } else if (c >= '0' && c <= '9') {
            if (!(n.digits.empty() && c == '0')) {
                n.digits += c;
            }
            if (inFraction) {
                ++fractionDigits;
            }
        } else {
            break;
        }
    }
    int64_t exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            negativeExponent = s[i] == '-';
            ++i;
        }
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            if (exponent < (int64_t{1} << 40)) {  // saturate: such exponents compare as extremes anyway
                exponent = exponent * 10 + (s[i] - '0');
            }
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (n.digits.empty()) {
        return NormalDecimal{};
    }
    size_t trailing = 0;
    while (trailing < n.digits.size() && n.digits[n.digits.size() - 1 - trailing] == '0') {
        ++trailing;
    }
    n.digits.resize(n.digits.size() - trailing);
    n.exponent = exponent - fractionDigits + static_cast<int64_t>(trailing);
    return n;
}

locale_t cLocale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

double parseDouble(std::string_view number)
{
    if (number == "NaN") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    char buffer[64];
    if (number.size() < sizeof buffer) {
        std::memcpy(buffer, number.data(), number.size());
        buffer[number.size()] = '\0';
        return strtod_l(buffer, nullptr, cLocale());
    }
    const std::string text(number);
    return strtod_l(text.c_str(), nullptr, cLocale());
}

size_t skipSpace(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\f' || s[i] == '\v')) {
        ++i;
    }
    return i;
}

// The leading integer of a text, saturating at the given bounds (the platform's intValue and
// longLongValue of a string).
long long leadingInteger(std::string_view s, long long lo, long long hi)
{
    size_t i = skipSpace(s);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    unsigned long long magnitude = 0;
    const unsigned long long limit = negative ? static_cast<unsigned long long>(-(lo + 1)) + 1 : static_cast<unsigned long long>(hi);
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (!overflow) {
            magnitude = magnitude * 10 + static_cast<unsigned long long>(s[i] - '0');
            if (magnitude > limit) {
                overflow = true;
            }
        }
    }
    if (overflow) {
        return negative ? lo : hi;
    }
    return negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
}

double leadingDouble(std::string_view s)
{
    s.remove_prefix(skipSpace(s));
    const size_t n = scanNumber(s);
    return n == 0 ? 0.0 : parseDouble(s.substr(0, n));
}

// The platform's boolValue of a text: leading white space, sign and zeros skipped, then YES for one of
// "Y", "y", "T", "t" or a digit 1 to 9.
bool leadingBool(std::string_view s)
{
    size_t i = skipSpace(s);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    while (i < s.size() && s[i] == '0') {
        ++i;
    }
    if (i >= s.size()) {
        return false;
    }
    const char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// Truncation of a double into [lo, hi], with NaN as 0 (a plain cast would be undefined out of range).
long long truncateDouble(double d, long long lo, long long hi)
{
    if (std::isnan(d)) {
        return 0;
    }
    if (d <= static_cast<double>(lo)) {
        return lo;
    }
    if (d >= static_cast<double>(hi)) {
        return hi;
    }
    return static_cast<long long>(d);
}

std::string shortestDouble(double d)
{
    if (std::isnan(d)) {
        return "nan";
    }
    if (std::isinf(d)) {
        return d < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
}

}  // namespace

Value Value::decimal(std::string_view text)
{
    Value v;
    // The plain form -?(0|[1-9][0-9]*)(\.[0-9]+)? of at most 19 digits (21 characters with the sign and
    // the point) is packed into an integer.
    if (text.size() <= 21) {
        const char* p = text.data();
        const char* const end = p + text.size();
        const bool negative = p != end && *p == '-';
        p += negative ? 1 : 0;
        const char* const integerStart = p;
        uint64_t digits = 0;
        if (p != end && *p == '0') {
            ++p;
        } else {
            while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
                digits = digits * 10 + static_cast<uint64_t>(*p++ - '0');
            }
        }
        const size_t integerDigits = static_cast<size_t>(p - integerStart);
        size_t fractionDigits = 0;
        bool packable = integerDigits > 0;
        if (packable && p != end && *p == '.') {
            const char* const fractionStart = ++p;
            // Eight digits at a time while there are (at most 19 digits in all, so nothing overflows).
            while (end - p >= 8 && DecimalDigits::eightDigits(p)) {
                digits = digits * 100000000 + DecimalDigits::valueOfEightDigits(p);
                p += 8;
            }
            while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
                digits = digits * 10 + static_cast<uint64_t>(*p++ - '0');
            }
            fractionDigits = static_cast<size_t>(p - fractionStart);
            packable = fractionDigits > 0;
        }
        if (packable && p == end && integerDigits + fractionDigits <= 19) {
            ::new (&v.s_.dec) Decimal{digits, true, negative, static_cast<uint8_t>(integerDigits),
                                      static_cast<uint8_t>(fractionDigits), nullptr};
            v.kind_ = Kind::Decimal;
            return v;
        }
    }
    if (!isDecimalText(text)) {
        return v;
    }
    ::new (&v.s_.dec) Decimal{0, false, false, 0, 0, new std::string(text)};
    v.kind_ = Kind::Decimal;
    return v;
}

std::string_view Value::decimalView(char (&buffer)[32]) const
{
    const Decimal& d = s_.dec;
    if (!d.packed) {
        return *d.text;  // set when made, never changed
    }
    // Sign, the digits padded with zeros on the left to their count, and the point: written from the
    // last digit back, two at a time.
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    const size_t length = (d.negative ? 1u : 0u) + d.integerDigits + (d.fractionDigits > 0 ? 1u + d.fractionDigits : 0u);
    char* p = buffer + length;
    uint64_t v = d.digits;
    const auto digitsBack = [&](unsigned count) {
        for (; count >= 2; count -= 2) {
            p -= 2;
            std::memcpy(p, pairs + 2 * (v % 100), 2);
            v /= 100;
        }
        if (count == 1) {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        }
    };
    if (d.fractionDigits > 0) {
        digitsBack(d.fractionDigits);
        *--p = '.';
    }
    digitsBack(d.integerDigits);
    if (d.negative) {
        *--p = '-';
    }
    return std::string_view(buffer, length);
}

// ---- Kind -------------------------------------------------------------------------------------------

bool Value::isNumber() const
{
    switch (kind()) {
    case Kind::Bool:
    case Kind::Int:
    case Kind::UInt:
    case Kind::Double:
    case Kind::Decimal:
        return true;
    default:
        return false;
    }
}

const char* ValueKindName(Value::Kind kind)
{
    switch (kind) {
    case Value::Kind::Nil: return "nil";
    case Value::Kind::Null: return "null";
    case Value::Kind::Bool: return "bool";
    case Value::Kind::Int: return "integer";
    case Value::Kind::UInt: return "unsigned integer";
    case Value::Kind::Double: return "double";
    case Value::Kind::Decimal: return "decimal";
    case Value::Kind::String: return "string";
    case Value::Kind::Data: return "data";
    case Value::Kind::Date: return "date";
    case Value::Kind::Array: return "array";
    case Value::Kind::Dictionary: return "dictionary";
    case Value::Kind::Object: return "object";
    }
    return "?";
}

// ---- Reads ------------------------------------------------------------------------------------------

Value Value::itemAt(uint64_t index) const
{
    if (const auto* a = arrayHandle()) {
        if (index < (*a)->size()) {
            return (**a)[index];
        }
    }
    return Value();
}

Value Value::objectForKey(std::string_view key) const
{
    if (const auto* d = dictHandle()) {
        const auto at = (*d)->find(key);
        if (at >= 0) {
            return (*d)->items[static_cast<size_t>(at)].second;
        }
    }
    return Value();
}

Value Value::valueForKeyPath(std::string_view path) const
{
    Value current = *this;
    while (true) {
        const auto dot = path.find('.');
        current = current.objectForKey(path.substr(0, dot));
        if (dot == std::string_view::npos || current.isNil()) {
            return current;
        }
        path.remove_prefix(dot + 1);
    }
}

Value Value::objectAtIndex(NSUInteger index) const
{
    if (const auto* a = arrayHandle()) {
        if (index >= (*a)->size()) {
            NSException::raise(NSRangeException,
                               stringWithFormat("*** -[__NSArrayM objectAtIndex:]: index %lu beyond bounds [0 .. %ld]",
                                                index, static_cast<long>((*a)->size()) - 1));
        }
        return (**a)[index];
    }
    return Value();
}

Value Value::firstObject() const
{
    return itemAt(0);
}

Value Value::lastObject() const
{
    const NSUInteger n = count();
    return n == 0 || !isArray() ? Value() : itemAt(n - 1);
}

NSUInteger Value::count() const
{
    if (const auto* a = arrayHandle()) {
        return (*a)->size();
    }
    if (const auto* d = dictHandle()) {
        return (*d)->items.size();
    }
    return 0;
}

NSUInteger Value::length() const
{
    if (kind_ == Kind::String) {
        return NSString::length(s_.str);
    }
    if (kind_ == Kind::Data) {
        return s_.data->length();
    }
    return 0;
}

// ---- Conversions ------------------------------------------------------------------------------------

long long Value::longLongValue() const
{
    switch (kind()) {
    case Kind::Bool: return s_.b ? 1 : 0;
    case Kind::Int: return s_.i;
    case Kind::UInt: return static_cast<long long>(s_.u);
    case Kind::Double: return truncateDouble(s_.d, LLONG_MIN, LLONG_MAX);
    case Kind::Decimal: {
        if (s_.dec.packed && s_.dec.fractionDigits == 0) {
            // An integer of at most 19 digits: saturates like any integral decimal text.
            const uint64_t magnitude = s_.dec.digits;
            if (s_.dec.negative) {
                return magnitude > static_cast<uint64_t>(LLONG_MAX) ? LLONG_MIN : -static_cast<long long>(magnitude);
            }
            return magnitude > static_cast<uint64_t>(LLONG_MAX) ? LLONG_MAX : static_cast<long long>(magnitude);
        }
        char buffer[32];
        const std::string_view text = decimalView(buffer);
        bool integral = false;
        scanNumber(text, &integral);
        return integral ? leadingInteger(text, LLONG_MIN, LLONG_MAX)
                        : truncateDouble(parseDouble(text), LLONG_MIN, LLONG_MAX);
    }
    case Kind::String: return leadingInteger(s_.str, LLONG_MIN, LLONG_MAX);
    default: return 0;
    }
}

int Value::intValue() const
{
    switch (kind()) {
    case Kind::String: return static_cast<int>(leadingInteger(s_.str, INT_MIN, INT_MAX));
    case Kind::Double: return static_cast<int>(truncateDouble(s_.d, INT_MIN, INT_MAX));
    case Kind::Decimal: return static_cast<int>(std::clamp<long long>(longLongValue(), INT_MIN, INT_MAX));
    default: return static_cast<int>(longLongValue());  // integers wrap to 32 bits as a C cast does
    }
}

NSInteger Value::integerValue() const
{
    return static_cast<NSInteger>(longLongValue());
}

unsigned long long Value::unsignedLongLongValue() const
{
    switch (kind()) {
    case Kind::UInt: return s_.u;
    case Kind::Double: {
        const double d = s_.d;
        if (d >= 18446744073709551615.0) {
            return ULLONG_MAX;
        }
        if (d >= 0) {
            return static_cast<unsigned long long>(d);
        }
        return static_cast<unsigned long long>(truncateDouble(d, LLONG_MIN, LLONG_MAX));
    }
    case Kind::String:
    case Kind::Decimal: {
        char buffer[32];
        const std::string_view text = kind() == Kind::String ? std::string_view(s_.str) : decimalView(buffer);
        std::string_view rest = text.substr(skipSpace(text));
        if (!rest.empty() && rest[0] == '+') {
            rest.remove_prefix(1);
        }
        bool integral = false;
        if (kind() == Kind::Decimal) {
            scanNumber(text, &integral);
        }
        if ((kind() == Kind::String || integral) && !rest.empty() && rest[0] >= '0' && rest[0] <= '9') {
            unsigned long long u = 0;
            auto r = std::from_chars(rest.data(), rest.data() + rest.size(), u);
            return r.ec == std::errc::result_out_of_range ? ULLONG_MAX : u;
        }
        return static_cast<unsigned long long>(longLongValue());
    }
    default: return static_cast<unsigned long long>(longLongValue());
    }
}

unsigned int Value::unsignedIntValue() const
{
    return static_cast<unsigned int>(unsignedLongLongValue());
}

NSUInteger Value::unsignedIntegerValue() const
{
    return static_cast<NSUInteger>(unsignedLongLongValue());
}

double Value::doubleValue() const
{
    switch (kind()) {
    case Kind::Bool: return s_.b ? 1.0 : 0.0;
    case Kind::Int: return static_cast<double>(s_.i);
    case Kind::UInt: return static_cast<double>(s_.u);
    case Kind::Double: return s_.d;
    case Kind::Decimal: {
        const Decimal& d = s_.dec;
        // Both the digits and the power of ten are exact doubles: one division rounds correctly.
        static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        if (d.packed && d.digits <= (uint64_t{1} << 53)) {
            const double magnitude = static_cast<double>(d.digits) / powers[d.fractionDigits];
            return d.negative ? -magnitude : magnitude;
        }
        char buffer[32];
        return parseDouble(decimalView(buffer));
    }
    case Kind::String: return leadingDouble(s_.str);
    default: return 0.0;
    }
}

float Value::floatValue() const
{
    return static_cast<float>(doubleValue());
}

bool Value::boolValue() const
{
    switch (kind()) {
    case Kind::Bool: return s_.b;
    case Kind::Int: return s_.i != 0;
    case Kind::UInt: return s_.u != 0;
    case Kind::Double: return s_.d != 0.0;
    case Kind::Decimal: {
        char buffer[32];
        const auto n = normalise(decimalView(buffer));
        return n.nan || !n.digits.empty();
    }
    case Kind::String: return leadingBool(s_.str);
    default: return false;
    }
}

std::string Value::stringValue() const
{
    switch (kind()) {
    case Kind::Bool: return s_.b ? "1" : "0";
    case Kind::Int: return std::to_string(s_.i);
    case Kind::UInt: return std::to_string(s_.u);
    case Kind::Double: return shortestDouble(s_.d);
    case Kind::Decimal: {
        char buffer[32];
        return std::string(decimalView(buffer));
    }
    case Kind::String: return s_.str;
    default: return std::string();
    }
}

// ---- Description ------------------------------------------------------------------------------------

namespace {
bool needsQuotes(std::string_view s)
{
    if (s.empty()) {
        return true;
    }
    for (unsigned char c : s) {
        if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' || c >= 0x80)) {
            return true;
        }
    }
    return false;
}

void appendQuoted(std::string& out, std::string_view s)
{
    if (!needsQuotes(s)) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    out += '"';
}
}  // namespace

void Value::describe(std::string& out, int indent) const
{
    const std::string pad(static_cast<size_t>(indent) * 4, ' ');
    const std::string inner(static_cast<size_t>(indent + 1) * 4, ' ');
    switch (kind()) {
    case Kind::String:
        appendQuoted(out, s_.str);
        return;
    case Kind::Array: {
        const auto& items = *s_.array;
        out += "(\n";
        for (size_t i = 0; i < items.size(); ++i) {
            out += inner;
            items[i].describe(out, indent + 1);
            out += i + 1 < items.size() ? ",\n" : "\n";
        }
        out += pad + ")";
        return;
    }
    case Kind::Dictionary: {
        const auto& items = s_.dict->items;
        out += "{\n";
        for (const auto& [key, value] : items) {
            out += inner;
            appendQuoted(out, key);
            out += " = ";
            value.describe(out, indent + 1);
            out += ";\n";
        }
        out += pad + "}";
        return;
    }
    default:
        out += description();
    }
}

std::string Value::description() const
{
    switch (kind()) {
    case Kind::Nil: return "(null)";
    case Kind::Null: return "<null>";
    case Kind::String: return s_.str;
    case Kind::Data: return s_.data->description();
    case Kind::Date: return s_.date.description();
    case Kind::Object: return s_.object->description();
    case Kind::Array:
    case Kind::Dictionary: {
        std::string out;
        describe(out, 0);
        return out;
    }
    default: return stringValue();
    }
}

// ---- Typed access -----------------------------------------------------------------------------------

const std::string& Value::string() const
{
    static const std::string empty;
    return kind_ == Kind::String ? s_.str : empty;
}

const std::string& Value::decimalText() const
{
    static const std::string empty;
    if (kind_ != Kind::Decimal) {
        return empty;
    }
    // A packed decimal makes its text once; of two threads racing here, one text is kept.
    std::atomic_ref<std::string*> text(const_cast<std::string*&>(s_.dec.text));
    if (const std::string* made = text.load(std::memory_order_acquire)) {
        return *made;
    }
    char buffer[32];
    auto made = std::make_unique<std::string>(decimalView(buffer));
    std::string* expected = nullptr;
    if (text.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
        return *made.release();
    }
    return *expected;
}

const NSData& Value::data() const
{
    static const NSData empty;
    return kind_ == Kind::Data ? *s_.data : empty;
}

NSDate Value::date() const
{
    return kind_ == Kind::Date ? s_.date : NSDate();
}

Ref<NSObject> Value::object() const
{
    return kind_ == Kind::Object ? s_.object : nullptr;
}

const Value::ArrayItems& Value::arrayItems() const
{
    static const ArrayItems empty;
    const auto* a = arrayHandle();
    return a ? **a : empty;
}

const Value::DictionaryItems& Value::dictionaryItems() const
{
    static const DictionaryItems empty;
    const auto* d = dictHandle();
    return d ? (*d)->items : empty;
}

std::vector<std::string> Value::allKeys() const
{
    std::vector<std::string> keys;
    for (const auto& item : dictionaryItems()) {
        keys.push_back(item.first);
    }
    return keys;
}

std::vector<Value> Value::allValues() const
{
    if (isArray()) {
        return arrayItems();
    }
    std::vector<Value> values;
    for (const auto& item : dictionaryItems()) {
        values.push_back(item.second);
    }
    return values;
}

// ---- Mutation ---------------------------------------------------------------------------------------

namespace {
[[noreturn]] void unrecognised(const Value& receiver, const char* operation)
{
    NSException::raise(NSInvalidArgumentException,
                       std::string("-[") + ValueKindName(receiver.kind()) + " " + operation + "]: unrecognized selector sent to instance");
}

void refuseNil(const Value& item, const char* operation)
{
    if (item.isNil()) {
        NSException::raise(NSInvalidArgumentException, std::string("*** -[") + operation + "]: object cannot be nil");
    }
}

[[noreturn]] void outOfRange(const char* operation, NSUInteger index, size_t count)
{
    NSException::raise(NSRangeException, stringWithFormat("*** -[__NSArrayM %s]: index %lu beyond bounds [0 .. %ld]",
                                                          operation, index, static_cast<long>(count) - 1));
}
}  // namespace

Value::ArrayItems* Value::mutableArray(const char* operation)
{
    if (auto* a = arrayHandle()) {
        return a->get();
    }
    if (isNil()) {
        return nullptr;
    }
    unrecognised(*this, operation);
}

Value::Dict* Value::mutableDict(const char* operation)
{
    if (auto* d = dictHandle()) {
        return d->get();
    }
    if (isNil()) {
        return nullptr;
    }
    unrecognised(*this, operation);
}

void Value::addObject(const Value& item)
{
    if (auto* a = mutableArray("addObject:")) {
        refuseNil(item, "__NSArrayM insertObject:atIndex:");
        a->push_back(item);
    }
}

void Value::addObject(Value&& item)
{
    if (auto* a = mutableArray("addObject:")) {
        refuseNil(item, "__NSArrayM insertObject:atIndex:");
        a->push_back(std::move(item));
    }
}

void Value::insertObject_atIndex(const Value& item, NSUInteger index)
{
    if (auto* a = mutableArray("insertObject:atIndex:")) {
        refuseNil(item, "__NSArrayM insertObject:atIndex:");
        if (index > a->size()) {
            outOfRange("insertObject:atIndex:", index, a->size());
        }
        a->insert(a->begin() + static_cast<std::ptrdiff_t>(index), item);
    }
}

void Value::removeObjectAtIndex(NSUInteger index)
{
    if (auto* a = mutableArray("removeObjectAtIndex:")) {
        if (index >= a->size()) {
            outOfRange("removeObjectAtIndex:", index, a->size());
        }
        a->erase(a->begin() + static_cast<std::ptrdiff_t>(index));
    }
}

void Value::replaceObjectAtIndex_withObject(NSUInteger index, const Value& item)
{
    if (auto* a = mutableArray("replaceObjectAtIndex:withObject:")) {
        refuseNil(item, "__NSArrayM replaceObjectAtIndex:withObject:");
        if (index >= a->size()) {
            outOfRange("replaceObjectAtIndex:withObject:", index, a->size());
        }
        (*a)[index] = item;
    }
}

void Value::removeLastObject()
{
    if (auto* a = mutableArray("removeLastObject"); a != nullptr && !a->empty()) {
        a->pop_back();
    }
}

void Value::removeObject(const Value& item)
{
    if (auto* a = mutableArray("removeObject:")) {
        std::erase_if(*a, [&](const Value& v) { return v.isEqual(item); });
    }
}

void Value::addObjectsFromArray(const Value& other)
{
    if (auto* a = mutableArray("addObjectsFromArray:")) {
        const ArrayItems items = other.arrayItems();  // a copy: other may be this very array
        a->insert(a->end(), items.begin(), items.end());
    }
}

bool Value::containsObject(const Value& item) const
{
    return indexOfObject(item) != NSNotFound;
}

NSUInteger Value::indexOfObject(const Value& item) const
{
    const auto& items = arrayItems();
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].isEqual(item)) {
            return i;
        }
    }
    return NSNotFound;
}

void Value::setObject_forKey(const Value& item, std::string_view key)
{
    if (auto* d = mutableDict("setObject:forKey:")) {
        refuseNil(item, "__NSDictionaryM setObject:forKey:");
        d->set(key, item);
    }
}

void Value::setObject_forKey(Value&& item, std::string_view key)
{
    if (auto* d = mutableDict("setObject:forKey:")) {
        refuseNil(item, "__NSDictionaryM setObject:forKey:");
        d->set(key, std::move(item));
    }
}

void Value::setObject_forKey(Value&& item, std::string&& key)
{
    if (auto* d = mutableDict("setObject:forKey:")) {
        refuseNil(item, "__NSDictionaryM setObject:forKey:");
        d->set(std::move(key), std::move(item));
    }
}

void Value::setValue_forKey(const Value& item, std::string_view key)
{
    if (auto* d = mutableDict("setValue:forKey:")) {
        if (item.isNil()) {
            d->erase(key);
        } else {
            d->set(key, item);
        }
    }
}

void Value::removeObjectForKey(std::string_view key)
{
    if (auto* d = mutableDict("removeObjectForKey:")) {
        d->erase(key);
    }
}

void Value::addEntriesFromDictionary(const Value& other)
{
    if (auto* d = mutableDict("addEntriesFromDictionary:")) {
        const DictionaryItems items = other.dictionaryItems();  // a copy: other may be this dictionary
        for (const auto& [key, value] : items) {
            d->set(key, value);
        }
    }
}

void Value::removeAllObjects()
{
    if (auto* a = arrayHandle()) {
        (*a)->clear();
    } else if (isDictionary()) {
        mutableDict("removeAllObjects")->clear();
    } else if (!isNil()) {
        unrecognised(*this, "removeAllObjects");
    }
}

// ---- Copies -----------------------------------------------------------------------------------------

Value Value::copy() const
{
    if (isArray()) {
        return Value(arrayItems());
    }
    if (const auto* d = dictHandle()) {
        return Value(std::make_shared<Dict>(**d));
    }
    return *this;
}

Value Value::deepCopy() const
{
    if (isArray()) {
        ArrayItems items;
        items.reserve(count());
        for (const auto& item : arrayItems()) {
            items.push_back(item.deepCopy());
        }
        return Value(std::move(items));
    }
    if (isDictionary()) {
        auto d = std::make_shared<Dict>();
        d->items.reserve(count());
        for (const auto& [key, value] : dictionaryItems()) {
            d->items.emplace_back(key, value.deepCopy());
        }
        return Value(std::move(d));
    }
    return *this;
}

// ---- Equality ---------------------------------------------------------------------------------------

namespace {
NormalDecimal normaliseNumber(const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Decimal: return normalise(v.decimalText());
    case Value::Kind::Double: {
        const double d = v.doubleValue();
        if (std::isnan(d)) {
            NormalDecimal n;
            n.nan = true;
            return n;
        }
        return normalise(shortestDouble(d));
    }
    case Value::Kind::UInt: return normalise(std::to_string(v.unsignedLongLongValue()));
    default: return normalise(std::to_string(v.longLongValue()));
    }
}

bool numbersEqual(const Value& a, const Value& b)
{
    using K = Value::Kind;
    auto isInt = [](K k) { return k == K::Bool || k == K::Int || k == K::UInt; };
    if (isInt(a.kind()) && isInt(b.kind())) {
        auto wide = [](const Value& v) -> __int128 {
            return v.kind() == K::UInt ? static_cast<__int128>(v.unsignedLongLongValue())
                                       : static_cast<__int128>(v.longLongValue());
        };
        return wide(a) == wide(b);
    }
    if (a.kind() == K::Double && b.kind() == K::Double) {
        return a.doubleValue() == b.doubleValue();
    }
    // Mixed with an exact decimal, or a double against an integer: compare exact decimal forms (a
    // double by its shortest text, so 0.1 equals the decimal "0.1").
    const auto na = normaliseNumber(a);
    const auto nb = normaliseNumber(b);
    return na == nb;
}
}  // namespace

bool Value::isEqual(const Value& other) const
{
    if (isNil() || other.isNil()) {
        return false;
    }
    if (isNumber() && other.isNumber()) {
        return numbersEqual(*this, other);
    }
    if (kind() != other.kind()) {
        return false;
    }
    switch (kind()) {
    case Kind::Null: return true;
    case Kind::String: return string() == other.string();
    case Kind::Data: return data() == other.data();
    case Kind::Date: return date() == other.date();
    case Kind::Object: return object()->isEqual(other.object().get());
    case Kind::Array: {
        const auto& a = arrayItems();
        const auto& b = other.arrayItems();
        if (&a == &b) {
            return true;
        }
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (!a[i].isEqual(b[i]) && !(a[i].isNil() && b[i].isNil())) {
                return false;
            }
        }
        return true;
    }
    case Kind::Dictionary: {
        const auto& a = dictionaryItems();
        if (&a == &other.dictionaryItems()) {
            return true;
        }
        if (a.size() != other.count()) {
            return false;
        }
        for (const auto& [key, value] : a) {
            if (!value.isEqual(other.objectForKey(key))) {
                return false;
            }
        }
        return true;
    }
    default: return false;
    }
}

bool Value::isIdenticalTo(const Value& other) const
{
    if (kind() != other.kind()) {
        return false;
    }
    switch (kind()) {
    case Kind::Nil: return true;
    case Kind::Array: return &arrayItems() == &other.arrayItems();
    case Kind::Dictionary: return &dictionaryItems() == &other.dictionaryItems();
    case Kind::Object: return object() == other.object();
    case Kind::Data: return &data() == &other.data();
    default: return isEqual(other);
    }
}
