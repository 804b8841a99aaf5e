// The look-alikes of known domains: the indexes of the known entries, kept
// as they are recorded and evicted, and the rules a new sender is read by.
#include <algorithm>
#include <cstring>
#include <utility>

#include "domains/public_suffixes.h"
#include "senders/sender_history.h"
#include "senders/skeleton.h"

namespace {

constexpr std::uint32_t kNone = HashSlots::kNone;
// A known name of this many characters or more is a look-alike's as whole
// words; of kShortestLetters or more, as letters anywhere. Shorter names
// are words of too many other names, and one slip from too many.
constexpr std::size_t kShortestWordName = 5;
constexpr std::size_t kShortestLetters = 6;
constexpr std::size_t kShortestSlipName = 6;
constexpr std::size_t kShortestTwoSlipName = 12;
// The keys of names with two characters left out, at most: a name of 63
// has some 2,000, and a crafted history must not take more room than this
// for them (some 3 MB). Names past it are looked up by one slip only.
constexpr std::size_t kMostPairKeys = std::size_t{1} << 18;
// The names one text left out of a name stands for, at most: a text many
// names give (syllables, numbers) would make each lookup of it, and each
// name added under it, walk them all. Any of them found is a look-alike's
// known name too, checked plainly.
constexpr std::size_t kMostNamesOfAKey = 4;
constexpr std::size_t kLongestLabel = 63;

using Points = std::u32string_view;

std::uint64_t hashOfPoints(Points text) {
    std::uint64_t hash = 0;
    for (const char32_t c : text) hash = hashStep(hash, c);
    return hash;
}

// A name's characters as written (Punycode decoded), and those of them
// that are no hyphen.
struct Characters {
    std::size_t all = 0;
    std::size_t letters = 0;
};
Characters charactersOf(std::string_view label) {
    char32_t text[kLongestLabel];
    const std::size_t all = slipTextOf(label, text);
    return {all, all - static_cast<std::size_t>(std::count(text, text + all, U'-'))};
}

// Whether a and b are one slip apart: a code point added, left out or
// changed, or two neighbours swapped. Linear.
bool oneSlipApart(Points a, Points b) {
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() - b.size() > 1) return false;
    std::size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    if (a.size() != b.size()) return a.substr(i + 1) == b.substr(i);
    if (i == a.size()) return false;
    if (a.substr(i + 1) == b.substr(i + 1)) return true;
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.substr(i + 2) == b.substr(i + 2);
}

// Whether part is whole with some code points left out. Linear.
bool leavesOut(Points whole, Points part) {
    std::size_t at = 0;
    for (const char32_t c : whole) {
        if (at < part.size() && part[at] == c) ++at;
    }
    return at == part.size();
}

// The hashes of a text's prefixes, so that the hash of the text with
// code points left out follows in constant time: a polynomial hash is the
// sum of each code point's part.
class PrefixHashes {
public:
    explicit PrefixHashes(Points text) : size_(text.size()) {
        HashLanes prefix;
        HashLanes power{1, 1};
        prefix_[0] = prefix.value();
        power_[0] = power.value();
        for (std::size_t i = 0; i < size_; ++i) {
            prefix = prefix * kHashBase + HashLanes::of(text[i]);
            power = power * kHashBase;
            prefix_[i + 1] = prefix.value();
            power_[i + 1] = power.value();
        }
    }
    // Of text[from, to).
    HashLanes of(std::size_t from, std::size_t to) const {
        return HashLanes(prefix_[to]) - HashLanes(prefix_[from]) * HashLanes(power_[to - from]);
    }
    // Of the text without its code point at i.
    std::uint64_t without(std::size_t i) const {
        return (of(0, i) * HashLanes(power_[size_ - 1 - i]) + of(i + 1, size_)).value();
    }
    // Of the text without its code points at i and j, i < j.
    std::uint64_t without(std::size_t i, std::size_t j) const {
        return (of(0, i) * HashLanes(power_[size_ - 2 - i]) + of(i + 1, j) * HashLanes(power_[size_ - 1 - j]) +
                of(j + 1, size_))
            .value();
    }

private:
    std::size_t size_;
    // Plain numbers, left as they are past size_: most texts are short.
    std::uint64_t prefix_[kMaxSkeletonSize + 1];
    std::uint64_t power_[kMaxSkeletonSize + 1];
};

