// MIME charsets as encoded words name them, one table row each, and how each
// is read into code page 932. Portable: what differs between Windows and
// native builds sits behind the CharsetConverter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CharsetConverter;

constexpr std::uint32_t kCodePage932 = 932;
constexpr std::uint32_t kUsAscii = 20127;
constexpr std::uint32_t kUtf8 = 65001;
constexpr std::uint32_t kIso2022Jp = 50220;
constexpr std::uint32_t kEucJp = 51932;

// Unicode of the bytes 0xA0 to 0xFF of an ISO 8859 part; 0 where it has none.
using UpperHalf = std::array<std::uint16_t, 96>;

struct Charset {
    std::string_view name;      // as MIME names it, lower case
    std::uint32_t codePage;     // Windows' number; words of one code page are read together
    const char* converterName;  // the C library's name for it; null where it is read here
    const UpperHalf* upperHalf; // read here, then as UTF-8, where Windows has no converter
    bool jis;                   // read by the JIS mapping: see codePage932FormOfJis
};

// Every charset known, in one table.
extern const Charset kCharsets[];
extern const std::size_t kCharsetCount;

// The row of a MIME charset name, compared case-blind with any "*language"
// suffix ignored; null when the name is unknown.
const Charset* charsetNamed(std::string_view name);

// JIS text read by the standard mapping gives a few characters as code points
// that code page 932 holds only in another form: WAVE DASH for its FULLWIDTH
// TILDE, the yen sign for its 0x5C. Returns the form code page 932 holds for
// a character read from ISO-2022-JP or EUC-JP, else c itself.
std::uint32_t codePage932FormOfJis(std::uint32_t c);

// Appends bytes, text in charset, to out as code page 932. US-ASCII, the ISO
// 8859 parts that Windows lacks and the structure of ISO-2022-JP and EUC-JP
// are checked or read here, the rest by converter. Returns false and appends
// nothing when the bytes are not valid in the charset or it cannot be
// converted.
bool convertToCodePage932(const Charset& charset, std::string_view bytes, CharsetConverter& converter,
                          std::string& out);
