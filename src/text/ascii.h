// Byte rules on ASCII that header text, settings and charset names share.
// Text is code page 932, so a byte of 0x80 or more is never taken for a
// letter, a blank or a break here; the rules are safe on any byte.
#pragma once

#include <cstddef>
#include <string_view>

// Lowers A to Z only. Shift-JIS trail bytes that happen to be ASCII letters
// are lowered too: patterns and lines go through the same rule, so they agree.
constexpr char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// A blank or a tab: what folds a header line and separates words.
constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A blank, a tab, CR or LF: what folding whitespace is made of.
constexpr bool isBlankOrBreak(char c) { return isBlank(c) || c == '\r' || c == '\n'; }

// CR, LF or NUL: what ends a line of the host's text, and what the line cut
// leaves between two lines of a field.
constexpr bool isBreakOrNul(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// A byte below 0x20, or DEL.
constexpr bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Applies lowerAscii to every byte of the NUL-terminated text, in place.
inline void lowerAsciiInPlace(char* text) {
    for (; *text != '\0'; ++text) *text = lowerAscii(*text);
}

// True when text, lowered by lowerAscii, is lowerName.
constexpr bool equalsLowered(std::string_view text, std::string_view lowerName) {
    if (text.size() != lowerName.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowerAscii(text[i]) != lowerName[i]) return false;
    }
    return true;
}

// True when a and b hold the same bytes. A loop of its own: the short texts
// it is for cost less than a call into the C library.
constexpr bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// True when name, A to Z taken as a to z, is domain or a name below it: it
// ends with '.' and domain.
constexpr bool isAtOrBelow(std::string_view name, std::string_view domain);

// True when a and b are equal with A to Z taken as a to z.
constexpr bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        // Most bytes compared are equal as they stand.
        if (a[i] != b[i] && lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

constexpr bool isAtOrBelow(std::string_view name, std::string_view domain) {
    if (name.size() < domain.size() || !equalsIgnoringCase(name.substr(name.size() - domain.size()), domain)) {
        return false;
    }
    return name.size() == domain.size() || name[name.size() - domain.size() - 1] == '.';
}
