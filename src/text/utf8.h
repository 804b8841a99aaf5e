// Reading UTF-8 as RFC 3629 has it: no overlong forms, no surrogates,
// nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

// Reads the code point of text at at into c; returns the bytes it takes, or
// 0 when no valid one begins there.
constexpr std::size_t readCodePoint(std::string_view text, std::size_t at, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    char32_t least = 0;
    c = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0x80) {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto trail = static_cast<unsigned char>(text[at + k]);
        if ((trail & 0xC0) != 0x80) return 0;
        c = c << 6 | (trail & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

// Whether all of text is valid UTF-8.
constexpr bool isUtf8(std::string_view text) {
    char32_t c = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = readCodePoint(text, at, c);
        if (length == 0) return false;
        at += length;
    }
    return true;
}
