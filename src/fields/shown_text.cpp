#include "fields/shown_text.h"

#include "domains/public_suffixes.h"
#include "text/ascii.h"
#include "text/byte_set.h"
#include "text/punycode.h"

namespace {

// Longer than this, a domain cannot come down to 253 bytes.
constexpr std::size_t kLongestConverted = 1012;

// How each byte is shown: letters lowered, digits, '.', '-' and '_' as they
// are; 0 for a byte that may not be shown.
constexpr ByteTable<char> kShownAs = ByteTable<char>::of([](char c) {
    return isLetter(c) || isDigit(c) || c == '.' || c == '-' || c == '_' ? lowerAscii(c) : '\0';
});

bool mayBeShown(char c) { return kShownAs[c] == c; }

// Reads the UTF-8 of text into code points (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF); false when it is not valid.
bool readUtf8(std::string_view text, char32_t* codePoints, std::size_t& count) {
    count = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        char32_t c = lead;
        char32_t least = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07, least = 0x10000;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F, least = 0x80;
        } else if (lead >= 0x80) {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto trail = static_cast<unsigned char>(text[i + k]);
            if ((trail & 0xC0) != 0x80) return false;
            c = c << 6 | (trail & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        codePoints[count++] = c;
        i += length;
    }
    return true;
}


// The domain as shown when a byte of it is 0x80 or more, or when it is
// longer than a domain may be shown: its UTF-8 labels as Punycode.
void showInternationalDomain(std::string_view raw, ShownDomain& domain) {
    domain.clear();
    char32_t codePoints[kLongestConverted];
    std::size_t count = 0;
    if (!readUtf8(raw, codePoints, count)) return;

    char* shown = domain.room();
    std::size_t length = 0;
    for (std::size_t label = 0; label <= count;) {
        std::size_t end = label;
        bool ascii = true;
        for (; end < count && codePoints[end] != '.'; ++end) {
            if (codePoints[end] >= 0x80) ascii = false;
        }
        if (label > 0) {
            if (length == kShownDomainSize) return;
            shown[length++] = '.';
        }
        if (ascii) {
            if (end - label > kShownDomainSize - length) return;
            for (std::size_t i = label; i < end; ++i) shown[length++] = lowerAscii(static_cast<char>(codePoints[i]));
        } else {
            // "xn--", then the label's code points, A to Z lowered, as Punycode.
            if (kShownDomainSize - length < 5) return;
            for (const char c : {'x', 'n', '-', '-'}) shown[length++] = c;
            for (std::size_t i = label; i < end; ++i) {
                if (codePoints[i] < 0x80) codePoints[i] = static_cast<unsigned char>(lowerAscii(static_cast<char>(codePoints[i])));
            }
            const std::size_t written = encodePunycode(std::u32string_view(codePoints + label, end - label),
                                                       shown + length, kShownDomainSize - length);
            if (written == 0) return;
            length += written;
        }
        label = end + 1;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (!mayBeShown(shown[i])) return;
    }
    domain.setLength(length);
}

}  // namespace

void showDomain(std::string_view raw, ShownDomain& domain) {
    domain.clear();
    while (!raw.empty() && raw.back() == '.') raw.remove_suffix(1);
    if (raw.empty() || raw.size() > kLongestConverted) return;
    // Most domains are ASCII: shown lowered, when every byte may be.
    char* shown = domain.room();
    const std::size_t room = raw.size() < kShownDomainSize ? raw.size() : kShownDomainSize;
    std::size_t length = 0;
    for (; length < room && (shown[length] = kShownAs[raw[length]]) != 0; ++length) {
    }
    if (length == raw.size()) {
        domain.setLength(length);
    } else if (length == room || static_cast<unsigned char>(raw[length]) >= 0x80) {
        showInternationalDomain(raw, domain);
    }
}

void showResult(std::string_view raw, ShownResult& result) {
    result.clear();
    if (raw.empty() || raw.size() > kShownResultSize) return;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if ((result.room()[i] = kShownAs[raw[i]]) == 0) return;
    }
    result.setLength(raw.size());
}

bool aligned(const ShownDomain& a, const ShownDomain& b) {
    if (!a.known() || !b.known()) return false;
    const std::string_view organizational = organizationalDomain(a.text());
    return !organizational.empty() && sameText(organizational, organizationalDomain(b.text()));
}
