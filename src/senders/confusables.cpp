#include "senders/confusables.h"

#include <algorithm>

namespace {

enum Kind : unsigned { kRun, kAbsolute1, kNearSource, kNearPrevious, kAbsolute2, kAbsolute3, kPooled, kInline };

std::uint32_t readVarint(const unsigned char*& at) {
    std::uint32_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        const unsigned char byte = *at++;
        value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return value;
    }
}

std::uint32_t readZigzag(const unsigned char*& at) {
    const std::uint32_t value = readVarint(at);
    return (value >> 1) ^ (0u - (value & 1));
}

// Moves at past a sequence.
void skipSequence(const unsigned char*& at) {
    for (unsigned count = *at++; count > 0; --count) readVarint(at);
}

}  // namespace

ConfusableTarget::ConfusableTarget(char32_t c) : remaining_(1), last_(c) {
    if (c < 0x80) {
        const unsigned char value = kConfusableAscii[c];
        if (value < 0x80) {
            last_ = value;
        } else {
            sequence_ = kConfusablePool + (value & 0x7F);
            remaining_ = *sequence_++;
            last_ = 0;
        }
        return;
    }
    const std::uint32_t* const firsts = kConfusableBlockFirst;
    const std::size_t block = static_cast<std::size_t>(std::upper_bound(firsts, firsts + kConfusableBlockCount, c) - firsts);
    if (block == 0) return;
    const unsigned char* at = kConfusableEntries + kConfusableBlockStart[block - 1];
    const unsigned char* const end =
        block < kConfusableBlockCount ? kConfusableEntries + kConfusableBlockStart[block] : kConfusableEntries + kConfusableEntriesSize;
    char32_t source = firsts[block - 1] - 1;
    char32_t offset = 0;  // the last single target less its code point
    char32_t previous = 0;  // the last entry's first target
    while (at < end) {
        const unsigned kind = *at >> 5;
        const unsigned low = *at++ & 0x1F;
        if (kind == kRun) {
            if (c > source && c - source <= low) {
                last_ = c + offset;
                return;
            }
            source += low;
            previous = source + offset;
            continue;
        }
        source += (low >> 2) != 0 ? low >> 2 : readVarint(at);
        // This entry, then (low & 3) more of its kind, each a code point on.
        for (unsigned count = (low & 3) + 1; count > 0; --count, ++source) {
            if (source > c) return;
            const bool found = source == c;
            char32_t target = 0;
            switch (kind) {
            case kAbsolute1: target = *at++; break;
            case kNearSource: target = source + static_cast<char32_t>(static_cast<signed char>(*at++)); break;
            case kNearPrevious: target = previous + static_cast<char32_t>(static_cast<signed char>(*at++)); break;
            case kAbsolute2: target = at[0] | static_cast<char32_t>(at[1]) << 8, at += 2; break;
            case kAbsolute3:
                target = at[0] | static_cast<char32_t>(at[1]) << 8 | static_cast<char32_t>(at[2]) << 16, at += 3;
                break;
            default: {
                const char32_t base = kind == kPooled ? 0 : previous;
                const unsigned char* sequence = kind == kPooled ? kConfusablePool + readVarint(at) : at;
                if (kind == kInline) skipSequence(at);
                const std::uint32_t length = *sequence++;
                if (found) {
                    remaining_ = length;
                    sequence_ = sequence;
                    last_ = base;
                    return;
                }
                previous = base + readZigzag(sequence);
                continue;
            }
            }
            if (found) {
                last_ = target;
                return;
            }
            offset = target - source;
            previous = target;
        }
        --source;  // the loop stepped past the last
    }
}

bool ConfusableTarget::next(char32_t& c) {
    if (remaining_ == 0) return false;
    --remaining_;
    if (sequence_ != nullptr) last_ += readZigzag(sequence_);
    c = last_;
    return true;
}

std::size_t confusableMapping(char32_t c, char32_t* out) {
    ConfusableTarget target(c);
    std::size_t count = 0;
    while (count < kLongestConfusable && target.next(out[count])) ++count;
    return count;
}
