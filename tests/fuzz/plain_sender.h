// Plain second readings of what the trust lines read of the sender, for the
// fuzz targets: the From field's addresses, form and display name, shown
// domains, public suffixes and organizational domains, and display-name
// claims. Each is written from the rules, in steps on whole strings (the
// value cut into a vector of tokens, then read), as differently from the
// module's one-pass readers as the rules allow.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <iconv.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <idn2.h>

#include "charset/encoded_words.h"
#include "fake_host.h"
#include "text/ascii.h"
#include "text/punycode.h"

namespace plain {

inline void check(bool condition) {
    if (!condition) std::abort();
}

inline std::string lowered(std::string text) {
    for (char& c : text) c = lowerAscii(c);
    return text;
}

// Each comment, outside quoted strings, replaced by one blank.
inline std::string withoutAuthComments(const std::string& text) {
    std::string out;
    bool quoted = false;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (depth > 0) {
            if (c == '\\') {
                ++i;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                out += ' ';
            }
        } else if (quoted) {
            out += c;
            if (c == '\\' && i + 1 < text.size()) {
                out += text[++i];
            } else if (c == '"') {
                quoted = false;
            }
        } else if (c == '(') {
            depth = 1;
        } else {
            quoted = c == '"';
            out += c;
        }
    }
    return out;
}

// Which bytes of text stand outside quoted strings.
inline std::vector<bool> outsideQuotes(const std::string& text) {
    std::vector<bool> outside(text.size(), true);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (quoted) {
            outside[i] = false;
            if (text[i] == '\\' && i + 1 < text.size()) {
                outside[++i] = false;
            } else if (text[i] == '"') {
                quoted = false;
            }
        } else if (text[i] == '"') {
            quoted = true;
            outside[i] = false;
        }
    }
    return outside;
}

// A UTF-8 domain's code points, by the grammar of RFC 3629; false when it is
// not UTF-8.
inline bool plainUtf8(const std::string& text, std::u32string& points) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const auto tail = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned b = byte(i);
        std::size_t length = 0;
        if (b < 0x80) {
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF && tail(i + 1)) {
            length = 2;
        } else if ((b == 0xE0 && tail(i + 1, 0xA0, 0xBF)) || (b >= 0xE1 && b <= 0xEC && tail(i + 1)) ||
                   (b == 0xED && tail(i + 1, 0x80, 0x9F)) || (b >= 0xEE && b <= 0xEF && tail(i + 1))) {
            length = tail(i + 2) ? 3 : 0;
        } else if ((b == 0xF0 && tail(i + 1, 0x90, 0xBF)) || (b >= 0xF1 && b <= 0xF3 && tail(i + 1)) ||
                   (b == 0xF4 && tail(i + 1, 0x80, 0x8F))) {
            length = tail(i + 2) && tail(i + 3) ? 4 : 0;
        }
        if (length == 0) return false;
        char32_t c = length == 1 ? b : b & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (byte(i + k) & 0x3F);
        points += c;
        i += length;
    }
    return true;
}

// A domain other than the From domain (a result's, a signer's, a rule of the
// list) as the lines show it: labels beyond ASCII as Punycode, the rest
// lowered; else "?".
inline std::string plainShownDomain(std::string domain) {
    while (!domain.empty() && domain.back() == '.') domain.pop_back();
    domain = lowered(domain);
    if (domain.size() > 1012) return "?";
    std::u32string points;
    if (!plainUtf8(domain, points)) return "?";
    std::vector<std::u32string> labels(1);
    for (const char32_t c : points) {
        if (c == U'.') {
            labels.emplace_back();
        } else {
            labels.back() += c;
        }
    }
    std::string shown;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) shown += '.';
        if (std::all_of(labels[i].begin(), labels[i].end(), [](char32_t c) { return c < 0x80; })) {
            for (const char32_t c : labels[i]) shown += static_cast<char>(c);
        } else {
            char punycode[4096];
            shown += "xn--" + std::string(punycode, encodePunycode(labels[i], punycode, sizeof punycode));
        }
    }
    const bool showable = std::all_of(shown.begin(), shown.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    });
    return shown.empty() || shown.size() > 253 || !showable ? "?" : shown;
}

// The Public Suffix List read plainly from its file: each rule's name, its
// IDN labels as A-labels, by kind; and which plain rules stand in the ICANN
// section's newer generic part and in the private section.
struct PlainSuffixList {
    std::set<std::string> rules, wildcards, exceptions, newGeneric, privateRules;

    PlainSuffixList() {
        std::ifstream in(QM_PUBLIC_SUFFIX_LIST);
        std::set<std::string>* part = nullptr;  // the part a plain rule is also listed in
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("// newGTLDs", 0) == 0) part = &newGeneric;
            if (line.rfind("// ===END ICANN DOMAINS===", 0) == 0) part = nullptr;
            if (line.rfind("// ===BEGIN PRIVATE DOMAINS===", 0) == 0) part = &privateRules;
            line = line.substr(0, line.find_first_of(" \t\r"));
            if (line.empty() || line.compare(0, 2, "//") == 0) continue;
            if (line[0] == '!') {
                exceptions.insert(plainShownDomain(line.substr(1)));
            } else if (line.compare(0, 2, "*.") == 0) {
                wildcards.insert(plainShownDomain(line.substr(2)));
            } else {
                rules.insert(plainShownDomain(line));
                if (part != nullptr) part->insert(plainShownDomain(line));
            }
        }
    }
};

inline const PlainSuffixList& suffixList() {
    static const PlainSuffixList list;
    return list;
}

// The public suffix of a name by the list's algorithm: its labels (0 when
// the name is no domain name), and what made it.
struct PlainSuffix {
    std::size_t labels = 0;
    bool listed = false;       // a rule of the list
    bool newGeneric = false;   // a rule of the newer generic top-level domains
    bool privateRule = false;  // a plain rule of the private section
};

