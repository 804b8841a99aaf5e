#include "senders/sender_history.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "domains/public_suffixes.h"
#include "text/ascii.h"
#include "text/writing.h"

namespace {

constexpr std::uint32_t kNone = HashSlots::kNone;
constexpr std::string_view kFirstLineStart = "# Quillmark senders 1 since ";
constexpr std::size_t kMaxDaysDigits = 7;  // more than any count of four-digit years' dates

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

// Reads "DOMAIN FIRST LAST DAYS" exactly.
bool parseLine(std::string_view line, FileLine& parsed) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    parsed.domain = line.substr(0, blank);
    // " FIRST LAST DAYS" from the blank on.
    const std::string_view rest = line.substr(blank);
    constexpr std::size_t kDaysAt = 3 + 2 * kDateLength;
    if (rest.size() <= kDaysAt || rest.size() > kDaysAt + kMaxDaysDigits || rest[1 + kDateLength] != ' ' ||
        rest[kDaysAt - 1] != ' ' || !isStorableDomain(parsed.domain) ||
        !readDate(rest.substr(1, kDateLength), parsed.record.first) ||
        !readDate(rest.substr(2 + kDateLength, kDateLength), parsed.record.last) || rest[kDaysAt] == '0') {
        return false;
    }
    std::uint32_t days = 0;
    for (const char c : rest.substr(kDaysAt)) {
        if (!isDigit(c)) return false;
        days = days * 10 + static_cast<std::uint32_t>(c - '0');
    }
    parsed.record.days = days;
    const SenderRecord& r = parsed.record;
    return r.first <= r.last && days <= static_cast<std::uint32_t>(r.last - r.first) + 1;
}

// The order the file keeps: of two lines, the one of the later LAST, and of
// one LAST the later domain in byte order.
bool seenLater(const FileLine& a, const FileLine& b) {
    return a.record.last != b.record.last ? a.record.last > b.record.last : a.domain > b.domain;
}

}  // namespace

bool isStorableDomain(std::string_view domain) {
    if (!isHostName(domain)) return false;
    for (const char c : domain) {
        if (c >= 'A' && c <= 'Z') return false;
    }
    return true;
}

SenderHistory::SenderHistory(Day since, std::size_t capacity)
    : since_(std::min(std::max(since, kFirstDay), kLastDay)), capacity_(std::max<std::size_t>(capacity, 1)) {}

bool SenderHistory::read(std::string_view file) {
    std::size_t at = 0;
    std::string_view line;
    Day since = 0;
    if (!takeLine(file, at, line) || line.substr(0, kFirstLineStart.size()) != kFirstLineStart ||
        !readDate(line.substr(kFirstLineStart.size()), since)) {
        return false;
    }
    std::vector<FileLine> lines;
    HashSlots seen;
    while (at < file.size()) {
        FileLine parsed;
        if (!takeLine(file, at, line) || !parseLine(line, parsed)) return false;
        const std::uint64_t hash = hashOf(parsed.domain);
        for (HashSlots::Probe probe = seen.probe(hash);;) {
            const std::uint32_t other = seen.next(probe);
            if (other == kNone) break;
            if (lines[other].domain == parsed.domain) return false;
        }
        seen.insert(hash, static_cast<std::uint32_t>(lines.size()));
        lines.push_back(parsed);
    }

    SenderHistory fresh(since, capacity_);
    if (lines.size() > capacity_) {
        std::nth_element(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(capacity_), lines.end(), seenLater);
        lines.resize(capacity_);
        fresh.changed_ = true;
    }
    // Recorded longest ago first, as the recency list runs.
    std::sort(lines.begin(), lines.end(), [](const FileLine& a, const FileLine& b) { return seenLater(b, a); });
    fresh.entries_.resize(lines.size());
    fresh.domains_.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        fresh.placeEntry(static_cast<std::uint32_t>(i), std::string(lines[i].domain), lines[i].record);
    }
    *this = std::move(fresh);
    return true;
}

