#include "fields/auth_digest.h"

#include "text/ascii.h"
#include "text/writing.h"

namespace {

// Bytes that mean something outside quoted strings and comments, one table
// per reading, a bit each: all other bytes only belong to what they stand in.
class ByteSet {
public:
    constexpr explicit ByteSet(std::string_view bytes) {
        for (const char c : bytes) in_[static_cast<unsigned char>(c)] = true;
    }
    constexpr bool has(char c) const { return in_[static_cast<unsigned char>(c)]; }

private:
    bool in_[256] = {};
};

constexpr ByteSet kValueSpecials(std::string_view("\0\r\n \t(\";=", 9));
constexpr ByteSet kFromSpecials(std::string_view("\0\r\n(\"<>@,", 10));
constexpr ByteSet kSpaces(std::string_view("\0\r\n \t", 5));
constexpr ByteSet kDomainSpecials(std::string_view("\0\r\n \t>,;(\"", 11));

// Comments and quoted strings, as a sender's text has them: a comment runs
// from '(' to its ')', nests and may hold backslash pairs; a quoted string
// runs from '"' to the next '"' that no backslash escapes. Either runs to
// the end when it is not closed. Breaks of the line cut are the callers'.
class Nesting {
public:
    bool outside() const { return depth_ == 0 && !quoted_; }
    bool inComment() const { return depth_ > 0; }
    bool inQuote() const { return quoted_; }
    // A backslash ended what was read so far, in a quoted string or comment.
    bool escaping() const { return escaped_; }

    void openComment() { depth_ = 1; }
    void openQuote() { quoted_ = true; }
    // Reads c in a comment; the comment has ended when inComment() turns false.
    void readInComment(char c) {
        if (escaped_) {
            escaped_ = false;
        } else if (c == '\\') {
            escaped_ = true;
        } else if (c == '(') {
            ++depth_;
        } else if (c == ')') {
            --depth_;
        }
    }
    // Reads c in a quoted string; true when c is a byte of its text, not an
    // escaping backslash or the closing quote.
    bool readInQuote(char c) {
        if (escaped_) {
            escaped_ = false;
            return true;
        }
        if (c == '\\') {
            escaped_ = true;
            return false;
        }
        if (c == '"') {
            quoted_ = false;
            return false;
        }
        return true;
    }

private:
    std::size_t depth_ = 0;
    bool quoted_ = false;
    bool escaped_ = false;
};

// A word of an Authentication-Results value, unquoted.
struct Word {
    std::string_view text;
    std::size_t equalsAt;  // its first '=' outside quoted strings; kNoEquals when none
    static constexpr std::size_t kNoEquals = static_cast<std::size_t>(-1);

