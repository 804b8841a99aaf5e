// Skeletons of domain names: each label read as Unicode (Punycode decoded)
// and every code point read as Unicode's confusables have it, so that two
// names that look alike have the same skeleton: arnazon.co.jp, amaz0n.co.jp
// and xn--mazon-3ve.co.jp (a Cyrillic a first) all read as amazon.co.jp does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "senders/confusables.h"
#include "senders/hash_slots.h"

// The longest skeleton of a domain of at most 253 bytes: each byte stands
// for one code point at most, which maps to kLongestConfusable at most.
constexpr std::size_t kMaxSkeletonSize = 253 * kLongestConfusable;
// The longest skeleton of one label of at most 63 bytes or code points.
constexpr std::size_t kMaxLabelSkeletonSize = 63 * kLongestConfusable;

// Walks the skeleton of a domain a code point at a time, holding no more
// than one label: a label that begins with "xn--" is its Punycode decoded,
// or its bytes where that does not decode; every code point is mapped (ASCII
// lower-cased with it); the dots stay. Linear in the domain; domain must
// outlive the walk.
class SkeletonWalk {
public:
    explicit SkeletonWalk(std::string_view domain) : domain_(domain) {}
    // The next code point of the skeleton; false at its end.
    bool next(char32_t& c);

private:
    void startLabel();

    std::string_view domain_;
    std::size_t at_ = 0;         // where the rest of the domain begins
    std::size_t labelEnd_ = 0;   // the end of the label read as bytes
    bool inLabel_ = false;
    char32_t decoded_[63];       // the label's code points, when decoded
    std::size_t decodedCount_ = 0;
    std::size_t decodedAt_ = 0;
    ConfusableTarget target_;
};

// The hash of domain's skeleton (hashStep over its code points).
inline std::uint64_t skeletonHash(std::string_view domain) {
    SkeletonWalk walk(domain);
    std::uint64_t hash = 0;
    for (char32_t point = 0; walk.next(point);) hash = hashStep(hash, point);
    return hash;
}

// Writes the skeleton of domain to out, room for capacity code points;
// returns its length, or 0 when it is empty or would not fit (never for a
// domain of 253 bytes or fewer and kMaxSkeletonSize).
std::size_t skeletonOf(std::string_view domain, char32_t* out, std::size_t capacity);

// The text a label's slips are counted in: each of its characters
// (Punycode decoded) as the one code point it reads as in a skeleton, or,
// for one that reads as several (m as rn), a symbol of its own beyond
// Unicode's code points, so that a slip is one character as written.
// Writes at most 63 to out; returns how many, 0 for an empty label.
std::size_t slipTextOf(std::string_view label, char32_t* out);
