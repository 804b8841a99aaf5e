// The seam between the filter's single pass over a header and the readers of
// whole fields (the Received chain, the authentication digest): the pass
// hands each reader the fields it asked for, whole, whether they are shown
// or not, and each reader answers with notes on the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The kept line a field's view ends with, when the field is not shown.
constexpr std::uint32_t kNotShown = 0xFFFFFFFF;

// A whole header field as it stands in the host's buffer, from the first
// byte of its name to the end of its last continuation line. Between two of
// its lines stands what the line cut left of the break: a NUL, then any CR
// and LF bytes (see isBreakOrNul), whatever WholeFields says; only the view
// unfolds a field.
struct HeaderField {
    std::string_view text;
    std::uint32_t lastKeptLine;  // the kept line its view ends with, or kNotShown

    // What follows the colon after its name; readers are handed only fields
    // whose name a colon follows.
    std::string_view value() const {
        const std::size_t colon = text.find(':');
        return colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    }
};

// Where readers put what they show. The texts must stay valid until the view
// is composed.
class FieldNotes {
public:
    // Shows text at the end of the view line that the kept line ends.
    virtual void noteAfter(std::uint32_t keptLine, std::string_view text) = 0;
    // Shows text, and a line break, before the view's first line, after
    // those noted before it.
    virtual void noteFirstLine(std::string_view text) = 0;

protected:
    ~FieldNotes() = default;
};

// A field name a reader reads: lower case, four letters or more, compared
// case-blind with the start of a field's first line, which must go on with
// any blanks and tabs, then a colon.
struct FieldName {
    std::string_view lowerName;
    std::uint8_t id;  // the reader's own number for it
};

class FieldReader {
public:
    // One field of a name it asked for, whole, in header order.
    virtual void read(std::uint8_t nameId, const HeaderField& field) = 0;
    // After the header's last field: puts what it found into notes.
    virtual void finish(FieldNotes& notes) = 0;

protected:
    ~FieldReader() = default;
};
