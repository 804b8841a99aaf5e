#include "dkim/dkim_check.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "dkim/canonical.h"
#include "dkim/dmarc_policy.h"
#include "dkim/key_record.h"
#include "dkim/mail_source.h"
#include "dkim/signature.h"
#include "domains/public_suffixes.h"
#include "fields/from_field.h"
#include "fields/mail_time.h"
#include "fields/mailbox_reader.h"
#include "fields/trust_line.h"
#include "keys/kept_keys.h"
#include "text/ascii.h"
#include "text/inline_buffer.h"
#include "text/writing.h"

namespace {

// What a signature's check came to, in the order the checks are made.
enum class Outcome : std::uint8_t {
    kBadSignature,
    kSha1,
    kEd25519,
    kExpired,
    kNoKey,
    kRevoked,
    kBadKey,
    kWeakKey,
    kPending,
    kLookupFailed,
    kNoHashing,  // this machine could not hash: nothing can be told of the mail
    kBodyChanged,
    kNoMatch,
    kPass,
    kTesting,    // its key says the signer is testing: the mail counts as unsigned by it
    kKeyGone,    // DNS no longer has its key, and the mail is older than a forgery could hide behind
    kUnchecked,  // still on its way
};

// Mail that arrived this many days or more before today, whose key DNS
// no longer has, reads (key gone); later mail keeps (no key), so that a
// forgery with a made-up selector still fails.
constexpr Day kKeyGoneDays = 30;
// A kept key last seen this many days ago or later, that DNS now gives
// another key for, shows the change.
constexpr Day kKeyChangedDays = 30;
// Kept keys tried per signature, of those that count and of those that
// do not: each try is an RSA verification.
constexpr std::size_t kKeptTried = 4;

// How the key that verified a pass came.
enum class KeyNote : std::uint8_t {
    kNone,
    kKept,     // a kept key, for mail that came while DNS still gave it
    kChanged,  // DNS's, other than a key of its name kept and recently seen
};

struct Item {
    std::string_view result;
    std::string_view note;
};

Item itemOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::kBadSignature: return {"permerror", " (bad signature)"};
        case Outcome::kSha1: return {"policy", " (sha1)"};
        case Outcome::kEd25519: return {"neutral", " (ed25519 not checked)"};
        case Outcome::kExpired: return {"permerror", " (expired)"};
        case Outcome::kNoKey: return {"permerror", " (no key)"};
        case Outcome::kRevoked: return {"permerror", " (key revoked)"};
        case Outcome::kBadKey: return {"permerror", " (bad key)"};
        case Outcome::kWeakKey: return {"policy", " (weak key)"};
        case Outcome::kPending: return {"temperror", " (key lookup pending)"};
        case Outcome::kLookupFailed: return {"temperror", " (key lookup failed)"};
        case Outcome::kNoHashing: return {"temperror", " (hashing failed)"};
        case Outcome::kBodyChanged: return {"fail", " (body changed)"};
        case Outcome::kNoMatch: return {"fail", " (signature does not match)"};
        case Outcome::kTesting: return {"neutral", " (testing)"};
        case Outcome::kKeyGone: return {"neutral", " (key gone)"};
        default: return {"pass", ""};
    }
}

// One signature and its check.
struct Check {
    const SourceField* field = nullptr;
    Signature signature;
    ShownDomain domain;
    Outcome outcome = Outcome::kUnchecked;
    Key key;
    bool partOfBody = false;
    std::unique_ptr<Sha256> bodyHash;
    // Its key's name, when it was asked of DNS, and what DNS gave there.
    std::string keyName;
    std::shared_ptr<const KeyRecords> records;
    bool noKeyInDns = false;  // DNS answered: no such key
    // With kept keys for its name: what DNS's answer alone came to, and
    // the kept keys, valid until the keys change.
    Outcome dnsOutcome = Outcome::kUnchecked;
    KeptKeys::Range kept = {nullptr, nullptr};
    bool retiredKeyVerified = false;  // a kept key the mail came too late for verified it
    bool keptUntold = false;          // its kept keys were not tried: whether one signed is unknown
    KeyNote keyNote = KeyNote::kNone;
};