    bool isPair() const { return equalsAt != kNoEquals; }
    std::string_view key() const { return text.substr(0, equalsAt); }
    std::string_view value() const { return text.substr(equalsAt + 1); }
};

// Reads the words of an Authentication-Results value (RFC 8601) in one pass,
// unfolded: comments, which nest and may hold backslash pairs, stand for a
// blank; ';' outside quoted strings ends a part; blanks and tabs next to an
// '=' outside quoted strings are dropped, and the others split words; a word
// holding an '=' outside quoted strings is a pair. Words come unquoted: the
// quote marks dropped and the backslash escapes inside them applied. An
// unclosed comment or quoted string runs to the end. Calls sink.word(Word)
// for each word and sink.partEnd() after each part, the last one included;
// either returns false to stop. Linear in the value.
template <typename Sink>
void readWords(std::string_view value, Sink& sink) {
    const char* at = value.data();
    const char* const end = at + value.size();
    // A word is most often a run of the value's own bytes; only one that is
    // not (it drops quote marks, or holds a comment or break) is copied.
    InlineBuffer<char, 256> copy;
    const char* slice = nullptr;
    const char* sliceEnd = nullptr;
    bool copied = false;
    std::size_t equalsAt = Word::kNoEquals;
    Nesting nesting;
    bool open = false;          // a word has begun
    bool blanks = false;        // blanks stand after it, outside quoted strings
    bool afterEquals = false;   // its last byte outside quoted strings is an '='
    // Adds the bytes from first up to last to the word.
    const auto take = [&](const char* first, const char* last) {
        if (copied) {
            copy.append(first, static_cast<std::size_t>(last - first));
        } else if (slice == nullptr) {
            slice = first;
            sliceEnd = last;
        } else if (sliceEnd == first) {
            sliceEnd = last;
        } else {
            copy.append(slice, static_cast<std::size_t>(sliceEnd - slice));
            copy.append(first, static_cast<std::size_t>(last - first));
            copied = true;
        }
    };
    const auto length = [&] { return copied ? copy.size() : static_cast<std::size_t>(sliceEnd - slice); };
    // Hands the open word, if any, to the sink; false when it stops.
    const auto endWord = [&] {
        if (!open) return true;
        const std::string_view text = copied ? std::string_view(copy.data(), copy.size())
                                             : std::string_view(slice, static_cast<std::size_t>(sliceEnd - slice));
        const bool goOn = sink.word(Word{text, equalsAt});
        slice = sliceEnd = nullptr;
        copied = false;
        copy.truncate(0);
        equalsAt = Word::kNoEquals;
        open = blanks = afterEquals = false;
        return goOn;
    };
    for (; at < end; ++at) {
        const char c = *at;
        if (nesting.outside() && !kValueSpecials.has(c)) {
            // This byte, and those after it that mean nothing either, belong
            // to a word; it begins the next one unless blanks next to an '='
            // stand before it.
            if (blanks && !afterEquals && !endWord()) return;
            open = true;
            blanks = false;
            afterEquals = false;
            const char* run = at;
            while (at + 1 < end && !kValueSpecials.has(at[1])) ++at;
            take(run, at + 1);
            continue;
        }
        if (nesting.inComment()) {
            if (!isBreakOrNul(c)) nesting.readInComment(c);
            continue;
        }
        if (nesting.inQuote()) {
            if (!isBreakOrNul(c) && nesting.readInQuote(c)) take(at, at + 1);
            continue;
        }
        if (c == '(') {
            // A comment stands for a blank.
            nesting.openComment();
            blanks = open;
        } else if (kSpaces.has(c)) {
            // A fold is a break and then a blank: the run splits words.
            while (at + 1 < end && kSpaces.has(at[1])) ++at;
            blanks = open;
        } else if (c == ';') {
            if (!endWord() || !sink.partEnd()) return;
        } else if (c == '=') {
            if (equalsAt == Word::kNoEquals) equalsAt = open ? length() : 0;
            take(at, at + 1);
            open = true;
            blanks = false;
            afterEquals = true;
        } else {
            // A quoted string begins a word, unless blanks next to an '=' stand before it.
            if (blanks && !afterEquals && !endWord()) return;
            open = true;
            blanks = false;
            afterEquals = false;
            nesting.openQuote();
        }
    }
    // A backslash with nothing after it is a byte of its own.
    if (nesting.inQuote() && nesting.escaping()) take(end - 1, end);
    if (endWord()) sink.partEnd();
}

// The server a field names: its first word, unless that is a pair.
struct Server {
    bool namesNone;
    std::string_view id;  // empty too when the first part has no word
};

bool trusts(const PatternList& servers, const Server& server) {
    for (const std::string& listed : servers) {
        if (sameText(listed, "-")) {
            if (server.namesNone) return true;
        } else if (server.namesNone) {
            continue;
        } else if (listed.size() > 2 && listed[0] == '*' && listed[1] == '.') {
            // The domain after "*." and every name that ends with '.' and it.
            const std::string_view domain = std::string_view(listed).substr(2);
            const std::string_view id = server.id;
            if (equalsIgnoringCase(id, domain)) return true;
            if (id.size() > domain.size() && id[id.size() - domain.size() - 1] == '.' &&
                equalsIgnoringCase(id.substr(id.size() - domain.size()), domain)) {
                return true;
            }
        } else if (equalsIgnoringCase(server.id, listed)) {
            return true;
        }
    }
    return false;
}

// Reads the server a field names, whether servers lists it and, when asked,
// how it is shown; then stops.
struct ServerSink {
    ServerSink(const PatternList& list, ShownDomain* shownHere) : servers(list), shown(shownHere) {}

    const PatternList& servers;
    ShownDomain* shown;  // where to show the server, or null
    bool namesNone = false;
    bool trusted = false;

