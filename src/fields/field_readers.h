// The field readers that the settings turn on for one mail, and the names
// they read: what the filter's pass asks of each field it meets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fields/field_reader.h"
#include "fields/received_chain.h"
#include "settings/settings.h"

class FieldReaders {
public:
    // Turns on the readers that settings ask for; none costs nothing.
    explicit FieldReaders(const Settings& settings);
    FieldReaders(const FieldReaders&) = delete;
    FieldReaders& operator=(const FieldReaders&) = delete;

    bool empty() const { return count_ == 0; }

    // The reader of the field whose first line is line, with its number for
    // the field's name; null when no reader on reads it.
    FieldReader* readerOf(std::string_view line, std::uint8_t& nameId) const;

    // After the header's last field: each reader on puts its notes.
    void finish(FieldNotes& notes);

private:
    struct Wanted {
        FieldName name;
        FieldReader* reader;
    };
    void add(const FieldName& name, FieldReader& reader);

    ReceivedChain chain_;
    std::array<Wanted, 4> wanted_{};
    std::size_t count_ = 0;
};
