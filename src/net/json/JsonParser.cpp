#include "net/json/JsonParser.h"

#include "net/json/JsonByteScan.h"

#include "net/json/JsonStreamParserState.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ValueArena.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>


Ref<JsonParser> JsonParser::create()
{
    Ref<JsonParser> self(new JsonParser());
    self->_maxDepth = 32;
    return self;
}

namespace {
namespace JsonParser_cpp {

// Where the grammar stands: the stream parser's states, as plain values. Each names the state class
// whose words the error texts use, so both parsers refuse a text with the same message.
enum Place : uint8_t {
    Start,
    Complete,
    ObjectStart,
    ObjectGotKey,
    ObjectSeparator,
    ObjectGotValue,
    ObjectNeedKey,
    ArrayStart,
    ArrayGotValue,
    ArrayNeedValue,
};

constexpr uint16_t bit(int token) { return static_cast<uint16_t>(1u << token); }
constexpr uint16_t kValueTokens = bit(JsonTokenArrayStart) | bit(JsonTokenObjectStart) | bit(JsonTokenNumber) |
                                  bit(JsonTokenString) | bit(JsonTokenTrue) | bit(JsonTokenFalse) | bit(JsonTokenNull);

// The tokens each place accepts (the same as its state class accepts).
constexpr uint16_t kAccepts[] = {
    /* Start */ bit(JsonTokenArrayStart) | bit(JsonTokenObjectStart),
    /* Complete */ 0,
    /* ObjectStart */ bit(JsonTokenObjectEnd) | bit(JsonTokenString),
    /* ObjectGotKey */ bit(JsonTokenKeyValueSeparator),
    /* ObjectSeparator */ kValueTokens,
    /* ObjectGotValue */ bit(JsonTokenObjectEnd) | bit(JsonTokenSeparator),
    /* ObjectNeedKey */ bit(JsonTokenString),
    /* ArrayStart */ static_cast<uint16_t>(bit(JsonTokenArrayEnd) | kValueTokens),
    /* ArrayGotValue */ bit(JsonTokenArrayEnd) | bit(JsonTokenSeparator),
    /* ArrayNeedValue */ kValueTokens,
};

const char* placeName(Place place)
{
    switch (place) {
        case Start:
            return JsonStreamParserStateStart::sharedInstance()->name();
        case Complete:
            return JsonStreamParserStateComplete::sharedInstance()->name();
        case ObjectStart:
            return JsonStreamParserStateObjectStart::sharedInstance()->name();
        case ObjectGotKey:
            return JsonStreamParserStateObjectGotKey::sharedInstance()->name();
        case ObjectSeparator:
            return JsonStreamParserStateObjectSeparator::sharedInstance()->name();
        case ObjectGotValue:
            return JsonStreamParserStateObjectGotValue::sharedInstance()->name();
        case ObjectNeedKey:
            return JsonStreamParserStateObjectNeedKey::sharedInstance()->name();
        case ArrayStart:
            return JsonStreamParserStateArrayStart::sharedInstance()->name();
        case ArrayGotValue:
            return JsonStreamParserStateArrayGotValue::sharedInstance()->name();
        case ArrayNeedValue:
            return JsonStreamParserStateArrayNeedValue::sharedInstance()->name();
    }
    return "";
}

// An open container. Its items go straight into the vector that becomes its storage when it closes
// (moved, not copied); an object's member is added with its key and receives its value in place.
// Containers at one depth tend to be alike (the records of a list, the points of a ring), so each
// starts with room for as many items as the previous one at its depth had.
struct Open {
    Place resume;  // the place before the container opened: what follows its close
    bool object;
    Value::ArrayItems items;
    Value::DictionaryItems members;
    size_t lastArray = 0;    // items of the last array closed at this depth
    size_t lastObject = 0;   // members of the last object closed at this depth
};

// Room kept for a container by the previous one's size: enough for alike containers, and never a
// large block on the strength of one large sibling.
constexpr size_t kMaxRoomHint = 4096;

// Strings are read here when they are plain: the bytes up to the closing quote, with no escape and no
// control character. True with `stop` on the closing quote and `high` set when a byte above 0x7F was
// passed; false when the run stops at anything else or the text ends, which the tokeniser then reads
// (and refuses, or decodes) in its own way.
inline bool scanPlainString(const uint8_t* p, const uint8_t* end, const uint8_t*& stop, bool& high)
{
    stop = JsonByteScan::stringRun(p, end, high);
    return stop != end && *stop == '"';
}

// A member's value, made where it stays: the member was added with a nil value, which has nothing to
// free, so the value is constructed in its place rather than moved in.
template <class... Arguments>
inline void fill(Value& slot, Arguments&&... arguments)
{
    std::destroy_at(&slot);
    std::construct_at(&slot, std::forward<Arguments>(arguments)...);
}

using JsonByteScan::skipSpace;

// The whole text at once: the tokens go straight into the tree, under the same grammar, depth limit
// and error texts as the stream parser with the adapter (which stays for text that comes in pieces).
// Punctuation, plain strings, literals and numbers are read here from the bytes; anything else (a
// string with escapes, a damaged token) goes to the tokeniser, which has the words for every error.
// Nil on failure, with the reason in `error`.
Value parseWhole(const void* bytes, size_t length, uint32_t maxDepth, std::string& error)
{
    const uint8_t* const b = static_cast<const uint8_t*>(bytes);
    const uint8_t* const end = b + length;
    size_t i = 0;
    Ref<JsonTokeniser> tokeniser;  // made for the first token it has to read
    std::vector<Open> stack;
    stack.reserve(std::min<uint32_t>(maxDepth, 32));
    size_t open = 0;  // frames in use; those past it are kept for the next container at that depth
    Place place = Start;
    Value root;
    JsonTokenValue token;
    Value number;
    std::string_view plain;  // a plain string token's bytes (code JsonTokenString with `owned` false)

    // A finished value goes into the innermost container (or becomes the document).
    const auto add = [&](Value&& value) {
        if (open == 0) {
            root = std::move(value);
            return;
        }
        Open& top = stack[open - 1];
        if (top.object) {
            fill(top.members.back().second, std::move(value));
        } else {
            top.items.push_back(std::move(value));
        }
    };

    for (;;) {
        i = skipSpace(b, length, i);
        int code;
        bool owned = false;  // a string token's text is in token.string
        if (i >= length) {
            code = JsonTokenEOF;
        } else {
            const uint8_t c = b[i];
            switch (c) {
                case ',':
                    code = JsonTokenSeparator;
                    ++i;
                    break;
                case ':':
                    code = JsonTokenKeyValueSeparator;
                    ++i;
                    break;
                case '{':
                    code = JsonTokenObjectStart;
                    ++i;
                    break;
                case '}':
                    code = JsonTokenObjectEnd;
                    ++i;
                    break;
                case '[':
                    code = JsonTokenArrayStart;
                    ++i;
                    break;
                case ']':
                    code = JsonTokenArrayEnd;
                    ++i;
                    break;
                case '-':
                case '0':
                case '1':
                case '2':
                case '3':
                case '4':
                case '5':
                case '6':
                case '7':
                case '8':
                case '9':
                    code = JsonTokeniser::scanNumber(b, length, i, number, error);
                    if (code == JsonTokenError) {
                        return Value();
                    }
                    break;
                case 't':
                    code = length - i >= 4 && std::memcmp(b + i, "true", 4) == 0 ? JsonTokenTrue : -2;
                    i += code == JsonTokenTrue ? 4 : 0;
                    break;
                case 'f':
                    code = length - i >= 5 && std::memcmp(b + i, "false", 5) == 0 ? JsonTokenFalse : -2;
                    i += code == JsonTokenFalse ? 5 : 0;
                    break;
                case 'n':
                    code = length - i >= 4 && std::memcmp(b + i, "null", 4) == 0 ? JsonTokenNull : -2;
                    i += code == JsonTokenNull ? 4 : 0;
                    break;
                case '"': {
                    const uint8_t* stop = nullptr;
                    bool high = false;
                    if (scanPlainString(b + i + 1, end, stop, high) &&
                        (!high || JsonUTF8Stream::isValidUTF8(b + i + 1, stop))) {
                        plain = std::string_view(reinterpret_cast<const char*>(b + i + 1), static_cast<size_t>(stop - b - i - 1));
                        i = static_cast<size_t>(stop - b) + 1;
                        code = JsonTokenString;
                    } else {
                        code = -2;
                    }
                    break;
                }
                default:
                    code = -2;
                    break;
            }
            if (code == -2) {
                // Everything else, in the tokeniser's words.
                if (!tokeniser) {
                    tokeniser = JsonTokeniser::create();
                    tokeniser->appendData(b, length);
                }
                JsonUTF8Stream& input = *tokeniser->stream();
                input.setIndex(i);
                code = tokeniser->getToken(token);
                i = input.index();
                if (code == JsonTokenError) {
                    error = tokeniser->error();
                    return Value();
                }
                owned = code == JsonTokenString;
                if (code == JsonTokenNumber) {
                    number = std::move(token.number);
                }
            }
        }
        if (code == JsonTokenEOF) {
            if (place == Complete) {
                return root;
            }
            error = "Unexpected end of input";
            return Value();
        }
        if ((kAccepts[place] & bit(code)) == 0) {
            error = stringWithFormat("Token '%@' not expected %@", JsonStreamParser::tokenName(code), placeName(place));
            return Value();
        }
        switch (code) {
            case JsonTokenArrayStart:
            case JsonTokenObjectStart: {
                if (open >= maxDepth) {
                    error = stringWithFormat("Input depth exceeds max depth of %lu", static_cast<unsigned long>(maxDepth));
                    return Value();
                }
                if (open == stack.size()) {
                    stack.emplace_back();
                }
                Open& top = stack[open++];
                top.resume = place;
                top.object = code == JsonTokenObjectStart;
                if (top.object) {
                    top.members.reserve(std::min(top.lastObject, kMaxRoomHint));
                    place = ObjectStart;
                } else {
                    top.items.reserve(std::min(top.lastArray, kMaxRoomHint));
                    place = ArrayStart;
                }
                break;
            }
            case JsonTokenArrayEnd:
            case JsonTokenObjectEnd: {
                Open& top = stack[--open];
                Value finished;
                if (top.object) {
                    top.lastObject = top.members.size();
                    finished = Value::dictionaryWithItems(std::move(top.members));
                    top.members = Value::DictionaryItems();
                } else {
                    top.lastArray = top.items.size();
                    finished = Value(std::move(top.items));
                    top.items = Value::ArrayItems();
                }
                switch (top.resume) {
                    case Start:
                        place = Complete;
                        break;
                    case ObjectSeparator:
                        place = ObjectGotValue;
                        break;
                    default:
                        place = ArrayGotValue;
                        break;
                }
                add(std::move(finished));
                break;
            }
            case JsonTokenSeparator:
                place = place == ObjectGotValue ? ObjectNeedKey : ArrayNeedValue;
                break;
            case JsonTokenKeyValueSeparator:
                place = ObjectSeparator;
                break;
            case JsonTokenString:
                if (place == ObjectStart || place == ObjectNeedKey) {
                    Value::DictionaryItems& members = stack[open - 1].members;
                    if (owned) {
                        members.emplace_back(std::move(token.string), Value());
                    } else {
                        members.emplace_back(std::piecewise_construct, std::forward_as_tuple(plain), std::forward_as_tuple());
                    }
                    place = ObjectGotKey;
                } else {
                    Open& top = stack[open - 1];  // a string is never the document: Start refuses it
                    if (top.object) {
                        if (owned) {
                            fill(top.members.back().second, std::move(token.string));
                        } else {
                            fill(top.members.back().second, plain);
                        }
                        place = ObjectGotValue;
                    } else {
                        if (owned) {
                            top.items.emplace_back(std::move(token.string));
                        } else {
                            top.items.emplace_back(plain);
                        }
                        place = ArrayGotValue;
                    }
                }
                break;
            case JsonTokenNumber:
                add(std::move(number));
                place = place == ObjectSeparator ? ObjectGotValue : ArrayGotValue;
                break;
            case JsonTokenTrue:
            case JsonTokenFalse:
                add(Value(code == JsonTokenTrue));
                place = place == ObjectSeparator ? ObjectGotValue : ArrayGotValue;
                break;
            default:  // null
                add(Value::null());
                place = place == ObjectSeparator ? ObjectGotValue : ArrayGotValue;
                break;
        }
    }
}

// The common case, a well-formed text, read by the shape of the grammar: an object reads a key, a
// colon, a value, then a comma or its end, so the branches follow the text instead of dispatching
// every token through one table. It accepts exactly what parseWhole accepts and builds the same tree;
// at anything else (a damaged text, an incomplete token, bytes after the document, nesting deeper than
// allowed) it gives up, and parseWhole reads the text again to say why in its words.
// Nesting the structured reader follows on the machine stack; deeper limits go to parseWhole alone.
constexpr uint32_t kStructuredDepthLimit = 128;

class Structured {
public:
    Structured(const uint8_t* bytes, size_t length, uint32_t maxDepth) : b_(bytes), n_(length), maxDepth_(maxDepth) {}

