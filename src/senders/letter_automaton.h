// An Aho-Corasick automaton of texts of code points: every place in a text
// where one of them ends, found in one pass over the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "senders/hash_slots.h"

class LetterAutomaton {
public:
    // Makes the automaton of the patterns letters holds one after another,
    // each ending where ends says (none empty), replacing the one before;
    // time and room linear in their code points. Throws std::bad_alloc,
    // leaving the automaton as it was.
    void build(const std::vector<char32_t>& letters, const std::vector<std::uint32_t>& ends);

    bool empty() const { return nodes_.size() <= 1; }

    // Calls found(end, length) for each pattern that ends before text[end],
    // length code points long. Time linear in the text and the places found.
    template <typename Found>
    void search(const char32_t* text, std::size_t size, Found found) const {
        if (empty()) return;
        std::uint32_t state = 0;
        for (std::size_t i = 0; i < size; ++i) {
            state = step(state, text[i]);
            for (std::uint32_t at = nodes_[state].output; at != HashSlots::kNone; at = nodes_[nodes_[at].fail].output) {
                found(i + 1, nodes_[at].depth);
                if (at == 0) break;
            }
        }
    }

private:
    struct Node {
        std::uint32_t parent = 0;
        char32_t letter = 0;
        std::uint32_t fail = 0;                  // the longest proper suffix that is a node
        std::uint32_t output = HashSlots::kNone;  // this node or the nearest down its fails that ends a pattern
        std::uint32_t depth = 0;
        bool ends = false;  // a pattern ends here
    };

    static std::uint64_t edgeHash(std::uint32_t node, char32_t letter) {
        return hashStep(hashStep(0, node), letter);
    }
    // The child of node by letter, or kNone.
    std::uint32_t child(std::uint32_t node, char32_t letter) const;
    // Where the automaton goes from state on letter.
    std::uint32_t step(std::uint32_t state, char32_t letter) const;

    std::vector<Node> nodes_ = std::vector<Node>(1);
    HashSlots edges_;  // each node but the root by its parent and letter
};
