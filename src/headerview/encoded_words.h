// Encoded words (RFC 2047) in a view line, shown decoded in code page 932.
#pragma once

#include <string>
#include <string_view>

#include "charset/charset_converter.h"
#include "headerview/view_model.h"

// Appends line to out with its encoded words, =?charset?B?text?= and
// =?charset?Q?text?= wherever they stand, decoded into code page 932.
// Adjacent words (only blanks and tabs between) in one charset are joined
// before conversion, and the blanks between two decoded words are dropped.
// A word whose charset is unknown or whose text is malformed, and every word
// of a run whose bytes are invalid in its charset, is kept as written. Each
// control byte that decoding yields becomes a blank, so the result is still
// one line. Linear in the line's length; the result is at most twice as long.
void appendDecoded(std::string_view line, CharsetConverter& converter, ViewText& out);
