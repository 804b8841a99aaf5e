#include "keys/key_cache.h"

#include <algorithm>

std::vector<KeyCache::Entry>::iterator KeyCache::place(const std::string& name) {
    return std::lower_bound(entries_.begin(), entries_.end(), name,
                            [](const Entry& entry, const std::string& key) { return entry.name < key; });
}

bool KeyCache::makeRoom(std::uint64_t nowMs) {
    if (entries_.size() < kCapacity) return true;
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [nowMs](const Entry& entry) { return !entry.lookingUp && entry.expiresMs <= nowMs; }),
                   entries_.end());
    if (entries_.size() < kCapacity) return true;
    auto first = entries_.end();
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
        if (!entry->lookingUp && (first == entries_.end() || entry->expiresMs < first->expiresMs)) first = entry;
    }
    if (first == entries_.end()) return false;
    entries_.erase(first);
    return true;
}

KeyCache::Need KeyCache::need(const std::string& name, std::uint64_t nowMs, KeyAnswer& answer) {
    auto entry = place(name);
    if (entry != entries_.end() && entry->name == name) {
        if (entry->lookingUp) return Need::kWait;
        if (entry->expiresMs > nowMs) {
            answer = entry->answer;
            return Need::kKnown;
        }
        entry->lookingUp = true;
        return Need::kAsk;
    }
    if (!makeRoom(nowMs)) return Need::kWait;
    entries_.insert(place(name), Entry{name, true, 0, {}});
    return Need::kAsk;
}

void KeyCache::settle(const std::string& name, const KeyAnswer& answer, std::uint32_t ttlSeconds,
                      std::uint64_t nowMs) {
    const auto entry = place(name);
    if (entry == entries_.end() || entry->name != name) return;
    const std::uint64_t lasts = answer.state == KeyState::kFailed
                                    ? kShortestMs
                                    : std::clamp<std::uint64_t>(std::uint64_t{ttlSeconds} * 1000, kShortestMs, kLongestMs);
    entry->lookingUp = false;
    entry->expiresMs = nowMs + lasts;
    entry->answer = answer;
}

void KeyCache::abandon(const std::string& name) {
    const auto entry = place(name);
    if (entry != entries_.end() && entry->name == name && entry->lookingUp) entries_.erase(entry);
}
