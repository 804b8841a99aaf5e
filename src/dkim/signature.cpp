#include "dkim/signature.h"

#include "dkim/tag_list.h"
#include "domains/public_suffixes.h"
#include "text/ascii.h"
#include "text/base64.h"

namespace {

// Reads a number of 1 to maxDigits digits; the largest number there is for
// one too large for 64 bits. False when it is empty, too long or not digits.
bool readNumber(std::string_view text, std::size_t maxDigits, std::uint64_t& number) {
    if (text.empty() || text.size() > maxDigits) return false;
    number = 0;
    for (const char c : text) {
        if (!isDigit(c)) return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        number = number > (~std::uint64_t{0} - digit) / 10 ? ~std::uint64_t{0} : number * 10 + digit;
    }
    return true;
}

// Base64 with folding whitespace anywhere in it; one byte at least.
bool readBase64(std::string_view value, std::string& bytes) {
    bytes.clear();
    return appendBase64(value, bytes, Base64Spaces::kFolding) && !bytes.empty();
}

bool readCanonicalization(std::string_view value, bool& relaxedHeader, bool& relaxedBody) {
    const std::size_t slash = value.find('/');
    const std::string_view header = value.substr(0, slash);
    const std::string_view body = slash == std::string_view::npos ? "simple" : value.substr(slash + 1);
    const auto read = [](std::string_view name, bool& relaxed) {
        relaxed = sameText(name, "relaxed");
        return relaxed || sameText(name, "simple");
    };
    return read(header, relaxedHeader) && read(body, relaxedBody);
}

// i= lies in the signing domain: its domain is d or a name below it.
bool identityWithin(std::string_view identity, std::string_view domain) {
    const std::size_t at = identity.rfind('@');
    return at != std::string_view::npos && isAtOrBelow(identity.substr(at + 1), domain);
}

}  // namespace

bool listHolds(std::string_view list, std::string_view item) {
    bool holds = false;
    const bool wellFormed =
        forEachListItem(list, [&](std::string_view entry) { holds = holds || equalsIgnoringCase(entry, item); });
    return wellFormed && holds;
}

Signature readSignature(std::string_view value) {
    Signature signature;
    const TagList tags(value);
    const auto valueOf = [&tags](std::string_view name) {
        const Tag* tag = tags.find(name);
        return tag != nullptr ? tag->value : std::string_view();
    };
    signature.domain = valueOf("d");
    signature.selector = valueOf("s");
    signature.headerNames = valueOf("h");
    signature.identityDomain = signature.domain;

    bool sound = tags.valid();
    for (const char* required : {"v", "a", "b", "bh", "d", "h", "s"}) sound = sound && tags.find(required) != nullptr;
    if (!sound) return signature;
    const Tag& b = *tags.find("b");
    signature.hiddenFrom = b.afterEquals;
    signature.hiddenTo = b.specEnd;

    sound = sameText(valueOf("v"), "1") && readBase64(b.value, signature.value) &&
            readBase64(valueOf("bh"), signature.bodyHash) && isHostName(signature.domain) &&
            isHostName(signature.selector) && listHolds(signature.headerNames, "from");
    if (const Tag* identity = tags.find("i")) {
        sound = sound && !holdsSpace(identity->value) && identityWithin(identity->value, signature.domain);
        signature.identityDomain = identity->value.substr(identity->value.rfind('@') + 1);
    }
    if (const Tag* canonicalization = tags.find("c")) {
        sound = sound && readCanonicalization(canonicalization->value, signature.relaxedHeader, signature.relaxedBody);
    }
    if (const Tag* query = tags.find("q")) sound = sound && listHolds(query->value, "dns/txt");
    std::uint64_t number = 0;
    if (const Tag* length = tags.find("l")) {
        signature.limited = true;
        sound = sound && readNumber(length->value, 76, signature.length);
    }
    std::uint64_t signedAt = 0;
    const Tag* timestamp = tags.find("t");
    if (timestamp != nullptr) sound = sound && readNumber(timestamp->value, 12, signedAt);
    if (const Tag* expiry = tags.find("x")) {
        signature.expires = true;
        // An expiry must come after the signing.
        sound = sound && readNumber(expiry->value, 12, number) && (timestamp == nullptr || number > signedAt);
        signature.expiry = static_cast<std::int64_t>(number);
    }
    if (!sound) return signature;

    const std::string_view algorithm = valueOf("a");
    if (sameText(algorithm, "rsa-sha256")) {
        signature.fault = SignatureFault::kNone;
    } else if (sameText(algorithm, "rsa-sha1")) {
        signature.fault = SignatureFault::kSha1;
    } else if (sameText(algorithm, "ed25519-sha256")) {
        signature.fault = SignatureFault::kEd25519;
    }
    return signature;
}
