// MIME charset names, as encoded words give them, and their conversion to
// code page 932. Portable: the platform's part is the CharsetConverter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "charset/charset_converter.h"

// The Windows code page that stands for a MIME charset name, compared
// case-blind with any "*language" suffix ignored; 0 when the name is unknown.
std::uint32_t codePageOfCharset(std::string_view name);

// JIS text read by the standard mapping gives a few characters as code points
// that code page 932 holds only in another form: WAVE DASH for its FULLWIDTH
// TILDE, the yen sign for its 0x5C. Returns the form code page 932 holds for
// a character read from ISO-2022-JP or EUC-JP, else c itself.
std::uint32_t codePage932FormOfJis(std::uint32_t c);

// Appends bytes, text in codePage (as codePageOfCharset gives it), to out as
// code page 932. US-ASCII and the ISO 8859 parts that Windows lacks are read
// here, the rest by converter. Returns false and appends nothing when the
// bytes are not valid in the charset or it cannot be converted.
bool convertToCodePage932(std::uint32_t codePage, std::string_view bytes,
                          CharsetConverter& converter, std::string& out);
