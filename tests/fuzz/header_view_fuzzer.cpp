// libFuzzer target for the header view: arbitrary settings and header bytes.
//
// Input, readable so that seeds can be real headers:
//   line 1: ignoreCase, sort, wholeFields, decode, hops and auth, as decimal
//           integers
//   line 2: the separator (up to 300 bytes; 256 or more fill its buffer)
//   show patterns, a line each, up to a line "%%"
//   hide patterns, a line each, up to a line "%%"
//   with auth nonzero: trusted servers, a line each, up to a line "%%"
//   the rest: the header text, any bytes (it ends at its first NUL)
// Lists stop at 99 patterns. Anything missing is empty.
//
// Every output is checked against a plain second reading of the rules and
// against the invariants the host relies on.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <iconv.h>

#include "charset/charsets.h"
#include "charset/encoded_words.h"
#include "domains/public_suffixes.h"
#include "fake_host.h"
#include "headerview/header_view.h"
#include "plain_sender.h"
#include "text/ascii.h"
#include "text/punycode.h"

namespace {

using namespace plain;

// Like check, and shows both texts when they differ, so that a reproducer
// tells what it is about.
void checkSame(const std::string& got, const std::string& expected) {
    if (got == expected) return;
    std::fprintf(stderr, "got:\n%s\nexpected:\n%s\n", got.c_str(), expected.c_str());
    std::abort();
}

// Splits off the next LF-terminated line of the input; the last may lack it.
std::string takeLine(const std::string& input, std::size_t& at) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    std::string line = input.substr(at, end - at);
    at = std::min(end + 1, input.size());
    return line;
}

// Patterns as the settings file can hold them: no NUL.
PatternList takeList(const std::string& input, std::size_t& at) {
    PatternList list;
    while (at < input.size()) {
        std::string line = takeLine(input, at);
        if (line == "%%") break;
        if (list.size() < kMaxPatterns) list.push_back(line.substr(0, line.find('\0')));
    }
    return list;
}

Settings parseSettings(const std::string& input, std::size_t& at) {
    Settings settings;
    const std::string numbers = takeLine(input, at);
    char* end = const_cast<char*>(numbers.c_str());
    for (std::int32_t* value : {&settings.ignoreCase, &settings.sort, &settings.wholeFields, &settings.decode,
                                &settings.hops, &settings.auth}) {
        *value = static_cast<std::int32_t>(std::strtol(end, &end, 10));
    }
    const std::string separator = takeLine(input, at).substr(0, 300);
    std::memcpy(settings.separator, separator.data(), std::min(separator.size(), kSeparatorSize));
    settings.showPatterns = takeList(input, at);
    settings.hidePatterns = takeList(input, at);
    if (settings.auth != 0) settings.authServers = takeList(input, at);
    return settings;
}

bool isBreak(char c) { return c == '\r' || c == '\n'; }

// The rules read plainly: lowered probe copies, patterns tried in list order.
bool begins(const std::string& probe, const std::string& pattern) {
    return probe.compare(0, pattern.size(), pattern) == 0;
}

std::size_t firstMatch(const std::string& probe, const PatternList& patterns) {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (begins(probe, patterns[i])) return i;
    }
    return patterns.size();
}

// Encoded words read plainly: find every word first, then form the runs, then
// write the line.
struct Word {
    std::size_t begin, end;
    const Charset* charset;
    bool decodable;
    std::string bytes;
};

bool wordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c != '?' && c != ' ' && byte >= 0x20 && byte != 0x7F;
}

std::size_t wordBytesFrom(const std::string& line, std::size_t i) {
    while (i < line.size() && wordByte(line[i])) ++i;
    return i;
}

bool plainBase64(const std::string& text, std::string& bytes) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::size_t digits = text.find_last_not_of('=') + 1;  // 0 when all '='
    const std::size_t padding = text.size() - digits;
    if (digits % 4 == 1) return false;
    if (padding > 0 && (digits % 4 == 0 || digits % 4 + padding > 4)) return false;
    std::string values;
    for (std::size_t i = 0; i < digits; ++i) {
        const std::size_t value = alphabet.find(text[i]);
        if (value == std::string::npos) return false;
        values += static_cast<char>(value);
    }
    for (std::size_t i = 0; i < values.size(); i += 4) {
        const std::size_t group = std::min<std::size_t>(4, values.size() - i);
        unsigned long bits = 0;
        for (std::size_t k = 0; k < 4; ++k) bits = bits << 6 | (k < group ? static_cast<unsigned char>(values[i + k]) : 0);
        for (std::size_t k = 0; k + 1 < group; ++k) bytes += static_cast<char>(bits >> (16 - 8 * k) & 0xFF);
    }
    return true;
}