inline PlainSuffix plainSuffixOf(const std::string& name) {
    std::vector<std::string> labels(1);
    for (const char c : name) {
        if (c == '.') {
            labels.emplace_back();
        } else {
            labels.back() += c;
        }
    }
    PlainSuffix suffix;
    if (std::any_of(labels.begin(), labels.end(), [](const std::string& label) { return label.empty(); })) return suffix;
    const PlainSuffixList& list = suffixList();
    suffix.labels = 1;
    std::string tail;
    for (std::size_t k = 1; k <= labels.size(); ++k) {
        tail = labels[labels.size() - k] + (k > 1 ? "." + tail : "");
        if (list.exceptions.count(tail) > 0) return {k - 1, true, false, false};
        if (list.rules.count(tail) > 0) {
            suffix = {k, true, list.newGeneric.count(tail) > 0, list.privateRules.count(tail) > 0};
        }
        if (k < labels.size() && list.wildcards.count(tail) > 0) suffix = {k + 1, true, false, false};
    }
    return suffix;
}

// The organizational domain of name, or "" for no domain name.
inline std::string plainOrganizational(const std::string& name) {
    const std::size_t suffix = plainSuffixOf(name).labels;
    if (suffix == 0) return "";
    std::size_t start = name.size();
    for (std::size_t labels = 0; labels <= suffix && start > 0; --start) {
        if (name[start - 1] == '.' && ++labels > suffix) break;
    }
    return name.substr(start);
}

inline bool plainAligned(const std::string& a, const std::string& b) {
    return a != "?" && b != "?" && !plainOrganizational(a).empty() && plainOrganizational(a) == plainOrganizational(b);
}

inline bool plainHostName(const std::string& name) {
    if (name.empty() || name.size() > 253) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(name.find('.', start), name.size());
        const std::string label = name.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (const char c : label) {
            if (c != '-' && !std::isalnum(static_cast<unsigned char>(c))) return false;
        }
        if (end == name.size()) return true;
        start = end + 1;
    }
}

// ---------------------------------------------------------------------------
// What the history of senders keeps of a From domain.

// Whether the history can hold domain: a host name of lower-case labels
// that is its own organizational domain.
inline bool plainStorable(const std::string& domain) {
    return plainHostName(domain) && lowered(domain) == domain && plainOrganizational(domain) == domain;
}

// The domain a From domain as the lines show it is recorded as when its
// mail passes, and whose note the lines ask: its organizational domain,
// whenever the history could hold that (a label with '_' below it, as in
// a_b.example.com, records example.com); "" for none.
inline std::string plainHistoryDomain(const std::string& shownFrom) {
    const std::string organization = plainOrganizational(shownFrom);
    return plainStorable(organization) ? organization : "";
}

// A stored domain's name, the label before its public suffix, and the
// suffix with its dot; false for a public suffix itself, which has none.
inline bool plainNameOf(const std::string& domain, std::string& name, std::string& suffix) {
    const std::size_t suffixLabels = plainSuffixOf(domain).labels;
    std::size_t dot = domain.size();
    for (std::size_t k = 0; k < suffixLabels; ++k) {
        dot = dot == 0 ? std::string::npos : domain.rfind('.', dot - 1);
        if (dot == std::string::npos) return false;
    }
    const std::size_t start = dot == 0 ? 0 : domain.rfind('.', dot - 1) == std::string::npos ? 0 : domain.rfind('.', dot - 1) + 1;
    name = domain.substr(start, dot - start);
    suffix = domain.substr(dot);
    return !name.empty();
}

// ---------------------------------------------------------------------------
// The From field (and Reply-To, read alike), in steps: the value cut into
// tokens, a vector of them; the addresses found among the tokens; each
// address's local part and domain read around its '@'; then the form of the
// whole judged, and the display name made of what is left.

enum class TokenKind { kBlank, kComment, kQuoted, kWord, kSpecial, kLiteral };

struct Token {
    TokenKind kind;
    std::string raw;      // the bytes as written
    std::string text;     // what a quoted string or comment holds, escapes applied; else raw
    bool closed = true;   // a quoted string, comment or literal that met its end
    bool route = false;   // part of a route: after its '<', up to and with its ':'
};

inline bool isBlankByte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }
inline bool isSpecialByte(char c) { return c != '\0' && std::strchr("<>@,:;.", c) != nullptr; }

inline bool isSpecial(const Token& token, char c) { return token.kind == TokenKind::kSpecial && token.raw[0] == c; }
inline bool isSpace(const Token& token) { return token.kind == TokenKind::kBlank || token.kind == TokenKind::kComment; }

// Where a run of raw ISO-2022-JP that begins at at ends: from ESC $ B or
// ESC $ @ through the next ESC ( B or ESC ( J (or the end), or that escape
// alone; at itself where none begins. Its pairs may be any bytes a mailer
// wrote ('"', '(', '@' among them), and they are text: a raw Japanese
// display name is a name like any other.
inline std::size_t jisRunEnd(const std::string& value, std::size_t at) {
    const auto escapeAt = [&](std::size_t i, const char* second, const char* finals) {
        return i + 2 < value.size() && value[i] == '\x1b' && value[i + 1] == second[0] &&
               value[i + 2] != '\0' && std::strchr(finals, value[i + 2]) != nullptr;
    };
    if (escapeAt(at, "(", "BJ")) return at + 3;
    if (!escapeAt(at, "$", "B@")) return at;
    for (std::size_t i = at + 3; i < value.size(); ++i) {
        if (escapeAt(i, "(", "BJ")) return i + 3;
    }
    return value.size();
}

