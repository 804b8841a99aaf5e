#include "senders/letter_automaton.h"

#include <utility>

namespace {
constexpr std::uint32_t kNone = HashSlots::kNone;
}  // namespace

std::uint32_t LetterAutomaton::child(std::uint32_t node, char32_t letter) const {
    for (HashSlots::Probe probe = edges_.probe(edgeHash(node, letter));;) {
        const std::uint32_t at = edges_.next(probe);
        if (at == kNone || (nodes_[at].parent == node && nodes_[at].letter == letter)) return at;
    }
}

std::uint32_t LetterAutomaton::step(std::uint32_t state, char32_t letter) const {
    for (;;) {
        const std::uint32_t next = child(state, letter);
        if (next != kNone) return next;
        if (state == 0) return 0;
        state = nodes_[state].fail;
    }
}

void LetterAutomaton::build(const std::vector<char32_t>& letters, const std::vector<std::uint32_t>& ends) {
    LetterAutomaton made;
    made.nodes_.reserve(letters.size() + 1);
    // Half full at most: each step of the build looks up a letter's edge,
    // most of them missing, whose walk a fuller table makes longer.
    made.edges_.reserve(2 * letters.size());
    std::size_t start = 0;
    for (const std::uint32_t end : ends) {
        std::uint32_t node = 0;
        for (; start < end; ++start) {
            const char32_t letter = letters[start];
            std::uint32_t next = made.child(node, letter);
            if (next == kNone) {
                next = static_cast<std::uint32_t>(made.nodes_.size());
                Node added;
                added.parent = node;
                added.letter = letter;
                added.depth = made.nodes_[node].depth + 1;
                made.nodes_.push_back(added);
                made.edges_.insert(edgeHash(node, letter), next);
            }
            node = next;
        }
        made.nodes_[node].ends = true;
    }
    // The fails by depth, each from its parent's, which is shallower: the
    // nodes ordered by depth with a count of each.
    std::uint32_t deepest = 0;
    for (const Node& node : made.nodes_) deepest = node.depth > deepest ? node.depth : deepest;
    std::vector<std::uint32_t> starts(deepest + 2, 0);
    for (const Node& node : made.nodes_) ++starts[node.depth + 1];
    for (std::size_t d = 1; d < starts.size(); ++d) starts[d] += starts[d - 1];
    std::vector<std::uint32_t> byDepth(made.nodes_.size());
    for (std::uint32_t i = 0; i < made.nodes_.size(); ++i) byDepth[starts[made.nodes_[i].depth]++] = i;
    made.nodes_[0].output = made.nodes_[0].ends ? 0 : kNone;
    for (const std::uint32_t at : byDepth) {
        if (at == 0) continue;
        Node& node = made.nodes_[at];
        node.fail = node.parent == 0 ? 0 : made.step(made.nodes_[node.parent].fail, node.letter);
        node.output = node.ends ? at : made.nodes_[node.fail].output;
    }
    *this = std::move(made);
}
