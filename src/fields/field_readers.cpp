#include "fields/field_readers.h"

#include "text/ascii.h"

FieldReaders::FieldReaders(const Settings& settings) {
    if (settings.hops != 0) {
        add(ReceivedChain::kReceived, chain_);
        add(ReceivedChain::kDate, chain_);
    }
}

void FieldReaders::add(const FieldName& name, FieldReader& reader) { wanted_[count_++] = {name, &reader}; }

FieldReader* FieldReaders::readerOf(std::string_view line, std::uint8_t& nameId) const {
    // Most fields are told apart by their first byte alone.
    const char first = lowerAscii(line.empty() ? '\0' : line[0]);
    for (std::size_t i = 0; i < count_; ++i) {
        const std::string_view name = wanted_[i].name.lowerName;
        if (first != name[0] || line.size() <= name.size() || !equalsLowered(line.substr(0, name.size()), name)) {
            continue;
        }
        std::size_t at = name.size();
        while (at < line.size() && isBlank(line[at])) ++at;
        if (at < line.size() && line[at] == ':') {
            nameId = wanted_[i].name.id;
            return wanted_[i].reader;
        }
    }
    return nullptr;
}

void FieldReaders::finish(FieldNotes& notes) {
    FieldReader* finished = nullptr;
    for (std::size_t i = 0; i < count_; ++i) {
        // A reader of several names stands in a row of its own.
        if (wanted_[i].reader == finished) continue;
        finished = wanted_[i].reader;
        finished->finish(notes);
    }
}
