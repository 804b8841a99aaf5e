// The field readers that the settings turn on for one mail, and the names
// they read: what the filter's pass asks of each field it meets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "fields/auth_digest.h"
#include "fields/field_reader.h"
#include "fields/received_chain.h"
#include "settings/settings.h"
#include "text/byte_set.h"

class FieldReaders {
public:
    // Turns on the readers that settings ask for. With none on, the filter
    // follows no field. The digest decodes display names through converter,
    // and tells of the user's senders by senders when it is given.
    FieldReaders(const Settings& settings, CharsetConverter& converter, SenderCheck* senders = nullptr);
    FieldReaders(const FieldReaders&) = delete;
    FieldReaders& operator=(const FieldReaders&) = delete;

    bool empty() const { return count_ == 0; }

    // The reader of the field whose first line is line (not empty), with its
    // number for the field's name; null when no reader on reads it.
    FieldReader* readerOf(std::string_view line, std::uint8_t& nameId) const {
        // Most fields are told apart by their first byte alone.
        if (!firstBytes_.has(line[0])) return nullptr;
        return readerNamed(line, nameId);
    }

    // After the header's last field: each reader on puts its notes.
    void finish(FieldNotes& notes);

private:
    struct Wanted {
        FieldName name;
        std::uint32_t head;  // its first four letters, as headOf gives them
        FieldReader* reader;
    };
    // Room for every name of every reader: each is added once at most.
    static constexpr std::size_t kNameCount = std::size(ReceivedChain::kNames) + std::size(AuthDigest::kNames);

    template <std::size_t N>
    void addAll(const FieldName (&names)[N], FieldReader& reader) {
        for (const FieldName& name : names) add(name, reader);
    }
    void add(const FieldName& name, FieldReader& reader);
    FieldReader* readerNamed(std::string_view line, std::uint8_t& nameId) const;

    ReceivedChain chain_;
    AuthDigest digest_;
    std::array<Wanted, kNameCount> wanted_;  // the first count_ are set
    std::size_t count_ = 0;
    ByteBits firstBytes_;  // the bytes the names begin with, in either case
};
