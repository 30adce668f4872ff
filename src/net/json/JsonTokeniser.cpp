#include "net/json/JsonTokeniser.h"

#include "platform/foundation/DecimalDigits.h"

#include "net/json/JsonNumber.h"
#include "platform/foundation/NSString.h"

#include <algorithm>

namespace {

// Appends a code point below U+10000 (no surrogates) or a whole supplementary one as UTF-8.
void appendCodePoint(std::string& s, uint32_t cp)
{
    if (cp < 0x80) {
        s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        const char b[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        s.append(b, 2);
    } else if (cp < 0x10000) {
        const char b[3] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (cp & 0x3F))};
        s.append(b, 3);
    } else {
        const char b[4] = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                           static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
        s.append(b, 4);
    }
}

int hexValue(uint8_t c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline bool isDigit(uint8_t c) { return static_cast<uint8_t>(c - '0') < 10; }

}  // namespace

Ref<JsonTokeniser> JsonTokeniser::create()
{
    Ref<JsonTokeniser> self(new JsonTokeniser());
    self->_stream = JsonUTF8Stream::create();
    return self;
}

int JsonTokeniser::getToken(JsonTokenValue& value)
{
    JsonUTF8Stream& stream = *_stream;
    stream.skipWhitespace();
    char16_t ch = 0;
    if (!stream.getUnichar(ch)) {
        return JsonTokenEOF;
    }
    const size_t start = stream.index();
    int token;
    switch (ch) {
        case '"':
            token = getStringToken(value.string);
            break;
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            token = getNumberToken(value.number);
            break;
        case '[':
            stream.skip();
            return JsonTokenArrayStart;
        case ']':
            stream.skip();
            return JsonTokenArrayEnd;
        case '{':
            stream.skip();
            return JsonTokenObjectStart;
        case '}':
            stream.skip();
            return JsonTokenObjectEnd;
        case ',':
            stream.skip();
            return JsonTokenSeparator;
        case ':':
            stream.skip();
            return JsonTokenKeyValueSeparator;
        case 't':
            token = match_length_retval("true", 4, JsonTokenTrue);
            break;
        case 'f':
            token = match_length_retval("false", 5, JsonTokenFalse);
            break;
        case 'n':
            token = match_length_retval("null", 4, JsonTokenNull);
            break;
        case '+':
            setError("Leading + is illegal in number");
            return JsonTokenError;
        default: {
            // Printable ASCII is shown as it is; any other byte escaped, so that logs stay valid UTF-8.
            const auto byte = static_cast<unsigned>(ch & 0xFF);
            setError(byte >= 0x20 && byte < 0x7F ? stringWithFormat("Illegal start of token [%c]", byte)
                                                 : stringWithFormat("Illegal start of token [\\x%02X]", byte));
            return JsonTokenError;
        }
    }
    if (token == JsonTokenEOF) {
        stream.setIndex(start);
    }
    return token;
}

int JsonTokeniser::match_length_retval(const char* pattern, size_t length, int retval)
{
    if (!_stream->haveRemainingCharacters(length)) {
        return JsonTokenEOF;
    }
    if (_stream->skipCharacters_length(pattern, length)) {
        return retval;
    }
    setError(stringWithFormat("Expected '%s' after initial '%.1s'", pattern, pattern));
    return JsonTokenError;
}

int JsonTokeniser::getStringToken(std::string& string)
{
    JsonUTF8Stream& stream = *_stream;
    bool first = true;
    for (;;) {
        // Past the opening quote at first, later past the last byte of an escape.
        stream.skip();
        std::string_view run;
        const JsonUTF8Stream::SimpleString found = stream.getSimpleString(run);
        if (found == JsonUTF8Stream::simple_string_end) {
            return JsonTokenEOF;
        }
        if (found == JsonUTF8Stream::simple_string_broken) {
            setError("Broken Unicode encoding");
            return JsonTokenError;
        }
        if (first) {
            string.assign(run);
            first = false;
        } else {
            string.append(run);
        }
        char16_t ch = 0;
        stream.getUnichar(ch);  // the byte that stopped the run is there
        if (ch == '"') {
            stream.skip();
            return JsonTokenString;
        }
        if (ch == '\\') {
            if (!stream.getNextUnichar(ch)) {
                return JsonTokenEOF;
            }
            const int decoded = decodeEscape_into(ch, string);
            if (decoded != 1) {
                return decoded;
            }
            continue;
        }
        setError(stringWithFormat("Unescaped control character [0x%0.2X]", static_cast<unsigned>(ch)));
        return JsonTokenError;
    }
}

bool JsonTokeniser::decodeHexQuad(char16_t& unit)
{
    const uint8_t* p = _stream->bytes() + _stream->index() + 1;
    unsigned result = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(p[i]);
        if (digit < 0) {
            return false;
        }
        result = result * 16 + static_cast<unsigned>(digit);
    }
    _stream->setIndex(_stream->index() + 4);
    unit = static_cast<char16_t>(result);
    return true;
}

