// Hop delays: how long each relay of the Received chain took the mail.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fields/field_reader.h"
#include "text/inline_buffer.h"

// Room for the longest delay note: "  [-106751991167300d15h]".
constexpr std::size_t kDelayNoteSize = 32;

// Writes the delay as the view shows it after a Received field, "  [+3s]",
// "  [+1m05s]", "  [+3h04m]", "  [-2d05h]" (each unit truncated towards
// zero), or "  [?]" when it is not known, into note; returns its length.
std::size_t writeDelayNote(bool known, std::int64_t seconds, char (&note)[kDelayNoteSize]);

// Reads every Received field, shown or not, and the first Date field. Each
// shown Received field gets a note: its time less the next Received field's
// below it, or for the bottom one the Date field's. A field without ';', or
// whose date does not read, has no time.
class ReceivedChain final : public FieldReader {
public:
    static constexpr FieldName kReceived{"received", 0};
    static constexpr FieldName kDate{"date", 1};
    static constexpr FieldName kNames[] = {kReceived, kDate};

    void read(std::uint8_t nameId, const HeaderField& field) override;
    void finish(FieldNotes& notes) override;

private:
    struct Stamp {
        bool known = false;
        std::int64_t time = 0;
        std::uint32_t lastKeptLine = kNotShown;
        char note[kDelayNoteSize];  // written only for a shown field
    };

    InlineBuffer<Stamp, 64> received_;
    bool sawDate_ = false;
    Stamp date_;
};
