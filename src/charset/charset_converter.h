// The outside service that turns text into what the plug-in reads and shows:
// text in some charset into code page 932, the host's ANSI code page, and a
// domain name written in Unicode into the form DNS knows. The DLL uses
// Windows' functions; native builds use the C library's iconv and libidn2.
// The view's logic sees only this seam.
#pragma once

#include <string>
#include <string_view>

#include "charset/charsets.h"

class CharsetConverter {
public:
    // Appends bytes, text in charset, to out as code page 932. A character
    // that code page 932 lacks becomes one '?', with no best-fit guess.
    // Returns false and appends nothing when the charset cannot be converted
    // here or bytes are not valid text in it.
    virtual bool toCodePage932(const Charset& charset, std::string_view bytes, std::string& out) = 0;

    // Sets ascii to domain, a name in UTF-8, as IDNA maps it for a lookup
    // (UTS #46, or the platform's IDNA: case folded, NFC, full-width forms
    // and the ideographic full stops read as ASCII), each label that is not
    // ASCII then an A-label. False when it cannot be mapped: not UTF-8, a
    // character IDNA refuses, an empty label.
    virtual bool toAsciiDomain(std::string_view domain, std::string& ascii) = 0;

    // Sets decomposed to text, valid UTF-8, in Unicode's compatibility
    // decomposition (NFKD), in UTF-8: a letter of another style (full-width,
    // mathematical, circled, a roman numeral) becomes the plain letter it
    // stands for, and a letter with a mark the letter and the mark. False
    // when the platform cannot.
    virtual bool toCompatibilityForm(std::string_view text, std::string& decomposed) = 0;

protected:
    ~CharsetConverter() = default;
};