// The fields a mail may hold once (RFC 5322), and those that decide how its
// body shows. A copy of one added above a signed one goes unsigned, and is
// the one a reader sees, since signed fields are taken from the bottom up.
constexpr std::string_view kOnceOnly[] = {
    "Date", "From", "Sender", "Reply-To", "To", "Cc", "Bcc", "Message-ID", "In-Reply-To", "References", "Subject",
    "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
};

// Counts the fields of kOnceOnly, in its order; From has its own rule.
class OnceOnlyFields {
public:
    void count(const SourceField& field) {
        for (std::size_t i = 0; i < std::size(kOnceOnly); ++i) {
            if (equalsIgnoringCase(field.name, kOnceOnly[i])) {
                ++counts_[i];
                return;
            }
        }
    }
    // How often the field named kOnceOnly[at] stands.
    std::size_t countOf(std::size_t at) const { return counts_[at]; }
    // The first name of the list, but From, that stands more than once; empty when none.
    std::string_view repeated() const {
        for (std::size_t i = 0; i < std::size(kOnceOnly); ++i) {
            if (counts_[i] > 1 && kOnceOnly[i] != "From") return kOnceOnly[i];
        }
        return {};
    }

private:
    std::size_t counts_[std::size(kOnceOnly)] = {};
};

// A field named name, case-blind.
bool named(const SourceField& field, std::string_view name) { return equalsIgnoringCase(field.name, name); }

// "selector._domainkey.domain", lower case.
std::string keyNameOf(const Signature& signature) {
    std::string name;
    name.reserve(signature.selector.size() + signature.domain.size() + 12);
    name.append(signature.selector).append("._domainkey.").append(signature.domain);
    for (char& c : name) c = lowerAscii(c);
    return name;
}

// The checks that need only the signature and the time the mail came.
void checkSignature(Check& check, std::int64_t arrival) {
    check.signature = readSignature(check.field->value());
    showDomain(check.signature.domain, check.domain);
    switch (check.signature.fault) {
        case SignatureFault::kBadSignature: check.outcome = Outcome::kBadSignature; return;
        case SignatureFault::kSha1: check.outcome = Outcome::kSha1; return;
        case SignatureFault::kEd25519: check.outcome = Outcome::kEd25519; return;
        case SignatureFault::kNone: break;
    }
    if (check.signature.expires && check.signature.expiry < arrival) check.outcome = Outcome::kExpired;
}

// When the mail came: the time of its topmost Received field, which the
// user's own server added last and no sender can put above, when it reads
// and is no later than now; else now. A signature valid then stays valid
// however long the mail is kept, and a replayed old mail still comes late,
// since its topmost field is the replay's.
std::int64_t arrivalOf(const MailSource& mail, std::int64_t now) {
    for (const SourceField& field : mail.fields()) {
        if (!equalsIgnoringCase(field.name, "received")) continue;
        std::int64_t time = 0;
        return readReceivedTime(field.value(), time) && time <= now ? time : now;
    }
    return now;
}

// Reads what a key lookup found for check.
void readKeyAnswer(Check& check, const KeyAnswer& answer, Crypto& crypto) {
    switch (answer.state) {
        case KeyState::kPending: check.outcome = Outcome::kPending; return;
        case KeyState::kFailed: check.outcome = Outcome::kLookupFailed; return;
        case KeyState::kNoKey:
        case KeyState::kNoName:
            check.outcome = Outcome::kNoKey;
            check.noKeyInDns = true;
            return;
        case KeyState::kFound: break;
    }
    static const KeyRecords kNone;
    check.records = answer.records;
    check.key = readKey(answer.records != nullptr ? *answer.records : kNone, check.signature.domain,
                        check.signature.identityDomain, crypto);
    switch (check.key.verdict) {
        case KeyVerdict::kNoKey:
            check.outcome = Outcome::kNoKey;
            check.noKeyInDns = true;
            break;
        case KeyVerdict::kRevoked: check.outcome = Outcome::kRevoked; break;
        case KeyVerdict::kBadKey: check.outcome = Outcome::kBadKey; break;
        case KeyVerdict::kWeakKey: check.outcome = Outcome::kWeakKey; break;
        case KeyVerdict::kUsable:
            if (check.key.testing) check.outcome = Outcome::kTesting;
            break;
    }
}