    bool document(Value& out)
    {
        i_ = skipSpace(b_, n_, 0);
        if (i_ >= n_ || (b_[i_] != '{' && b_[i_] != '[')) {
            return false;
        }
        Hint hint;
        if (!value(out, 0, hint)) {
            return false;
        }
        return skipSpace(b_, n_, i_) == n_;
    }

private:
    // Room hints per depth, as parseWhole keeps them.
    struct Hint {
        size_t array = 0;
        size_t object = 0;
    };

    // A string token at b_[i_] (a quotation mark): plain ones in place, others by the tokeniser.
    bool string(std::string_view& plain, bool& owned)
    {
        const uint8_t* stop = nullptr;
        bool high = false;
        if (scanPlainString(b_ + i_ + 1, b_ + n_, stop, high) && (!high || JsonUTF8Stream::isValidUTF8(b_ + i_ + 1, stop))) {
            plain = std::string_view(reinterpret_cast<const char*>(b_ + i_ + 1), static_cast<size_t>(stop - b_ - i_ - 1));
            i_ = static_cast<size_t>(stop - b_) + 1;
            owned = false;
            return true;
        }
        if (!tokeniser_) {
            tokeniser_ = JsonTokeniser::create();
            tokeniser_->appendData(b_, n_);
        }
        JsonUTF8Stream& input = *tokeniser_->stream();
        input.setIndex(i_);
        if (tokeniser_->getToken(token_) != JsonTokenString) {
            return false;
        }
        i_ = input.index();
        owned = true;
        return true;
    }

