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
    if (found == Verdict::kPass && (doubted || sender.nameClaimed())) return Verdict::kWarn;
    return found;
}

void writeSubject(LineWriter& line, const Sender& sender, const SenderNotes& notes) {
    line << (sender.hasAddress() ? sender.domain().text() : std::string_view("(no From)"));
    if (sender.moreThanOne()) line << " (more than one From)";
    if (!notes.repeated.empty()) line << " (more than one " << notes.repeated << ")";
    if (!notes.request.empty()) line << " (DMARC " << notes.request << ")";
    if (sender.nameClaimed()) line << " (name says " << sender.nameClaim() << ")";
}
