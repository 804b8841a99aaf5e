// The look-alikes of known domains: the indexes of the known entries, kept
// as they are recorded and evicted, and the rules a new sender is read by.
#include <algorithm>

#include "domains/public_suffixes.h"
#include "senders/sender_history.h"
#include "senders/skeleton.h"

namespace {

constexpr std::uint32_t kNone = HashSlots::kNone;
// Shorter names are words of too many other names, and one slip from too many.
constexpr std::size_t kShortestWordName = 5;
constexpr std::size_t kShortestSlipName = 6;
constexpr std::size_t kLongestLabel = 63;

bool sameSkeleton(std::string_view a, std::string_view b) {
    SkeletonWalk walkA(a);
    SkeletonWalk walkB(b);
    for (;;) {
        char32_t ca = 0;
        char32_t cb = 0;
        const bool more = walkA.next(ca);
        if (more != walkB.next(cb) || ca != cb) return false;
        if (!more) return true;
    }
}

// Words are split at dots and hyphens alike.
bool isWordBreak(char c) { return c == '.' || c == '-'; }
char wordByte(char c) { return c == '.' ? '-' : c; }

bool sameWords(std::string_view run, std::string_view name) {
    if (run.size() != name.size()) return false;
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (wordByte(run[i]) != name[i]) return false;
    }
    return true;
}

// Whether a and b are one slip apart: a byte added, left out or changed, or
// two neighbours swapped. Linear.
bool oneSlipApart(std::string_view a, std::string_view b) {
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() - b.size() > 1) return false;
    std::size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    if (a.size() != b.size()) return a.substr(i + 1) == b.substr(i);
    if (i == a.size()) return false;
    if (a.substr(i + 1) == b.substr(i + 1)) return true;
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.substr(i + 2) == b.substr(i + 2);
}

// The hashes a known name is indexed by and a name is looked up by, for
// one slip: of text (a name and its suffix) as it stands, then less one
// byte of its first nameLength, each text once, from the last byte back.
// The hash without one byte follows from the hash without the next in
// constant time, as the two differ in one place.
class SlipHashes {
public:
    SlipHashes(std::string_view text, std::size_t nameLength) : text_(text), nameLength_(nameLength), at_(nameLength) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            whole_ = hashStep(whole_, c);
            if (i + 1 != nameLength) hash_ = hashStep(hash_, c);
            if (i >= nameLength) weight_ *= kHashBase;
        }
    }

    bool next(std::uint64_t& hash) {
        if (!gaveWhole_) {
            gaveWhole_ = true;
            hash = whole_;
            return true;
        }
        while (at_ > 0) {
            const std::size_t left = --at_;
            if (left + 1 < nameLength_) {
                // Where the byte after was left out, this byte stood; now that one stands there.
                hash_ += (static_cast<std::uint64_t>(static_cast<unsigned char>(text_[left + 1])) -
                          static_cast<unsigned char>(text_[left])) * weight_;
                weight_ *= kHashBase;
            }
            // Leaving out either of two equal neighbours gives one text.
            if (left == 0 || text_[left] != text_[left - 1]) {
                hash = hash_;
                return true;
            }
        }
        return false;
    }

private:
    std::string_view text_;
    std::size_t nameLength_;
    std::size_t at_;             // the byte left out last
    std::uint64_t whole_ = 0;
    std::uint64_t hash_ = 0;     // of the text without the byte at at_
    std::uint64_t weight_ = 1;   // of the place that byte stood in, less one
    bool gaveWhole_ = false;
};

}  // namespace

void SenderHistory::indexKnown(std::uint32_t entry, const EntryKeys& keys, bool withSlips) {
    const Entry& known = entries_[entry];
    joinGroup(skeletons_, keys.skeleton, entry, Match::kSkeleton, &Entry::skeleton);
    if (known.nameLength == 0) return;
    joinGroup(names_, keys.name, entry, Match::kName, &Entry::name);
    ++knownNamesOfLength_[known.nameLength];
    if (withSlips) {
        HashSlots::Pipeline pipeline(neighbours_);
        addSlips(entry, pipeline);
    }
}

void SenderHistory::addSlips(std::uint32_t entry, HashSlots::Pipeline& pipeline) const {
    const Entry& known = entries_[entry];
    if (known.record.days < kKnownDays || known.nameLength < kShortestSlipName) return;
    SlipHashes slips(std::string_view(known.domain).substr(known.nameStart), known.nameLength);
    for (std::uint64_t hash = 0; slips.next(hash);) pipeline.insert(hash, entry);
}

void SenderHistory::unindexKnown(std::uint32_t entry) {
    const Entry& known = entries_[entry];
    const EntryKeys keys = keysOf(known.domain, true);
    leaveGroup(skeletons_, keys.skeleton, entry, &Entry::skeleton);
    if (known.nameLength == 0) return;
    leaveGroup(names_, keys.name, entry, &Entry::name);
    --knownNamesOfLength_[known.nameLength];
    if (known.nameLength < kShortestSlipName) return;
    SlipHashes slips(std::string_view(known.domain).substr(known.nameStart), known.nameLength);
    for (std::uint64_t hash = 0; slips.next(hash);) neighbours_.erase(hash, entry);
}

std::uint32_t SenderHistory::groupHead(const HashSlots& groups, std::uint64_t hash, std::string_view text,
                                       Match match) const {
    for (HashSlots::Probe probe = groups.probe(hash);;) {
        const std::uint32_t head = groups.next(probe);
        if (head == kNone) return kNone;
        const Entry& entry = entries_[head];
        if (match == Match::kSkeleton ? sameSkeleton(text, entry.domain)
            : match == Match::kName   ? text == nameOf(entry)
                                      : sameWords(text, nameOf(entry))) {
            return head;
        }
    }
}