// Looks up the keys of the checks still on their way and the From domain's
// DMARC records, all at once, so that a first open waits for the slowest
// answer, not their sum; reads what each found.
DmarcPolicy lookUp(InlineBuffer<Check*, kCheckedSignatures>& checks, const PolicyNames& policyNames,
                   DkimServices& services, std::uint32_t waitMs) {
    std::string names[kCheckedSignatures + 3];
    Check* asking[kCheckedSignatures];
    std::size_t keys = 0;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        Check& check = *checks[i];
        if (check.outcome != Outcome::kUnchecked) continue;
        std::string name = keyNameOf(check.signature);
        // No such name can stand in DNS, or it would ask for another.
        if (!isDnsName(name)) {
            check.outcome = Outcome::kNoKey;
            continue;
        }
        check.keyName = name;
        names[keys] = std::move(name);
        asking[keys++] = &check;
    }
    std::size_t count = keys;
    // Where the answer for each policy name stands, when it is asked for.
    constexpr std::size_t kNotAsked = static_cast<std::size_t>(-1);
    const auto ask = [&](const std::string& name) {
        if (name.empty()) return kNotAsked;
        names[count] = name;
        return count++;
    };
    const std::size_t atFrom = ask(policyNames.atFrom);
    const std::size_t atOrganization = ask(policyNames.atOrganization);
    const std::size_t fromItself = ask(policyNames.fromItself);
    if (count == 0) return {};
    KeyAnswer answers[kCheckedSignatures + 3];
    services.keys.lookUp(names, count, waitMs, answers);
    for (std::size_t i = 0; i < keys; ++i) readKeyAnswer(*asking[i], answers[i], services.crypto);
    const auto answerAt = [&](std::size_t at) { return at == kNotAsked ? nullptr : &answers[at]; };
    static const KeyAnswer kNoSuchName{KeyState::kNoName, nullptr};
    return discoverDmarcPolicy(answerAt(atFrom), answerAt(atOrganization),
                               policyNames.fromCannotExist ? &kNoSuchName : answerAt(fromItself));
}

// Offers check the keys kept for its name, when DNS gave none that can
// verify it yet: no such key, a lookup that failed or is still on its way,
// a key that cannot be used, or one that may not verify it. A revoked key
// overrules them all.
void offerKeptKeys(Check& check, const KeptKeys& keptKeys) {
    switch (check.outcome) {
        case Outcome::kNoKey:
        case Outcome::kPending:
        case Outcome::kLookupFailed:
        case Outcome::kBadKey:
        case Outcome::kWeakKey:
        case Outcome::kUnchecked: break;
        default: return;
    }
    if (check.keyName.empty()) return;
    check.kept = keptKeys.keysOf(check.keyName);
    if (check.kept.begin == check.kept.end) return;
    check.dnsOutcome = check.outcome;
    check.outcome = Outcome::kUnchecked;
}

