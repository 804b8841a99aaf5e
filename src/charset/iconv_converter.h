// The native builds' converter, on the C library's iconv, libidn2 for
// domain names and ICU for Unicode's normal forms.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "charset/charset_converter.h"

// Reads a charset into UTF-32 and then writes code page 932 a character at a
// time, keeping only mappings that come back unchanged: what Windows does
// when asked for no best-fit guesses (the C library would turn the yen sign
// into a backslash). Descriptors are opened on first use and kept.
class IconvConverter final : public CharsetConverter {
public:
    IconvConverter();
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool toCodePage932(const Charset& charset, std::string_view bytes, std::string& out) override;
    bool toAsciiDomain(std::string_view domain, std::string& ascii) override;
    bool toCompatibilityForm(std::string_view text, std::string& decomposed) override;

private:
    iconv_t readerOf(const Charset& charset);
    void appendCharacter(char32_t c, std::string& out);
    std::string codePage932Of(char32_t c);

    std::map<std::uint32_t, iconv_t> readers_;  // by code page
    std::vector<std::string> bmp_;              // code page 932 of each BMP character met, once known
    const iconv_t toCodePage932_;
    const iconv_t fromCodePage932_;
};
