#include "fields/name_claims.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string>

#include "charset/encoded_words.h"
#include "domains/public_suffixes.h"
#include "senders/confusables.h"
#include "text/ascii.h"
#include "text/byte_set.h"
#include "text/utf8.h"

namespace {

// Whether "=?", an encoded word's start, stands in text.
bool holdsWordStart(std::string_view text) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '?' && text[i - 1] == '=') return true;
    }
    return false;
}

constexpr ByteSet kDomainCharacters =
    ByteSet::where([](char c) { return isLetter(c) || isDigit(c) || c == '-' || c == '.'; });
// The characters an address's local part holds besides those of a domain.
constexpr ByteSet kLocalCharacters(std::string_view("!#$%&'*+/=?^_`{|}~"));

// Reads claims from a name's characters, folded to ASCII, one at a time.
class ClaimReader {
public:
    ClaimReader(std::string_view fromOrganization, ShownDomain& claim)
        : fromOrganization_(fromOrganization), claim_(claim) {}

    // Reads c (0 for a character beyond ASCII, and at the end); true once a
    // claim is found.
    bool read(char c) {
        if (kDomainCharacters.has(c)) {
            // Dots around a word are no part of it: they are kept only
            // when more of it follows.
            if (c == '.') {
                dots_ += wordLength_ > 0 ? 1 : 0;
                return false;
            }
            for (; dots_ > 0; --dots_) keep('.');
            keep(lowerAscii(c));
            return false;
        }
        endWord();
        if (c == '@') {
            // What stood before it in the run was the address's local part,
            // and so was any domain read after an '@' before it.
            atSeen_ = true;
            hasPending_ = false;
            addressTaken_ = false;
            addressLength_ = 0;
            return false;
        }
        if (kLocalCharacters.has(c)) {
            // The address's domain is the word right after its '@', or none.
            addressTaken_ = atSeen_;
            return false;
        }
        return endRun();
    }

private:
    void keep(char c) {
        if (wordLength_ < sizeof word_) word_[wordLength_] = c;
        ++wordLength_;
    }

    // A word of domain characters ends: a domain name's, or the address's domain.
    void endWord() {
        dots_ = 0;
        if (wordLength_ == 0) return;
        // A longer word is no domain name.
        const std::string_view word(word_, wordLength_ <= sizeof word_ ? wordLength_ : 0);
        wordLength_ = 0;
        if (atSeen_) {
            if (!addressTaken_) {
                addressTaken_ = true;
                addressLength_ = word.size();
                for (std::size_t i = 0; i < word.size(); ++i) address_[i] = word[i];
            }
        } else if (!hasPending_) {
            hasPending_ = claimsAnother(word, false, pending_);
        }
    }

    // A run ends: its address, or the first domain name it holds, is read.
    bool endRun() {
        bool found = false;
        if (atSeen_) {
            found = addressTaken_ && claimsAnother(std::string_view(address_, addressLength_), true, claim_);
        } else if (hasPending_) {
            claim_ = pending_;
            found = true;
        }
        atSeen_ = hasPending_ = addressTaken_ = false;
        return found;
    }

    // Whether name, an address's domain or a domain name, claims an
    // organizational domain other than the From address's, shown in shown.
    bool claimsAnother(std::string_view name, bool ofAddress, ShownDomain& shown) const {
        // A single label is a public suffix, and none of the list's private
        // section, whose names all have two labels or more: most words of a
        // name need no lookup.
        const std::size_t lastDot = name.rfind('.');
        if (lastDot == std::string_view::npos) return false;
        if (claimsItself(name, ofAddress, shown)) return true;
        if (ofAddress) return false;
        // A domain with words joined to it by hyphens is still read as that
        // domain: "PayPal.com-Support" names paypal.com.
        for (std::size_t hyphen = name.size(); hyphen-- > lastDot + 1;) {
            if (name[hyphen] == '-' && claimsItself(name.substr(0, hyphen), false, shown)) return true;
        }
        return false;
    }

