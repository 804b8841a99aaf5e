// An Aho-Corasick automaton of texts of code points: every place in a text
// where one of them ends, found in one pass over the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class LetterAutomaton {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // Makes the automaton of the patterns letters holds one after another,
    // each ending where ends says (none empty), replacing the one before.
    // Time linear in their code points but for sorting the patterns; no
    // table is probed while it is made. Throws std::bad_alloc, leaving the
    // automaton as it was.
    void build(const std::vector<char32_t>& letters, const std::vector<std::uint32_t>& ends);

    bool empty() const { return nodes_.size() <= 2; }

    // Calls found(end, length) for each pattern that ends before text[end],
    // length code points long. Time linear in the text and the places found.
    template <typename Found>
    void search(const char32_t* text, std::size_t size, Found found) const {
        if (empty()) return;
        std::uint32_t state = 0;
        for (std::size_t i = 0; i < size; ++i) {
            state = step(state, text[i]);
            for (std::uint32_t at = links_[state].output; at != kNone; at = links_[links_[at].fail].output) {
                found(i + 1, links_[at].depth);
                if (at == 0) break;
            }
        }
    }

private:
    // The nodes by depth, and of one depth in the order of their texts, so
    // that a node's children stand one after another, by letter. What a
    // step reads apart from the rest, so that more of it stays in the cache.
    struct Node {
        char32_t letter = 0;         // of the edge from its parent
        std::uint32_t children = 0;  // its first child; the next node's first ends them
    };
    struct Link {
        std::uint32_t fail = 0;        // the longest proper suffix that is a node
        std::uint32_t output = kNone;  // this node or the nearest down its fails that ends a pattern
        std::uint32_t depth = 0;
    };

    // The child of node by letter, or kNone: a binary search of its
    // children, no more than the letters that follow one prefix.
    std::uint32_t child(std::uint32_t node, char32_t letter) const;
    // Where the automaton goes from state on letter.
    std::uint32_t step(std::uint32_t state, char32_t letter) const;

    // The nodes, the root first, and one more past the last whose children
    // tell where the last node's end.
    std::vector<Node> nodes_ = std::vector<Node>(2);
    std::vector<Link> links_ = std::vector<Link>(1);
};