// Calls key(hash, length) for each text a name gives with one code point
// left out and, when pairs, two: each text once where it can tell (of a
// run of one code point, only its first is left out).
// key(hash, length, i, j): the code points at i and j left out, j the
// name's size for one.
template <typename Key>
void forEachLeftOut(Points name, const PrefixHashes& hashes, bool pairs, Key key) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i > 0 && name[i] == name[i - 1]) continue;
        key(hashes.without(i), name.size() - 1, i, name.size());
        if (!pairs) continue;
        for (std::size_t j = i + 1; j < name.size(); ++j) {
            if (j > i + 1 && name[j] == name[j - 1]) continue;
            key(hashes.without(i, j), name.size() - 2, i, j);
        }
    }
}

}  // namespace

SenderHistory::SenderHistory(SenderHistory&& other) noexcept : SenderHistory(other.since_, other.capacity_) {
    *this = std::move(other);
}
SenderHistory& SenderHistory::operator=(SenderHistory&&) noexcept = default;
SenderHistory::~SenderHistory() = default;

std::size_t SenderHistory::textOf(const Entry& entry, Kind kind, char32_t* out) const {
    if (kind == kSkeleton) return skeletonOf(domainOf(entry), out, kMaxSkeletonSize);
    if (entry.nameLength == 0) return 0;
    if (kind == kSlipName) {
        const std::size_t characters = slipTextOf(nameOf(entry), out);
        return characters >= kShortestSlipName ? characters : 0;
    }
    const std::size_t size = skeletonOf(nameOf(entry), out, kMaxSkeletonSize);
    if (kind == kName) return size;
    if (charactersOf(nameOf(entry)).letters < kShortestLetters) return 0;
    return static_cast<std::size_t>(std::remove(out, out + size, U'-') - out);
}

std::uint32_t SenderHistory::findGroup(Kind kind, const char32_t* text, std::size_t size, std::uint64_t hash) const {
    char32_t own[kMaxSkeletonSize];
    for (HashSlots::Probe probe = groupsByText_[kind].probe(hash);;) {
        const std::uint32_t group = groupsByText_[kind].next(probe);
        if (group == kNone) return kNone;
        if (groups_[group].hash != hash) continue;
        const std::size_t length = textOf(entries_[groups_[group].head], kind, own);
        if (Points(own, length) == Points(text, size)) return group;
    }
}

std::uint32_t SenderHistory::better(std::uint32_t a, std::uint32_t b) const {
    if (a == kNone) return b;
    if (b == kNone) return a;
    const Entry& x = entries_[a];
    const Entry& y = entries_[b];
    if (x.record.days != y.record.days) return x.record.days > y.record.days ? a : b;
    if (x.record.last != y.record.last) return x.record.last < y.record.last ? a : b;
    return domainOf(x) <= domainOf(y) ? a : b;
}

std::uint32_t SenderHistory::newRun(std::uint32_t days, std::uint32_t entry) {
    std::uint32_t run = 0;
    if (!freeRuns_.empty()) {
        run = freeRuns_.back();
        freeRuns_.pop_back();
    } else {
        run = static_cast<std::uint32_t>(runs_.size());
        runs_.emplace_back();
    }
    runs_[run] = {days, entry, entry};
    return run;
}

void SenderHistory::unlink(std::uint32_t entry, Kind kind) {
    const Member own = entries_[entry].member[kind];
    Group& group = groups_[entries_[entry].group[kind]];
    (own.previous != kNone ? entries_[own.previous].member[kind].next : group.head) = own.next;
    (own.next != kNone ? entries_[own.next].member[kind].previous : group.tail) = own.previous;
}

