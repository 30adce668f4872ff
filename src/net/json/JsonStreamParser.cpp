#include "net/json/JsonStreamParser.h"

#include "net/json/JsonStreamParserState.h"

#include "platform/foundation/NSString.h"

Ref<JsonStreamParser> JsonStreamParser::create()
{
    Ref<JsonStreamParser> self(new JsonStreamParser());
    self->_tokeniser = JsonTokeniser::create();
    self->_stateStack.reserve(self->_maxDepth);
    self->_state = JsonStreamParserStateStart::sharedInstance();
    return self;
}

const char* JsonStreamParser::tokenName(int token)
{
    switch (token) {
        case JsonTokenArrayStart:
            return "start of array";
        case JsonTokenArrayEnd:
            return "end of array";
        case JsonTokenObjectStart:
            return "start of object";
        case JsonTokenObjectEnd:
            return "end of object";
        case JsonTokenSeparator:
            return "value separator";
        case JsonTokenKeyValueSeparator:
            return "key-value separator";
        case JsonTokenNumber:
            return "number";
        case JsonTokenString:
            return "string";
        case JsonTokenTrue:
        case JsonTokenFalse:
            return "boolean";
        case JsonTokenNull:
            return "null";
        default:
            return "<unknown token>";
    }
}

void JsonStreamParser::maxDepthError()
{
    _error = stringWithFormat("Input depth exceeds max depth of %lu", static_cast<unsigned long>(_maxDepth));
    _state = JsonStreamParserStateError::sharedInstance();
}

void JsonStreamParser::handleArrayStart()
{
    if (_stateStack.size() >= _maxDepth) {
        maxDepthError();
        return;
    }
    if (_activeDelegate != nullptr) {
        _activeDelegate->parserFoundArrayStart(this);
    }
    _stateStack.push_back(_state);
    _state = JsonStreamParserStateArrayStart::sharedInstance();
}

void JsonStreamParser::handleObjectStart()
{
    if (_stateStack.size() >= _maxDepth) {
        maxDepthError();
        return;
    }
    if (_activeDelegate != nullptr) {
        _activeDelegate->parserFoundObjectStart(this);
    }
    _stateStack.push_back(_state);
    _state = JsonStreamParserStateObjectStart::sharedInstance();
}

int JsonStreamParser::parse(const void* bytes, size_t length)
{
    _tokeniser->appendData(bytes, length);

    // The delegate stays alive for the whole call; events go to it without locking it each time.
    const Ref<JsonStreamParserDelegate> delegate = _delegate.lock();
    _activeDelegate = delegate.get();
    // On every way out: forget the delegate, and keep what is left of the caller's bytes.
    struct Release {
        JsonStreamParser& parser;
        ~Release()
        {
            parser._activeDelegate = nullptr;
            parser._tokeniser->stream()->keepPendingBytes();
        }
    } release{*this};

    JsonStreamParserDelegate* const d = _activeDelegate;
    JsonStreamParserState* const errorState = JsonStreamParserStateError::sharedInstance();
    JsonTokenValue value;
    for (;;) {
        if (_state == errorState) {
            return JsonParserError;
        }
        const int token = _tokeniser->getToken(value);
        if (token == JsonTokenError) {
            _state = errorState;
            _error = _tokeniser->error();
            return JsonParserError;
        }
        if (token == JsonTokenEOF) {
            return _state->parserShouldReturn(this);
        }
        if (!_state->parser_shouldAcceptToken(this, token)) {
            _error = stringWithFormat("Token '%@' not expected %@", tokenName(token), _state->name());
            _state = errorState;
            return JsonParserError;
        }
        switch (token) {
            case JsonTokenArrayStart:
                handleArrayStart();
                break;
            case JsonTokenObjectStart:
                handleObjectStart();
                break;
            case JsonTokenArrayEnd:
                _state = _stateStack.back();
                _stateStack.pop_back();
                _state->parser_shouldTransitionTo(this, token);
                if (d != nullptr) {
                    d->parserFoundArrayEnd(this);
                }
                break;
            case JsonTokenObjectEnd:
                _state = _stateStack.back();
                _stateStack.pop_back();
                _state->parser_shouldTransitionTo(this, token);
                if (d != nullptr) {
                    d->parserFoundObjectEnd(this);
                }
                break;
            case JsonTokenSeparator:
            case JsonTokenKeyValueSeparator:
                _state->parser_shouldTransitionTo(this, token);
                break;
            case JsonTokenNumber:
                if (d != nullptr) {
                    d->parser_foundNumber(this, std::move(value.number));
                }
                _state->parser_shouldTransitionTo(this, token);
                break;
            case JsonTokenString:
                if (d != nullptr) {
                    if (_state->needKey()) {
                        d->parser_foundObjectKey(this, std::move(value.string));
                    } else {
                        d->parser_foundString(this, std::move(value.string));
                    }
                }
                _state->parser_shouldTransitionTo(this, token);
                break;
            case JsonTokenTrue:
            case JsonTokenFalse:
                if (d != nullptr) {
                    d->parser_foundBoolean(this, token == JsonTokenTrue);
                }
                _state->parser_shouldTransitionTo(this, token);
                break;
            case JsonTokenNull:
                if (d != nullptr) {
                    d->parserFoundNull(this);
                }
                _state->parser_shouldTransitionTo(this, token);
                break;
            default:
                break;
        }
    }
}