// Verifies check's signature, whose header hash is digest: with DNS's key,
// else with a kept key the mail came in time for (it arrived no later than
// the key was last seen in DNS), the newest first; else the check is what
// DNS's answer alone made it. The keys the mail came too late for only
// tell a retired key that leaked from one never kept.
void verifyKeys(Check& check, const Sha256Digest& digest, Crypto& crypto, Day arrival) {
    if (check.key.rsa != nullptr && check.key.rsa->verifies(digest, check.signature.value)) {
        check.outcome = Outcome::kPass;
        return;
    }
    std::size_t tried[2] = {};  // of the keys that do not count, and of those that do
    for (const bool counting : {true, false}) {
        for (const std::string* line = check.kept.end; line != check.kept.begin;) {
            --line;
            const bool counts = KeptKeys::lastOf(*line) >= arrival;
            if (counts != counting || tried[counts] == kKeptTried) continue;
            ++tried[counts];
            const KeyRecords records{std::string(KeptKeys::recordOf(*line))};
            const Key key = readKey(records, check.signature.domain, check.signature.identityDomain, crypto);
            if (key.verdict != KeyVerdict::kUsable || key.testing || !key.rsa->verifies(digest, check.signature.value)) {
                continue;
            }
            if (counts) {
                check.outcome = Outcome::kPass;
                check.keyNote = KeyNote::kKept;
                return;
            }
            check.retiredKeyVerified = true;
        }
    }
    check.outcome = check.dnsOutcome != Outcome::kUnchecked ? check.dnsOutcome : Outcome::kNoMatch;
}

// What check's key comes to once checked: a key DNS no longer has, for mail
// old enough, is gone; with keys kept, a key DNS gave is seen today, kept
// once it verified, and shown when it replaced a key of its name kept and
// recently seen.
void settleKeys(Check& check, KeptKeys* keptKeys, Day today, Day arrival) {
    if (check.outcome == Outcome::kNoKey && check.noKeyInDns && !check.retiredKeyVerified && !check.keptUntold &&
        arrival <= today - kKeyGoneDays) {
        check.outcome = Outcome::kKeyGone;
    }
    if (keptKeys == nullptr || check.key.verdict != KeyVerdict::kUsable) return;
    const KeptKeys::Range kept = keptKeys->keysOf(check.keyName);
    // Most mails come with a key kept and seen today already: nothing is
    // copied for them.
    const std::string* same = nullptr;
    for (const std::string* line = kept.begin; line != kept.end; ++line) {
        if (KeptKeys::sameRecord(KeptKeys::recordOf(*line), check.key.record)) same = line;
    }
    const bool passed = check.outcome == Outcome::kPass && check.keyNote == KeyNote::kNone;
    std::string form;
    if (same == nullptr) {
        form = KeptKeys::keptForm(check.key.record);
        if (form.empty()) return;
    }
    if (passed) {
        const std::string_view key = KeptKeys::keyOf(same != nullptr ? KeptKeys::recordOf(*same) : form);
        for (const std::string* line = kept.begin; line != kept.end; ++line) {
            if (KeptKeys::keyOf(KeptKeys::recordOf(*line)) != key && today - KeptKeys::lastOf(*line) < kKeyChangedDays) {
                check.keyNote = KeyNote::kChanged;
            }
        }
    }
    if (same != nullptr) {
        if (KeptKeys::lastOf(*same) >= today) return;
        form = std::string(KeptKeys::recordOf(*same));
    }
    if (passed) {
        keptKeys->keep(check.keyName, form, today);
    } else {
        keptKeys->see(check.keyName, form, today);
    }
}