void SenderHistory::linkBefore(std::uint32_t entry, Kind kind, std::uint32_t before) {
    Group& group = groups_[entries_[entry].group[kind]];
    Member& own = entries_[entry].member[kind];
    own.next = before;
    own.previous = before != kNone ? entries_[before].member[kind].previous : group.tail;
    (own.previous != kNone ? entries_[own.previous].member[kind].next : group.head) = entry;
    (before != kNone ? entries_[before].member[kind].previous : group.tail) = entry;
}

void SenderHistory::indexSlips(std::uint32_t group, const char32_t* name, std::size_t size, bool add) {
    const Points text(name, size);
    const PrefixHashes hashes(text);
    bool pairs = size >= kShortestTwoSlipName;
    const std::size_t pairCount = size * (size - 1) / 2;
    if (pairs && add) {
        pairs = pairKeys_ + pairCount <= kMostPairKeys;
        groups_[group].pairs = pairs;
    } else {
        pairs = groups_[group].pairs;
    }
    if (pairs) pairKeys_ = add ? pairKeys_ + pairCount : pairKeys_ - pairCount;
    if (add && gatheredSlips_ == nullptr) slips_.reserve(slips_.size() + size + (pairs ? pairCount : 0));
    forEachLeftOut(text, hashes, pairs, [&](std::uint64_t hash, std::size_t length, std::size_t, std::size_t) {
        if (add && gatheredSlips_ != nullptr) {
            gatheredSlips_->push_back(slips_.slotFor(hash, group));
            ++slipKeysOfLength_[length];
        } else if (add) {
            HashSlots::Probe probe = slips_.probe(hash);
            std::size_t names = 0;
            while (names < kMostNamesOfAKey && slips_.next(probe) != kNone) ++names;
            if (names == kMostNamesOfAKey) return;
            slips_.insertAt(probe, group);
            ++slipKeysOfLength_[length];
        } else {
            if (slips_.erase(hash, group)) --slipKeysOfLength_[length];
        }
    });
}

void SenderHistory::countGroup(std::uint32_t entry, Kind kind, std::uint32_t group, const char32_t* text,
                               std::size_t size, bool added) {
    if (kind == kName) {
        const Characters characters = charactersOf(nameOf(entries_[entry]));
        if (characters.all >= kShortestWordName && characters.letters < kShortestLetters) {
            wordNamesOfLength_[size] += added ? 1 : -1;
        }
    } else if (kind == kLetters) {
        lettersOfLength_[size] += added ? 1 : -1;
    } else if (kind == kSlipName) {
        slipNamesOfLength_[size] += added ? 1 : -1;
        indexSlips(group, text, size, added);
    }
}

void SenderHistory::joinGroup(std::uint32_t entry, Kind kind, const char32_t* text, std::size_t size) {
    const std::uint64_t hash = hashOfPoints(Points(text, size));
    std::uint32_t group = findGroup(kind, text, size, hash);
    if (group == kNone) {
        group = static_cast<std::uint32_t>(groups_.size());
        groups_.emplace_back();
        groups_[group].hash = hash;
        groups_[group].kind = kind;
        groupsByText_[kind].insert(hash, group);
        countGroup(entry, kind, group, text, size, true);
    }
    Entry& joining = entries_[entry];
    joining.group[kind] = group;
    // Joined with the fewest dates a known entry has, or after a read in
    // order: at the end.
    const std::uint32_t tail = groups_[group].tail;
    const std::uint32_t days = joining.record.days;
    if (tail != kNone && runs_[entries_[tail].member[kind].run].days == days) {
        const std::uint32_t run = entries_[tail].member[kind].run;
        joining.member[kind].run = run;
        runs_[run].last = entry;
    } else {
        joining.member[kind].run = newRun(days, entry);
    }
    linkBefore(entry, kind, kNone);
}

void SenderHistory::leaveGroup(std::uint32_t entry, Kind kind) {
    const std::uint32_t group = entries_[entry].group[kind];
    if (group == kNone) return;
    const Member own = entries_[entry].member[kind];
    Run& run = runs_[own.run];
    if (run.first == entry && run.last == entry) {
        freeRuns_.push_back(own.run);
    } else if (run.first == entry) {
        run.first = own.next;
    } else if (run.last == entry) {
        run.last = own.previous;
    }
    unlink(entry, kind);
    if (groups_[group].head == kNone) {
        char32_t text[kMaxSkeletonSize];
        countGroup(entry, kind, group, text, textOf(entries_[entry], kind, text), false);
        groupsByText_[kind].erase(groups_[group].hash, group);
    }
    entries_[entry].group[kind] = kNone;
}

