#include "senders/sender_history.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "domains/public_suffixes.h"
#include "senders/skeleton.h"
#include "text/ascii.h"
#include "text/writing.h"

namespace {

constexpr std::uint32_t kNone = HashSlots::kNone;
constexpr std::string_view kFirstLineStart = "# Quillmark senders 1 since ";
constexpr std::size_t kMaxDaysDigits = 7;  // of the most dates four-digit years hold, 3,652,425

// Sets line to the next line of file from at, without its LF or CR LF, and
// moves at past it; false when no LF ends it within kMaxLineLength bytes.
bool takeLine(std::string_view file, std::size_t& at, std::string_view& line) {
    const std::size_t window = std::min(file.size() - at, SenderHistory::kMaxLineLength);
    const void* const lf = std::memchr(file.data() + at, '\n', window);
    if (lf == nullptr) return false;
    const auto end = static_cast<std::size_t>(static_cast<const char*>(lf) - file.data());
    line = file.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    return true;
}

struct FileLine {
    std::string_view domain;
    SenderRecord record;
};

// The length of the lower-case host name that begins text, 0 for none.
// One pass: a history's lines are mostly their domains.
std::size_t lowerHostNameAt(std::string_view text) {
    return nameLengthAt(text, [](char c) { return (c >= 'a' && c <= 'z') || isDigit(c) || c == '-'; }, true);
}

// Reads the line of file at at, "DOMAIN FIRST LAST DAYS" and its LF or CR
// LF, exactly, and moves at past it. Each byte is read once: no search
// for the line's end first.
bool parseLine(std::string_view file, std::size_t& at, FileLine& parsed) {
    const std::string_view line = file.substr(at);
    const std::size_t blank = lowerHostNameAt(line);
    parsed.domain = line.substr(0, blank);
    // " FIRST LAST DAYS" from the blank on.
    const std::string_view rest = line.substr(blank);
    constexpr std::size_t kDaysAt = 3 + 2 * kDateLength;
    if (blank == 0 || rest.size() <= kDaysAt || rest[0] != ' ' || rest[1 + kDateLength] != ' ' ||
        rest[kDaysAt - 1] != ' ' || !readDate(rest.substr(1, kDateLength), parsed.record.first) ||
        !readDate(rest.substr(2 + kDateLength, kDateLength), parsed.record.last) || rest[kDaysAt] == '0') {
        return false;
    }
    std::uint32_t days = 0;
    std::size_t end = kDaysAt;
    for (; end < rest.size() && end < kDaysAt + kMaxDaysDigits && isDigit(rest[end]); ++end) {
        days = days * 10 + static_cast<std::uint32_t>(rest[end] - '0');
    }
    if (end == kDaysAt) return false;
    if (end < rest.size() && rest[end] == '\r') ++end;
    if (end >= rest.size() || rest[end] != '\n') return false;
    at += blank + end + 1;
    parsed.record.days = days;
    const SenderRecord& r = parsed.record;
    return r.first <= r.last && days <= static_cast<std::uint32_t>(r.last - r.first) + 1;
}

// A name below an organizational domain is none the history holds: a group
// of them could make every lookup of its name read them all. The lines kept
// are checked as their keys are made, which finds their public suffix anyway.
bool isOrganizational(std::string_view domain) { return organizationalDomain(domain).size() == domain.size(); }

int compareDomains(const void* a, const void* b) {
    return static_cast<const FileLine*>(a)->domain.compare(static_cast<const FileLine*>(b)->domain);
}

// Sorts by domain each run of lines that sortKeys left in one place, as
// sameKey tells, where it is out of order: with qsort, as the module has no
// sort of its own; a run in order costs its length.
void sortRuns(std::vector<FileLine>& lines, bool (*sameKey)(const FileLine&, const FileLine&)) {
    for (std::size_t start = 0, end = 0; start < lines.size(); start = end) {
        bool ordered = true;
        for (end = start + 1; end < lines.size() && sameKey(lines[end - 1], lines[end]); ++end) {
            ordered = ordered && lines[end - 1].domain < lines[end].domain;
        }
        if (!ordered) std::qsort(&lines[start], end - start, sizeof(FileLine), compareDomains);
    }
}

bool samePrefix(const FileLine& a, const FileLine& b) { return a.domain.substr(0, 6) == b.domain.substr(0, 6); }

}  // namespace

bool isLowerHostName(std::string_view domain) { return !domain.empty() && lowerHostNameAt(domain) == domain.size(); }

bool isStorableDomain(std::string_view domain) { return isLowerHostName(domain) && isOrganizational(domain); }

SenderHistory::SenderHistory(Day since, std::size_t capacity)
    : since_(std::min(std::max(since, kFirstDay), kLastDay)),
      capacity_(std::min(std::max<std::size_t>(capacity, 1), kMaxDomains)) {}

