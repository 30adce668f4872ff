#pragma once
// The values of number tokens. Integers of fewer than 19 digits become 64-bit integers without any text
// conversion; everything else becomes an exact decimal whose text is normalised the way the platform's
// decimal numbers describe themselves: positional ("2e3" is "2000", "1.50" is "1.5", "-0.0" is "0"),
// with an exponent only when the number lies far outside the platform decimal's range ("1e400").
#include "platform/foundation/Value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace JsonNumber {

// Largest exponent magnitude a number keeps; larger ones saturate, both while the text's exponent is
// read and in the final value (the number keeps its sign and its side of 1, which is all such a value
// can mean here). The final clamp makes a written number read back as the same value.
inline constexpr int32_t exponentLimit = 1000000;

inline Value unsignedInteger(uint64_t mantissa) { return Value(static_cast<unsigned long long>(mantissa)); }
// Minus the mantissa (fewer than 19 digits, so it fits); "-0" is a signed zero.
inline Value signedInteger(uint64_t mantissa) { return Value(-static_cast<long long>(mantissa)); }
// mantissa x 10^exponent, negated when `negative`.
Value decimal(uint64_t mantissa, int32_t exponent, bool negative);
// A number token of any length, exactly.
Value decimalWithText(std::string_view token);
// The normalised text of any decimal text (sign, digits, point, exponent, in the loose forms a decimal
// Value accepts: "+5", "5.", ".5", "007").
std::string canonicalDecimalText(std::string_view text);
// Whether the text is a number as JSON writes them.
bool isJsonNumberText(std::string_view text);

}  // namespace JsonNumber