// Whether value is read as Shift-JIS: it holds a byte beyond ASCII and is
// not UTF-8. Then a lead byte and the trail byte after it are one
// character, whatever the trail byte is ('@', a backslash).
inline bool plainShiftJis(const std::string& value) {
    std::u32string points;
    return std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
           !plainUtf8(value, points);
}
inline std::size_t plainCharacterLength(const std::string& value, std::size_t at, bool shiftJis) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(value[i]); };
    const bool lead = (byte(at) >= 0x81 && byte(at) <= 0x9F) || (byte(at) >= 0xE0 && byte(at) <= 0xFC);
    const bool trail = at + 1 < value.size() &&
                       ((byte(at + 1) >= 0x40 && byte(at + 1) <= 0x7E) || (byte(at + 1) >= 0x80 && byte(at + 1) <= 0xFC));
    return shiftJis && lead && trail ? 2 : 1;
}

// The token at at, read without regard to where it stands; at moves past it.
// '[' and ']' are word text here.
inline Token plainToken(const std::string& value, std::size_t& at, bool shiftJis) {
    const std::size_t start = at;
    Token token{TokenKind::kWord, "", ""};
    const char first = value[at];
    // Text of a quoted string or comment from i: a run of raw ISO-2022-JP
    // as it stands, else one byte, '\' taking the next as it is.
    const auto takeText = [&](std::size_t& i) {
        const std::size_t run = jisRunEnd(value, i);
        if (run > i) {
            token.text += value.substr(i, run - i);
            i = run;
        } else if (value[i] == '\r' || value[i] == '\n' || value[i] == '\0') {
            ++i;  // a fold's break, taken away as unfolding does
        } else if (value[i] == '\\') {
            if (++i < value.size() && value[i] != '\r' && value[i] != '\n' && value[i] != '\0') token.text += value[i];
            if (i < value.size()) ++i;
        } else {
            const std::size_t length = plainCharacterLength(value, i, shiftJis);
            token.text += value.substr(i, length);
            i += length;
        }
    };
    if (isBlankByte(first)) {
        token.kind = TokenKind::kBlank;
        while (at < value.size() && isBlankByte(value[at])) ++at;
    } else if (first == '(') {
        // Comments nest; the parentheses of one inside read as blanks.
        token.kind = TokenKind::kComment;
        std::size_t depth = 1;
        for (++at; at < value.size() && depth > 0;) {
            if (value[at] == '(') {
                ++depth;
                token.text += ' ';
                ++at;
            } else if (value[at] == ')') {
                if (--depth > 0) token.text += ' ';
                ++at;
            } else {
                takeText(at);
            }
        }
        token.closed = depth == 0;
    } else if (first == '"') {
        token.kind = TokenKind::kQuoted;
        token.closed = false;
        for (++at; at < value.size() && !token.closed;) {
            if (value[at] == '"') {
                token.closed = true;
                ++at;
            } else {
                takeText(at);
            }
        }
    } else if (isSpecialByte(first)) {
        token.kind = TokenKind::kSpecial;
        ++at;
    } else {
        while (at < value.size() && !isBlankByte(value[at]) && !isSpecialByte(value[at]) && value[at] != '(' &&
               value[at] != '"') {
            at = std::max(jisRunEnd(value, at), at + plainCharacterLength(value, at, shiftJis));
        }
    }
    token.raw = value.substr(start, at - start);
    if (token.kind != TokenKind::kComment && token.kind != TokenKind::kQuoted) token.text = token.raw;
    return token;
}

// A domain literal from its '[' to its ']' (or the end).
inline Token plainLiteral(const std::string& value, std::size_t& at) {
    const std::size_t start = at;
    Token token{TokenKind::kLiteral, "", "", false};
    for (++at; at < value.size();) {
        const char c = value[at++];
        if (c == '\\') {
            if (at < value.size()) ++at;
        } else if (c == ']') {
            token.closed = true;
            break;
        }
    }
    token.raw = token.text = value.substr(start, at - start);
    return token;
}

// The value's tokens. A '<' whose first token after it (blanks and comments
// aside) is '@' or ',' opens a route, whose tokens are marked from that one:
// up to and with its ':', or without one up to the '>' or the end (a route
// that never meets its ':' still holds no address). A comment before it is
// text a client shows. A '[' right after an address's '@'
// (blanks and comments aside) opens a domain literal.
inline std::vector<Token> plainTokens(const std::string& value) {
    std::vector<Token> tokens;
    const bool shiftJis = plainShiftJis(value);
    bool afterAddressAt = false;
    for (std::size_t at = 0; at < value.size();) {
        if (afterAddressAt && value[at] == '[') {
            tokens.push_back(plainLiteral(value, at));
            afterAddressAt = false;
            continue;
        }
        tokens.push_back(plainToken(value, at, shiftJis));
        const Token& token = tokens.back();
        if (!isSpace(token)) afterAddressAt = isSpecial(token, '@');
        if (!isSpecial(token, '<')) continue;
        std::vector<Token> ahead;
        std::size_t scan = at;
        std::size_t significant = 0;
        bool opened = false;
        while (scan < value.size()) {
            const std::size_t before = scan;
            ahead.push_back(plainToken(value, scan, shiftJis));
            const Token& next = ahead.back();
            if (isSpace(next)) continue;
            if (++significant == 1) {
                opened = isSpecial(next, '@') || isSpecial(next, ',');
                if (!opened) break;
            } else if (isSpecial(next, '>')) {
                // The '>' closes the brackets: no part of the route.
                ahead.pop_back();
                scan = before;
                break;
            } else if (isSpecial(next, ':')) {
                break;
            }
        }
        if (!opened) continue;
        bool routed = false;
        for (Token& aheadToken : ahead) {
            routed = routed || !isSpace(aheadToken);
            aheadToken.route = routed;
            tokens.push_back(aheadToken);
        }
        at = scan;
        afterAddressAt = false;
    }
    return tokens;
}

