#include "net/json/JsonWriter.h"

#include "net/json/JsonByteScan.h"
#include "net/json/JsonNumber.h"
#include "net/json/JsonWriteErrors.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {
namespace JsonWriter_cpp {
// Longest chain of proxies followed at the top level, and along any path inside.
constexpr int kMaxProxyHops = 32;

// Bytes a string cannot hold as they are: the quotation mark, the backslash and control bytes.
struct EscapedBytes {
    bool table[256] = {};
    constexpr EscapedBytes()
    {
        for (int c = 0; c < 0x20; ++c) {
            table[c] = true;
        }
        table[static_cast<uint8_t>('"')] = true;
        table[static_cast<uint8_t>('\\')] = true;
    }
    constexpr bool operator[](uint8_t c) const { return table[c]; }
};
constexpr EscapedBytes kEscaped{};

// Each thread's buffer for compact texts, kept from one write to the next: a fresh buffer grown by
// doubling touches about twice the text's size in new memory, and for a large text that is mostly
// page faults, since the allocator hands large blocks back to the system when they are freed. The
// result is copied out at its exact size. A buffer that grew past kKeptScratch is let go after its
// write, so a thread keeps at most that much.
constexpr size_t kFirstScratch = 8192;
constexpr size_t kKeptScratch = size_t{16} << 20;
thread_local std::vector<uint8_t> t_scratch;

// The compact text of a whole tree, written into the thread's buffer and copied out as the result.
// The stream writer checks the grammar token by token and hands every token to its delegate; here the
// tree's shape is the grammar, so the separators follow from the walk and each token is a few stores
// into a buffer that grows by doubling. It writes exactly what the stream writer writes and refuses
// what it refuses, with the same words (the writer's tests hold both to that).
class CompactWriter {
public:
    CompactWriter(uint32_t maxDepth, bool sortKeys, std::string& error)
        : maxDepth_(maxDepth), sortKeys_(sortKeys), error_(error), bytes_(std::move(t_scratch))
    {
        // Taken, not shared: a proxy's proxyForJson() may write another text on this thread meanwhile,
        // and that writer then finds no buffer and makes its own.
        t_scratch = std::vector<uint8_t>();
        if (bytes_.size() < kFirstScratch) {
            bytes_.resize(kFirstScratch);
        }
        out_ = reinterpret_cast<char*>(bytes_.data());
        limit_ = out_ + bytes_.size();
    }
    ~CompactWriter()
    {
        if (bytes_.size() <= kKeptScratch && bytes_.size() > t_scratch.size()) {
            t_scratch = std::move(bytes_);
        }
    }
    CompactWriter(const CompactWriter&) = delete;
    CompactWriter& operator=(const CompactWriter&) = delete;

    // A dictionary or an array at the top.
    bool document(const Value& container) { return container.isDictionary() ? object(container, 1) : array(container, 1); }

    NSData take() const
    {
        const uint8_t* const first = bytes_.data();
        return NSData(std::vector<uint8_t>(first, reinterpret_cast<const uint8_t*>(out_)));
    }

private:
    // Room for n more bytes. The check is made at every token, so it stays inline and small.
    void reserve(size_t n)
    {
        if (static_cast<size_t>(limit_ - out_) < n) [[unlikely]] {
            grow(n);
        }
    }
    [[gnu::noinline]] void grow(size_t n)
    {
        const size_t used = static_cast<size_t>(out_ - reinterpret_cast<char*>(bytes_.data()));
        bytes_.resize(std::max(bytes_.size() * 2, used + n));
        out_ = reinterpret_cast<char*>(bytes_.data()) + used;
        limit_ = reinterpret_cast<char*>(bytes_.data()) + bytes_.size();
    }
    void put(char c)
    {
        reserve(1);
        *out_++ = c;
    }
    void put(const char* text, size_t n)
    {
        reserve(n);
        std::memcpy(out_, text, n);
        out_ += n;
    }

    bool refuse(std::string text)
    {
        error_ = std::move(text);
        return false;
    }

    // A container at `depth` (the top one is 1): the depth limit, or without one, a container that
    // holds itself, ends the write.
    bool enter(const void* identity, uint32_t depth)
    {
        if (maxDepth_ != 0) {
            return depth <= maxDepth_ || refuse("Nested too deep");
        }
        if (std::find(path_.begin(), path_.end(), identity) != path_.end()) {
            return refuse("Nested too deep");
        }
        path_.push_back(identity);
        return true;
    }
    void leave()
    {
        if (maxDepth_ == 0) {
            path_.pop_back();
        }
    }