// Q plainly: "_" in the literal text is a blank, each "=XX" read by the C
// library as a hexadecimal number.
bool plainQ(const std::string& text, std::string& bytes) {
    const auto literal = [&bytes](std::string part) {
        for (char& c : part) {
            if (c == '_') c = ' ';
        }
        bytes += part;
    };
    std::size_t from = 0;
    for (std::size_t equals; (equals = text.find('=', from)) != std::string::npos; from = equals + 3) {
        literal(text.substr(from, equals - from));
        const std::string hex = text.substr(equals + 1, 2);
        if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
            return false;
        }
        bytes += static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
    }
    literal(text.substr(from));
    return true;
}

std::vector<Word> wordsOf(const std::string& line) {
    std::vector<Word> words;
    std::size_t at = 0;
    while ((at = line.find("=?", at)) != std::string::npos) {
        const std::size_t charsetEnd = wordBytesFrom(line, at + 2);
        const std::size_t textEnd = wordBytesFrom(line, charsetEnd + 3);
        const bool word = charsetEnd > at + 2 && charsetEnd + 3 <= line.size() && line[charsetEnd] == '?' &&
                          std::string("BbQq").find(line[charsetEnd + 1]) != std::string::npos &&
                          line[charsetEnd + 2] == '?' && line.compare(textEnd, 2, "?=") == 0;
        if (!word) {
            ++at;
            continue;
        }
        Word w{at, textEnd + 2, charsetNamed(line.substr(at + 2, charsetEnd - at - 2)), false, ""};
        const std::string text = line.substr(charsetEnd + 3, textEnd - charsetEnd - 3);
        const bool base64 = line[charsetEnd + 1] == 'B' || line[charsetEnd + 1] == 'b';
        w.decodable = w.charset != nullptr && (base64 ? plainBase64(text, w.bytes) : plainQ(text, w.bytes));
        words.push_back(w);
        at = w.end;
    }
    return words;
}

bool blanksOnly(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

std::string plainDecoded(const std::string& line) {
    std::vector<Word> words = wordsOf(line);
    // run[i]: the index of the first word of word i's run; converted[first]: its text.
    std::vector<std::size_t> run(words.size());
    std::vector<std::string> converted(words.size());
    std::vector<bool> decoded(words.size(), false);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const bool joins = i > 0 && words[i].decodable && words[i - 1].decodable &&
                           words[i].charset->codePage == words[i - 1].charset->codePage &&
                           blanksOnly(line.substr(words[i - 1].end, words[i].begin - words[i - 1].end));
        run[i] = joins ? run[i - 1] : i;
    }
    for (std::size_t first = 0; first < words.size(); ++first) {
        if (run[first] != first || !words[first].decodable) continue;
        std::string bytes;
        std::size_t last = first;
        for (std::size_t k = first; k < words.size() && run[k] == first; ++k) bytes += words[k].bytes, last = k;
        std::string out;
        if (!convertToCodePage932(*words[first].charset, bytes, testConverter(), out)) continue;
        for (char& c : out) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
        }
        converted[first] = out;
        for (std::size_t k = first; k <= last; ++k) decoded[k] = true;
    }
    std::string result;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string gap = line.substr(copied, words[i].begin - copied);
        const bool dropGap = decoded[i] && i > 0 && decoded[i - 1] && blanksOnly(gap);
        if (!dropGap) result += gap;
        if (!decoded[i]) {
            result += line.substr(words[i].begin, words[i].end - words[i].begin);
        } else if (run[i] == i) {
            result += converted[i];
        }
        copied = words[i].end;
    }
    return result + line.substr(copied);
}

// Dates read plainly: comments and line breaks made blanks first, then the
// parts read one by one.
std::string withoutComments(const std::string& text) {
    std::string out;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (depth == 0 && c != '(') {
            out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
        } else if (c == '\\') {
            ++i;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            out += ' ';
        }
    }
    return out;
}

