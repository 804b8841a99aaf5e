// Unicode's confusables as the build turns them into bytes
// (tools/make-confusables-table): each code point that looks like another
// with the code points it reads as, its prototype mapped again and lower
// cased until that changes nothing, so that 0 reads as o and m as rn.
//
// ASCII stands in kConfusableAscii: a byte below 0x80 is the code point it
// maps to, one with bit 7 set the offset of a sequence in the pool. The
// others are entries sorted by code point, written in groups, 64 groups a
// block: a block's first code point is in kConfusableBlockFirst, where it
// begins in kConfusableBlockStart. A group begins with a byte, its kind in
// the top three bits. A run's low five bits count the code points after the
// last entry that each map to themselves plus that entry's offset (its
// target less its code point). Any other group's low five bits hold how far
// its first code point lies past the one before (the block's first less
// one, at its start) in bits 2-4, 0 for a varint after the byte, and in
// bits 0-1 how many entries follow the first, each a code point on; then
// each entry's target: a byte; its code point plus a signed byte; the
// target before plus a signed byte; two bytes; three bytes (low first); a
// sequence at a varint offset in the pool; a sequence right there. A
// sequence is its length, then each code point as a zigzag varint past the
// one before it, the first past 0 in the pool and past the target before in
// an entry. Varints are seven bits a byte, low first, the high bit set on
// all but the last.
#pragma once

#include <cstddef>
#include <cstdint>

extern const unsigned char kConfusableAscii[];
extern const std::uint32_t kConfusableBlockFirst[];
extern const std::uint16_t kConfusableBlockStart[];
extern const std::size_t kConfusableBlockCount;
extern const unsigned char kConfusableEntries[];
extern const std::size_t kConfusableEntriesSize;
extern const unsigned char kConfusablePool[];

// The most code points one code point maps to.
constexpr std::size_t kLongestConfusable = 5;

// The code points one code point reads as, given one at a time.
class ConfusableTarget {
public:
    ConfusableTarget() = default;
    // Looks c up; decodes at most one block.
    explicit ConfusableTarget(char32_t c);
    // The next code point c reads as; false after the last.
    bool next(char32_t& c);

private:
    const unsigned char* sequence_ = nullptr;  // the varints still to read, or null for one code point
    std::uint32_t remaining_ = 0;
    char32_t last_ = 0;
};

// Writes the code points c reads as to out, room for kLongestConfusable;
// returns how many (1 for a code point that reads as itself).
std::size_t confusableMapping(char32_t c, char32_t* out);
