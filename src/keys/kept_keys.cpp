#include "keys/kept_keys.h"

#include <algorithm>
#include <cstdlib>
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

// A line's parts: its name, then FIRST and LAST as "YYYY-MM-DD" at fixed
// places after it, which compare as text as they do as dates.
std::string_view nameOf(const std::string& line) { return std::string_view(line).substr(0, line.find(' ')); }
std::string_view dateAt(const std::string& line, std::size_t which) {
    return std::string_view(line).substr(nameOf(line).size() + 1 + which * (kDateLength + 1), kDateLength);
}
std::string_view firstText(const std::string& line) { return dateAt(line, 0); }
std::string_view lastText(const std::string& line) { return dateAt(line, 1); }

std::string lineOf(std::string_view name, Day first, Day last, std::string_view record) {
    char dates[2 * kDateLength + 3];
    char* at = dates;
    *at++ = ' ';
    at = writeDate(first, at);
    *at++ = ' ';
    at = writeDate(last, at);
    *at++ = ' ';
    std::string line;
    line.reserve(name.size() + sizeof dates + record.size());
    return line.append(name).append(dates, sizeof dates).append(record);
}

// The line as tidying sees it. The C library's sort keeps the module
// small: no sort is made for each order.
struct Ref {
    std::string* line;
    std::string_view name;
    std::string_view key;
    std::string_view last;
};
int compare(std::string_view a, std::string_view b) { return a.compare(b); }
int byNameKeyLast(const void* a, const void* b) {
    const Ref& x = *static_cast<const Ref*>(a);
    const Ref& y = *static_cast<const Ref*>(b);
    if (const int c = compare(x.name, y.name)) return c;
    if (const int c = compare(x.key, y.key)) return c;
    if (const int c = compare(x.last, y.last)) return c;
    return x.line->compare(*y.line);
}
// The latest LAST first; of one LAST, in the order of the file.
int byLastNewest(const void* a, const void* b) {
    const Ref& x = *static_cast<const Ref*>(a);
    const Ref& y = *static_cast<const Ref*>(b);
    if (const int c = compare(y.last, x.last)) return c;
    return x.line->compare(*y.line);
}
int byText(const void* a, const void* b) {
    return static_cast<const Ref*>(a)->line->compare(*static_cast<const Ref*>(b)->line);
}
void sortRefs(Ref* refs, std::size_t count, int (*order)(const void*, const void*)) {
    std::qsort(refs, count, sizeof *refs, order);
}

}  // namespace

bool KeptKeys::isKeptForm(std::string_view record) {
    if (record.size() > kLongestRecord || keyOf(record).empty()) return false;
    for (const char c : record) {
        if (c < '!' || c > '~') return false;
    }
    return true;
}

bool KeptKeys::sameRecord(std::string_view kept, std::string_view record) {
    std::size_t at = 0;
    for (const char c : record) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (at == kept.size() || kept[at++] != c) return false;
    }
    return at == kept.size();
}

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

Day KeptKeys::firstOf(const std::string& line) {
    Day day = 0;
    readDate(firstText(line), day);
    return day;
}

Day KeptKeys::lastOf(const std::string& line) {
    Day day = 0;
    readDate(lastText(line), day);
    return day;
}

std::string_view KeptKeys::recordOf(const std::string& line) {
    return std::string_view(line).substr(nameOf(line).size() + 2 * kDateLength + 3);
}

KeptKeys::Range KeptKeys::keysOf(std::string_view name) const {
    // Lines of name begin with it and a blank, which sorts before any byte
    // of a name: they stand together, from the first not before that.
    const auto before = [name](const std::string& line, std::nullptr_t) {
        const int c = line.compare(0, name.size(), name.data(), name.size());
        return c != 0 ? c < 0 : line.size() > name.size() && line[name.size()] < ' ';
    };
    const std::string* const last = lines_.data() + lines_.size();
    const std::string* const at = std::lower_bound(lines_.data(), last, nullptr, before);
    const std::string* end = at;
    while (end != last && nameOf(*end) == name) ++end;
    return {at, end};
}

std::string* KeptKeys::find(std::string_view name, std::string_view key) {
    const Range range = keysOf(name);
    for (const std::string* line = range.begin; line != range.end; ++line) {
        if (keyOf(recordOf(*line)) == key) return const_cast<std::string*>(line);
    }
    return nullptr;
}

void KeptKeys::see(std::string_view name, std::string_view record, Day today) {
    const std::string kept = keptForm(record);
    std::string* const line = kept.empty() ? nullptr : find(name, keyOf(kept));
    if (line == nullptr || lastOf(*line) >= today) return;
    // Its place stays: the name and FIRST lead the line.
    *line = lineOf(name, firstOf(*line), today, kept);
    changed_ = true;
}

void KeptKeys::keep(std::string_view name, std::string_view record, Day today) {
    const std::string kept = keptForm(record);
    if (kept.empty() || !isKeyName(name) || today < kFirstDay || today > kLastDay) return;
    if (find(name, keyOf(kept)) != nullptr) {
        see(name, record, today);
        return;
    }
    std::string line = lineOf(name, today, today, kept);
    lines_.insert(std::upper_bound(lines_.begin(), lines_.end(), line), std::move(line));
    changed_ = true;
    // Past a limit, the key of the name (or of the file) last seen longest
    // ago goes: the one just added was seen today.
    const auto dropOldest = [this](const std::string* begin, const std::string* end) {
        const std::string* oldest = begin;
        for (const std::string* at = begin; at != end; ++at) {
            if (lastText(*at) < lastText(*oldest)) oldest = at;
        }
        lines_.erase(lines_.begin() + (oldest - lines_.data()));
    };
    const Range range = keysOf(name);
    if (static_cast<std::size_t>(range.end - range.begin) > kMaxKeysAName) dropOldest(range.begin, range.end);
    if (lines_.size() > kMaxLines) dropOldest(lines_.data(), lines_.data() + lines_.size());
}