    bool word(const Word& word) {
        namesNone = word.isPair();
        const Server server{namesNone, namesNone ? std::string_view() : word.text};
        trusted = trusts(servers, server);
        if (shown != nullptr && !namesNone) showDomain(server.id, *shown);
        return false;
    }
    bool partEnd() {
        trusted = trusts(servers, Server{false, {}});
        return false;
    }
};

// The part of an address after its last '@', or all of it when it has none.
std::string_view afterLastAt(std::string_view address) {
    std::size_t at = address.size();
    while (at > 0 && address[at - 1] != '@') --at;
    return address.substr(at);
}

enum class Method { kDmarc, kDkim, kSpf, kOther };

Method methodOf(std::string_view key) {
    std::size_t slash = 0;
    while (slash < key.size() && key[slash] != '/') ++slash;
    key = key.substr(0, slash);
    if (equalsIgnoringCase(key, "dmarc")) return Method::kDmarc;
    if (equalsIgnoringCase(key, "dkim")) return Method::kDkim;
    if (equalsIgnoringCase(key, "spf")) return Method::kSpf;
    return Method::kOther;
}

struct Result {
    Method method;
    ShownResult result;
    bool hasDomain;
    ShownDomain domain;
};

// The property that gives a method's domain, and the one it falls back to;
// from an address, the part after its last '@'.
struct DomainKeys {
    std::string_view primary;
    bool primaryIsAddress;
    std::string_view fallback;
    bool fallbackIsAddress;
};

DomainKeys domainKeysOf(Method method) {
    switch (method) {
        case Method::kDkim: return {"header.d", false, "header.i", true};
        case Method::kSpf: return {"smtp.mailfrom", true, "smtp.helo", false};
        default: return {"header.from", true, {}, false};
    }
}

// Reads the results of a trusted field and calls take(Result) for each dkim,
// spf and dmarc one: the first part names the server and, in its second
// word, the version (only "1" gives results); every later part, or the first
// when it begins with a pair, is one result, its first word method=result,
// then its properties, of which the first of each key wins.
template <typename Take>
class ResultSink {
public:
    explicit ResultSink(Take& take) : take_(take) {}

    bool word(const Word& word) {
        switch (stage_) {
            case Stage::kServer:
                if (!word.isPair()) {
                    stage_ = Stage::kVersion;
                    return true;
                }
                beginResult(word);
                return true;
            case Stage::kVersion:
                stage_ = Stage::kSkip;
                return word.isPair() || sameText(word.text, "1");
            case Stage::kMethod:
                if (word.isPair()) {
                    beginResult(word);
                } else {
                    stage_ = Stage::kSkip;
                }
                return true;
            case Stage::kProperties:
                if (word.isPair()) property(word);
                return true;
            case Stage::kSkip:
                return true;
        }
        return true;
    }

    bool partEnd() {
        if (stage_ == Stage::kProperties) {
            result_.hasDomain = sawPrimary_ || sawFallback_;
            if (!sawPrimary_) result_.domain = fallback_;
            take_(result_);
        }
        stage_ = Stage::kMethod;
        return true;
    }

private:
    enum class Stage { kServer, kVersion, kMethod, kProperties, kSkip };

    void beginResult(const Word& word) {
        result_.method = methodOf(word.key());
        if (result_.method == Method::kOther) {
            stage_ = Stage::kSkip;
            return;
        }
        stage_ = Stage::kProperties;
        showResult(word.value(), result_.result);
        keys_ = domainKeysOf(result_.method);
        sawPrimary_ = sawFallback_ = false;
    }

    void property(const Word& word) {
        const std::string_view key = word.key();
        if (!sawPrimary_ && equalsIgnoringCase(key, keys_.primary)) {
            sawPrimary_ = true;
            showDomain(keys_.primaryIsAddress ? afterLastAt(word.value()) : word.value(), result_.domain);
        } else if (!sawFallback_ && !keys_.fallback.empty() && equalsIgnoringCase(key, keys_.fallback)) {
            sawFallback_ = true;
            showDomain(keys_.fallbackIsAddress ? afterLastAt(word.value()) : word.value(), fallback_);
        }
    }

