#include "charset/charsets.h"

#include <array>
#include <cstddef>

#include "settings/settings.h"

namespace {

constexpr std::uint32_t kUsAscii = 20127;
constexpr std::uint32_t kUtf8 = 65001;
// Code pages that Windows numbers but does not convert.
constexpr std::uint32_t kIso8859_10 = 28600;
constexpr std::uint32_t kIso8859_11 = 28601;
constexpr std::uint32_t kIso8859_14 = 28604;

struct CharsetName {
    std::string_view name;
    std::uint32_t codePage;
};

constexpr CharsetName kCharsets[] = {
    {"us-ascii", kUsAscii},      {"utf-8", kUtf8},
    {"iso-2022-jp", 50220},      {"euc-jp", 51932},
    {"shift_jis", 932},          {"x-sjis", 932},
    {"cp932", 932},              {"windows-31j", 932},
    {"iso-8859-1", 28591},       {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},       {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},       {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},       {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},       {"iso-8859-10", kIso8859_10},
    {"iso-8859-11", kIso8859_11}, {"iso-8859-13", 28603},
    {"iso-8859-14", kIso8859_14}, {"iso-8859-15", 28605},
    {"windows-1250", 1250},      {"windows-1251", 1251},
    {"windows-1252", 1252},      {"windows-1253", 1253},
    {"windows-1254", 1254},      {"windows-1255", 1255},
    {"windows-1256", 1256},      {"windows-1257", 1257},
    {"windows-1258", 1258},      {"gb2312", 936},
    {"gbk", 936},                {"big5", 950},
    {"euc-kr", 949},             {"ks_c_5601-1987", 949},
    {"koi8-r", 20866},           {"koi8-u", 21866},
};

// Unicode of the bytes 0xA0 to 0xFF; 0 where the charset has no character.
using UpperHalf = std::array<std::uint16_t, 96>;

constexpr UpperHalf kIso8859_10Upper = {
    0x00A0, 0x0104, 0x0112, 0x0122, 0x012A, 0x0128, 0x0136, 0x00A7, 0x013B, 0x0110, 0x0160, 0x0166,
    0x017D, 0x00AD, 0x016A, 0x014A, 0x00B0, 0x0105, 0x0113, 0x0123, 0x012B, 0x0129, 0x0137, 0x00B7,
    0x013C, 0x0111, 0x0161, 0x0167, 0x017E, 0x2015, 0x016B, 0x014B, 0x0100, 0x00C1, 0x00C2, 0x00C3,
    0x00C4, 0x00C5, 0x00C6, 0x012E, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x0116, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x0145, 0x014C, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x0168, 0x00D8, 0x0172, 0x00DA, 0x00DB,
    0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x0101, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x012F,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x0117, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x0146, 0x014D, 0x00F3,
    0x00F4, 0x00F5, 0x00F6, 0x0169, 0x00F8, 0x0173, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x0138,
};

constexpr UpperHalf kIso8859_14Upper = {
    0x00A0, 0x1E02, 0x1E03, 0x00A3, 0x010A, 0x010B, 0x1E0A, 0x00A7, 0x1E80, 0x00A9, 0x1E82, 0x1E0B,
    0x1EF2, 0x00AD, 0x00AE, 0x0178, 0x1E1E, 0x1E1F, 0x0120, 0x0121, 0x1E40, 0x1E41, 0x00B6, 0x1E56,
    0x1E81, 0x1E57, 0x1E83, 0x1E60, 0x1EF3, 0x1E84, 0x1E85, 0x1E61, 0x00C0, 0x00C1, 0x00C2, 0x00C3,
    0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0174, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x1E6A, 0x00D8, 0x00D9, 0x00DA, 0x00DB,
    0x00DC, 0x00DD, 0x0176, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x0175, 0x00F1, 0x00F2, 0x00F3,
    0x00F4, 0x00F5, 0x00F6, 0x1E6B, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x0177, 0x00FF,
};

// TIS-620 with a no-break space: Thai from U+0E01, with two gaps.
constexpr UpperHalf makeIso8859_11Upper() {
    UpperHalf upper{};
    upper[0] = 0x00A0;
    for (std::size_t i = 1; i < upper.size(); ++i) {
        const bool gap = (i >= 0x3B && i <= 0x3E) || i >= 0x5C;
        if (!gap) upper[i] = static_cast<std::uint16_t>(0x0E00 + i);
    }
    return upper;
}
constexpr UpperHalf kIso8859_11Upper = makeIso8859_11Upper();

void appendUtf8(std::uint32_t unicode, std::string& out) {
    if (unicode < 0x80) {
        out += static_cast<char>(unicode);
    } else if (unicode < 0x800) {
        out += static_cast<char>(0xC0 | (unicode >> 6));
        out += static_cast<char>(0x80 | (unicode & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unicode >> 12));
        out += static_cast<char>(0x80 | ((unicode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unicode & 0x3F));
    }
}

// Bytes of an ISO 8859 part as UTF-8; false at a byte the part lacks.
bool iso8859ToUtf8(const UpperHalf& upper, std::string_view bytes, std::string& utf8) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        std::uint32_t unicode = byte;
        if (byte >= 0xA0) {
            unicode = upper[byte - 0xA0];
            if (unicode == 0) return false;
        }
        appendUtf8(unicode, utf8);
    }
    return true;
}

}  // namespace

std::uint32_t codePageOfCharset(std::string_view name) {
    name = name.substr(0, name.find('*'));
    for (const CharsetName& known : kCharsets) {
        if (equalsLowered(name, known.name)) return known.codePage;
    }
    return 0;
}

std::uint32_t codePage932FormOfJis(std::uint32_t c) {
    switch (c) {
        case 0x00A2: return 0xFFE0;  // cent sign
        case 0x00A3: return 0xFFE1;  // pound sign
        case 0x00A5: return 0x005C;  // yen sign of JIS X 0201 Roman
        case 0x00AC: return 0xFFE2;  // not sign
        case 0x2016: return 0x2225;  // double vertical line
        case 0x203E: return 0x007E;  // overline of JIS X 0201 Roman
        case 0x2212: return 0xFF0D;  // minus sign
        case 0x301C: return 0xFF5E;  // wave dash
        default: return c;
    }
}

bool convertToCodePage932(std::uint32_t codePage, std::string_view bytes,
                          CharsetConverter& converter, std::string& out) {
    if (bytes.empty()) return true;
    if (codePage == kUsAscii) {
        for (const char c : bytes) {
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        }
        out.append(bytes);  // ASCII bytes are the same in code page 932
        return true;
    }
    const UpperHalf* upper = codePage == kIso8859_10   ? &kIso8859_10Upper
                             : codePage == kIso8859_11 ? &kIso8859_11Upper
                             : codePage == kIso8859_14 ? &kIso8859_14Upper
                                                       : nullptr;
    if (upper == nullptr) return converter.toCodePage932(codePage, bytes, out);
    std::string utf8;
    return iso8859ToUtf8(*upper, bytes, utf8) && converter.toCodePage932(kUtf8, utf8, out);
}
