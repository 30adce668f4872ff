#pragma once
// The grammar of JSON text as a state machine over tokens. It limits the nesting depth and reports what
// it finds as events to its delegate; it may be fed the text in pieces (each parse appends bytes and goes
// on where it stopped), and the verdict does not depend on where the pieces are cut.
#include "net/json/JsonTokeniser.h"

#include <string>
#include <vector>

class JsonStreamParser;
class JsonStreamParserState;

// Parse status: the result of JsonStreamParser::parse and of a state's parserShouldReturn.
enum JsonParserStatus : int {
    JsonParserComplete = 0,
    JsonParserWaitingForData = 1,
    JsonParserError = 2,
};

// The events of a parse, in text order.
class JsonStreamParserDelegate {
public:
    virtual ~JsonStreamParserDelegate() = default;
    virtual void parserFoundObjectStart(JsonStreamParser* parser) = 0;
    virtual void parser_foundObjectKey(JsonStreamParser* parser, std::string key) = 0;
    virtual void parserFoundObjectEnd(JsonStreamParser* parser) = 0;
    virtual void parserFoundArrayStart(JsonStreamParser* parser) = 0;
    virtual void parserFoundArrayEnd(JsonStreamParser* parser) = 0;
    virtual void parser_foundBoolean(JsonStreamParser* parser, bool x) = 0;
    virtual void parserFoundNull(JsonStreamParser* parser) = 0;
    virtual void parser_foundNumber(JsonStreamParser* parser, Value num) = 0;
    virtual void parser_foundString(JsonStreamParser* parser, std::string string) = 0;
};

class JsonStreamParser : public NSObject {
public:
    // A parser in the start state, maxDepth 32, one document.
    static Ref<JsonStreamParser> create();

    // Appends the bytes and parses as far as they go: JsonParserComplete, JsonParserWaitingForData or
    // JsonParserError (then error() says why; every later parse returns JsonParserError at once).
    int parse(const void* bytes, size_t length);
    int parse(std::string_view data) { return parse(data.data(), data.size()); }
    int parse(const NSData& data) { return parse(data.bytes(), data.length()); }

    // Not owned: locked once per parse call.
    Weak<JsonStreamParserDelegate> delegate() const { return _delegate; }
    void setDelegate(Weak<JsonStreamParserDelegate> delegate) { _delegate = std::move(delegate); }
    // Containers that may be open at once (32: a text may nest 32 containers, the 33rd fails).
    uint32_t maxDepth() const { return _maxDepth; }
    void setMaxDepth(uint32_t maxDepth) { _maxDepth = maxDepth; }
    // With YES the parser goes back to the start state after each top-level container.
    bool supportMultipleDocuments() const { return _supportMultipleDocuments; }
    void setSupportMultipleDocuments(bool value) { _supportMultipleDocuments = value; }
    const std::string& error() const { return _error; }
    void setError(std::string error) { _error = std::move(error); }
    JsonStreamParserState* state() const { return _state; }
    void setState(JsonStreamParserState* state) { _state = state; }
    // The states to return to as the open containers close, innermost last.
    std::vector<JsonStreamParserState*>& stateStack() { return _stateStack; }
    const Ref<JsonTokeniser>& tokeniser() const { return _tokeniser; }

    // Open a container: event, push the current state, enter the container's start state.
    void handleArrayStart();
    void handleObjectStart();
    // "Input depth exceeds max depth of N", and the error state.
    void maxDepthError();
    // The words error texts use for a token ("start of array", "number", ...).
    static const char* tokenName(int token);

protected:
    JsonStreamParser() = default;

private:
    Weak<JsonStreamParserDelegate> _delegate;
    // The delegate while a parse call runs.
    JsonStreamParserDelegate* _activeDelegate = nullptr;
    Ref<JsonTokeniser> _tokeniser;
    std::vector<JsonStreamParserState*> _stateStack;
    JsonStreamParserState* _state = nullptr;
    uint32_t _maxDepth = 32;
    bool _supportMultipleDocuments = false;
    std::string _error;
};
