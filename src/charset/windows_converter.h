// The DLL's converter, on the Windows code-page functions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "charset/charset_converter.h"

// ISO-2022-JP and EUC-JP go through mlang.dll, since MultiByteToWideChar
// refuses them under Wine; mlang is loaded on first use, so that the plug-in
// loads where it is missing and then leaves such words encoded. Domain names
// and compatibility forms go through normaliz.dll, loaded the same way:
// where it is missing, a domain written in Unicode is one that cannot be
// mapped, and text stays as it is.
class WindowsConverter final : public CharsetConverter {
public:
    bool toCodePage932(const Charset& charset, std::string_view bytes, std::string& out) override;
    bool toAsciiDomain(std::string_view domain, std::string& ascii) override;
    bool toCompatibilityForm(std::string_view text, std::string& decomposed) override;

private:
    using MlangConvert = HRESULT(WINAPI*)(DWORD* mode, DWORD encoding, const char* source, INT* sourceCount,
                                          WCHAR* destination, INT* destinationCount);
    MlangConvert mlang();
    // IdnToAscii and NormalizeString, from normaliz.dll, where Windows
    // Vista and later keep them.
    using IdnConvert = int(WINAPI*)(DWORD flags, const WCHAR* unicode, int unicodeCount, WCHAR* ascii, int asciiCount);
    using Normalize = int(WINAPI*)(int form, const WCHAR* source, int sourceCount, WCHAR* destination,
                                   int destinationCount);
    void loadNormaliz();

    bool mlangTried_ = false;
    MlangConvert mlangConvert_ = nullptr;
    bool normalizTried_ = false;
    IdnConvert idnToAscii_ = nullptr;
    Normalize normalize_ = nullptr;
    std::vector<wchar_t> wide_;  // kept for the next call, unless it grew large
};
