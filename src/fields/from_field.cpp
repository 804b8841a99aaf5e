#include "fields/from_field.h"

#include "domains/public_suffixes.h"
#include "fields/name_claims.h"
#include "fields/nesting.h"
#include "text/ascii.h"
#include "text/byte_set.h"

namespace {

constexpr ByteSet kFromSpecials(std::string_view("\0\r\n(\"<>@,", 10));
constexpr ByteSet kDomainSpecials(std::string_view("\0\r\n \t>,;(\"", 11));

// The domain of an address that follows an '@' at at, which stands outside
// quoted strings and comments: the bytes after it up to end, comments read as
// blanks, leading blanks skipped, up to a blank, tab, '>', ',' or ';'.
void domainAfter(const char* at, const char* end, ShownDomain& domain) {
    // Nearly always a plain run of bytes up to the end, '>' or a blank: it
    // is shown as it stands.
    const char* plain = at;
    while (plain < end && !kDomainSpecials.has(*plain)) ++plain;
    if (plain > at && (plain == end || *plain == '>' || isBlank(*plain) || *plain == ',' || *plain == ';')) {
        showDomain(std::string_view(at, static_cast<std::size_t>(plain - at)), domain);
        return;
    }

    // No more is kept than a domain may have before it is shown as "?". Dots
    // past that are kept out too, as they may trail, and trailing dots go.
    constexpr std::size_t kKept = 1012;
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
}

}  // namespace

void readFromAddresses(std::string_view value, std::size_t& addresses, ShownDomain& domain) {
    addresses = 0;
    domain.clear();
    const char* const end = value.data() + value.size();
    const char* lastAt = nullptr;         // of the part
    const char* bracketLastAt = nullptr;  // of the part's first bracket
    bool sawBracket = false;
    bool inBracket = false;
    bool inFirstBracket = false;
    Nesting nesting;
    for (const char* at = value.data(); at <= end; ++at) {
        if (nesting.outside()) {
            while (at < end && !kFromSpecials.has(*at)) ++at;
        }
        const char c = at < end ? *at : ',';  // the end ends the last part
        if (isBreakOrNul(c)) continue;
        // The end ends the last part, even in a comment or quoted string.
        if (!nesting.outside() && at < end) {
            if (nesting.inComment()) {
                nesting.readInComment(c);
            } else {
                nesting.readInQuote(c);
            }
            continue;
        }
        if (c == '(') {
            nesting.openComment();
        } else if (c == '"') {
            nesting.openQuote();
        } else if (c == '<' && !inBracket) {
            inBracket = true;
            inFirstBracket = !sawBracket;
            sawBracket = true;
        } else if (c == '>' && inBracket) {
            inBracket = inFirstBracket = false;
        } else if (c == '@') {
            lastAt = at;
            if (inFirstBracket) bracketLastAt = at;
        } else if (c == ',' && (!inBracket || at == end)) {
            if (lastAt != nullptr && addresses++ == 0) {
                // A bracket without an '@' holds no domain.
                const char* domainAt = sawBracket ? bracketLastAt : lastAt;
                if (domainAt != nullptr) domainAfter(domainAt + 1, at, domain);
            }
            // A second address is all the line needs to know of the rest.
            if (addresses > 1) return;
            lastAt = bracketLastAt = nullptr;
            sawBracket = inBracket = inFirstBracket = false;
        }
    }
}

void Sender::read() {
    if (fields_ == 0) return;
    readFromAddresses(firstValue_, addresses_, domain_);
    if (addresses_ == 0 || !domain_.known()) return;
    const std::string_view organization = organizationalDomain(domain_.text());
    hasOrganization_ = !organization.empty();
    organizationStart_ = domain_.text().size() - organization.size();
}

bool Sender::alignedWith(const ShownDomain& domain) const {
    if (!hasOrganization_ || !domain.known()) return false;
    // Most signers sign with the From domain itself.
    if (domain == domain_) return true;
    // A name whose organizational domain is the From domain's is it or
    // below it; every name below it is, unless the list has rules there.
    if (!isAtOrBelow(domain.text(), organization()) || !isDomainName(domain.text())) return false;
    if (rulesBelow_ == Below::kUnknown) rulesBelow_ = rulesBelow(organization()) ? Below::kSome : Below::kNone;
    return rulesBelow_ == Below::kNone || sameText(organizationalDomain(domain.text()), organization());
}

void Sender::readNameClaim(CharsetConverter& converter) {
    if (fields_ == 0) return;
    findNameClaim(firstValue_, organization(), converter, nameClaim_);
}

void Sender::write(LineWriter& line) const {
    line << (addresses_ == 0 ? std::string_view("(no From)") : domain_.text());
    if (moreThanOne()) line << " (more than one From)";
}