// Hashes the body once for each form that a check with a usable key asks
// for, each check's hash taking up to its l=, and compares.
void checkBodies(InlineBuffer<Check*, kCheckedSignatures>& checks, std::string_view body, Crypto& crypto) {
    for (const bool relaxed : {false, true}) {
        HashFeed feed;
        bool any = false;
        for (std::size_t i = 0; i < checks.size(); ++i) {
            Check& check = *checks[i];
            if (check.outcome != Outcome::kUnchecked || check.signature.relaxedBody != relaxed) continue;
            check.bodyHash = crypto.sha256();
            if (check.bodyHash == nullptr) {
                check.outcome = Outcome::kNoHashing;
                continue;
            }
            feed.feed(*check.bodyHash, check.signature.limited ? check.signature.length : HashFeed::kNoLimit);
            any = true;
        }
        if (!any) continue;
        feedBody(body, relaxed, feed);
        const std::uint64_t length = feed.finish();
        for (std::size_t i = 0; i < checks.size(); ++i) {
            Check& check = *checks[i];
            if (check.outcome != Outcome::kUnchecked || check.signature.relaxedBody != relaxed) continue;
            const Sha256Digest digest = check.bodyHash->finish();
            const bool longer = check.signature.limited && check.signature.length > length;
            if (longer || check.signature.bodyHash.size() != digest.size() ||
                std::memcmp(check.signature.bodyHash.data(), digest.data(), digest.size()) != 0) {
                // Offered kept keys, the check is what DNS made it: no key
                // mends a body, nor can it tell then whether a kept key signed.
                check.outcome = check.dnsOutcome != Outcome::kUnchecked ? check.dnsOutcome : Outcome::kBodyChanged;
                check.keptUntold = check.dnsOutcome != Outcome::kUnchecked;
            }
            check.partOfBody = check.signature.limited && check.signature.length < length;
        }
    }
}

// Hashes the fields each check's h= names, bottom up, and its own field
// with its b= value left out, and checks the signature with the key.
void checkHeaders(InlineBuffer<Check*, kCheckedSignatures>& checks, const MailSource& source, Crypto& crypto,
                  Day arrival) {
    std::unique_ptr<FieldIndex> index;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        Check& check = *checks[i];
        if (check.outcome != Outcome::kUnchecked) continue;
        const std::unique_ptr<Sha256> hash = crypto.sha256();
        if (hash == nullptr) {
            check.outcome = Outcome::kNoHashing;
            continue;
        }
        if (index == nullptr) index = std::make_unique<FieldIndex>(source.fields());
        index->restart();
        const bool relaxed = check.signature.relaxedHeader;
        HashFeed feed;
        feed.feed(*hash);
        forEachListItem(check.signature.headerNames, [&](std::string_view name) {
            // A name with no field left counts as an empty one: it adds nothing.
            if (const SourceField* field = index->take(name)) {
                FieldFeed signed_(relaxed, feed);
                signed_.add(field->text);
                signed_.end(true);
            }
        });
        const std::string_view text = check.field->text;
        FieldFeed own(relaxed, feed);
        own.add(std::string_view(text.data(), static_cast<std::size_t>(check.signature.hiddenFrom - text.data())));
        own.add(std::string_view(check.signature.hiddenTo,
                                 static_cast<std::size_t>(text.data() + text.size() - check.signature.hiddenTo)));
        own.end(false);
        feed.finish();
        verifyKeys(check, hash->finish(), crypto, arrival);
    }
}

// What the line says of the mail as a whole, beside its signatures.
struct MailFacts {
    Sender sender;
    std::string_view repeated;  // a field of kOnceOnly but From that stands more than once
    DmarcPolicy policy;
};

// Whether a signature's domain aligns with the From domain: one
// organizational domain, or the very domain when the owner asks for that.
bool alignedWithFrom(const Check& check, const MailFacts& mail) {
    if (!mail.policy.strictDkim) return mail.sender.alignedWith(check.domain);
    return mail.sender.known() && check.domain == mail.sender.domain();
}

void writeItem(const Check& check, const MailFacts& mail, LineWriter& line) {
    const Item item = itemOf(check.outcome);
    line << item.result << " " << check.domain.text() << item.note;
    if (check.outcome != Outcome::kPass) return;
    if (check.keyNote == KeyNote::kKept) line << " (kept key)";
    if (check.keyNote == KeyNote::kChanged) line << " (key changed)";
    markNotFrom(line, alignedWithFrom(check, mail));
    if (check.partOfBody) line << " (part of the body)";
}

