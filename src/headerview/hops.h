// Mail hops: when each Received field says its relay took the mail, and how
// long each hop took, against the next field down or the Date field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "headerview/inline_buffer.h"

// Reads an RFC 5322 date-time, obsolete forms included, from text: comments
// (nested), blanks and line breaks skipped; an optional day name; day, month
// name, year of 2, 3 or 4 digits; h:mm or h:mm:ss; a zone, numeric or named
// (unknown names are UTC). Anything after the zone is ignored. Stores the
// time as seconds since 1970-01-01 UTC and returns true, or returns false
// when a part is missing or out of range. Linear in text's length.
bool readMailTime(std::string_view text, std::int64_t& utcSeconds);

// The delay as the view shows it: "+0s", "+59s", "+1m05s", "+3h04m",
// "-2d05h", each unit truncated towards zero.
std::string formatDelay(std::int64_t seconds);

// The delay of one hop: known only when both of its times are.
struct HopDelay {
    bool known;
    std::int64_t seconds;
};

// Follows a header's fields as the filter meets them, line by line, and
// keeps the time of every Received field, shown or not, and of the first
// Date field. Each field's text is read once, when the field ends.
class HopClock {
public:
    static constexpr std::uint32_t kNotShown = 0xFFFFFFFF;

    // A field's first line; ends the field before it.
    void beginField(std::string_view line);
    // A continuation line of the current field.
    void continueField(std::string_view line);
    // The current field's last view line so far is the kept line at index.
    void shownAt(std::uint32_t index) { shownAt_ = index; }

    // Ends the last field and calls show(index, HopDelay) for every shown
    // Received field: its time less the next Received field's below it, or
    // for the bottom one the Date field's.
    template <typename Show>
    void finish(Show&& show) {
        endField();
        for (std::size_t i = 0; i < received_.size(); ++i) {
            const Stamp& hop = received_[i];
            if (hop.shownAt == kNotShown) continue;
            const Stamp& before = i + 1 < received_.size() ? received_[i + 1] : date_;
            const bool known = hop.known && before.known;
            show(hop.shownAt, HopDelay{known, known ? hop.time - before.time : 0});
        }
    }

private:
    enum class Field { kOther, kReceived, kDate };
    struct Stamp {
        bool known;
        std::int64_t time;
        std::uint32_t shownAt;
    };

    void endField();

    Field field_ = Field::kOther;
    std::string text_;  // Received: after its last ';' so far; Date: after its colon
    bool sawSemicolon_ = false;
    std::uint32_t shownAt_ = kNotShown;
    InlineBuffer<Stamp, 32> received_;
    bool sawDate_ = false;
    Stamp date_{false, 0, kNotShown};
};