struct PlainAddress {
    std::size_t localBegin = 0;  // the first token of its local part (its '@' when it has none)
    std::size_t at = 0;          // its '@'
    std::size_t domainEnd = 0;   // past the last token of its domain
    std::string domain;          // its atoms and dots as written, or its literal
    bool literal = false;
};

// What a From (or Reply-To) value holds.
struct PlainMailbox {
    std::vector<PlainAddress> addresses;
    bool unusual = false;  // one address, not in a plain form
    std::string name;      // the display name for claims: the value but its first address
};

// The address whose '@' is tokens[at]: its local part, the longest run of
// words, quoted strings and dots before it in which no two words or quoted
// strings stand side by side; its domain, the atoms and dots after it, no
// two atoms side by side, or a literal. Blanks and comments may stand
// between any two.
inline PlainAddress plainAddressAt(const std::vector<Token>& tokens, std::size_t at) {
    PlainAddress address;
    address.at = address.localBegin = at;
    bool wordAfter = false;
    for (std::size_t i = at; i-- > 0;) {
        const Token& token = tokens[i];
        if (token.route) break;
        if (isSpace(token)) continue;
        const bool word = token.kind == TokenKind::kWord || token.kind == TokenKind::kQuoted;
        if ((word && wordAfter) || (!word && !isSpecial(token, '.'))) break;
        wordAfter = word;
        address.localBegin = i;
    }
    address.domainEnd = at + 1;
    std::size_t i = at + 1;
    while (i < tokens.size() && isSpace(tokens[i])) ++i;
    if (i < tokens.size() && tokens[i].kind == TokenKind::kLiteral) {
        address.domain = tokens[i].raw;
        address.literal = true;
        address.domainEnd = i + 1;
        return address;
    }
    bool atomLast = false;
    for (; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (isSpace(token)) continue;
        const bool atom = token.kind == TokenKind::kWord;
        if ((atom && atomLast) || (!atom && !isSpecial(token, '.'))) break;
        atomLast = atom;
        address.domain += token.raw;
        address.domainEnd = i + 1;
    }
    return address;
}

// Whether tokens [begin, end) are an addr-spec written plainly: a local part
// of word text and dots, or one quoted string without '@'; '@'; a dot-atom
// (a '[' or ']' in it makes a domain that cannot be shown, but no unusual
// form); nothing between them.
// Whether a local part or domain as written holds only what one written
// plainly holds: no control byte, no backslash or square bracket (a quoted
// local part's escaping backslashes aside), UTF-8 beyond ASCII, no "=?".
inline bool plainlyWritten(const std::string& text, bool quoted) {
    std::u32string points;
    const auto isBreak = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isBreak(c)) continue;  // a fold's break in a quoted string
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (quoted && c == '\\' && i + 1 < text.size() && !isBreak(text[i + 1])) {
            ++i;  // the byte it escapes stands as itself
            if (i < text.size() && (text[i] == '[' || text[i] == ']' || text[i] == '\\' ||
                                    static_cast<unsigned char>(text[i]) < 0x20 || text[i] == 0x7F)) {
                return false;
            }
            continue;
        }
        if (control || c == '[' || c == ']' || c == '\\') return false;
    }
    const bool high = std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return text.find("=?") == std::string::npos && (!high || plainUtf8(text, points));
}

inline bool plainAddrSpec(const std::vector<Token>& tokens, std::size_t begin, std::size_t end, std::size_t at) {
    if (begin >= at) return false;
    std::string local, domain;
    for (std::size_t i = begin; i < at; ++i) local += tokens[i].raw;
    for (std::size_t i = at + 1; i < end; ++i) domain += tokens[i].raw;
    const bool quotedLocal = at - begin == 1 && tokens[begin].kind == TokenKind::kQuoted;
    if (!plainlyWritten(local, quotedLocal) || !plainlyWritten(domain, false) || domain.size() > 1012) return false;
    bool quoted = false, wordText = false;
    for (std::size_t i = begin; i < at; ++i) {
        const Token& token = tokens[i];
        quoted = quoted || token.kind == TokenKind::kQuoted;
        wordText = wordText || token.kind == TokenKind::kWord || isSpecial(token, '.');
        if (token.kind == TokenKind::kQuoted && (!token.closed || token.text.find('@') != std::string::npos)) return false;
        if (token.kind != TokenKind::kQuoted && token.kind != TokenKind::kWord && !isSpecial(token, '.')) return false;
    }
    if (quoted && (wordText || at - begin != 1)) return false;
    if (end <= at + 1) return false;
    for (std::size_t i = at + 1; i < end; ++i) {
        const bool atomExpected = (i - at) % 2 == 1;
        const Token& token = tokens[i];
        if (atomExpected && token.kind != TokenKind::kWord) return false;
        if (!atomExpected && !isSpecial(token, '.')) return false;
    }
    return (end - at) % 2 == 0;  // ends with an atom
}

inline bool onlySpaces(const std::vector<Token>& tokens, std::size_t begin, std::size_t end, bool comments) {
    for (std::size_t i = begin; i < end; ++i) {
        if (tokens[i].kind != TokenKind::kBlank && !(comments && tokens[i].kind == TokenKind::kComment)) return false;
    }
    return true;
}

