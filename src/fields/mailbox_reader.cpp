#include "fields/mailbox_reader.h"

#include <cstring>

#include "fields/nesting.h"
#include "text/ascii.h"
#include "text/byte_set.h"
#include "text/utf8.h"

namespace {

// What each byte is to the reader, a bit for each set it belongs to.
enum ByteClass : unsigned char {
    kBlank = 1,         // blanks, and the breaks a fold leaves, which count as blanks here
    kWordEnd = 2,       // blanks, specials but the dot, the start of a comment or quoted string, and an escape
    kQuoteStop = 4,     // what ends a run in a quoted string
    kCommentStop = 8,   // in a comment
    kLiteralStop = 16,  // in a domain literal
    kHigh = 32,         // beyond ASCII: it may begin a character of two bytes
    kNoAtom = 64,       // a control byte, a backslash or a square bracket: no part of a plain atom
    kQuestion = 128,    // '?', which may end an encoded word's "=?"
};
constexpr ByteTable<unsigned char> kClasses = ByteTable<unsigned char>::of([](char c) {
    const auto in = [c](std::string_view set) { return set.find(c) != std::string_view::npos; };
    return static_cast<unsigned char>((in(std::string_view(" \t\r\n\0", 5)) ? kBlank : 0) |
                                      (in(std::string_view(" \t\r\n\0<>@,:;(\"\x1B", 14)) ? kWordEnd : 0) |
                                      (in(std::string_view("\0\r\n\"\\\x1B", 6)) ? kQuoteStop : 0) |
                                      (in(std::string_view("\0\r\n()\\\x1B", 7)) ? kCommentStop : 0) |
                                      (in(std::string_view("\0\r\n]\\", 5)) ? kLiteralStop : 0) |
                                      (static_cast<unsigned char>(c) >= 0x80 ? kHigh : 0) |
                                      (isControl(c) || in("[]\\") ? kNoAtom : 0) | (c == '?' ? kQuestion : 0));
});
bool is(char c, ByteClass byteClass) { return (kClasses[c] & byteClass) != 0; }

// Whether text, an address's local part or domain as written, whose bytes
// are of the classes seen, holds only what such a part holds when written
// plainly: no control byte, backslash or square bracket; text beyond ASCII
// in UTF-8 only; and no "=?", an encoded word's start, which a client may
// show decoded as anything, an '@' included.
bool writtenPlainly(std::string_view text, unsigned seen) {
    if ((seen & kNoAtom) != 0) return false;
    if ((seen & kQuestion) != 0 && text.find("=?") != std::string_view::npos) return false;
    return (seen & kHigh) == 0 || isUtf8(text);
}

constexpr char kEscape = '\x1B';
constexpr char kBlankText[] = " ";

// Whether the escape sequence ESC second final (final one of finals) begins at at.
bool escapeAt(const char* at, const char* end, char second, std::string_view finals) {
    return end - at >= 3 && at[0] == kEscape && at[1] == second && finals.find(at[2]) != std::string_view::npos;
}

// Past the escape at at: raw ISO-2022-JP, which Japanese mail has long
// written in names, shifts to JIS X 0208 with ESC $ B or ESC $ @, whose
// pairs of bytes hold '"', '(', ';' and '@' as often as letters; they are
// text up to the ESC ( B or ESC ( J that shifts back, or the end. A shift
// back alone is text too: no comment begins at its '('. Any other escape
// is one byte of text.
const char* pastEscape(const char* at, const char* end) {
    if (escapeAt(at, end, '(', "BJ")) return at + 3;
    if (!escapeAt(at, end, '$', "B@")) return at + 1;
    for (at += 3; at < end; ++at) {
        if (escapeAt(at, end, '(', "BJ")) return at + 3;
    }
    return end;
}

// Whether c begins a character of two bytes in Shift-JIS, and c a second byte.
bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool isTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// A run from at up to the first byte of stops, or end; the text of an
// escape's shift is passed over whole, and in Shift-JIS (when shiftJis()
// says the value is) each character of two bytes, whose second may be '@'
// or a backslash.
// The run of bytes of no class in classes: the loop that reads most of a
// value, kept apart so that it compiles to a few instructions a byte.
// The classes of its bytes are added to seen.
__attribute__((noinline)) const char* runOf(const char* at, const char* end, unsigned classes, unsigned& seen) {
    for (; at != end; ++at) {
        const unsigned byteClasses = kClasses[*at];
        if ((byteClasses & classes) != 0) break;
        seen |= byteClasses;
    }
    return at;
}

template <typename ShiftJis>
const char* textRunEnd(const char* at, const char* end, ByteClass stops, ShiftJis shiftJis, unsigned& seen) {
    for (;;) {
        at = runOf(at, end, stops | kHigh, seen);
        if (at == end) return at;
        const auto c = static_cast<unsigned char>(*at);
        if (c >= 0x80) {
            seen |= kHigh;
            ++at;
            if (isLeadByte(c) && at < end && isTrailByte(static_cast<unsigned char>(*at)) && shiftJis()) ++at;
        } else if (c == kEscape) {
            seen |= kNoAtom;
            at = pastEscape(at, end);
        } else {
            return at;
        }
    }
}

class Reader {
public:
    Reader(std::string_view value, MailboxSink& sink)
        : value_(value), at_(value.data()), end_(value.data() + value.size()), sink_(sink) {}

