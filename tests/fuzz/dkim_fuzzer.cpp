// libFuzzer target for the DKIM checks: the input is a mail's source, its
// signatures checked with the test keys and DMARC records, its display name
// read for what it claims; its first line is also read as a key record, and
// as DMARC records split at '|'. Every canonical form the streaming writers
// give is checked against a plain second reading of the rules; so are the
// policy DMARC discovery finds from those records in each place, the From
// domain and every note after it, what the passing signatures leave
// unsigned, the verdict, and which passes align with the From domain; and
// the line against the bytes it may hold. What follows the source's NUL is
// a file of kept keys: read against a plain reading of its grammar, then
// the mail is checked again with the keys it holds.
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dkim/canonical.h"
#include "dkim/dkim_check.h"
#include "dkim/dmarc_policy.h"
#include "dkim/key_record.h"
#include "dkim/mail_source.h"
#include "keys/kept_keys.h"
#include "dkim_keys.h"
#include "plain_sender.h"
#include "platform_services.h"
#include "text/ascii.h"

namespace {

using plain::check;

// A hash that keeps what it is given.
class Recorder final : public Sha256 {
public:
    std::string bytes;
    void add(const char* data, std::size_t size) override { bytes.append(data, size); }
    Sha256Digest finish() override { return {}; }
};

bool isWsp(char c) { return c == ' ' || c == '\t'; }

// The body's lines, each without its LF and the CR before it.
std::vector<std::string> linesOf(const std::string& body) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < body.size()) {
        std::size_t end = body.find('\n', at);
        const bool ended = end != std::string::npos;
        if (!ended) end = body.size();
        std::string line = body.substr(at, end - at);
        if (ended && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = ended ? end + 1 : body.size();
    }
    return lines;
}

std::string squeezed(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isWsp(text[i])) {
            out += text[i];
        } else if (out.empty() || out.back() != ' ' || !isWsp(text[i - 1])) {
            out += ' ';
        }
    }
    return out;
}