bool KeptKeys::readLines(std::string_view file, Day today, Day& since, std::vector<std::string>& lines,
                         bool& clamped) {
    KeptLines reader(file, kMaxLineLength);
    std::string_view text;
    if (reader.next(text) != KeptLines::Next::kLine || text.substr(0, kHead.size()) != kHead ||
        !readDate(text.substr(kHead.size()), since)) {
        return false;
    }
    clamped = since > today;
    since = std::min(since, today);
    KeptLines::Next next;
    while ((next = reader.next(text)) == KeptLines::Next::kLine) {
        const std::string_view name = cutField(text);
        const std::string_view first = cutField(text);
        const std::string_view last = cutField(text);
        Day firstDay = 0;
        Day lastDay = 0;
        if (!isKeyName(name) || !readDate(first, firstDay) || !readDate(last, lastDay) || firstDay > lastDay ||
            !isKeptForm(text)) {
            return false;
        }
        if (lastDay <= today) {
            lines.emplace_back(name.data(), static_cast<std::size_t>(text.data() + text.size() - name.data()));
        } else {
            lines.push_back(lineOf(name, std::min(firstDay, today), today, text));
            clamped = true;
        }
    }
    return next == KeptLines::Next::kEnd;
}

bool KeptKeys::isTidy(const std::vector<std::string>& lines) {
    if (lines.size() > kMaxLines) return false;
    for (std::size_t i = 0; i < lines.size();) {
        std::size_t end = i + 1;
        for (; end < lines.size() && nameOf(lines[end]) == nameOf(lines[i]); ++end) {
            if (lines[end - 1].compare(lines[end]) >= 0 || end - i >= kMaxKeysAName) return false;
            for (std::size_t j = i; j < end; ++j) {
                if (keyOf(recordOf(lines[j])) == keyOf(recordOf(lines[end]))) return false;
            }
        }
        if (end < lines.size() && lines[end - 1].compare(lines[end]) >= 0) return false;
        i = end;
    }
    return true;
}

void KeptKeys::tidy(std::vector<std::string>& lines) {
    std::vector<Ref> refs(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        refs[i] = {&lines[i], nameOf(lines[i]), keyOf(recordOf(lines[i])), lastText(lines[i])};
    }
    sortRefs(refs.data(), refs.size(), byNameKeyLast);
    // Of a name and key, the record last seen (of one LAST, the last line in
    // byte order), first and last seen over all.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < refs.size();) {
        std::size_t end = i + 1;
        std::string_view first = firstText(*refs[i].line);
        for (; end < refs.size() && refs[end].name == refs[i].name && refs[end].key == refs[i].key; ++end) {
            first = std::min(first, firstText(*refs[end].line));
        }
        Ref latest = refs[end - 1];
        if (first != firstText(*latest.line)) {
            std::memcpy(&(*latest.line)[latest.name.size() + 1], first.data(), kDateLength);
        }
        refs[kept++] = latest;
        i = end;
    }
    // The newest keys of each name stay, then of the file.
    std::size_t left = 0;
    for (std::size_t i = 0; i < kept;) {
        std::size_t end = i + 1;
        while (end < kept && refs[end].name == refs[i].name) ++end;
        sortRefs(&refs[i], end - i, byLastNewest);
        for (std::size_t j = i; j < end && j - i < kMaxKeysAName; ++j) refs[left++] = refs[j];
        i = end;
    }
    if (left > kMaxLines) {
        sortRefs(refs.data(), left, byLastNewest);
        left = kMaxLines;
    }
    sortRefs(refs.data(), left, byText);
    std::vector<std::string> tidied(left);
    for (std::size_t i = 0; i < left; ++i) tidied[i] = std::move(*refs[i].line);
    lines = std::move(tidied);
}

bool KeptKeys::read(std::string_view file, Day today) {
    Day since = 0;
    std::vector<std::string> lines;
    bool clamped = false;
    if (!readLines(file, today, since, lines, clamped)) return false;
    // A file as it is written is taken as it stands; any other is written
    // again in that form.
    const bool tidy_ = isTidy(lines);
    if (!tidy_) tidy(lines);
    since_ = since;
    lines_ = std::move(lines);
    changed_ = clamped || !tidy_;
    return true;
}

bool KeptKeys::merge(std::string_view file, Day today) {
    Day since = 0;
    std::vector<std::string> lines;
    bool clamped = false;
    if (!readLines(file, today, since, lines, clamped)) return false;
    lines.reserve(lines.size() + lines_.size());
    for (std::string& line : lines_) lines.push_back(std::move(line));
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
    for (const std::string& line : lines_) size += line.size() + 1;
    file.reserve(size);
    char date[kDateLength];
    file.append(kHead).append(date, writeDate(since_, date)).append(1, '\n');
    for (const std::string& line : lines_) file.append(line).append(1, '\n');
    return file;
}
