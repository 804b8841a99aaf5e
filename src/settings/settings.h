// The settings record the header view works from, and the byte rule that
// makes case-blind matching agree between stored patterns and header lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An ordered list of owned byte strings: appended at the end, read in order.
using PatternList = std::vector<std::string>;

constexpr std::size_t kSeparatorSize = 256;
// Keys 01 to 99 of each list section.
constexpr std::size_t kMaxPatterns = 99;

struct Settings {
    std::int32_t ignoreCase = 0;  // nonzero: patterns are stored lowered
    std::int32_t sort = 0;        // nonzero: group kept lines by show pattern
    std::int32_t wholeFields = 0; // 0: lines on their own; 2: fields unfolded; else folded
    std::int32_t decode = 0;      // nonzero: encoded words shown decoded
    std::int32_t hops = 0;        // nonzero: each shown Received field tells its hop's delay
    char separator[kSeparatorSize] = {};
    PatternList showPatterns;
    PatternList hidePatterns;
};

// The process-wide record: filled at start, read by every callback.
extern Settings globalSettings;

// Lowers A to Z only. Shift-JIS trail bytes that happen to be ASCII letters
// are lowered too: patterns and lines go through the same rule, so they agree.
constexpr char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Applies lowerAscii to every byte of the NUL-terminated text, in place.
void lowerAsciiInPlace(char* text);

// True when text, lowered by lowerAscii, is lowerName.
bool equalsLowered(std::string_view text, std::string_view lowerName);
