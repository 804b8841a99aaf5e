// What the two trust lines, [Auth] and [DKIM], say alike of the sender: the
// rules that turn what a line's own checks found into its verdict, the
// notes after the From domain, and the mark of a pass that is not the From
// domain's. One place, so that the lines never disagree on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fields/from_field.h"
#include "fields/shown_text.h"
#include "text/writing.h"

enum class Verdict : std::uint8_t { kPass, kWarn, kFail, kNone, kUnknown };

// "PASS", "WARN", "FAIL", "NONE" or "?".
std::string_view verdictText(Verdict verdict);

// The verdict a line shows, from what its own checks found: more than one
// From fails the mail, whatever they found; a pass stands only while
// nothing casts doubt on the sender: a display name that claims another
// domain, or what the line itself counts as doubt.
Verdict shownVerdict(Verdict found, const Sender& sender, bool doubted);

// What a line knows of the mail beyond the sender, shown after it.
struct SenderNotes {
    std::string_view repeated;  // a field the mail holds once that stands twice; empty when none
    std::string_view request;   // what the From domain's owner asks ("reject", "quarantine"); empty for nothing
};

// The longest that writeSubject writes after the verdict and its blank.
constexpr std::size_t kSubjectSize = kShownDomainSize + sizeof " (more than one From)" - 1 +
                                     sizeof " (more than one Content-Transfer-Encoding)" - 1 +
                                     sizeof " (DMARC quarantine)" - 1 + sizeof " (name says )" - 1 +
                                     kShownDomainSize;

// Writes the From domain ("?" when it cannot be shown, "(no From)" without
// an address), then its notes in this order: " (more than one From)",
// " (more than one NAME)", " (DMARC REQUEST)", " (name says ORG)".
void writeSubject(LineWriter& line, const Sender& sender, const SenderNotes& notes);

// " (not From)" after a pass whose domain is not aligned with the From domain.
inline void markNotFrom(LineWriter& line, bool aligned) {
    if (!aligned) line << " (not From)";
}