// Whether the signature makes a pass: it verified over the whole body and
// aligns with the From domain.
bool makesPass(const Check& check, const MailFacts& mail) {
    return check.outcome == Outcome::kPass && !check.partOfBody && alignedWithFrom(check, mail);
}

// Whether a field that stands count times is one that no signature making a
// pass covers: each names it in h= fewer times than it stands, so that a
// copy above the signed ones (or the only one) could be anybody's. Only
// when a signature makes a pass.
bool unsignedField(const InlineBuffer<Check*, kCheckedSignatures>& checks, const MailFacts& mail,
                   std::string_view name, std::size_t count) {
    bool passes = false;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const Check& check = *checks[i];
        if (!makesPass(check, mail)) continue;
        passes = true;
        std::size_t named = 0;
        forEachListItem(check.signature.headerNames, [&](std::string_view item) {
            if (equalsIgnoringCase(item, name)) ++named;
        });
        if (named >= count) return false;
    }
    return passes && count > 0;
}

// Finds whether a Reply-To address belongs to another organization than the
// From domain's: one that cannot be shown, or has no organizational
// domain, does; so does a Reply-To with no address read plainly (an
// encoded word, a comment), which a client may still show as one.
class ReplyElsewhere final : public MailboxSink {
public:
    ReplyElsewhere(std::string_view fromOrganization, CharsetConverter& converter)
        : fromOrganization_(fromOrganization), converter_(converter) {}

    void address(std::string_view domain, bool whole) override {
        ShownDomain shown;
        showAddressDomain(domain, whole, converter_, shown);
        const std::string_view organization = shown.known() ? organizationalDomain(shown.text()) : std::string_view();
        found = found || organization.empty() || !sameText(organization, fromOrganization_);
    }

    bool found = false;

private:
    std::string_view fromOrganization_;
    CharsetConverter& converter_;
};

// Whether nothing can be told of the signature for now.
bool isTemporary(Outcome outcome) {
    return outcome == Outcome::kPending || outcome == Outcome::kLookupFailed || outcome == Outcome::kNoHashing;
}

// What the signatures checked here say of the mail.
Verdict verdictOf(const InlineBuffer<Check*, kCheckedSignatures>& checks, const MailFacts& mail) {
    bool alignedPass = false;      // over the whole body
    bool alignedPartPass = false;  // over the start of it
    bool counted = false;          // a signer that is not testing
    bool alignedTemporary = false;
    bool alignedGone = false;   // signatures whose key DNS no longer has
    bool alignedOther = false;  // and the others
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const Check& check = *checks[i];
        // A signer that is testing counts as no signer at all.
        if (check.outcome == Outcome::kTesting) continue;
        counted = true;
        // Only a signature that could make a pass leaves the mail unknown
        // while its key is: another domain's key that fails to come (the
        // sender's own doing, maybe) hides nothing the owner asks.
        const bool aligned = check.domain.known() && alignedWithFrom(check, mail);
        alignedTemporary = alignedTemporary || (aligned && isTemporary(check.outcome));
        (check.outcome == Outcome::kKeyGone ? alignedGone : alignedOther) |= aligned;
        if (check.outcome == Outcome::kPass && aligned) (check.partOfBody ? alignedPartPass : alignedPass) = true;
    }
    if (alignedPass) return Verdict::kPass;
    // What can no longer be checked is not called forged.
    if (alignedTemporary || (alignedGone && !alignedOther)) return Verdict::kUnknown;
    if (mail.policy.request != DmarcRequest::kNone && !alignedPartPass) return Verdict::kFail;
    return counted ? Verdict::kWarn : Verdict::kNone;
}

std::string_view requestText(DmarcRequest request) {
    switch (request) {
        case DmarcRequest::kReject: return "reject";
        case DmarcRequest::kQuarantine: return "quarantine";
        case DmarcRequest::kNone: break;
    }
    return {};
}