    Take& take_;
    Stage stage_ = Stage::kServer;
    Result result_;
    DomainKeys keys_;
    bool sawPrimary_ = false;
    bool sawFallback_ = false;
    ShownDomain fallback_;
};

template <typename Take>
void forEachResult(std::string_view value, Take&& take) {
    ResultSink<Take> sink(take);
    readWords(value, sink);
}

// The domain of an address that follows an '@' at at, which stands outside
// quoted strings and comments: the bytes after it up to end, comments read as
// blanks, leading blanks skipped, up to a blank, tab, '>', ',' or ';'.
void domainAfter(const char* at, const char* end, ShownDomain& domain) {
    // No more is kept than a domain may have before it is shown as "?". Dots
    // past that are kept out too, as they may trail, and trailing dots go.
    constexpr std::size_t kKept = 1012;
    char bytes[kKept];
    std::size_t length = 0;
    Nesting nesting;
    for (; at < end; ++at) {
        char c = *at;
        if (nesting.outside() && !kDomainSpecials.has(c)) {
            // A run of bytes that are simply taken.
            const char* run = at;
            while (at + 1 < end && !kDomainSpecials.has(at[1])) ++at;
            for (; run <= at; ++run) {
                if (length == kKept) {
                    if (*run == '.') continue;
                    domain.clear();
                    return;
                }
                bytes[length++] = *run;
            }
            continue;
        }
        if (isBreakOrNul(c)) continue;
        if (nesting.inComment()) {
            nesting.readInComment(c);
            if (nesting.inComment()) continue;
            c = ' ';  // what the comment leaves
        } else if (nesting.inQuote()) {
            nesting.readInQuote(c);
        } else if (c == '(') {
            nesting.openComment();
            continue;
        } else if (c == '"') {
            nesting.openQuote();
        }
        if (isBlank(c) || c == '>' || c == ',' || c == ';') {
            if (length > 0 || !isBlank(c)) break;
            continue;
        }
        if (length == kKept) {
            if (c == '.') continue;
            domain.clear();
            return;
        }
        bytes[length++] = c;
    }
    showDomain(std::string_view(bytes, length), domain);
}

// The From field's addresses: how many (two stands for more), and the domain
// of the first.
struct FromAddresses {
    std::size_t count = 0;
    ShownDomain domain;
};

// Reads a From value, its comments dropped as in Authentication-Results,
// split into parts at commas outside quoted strings and outside '<' to '>'.
// The parts holding an '@' outside quoted strings are addresses; the domain
// of one follows the last '@' between its first '<' and the '>' after it,
// when it has a '<', else the last '@' of all of it.
void readFrom(std::string_view value, FromAddresses& from) {
    const char* const end = value.data() + value.size();
    const char* lastAt = nullptr;         // of the part
    const char* bracketLastAt = nullptr;  // of the part's first bracket
    bool sawBracket = false;
    bool inBracket = false;
    bool inFirstBracket = false;
    Nesting nesting;
    for (const char* at = value.data(); at <= end; ++at) {
        if (nesting.outside()) {
            while (at < end && !kFromSpecials.has(*at)) ++at;
        }
        const char c = at < end ? *at : ',';  // the end ends the last part
        if (isBreakOrNul(c)) continue;
        // The end ends the last part, even in a comment or quoted string.
        if (!nesting.outside() && at < end) {
            if (nesting.inComment()) {
                nesting.readInComment(c);
            } else {
                nesting.readInQuote(c);
            }
            continue;
        }
        if (c == '(') {
            nesting.openComment();
        } else if (c == '"') {
            nesting.openQuote();
        } else if (c == '<' && !inBracket) {
            inBracket = true;
            inFirstBracket = !sawBracket;
            sawBracket = true;
        } else if (c == '>' && inBracket) {
            inBracket = inFirstBracket = false;
        } else if (c == '@') {
            lastAt = at;
            if (inFirstBracket) bracketLastAt = at;
        } else if (c == ',' && (!inBracket || at == end)) {
            if (lastAt != nullptr && from.count++ == 0) {
                // A bracket without an '@' holds no domain.
                const char* domainAt = sawBracket ? bracketLastAt : lastAt;
                if (domainAt != nullptr) domainAfter(domainAt + 1, at, from.domain);
            }
            // A second address is all the line needs to know of the rest.
            if (from.count > 1) return;
            lastAt = bracketLastAt = nullptr;
            sawBracket = inBracket = inFirstBracket = false;
        }
    }
}

// Writes the line into a buffer that holds the longest line there can be.
class LineWriter {
public:
    // Goes on from length, which it sets when it is done.
    LineWriter(char* line, std::size_t& length) : line_(line), at_(line + length), length_(length) {}
    ~LineWriter() { length_ = static_cast<std::size_t>(at_ - line_); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    LineWriter& operator<<(std::string_view text) {
        at_ = writeText(text, at_);
        return *this;
    }
    LineWriter& operator<<(std::size_t number) {
        at_ = writeNumber(number, at_);
        return *this;
    }

private:
    char* const line_;
    char* at_;
    std::size_t& length_;
};

}  // namespace

void AuthDigest::read(std::uint8_t nameId, const HeaderField& field) {
    if (nameId == kFrom.id) {
        if (fromFields_++ == 0) from_ = field.value();
        return;
    }
    if (blockEnded_) return;
    // Only the topmost field's server is ever shown.
    ServerSink server(servers_, sawResults_ ? nullptr : &topServer_);
    readWords(field.value(), server);
    if (!sawResults_) {
        sawResults_ = true;
        topNamesNoServer_ = server.namesNone;
    }
    if (server.trusted) {
        block_.push_back(field.value());
    } else {
        blockEnded_ = true;
    }
}

void AuthDigest::finish(FieldNotes& notes) {
    compose();
    notes.noteFirstLine(std::string_view(line_, lineLength_));
}

void AuthDigest::compose() {
    lineLength_ = 0;
    LineWriter line(line_, lineLength_);
    const std::string_view server = topNamesNoServer_ ? "-" : topServer_.text();
    if (!sawResults_) {
        line << "[Auth] ? no Authentication-Results";
        return;
    }
    if (block_.empty()) {
        line << "[Auth] ? not trusted: " << server;
        return;
    }

    FromAddresses from;
    if (fromFields_ > 0) readFrom(from_, from);
    const bool fromKnown = from.count > 0 && from.domain.known();
    const bool moreThanOneFrom = fromFields_ > 1 || from.count > 1;

    // Each method's results, the first three written out, the rest counted.
    struct Items {
        std::size_t count = 0;
        char text[3 * kDigestItemSize + 2 * 2];
        std::size_t length = 0;
    };
    Items items[3];  // dmarc, dkim, spf
    bool dmarcDiffer = false;
    bool dmarcFails = false;
    bool dmarcOffFrom = false;
    bool dkimPassesAligned = false;
    ShownResult firstDmarc;
    for (std::size_t i = 0; i < block_.size(); ++i) {
        forEachResult(block_[i], [&](const Result& result) {
            Items& list = items[static_cast<int>(result.method)];
            const bool pass = result.result.is("pass");
            if (result.method == Method::kDmarc) {
                if (list.count == 0) firstDmarc = result.result;
                dmarcDiffer = dmarcDiffer || result.result != firstDmarc;
                dmarcFails = dmarcFails || result.result.is("fail");
                dmarcOffFrom = dmarcOffFrom || (fromKnown && result.hasDomain && result.domain != from.domain);
            } else if (result.method == Method::kDkim) {
                dkimPassesAligned = dkimPassesAligned || (pass && result.hasDomain && aligned(result.domain, from.domain));
            }
            if (list.count++ >= 3) return;
            LineWriter item(list.text, list.length);
            item << std::string_view(list.count > 1 ? ", " : "") << result.result.text();
            if (!result.hasDomain) return;
            if (result.method == Method::kDmarc) {
                if (!fromKnown || result.domain != from.domain) item << " for " << result.domain.text();
            } else if (!result.result.is("none")) {
                item << " " << result.domain.text();
                if (pass && !aligned(result.domain, from.domain)) item << " (not From)";
            }
        });
    }

    const std::string_view verdict = [&] {
        if (items[0].count + items[1].count + items[2].count == 0) return "NONE";
        if (dmarcFails || dmarcDiffer || dmarcOffFrom || moreThanOneFrom) return "FAIL";
        const bool dmarcPass = items[0].count > 0 && firstDmarc.is("pass") && fromKnown;
        if (dmarcPass || (items[0].count == 0 && dkimPassesAligned)) return "PASS";
        return "WARN";
    }();
    line << "[Auth] " << verdict << " " << (from.count == 0 ? "(no From)" : from.domain.text());
    if (moreThanOneFrom) line << " (more than one From)";
    const std::string_view names[] = {" | DMARC ", " | DKIM ", " | SPF "};
    for (int method = 0; method < 3; ++method) {
        const Items& list = items[method];
        if (list.count == 0) continue;
        line << names[method] << std::string_view(list.text, list.length);
        if (list.count > 3) line << ", +" << list.count - 3 << " more";
    }
    line << " | by " << server;
}
