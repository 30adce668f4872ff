#pragma once
// Writes JSON text item by item, checking the grammar with a small state machine, and hands the bytes
// to its delegate. Compact by default; human-readable puts every key and element on a line of its own,
// indented by two spaces per open container.
#include "platform/foundation/Value.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonStreamWriter;
class JsonStreamWriterState;

class JsonStreamWriterDelegate {
public:
    virtual ~JsonStreamWriterDelegate() = default;
    virtual void writer_appendBytes_length(JsonStreamWriter* writer, const void* bytes, size_t length) = 0;
};

// An object that stands for a JSON value when written (a record that writes itself as a dictionary).
class JsonProxying {
public:
    virtual ~JsonProxying() = default;
    virtual Value proxyForJson() const = 0;
};

class JsonStreamWriter : public NSObject {
public:
    static Ref<JsonStreamWriter> create();

    // Each returns true on success, false with error() set.
    bool writeObject(const Value& dict);
    bool writeArray(const Value& array);
    bool writeObjectOpen();
    bool writeObjectClose();
    bool writeArrayOpen();
    bool writeArrayClose();
    bool writeNull();
    bool writeBool(bool x);
    bool writeValue(const Value& value);
    bool writeString(std::string_view string);
    bool writeNumber(const Value& number);
    // Passes bytes to the delegate.
    void appendBytes_length(const void* bytes, size_t length);

    const std::string& error() const { return _error; }
    void setError(std::string error) { _error = std::move(error); }
    // Containers that may be open at once; 0 means no limit.
    uint32_t maxDepth() const { return _maxDepth; }
    void setMaxDepth(uint32_t maxDepth) { _maxDepth = maxDepth; }
    bool humanReadable() const { return _humanReadable; }
    void setHumanReadable(bool value) { _humanReadable = value; }
    bool sortKeys() const { return _sortKeys; }
    void setSortKeys(bool value) { _sortKeys = value; }
    // Not owned.
    Weak<JsonStreamWriterDelegate> delegate() const { return _delegate; }
    void setDelegate(Weak<JsonStreamWriterDelegate> delegate) { _delegate = std::move(delegate); }
    JsonStreamWriterState* state() const { return _state; }
    void setState(JsonStreamWriterState* state) { _state = state; }
    std::vector<JsonStreamWriterState*>& stateStack() { return _stateStack; }

    // The encoded form of a string (quotes and escapes included), as the string cache keeps it.
    static void appendEncodedString(std::string& out, std::string_view string);

protected:
    JsonStreamWriter() = default;

private:
    class DelegateScope;
    bool beginItem(bool keyAllowed);
    bool writeOpen(bool object);
    bool writeClose(bool object);
    bool enterContainer(const Value& container);
    void leaveContainer();

    std::string _error;
    std::vector<JsonStreamWriterState*> _stateStack;
    JsonStreamWriterState* _state = nullptr;
    Weak<JsonStreamWriterDelegate> _delegate;
    // The delegate while a write call runs (locked once by the outer-most call).
    JsonStreamWriterDelegate* _activeDelegate = nullptr;
    uint32_t _maxDepth = 32;
    bool _sortKeys = false;
    bool _humanReadable = false;
    // Proxies met in a row, so an object that proxies for itself cannot loop for ever.
    uint32_t _proxyHops = 0;
    // Containers being written, outer-most first: with no depth limit, a container that holds itself
    // would otherwise be written for ever.
    std::vector<const void*> _containerPath;
    // Scratch space for an encoded string.
    std::string _encoded;
};

// Collects everything written.
class JsonStreamWriterAccumulator : public NSObject, public JsonStreamWriterDelegate {
public:
    static Ref<JsonStreamWriterAccumulator> create();

    const NSMutableData& data() const { return _data; }
    NSMutableData& data() { return _data; }

    void writer_appendBytes_length(JsonStreamWriter* writer, const void* bytes, size_t length) override
    {
        _data.appendBytes_length(bytes, length);
    }

protected:
    JsonStreamWriterAccumulator() = default;

private:
    NSMutableData _data;
};
