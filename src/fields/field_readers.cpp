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

FieldReaders::FieldReaders(const Settings& settings) : digest_(settings.authServers) {
    if (settings.hops != 0) {
        add(ReceivedChain::kReceived, chain_);
        add(ReceivedChain::kDate, chain_);
    }
    if (settings.auth == 1) {
        add(AuthDigest::kAuthenticationResults, digest_);
        add(AuthDigest::kFrom, digest_);
    }
}

void FieldReaders::add(const FieldName& name, FieldReader& reader) {
    wanted_[count_++] = {name, headOf(name.lowerName.data()), &reader};
    for (const char first : {name.lowerName[0], static_cast<char>(name.lowerName[0] - ('a' - 'A'))}) {
        const auto byte = static_cast<unsigned char>(first);
        firstBytes_[byte / 32] |= 1u << (byte % 32);
    }
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
