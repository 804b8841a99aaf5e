// The Public Suffix List as the build turns it into bytes
// (tools/make-suffix-table): each rule a word of its labels from the right,
// their characters reversed, ended by a mark of its kind; the words stored as
// a minimal automaton, its states one after another. A state is its edges;
// an edge is a byte, symbol in bits 0-5, bit 6 set on the state's last edge,
// bit 7 set when the target state follows this state. An edge to a state
// that does not follow, and that is no mark, goes on with the distance from
// the byte after it to the target, seven bits a byte, low bits first, the
// high bit set on every byte but the last. Marks come first; the root is the
// first state. A state of many edges is an index instead: the byte
// kIndexed, then for each symbol from 1 to kLastSymbol three bytes, low
// first: 0 for no edge, 1 for a mark, else where the target state begins.
#pragma once

#include <cstddef>

extern const unsigned char kSuffixAutomaton[];
extern const std::size_t kSuffixAutomatonSize;

// The marks that end a rule's word, and the first symbol of a character:
// '-', '.', '0' to '9', then 'a' to 'z'.
constexpr unsigned kRuleMark = 1;
constexpr unsigned kWildcardMark = 2;     // "*." and the word: every label below it is public
constexpr unsigned kExceptionMark = 3;    // "!" and the word: its leftmost label is not public
constexpr unsigned kNewGenericMark = 4;   // a rule of the generic top-level domains delegated since 2012
constexpr unsigned kPrivateMark = 5;      // a rule of the private section: a name a company owns
constexpr unsigned kFirstCharacter = 6;
constexpr unsigned kLastSymbol = kFirstCharacter + 37;  // 'z'
constexpr unsigned char kIndexed = 0x3F;
