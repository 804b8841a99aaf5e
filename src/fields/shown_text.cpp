#include "fields/shown_text.h"

#include "text/ascii.h"
#include "text/byte_set.h"
#include "text/punycode.h"
#include "text/utf8.h"

namespace {

// Longer than this, a domain cannot come down to 253 bytes.
constexpr std::size_t kLongestConverted = 1012;

// How each byte is shown: letters lowered, digits, '.', '-' and '_' as they
// are; 0 for a byte that may not be shown.
constexpr ByteTable<char> kShownAs = ByteTable<char>::of([](char c) {
    return isLetter(c) || isDigit(c) || c == '.' || c == '-' || c == '_' ? lowerAscii(c) : '\0';
});

bool mayBeShown(char c) { return kShownAs[c] == c; }

// Reads the UTF-8 of text into code points; false when it is not valid.
bool readUtf8(std::string_view text, char32_t* codePoints, std::size_t& count) {
    count = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = readCodePoint(text, at, codePoints[count]);
        if (length == 0) return false;
        ++count;
        at += length;
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