    // A value at b_[i_] (no white space before it) into `slot`, which is nil. A container takes its
    // room from `hint` and leaves its size there.
    bool value(Value& slot, uint32_t depth, Hint& hint)
    {
        switch (b_[i_]) {
            case '{':
                return object(slot, depth, hint);
            case '[':
                return array(slot, depth, hint);
            case '"': {
                std::string_view plain;
                bool owned = false;
                if (!string(plain, owned)) {
                    return false;
                }
                if (owned) {
                    fill(slot, std::move(token_.string));
                } else {
                    fill(slot, plain);
                }
                return true;
            }
            case 't':
                if (n_ - i_ >= 4 && std::memcmp(b_ + i_, "true", 4) == 0) {
                    i_ += 4;
                    fill(slot, true);
                    return true;
                }
                return false;
            case 'f':
                if (n_ - i_ >= 5 && std::memcmp(b_ + i_, "false", 5) == 0) {
                    i_ += 5;
                    fill(slot, false);
                    return true;
                }
                return false;
            case 'n':
                if (n_ - i_ >= 4 && std::memcmp(b_ + i_, "null", 4) == 0) {
                    i_ += 4;
                    fill(slot, Value::null());
                    return true;
                }
                return false;
            default: {
                const uint8_t c = b_[i_];
                if (c != '-' && static_cast<uint8_t>(c - '0') >= 10) {
                    return false;
                }
                Value number;
                if (JsonTokeniser::scanNumber(b_, n_, i_, number, scratch_) != JsonTokenNumber) {
                    return false;
                }
                fill(slot, std::move(number));
                return true;
            }
        }
    }

