// The parts of a From value (RFC 5322 mailboxes), read in one pass: the one
// reader of the field, for its addresses and for what its display name says.
#pragma once

#include <cstddef>
#include <string_view>

#include "fields/nesting.h"
#include "text/ascii.h"
#include "text/byte_set.h"

// What a part held, told at its end.
struct FromPart {
    // It holds an '@' outside quoted strings and comments: it is an address.
    bool isAddress = false;
    // It holds a '<' outside them: its display name is what stands before.
    bool bracketed = false;
    // Where its domain begins: after the last '@' between its first '<' and
    // the '>' after it, when it is bracketed, else after its last '@'; null
    // when its bracket holds no '@'.
    const char* domain = nullptr;
    // Where it ends: its ',' or the value's end.
    const char* end = nullptr;
    // The value's end ends it: it is the last part.
    bool last = false;
};

namespace from_parts {

// Bytes that mean something outside quoted strings and comments.
inline constexpr ByteSet kSpecials(std::string_view("\0\r\n(\"<>@,", 10));
// Bytes that mean something inside them.
inline constexpr ByteSet kQuoteSpecials(std::string_view("\0\r\n\"\\", 5));
inline constexpr ByteSet kCommentSpecials(std::string_view("\0\r\n()\\", 6));

// A run from at up to the first byte of stops, or end.
inline const char* runEnd(const char* at, const char* end, const ByteSet& stops) {
    while (at < end && !stops.has(*at)) ++at;
    return at;
}

}  // namespace from_parts

// Reads a From value part by part, parts being split at commas outside
// quoted strings, comments and '<' to '>'; the end ends the last part, even
// in an unclosed comment or quoted string. For the text of each part, in
// order, calls sink.text(piece, inComment): its bytes, brackets and what
// they hold included, quote marks taken away and backslash escapes applied
// (inComment false), and the text of its comments, each comment's start and
// end as a blank (inComment true); the breaks the line cut left (CR, LF,
// NUL) are no text. Calls sink.bracket() at a part's first '<', before its
// text, and sink.partEnd(FromPart) at its end, which returns false to stop.
// No recursion; linear in the value; pieces are slices of the value or " ".
template <typename Sink>
void readFromParts(std::string_view value, Sink& sink) {
    using namespace from_parts;
    const char* at = value.data();
    const char* const end = at + value.size();
    FromPart part;
    const char* lastAt = nullptr;         // of the part
    const char* bracketLastAt = nullptr;  // of the part's first bracket
    bool inBracket = false;
    bool inFirstBracket = false;
    Nesting nesting;
    const auto text = [&](const char* first, const char* last, bool inComment) {
        if (last > first) sink.text(std::string_view(first, static_cast<std::size_t>(last - first)), inComment);
    };
    static constexpr char kBlank[] = " ";
    for (;; ++at) {
        if (!nesting.outside()) {
            const bool comment = nesting.inComment();
            if (nesting.escaping()) {
                // The byte after a backslash is text, whatever it is.
                if (at < end && !isBreakOrNul(*at)) {
                    if (comment) {
                        nesting.readInComment(*at);
                    } else {
                        nesting.readInQuote(*at);
                    }
                    text(at, at + 1, comment);
                }
            } else {
                const char* run = runEnd(at, end, comment ? kCommentSpecials : kQuoteSpecials);
                text(at, run, comment);
                at = run;
                if (at < end && !isBreakOrNul(*at)) {
                    if (!comment) {
                        nesting.readInQuote(*at);  // the closing quote, or a backslash
                    } else {
                        nesting.readInComment(*at);
                        if (!nesting.inComment()) {
                            text(kBlank, kBlank + 1, true);
                        } else if (*at != '\\') {
                            text(at, at + 1, true);  // a nested '(' or ')'
                        }
                    }
                }
            }
            // The end ends the last part, even in a comment or quoted string.
            if (at < end) continue;
            nesting = Nesting();
        }
        const char* run = runEnd(at, end, kSpecials);
        text(at, run, false);
        at = run;
        if (at < end) {
            const char c = *at;
            if (isBreakOrNul(c)) continue;
            if (c == '(') {
                nesting.openComment();
                text(kBlank, kBlank + 1, true);
            } else if (c == '"') {
                nesting.openQuote();
            } else if (c != ',' || inBracket) {
                if (c == '<' && !inBracket) {
                    if (!part.bracketed) sink.bracket();
                    inBracket = true;
                    inFirstBracket = !part.bracketed;
                    part.bracketed = true;
                } else if (c == '>' && inBracket) {
                    inBracket = inFirstBracket = false;
                } else if (c == '@') {
                    lastAt = at;
                    if (inFirstBracket) bracketLastAt = at;
                }
                text(at, at + 1, false);
            }
            if (c != ',' || inBracket) continue;
        }
        part.isAddress = lastAt != nullptr;
        const char* domainAt = part.bracketed ? bracketLastAt : lastAt;
        part.domain = domainAt != nullptr ? domainAt + 1 : nullptr;
        part.end = at;
        part.last = at == end;
        if (!sink.partEnd(part) || part.last) return;
        part = FromPart();
        lastAt = bracketLastAt = nullptr;
        inBracket = inFirstBracket = false;
    }
}
