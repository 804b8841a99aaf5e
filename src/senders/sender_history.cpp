#include "senders/sender_history.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "domains/public_suffixes.h"
#include "keptfile/kept_text.h"
#include "senders/skeleton.h"
#include "text/ascii.h"
#include "text/writing.h"

namespace {

constexpr std::uint32_t kNone = HashSlots::kNone;
constexpr std::string_view kFirstLineStart = "# Quillmark senders 1 since ";
constexpr std::size_t kMaxDaysDigits = 7;  // of the most dates four-digit years hold, 3,652,425

using FileLine = SenderLine;

// The length of the lower-case host name that begins text, 0 for none.
// One pass: a history's lines are mostly their domains.
std::size_t lowerHostNameAt(std::string_view text) {
    return nameLengthAt(text, [](char c) { return (c >= 'a' && c <= 'z') || isDigit(c) || c == '-'; }, true);
}

// Reads line, "DOMAIN FIRST LAST DAYS" exactly, into parsed.
bool parseLine(std::string_view line, FileLine& parsed) {
    const std::size_t blank = lowerHostNameAt(line);
    parsed.domain = line.substr(0, blank);
    // " FIRST LAST DAYS" from the blank on.
    const std::string_view rest = line.substr(blank);
    constexpr std::size_t kDaysAt = 3 + 2 * kDateLength;
    if (blank == 0 || rest.size() <= kDaysAt || rest.size() > kDaysAt + kMaxDaysDigits || rest[0] != ' ' ||
        rest[1 + kDateLength] != ' ' || rest[kDaysAt - 1] != ' ' ||
        !readDate(rest.substr(1, kDateLength), parsed.record.first) ||
        !readDate(rest.substr(2 + kDateLength, kDateLength), parsed.record.last) || rest[kDaysAt] == '0') {
        return false;
    }
    std::uint32_t days = 0;
    for (std::size_t i = kDaysAt; i < rest.size(); ++i) {
        if (!isDigit(rest[i])) return false;
        days = days * 10 + static_cast<std::uint32_t>(rest[i] - '0');
    }
    parsed.record.days = days;
    const SenderRecord& r = parsed.record;
    return r.first <= r.last && days <= static_cast<std::uint32_t>(r.last - r.first) + 1;
}

// A record as read on today: dates later than today are today's, as a
// clock once set ahead wrote them, and no more dates than that leaves.
// True when it changed.
bool holdToToday(SenderRecord& record, Day today) {
    if (record.last <= today) return false;
    record.last = today;
    record.first = std::min(record.first, today);
    record.days = std::min(record.days, static_cast<std::uint32_t>(today - record.first) + 1);
    return true;
}

// One record of two of a domain: the earlier first date, the later last,
// the larger count, which two processes' records of it both allow.
SenderRecord mergedRecord(const SenderRecord& a, const SenderRecord& b) {
    return {std::min(a.first, b.first), std::max(a.last, b.last), std::max(a.days, b.days)};
}

bool operator==(const SenderRecord& a, const SenderRecord& b) {
    return a.first == b.first && a.last == b.last && a.days == b.days;
}

// A name below an organizational domain is none the history holds: a group
// of them could make every lookup of its name read them all. The lines kept
// are checked as their keys are made, which finds their public suffix anyway.
bool isOrganizational(std::string_view domain) { return organizationalDomain(domain).size() == domain.size(); }

int compareDomains(const void* a, const void* b) {
    return static_cast<const FileLine*>(a)->domain.compare(static_cast<const FileLine*>(b)->domain);
}

// Reads file's first line and its lines as read on today, dates later than
// today held to today; altered tells that what is kept differs from the
// lines. False for no history.
bool readLines(std::string_view file, Day today, Day& since, std::vector<FileLine>& lines, bool& altered) {
    KeptLines reader(file, SenderHistory::kMaxLineLength - 1);  // its LF counted
    std::string_view line;
    if (reader.next(line) != KeptLines::Next::kLine || line.substr(0, kFirstLineStart.size()) != kFirstLineStart ||
        !readDate(line.substr(kFirstLineStart.size()), since)) {
        return false;
    }
    if (since > today) {
        since = today;
        altered = true;
    }
    // A line read is 25 bytes at least, a one-byte domain and three fields:
    // room for as many, made at once, and what is left over cut off.
    lines = std::vector<FileLine>(file.size() / 25 + 1);
    std::size_t count = 0;
    for (KeptLines::Next next; (next = reader.next(line)) != KeptLines::Next::kEnd;) {
        FileLine& parsed = lines[count];
        if (next == KeptLines::Next::kDamaged || !parseLine(line, parsed) || ++count == lines.size()) return false;
        altered = holdToToday(parsed.record, today) || altered;
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(count), lines.end());
    return true;
}

// Sorts lines by domain, as the module writes them unless a hand did not,
// and makes the lines of one domain one, by mergedRecord: altered when any
// were.
void byDomain(std::vector<FileLine>& lines, bool& altered) {
    bool sorted = true;
    for (std::size_t i = 1; i < lines.size() && sorted; ++i) sorted = lines[i - 1].domain < lines[i].domain;
    if (sorted) return;
    std::qsort(lines.data(), lines.size(), sizeof(FileLine), compareDomains);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (kept > 0 && lines[kept - 1].domain == lines[i].domain) {
            lines[kept - 1].record = mergedRecord(lines[kept - 1].record, lines[i].record);
            altered = true;
        } else {
            lines[kept++] = lines[i];
        }
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(kept), lines.end());
}

}  // namespace