    bool claimsItself(std::string_view name, bool ofAddress, ShownDomain& shown) const {
        PublicSuffix suffix;
        if (!isHostName(name) || !findPublicSuffix(name, suffix)) return false;
        // The newer generic suffixes end words of prose by chance ("Dr.med.",
        // "Matt.Dev"), but a whole domain before one is still read as that
        // domain: "Amazon.co.jp.shop" names amazon.co.jp.
        while (!ofAddress && suffix.start > 0 && suffix.listed && suffix.newGeneric) {
            name = name.substr(0, suffix.start - 1);
            if (!findPublicSuffix(name, suffix)) return false;
        }
        // A public suffix names nobody ("co.jp"), unless a company owns it:
        // a rule of the private section ("github.io").
        if (suffix.start == 0) {
            if (!suffix.privateRule) return false;
        } else if (!ofAddress) {
            // A listed suffix and a label more, of two characters at least:
            // "Mr.Smith" names no domain, nor "Craig R.Hughes" with an
            // initial.
            if (!suffix.listed || suffix.start - 1 - labelBefore(name, suffix.start - 1) < 2) return false;
        }
        const std::string_view organization = organizationalDomain(name, suffix);
        if (sameText(organization, fromOrganization_)) return false;
        showDomain(organization, shown);
        return shown.known();
    }

    std::string_view fromOrganization_;
    ShownDomain& claim_;
    char word_[kShownDomainSize + 2];
    std::size_t wordLength_ = 0;
    std::size_t dots_ = 0;  // dots after the word so far, kept if more of it follows
    bool atSeen_ = false;        // the run holds an '@': it is an address
    bool addressTaken_ = false;  // the domain after its last '@' is read
    char address_[kShownDomainSize + 2];
    std::size_t addressLength_ = 0;
    bool hasPending_ = false;  // a domain name of the run before any '@' claims another
    ShownDomain pending_;
};

struct Folded {
    std::uint16_t code;
    char ascii;
};

// The full-width forms of ASCII punctuation in code page 932, by code (the
// quote marks twice, as two extensions hold them), and its full stops;
// letters and digits are runs of their own (see foldedAscii).
constexpr Folded kFullWidth[] = {
    {0x8142, '.'}, {0x8143, ','}, {0x8144, '.'}, {0x8146, ':'},  {0x8147, ';'}, {0x8148, '?'}, {0x8149, '!'},
    {0x814D, '`'}, {0x814F, '^'}, {0x8151, '_'}, {0x815E, '/'},  {0x815F, '\\'}, {0x8160, '~'}, {0x8162, '|'},
    {0x8169, '('}, {0x816A, ')'}, {0x816D, '['}, {0x816E, ']'},  {0x816F, '{'}, {0x8170, '}'}, {0x817B, '+'},
    {0x817C, '-'}, {0x8181, '='}, {0x8183, '<'}, {0x8184, '>'},  {0x8190, '$'}, {0x8193, '%'}, {0x8194, '#'},
    {0x8195, '&'}, {0x8196, '*'}, {0x8197, '@'}, {0xEEFB, '\''}, {0xEEFC, '"'}, {0xFA56, '\''}, {0xFA57, '"'},
};

// The ASCII that each character of a lead byte folds to, by trail byte; 0
// for none. Looked up for each character of a name: one load each.
constexpr ByteTable<char> foldingAfter(unsigned char lead) {
    ByteTable<char> table;
    for (const Folded& folded : kFullWidth) {
        if (folded.code >> 8 == lead) table.set(static_cast<char>(folded.code & 0xFF), folded.ascii);
    }
    return table;
}
constexpr ByteTable<char> kAfter81 = foldingAfter(0x81);
constexpr ByteTable<char> kAfterEE = foldingAfter(0xEE);
constexpr ByteTable<char> kAfterFA = foldingAfter(0xFA);

}  // namespace

