#include "keys/kept_keys.h"

#include <algorithm>
#include <cstring>


namespace {

constexpr std::string_view kHead = "# Quillmark keys 1 since ";
constexpr std::string_view kDomainKey = "._domainkey.";
constexpr std::size_t kLongestName = 253;
constexpr std::size_t kLongestLabel = 63;

bool isNameByte(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'; }

// Whether name is "selector._domainkey.domain" as DNS is asked it: lower
// case, labels of 1 to 63 bytes, at most 253 bytes.
bool isKeyName(std::string_view name) {
    if (name.empty() || name.size() > kLongestName) return false;
    const std::size_t at = name.find(kDomainKey);
    if (at == 0 || at == std::string_view::npos || at + kDomainKey.size() >= name.size()) return false;
    std::size_t label = 0;
    for (const char c : name) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
        } else if (!isNameByte(c) || ++label > kLongestLabel) {
            return false;
        }
    }
    return label != 0;
}

// Cuts the first blank-ended field off text.
std::string_view cutField(std::string_view& text) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(end == text.size() ? end : end + 1);
    return field;
}

}  // namespace

std::string KeptKeys::keptForm(std::string_view record) {
    std::string kept;
    for (const char c : record) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c < '!' || c > '~' || kept.size() == kLongestRecord) return {};
        kept += c;
    }
    return keyOf(kept).empty() ? std::string() : kept;
}

std::string_view KeptKeys::keyOf(std::string_view kept) {
    while (!kept.empty()) {
        const std::size_t end = std::min(kept.find(';'), kept.size());
        const std::string_view tag = kept.substr(0, end);
        if (tag.size() >= 2 && tag[0] == 'p' && tag[1] == '=') return tag.substr(2);
        kept.remove_prefix(end == kept.size() ? end : end + 1);
    }
    return {};
}

std::vector<KeptKey> KeptKeys::keysOf(std::string_view name) const {
    std::vector<KeptKey> keys;
    auto at = std::lower_bound(lines_.begin(), lines_.end(), name,
                               [](const Line& line, std::string_view n) { return line.name < n; });
    for (; at != lines_.end() && at->name == name; ++at) keys.push_back({at->first, at->last, at->record});
    return keys;
}

std::vector<KeptKeys::Line>::iterator KeptKeys::find(std::string_view name, std::string_view key) {
    auto at = std::lower_bound(lines_.begin(), lines_.end(), name,
                               [](const Line& line, std::string_view n) { return line.name < n; });
    for (; at != lines_.end() && at->name == name; ++at) {
        if (keyOf(at->record) == key) return at;
    }
    return lines_.end();
}

void KeptKeys::see(std::string_view name, std::string_view record, Day today) {
    const std::string kept = keptForm(record);
    if (kept.empty()) return;
    const auto at = find(name, keyOf(kept));
    if (at == lines_.end() || at->last >= today) return;
    at->last = today;
    at->record = kept;
    changed_ = true;
}

void KeptKeys::keep(std::string_view name, std::string_view record, Day today) {
    const std::string kept = keptForm(record);
    if (kept.empty() || !isKeyName(name) || today < kFirstDay || today > kLastDay) return;
    if (find(name, keyOf(kept)) != lines_.end()) {
        see(name, record, today);
        return;
    }
    Line line{std::string(name), today, today, kept};
    const auto place = std::upper_bound(lines_.begin(), lines_.end(), line, [](const Line& a, const Line& b) {
        return a.name != b.name ? a.name < b.name : a.first < b.first;
    });
    const auto added = lines_.insert(place, std::move(line));
    changed_ = true;
    // Past a limit, the key of the name (or of the file) last seen longest
    // ago goes: the one just added was seen today.
    const auto oldestOf = [](auto first, auto last) {
        return std::min_element(first, last, [](const Line& a, const Line& b) { return a.last < b.last; });
    };
    auto first = added;
    while (first != lines_.begin() && std::prev(first)->name == name) --first;
    auto last = added;
    while (last != lines_.end() && last->name == name) ++last;
    if (static_cast<std::size_t>(last - first) > kMaxKeysAName) lines_.erase(oldestOf(first, last));
    if (lines_.size() > kMaxLines) lines_.erase(oldestOf(lines_.begin(), lines_.end()));
}

