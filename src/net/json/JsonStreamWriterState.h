#pragma once
// The stream writer's states: one shared instance per class, holding no data, living for the process.
// Each says what goes before an item (a separator, and whitespace in human-readable mode), whether only
// a key may come, and which state follows a finished item.
#include "net/json/JsonStreamWriter.h"

class JsonStreamWriterState : public NSObject {
public:
    // The stream is closed (sets the error).
    virtual bool isInvalidState(JsonStreamWriter* writer) const { return false; }
    virtual void appendSeparator(JsonStreamWriter* writer) const {}
    // Only a key (a string) may come here (sets the error).
    virtual bool expectingKey(JsonStreamWriter* writer) const { return false; }
    virtual void transitionState(JsonStreamWriter* writer) const {}
    // A line feed and two spaces per entry of the state stack.
    virtual void appendWhitespace(JsonStreamWriter* writer) const;

protected:
    JsonStreamWriterState() = default;
};

class JsonStreamWriterStateStart final : public JsonStreamWriterState {
public:
    static JsonStreamWriterStateStart* sharedInstance();
    void transitionState(JsonStreamWriter* writer) const override;

private:
    JsonStreamWriterStateStart() = default;
};

class JsonStreamWriterStateComplete final : public JsonStreamWriterState {
public:
    static JsonStreamWriterStateComplete* sharedInstance();
    bool isInvalidState(JsonStreamWriter* writer) const override;

private:
    JsonStreamWriterStateComplete() = default;
};

class JsonStreamWriterStateObjectStart : public JsonStreamWriterState {
public:
    static JsonStreamWriterStateObjectStart* sharedInstance();
    bool expectingKey(JsonStreamWriter* writer) const override;
    void transitionState(JsonStreamWriter* writer) const override;

protected:
    JsonStreamWriterStateObjectStart() = default;
};

class JsonStreamWriterStateObjectKey final : public JsonStreamWriterStateObjectStart {
public:
    static JsonStreamWriterStateObjectKey* sharedInstance();
    void appendSeparator(JsonStreamWriter* writer) const override;

private:
    JsonStreamWriterStateObjectKey() = default;
};

class JsonStreamWriterStateObjectValue final : public JsonStreamWriterState {
public:
    static JsonStreamWriterStateObjectValue* sharedInstance();
    void appendSeparator(JsonStreamWriter* writer) const override;
    void transitionState(JsonStreamWriter* writer) const override;
    void appendWhitespace(JsonStreamWriter* writer) const override;

private:
    JsonStreamWriterStateObjectValue() = default;
};

class JsonStreamWriterStateArrayStart final : public JsonStreamWriterState {
public:
    static JsonStreamWriterStateArrayStart* sharedInstance();
    void transitionState(JsonStreamWriter* writer) const override;

private:
    JsonStreamWriterStateArrayStart() = default;
};

class JsonStreamWriterStateArrayValue final : public JsonStreamWriterState {
public:
    static JsonStreamWriterStateArrayValue* sharedInstance();
    void appendSeparator(JsonStreamWriter* writer) const override;

private:
    JsonStreamWriterStateArrayValue() = default;
};