char foldedAscii(std::string_view text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = 1;
    if (lead < 0x80) return static_cast<char>(lead);
    if (lead == 0xA1) return '.';  // half-width ideographic full stop
    const bool doubleByte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!doubleByte || at + 1 >= text.size()) return 0;
    length = 2;
    const auto trail = static_cast<unsigned char>(text[at + 1]);
    switch (lead) {
        case 0x81: return kAfter81[static_cast<char>(trail)];
        case 0x82:
            if (trail >= 0x4F && trail <= 0x58) return static_cast<char>('0' + (trail - 0x4F));
            if (trail >= 0x60 && trail <= 0x79) return static_cast<char>('A' + (trail - 0x60));
            if (trail >= 0x81 && trail <= 0x9A) return static_cast<char>('a' + (trail - 0x81));
            return 0;
        case 0xEE: return kAfterEE[static_cast<char>(trail)];
        case 0xFA: return kAfterFA[static_cast<char>(trail)];
        default: return 0;
    }
}

namespace {

// What a character reads as that is read as nothing at all.
constexpr int kInvisible = -1;

// Unicode's default-ignorable code points: invisible, and so dropped from a
// name, where "PayPal" and "Pay" U+200B "Pal" read the same to a person.
constexpr char32_t kInvisibleRanges[][2] = {
    {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160},   {0x17B4, 0x17B5},
    {0x180B, 0x180F}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F},   {0x3164, 0x3164},
    {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8},   {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

// Combining marks: a letter with a mark reads as the letter, once the
// compatibility form has parted them ("ḷ" is "l" and a dot below).
constexpr char32_t kMarkRanges[][2] = {
    {0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF}, {0xFE20, 0xFE2F},
};

// Inlined, as the next one, where -Os would call it for each character of
// a name: the bench's names are mostly kana and kanji.
__attribute__((always_inline)) inline bool inRanges(char32_t c, const char32_t (*ranges)[2], std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (c >= ranges[i][0] && c <= ranges[i][1]) return true;
    }
    return false;
}

// The ASCII letters, digits and the dot, in the order in which a
// look-alike is taken for one: a letter before the digit that looks the
// same.
constexpr char kLettersAndDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789.";

// The letter, digit or dot whose confusable prototype (see
// confusableMapping) is c's: Cyrillic "о" reads as "o", Cherokee "Ꮇ"
// (prototype "rn") as "m", Lisu "ꓸ" as "."; 0 when none has it.
char lookAlikeOf(char32_t c) {
    char32_t own[kLongestConfusable];
    const std::size_t length = confusableMapping(c, own);
    if (own[0] >= 0x80) return 0;
    // ASCII's own prototypes are a table's lookup each.
    for (std::size_t i = 0; i + 1 < sizeof kLettersAndDigits; ++i) {
        char32_t prototype[kLongestConfusable];
        const std::size_t count = confusableMapping(static_cast<unsigned char>(kLettersAndDigits[i]), prototype);
        if (count == length && std::equal(own, own + length, prototype)) return kLettersAndDigits[i];
    }
    return 0;
}

// What a person reads c as in a name: itself for ASCII, a dot for the
// characters that look like one, ASCII for full-width and mathematical
// letters and digits and for the look-alikes of a letter or digit (Greek
// and Cyrillic capitals lowered first), kInvisible for what shows nothing
// and for a combining mark; 0 for anything else.
int readAs(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    if (inRanges(c, kNoLookAlikes, std::size(kNoLookAlikes))) return 0;
    if (inRanges(c, kInvisibleRanges, std::size(kInvisibleRanges)) || inRanges(c, kMarkRanges, std::size(kMarkRanges))) {
        return kInvisible;
    }
    if (c == 0x2024 || c == 0xFE52 || c == 0x3002 || c == 0xFF61) return '.';
    if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<int>(c - (0xFF01 - '!'));
    // Mathematical letters, A to Z then a to z in each of 13 styles, and
    // digits in 5.
    if (c >= 0x1D400 && c <= 0x1D6A3) {
        const auto at = static_cast<int>((c - 0x1D400) % 52);
        return at < 26 ? 'A' + at : 'a' + at - 26;
    }
    if (c >= 0x1D7CE && c <= 0x1D7FF) return '0' + static_cast<int>((c - 0x1D7CE) % 10);
    // Confusables hold small letters only, as a domain's labels do; a
    // capital Greek or Cyrillic letter reads as its small one.
    if ((c >= 0x0391 && c <= 0x03A9) || (c >= 0x0410 && c <= 0x042F)) c += 0x20;
    if (c >= 0x0400 && c <= 0x040F) c += 0x50;
    return lookAlikeOf(c);
}

// The Greek or Cyrillic letter of code page 932 lead and trail, the only
// letters of it besides the full-width ones that look like ASCII; 0 for
// another character. Both alphabets stand in Unicode's order, but for the
// gap before Greek's sigma and the place of Cyrillic's yo.
char32_t greekOrCyrillic(unsigned char lead, unsigned char trail) {
    const auto greek = [](char32_t first, unsigned at) { return first + at + (at >= 17 ? 1 : 0); };
    const auto cyrillic = [](char32_t first, char32_t yo, unsigned at) {
        return at < 6 ? first + at : at == 6 ? yo : first + at - 1;
    };
    if (lead == 0x83 && trail >= 0x9F && trail <= 0xB6) return greek(0x0391, trail - 0x9Fu);
    if (lead == 0x83 && trail >= 0xBF && trail <= 0xD6) return greek(0x03B1, trail - 0xBFu);
    if (lead == 0x84 && trail >= 0x40 && trail <= 0x60) return cyrillic(0x0410, 0x0401, trail - 0x40u);
    if (lead == 0x84 && trail >= 0x70 && trail <= 0x91 && trail != 0x7F) {
        return cyrillic(0x0430, 0x0451, trail - 0x70u - (trail > 0x7F ? 1 : 0));
    }
    return 0;
}

// What a person reads the code page 932 character at text[at] as (see
// readAs); length is set to its bytes.
int readAs932(std::string_view text, std::size_t at, std::size_t& length) {
    const char folded = foldedAscii(text, at, length);
    if (folded != 0 || length == 1) return folded;
    const char32_t letter =
        greekOrCyrillic(static_cast<unsigned char>(text[at]), static_cast<unsigned char>(text[at + 1]));
    return letter != 0 ? readAs(letter) : 0;
}

bool holdsHigh(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

// Whether the character of valid UTF-8 at text[at] is one of the kana,
// kanji and hangul that look like nothing else, told from its three bytes
// without decoding it in full: most names hold only these beyond ASCII.
__attribute__((always_inline)) inline bool looksLikeNothingAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0xE0 || lead > 0xEF || at + 2 >= text.size()) return false;
    const char32_t c = (lead & 0x0Fu) << 12 | (static_cast<unsigned char>(text[at + 1]) & 0x3Fu) << 6 |
                       (static_cast<unsigned char>(text[at + 2]) & 0x3Fu);
    return inRanges(c, kNoLookAlikes, std::size(kNoLookAlikes));
}