    Mailboxes read();

private:
    enum class Domain { kNone, kStart, kAfterAtom, kAfterDot };
    enum class Token { kComment, kOther };

    // Text is handed on in runs: most of a value is one run of its bytes.
    void emit(const char* first, const char* last) {
        if (last <= first || inRoute_) return;
        if (closeAt_ != nullptr) {
            // The first address's '>', left out only while nothing followed.
            const char* const close = closeAt_;
            closeAt_ = nullptr;
            emit(close, close + 1);
        }
        if (first != runLast_) {
            flush();
            runFirst_ = first;
        }
        runLast_ = last;
    }
    void flush() {
        if (runLast_ > runFirst_) {
            sink_.text(std::string_view(runFirst_, static_cast<std::size_t>(runLast_ - runFirst_)));
            handed_ += static_cast<std::size_t>(runLast_ - runFirst_);
        }
        runFirst_ = runLast_ = nullptr;
    }
    std::size_t textSize() const { return handed_ + static_cast<std::size_t>(runLast_ - runFirst_); }
    void cutText(std::size_t size) {
        if (size >= handed_) {
            runLast_ = runFirst_ + (size - handed_);
            return;
        }
        runFirst_ = runLast_ = nullptr;
        sink_.cutText(size);
        handed_ = size;
    }

    void blanks();
    void comment();
    void quoted();
    void literal();
    void word();
    void special(char c);

    // Notes a token other than blanks: it ends the quiet since the last
    // boundary, and after the first address, only comments may stand.
    void noteToken(Token token);
    // A token of words and dots, or a quoted string, stands, whose text
    // began at mark: the run that may be a local part grows, or begins anew
    // with it when it begins with a word right after a word.
    void chainToken(const char* first, bool wordFirst, bool wordLast, std::size_t mark, bool cleanBefore, bool quoted,
                    bool quotedHoldsAt);
    // An address's '@'.
    void addressAt();
    void appendDomain(const char* first, const char* last);
    void endDomain();

    // The classes of the run's bytes go to runClasses_.
    const char* runEnd(const char* at, ByteClass stops) {
        runClasses_ = 0;
        return textRunEnd(at, end_, stops, [this] { return shiftJis(); }, runClasses_);
    }
    // Raw text beyond ASCII that is not UTF-8 is taken for Shift-JIS, as
    // Japanese clients show it; asked only of a value that holds some.
    bool shiftJis() {
        if (shiftJis_ == Known::kUnknown) shiftJis_ = isUtf8(value_) ? Known::kNo : Known::kYes;
        return shiftJis_ == Known::kYes;
    }

    enum class Known : unsigned char { kUnknown, kNo, kYes };
    const std::string_view value_;
    const char* at_;
    const char* const end_;
    MailboxSink& sink_;
    Known shiftJis_ = Known::kUnknown;
    unsigned runClasses_ = 0;  // of the bytes of the last run read
    Mailboxes result_;
    const char* runFirst_ = nullptr;  // the text not yet handed on
    const char* runLast_ = nullptr;
    const char* closeAt_ = nullptr;   // the first address's '>', not handed on unless text follows
    std::size_t handed_ = 0;  // the text handed on

