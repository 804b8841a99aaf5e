// The indexes of the history of senders: texts hashed so that a text's hash
// can be made from its parts, and a flat table from hashes to numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The hash of a text of code points c1 ... cn is two halves, each
// c1 * B^(n-1) + ... + cn modulo 2^32 with a base B of its own: a 32-bit
// processor steps each in one multiplication, where one of 64 bits takes
// three. The hash of a text with one code point changed, left out or put
// in follows from the text's own in constant time, taken half by half.
struct HashLanes {
    std::uint32_t high = 0;
    std::uint32_t low = 0;

    constexpr HashLanes() = default;
    constexpr HashLanes(std::uint32_t highLane, std::uint32_t lowLane) : high(highLane), low(lowLane) {}
    constexpr explicit HashLanes(std::uint64_t hash)
        : high(static_cast<std::uint32_t>(hash >> 32)), low(static_cast<std::uint32_t>(hash)) {}
    // A code point, in both halves.
    static constexpr HashLanes of(char32_t c) { return {c, c}; }
    constexpr std::uint64_t value() const { return std::uint64_t{high} << 32 | low; }

    friend constexpr HashLanes operator+(HashLanes a, HashLanes b) { return {a.high + b.high, a.low + b.low}; }
    friend constexpr HashLanes operator-(HashLanes a, HashLanes b) { return {a.high - b.high, a.low - b.low}; }
    friend constexpr HashLanes operator*(HashLanes a, HashLanes b) { return {a.high * b.high, a.low * b.low}; }
};
constexpr HashLanes kHashBase{0x9E3779B1, 0x85EBCA77};
constexpr std::uint64_t hashStep(std::uint64_t hash, char32_t c) {
    return (HashLanes(hash) * kHashBase + HashLanes::of(c)).value();
}
std::uint64_t hashOf(std::string_view text);

// Sorts keys by value, or by their bits from fromBit up only (a multiple
// of 8), the rest in the order they came: a stable radix sort a byte at a
// time, passing over the bytes all keys share. Linear in the keys; no
// comparisons.
void sortKeys(std::vector<std::uint64_t>& keys, unsigned fromBit = 0);

// A table of 64-bit hashes to numbers, open addressing with linear probing,
// one 64-bit slot a number and no node: a slot keeps the hash folded to 32
// bits and mixed with a seed of the table's, which also place it. Many
// numbers may stand under one hash, and unrelated texts may share those
// bits: callers check every number against their own texts. At most three
// quarters full; growing doubles it.
class HashSlots {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // An empty table, with a seed of its own that places its hashes.
    HashSlots();

    std::size_t size() const { return count_; }
    // Room for count numbers in all without growing.
    void reserve(std::size_t count);
    // Adds number (not kNone) under hash.
    void insert(std::uint64_t hash, std::uint32_t number);

    // What the table keeps of number under hash, for fill.
    std::uint64_t slotFor(std::uint64_t hash, std::uint32_t number) const;
    // Becomes the table of slots (made by slotFor; sorted here), keeping
    // under one hash at most most numbers, the first that slots holds.
    // Sorted, the slots fall in the order their places run, so that each
    // is placed next to the one before: linear in them, where inserting
    // them as they came would walk the table at random.
    void fill(std::vector<std::uint64_t>& slots, std::size_t most);

    // Takes number from under hash; the others keep their places or move
    // up, as linear probing needs. Nothing, and false, when it is not there.
    bool erase(std::uint64_t hash, std::uint32_t number);

    // A walk over the numbers under one hash.
    struct Probe {
        std::size_t at;
        std::uint64_t key;
    };
    Probe probe(std::uint64_t hash) const;
    // The next number under the probe's hash, or kNone after the last.
    std::uint32_t next(Probe& probe) const;
    // Adds number under the hash of a probe whose walk ended (next gave
    // kNone) where it ended, with no second walk; the table, reserved for
    // it, unchanged since the probe began.
    void insertAt(const Probe& ended, std::uint32_t number);

private:
    void place(std::uint64_t slot);
    std::size_t slotOf(std::uint64_t key, std::uint32_t number) const;
    void grow(std::size_t slots);

    std::vector<std::uint64_t> slots_;  // key (the mixed hash's top 32 bits) << 32 | number; kNone for none
    std::size_t count_ = 0;
    unsigned shift_ = 64;  // 64 less log2 of the slots: a key's first slot is its top bits
    std::uint32_t seed_;
};