bool isLowerHostName(std::string_view domain) { return !domain.empty() && lowerHostNameAt(domain) == domain.size(); }

bool isStorableDomain(std::string_view domain) { return isLowerHostName(domain) && isOrganizational(domain); }

SenderHistory::SenderHistory(Day since, std::size_t capacity)
    : since_(std::min(std::max(since, kFirstDay), kLastDay)),
      capacity_(std::min(std::max<std::size_t>(capacity, 1), kMaxDomains)) {}

bool SenderHistory::read(std::string_view file, Day today) {
    Day since = 0;
    std::vector<FileLine> lines;
    bool altered = false;
    if (!readLines(file, today, since, lines, altered)) return false;
    byDomain(lines, altered);
    return build(since, lines, altered);
}

bool SenderHistory::merge(std::string_view file, Day today) {
    Day since = 0;
    std::vector<FileLine> theirs;
    bool changed = false;
    if (!readLines(file, today, since, theirs, changed)) return false;
    byDomain(theirs, changed);
    // Both by domain: one walk finds each domain's records.
    const std::vector<FileLine> ours = linesByDomain();
    std::vector<FileLine> lines(ours.size() + theirs.size());
    std::size_t count = 0;
    for (std::size_t i = 0, k = 0; i < ours.size() || k < theirs.size();) {
        if (k == theirs.size() || (i < ours.size() && ours[i].domain < theirs[k].domain)) {
            lines[count++] = ours[i++];
            changed = true;
        } else if (i == ours.size() || theirs[k].domain < ours[i].domain) {
            lines[count++] = theirs[k++];
        } else {
            const FileLine both{theirs[k].domain, mergedRecord(ours[i].record, theirs[k].record)};
            changed = changed || !(both.record == theirs[k].record);
            lines[count++] = both;
            ++i;
            ++k;
        }
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(count), lines.end());
    changed = changed || since_ < since;
    return build(std::min(since, since_), lines, changed);
}

bool SenderHistory::build(Day since, std::vector<FileLine>& lines, bool changed) {
    // Nearly every file holds organizational domains only, which each line's
    // public suffix, found once as its keys are made, tells. A domain below
    // its organizational domain, which an older list of public suffixes
    // made one, is read as that domain, in a second pass.
    // Past capacity, the lines kept are chosen among the domains read as
    // their organizational domains, so that pass comes first.
    if (lines.size() <= capacity_) {
        const Placed placed = place(since, lines, changed);
        if (placed != Placed::kBelowItsDomain) return placed == Placed::kPlaced;
    }
    for (FileLine& line : lines) {
        const std::string_view organization = organizationalDomain(line.domain);
        changed = changed || organization.size() != line.domain.size();
        line.domain = organization;
    }
    byDomain(lines, changed);
    return place(since, lines, changed) == Placed::kPlaced;
}

SenderHistory::Placed SenderHistory::place(Day since, const std::vector<FileLine>& lines, bool changed) {
    std::size_t bytes = 0;
    for (const FileLine& line : lines) bytes += line.domain.size();
    SenderHistory fresh(since, capacity_);
    fresh.changed_ = changed;
    // Recorded longest ago first, as the recency list runs: by LAST, then by
    // domain, which the lines are in. Past capacity, those seen last are kept.
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
        if (!keys.organizational) return Placed::kBelowItsDomain;
        if (fresh.findEntry(line.domain, keys.domain) != kNone) return Placed::kRefused;
        const auto poolAt = static_cast<std::uint32_t>(fresh.pool_.size());
        fresh.pool_.append(line.domain.data(), line.domain.size());
        fresh.entries_.emplace_back();
        fresh.placeEntry(static_cast<std::uint32_t>(i), poolAt, line.domain.size(), keys, line.record);
    }
    fresh.indexAllKnown();
    *this = std::move(fresh);
    return Placed::kPlaced;
}

std::vector<FileLine> SenderHistory::linesByDomain() const {
    std::vector<FileLine> lines(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) lines[i] = {domainOf(entries_[i]), entries_[i].record};
    if (!lines.empty()) std::qsort(lines.data(), lines.size(), sizeof(FileLine), compareDomains);
    return lines;
}

std::string SenderHistory::write() const {
    const std::vector<FileLine> lines = linesByDomain();
    std::size_t total = kFirstLineStart.size() + kDateLength + 1;
    for (const FileLine& line : lines) total += line.domain.size() + 3 + 2 * kDateLength + kMaxDaysDigits + 1;
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
    pool_.append(organization.data(), organization.size());
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
    std::string moved;
    moved.reserve(2 * kept + size);
    for (Entry& entry : entries_) {
        const std::string_view domain = domainOf(entry);
        entry.at = static_cast<std::uint32_t>(moved.size());
        moved.append(domain.data(), domain.size());
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