    bool unclosed_ = false;       // a comment or quoted string ran to the end
    bool otherSpecials_ = false;  // ',', ':' or ';' outside a route
    bool routeSeen_ = false;
    bool inBracket_ = false;
    std::size_t opened_ = 0;   // '<' read
    std::size_t closed_ = 0;   // '>' read
    bool routeMaybe_ = false;  // after '<', before anything but blanks and comments
    bool inRoute_ = false;
    bool sinceBoundary_ = false;  // anything but blanks since the start or the last '<'

    // The run that may be an address's local part.
    bool chain_ = false;
    bool chainClean_ = false;  // only blanks stood before it since the boundary
    bool chainGaps_ = false;   // a blank or comment inside it
    bool gap_ = false;         // a blank or comment since the last token
    bool lastWasWord_ = false;
    std::size_t chainWords_ = 0;
    std::size_t chainQuoted_ = 0;
    std::size_t chainDots_ = 0;
    bool chainQuotedAt_ = false;
    std::size_t chainMark_ = 0;  // the text handed on before it
    unsigned chainClasses_ = 0;  // of its bytes
    const char* chainFirst_ = nullptr;  // where it begins in the value

    // The domain being read, after an address's '@'.
    Domain domain_ = Domain::kNone;
    bool readingFirst_ = false;
    bool domainPlain_ = false;
    char domainBytes_[kLongestReadDomain];
    std::size_t domainLength_ = 0;
    bool domainWhole_ = true;
    std::size_t domainMark_ = 0;  // the text handed on up to its last atom or dot
    unsigned domainClasses_ = 0;  // of its bytes