    bool object(const Value& dict, uint32_t depth)
    {
        const Value::DictionaryItems& items = dict.dictionaryItems();
        if (!enter(&items, depth)) {
            return false;
        }
        put('{');
        bool ok = true;
        if (!sortKeys_) {
            for (size_t i = 0; i < items.size() && ok; ++i) {
                ok = member(i, items[i], depth);
            }
        } else {
            std::vector<size_t> order(items.size());
            std::iota(order.begin(), order.end(), size_t{0});
            std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return items[a].first < items[b].first; });
            for (size_t i = 0; i < order.size() && ok; ++i) {
                ok = member(i, items[order[i]], depth);
            }
        }
        if (ok) {
            put('}');
        }
        leave();
        return ok;
    }
    bool member(size_t index, const Value::DictionaryItem& item, uint32_t depth)
    {
        if (index != 0) {
            put(',');
        }
        string(item.first);
        put(':');
        return value(item.second, depth);
    }

    bool array(const Value& list, uint32_t depth)
    {
        const Value::ArrayItems& items = list.arrayItems();
        if (!enter(&items, depth)) {
            return false;
        }
        put('[');
        bool ok = true;
        for (size_t i = 0; i < items.size() && ok; ++i) {
            if (i != 0) {
                put(',');
            }
            ok = value(items[i], depth);
        }
        if (ok) {
            put(']');
        }
        leave();
        return ok;
    }

    // An item inside a container at `depth`.
    bool value(const Value& item, uint32_t depth)
    {
        switch (item.kind()) {
            case Value::Kind::Dictionary:
                return object(item, depth + 1);
            case Value::Kind::Array:
                return array(item, depth + 1);
            case Value::Kind::String:
                string(item.string());
                return true;
            case Value::Kind::Bool:
                item.boolValue() ? put("true", 4) : put("false", 5);
                return true;
            case Value::Kind::Null:
                put("null", 4);
                return true;
            case Value::Kind::Int: {
                reserve(24);
                out_ = std::to_chars(out_, limit_, item.longLongValue()).ptr;
                return true;
            }
            case Value::Kind::UInt: {
                reserve(24);
                out_ = std::to_chars(out_, limit_, item.unsignedLongLongValue()).ptr;
                return true;
            }
            case Value::Kind::Double:
                return number(item.doubleValue());
            case Value::Kind::Decimal:
                return decimal(item);
            case Value::Kind::Object:
                if (const auto* proxying = dynamic_cast<const JsonProxying*>(item.object().get());
                    proxying != nullptr && proxyHops_ < kMaxProxyHops) {
                    ++proxyHops_;
                    const bool ok = value(proxying->proxyForJson(), depth);
                    --proxyHops_;
                    return ok;
                }
                break;
            default:
                break;
        }
        return refuse(JsonWriteErrors::unsupportedItem(item));
    }

    bool number(double d)
    {
        if (std::isinf(d)) {
            return refuse(d > 0 ? "+Infinity is not a valid number in JSON" : "-Infinity is not a valid number in JSON");
        }
        if (std::isnan(d)) {
            return refuse("NaN is not a valid number in JSON");
        }
        // "%.17g", independent of the process's locale.
        reserve(32);
        out_ = std::to_chars(out_, limit_, d, std::chars_format::general, 17).ptr;
        return true;
    }

    bool decimal(const Value& item)
    {
        char buffer[32];
        const std::string_view own = item.decimalView(buffer);
        if (own == "NaN") {
            return refuse("NaN is not a valid number in JSON");
        }
        // A decimal is written as its own text, in the form JSON allows ("+5" and ".5" are not).
        if (item.decimalIsPlain() || JsonNumber::isJsonNumberText(own)) {
            put(own.data(), own.size());
        } else {
            const std::string canonical = JsonNumber::canonicalDecimalText(own);
            put(canonical.data(), canonical.size());
        }
        return true;
    }

    // Whether any of the first n (< 16) of the sixteen bytes at p needs an escape.
    static bool hasEscapedByte(const uint8_t* p, size_t n)
    {
#if defined(__SSE2__)
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i below = _mm_set1_epi8(static_cast<char>(0x20 ^ 0x80));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
                                         _mm_cmplt_epi8(_mm_xor_si128(v, flip), below));
        return (static_cast<unsigned>(_mm_movemask_epi8(hit)) & ((1u << n) - 1u)) != 0;
#else
        for (size_t i = 0; i < n; ++i) {
            if (kEscaped[p[i]]) {
                return true;
            }
        }
        return false;