std::optional<std::int64_t> plainTime(const std::string& raw) {
    const std::string t = withoutComments(raw);
    std::size_t i = 0;
    const auto blanks = [&] { while (i < t.size() && t[i] == ' ') ++i; };
    const auto run = [&](bool digits) {
        const std::size_t start = i;
        while (i < t.size() && (digits ? std::isdigit(static_cast<unsigned char>(t[i])) != 0
                                       : std::isalpha(static_cast<unsigned char>(t[i])) != 0)) {
            ++i;
        }
        return t.substr(start, i - start);
    };
    const auto lower = [](std::string word) {
        for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return word;
    };
    const auto value = [](const std::string& digits, std::size_t least, std::size_t most) {
        return digits.size() < least || digits.size() > most ? -1 : std::stoi(digits);
    };
    const std::string dayNames = "mon tue wed thu fri sat sun ";
    const std::string months = "jan feb mar apr may jun jul aug sep oct nov dec ";
    blanks();
    std::string word = run(false);
    if (!word.empty() && (word.size() != 3 || dayNames.find(lower(word) + ' ') == std::string::npos)) return {};
    blanks();
    if (!word.empty() && i < t.size() && t[i] == ',') ++i, blanks();
    const int day = value(run(true), 1, 2);
    blanks();
    word = lower(run(false));
    const std::size_t monthAt = word.size() == 3 ? months.find(word + ' ') : std::string::npos;
    blanks();
    const std::string yearDigits = run(true);
    int year = value(yearDigits, 2, 4);
    if (yearDigits.size() == 2) year += year < 50 ? 2000 : 1900;
    if (yearDigits.size() == 3) year += 1900;
    blanks();
    const int hour = value(run(true), 1, 2);
    blanks();
    if (i >= t.size() || t[i] != ':') return {};
    ++i, blanks();
    const int minute = value(run(true), 2, 2);
    blanks();
    int second = 0;
    if (i < t.size() && t[i] == ':') ++i, blanks(), second = value(run(true), 2, 2), blanks();
    if (day < 1 || monthAt == std::string::npos || year < 0 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60) {
        return {};
    }
    const int month = static_cast<int>(monthAt / 4) + 1;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > monthDays[month - 1]) return {};
    int zone = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        const int sign = t[i] == '-' ? -1 : 1;
        ++i;
        const int digits = value(run(true), 4, 4);
        if (digits < 0) return {};
        zone = sign * (digits / 100 * 60 + digits % 100);
    } else {
        word = lower(run(false));
        if (word.empty()) return {};
        const std::pair<const char*, int> names[] = {{"est", -5}, {"edt", -4}, {"cst", -6}, {"cdt", -5},
                                                     {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
        for (const auto& name : names) {
            if (word == name.first) zone = name.second * 60;
        }
    }
    // Days since 1970 counted the long way round: whole years, then months.
    std::int64_t days = 0;
    for (int y = std::min(year, 1970); y < std::max(year, 1970); ++y) {
        days += ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365;
    }
    if (year < 1970) days = -days;
    for (int m = 1; m < month; ++m) days += monthDays[m - 1];
    days += day - 1;
    return days * 86400 + hour * 3600 + minute * 60 + second - zone * 60;
}

std::string plainDelay(std::optional<std::int64_t> newer, std::optional<std::int64_t> older) {
    if (!newer || !older) return "  [?]";
    const std::int64_t delay = *newer - *older;
    const std::int64_t a = delay < 0 ? -delay : delay;
    char text[64];
    if (a < 60) {
        std::snprintf(text, sizeof text, "%llds", static_cast<long long>(a));
    } else if (a < 3600) {
        std::snprintf(text, sizeof text, "%lldm%02llds", static_cast<long long>(a / 60), static_cast<long long>(a % 60));
    } else if (a < 86400) {
        std::snprintf(text, sizeof text, "%lldh%02lldm", static_cast<long long>(a / 3600),
                      static_cast<long long>(a % 3600 / 60));
    } else {
        std::snprintf(text, sizeof text, "%lldd%02lldh", static_cast<long long>(a / 86400),
                      static_cast<long long>(a % 86400 / 3600));
    }
    return std::string("  [") + (delay < 0 ? '-' : '+') + text + "]";
}

bool namedField(const std::string& line, const std::string& name) {
    if (line.size() < name.size()) return false;
    for (std::size_t k = 0; k < name.size(); ++k) {
        if (std::tolower(static_cast<unsigned char>(line[k])) != name[k]) return false;
    }
    const std::size_t colon = line.find_first_not_of(" \t", name.size());
    return colon != std::string::npos && line[colon] == ':';
}

// The authentication digest read plainly: each step on a whole string, the
// comments dropped first, then the parts split, then the words.
std::vector<std::string> splitOutside(const std::string& text, char separator) {
    const std::vector<bool> outside = outsideQuotes(text);
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (outside[i] && text[i] == separator) {
            parts.emplace_back();
        } else {
            parts.back() += text[i];
        }
    }
    return parts;
}

