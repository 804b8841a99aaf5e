// Base64 (RFC 4648) as mail writes it: in encoded words and in DKIM tags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Appends the bytes that text, base64 with its padding or with some or all
// of it missing, stands for; false when it is not base64 (out may then hold
// a part of them). Empty text is no bytes.
inline bool appendBase64(std::string_view text, std::string& out) {
    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::size_t digits = text.size() - padding;
    const std::size_t tail = digits % 4;  // digits of the last, short group
    if (tail == 1 || (padding > 0 && (tail == 0 || tail + padding > 4))) return false;
    std::uint32_t bits = 0;
    int bitCount = 0;
    for (const char c : text.substr(0, digits)) {
        int value = -1;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+') {
            value = 62;
        } else if (c == '/') {
            value = 63;
        } else {
            return false;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            out += static_cast<char>((bits >> bitCount) & 0xFF);
        }
    }
    return true;
}