// Whether the value, holding the one address, is in a plain form: the
// addr-spec alone, blanks before it, blanks and comments after; or a
// display name, then '<', blanks, the addr-spec, blanks, '>', then blanks
// and comments.
inline bool plainForm(const std::vector<Token>& tokens, const PlainAddress& address) {
    const std::size_t end = tokens.size();
    // A comment or quoted string that runs to the end is no plain text.
    for (const Token& token : tokens) {
        if (!token.closed) return false;
    }
    if (!plainAddrSpec(tokens, address.localBegin, address.domainEnd, address.at)) return false;
    if (onlySpaces(tokens, 0, address.localBegin, false)) return onlySpaces(tokens, address.domainEnd, end, true);
    std::size_t open = address.localBegin;
    while (open > 0 && tokens[open - 1].kind == TokenKind::kBlank) --open;
    if (open == 0 || !isSpecial(tokens[open - 1], '<')) return false;
    --open;
    for (std::size_t i = 0; i < open; ++i) {
        const Token& token = tokens[i];
        if (token.kind == TokenKind::kSpecial && !isSpecial(token, '.')) return false;
        if (!token.closed) return false;
    }
    std::size_t close = address.domainEnd;
    while (close < end && tokens[close].kind == TokenKind::kBlank) ++close;
    return close < end && isSpecial(tokens[close], '>') && onlySpaces(tokens, close + 1, end, true);
}

inline PlainMailbox plainMailbox(const std::string& value) {
    const std::vector<Token> tokens = plainTokens(value);
    PlainMailbox mailbox;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (isSpecial(tokens[i], '@') && !tokens[i].route) mailbox.addresses.push_back(plainAddressAt(tokens, i));
    }
    if (mailbox.addresses.empty()) return mailbox;
    const PlainAddress& first = mailbox.addresses[0];
    mailbox.unusual = mailbox.addresses.size() == 1 && !plainForm(tokens, first);
    // The '<' that holds the first address, if one does, and its '>'.
    std::size_t open = tokens.size();
    for (std::size_t i = 0; i < first.localBegin; ++i) {
        if (tokens[i].route) continue;
        if (isSpecial(tokens[i], '<')) open = i;
        if (isSpecial(tokens[i], '>')) open = tokens.size();
    }
    std::size_t close = tokens.size();
    if (open < tokens.size()) {
        for (std::size_t i = first.domainEnd; i < tokens.size() && close == tokens.size(); ++i) {
            if (isSpecial(tokens[i], '>') && !tokens[i].route) close = i;
        }
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        // The address spans its local part's first token to its domain's
        // last, what stands between included; its brackets read as blanks.
        const bool ofAddress = (i >= first.localBegin && i < first.domainEnd) || token.route;
        if (ofAddress) continue;
        if (i == open || i == close) {
            mailbox.name += ' ';
            continue;
        }
        if (token.kind == TokenKind::kComment) {
            mailbox.name += ' ' + token.text + ' ';
        } else if (token.kind == TokenKind::kBlank) {
            mailbox.name += ' ';
        } else {
            mailbox.name += token.text;
        }
    }
    return mailbox;
}

// A From domain as the lines show it: one with a byte beyond ASCII mapped
// to A-labels as IDNA does; then without trailing dots, in lower case,
// only letters, digits, '.', '-' and '_', at most 253 bytes; else "?".
inline char32_t plainCp932At(const std::string& bytes, std::size_t& i);

inline std::string plainFromDomainShown(const std::string& domain, bool literal) {
    if (literal || domain.size() > 1012) return "?";
    std::string ascii = domain;
    std::u32string points;
    if (std::any_of(domain.begin(), domain.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        if (plainUtf8(domain, points)) {
            char* mapped = nullptr;
            if (idn2_to_ascii_8z(domain.c_str(), &mapped, IDN2_NONTRANSITIONAL) != IDN2_OK) return "?";
            ascii = mapped;
            idn2_free(mapped);
        } else {
            // Code page 932: its full-width letters and stops read as ASCII.
            ascii.clear();
            for (std::size_t i = 0; i < domain.size();) {
                const char32_t c = plainCp932At(domain, i);
                if (c != 0 && c < 0x80) {
                    ascii += static_cast<char>(c);
                } else if (c >= 0xFF01 && c <= 0xFF5E) {
                    ascii += static_cast<char>(c - 0xFF01 + 0x21);
                } else if (c == 0x3002 || c == 0xFF61) {
                    ascii += '.';
                } else {
                    return "?";
                }
            }
        }
    }
    while (!ascii.empty() && ascii.back() == '.') ascii.pop_back();
    ascii = lowered(ascii);
    const bool showable = std::all_of(ascii.begin(), ascii.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    });
    return ascii.empty() || ascii.size() > 253 || !showable ? "?" : ascii;
}

inline std::string plainShownOf(const PlainAddress& address) {
    return plainFromDomainShown(address.domain, address.literal);
}

// ---------------------------------------------------------------------------
// What a display name claims, in steps: its encoded words found and
// decoded, the raw pieces between them read as UTF-8, ISO-2022-JP or code
// page 932; every character then read as the ASCII a person takes it for;
// then the words of that text tried as domains.

