// libFuzzer target for the history of senders: a history file read, then
// domains recorded and asked about, written back and merged with another
// process's file.
//
// Input, readable so that seeds can be real files:
//   line 1: "CAPACITY" or "CAPACITY TODAY": the history's capacity (decimal;
//     0, none or past 50,000: 50,000), and the day the file is read on, a
//     signed count of days after 2024-01-01 (none: 9999-12-31, so that no
//     date stands ahead of it)
//   the history file's bytes, up to a line "%%"
//   then a command a line, DAYS a signed decimal count of days after the
//   history's first day (its "since", as it stands when the command runs):
//     "+DOMAIN DAYS"  records DOMAIN on that day
//     "?DOMAIN DAYS"  asks what the trust lines add after From domain
//                     DOMAIN that day; checked for a DOMAIN such as the
//                     lines show (lower-case letters, digits, '.', '-',
//                     '_'), only asked for others
//     "=" or "= DAYS" writes the history and reads it back in its place, on
//                     that day (none: the day of line 1)
//     "<" or "< DAYS" merges another process's file, whose bytes follow up
//                     to the next line "%%" (or the end), as read that day
//                     (none: the day of line 1)
//
// Every result is checked against a plain second reading: the file read by
// its grammar line by line, the history kept as a map with the order
// domains were recorded in, each note found by trying every known domain
// against each rule in turn, skeletons from the plain listing the build
// writes, public suffixes from the list's own file, edit distances computed
// in full. Each input's model may spend kModelBudget steps on notes (the
// cells of edit-distance tables and the characters searched); past that the
// notes are still asked but no longer checked, so that a crafted input of
// many long known names keeps the fixed run fast.
//
// Built with QM_SENDERS_FUZZ_EARLIER_RULES the model keeps the rules the
// module kept before look-alikes were flagged until known and the file
// forgave an editor's leftovers: that build checks a module of then.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "plain_sender.h"
#include "senders/sender_history.h"
#include "senders/skeleton.h"
#include "text/punycode.h"

namespace {

#ifdef QM_SENDERS_FUZZ_EARLIER_RULES
constexpr bool kEarlierRules = true;
#else
constexpr bool kEarlierRules = false;
#endif

// Aborts, naming the check's line, when condition does not hold.
void check(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "check on line %d failed\n", line);
    std::abort();
}

void checkSame(const std::string& got, const std::string& expected) {
    if (got == expected) return;
    std::fprintf(stderr, "got:\n%s\nexpected:\n%s\n", got.c_str(), expected.c_str());
    std::abort();
}

constexpr std::size_t kCapacity = SenderHistory::kMaxDomains;
constexpr Day kFuzzStart = dayOf(2024, 1, 1);
constexpr std::uint32_t kKnownDays = 3;
constexpr std::size_t kModelBudget = 1500000;

// ---------------------------------------------------------------------------
// Where the module is called for what it gained: a read on a given day and
// a merge. Each calls the member of the signature below when the module
// has it, and else what it had.

template <typename History, typename = void>
struct ReadsOnADay : std::false_type {};
template <typename History>
struct ReadsOnADay<History, std::void_t<decltype(std::declval<History&>().read(std::string_view(), Day()))>>
    : std::true_type {};

template <typename History, typename = void>
struct Merges : std::false_type {};
template <typename History>
struct Merges<History, std::void_t<decltype(std::declval<History&>().merge(std::string_view(), Day()))>>
    : std::true_type {};

// Reads file in place of the history, dates later than today read as today.
template <typename History>
bool readOn(History& history, std::string_view file, Day today) {
    if constexpr (ReadsOnADay<History>::value) {
        return history.read(file, today);
    } else {
        (void)today;
        return history.read(file);
    }
}

// Merges the history another process saved, read as readOn reads it;
// false, leaving the history, when file is no history. A module without a
// merge merges nothing, which the model tells.
template <typename History>
bool mergeOn(History& history, std::string_view file, Day today) {
    if constexpr (Merges<History>::value) {
        return history.merge(file, today);
    } else {
        (void)history, (void)file, (void)today;
        return false;
    }
}

