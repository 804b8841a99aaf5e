// Selects the header lines to show and sorts them into groups, in one pass
// that also hands whole fields to the field readers.
#pragma once

#include "fields/field_readers.h"
#include "headerview/view_model.h"
#include "settings/settings.h"

// True when probe begins with pattern. An empty pattern matches every probe.
// The filter finds the same first match through an index of the patterns.
bool startsWithPattern(const char* probe, const char* pattern);

// Cuts headerText into lines in place (see LineCutter) and appends every
// line that begins with a show pattern and with no hide pattern to its group:
// the index of the first matching show pattern when settings.sort is set,
// else group 0. With ignoreCase, A to Z in the line compare as a to z. With
// wholeFields, a continuation line (one that begins with a blank or a tab,
// below a line that does not) is not matched but follows its field's line
// into its group, as a line of its own or, with kFieldsUnfolded, unfolded
// into the field's line. With decode, each kept line tells whether "=?"
// stands in it. Each field that a reader of readers (if any) asks for is
// handed to it whole, once it ends, with the kept line its view ends with.
// The groups and the fields refer to the lines in headerText, which must
// outlive them.
void filterHeaderLines(const Settings& settings, HeaderGroups& groups, char* headerText,
                       FieldReaders* readers = nullptr);
