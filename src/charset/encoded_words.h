// Encoded words (RFC 2047) in header text, decoded into code page 932: for
// the view's lines and for the display names the digest lines read.
#pragma once

#include <string>
#include <string_view>

#include "charset/charset_converter.h"

// Where decoded text goes, piece by piece, in code page 932.
class TextSink {
public:
    // Text as it stands in the line, between the words decoded.
    virtual void write(std::string_view bytes) = 0;
    // Text of words decoded and converted into code page 932.
    virtual void writeConverted(std::string_view bytes) { write(bytes); }
    // An encoded word could not be decoded, and is written as it stands.
    virtual void keptAsWritten() {}
    // Whether the sink reads Unicode itself: then the words of UTF-8 are
    // handed to writeUtf8 as they stand, valid UTF-8, and not converted.
    virtual bool takesUtf8() const { return false; }
    virtual void writeUtf8(std::string_view /*text*/) {}

protected:
    ~TextSink() = default;
};

// A TextSink that appends to a buffer with append(const char*, size_t).
template <typename Buffer>
class AppendTo final : public TextSink {
public:
    explicit AppendTo(Buffer& buffer) : buffer_(buffer) {}
    void write(std::string_view bytes) override { buffer_.append(bytes.data(), bytes.size()); }

private:
    Buffer& buffer_;
};

// Writes line to out with its encoded words, =?charset?B?text?= and
// =?charset?Q?text?= wherever they stand, decoded into code page 932.
// Adjacent words (only blanks and tabs between) in one charset are joined
// before conversion, and the blanks between two decoded words are dropped.
// A word whose charset is unknown or whose text is malformed, and every word
// of a run whose bytes are invalid in its charset, is kept as written, in a
// write of its own, apart from the text on either side. Each
// control byte that decoding yields becomes a blank, so the result is still
// one line. Linear in the line's length; the result is at most twice as long.
void appendDecoded(std::string_view line, CharsetConverter& converter, TextSink& out);
