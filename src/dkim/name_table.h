// Names met in one text (tags of a tag list, field names of a header), each
// numbered in the order first met, and found again in constant time on
// average, whatever a sender chose to write: each table's hash is seeded
// with what a sender cannot know (where the table and this code lie in
// memory, and the processor time used so far), so that no mail can be made
// to collide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class NameTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // caseBlind: A to Z compare as a to z.
    explicit NameTable(bool caseBlind);

    // The number of name, a new one when it was not met before.
    std::uint32_t add(std::string_view name, bool& isNew);
    // The number of name, or kNone when it was not met.
    std::uint32_t find(std::string_view name) const;
    std::size_t size() const { return names_.size(); }

private:
    std::uint32_t hash(std::string_view name) const;
    bool same(std::string_view a, std::string_view b) const;
    // The slot that holds name, or the empty one where it would go.
    std::size_t slotOf(std::string_view name, std::uint32_t hashed) const;
    void grow();

    bool caseBlind_;
    std::uint32_t seed_;
    std::vector<std::string_view> names_;
    std::vector<std::uint32_t> hashes_;  // of names_
    std::vector<std::uint32_t> slots_;   // numbers, or kNone; a power of two, at most half full
};