// Whether text, valid UTF-8, holds a code point that its compatibility form
// may read otherwise: none of ASCII and the characters that look like
// nothing else.
bool needsCompatibilityForm(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (static_cast<unsigned char>(text[at]) < 0x80) continue;
        if (!looksLikeNothingAt(text, at)) return true;
        at += 2;
    }
    return false;
}

// The code page 932 character of JIS X 0208's row and cell bytes (each 0x21
// to 0x7E), as ISO-2022-JP and the EUC charsets write them.
std::array<char, 2> codePage932OfJis(unsigned row, unsigned cell) {
    const unsigned lead = ((row - 0x21u) >> 1) + 0x81u;
    const unsigned trail = row & 1 ? cell + (cell >= 0x60 ? 0x20u : 0x1Fu) : cell + 0x7Eu;
    return {static_cast<char>(lead > 0x9F ? lead + 0x40 : lead), static_cast<char>(trail)};
}

// How raw text beyond ASCII that is not UTF-8 is read: as code page 932,
// which a Japanese client takes it for; then, as a client that guesses
// may, as UTF-8 with its broken bytes left out, and as an EUC charset, whose
// rows of full-width letters and of Greek and Cyrillic EUC-JP, GB2312 and
// EUC-KR share with JIS X 0208.
enum class RawReading { kCodePage932, kBrokenUtf8, kEuc };

