// Reading the date-times that Date and Received fields carry.
#pragma once

#include <cstdint>
#include <string_view>

// Reads an RFC 5322 date-time, obsolete forms included, from text: comments
// (nested), blanks and line breaks skipped (CR, LF and the NUL that the line
// cut leaves count as breaks); an optional day name; day, month name, year
// of 2, 3 or 4 digits; h:mm or h:mm:ss; a zone, numeric or named (unknown
// names are UTC). Anything after the zone is ignored. Stores the time as
// seconds since 1970-01-01 UTC and returns true, or returns false when a
// part is missing or out of range. Linear in text's length.
bool readMailTime(std::string_view text, std::int64_t& utcSeconds);

// Reads the time a Received field gives (text: the field, or its value):
// the date-time after its last ';'. False when it has no ';' or the date
// does not read.
bool readReceivedTime(std::string_view text, std::int64_t& utcSeconds);
