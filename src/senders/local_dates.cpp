#include "senders/local_dates.h"

#include "text/ascii.h"

namespace {

// The count bytes of text from at on, read as a decimal number; -1 when one
// of them is no digit.
std::int32_t digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    std::int32_t value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool isLeapYear(std::int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

char* writeDigits(std::uint32_t value, std::size_t count, char* out) {
    for (std::size_t i = count; i > 0; --i, value /= 10) out[i - 1] = static_cast<char>('0' + value % 10);
    return out + count;
}

}  // namespace

bool readDate(std::string_view text, Day& day) {
    if (text.size() != kDateLength || text[4] != '-' || text[7] != '-') return false;
    const std::int32_t year = digitsAt(text, 0, 4);
    const std::int32_t month = digitsAt(text, 5, 2);
    const std::int32_t dayOfMonth = digitsAt(text, 8, 2);
    if (year < 0 || month < 1 || month > 12 || dayOfMonth < 1) return false;
    constexpr std::int32_t kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const std::int32_t days = kMonthDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
    if (dayOfMonth > days) return false;
    day = dayOf(year, static_cast<std::uint32_t>(month), static_cast<std::uint32_t>(dayOfMonth));
    return true;
}

char* writeDate(Day day, char* out) {
    const CalendarDate date = dateOf(day);
    out = writeDigits(static_cast<std::uint32_t>(date.year), 4, out);
    *out++ = '-';
    out = writeDigits(date.month, 2, out);
    *out++ = '-';
    return writeDigits(date.day, 2, out);
}
