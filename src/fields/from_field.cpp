#include "fields/from_field.h"

#include "fields/from_parts.h"
#include "fields/name_claims.h"
#include "fields/nesting.h"
#include "text/ascii.h"
#include "text/byte_set.h"

namespace {

constexpr ByteSet kDomainSpecials(std::string_view("\0\r\n \t>,;(\"", 11));

// No more of a domain is kept than may come down to one that can be shown.
constexpr std::size_t kKept = 1012;

// Keeps raw, a domain that cannot be shown, as DNS would be asked for it:
// lower case, without trailing dots. Rare: a name of a byte beyond those
// shown, or too long.
__attribute__((noinline)) void keepUnshown(std::string_view raw, std::string& unshown) {
    while (!raw.empty() && raw.back() == '.') raw.remove_suffix(1);
    if (raw.size() > kKept) return;
    unshown.assign(raw.data(), raw.size());
    for (char& c : unshown) c = lowerAscii(c);
}

// The domain of an address that follows an '@' at at, which stands outside
// quoted strings and comments: the bytes after it up to end, comments read as
// blanks, leading blanks skipped, up to a blank, tab, '>', ',' or ';'. When
// it cannot be shown, its bytes go to unshown.
void domainAfter(const char* at, const char* end, ShownDomain& domain, std::string& unshown) {
    // Nearly always a plain run of bytes up to the end, '>' or a blank: it
    // is shown as it stands.
    const char* plain = at;
    while (plain < end && !kDomainSpecials.has(*plain)) ++plain;
    if (plain > at && (plain == end || *plain == '>' || isBlank(*plain) || *plain == ',' || *plain == ';')) {
        const std::string_view raw(at, static_cast<std::size_t>(plain - at));
        showDomain(raw, domain);
        if (!domain.known()) keepUnshown(raw, unshown);
        return;
    }

    // Dots past what is kept are kept out too, as they may trail, and
    // trailing dots go.
    char bytes[kKept];
    std::size_t length = 0;
    const auto keep = [&](char c) {
        if (length < kKept) {
            bytes[length++] = c;
            return true;
        }
        return c == '.';
    };
    Nesting nesting;
    for (; at < end; ++at) {
        char c = *at;
        if (nesting.outside() && !kDomainSpecials.has(c)) {
            // A run of bytes that are simply taken.
            const char* run = at;
            while (at + 1 < end && !kDomainSpecials.has(at[1])) ++at;
            for (; run <= at; ++run) {
                if (!keep(*run)) {
                    domain.clear();
                    return;
                }
            }
            continue;
        }
        if (isBreakOrNul(c)) continue;
        if (nesting.inComment()) {
            nesting.readInComment(c);
            if (nesting.inComment()) continue;
            c = ' ';  // what the comment leaves
        } else if (nesting.inQuote()) {
            nesting.readInQuote(c);
        } else if (c == '(') {
            nesting.openComment();
            continue;
        } else if (c == '"') {
            nesting.openQuote();
        }
        if (isBlank(c) || c == '>' || c == ',' || c == ';') {
            if (length > 0 || !isBlank(c)) break;
            continue;
        }
        if (!keep(c)) {
            domain.clear();
            return;
        }
    }
    showDomain(std::string_view(bytes, length), domain);
    if (!domain.known()) keepUnshown(std::string_view(bytes, length), unshown);
}

// Reads a From value's parts for a Sender: counts its addresses up to two,
// shows the domain of the first, and keeps its display name.
class SenderSink {
public:
    SenderSink(std::size_t& addresses, ShownDomain& domain, std::string& unshown, SliceText& name)
        : addresses_(addresses), domain_(domain), unshown_(unshown), name_(name) {}

    void text(std::string_view piece, bool inComment) {
        if (addresses_ > 0) return;  // the name is read
        name_.take(piece.data(), piece.data() + piece.size());
        if (inComment) comments_.take(piece.data(), piece.data() + piece.size());
    }
    void bracket() {
        if (addresses_ == 0) bracketAt_ = name_.size();
    }
    bool partEnd(const FromPart& part) {
        if (!part.isAddress) {
            // A part without an address is shown as part of the name; at
            // the end it is no name of anybody's.
            if (addresses_ == 0 && !part.last) {
                name_.take(part.end, part.end + 1);
                partStart_ = name_.size();
                comments_.clear();
            }
            return true;
        }
        // A second address is all the lines need to know of the rest.
        if (addresses_++ > 0) return false;
        if (part.domain != nullptr) domainAfter(part.domain, part.end, domain_, unshown_);
        if (part.bracketed) {
            name_.truncate(bracketAt_);
        } else {
            name_.truncate(partStart_);
            const std::string_view comments = comments_.text();
            name_.take(comments.data(), comments.data() + comments.size());
        }
        return true;
    }

private:
    std::size_t& addresses_;
    ShownDomain& domain_;
    std::string& unshown_;
    SliceText& name_;
    SliceText comments_;         // of the part being read
    std::size_t partStart_ = 0;  // where in the name the part's text begins
    std::size_t bracketAt_ = 0;  // where its first '<' stood
};

}  // namespace

void Sender::read(CharsetConverter& converter) {
    if (fields_ == 0) return;
    SenderSink sink(addresses_, domain_, unshown_, name_);
    readFromParts(firstValue_, sink);
    if (addresses_ == 0) {
        name_.clear();
        return;
    }
    if (domain_.known()) hasOrganization_ = findPublicSuffix(domain_.text(), suffix_);
    findNameClaim(name_.text(), organization(), converter, nameClaim_);
}

bool Sender::alignedWith(const ShownDomain& domain) const {
    if (!hasOrganization_ || !domain.known()) return false;
    // Most signers sign with the From domain itself.
    if (domain == domain_) return true;
    // A name whose organizational domain is the From domain's is it or
    // below it. A From domain that is itself a public suffix is its own
    // organizational domain, and every name below it another owner's;
    // below any other, every name is the same owner's, unless the list has
    // rules there.
    if (suffix_.start == 0 || !isAtOrBelow(domain.text(), organization()) || !isDomainName(domain.text())) return false;
    if (rulesBelow_ == Below::kUnknown) rulesBelow_ = rulesBelow(organization()) ? Below::kSome : Below::kNone;
    return rulesBelow_ == Below::kNone || sameText(organizationalDomain(domain.text()), organization());
}
