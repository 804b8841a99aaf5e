// The words of an Authentication-Results value (RFC 8601), read in one pass.
#pragma once

#include <cstddef>
#include <string_view>

#include "fields/nesting.h"
#include "text/ascii.h"
#include "text/byte_set.h"
#include "text/slice_text.h"

// A word, unquoted.
struct Word {
    std::string_view text;
    std::size_t equalsAt;  // its first '=' outside quoted strings; kNoEquals when none
    static constexpr std::size_t kNoEquals = static_cast<std::size_t>(-1);

    bool isPair() const { return equalsAt != kNoEquals; }
    std::string_view key() const { return text.substr(0, equalsAt); }
    std::string_view value() const { return text.substr(equalsAt + 1); }
};

// Bytes that mean something outside quoted strings and comments.
inline constexpr ByteSet kWordSpecials(std::string_view("\0\r\n \t(\";=", 9));
inline constexpr ByteSet kWordSpaces(std::string_view("\0\r\n \t", 5));

// Reads the words of an Authentication-Results value in one pass, unfolded:
// comments, which nest and may hold backslash pairs, stand for a blank; ';'
// outside quoted strings ends a part; blanks and tabs next to an '=' outside
// quoted strings are dropped, and the others split words; a word holding an
// '=' outside quoted strings is a pair. Words come unquoted: the quote marks
// dropped and the backslash escapes inside them applied. An unclosed comment
// or quoted string runs to the end. Calls sink.word(Word) for each word and
// sink.partEnd() after each part, the last one included; either returns
// false to stop. Linear in the value.
template <typename Sink>
void readWords(std::string_view value, Sink& sink) {
    const char* at = value.data();
    const char* const end = at + value.size();
    SliceText word;
    std::size_t equalsAt = Word::kNoEquals;
    Nesting nesting;
    bool open = false;         // a word has begun
    bool blanks = false;       // blanks stand after it, outside quoted strings
    bool afterEquals = false;  // its last byte outside quoted strings is an '='
    // Hands the open word, if any, to the sink; false when it stops.
    const auto endWord = [&] {
        if (!open) return true;
        const bool goOn = sink.word(Word{word.text(), equalsAt});
        word.clear();
        equalsAt = Word::kNoEquals;
        open = blanks = afterEquals = false;
        return goOn;
    };
    // A new word begins here, unless blanks next to an '=' stand before it.
    const auto goOnWord = [&] {
        if (blanks && !afterEquals && !endWord()) return false;
        open = true;
        blanks = afterEquals = false;
        return true;
    };
    for (; at < end; ++at) {
        const char c = *at;
        if (nesting.outside() && !kWordSpecials.has(c)) {
            // This byte, and those after it that mean nothing either, belong to a word.
            if (!goOnWord()) return;
            const char* run = at;
            while (at + 1 < end && !kWordSpecials.has(at[1])) ++at;
            word.take(run, at + 1);
            continue;
        }
        if (nesting.inComment()) {
            if (!isBreakOrNul(c)) nesting.readInComment(c);
            continue;
        }
        if (nesting.inQuote()) {
            if (!isBreakOrNul(c) && nesting.readInQuote(c)) word.take(at, at + 1);
            continue;
        }
        if (c == '(') {
            // A comment stands for a blank.
            nesting.openComment();
            blanks = open;
        } else if (kWordSpaces.has(c)) {
            // A fold is a break and then a blank: the run splits words.
            while (at + 1 < end && kWordSpaces.has(at[1])) ++at;
            blanks = open;
        } else if (c == ';') {
            if (!endWord() || !sink.partEnd()) return;
        } else if (c == '=') {
            if (equalsAt == Word::kNoEquals) equalsAt = open ? word.size() : 0;
            word.take(at, at + 1);
            open = true;
            blanks = false;
            afterEquals = true;
        } else {
            // A quoted string.
            if (!goOnWord()) return;
            nesting.openQuote();
        }
    }
    // A backslash with nothing after it is a byte of its own.
    if (nesting.inQuote() && nesting.escaping()) word.take(end - 1, end);
    if (endWord()) sink.partEnd();
}
