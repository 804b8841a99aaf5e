// What the owner of the From domain asks of mail that bears it: its DMARC
// record, the names to ask DNS for it and the policy the answers give,
// discovered as RFC 7489 section 6.6.3 has it, with RFC 9989's changes: a
// set of several records at the From domain is passed over for the
// organizational domain's, np= applies to a From domain that does not
// exist, and t=y lowers the policy a step. Organizational domains stay the
// Public Suffix List's. Nothing here judges a mail by
// DMARC: SPF is not checked here, so the [DKIM] line only shows what the
// owner asks and how strictly its signatures must align.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "keys/key_source.h"

// The policy that applies to the mail: none stands for p=none and for no
// policy at all.
enum class DmarcRequest : std::uint8_t { kNone, kQuarantine, kReject };

struct DmarcPolicy {
    DmarcRequest request = DmarcRequest::kNone;
    bool strictDkim = false;  // adkim=s: a signature's domain must be the From domain itself
};

// The names of the From domain's DMARC records, asked for beside the keys:
// _dmarc.FROM whenever it can stand in DNS (see isDnsName), and _dmarc.ORG
// when FROM is below its organizational domain ORG and that name can stand
// in DNS, whether FROM can or not; then FROM itself, whose existence np=
// asks about, when ORG's record is asked and FROM can stand in DNS. from is
// lower case, as DNS is asked. An empty name is not asked for.
struct PolicyNames {
    std::string atFrom;
    std::string atOrganization;
    std::string fromItself;
    // ORG's record is asked, but FROM is no name DNS can hold: it does not
    // exist, as np= counts it.
    bool fromCannotExist = false;
};
PolicyNames policyNamesOf(std::string_view from);

// The policy that the TXT records at _dmarc.FROM (atFrom, null when it
// could not be asked) and at _dmarc.ORG (atOrganization, null when not
// asked) give, and the answer for FROM itself (fromItself, null when not
// asked). Records whose first tag, as written, is not v=DMARC1 are passed
// over. ORG's record counts only when FROM has none, more than one, or
// could not be asked; FROM's lookup failing or pending is no policy,
// whatever ORG says, and so is more than one record at ORG. v comes first;
// the other tags may stand in any order (RFC 9989), those that break the
// grammar passed over. A record without a valid p= counts as p=none when a
// rua= tag holds a mailto: address, else as no policy; so does an sp= whose
// value is not valid. The request is, for a record from
// ORG, np= when FROM does not exist (NXDOMAIN) and np= is valid, else sp=,
// else p=; for a record from FROM, p=. t=y then lowers it a step, reject to
// quarantine and quarantine to none. Linear in the records.
DmarcPolicy discoverDmarcPolicy(const KeyAnswer* atFrom, const KeyAnswer* atOrganization,
                                const KeyAnswer* fromItself);