void SenderHistory::joinGroup(HashSlots& groups, std::uint64_t hash, std::uint32_t entry, Match match,
                              Links Entry::*links) {
    const Entry& joining = entries_[entry];
    const std::uint32_t head =
        groupHead(groups, hash, match == Match::kSkeleton ? std::string_view(joining.domain) : nameOf(joining), match);
    if (head == kNone) {
        groups.insert(hash, entry);
        entries_[entry].*links = {};
        return;
    }
    // Right after the first, so that the table's slot stays as it is.
    Links& first = entries_[head].*links;
    entries_[entry].*links = {head, first.next};
    if (first.next != kNone) (entries_[first.next].*links).previous = entry;
    first.next = entry;
}

void SenderHistory::leaveGroup(HashSlots& groups, std::uint64_t hash, std::uint32_t entry, Links Entry::*links) {
    const Links own = entries_[entry].*links;
    if (own.previous != kNone) {
        (entries_[own.previous].*links).next = own.next;
        if (own.next != kNone) (entries_[own.next].*links).previous = own.previous;
    } else if (own.next != kNone) {
        groups.replace(hash, entry, own.next);
        (entries_[own.next].*links).previous = kNone;
    } else {
        groups.erase(hash, entry);
    }
}

std::uint32_t SenderHistory::better(std::uint32_t a, std::uint32_t b) const {
    if (a == kNone) return b;
    if (b == kNone) return a;
    const Entry& x = entries_[a];
    const Entry& y = entries_[b];
    if (x.record.days != y.record.days) return x.record.days > y.record.days ? a : b;
    return x.domain <= y.domain ? a : b;
}

bool SenderHistory::ofOrganization(std::uint32_t entry, std::string_view organization) const {
    const Entry& known = entries_[entry];
    return std::string_view(known.domain).substr(known.nameLength > 0 ? known.nameStart : 0) == organization;
}

std::uint32_t SenderHistory::bestOfGroup(std::uint32_t head, Links Entry::*links, std::string_view domain) const {
    std::uint32_t best = kNone;
    for (std::uint32_t at = head; at != kNone; at = (entries_[at].*links).next) {
        if (!ofOrganization(at, domain)) best = better(best, at);
    }
    return best;
}

SenderNote SenderHistory::noteFor(std::string_view organization, Day today) const noexcept {
    if (!isStorableDomain(organization)) return {};
    const std::uint32_t own = findEntry(organization, hashOf(organization));
    const std::int64_t now = today;
    if (own != kNone && entries_[own].record.first < now - (kNewDays - 1)) return {};
    // A known domain is never a look-alike: two the user knows are both theirs.
    if (own == kNone || entries_[own].record.days < kKnownDays) {
        const std::uint32_t known = lookAlike(organization);
        if (known != kNone) return {SenderNote::Kind::kLooksLike, entries_[known].domain};
    }
    if (now - since_ < kLearningDays) return {};
    return {SenderNote::Kind::kNewSender, {}};
}

std::uint32_t SenderHistory::lookAlike(std::string_view domain) const {
    PublicSuffix suffix;
    findPublicSuffix(domain, suffix);
    std::size_t nameStart = 0;
    std::string_view name;
    if (suffix.start > 0) {
        nameStart = labelBefore(domain, suffix.start - 1);
        name = domain.substr(nameStart, suffix.start - 1 - nameStart);
    }

    // The same skeleton.
    std::uint32_t head = groupHead(skeletons_, skeletonHash(domain), domain, Match::kSkeleton);
    std::uint32_t best = head != kNone ? bestOfGroup(head, &Entry::skeleton, domain) : kNone;
    if (best != kNone) return best;

    // The same name under another suffix.
    if (!name.empty()) {
        head = groupHead(names_, hashOf(name), name, Match::kName);
        best = head != kNone ? bestOfGroup(head, &Entry::name, domain) : kNone;
        if (best != kNone) return best;
    }

    // A known name as whole words, from each word's start on, a run of
    // words no longer than a label.
    for (std::size_t start = 0; start < domain.size(); ++start) {
        if (start > 0 && !isWordBreak(domain[start - 1])) continue;
        std::uint64_t hash = 0;
        for (std::size_t end = start;; ++end) {
            const std::size_t length = end - start;
            if ((end == domain.size() || isWordBreak(domain[end])) && length >= kShortestWordName &&
                knownNamesOfLength_[length] > 0) {
                head = groupHead(names_, hash, domain.substr(start, length), Match::kWords);
                if (head != kNone) best = better(best, bestOfGroup(head, &Entry::name, domain));
            }
            if (end == domain.size() || length == kLongestLabel) break;
            hash = hashStep(hash, static_cast<unsigned char>(wordByte(domain[end])));
        }
    }
    if (best != kNone || name.size() < kShortestSlipName) return best;

    // One slip: a known name with the same suffix, as it stands or less one
    // byte, is this name as it stands or less one byte; each candidate
    // checked plainly.
    const std::size_t nameEnd = nameStart + name.size();
    SlipHashes slips(domain.substr(nameStart), name.size());
    for (std::uint64_t hash = 0; slips.next(hash);) {
        for (HashSlots::Probe probe = neighbours_.probe(hash);;) {
            const std::uint32_t candidate = neighbours_.next(probe);
            if (candidate == kNone) break;
            const Entry& entry = entries_[candidate];
            if (std::string_view(entry.domain).substr(entry.nameStart + entry.nameLength) == domain.substr(nameEnd) &&
                oneSlipApart(nameOf(entry), name) && !ofOrganization(candidate, domain)) {
                best = better(best, candidate);
            }
        }
    }
    return best;
}
