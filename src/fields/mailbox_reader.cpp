#include "fields/mailbox_reader.h"

#include "fields/nesting.h"
#include "text/ascii.h"
#include "text/byte_set.h"
#include "text/utf8.h"

namespace {

// What each byte is to the reader, a bit for each set it belongs to.
enum ByteClass : unsigned char {
    kBlank = 1,         // blanks, and the breaks a fold leaves, which count as blanks here
    kWordEnd = 2,       // blanks, specials, the start of a comment or quoted string, and an escape
    kQuoteStop = 4,     // what ends a run in a quoted string
    kCommentStop = 8,   // in a comment
    kLiteralStop = 16,  // in a domain literal
};
constexpr ByteTable<unsigned char> kClasses = ByteTable<unsigned char>::of([](char c) {
    const auto in = [c](std::string_view set) { return set.find(c) != std::string_view::npos; };
    return static_cast<unsigned char>((in(std::string_view(" \t\r\n\0", 5)) ? kBlank : 0) |
                                      (in(std::string_view(" \t\r\n\0<>@,:;.(\"\x1B", 15)) ? kWordEnd : 0) |
                                      (in(std::string_view("\0\r\n\"\\\x1B", 6)) ? kQuoteStop : 0) |
                                      (in(std::string_view("\0\r\n()\\\x1B", 7)) ? kCommentStop : 0) |
                                      (in(std::string_view("\0\r\n]\\", 5)) ? kLiteralStop : 0));
});
bool is(char c, ByteClass byteClass) { return (kClasses[c] & byteClass) != 0; }

constexpr char kEscape = '\x1B';

// Past the escape at at: raw ISO-2022-JP, which Japanese mail has long
// written in names, shifts to JIS X 0208 with ESC '$', whose pairs of bytes
// hold '"', '(', ';' and '@' as often as letters; they are text up to the
// ESC '(' that shifts back, or the end. Any other escape is one byte of text.
const char* pastEscape(const char* at, const char* end) {
    if (end - at < 2 || at[1] != '$') return at + 1;
    for (at += 2; at < end; ++at) {
        if (at[0] == kEscape && end - at >= 2 && at[1] == '(') return end - at >= 3 ? at + 3 : end;
    }
    return end;
}

// Whether c begins a character of two bytes in Shift-JIS, and c a second byte.
bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool isTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// A run from at up to the first byte of stops, or end; the text of an
// escape's shift is passed over whole, and in Shift-JIS (shiftJis) each
// character of two bytes, whose second may be '@' or a backslash.
const char* textRunEnd(const char* at, const char* end, ByteClass stops, bool shiftJis) {
    for (;;) {
        while (at < end && !is(*at, stops)) {
            const auto c = static_cast<unsigned char>(*at++);
            if (shiftJis && isLeadByte(c) && at < end && isTrailByte(static_cast<unsigned char>(*at))) ++at;
        }
        if (at == end || *at != kEscape) return at;
        at = pastEscape(at, end);
    }
}

class Reader {
public:
    // Raw text beyond ASCII that is not UTF-8 is taken for Shift-JIS, as
    // Japanese clients show it.
    Reader(std::string_view value, MailboxSink& sink)
        : at_(value.data()), end_(value.data() + value.size()), sink_(sink), shiftJis_(!isUtf8(value)) {}

    Mailboxes read();

private:
    enum class Domain { kNone, kStart, kAfterAtom, kAfterDot };
    enum class Token { kComment, kOther };

    void emit(const char* first, const char* last, bool inComment = false) {
        if (last > first && !inRoute_) sink_.text(std::string_view(first, static_cast<std::size_t>(last - first)), inComment);
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
    // A word, a quoted string or a dot stands, whose text began at mark:
    // the run that may be a local part grows, or begins anew with it.
    void chainToken(bool isWord, std::size_t mark, bool cleanBefore, bool quoted, bool quotedHoldsAt);
    // An address's '@'.
    void addressAt();
    void appendDomain(const char* first, const char* last);
    void endDomain();

    const char* runEnd(const char* at, ByteClass stops) const { return textRunEnd(at, end_, stops, shiftJis_); }

    const char* at_;
    const char* const end_;
    MailboxSink& sink_;
    const bool shiftJis_;
    Mailboxes result_;

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

    // The domain being read, after an address's '@'.
    Domain domain_ = Domain::kNone;
    bool readingFirst_ = false;
    bool domainPlain_ = false;
    char domainBytes_[kLongestReadDomain];
    std::size_t domainLength_ = 0;
    bool domainWhole_ = true;
    std::size_t domainMark_ = 0;  // the text handed on up to its last atom or dot

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
    // The breaks of a fold are no text; blanks and tabs are.
    while (run < at_) {
        const char* const text = run;
        while (run < at_ && isBlank(*run)) ++run;
        emit(text, run);
        while (run < at_ && !isBlank(*run)) ++run;
    }
}

void Reader::comment() {
    noteToken(Token::kComment);
    // In the first address's brackets, only blanks may follow its domain.
    if (readingFirst_ && firstBracketed_) afterClean_ = false;
    gap_ = true;
    Nesting nesting;
    nesting.openComment();
    emit(at_, at_ + 1, true);
    ++at_;
    while (at_ < end_) {
        const char* const run = runEnd(at_, kCommentStop);
        emit(at_, run, true);
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
                emit(at_, at_ + 1, true);
                ++at_;
            }
            continue;
        }
        nesting.readInComment(c);
        emit(at_, at_ + 1, true);
        ++at_;
        if (!nesting.inComment()) return;
    }
    unclosed_ = true;
}