std::string unquoted(const std::string& text) {
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (quoted && text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else {
            out += text[i];
        }
    }
    return out;
}

struct PlainWord {
    std::string word;  // unquoted
    bool pair;
    std::string key, value;
};

std::vector<PlainWord> authWordsOf(const std::string& part) {
    // Blanks next to an '=' outside quoted strings go first.
    const std::vector<bool> outside = outsideQuotes(part);
    const auto blankAt = [&](std::size_t i) { return outside[i] && (part[i] == ' ' || part[i] == '\t'); };
    std::string kept;
    std::vector<bool> keptOutside;
    for (std::size_t i = 0; i < part.size();) {
        if (!blankAt(i)) {
            kept += part[i];
            keptOutside.push_back(outside[i]);
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < part.size() && blankAt(end)) ++end;
        const bool nextToEquals = (i > 0 && outside[i - 1] && part[i - 1] == '=') ||
                                  (end < part.size() && outside[end] && part[end] == '=');
        if (!nextToEquals) {
            kept += ' ';
            keptOutside.push_back(true);
        }
        i = end;
    }
    std::vector<PlainWord> words;
    std::string raw;
    std::size_t equals = std::string::npos;
    const auto endWord = [&] {
        if (raw.empty()) return;
        const bool pair = equals != std::string::npos;
        words.push_back({unquoted(raw), pair, pair ? unquoted(raw.substr(0, equals)) : "",
                         pair ? unquoted(raw.substr(equals + 1)) : ""});
        raw.clear();
        equals = std::string::npos;
    };
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (keptOutside[i] && kept[i] == ' ') {
            endWord();
            continue;
        }
        if (keptOutside[i] && kept[i] == '=' && equals == std::string::npos) equals = raw.size();
        raw += kept[i];
    }
    endWord();
    return words;
}

std::string plainShownResult(const std::string& result) {
    const std::string shown = lowered(result);
    const bool showable = std::all_of(shown.begin(), shown.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    });
    return shown.empty() || shown.size() > 32 || !showable ? "?" : shown;
}

std::string afterLastAt(const std::string& text) { return text.substr(text.rfind('@') + 1); }

struct PlainResult {
    std::string method, result;
    bool hasDomain;
    std::string domain;
};

// The id (or "" with noServer) and the dkim, spf and dmarc results of an
// Authentication-Results value.
void plainResults(const std::string& value, bool& noServer, std::string& id, std::vector<PlainResult>* results) {
    const std::vector<std::string> parts = splitOutside(withoutAuthComments(value), ';');
    noServer = false;
    id.clear();
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::vector<PlainWord> words = authWordsOf(parts[p]);
        if (p == 0 && (words.empty() || !words[0].pair)) {
            if (!words.empty()) id = words[0].word;
            if (words.size() > 1 && !words[1].pair && words[1].word != "1") return;
            continue;
        }
        noServer = noServer || p == 0;
        if (results == nullptr) return;
        if (words.empty() || !words[0].pair) continue;
        const std::string method = lowered(words[0].key.substr(0, words[0].key.find('/')));
        if (method != "dkim" && method != "spf" && method != "dmarc") continue;
        std::map<std::string, std::string> properties;
        for (std::size_t w = 1; w < words.size(); ++w) {
            if (words[w].pair) properties.emplace(lowered(words[w].key), words[w].value);
        }
        const auto has = [&](const char* key) { return properties.count(key) > 0; };
        PlainResult result{method, plainShownResult(words[0].value), true, ""};
        if (method == "dkim" && has("header.d")) {
            result.domain = properties["header.d"];
        } else if (method == "dkim" && has("header.i")) {
            result.domain = afterLastAt(properties["header.i"]);
        } else if (method == "spf" && has("smtp.mailfrom")) {
            result.domain = afterLastAt(properties["smtp.mailfrom"]);
        } else if (method == "spf" && has("smtp.helo")) {
            result.domain = properties["smtp.helo"];
        } else if (method == "dmarc" && has("header.from")) {
            result.domain = afterLastAt(properties["header.from"]);
        } else {
            result.hasDomain = false;
        }
        result.domain = plainShownDomain(result.domain);
        results->push_back(result);
    }
}