// ---------------------------------------------------------------------------
// The skeleton plainly: labels split at dots, each xn-- one decoded when it
// decodes, every code point looked up in the listing.
std::u32string plainSkeleton(const std::string& domain) {
    std::u32string skeleton;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(domain.find('.', start), domain.size());
        const std::string label = domain.substr(start, dot - start);
        std::u32string points;
        char32_t decoded[63];
        const std::size_t count = label.compare(0, 4, "xn--") == 0 ? decodePunycode(label.substr(4), decoded, 63) : 0;
        if (count > 0) {
            points.assign(decoded, count);
        } else {
            for (const char c : label) points += static_cast<unsigned char>(c);
        }
        for (const char32_t c : points) skeleton += plain::confusableMapping(c);
        if (dot == domain.size()) return skeleton;
        skeleton += U'.';
        start = dot + 1;
    }
}

// The characters of a label read as Unicode: its Punycode decoded when it
// decodes, else its bytes.
std::u32string plainCharacters(const std::string& label) {
    char32_t decoded[63];
    const std::size_t count = label.compare(0, 4, "xn--") == 0 ? decodePunycode(label.substr(4), decoded, 63) : 0;
    if (count > 0) return std::u32string(decoded, count);
    std::u32string points;
    for (const char c : label) points += static_cast<unsigned char>(c);
    return points;
}

std::u32string bytesOf(const std::string& text) {
    std::u32string points;
    for (const char c : text) points += static_cast<unsigned char>(c);
    return points;
}

// A date plainly: its fields, a month's days by its own rule.
bool plainDate(const std::string& text, Day& day) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int dayOfMonth = std::stoi(text.substr(8, 2));
    const bool leap = year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > days[month - 1]) return false;
    day = dayOf(year, static_cast<std::uint32_t>(month), static_cast<std::uint32_t>(dayOfMonth));
    return true;
}

std::string dateText(Day day) {
    char text[kDateLength];
    return std::string(text, writeDate(day, text));
}

// ---------------------------------------------------------------------------
// The history plainly.

struct Record {
    Day first, last;
    std::uint32_t days;
    std::uint64_t order;  // when it was last changed: the least goes first
};

struct Model {
    Day since = 0;
    std::map<std::string, Record> domains;
    std::uint64_t clock = 0;
    bool changed = false;
};

// Orders the domains as a file read leaves them: by LAST, then domain.
void orderAsRead(Model& model) {
    std::vector<std::pair<std::pair<Day, std::string>, Record*>> all;
    for (auto& [domain, record] : model.domains) all.push_back({{record.last, domain}, &record});
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& item : all) item.second->order = model.clock++;
}

void evictPast(Model& model, std::size_t capacity) {
    while (model.domains.size() > capacity) {
        auto oldest = model.domains.begin();
        for (auto it = model.domains.begin(); it != model.domains.end(); ++it) {
            if (it->second.order < oldest->second.order) oldest = it;
        }
        model.domains.erase(oldest);
        model.changed = true;
    }
}

// Two records of one domain as one: the earlier FIRST, the later LAST, the
// larger count of dates (each count was of dates the other may share, so
// their sum could invent some).
Record mergedRecord(const Record& a, const Record& b) {
    return {std::min(a.first, b.first), std::max(a.last, b.last), std::max(a.days, b.days), 0};
}

// The line as read: without the blanks, tabs and CRs an editor leaves at
// its end (before, only the CR of a CR LF).
std::string trimmedLine(std::string line) {
    if (kEarlierRules) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.pop_back();
    return line;
}

