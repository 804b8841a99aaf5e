#include "dkim/name_table.h"

#include <ctime>

#include "text/ascii.h"

namespace {
// Lies where this module was loaded.
const char kHere = 0;
}  // namespace

NameTable::NameTable(bool caseBlind) : caseBlind_(caseBlind) {
    const auto table = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(this));
    const auto code = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&kHere));
    const std::uint64_t mixed = (table ^ (code << 20) ^ static_cast<std::uint64_t>(std::clock())) * 0x9E3779B97F4A7C15u;
    seed_ = static_cast<std::uint32_t>(mixed >> 32);
}

std::uint32_t NameTable::hash(std::string_view name) const {
    // FNV-1a from the seed, then mixed so that every bit counts for the slot.
    std::uint32_t h = 2166136261u ^ seed_;
    for (const char c : name) h = (h ^ static_cast<unsigned char>(caseBlind_ ? lowerAscii(c) : c)) * 16777619u;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    return h ^ (h >> 16);
}

bool NameTable::same(std::string_view a, std::string_view b) const {
    return caseBlind_ ? equalsIgnoringCase(a, b) : sameText(a, b);
}

std::size_t NameTable::slotOf(std::string_view name, std::uint32_t hashed) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hashed & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t number = slots_[slot];
        if (number == kNone || (hashes_[number] == hashed && same(names_[number], name))) return slot;
    }
}

void NameTable::grow() {
    slots_.assign(slots_.empty() ? 16 : 2 * slots_.size(), kNone);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint32_t number = 0; number < names_.size(); ++number) {
        std::size_t slot = hashes_[number] & mask;
        while (slots_[slot] != kNone) slot = (slot + 1) & mask;
        slots_[slot] = number;
    }
}

std::uint32_t NameTable::add(std::string_view name, bool& isNew) {
    if (2 * (names_.size() + 1) > slots_.size()) grow();
    const std::uint32_t hashed = hash(name);
    const std::size_t slot = slotOf(name, hashed);
    isNew = slots_[slot] == kNone;
    if (isNew) {
        slots_[slot] = static_cast<std::uint32_t>(names_.size());
        names_.push_back(name);
        hashes_.push_back(hashed);
    }
    return slots_[slot];
}

std::uint32_t NameTable::find(std::string_view name) const {
    if (slots_.empty()) return kNone;
    return slots_[slotOf(name, hash(name))];
}
