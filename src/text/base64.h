// Base64 (RFC 4648) as mail writes it: in encoded words, and in DKIM tags
// with folding whitespace among the digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/ascii.h"
#include "text/byte_set.h"

// What whitespace may stand among the digits and the padding.
enum class Base64Spaces : bool { kNone, kFolding };

namespace base64 {
constexpr signed char kPad = -2;
constexpr signed char kSpace = -3;
// Each byte's value as a digit, or what else it is (-1: no base64 at all).
constexpr ByteTable<signed char> kValues = ByteTable<signed char>::of([](char c) -> signed char {
    if (c >= 'A' && c <= 'Z') return static_cast<signed char>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<signed char>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<signed char>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return kPad;
    if (isBlankOrBreak(c)) return kSpace;
    return -1;
});
}  // namespace base64

// Appends to out (a std::string or an InlineBuffer of char) the bytes that
// text, base64 with its padding or with some or all of it missing, stands
// for; false, appending nothing, when it is not base64. With kFolding,
// blanks, tabs, CR and LF anywhere are skipped. Empty text is no bytes.
template <typename Bytes>
bool appendBase64(std::string_view text, Bytes& out, Base64Spaces spaces = Base64Spaces::kNone) {
    const std::size_t start = out.size();
    out.resize(start + text.size() * 3 / 4 + 1);
    char* at = out.data() + start;
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t digits = 0;
    std::size_t padding = 0;
    bool sound = true;
    for (const char c : text) {
        const signed char value = base64::kValues[c];
        if (value >= 0 && padding == 0) {
            ++digits;
            bits = (bits << 6) | static_cast<std::uint32_t>(value);
            bitCount += 6;
            if (bitCount >= 8) {
                bitCount -= 8;
                *at++ = static_cast<char>((bits >> bitCount) & 0xFF);
            }
        } else if (value == base64::kPad) {
            ++padding;
        } else if (value != base64::kSpace || spaces != Base64Spaces::kFolding) {
            sound = false;
            break;
        }
    }
    const std::size_t tail = digits % 4;  // digits of the last, short group
    if (!sound || tail == 1 || (padding > 0 && (tail == 0 || tail + padding > 4))) {
        out.resize(start);
        return false;
    }
    out.resize(static_cast<std::size_t>(at - out.data()));
    return true;
}
