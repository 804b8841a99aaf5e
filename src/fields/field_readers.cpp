#include "fields/field_readers.h"

#include <cstring>

#include "text/ascii.h"

namespace {

// The first four bytes of text, letters lowered; names are at least that long.
std::uint32_t headOf(const char* text) {
    std::uint32_t head = 0;
    std::memcpy(&head, text, sizeof head);
    // Sets bit 5 of each byte, which lowers A to Z and makes no other byte
    // a lower-case letter.
    return head | 0x20202020u;
}

}  // namespace

FieldReaders::FieldReaders(const Settings& settings, CharsetConverter& converter, SenderCheck* senders)
    : digest_(settings.authServers, converter, senders) {
    if (switchedOn(settings.hops)) addAll(ReceivedChain::kNames, chain_);
    if (switchedOn(settings.auth)) addAll(AuthDigest::kNames, digest_);
}

void FieldReaders::add(const FieldName& name, FieldReader& reader) {
    if (count_ == wanted_.size()) return;
    wanted_[count_++] = {name, headOf(name.lowerName.data()), &reader};
    firstBytes_.add(name.lowerName[0]);
    firstBytes_.add(static_cast<char>(name.lowerName[0] - ('a' - 'A')));
}

FieldReader* FieldReaders::readerNamed(std::string_view line, std::uint8_t& nameId) const {
    for (std::size_t i = 0; i < count_; ++i) {
        const std::string_view name = wanted_[i].name.lowerName;
        if (line.size() <= name.size() || headOf(line.data()) != wanted_[i].head ||
            !equalsLowered(line.substr(4, name.size() - 4), name.substr(4))) {
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
        // A reader's names stand side by side, so that it finishes once.
        if (wanted_[i].reader == finished) continue;
        finished = wanted_[i].reader;
        finished->finish(notes);
    }
}
