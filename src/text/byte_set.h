// Tables with an entry for each byte value: the sets that tell a reader
// which bytes mean something to it, and what a byte is shown as. Built at
// compile time or per mail; a lookup is one load, in the loops that run over
// every byte of a field.
#pragma once

#include <cstdint>
#include <string_view>

template <typename Value>
class ByteTable {
public:
    constexpr ByteTable() = default;
    // The table whose entry for each byte c is valueOf(c).
    template <typename ValueOf>
    static constexpr ByteTable of(ValueOf valueOf) {
        ByteTable table;
        for (unsigned c = 0; c < 256; ++c) table.values_[c] = valueOf(static_cast<char>(c));
        return table;
    }

    constexpr Value operator[](char c) const { return values_[static_cast<unsigned char>(c)]; }
    constexpr void set(char c, Value value) { values_[static_cast<unsigned char>(c)] = value; }

private:
    Value values_[256] = {};
};

// A set of byte values.
class ByteSet {
public:
    constexpr ByteSet() = default;
    // The bytes of text, NULs included.
    constexpr explicit ByteSet(std::string_view bytes) {
        for (const char c : bytes) add(c);
    }
    // Every byte that keep() holds for.
    template <typename Keep>
    static constexpr ByteSet where(Keep keep) {
        ByteSet set;
        set.in_ = ByteTable<bool>::of(keep);
        return set;
    }

    constexpr void add(char c) { in_.set(c, true); }
    constexpr bool has(char c) const { return in_[c]; }

private:
    ByteTable<bool> in_;
};

// A set of byte values kept as bits, for the sets made anew for every mail:
// 32 bytes to clear where a ByteSet takes 256, at the cost of a shift a test.
class ByteBits {
public:
    void add(char c) {
        const auto byte = static_cast<unsigned char>(c);
        words_[byte / 32] |= 1u << (byte % 32);
    }
    bool has(char c) const {
        const auto byte = static_cast<unsigned char>(c);
        return (words_[byte / 32] >> (byte % 32) & 1) != 0;
    }

private:
    std::uint32_t words_[8] = {};
};
