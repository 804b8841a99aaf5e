// Punycode (RFC 3492): Unicode code points written with the letters, digits
// and hyphen of a host name.
#pragma once

#include <cstddef>
#include <string_view>

// Writes the Punycode of codePoints (each below 0x110000) to out: the basic
// code points as they are, then '-' when there were any, then the deltas in
// lower-case letters and digits. Returns the length written, or 0 when it
// would take more than capacity bytes or codePoints is empty. Takes time at
// most the square of capacity, so callers keep that small (a host name's).
std::size_t encodePunycode(std::u32string_view codePoints, char* out, std::size_t capacity);

// Reads punycode (a label's text after "xn--") back into code points at out,
// as RFC 3492 decodes it, digits of either case. Returns how many it wrote,
// or 0 when punycode is no Punycode (a byte beyond ASCII before the last
// '-', a digit that is none, a number past 32 bits or a code point past
// U+10FFFF), decodes to nothing, or would take more than capacity code
// points. Takes time at most the square of capacity, as encodePunycode.
std::size_t decodePunycode(std::string_view punycode, char32_t* out, std::size_t capacity);
