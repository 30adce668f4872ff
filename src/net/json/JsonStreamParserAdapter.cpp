#include "net/json/JsonStreamParserAdapter.h"

Ref<JsonStreamParserAdapter> JsonStreamParserAdapter::create()
{
    return Ref<JsonStreamParserAdapter>(new JsonStreamParserAdapter());
}

JsonStreamParserAdapter::JsonStreamParserAdapter()
{
    _stack.reserve(32);
}

void JsonStreamParserAdapter::push(ContainerType type)
{
    if (_open == _stack.size()) {
        _stack.emplace_back();
    }
    OpenContainer& top = _stack[_open++];
    top.type = type;
    if (type == ContainerObject) {
        top.members.clear();
        _members = &top.members;
        _array = nullptr;
    } else {
        top.array.clear();
        _array = &top.array;
        _members = nullptr;
    }
    _currentType = type;
}

namespace {

// The items gathered for a container that closes. A gathering vector that is (nearly) full is handed
// over whole, and gets the same room again for the next container at its level, which is often of the
// same size; otherwise the items move into a vector of exactly their number, and the gathering vector
// keeps its room.
template <class Items>
Items takeGathered(Items& gathered)
{
    const size_t n = gathered.size();
    if (gathered.capacity() - n <= n / 8) {
        Items taken = std::move(gathered);
        gathered = Items();
        gathered.reserve(n);
        return taken;
    }
    Items exact(std::make_move_iterator(gathered.begin()), std::make_move_iterator(gathered.end()));
    gathered.clear();
    return exact;
}

}  // namespace

Value JsonStreamParserAdapter::pop()
{
    OpenContainer& top = _stack[--_open];
    Value finished;
    if (top.type == ContainerObject) {
        // The grammar ends an object only after the value of its last key, so every member is whole.
        finished = Value::dictionaryWithItems(takeGathered(top.members));
    } else {
        finished = Value(takeGathered(top.array));
    }
    if (_open == 0) {
        _array = nullptr;
        _members = nullptr;
        _currentType = ContainerNone;
    } else {
        OpenContainer& below = _stack[_open - 1];
        _currentType = below.type;
        _array = below.type == ContainerArray ? &below.array : nullptr;
        _members = below.type == ContainerObject ? &below.members : nullptr;
    }
    return finished;
}

void JsonStreamParserAdapter::deliver(JsonStreamParser* parser, const Value& value)
{
    const Ref<JsonStreamParserAdapterDelegate> delegate = _delegate.lock();
    if (!delegate) {
        return;
    }
    if (value.isArray()) {
        delegate->parser_foundArray(parser, value);
    } else {
        delegate->parser_foundObject(parser, value);
    }
}

template <class V>
void JsonStreamParserAdapter::found(JsonStreamParser* parser, V&& value)
{
    switch (_currentType) {
        case ContainerArray:
            _array->emplace_back(std::forward<V>(value));
            break;
        case ContainerObject:
            // The grammar guarantees that the member's key came just before.
            _members->emplace_back(std::move(_stack[_open - 1].key), std::forward<V>(value));
            break;
        default:
            deliver(parser, Value(std::forward<V>(value)));
            break;
    }
}

void JsonStreamParserAdapter::parserFoundObjectStart(JsonStreamParser*)
{
    ++_depth;
    if (_levelsToSkip >= _depth) {
        return;
    }
    push(ContainerObject);
}

void JsonStreamParserAdapter::parser_foundObjectKey(JsonStreamParser*, std::string key)
{
    // Keys of a skipped object name nothing that is built: keeping them would only let the stack grow.
    if (_levelsToSkip >= _depth) {
        return;
    }
    _stack[_open - 1].key = std::move(key);
}

void JsonStreamParserAdapter::parserFoundObjectEnd(JsonStreamParser* parser)
{
    const uint32_t oldDepth = _depth--;
    if (_levelsToSkip >= oldDepth) {
        return;
    }
    found(parser, pop());
}

void JsonStreamParserAdapter::parserFoundArrayStart(JsonStreamParser*)
{
    ++_depth;
    if (_levelsToSkip >= _depth) {
        return;
    }
    push(ContainerArray);
}

void JsonStreamParserAdapter::parserFoundArrayEnd(JsonStreamParser* parser)
{
    const uint32_t oldDepth = _depth--;
    if (_levelsToSkip >= oldDepth) {
        return;
    }
    found(parser, pop());
}

void JsonStreamParserAdapter::parser_foundBoolean(JsonStreamParser* parser, bool x) { found(parser, x); }

void JsonStreamParserAdapter::parserFoundNull(JsonStreamParser* parser) { found(parser, Value::null()); }

void JsonStreamParserAdapter::parser_foundNumber(JsonStreamParser* parser, Value num) { found(parser, std::move(num)); }

void JsonStreamParserAdapter::parser_foundString(JsonStreamParser* parser, std::string string)
{
    found(parser, std::move(string));
}
