#include "fields/mail_time.h"

#include "fields/nesting.h"
#include "text/ascii.h"

namespace {

// Up to three letters, lowered, in one number, so that a name is found with
// integer comparisons.
constexpr std::uint32_t key(std::string_view letters) {
    std::uint32_t k = 0;
    for (const char c : letters) k = k << 8 | static_cast<unsigned char>(lowerAscii(c));
    return k;
}

constexpr std::uint32_t kDays[] = {key("mon"), key("tue"), key("wed"), key("thu"),
                                   key("fri"), key("sat"), key("sun")};
constexpr std::uint32_t kMonths[] = {key("jan"), key("feb"), key("mar"), key("apr"), key("may"), key("jun"),
                                     key("jul"), key("aug"), key("sep"), key("oct"), key("nov"), key("dec")};
struct NamedZone {
    std::uint32_t key;
    int hours;
};
constexpr NamedZone kZones[] = {{key("ut"), 0},   {key("gmt"), 0},  {key("z"), 0},    {key("est"), -5},
                                {key("edt"), -4}, {key("cst"), -6}, {key("cdt"), -5}, {key("mst"), -7},
                                {key("mdt"), -6}, {key("pst"), -8}, {key("pdt"), -7}};

// The index of a name of three letters in names, or -1.
template <std::size_t N>
int indexOf(const std::uint32_t (&names)[N], std::string_view letters) {
    if (letters.size() != 3) return -1;
    const std::uint32_t k = key(letters);
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == k) return static_cast<int>(i);
    }
    return -1;
}

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysIn(int month, int year) {
    constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && isLeap(year) ? 29 : kDaysIn[month];
}