bool plainTrusts(const PatternList& servers, bool noServer, const std::string& id) {
    const std::string name = lowered(id);
    for (const std::string& server : servers) {
        if (server == "-") {
            if (noServer) return true;
            continue;
        }
        if (noServer) continue;
        const std::string listed = lowered(server);
        if (listed.size() > 2 && listed.compare(0, 2, "*.") == 0) {
            const std::string dotted = listed.substr(1);  // ".example.com"
            if (name == listed.substr(2)) return true;
            if (name.size() >= dotted.size() && name.compare(name.size() - dotted.size(), dotted.size(), dotted) == 0) {
                return true;
            }
        } else if (name == listed) {
            return true;
        }
    }
    return false;
}

// The value of a field after the colon that ends its name.
std::string valueOfField(const std::string& field) { return field.substr(field.find(':') + 1); }

// moduleView: the module's view, which says which claim a name open to
// more than one reading names.
std::string plainDigest(const Settings& settings, const std::vector<std::string>& authFields,
                        const std::vector<std::string>& fromFields, const std::string& moduleView) {
    if (authFields.empty()) return "[Auth] ? no Authentication-Results";
    bool noServer = false;
    std::string id;
    plainResults(valueOfField(authFields[0]), noServer, id, nullptr);
    const std::string by = noServer ? "-" : plainShownDomain(id);
    std::vector<PlainResult> results;
    for (const std::string& field : authFields) {
        std::string fieldId;
        bool fieldNoServer = false;
        plainResults(valueOfField(field), fieldNoServer, fieldId, nullptr);
        if (!plainTrusts(settings.authServers, fieldNoServer, fieldId)) {
            if (&field == &authFields[0]) return "[Auth] ? not trusted: " + by;
            break;
        }
        plainResults(valueOfField(field), fieldNoServer, fieldId, &results);
    }
    std::vector<std::string> fromValues;
    for (const std::string& field : fromFields) fromValues.push_back(valueOfField(field));
    const PlainSender sender = plainSender(fromValues);
    const std::string& fromDomain = sender.from;
    const bool fromKnown = sender.known();
    const bool many = sender.many();
    const std::string claim = sender.claimIn(moduleView.substr(0, moduleView.find('\n')));
    std::string from = sender.subject();
    if (!claim.empty()) from += " (name says " + claim + ")";

    std::map<std::string, std::vector<const PlainResult*>> byMethod;
    for (const PlainResult& result : results) byMethod[result.method].push_back(&result);
    const std::vector<const PlainResult*>& dmarc = byMethod["dmarc"];
    if (results.empty()) return std::string("[Auth] ") + (many ? "FAIL " : "NONE ") + from + " | by " + by;
    bool fail = many;
    for (const PlainResult* result : dmarc) {
        fail = fail || result->result == "fail" || result->result != dmarc[0]->result ||
               (fromKnown && result->hasDomain && result->domain != fromDomain);
    }
    bool dkimAligned = false;
    for (const PlainResult* result : byMethod["dkim"]) {
        dkimAligned = dkimAligned || (result->result == "pass" && result->hasDomain && plainAligned(result->domain, fromDomain));
    }
    const char* verdict = fail ? "FAIL"
                          : ((!dmarc.empty() && dmarc[0]->result == "pass" && fromKnown) || (dmarc.empty() && dkimAligned)) &&
                                  claim.empty() && !sender.mailbox.unusual
                              ? "PASS"
                              : "WARN";
    std::string line = std::string("[Auth] ") + verdict + " " + from;
    for (const char* method : {"dmarc", "dkim", "spf"}) {
        const std::vector<const PlainResult*>& list = byMethod[method];
        if (list.empty()) continue;
        line += std::string(" | ") + (method == std::string("dmarc") ? "DMARC" : method == std::string("dkim") ? "DKIM" : "SPF") + " ";
        for (std::size_t i = 0; i < list.size() && i < 3; ++i) {
            const PlainResult& result = *list[i];
            line += (i > 0 ? ", " : "") + result.result;
            if (!result.hasDomain) continue;
            if (method == std::string("dmarc")) {
                if (!fromKnown || result.domain != fromDomain) line += " for " + result.domain;
            } else if (result.result != "none") {
                line += " " + result.domain;
                if (result.result == "pass" && !plainAligned(result.domain, fromDomain)) line += " (not From)";
            }
        }
        if (list.size() > 3) line += ", +" + std::to_string(list.size() - 3) + " more";
    }
    return line + " | by " + by;
}

