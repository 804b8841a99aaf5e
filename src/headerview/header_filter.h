// Selects the header lines to show and sorts them into groups.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "settings/settings.h"

constexpr std::size_t kGroupCount = 100;

// One list of kept lines per show pattern; created empty for every mail. The
// lines stay in the host's header buffer, which outlives the view's making.
using HeaderGroups = std::array<std::vector<std::string_view>, kGroupCount>;

// True when probe begins with pattern. An empty pattern matches every probe.
bool startsWithPattern(const char* probe, const char* pattern);

// Cuts the next line off the text at cursor, as strtok does with the
// delimiters CR and LF: skips a run of breaks, writes a NUL over the first
// break byte after the line and leaves cursor behind it. Returns the line and
// stores its length, or returns null when no line is left.
char* nextHeaderLine(char*& cursor, std::size_t& length);

// Splits headerText in place (see nextHeaderLine) and appends every line that
// begins with a show pattern and with no hide pattern to its group: the index
// of the first matching show pattern when settings.sort is set, else group 0.
// With ignoreCase, A to Z in the line compare as a to z. The groups refer to
// the lines in headerText, which must outlive them.
void filterHeaderLines(const Settings& settings, HeaderGroups& groups, char* headerText);
