#pragma once
// The stream parser's states: one class per state, each with one shared instance that holds no data
// and lives for the whole process. The state pushed when a container opens decides what follows its
// close.
#include "net/json/JsonStreamParser.h"

class JsonStreamParserState : public NSObject {
public:
    virtual bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const { return false; }
    // The status when the input runs out in this state (waiting for data by default).
    virtual int parserShouldReturn(JsonStreamParser* parser) const { return JsonParserWaitingForData; }
    // Moves the parser on after an accepted token (or, for the state pushed at a container's opening,
    // after the container's close).
    virtual void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const {}
    // YES where a string is an object key.
    virtual bool needKey() const { return false; }
    // How error texts name the place ("as array value").
    virtual const char* name() const = 0;

protected:
    JsonStreamParserState() = default;
};

class JsonStreamParserStateStart final : public JsonStreamParserState {
public:
    static JsonStreamParserStateStart* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateStart() = default;
};

class JsonStreamParserStateComplete final : public JsonStreamParserState {
public:
    static JsonStreamParserStateComplete* sharedInstance();
    int parserShouldReturn(JsonStreamParser* parser) const override;
    const char* name() const override;

private:
    JsonStreamParserStateComplete() = default;
};

class JsonStreamParserStateError final : public JsonStreamParserState {
public:
    static JsonStreamParserStateError* sharedInstance();
    int parserShouldReturn(JsonStreamParser* parser) const override;
    const char* name() const override;

private:
    JsonStreamParserStateError() = default;
};

class JsonStreamParserStateObjectStart final : public JsonStreamParserState {
public:
    static JsonStreamParserStateObjectStart* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    bool needKey() const override { return true; }
    const char* name() const override;

private:
    JsonStreamParserStateObjectStart() = default;
};

class JsonStreamParserStateObjectGotKey final : public JsonStreamParserState {
public:
    static JsonStreamParserStateObjectGotKey* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateObjectGotKey() = default;
};

class JsonStreamParserStateObjectSeparator final : public JsonStreamParserState {
public:
    static JsonStreamParserStateObjectSeparator* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateObjectSeparator() = default;
};

class JsonStreamParserStateObjectGotValue final : public JsonStreamParserState {
public:
    static JsonStreamParserStateObjectGotValue* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateObjectGotValue() = default;
};

class JsonStreamParserStateObjectNeedKey final : public JsonStreamParserState {
public:
    static JsonStreamParserStateObjectNeedKey* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    bool needKey() const override { return true; }
    const char* name() const override;

private:
    JsonStreamParserStateObjectNeedKey() = default;
};

class JsonStreamParserStateArrayStart final : public JsonStreamParserState {
public:
    static JsonStreamParserStateArrayStart* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateArrayStart() = default;
};

class JsonStreamParserStateArrayGotValue final : public JsonStreamParserState {
public:
    static JsonStreamParserStateArrayGotValue* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateArrayGotValue() = default;
};

class JsonStreamParserStateArrayNeedValue final : public JsonStreamParserState {
public:
    static JsonStreamParserStateArrayNeedValue* sharedInstance();
    bool parser_shouldAcceptToken(JsonStreamParser* parser, int token) const override;
    void parser_shouldTransitionTo(JsonStreamParser* parser, int token) const override;
    const char* name() const override;

private:
    JsonStreamParserStateArrayNeedValue() = default;
};
