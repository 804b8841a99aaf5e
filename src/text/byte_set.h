// A set of byte values, one bit each: the tables that tell a reader which
// bytes mean something to it, built at compile time or per mail.
#pragma once

#include <cstdint>
#include <string_view>

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
        for (unsigned c = 0; c < 256; ++c) {
            if (keep(static_cast<char>(c))) set.add(static_cast<char>(c));
        }
        return set;
    }

    constexpr void add(char c) {
        const auto byte = static_cast<unsigned char>(c);
        bits_[byte / 32] |= std::uint32_t{1} << (byte % 32);
    }
    constexpr bool has(char c) const {
        const auto byte = static_cast<unsigned char>(c);
        return (bits_[byte / 32] >> (byte % 32) & 1) != 0;
    }

private:
    std::uint32_t bits_[8] = {};
};
