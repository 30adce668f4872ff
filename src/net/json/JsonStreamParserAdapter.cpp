#include "net/json/JsonStreamParserAdapter.h"

Ref<JsonStreamParserAdapter> JsonStreamParserAdapter::create()
{
    return Ref<JsonStreamParserAdapter>(new JsonStreamParserAdapter());
}

JsonStreamParserAdapter::JsonStreamParserAdapter()
{
    _keyStack.reserve(32);
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
        top.dict = Value::dictionary();
        _dict = &top.dict;
        _array = nullptr;
    } else {
        top.array.clear();
        _array = &top.array;
        _dict = nullptr;
    }
    _currentType = type;
}

Value JsonStreamParserAdapter::pop()
{
    OpenContainer& top = _stack[--_open];
    Value finished;
    if (top.type == ContainerObject) {
        finished = std::move(top.dict);
        top.dict = Value();
    } else {
        // The array gets exactly the room it needs; the gathering vector keeps its own for the next
        // array at this level.
        finished = Value(Value::ArrayItems(std::make_move_iterator(top.array.begin()), std::make_move_iterator(top.array.end())));
        top.array.clear();
    }
    if (_open == 0) {
        _array = nullptr;
        _dict = nullptr;
        _currentType = ContainerNone;
    } else {
        OpenContainer& below = _stack[_open - 1];
        _currentType = below.type;
        _array = below.type == ContainerArray ? &below.array : nullptr;
        _dict = below.type == ContainerObject ? &below.dict : nullptr;
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

void JsonStreamParserAdapter::found(JsonStreamParser* parser, Value&& value)
{
    switch (_currentType) {
        case ContainerArray:
            _array->push_back(std::move(value));
            break;
        case ContainerObject:
            // The grammar guarantees a pending key for every member value.
            _dict->setObject_forKey(value, _keyStack.back());
            _keyStack.pop_back();
            break;
        default:
            deliver(parser, value);
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
    _keyStack.push_back(std::move(key));
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

void JsonStreamParserAdapter::parser_foundBoolean(JsonStreamParser* parser, bool x) { found(parser, Value(x)); }

void JsonStreamParserAdapter::parserFoundNull(JsonStreamParser* parser) { found(parser, Value::null()); }

void JsonStreamParserAdapter::parser_foundNumber(JsonStreamParser* parser, Value num) { found(parser, std::move(num)); }

void JsonStreamParserAdapter::parser_foundString(JsonStreamParser* parser, std::string string)
{
    found(parser, Value(std::move(string)));
}
