// How the trust lines show what a sender wrote: a domain (the From domain, a
// signer's, one a display name claims) or a result, or "?" when it cannot be
// shown. Only lower-case letters, digits, '.', '-' and '_' are ever shown, so
// nothing a sender writes can put other text into a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "domains/public_suffixes.h"
#include "text/ascii.h"

// A shown domain or result: its text, or "?".
template <std::size_t Capacity>
class ShownText {
    static_assert(Capacity < 256, "the length is kept in a byte");

public:
    // "?".
    ShownText() {}
    // Copies only the bytes in use.
    ShownText(const ShownText& other) : length_(other.length_) { copyFrom(other); }
    ShownText& operator=(const ShownText& other) {
        length_ = other.length_;
        copyFrom(other);
        return *this;
    }

    // For the functions that make one, in place: room for Capacity bytes, to
    // be filled with what may be shown only, then its length; or "?" again.
    char* room() { return text_; }
    void setLength(std::size_t length) { length_ = static_cast<std::uint8_t>(length); }
    void clear() { length_ = 0; }

    bool known() const { return length_ != 0; }
    std::string_view text() const { return known() ? std::string_view(text_, length_) : "?"; }
    bool operator==(const ShownText& other) const { return sameText(text(), other.text()); }
    bool is(std::string_view shown) const { return sameText(text(), shown); }
    bool operator!=(const ShownText& other) const { return !(*this == other); }

private:
    void copyFrom(const ShownText& other) {
        const std::size_t length = length_;
        for (std::size_t i = 0; i < length; ++i) text_[i] = other.text_[i];
    }

    char text_[Capacity];
    std::uint8_t length_ = 0;  // 0 stands for "?"
};

constexpr std::size_t kShownDomainSize = kLongestDnsName;
constexpr std::size_t kShownResultSize = 32;
using ShownDomain = ShownText<kShownDomainSize>;
using ShownResult = ShownText<kShownResultSize>;

// Sets shown to the domain as shown: trailing dots dropped, A to Z lowered;
// a domain that is valid UTF-8 has each label with a byte of 0x80 or more
// written as "xn--" and the Punycode of its code points. "?" when it is
// longer than 1,012 bytes before that, or empty, longer than 253 bytes or
// holding any other byte after it, or not valid UTF-8. Written in place:
// the callers keep one per domain, and copies cost more than the reading.
void showDomain(std::string_view raw, ShownDomain& shown);

// Sets shown to the result as shown: A to Z lowered; "?" when it is empty,
// longer than 32 bytes, or holds a byte that may not be shown.
void showResult(std::string_view raw, ShownResult& shown);