// Unicode's default-ignorable code points: a reader never sees them.
inline bool plainInvisible(char32_t c) {
    static const char32_t ranges[][2] = {
        {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
        {0x180B, 0x180F}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
        {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};
    for (const auto& range : ranges) {
        if (c >= range[0] && c <= range[1]) return true;
    }
    return false;
}

// The confusables listing the build writes: each listed code point's
// mapping; one not listed maps to itself.
inline const std::map<char32_t, std::u32string>& confusablesListing() {
    static const std::map<char32_t, std::u32string> listing = [] {
        std::map<char32_t, std::u32string> read;
        std::ifstream in(QM_CONFUSABLES_LISTING);
        check(static_cast<bool>(in));
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string hex;
            if (!(fields >> hex)) continue;
            std::u32string& mapping = read[static_cast<char32_t>(std::stoul(hex, nullptr, 16))];
            while (fields >> hex) mapping += static_cast<char32_t>(std::stoul(hex, nullptr, 16));
        }
        check(read.size() > 1900);
        return read;
    }();
    return listing;
}

inline std::u32string confusableMapping(char32_t c) {
    const auto& listing = confusablesListing();
    const auto found = listing.find(c);
    return found == listing.end() ? std::u32string(1, c) : found->second;
}

// Combining marks: a letter with one reads as the letter.
inline bool plainMark(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

// The ASCII a person reads a character beyond ASCII as; 0 for none. The
// confusables hold small letters: a Greek or Cyrillic capital is looked up
// as its small one.
inline char plainLookAlike(char32_t c) {
    if (c == 0x2024 || c == 0xFE52 || c == 0xFF0E || c == 0x3002 || c == 0xFF61) return '.';
    if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char>(c - 0xFF01 + 0x21);
    if (c >= 0x1D400 && c <= 0x1D6A3) {
        const char32_t k = (c - 0x1D400) % 52;
        return static_cast<char>(k < 26 ? 'A' + k : 'a' + (k - 26));
    }
    if (c >= 0x1D7CE && c <= 0x1D7FF) return static_cast<char>('0' + (c - 0x1D7CE) % 10);
    if ((c >= 0x0391 && c <= 0x03A9) || (c >= 0x0410 && c <= 0x042F)) c += 0x20;
    if (c >= 0x0400 && c <= 0x040F) c += 0x50;
    const std::u32string mapping = confusableMapping(c);
    for (const char x : std::string("abcdefghijklmnopqrstuvwxyz0123456789.")) {
        if (confusableMapping(static_cast<unsigned char>(x)) == mapping) return x;
    }
    return 0;
}

// text, valid UTF-8, in Unicode's compatibility decomposition, by ICU.
inline std::string plainCompatibilityForm(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
    check(U_SUCCESS(status));
    std::string out;
    nfkd->normalize(icu::UnicodeString::fromUTF8(text), status).toUTF8String(out);
    check(U_SUCCESS(status));
    return out;
}

// One character of code page 932 text, as Unicode; 0 for what does not read.
inline char32_t plainCp932At(const std::string& bytes, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length =
        ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && i + 1 < bytes.size() ? 2 : 1;
    char32_t point = lead < 0x80 ? lead : 0;
    if (lead >= 0x80) {
        const iconv_t reader = iconv_open("UTF-32LE", "CP932");
        char* in = const_cast<char*>(bytes.data() + i);
        std::size_t inLeft = length;
        char out[8];
        char* outAt = out;
        std::size_t outLeft = sizeof out;
        if (iconv(reader, &in, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1) && outLeft == 4) {
            std::memcpy(&point, out, 4);
        }
        iconv_close(reader);
    }
    i += length;
    return point;
}

// One JIS X 0208 character, its two bytes as ISO-2022-JP writes them; 0 for
// none.
inline char32_t plainJisPair(const std::string& pair) {
    std::string text = "\x1b$B" + pair + "\x1b(B";
    const iconv_t reader = iconv_open("UTF-32LE", "ISO-2022-JP");
    char* in = text.data();
    std::size_t inLeft = text.size();
    char out[16];
    char* outAt = out;
    std::size_t outLeft = sizeof out;
    char32_t point = 0;
    if (iconv(reader, &in, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1) && outLeft == sizeof out - 4) {
        std::memcpy(&point, out, 4);
    }
    iconv_close(reader);
    return point;
}

// How raw text beyond ASCII that is not UTF-8 is read: code page 932;
// UTF-8 with each broken byte a character of no text; an EUC charset's
// pairs as JIS X 0208.
enum class PlainRaw { kCodePage932, kBrokenUtf8, kEuc };

// One character of no text, as a broken byte reads.
constexpr char32_t kNoText = 0xFFFF;

// A piece of the name as it stands, outside encoded words: UTF-8 in its
// compatibility form when it is that and goes beyond ASCII; else as raw
// says, code page 932 reading ESC $ B and ESC $ @ as the start of JIS X
// 0208 pairs and ESC ( B and ESC ( J as their end.
inline std::u32string plainRawPiece(const std::string& bytes, PlainRaw raw) {
    std::u32string points;
    const bool high = std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (high && plainUtf8(bytes, points)) {
        points.clear();
        check(plainUtf8(plainCompatibilityForm(bytes), points));
        return points;
    }
    points.clear();
    if (high && raw == PlainRaw::kBrokenUtf8) {
        for (std::size_t i = 0; i < bytes.size();) {
            std::u32string one;
            std::size_t length = 1;
            for (std::size_t k = 4; k >= 1; --k) {
                if (i + k <= bytes.size() && plainUtf8(bytes.substr(i, k), one) && one.size() == 1) {
                    length = k;
                    break;
                }
                one.clear();
            }
            points += one.size() == 1 ? one[0] : kNoText;
            i += length;
        }
        return points;
    }
    if (high && raw == PlainRaw::kEuc) {
        for (std::size_t i = 0; i < bytes.size();) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            const auto next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
            if (c >= 0xA1 && c <= 0xFE && next >= 0xA1 && next <= 0xFE) {
                points += plainJisPair(std::string{static_cast<char>(c - 0x80), static_cast<char>(next - 0x80)});
                i += 2;
            } else {
                points += c < 0x80 ? c : 0;
                ++i;
            }
        }
        return points;
    }
    bool pairs = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::string escape = bytes.substr(i, 3);
        if (escape == "\x1b$B" || escape == "\x1b$@" || escape == "\x1b(B" || escape == "\x1b(J") {
            pairs = escape[1] == '$';
            i += 3;
        } else if (pairs && i + 1 < bytes.size() && bytes[i + 1] == '\x1b') {
            points += char32_t{0};  // a byte alone before an escape
            ++i;
        } else if (pairs) {
            points += i + 1 < bytes.size() ? plainJisPair(bytes.substr(i, 2)) : 0;
            i += 2;
        } else {
            points += plainCp932At(bytes, i);
        }
    }
    return points;
}