// The file read by its grammar on day today; false for anything that is no
// history. What an editor leaves is read past: a UTF-8 byte-order mark,
// blank lines anywhere, trailing blanks, a last line without its LF, lines
// that begin with '#' after the first. A domain that is not its own
// organizational domain is read into that domain's line. Each line is read
// as of today before lines are merged: a date later than today as today,
// DAYS at most the dates from FIRST to LAST then (the dates a wrong clock
// wrote ahead are one, today). A domain written on two lines is read as
// one, its records merged, as an editor's copy and paste may leave it; a
// line longer than the module reads, its CR and blanks counted, comment or
// not, is damage.
bool plainRead(std::string file, std::size_t capacity, Day today, Model& model) {
    // A NUL is no text an editor leaves, in a # line too.
    if (file.find('\0') != std::string::npos) return false;
    if (!kEarlierRules && file.compare(0, 3, "\xEF\xBB\xBF") == 0) file.erase(0, 3);
    if (kEarlierRules && (file.empty() || file.back() != '\n')) return false;
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < file.size();) {
        const std::size_t end = std::min(file.find('\n', start), file.size());
        if (end - start > SenderHistory::kMaxLineLength) return false;
        lines.push_back(trimmedLine(file.substr(start, end - start)));
        start = end + 1;
    }
    std::size_t first = 0;
    while (!kEarlierRules && first < lines.size() && lines[first].empty()) ++first;
    const std::string head = "# Quillmark senders 1 since ";
    Model read;
    if (first == lines.size() || lines[first].compare(0, head.size(), head) != 0 ||
        !plainDate(lines[first].substr(head.size()), read.since)) {
        return false;
    }
    if (read.since > today) {
        read.since = today;
        read.changed = true;
    }
    std::set<std::string> written;
    for (std::size_t i = first + 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!kEarlierRules && (line.empty() || line[0] == '#')) continue;
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t blank = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, blank - start));
            if (blank == line.size()) break;
            start = blank + 1;
        }
        Record record{};
        const std::string& count = fields.size() == 4 ? fields[3] : "";
        if (fields.size() != 4 || !plain::plainHostName(fields[0]) || plain::lowered(fields[0]) != fields[0] ||
            !plainDate(fields[1], record.first) || !plainDate(fields[2], record.last) || count.empty() ||
            count.size() > 9 || count[0] == '0' || count.find_first_not_of("0123456789") != std::string::npos ||
            record.first > record.last || std::stoll(count) > static_cast<long long>(record.last) - record.first + 1) {
            return false;
        }
        if (!written.insert(fields[0]).second) {
            if (kEarlierRules) return false;
            read.changed = true;
        }
        record.days = static_cast<std::uint32_t>(std::stoll(count));
        const std::string organization = plain::plainOrganizational(fields[0]);
        if (organization != fields[0]) {
            if (kEarlierRules) return false;
            read.changed = true;
        }
        if (record.last > today) {
            record.last = today;
            record.first = std::min(record.first, today);
            record.days = std::min<std::uint32_t>(record.days, static_cast<std::uint32_t>(record.last - record.first + 1));
            read.changed = true;
        }
        const auto found = read.domains.find(organization);
        read.domains[organization] = found == read.domains.end() ? record : mergedRecord(found->second, record);
    }
    orderAsRead(read);
    evictPast(read, capacity);
    model = read;
    return true;
}

std::string plainWrite(const Model& model) {
    std::string file = "# Quillmark senders 1 since " + dateText(model.since) + "\n";
    for (const auto& [domain, record] : model.domains) {
        file += domain + " " + dateText(record.first) + " " + dateText(record.last) + " " + std::to_string(record.days) + "\n";
    }
    return file;
}

// Another process's file merged in: read as plainRead reads it, whatever
// its length; each domain's records merged; the history's first day the
// earlier; then ordered as a read of the merged file orders it, the least
// recent going past capacity. False, leaving the model, for no history.
bool plainMerge(Model& model, const std::string& file, std::size_t capacity, Day today) {
    // Every line of theirs is merged before any goes past capacity, so that
    // a domain both hold keeps the dates of both.
    Model other;
    if (!plainRead(file, static_cast<std::size_t>(-1), today, other)) return false;
    model.since = std::min(model.since, other.since);
    for (const auto& [domain, record] : other.domains) {
        const auto found = model.domains.find(domain);
        model.domains[domain] = found == model.domains.end() ? record : mergedRecord(found->second, record);
    }
    orderAsRead(model);
    evictPast(model, capacity);
    return true;
}

void plainRecord(Model& model, std::size_t capacity, const std::string& domain, Day today) {
    if (!plain::plainStorable(domain) || today < kFirstDay || today > kLastDay) return;
    const auto found = model.domains.find(domain);
    if (found != model.domains.end()) {
        Record& record = found->second;
        if (record.last >= today) return;
        record.last = today;
        ++record.days;
        record.order = model.clock++;
        model.changed = true;
        return;
    }
    model.domains[domain] = {today, today, 1, model.clock++};
    model.changed = true;
    evictPast(model, capacity);
}

// ---------------------------------------------------------------------------
// Notes.

