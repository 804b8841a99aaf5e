// libFuzzer target for the history of senders: a history file read, then
// domains recorded and asked about.
//
// Input, readable so that seeds can be real files:
//   line 1: the history's capacity (decimal; 0, none or past 50,000: 50,000)
//   the history file's bytes, up to a line "%%"
//   then a command a line, DAYS a signed decimal count of days after the
//   history's first day:
//     "+DOMAIN DAYS"  records DOMAIN on that day
//     "?DOMAIN DAYS"  asks what the trust lines add after DOMAIN that day
//     "="             writes the history and reads it back in its place
//
// Every result is checked against a plain second reading: the file read by
// its grammar line by line, the history kept as a map with the order
// domains were recorded in, each note found by trying every known domain
// against each rule, skeletons from the plain listing the build writes and
// edit distances computed in full.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "domains/public_suffixes.h"
#include "senders/sender_history.h"
#include "senders/skeleton.h"
#include "text/punycode.h"

namespace {

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

// The mapping of each code point as the build's listing has it.
const std::map<char32_t, std::u32string>& listing() {
    static const std::map<char32_t, std::u32string> mapping = [] {
        std::map<char32_t, std::u32string> read;
        std::ifstream in(QM_CONFUSABLES_LISTING);
        check(static_cast<bool>(in));
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string hex;
            fields >> hex;
            std::u32string& targets = read[static_cast<char32_t>(std::stoul(hex, nullptr, 16))];
            while (fields >> hex) targets += static_cast<char32_t>(std::stoul(hex, nullptr, 16));
        }
        // The listing holds the characters a label may hold, some 2,000:
        // fewer is a listing cut short.
        check(read.size() > 1900);
        return read;
    }();
    return mapping;
}

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
        for (const char32_t c : points) {
            const auto mapped = listing().find(c);
            skeleton += mapped == listing().end() ? std::u32string(1, c) : mapped->second;
        }
        if (dot == domain.size()) return skeleton;
        skeleton += U'.';
        start = dot + 1;
    }
}

bool plainHostName(const std::string& name) {
    if (name.empty() || name.size() > 253) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(name.find('.', start), name.size());
        const std::string label = name.substr(start, dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
            label.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos) {
            return false;
        }
        if (dot == name.size()) return true;
        start = dot + 1;
    }
}

// Whether the history may hold domain: a lower-case host name that is its
// own organizational domain, its public suffix and a label more or the
// suffix alone.
bool plainStorable(const std::string& domain) {
    PublicSuffix suffix;
    return plainHostName(domain) && findPublicSuffix(domain, suffix) &&
           (suffix.start == 0 || domain.find('.') + 1 == suffix.start);
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

struct Record {
    Day first, last;
    std::uint32_t days;
    std::uint64_t order;  // when it was last changed: the least goes first
};

// The history plainly.
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

// The file read by its grammar; false for anything that is no history.
bool plainRead(const std::string& file, std::size_t capacity, Model& model) {
    if (file.empty() || file.back() != '\n') return false;
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < file.size();) {
        const std::size_t end = file.find('\n', start);
        std::string line = file.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    const std::string head = "# Quillmark senders 1 since ";
    Model read;
    if (lines[0].compare(0, head.size(), head) != 0 || !plainDate(lines[0].substr(head.size()), read.since)) return false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t blank = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, blank - start));
            if (blank == line.size()) break;
            start = blank + 1;
        }
        Record record{};
        const std::string& count = fields.size() == 4 ? fields[3] : "";
        if (fields.size() != 4 || !plainStorable(fields[0]) || !plainDate(fields[1], record.first) ||
            !plainDate(fields[2], record.last) || count.empty() || count.size() > 9 || count[0] == '0' ||
            count.find_first_not_of("0123456789") != std::string::npos || record.first > record.last ||
            std::stoll(count) > static_cast<long long>(record.last) - record.first + 1 ||
            read.domains.count(fields[0]) != 0) {
            return false;
        }
        record.days = static_cast<std::uint32_t>(std::stoll(count));
        read.domains[fields[0]] = record;
    }
    orderAsRead(read);
    evictPast(read, capacity);
    model = read;
    return true;
}

std::string dateText(Day day) {
    char text[kDateLength];
    return std::string(text, writeDate(day, text));
}

std::string plainWrite(const Model& model) {
    std::string file = "# Quillmark senders 1 since " + dateText(model.since) + "\n";
    for (const auto& [domain, record] : model.domains) {
        file += domain + " " + dateText(record.first) + " " + dateText(record.last) + " " + std::to_string(record.days) + "\n";
    }
    return file;
}