// Days from 1970-01-01 to the date (proleptic Gregorian; month from 1; year
// 0 to 9999, so that 32 bits hold every step).
int daysFromEpoch(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Skips blanks, tabs, line breaks and comments, which nest and may hold
// backslash pairs; an open comment runs to the end.
inline void skipSpace(const char*& at, const char* end) {
    Nesting nesting;
    for (; at < end; ++at) {
        const char c = *at;
        if (nesting.inComment()) {
            nesting.readInComment(c);
        } else if (c == '(') {
            nesting.openComment();
        } else if (!isBlank(c) && !isBreakOrNul(c)) {
            return;
        }
    }
}

inline std::string_view letters(const char*& at, const char* end) {
    const char* start = at;
    while (at < end && isLetter(*at)) ++at;
    return {start, static_cast<std::size_t>(at - start)};
}

// The value of the run of digits at at, when it has minLength to maxLength
// of them; else -1. Stores the run's length in *length.
inline int number(const char*& at, const char* end, std::size_t minLength, std::size_t maxLength,
                  std::size_t* length = nullptr) {
    const char* start = at;
    int value = 0;
    for (; at < end; ++at) {
        const auto digit = static_cast<unsigned>(static_cast<unsigned char>(*at) - '0');
        if (digit > 9) break;
        if (static_cast<std::size_t>(at - start) < maxLength) value = value * 10 + static_cast<int>(digit);
    }
    const auto digits = static_cast<std::size_t>(at - start);
    if (length != nullptr) *length = digits;
    return digits < minLength || digits > maxLength ? -1 : value;
}

inline bool take(const char*& at, const char* end, char c) {
    if (at >= end || *at != c) return false;
    ++at;
    return true;
}

// The parts of a date-time, as read.
struct DateParts {
    int day;
    int month;  // 0 to 11
    int year;
    int hour;
    int minute;
    int second;
    int zoneMinutes;
};

// Reads the form nearly every server writes, "Mon, 7 Dec 2026 09:12:44
// +0900" with single blanks, at a glance; false for anything else, which the
// full reading then takes. Whatever it reads, the full reading reads alike.
bool readUsualForm(const char* at, const char* end, DateParts& parts) {
    // The shortest usual form without a day name: "7 Dec 2026 09:12 +0900".
    constexpr std::ptrdiff_t kShortest = 22;
    if (end - at < kShortest) return false;
    if (isLetter(*at)) {
        if (at[3] != ',' || at[4] != ' ' || indexOf(kDays, std::string_view(at, 3)) < 0) return false;
        at += 5;
        if (end - at < kShortest) return false;
    }
    // The digits are read without a branch each and checked all at once.
    bool digits = true;
    const auto digit = [&digits](char c) {
        const auto value = static_cast<unsigned>(static_cast<unsigned char>(c) - '0');
        digits &= value <= 9;
        return static_cast<int>(value);
    };
    parts.day = digit(at[0]);
    if (isDigit(at[1])) parts.day = parts.day * 10 + digit(*++at);
    ++at;
    // " Dec 2026 09:12"
    if (at[0] != ' ' || at[4] != ' ' || at[9] != ' ' || at[12] != ':') return false;
    parts.month = indexOf(kMonths, std::string_view(at + 1, 3));
    parts.year = ((digit(at[5]) * 10 + digit(at[6])) * 10 + digit(at[7])) * 10 + digit(at[8]);
    parts.hour = digit(at[10]) * 10 + digit(at[11]);
    parts.minute = digit(at[13]) * 10 + digit(at[14]);
    at += 15;
    parts.second = 0;
    if (*at == ':') {
        parts.second = digit(at[1]) * 10 + digit(at[2]);
        at += 3;
    }
    // " +0900", and no fifth digit.
    if (end - at < 6 || at[0] != ' ' || (at[1] != '+' && at[1] != '-') || (end - at > 6 && isDigit(at[6]))) {
        return false;
    }
    const int zone = digit(at[2]) * 10 + digit(at[3]);
    parts.zoneMinutes = (zone * 60 + digit(at[4]) * 10 + digit(at[5])) * (at[1] == '-' ? -1 : 1);
    return digits && parts.month >= 0;
}

// The full reading, of every form; false when a part is missing.
bool readAnyForm(const char* at, const char* end, DateParts& parts) {
    const std::string_view dayName = letters(at, end);
    if (!dayName.empty()) {
        if (indexOf(kDays, dayName) < 0) return false;
        skipSpace(at, end);
        if (take(at, end, ',')) skipSpace(at, end);
    }
    parts.day = number(at, end, 1, 2);
    skipSpace(at, end);
    parts.month = indexOf(kMonths, letters(at, end));
    skipSpace(at, end);
    std::size_t yearLength = 0;
    parts.year = number(at, end, 2, 4, &yearLength);
    if (yearLength == 2) parts.year += parts.year < 50 ? 2000 : 1900;
    if (yearLength == 3) parts.year += 1900;
    skipSpace(at, end);
    parts.hour = number(at, end, 1, 2);
    skipSpace(at, end);
    if (!take(at, end, ':')) return false;
    skipSpace(at, end);
    parts.minute = number(at, end, 2, 2);
    skipSpace(at, end);
    parts.second = 0;
    if (take(at, end, ':')) {
        skipSpace(at, end);
        parts.second = number(at, end, 2, 2);
        skipSpace(at, end);
    }
    parts.zoneMinutes = 0;
    if (at < end && (*at == '+' || *at == '-')) {
        const bool west = *at++ == '-';
        const int zone = number(at, end, 4, 4);
        if (zone < 0) return false;
        parts.zoneMinutes = (zone / 100 * 60 + zone % 100) * (west ? -1 : 1);
    } else {
        const std::string_view name = letters(at, end);
        if (name.empty()) return false;
        if (name.size() <= 3) {
            const std::uint32_t k = key(name);
            for (const NamedZone& zone : kZones) {
                if (zone.key == k) parts.zoneMinutes = zone.hours * 60;
            }
        }
    }
    return true;
}

}  // namespace

bool readMailTime(std::string_view text, std::int64_t& utcSeconds) {
    const char* at = text.data();
    const char* const end = at + text.size();
    skipSpace(at, end);
    DateParts parts;
    if (!readUsualForm(at, end, parts) && !readAnyForm(at, end, parts)) return false;
    if (parts.day < 1 || parts.month < 0 || parts.year < 0 || parts.hour < 0 || parts.hour > 23 ||
        parts.minute < 0 || parts.minute > 59 || parts.second < 0 || parts.second > 60 ||
        parts.day > daysIn(parts.month, parts.year)) {
        return false;
    }
    const std::int64_t local = std::int64_t{daysFromEpoch(parts.year, parts.month + 1, parts.day)} * 86400 +
                               parts.hour * 3600 + parts.minute * 60 + parts.second;
    utcSeconds = local - static_cast<std::int64_t>(parts.zoneMinutes) * 60;
    return true;
}

bool readReceivedTime(std::string_view text, std::int64_t& utcSeconds) {
    const std::size_t semicolon = text.rfind(';');
    return semicolon != std::string_view::npos && readMailTime(text.substr(semicolon + 1), utcSeconds);
}
