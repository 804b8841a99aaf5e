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
#include "senders/sender_history.h"
#include "text/writing.h"

enum class Verdict : std::uint8_t { kPass, kWarn, kFail, kNone, kUnknown };

// "PASS", "WARN", "FAIL", "NONE" or "?".
std::string_view verdictText(Verdict verdict);

// The verdict a line shows, from what its own checks found: more than one
// From fails the mail, whatever they found; a pass stands only while
// nothing casts doubt on the sender: a From not written plainly, a display
// name that claims another domain, or what the line itself counts as doubt.
Verdict shownVerdict(Verdict found, const Sender& sender, bool doubted);

// The user's own senders for one mail, when their history is kept: what it
// says of the From domain, asked once, before the mail records anything, so
// that both lines say the same; and the recording of a pass.
class SenderCheck {
public:
    SenderCheck(SenderHistory& history, Day today) : history_(history), today_(today) {}
    SenderCheck(const SenderCheck&) = delete;
    SenderCheck& operator=(const SenderCheck&) = delete;

    // The From domain's organizational domain when the history can hold it,
    // else empty: a From has a note, and its pass is recorded, only then.
    static std::string_view organizationOf(const Sender& sender);
    // What the history says of organization (see organizationOf), as it
    // stood when first asked for this mail; the known domain as shown.
    SenderNote::Kind noteFor(const Sender& sender, std::string_view organization, const ShownDomain*& known);
    // A line read PASS: organization (see organizationOf) is recorded today.
    void passed(std::string_view organization) { history_.record(organization, today_); }

private:
    SenderHistory& history_;
    Day today_;
    bool asked_ = false;
    SenderNote::Kind kind_ = SenderNote::Kind::kNone;
    ShownDomain known_;
};

// What a line knows of the mail beyond the sender, shown after it.
struct SenderNotes {
    std::string_view repeated;  // a field the mail holds once that stands twice; empty when none
    // A Reply-To of another organization, or a Subject, that no signature
    // which makes the pass covers: anyone who relayed the mail could add it.
    bool unsignedReplyTo = false;
    bool unsignedSubject = false;
    std::string_view request;   // what the From domain's owner asks ("reject", "quarantine"); empty for nothing
    SenderNote::Kind history = SenderNote::Kind::kNone;  // what the history of senders says
    const ShownDomain* lookedLike = nullptr;             // the known domain, for kLooksLike
};

// The verdict a line shows (see shownVerdict), and with the history of
// senders, what it says of the sender into notes: a pass is recorded, and
// then turned into a warning when the From domain looks like a known one.
Verdict judgeSender(Verdict found, const Sender& sender, bool doubted, SenderCheck* senders, SenderNotes& notes);

// The longest that writeSubject writes after the verdict and its blank.
constexpr std::size_t kSubjectSize = kShownDomainSize + sizeof " (unusual From)" - 1 +
                                     sizeof " (more than one From)" - 1 +
                                     sizeof " (more than one Content-Transfer-Encoding)" - 1 +
                                     sizeof " (unsigned Reply-To) (unsigned Subject)" - 1 +
                                     sizeof " (DMARC quarantine)" - 1 + sizeof " (name says )" - 1 +
                                     kShownDomainSize + sizeof " (looks like )" - 1 + kShownDomainSize;

// Writes the From domain ("?" when it cannot be shown, "(no From)" without
// an address), then its notes in this order: " (unusual From)",
// " (more than one From)", " (more than one NAME)", " (unsigned Reply-To)",
// " (unsigned Subject)", " (DMARC REQUEST)", " (name says ORG)", and
// " (new sender)" or " (looks like KNOWN)".
void writeSubject(LineWriter& line, const Sender& sender, const SenderNotes& notes);

// " (not From)" after a pass whose domain is not aligned with the From domain.
inline void markNotFrom(LineWriter& line, bool aligned) {
    if (!aligned) line << " (not From)";
}
