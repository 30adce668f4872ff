#pragma once
// Cuts the input bytes into tokens and builds the value of string and number tokens.
#include "net/json/JsonUTF8Stream.h"
#include "platform/foundation/Value.h"

#include <string>

// Token codes: the tokeniser's results. Error texts name them through JsonStreamParser::tokenName.
enum JsonToken : int {
    JsonTokenError = -1,       // the text is in the tokeniser's error
    JsonTokenEOF = 0,          // the input ends before a whole token
    JsonTokenArrayStart = 1,   // [
    JsonTokenArrayEnd = 2,     // ]
    JsonTokenObjectStart = 3,  // {
    JsonTokenObjectEnd = 4,    // }
    JsonTokenSeparator = 5,    // ,
    JsonTokenKeyValueSeparator = 6,  // :
    JsonTokenNumber = 7,
    JsonTokenString = 8,
    JsonTokenTrue = 9,
    JsonTokenFalse = 10,
    JsonTokenNull = 11,
};

// What getToken hands out for a string or a number token.
struct JsonTokenValue {
    std::string string;  // a string token's text (UTF-8)
    Value number;        // a number token's value
};

class JsonTokeniser : public NSObject {
public:
    static Ref<JsonTokeniser> create();

    // The bytes may be read where they are: keep them alive until the next appendData or the stream's
    // keepPendingBytes.
    void appendData(const void* bytes, size_t length) { _stream->appendData(bytes, length); }
    // The next token's code; for a number or a string its value goes into `value`. On 0 the read
    // position is back at the token's start, so an incomplete token is read again when more bytes come.
    int getToken(JsonTokenValue& value);

    // A number token starting at b[position] (a minus or a digit) of the n bytes, read as getToken reads
    // it: JsonTokenNumber with its value in `number` and `position` moved past it, JsonTokenEOF when the
    // bytes end inside it, or JsonTokenError with the reason in `error`.
    static int scanNumber(const uint8_t* b, size_t n, size_t& position, Value& number, std::string& error);

    const std::string& error() const { return _error; }
    const Ref<JsonUTF8Stream>& stream() const { return _stream; }

protected:
    JsonTokeniser() = default;

private:
    int getStringToken(std::string& string);
    int getNumberToken(Value& number);
    // After a backslash: appends what the escape stands for (the position on the escape's last byte).
    int decodeEscape_into(char16_t ch, std::string& string);
    // Four hex digits after the position; false on a bad digit.
    bool decodeHexQuad(char16_t& unit);
    int match_length_retval(const char* pattern, size_t length, int retval);
    void setError(std::string error) { _error = std::move(error); }

    Ref<JsonUTF8Stream> _stream;
    std::string _error;
};