struct Expected {
    std::string text;        // what the host is handed; empty: no call
    std::string buffer;      // the header buffer afterwards
    std::vector<std::string> headerLines;
};

struct ViewLine {
    std::string text;
    int hop = -1;  // the Received field whose delay follows it
};

struct Field {
    std::string first;  // its first line, which names it
    std::string text;   // the field's lines joined
    int lastShown[2] = {-1, -1};  // the group and index of its last view line
};

Expected expectedFor(const Settings& settings, const std::string& header, const std::string& moduleView) {
    Expected expected;
    expected.buffer = header;
    // The view lines of each group, in the order they begin.
    std::vector<std::vector<ViewLine>> groups(kGroupCount);
    std::vector<Field> fields;
    bool sawField = false;
    std::vector<ViewLine>* fieldGroup = nullptr;  // the shown field's group, or null
    std::size_t i = 0;
    while (i < header.size()) {
        while (i < header.size() && isBreak(header[i])) ++i;
        if (i == header.size()) break;
        const std::size_t start = i;
        while (i < header.size() && !isBreak(header[i])) ++i;
        const std::string line = header.substr(start, i - start);
        if (i < header.size()) expected.buffer[i++] = '\0';
        expected.headerLines.push_back(line);

        const bool continuation = line[0] == ' ' || line[0] == '\t';
        if (!continuation) fields.push_back({line, line});
        if (continuation && sawField) fields.back().text += line;
        const auto shownAt = [&](std::vector<ViewLine>& group) {
            fields.back().lastShown[0] = static_cast<int>(&group - &groups[0]);
            fields.back().lastShown[1] = static_cast<int>(group.size()) - 1;
        };
        if (continuation && (settings.wholeFields == 1 || settings.wholeFields == 2) && sawField) {
            if (fieldGroup == nullptr) continue;
            if (settings.wholeFields == 2) {
                fieldGroup->back().text += line;
            } else {
                fieldGroup->push_back({line});
            }
            shownAt(*fieldGroup);
            continue;
        }
        std::string probe = line;
        if (settings.ignoreCase != 0) {
            for (char& c : probe) c = lowerAscii(c);
        }
        const std::size_t show = firstMatch(probe, settings.showPatterns);
        const bool shown = show < settings.showPatterns.size() &&
                           firstMatch(probe, settings.hidePatterns) == settings.hidePatterns.size();
        std::vector<ViewLine>& group = groups[settings.sort != 0 ? std::min(show, kGroupCount - 1) : 0];
        if (shown) group.push_back({line});
        if (!continuation) {
            sawField = true;
            fieldGroup = shown ? &group : nullptr;
            if (shown) shownAt(group);
        }
    }
    std::vector<std::optional<std::int64_t>> received;
    std::vector<const Field*> receivedFields;
    std::optional<std::optional<std::int64_t>> date;
    for (const Field& field : fields) {
        if (namedField(field.first, "received")) {
            const std::size_t semicolon = field.text.rfind(';');
            received.push_back(semicolon == std::string::npos ? std::nullopt
                                                               : plainTime(field.text.substr(semicolon + 1)));
            receivedFields.push_back(&field);
        } else if (!date && namedField(field.first, "date")) {
            date = plainTime(field.text.substr(field.text.find(':') + 1));
        }
    }
    if (settings.hops == 1) {
        for (std::size_t k = 0; k < received.size(); ++k) {
            const int* at = receivedFields[k]->lastShown;
            if (at[0] < 0) continue;
            const auto older = k + 1 < received.size() ? received[k + 1] : date.value_or(std::nullopt);
            groups[at[0]][at[1]].hop = static_cast<int>(k);
            groups[at[0]][at[1]].text += '\x01' + plainDelay(received[k], older);
        }
    }
    for (const auto& group : groups) {
        for (const ViewLine& line : group) {
            // The delay, behind its mark, is not decoded.
            const std::size_t mark = line.hop >= 0 ? line.text.rfind('\x01') : line.text.size();
            const std::string body = line.text.substr(0, mark);
            expected.text += settings.decode == 1 ? plainDecoded(body) : body;
            if (mark < line.text.size()) expected.text += line.text.substr(mark + 1);
            expected.text += '\n';
        }
    }
    if (settings.auth == 1) {
        std::vector<std::string> authFields;
        std::vector<std::string> fromFields;
        for (const Field& field : fields) {
            if (namedField(field.first, "authentication-results")) authFields.push_back(field.text);
            if (namedField(field.first, "from")) fromFields.push_back(field.text);
        }
        expected.text = plainDigest(settings, authFields, fromFields, moduleView) + '\n' + expected.text;
    }
    // Every view that holds a line ends with the separator's.
    if (!expected.text.empty()) {
        expected.text.append(settings.separator, strnlen(settings.separator, kSeparatorSize));
        expected.text += '\n';
    }
    return expected;
}