void Reader::quoted() {
    if (domain_ != Domain::kNone) endDomain();
    const std::size_t mark = sink_.textSize();
    const bool cleanBefore = !sinceBoundary_;
    noteToken(Token::kOther);
    bool holdsAt = false;
    bool closed = false;
    ++at_;
    while (at_ < end_) {
        const char* const run = runEnd(at_, kQuoteStop);
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
            emit(at_, at_ + 1);
            ++at_;
        }
    }
    if (!closed) unclosed_ = true;
    chainToken(true, mark, cleanBefore, true, holdsAt);
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
    if (readingFirst_) sink_.cutText(domainMark_);
    if (!readingFirst_) emit(first, at_);
    domainLength_ = 0;
    domain_ = Domain::kAfterAtom;
    endDomain();
}

void Reader::word() {
    const char* const first = at_;
    at_ = runEnd(at_, kWordEnd);
    if (domain_ == Domain::kAfterAtom) endDomain();
    if (domain_ != Domain::kNone) {
        // An atom of the domain, after its '@' or a dot.
        for (const char* p = first; p < at_; ++p) {
            if (*p == '[' || *p == ']') domainPlain_ = false;
        }
        appendDomain(first, at_);
        domain_ = Domain::kAfterAtom;
        if (!readingFirst_) emit(first, at_);
        return;
    }
    const std::size_t mark = sink_.textSize();
    const bool cleanBefore = !sinceBoundary_;
    noteToken(Token::kOther);
    emit(first, at_);
    chainToken(true, mark, cleanBefore, false, false);
}

void Reader::chainToken(bool isWord, std::size_t mark, bool cleanBefore, bool quoted, bool quotedHoldsAt) {
    if (inRoute_) return;
    // Two words with no dot between: the run begins anew at the second.
    if (!chain_ || (isWord && lastWasWord_)) {
        chain_ = true;
        chainClean_ = cleanBefore;
        chainGaps_ = false;
        chainWords_ = chainQuoted_ = chainDots_ = 0;
        chainQuotedAt_ = false;
        chainMark_ = mark;
    } else if (gap_) {
        chainGaps_ = true;
    }
    if (quoted) {
        ++chainQuoted_;
        chainQuotedAt_ = chainQuotedAt_ || quotedHoldsAt;
    } else if (isWord) {
        ++chainWords_;
    } else {
        ++chainDots_;
    }
    lastWasWord_ = isWord;
    gap_ = false;
}

void Reader::special(char c) {
    ++at_;
    if (c == '.' && domain_ != Domain::kNone) {
        // A dot of the domain: not its first byte, after an atom.
        if (domain_ != Domain::kAfterAtom) domainPlain_ = false;
        appendDomain(at_ - 1, at_);
        domain_ = Domain::kAfterDot;
        if (!readingFirst_) emit(at_ - 1, at_);
        return;
    }
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
    const std::size_t mark = sink_.textSize();
    const bool cleanBefore = !sinceBoundary_;
    if (c == '>' && inBracket_ && afterFirst_ && firstBracketed_ && !firstClosed_) {
        // The first address's own '>'.
        firstClosed_ = true;
    } else if (c != '@') {
        noteToken(Token::kOther);
    }
    switch (c) {
        case '.':
            emit(at_ - 1, at_);
            chainToken(false, mark, cleanBefore, false, false);
            return;
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
    domainLength_ = 0;
    domainWhole_ = true;
    if (first) {
        firstLocalPlain_ = chain_ && chainClean_ && !chainGaps_ &&
                           (chainQuoted_ == 0 ? chainWords_ > 0
                                              : chainQuoted_ == 1 && chainWords_ == 0 && chainDots_ == 0 &&
                                                    !chainQuotedAt_);
        firstBracketed_ = inBracket_;
        // The local part read so far is the address, not what names it.
        if (chain_) sink_.cutText(chainMark_);
        domainMark_ = sink_.textSize();
    } else {
        emit(at_ - 1, at_);
    }
    chain_ = false;
    gap_ = false;
    domain_ = Domain::kStart;
}

void Reader::appendDomain(const char* first, const char* last) {
    // Blanks or comments since the last atom or dot stood inside the domain.
    if (gap_) domainPlain_ = false;
    gap_ = false;
    if (readingFirst_) sink_.cutText(domainMark_);
    for (; first < last; ++first) {
        if (domainLength_ == kLongestReadDomain) {
            domainWhole_ = false;
            return;
        }
        domainBytes_[domainLength_++] = *first;
    }
}

void Reader::endDomain() {
    if (domain_ != Domain::kAfterAtom) domainPlain_ = false;
    domain_ = Domain::kNone;
    sink_.address(std::string_view(domainBytes_, domainLength_), domainWhole_);
    if (!readingFirst_) return;
    readingFirst_ = false;
    firstDomainPlain_ = domainPlain_;
    afterFirst_ = true;
}

}  // namespace

Mailboxes readMailboxes(std::string_view value, MailboxSink& sink) {
    Reader reader(value, sink);
    return reader.read();
}
