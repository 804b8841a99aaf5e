// Plain second readings of what the trust lines read of the sender, for the
// fuzz targets: the From field's addresses and display name, shown domains,
// public suffixes and organizational domains, and display-name claims. Each
// is written in steps on whole strings, as differently from the module's
// one-pass readers as the rules allow.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <iconv.h>

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

// The display name of a From value's first address, read plainly in
// steps: the breaks dropped; each byte labelled by what it is to the name;
// the labelled bytes split into parts at commas outside brackets; then the
// name: the text of the parts before the first address, brackets and all,
// each with its comma, then that address's text before its '<', or without
// one its comments' text. No address, no name.
inline std::string plainDisplayName(const std::string& raw) {
    std::string value;
    for (const char c : raw) {
        if (c != '\0' && c != '\r' && c != '\n') value += c;
    }
    enum Kind { kText, kCommentText, kNoText, kOpen, kClose, kAt, kComma };
    std::vector<std::pair<char, Kind>> bytes;
    int depth = 0;
    bool quoted = false, escaped = false;
    for (const char c : value) {
        if (escaped) {
            escaped = false;
            bytes.push_back({c, depth > 0 ? kCommentText : kText});
        } else if (depth > 0) {
            if (c == '\\') {
                escaped = true;
                bytes.push_back({c, kNoText});
            } else if (c == ')' && --depth == 0) {
                bytes.push_back({' ', kCommentText});
            } else {
                depth += c == '(' ? 1 : 0;
                bytes.push_back({c, kCommentText});
            }
        } else if (quoted) {
            escaped = c == '\\';
            quoted = c != '"';
            bytes.push_back({c, c == '\\' || c == '"' ? kNoText : kText});
        } else if (c == '(') {
            depth = 1;
            bytes.push_back({' ', kCommentText});
        } else if (c == '"') {
            quoted = true;
            bytes.push_back({c, kNoText});
        } else {
            bytes.push_back({c, c == '<' ? kOpen : c == '>' ? kClose : c == '@' ? kAt : c == ',' ? kComma : kText});
        }
    }
    struct Part {
        std::string text, beforeBracket, comments;
        bool address = false, bracketed = false;
    };
    std::vector<Part> parts(1);
    bool inBracket = false;
    for (const auto& [c, kind] : bytes) {
        Part& part = parts.back();
        if (kind == kNoText) continue;
        if (kind == kComma && !inBracket) {
            parts.emplace_back();
            continue;
        }
        if (kind == kOpen && !inBracket) {
            if (!part.bracketed) part.beforeBracket = part.text;
            part.bracketed = inBracket = true;
        } else if (kind == kClose) {
            inBracket = false;
        }
        part.address = part.address || kind == kAt;
        part.text += c;
        if (kind == kCommentText) part.comments += c;
    }
    std::string name;
    for (const Part& part : parts) {
        if (part.address) return name + (part.bracketed ? part.beforeBracket : part.comments);
        name += part.text + ",";
    }
    return "";
}

// The pieces of a decoded display name as code points: code page 932 text
// read a character at a time by the C library (0 for what it cannot read),
// words of UTF-8 as they stand.
struct PlainNameText final : TextSink {
    std::u32string points;

    void write(std::string_view bytes) override {
        for (std::size_t i = 0; i < bytes.size();) {
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
            points += point;
            i += length;
        }
    }
    bool takesUtf8() const override { return true; }
    void writeUtf8(std::string_view text) override {
        std::u32string read;
        check(plainUtf8(std::string(text), read));
        points += read;
    }
};

// The display name's characters as ASCII: full-width forms and full stops
// folded, anything else beyond ASCII a blank.
inline std::string plainFolded(const std::u32string& points) {
    std::string folded;
    for (char32_t point : points) {
        if (point >= 0xFF01 && point <= 0xFF5E) point -= 0xFF01 - 0x21;
        if (point == 0x3002 || point == 0xFF61) point = '.';
        folded += point < 0x80 && point != 0 ? static_cast<char>(point) : ' ';
    }
    return folded;
}

// The organizational domain a From value's display name claims when it is
// not fromOrganization; "" for none.
inline std::string plainNameClaim(const std::string& value, const std::string& fromOrganization) {
    PlainNameText name;
    appendDecoded(plainDisplayName(value), testConverter(), name);
    const std::string text = plainFolded(name.points);
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
            const std::string claim = claimOf(trimmed(run.substr(word, stop - word)), false);
            if (!claim.empty()) return claim;
            word = stop + 1;
        }
    }
    return "";
}

// The addresses of a From value, and the shown domain of the first.
inline std::size_t plainFrom(const std::string& value, std::string& domain) {
    const std::string text = withoutAuthComments(value);
    const std::vector<bool> outside = outsideQuotes(text);
    std::vector<std::pair<std::size_t, std::size_t>> parts;  // begin, end
    std::size_t begin = 0;
    bool bracket = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!outside[i]) continue;
        if (text[i] == '<') bracket = true;
        if (text[i] == '>') bracket = false;
        if (text[i] == ',' && !bracket) {
            parts.emplace_back(begin, i);
            begin = i + 1;
        }
    }
    parts.emplace_back(begin, text.size());
    std::size_t addresses = 0;
    for (const auto& [first, last] : parts) {
        std::size_t lastAt = std::string::npos;
        std::size_t bracketAt = std::string::npos;
        for (std::size_t i = first; i < last; ++i) {
            if (outside[i] && text[i] == '@') lastAt = i;
            if (outside[i] && text[i] == '<' && bracketAt == std::string::npos) bracketAt = i;
        }
        if (lastAt == std::string::npos || addresses++ > 0) continue;
        std::size_t from = first;
        std::size_t to = last;
        if (bracketAt != std::string::npos) {
            from = bracketAt + 1;
            to = from;
            while (to < last && !(outside[to] && text[to] == '>')) ++to;
        }
        std::size_t at = std::string::npos;
        for (std::size_t i = from; i < to; ++i) {
            if (outside[i] && text[i] == '@') at = i;
        }
        if (at == std::string::npos) {
            domain = "?";
            continue;
        }
        std::size_t start = at + 1;
        while (start < to && (text[start] == ' ' || text[start] == '\t')) ++start;
        std::size_t stop = start;
        while (stop < to && std::string(" \t>,;").find(text[stop]) == std::string::npos) ++stop;
        domain = plainShownDomain(text.substr(start, stop - start));
    }
    return addresses;
}

}  // namespace plain
