// What a DKIM-Signature field says (RFC 6376, 3.5), read and checked for
// everything that needs neither a key nor the mail.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/ascii.h"

// Why a signature is not checked further, in the order these are looked for.
enum class SignatureFault : std::uint8_t {
    kNone,
    kBadSignature,  // its tags break the RFC's grammar or rules
    kSha1,          // a=rsa-sha1, never to be trusted (RFC 8301)
    kEd25519,       // a=ed25519-sha256, which the platform cannot check
};

struct Signature {
    SignatureFault fault = SignatureFault::kBadSignature;
    std::string_view domain;          // d=, as written; empty when missing
    std::string_view selector;        // s=
    std::string_view identityDomain;  // the domain of i=, or d= without one
    bool relaxedHeader = false;       // c=, before the '/'
    bool relaxedBody = false;         // c=, after it
    std::string_view headerNames;     // h=, as written
    std::string bodyHash;             // bh=, decoded
    std::string value;                // b=, decoded
    bool limited = false;             // l= is given
    std::uint64_t length = 0;         // l=; the largest number for one longer than that
    bool expires = false;             // x= is given
    std::int64_t expiry = 0;          // x=, seconds since 1970 UTC
    // The bytes of the field's value that the header hash leaves out: the
    // b= tag's value and the whitespace around it.
    const char* hiddenFrom = nullptr;
    const char* hiddenTo = nullptr;
};

// Reads the value of a DKIM-Signature field (after its ':'), as it stands in
// the mail, folds included. Linear in its length.
Signature readSignature(std::string_view value);

// Whether a ':'-separated tag value is well formed (see forEachListItem)
// and holds item, compared case-blind.
bool listHolds(std::string_view list, std::string_view item);

// Calls take(item) for each item of a ':'-separated tag value (a signature's
// h= and q=, a key record's h=, s= and t=), in order, the folding whitespace
// around the colons dropped; returns false, at the first, when an item is
// empty or holds a byte that no field name may ('!' to '~' but ':').
template <typename Take>
bool forEachListItem(std::string_view names, Take&& take) {
    for (std::size_t at = 0;;) {
        std::size_t end = at;
        while (end < names.size() && names[end] != ':') ++end;
        std::string_view name = names.substr(at, end - at);
        while (!name.empty() && isBlankOrBreak(name.front())) name.remove_prefix(1);
        while (!name.empty() && isBlankOrBreak(name.back())) name.remove_suffix(1);
        if (name.empty()) return false;
        for (const char c : name) {
            if (c < '!' || c > '~') return false;
        }
        take(name);
        if (end == names.size()) return true;
        at = end + 1;
    }
}
