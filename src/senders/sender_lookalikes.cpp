// The look-alikes of known domains: the indexes of the known entries, kept
// as they are recorded and evicted, and the rules a new sender is read by.
#include <algorithm>
#include <cstring>

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

// The bytes a host name's label holds.
constexpr char kLabelBytes[] = "abcdefghijklmnopqrstuvwxyz0123456789-";

}  // namespace

void SenderHistory::indexKnown(std::uint32_t entry, const EntryKeys& keys) {
    const Entry& known = entries_[entry];
    joinGroup(skeletons_, keys.skeleton, entry, Match::kSkeleton, &Entry::skeleton);
    if (known.nameLength == 0) return;
    joinGroup(names_, keys.name, entry, Match::kName, &Entry::name);
    ++knownNamesOfLength_[known.nameLength];
}

void SenderHistory::unindexKnown(std::uint32_t entry) {
    const Entry& known = entries_[entry];
    const EntryKeys keys = keysOf(domainOf(known), true);
    leaveGroup(skeletons_, keys.skeleton, entry, &Entry::skeleton);
    if (known.nameLength == 0) return;
    leaveGroup(names_, keys.name, entry, &Entry::name);
    --knownNamesOfLength_[known.nameLength];
}

std::uint32_t SenderHistory::groupHead(const HashSlots& groups, HashSlots::Probe& probe, std::string_view text,
                                       Match match) const {
    for (;;) {
        const std::uint32_t head = groups.next(probe);
        if (head == kNone) return kNone;
        const Entry& entry = entries_[head];
        if (match == Match::kSkeleton ? sameSkeleton(text, domainOf(entry))
            : match == Match::kName   ? text == nameOf(entry)
                                      : sameWords(text, nameOf(entry))) {
            return head;
        }
    }
}

