// The outside service that turns text in some charset into code page 932,
// the host's ANSI code page. The DLL uses the Windows converters; native
// builds use the C library's iconv. The view's logic sees only this seam.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CharsetConverter {
public:
    // Appends bytes, text in the Windows code page codePage, to out as code
    // page 932. A character that code page 932 lacks becomes one '?', with no
    // best-fit guess. Returns false and appends nothing when the code page
    // cannot be converted here or bytes are not valid text in it.
    virtual bool toCodePage932(std::uint32_t codePage, std::string_view bytes, std::string& out) = 0;

protected:
    ~CharsetConverter() = default;
};

// This platform's converter; process-wide, for one thread at a time.
CharsetConverter& platformCharsetConverter();