void SenderHistory::moveUp(std::uint32_t entry, Kind kind) {
    Member& own = entries_[entry].member[kind];
    const std::uint32_t days = entries_[entry].record.days;
    const std::uint32_t run = own.run;
    const std::uint32_t previous = own.previous;
    const bool joinsPrevious = previous != kNone && runs_[entries_[previous].member[kind].run].days == days;
    if (runs_[run].first == entry && runs_[run].last == entry) {
        if (!joinsPrevious) {
            runs_[run].days = days;
            return;
        }
        freeRuns_.push_back(run);
    } else if (runs_[run].first == entry) {
        runs_[run].first = own.next;
    } else {
        // To the end of the entries of as many dates, right before its run.
        if (runs_[run].last == entry) runs_[run].last = previous;
        const std::uint32_t first = runs_[run].first;
        unlink(entry, kind);
        linkBefore(entry, kind, first);
    }
    const std::uint32_t before = own.previous;
    if (before != kNone && runs_[entries_[before].member[kind].run].days == days) {
        own.run = entries_[before].member[kind].run;
        runs_[own.run].last = entry;
    } else {
        own.run = newRun(days, entry);
    }
}

// Each text made once, as textOf makes it.
void SenderHistory::indexKnown(std::uint32_t entry) {
    char32_t text[kMaxSkeletonSize];
    std::size_t size = skeletonOf(domainOf(entries_[entry]), text, kMaxSkeletonSize);
    if (size > 0) joinGroup(entry, kSkeleton, text, size);
    if (entries_[entry].nameLength == 0) return;
    const std::string_view name = nameOf(entries_[entry]);
    char32_t slips[kLongestLabel];
    const std::size_t characters = slipTextOf(name, slips);
    size = skeletonOf(name, text, kMaxSkeletonSize);
    if (size > 0) joinGroup(entry, kName, text, size);
    size = static_cast<std::size_t>(std::remove(text, text + size, U'-') - text);
    if (characters - static_cast<std::size_t>(std::count(slips, slips + characters, U'-')) >= kShortestLetters &&
        size > 0) {
        joinGroup(entry, kLetters, text, size);
    }
    if (characters >= kShortestSlipName) joinGroup(entry, kSlipName, slips, characters);
}

void SenderHistory::unindexKnown(std::uint32_t entry) {
    for (const Kind kind : {kSkeleton, kName, kLetters, kSlipName}) leaveGroup(entry, kind);
}

void SenderHistory::knownDaysChanged(std::uint32_t entry) {
    // Room first, as far as it can be had, so that running out of memory
    // leaves the indexes whole.
    if (groups_.capacity() < groups_.size() + kKinds) groups_.reserve(2 * groups_.size() + kKinds);
    if (runs_.capacity() < runs_.size() + kKinds) runs_.reserve(2 * runs_.size() + kKinds);
    for (HashSlots& table : groupsByText_) table.reserve(table.size() + 1);
    if (entries_[entry].record.days == kKnownDays) {
        indexKnown(entry);
        return;
    }
    for (const Kind kind : {kSkeleton, kName, kLetters, kSlipName}) {
        if (entries_[entry].group[kind] != kNone) moveUp(entry, kind);
    }
}

void SenderHistory::indexAllKnown() {
    // Best first, so that each joins its groups at their ends: by dates,
    // then as the entries stand, by their last date and domain.
    std::vector<std::uint64_t> order;
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        const std::uint32_t days = entries_[i].record.days;
        if (days >= kKnownDays) order.push_back(static_cast<std::uint64_t>(0xFFFFFFFF - days) << 32 | i);
    }
    sortKeys(order);
    groups_.reserve(order.size() * kKinds);
    runs_.reserve(order.size() * kKinds);
    for (HashSlots& table : groupsByText_) table.reserve(order.size());
    // The groups are numbered as they are made, best first: of the slips'
    // keys under one hash, fill keeps those of the best names, as adding
    // them in turn would.
    std::vector<std::uint64_t> slips;
    gatheredSlips_ = &slips;
    for (const std::uint64_t key : order) indexKnown(static_cast<std::uint32_t>(key & 0xFFFFFFFF));
    gatheredSlips_ = nullptr;
    slips_.fill(slips, kMostNamesOfAKey);
}

