// A mail's source as the host stores it, cut into its header fields and its
// body, and the index of its fields by name that the header hashes use.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "dkim/name_table.h"

struct SourceField {
    std::string_view text;  // from its name to the end of its last line, without the break after it
    std::string_view name;  // before its colon, without the blanks and tabs before that
    // What follows its colon.
    std::string_view value() const { return text.substr(text.find(':') + 1); }
};

// The header runs to the first empty line; a line ends at LF, with or
// without a CR before it, or at a CR alone (an empty line that a CR alone
// ends is no end of the header). A line that begins with a blank or tab
// goes on the field above it; a line without a colon is no field. Without
// an empty line, there is no body.
class MailSource {
public:
    explicit MailSource(std::string_view source);

    const std::vector<SourceField>& fields() const { return fields_; }
    std::string_view body() const { return body_; }

private:
    std::vector<SourceField> fields_;
    std::string_view body_;
};

// The fields of a mail by name, case-blind, for taking them from the bottom
// up as a signature's h= names them, each at most once per signature.
class FieldIndex {
public:
    explicit FieldIndex(const std::vector<SourceField>& fields);

    // Starts a signature's walk: every field can be taken again.
    void restart();
    // The lowest field of that name not taken since restart(), now taken;
    // null when there is none.
    const SourceField* take(std::string_view name);

private:
    const std::vector<SourceField>& fields_;
    NameTable names_;
    std::vector<std::uint32_t> last_;     // by name: its lowest field
    std::vector<std::uint32_t> above_;    // by field: the next one up of its name
    std::vector<std::uint32_t> cursor_;   // by name: the next field to take
};
