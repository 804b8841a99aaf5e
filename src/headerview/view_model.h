// What a mail's view is built from: the kept header lines in their groups,
// with the readers' notes, and the text they become.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "fields/field_reader.h"
#include "text/inline_buffer.h"

constexpr std::size_t kGroupCount = 100;

// The view text as it is composed: a common view fits inside it.
using ViewText = InlineBuffer<char, 16384>;

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

// The kept lines of one mail, each in its group, and the notes the field
// readers left; created empty for every mail. The lines stay in the host's
// header buffer, and the notes in their readers, which outlive the view's
// making.
class HeaderGroups final : public FieldNotes {
public:
    // Appends line to group (below kGroupCount). Returns false, keeping
    // nothing, when there is no room for it.
    bool add(std::size_t group, const KeptLine& line) noexcept {
        const auto index = static_cast<std::uint32_t>(slots_.size());
        try {
            slots_.push_back({line, kNone, kNone});
        } catch (const std::bad_alloc&) {
            return false;
        }
        // Only the groups up to the highest one used are ever looked at.
        for (; groupsUsed_ <= group; ++groupsUsed_) first_[groupsUsed_] = kNone;
        if (first_[group] == kNone) {
            first_[group] = index;
        } else {
            slots_[last_[group]].next = index;
        }
        last_[group] = index;
        bytes_ += line.text.size();
        return true;
    }

    // No line kept and no first line noted.
    bool empty() const { return slots_.empty() && firstLines_.empty(); }
    std::size_t lineCount() const { return slots_.size(); }
    // The bytes of the kept lines and of the notes.
    std::size_t byteCount() const { return bytes_; }
    // The index of the line added last; valid after an add that succeeded.
    std::uint32_t lastIndex() const { return static_cast<std::uint32_t>(slots_.size() - 1); }

    void noteAfter(std::uint32_t keptLine, std::string_view text) override {
        slots_[keptLine].note = static_cast<std::uint32_t>(notes_.size());
        notes_.push_back(text);
        bytes_ += text.size();
    }
    void noteFirstLine(std::string_view text) override {
        firstLines_.push_back(text);
        bytes_ += text.size() + 1;
    }
    // The lines noted to come first, in the order noted.
    const InlineBuffer<std::string_view, 2>& firstLines() const { return firstLines_; }

    // Calls visit(const KeptLine&, std::string_view note) for every line,
    // with the note to show after its view line (empty for none): group by
    // group in index order, each group in the order its lines were added.
    template <typename Visit>
    void forEachLine(Visit&& visit) const {
        for (std::size_t group = 0; group < groupsUsed_; ++group) {
            for (std::uint32_t i = first_[group]; i != kNone; i = slots_[i].next) {
                const Slot& slot = slots_[i];
                visit(slot.line, slot.note == kNone ? std::string_view() : notes_[slot.note]);
            }
        }
    }

    // The texts of one group's lines, in the order added.
    std::vector<std::string_view> group(std::size_t group) const {
        std::vector<std::string_view> texts;
        if (group >= groupsUsed_) return texts;
        for (std::uint32_t i = first_[group]; i != kNone; i = slots_[i].next) texts.push_back(slots_[i].line.text);
        return texts;
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    struct Slot {
        KeptLine line;
        std::uint32_t next;  // the group's next line, or kNone
        std::uint32_t note;  // the note shown after it, or kNone
    };

    std::size_t groupsUsed_ = 0;                   // the groups below it have first_
    std::array<std::uint32_t, kGroupCount> first_;  // each group's first line, or kNone
    std::array<std::uint32_t, kGroupCount> last_;   // valid where first_ is not kNone
    InlineBuffer<Slot, 256> slots_;
    InlineBuffer<std::string_view, 64> notes_;
    std::size_t bytes_ = 0;
    InlineBuffer<std::string_view, 2> firstLines_;
};
