// Tag lists (RFC 6376, 3.2): the form of a DKIM-Signature field's value and
// of a key record.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "dkim/name_table.h"
#include "text/inline_buffer.h"

struct Tag {
    std::string_view name;
    // From the first byte after the '=' and the whitespace after it, to the
    // last byte that is not whitespace; may hold folding whitespace inside.
    std::string_view value;
    const char* afterEquals;  // the first byte after the '='
    const char* specEnd;      // the ';' that ends the tag, or the list's end
};

// Folding whitespace: blanks and tabs, and line breaks (CR LF or a bare LF)
// that a blank or tab follows.
bool isFoldingSpaceAt(std::string_view text, std::size_t at, std::size_t& length);

class TagList {
public:
    // Reads text, a tag list. Each tag that keeps to the grammar is kept, of
    // a name only its first; a tag whose name or value breaks the grammar is
    // not kept. Such a tag, a tag named twice or an empty tag between two
    // ';' makes the list invalid, but the reading goes on at the next ';',
    // so that the tags around it are still known. Linear in text.
    explicit TagList(std::string_view text);

    bool valid() const { return valid_; }
    std::size_t size() const { return tags_.size(); }
    const Tag& operator[](std::size_t i) const { return tags_[i]; }
    // The first tag of that name (names are case-sensitive), or null.
    const Tag* find(std::string_view name) const;

private:
    // Whether no tag read so far is named name.
    bool firstOf(std::string_view name, std::unique_ptr<NameTable>& names) const;

    InlineBuffer<Tag, 16> tags_;
    bool valid_ = true;
};

// Whether value holds any whitespace.
bool holdsSpace(std::string_view value);