bool KeptKeys::readLines(std::string_view file, Day today, Day& since, std::vector<Line>& lines) {
    KeptLines reader(file, kMaxLineLength);
    std::string_view text;
    if (reader.next(text) != KeptLines::Next::kLine || text.substr(0, kHead.size()) != kHead ||
        !readDate(text.substr(kHead.size()), since)) {
        return false;
    }
    since = std::min(since, today);
    KeptLines::Next next;
    while ((next = reader.next(text)) == KeptLines::Next::kLine) {
        Line line;
        line.name = std::string(cutField(text));
        std::string_view record = text;
        const std::string_view first = cutField(record);
        const std::string_view last = cutField(record);
        if (!isKeyName(line.name) || !readDate(first, line.first) || !readDate(last, line.last) ||
            line.first > line.last || record.empty() || keptForm(record) != record) {
            return false;
        }
        line.first = std::min(line.first, today);
        line.last = std::min(line.last, today);
        line.record = std::string(record);
        lines.push_back(std::move(line));
    }
    return next == KeptLines::Next::kEnd;
}

void KeptKeys::tidy(std::vector<Line>& lines) {
    // Each line's key, read once: sorting compares them often.
    struct Keyed {
        std::string_view key;
        Line* line;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(lines.size());
    for (Line& line : lines) keyed.push_back({keyOf(line.record), &line});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.line->name != b.line->name) return a.line->name < b.line->name;
        if (a.key != b.key) return a.key < b.key;
        return a.line->last < b.line->last;
    });
    std::vector<Line> tidied;
    tidied.reserve(lines.size());
    for (std::size_t i = 0; i < keyed.size();) {
        // Of a name and key, the record last seen, first and last seen over all.
        std::size_t end = i + 1;
        while (end < keyed.size() && keyed[end].key == keyed[i].key && keyed[end].line->name == keyed[i].line->name) {
            ++end;
        }
        Line& latest = *keyed[end - 1].line;
        for (std::size_t j = i; j + 1 < end; ++j) latest.first = std::min(latest.first, keyed[j].line->first);
        tidied.push_back(std::move(latest));
        i = end;
    }
    // The newest keys of each name, then of the file, stay.
    const auto newerFirst = [](const Line& a, const Line& b) { return a.last > b.last; };
    std::vector<Line> kept;
    kept.reserve(tidied.size());
    for (std::size_t i = 0; i < tidied.size();) {
        std::size_t end = i + 1;
        while (end < tidied.size() && tidied[end].name == tidied[i].name) ++end;
        std::stable_sort(tidied.begin() + static_cast<std::ptrdiff_t>(i), tidied.begin() + static_cast<std::ptrdiff_t>(end),
                         newerFirst);
        for (std::size_t j = i; j < end && j - i < kMaxKeysAName; ++j) kept.push_back(std::move(tidied[j]));
        i = end;
    }
    if (kept.size() > kMaxLines) {
        std::stable_sort(kept.begin(), kept.end(), newerFirst);
        kept.resize(kMaxLines);
    }
    std::sort(kept.begin(), kept.end(), [](const Line& a, const Line& b) {
        if (a.name != b.name) return a.name < b.name;
        if (a.first != b.first) return a.first < b.first;
        return a.record < b.record;
    });
    lines = std::move(kept);
}

bool KeptKeys::read(std::string_view file, Day today) {
    Day since = 0;
    std::vector<Line> lines;
    if (!readLines(file, today, since, lines)) return false;
    const std::size_t count = lines.size();
    tidy(lines);
    since_ = since;
    lines_ = std::move(lines);
    // A file that was not as it is written again is written again.
    changed_ = lines_.size() != count || write() != file;
    return true;
}

bool KeptKeys::merge(std::string_view file, Day today) {
    Day since = 0;
    std::vector<Line> lines;
    if (!readLines(file, today, since, lines)) return false;
    lines.insert(lines.end(), lines_.begin(), lines_.end());
    tidy(lines);
    since_ = std::min(since_, since);
    lines_ = std::move(lines);
    // Changed exactly when the keys hold what file does not.
    KeptKeys theirs(since);
    changed_ = !theirs.read(file, today) || theirs.write() != write();
    return true;
}

std::string KeptKeys::write() const {
    std::string file;
    std::size_t size = kHead.size() + kDateLength + 1;
    for (const Line& line : lines_) size += line.name.size() + 2 * kDateLength + line.record.size() + 4;
    file.reserve(size);
    char date[kDateLength];
    file.append(kHead).append(date, writeDate(since_, date)).append(1, '\n');
    for (const Line& line : lines_) {
        file.append(line.name).append(1, ' ');
        file.append(date, writeDate(line.first, date)).append(1, ' ');
        file.append(date, writeDate(line.last, date)).append(1, ' ');
        file.append(line.record).append(1, '\n');
    }
    return file;
}