bool SenderHistory::read(std::string_view file) {
    std::size_t at = 0;
    std::string_view head;
    Day since = 0;
    if (!takeLine(file, at, head) || head.substr(0, kFirstLineStart.size()) != kFirstLineStart ||
        !readDate(head.substr(kFirstLineStart.size()), since)) {
        return false;
    }
    // At most a line per 26 bytes: a one-byte domain and three fields.
    std::vector<FileLine> lines;
    lines.reserve((file.size() - at) / 26);
    bool byDomain = true;  // as this module writes the file
    std::size_t bytes = 0;
    while (at < file.size()) {
        FileLine parsed;
        if (!parseLine(file, at, parsed)) return false;
        byDomain = byDomain && (lines.empty() || lines.back().domain < parsed.domain);
        bytes += parsed.domain.size();
        lines.push_back(parsed);
    }

    SenderHistory fresh(since, capacity_);
    if (lines.size() > capacity_) {
        // A domain twice, or below its organizational domain, is damage
        // among the lines dropped too.
        HashSlots seen;
        seen.reserve(lines.size());
        for (std::uint32_t i = 0; i < lines.size(); ++i) {
            if (!isOrganizational(lines[i].domain)) return false;
            const std::uint64_t hash = hashOf(lines[i].domain);
            for (HashSlots::Probe probe = seen.probe(hash);;) {
                const std::uint32_t other = seen.next(probe);
                if (other == kNone) break;
                if (lines[other].domain == lines[i].domain) return false;
            }
            seen.insert(hash, i);
        }
    }
    // Recorded longest ago first, as the recency list runs: by LAST, then by
    // domain, which the lines are in once sorted, if a hand did not write
    // them. Past capacity, those seen last are kept.
    if (!byDomain) std::qsort(lines.data(), lines.size(), sizeof(FileLine), compareDomains);
    std::vector<std::uint64_t> order(lines.size());
    for (std::uint32_t i = 0; i < lines.size(); ++i) {
        order[i] = static_cast<std::uint64_t>(lines[i].record.last - kFirstDay) << 32 | i;
    }
    sortKeys(order);
    std::size_t first = 0;  // the first line kept, in order
    if (lines.size() > capacity_) {
        first = lines.size() - capacity_;
        fresh.changed_ = true;
        bytes = 0;
        for (std::size_t i = first; i < lines.size(); ++i) bytes += lines[order[i] & 0xFFFFFFFF].domain.size();
    }
    const std::size_t count = lines.size() - first;
    const auto lineAt = [&](std::size_t i) -> const FileLine& { return lines[order[first + i] & 0xFFFFFFFF]; };

    fresh.pool_.reserve(bytes);
    fresh.entries_.reserve(count);
    fresh.domains_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const FileLine& line = lineAt(i);
        const EntryKeys keys = keysOf(line.domain, line.record.days >= kKnownDays);
        if (!keys.organizational) return false;
        const auto placed = static_cast<std::uint32_t>(i);
        if (fresh.findEntry(line.domain, keys.domain) != kNone) return false;
        const auto poolAt = static_cast<std::uint32_t>(fresh.pool_.size());
        fresh.pool_.insert(fresh.pool_.end(), line.domain.begin(), line.domain.end());
        fresh.entries_.emplace_back();
        fresh.placeEntry(placed, poolAt, line.domain.size(), keys, line.record);
    }
    fresh.indexAllKnown();
    *this = std::move(fresh);
    return true;
}

std::string SenderHistory::write() const {
    // By the first six bytes of the domain, the entry's number below them;
    // then by the rest where six are the same.
    // The entry's number in the low 16 bits of its key.
    static_assert(kMaxDomains <= 0x10000, "an entry's number fits in 16 bits");
    std::vector<std::uint64_t> order(entries_.size());
    std::size_t total = kFirstLineStart.size() + kDateLength + 1;
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        const std::string_view domain = domainOf(entries_[i]);
        std::uint64_t prefix = 0;
        for (std::size_t k = 0; k < 6; ++k) prefix = prefix << 8 | (k < domain.size() ? static_cast<unsigned char>(domain[k]) : 0);
        order[i] = prefix << 16 | i;
        total += domain.size() + 3 + 2 * kDateLength + kMaxDaysDigits + 1;
    }
    sortKeys(order);
    std::vector<FileLine> lines(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Entry& entry = entries_[order[i] & 0xFFFF];
        lines[i] = {domainOf(entry), entry.record};
    }
    sortRuns(lines, samePrefix);

    std::string file(total, '\0');
    char* out = writeText(kFirstLineStart, file.data());
    out = writeDate(since_, out);
    *out++ = '\n';
    for (const FileLine& line : lines) {
        out = writeText(line.domain, out);
        *out++ = ' ';
        out = writeDate(line.record.first, out);
        *out++ = ' ';
        out = writeDate(line.record.last, out);
        *out++ = ' ';
        out = writeNumber(line.record.days, out);
        *out++ = '\n';
    }
    file.resize(static_cast<std::size_t>(out - file.data()));
    return file;
}