// Decoded words as the decoder hands them: converted code page 932 text, or
// UTF-8, read in its compatibility form; a word kept as written, and the
// blanks between words, as raw text is read; and whether a word could not
// be decoded.
struct PlainDecodedText final : TextSink {
    explicit PlainDecodedText(PlainRaw raw) : raw(raw) {}

    PlainRaw raw;
    std::u32string points;
    bool undecodable = false;

    void writeConverted(std::string_view bytes) override {
        const std::string text(bytes);
        for (std::size_t i = 0; i < text.size();) points += plainCp932At(text, i);
    }
    void write(std::string_view bytes) override { points += plainRawPiece(std::string(bytes), raw); }
    void keptAsWritten() override { undecodable = true; }
    bool takesUtf8() const override { return true; }
    void writeUtf8(std::string_view text) override {
        std::u32string read;
        check(plainUtf8(plainCompatibilityForm(std::string(text)), read));
        points += read;
    }
};

// Where the encoded words of text stand: =?charset?B|Q?text?=, the charset
// and text of bytes from ' ' to '~' and beyond, without '?' or a blank.
inline std::vector<std::pair<std::size_t, std::size_t>> plainEncodedWords(const std::string& text) {
    const auto wordBytesFrom = [&](std::size_t i) {
        while (i < text.size() && text[i] != '?' && text[i] != ' ' && static_cast<unsigned char>(text[i]) >= 0x20 &&
               text[i] != 0x7F) {
            ++i;
        }
        return i;
    };
    std::vector<std::pair<std::size_t, std::size_t>> words;
    for (std::size_t at = 0; (at = text.find("=?", at)) != std::string::npos;) {
        const std::size_t charsetEnd = wordBytesFrom(at + 2);
        const bool head = charsetEnd > at + 2 && charsetEnd + 3 <= text.size() && text[charsetEnd] == '?' &&
                          std::strchr("BbQq", text[charsetEnd + 1]) != nullptr && text[charsetEnd + 1] != '\0' &&
                          text[charsetEnd + 2] == '?';
        const std::size_t textEnd = head ? wordBytesFrom(charsetEnd + 3) : 0;
        if (head && text.compare(textEnd, 2, "?=") == 0) {
            words.emplace_back(at, textEnd + 2);
            at = textEnd + 2;
        } else {
            ++at;
        }
    }
    return words;
}

// The display name's characters: runs of encoded words with only blanks
// between them decoded together, the pieces between read as they stand.
inline std::u32string plainNamePoints(const std::string& name, PlainRaw raw, bool* undecodable = nullptr) {
    const auto words = plainEncodedWords(name);
    std::u32string points;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < words.size();) {
        std::size_t last = i;
        while (last + 1 < words.size() &&
               name.find_first_not_of(" \t", words[last].second) >= words[last + 1].first) {
            ++last;
        }
        points += plainRawPiece(name.substr(copied, words[i].first - copied), raw);
        PlainDecodedText decoded(raw);
        appendDecoded(std::string_view(name).substr(words[i].first, words[last].second - words[i].first),
                      testConverter(), decoded);
        points += decoded.points;
        if (undecodable != nullptr && decoded.undecodable) *undecodable = true;
        copied = words[last].second;
        i = last + 1;
    }
    return points + plainRawPiece(name.substr(copied), raw);
}

// The name as the ASCII a person reads: invisible characters and marks
// gone, every other character beyond ASCII its look-alike, or a blank;
// what a right-to-left override (U+202E) turns around, up to its pop
// (U+202C), another override or the end, turned around.
inline std::string plainReadAs(const std::u32string& points) {
    std::string read;
    std::string turned;
    bool overriding = false;
    const auto endOverride = [&] {
        read += std::string(turned.rbegin(), turned.rend());
        turned.clear();
        overriding = false;
    };
    for (const char32_t c : points) {
        if (c == 0x202E || c == 0x202C) {
            endOverride();
            overriding = c == 0x202E;
            continue;
        }
        if (plainInvisible(c) || plainMark(c)) continue;
        const char ascii = c < 0x80 ? static_cast<char>(c) : c == kNoText ? 0 : plainLookAlike(c);
        (overriding ? turned : read) += ascii != 0 ? ascii : ' ';
    }
    endOverride();
    return read;
}

// The organizational domain a display name claims when it is not
// fromOrganization; "" for none.
inline std::string plainClaimOfText(const std::string& text, const std::string& fromOrganization);

