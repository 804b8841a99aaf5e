#include "fields/mail_time.h"

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
    explicit DateText(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}

    // Skips blanks, tabs, line breaks and comments, which nest and may hold
    // backslash pairs. An open comment runs to the end.
    void skipSpace() {
        while (at_ < end_) {
            const char c = *at_;
            if (isBlank(c) || c == '\r' || c == '\n' || c == '\0') {
                ++at_;
            } else if (c == '(') {
                std::size_t depth = 0;
                while (at_ < end_) {
                    const char d = *at_++;
                    if (d == '\\') {
                        if (at_ < end_) ++at_;
                    } else if (d == '(') {
                        ++depth;
                    } else if (d == ')' && --depth == 0) {
                        break;
                    }
                }
            } else {
                return;
            }
        }
    }

    std::string_view letters() {
        const char* start = at_;
        while (at_ < end_ && isLetter(*at_)) ++at_;
        return {start, static_cast<std::size_t>(at_ - start)};
    }

    // The value of a run of minLength to maxLength digits; -1 for none or
    // for a run of another length. Stores the run's length in *length.
    int number(std::size_t minLength, std::size_t maxLength, std::size_t* length = nullptr) {
        const char* start = at_;
        int value = 0;
        while (at_ < end_ && isDigit(*at_)) {
            if (static_cast<std::size_t>(at_ - start) < maxLength) value = value * 10 + (*at_ - '0');
            ++at_;
        }
        const auto digits = static_cast<std::size_t>(at_ - start);
        if (length != nullptr) *length = digits;
        return digits < minLength || digits > maxLength ? -1 : value;
    }

    bool take(char c) {
        if (at_ >= end_ || *at_ != c) return false;
        ++at_;
        return true;
    }
    char peek() const { return at_ < end_ ? *at_ : '\0'; }

private:
    const char* at_;
    const char* end_;
};

}  // namespace

bool readMailTime(std::string_view text, std::int64_t& utcSeconds) {
    DateText date(text);
    date.skipSpace();
    const std::string_view dayName = date.letters();
    if (!dayName.empty()) {
        if (indexOf(kDays, dayName) < 0) return false;
        date.skipSpace();
        if (date.take(',')) date.skipSpace();
    }
    const int day = date.number(1, 2);
    date.skipSpace();
    const int month = indexOf(kMonths, date.letters());
    date.skipSpace();
    std::size_t yearLength = 0;
    int year = date.number(2, 4, &yearLength);
    if (yearLength == 2) year += year < 50 ? 2000 : 1900;
    if (yearLength == 3) year += 1900;
    date.skipSpace();
    const int hour = date.number(1, 2);
    date.skipSpace();
    if (!date.take(':')) return false;
    date.skipSpace();
    const int minute = date.number(2, 2);
    date.skipSpace();
    int second = 0;
    if (date.take(':')) {
        date.skipSpace();
        second = date.number(2, 2);
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
        const int zone = date.number(4, 4);
        if (zone < 0) return false;
        zoneMinutes = (zone / 100 * 60 + zone % 100) * (sign == '-' ? -1 : 1);
    } else {
        const std::string_view name = date.letters();
        if (name.empty()) return false;
        if (name.size() <= 3) {
            const std::uint32_t k = key(name);
            for (const NamedZone& zone : kZones) {
                if (zone.key == k) zoneMinutes = zone.hours * 60;
            }
        }
    }
    const std::int64_t local = daysFromEpoch(year, month + 1, day) * 86400 + hour * 3600 + minute * 60 + second;
    utcSeconds = local - static_cast<std::int64_t>(zoneMinutes) * 60;
    return true;
}