SenderNote SenderHistory::noteFor(std::string_view organization, std::string_view from, Day today) const noexcept {
    LastNote& last = lastNote_;
    if (last.size != 0 && last.size == from.size() && last.today == today &&
        std::memcmp(last.name, from.data(), from.size()) == 0) {
        return {last.kind, last.known != kNone ? domainOf(entries_[last.known]) : std::string_view()};
    }
    if (!isLowerHostName(organization) || from.size() > kLongestDnsName) return {};
    std::uint32_t known = kNone;
    SenderNote::Kind kind = SenderNote::Kind::kNone;
    const std::uint32_t own = findEntry(organization, hashOf(organization));
    const std::int64_t now = today;
    // A look-alike until it is known itself: two the user knows are both
    // theirs. But a known name in the labels below a known organization is
    // still one: a domain made known by harmless mail must not send as
    // amazon.co.jp.evil.top.
    if (own == kNone || entries_[own].record.days < kKnownDays) {
        known = lookAlike(organization, from);
    } else if (from.size() > organization.size() + 1) {
        known = knownWithin(from.substr(0, from.size() - organization.size() - 1));
        if (known == own) known = kNone;
    }
    if (known != kNone) {
        kind = SenderNote::Kind::kLooksLike;
    } else if ((own == kNone || entries_[own].record.first >= now - (kNewDays - 1)) && now - since_ >= kLearningDays) {
        kind = SenderNote::Kind::kNewSender;
    }
    last.size = static_cast<std::uint8_t>(from.size());
    last.kind = kind;
    last.today = today;
    last.known = known;
    std::memcpy(last.name, from.data(), from.size());
    return {kind, known != kNone ? domainOf(entries_[known]) : std::string_view()};
}

std::uint32_t SenderHistory::lookAlike(std::string_view domain, std::string_view from) const {
    char32_t skeleton[kMaxSkeletonSize];
    std::size_t size = skeletonOf(domain, skeleton, kMaxSkeletonSize);
    // 1. The same skeleton.
    std::uint32_t best = headOf(findGroup(kSkeleton, skeleton, size, hashOfPoints(Points(skeleton, size))));
    if (best != kNone) return best;

    PublicSuffix suffix;
    findPublicSuffix(domain, suffix);
    std::string_view name;
    if (suffix.start > 0) {
        const std::size_t nameStart = labelBefore(domain, suffix.start - 1);
        name = domain.substr(nameStart, suffix.start - 1 - nameStart);
    }
    // 2. The same name's skeleton under another suffix.
    size = name.empty() ? 0 : skeletonOf(name, skeleton, kMaxSkeletonSize);
    if (size > 0) {
        best = headOf(findGroup(kName, skeleton, size, hashOfPoints(Points(skeleton, size))));
        if (best != kNone) return best;
    }
    // 3. A known name within the From domain.
    best = knownWithin(from);
    if (best != kNone || size == 0) return best;
    // 4. and 5. One slip, or two of a long name, under any suffix.
    size = slipTextOf(name, skeleton);
    if (size < kShortestSlipName) return kNone;
    best = slipsFrom(skeleton, size, 1);
    return best != kNone ? best : slipsFrom(skeleton, size, 2);
}

