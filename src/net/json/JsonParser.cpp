#include "net/json/JsonParser.h"

#include "net/json/JsonStreamParserState.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

#include <algorithm>
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

// The whole text at once: the tokens go straight into the tree, under the same grammar, depth limit
// and error texts as the stream parser with the adapter (which stays for text that comes in pieces).
// Nil on failure, with the reason in `error`.
Value parseWhole(const void* bytes, size_t length, uint32_t maxDepth, std::string& error)
{
    const Ref<JsonTokeniser> tokeniser = JsonTokeniser::create();
    tokeniser->appendData(bytes, length);
    std::vector<Open> stack;
    stack.reserve(std::min<uint32_t>(maxDepth, 32));
    size_t open = 0;  // frames in use; those past it are kept for the next container at that depth
    Place place = Start;
    Value root;
    JsonTokenValue token;

    // A finished value goes into the innermost container (or becomes the document).
    const auto add = [&](Value&& value) {
        if (open == 0) {
            root = std::move(value);
            return;
        }
        Open& top = stack[open - 1];
        if (top.object) {
            top.members.back().second = std::move(value);
        } else {
            top.items.push_back(std::move(value));
        }
    };

    JsonUTF8Stream& input = *tokeniser->stream();
    for (;;) {
        // Punctuation, about half of all tokens, is read here; anything else by the tokeniser.
        int code;
        input.skipWhitespace();
        char16_t next = 0;
        if (!input.getUnichar(next)) {
            code = JsonTokenEOF;
        } else if (next == ',') {
            code = JsonTokenSeparator;
            input.skip();
        } else if (next == ':') {
            code = JsonTokenKeyValueSeparator;
            input.skip();
        } else if (next == '}') {
            code = JsonTokenObjectEnd;
            input.skip();
        } else if (next == ']') {
            code = JsonTokenArrayEnd;
            input.skip();
        } else {
            code = tokeniser->getToken(token);
        }
        if (code == JsonTokenError) {
            error = tokeniser->error();
            return Value();
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
                    stack[open - 1].members.emplace_back(std::move(token.string), Value());
                    place = ObjectGotKey;
                } else {
                    add(Value(std::move(token.string)));
                    place = place == ObjectSeparator ? ObjectGotValue : ArrayGotValue;
                }
                break;
            case JsonTokenNumber:
                add(std::move(token.number));
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

}  // namespace JsonParser_cpp
}  // namespace

Value JsonParser::objectWithBytes(const void* bytes, size_t length)
{
    return JsonParser_cpp::parseWhole(bytes, length, _maxDepth, _error);
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
