// The outside service that turns text in some charset into code page 932,
// the host's ANSI code page. The DLL uses the Windows converters; native
// builds use the C library's iconv. The view's logic sees only this seam.
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

protected:
    ~CharsetConverter() = default;
};
