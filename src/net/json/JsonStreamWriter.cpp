#include "net/json/JsonStreamWriter.h"

#include "net/json/JsonByteScan.h"
#include "net/json/JsonNumber.h"
#include "net/json/JsonStreamWriterState.h"
#include "net/json/JsonWriteErrors.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <numeric>


namespace {

// The first quote, backslash or byte below 0x20 in [p, end), or end.
const uint8_t* nextSpecialByte(const uint8_t* p, const uint8_t* end)
{
    bool high = false;  // bytes above 0x7F are written as they are
    return JsonByteScan::stringRun(p, end, high);
}

// Longest chain of proxies followed before giving up (an object may not proxy for itself for ever).
constexpr uint32_t kMaxProxyHops = 32;

// Class-wide set-up, on first use of the stream writer. The platform offers no evicting cache that the
// writer could share between threads, so strings are encoded each time; escaping runs in stretches
// and costs little more than a lookup would.
void initializeClass()
{
    static std::once_flag once;
    std::call_once(once, [] { NSLog("%s NSCache not supported", "+[JsonStreamWriter initialize]"); });
}

}  // namespace

// Locks the delegate once for the outer-most write call; nested calls reuse it.
class JsonStreamWriter::DelegateScope {
public:
    explicit DelegateScope(JsonStreamWriter& writer) : _writer(writer), _outer(writer._activeDelegate == nullptr)
    {
        if (_outer) {
            _held = writer._delegate.lock();
            writer._activeDelegate = _held.get();
        }
    }
    ~DelegateScope()
    {
        if (_outer) {
            _writer._activeDelegate = nullptr;
        }
    }
    DelegateScope(const DelegateScope&) = delete;
    DelegateScope& operator=(const DelegateScope&) = delete;

private:
    JsonStreamWriter& _writer;
    bool _outer;
    Ref<JsonStreamWriterDelegate> _held;
};

Ref<JsonStreamWriter> JsonStreamWriter::create()
{
    initializeClass();
    Ref<JsonStreamWriter> self(new JsonStreamWriter());
    self->_stateStack.reserve(32);
    self->_state = JsonStreamWriterStateStart::sharedInstance();
    return self;
}

void JsonStreamWriter::appendBytes_length(const void* bytes, size_t length)
{
    if (_activeDelegate != nullptr) {
        _activeDelegate->writer_appendBytes_length(this, bytes, length);
        return;
    }
    if (const Ref<JsonStreamWriterDelegate> delegate = _delegate.lock()) {
        delegate->writer_appendBytes_length(this, bytes, length);
    }
}

void JsonStreamWriter::appendEncodedString(std::string& out, std::string_view string)
{
    out.reserve(out.size() + string.size() + string.size() / 10 + 2);
    out.push_back('"');
    const auto* p = reinterpret_cast<const uint8_t*>(string.data());
    const uint8_t* const end = p + string.size();
    for (;;) {
        // An unchanged stretch: everything up to the next quote, backslash or control byte.
        const uint8_t* const q = nextSpecialByte(p, end);
        out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(q - p));
        if (q == end) {
            break;
        }
        const uint8_t c = *q;
        switch (c) {
            case '"':
                out.append("\\\"", 2);
                break;
            case '\\':
                out.append("\\\\", 2);
                break;
            case '\b':
                out.append("\\b", 2);
                break;
            case '\t':
                out.append("\\t", 2);
                break;
            case '\n':
                out.append("\\n", 2);
                break;
            case '\f':
                out.append("\\f", 2);
                break;
            case '\r':
                out.append("\\r", 2);
                break;
            default: {
                static const char hex[] = "0123456789abcdef";
                const char escape[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
                out.append(escape, 6);
                break;
            }
        }
        p = q + 1;
    }
    out.push_back('"');
}

// ---- Items ----------------------------------------------------------------------------------------------

bool JsonStreamWriter::beginItem(bool keyAllowed)
{
    if (_state->isInvalidState(this)) {
        return false;
    }
    if (!keyAllowed && _state->expectingKey(this)) {
        return false;
    }
    _state->appendSeparator(this);
    if (_humanReadable) {
        _state->appendWhitespace(this);
    }
    return true;
}

