// What the owner of the From domain asks of mail that bears it: its DMARC
// record (RFC 7489), found in DNS as section 6.6.3 has it. Nothing here
// judges a mail by DMARC: SPF is not checked here, so the [DKIM] line only
// shows what the owner asks and how strictly its signatures must align.
#pragma once

#include <cstdint>

#include "keys/key_source.h"

// The policy that applies to the mail: none stands for p=none and for no
// policy at all.
enum class DmarcRequest : std::uint8_t { kNone, kQuarantine, kReject };

struct DmarcPolicy {
    DmarcRequest request = DmarcRequest::kNone;
    bool strictDkim = false;  // adkim=s: a signature's domain must be the From domain itself
};

// The policy that the TXT records at _dmarc.FROM (atFrom) and, when FROM is
// not its own organizational domain, at _dmarc.ORG (atOrganization, else
// null) give. Records whose first tag is not v=DMARC1 are passed over; more
// than one left is no policy. ORG's record counts only when FROM has none;
// FROM's lookup failing or pending is no policy, whatever ORG says. A record
// whose p= is missing or not valid, or whose sp= is not valid, counts as
// p=none when a rua= tag holds a mailto: address, else as no policy. The
// request is sp= (or p= without one) for a record from ORG, else p=.
// Linear in the records.
DmarcPolicy discoverDmarcPolicy(const KeyAnswer& atFrom, const KeyAnswer* atOrganization);
