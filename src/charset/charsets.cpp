#include "charset/charsets.h"

#include "charset/charset_converter.h"
#include "text/ascii.h"

namespace {

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

}  // namespace

// Each name stands once; "same charset" for joining words means the same
// code page, so shift_jis and cp932 words join.
constexpr Charset kCharsets[] = {
    {"us-ascii", kUsAscii, nullptr, nullptr, false},
    {"utf-8", kUtf8, "UTF-8", nullptr, false},
    {"iso-2022-jp", kIso2022Jp, "ISO-2022-JP", nullptr, true},
    // glibc's EUC-JP lacks the NEC and IBM rows that Windows reads.
    {"euc-jp", kEucJp, "EUC-JP-MS", nullptr, true},
    {"shift_jis", kCodePage932, "CP932", nullptr, false},
    {"x-sjis", kCodePage932, "CP932", nullptr, false},
    {"cp932", kCodePage932, "CP932", nullptr, false},
    {"windows-31j", kCodePage932, "CP932", nullptr, false},
    {"iso-8859-1", 28591, "ISO-8859-1", nullptr, false},
    {"iso-8859-2", 28592, "ISO-8859-2", nullptr, false},
    {"iso-8859-3", 28593, "ISO-8859-3", nullptr, false},
    {"iso-8859-4", 28594, "ISO-8859-4", nullptr, false},
    {"iso-8859-5", 28595, "ISO-8859-5", nullptr, false},
    {"iso-8859-6", 28596, "ISO-8859-6", nullptr, false},
    {"iso-8859-7", 28597, "ISO-8859-7", nullptr, false},
    {"iso-8859-8", 28598, "ISO-8859-8", nullptr, false},
    {"iso-8859-9", 28599, "ISO-8859-9", nullptr, false},
    // Windows numbers these three but converts none of them.
    {"iso-8859-10", 28600, nullptr, &kIso8859_10Upper, false},
    {"iso-8859-11", 28601, nullptr, &kIso8859_11Upper, false},
    {"iso-8859-13", 28603, "ISO-8859-13", nullptr, false},
    {"iso-8859-14", 28604, nullptr, &kIso8859_14Upper, false},
    {"iso-8859-15", 28605, "ISO-8859-15", nullptr, false},
    {"windows-1250", 1250, "CP1250", nullptr, false},
    {"windows-1251", 1251, "CP1251", nullptr, false},
    {"windows-1252", 1252, "CP1252", nullptr, false},
    {"windows-1253", 1253, "CP1253", nullptr, false},
    {"windows-1254", 1254, "CP1254", nullptr, false},
    {"windows-1255", 1255, "CP1255", nullptr, false},
    {"windows-1256", 1256, "CP1256", nullptr, false},
    {"windows-1257", 1257, "CP1257", nullptr, false},
    {"windows-1258", 1258, "CP1258", nullptr, false},
    {"gb2312", 936, "GBK", nullptr, false},
    {"gbk", 936, "GBK", nullptr, false},
    {"big5", 950, "CP950", nullptr, false},
    {"euc-kr", 949, "CP949", nullptr, false},
    {"ks_c_5601-1987", 949, "CP949", nullptr, false},
    {"koi8-r", 20866, "KOI8-R", nullptr, false},
    {"koi8-u", 21866, "KOI8-U", nullptr, false},
};
const std::size_t kCharsetCount = sizeof kCharsets / sizeof kCharsets[0];

namespace {

const Charset& utf8Charset() { return kCharsets[1]; }

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

bool inRange(char c, unsigned low, unsigned high) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= low && byte <= high;
}

// ISO-2022-JP: ASCII and JIS X 0201 Roman, and JIS X 0208 in byte pairs.
bool isIso2022Jp(std::string_view bytes) {
    bool pairs = false;
    for (std::size_t i = 0; i < bytes.size();) {
        if (bytes[i] == '\x1b') {
            const std::string_view shift = bytes.substr(i + 1, 2);
            if (shift == "(B" || shift == "(J") {
                pairs = false;
            } else if (shift == "$B" || shift == "$@") {
                pairs = true;
            } else {
                return false;
            }
            i += 3;
        } else if (!pairs) {
            if (!inRange(bytes[i], 0x00, 0x7F)) return false;
            i += 1;
        } else {
            if (i + 1 >= bytes.size() || !inRange(bytes[i], 0x21, 0x7E) || !inRange(bytes[i + 1], 0x21, 0x7E)) {
                return false;
            }
            i += 2;
        }
    }
    return true;
}

// EUC-JP: ASCII, JIS X 0208 pairs, half-width katakana after 0x8E and JIS X
// 0212 after 0x8F.
bool isEucJp(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 1;
        if (lead >= 0x80) {
            length = lead == 0x8F ? 3 : 2;
            if (i + length > bytes.size()) return false;
            if (lead == 0x8E) {
                if (!inRange(bytes[i + 1], 0xA1, 0xDF)) return false;
            } else {
                if (lead != 0x8F && !inRange(bytes[i], 0xA1, 0xFE)) return false;
                for (std::size_t k = 1; k < length; ++k) {
                    if (!inRange(bytes[i + k], 0xA1, 0xFE)) return false;
                }
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

const Charset* charsetNamed(std::string_view name) {
    name = name.substr(0, name.find('*'));
    for (const Charset& charset : kCharsets) {
        if (equalsLowered(name, charset.name)) return &charset;
    }
    return nullptr;
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

bool convertToCodePage932(const Charset& charset, std::string_view bytes, CharsetConverter& converter,
                          std::string& out) {
    if (bytes.empty()) return true;
    if (charset.codePage == kUsAscii) {
        for (const char c : bytes) {
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        }
        out.append(bytes);  // ASCII bytes are the same in code page 932
        return true;
    }
    if (charset.upperHalf != nullptr) {
        std::string utf8;
        return iso8859ToUtf8(*charset.upperHalf, bytes, utf8) && converter.toCodePage932(utf8Charset(), utf8, out);
    }
    // mlang shows a byte it cannot read as U+30FB, a character that may also
    // be in the text; so the structure is checked here, on every platform.
    if (charset.codePage == kIso2022Jp && !isIso2022Jp(bytes)) return false;
    if (charset.codePage == kEucJp && !isEucJp(bytes)) return false;
    return converter.toCodePage932(charset, bytes, out);
}