// The edit distance in slips, a character added, removed or changed, or
// two neighbours swapped, made one after another: a swapped pair may take
// another slip (ca and abc are two apart). Damerau and Levenshtein's
// distance in full, by Lowrance and Wagner's table.
std::size_t slipsBetween(const std::u32string& a, const std::u32string& b) {
    const std::size_t far = a.size() + b.size();
    // d[(i + 1) * width + j + 1]: the slips between a's first i characters and b's first j.
    const std::size_t width = b.size() + 2;
    std::vector<std::size_t> d((a.size() + 2) * width, far);
    for (std::size_t i = 0; i <= a.size(); ++i) d[(i + 1) * width + 1] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[width + j + 1] = j;
    // Each character of b as its place among the characters of both.
    std::u32string alphabet = a + b;
    std::sort(alphabet.begin(), alphabet.end());
    alphabet.erase(std::unique(alphabet.begin(), alphabet.end()), alphabet.end());
    const auto place = [&](char32_t c) {
        return static_cast<std::size_t>(std::lower_bound(alphabet.begin(), alphabet.end(), c) - alphabet.begin());
    };
    std::vector<std::size_t> bPlace(b.size());
    for (std::size_t j = 0; j < b.size(); ++j) bPlace[j] = place(b[j]);
    std::vector<std::size_t> lastRow(alphabet.size(), 0);  // the last of a's characters each stood as, from 1
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t lastColumn = 0;  // the last of b's characters equal to a's i-th, from 1
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t k = lastRow[bPlace[j - 1]];
            const std::size_t l = lastColumn;
            const bool same = a[i - 1] == b[j - 1];
            if (same) lastColumn = j;
            d[(i + 1) * width + j + 1] =
                std::min({d[i * width + j] + (same ? 0 : 1), d[(i + 1) * width + j] + 1, d[i * width + j + 1] + 1,
                          d[k * width + l] + (i - k - 1) + 1 + (j - l - 1)});
        }
        lastRow[place(a[i - 1])] = i;
    }
    return d[(a.size() + 1) * width + b.size() + 1];
}

// What the rules compare of a domain.
struct Compared {
    std::u32string skeleton;  // of the whole domain
    bool named = false;       // it has a name: it is no public suffix itself
    std::string suffix;       // its public suffix, with the dot before it
    std::u32string name;      // the name as the rules compare it: its skeleton
    std::size_t characters = 0;        // of the name read as Unicode
    std::size_t joinedCharacters = 0;  // the same but hyphens
    std::u32string words;     // name with its dots read as hyphens
    std::u32string joined;    // name without dots and hyphens
    // The name's characters as slips count them: each as its skeleton
    // reads, one character though it reads as two (m as rn).
    std::u32string characterSkeletons;
};

// A code for each character's skeleton: the skeleton itself when it is one
// character, else one of the codes past Unicode's that stands for it.
std::u32string characterSkeletonsOf(const std::string& name) {
    static std::map<std::u32string, char32_t> codes;
    std::u32string read;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(name.find('.', start), name.size());
        for (const char32_t c : plainCharacters(name.substr(start, dot - start))) {
            const std::u32string skeleton = plain::confusableMapping(c);
            if (skeleton.size() == 1) {
                read += skeleton[0];
            } else {
                read += codes.emplace(skeleton, static_cast<char32_t>(0x110000 + codes.size())).first->second;
            }
        }
        if (dot == name.size()) return read;
        read += U'.';
        start = dot + 1;
    }
}