void plainRecord(Model& model, std::size_t capacity, const std::string& domain, Day today) {
    if (!plainStorable(domain) || today < kFirstDay || today > kLastDay) return;
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

// The label before the public suffix, and where the suffix begins ('.' on).
bool nameOf(const std::string& domain, std::string& name, std::string& suffix) {
    PublicSuffix found;
    check(findPublicSuffix(domain, found));
    if (found.start == 0) return false;
    const std::size_t start = labelBefore(domain, found.start - 1);
    name = domain.substr(start, found.start - 1 - start);
    suffix = domain.substr(found.start - 1);
    return true;
}

// The edit distance with neighbours' swaps, in full.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// Whether known's name stands in from as whole words, dots read as hyphens.
bool standsAsWords(const std::string& from, const std::string& name) {
    std::string words = from;
    std::replace(words.begin(), words.end(), '.', '-');
    for (std::size_t at = words.find(name); at != std::string::npos; at = words.find(name, at + 1)) {
        if ((at == 0 || words[at - 1] == '-') && (at + name.size() == words.size() || words[at + name.size()] == '-')) {
            return true;
        }
    }
    return false;
}

// The note of a From domain: new by its organizational domain, which the
// rules compare, but for a known name as words, read in the whole domain.
std::string plainNote(const Model& model, const std::string& from, Day today) {
    if (!plainHostName(from)) return "";
    std::string name, suffix;
    const bool named = nameOf(from, name, suffix);
    const std::string organization = named ? name + suffix : from;
    const auto own = model.domains.find(organization);
    if (own != model.domains.end() && static_cast<long long>(own->second.first) < static_cast<long long>(today) - 6) return "";
    if (own == model.domains.end() || own->second.days < 3) {
        const std::u32string skeleton = plainSkeleton(organization);
        for (int rule = 1; rule <= 4; ++rule) {
            const std::string* best = nullptr;
            std::uint32_t bestDays = 0;
            for (const auto& [domain, record] : model.domains) {
                std::string knownName, knownSuffix;
                const bool knownNamed = nameOf(domain, knownName, knownSuffix);
                // The From domain's own organization is no look-alike of it.
                if (record.days < 3 || (knownNamed ? knownName + knownSuffix : domain) == organization) continue;
                const bool matches =
                    rule == 1   ? plainSkeleton(domain) == skeleton
                    : rule == 2 ? named && knownNamed && knownName == name
                    : rule == 3 ? knownNamed && knownName.size() >= 5 && standsAsWords(from, knownName)
                                : named && knownNamed && name.size() >= 6 && knownName.size() >= 6 && knownSuffix == suffix &&
                                      editDistance(name, knownName) == 1;
                // The map runs in byte order: of equal dates the first stays.
                if (matches && (best == nullptr || record.days > bestDays)) {
                    best = &domain;
                    bestDays = record.days;
                }
            }
            if (best != nullptr) return " (looks like " + *best + ")";
        }
    }
    return static_cast<long long>(today) - model.since < 14 ? "" : " (new sender)";
}

std::string noteText(const SenderNote& note) {
    switch (note.kind) {
    case SenderNote::Kind::kNone: return "";
    case SenderNote::Kind::kNewSender: return " (new sender)";
    case SenderNote::Kind::kLooksLike: return " (looks like " + std::string(note.known) + ")";
    }
    return "?";
}

std::string takeLine(const std::string& input, std::size_t& at) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    std::string line = input.substr(at, end - at);
    at = std::min(end + 1, input.size());
    return line;
}

// A written file reads back as it was and is in the order the file keeps.
void checkWritten(const std::string& file, std::size_t capacity) {
    SenderHistory again(0, capacity);
    check(again.read(file));
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
    const long long asked = std::strtoll(takeLine(input, at).c_str(), nullptr, 10);
    const std::size_t capacity = asked <= 0 || asked > static_cast<long long>(kCapacity) ? kCapacity : static_cast<std::size_t>(asked);
    std::size_t end = input.find("\n%%\n", at == 0 ? 0 : at - 1);
    std::string file;
    if (end == std::string::npos) {
        file = input.substr(at);
        end = input.size();
    } else {
        file = input.substr(at, end + 1 - at);
        end += 4;
    }

    // Each code point of the names asked about, through the table and the
    // walk, against the listing.
    SenderHistory history(dayOf(2024, 1, 1), capacity);
    Model model;
    model.since = history.since();
    const bool read = history.read(file);
    Model readModel;
    check(read == plainRead(file, capacity, readModel));
    if (read) {
        model = readModel;
        check(history.changed() == model.changed);
        checkSame(history.write(), plainWrite(model));
        checkWritten(history.write(), capacity);
    }

    for (at = end; at < input.size();) {
        const std::string line = takeLine(input, at);
        if (line == "=") {
            const std::string written = history.write();
            check(history.read(written));
            orderAsRead(model);
            model.changed = false;
            continue;
        }
        const std::size_t blank = line.rfind(' ');
        if (line.size() < 2 || blank == std::string::npos || blank == 0) continue;
        const std::string domain = line.substr(1, blank - 1);
        const long long offset = std::max(-100000LL, std::min(100000LL, std::strtoll(line.c_str() + blank + 1, nullptr, 10)));
        const Day today = static_cast<Day>(model.since + offset);
        if (line[0] == '+') {
            history.record(domain, today);
            plainRecord(model, capacity, domain, today);
            check(history.changed() == model.changed);
            checkSame(history.write(), plainWrite(model));
        } else if (line[0] == '?') {
            char32_t skeleton[kMaxSkeletonSize];
            const std::size_t length = skeletonOf(domain, skeleton, kMaxSkeletonSize);
            if (domain.size() <= 253) check(std::u32string(skeleton, length) == plainSkeleton(domain));
            std::uint64_t hash = 0;
            for (std::size_t i = 0; i < length; ++i) hash = hashStep(hash, skeleton[i]);
            if (domain.size() <= 253) check(skeletonHash(domain) == hash);
            checkSame(noteText(history.noteFor(domain, today)), plainNote(model, domain, today));
        }
    }
    checkWritten(history.write(), capacity);
    return 0;
}
