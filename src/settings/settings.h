// The settings record the header view works from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An ordered list of owned byte strings: appended at the end, read in order.
using PatternList = std::vector<std::string>;

constexpr std::size_t kSeparatorSize = 256;
// Keys 01 to 99 of each list section.
constexpr std::size_t kMaxPatterns = 99;

// WholeFields values. Any value but these two shows each field whole, its
// continuation lines as lines of their own below it.
constexpr std::int32_t kLinesOnTheirOwn = 0;
constexpr std::int32_t kFieldsUnfolded = 2;

struct Settings {
    std::int32_t ignoreCase = 0;   // nonzero: patterns are stored lowered
    std::int32_t sort = 0;         // nonzero: group kept lines by show pattern
    std::int32_t wholeFields = kLinesOnTheirOwn;
    std::int32_t decode = 0;       // nonzero: encoded words shown decoded
    std::int32_t hops = 0;         // nonzero: each shown Received field tells its hop's delay
    std::int32_t auth = 0;         // 1: the authentication digest is the view's first line
    char separator[kSeparatorSize] = {};
    PatternList showPatterns;
    PatternList hidePatterns;
    PatternList authServers;       // the servers whose Authentication-Results are trusted
};
