#include "dkim/key_record.h"

#include "dkim/signature.h"
#include "dkim/tag_list.h"
#include "text/ascii.h"
#include "text/base64.h"

namespace {

// DER longer than this holds no key worth reading: a 16,384-bit key takes
// about half of it.
constexpr std::size_t kLongestKeyInfo = 4096;
constexpr std::size_t kLeastBits = 1024;
constexpr std::size_t kMostBits = 4096;

KeyVerdict judge(const TagList& tags, std::string_view domain, std::string_view identityDomain, Crypto& crypto,
                 Key& key) {
    const Tag& p = *tags.find("p");
    if (p.value.empty()) return KeyVerdict::kRevoked;
    const Tag* version = tags.find("v");
    if (version != nullptr && version != &tags[0]) return KeyVerdict::kBadKey;
    const Tag* type = tags.find("k");
    if (type != nullptr && !sameText(type->value, "rsa")) return KeyVerdict::kBadKey;
    const Tag* hashes = tags.find("h");
    if (hashes != nullptr && !listHolds(hashes->value, "sha256")) return KeyVerdict::kBadKey;
    const Tag* services = tags.find("s");
    if (services != nullptr && !listHolds(services->value, "email") && !listHolds(services->value, "*")) {
        return KeyVerdict::kBadKey;
    }
    const Tag* flags = tags.find("t");
    if (flags != nullptr && listHolds(flags->value, "s") && !equalsIgnoringCase(identityDomain, domain)) {
        return KeyVerdict::kBadKey;
    }
    key.testing = flags != nullptr && listHolds(flags->value, "y");
    std::string info;
    if (p.value.size() > 2 * kLongestKeyInfo || !appendBase64(p.value, info, Base64Spaces::kFolding) ||
        info.size() > kLongestKeyInfo) {
        return KeyVerdict::kBadKey;
    }
    key.rsa = crypto.rsaKey(info);
    if (key.rsa == nullptr || key.rsa->bits() > kMostBits) return KeyVerdict::kBadKey;
    if (key.rsa->bits() < kLeastBits) return KeyVerdict::kWeakKey;
    return KeyVerdict::kUsable;
}

}  // namespace

Key readKey(const KeyRecords& records, std::string_view domain, std::string_view identityDomain, Crypto& crypto) {
    Key key;
    for (const std::string& record : records) {
        const TagList tags(record);
        if (!tags.valid() || tags.find("p") == nullptr) continue;
        // A record of another version is no key record of ours: the next one may be.
        const Tag* version = tags.find("v");
        if (version != nullptr && !sameText(version->value, "DKIM1")) continue;
        key.record = record;
        key.verdict = judge(tags, domain, identityDomain, crypto, key);
        if (key.verdict != KeyVerdict::kUsable) key.rsa.reset();
        return key;
    }
    return key;
}
