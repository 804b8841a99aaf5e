#include "fields/trust_line.h"

std::string_view verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass: return "PASS";
        case Verdict::kWarn: return "WARN";
        case Verdict::kFail: return "FAIL";
        case Verdict::kNone: return "NONE";
        case Verdict::kUnknown: break;
    }
    return "?";
}

Verdict shownVerdict(Verdict found, const Sender& sender, bool doubted) {
    if (sender.moreThanOne()) return Verdict::kFail;
    if (found == Verdict::kPass && (doubted || sender.unusual() || sender.nameClaimed())) return Verdict::kWarn;
    return found;
}

std::string_view SenderCheck::organizationOf(const Sender& sender) {
    // A From domain as shown may hold labels the history cannot (an "_"),
    // below an organizational domain that it can.
    const std::string_view organization = sender.known() ? sender.organization() : std::string_view();
    return isLowerHostName(organization) ? organization : std::string_view();
}

SenderNote::Kind SenderCheck::noteFor(const Sender& sender, std::string_view organization, const ShownDomain*& known) {
    if (!asked_) {
        asked_ = true;
        const SenderNote note = history_.noteFor(organization, sender.domain().text(), today_);
        kind_ = note.kind;
        // Copied, as the history may change before the line is written.
        if (kind_ == SenderNote::Kind::kLooksLike) showDomain(note.known, known_);
    }
    known = &known_;
    return kind_;
}

Verdict judgeSender(Verdict found, const Sender& sender, bool doubted, SenderCheck* senders, SenderNotes& notes) {
    Verdict verdict = shownVerdict(found, sender, doubted);
    if (senders == nullptr) return verdict;
    const std::string_view organization = SenderCheck::organizationOf(sender);
    if (organization.empty()) return verdict;
    notes.history = senders->noteFor(sender, organization, notes.lookedLike);
    if (verdict != Verdict::kPass) return verdict;
    // Recorded before the look-alike rule: a domain's own mail that passes is
    // its history, whatever it looks like.
    senders->passed(organization);
    return notes.history == SenderNote::Kind::kLooksLike ? Verdict::kWarn : verdict;
}

void writeSubject(LineWriter& line, const Sender& sender, const SenderNotes& notes) {
    line << (sender.hasAddress() ? sender.domain().text() : std::string_view("(no From)"));
    if (sender.unusual()) line << " (unusual From)";
    if (sender.moreThanOne()) line << " (more than one From)";
    if (!notes.repeated.empty()) line << " (more than one " << notes.repeated << ")";
    if (notes.unsignedReplyTo) line << " (unsigned Reply-To)";
    if (notes.unsignedSubject) line << " (unsigned Subject)";
    if (!notes.request.empty()) line << " (DMARC " << notes.request << ")";
    if (sender.nameClaimed()) line << " (name says " << sender.nameClaim() << ")";
    if (notes.history == SenderNote::Kind::kNewSender) line << " (new sender)";
    if (notes.history == SenderNote::Kind::kLooksLike) line << " (looks like " << notes.lookedLike->text() << ")";
}
