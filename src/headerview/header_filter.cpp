#include "headerview/header_filter.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// The patterns of one list, chained by first byte so that a line is compared
// only with the patterns that can match it, in list order. Each pattern also
// knows how many leading bytes it shares with the one before it in its
// chain, so that a line is not compared again with what it already failed
// (after "X-Filter-1:", "X-Filter-2:" fails on "X-Spam" without a look), and
// where the run of patterns sharing still more ends, so that such a run is
// passed in one step. Built for every mail, so it costs one small table and,
// for the lists of the settings file, no heap.
class PrefixIndex {
public:
    explicit PrefixIndex(const PatternList& patterns) : patterns_(patterns) {
        first_.fill(kNone);
        std::array<std::uint32_t, 256> last;
        // An empty pattern matches every line, so no pattern after the first
        // empty one can be the first match.
        end_ = patterns.size();
        for (std::size_t i = 0; i < end_; ++i) {
            const char* pattern = patterns[i].c_str();
            const auto byte = static_cast<unsigned char>(pattern[0]);
            if (byte == 0) {
                end_ = i;
                break;
            }
            const auto index = static_cast<std::uint32_t>(i);
            Link link{kNone, 0, kNone, kNone};
            if (first_[byte] == kNone) {
                first_[byte] = index;
            } else {
                links_[last[byte]].next = index;
                const char* previous = patterns[last[byte]].c_str();
                while (pattern[link.shared] != '\0' && pattern[link.shared] == previous[link.shared]) ++link.shared;
                // The patterns still waiting for one that shares fewer bytes
                // than they do form a stack, its top the chain's last pattern.
                std::uint32_t waiting = last[byte];
                while (waiting != kNone && links_[waiting].shared > link.shared) {
                    links_[waiting].pastRun = index;
                    waiting = links_[waiting].below;
                }
                link.below = waiting;
            }
            links_.push_back(link);
            last[byte] = index;
        }
    }

    // Index in the list of the first pattern that line begins with, or kNoMatch.
    std::size_t firstMatch(const char* line, bool fold) const {
        const auto lineByte = [line, fold](std::size_t k) { return fold ? lowerAscii(line[k]) : line[k]; };
        // How far the line agreed with the chain's previous pattern: it
        // differs from it at that byte.
        std::size_t agreed = 0;
        std::uint32_t i = first_[static_cast<unsigned char>(lineByte(0))];
        while (i != kNone) {
            const char* pattern = patterns_[i].c_str();
            const std::size_t shared = links_[i].shared;
            if (shared > agreed) {
                // It and the run after it differ from the line where the previous did.
                i = links_[i].pastRun;
                continue;
            }
            if (shared < agreed) {
                // Agrees with the line up to shared, then leaves it, unless it ends there.
                if (pattern[shared] == '\0') return i;
                agreed = shared;
            } else {
                std::size_t k = agreed;
                while (pattern[k] != '\0' && lineByte(k) == pattern[k]) ++k;
                if (pattern[k] == '\0') return i;
                agreed = k;
            }
            i = links_[i].next;
        }
        // The first empty pattern, if there is one, matches what no other did.
        return end_ < patterns_.size() ? end_ : kNoMatch;
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    struct Link {
        std::uint32_t next;     // the next pattern with the same first byte, or kNone
        std::uint32_t shared;   // leading bytes in common with the one before it
        std::uint32_t pastRun;  // the next one that shares fewer, or kNone
        std::uint32_t below;    // while building: the pattern under it on the stack
    };
    const PatternList& patterns_;
    std::array<std::uint32_t, 256> first_;  // the first pattern beginning with each byte
    InlineBuffer<Link, 128> links_;
    std::size_t end_ = 0;  // the first empty pattern, else the list's size
};

}  // namespace

bool startsWithPattern(const char* probe, const char* pattern) {
    for (; *pattern != '\0'; ++probe, ++pattern) {
        if (*probe != *pattern) return false;
    }
    return true;
}

