#include "net/json/JsonStreamWriterState.h"

#include <algorithm>
#include <string>

#define OMBRI_SHARED_INSTANCE(Class)                \
    Class* Class::sharedInstance()                  \
    {                                               \
        static Class* const instance = new Class(); \
        return instance;                            \
    }

OMBRI_SHARED_INSTANCE(JsonStreamWriterStateStart)
OMBRI_SHARED_INSTANCE(JsonStreamWriterStateComplete)
OMBRI_SHARED_INSTANCE(JsonStreamWriterStateObjectStart)
OMBRI_SHARED_INSTANCE(JsonStreamWriterStateObjectKey)
OMBRI_SHARED_INSTANCE(JsonStreamWriterStateObjectValue)
OMBRI_SHARED_INSTANCE(JsonStreamWriterStateArrayStart)
OMBRI_SHARED_INSTANCE(JsonStreamWriterStateArrayValue)

#undef OMBRI_SHARED_INSTANCE

void JsonStreamWriterState::appendWhitespace(JsonStreamWriter* writer) const
{
    const size_t indent = 2 * writer->stateStack().size();
    char buffer[128];
    buffer[0] = '\n';
    if (indent + 1 <= sizeof buffer) {
        std::fill(buffer + 1, buffer + 1 + indent, ' ');
        writer->appendBytes_length(buffer, indent + 1);
        return;
    }
    std::string text(indent + 1, ' ');
    text[0] = '\n';
    writer->appendBytes_length(text.data(), text.size());
}

void JsonStreamWriterStateStart::transitionState(JsonStreamWriter* writer) const
{
    writer->setState(JsonStreamWriterStateComplete::sharedInstance());
}

bool JsonStreamWriterStateComplete::isInvalidState(JsonStreamWriter* writer) const
{
    writer->setError("Stream is closed");
    return true;
}

bool JsonStreamWriterStateObjectStart::expectingKey(JsonStreamWriter* writer) const
{
    writer->setError("JSON object key must be string");
    return true;
}

void JsonStreamWriterStateObjectStart::transitionState(JsonStreamWriter* writer) const
{
    writer->setState(JsonStreamWriterStateObjectValue::sharedInstance());
}

void JsonStreamWriterStateObjectKey::appendSeparator(JsonStreamWriter* writer) const
{
    writer->appendBytes_length(",", 1);
}

void JsonStreamWriterStateObjectValue::appendSeparator(JsonStreamWriter* writer) const
{
    writer->appendBytes_length(":", 1);
}

void JsonStreamWriterStateObjectValue::transitionState(JsonStreamWriter* writer) const
{
    writer->setState(JsonStreamWriterStateObjectKey::sharedInstance());
}

void JsonStreamWriterStateObjectValue::appendWhitespace(JsonStreamWriter* writer) const
{
    writer->appendBytes_length(" ", 1);
}

void JsonStreamWriterStateArrayStart::transitionState(JsonStreamWriter* writer) const
{
    writer->setState(JsonStreamWriterStateArrayValue::sharedInstance());
}

void JsonStreamWriterStateArrayValue::appendSeparator(JsonStreamWriter* writer) const
{
    writer->appendBytes_length(",", 1);
}