// How many characters must be taken out of the longer of a and b, at
// least, for both to read the same: past their longest common subsequence.
std::size_t takenOutOfEach(const std::u32string& a, const std::u32string& b) {
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = 0;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = a[i - 1] == b[j - 1] ? diagonal + 1 : std::max(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return std::max(a.size(), b.size()) - row[b.size()];
}

// The text a name is compared as: before, its bytes, but for the first
// rule; now its skeleton.
std::u32string comparedText(const std::string& text) { return kEarlierRules ? bytesOf(text) : plainSkeleton(text); }

std::u32string asWords(std::u32string text) {
    std::replace(text.begin(), text.end(), U'.', U'-');
    return text;
}

std::u32string joined(std::u32string text) {
    text.erase(std::remove_if(text.begin(), text.end(), [](char32_t c) { return c == U'.' || c == U'-'; }), text.end());
    return text;
}

Compared comparedOf(const std::string& domain) {
    Compared compared;
    compared.skeleton = plainSkeleton(domain);
    std::string name;
    compared.named = plain::plainNameOf(domain, name, compared.suffix);
    if (!compared.named) return compared;
    compared.name = comparedText(name);
    const std::u32string characters = kEarlierRules ? bytesOf(name) : plainCharacters(name);
    compared.characters = characters.size();
    compared.joinedCharacters = characters.size() - static_cast<std::size_t>(std::count(characters.begin(), characters.end(), U'-'));
    compared.words = asWords(compared.name);
    compared.joined = joined(compared.name);
    compared.characterSkeletons = kEarlierRules ? compared.name : characterSkeletonsOf(name);
    return compared;
}

// Whether word stands in text as whole words, both split at hyphens.
bool standsAsWords(const std::u32string& text, const std::u32string& word) {
    if (word.empty()) return false;
    for (std::size_t at = text.find(word); at != std::u32string::npos; at = text.find(word, at + 1)) {
        if ((at == 0 || text[at - 1] == U'-') && (at + word.size() == text.size() || text[at + word.size()] == U'-')) {
            return true;
        }
    }
    return false;
}

// The model's notes for one input: what each domain compares as, worked
// out once, and the steps spent.
struct Notes {
    std::map<std::string, Compared> compared;
    std::size_t spent = 0;

    const Compared& of(const std::string& domain) {
        const auto found = compared.find(domain);
        if (found != compared.end()) return found->second;
        spent += domain.size() * 8;
        return compared.emplace(domain, comparedOf(domain)).first->second;
    }
};

// The note of From domain from, as the trust lines show it; false when the
// model's budget ran out before it was found.
// The known domain a rule names: most dates, then the earlier last date;
// the map runs in byte order, which a read of the file keeps. Of as many
// dates and one last date, which one is named follows the order they
// reached them in, which a session keeps: each of them may be named.
struct BestKnown {
    const std::string* best = nullptr;
    std::uint32_t days = 0;
    Day last = 0;
    std::vector<const std::string*> tied;

    void consider(const std::string& domain, const Record& record) {
        if (best == nullptr || record.days > days || (record.days == days && record.last < last)) {
            best = &domain;
            days = record.days;
            last = record.last;
            tied.clear();
        } else if (record.days == days && record.last == last) {
            tied.push_back(&domain);
        }
    }
    // Sets note and also when one was found.
    bool name(std::string& note, std::set<std::string>& also) const {
        if (best == nullptr) return false;
        note = " (looks like " + *best + ")";
        for (const std::string* domain : tied) also.insert(" (looks like " + *domain + ")");
        return true;
    }
};

// also: the other notes that may stand instead (see BestKnown).
bool plainNote(const Model& model, Notes& notes, const std::string& from, Day today, std::string& note,
               std::set<std::string>& also) {
    note.clear();
    also.clear();
    std::string organization = plain::plainHistoryDomain(from);
    // Before, a From domain with a label no host name holds had no note.
    if (kEarlierRules && (!plain::plainHostName(from) || plain::lowered(from) != from)) organization.clear();
    if (organization.empty()) return true;
    const auto own = model.domains.find(organization);
    const bool fresh = own == model.domains.end() || static_cast<long long>(own->second.first) >= static_cast<long long>(today) - 6;
    // A look-alike stays one until it is known itself (before, only while
    // it was new).
    const bool known = own != model.domains.end() && own->second.days >= kKnownDays;
    if (!known && (fresh || !kEarlierRules)) {
        const Compared& asked = notes.of(organization);
        const std::u32string fromText = comparedText(from);
        const std::u32string fromWords = asWords(fromText);
        const std::u32string fromJoined = joined(fromText);
        for (int rule = 1; rule <= 5; ++rule) {
            BestKnown found;
            for (const auto& [domain, record] : model.domains) {
                // The From domain's own organization is no look-alike of it.
                if (record.days < kKnownDays || domain == organization) continue;
                const Compared& knownOne = notes.of(domain);
                const bool bothNamed = asked.named && knownOne.named;
                const std::u32string& a = asked.characterSkeletons;
                const std::u32string& b = knownOne.characterSkeletons;
                const std::size_t apart = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
                // A slip changes the length by one at most.
                const auto slips = [&]() -> std::size_t {
                    if (apart > 2) return apart;
                    notes.spent += (a.size() + 1) * (b.size() + 1);
                    return slipsBetween(a, b);
                };
                const auto takenOut = [&]() -> std::size_t {
                    if (apart > 2) return apart;
                    notes.spent += (a.size() + 1) * (b.size() + 1);
                    return takenOutOfEach(a, b);
                };
                bool matches = false;
                switch (rule) {
                case 1: matches = knownOne.skeleton == asked.skeleton; break;
                // The same name under another suffix.
                case 2: matches = bothNamed && knownOne.name == asked.name; break;
                // A known name as words anywhere in the From domain, or
                // (now) a longer one within it with no dots or hyphens.
                case 3:
                    notes.spent += fromText.size() * 2;
                    matches = knownOne.named &&
                              ((knownOne.characters >= 5 && standsAsWords(fromWords, knownOne.words)) ||
                               (!kEarlierRules && knownOne.joinedCharacters >= 6 && !knownOne.joined.empty() &&
                                fromJoined.find(knownOne.joined) != std::u32string::npos));
                    break;
                // One slip, under any suffix (before, under the same).
                case 4:
                    matches = bothNamed && asked.characters >= 6 && knownOne.characters >= 6 &&
                              (!kEarlierRules || knownOne.suffix == asked.suffix) && slips() <= 1;
                    break;
                // Two slips of a long known name, under any suffix: with at
                // most two characters taken out of each, the names read the same.
                case 5: matches = !kEarlierRules && bothNamed && knownOne.characters >= 12 && takenOut() <= 2; break;
                }
                if (notes.spent > kModelBudget) return false;
                if (matches) found.consider(domain, record);
            }
            if (found.name(note, also)) return true;
        }
    }
    // Known itself, a known name in the labels below it still looks like
    // that name's domain, by rule 3 alone; but not the domain named when the
    // organization's own letters hold its name (its own, or amazon.com's
    // below amazon.co.jp).
    if (known && !kEarlierRules && from.size() > organization.size() + 1) {
        const std::u32string belowText = comparedText(from.substr(0, from.size() - organization.size() - 1));
        const std::u32string belowWords = asWords(belowText);
        const std::u32string belowJoined = joined(belowText);
        BestKnown found;
        for (const auto& [domain, record] : model.domains) {
            if (record.days < kKnownDays) continue;
            const Compared& knownOne = notes.of(domain);
            notes.spent += belowText.size() * 2;
            if (notes.spent > kModelBudget) return false;
            const bool matches = knownOne.named &&
                                 ((knownOne.characters >= 5 && standsAsWords(belowWords, knownOne.words)) ||
                                  (knownOne.joinedCharacters >= 6 && !knownOne.joined.empty() &&
                                   belowJoined.find(knownOne.joined) != std::u32string::npos));
            if (matches) found.consider(domain, record);
        }
        const std::u32string ownLetters = joined(comparedText(organization));
        // Of domains tied, the module names the one it met first: each is
        // judged alone, and one of the organization's own name names none.
        if (found.best != nullptr) {
            std::vector<const std::string*> named = found.tied;
            named.insert(named.begin(), found.best);
            bool noneMayStand = false;
            for (const std::string* domain : named) {
                if (ownLetters.find(notes.of(*domain).joined) != std::u32string::npos) {
                    noneMayStand = true;
                } else {
                    also.insert(" (looks like " + *domain + ")");
                }
            }
            if (!noneMayStand) {
                note = " (looks like " + *found.best + ")";
                return true;
            }
        }
    }
    if (fresh && static_cast<long long>(today) - model.since >= 14) note = " (new sender)";
    return true;
}

std::string noteText(const SenderNote& note) {
    switch (note.kind) {
    case SenderNote::Kind::kNone: return "";
    case SenderNote::Kind::kNewSender: return " (new sender)";
    case SenderNote::Kind::kLooksLike: return " (looks like " + std::string(note.known) + ")";
    }
    return "?";
}

// Whether from is a From domain as the lines show one, which is all they
// ask about: lower-case letters, digits, '.', '-' and '_', 253 bytes at most.
bool shownForm(const std::string& from) {
    return !from.empty() && from.size() <= 253 && from.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-_") == std::string::npos;
}

// ---------------------------------------------------------------------------
// The input.

std::string takeLine(const std::string& input, std::size_t& at) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    std::string line = input.substr(at, end - at);
    at = std::min(end + 1, input.size());
    return line;
}

