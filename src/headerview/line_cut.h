// Cutting the host's header text into lines, in place, as strtok does with
// the delimiters CR and LF: any run of CR and LF bytes is one break, a NUL is
// written over the first byte of each break that ends a line, and no line is
// empty.
#pragma once

#include <cstddef>
#include <cstdint>

// How the text is scanned: a byte at a time, or sixteen at a time where the
// processor has SSE2. Both give the same lines.
enum class LineScan : bool { kBytes, kBlocks };

// The fastest scan this processor runs.
LineScan fastestLineScan();

struct CutLine {
    char* text;  // NUL-terminated now
    std::uint32_t length;
    bool holdsWordStart;  // "=?" stands in it; only looked for when asked
};

// Hands out the lines of a text in batches, so that the filter works through
// them without a call per line and without a heap. The blockwise scan reads
// whole aligned blocks, so it may read up to 15 bytes past the text's NUL,
// never past the block that holds it.
class LineCutter {
public:
    static constexpr std::size_t kBatch = 64;

    LineCutter(char* text, LineScan scan, bool findWordStarts);

    // Cuts up to kBatch further lines into batch and returns how many; 0 once
    // the text is used up.
    std::size_t next(CutLine (&batch)[kBatch]);

private:
    // Where the cut stands: what the blockwise scan hands over from one
    // batch to the next, the byte scan using only at, lineStart and
    // holdsWordStart.
    struct Position {
        char* at;                    // byte scan: the next byte; block scan: the block at hand
        std::uint32_t bits = 0;      // block scan: its marked bytes not yet looked at
        std::uint32_t firstMask = 0; // block scan: the bytes of the first block that are the text's
        bool loaded = false;         // block scan: bits are the block's
        char* lineStart = nullptr;   // the open line, or null between lines
        bool holdsWordStart = false; // of the open line
        bool done = false;           // the text is used up
    };
    static std::size_t scanBlocks(Position& position, bool findWordStarts, CutLine* batch);

    LineScan scan_;
    bool findWordStarts_;
    Position position_;
};
