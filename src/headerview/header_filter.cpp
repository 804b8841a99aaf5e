#include "headerview/header_filter.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

bool startsWithPatternFolded(const char* probe, const char* lowered) {
    for (; *lowered != '\0'; ++probe, ++lowered) {
        if (lowerAscii(*probe) != *lowered) return false;
    }
    return true;
}

// The patterns of one list, bucketed by first byte so that a line is compared
// only with the patterns that can match it. Each bucket keeps list order and
// also holds the empty patterns, so its first hit is the first match of the
// whole list.
class PrefixIndex {
public:
    explicit PrefixIndex(const PatternList& patterns) {
        std::array<std::uint32_t, 256> counts{};
        std::uint32_t empties = 0;
        for (const std::string& pattern : patterns) {
            const auto first = static_cast<unsigned char>(pattern.c_str()[0]);
            if (first == 0) {
                ++empties;
            } else {
                ++counts[first];
            }
        }
        bucketStart_[0] = 0;
        for (std::size_t b = 0; b < 256; ++b) {
            bucketStart_[b + 1] = bucketStart_[b] + counts[b] + empties;
        }
        entries_.resize(bucketStart_[256]);

        std::array<std::uint32_t, 256> next;
        std::copy_n(bucketStart_.begin(), 256, next.begin());
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const Entry entry{patterns[i].c_str(), i};
            const auto first = static_cast<unsigned char>(entry.bytes[0]);
            if (first != 0) {
                entries_[next[first]++] = entry;
            } else {
                for (std::uint32_t& slot : next) entries_[slot++] = entry;
            }
        }
    }

    // Index in the list of the first pattern that line begins with, or kNoMatch.
    std::size_t firstMatch(const char* line, bool fold) const {
        auto first = static_cast<unsigned char>(line[0]);
        if (fold) first = static_cast<unsigned char>(lowerAscii(line[0]));
        for (std::uint32_t k = bucketStart_[first]; k < bucketStart_[first + 1u]; ++k) {
            const Entry& entry = entries_[k];
            const bool hit = fold ? startsWithPatternFolded(line, entry.bytes)
                                  : startsWithPattern(line, entry.bytes);
            if (hit) return entry.listIndex;
        }
        return kNoMatch;
    }

private:
    struct Entry {
        const char* bytes;
        std::size_t listIndex;
    };
    std::array<std::uint32_t, 257> bucketStart_;
    std::vector<Entry> entries_;
};

}  // namespace

bool startsWithPattern(const char* probe, const char* pattern) {
    for (; *pattern != '\0'; ++probe, ++pattern) {
        if (*probe != *pattern) return false;
    }
    return true;
}

char* nextHeaderLine(char*& cursor, std::size_t& length) {
    char* line = cursor;
    while (isLineBreak(*line)) ++line;
    if (*line == '\0') {
        cursor = line;
        return nullptr;
    }
    char* end = line;
    while (*end != '\0' && !isLineBreak(*end)) ++end;
    length = static_cast<std::size_t>(end - line);
    if (*end != '\0') {
        *end = '\0';
        ++end;
    }
    cursor = end;
    return line;
}

bool HeaderGroups::add(std::size_t group, std::string_view text, LineRole role) noexcept {
    const auto index = static_cast<std::uint32_t>(slots_.size());
    try {
        slots_.push_back({{text, role}, kNone});
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (first_[group] == kNone) {
        first_[group] = index;
    } else {
        slots_[last_[group]].next = index;
    }
    last_[group] = index;
    bytes_ += text.size();
    return true;
}

std::vector<std::string_view> HeaderGroups::group(std::size_t group) const {
    std::vector<std::string_view> texts;
    for (std::uint32_t i = first_[group]; i != kNone; i = slots_[i].next) texts.push_back(slots_[i].line.text);
    return texts;
}

void filterHeaderLines(const Settings& settings, HeaderGroups& groups, char* headerText) {
    const PrefixIndex show(settings.showPatterns);
    const PrefixIndex hide(settings.hidePatterns);
    const bool fold = settings.ignoreCase != 0;
    const bool wholeFields = settings.wholeFields != 0;
    const LineRole continuationRole = settings.wholeFields == 2 ? LineRole::kUnfolded : LineRole::kOwnLine;

    // The field that continuation lines follow; none above the first field line.
    bool inField = false;
    bool fieldShown = false;
    std::size_t fieldGroup = 0;

    char* cursor = headerText;
    std::size_t length = 0;
    while (char* line = nextHeaderLine(cursor, length)) {
        const std::string_view text(line, length);
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        if (continuation && wholeFields && inField) {
            // A continuation that finds no room is left out; its field still shows.
            if (fieldShown) groups.add(fieldGroup, text, continuationRole);
            continue;
        }
        const std::size_t match = show.firstMatch(line, fold);
        const bool selected = match != kNoMatch && hide.firstMatch(line, fold) == kNoMatch;
        // Lists longer than the groups (never the settings file's, which stop
        // at 99) still show their lines, after all the others.
        const std::size_t group = settings.sort != 0 ? std::min(match, kGroupCount - 1) : 0;
        // A line that finds no room is left out; the others still show.
        const bool shown = selected && groups.add(group, text, LineRole::kOwnLine);
        if (!continuation) {
            inField = true;
            fieldShown = shown;
            fieldGroup = group;
        }
    }
}