std::string plainBody(const std::string& body, bool relaxed) {
    std::vector<std::string> lines = linesOf(body);
    if (relaxed) {
        for (std::string& line : lines) {
            line = squeezed(line);
            while (!line.empty() && line.back() == ' ') line.pop_back();
        }
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    return out.empty() && !relaxed ? "\r\n" : out;
}

// DMARC discovery read plainly from the rules: each record's tags split at
// ';' and judged one by one, then the records of each name counted. Where
// the rules leave a detail open, each reading of it is tried, and the module
// must give one of their answers: whether tag names and the version are
// case-blind, what makes rua= "a mailto: address", and whether np= still
// applies to a record that stands as p=none for a broken p= or sp=.
enum class PlainRequest { kNone, kQuarantine, kReject };

struct PlainReading {
    bool namesCaseBlind, versionCaseBlind, ruaByScheme, npOnSubstitute;
};

std::string trimmedWsp(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isWsp(text[begin])) ++begin;
    while (end > begin && isWsp(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// A tag as written: its name and value without the blanks around them;
// empty when the piece holds only blanks, broken when it is no tag.
struct PlainTag {
    std::string name, value;
    bool empty = false, broken = false;
};

std::vector<PlainTag> plainTagsOf(const std::string& record) {
    std::vector<PlainTag> tags;
    for (const std::string& raw : splitAt(record, ';')) {
        const std::string piece = trimmedWsp(raw);
        PlainTag tag;
        const std::size_t equals = piece.find('=');
        tag.empty = piece.empty();
        tag.broken = !tag.empty && equals == std::string::npos;
        if (!tag.empty && !tag.broken) {
            tag.name = trimmedWsp(piece.substr(0, equals));
            tag.value = trimmedWsp(piece.substr(equals + 1));
            tag.broken = tag.name.empty() || !isLetter(tag.name[0]);
            for (const char c : tag.name) tag.broken = tag.broken || !(isLetter(c) || isDigit(c) || c == '_');
            for (const char c : tag.value) {
                const auto byte = static_cast<unsigned char>(c);
                tag.broken = tag.broken || !((byte >= 0x21 && byte <= 0x7E && c != ';') || isWsp(c));
            }
        }
        tags.push_back(tag);
    }
    return tags;
}

bool plainRequestOf(const std::string& value, PlainRequest& request) {
    const std::string word = plain::lowered(value);
    request = word == "reject"       ? PlainRequest::kReject
              : word == "quarantine" ? PlainRequest::kQuarantine
                                     : PlainRequest::kNone;
    return word == "reject" || word == "quarantine" || word == "none";
}

// What one TXT record says, read one way.
struct PlainRecord {
    bool dmarc = false;       // it opens with v=DMARC1
    bool stands = false;      // a policy stands: valid p= and sp=, or p=none in their place
    bool substitute = false;  // p=none for a broken p= or sp=, the record asking for reports by mail
    PlainRequest p = PlainRequest::kNone, sp = PlainRequest::kNone, np = PlainRequest::kNone;
    bool hasNp = false, testing = false, strict = false;
};

PlainRecord plainRecord(const std::string& text, const PlainReading& reading) {
    const std::vector<PlainTag> tags = plainTagsOf(text);
    const auto named = [&](const PlainTag& tag, const char* name) {
        return !tag.empty && !tag.broken && (reading.namesCaseBlind ? plain::lowered(tag.name) : tag.name) == name;
    };
    PlainRecord record;
    const std::string version = reading.versionCaseBlind ? plain::lowered(tags[0].value) : tags[0].value;
    record.dmarc = named(tags[0], "v") && version == (reading.versionCaseBlind ? "dmarc1" : "DMARC1");
    if (!record.dmarc) return record;
    // The first tag of each name after v, in any order.
    std::map<std::string, const PlainTag*> first;
    for (std::size_t i = 1; i < tags.size(); ++i) {
        if (tags[i].empty) continue;
        for (const char* name : {"p", "sp", "np", "t", "adkim", "rua"}) {
            if (named(tags[i], name) && first.count(name) == 0) first[name] = &tags[i];
        }
    }
    const bool pValid = first.count("p") > 0 && plainRequestOf(first["p"]->value, record.p);
    const bool spValid = first.count("sp") == 0 || plainRequestOf(first["sp"]->value, record.sp);
    if (first.count("sp") == 0) record.sp = record.p;
    record.hasNp = first.count("np") > 0 && plainRequestOf(first["np"]->value, record.np);
    record.testing = first.count("t") > 0 && plain::lowered(first["t"]->value) == "y";
    record.strict = first.count("adkim") > 0 && plain::lowered(first["adkim"]->value) == "s";
    bool reports = false;
    if (first.count("rua") > 0) {
        for (const std::string& uri : splitAt(first["rua"]->value, ',')) {
            const std::string target = plain::lowered(trimmedWsp(uri));
            if (target.rfind("mailto:", 0) != 0) continue;
            const std::string address = target.substr(7, target.find('!') - 7);
            const std::size_t at = address.find('@');
            reports = reports || reading.ruaByScheme || (at != std::string::npos && at > 0 && at + 1 < address.size());
        }
    }
    record.stands = (pValid && spValid) || reports;
    record.substitute = !(pValid && spValid) && reports;
    if (record.substitute) record.p = record.sp = PlainRequest::kNone;
    return record;
}

struct PlainPolicy {
    bool stands = false;  // some record gave it; else none, and no alignment asked
    PlainRequest request = PlainRequest::kNone;
    bool strict = false;
};

// The DMARC records of each answer, read each way once: the discovery is
// tried under every reading for every arrangement of the same answers.
using RecordsRead = std::map<std::pair<const KeyAnswer*, int>, std::vector<PlainRecord>>;

const std::vector<PlainRecord>& dmarcRecordsOf(const KeyAnswer& answer, const PlainReading& reading, RecordsRead& read) {
    const int way = (reading.namesCaseBlind ? 1 : 0) | (reading.versionCaseBlind ? 2 : 0) | (reading.ruaByScheme ? 4 : 0);
    const auto known = read.find({&answer, way});
    if (known != read.end()) return known->second;
    std::vector<PlainRecord>& records = read[{&answer, way}];
    if (answer.state != KeyState::kFound || answer.records == nullptr) return records;
    for (const std::string& text : *answer.records) {
        const PlainRecord record = plainRecord(text, reading);
        if (record.dmarc) records.push_back(record);
    }
    return records;
}

// The policy from the answers at _dmarc.FROM, at _dmarc.ORG and at FROM
// itself (each null when it was not asked): FROM's one record, else, when
// FROM has none or several (but has answered), ORG's one record, with its
// sp=, or np= when FROM itself does not exist; a testing record one step
// milder.
PlainPolicy plainDiscover(const KeyAnswer* atFrom, const KeyAnswer* atOrganization, const KeyAnswer* fromItself,
                          const PlainReading& reading, RecordsRead& read) {
    PlainRecord record;
    bool fromOrganization = false;
    if (atFrom != nullptr) {
        if (atFrom->state == KeyState::kPending || atFrom->state == KeyState::kFailed) return {};
        const std::vector<PlainRecord>& records = dmarcRecordsOf(*atFrom, reading, read);
        if (records.size() == 1) record = records[0];
    }
    if (!record.dmarc) {
        if (atOrganization == nullptr) return {};
        const std::vector<PlainRecord>& records = dmarcRecordsOf(*atOrganization, reading, read);
        if (records.size() != 1) return {};
        record = records[0];
        fromOrganization = true;
    }
    if (!record.stands) return {};
    PlainPolicy policy{true, fromOrganization ? record.sp : record.p, record.strict};
    const bool gone = fromItself != nullptr && fromItself->state == KeyState::kNoName;
    if (fromOrganization && gone && record.hasNp && (!record.substitute || reading.npOnSubstitute)) {
        policy.request = record.np;
    }
    if (record.testing && policy.request == PlainRequest::kReject) {
        policy.request = PlainRequest::kQuarantine;
    } else if (record.testing) {
        policy.request = PlainRequest::kNone;
    }
    return policy;
}

// The policy under every reading of the open details.
std::vector<PlainPolicy> plainPolicies(const KeyAnswer* atFrom, const KeyAnswer* atOrganization, const KeyAnswer* fromItself,
                                       RecordsRead& read) {
    std::vector<PlainPolicy> policies;
    for (int bits = 0; bits < 16; ++bits) {
        const PlainReading reading{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
        policies.push_back(plainDiscover(atFrom, atOrganization, fromItself, reading, read));
    }
    return policies;
}

bool sameRequest(DmarcRequest request, PlainRequest plainRequest) {
    return (request == DmarcRequest::kReject) == (plainRequest == PlainRequest::kReject) &&
           (request == DmarcRequest::kQuarantine) == (plainRequest == PlainRequest::kQuarantine);
}

// Whether the module's policy is one a plain reading gives: its request,
// and its alignment where a policy stands.
bool plainAllows(const DmarcPolicy& policy, const KeyAnswer* atFrom, const KeyAnswer* atOrganization,
                 const KeyAnswer* fromItself, RecordsRead& read) {
    for (int bits = 0; bits < 16; ++bits) {
        const PlainReading reading{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
        const PlainPolicy plainPolicy = plainDiscover(atFrom, atOrganization, fromItself, reading, read);
        const bool sameStrict = !plainPolicy.stands || policy.strictDkim == plainPolicy.strict;
        if (sameRequest(policy.request, plainPolicy.request) && sameStrict) return true;
    }
    return false;
}

// An answer as a failure report names it.
std::string answerName(const KeyAnswer* answer) {
    if (answer == nullptr) return "not asked";
    if (answer->state == KeyState::kPending) return "pending";
    if (answer->state == KeyState::kFailed) return "failed";
    if (answer->state == KeyState::kNoKey) return "no record";
    if (answer->state == KeyState::kNoName) return "no such name";
    return std::to_string(answer->records == nullptr ? 0 : answer->records->size()) + " records";
}

// A name DNS can be asked for: labels of 1 to 63 bytes from '!' to '~' but
// a backslash, at most 253 bytes in all.
bool plainDnsName(const std::string& name) {
    if (name.empty() || name.size() > 253) return false;
    for (const std::string& label : splitAt(name, '.')) {
        if (label.empty() || label.size() > 63) return false;
        for (const char c : label) {
            if (c < '!' || c > '~' || c == '\\') return false;
        }
    }
    return true;
}

// The fields that a mail holds once, in the order the note names the first
// that stands twice.
const char* const kOnceOnly[] = {"Date", "Sender", "Reply-To", "To", "Cc", "Bcc", "Message-ID", "In-Reply-To",
                                 "References", "Subject", "MIME-Version", "Content-Type", "Content-Transfer-Encoding"};

// A signature's tag value, its folding and the blanks around it gone; ""
// when it has none.
std::string signatureTag(const SourceField& field, const std::string& name) {
    for (const std::string& piece : splitAt(std::string(field.value()), ';')) {
        std::string tag;
        for (const char c : piece) {
            if (!isWsp(c) && c != '\r' && c != '\n') tag += c;
        }
        if (tag.compare(0, name.size() + 1, name + "=") == 0) return tag.substr(name.size() + 1);
    }
    return "";
}

// How many times a signature's h= names a field.
std::size_t timesSigned(const SourceField& signature, const char* name) {
    std::size_t times = 0;
    for (const std::string& signedName : splitAt(signatureTag(signature, "h"), ':')) {
        times += equalsIgnoringCase(signedName, name) ? 1 : 0;
    }
    return times;
}

// Whether a note must stand, must not, or may.
enum class Must { kNot, kYes, kEither };

// Checks what the line says of the sender against the plain readings: the
// From domain and every note after it in its order, the claim of its
// display name, the notes of what the passing signatures leave unsigned,
// the DMARC request by the plain discovery over the same keys, the verdict
// those rules allow, and " (not From)" on each pass.
void checkSender(const MailSource& mail, const std::string& line, KeySource& keys) {
    // Each field's value as the header view's plain reading has it: its
    // lines joined, the breaks between them gone.
    const auto valuesOf = [&](const char* name) {
        std::vector<std::string> values;
        for (const SourceField& field : mail.fields()) {
            if (!equalsIgnoringCase(field.name, name)) continue;
            std::string value;
            for (const char c : field.value()) {
                if (c != '\r' && c != '\n') value += c;
            }
            values.push_back(value);
        }
        return values;
    };
    const plain::PlainSender sender = plain::plainSender(valuesOf("from"));
    const std::string& from = sender.from;
    const std::string fromOrganization = sender.known() ? plain::plainOrganizational(from) : "";
    // On a failure, what the plain readings found, beside the line.
    const auto check = [&](bool condition, const char* what) {
        if (!condition) {
            std::fprintf(stderr, "line: %s\nFrom: %s\nclaim: %s\nfailed: %s\n", line.c_str(), sender.subject().c_str(),
                         sender.claim.c_str(), what);
        }
        plain::check(condition);
    };
    const std::size_t verdictEnd = line.find(' ', 7);
    const std::string verdict = line.substr(7, verdictEnd - 7);
    const std::size_t bar = line.find(" | ");
    const std::string subject =
        line.substr(verdictEnd + 1, bar == std::string::npos ? std::string::npos : bar - verdictEnd - 1);
    std::vector<std::string> items;
    if (bar != std::string::npos) {
        for (std::size_t at = bar + 3;;) {
            const std::size_t end = std::min(line.find(", ", at), line.size());
            items.push_back(line.substr(at, end - at));
            if (end == line.size()) break;
            at = end + 2;
        }
    }
    const std::size_t shown = !items.empty() && items.back()[0] == '+' ? items.size() - 1 : items.size();

    // The DMARC request, the plain discovery asking the same keys.
    std::vector<PlainPolicy> policies;
    if (sender.known()) {
        std::vector<std::string> names;
        if (plainDnsName("_dmarc." + from)) names.push_back("_dmarc." + from);
        const bool below = !fromOrganization.empty() && fromOrganization != from;
        const bool askOrganization = below && plainDnsName("_dmarc." + fromOrganization);
        if (askOrganization) names.push_back("_dmarc." + fromOrganization);
        if (askOrganization && plainDnsName(from)) names.push_back(from);
        std::vector<KeyAnswer> answers(names.size());
        if (!names.empty()) keys.lookUp(names.data(), names.size(), 0, answers.data());
        const auto answerAt = [&](const std::string& name) -> const KeyAnswer* {
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (names[i] == name) return &answers[i];
            }
            return nullptr;
        };
        RecordsRead read;
        const KeyAnswer* atOrganization = askOrganization ? answerAt("_dmarc." + fromOrganization) : nullptr;
        // A From domain DNS cannot hold does not exist.
        static const KeyAnswer kNoSuchName{KeyState::kNoName, nullptr};
        const KeyAnswer* itself = !askOrganization ? nullptr : plainDnsName(from) ? answerAt(from) : &kNoSuchName;
        policies = plainPolicies(answerAt("_dmarc." + from), atOrganization, itself, read);
    } else if (!sender.mailbox.addresses.empty()) {
        // A domain that cannot be shown is still asked under its own name:
        // any request may come.
        for (const PlainRequest request : {PlainRequest::kNone, PlainRequest::kQuarantine, PlainRequest::kReject}) {
            policies.push_back({true, request, false});
        }
    } else {
        policies.push_back({});
    }
    std::set<std::string> dmarcNotes;
    std::set<bool> strict;
    for (const PlainPolicy& policy : policies) {
        dmarcNotes.insert(policy.request == PlainRequest::kReject       ? " (DMARC reject)"
                          : policy.request == PlainRequest::kQuarantine ? " (DMARC quarantine)"
                                                                        : "");
        strict.insert(policy.stands && policy.strict);
    }

    // Each pass item shown, against its signature; which are passing,
    // aligned and whole-body; which checked signatures are not shown.
    std::vector<const SourceField*> signatures;
    for (const SourceField& field : mail.fields()) {
        if (equalsIgnoringCase(field.name, "dkim-signature")) signatures.push_back(&field);
    }
    const std::size_t checked = std::min(signatures.size(), kCheckedSignatures);
    check(shown <= checked, "an item per checked signature");
    std::vector<std::size_t> passing;
    for (std::size_t k = 0; k < shown; ++k) {
        const std::string& item = items[k];
        if (item.rfind("pass ", 0) != 0) continue;
        const std::string domain = item.substr(5, item.find(' ', 5) - 5);
        check(plain::plainShownDomain(signatureTag(*signatures[k], "d")) == domain, "the item's signer is its signature's");
        const bool notFrom = item.find(" (not From)") != std::string::npos;
        if (strict.size() == 1) {
            const bool aligned = *strict.begin() ? sender.known() && domain == from : plain::plainAligned(domain, from);
            check(notFrom == !aligned, "(not From) where the signer does not align");
        }
        if (!notFrom && item.find(" (part of the body)") == std::string::npos) passing.push_back(k);
    }
    // A field no passing aligned signature covers: the note must stand when
    // a pass is shown and neither it nor a signature not shown covers it;
    // it may stand only when some pass may stand, none shown covering it.
    const auto unsignedNote = [&](const char* name, bool applies) {
        const std::size_t fields = valuesOf(name).size();
        if (!applies || fields == 0 || (passing.empty() && checked == shown)) return Must::kNot;
        for (const std::size_t k : passing) {
            if (timesSigned(*signatures[k], name) >= fields) return Must::kNot;
        }
        for (std::size_t k = shown; k < checked; ++k) {
            if (timesSigned(*signatures[k], name) >= fields) return Must::kEither;
        }
        return passing.empty() ? Must::kEither : Must::kYes;
    };
    bool replyElsewhere = false;
    for (const std::string& value : valuesOf("reply-to")) {
        // One with no address to read may still show one.
        if (plain::plainMailbox(value).addresses.empty()) replyElsewhere = true;
        for (const plain::PlainAddress& address : plain::plainMailbox(value).addresses) {
            const std::string shownReply = plain::plainShownOf(address);
            const std::string organization = shownReply == "?" ? "" : plain::plainOrganizational(shownReply);
            replyElsewhere = replyElsewhere || organization.empty() || organization != fromOrganization;
        }
    }
    const Must replyTo = unsignedNote("reply-to", replyElsewhere);
    const Must subjectNote = unsignedNote("subject", true);
    std::string once;
    for (const char* name : kOnceOnly) {
        if (once.empty() && valuesOf(name).size() > 1) once = std::string(" (more than one ") + name + ")";
    }
    const std::string claimed = sender.claimIn(line.substr(0, line.find(" | ")));
    const std::string claim = claimed.empty() ? "" : " (name says " + claimed + ")";

    // The notes in their order.
    std::set<std::string> allowed;
    for (const bool reply : {false, true}) {
        for (const bool subjectUnsigned : {false, true}) {
            if ((replyTo == Must::kNot && reply) || (replyTo == Must::kYes && !reply)) continue;
            if ((subjectNote == Must::kNot && subjectUnsigned) || (subjectNote == Must::kYes && !subjectUnsigned)) continue;
            for (const std::string& dmarc : dmarcNotes) {
                allowed.insert(sender.subject() + once + (reply ? " (unsigned Reply-To)" : "") +
                               (subjectUnsigned ? " (unsigned Subject)" : "") + dmarc + claim);
            }
        }
    }
    if (allowed.count(subject) == 0) {
        for (const std::string& notes : allowed) std::fprintf(stderr, "allowed: %s\n", notes.c_str());
    }
    check(allowed.count(subject) > 0, "the From domain and its notes");
    if (sender.many()) check(verdict == "FAIL", "FAIL for more than one From");
    if (verdict == "PASS") {
        check(sender.known() && !sender.mailbox.unusual && claim.empty() && once.empty(), "PASS for a plain From alone");
        check(subject.find(" (unsigned ") == std::string::npos, "PASS with nothing unsigned");
        check(!passing.empty() || checked > shown, "PASS by a passing aligned signature");
    }
}

std::string plainField(const std::string& field, bool relaxed) {
    if (!relaxed) {
        std::string out;
        for (std::size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\n' && (i == 0 || field[i - 1] != '\r')) out += '\r';
            out += field[i];
        }
        return out + "\r\n";
    }
    const std::size_t colon = field.find(':');
    std::string name;
    for (const char c : field.substr(0, colon)) {
        if (!isWsp(c) && c != '\r' && c != '\n') name += lowerAscii(c);
    }
    if (colon == std::string::npos) return name + "\r\n";
    std::string value;
    const std::string rest = field.substr(colon + 1);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\n' || (rest[i] == '\r' && i + 1 < rest.size() && rest[i + 1] == '\n')) continue;
        value += rest[i];
    }
    value = squeezed(value);
    if (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (!value.empty() && value.back() == ' ') value.pop_back();
    return name + ":" + value + "\r\n";
}

// The kept keys' file read plainly, from its grammar: the bytes it is
// written back as, or "" when it is no keys file. Lines of one name and
// key (its first p= tag) are one: the earliest FIRST, the latest LAST, the
// record of the newest line (of one LAST, the greatest in byte order);
// a name keeps its 16 newest keys (of one LAST, the smallest lines first).
std::string plainKeysFile(std::string file, Day today) {
    if (file.rfind("\xEF\xBB\xBF", 0) == 0) file.erase(0, 3);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < file.size();) {
        const std::size_t end = std::min(file.find('\n', at), file.size());
        std::string line = file.substr(at, end - at);
        if (line.size() > KeptKeys::kMaxLineLength || line.find('\0') != std::string::npos) return "";
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.pop_back();
        if (!line.empty() && !(line[0] == '#' && !lines.empty())) lines.push_back(line);
        at = end + 1;
    }
    const std::string head = "# Quillmark keys 1 since ";
    Day since = 0;
    if (lines.empty() || lines[0].rfind(head, 0) != 0 || !readDate(lines[0].substr(head.size()), since)) return "";
    struct Line {
        std::string name, key, record;
        Day first, last;
        std::string text() const {
            char dates[2 * kDateLength + 3] = " ";
            writeDate(first, dates + 1);
            dates[kDateLength + 1] = ' ';
            writeDate(last, dates + kDateLength + 2);
            dates[2 * kDateLength + 2] = ' ';
            return name + std::string(dates, sizeof dates) + record;
        }
    };
    std::map<std::pair<std::string, std::string>, Line> keys;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitAt(lines[i], ' ');
        if (fields.size() != 4) return "";
        Line line{fields[0], "", fields[3], 0, 0};
        const std::string& name = line.name;
        const std::size_t domainKey = name.find("._domainkey.");
        bool nameOk = name.size() <= 253 && domainKey != std::string::npos && domainKey > 0 &&
                      domainKey + 12 < name.size() && name.front() != '.' && name.back() != '.' &&
                      name.find("..") == std::string::npos;
        for (const std::string& label : splitAt(name, '.')) nameOk = nameOk && label.size() <= 63;
        for (const char c : name) nameOk = nameOk && (std::islower(static_cast<unsigned char>(c)) ||
                                                      std::isdigit(static_cast<unsigned char>(c)) || std::strchr("-_.", c));
        for (const std::string& tag : splitAt(line.record, ';')) {
            if (tag.rfind("p=", 0) == 0) {
                line.key = tag.substr(2);
                break;
            }
        }
        bool recordOk = !line.key.empty() && line.record.size() <= KeptKeys::kLongestRecord;
        for (const char c : line.record) recordOk = recordOk && c >= '!' && c <= '~';
        if (!nameOk || !recordOk || !readDate(fields[1], line.first) || !readDate(fields[2], line.last) ||
            line.first > line.last) {
            return "";
        }
        line.first = std::min(line.first, today);
        line.last = std::min(line.last, today);
        const auto [at, added] = keys.emplace(std::make_pair(line.name, line.key), line);
        Line& kept = at->second;
        if (added) continue;
        const Day first = std::min(kept.first, line.first);
        if (std::make_pair(line.last, line.text()) > std::make_pair(kept.last, kept.text())) kept = line;
        kept.first = first;
    }
    std::map<std::string, std::vector<Line>> byName;
    for (const auto& [nameAndKey, line] : keys) byName[line.name].push_back(line);
    std::vector<std::string> written;
    for (auto& [name, ofName] : byName) {
        std::sort(ofName.begin(), ofName.end(), [](const Line& a, const Line& b) {
            return a.last != b.last ? a.last > b.last : a.text() < b.text();
        });
        for (std::size_t k = 0; k < ofName.size() && k < KeptKeys::kMaxKeysAName; ++k) written.push_back(ofName[k].text());
    }
    std::sort(written.begin(), written.end());
    char date[kDateLength];
    std::string out = head + std::string(date, writeDate(std::min(since, today), date)) + "\n";
    for (const std::string& line : written) out += line + "\n";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TestKeys keys;
    static PlatformCrypto crypto;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string source = input.substr(0, input.find('\0'));

    // The canonical forms, against the plain reading.
    const MailSource mail(source);
    for (const bool relaxed : {false, true}) {
        Recorder recorded;
        HashFeed feed;
        feed.feed(recorded);
        feedBody(mail.body(), relaxed, feed);
        check(feed.finish() == recorded.bytes.size());
        check(recorded.bytes == plainBody(std::string(mail.body()), relaxed));
        for (const SourceField& field : mail.fields()) {
            Recorder fieldBytes;
            HashFeed fieldFeed;
            fieldFeed.feed(fieldBytes);
            FieldFeed writer(relaxed, fieldFeed);
            writer.add(field.text);
            writer.end(true);
            fieldFeed.finish();
            check(fieldBytes.bytes == plainField(std::string(field.text), relaxed));
        }
    }

    // The first line, read as a key record, reads safely.
    const std::string firstLine = input.substr(0, input.find('\n'));
    readKey(KeyRecords{firstLine}, "example.com", "example.com", crypto);
    // And as DMARC records, split at '|', in each place discovery reads
    // them, beside each other answer a lookup may give: the module's policy
    // is the plain discovery's.
    const std::vector<std::string> parts = splitAt(firstLine, '|');
    const auto found = [](const KeyRecords& records) {
        return KeyAnswer{KeyState::kFound, std::make_shared<KeyRecords>(records)};
    };
    const KeyAnswer noKey{KeyState::kNoKey, nullptr}, noName{KeyState::kNoName, nullptr};
    const KeyAnswer failed{KeyState::kFailed, nullptr}, pending{KeyState::kPending, nullptr};
    const KeyAnswer all = found(parts), firstPart = found({parts.front()}), lastPart = found({parts.back()});
    const KeyAnswer whole = found({firstLine});
    const std::vector<const KeyAnswer*> atFromAnswers{nullptr, &noKey, &noName, &failed, &pending, &all, &firstPart};
    const std::vector<const KeyAnswer*> atOrganizationAnswers{nullptr, &noKey, &noName, &failed, &all, &lastPart, &whole};
    const std::vector<const KeyAnswer*> fromItselfAnswers{nullptr, &noName, &noKey, &failed, &pending, &whole};
    RecordsRead read;
    for (const KeyAnswer* atFrom : atFromAnswers) {
        for (const KeyAnswer* atOrganization : atOrganizationAnswers) {
            for (const KeyAnswer* fromItself : fromItselfAnswers) {
                const DmarcPolicy policy = discoverDmarcPolicy(atFrom, atOrganization, fromItself);
                if (plainAllows(policy, atFrom, atOrganization, fromItself, read)) continue;
                std::fprintf(stderr, "records: %s\nat FROM: %s\nat ORG: %s\nFROM itself: %s\npolicy: %d%s\n",
                             firstLine.c_str(), answerName(atFrom).c_str(), answerName(atOrganization).c_str(),
                             answerName(fromItself).c_str(), static_cast<int>(policy.request),
                             policy.strictDkim ? " strict" : "");
                std::abort();
            }
        }
    }

    // What one run asks must not stay: a run that keeps memory is checked
    // for leaks, which costs a hundred runs.
    keys.asked.clear();
    static PlatformConverter converter;
    DkimServices services{keys, crypto, converter, static_cast<std::int64_t>(std::time(nullptr))};
    char line[kDkimLineSize];
    const std::string text(line, writeDkimLine(source.c_str(), services, 0, line));
    check(text.rfind("[DKIM] ", 0) == 0);
    // Nothing the mail or a key says reaches the line unchecked.
    for (const char c : text) check(isLetter(c) || isDigit(c) || (c != '\0' && std::strchr("[]?|,+().-_ ", c)));
    if (text != "[DKIM] ? no source") checkSender(mail, text, keys);
    keys.asked.clear();
    check(text.find(" (kept key)") == std::string::npos && text.find(" (key changed)") == std::string::npos);

    // The kept keys' file, read plainly and by the module.
    const std::size_t nul = input.find('\0');
    const std::string keysFile = nul == std::string::npos ? "" : input.substr(nul + 1);
    const Day today = static_cast<Day>(services.now / 86400);
    KeptKeys kept(today);
    const bool keysRead = kept.read(keysFile, today);
    const std::string plainKept = plainKeysFile(keysFile, today);
    if (keysRead != !plainKept.empty() || (keysRead && kept.write() != plainKept)) {
        std::fprintf(stderr, "keys read: %d\n%s\nplainly:\n%s\n", keysRead, kept.write().c_str(), plainKept.c_str());
        std::abort();
    }
    if (!keysRead) return 0;
    // With them, and DNS that has dropped the main test key, each item of a
    // kept key names a key the file holds, never one DNS revoked; the line
    // stays within its bytes and its rules.
    static TestKeys dropped = [] {
        TestKeys keys;
        keys.records.erase("s2048._domainkey.example.com");
        return keys;
    }();
    DkimServices keptServices{dropped, crypto, converter, services.now};
    keptServices.keptKeys = &kept;
    const std::string withKept(line, writeDkimLine(source.c_str(), keptServices, 0, line));
    for (const char c : withKept) check(isLetter(c) || isDigit(c) || (c != '\0' && std::strchr("[]?|,+().-_ ", c)));
    if (withKept != "[DKIM] ? no source") checkSender(mail, withKept, dropped);
    dropped.asked.clear();
    const std::size_t bar = withKept.find(" | ");
    const std::vector<std::string> items = bar == std::string::npos ? std::vector<std::string>{}
                                                                     : splitAt(withKept.substr(bar + 3), ',');
    std::size_t k = 0;
    for (const SourceField& field : mail.fields()) {
        if (!equalsIgnoringCase(field.name, "dkim-signature")) continue;
        if (k == items.size()) break;
        if (items[k++].find(" (kept key)") == std::string::npos) continue;
        std::string name = signatureTag(field, "s") + "._domainkey." + signatureTag(field, "d");
        for (char& c : name) c = lowerAscii(c);
        check(plainKept.find("\n" + name + " ") != std::string::npos);  // a kept key comes from the file
        check(name != "revoked._domainkey.example.com");  // a revoked key overrules the kept ones
    }
    return 0;
}