// A known name's letters anywhere in the From domain's, its dots and
// hyphens left out, stretch by stretch; and a name of fewer letters
// as whole words, split at dots and hyphens.
std::uint32_t SenderHistory::knownWithin(std::string_view from) const {
    char32_t text[kMaxSkeletonSize];
    const std::size_t size = skeletonOf(from, text, kMaxSkeletonSize);
    std::uint32_t best = kNone;

    char32_t letters[kMaxSkeletonSize];
    std::size_t count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] != '.' && text[i] != '-') letters[count++] = text[i];
    }
    // Each stretch of the letters as long as a known name's is looked up:
    // the lengths are a few (the names' own), each stretch's hash follows
    // from the letters' prefixes.
    const PrefixHashes letterHashes(Points(letters, count));
    for (std::size_t length = 1; length <= count && length <= kMaxLabelSkeletonSize; ++length) {
        if (lettersOfLength_[length] == 0) continue;
        for (std::size_t end = length; end <= count; ++end) {
            const std::uint64_t hash = letterHashes.of(end - length, end).value();
            best = better(best, headOf(findGroup(kLetters, letters + end - length, length, hash)));
        }
    }

    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '.') text[i] = '-';
    }
    for (std::size_t start = 0; start < size; ++start) {
        if (start > 0 && text[start - 1] != '-') continue;
        for (std::size_t end = start + 1; end <= size && end - start <= kMaxLabelSkeletonSize; ++end) {
            if ((end < size && text[end] != '-') || wordNamesOfLength_[end - start] == 0) continue;
            const Points words(text + start, end - start);
            const std::uint32_t head = headOf(findGroup(kName, words.data(), words.size(), hashOfPoints(words)));
            if (head != kNone && charactersOf(nameOf(entries_[head])).all >= kShortestWordName) best = better(best, head);
        }
    }
    return best;
}

// The known names slips away from name (a slip text, see slipTextOf):
// those its texts with up to slips characters left out name, and those
// that leave out one (or two, of a name of kShortestTwoSlipName characters
// or more) to read as one of them, as slips_ holds them. Each found is checked plainly: one
// slip apart, or for two, each with at most two left out reading the same.
// Linear in the texts, about the square of the name's length for two, and
// independent of the history's size: a group's head is its best.
std::uint32_t SenderHistory::slipsFrom(const char32_t* name, std::size_t size, int slips) const {
    const Points text(name, size);
    const PrefixHashes hashes(text);
    std::uint32_t best = kNone;
    char32_t known[kMaxSkeletonSize];
    char32_t part[kMaxSkeletonSize];
    // The group's head, when better than the best found and slips away:
    // the name with the code points at i and j left out (size for none)
    // led to it.
    const auto consider = [&](std::uint32_t group, std::size_t i, std::size_t j) {
        const std::uint32_t head = headOf(group);
        if (head == kNone || head == best || better(best, head) != head) return;
        const Entry& entry = entries_[head];
        const Points other(known, textOf(entry, kSlipName, known));
        const std::size_t otherCharacters = other.size();
        bool matches = false;
        if (slips == 1) {
            matches = otherCharacters >= kShortestSlipName && oneSlipApart(other, text);
        } else {
            std::size_t length = 0;
            for (std::size_t k = 0; k < size; ++k) {
                if (k != i && k != j) part[length++] = name[k];
            }
            matches = otherCharacters >= kShortestTwoSlipName && other.size() >= length && other.size() - length <= 2 &&
                      leavesOut(other, Points(part, length));
        }
        if (matches) best = head;
    };
    const auto lookUp = [&](std::uint64_t hash, std::size_t length, std::size_t i, std::size_t j) {
        if (length < size && slipNamesOfLength_[length] > 0) {
            for (HashSlots::Probe probe = groupsByText_[kSlipName].probe(hash);;) {
                const std::uint32_t group = groupsByText_[kSlipName].next(probe);
                if (group == kNone) break;
                if (groups_[group].hash == hash) consider(group, i, j);
            }
        }
        if (slipKeysOfLength_[length] > 0) {
            for (HashSlots::Probe probe = slips_.probe(hash);;) {
                const std::uint32_t group = slips_.next(probe);
                if (group == kNone) break;
                consider(group, i, j);
            }
        }
    };
    lookUp(hashes.of(0, size).value(), size, size, size);
    forEachLeftOut(text, hashes,
                   slips == 2 && size >= 2 && (slipNamesOfLength_[size - 2] > 0 || slipKeysOfLength_[size - 2] > 0),
                   lookUp);
    return best;
}