std::vector<std::string_view> HeaderGroups::group(std::size_t group) const {
    std::vector<std::string_view> texts;
    for (std::uint32_t i = first_[group]; i != kNone; i = slots_[i].next) texts.push_back(slots_[i].line.text);
    return texts;
}

namespace {

// Cuts the next line as nextHeaderLine does. With kFindWordStarts it also
// tells whether "=?" stands in the line, so that the view decodes only the
// lines that may hold an encoded word; the bytes are at hand here anyway.
template <bool kFindWordStarts>
char* cutLine(char*& cursor, std::size_t& length, bool& holdsWordStart) {
    char* line = cursor;
    while (isLineBreak(*line)) ++line;
    if (*line == '\0') {
        cursor = line;
        return nullptr;
    }
    char* end = line;
    holdsWordStart = false;
    // Most bytes are above CR: one comparison each tells them from the ends.
    for (;; ++end) {
        const auto byte = static_cast<unsigned char>(*end);
        if (byte <= '\r' && (byte == '\0' || isLineBreak(*end))) break;
        // '=' is rare in most lines; the byte after it is at most the NUL.
        if (kFindWordStarts && __builtin_expect(byte == '=', 0) && end[1] == '?') holdsWordStart = true;
    }
    length = static_cast<std::size_t>(end - line);
    if (*end != '\0') {
        *end = '\0';
        ++end;
    }
    cursor = end;
    return line;
}

template <bool kFindWordStarts>
void filterLines(const Settings& settings, HeaderGroups& groups, char* headerText) {
    const PrefixIndex show(settings.showPatterns);
    const PrefixIndex hide(settings.hidePatterns);
    const bool fold = settings.ignoreCase != 0;
    const bool wholeFields = settings.wholeFields != 0;
    const LineRole continuationRole = settings.wholeFields == 2 ? LineRole::kUnfolded : LineRole::kOwnLine;

    // The field that continuation lines follow; none above the first field line.
    bool inField = false;
    bool fieldShown = false;
    std::size_t fieldGroup = 0;
    const bool hops = settings.hops != 0;
    HopClock clock;

    char* cursor = headerText;
    std::size_t length = 0;
    bool holdsWordStart = false;
    while (char* line = cutLine<kFindWordStarts>(cursor, length, holdsWordStart)) {
        const std::string_view text(line, length);
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        // Every field counts for the hops, shown or not, and whole, whatever
        // wholeFields says.
        if (hops) {
            if (!continuation) {
                clock.beginField(text);
            } else if (inField) {
                clock.continueField(text);
            }
        }
        if (continuation && wholeFields && inField) {
            // A continuation that finds no room is left out; its field still shows.
            if (fieldShown && groups.add(fieldGroup, {text, continuationRole, holdsWordStart})) {
                clock.shownAt(groups.lastIndex());
            }
            continue;
        }
        const std::size_t match = show.firstMatch(line, fold);
        const bool selected = match != kNoMatch && hide.firstMatch(line, fold) == kNoMatch;
        // Lists longer than the groups (never the settings file's, which stop
        // at 99) still show their lines, after all the others.
        const std::size_t group = settings.sort != 0 ? std::min(match, kGroupCount - 1) : 0;
        // A line that finds no room is left out; the others still show.
        const bool shown = selected && groups.add(group, {text, LineRole::kOwnLine, holdsWordStart});
        if (!continuation) {
            inField = true;
            fieldShown = shown;
            fieldGroup = group;
            if (shown) clock.shownAt(groups.lastIndex());
        }
    }
    if (hops) {
        clock.finish([&groups](std::uint32_t index, const HopDelay& delay) { groups.setHopDelay(index, delay); });
    }
}

}  // namespace

char* nextHeaderLine(char*& cursor, std::size_t& length) {
    bool ignored = false;
    return cutLine<false>(cursor, length, ignored);
}

void filterHeaderLines(const Settings& settings, HeaderGroups& groups, char* headerText) {
    if (settings.decode != 0) {
        filterLines<true>(settings, groups, headerText);
    } else {
        filterLines<false>(settings, groups, headerText);
    }
}
