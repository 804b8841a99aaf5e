#include "headerview/hops.h"

#include <array>

#include "settings/settings.h"

namespace {

// The index of name (lower case) in names, or -1.
template <std::size_t N>
int indexIn(const std::array<std::string_view, N>& names, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (equalsLowered(text, names[i])) return static_cast<int>(i);
    }
    return -1;
}

constexpr std::array<std::string_view, 7> kDays = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
struct NamedZone {
    std::string_view name;
    int hours;
};
constexpr NamedZone kZones[] = {{"ut", 0},   {"gmt", 0},  {"z", 0},    {"est", -5}, {"edt", -4},
                                {"cst", -6}, {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8},
                                {"pdt", -7}};

bool isLeap(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysIn(int month, std::int64_t year) {
    constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && isLeap(year) ? 29 : kDaysIn[month];
}

// Days from 1970-01-01 to the date (proleptic Gregorian; month from 1).
std::int64_t daysFromEpoch(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// A left-to-right reading of a date-time, with CFWS between its parts.
class DateText {
public:
    explicit DateText(std::string_view text) : text_(text) {}

    // Skips blanks, tabs, line breaks and comments, which nest and may hold
    // backslash pairs. An open comment runs to the end.
    void skipSpace() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++at_;
            } else if (c == '(') {
                std::size_t depth = 0;
                while (at_ < text_.size()) {
                    const char d = text_[at_++];
                    if (d == '\\') {
                        ++at_;
                    } else if (d == '(') {
                        ++depth;
                    } else if (d == ')' && --depth == 0) {
                        break;
                    }
                }
                if (at_ > text_.size()) at_ = text_.size();
            } else {
                return;
            }
        }
    }

    std::string_view letters() { return run([](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }); }
    std::string_view digits() { return run([](char c) { return c >= '0' && c <= '9'; }); }

    bool take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

private:
    template <typename Is>
    std::string_view run(Is is) {
        const std::size_t start = at_;
        while (at_ < text_.size() && is(text_[at_])) ++at_;
        return text_.substr(start, at_ - start);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// The value of 1 to 4 digits; -1 for none or for more than maxLength.
int number(std::string_view digits, std::size_t minLength, std::size_t maxLength) {
    if (digits.size() < minLength || digits.size() > maxLength) return -1;
    int value = 0;
    for (const char c : digits) value = value * 10 + (c - '0');
    return value;
}

bool isFieldNamed(std::string_view line, std::string_view lowerName) {
    // The first letter tells most fields apart at once.
    if (line.size() < lowerName.size() || lowerAscii(line[0]) != lowerName[0] ||
        !equalsLowered(line.substr(0, lowerName.size()), lowerName)) {
        return false;
    }
    std::size_t at = lowerName.size();
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    return at < line.size() && line[at] == ':';
}

}  // namespace

bool readMailTime(std::string_view text, std::int64_t& utcSeconds) {
    DateText date(text);
    date.skipSpace();
    const std::string_view dayName = date.letters();
    if (!dayName.empty()) {
        if (indexIn(kDays, dayName) < 0) return false;
        date.skipSpace();
        if (date.take(',')) date.skipSpace();
    }
    const int day = number(date.digits(), 1, 2);
    date.skipSpace();
    const int month = indexIn(kMonths, date.letters());
    date.skipSpace();
    const std::string_view yearDigits = date.digits();
    int year = number(yearDigits, 2, 4);
    if (yearDigits.size() == 2) year += year < 50 ? 2000 : 1900;
    if (yearDigits.size() == 3) year += 1900;
    date.skipSpace();
    const int hour = number(date.digits(), 1, 2);
    date.skipSpace();
    if (!date.take(':')) return false;
    date.skipSpace();
    const int minute = number(date.digits(), 2, 2);
    date.skipSpace();
    int second = 0;
    if (date.take(':')) {
        date.skipSpace();
        second = number(date.digits(), 2, 2);
        date.skipSpace();
    }
    if (day < 1 || month < 0 || year < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60 || day > daysIn(month, year)) {
        return false;
    }

    int zoneMinutes = 0;
    const char sign = date.peek();
    if (sign == '+' || sign == '-') {
        date.take(sign);
        const int zone = number(date.digits(), 4, 4);
        if (zone < 0) return false;
        zoneMinutes = (zone / 100 * 60 + zone % 100) * (sign == '-' ? -1 : 1);
    } else {
        const std::string_view name = date.letters();
        if (name.empty()) return false;
        for (const NamedZone& zone : kZones) {
            if (equalsLowered(name, zone.name)) zoneMinutes = zone.hours * 60;
        }
    }
    const std::int64_t local = daysFromEpoch(year, month + 1, day) * 86400 + hour * 3600 + minute * 60 + second;
    utcSeconds = local - static_cast<std::int64_t>(zoneMinutes) * 60;
    return true;
}

std::string formatDelay(std::int64_t seconds) {
    const std::uint64_t magnitude =
        seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    // The largest unit that fits, then the next one in two digits.
    struct Units {
        std::uint64_t size;
        char name;
        std::uint64_t next;
        char nextName;
    };
    constexpr Units kUnits[] = {{86400, 'd', 3600, 'h'}, {3600, 'h', 60, 'm'}, {60, 'm', 1, 's'}};
    std::string text(1, seconds < 0 ? '-' : '+');
    for (const Units& units : kUnits) {
        if (magnitude < units.size) continue;
        text += std::to_string(magnitude / units.size);
        const std::uint64_t rest = magnitude % units.size / units.next;
        text += units.name;
        text += static_cast<char>('0' + rest / 10);
        text += static_cast<char>('0' + rest % 10);
        text += units.nextName;
        return text;
    }
    return text + std::to_string(magnitude) + 's';
}

void HopClock::beginField(std::string_view line) {
    endField();
    shownAt_ = kNotShown;
    text_.clear();
    sawSemicolon_ = false;
    if (isFieldNamed(line, "received")) {
        field_ = Field::kReceived;
        continueField(line);
    } else if (!sawDate_ && isFieldNamed(line, "date")) {
        field_ = Field::kDate;
        text_.assign(line.substr(line.find(':') + 1));
    }
}

void HopClock::continueField(std::string_view line) {
    if (field_ == Field::kDate) {
        text_.append(line);
    } else if (field_ == Field::kReceived) {
        // Only what follows the field's last ';' is kept.
        const std::size_t semicolon = line.rfind(';');
        if (semicolon == std::string_view::npos) {
            if (sawSemicolon_) text_.append(line);
        } else {
            sawSemicolon_ = true;
            text_.assign(line.substr(semicolon + 1));
        }
    }
}

void HopClock::endField() {
    Stamp stamp{false, 0, shownAt_};
    if (field_ == Field::kReceived) {
        stamp.known = sawSemicolon_ && readMailTime(text_, stamp.time);
        received_.push_back(stamp);
    } else if (field_ == Field::kDate) {
        sawDate_ = true;
        date_.known = readMailTime(text_, date_.time);
    }
    field_ = Field::kOther;
}