    bool array(Value& slot, uint32_t depth, Hint& hint)
    {
        if (depth >= maxDepth_) {
            return false;
        }
        ++i_;
        Value::ArrayItems items;
        items.reserve(std::min(hint.array, kMaxRoomHint));
        i_ = skipSpace(b_, n_, i_);
        if (i_ < n_ && b_[i_] == ']') {
            ++i_;
        } else {
            for (;;) {
                if (i_ >= n_) {
                    return false;
                }
                if (b_[i_] == '"') {
                    std::string_view plain;
                    bool owned = false;
                    if (!string(plain, owned)) {
                        return false;
                    }
                    if (owned) {
                        items.emplace_back(std::move(token_.string));
                    } else {
                        items.emplace_back(plain);
                    }
                } else {
                    // The items of a list tend to be alike: each takes the room of the one before.
                    items.emplace_back();
                    if (!value(items.back(), depth + 1, hints_[depth])) {
                        return false;
                    }
                }
                i_ = skipSpace(b_, n_, i_);
                if (i_ >= n_) {
                    return false;
                }
                if (b_[i_] == ',') {
                    i_ = skipSpace(b_, n_, i_ + 1);
                    continue;
                }
                if (b_[i_] != ']') {
                    return false;
                }
                ++i_;
                break;
            }
        }
        hint.array = items.size();
        fill(slot, std::move(items));
        return true;
    }