    // The first address, and what stands after it.
    bool firstLocalPlain_ = false;
    bool firstBracketed_ = false;
    bool firstDomainPlain_ = false;
    bool afterFirst_ = false;
    bool firstClosed_ = false;  // its '>' came
    bool afterClean_ = true;
};

Mailboxes Reader::read() {
    while (at_ < end_) {
        const char c = *at_;
        if (is(c, kBlank)) {
            blanks();
        } else if (c == '(') {
            comment();
        } else if (c == '"') {
            quoted();
        } else if (c == '[' && domain_ == Domain::kStart) {
            literal();
        } else if (is(c, kWordEnd) && c != kEscape) {
            special(c);
        } else {
            word();
        }
    }
    if (domain_ != Domain::kNone) endDomain();
    flush();
    const bool shape = firstBracketed_ ? opened_ == 1 && closed_ == 1 && firstClosed_ : opened_ == 0 && closed_ == 0;
    result_.plain = result_.addresses == 1 && !unclosed_ && !otherSpecials_ && !routeSeen_ && firstLocalPlain_ &&
                    firstDomainPlain_ && afterClean_ && shape;
    return result_;
}

void Reader::noteToken(Token token) {
    sinceBoundary_ = true;
    if (token == Token::kOther) routeMaybe_ = false;
    // After the first address only comments may stand, and in its
    // brackets not even those: only blanks before the '>'.
    if (afterFirst_ && (token == Token::kOther || (firstBracketed_ && !firstClosed_))) afterClean_ = false;
}

void Reader::blanks() {
    const char* run = at_;
    while (at_ < end_ && is(*at_, kBlank)) ++at_;
    gap_ = true;
    // The breaks of a fold are no text; blanks and tabs are. Breaks with
    // no blank beside them still part the words they stand between.
    bool blank = false;
    while (run < at_) {
        const char* const text = run;
        while (run < at_ && isBlank(*run)) ++run;
        blank = blank || run > text;
        emit(text, run);
        while (run < at_ && !isBlank(*run)) ++run;
    }
    if (!blank) emit(kBlankText, kBlankText + 1);
}

void Reader::comment() {
    noteToken(Token::kComment);
    // In the first address's brackets, only blanks may follow its domain.
    if (readingFirst_ && firstBracketed_) afterClean_ = false;
    gap_ = true;
    Nesting nesting;
    nesting.openComment();
    // A comment's parentheses part what stands on either side, as a blank
    // does: no encoded word is read across one.
    emit(kBlankText, kBlankText + 1);
    ++at_;
    while (at_ < end_) {
        const char* const run = runEnd(at_, kCommentStop);
        emit(at_, run);
        at_ = run;
        if (at_ == end_) break;
        const char c = *at_;
        if (isBreakOrNul(c)) {
            ++at_;
            continue;
        }
        if (c == '\\') {
            ++at_;
            // The byte after a backslash is text, whatever it is, but a break.
            if (at_ < end_ && !isBreakOrNul(*at_)) {
                emit(at_, at_ + 1);
                ++at_;
            }
            continue;
        }
        nesting.readInComment(c);
        emit(kBlankText, kBlankText + 1);
        ++at_;
        if (!nesting.inComment()) return;
    }
    unclosed_ = true;
}

void Reader::quoted() {
    if (domain_ != Domain::kNone) endDomain();
    const std::size_t mark = textSize();
    const bool cleanBefore = !sinceBoundary_;
    noteToken(Token::kOther);
    bool holdsAt = false;
    bool closed = false;
    unsigned classes = 0;
    const char* const first = at_++;
    while (at_ < end_) {
        const char* const run = runEnd(at_, kQuoteStop);
        classes |= runClasses_;
        for (const char* p = at_; p < run; ++p) holdsAt = holdsAt || *p == '@';
        emit(at_, run);
        at_ = run;
        if (at_ == end_) break;
        const char c = *at_++;
        if (c == '"') {
            closed = true;
            break;
        }
        if (c == '\\' && at_ < end_ && !isBreakOrNul(*at_)) {
            holdsAt = holdsAt || *at_ == '@';
            classes |= kClasses[*at_];
            emit(at_, at_ + 1);
            ++at_;
        }
    }
    if (!closed) unclosed_ = true;
    chainToken(first, true, true, mark, cleanBefore, true, holdsAt);
    chainClasses_ |= classes;
}

void Reader::literal() {
    // The domain is the literal, [ to ]: nothing here shows as a domain, and
    // what it holds is no address.
    domainPlain_ = false;
    const char* const first = at_;
    ++at_;
    while (at_ < end_) {
        at_ = runEnd(at_, kLiteralStop);
        if (at_ == end_) break;
        const char c = *at_++;
        if (c == ']') break;
        if (c == '\\' && at_ < end_) ++at_;
    }
    if (readingFirst_) cutText(domainMark_);
    if (!readingFirst_) emit(first, at_);
    domainLength_ = 0;
    domain_ = Domain::kAfterAtom;
    endDomain();
}

// Whether two dots stand together from first up to last.
bool holdsTwoDots(const char* first, const char* last) {
    for (; first + 1 < last; ++first) {
        if (first[0] == '.' && first[1] == '.') return true;
    }
    return false;
}

void Reader::word() {
    // Words and the dots between them, read as one token: most names and
    // domains are such a run.
    const char* const first = at_;
    at_ = runEnd(at_, kWordEnd);
    const bool dotFirst = *first == '.';
    const bool dotLast = at_[-1] == '.';
    // A word right after the domain's last atom is no part of it.
    if (domain_ == Domain::kAfterAtom && !dotFirst) endDomain();
    if (domain_ != Domain::kNone) {
        // A dot may not begin the domain, follow a dot, or end it.
        if (dotFirst && domain_ != Domain::kAfterAtom) domainPlain_ = false;
        if (readingFirst_ && domainPlain_ && holdsTwoDots(first, at_)) domainPlain_ = false;
        domainClasses_ |= runClasses_;
        appendDomain(first, at_);
        domain_ = dotLast ? Domain::kAfterDot : Domain::kAfterAtom;
        if (!readingFirst_) emit(first, at_);
        return;
    }
    const unsigned classes = runClasses_;
    const std::size_t mark = textSize();
    const bool cleanBefore = !sinceBoundary_;
    noteToken(Token::kOther);
    emit(first, at_);
    bool dotsOnly = dotFirst && dotLast;
    for (const char* p = first; dotsOnly && p < at_; ++p) dotsOnly = *p == '.';
    chainToken(first, !dotFirst, !dotLast, mark, cleanBefore, false, false);
    chainClasses_ |= classes;
    if (dotsOnly && chain_) {
        // Dots alone are no word of the local part.
        --chainWords_;
        ++chainDots_;
    }
}

void Reader::chainToken(const char* first, bool wordFirst, bool wordLast, std::size_t mark, bool cleanBefore,
                        bool quoted, bool quotedHoldsAt) {
    if (inRoute_) return;
    // Two words with no dot between: the run begins anew at the second.
    if (!chain_ || (wordFirst && lastWasWord_)) {
        chain_ = true;
        chainClean_ = cleanBefore;
        chainGaps_ = false;
        chainWords_ = chainQuoted_ = chainDots_ = 0;
        chainQuotedAt_ = false;
        chainMark_ = mark;
        chainFirst_ = first;
        chainClasses_ = 0;
    } else if (gap_) {
        chainGaps_ = true;
    }
    if (quoted) {
        ++chainQuoted_;
        chainQuotedAt_ = chainQuotedAt_ || quotedHoldsAt;
    } else {
        ++chainWords_;
    }
    lastWasWord_ = wordLast;
    gap_ = false;
}

void Reader::special(char c) {
    ++at_;
    if (domain_ != Domain::kNone) endDomain();
    if (inRoute_) {
        if (c == ':') {
            inRoute_ = false;
        } else if (c == '>') {
            inRoute_ = inBracket_ = false;
            ++closed_;
            emit(at_ - 1, at_);
        }
        return;
    }
    if (routeMaybe_ && (c == '@' || c == ',')) {
        // A route: where the mail went, not who sent it.
        inRoute_ = routeSeen_ = true;
        routeMaybe_ = false;
        chain_ = false;
        return;
    }
    if (c == '>' && inBracket_ && afterFirst_ && firstBracketed_ && !firstClosed_) {
        // The first address's own '>': handed on only when text follows it,
        // which it parts from what stood before; most names then stay one
        // slice of the value.
        firstClosed_ = true;
        closeAt_ = at_ - 1;
        ++closed_;
        inBracket_ = chain_ = false;
        return;
    }
    if (c != '@') noteToken(Token::kOther);
    switch (c) {
        case '@': addressAt(); return;
        case '<':
            ++opened_;
            inBracket_ = routeMaybe_ = true;
            sinceBoundary_ = false;
            break;
        case '>':
            ++closed_;
            inBracket_ = false;
            break;
        default: otherSpecials_ = true; break;
    }
    chain_ = false;
    emit(at_ - 1, at_);
}

void Reader::addressAt() {
    const bool first = result_.addresses++ == 0;
    if (!first) noteToken(Token::kOther);
    readingFirst_ = first;
    domainPlain_ = !gap_;
    domainClasses_ = 0;
    domainLength_ = 0;
    domainWhole_ = true;
    if (first) {
        firstLocalPlain_ = chain_ && chainClean_ && !chainGaps_ &&
                           (chainQuoted_ == 0 ? chainWords_ > 0
                                              : chainQuoted_ == 1 && chainWords_ == 0 && chainDots_ == 0 &&
                                                    !chainQuotedAt_) &&
                           writtenPlainly(std::string_view(chainFirst_, static_cast<std::size_t>(at_ - 1 - chainFirst_)),
                                          chainClasses_);
        firstBracketed_ = inBracket_;
        // The local part read so far is the address, not what names it.
        if (chain_) cutText(chainMark_);
        domainMark_ = textSize();
    } else {
        emit(at_ - 1, at_);
    }
    chain_ = false;
    gap_ = false;
    domain_ = Domain::kStart;
}

void Reader::appendDomain(const char* first, const char* last) {
    // Blanks or comments since the last atom or dot stood inside the domain.
    if (gap_) {
        domainPlain_ = false;
        gap_ = false;
        if (readingFirst_) cutText(domainMark_);
    }
    std::size_t length = static_cast<std::size_t>(last - first);
    if (length > kLongestReadDomain - domainLength_) {
        length = kLongestReadDomain - domainLength_;
        domainWhole_ = false;
    }
    std::memcpy(domainBytes_ + domainLength_, first, length);
    domainLength_ += length;
}

void Reader::endDomain() {
    if (domain_ != Domain::kAfterAtom) domainPlain_ = false;
    domain_ = Domain::kNone;
    sink_.address(std::string_view(domainBytes_, domainLength_), domainWhole_);
    if (!readingFirst_) return;
    readingFirst_ = false;
    firstDomainPlain_ =
        domainPlain_ && domainWhole_ && writtenPlainly(std::string_view(domainBytes_, domainLength_), domainClasses_);
    afterFirst_ = true;
}

}  // namespace

Mailboxes readMailboxes(std::string_view value, MailboxSink& sink) {
    Reader reader(value, sink);
    return reader.read();
}
