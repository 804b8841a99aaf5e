#include "fields/received_chain.h"

#include "fields/mail_time.h"
#include "text/writing.h"

namespace {

// The delay in its largest unit that fits, then the next one in two digits.
template <typename Unsigned>
char* writeDelay(Unsigned magnitude, char* out) {
    struct Units {
        unsigned size;
        char name;
        unsigned next;
        char nextName;
    };
    constexpr Units kUnits[] = {{86400, 'd', 3600, 'h'}, {3600, 'h', 60, 'm'}, {60, 'm', 1, 's'}};
    for (const Units& units : kUnits) {
        if (magnitude < units.size) continue;
        out = writeNumber(magnitude / units.size, out);
        const auto rest = static_cast<unsigned>(magnitude % units.size / units.next);
        *out++ = units.name;
        *out++ = static_cast<char>('0' + rest / 10);
        *out++ = static_cast<char>('0' + rest % 10);
        *out++ = units.nextName;
        return out;
    }
    out = writeNumber(magnitude, out);
    *out++ = 's';
    return out;
}

}  // namespace

std::size_t writeDelayNote(bool known, std::int64_t seconds, char (&note)[kDelayNoteSize]) {
    char* out = writeText("  [", note);
    if (!known) {
        out = writeText("?]", out);
        return static_cast<std::size_t>(out - note);
    }
    *out++ = seconds < 0 ? '-' : '+';
    const std::uint64_t magnitude =
        seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    out = magnitude <= 0xFFFFFFFFu ? writeDelay(static_cast<std::uint32_t>(magnitude), out)
                                   : writeDelay(magnitude, out);
    *out++ = ']';
    return static_cast<std::size_t>(out - note);
}

void ReceivedChain::read(std::uint8_t nameId, const HeaderField& field) {
    if (nameId == kReceived.id) {
        Stamp stamp;  // its note is written only when it is shown
        stamp.lastKeptLine = field.lastKeptLine;
        stamp.known = readReceivedTime(field.text, stamp.time);
        received_.push_back(stamp);
    } else if (nameId == kDate.id && !sawDate_) {
        sawDate_ = true;
        date_.known = readMailTime(field.value(), date_.time);
    }
}

void ReceivedChain::finish(FieldNotes& notes) {
    for (std::size_t i = 0; i < received_.size(); ++i) {
        Stamp& hop = received_[i];
        if (hop.lastKeptLine == kNotShown) continue;
        const Stamp& before = i + 1 < received_.size() ? received_[i + 1] : date_;
        const bool known = hop.known && before.known;
        const std::size_t length = writeDelayNote(known, known ? hop.time - before.time : 0, hop.note);
        notes.noteAfter(hop.lastKeptLine, std::string_view(hop.note, length));
    }
}