// The invariants, stated on their own: each shown line is a header line,
// never empty and without CR; lines of one pattern keep header order; the
// text ends with the separator line.
void checkInvariants(const Settings& settings, const Expected& expected, const std::string& text) {
    const std::size_t separatorLength = strnlen(settings.separator, kSeparatorSize);
    const std::string separatorLine = std::string(settings.separator, separatorLength) + '\n';
    check(text.size() >= separatorLine.size());
    check(text.compare(text.size() - separatorLine.size(), separatorLine.size(), separatorLine) == 0);

    std::size_t searchFrom = 0;  // sort off: one group, in header order
    std::size_t at = 0;
    const std::size_t body = text.size() - separatorLine.size();
    while (at < body) {
        const std::size_t end = text.find('\n', at);
        check(end != std::string::npos && end < body + 1);
        const std::string line = text.substr(at, end - at);
        check(!line.empty() && line.find('\r') == std::string::npos);
        const auto& lines = expected.headerLines;
        bool found = false;
        for (std::size_t k = settings.sort != 0 ? 0 : searchFrom; k < lines.size(); ++k) {
            if (lines[k] == line) {
                found = true;
                searchFrom = k + 1;
                break;
            }
        }
        check(found);
        at = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    const Settings settings = parseSettings(input, at);
    const std::string rest = input.substr(at);
    const std::string header = rest.substr(0, rest.find('\0'));

    // The table's organizational domains against the list read plainly:
    // each show pattern, as a domain the digest would show.
    for (const std::string& pattern : settings.showPatterns) {
        ShownDomain shown;
        showDomain(pattern, shown);
        if (shown.known()) check(organizationalDomain(shown.text()) == plainOrganizational(std::string(shown.text())));
    }

    FakeHost host;
    host.headers[7] = header;
    showHeaderView(host, settings, 7, testConverter());

    const Expected expected = expectedFor(settings, header, host.textCalls.empty() ? "" : host.textCalls[0].text);
    check(host.bufferAfterCall(7) == expected.buffer);
    if (expected.text.empty()) {
        check(host.textCalls.empty());
        return 0;
    }
    check(host.textCalls.size() == 1);
    check(host.textCalls[0].mode == kViewTextMode);
    checkSame(host.textCalls[0].text, expected.text);
    std::string text = host.textCalls[0].text;
    if (settings.auth == 1) {
        // No byte a sender writes reaches the digest unchecked.
        const std::string line = text.substr(0, text.find('\n'));
        for (const char c : line) {
            check(std::isalnum(static_cast<unsigned char>(c)) || (c != '\0' && std::strchr("[]?|,+().-_: ", c)));
        }
        text.erase(0, line.size() + 1);
    }
    // The plain view's lines are header lines as they stand.
    if (settings.wholeFields != 1 && settings.wholeFields != 2 && settings.decode != 1 && settings.hops != 1) {
        checkInvariants(settings, expected, text);
    }
    return 0;
}
