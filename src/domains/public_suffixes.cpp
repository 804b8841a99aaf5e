#include "domains/public_suffixes.h"

#include <cstdint>

#include "domains/suffix_automaton.h"
#include "text/ascii.h"
#include "text/byte_set.h"

namespace {

// Each byte's symbol in the table; 0 for a byte no rule holds.
constexpr ByteTable<std::uint8_t> kSymbolOf = ByteTable<std::uint8_t>::of([](char c) -> std::uint8_t {
    if (c == '-') return kFirstCharacter;
    if (c == '.') return kFirstCharacter + 1;
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(kFirstCharacter + 2 + (c - '0'));
    if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(kFirstCharacter + 12 + (c - 'a'));
    return 0;
});

constexpr unsigned kSymbolBits = 0x3F;
constexpr unsigned char kLastEdge = 0x40;
constexpr unsigned char kFollows = 0x80;

// A walk through the table from its root, a symbol at a time.
class Walk {
public:
    // Takes the edge of symbol; false, staying, when the state has none.
    bool step(unsigned symbol) {
        if (symbol == 0) return false;
        if (kSuffixAutomaton[state_] == kIndexed) {
            const std::size_t target = indexed(symbol);
            if (target == 0) return false;
            state_ = target;
            return true;
        }
        std::size_t at = state_;
        for (;;) {
            const unsigned char edge = kSuffixAutomaton[at++];
            const unsigned own = edge & kSymbolBits;
            std::size_t target = at;  // where a following state begins
            if (own >= kFirstCharacter && (edge & kFollows) == 0) {
                std::size_t distance = 0;
                for (unsigned shift = 0;; shift += 7) {
                    const unsigned char byte = kSuffixAutomaton[at++];
                    distance |= static_cast<std::size_t>(byte & 0x7F) << shift;
                    if ((byte & 0x80) == 0) break;
                }
                target = at + distance;
            }
            if (own == symbol) {
                state_ = target;
                return true;
            }
            if ((edge & kLastEdge) != 0) return false;
        }
    }

    // The marks the state ends rules' words with, a bit (1 << mark) each.
    unsigned marks() const {
        unsigned bits = 0;
        if (kSuffixAutomaton[state_] == kIndexed) {
            for (unsigned mark = 1; mark < kFirstCharacter; ++mark) bits |= (indexed(mark) != 0 ? 1u : 0u) << mark;
            return bits;
        }
        for (std::size_t at = state_;; ++at) {
            const unsigned own = kSuffixAutomaton[at] & kSymbolBits;
            if (own >= kFirstCharacter) return bits;
            bits |= 1u << own;
            if ((kSuffixAutomaton[at] & kLastEdge) != 0) return bits;
        }
    }

private:
    // The index entry of symbol, of an indexed state.
    std::size_t indexed(unsigned symbol) const {
        const unsigned char* entry = &kSuffixAutomaton[state_ + 1 + 3 * (symbol - 1)];
        return entry[0] | std::size_t{entry[1]} << 8 | std::size_t{entry[2]} << 16;
    }

    std::size_t state_ = 0;
};

}  // namespace

bool isDomainName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.back() == '.') return false;
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] == '.' && name[i - 1] == '.') return false;
    }
    return true;
}

bool findPublicSuffix(std::string_view name, PublicSuffix& suffix) {
    if (!isDomainName(name)) return false;
    suffix = {labelBefore(name, name.size()), false, false, false};
    Walk walk;
    // The walk has read the labels from end on; each from its last byte.
    for (std::size_t end = name.size();;) {
        std::size_t start = end;
        for (; start > 0 && name[start - 1] != '.'; --start) {
            if (!walk.step(kSymbolOf[name[start - 1]])) return true;
        }
        const unsigned marks = walk.marks();
        if ((marks & 1u << kExceptionMark) != 0) {
            suffix = {end + 1, true, false, false};
            return true;
        }
        if ((marks & (1u << kRuleMark | 1u << kNewGenericMark | 1u << kPrivateMark)) != 0) {
            suffix = {start, true, (marks & 1u << kNewGenericMark) != 0, (marks & 1u << kPrivateMark) != 0};
        }
        // A label below a wildcard is public, unless an exception names it.
        if ((marks & 1u << kWildcardMark) != 0 && start > 0) suffix = {labelBefore(name, start - 1), true, false, false};
        if (start == 0 || !walk.step(kSymbolOf['.'])) return true;
        end = start - 1;
    }
}

bool rulesBelow(std::string_view domain) {
    Walk walk;
    for (std::size_t at = domain.size(); at > 0; --at) {
        if (!walk.step(kSymbolOf[domain[at - 1]])) return false;
    }
    return (walk.marks() & 1u << kWildcardMark) != 0 || walk.step(kSymbolOf['.']);
}

std::string_view organizationalDomain(std::string_view name) {
    PublicSuffix suffix;
    return findPublicSuffix(name, suffix) ? organizationalDomain(name, suffix) : std::string_view();
}

bool isHostName(std::string_view text) {
    const auto holds = [](char c) { return isLetter(c) || isDigit(c) || c == '-'; };
    return !text.empty() && nameLengthAt(text, holds, true) == text.size();
}

bool isDnsName(std::string_view text) {
    // A backslash escapes the next byte in a name as DNS functions read it:
    // "pay\pal.com" would ask for paypal.com.
    const auto holds = [](char c) { return c >= '!' && c <= '~' && c != '\\'; };
    return !text.empty() && nameLengthAt(text, holds, false) == text.size();
}
