#include "dkim/canonical.h"

#include <cstring>

#include "text/ascii.h"

namespace {

// Shorter runs of the mail's bytes are copied into the buffer rather than
// passed on one by one: a hash's call costs more than the copy.
constexpr std::size_t kShortRun = 64;

}  // namespace

void HashFeed::feed(Sha256& hash, std::uint64_t limit) { targets_.push_back({&hash, limit}); }

void HashFeed::pass(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        const Target& target = targets_[i];
        if (passed_ >= target.limit) continue;
        const std::uint64_t room = target.limit - passed_;
        target.hash->add(bytes, room < size ? static_cast<std::size_t>(room) : size);
    }
    passed_ += size;
}

void HashFeed::passRun() {
    if (runSize_ == 0) return;
    pass(run_, runSize_);
    runSize_ = 0;
}

void HashFeed::passBuffer() {
    if (buffered_ == 0) return;
    pass(buffer_, buffered_);
    buffered_ = 0;
}

void HashFeed::mail(const char* where, std::size_t size) {
    if (size == 0) return;
    if (runSize_ > 0 && run_ + runSize_ == where) {
        runSize_ += size;
        return;
    }
    passRun();
    if (size < kShortRun) {
        text(std::string_view(where, size));
        return;
    }
    passBuffer();
    run_ = where;
    runSize_ = size;
}

void HashFeed::text(std::string_view bytes) {
    passRun();
    while (!bytes.empty()) {
        if (buffered_ == sizeof buffer_) passBuffer();
        const std::size_t room = sizeof buffer_ - buffered_;
        const std::size_t piece = bytes.size() < room ? bytes.size() : room;
        std::memcpy(buffer_ + buffered_, bytes.data(), piece);
        buffered_ += piece;
        bytes.remove_prefix(piece);
    }
}

std::uint64_t HashFeed::finish() {
    passRun();
    passBuffer();
    return passed_;
}

void FieldFeed::add(std::string_view piece) {
    const char* at = piece.data();
    const char* const end = at + piece.size();
    if (!relaxed_) {
        // As it stands, each bare LF made CR LF.
        while (at < end) {
            const char* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (lf == nullptr) {
                out_.mail(at, static_cast<std::size_t>(end - at));
                return;
            }
            if (lf > at && lf[-1] == '\r') {
                out_.mail(at, static_cast<std::size_t>(lf + 1 - at));
            } else {
                out_.mail(at, static_cast<std::size_t>(lf - at));
                out_.text("\r\n");
            }
            at = lf + 1;
        }
        return;
    }
    while (at < end) {
        const char c = *at;
        if (inName_) {
            // The name lowered, without the blanks before its colon.
            if (c == ':') {
                out_.text(":");
                inName_ = false;
            } else if (!isBlank(c) && c != '\r' && c != '\n') {
                const char lowered = lowerAscii(c);
                out_.text(std::string_view(&lowered, 1));
            }
            ++at;
        } else if (isBlank(c) || c == '\n' || (c == '\r' && at + 1 < end && at[1] == '\n')) {
            // Breaks unfold; blanks, those of a fold too, become one, but
            // none before the value's first byte.
            space_ = space_ || (isBlank(c) && valueBegun_);
            ++at;
        } else {
            const char* run = at;
            while (at < end && !isBlank(*at) && *at != '\n' && *at != '\r') ++at;
            if (at == run) ++at;  // a CR on its own is a byte of the value
            if (space_) out_.text(" ");
            space_ = false;
            valueBegun_ = true;
            out_.mail(run, static_cast<std::size_t>(at - run));
        }
    }
}

void FieldFeed::end(bool withBreak) {
    // Blanks at the end of the value are dropped.
    if (withBreak) out_.text("\r\n");
}

namespace {

// A line's bytes in the relaxed form: each run of blanks and tabs inside it
// one blank; it ends with no blank.
void feedRelaxedLine(const char* at, const char* end, HashFeed& out) {
    while (at < end) {
        const char* run = at;
        while (at < end && !isBlank(*at)) ++at;
        out.mail(run, static_cast<std::size_t>(at - run));
        if (at == end) return;
        const char* blanks = at;
        while (at < end && isBlank(*at)) ++at;
        if (at - blanks == 1 && *blanks == ' ') {
            out.mail(blanks, 1);
        } else {
            out.text(" ");
        }
    }
}

}  // namespace

void feedBody(std::string_view body, bool relaxed, HashFeed& out) {
    const char* at = body.data();
    const char* const end = at + body.size();
    // Empty lines are written only once a line with bytes follows them.
    std::size_t emptyLines = 0;
    const char* emptyFrom = nullptr;  // where they begin
    bool emptyAsWritten = true;       // each is a bare CR LF in the mail
    bool wroteLine = false;
    while (at < end) {
        const char* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
        const char* lineEnd = lf != nullptr ? lf : end;
        const bool crlf = lf != nullptr && lf > at && lf[-1] == '\r';
        const char* bytesEnd = crlf ? lf - 1 : lineEnd;
        const char* kept = bytesEnd;
        if (relaxed) {
            while (kept > at && isBlank(kept[-1])) --kept;
        }
        const char* next = lf != nullptr ? lf + 1 : end;
        if (kept == at) {
            if (emptyLines++ == 0) {
                emptyFrom = at;
                emptyAsWritten = true;
            }
            emptyAsWritten = emptyAsWritten && crlf && bytesEnd == at;
            at = next;
            continue;
        }
        if (emptyLines > 0) {
            if (emptyAsWritten) {
                out.mail(emptyFrom, static_cast<std::size_t>(at - emptyFrom));
            } else {
                for (; emptyLines > 0; --emptyLines) out.text("\r\n");
            }
            emptyLines = 0;
        }
        if (relaxed) {
            feedRelaxedLine(at, kept, out);
        } else {
            out.mail(at, static_cast<std::size_t>(kept - at));
        }
        if (crlf && kept == bytesEnd) {
            out.mail(bytesEnd, 2);
        } else {
            out.text("\r\n");
        }
        wroteLine = true;
        at = next;
    }
    // An empty body is one CR LF in the simple form, nothing in the relaxed.
    if (!relaxed && !wroteLine) out.text("\r\n");
}
