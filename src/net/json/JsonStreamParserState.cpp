#include "net/json/JsonStreamParserState.h"

namespace {

bool isValueToken(int token)
{
    switch (token) {
        case JsonTokenArrayStart:
        case JsonTokenObjectStart:
        case JsonTokenNumber:
        case JsonTokenString:
        case JsonTokenTrue:
        case JsonTokenFalse:
        case JsonTokenNull:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Function-local statics: created once on first use, even from several threads, and never freed.
#define OMBRI_SHARED_INSTANCE(Class)               \
    Class* Class::sharedInstance()                 \
    {                                              \
        static Class* const instance = new Class(); \
        return instance;                           \
    }

OMBRI_SHARED_INSTANCE(JsonStreamParserStateStart)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateComplete)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateError)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateObjectStart)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateObjectGotKey)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateObjectSeparator)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateObjectGotValue)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateObjectNeedKey)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateArrayStart)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateArrayGotValue)
OMBRI_SHARED_INSTANCE(JsonStreamParserStateArrayNeedValue)

#undef OMBRI_SHARED_INSTANCE

// ---- Start: only a container may begin the text ------------------------------------------------------

bool JsonStreamParserStateStart::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenArrayStart || token == JsonTokenObjectStart;
}

void JsonStreamParserStateStart::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    // Runs when the outer-most container closes.
    parser->setState(parser->supportMultipleDocuments()
                         ? static_cast<JsonStreamParserState*>(JsonStreamParserStateStart::sharedInstance())
                         : JsonStreamParserStateComplete::sharedInstance());
}

const char* JsonStreamParserStateStart::name() const { return "before outer-most array or object"; }

// ---- Complete and Error: nothing more is accepted ---------------------------------------------------

int JsonStreamParserStateComplete::parserShouldReturn(JsonStreamParser*) const { return JsonParserComplete; }
const char* JsonStreamParserStateComplete::name() const { return "after outer-most array or object"; }

int JsonStreamParserStateError::parserShouldReturn(JsonStreamParser*) const { return JsonParserError; }
const char* JsonStreamParserStateError::name() const { return "in error"; }

// ---- Objects ------------------------------------------------------------------------------------------

bool JsonStreamParserStateObjectStart::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenObjectEnd || token == JsonTokenString;
}
void JsonStreamParserStateObjectStart::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateObjectGotKey::sharedInstance());
}
const char* JsonStreamParserStateObjectStart::name() const { return "at beginning of object"; }

bool JsonStreamParserStateObjectGotKey::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenKeyValueSeparator;
}
void JsonStreamParserStateObjectGotKey::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateObjectSeparator::sharedInstance());
}
const char* JsonStreamParserStateObjectGotKey::name() const { return "after object key"; }

bool JsonStreamParserStateObjectSeparator::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return isValueToken(token);
}
void JsonStreamParserStateObjectSeparator::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateObjectGotValue::sharedInstance());
}
const char* JsonStreamParserStateObjectSeparator::name() const { return "as object value"; }

bool JsonStreamParserStateObjectGotValue::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenObjectEnd || token == JsonTokenSeparator;
}
void JsonStreamParserStateObjectGotValue::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateObjectNeedKey::sharedInstance());
}
const char* JsonStreamParserStateObjectGotValue::name() const { return "after object value"; }

bool JsonStreamParserStateObjectNeedKey::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenString;
}
void JsonStreamParserStateObjectNeedKey::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateObjectGotKey::sharedInstance());
}
const char* JsonStreamParserStateObjectNeedKey::name() const { return "in place of object key"; }

// ---- Arrays -------------------------------------------------------------------------------------------

bool JsonStreamParserStateArrayStart::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenArrayEnd || isValueToken(token);
}
void JsonStreamParserStateArrayStart::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateArrayGotValue::sharedInstance());
}
const char* JsonStreamParserStateArrayStart::name() const { return "at array start"; }

bool JsonStreamParserStateArrayGotValue::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return token == JsonTokenArrayEnd || token == JsonTokenSeparator;
}
void JsonStreamParserStateArrayGotValue::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateArrayNeedValue::sharedInstance());
}
const char* JsonStreamParserStateArrayGotValue::name() const { return "after array value"; }

bool JsonStreamParserStateArrayNeedValue::parser_shouldAcceptToken(JsonStreamParser*, int token) const
{
    return isValueToken(token);
}
void JsonStreamParserStateArrayNeedValue::parser_shouldTransitionTo(JsonStreamParser* parser, int) const
{
    parser->setState(JsonStreamParserStateArrayGotValue::sharedInstance());
}
const char* JsonStreamParserStateArrayNeedValue::name() const { return "as array value"; }