    bool object(Value& slot, uint32_t depth, Hint& hint)
    {
        if (depth >= maxDepth_) {
            return false;
        }
        ++i_;
        Value::DictionaryItems members;
        members.reserve(std::min(hint.object, kMaxRoomHint));
        i_ = skipSpace(b_, n_, i_);
        if (i_ < n_ && b_[i_] == '}') {
            ++i_;
        } else {
            for (;;) {
                if (i_ >= n_ || b_[i_] != '"') {
                    return false;
                }
                std::string_view plain;
                bool owned = false;
                if (!string(plain, owned)) {
                    return false;
                }
                if (owned) {
                    members.emplace_back(std::move(token_.string), Value());
                } else {
                    members.emplace_back(std::piecewise_construct, std::forward_as_tuple(plain), std::forward_as_tuple());
                }
                i_ = skipSpace(b_, n_, i_);
                if (i_ >= n_ || b_[i_] != ':') {
                    return false;
                }
                i_ = skipSpace(b_, n_, i_ + 1);
                if (i_ >= n_) {
                    return false;
                }
                // A member's container is shaped by its key ("user", "entities"), whatever came
                // before it at its depth.
                Hint& room = b_[i_] == '{' || b_[i_] == '[' ? keyHint(members.back().first) : scratchHint_;
                if (!value(members.back().second, depth + 1, room)) {
                    return false;
                }
                i_ = skipSpace(b_, n_, i_);
                if (i_ >= n_) {
                    return false;
                }
                if (b_[i_] == ',') {
                    i_ = skipSpace(b_, n_, i_ + 1);
                    continue;
                }
                if (b_[i_] != '}') {
                    return false;
                }
                ++i_;
                break;
            }
        }
        hint.object = members.size();
        fill(slot, Value::dictionaryWithItems(std::move(members)));
        return true;
    }

    const uint8_t* const b_;
    const size_t n_;
    const uint32_t maxDepth_;
    size_t i_ = 0;
    Ref<JsonTokeniser> tokeniser_;  // made for the first string it has to read
    JsonTokenValue token_;
    std::string scratch_;  // a number's error text, not used: parseWhole words the error
    Hint& keyHint(const std::string& key)
    {
        uint32_t hash = 2166136261u;
        for (const char c : key) {
            hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
        }
        return keyHints_[hash & (kKeyHints - 1)];
    }

    static constexpr size_t kKeyHints = 256;
    Hint hints_[kStructuredDepthLimit + 1] = {};  // by depth: the last item of a list there
    Hint keyHints_[kKeyHints];
    Hint scratchHint_;
};

Value parse(const void* bytes, size_t length, uint32_t maxDepth, std::string& error)
{
    // A text's containers are made together and mostly freed together: their handles come from
    // shared blocks rather than one allocation each.
    ValueArena::Scope handles;
    if (maxDepth <= kStructuredDepthLimit) {
        Value value;
        if (Structured(static_cast<const uint8_t*>(bytes), length, maxDepth).document(value)) {
            return value;
        }
    }
    return parseWhole(bytes, length, maxDepth, error);
}

}  // namespace JsonParser_cpp
}  // namespace

Value JsonParser::objectWithBytes(const void* bytes, size_t length)
{
    return JsonParser_cpp::parse(bytes, length, _maxDepth, _error);
}

Value JsonParser::objectWithString(std::string_view string) { return objectWithBytes(string.data(), string.size()); }

Value JsonParser::objectWithString(const Value& string)
{
    if (!string.isString()) {
        _error = "Input was 'nil'";
        return Value();
    }
    return objectWithString(std::string_view(string.string()));
}

Value JsonParser::objectWithData(const NSData* data)
{
    if (data == nullptr) {
        _error = "Input was 'nil'";
        return Value();
    }
    return objectWithData(*data);
}

Value JsonParser::objectWithString_error(std::string_view string, Ref<NSError>* error)
{
    Value value = objectWithString(string);
    if (value.isNil() && error != nullptr) {
        *error = NSError::errorWithDomain_code_userInfo(JsonParserErrorDomain, 0,
                                                        Value::dictionary({{NSLocalizedDescriptionKey, Value(_error)}}));
    }
    return value;
}

namespace NSString_JsonParsing {

Value JSONValue(std::string_view string)
{
    const Ref<JsonParser> parser = JsonParser::create();
    Value value = parser->objectWithString(string);
    if (value.isNil()) {
        NSLog("-JSONValue failed. Error is: %@", parser->error());
    }
    return value;
}

Value JSONValue(const Value& string)
{
    if (!string.isString()) {
        return Value();
    }
    return JSONValue(std::string_view(string.string()));
}

}  // namespace NSString_JsonParsing
