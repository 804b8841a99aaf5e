// The sender's address as the From fields give it: who the digest lines
// judge the mail by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "charset/charset_converter.h"
#include "fields/shown_text.h"
#include "text/writing.h"

// The From fields of one header, as the digest lines show them.
class Sender {
public:
    // Counts a From field; only the first one's addresses are read.
    void addField(std::string_view value) {
        if (fields_++ == 0) firstValue_ = value;
    }
    // Reads the first field's addresses; call once, after the last field.
    void read();

    // Exactly one From address, with a domain that can be shown.
    bool known() const { return addresses_ > 0 && domain_.known(); }
    // More than one From field, or more than one address in the first.
    bool moreThanOne() const { return fields_ > 1 || addresses_ > 1; }
    const ShownDomain& domain() const { return domain_; }
    // Whether domain aligns with the From domain: both have one
    // organizational domain (see organizationalDomain), which one owner
    // controls. Never for an unknown one.
    bool alignedWith(const ShownDomain& domain) const;
    // The From domain's organizational domain; empty when it has none.
    std::string_view organization() const {
        return hasOrganization_ ? domain_.text().substr(organizationStart_) : std::string_view();
    }
    // The domain, "?" when it cannot be shown, or "(no From)" when there
    // is no address; then " (more than one From)" when moreThanOne().
    void write(LineWriter& line) const;

    // Reads what the first address's display name claims (see
    // findNameClaim), its encoded words decoded through converter; call
    // after read().
    void readNameClaim(CharsetConverter& converter);
    // The display name claims another organizational domain than the address's.
    bool nameClaimed() const { return nameClaim_.known(); }
    // " (name says ORG)" when it does.
    void writeNameClaim(LineWriter& line) const {
        if (nameClaimed()) line << " (name says " << nameClaim_.text() << ")";
    }

private:
    std::size_t fields_ = 0;
    std::string_view firstValue_;
    std::size_t addresses_ = 0;  // in the first field; 2 stands for more
    ShownDomain domain_;         // of its first address
    // Where in domain_ its organizational domain begins, when it has one.
    std::size_t organizationStart_ = 0;
    bool hasOrganization_ = false;
    // Whether rules of the list name names below it (see rulesBelow): asked
    // only when a domain below it is to be aligned, as few are.
    enum class Below : std::uint8_t { kUnknown, kNone, kSome };
    mutable Below rulesBelow_ = Below::kUnknown;
    ShownDomain nameClaim_;      // the organizational domain its display name claims, when another
};

// The longest note writeNameClaim writes.
constexpr std::size_t kNameClaimNoteSize = sizeof " (name says )" - 1 + kShownDomainSize;

// Reads a From value, its comments dropped, split into parts at commas
// outside quoted strings and outside '<' to '>'. The parts holding an '@'
// outside quoted strings are addresses; the domain of one follows the last
// '@' between its first '<' and the '>' after it, when it has a '<', else the
// last '@' of all of it. Counts the addresses up to two, and shows the
// domain of the first in domain. Linear in the value; the domain's copy
// is bounded.
void readFromAddresses(std::string_view value, std::size_t& addresses, ShownDomain& domain);