void SenderHistory::record(std::string_view organization, Day today) {
    if (today < kFirstDay || today > kLastDay) return;
    // Nearly every mail comes from a domain recorded today already: found
    // by its hash alone, it changes nothing.
    const std::uint64_t hash = hashOf(organization);
    const std::uint32_t found = findEntry(organization, hash);
    if (found != kNone && entries_[found].record.last >= today) return;
    if (found == kNone && !isStorableDomain(organization)) return;
    // Room first, so that running out of memory leaves the history whole.
    domains_.reserve(domains_.size() + 1);
    lastNote_.size = 0;

    if (found != kNone) {
        Entry& entry = entries_[found];
        entry.record.last = today;
        ++entry.record.days;
        unlinkRecent(found);
        appendRecent(found);
        if (entry.record.days >= kKnownDays) knownDaysChanged(found);
        changed_ = true;
        return;
    }
    const EntryKeys keys = keysOf(organization, false);
    poolRoom(organization.size());
    std::uint32_t at = oldest_;
    if (entries_.size() < capacity_) {
        entries_.emplace_back();
        at = static_cast<std::uint32_t>(entries_.size() - 1);
    } else {
        if (entries_[at].record.days >= kKnownDays) unindexKnown(at);
        domains_.erase(hashOf(domainOf(entries_[at])), at);
        unlinkRecent(at);
        evictedBytes_ += entries_[at].size;
    }
    const auto poolAt = static_cast<std::uint32_t>(pool_.size());
    pool_.insert(pool_.end(), organization.begin(), organization.end());
    placeEntry(at, poolAt, organization.size(), keys, {today, today, 1});
    changed_ = true;
}

void SenderHistory::poolRoom(std::size_t size) {
    if (pool_.size() + size <= pool_.capacity()) return;
    const std::size_t kept = pool_.size() - evictedBytes_;
    if (evictedBytes_ <= kept) {
        pool_.reserve(std::max(pool_.size() + size, 2 * pool_.capacity()));
        return;
    }
    // Each byte moved here was appended after the last move: linear in all.
    std::vector<char> moved;
    moved.reserve(2 * kept + size);
    for (Entry& entry : entries_) {
        const std::string_view domain = domainOf(entry);
        entry.at = static_cast<std::uint32_t>(moved.size());
        moved.insert(moved.end(), domain.begin(), domain.end());
    }
    pool_.swap(moved);
    evictedBytes_ = 0;
}

const SenderRecord* SenderHistory::find(std::string_view domain) const noexcept {
    const std::uint32_t found = findEntry(domain, hashOf(domain));
    return found == kNone ? nullptr : &entries_[found].record;
}

std::uint32_t SenderHistory::findEntry(std::string_view domain, std::uint64_t hash) const {
    for (HashSlots::Probe probe = domains_.probe(hash);;) {
        const std::uint32_t entry = domains_.next(probe);
        if (entry == kNone || domainOf(entries_[entry]) == domain) return entry;
    }
}

SenderHistory::EntryKeys SenderHistory::keysOf(std::string_view domain, bool) {
    EntryKeys keys;
    PublicSuffix suffix;
    std::size_t nameStart = 0;
    const bool found = findPublicSuffix(domain, suffix);
    if (found && suffix.start > 0) {
        nameStart = labelBefore(domain, suffix.start - 1);
        keys.nameStart = static_cast<std::uint8_t>(nameStart);
        keys.nameLength = static_cast<std::uint8_t>(suffix.start - 1 - nameStart);
    }
    keys.organizational = found && nameStart == 0;
    keys.domain = hashOf(domain);
    return keys;
}

void SenderHistory::placeEntry(std::uint32_t at, std::uint32_t poolAt, std::size_t size, const EntryKeys& keys,
                               const SenderRecord& record) {
    Entry& entry = entries_[at];
    entry = Entry();
    entry.at = poolAt;
    entry.size = static_cast<std::uint8_t>(size);
    entry.record = record;
    entry.nameStart = keys.nameStart;
    entry.nameLength = keys.nameLength;
    domains_.insert(keys.domain, at);
    appendRecent(at);
}

void SenderHistory::appendRecent(std::uint32_t entry) {
    entries_[entry].recency = {newest_, kNone};
    if (newest_ != kNone) entries_[newest_].recency.next = entry;
    newest_ = entry;
    if (oldest_ == kNone) oldest_ = entry;
}

void SenderHistory::unlinkRecent(std::uint32_t entry) {
    const Links links = entries_[entry].recency;
    (links.previous != kNone ? entries_[links.previous].recency.next : oldest_) = links.next;
    (links.next != kNone ? entries_[links.next].recency.previous : newest_) = links.previous;
}

std::string_view SenderHistory::nameOf(const Entry& entry) const {
    return domainOf(entry).substr(entry.nameStart, entry.nameLength);
}