#endif
    }

    void string(const std::string& text)
    {
        const auto* p = reinterpret_cast<const uint8_t*>(text.data());
        const uint8_t* const end = p + text.size();
        if (text.size() < 16) {
            // Keys and short values, the most of a document's strings: copied whole, then looked
            // through for anything to escape (usually nothing), all sixteen bytes after the opening
            // quote at once where the processor allows. Those bytes are in the buffer, which always
            // holds initialised bytes; the ones past the text do not count.
            reserve(1 + 16 + 1);
            *out_++ = '"';
            std::memcpy(out_, p, text.size());
            if (!hasEscapedByte(reinterpret_cast<const uint8_t*>(out_), text.size())) {
                out_ += text.size();
                *out_++ = '"';
                return;
            }
        } else {
            reserve(text.size() + 2);
            *out_++ = '"';
        }
        for (;;) {
            // An unchanged stretch: everything up to the next quote, backslash or control byte.
            bool high = false;  // bytes above 0x7F are written as they are
            const uint8_t* const q = JsonByteScan::stringRun(p, end, high);
            std::memcpy(out_, p, static_cast<size_t>(q - p));
            out_ += q - p;
            if (q == end) {
                break;
            }
            // The escape, and room for the rest as if it were plain.
            reserve(6 + static_cast<size_t>(end - q));
            const uint8_t c = *q;
            const char* shortForm = nullptr;
            switch (c) {
                case '"':
                    shortForm = "\\\"";
                    break;
                case '\\':
                    shortForm = "\\\\";
                    break;
                case '\b':
                    shortForm = "\\b";
                    break;
                case '\t':
                    shortForm = "\\t";
                    break;
                case '\n':
                    shortForm = "\\n";
                    break;
                case '\f':
                    shortForm = "\\f";
                    break;
                case '\r':
                    shortForm = "\\r";
                    break;
                default:
                    break;
            }
            if (shortForm != nullptr) {
                std::memcpy(out_, shortForm, 2);
                out_ += 2;
            } else {
                static const char hex[] = "0123456789abcdef";
                const char escape[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
                std::memcpy(out_, escape, 6);
                out_ += 6;
            }
            p = q + 1;
        }
        reserve(1);
        *out_++ = '"';
    }

    const uint32_t maxDepth_;
    const bool sortKeys_;
    std::string& error_;
    std::vector<uint8_t> bytes_;
    char* out_ = nullptr;
    char* limit_ = nullptr;
    int proxyHops_ = 0;
    // Containers being written, outer-most first, when there is no depth limit.
    std::vector<const void*> path_;
};

}  // namespace JsonWriter_cpp
}  // namespace

Ref<JsonWriter> JsonWriter::create()
{
    Ref<JsonWriter> self(new JsonWriter());
    self->_maxDepth = 32;
    return self;
}

std::optional<NSData> JsonWriter::dataWithObject(const Value& value)
{
    _error.clear();
    if (!_humanReadable) {
        Value object = value;
        for (int hops = 0; object.isObject() && hops < JsonWriter_cpp::kMaxProxyHops; ++hops) {
            const auto* proxying = dynamic_cast<const JsonProxying*>(object.object().get());
            if (proxying == nullptr) {
                break;
            }
            Value proxy = proxying->proxyForJson();
            object = std::move(proxy);
        }
        if (!object.isDictionary() && !object.isArray()) {
            _error = "Not valid type for JSON";
            return std::nullopt;
        }
        JsonWriter_cpp::CompactWriter writer(_maxDepth, _sortKeys, _error);
        if (!writer.document(object)) {
            return std::nullopt;
        }
        return writer.take();
    }
    // The layout for people goes through the stream writer, whose states know the indentation.
    const Ref<JsonStreamWriterAccumulator> accumulator = JsonStreamWriterAccumulator::create();
    const Ref<JsonStreamWriter> writer = JsonStreamWriter::create();
    writer->setSortKeys(_sortKeys);
    writer->setMaxDepth(_maxDepth);
    writer->setHumanReadable(_humanReadable);
    writer->setDelegate(accumulator);

    Value object = value;
    for (int hops = 0;; ++hops) {
        bool ok;
        if (object.isDictionary()) {
            ok = writer->writeObject(object);
        } else if (object.isArray()) {
            ok = writer->writeArray(object);
        } else if (const auto* proxying = object.isObject() ? dynamic_cast<const JsonProxying*>(object.object().get()) : nullptr;
                   proxying != nullptr && hops < JsonWriter_cpp::kMaxProxyHops) {
            Value proxy = proxying->proxyForJson();
            object = std::move(proxy);
            continue;
        } else {
            _error = "Not valid type for JSON";
            return std::nullopt;
        }
        if (!ok) {
            _error = writer->error();
            return std::nullopt;
        }
        return std::move(accumulator->data());
    }
}

std::optional<std::string> JsonWriter::stringWithObject(const Value& value)
{
    std::optional<NSData> data = dataWithObject(value);
    if (!data) {
        return std::nullopt;
    }
    return data->string();
}

std::optional<std::string> JsonWriter::stringWithObject_error(const Value& value, Ref<NSError>* error)
{
    std::optional<std::string> text = stringWithObject(value);
    if (!text && error != nullptr) {
        *error = NSError::errorWithDomain_code_userInfo(JsonWriterErrorDomain, 0,
                                                        Value::dictionary({{NSLocalizedDescriptionKey, Value(_error)}}));
    }
    return text;
}

namespace NSObject_JsonWriting {

std::optional<std::string> JSONRepresentation(const Value& object)
{
    const Ref<JsonWriter> writer = JsonWriter::create();
    std::optional<std::string> text = writer->stringWithObject(object);
    if (!text) {
        NSLog("-JSONRepresentation failed. Error is: %@", writer->error());
    }
    return text;
}

}  // namespace NSObject_JsonWriting
