#include "fields/name_claims.h"

#include <cstdint>

#include "charset/encoded_words.h"
#include "domains/public_suffixes.h"
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
        PublicSuffix suffix;
        if (!isHostName(name) || !findPublicSuffix(name, suffix)) return false;
        // A public suffix names nobody ("co.jp"), unless a company owns it:
        // a rule of the private section ("github.io").
        if (suffix.start == 0) {
            if (!suffix.privateRule) return false;
        } else if (!ofAddress) {
            // A listed suffix and a label more, of two characters at least:
            // "Mr.Smith" names no domain, nor "Craig R.Hughes" with an
            // initial. The newer generic suffixes are words of prose too:
            // "Dr.med.", "Matt.Dev".
            if (!suffix.listed || suffix.newGeneric || suffix.start - 1 - labelBefore(name, suffix.start - 1) < 2) {
                return false;
            }
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

char foldedAscii(char32_t c) {
    if (c < 0x80) return static_cast<char>(c);
    if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char>(c - (0xFF01 - '!'));
    return c == 0x3002 || c == 0xFF61 ? '.' : 0;
}

namespace {

// Hands the pieces of a decoded display name to a claim reader, folded to
// ASCII: code page 932 text, and words of UTF-8 as they stand, which need
// no converter.
class ClaimSink final : public TextSink {
public:
    explicit ClaimSink(ClaimReader& reader) : reader_(reader) {}

    void write(std::string_view bytes) override {
        std::size_t length = 0;
        for (std::size_t at = 0; at < bytes.size() && !found_; at += length) {
            found_ = reader_.read(foldedAscii(bytes, at, length));
        }
    }
    bool takesUtf8() const override { return true; }
    void writeUtf8(std::string_view text) override {
        char32_t c = 0;
        for (std::size_t at = 0; at < text.size() && !found_;) {
            at += readCodePoint(text, at, c);
            found_ = reader_.read(foldedAscii(c));
        }
    }
    // The name ends.
    void end() {
        if (!found_) found_ = reader_.read(0);
    }

private:
    ClaimReader& reader_;
    bool found_ = false;  // a claim is read: what follows does not count
};

}  // namespace

void findNameClaim(std::string_view name, std::string_view fromOrganization, CharsetConverter& converter,
                   ShownDomain& claim) {
    claim.clear();
    ClaimReader reader(fromOrganization, claim);
    ClaimSink sink(reader);
    if (holdsWordStart(name)) {
        appendDecoded(name, converter, sink);
    } else {
        sink.write(name);
    }
    sink.end();
}
