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
    kBodyChanged,
    kNoMatch,
    kPass,
    kTesting,    // its key says the signer is testing: the mail counts as unsigned by it
    kUnchecked,  // still on its way
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
        case Outcome::kBodyChanged: return {"fail", " (body changed)"};
        case Outcome::kNoMatch: return {"fail", " (signature does not match)"};
        case Outcome::kTesting: return {"neutral", " (testing)"};
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

// The longest name DNS holds.
constexpr std::size_t kLongestName = 253;

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

// The checks that need only the signature and the clock.
void checkSignature(Check& check, std::int64_t now) {
    check.signature = readSignature(check.field->value());
    showDomain(check.signature.domain, check.domain);
    switch (check.signature.fault) {
        case SignatureFault::kBadSignature: check.outcome = Outcome::kBadSignature; return;
        case SignatureFault::kSha1: check.outcome = Outcome::kSha1; return;
        case SignatureFault::kEd25519: check.outcome = Outcome::kEd25519; return;
        case SignatureFault::kNone: break;
    }
    if (check.signature.expires && check.signature.expiry < now) check.outcome = Outcome::kExpired;
}

// The names of the From domain's DMARC records, asked for beside the keys:
// at FROM, and at its organizational domain when that is another; none
// when FROM is no host name.
struct PolicyNames {
    std::string atFrom;
    std::string atOrganization;
};

PolicyNames policyNamesOf(const Sender& sender) {
    PolicyNames names;
    const std::string_view from = sender.domain().text();
    constexpr std::string_view kPrefix = "_dmarc.";
    if (!sender.known() || !isHostName(from) || kPrefix.size() + from.size() > kLongestName) return names;
    names.atFrom.append(kPrefix).append(from);
    const std::string_view organization = sender.organization();
    if (!organization.empty() && organization.size() < from.size()) {
        names.atOrganization.append(kPrefix).append(organization);
    }
    return names;
}

// Reads what a key lookup found for check.
void readKeyAnswer(Check& check, const KeyAnswer& answer, Crypto& crypto) {
    switch (answer.state) {
        case KeyState::kPending: check.outcome = Outcome::kPending; return;
        case KeyState::kFailed: check.outcome = Outcome::kLookupFailed; return;
        case KeyState::kNoKey: check.outcome = Outcome::kNoKey; return;
        case KeyState::kFound: break;
    }
    const KeyRecords none;
    check.key = readKey(answer.records != nullptr ? *answer.records : none, check.signature.domain,
                        check.signature.identityDomain, crypto);
    switch (check.key.verdict) {
        case KeyVerdict::kNoKey: check.outcome = Outcome::kNoKey; break;
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
    std::string names[kCheckedSignatures + 2];
    Check* asking[kCheckedSignatures];
    std::size_t keys = 0;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        Check& check = *checks[i];
        if (check.outcome != Outcome::kUnchecked) continue;
        std::string name = keyNameOf(check.signature);
        // No such name can stand in DNS.
        if (name.size() > kLongestName) {
            check.outcome = Outcome::kNoKey;
            continue;
        }
        names[keys] = std::move(name);
        asking[keys++] = &check;
    }
    std::size_t count = keys;
    if (!policyNames.atFrom.empty()) names[count++] = policyNames.atFrom;
    if (!policyNames.atOrganization.empty()) names[count++] = policyNames.atOrganization;
    if (count == 0) return {};
    KeyAnswer answers[kCheckedSignatures + 2];
    services.keys.lookUp(names, count, waitMs, answers);
    for (std::size_t i = 0; i < keys; ++i) readKeyAnswer(*asking[i], answers[i], services.crypto);
    if (policyNames.atFrom.empty()) return {};
    return discoverDmarcPolicy(answers[keys], policyNames.atOrganization.empty() ? nullptr : &answers[keys + 1]);
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
                // This machine cannot hash: nothing can be told of the mail.
                check.outcome = Outcome::kLookupFailed;
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
                check.outcome = Outcome::kBodyChanged;
            }
            check.partOfBody = check.signature.limited && check.signature.length < length;
        }
    }
}

// Hashes the fields each check's h= names, bottom up, and its own field
// with its b= value left out, and checks the signature with the key.
void checkHeaders(InlineBuffer<Check*, kCheckedSignatures>& checks, const MailSource& source, Crypto& crypto) {
    std::unique_ptr<FieldIndex> index;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        Check& check = *checks[i];
        if (check.outcome != Outcome::kUnchecked) continue;
        const std::unique_ptr<Sha256> hash = crypto.sha256();
        if (hash == nullptr) {
            check.outcome = Outcome::kLookupFailed;
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
        check.outcome = check.key.rsa->verifies(hash->finish(), check.signature.value) ? Outcome::kPass : Outcome::kNoMatch;
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
    if (!alignedWithFrom(check, mail)) line << " (not From)";
    if (check.partOfBody) line << " (part of the body)";
}

std::string_view verdictOf(const InlineBuffer<Check*, kCheckedSignatures>& checks, const MailFacts& mail) {
    if (mail.sender.moreThanOne()) return "FAIL";
    bool alignedPass = false;      // over the whole body
    bool alignedPartPass = false;  // over the start of it
    bool counted = false;          // a signer that is not testing
    bool allTemporary = true;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const Check& check = *checks[i];
        // A signer that is testing counts as no signer at all.
        if (check.outcome == Outcome::kTesting) continue;
        counted = true;
        allTemporary = allTemporary && (check.outcome == Outcome::kPending || check.outcome == Outcome::kLookupFailed);
        if (check.outcome == Outcome::kPass && alignedWithFrom(check, mail)) {
            (check.partOfBody ? alignedPartPass : alignedPass) = true;
        }
    }
    if (alignedPass) return mail.repeated.empty() && !mail.sender.nameClaimed() ? "PASS" : "WARN";
    if (counted && allTemporary) return "?";
    if (mail.policy.request != DmarcRequest::kNone && !alignedPartPass) return "FAIL";
    return counted ? "WARN" : "NONE";
}

// The verdict's subject: the From domain and what stands against the mail.
void writeFrom(const MailFacts& mail, LineWriter& line) {
    mail.sender.write(line);
    if (!mail.repeated.empty()) line << " (more than one " << mail.repeated << ")";
    if (mail.policy.request == DmarcRequest::kReject) line << " (DMARC reject)";
    if (mail.policy.request == DmarcRequest::kQuarantine) line << " (DMARC quarantine)";
    mail.sender.writeNameClaim(line);
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
    facts.sender.read();
    facts.sender.readNameClaim(services.converter);
    facts.repeated = onceOnly.repeated();
    for (std::size_t i = 0; i < checked.size(); ++i) checkSignature(*checked[i], services.now);
    facts.policy = lookUp(checked, policyNamesOf(facts.sender), services, waitMs);
    checkBodies(checked, mail.body(), services.crypto);
    checkHeaders(checked, mail, services.crypto);

    line << "[DKIM] " << verdictOf(checked, facts) << " ";
    writeFrom(facts, line);
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