bool JsonStreamWriter::writeOpen(bool object)
{
    DelegateScope scope(*this);
    if (_state->isInvalidState(this) || _state->expectingKey(this)) {
        return false;
    }
    _state->appendSeparator(this);
    // The text never begins with whitespace.
    if (_humanReadable && !_stateStack.empty()) {
        _state->appendWhitespace(this);
    }
    _stateStack.push_back(_state);
    _state = object ? static_cast<JsonStreamWriterState*>(JsonStreamWriterStateObjectStart::sharedInstance())
                    : JsonStreamWriterStateArrayStart::sharedInstance();
    if (_maxDepth != 0 && _stateStack.size() > _maxDepth) {
        _error = "Nested too deep";
        return false;
    }
    appendBytes_length(object ? "{" : "[", 1);
    return true;
}

bool JsonStreamWriter::writeClose(bool object)
{
    DelegateScope scope(*this);
    if (_state->isInvalidState(this)) {
        return false;
    }
    if (!object && _state->expectingKey(this)) {
        return false;
    }
    // A close must match the container that is open, and may not leave a key without its value.
    JsonStreamWriterState* const objectValue = JsonStreamWriterStateObjectValue::sharedInstance();
    const bool inObject = _state == JsonStreamWriterStateObjectStart::sharedInstance() ||
                          _state == JsonStreamWriterStateObjectKey::sharedInstance() || _state == objectValue;
    const bool inArray = _state == JsonStreamWriterStateArrayStart::sharedInstance() ||
                         _state == JsonStreamWriterStateArrayValue::sharedInstance();
    if (object && _state == objectValue) {
        _error = "Missing value for object key";
        return false;
    }
    if ((object && !inObject) || (!object && !inArray) || _stateStack.empty()) {
        _error = object ? "No object to close" : "No array to close";
        return false;
    }
    JsonStreamWriterState* const previous = _state;
    _state = _stateStack.back();
    _stateStack.pop_back();
    if (_humanReadable) {
        previous->appendWhitespace(this);
    }
    appendBytes_length(object ? "}" : "]", 1);
    _state->transitionState(this);
    return true;
}

bool JsonStreamWriter::writeObjectOpen() { return writeOpen(true); }
bool JsonStreamWriter::writeObjectClose() { return writeClose(true); }
bool JsonStreamWriter::writeArrayOpen() { return writeOpen(false); }
bool JsonStreamWriter::writeArrayClose() { return writeClose(false); }

bool JsonStreamWriter::writeNull()
{
    DelegateScope scope(*this);
    if (!beginItem(false)) {
        return false;
    }
    appendBytes_length("null", 4);
    _state->transitionState(this);
    return true;
}

bool JsonStreamWriter::writeBool(bool x)
{
    DelegateScope scope(*this);
    if (!beginItem(false)) {
        return false;
    }
    if (x) {
        appendBytes_length("true", 4);
    } else {
        appendBytes_length("false", 5);
    }
    _state->transitionState(this);
    return true;
}

bool JsonStreamWriter::writeString(std::string_view string)
{
    DelegateScope scope(*this);
    // A string may be a key, so no key test here.
    if (!beginItem(true)) {
        return false;
    }
    _encoded.clear();
    appendEncodedString(_encoded, string);
    appendBytes_length(_encoded.data(), _encoded.size());
    _state->transitionState(this);
    return true;
}

bool JsonStreamWriter::writeNumber(const Value& number)
{
    DelegateScope scope(*this);
    if (number.isBool()) {
        return writeBool(number.boolValue());
    }
    if (!number.isNumber()) {
        _error = JsonWriteErrors::unsupportedItem(number);
        return false;
    }
    if (!beginItem(false)) {
        return false;
    }
    char buffer[128];
    const char* text = buffer;
    size_t length = 0;
    std::string decimal;
    switch (number.kind()) {
        case Value::Kind::Int: {
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, number.longLongValue()).ptr;
            length = static_cast<size_t>(end - buffer);
            break;
        }
        case Value::Kind::UInt: {
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, number.unsignedLongLongValue()).ptr;
            length = static_cast<size_t>(end - buffer);
            break;
        }
        case Value::Kind::Decimal: {
            const std::string& own = number.decimalText();
            if (own == "NaN") {
                _error = "NaN is not a valid number in JSON";
                return false;
            }
            // A decimal is written as its own text, in the form JSON allows ("+5" and ".5" are not).
            if (JsonNumber::isJsonNumberText(own)) {
                text = own.data();
                length = own.size();
            } else {
                decimal = JsonNumber::canonicalDecimalText(own);
                text = decimal.data();
                length = decimal.size();
            }
            break;
        }
        default: {
            const double d = number.doubleValue();
            if (std::isinf(d)) {
                _error = d > 0 ? "+Infinity is not a valid number in JSON" : "-Infinity is not a valid number in JSON";
                return false;
            }
            if (std::isnan(d)) {
                _error = "NaN is not a valid number in JSON";
                return false;
            }
            // "%.17g", independent of the process's locale.
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 17).ptr;
            length = static_cast<size_t>(end - buffer);
            break;
        }
    }
    appendBytes_length(text, length);
    _state->transitionState(this);
    return true;
}