// Hands the pieces of a decoded display name to a claim reader, read as a
// person reads them: words converted into code page 932; words of UTF-8 as
// they stand, in their compatibility form; raw text as UTF-8 when it is,
// else as ISO-2022-JP where it shifts, or as reading says. Text that a
// right-to-left override turns around is read turned around.
class ClaimSink final : public TextSink {
public:
    ClaimSink(ClaimReader& reader, CharsetConverter& converter, RawReading reading)
        : reader_(reader), converter_(converter), reading_(reading) {}

    void write(std::string_view bytes) override {
        // Most pieces are ASCII, the blanks and brackets around encoded
        // words: read as they stand.
        bool high = false;
        bool escape = false;
        for (const char c : bytes) {
            high = high || static_cast<unsigned char>(c) >= 0x80;
            escape = escape || c == '\x1B';
        }
        if (!high && !escape) {
            for (std::size_t at = 0; at < bytes.size() && !found_; ++at) read(bytes[at]);
            return;
        }
        // A fold's breaks inside a shift are no text, as everywhere else:
        // the pairs after them read as the client unfolds them.
        if (escape && bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            unfolded_.clear();
            for (const char c : bytes) {
                if (c != '\r' && c != '\n' && c != '\0') unfolded_ += c;
            }
            bytes = unfolded_;
        }
        if (high && isUtf8(bytes)) {
            writeUtf8(bytes);
        } else if (high && reading_ == RawReading::kBrokenUtf8) {
            writeBrokenUtf8(bytes);
        } else if (high && reading_ == RawReading::kEuc) {
            writeEuc(bytes);
        } else if (escape) {
            writeIso2022Jp(bytes);
        } else {
            write932(bytes);
        }
    }
    void writeConverted(std::string_view bytes) override { write932(bytes); }
    void keptAsWritten() override { unreadable_ = true; }
    bool takesUtf8() const override { return true; }
    void writeUtf8(std::string_view text) override {
        if (needsCompatibilityForm(text) && converter_.toCompatibilityForm(text, compatible_)) text = compatible_;
        char32_t c = 0;
        for (std::size_t at = 0; at < text.size() && !found_;) {
            const auto lead = static_cast<unsigned char>(text[at]);
            if (!overriding_ && (lead < 0x80 || looksLikeNothingAt(text, at))) {
                read(lead < 0x80 ? lead : 0);
                at += lead < 0x80 ? 1 : 3;
                continue;
            }
            at += readCodePoint(text, at, c);
            readUnicode(c);
        }
    }
    // The name ends.
    void end() {
        endOverride();
        readRarely(0);
    }
    // Whether an encoded word of it could not be decoded.
    bool unreadable() const { return unreadable_; }

private:
    __attribute__((always_inline)) void read(int c) {
        if (c != kInvisible && !found_) found_ = reader_.read(static_cast<char>(c));
    }
    // The same for the rare forms: the reader is inlined in the loops of
    // the common ones only.
    __attribute__((noinline)) void readRarely(int c) { read(c); }
    __attribute__((noinline)) void readUnicode(char32_t c) {
        if (c == 0x202E) {
            // A right-to-left override shows what follows turned around, up
            // to its pop: "moc.laPyaP" reads "PayPal.com".
            endOverride();
            overriding_ = true;
            return;
        }
        if (c == 0x202C) {
            endOverride();
            return;
        }
        const int shown = c < 0x80 ? static_cast<int>(c) : readAs(c);
        if (!overriding_) {
            read(shown);
        } else if (shown != kInvisible) {
            overridden_ += static_cast<char>(shown);
        }
    }
    void endOverride() {
        overriding_ = false;
        for (std::size_t i = overridden_.size(); i > 0; --i) readRarely(overridden_[i - 1]);
        overridden_.clear();
    }
    void write932(std::string_view bytes) {
        std::size_t length = 1;
        for (std::size_t at = 0; at < bytes.size() && !found_; at += length) {
            const auto c = static_cast<unsigned char>(bytes[at]);
            length = 1;
            read(c < 0x80 ? c : readAs932(bytes, at, length));
        }
    }
    // Each valid character; each byte of a broken one is no character, as
    // the mark a client shows there parts what stands around it.
    void writeBrokenUtf8(std::string_view bytes) {
        char32_t c = 0;
        for (std::size_t at = 0; at < bytes.size() && !found_;) {
            const std::size_t length = readCodePoint(bytes, at, c);
            readUnicode(length > 0 ? c : 0);
            at += length > 0 ? length : 1;
        }
    }
    void writeEuc(std::string_view bytes) {
        for (std::size_t at = 0; at < bytes.size() && !found_;) {
            const auto c = static_cast<unsigned char>(bytes[at]);
            const auto next = at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) : 0u;
            if (c >= 0xA1 && c <= 0xFE && next >= 0xA1 && next <= 0xFE) {
                const std::array<char, 2> pair = codePage932OfJis(c - 0x80u, next - 0x80u);
                std::size_t length = 0;
                readRarely(readAs932(std::string_view(pair.data(), 2), 0, length));
                at += 2;
            } else {
                readRarely(c < 0x80 ? c : 0);
                ++at;
            }
        }
    }
    // Raw ISO-2022-JP: ESC $ B or ESC $ @ begins JIS X 0208 pairs, read as
    // code page 932, up to ESC ( B or ESC ( J; an escape sequence is no
    // character. Text outside is code page 932.
    void writeIso2022Jp(std::string_view bytes) {
        const auto escape = [&](std::size_t at, char second, std::string_view finals) {
            return at + 2 < bytes.size() && bytes[at] == '\x1B' && bytes[at + 1] == second &&
                   finals.find(bytes[at + 2]) != std::string_view::npos;
        };
        bool pairs = false;
        for (std::size_t at = 0; at < bytes.size() && !found_;) {
            if (escape(at, '$', "B@") || escape(at, '(', "BJ")) {
                pairs = bytes[at + 1] == '$';
                at += 3;
                continue;
            }
            const auto c = static_cast<unsigned char>(bytes[at]);
            const auto next = at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) : 0u;
            std::size_t length = 1;
            if (pairs && next == 0x1B) {
                // A byte left alone before an escape is none: the escape
                // is read, as a decoder picks up again there.
                readRarely(0);
                ++at;
            } else if (pairs) {
                // Two bytes a character; a pair of other bytes is none.
                const bool graphic = c >= 0x21 && c <= 0x7E && next >= 0x21 && next <= 0x7E;
                const std::array<char, 2> pair = codePage932OfJis(c, next);
                readRarely(graphic ? readAs932(std::string_view(pair.data(), 2), 0, length) : 0);
                at += 2;
            } else {
                readRarely(c < 0x80 ? c : readAs932(bytes, at, length));
                at += length;
            }
        }
    }

    ClaimReader& reader_;
    CharsetConverter& converter_;
    const RawReading reading_;
    bool found_ = false;  // a claim is read: what follows does not count
    bool unreadable_ = false;
    bool overriding_ = false;
    std::string overridden_;  // what an override turns around, as read
    std::string compatible_;  // a word's compatibility form
    std::string unfolded_;    // a piece with a shift, its breaks left out
};

}  // namespace

bool findNameClaim(std::string_view name, std::string_view fromOrganization, CharsetConverter& converter,
                   ShownDomain& claim) {
    claim.clear();
    const bool words = holdsWordStart(name);
    // Raw text that is not UTF-8 may be shown in more than one charset.
    const bool guessed = holdsHigh(name) && !isUtf8(name);
    bool readable = true;
    for (const RawReading reading : {RawReading::kCodePage932, RawReading::kBrokenUtf8, RawReading::kEuc}) {
        ClaimReader reader(fromOrganization, claim);
        ClaimSink sink(reader, converter, reading);
        if (words) {
            appendDecoded(name, converter, sink);
        } else {
            sink.write(name);
        }
        sink.end();
        readable = readable && !sink.unreadable();
        if (claim.known() || !guessed) break;
    }
    return readable;
}
