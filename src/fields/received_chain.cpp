#include "fields/received_chain.h"

#include <iterator>

#include "fields/mail_time.h"

namespace {

// Appends the decimal digits of value at out; returns the end.
char* writeNumber(std::uint64_t value, char* out) {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

char* writeText(std::string_view text, char* out) {
    for (const char c : text) *out++ = c;
    return out;
}

}  // namespace

std::size_t writeDelayNote(bool known, std::int64_t seconds, char (&note)[kDelayNoteSize]) {
    char* out = writeText("  [", note);
    if (!known) {
        out = writeText("?]", out);
        return static_cast<std::size_t>(out - note);
    }
    const std::uint64_t magnitude =
        seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    *out++ = seconds < 0 ? '-' : '+';
    // The largest unit that fits, then the next one in two digits.
    struct Units {
        std::uint64_t size;
        char name;
        std::uint64_t next;
        char nextName;
    };
    constexpr Units kUnits[] = {{86400, 'd', 3600, 'h'}, {3600, 'h', 60, 'm'}, {60, 'm', 1, 's'}};
    const Units* units = kUnits;
    while (units != std::end(kUnits) && magnitude < units->size) ++units;
    if (units == std::end(kUnits)) {
        out = writeNumber(magnitude, out);
        *out++ = 's';
    } else {
        out = writeNumber(magnitude / units->size, out);
        const std::uint64_t rest = magnitude % units->size / units->next;
        *out++ = units->name;
        *out++ = static_cast<char>('0' + rest / 10);
        *out++ = static_cast<char>('0' + rest % 10);
        *out++ = units->nextName;
    }
    *out++ = ']';
    return static_cast<std::size_t>(out - note);
}

void ReceivedChain::read(std::uint8_t nameId, const HeaderField& field) {
    const std::string_view text = field.text;
    if (nameId == kReceived.id) {
        // Its time follows its last ';'.
        const std::size_t semicolon = text.rfind(';');
        Stamp stamp{false, 0, field.lastViewLine, {}};
        stamp.known = semicolon != std::string_view::npos && readMailTime(text.substr(semicolon + 1), stamp.time);
        received_.push_back(stamp);
    } else if (nameId == kDate.id && !sawDate_) {
        sawDate_ = true;
        date_.known = readMailTime(text.substr(text.find(':') + 1), date_.time);
    }
}

void ReceivedChain::finish(FieldNotes& notes) {
    for (std::size_t i = 0; i < received_.size(); ++i) {
        Stamp& hop = received_[i];
        if (hop.lastViewLine == kNotShown) continue;
        const Stamp& before = i + 1 < received_.size() ? received_[i + 1] : date_;
        const bool known = hop.known && before.known;
        const std::size_t length = writeDelayNote(known, known ? hop.time - before.time : 0, hop.note);
        notes.noteAfter(hop.lastViewLine, std::string_view(hop.note, length));
    }
}
