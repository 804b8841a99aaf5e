#include "headerview/header_filter.h"

#include <algorithm>
#include <cstdint>

#include "headerview/line_cut.h"
#include "text/ascii.h"
#include "text/byte_set.h"

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

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
    explicit PrefixIndex(const PatternList& patterns) : listSize_(patterns.size()) {
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
            Link link{pattern, kNone, 0, kNone, kNone};
            if (!startsWith_.has(pattern[0])) {
                startsWith_.add(pattern[0]);
                first_[byte] = index;
            } else {
                links_[last[byte]].next = index;
                const char* previous = links_[last[byte]].text;
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
    std::size_t firstMatch(const char* line, bool caseBlind) const {
        const auto lineByte = [line, caseBlind](std::size_t k) { return caseBlind ? lowerAscii(line[k]) : line[k]; };
        // How far the line agreed with the chain's previous pattern: it
        // differs from it at that byte.
        std::size_t agreed = 0;
        const char first = lineByte(0);
        std::uint32_t i = startsWith_.has(first) ? first_[static_cast<unsigned char>(first)] : kNone;
        while (i != kNone) {
            const char* pattern = links_[i].text;
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
        return end_ < listSize_ ? end_ : kNoMatch;
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    struct Link {
        const char* text;       // the pattern, NUL-terminated
        std::uint32_t next;     // the next pattern with the same first byte, or kNone
        std::uint32_t shared;   // leading bytes in common with the one before it
        std::uint32_t pastRun;  // the next one that shares fewer, or kNone
        std::uint32_t below;    // while building: the pattern under it on the stack
    };
    std::size_t listSize_;
    // The bytes some pattern begins with: quicker to clear for every mail
    // than first_.
    ByteBits startsWith_;
    std::array<std::uint32_t, 256> first_;  // the first pattern beginning with each byte, where one does
    InlineBuffer<Link, 128> links_;
    std::size_t end_ = 0;  // the first empty pattern, else the list's size
};

// The field the pass is in: the one its continuation lines belong to.
struct OpenField {
    const char* begin = nullptr;  // null above the header's first field line
    const char* end = nullptr;    // after its last line so far
    bool shown = false;
    std::size_t group = 0;
    std::uint32_t lastKeptLine = kNotShown;
    FieldReader* reader = nullptr;  // the reader that asked for it, if any
    std::uint8_t nameId = 0;

    // Hands the field, now whole, to its reader.
    void close() const {
        if (reader != nullptr) {
            reader->read(nameId, {std::string_view(begin, static_cast<std::size_t>(end - begin)), lastKeptLine});
        }
    }
};

}  // namespace

bool startsWithPattern(const char* probe, const char* pattern) {
    for (; *pattern != '\0'; ++probe, ++pattern) {
        if (*probe != *pattern) return false;
    }
    return true;
}

void filterHeaderLines(const Settings& settings, HeaderGroups& groups, char* headerText, FieldReaders* readers) {
    const PrefixIndex show(settings.showPatterns);
    const PrefixIndex hide(settings.hidePatterns);
    const bool caseBlind = settings.ignoreCase != 0;
    const bool wholeFields = wholeFieldsOn(settings.wholeFields);
    const LineRole continuationRole =
        settings.wholeFields == kFieldsUnfolded ? LineRole::kUnfolded : LineRole::kOwnLine;
    const bool followFields = readers != nullptr && !readers->empty();

    OpenField field;
    LineCutter cutter(headerText, fastestLineScan(), switchedOn(settings.decode));
    CutLine batch[LineCutter::kBatch];
    while (const std::size_t count = cutter.next(batch)) {
        for (std::size_t i = 0; i < count; ++i) {
            char* const line = batch[i].text;
            const std::size_t length = batch[i].length;
            const bool holdsWordStart = batch[i].holdsWordStart;
            const std::string_view text(line, length);
            if (isBlank(line[0]) && field.begin != nullptr) {
                // Every continuation line belongs to its field for the readers,
                // whatever wholeFields says.
                field.end = line + length;
                if (wholeFields) {
                    // A continuation that finds no room is left out; its field still shows.
                    if (field.shown && groups.add(field.group, {text, continuationRole, holdsWordStart})) {
                        field.lastKeptLine = groups.lastIndex();
                    }
                    continue;
                }
            }
            const std::size_t match = show.firstMatch(line, caseBlind);
            const bool selected = match != kNoMatch && hide.firstMatch(line, caseBlind) == kNoMatch;
            // Lists longer than the groups (never the settings file's, which
            // stop at 99) still show their lines, after all the others.
            const std::size_t group = settings.sort != 0 ? std::min(match, kGroupCount - 1) : 0;
            // A line that finds no room is left out; the others still show.
            const bool shown = selected && groups.add(group, {text, LineRole::kOwnLine, holdsWordStart});
            if (isBlank(line[0])) continue;
            field.close();
            field.begin = line;
            field.end = line + length;
            field.shown = shown;
            field.group = group;
            field.lastKeptLine = shown ? groups.lastIndex() : kNotShown;
            field.reader = followFields ? readers->readerOf(text, field.nameId) : nullptr;
        }
    }
    field.close();
}