// Raw text beyond ASCII that is not UTF-8 is read the other ways too when
// code page 932 finds no claim.
inline std::string plainNameClaim(const std::string& displayName, const std::string& fromOrganization) {
    std::u32string points;
    const bool guessed = std::any_of(displayName.begin(), displayName.end(),
                                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
                         !plainUtf8(displayName, points);
    for (const PlainRaw raw : {PlainRaw::kCodePage932, PlainRaw::kBrokenUtf8, PlainRaw::kEuc}) {
        const std::string claim = plainClaimOfText(plainReadAs(plainNamePoints(displayName, raw)), fromOrganization);
        if (!claim.empty() || !guessed) return claim;
    }
    return "";
}

inline std::string plainClaimOfText(const std::string& text, const std::string& fromOrganization) {
    const auto isDomainCharacter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.'; };
    const std::string local = "!#$%&'*+/=?^_`{|}~";
    const auto trimmed = [](std::string name) {
        name = lowered(name);
        while (!name.empty() && name.front() == '.') name.erase(0, 1);
        while (!name.empty() && name.back() == '.') name.pop_back();
        return name;
    };
    // What name claims; "" for nothing, or the address's or From's own.
    // A public suffix claims only when a company owns it; a name in prose
    // only under a listed rule that is not one of the newer generic ones,
    // with a label of two characters or more before it.
    const auto claimOf = [&](const std::string& name, bool ofAddress) -> std::string {
        const PlainSuffix suffix = plainHostName(name) ? plainSuffixOf(name) : PlainSuffix();
        const std::size_t labels = static_cast<std::size_t>(std::count(name.begin(), name.end(), '.')) + 1;
        if (suffix.labels == 0) return "";
        if (suffix.labels >= labels) {
            if (!suffix.privateRule) return "";
        } else if (!ofAddress) {
            std::size_t end = name.size();
            for (std::size_t k = 0; k < suffix.labels; ++k) end = name.rfind('.', end - 1);
            const std::size_t start = name.rfind('.', end - 1) == std::string::npos ? 0 : name.rfind('.', end - 1) + 1;
            if (!suffix.listed || suffix.newGeneric || end - start < 2) return "";
        }
        const std::string organization = plainOrganizational(name);
        return organization == fromOrganization ? "" : organization;
    };
    // A word that ends in a newer generic label is tried again without it.
    const auto genericClaim = [&](std::string word) -> std::string {
        for (;;) {
            const std::string claim = claimOf(word, false);
            const std::size_t dot = word.rfind('.');
            if (!claim.empty() || dot == std::string::npos || suffixList().newGeneric.count(word.substr(dot + 1)) == 0) {
                return claim;
            }
            word.erase(dot);
        }
    };
    // A word that claims nothing is tried again cut at each hyphen of its
    // last label, from the right: "paypal.com-support" is paypal.com.
    const auto wordClaim = [&](const std::string& word) -> std::string {
        const std::string claim = genericClaim(word);
        const std::size_t dot = word.rfind('.');
        if (!claim.empty() || dot == std::string::npos) return claim;
        for (std::size_t hyphen = word.size(); hyphen-- > dot + 1;) {
            if (word[hyphen] != '-') continue;
            const std::string cut = genericClaim(word.substr(0, hyphen));
            if (!cut.empty()) return cut;
        }
        return "";
    };
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at;
        while (end < text.size() && (isDomainCharacter(text[end]) || text[end] == '@' || local.find(text[end]) != std::string::npos)) {
            ++end;
        }
        const std::string run = text.substr(at, end - at);
        at = std::max(end, at + 1);
        const std::size_t lastAt = run.rfind('@');
        if (lastAt != std::string::npos) {
            std::size_t stop = lastAt + 1;
            while (stop < run.size() && isDomainCharacter(run[stop])) ++stop;
            const std::string claim = claimOf(trimmed(run.substr(lastAt + 1, stop - lastAt - 1)), true);
            if (!claim.empty()) return claim;
            continue;
        }
        for (std::size_t word = 0; word < run.size();) {
            std::size_t stop = word;
            while (stop < run.size() && isDomainCharacter(run[stop])) ++stop;
            const std::string claim = wordClaim(trimmed(run.substr(word, stop - word)));
            if (!claim.empty()) return claim;
            word = stop + 1;
        }
    }
    return "";
}

// ---------------------------------------------------------------------------
// What both trust lines read of the sender, from the values of the From
// fields (each one's lines joined).
struct PlainSender {
    std::size_t fields = 0;
    PlainMailbox mailbox;     // of the first field
    std::string from = "?";   // the first address's domain as shown
    std::string claim;        // what the display name claims; "" for nothing new
    // Raw text beyond ASCII that is not UTF-8 reads more than one way, and
    // its pieces may be read apart: which domain such a name names first is
    // left open; that it names one is not.
    bool claimOpen = false;

    // The claim line must show: this reading's, or where that is open, the
    // one line shows when it shows one.
    std::string claimIn(const std::string& line) const {
        const std::string note = " (name says ";
        const std::size_t at = line.find(note);
        if (claim.empty() || !claimOpen || at == std::string::npos) return claim;
        const std::size_t end = line.find(')', at + note.size());
        if (end == std::string::npos || end == at + note.size()) return claim;
        return line.substr(at + note.size(), end - at - note.size());
    }

    bool many() const { return fields > 1 || mailbox.addresses.size() > 1; }
    bool known() const { return !mailbox.addresses.empty() && from != "?"; }
    // The From domain and the notes of the From field, as both lines begin.
    std::string subject() const {
        if (mailbox.addresses.empty()) return std::string("(no From)") + (many() ? " (more than one From)" : "");
        return from + (mailbox.unusual ? " (unusual From)" : "") + (many() ? " (more than one From)" : "");
    }
};

inline PlainSender plainSender(const std::vector<std::string>& fromValues) {
    PlainSender sender;
    sender.fields = fromValues.size();
    if (fromValues.empty()) return sender;
    sender.mailbox = plainMailbox(fromValues[0]);
    if (sender.mailbox.addresses.empty()) return sender;
    sender.from = plainShownOf(sender.mailbox.addresses[0]);
    sender.claim = plainNameClaim(sender.mailbox.name, sender.known() ? plainOrganizational(sender.from) : "");
    std::u32string points;
    const std::string& name = sender.mailbox.name;
    sender.claimOpen = std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
                       !plainUtf8(name, points);
    // A name holding an encoded word that cannot be decoded cannot be read.
    bool undecodable = false;
    plainNamePoints(sender.mailbox.name, PlainRaw::kCodePage932, &undecodable);
    if (sender.mailbox.addresses.size() == 1 && undecodable) sender.mailbox.unusual = true;
    return sender;
}

}  // namespace plain
