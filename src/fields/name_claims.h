// What a display name claims. People read the name beside the address, not
// the address: "Amazon.co.jp" <info@xyz.example> writes a brand's domain
// where the eye goes and sends from elsewhere. A claim is a fact the lines
// state, not a verdict of fraud: a newsletter sent through a mailing
// service names its brand's domain too.
#pragma once

#include <string_view>

#include "charset/charset_converter.h"
#include "fields/shown_text.h"

// Reads the claims a display name makes, as a client shows it (see
// Sender::displayName), and as a person reads it. Its encoded words are
// decoded (those of UTF-8 read as they stand, the others through converter
// into code page 932); raw text is read as UTF-8 when it is valid UTF-8
// beyond ASCII, as ISO-2022-JP when it holds escapes, else as code page
// 932, and, when that claims nothing, as broken UTF-8 and as an EUC
// charset. Unicode text is read in its compatibility form; invisible
// characters and combining marks are dropped; full-width and mathematical
// letters and digits, the dots of other scripts and the look-alikes of
// letters, digits and dots (by Unicode's confusables: a Cyrillic "о") are
// read as ASCII; a right-to-left override is read as it shows. Claims are read in order from runs of ASCII letters, digits, '-',
// '.' and, for an address, its local part's characters: an address claims
// its domain; a domain name claims itself when its last labels match a rule
// of the Public Suffix List (not the default rule for unlisted names, nor
// one of the generic top-level domains delegated since 2012, which end
// words of prose by chance, though a domain before such a label claims
// itself), with one label more of two characters at least. Sets claim to
// the organizational domain of the first claim whose organizational domain
// is not fromOrganization, as shown; to "?" when there is none. Letters
// are compared without case. Linear in the name; of each word it keeps no
// more than a domain's bytes.
// Returns false when the name holds an encoded word that cannot be decoded:
// what it says cannot be read.
bool findNameClaim(std::string_view name, std::string_view fromOrganization, CharsetConverter& converter,
                   ShownDomain& claim);

// Ranges of code points that are neither invisible, nor a dot, nor look like
// a Latin letter, digit or dot by the confusables the build compiles in or
// in their compatibility form (a test holds them to both): the kana, kanji
// and hangul of most names a Japanese user meets are read without a lookup
// in the table or a call to normalize them, which cost far more than a
// comparison. The enclosed and compatibility forms between them (㎝, ⑳)
// stand outside.
inline constexpr char32_t kNoLookAlikes[][2] = {
    {0x3040, 0x3163}, {0x3165, 0x31FF}, {0x3400, 0x9FFF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFF62, 0xFF9F},
};

// Reads the code page 932 character at text[at] (one or two bytes) as ASCII
// where it is the full-width form of an ASCII character (U+FF01 to U+FF5E)
// or a full stop ("。", "．", "｡"); returns the character, or 0 for any other
// character beyond ASCII, and the bytes it takes in length.
char foldedAscii(std::string_view text, std::size_t at, std::size_t& length);
