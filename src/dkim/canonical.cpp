#include "dkim/canonical.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/ascii.h"
#include "text/sse2.h"

namespace {

// Shorter runs of the mail's bytes are copied into the buffer rather than
// passed on one by one: a hash's call costs more than the copy.
constexpr std::size_t kShortRun = 64;

#ifdef QM_BLOCK_SCAN
const bool sse2 = processorHasSse2();

// A byte, for each of the sixteen at at, that is all ones where the line of
// the byte, or the next line, needs more than copying: before a bare LF;
// relaxed, at a tab, and at a blank before any byte up to ' ' (blanks,
// breaks, and the odd control byte, which costs only a look).
__attribute__((target("sse2"), always_inline)) inline __m128i trouble16(const char* at, bool relaxed) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const __m128i cr = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'));
    __m128i trouble = _mm_andnot_si128(cr, _mm_cmpeq_epi8(next, _mm_set1_epi8('\n')));
    if (relaxed) {
        const __m128i space = _mm_set1_epi8(' ');
        const __m128i nextLow = _mm_cmpeq_epi8(_mm_min_epu8(next, space), next);
        trouble = _mm_or_si128(trouble, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
        trouble = _mm_or_si128(trouble, _mm_and_si128(_mm_cmpeq_epi8(bytes, space), nextLow));
    }
    return trouble;
}

// A bit for each of the sixteen bytes at at that trouble16 marks.
__attribute__((target("sse2"))) std::uint32_t troubleBits(const char* at, bool relaxed) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(trouble16(at, relaxed)));
}

// Whether any of the 64 bytes at at is marked.
__attribute__((target("sse2"))) bool troubleIn64(const char* at, bool relaxed) {
    const __m128i any = _mm_or_si128(_mm_or_si128(trouble16(at, relaxed), trouble16(at + 16, relaxed)),
                                     _mm_or_si128(trouble16(at + 32, relaxed), trouble16(at + 48, relaxed)));
    return _mm_movemask_epi8(any) != 0;
}
#endif

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
        // Most pieces are a few bytes: a loop copies those quicker than a call.
        char* to = buffer_ + buffered_;
        if (piece < 16) {
            for (std::size_t i = 0; i < piece; ++i) to[i] = bytes[i];
        } else {
            std::memcpy(to, bytes.data(), piece);
        }
        buffered_ += piece;
        bytes.remove_prefix(piece);
    }
}

char* HashFeed::room(std::size_t size) {
    passRun();
    if (sizeof buffer_ - buffered_ < size) passBuffer();
    return buffer_ + buffered_;
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
void feedSqueezed(const char* at, const char* end, HashFeed& out) {
    while (at < end) {
        const std::size_t piece = std::min<std::size_t>(static_cast<std::size_t>(end - at), HashFeed::kRoom - 1);
        char* const to = out.room(piece + 1);  // the piece, and a blank before a run of them
        char* written = to;
        const char* const pieceEnd = at + piece;
        // Runs of blanks, each written as one, between runs of other bytes.
        while (at < pieceEnd) {
            if (isBlank(*at)) {
                *written++ = ' ';
                while (at < end && isBlank(*at)) ++at;
            }
            while (at < pieceEnd && !isBlank(*at)) *written++ = *at++;
        }
        out.wrote(static_cast<std::size_t>(written - to));
    }
}

// The end of the bytes of the line from at to lineEnd (its LF, or the body's
// end): before the CR of a CR LF and, relaxed, before the blanks at its end.
const char* lineBytesEnd(const char* at, const char* lineEnd, const char* end, bool relaxed) {
    const char* bytesEnd = lineEnd < end && lineEnd > at && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
    if (relaxed) {
        while (bytesEnd > at && isBlank(bytesEnd[-1])) --bytesEnd;
    }
    return bytesEnd;
}

// Writes the line that begins at at by the rules; returns where the next
// one begins.
const char* feedLine(const char* at, const char* end, bool relaxed, HashFeed& out) {
    const char* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    const char* lineEnd = lf != nullptr ? lf : end;
    const char* bytesEnd = lineBytesEnd(at, lineEnd, end, relaxed);
    if (relaxed) {
        feedSqueezed(at, bytesEnd, out);
    } else {
        out.mail(at, static_cast<std::size_t>(bytesEnd - at));
    }
    if (lf != nullptr && bytesEnd + 1 == lf && *bytesEnd == '\r') {
        out.mail(bytesEnd, 2);
    } else {
        out.text("\r\n");
    }
    return lf != nullptr ? lf + 1 : end;
}

// Where the canonical form's last line ends in the body: after the last byte
// of its last line that is not empty (for relaxed, that holds a byte other
// than blanks). The body itself when there is none.
const char* contentEnd(const char* begin, const char* end, bool relaxed) {
    const char* lineEnd = end;  // an LF, or the body's end
    for (;;) {
        const char* lineStart = lineEnd;
        while (lineStart > begin && lineStart[-1] != '\n') --lineStart;
        const char* bytesEnd = lineBytesEnd(lineStart, lineEnd, end, relaxed);
        if (bytesEnd > lineStart) return bytesEnd;
        if (lineStart == begin) return begin;
        lineEnd = lineStart - 1;
    }
}

// A byte at or after at, before stop, whose line or the next needs more
// than copying: in any form, the byte before a bare LF; in the relaxed, a
// tab, or a blank that a blank, tab or break follows. A line that only
// seems to (a control byte after a blank, say) is then written by the rules
// all the same. stop when there is none. Sixteen bytes at a time where the
// processor can; the bytes up to end may be read.
const char* findTrouble(const char* at, const char* stop, const char* end, bool relaxed) {
    if (at < stop && *at == '\n') return at;
#ifdef QM_BLOCK_SCAN
    if (sse2) {
        // Most of a body is no trouble: 64 bytes are looked at for each test.
        while (at < stop && end - at >= 65 && !troubleIn64(at, relaxed)) at += 64;
        for (; at < stop && end - at >= 17; at += 16) {
            const std::uint32_t trouble = troubleBits(at, relaxed);
            if (trouble == 0) continue;
            const char* found = at + __builtin_ctz(trouble);
            return found < stop ? found : stop;
        }
    }
#endif
    for (; at < stop; ++at) {
        const char next = at + 1 < end ? at[1] : '\0';
        if (next == '\n' && *at != '\r') return at;
        if (relaxed && (*at == '\t' || (*at == ' ' && (isBlank(next) || next == '\r' || next == '\n')))) return at;
    }
    return stop;
}

}  // namespace

void feedBody(std::string_view body, bool relaxed, HashFeed& out) {
    const char* at = body.data();
    const char* const end = at + body.size();
    const char* const stop = contentEnd(at, end, relaxed);
    // An empty body is one CR LF in the simple form, nothing in the relaxed.
    if (stop == at) {
        if (!relaxed) out.text("\r\n");
        return;
    }
    // Lines that need nothing but copying go as they stand, many at once;
    // the others, and the last, by the rules.
    while (at < stop) {
        const char* trouble = findTrouble(at, stop, end, relaxed);
        const char* lineStart = trouble;
        while (lineStart > at && lineStart[-1] != '\n') --lineStart;
        out.mail(at, static_cast<std::size_t>(lineStart - at));
        at = feedLine(lineStart, end, relaxed, out);
    }
}
