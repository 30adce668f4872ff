#pragma once
// Turns the stream parser's events into a tree of Values (mutable dictionaries and arrays, strings,
// numbers, booleans and the null value) and hands each finished top-level value to its delegate.
#include "net/json/JsonStreamParser.h"

#include <string>
#include <vector>

class JsonStreamParserAdapter;

class JsonStreamParserAdapterDelegate {
public:
    virtual ~JsonStreamParserAdapterDelegate() = default;
    // A top-level value is finished: an array, or (for anything else) an object.
    virtual void parser_foundArray(JsonStreamParser* parser, const Value& array) = 0;
    virtual void parser_foundObject(JsonStreamParser* parser, const Value& dict) = 0;
};

class JsonStreamParserAdapter : public NSObject, public JsonStreamParserDelegate {
public:
    static Ref<JsonStreamParserAdapter> create();

    // Not owned.
    Weak<JsonStreamParserAdapterDelegate> delegate() const { return _delegate; }
    void setDelegate(Weak<JsonStreamParserAdapterDelegate> delegate) { _delegate = std::move(delegate); }
    // The outer-most levels that are not built: with 1, the elements of a top-level array are delivered
    // one by one as top-level values.
    uint32_t levelsToSkip() const { return _levelsToSkip; }
    void setLevelsToSkip(uint32_t levels) { _levelsToSkip = levels; }
    // Containers open now, skipped ones included.
    uint32_t depth() const { return _depth; }

    void parserFoundObjectStart(JsonStreamParser* parser) override;
    void parser_foundObjectKey(JsonStreamParser* parser, std::string key) override;
    void parserFoundObjectEnd(JsonStreamParser* parser) override;
    void parserFoundArrayStart(JsonStreamParser* parser) override;
    void parserFoundArrayEnd(JsonStreamParser* parser) override;
    void parser_foundBoolean(JsonStreamParser* parser, bool x) override;
    void parserFoundNull(JsonStreamParser* parser) override;
    void parser_foundNumber(JsonStreamParser* parser, Value num) override;
    void parser_foundString(JsonStreamParser* parser, std::string string) override;

protected:
    JsonStreamParserAdapter();

private:
    enum ContainerType : int32_t { ContainerNone = 0, ContainerArray = 1, ContainerObject = 2 };
    // An open container. Its items are gathered here and become the new array or dictionary, built in
    // one go, when it closes; a frame and its room are used again by the next container at its level.
    struct OpenContainer {
        ContainerType type = ContainerNone;
        Value::ArrayItems array;
        Value::DictionaryItems members;
        // An object's key waiting for its value (which may be a whole container, with keys of its own).
        std::string key;
    };

    // Adds a value (or what makes one: text, a boolean) to the innermost container, built in its
    // place; at the top level, delivers it.
    template <class V>
    void found(JsonStreamParser* parser, V&& value);
    void push(ContainerType type);
    Value pop();
    void deliver(JsonStreamParser* parser, const Value& value);

    Weak<JsonStreamParserAdapterDelegate> _delegate;
    uint32_t _levelsToSkip = 0;
    uint32_t _depth = 0;
    // The innermost open container (none at the top level).
    Value::ArrayItems* _array = nullptr;
    Value::DictionaryItems* _members = nullptr;
    // Open containers, innermost last; entries past _open are spare frames kept for reuse.
    std::vector<OpenContainer> _stack;
    size_t _open = 0;
    int32_t _currentType = ContainerNone;
};

// Keeps the finished top-level value.
class JsonStreamParserAccumulator : public NSObject, public JsonStreamParserAdapterDelegate {
public:
    static Ref<JsonStreamParserAccumulator> create() { return Ref<JsonStreamParserAccumulator>(new JsonStreamParserAccumulator()); }

    const Value& value() const { return _value; }

    void parser_foundArray(JsonStreamParser* parser, const Value& array) override { _value = array; }
    void parser_foundObject(JsonStreamParser* parser, const Value& dict) override { _value = dict; }

protected:
    JsonStreamParserAccumulator() = default;

private:
    Value _value;
};
