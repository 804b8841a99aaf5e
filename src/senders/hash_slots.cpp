#include "senders/hash_slots.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <utility>


namespace {

constexpr std::uint64_t kEmpty = HashSlots::kNone;
constexpr std::uint64_t kKeyBits = 0xFFFFFFFF00000000;
constexpr std::size_t kNotThere = ~std::size_t{0};

// MurmurHash3's 32-bit finisher: every bit of the result depends on all.
constexpr std::uint32_t mixed(std::uint32_t key) {
    key ^= key >> 16;
    key *= 0x85EBCA6B;
    key ^= key >> 13;
    key *= 0xC2B2AE35;
    return key ^ key >> 16;
}

// The polynomial hash's low bits depend on few code points: its halves
// folded and mixed, in 32-bit steps. The low half is mixed before the
// fold, as a fold of the halves as they stand would give one key to all
// texts written to meet one linear condition (equal halves, say): only
// texts whose halves both agree share a key by design.
// The fold is mixed with the table's seed too, so that no text can be made
// ahead to land in a few slots: texts that all did would make each insert
// walk the ones before, and a file of them take time in the square of its
// lines to read.
constexpr std::uint64_t keyOf(std::uint64_t hash, std::uint32_t seed) {
    const std::uint32_t folded = static_cast<std::uint32_t>(hash >> 32) ^ mixed(static_cast<std::uint32_t>(hash));
    return static_cast<std::uint64_t>(mixed(folded ^ seed)) << 32;
}

// A seed no file can know: the time this process has run and where it
// placed things. The C library's clock, as a clock of the C++ library
// would draw in, on Windows, the threads library's whole clock module and
// with it imports such as SetSystemTime.
std::uint32_t freshSeed() {
    static std::atomic<std::uint32_t> count{0};
    const auto ticks = static_cast<std::uint64_t>(std::clock());
    const auto place = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&count));
    int onStack = 0;
    const auto stack = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&onStack));
    return mixed(static_cast<std::uint32_t>(ticks ^ ticks >> 32) ^ mixed(static_cast<std::uint32_t>(place ^ place >> 32)) ^
                 mixed(static_cast<std::uint32_t>(stack ^ stack >> 32)) ^ mixed(count.fetch_add(1) + 1));
}

}  // namespace

void sortKeys(std::vector<std::uint64_t>& keys, unsigned fromBit) {
    std::vector<std::uint64_t> sorted(keys.size());
    for (unsigned shift = fromBit; shift < 64; shift += 8) {
        std::size_t starts[256] = {};
        for (const std::uint64_t key : keys) ++starts[key >> shift & 0xFF];
        if (std::find(starts, starts + 256, keys.size()) != starts + 256) continue;
        std::size_t start = 0;
        for (std::size_t& count : starts) start += std::exchange(count, start);
        for (const std::uint64_t key : keys) sorted[starts[key >> shift & 0xFF]++] = key;
        keys.swap(sorted);
    }
}

std::uint64_t hashOf(std::string_view text) {
    std::uint64_t hash = 0;
    for (const char c : text) hash = hashStep(hash, static_cast<unsigned char>(c));
    return hash;
}

void HashSlots::reserve(std::size_t count) {
    std::size_t slots = slots_.empty() ? 16 : slots_.size();
    while (count > slots / 4 * 3) slots *= 2;
    if (slots != slots_.size()) grow(slots);
}

HashSlots::HashSlots() : seed_(freshSeed()) {}

void HashSlots::grow(std::size_t slots) {
    std::vector<std::uint64_t> old(slots, kEmpty);
    old.swap(slots_);
    shift_ = 64;
    for (std::size_t size = slots; size > 1; size /= 2) --shift_;
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint64_t slot : old) {
        if (slot == kEmpty) continue;
        std::size_t at = static_cast<std::size_t>(slot >> shift_);
        while (slots_[at] != kEmpty) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

void HashSlots::insert(std::uint64_t hash, std::uint32_t number) {
    reserve(count_ + 1);
    place(keyOf(hash, seed_) | number);
}

std::uint64_t HashSlots::slotFor(std::uint64_t hash, std::uint32_t number) const {
    return keyOf(hash, seed_) | number;
}

void HashSlots::fill(std::vector<std::uint64_t>& slots, std::size_t most) {
    sortKeys(slots, 32);
    count_ = 0;
    slots_.clear();
    reserve(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (i < most || (slots[i - most] & kKeyBits) != (slots[i] & kKeyBits)) place(slots[i]);
    }
}

void HashSlots::insertAt(const Probe& ended, std::uint32_t number) {
    slots_[ended.at] = ended.key | number;
    ++count_;
}

void HashSlots::place(std::uint64_t slot) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = static_cast<std::size_t>(slot >> shift_);
    while (slots_[at] != kEmpty) at = (at + 1) & mask;
    slots_[at] = slot;
    ++count_;
}

std::size_t HashSlots::slotOf(std::uint64_t key, std::uint32_t number) const {
    if (slots_.empty()) return kNotThere;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = static_cast<std::size_t>(key >> shift_);; at = (at + 1) & mask) {
        if (slots_[at] == (key | number)) return at;
        if (slots_[at] == kEmpty) return kNotThere;
    }
}

bool HashSlots::erase(std::uint64_t hash, std::uint32_t number) {
    std::size_t hole = slotOf(keyOf(hash, seed_), number);
    if (hole == kNotThere) return false;
    const std::size_t mask = slots_.size() - 1;
    // Each slot after the hole that the hole lies between its first slot
    // and itself moves into the hole, so that no probe stops short of it.
    for (std::size_t at = (hole + 1) & mask; slots_[at] != kEmpty; at = (at + 1) & mask) {
        const std::size_t first = static_cast<std::size_t>(slots_[at] >> shift_);
        if (((at - first) & mask) >= ((at - hole) & mask)) {
            slots_[hole] = slots_[at];
            hole = at;
        }
    }
    slots_[hole] = kEmpty;
    --count_;
    return true;
}

HashSlots::Probe HashSlots::probe(std::uint64_t hash) const {
    const std::uint64_t key = keyOf(hash, seed_);
    return {slots_.empty() ? 0 : static_cast<std::size_t>(key >> shift_), key};
}

std::uint32_t HashSlots::next(Probe& probe) const {
    if (slots_.empty()) return kNone;
    const std::size_t mask = slots_.size() - 1;
    for (;;) {
        const std::uint64_t slot = slots_[probe.at];
        if (slot == kEmpty) return kNone;
        probe.at = (probe.at + 1) & mask;
        if ((slot & kKeyBits) == probe.key) return static_cast<std::uint32_t>(slot);
    }
}
