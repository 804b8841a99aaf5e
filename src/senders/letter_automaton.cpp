#include "senders/letter_automaton.h"

#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

using Pattern = std::u32string_view;

int comparePatterns(const void* a, const void* b) {
    return static_cast<const Pattern*>(a)->compare(*static_cast<const Pattern*>(b));
}

}  // namespace

std::uint32_t LetterAutomaton::child(std::uint32_t node, char32_t letter) const {
    std::uint32_t low = nodes_[node].children;
    std::uint32_t high = nodes_[node + 1].children;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (nodes_[middle].letter < letter) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < nodes_[node + 1].children && nodes_[low].letter == letter ? low : kNone;
}

std::uint32_t LetterAutomaton::step(std::uint32_t state, char32_t letter) const {
    for (;;) {
        const std::uint32_t next = child(state, letter);
        if (next != kNone) return next;
        if (state == 0) return 0;
        state = links_[state].fail;
    }
}

void LetterAutomaton::build(const std::vector<char32_t>& letters, const std::vector<std::uint32_t>& ends) {
    // The patterns in order (the C library's sort, as the module has none
    // of its own): each shares with the one before the nodes of their
    // common prefix and adds the rest, so that the trie is made without
    // looking up a child, its nodes of one depth in the order of their texts.
    std::vector<Pattern> patterns(ends.size());
    for (std::size_t i = 0, start = 0; i < ends.size(); start = ends[i++]) {
        patterns[i] = Pattern(letters.data() + start, ends[i] - start);
    }
    if (!patterns.empty()) std::qsort(patterns.data(), patterns.size(), sizeof(Pattern), comparePatterns);

    // The trie as made, a pattern at a time: at most a node a letter.
    const std::size_t most = letters.size() + 1;
    std::vector<Node> made(most);
    std::vector<Link> madeLinks(most);
    std::vector<std::uint32_t> parent(most, 0);
    std::vector<std::uint32_t> path(1, 0);  // the nodes of the pattern before, by depth
    std::uint32_t count = 1;
    Pattern before;
    for (const Pattern pattern : patterns) {
        std::size_t shared = 0;
        while (shared < pattern.size() && shared < before.size() && pattern[shared] == before[shared]) ++shared;
        path.resize(shared + 1);
        for (std::size_t d = shared; d < pattern.size(); ++d, ++count) {
            made[count].letter = pattern[d];
            madeLinks[count].depth = static_cast<std::uint32_t>(d + 1);
            parent[count] = path[d];
            path.push_back(count);
        }
        madeLinks[path[pattern.size()]].output = 0;  // a pattern ends there
        before = pattern;
    }

    // By depth, of one depth as made: each depth's nodes by their parents,
    // then by letter.
    std::vector<std::uint32_t> starts(count + 1, 0);
    for (std::uint32_t node = 0; node < count; ++node) ++starts[madeLinks[node].depth + 1];
    for (std::uint32_t d = 1; d <= count; ++d) starts[d] += starts[d - 1];
    std::vector<std::uint32_t> rank(count);
    for (std::uint32_t node = 0; node < count; ++node) rank[node] = starts[madeLinks[node].depth]++;
    LetterAutomaton automaton;
    automaton.nodes_ = std::vector<Node>(count + 1);
    automaton.links_ = std::vector<Link>(count);
    std::vector<Node>& nodes = automaton.nodes_;
    std::vector<Link>& links = automaton.links_;
    std::vector<std::uint32_t>& parentOf = starts;  // by rank
    for (std::uint32_t node = 0; node < count; ++node) {
        const std::uint32_t at = rank[node];
        nodes[at].letter = made[node].letter;
        links[at] = madeLinks[node];
        if (links[at].output != kNone) links[at].output = at;
        parentOf[at] = rank[parent[node]];
    }
    // Each node's children begin after those of the nodes before it.
    for (std::uint32_t node = 1; node < count; ++node) ++nodes[parentOf[node] + 1].children;
    nodes[0].children = 1;
    for (std::uint32_t node = 1; node <= count; ++node) nodes[node].children += nodes[node - 1].children;

    // The fails by depth, each from its parent's, which is shallower.
    for (std::uint32_t node = 1; node < count; ++node) {
        const std::uint32_t fail = parentOf[node] == 0 ? 0 : automaton.step(links[parentOf[node]].fail, nodes[node].letter);
        links[node].fail = fail;
        if (links[node].output == kNone) links[node].output = links[fail].output;
    }
    *this = std::move(automaton);
}
