#include "dkim/dmarc_policy.h"

#include <string_view>

#include "dkim/tag_list.h"
#include "domains/public_suffixes.h"
#include "text/ascii.h"

namespace {

// Reads a request's value: none, quarantine or reject, case-blind.
bool readRequest(std::string_view value, DmarcRequest& request) {
    if (equalsIgnoringCase(value, "none")) {
        request = DmarcRequest::kNone;
    } else if (equalsIgnoringCase(value, "quarantine")) {
        request = DmarcRequest::kQuarantine;
    } else if (equalsIgnoringCase(value, "reject")) {
        request = DmarcRequest::kReject;
    } else {
        return false;
    }
    return true;
}

// Whether a rua= value, a list of URIs between commas, holds a mailto: one.
bool reportsByMail(std::string_view uris) {
    for (std::size_t at = 0; at <= uris.size();) {
        std::size_t end = uris.find(',', at);
        if (end == std::string_view::npos) end = uris.size();
        std::string_view uri = uris.substr(at, end - at);
        while (!uri.empty() && isBlankOrBreak(uri.front())) uri.remove_prefix(1);
        constexpr std::string_view kMailto = "mailto:";
        if (uri.size() > kMailto.size() && equalsIgnoringCase(uri.substr(0, kMailto.size()), kMailto) &&
            uri.find('@', kMailto.size()) != std::string_view::npos) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

// Whether only whitespace is found from first up to last: no tag, not even
// one that breaks the grammar and so is no tag of the list.
bool nothingBetween(const char* first, const char* last) {
    for (; first < last; ++first) {
        if (!isBlankOrBreak(*first)) return false;
    }
    return true;
}

// Whether record begins with the tag v=DMARC1.
bool isDmarcRecord(std::string_view record, const TagList& tags) {
    return tags.size() > 0 && sameText(tags[0].name, "v") && sameText(tags[0].value, "DMARC1") &&
           nothingBetween(record.data(), tags[0].name.data());
}

enum class Found { kNone, kOne, kSeveral, kNoPolicy };

// The one DMARC record among answer's; kNone when there is none to be had
// here (no record, or none that is DMARC's), kSeveral when more than one
// stands, kNoPolicy when the lookup did not end well.
Found findRecord(const KeyAnswer& answer, const std::string*& record) {
    if (answer.state == KeyState::kNoKey || answer.state == KeyState::kNoName) return Found::kNone;
    if (answer.state != KeyState::kFound || answer.records == nullptr) return Found::kNoPolicy;
    record = nullptr;
    for (const std::string& text : *answer.records) {
        if (!isDmarcRecord(text, TagList(text))) continue;
        if (record != nullptr) return Found::kSeveral;
        record = &text;
    }
    return record != nullptr ? Found::kOne : Found::kNone;
}

// Testing: the owner is trying the policy out, and asks a step less.
DmarcRequest lowered(DmarcRequest request) {
    return request == DmarcRequest::kReject ? DmarcRequest::kQuarantine : DmarcRequest::kNone;
}

// The policy of a record, from ORG or not, for a From domain that does not
// exist (fromMissing) or may.
DmarcPolicy readPolicy(const std::string& record, bool fromOrganization, bool fromMissing) {
    const TagList tags(record);
    DmarcPolicy policy;
    const Tag* strictness = tags.find("adkim");
    policy.strictDkim = strictness != nullptr && equalsIgnoringCase(strictness->value, "s");
    const Tag* p = tags.find("p");
    const Tag* sp = tags.find("sp");
    DmarcRequest request = DmarcRequest::kNone;
    DmarcRequest subdomainRequest = DmarcRequest::kNone;
    const bool sound =
        p != nullptr && readRequest(p->value, request) && (sp == nullptr || readRequest(sp->value, subdomainRequest));
    if (!sound) {
        const Tag* rua = tags.find("rua");
        if (rua != nullptr && reportsByMail(rua->value)) return {DmarcRequest::kNone, policy.strictDkim};
        return {};
    }
    policy.request = fromOrganization && sp != nullptr ? subdomainRequest : request;
    const Tag* np = tags.find("np");
    DmarcRequest missingRequest = DmarcRequest::kNone;
    if (fromOrganization && fromMissing && np != nullptr && readRequest(np->value, missingRequest)) {
        policy.request = missingRequest;
    }
    const Tag* testing = tags.find("t");
    if (testing != nullptr && equalsIgnoringCase(testing->value, "y")) policy.request = lowered(policy.request);
    return policy;
}

}  // namespace

PolicyNames policyNamesOf(std::string_view from) {
    constexpr std::string_view kPrefix = "_dmarc.";
    const auto nameAt = [&](std::string_view domain) {
        std::string name;
        if (kPrefix.size() + domain.size() <= kLongestDnsName && isDnsName(domain)) name.append(kPrefix).append(domain);
        return name;
    };
    PolicyNames names;
    names.atFrom = nameAt(from);
    const std::string_view organization = organizationalDomain(from);
    if (!organization.empty() && organization.size() < from.size()) names.atOrganization = nameAt(organization);
    if (!names.atOrganization.empty()) {
        if (isDnsName(from)) {
            names.fromItself = from;
        } else {
            names.fromCannotExist = true;
        }
    }
    return names;
}

DmarcPolicy discoverDmarcPolicy(const KeyAnswer* atFrom, const KeyAnswer* atOrganization,
                                const KeyAnswer* fromItself) {
    const std::string* record = nullptr;
    switch (atFrom != nullptr ? findRecord(*atFrom, record) : Found::kNone) {
        case Found::kOne: return readPolicy(*record, false, false);
        case Found::kNoPolicy: return {};
        case Found::kSeveral:
        case Found::kNone: break;
    }
    if (atOrganization == nullptr || findRecord(*atOrganization, record) != Found::kOne) return {};
    const bool fromMissing = fromItself != nullptr && fromItself->state == KeyState::kNoName;
    return readPolicy(*record, true, fromMissing);
}
