// The sender's address as the From fields give it: who the trust lines
// judge the mail by, and what its display name says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "charset/charset_converter.h"
#include "domains/public_suffixes.h"
#include "fields/shown_text.h"
#include "text/slice_text.h"

// Sets shown to an address's domain as read (see MailboxSink::address), as
// the lines show and compare it: one written in UTF-8 mapped by IDNA
// (UTS #46: case folded, NFC, the ideographic full stops read as dots)
// through converter first, so that a person's reading and DNS's agree; "?"
// when it cannot be mapped, was cut, or cannot be shown (see showDomain).
void showAddressDomain(std::string_view raw, bool whole, CharsetConverter& converter, ShownDomain& shown);

// The From fields of one header, as the trust lines show them.
class Sender {
public:
    // Counts a From field; only the first one is read.
    void addField(std::string_view value) {
        if (fields_++ == 0) firstValue_ = value;
    }
    // Reads the first field (see readMailboxes): its addresses, the domain
    // of the first (see showAddressDomain), whether it is written plainly,
    // and its display name; then what that name claims (see findNameClaim),
    // its encoded words decoded through converter. Call once, after the
    // last field.
    void read(CharsetConverter& converter);

    // A From address, with a domain that can be shown.
    bool known() const { return addresses_ > 0 && domain_.known(); }
    // More than one From field, or more than one address in the first.
    bool moreThanOne() const { return fields_ > 1 || addresses_ > 1; }
    // The first field holds one address, but not written plainly: what it
    // says is read as RFC 5322 reads it, which a person may read otherwise.
    bool unusual() const { return unusual_; }
    // A From field with an address.
    bool hasAddress() const { return addresses_ > 0; }
    const ShownDomain& domain() const { return domain_; }
    // The first address's domain as DNS is asked for it (lower case, no
    // trailing dot): as shown, or when it cannot be shown, its own bytes,
    // unchecked; empty without one.
    std::string_view dnsDomain() const {
        return domain_.known() ? domain_.text() : std::string_view(unshown_);
    }
    // Whether domain aligns with the From domain: both have one
    // organizational domain, which one owner controls. Never for an unknown
    // one.
    bool alignedWith(const ShownDomain& domain) const;
    // The From domain's organizational domain; empty when it has none.
    std::string_view organization() const {
        return hasOrganization_ ? organizationalDomain(domain_.text(), suffix_) : std::string_view();
    }
    // What a client shows beside the first address: all of the field's text
    // but that address (see MailboxSink::text). Valid while the field's text is.
    std::string_view displayName() const { return name_.text(); }
    // The display name claims another organizational domain than the address's.
    bool nameClaimed() const { return nameClaim_.known(); }
    // That organizational domain, as shown.
    std::string_view nameClaim() const { return nameClaim_.text(); }

private:
    std::size_t fields_ = 0;
    std::string_view firstValue_;
    std::size_t addresses_ = 0;  // in the first field
    bool unusual_ = false;
    ShownDomain domain_;         // of its first address
    std::string unshown_;        // its bytes, when it cannot be shown
    // The From domain's public suffix, when it has an organizational domain.
    PublicSuffix suffix_;
    bool hasOrganization_ = false;
    // Whether rules of the list name names below its organizational domain
    // (see rulesBelow): asked only when a domain below it is to be aligned,
    // as few are.
    enum class Below : std::uint8_t { kUnknown, kNone, kSome };
    mutable Below rulesBelow_ = Below::kUnknown;
    SliceText name_;
    ShownDomain nameClaim_;  // the organizational domain its display name claims, when another
};