// ---- Containers -----------------------------------------------------------------------------------------

bool JsonStreamWriter::enterContainer(const Value& container)
{
    if (_maxDepth != 0) {
        return true;  // the depth limit stops a container that holds itself
    }
    const void* identity = container.isArray() ? static_cast<const void*>(&container.arrayItems())
                                               : static_cast<const void*>(&container.dictionaryItems());
    if (std::find(_containerPath.begin(), _containerPath.end(), identity) != _containerPath.end()) {
        _error = "Nested too deep";
        return false;
    }
    _containerPath.push_back(identity);
    return true;
}

void JsonStreamWriter::leaveContainer()
{
    if (_maxDepth == 0 && !_containerPath.empty()) {
        _containerPath.pop_back();
    }
}

bool JsonStreamWriter::writeObject(const Value& dict)
{
    DelegateScope scope(*this);
    if (!dict.isDictionary()) {
        _error = JsonWriteErrors::unsupportedItem(dict);
        return false;
    }
    if (!enterContainer(dict)) {
        return false;
    }
    bool ok = writeObjectOpen();
    const Value::DictionaryItems& items = dict.dictionaryItems();
    if (ok && !_sortKeys) {
        for (const auto& [key, value] : items) {
            if (!writeString(key) || !writeValue(value)) {
                ok = false;
                break;
            }
        }
    } else if (ok) {
        std::vector<size_t> order(items.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return items[a].first < items[b].first; });
        for (const size_t i : order) {
            if (!writeString(items[i].first) || !writeValue(items[i].second)) {
                ok = false;
                break;
            }
        }
    }
    ok = ok && writeObjectClose();
    leaveContainer();
    return ok;
}

bool JsonStreamWriter::writeArray(const Value& array)
{
    DelegateScope scope(*this);
    if (!array.isArray()) {
        _error = JsonWriteErrors::unsupportedItem(array);
        return false;
    }
    if (!enterContainer(array)) {
        return false;
    }
    bool ok = writeArrayOpen();
    if (ok) {
        for (const Value& item : array.arrayItems()) {
            if (!writeValue(item)) {
                ok = false;
                break;
            }
        }
    }
    ok = ok && writeArrayClose();
    leaveContainer();
    return ok;
}

bool JsonStreamWriter::writeValue(const Value& value)
{
    switch (value.kind()) {
        case Value::Kind::Dictionary:
            return writeObject(value);
        case Value::Kind::Array:
            return writeArray(value);
        case Value::Kind::String:
            return writeString(value.string());
        case Value::Kind::Bool:
        case Value::Kind::Int:
        case Value::Kind::UInt:
        case Value::Kind::Double:
        case Value::Kind::Decimal:
            return writeNumber(value);
        case Value::Kind::Null:
            return writeNull();
        case Value::Kind::Object:
            if (const auto* proxying = dynamic_cast<const JsonProxying*>(value.object().get())) {
                if (_proxyHops >= kMaxProxyHops) {
                    break;
                }
                ++_proxyHops;
                const bool ok = writeValue(proxying->proxyForJson());
                --_proxyHops;
                return ok;
            }
            break;
        default:
            break;
    }
    _error = JsonWriteErrors::unsupportedItem(value);
    return false;
}

Ref<JsonStreamWriterAccumulator> JsonStreamWriterAccumulator::create()
{
    Ref<JsonStreamWriterAccumulator> self(new JsonStreamWriterAccumulator());
    // Room for 8096 bytes to start with.
    std::vector<uint8_t> bytes;
    bytes.reserve(8096);
    self->_data = NSMutableData(std::move(bytes));
    return self;
}

std::string JsonWriteErrors::unsupportedItem(const Value& item)
{
    std::string className;
    switch (item.kind()) {
        case Value::Kind::Data:
            className = "NSData";
            break;
        case Value::Kind::Date:
            className = "NSDate";
            break;
        case Value::Kind::Object:
            className = item.object()->className();
            break;
        case Value::Kind::Nil:
            className = "(null)";
            break;
        default:
            className = ValueKindName(item.kind());
            break;
    }
    return stringWithFormat("JSON serialisation not supported for %@", className);
}