void writeLine(const char* source, DkimServices& services, std::uint32_t waitMs, LineWriter& line) {
    if (source == nullptr) {
        line << "[DKIM] ? no source";
        return;
    }
    const MailSource mail(std::string_view(source, std::strlen(source)));
    MailFacts facts;
    OnceOnlyFields onceOnly;
    std::size_t signatures = 0;
    Check checks[kCheckedSignatures];
    InlineBuffer<Check*, kCheckedSignatures> checked;
    for (const SourceField& field : mail.fields()) {
        onceOnly.count(field);
        if (named(field, "from")) facts.sender.addField(field.value());
        if (!named(field, "dkim-signature")) continue;
        if (signatures < kCheckedSignatures) {
            checks[signatures].field = &field;
            checked.push_back(&checks[signatures]);
        }
        ++signatures;
    }
    facts.sender.read(services.converter);
    facts.repeated = onceOnly.repeated();
    const std::int64_t arrival = arrivalOf(mail, services.now);
    for (std::size_t i = 0; i < checked.size(); ++i) checkSignature(*checked[i], arrival);
    const Sender& sender = facts.sender;
    facts.policy = lookUp(checked, policyNamesOf(sender.dnsDomain()), services, waitMs);
    constexpr std::int64_t kDaySeconds = 86400;
    const auto dayOfTime = [](std::int64_t time) {
        return static_cast<Day>(time >= 0 ? time / kDaySeconds : (time + 1) / kDaySeconds - 1);
    };
    const Day today = services.today != 0 ? services.today : dayOfTime(services.now + services.zoneOffset);
    const Day arrivalDay = dayOfTime(arrival + services.zoneOffset);
    if (services.keptKeys != nullptr) {
        for (std::size_t i = 0; i < checked.size(); ++i) offerKeptKeys(*checked[i], *services.keptKeys);
    }
    checkBodies(checked, mail.body(), services.crypto);
    checkHeaders(checked, mail, services.crypto, arrivalDay);
    for (std::size_t i = 0; i < checked.size(); ++i) settleKeys(*checked[i], services.keptKeys, today, arrivalDay);

    SenderNotes notes;
    notes.repeated = facts.repeated;
    notes.request = requestText(facts.policy.request);
    const std::size_t replies = onceOnly.countOf(3);
    static_assert(kOnceOnly[3] == "Reply-To" && kOnceOnly[10] == "Subject");
    if (unsignedField(checked, facts, "reply-to", replies)) {
        ReplyElsewhere elsewhere(sender.organization(), services.converter);
        for (const SourceField& field : mail.fields()) {
            // One with no address to read plainly may still show one.
            if (named(field, "reply-to") && readMailboxes(field.value(), elsewhere).addresses == 0) elsewhere.found = true;
        }
        notes.unsignedReplyTo = elsewhere.found;
    }
    notes.unsignedSubject = unsignedField(checked, facts, "subject", onceOnly.countOf(10));
    // A copy of a field the mail holds once, or a field that could be
    // anybody's, leaves a pass in doubt.
    const bool doubted = !facts.repeated.empty() || notes.unsignedReplyTo || notes.unsignedSubject;
    const Verdict verdict = judgeSender(verdictOf(checked, facts), sender, doubted, services.senders, notes);
    line << "[DKIM] " << verdictText(verdict) << " ";
    writeSubject(line, sender, notes);
    if (signatures == 0) return;
    line << " | ";
    for (std::size_t i = 0; i < checked.size() && i < 3; ++i) {
        if (i > 0) line << ", ";
        writeItem(*checked[i], facts, line);
    }
    if (signatures > 3) line << ", +" << signatures - 3 << " more";
}

}  // namespace

std::size_t writeDkimLine(const char* source, DkimServices& services, std::uint32_t waitMs,
                          char (&line)[kDkimLineSize]) {
    std::size_t length = 0;
    {
        LineWriter writer(line, length);
        writeLine(source, services, waitMs, writer);
    }
    return length;
}