int JsonTokeniser::decodeEscape_into(char16_t ch, std::string& string)
{
    switch (ch) {
        case '"':
        case '\\':
        case '/':
            string.push_back(static_cast<char>(ch));
            return 1;
        case 'b':
            string.push_back('\b');
            return 1;
        case 'f':
            string.push_back('\f');
            return 1;
        case 'n':
            string.push_back('\n');
            return 1;
        case 'r':
            string.push_back('\r');
            return 1;
        case 't':
            string.push_back('\t');
            return 1;
        case 'u':
            break;
        default:
            setError("Illegal escape character");
            return JsonTokenError;
    }
    JsonUTF8Stream& stream = *_stream;
    // The u and its four digits.
    if (!stream.haveRemainingCharacters(5)) {
        return JsonTokenEOF;
    }
    char16_t high;
    if (!decodeHexQuad(high)) {
        setError("Invalid hex quad");
        return JsonTokenError;
    }
    if (high < 0xD800 || high > 0xDFFF) {
        appendCodePoint(string, high);
        return 1;
    }
    if (high >= 0xDC00) {
        setError("Invalid high character in surrogate pair");
        return JsonTokenError;
    }
    // The high unit's last digit and at least the low unit's backslash, u and three digits.
    if (!stream.haveRemainingCharacters(6)) {
        return JsonTokenEOF;
    }
    char16_t c1 = 0;
    char16_t c2 = 0;
    stream.getNextUnichar(c1);
    stream.getNextUnichar(c2);
    if (c1 != '\\' || c2 != 'u') {
        setError("Missing low character in surrogate pair");
        return JsonTokenError;
    }
    unsigned low = 0;
    for (int i = 0; i < 4; ++i) {
        char16_t c;
        if (!stream.getNextUnichar(c)) {
            return JsonTokenEOF;
        }
        const int digit = c < 0x80 ? hexValue(static_cast<uint8_t>(c)) : -1;
        if (digit < 0) {
            setError("Missing low character in surrogate pair");
            return JsonTokenError;
        }
        low = low * 16 + static_cast<unsigned>(digit);
    }
    if (low < 0xDC00 || low > 0xDFFF) {
        setError("Invalid low character in surrogate pair");
        return JsonTokenError;
    }
    appendCodePoint(string, 0x10000 + ((static_cast<uint32_t>(high) - 0xD800) << 10) + (low - 0xDC00));
    return 1;
}

int JsonTokeniser::getNumberToken(Value& number)
{
    JsonUTF8Stream& stream = *_stream;
    size_t i = stream.index();
    const int token = scanNumber(stream.bytes(), stream.length(), i, number, _error);
    if (token == JsonTokenNumber) {
        stream.setIndex(i);
    }
    return token;
}

int JsonTokeniser::scanNumber(const uint8_t* b, size_t n, size_t& position, Value& number, std::string& error)
{
    const size_t start = position;
    size_t i = start;
    bool negative = false;
    if (b[i] == '-') {
        negative = true;
        if (++i == n) {
            return JsonTokenEOF;
        }
    }

    uint64_t mantissa = 0;
    int digits = 0;
    if (b[i] == '0') {
        ++digits;
        if (++i == n) {
            return JsonTokenEOF;
        }
        if (isDigit(b[i])) {
            error = std::string("Leading zero is illegal in number");
            return JsonTokenError;
        }
    } else {
        // Long runs eight digits at a time, while more text follows them (the end of the text inside
        // a number is for the byte loop to find). Past 18 digits the mantissa is not used.
        while (n - i > 8 && DecimalDigits::eightDigits(b + i)) {
            mantissa = mantissa * 100000000 + DecimalDigits::valueOfEightDigits(b + i);
            digits += 8;
            i += 8;
        }
        while (isDigit(b[i])) {
            mantissa = mantissa * 10 + (b[i] - '0');
            ++digits;
            if (++i == n) {
                return JsonTokenEOF;
            }
        }
    }
    // A minus needs an integer digit of its own: "-.5" is not a number.
    if (negative && digits == 0) {
        error = std::string("No digits after initial minus");
        return JsonTokenError;
    }

    bool integer = true;
    bool scientific = false;
    int32_t exponent = 0;
    if (b[i] == '.') {
        integer = false;
        if (++i == n) {
            return JsonTokenEOF;
        }
        if (!isDigit(b[i])) {
            error = std::string("No digits after decimal point");
            return JsonTokenError;
        }
        while (n - i > 8 && DecimalDigits::eightDigits(b + i)) {
            mantissa = mantissa * 100000000 + DecimalDigits::valueOfEightDigits(b + i);
            digits += 8;
            exponent -= 8;
            i += 8;
        }
        while (isDigit(b[i])) {
            mantissa = mantissa * 10 + (b[i] - '0');
            ++digits;
            --exponent;
            if (++i == n) {
                return JsonTokenEOF;
            }
        }
    }
    if (b[i] == 'e' || b[i] == 'E') {
        integer = false;
        scientific = true;
        if (++i == n) {
            return JsonTokenEOF;
        }
        bool negativeExponent = false;
        if (b[i] == '-' || b[i] == '+') {
            negativeExponent = b[i] == '-';
            if (++i == n) {
                return JsonTokenEOF;
            }
        }
        if (!isDigit(b[i])) {
            error = std::string("No digits in exponent");
            return JsonTokenError;
        }
        // Saturates instead of wrapping: an absurd exponent still gives a number of the right side.
        int32_t e = 0;
        while (isDigit(b[i])) {
            e = std::min(e * 10 + (b[i] - '0'), JsonNumber::exponentLimit);
            if (++i == n) {
                return JsonTokenEOF;
            }
        }
        exponent += negativeExponent ? -e : e;
    }
    position = i;

    if (digits < 19) {
        if (integer) {
            number = negative ? JsonNumber::signedInteger(mantissa) : JsonNumber::unsignedInteger(mantissa);
        } else if (!scientific && b[i - 1] != '0') {
            // A plain fraction that ends in a non-zero digit is already in its normal form, and its
            // digits are all taken in: the decimal is made of them, not of the text again.
            number = Value::plainDecimal(mantissa, static_cast<unsigned>(digits + exponent), static_cast<unsigned>(-exponent), negative);
        } else {
            number = JsonNumber::decimal(mantissa, exponent, negative);
        }
    } else {
        number = JsonNumber::decimalWithText(std::string_view(reinterpret_cast<const char*>(b) + start, i - start));
    }
    return JsonTokenNumber;
}