std::string SenderHistory::write() const {
    // Sorted by the first eight bytes as one number, then, where they are
    // the same, by the rest: most comparisons are of numbers.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> order(entries_.size());
    std::size_t total = kFirstLineStart.size() + kDateLength + 1;
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        const std::string& domain = entries_[i].domain;
        std::uint64_t prefix = 0;
        for (std::size_t k = 0; k < 8; ++k) prefix = prefix << 8 | (k < domain.size() ? static_cast<unsigned char>(domain[k]) : 0);
        order[i] = {prefix, i};
        total += domain.size() + 3 + 2 * kDateLength + kMaxDaysDigits + 1;
    }
    std::sort(order.begin(), order.end(), [this](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : entries_[a.second].domain < entries_[b.second].domain;
    });

    std::string file(total, '\0');
    char* out = writeText(kFirstLineStart, file.data());
    out = writeDate(since_, out);
    *out++ = '\n';
    for (const auto& item : order) {
        const Entry& entry = entries_[item.second];
        out = writeText(entry.domain, out);
        *out++ = ' ';
        out = writeDate(entry.record.first, out);
        *out++ = ' ';
        out = writeDate(entry.record.last, out);
        *out++ = ' ';
        out = writeNumber(entry.record.days, out);
        *out++ = '\n';
    }
    file.resize(static_cast<std::size_t>(out - file.data()));
    return file;
}

void SenderHistory::record(std::string_view organization, Day today) {
    if (today < kFirstDay || today > kLastDay || !isStorableDomain(organization)) return;
    // Room first, so that running out of memory leaves the history whole.
    domains_.reserve(domains_.size() + 1);
    skeletons_.reserve(skeletons_.size() + 1);
    names_.reserve(names_.size() + 1);
    neighbours_.reserve(neighbours_.size() + 63);

    const std::uint32_t found = findEntry(organization);
    if (found != kNone) {
        Entry& entry = entries_[found];
        if (entry.record.last >= today) return;
        entry.record.last = today;
        ++entry.record.days;
        unlinkRecent(found);
        appendRecent(found);
        if (entry.record.days == kKnownDays) indexKnown(found);
        changed_ = true;
        return;
    }
    std::string domain(organization);
    std::uint32_t at = oldest_;
    if (entries_.size() < capacity_) {
        entries_.emplace_back();
        at = static_cast<std::uint32_t>(entries_.size() - 1);
    } else {
        if (entries_[at].record.days >= kKnownDays) unindexKnown(at);
        domains_.erase(hashOf(entries_[at].domain), at);
        unlinkRecent(at);
    }
    placeEntry(at, std::move(domain), {today, today, 1});
    changed_ = true;
}

const SenderRecord* SenderHistory::find(std::string_view domain) const {
    const std::uint32_t found = findEntry(domain);
    return found == kNone ? nullptr : &entries_[found].record;
}

std::uint32_t SenderHistory::findEntry(std::string_view domain) const {
    for (HashSlots::Probe probe = domains_.probe(hashOf(domain));;) {
        const std::uint32_t entry = domains_.next(probe);
        if (entry == kNone || entries_[entry].domain == domain) return entry;
    }
}

void SenderHistory::placeEntry(std::uint32_t at, std::string&& domain, const SenderRecord& record) {
    Entry& entry = entries_[at];
    entry = Entry();
    entry.domain = std::move(domain);
    entry.record = record;
    PublicSuffix suffix;
    if (findPublicSuffix(entry.domain, suffix) && suffix.start > 0) {
        const std::size_t nameStart = labelBefore(entry.domain, suffix.start - 1);
        entry.nameStart = static_cast<std::uint8_t>(nameStart);
        entry.nameLength = static_cast<std::uint8_t>(suffix.start - 1 - nameStart);
    }
    domains_.insert(hashOf(entry.domain), at);
    appendRecent(at);
    if (record.days >= kKnownDays) indexKnown(at);
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
    return std::string_view(entry.domain).substr(entry.nameStart, entry.nameLength);
}
