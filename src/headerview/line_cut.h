// Cutting the host's header text into lines, in place, as strtok does with
// the delimiters CR and LF.
#pragma once

#include <cstddef>

// How a line's end is looked for: a byte at a time, or sixteen at a time
// where the processor has SSE2. Both give the same lines.
enum class LineScan : bool { kBytes, kBlocks };

// The fastest scan this processor runs.
LineScan fastestLineScan();

// Cuts the next line off the text at cursor: skips a run of CR and LF bytes,
// writes a NUL over the first break byte after the line and leaves cursor
// behind it. Returns the line and stores its length, or returns null when no
// line is left. With holdsWordStart, also stores there whether "=?" stands in
// the line. The blockwise scan reads whole aligned blocks, so it may read up
// to 15 bytes past the text's NUL, never past the block that holds it.
char* cutHeaderLine(char*& cursor, std::size_t& length, LineScan scan, bool* holdsWordStart);

// cutHeaderLine with the fastest scan, not looking for "=?".
char* nextHeaderLine(char*& cursor, std::size_t& length);
