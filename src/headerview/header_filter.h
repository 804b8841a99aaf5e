// Selects the header lines to show and sorts them into groups.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "headerview/hops.h"
#include "headerview/inline_buffer.h"
#include "settings/settings.h"

constexpr std::size_t kGroupCount = 100;

// How a kept header line stands in the view.
enum class LineRole : std::uint8_t {
    kOwnLine,   // a view line of its own
    kUnfolded,  // the rest of the view line before it, its line break removed
};

struct KeptLine {
    std::string_view text;  // in the host's header buffer
    LineRole role;
    bool holdsWordStart;    // "=?" stands in it; only looked for when decoding
};

// The kept lines of one mail, each in its group; created empty for every
// mail. The lines stay in the host's header buffer, which outlives the view's
// making.
class HeaderGroups {
public:
    HeaderGroups() { first_.fill(kNone); }

    // Appends line to group (below kGroupCount). Returns false, keeping
    // nothing, when there is no room for it.
    bool add(std::size_t group, const KeptLine& line) noexcept {
        const auto index = static_cast<std::uint32_t>(slots_.size());
        try {
            slots_.push_back({line, kNone, kNone});
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (first_[group] == kNone) {
            first_[group] = index;
        } else {
            slots_[last_[group]].next = index;
        }
        last_[group] = index;
        bytes_ += line.text.size();
        return true;
    }

    bool empty() const { return slots_.empty(); }
    std::size_t lineCount() const { return slots_.size(); }
    std::size_t byteCount() const { return bytes_; }
    // The index of the line added last; valid after an add that succeeded.
    std::uint32_t lastIndex() const { return static_cast<std::uint32_t>(slots_.size() - 1); }

    // Shows delay at the end of the view line that the line at index ends.
    void setHopDelay(std::uint32_t index, const HopDelay& delay) {
        slots_[index].hop = static_cast<std::uint32_t>(delays_.size());
        delays_.push_back(delay);
    }

    // Calls visit(const KeptLine&, const HopDelay*) for every line, with the
    // delay to show after it or null: group by group in index order, each
    // group in the order its lines were added.
    template <typename Visit>
    void forEachLine(Visit&& visit) const {
        for (const std::uint32_t head : first_) {
            for (std::uint32_t i = head; i != kNone; i = slots_[i].next) {
                const Slot& slot = slots_[i];
                visit(slot.line, slot.hop == kNone ? nullptr : &delays_[slot.hop]);
            }
        }
    }
    std::size_t hopCount() const { return delays_.size(); }

    // The texts of one group's lines, in the order added.
    std::vector<std::string_view> group(std::size_t group) const;

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    struct Slot {
        KeptLine line;
        std::uint32_t next;  // the group's next line, or kNone
        std::uint32_t hop;   // the delay shown after it, or kNone
    };

    std::array<std::uint32_t, kGroupCount> first_;
    std::array<std::uint32_t, kGroupCount> last_;  // valid where first_ is not kNone
    InlineBuffer<Slot, 64> slots_;
    InlineBuffer<HopDelay, 16> delays_;
    std::size_t bytes_ = 0;
};

// True when probe begins with pattern. An empty pattern matches every probe.
bool startsWithPattern(const char* probe, const char* pattern);

// Cuts the next line off the text at cursor, as strtok does with the
// delimiters CR and LF: skips a run of breaks, writes a NUL over the first
// break byte after the line and leaves cursor behind it. Returns the line and
// stores its length, or returns null when no line is left.
char* nextHeaderLine(char*& cursor, std::size_t& length);

// Splits headerText in place (see nextHeaderLine) and appends every line that
// begins with a show pattern and with no hide pattern to its group: the index
// of the first matching show pattern when settings.sort is set, else group 0.
// With ignoreCase, A to Z in the line compare as a to z. With wholeFields, a
// continuation line (one that begins with a blank or a tab, below a line that
// does not) is not matched but follows its field's line into its group, as a
// line of its own or, with wholeFields 2, unfolded into the field's line.
// With decode, each kept line tells whether "=?" stands in it. With hops,
// the last view line of each shown Received field carries its hop's delay.
// The groups refer to the lines in headerText, which must outlive them.
void filterHeaderLines(const Settings& settings, HeaderGroups& groups, char* headerText);