// The file that begins at at, up to a line "%%" or the end; at moves past it.
std::string takeFile(const std::string& input, std::size_t& at) {
    const std::size_t end = input.find("\n%%\n", at == 0 ? 0 : at - 1);
    if (end == std::string::npos) {
        const std::string file = input.substr(at);
        at = input.size();
        return file;
    }
    const std::string file = input.substr(at, end + 1 - at);
    at = end + 4;
    return file;
}

// The day a signed count of days after blank names, from from; a day a
// file is read on is one a file can hold.
void dayAfter(const std::string& line, std::size_t blank, Day from, Day& day, bool read = false) {
    if (blank == std::string::npos) return;
    const long long offset = std::max(-100000LL, std::min(100000LL, std::strtoll(line.c_str() + blank + 1, nullptr, 10)));
    day = static_cast<Day>(from + offset);
    if (read) day = std::max(kFirstDay, std::min(kLastDay, day));
}

// A written file reads back as it was and is in the order the file keeps.
void checkWritten(const std::string& file, std::size_t capacity) {
    SenderHistory again(0, capacity);
    check(readOn(again, file, kLastDay));
    checkSame(again.write(), file);
    std::vector<std::string> domains;
    for (std::size_t at = file.find('\n') + 1; at < file.size(); at = file.find('\n', at) + 1) {
        domains.push_back(file.substr(at, file.find(' ', at) - at));
    }
    check(std::is_sorted(domains.begin(), domains.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    const std::string first = takeLine(input, at);
    const long long asked = std::strtoll(first.c_str(), nullptr, 10);
    const std::size_t capacity = asked <= 0 || asked > static_cast<long long>(kCapacity) ? kCapacity : static_cast<std::size_t>(asked);
    Day readDay = kLastDay;
    if (!kEarlierRules) dayAfter(first, first.find(' '), kFuzzStart, readDay, true);
    const std::string file = takeFile(input, at);

    SenderHistory history(kFuzzStart, capacity);
    Model model;
    model.since = history.since();
    const bool read = readOn(history, file, readDay);
    Model readModel;
    check(read == plainRead(file, capacity, readDay, readModel));
    if (read) {
        model = readModel;
        check(history.changed() == model.changed);
        checkSame(history.write(), plainWrite(model));
        checkWritten(history.write(), capacity);
    }

    Notes notes;
    while (at < input.size()) {
        const std::string line = takeLine(input, at);
        if (line.empty()) continue;
        const std::size_t blank = line.rfind(' ');
        Day day = readDay;
        if (!kEarlierRules && (line[0] == '=' || line[0] == '<')) dayAfter(line, blank, model.since, day, true);
        if (line[0] == '=') {
            const std::string written = history.write();
            check(readOn(history, written, day));
            check(plainRead(written, capacity, day, model));
            check(history.changed() == model.changed);
            checkSame(history.write(), plainWrite(model));
            continue;
        }
        if (line[0] == '<') {
            const std::string other = takeFile(input, at);
            if (kEarlierRules) continue;
            check(mergeOn(history, other, day) == plainMerge(model, other, capacity, day));
            checkSame(history.write(), plainWrite(model));
            // Whether a merge leaves the history to be saved is the
            // module's to judge; what it holds is checked.
            model.changed = history.changed();
            continue;
        }
        if (line.size() < 2 || blank == std::string::npos || blank == 0) continue;
        const std::string domain = line.substr(1, blank - 1);
        dayAfter(line, blank, model.since, day);
        if (line[0] == '+') {
            history.record(domain, day);
            plainRecord(model, capacity, domain, day);
            check(history.changed() == model.changed);
            checkSame(history.write(), plainWrite(model));
        } else if (line[0] == '?') {
            char32_t skeleton[kMaxSkeletonSize];
            const std::size_t length = skeletonOf(domain, skeleton, kMaxSkeletonSize);
            if (domain.size() <= 253) check(std::u32string(skeleton, length) == plainSkeleton(domain));
            std::uint64_t hash = 0;
            for (std::size_t i = 0; i < length; ++i) hash = hashStep(hash, skeleton[i]);
            if (domain.size() <= 253) check(skeletonHash(domain) == hash);
            const std::string got = noteText(history.noteFor(domain, day));
            std::string expected;
            std::set<std::string> also;
            if (shownForm(domain) && plainNote(model, notes, domain, day, expected, also) && also.count(got) == 0) {
                if (got != expected) std::fprintf(stderr, "asked: %s\n", domain.c_str());
                checkSame(got, expected);
            }
        }
    }
    checkWritten(history.write(), capacity);
    return 0;
}
