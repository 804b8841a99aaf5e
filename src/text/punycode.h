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
