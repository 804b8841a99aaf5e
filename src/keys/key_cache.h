// What the key lookups found, kept for the next mails: the cache behind the
// DNS key source, portable so that its rules are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "keys/key_source.h"

class KeyCache {
public:
    static constexpr std::size_t kCapacity = 1000;
    // Keys and "no key" are kept for their records' time to live, within
    // these bounds; failures for the shortest.
    static constexpr std::uint64_t kShortestMs = 60 * 1000;
    static constexpr std::uint64_t kLongestMs = 24 * 60 * 60 * 1000;

    enum class Need { kKnown, kAsk, kWait };

    // What name needs at nowMs: kKnown, with answer set, while its answer
    // lasts; kWait while it is being looked up; else kAsk, and it counts as
    // being looked up from now on, until settle() or abandon().
    Need need(const std::string& name, std::uint64_t nowMs, KeyAnswer& answer);
    // The lookup of name came to answer (not pending), whose records live
    // ttlSeconds; it lasts that long, within the bounds.
    void settle(const std::string& name, const KeyAnswer& answer, std::uint32_t ttlSeconds, std::uint64_t nowMs);
    // The lookup of name will not be made after all.
    void abandon(const std::string& name);
    // Forgets every answer, as when other servers are asked from now on: a
    // lookup on its way settles nothing.
    void forget() { entries_.clear(); }

    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string name;
        bool lookingUp;
        std::uint64_t expiresMs;  // when settled
        KeyAnswer answer;
    };
    // The entry of name, or where it would stand, in name order.
    std::vector<Entry>::iterator place(const std::string& name);
    // Makes room for one more entry, dropping the expired ones, then the one
    // that expires first; false when every entry is being looked up.
    bool makeRoom(std::uint64_t nowMs);

    std::vector<Entry> entries_;  // sorted by name
};