void SenderHistory::joinGroup(HashSlots& groups, std::uint64_t hash, std::uint32_t entry, Match match,
                              Links Entry::*links) {
    const Entry& joining = entries_[entry];
    HashSlots::Probe probe = groups.probe(hash);
    const std::uint32_t head =
        groupHead(groups, probe, match == Match::kSkeleton ? domainOf(joining) : nameOf(joining), match);
    if (head == kNone) {
        groups.insertAt(probe, entry);
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
    return domainOf(x) <= domainOf(y) ? a : b;
}

std::uint32_t SenderHistory::bestOfGroup(std::uint32_t head, Links Entry::*links) const {
    std::uint32_t best = kNone;
    for (std::uint32_t at = head; at != kNone; at = (entries_[at].*links).next) {
        best = better(best, at);
    }
    return best;
}

SenderNote SenderHistory::noteFor(std::string_view from, Day today) const noexcept {
    LastNote& last = lastNote_;
    if (last.size != 0 && last.size == from.size() && last.today == today &&
        std::memcmp(last.name, from.data(), from.size()) == 0) {
        return {last.kind, last.known != kNone ? domainOf(entries_[last.known]) : std::string_view()};
    }
    if (!isLowerHostName(from)) return {};
    const std::string_view organization = organizationalDomain(from);
    std::uint32_t known = kNone;
    SenderNote::Kind kind = SenderNote::Kind::kNone;
    const std::uint32_t own = findEntry(organization, hashOf(organization));
    const std::int64_t now = today;
    if (own == kNone || entries_[own].record.first >= now - (kNewDays - 1)) {
        // A known domain is never a look-alike: two the user knows are both theirs.
        if (own == kNone || entries_[own].record.days < kKnownDays) known = lookAlike(organization, from);
        if (known != kNone) {
            kind = SenderNote::Kind::kLooksLike;
        } else if (now - since_ >= kLearningDays) {
            kind = SenderNote::Kind::kNewSender;
        }
    }
    last.size = static_cast<std::uint8_t>(from.size());
    last.kind = kind;
    last.today = today;
    last.known = known;
    std::memcpy(last.name, from.data(), from.size());
    return {kind, known != kNone ? domainOf(entries_[known]) : std::string_view()};
}

std::uint32_t SenderHistory::lookAlike(std::string_view domain, std::string_view from) const {
    PublicSuffix suffix;
    findPublicSuffix(domain, suffix);
    std::size_t nameStart = 0;
    std::string_view name;
    if (suffix.start > 0) {
        nameStart = labelBefore(domain, suffix.start - 1);
        name = domain.substr(nameStart, suffix.start - 1 - nameStart);
    }

    // The same skeleton.
    HashSlots::Probe probe = skeletons_.probe(skeletonHash(domain));
    std::uint32_t head = groupHead(skeletons_, probe, domain, Match::kSkeleton);
    std::uint32_t best = head != kNone ? bestOfGroup(head, &Entry::skeleton) : kNone;
    if (best != kNone) return best;

    // The same name under another suffix.
    if (!name.empty()) {
        probe = names_.probe(hashOf(name));
        head = groupHead(names_, probe, name, Match::kName);
        best = head != kNone ? bestOfGroup(head, &Entry::name) : kNone;
        if (best != kNone) return best;
    }

    // A known name as whole words anywhere in the From domain, labels
    // before its organizational domain included (amazon.co.jp.evil.top):
    // from each word's start on, a run of words no longer than a label.
    for (std::size_t start = 0; start < from.size(); ++start) {
        if (start > 0 && !isWordBreak(from[start - 1])) continue;
        std::uint64_t hash = 0;
        for (std::size_t end = start;; ++end) {
            const std::size_t length = end - start;
            if ((end == from.size() || isWordBreak(from[end])) && length >= kShortestWordName &&
                knownNamesOfLength_[length] > 0) {
                probe = names_.probe(hash);
                head = groupHead(names_, probe, from.substr(start, length), Match::kWords);
                if (head != kNone) best = better(best, bestOfGroup(head, &Entry::name));
            }
            if (end == from.size() || length == kLongestLabel) break;
            hash = hashStep(hash, static_cast<unsigned char>(wordByte(from[end])));
        }
    }
    if (best != kNone || name.size() < kShortestSlipName) return best;
    return oneSlipFrom(domain, nameStart, name.size());
}

// Each text one slip from the name is looked up in the names index: a byte
// left out, a byte of kLabelBytes put in or in place of one, two neighbours
// swapped, each text once. Its hash follows from the name's prefixes' in
// constant time, as the polynomial hash of a text changed in one place
// differs from the text's own by that place's part: a lookup costs about
// 75 probes a byte of the name (37 put in, 36 in place), linear in the name
// and independent of the history's size, but for the known domains of a
// name one slip away, each read and checked plainly.
std::uint32_t SenderHistory::oneSlipFrom(std::string_view domain, std::size_t nameStart, std::size_t size) const {
    const std::string_view name = domain.substr(nameStart, size);
    const std::string_view suffix = domain.substr(nameStart + size);
    const auto byte = [](char c) { return HashLanes::of(static_cast<unsigned char>(c)); };
    HashLanes prefix[kLongestLabel + 1];  // the hash of the name's first i bytes
    HashLanes power[kLongestLabel + 2];   // kHashBase to the i
    power[0] = {1, 1};
    for (std::size_t i = 0; i < size; ++i) prefix[i + 1] = prefix[i] * kHashBase + byte(name[i]);
    for (std::size_t i = 0; i <= size; ++i) power[i + 1] = power[i] * kHashBase;
    const HashLanes whole = prefix[size];

    std::uint32_t best = kNone;
    const auto lookUp = [&](std::uint64_t hash) {
        for (HashSlots::Probe probe = names_.probe(hash);;) {
            const std::uint32_t head = names_.next(probe);
            if (head == kNone) return;
            const std::string_view known = nameOf(entries_[head]);
            // Another name that shares the hash's bits is read no further.
            if (known.size() < kShortestSlipName || !oneSlipApart(known, name)) continue;
            for (std::uint32_t at = head; at != kNone; at = entries_[at].name.next) {
                const Entry& entry = entries_[at];
                if (domainOf(entry).substr(entry.nameStart + entry.nameLength) == suffix) {
                    best = better(best, at);
                }
            }
        }
    };
    // Only lengths some known name has are tried. The texts of each place
    // are looked up together, their slots fetched into the cache first, so
    // that the misses of a place overlap.
    const bool shorter = size > kShortestSlipName && knownNamesOfLength_[size - 1] > 0;
    const bool same = knownNamesOfLength_[size] > 0;
    const bool longer = size < kLongestLabel && knownNamesOfLength_[size + 1] > 0;
    std::uint64_t texts[2 * sizeof kLabelBytes + 2];
    for (std::size_t i = 0; i <= size; ++i) {
        std::size_t count = 0;
        const HashLanes here = byte(i < size ? name[i] : '\0');
        if (longer) {
            // c before byte i: of a run of c, only before its first byte.
            const HashLanes weight = power[size - i];
            const HashLanes base = whole + prefix[i] * (kHashBase - HashLanes{1, 1}) * weight;
            for (const char c : std::string_view(kLabelBytes)) {
                if (i == 0 || name[i - 1] != c) texts[count++] = (base + byte(c) * weight).value();
            }
        }
        if (i < size) {
            const HashLanes weight = power[size - 1 - i];
            // Of a run of one byte, only its first left out.
            if (shorter && (i == 0 || name[i] != name[i - 1])) {
                texts[count++] = (whole + (prefix[i] - prefix[i + 1]) * weight).value();
            }
            const HashLanes base = whole - here * weight;
            for (const char c : std::string_view(kLabelBytes)) {
                if (same && c != name[i]) texts[count++] = (base + byte(c) * weight).value();
            }
            if (same && i + 1 < size && name[i] != name[i + 1]) {
                texts[count++] = (whole + (byte(name[i + 1]) - here) * (weight - power[size - 2 - i])).value();
            }
        }
        for (std::size_t k = 0; k < count; ++k) names_.prefetch(texts[k]);
        for (std::size_t k = 0; k < count; ++k) lookUp(texts[k]);
    }
    return best;
}
