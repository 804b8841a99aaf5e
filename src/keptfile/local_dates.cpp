#include "keptfile/local_dates.h"

#include "text/ascii.h"

namespace {

char* writeDigits(std::uint32_t value, std::size_t count, char* out) {
    for (std::size_t i = count; i > 0; --i, value /= 10) out[i - 1] = static_cast<char>('0' + value % 10);
    return out + count;
}

}  // namespace

bool readDate(std::string_view text, Day& day) {
    if (text.size() != kDateLength) return false;
    // Each field cleared as it begins, not all first, which the small build
    // does with a string instruction slow to start.
    std::uint32_t fields[3];  // year, month, day
    fields[0] = 0;
    for (std::size_t i = 0, field = 0; i < kDateLength; ++i) {
        if (i == 4 || i == 7) {
            if (text[i] != '-') return false;
            fields[++field] = 0;
        } else if (isDigit(text[i])) {
            fields[field] = fields[field] * 10 + static_cast<std::uint32_t>(text[i] - '0');
        } else {
            return false;
        }
    }
    // As dayOf counts, but without a division: the small build makes each
    // one a slow instruction, and a history reads two dates a line. Four
    // digits' years and centuries by a multiplication, exact below 43,699.
    const std::uint32_t year = fields[0];
    const std::uint32_t month = fields[1];
    const auto centuries = [](std::uint32_t years) { return years * 5243 >> 19; };
    const bool leap = year % 4 == 0 && (year != centuries(year) * 100 || year % 400 == 0);
    // 31 days in the odd months to July and the even ones from August on.
    const std::uint32_t days = month == 2 ? 28 + (leap ? 1 : 0) : 30 + ((month + (month >> 3)) & 1);
    if (month < 1 || month > 12 || fields[2] < 1 || fields[2] > days) return false;
    // Years from March 400 years before year 0, so that the leap day ends a
    // year and none is negative; the days before each month in such a year.
    static constexpr std::uint16_t kDaysBefore[12] = {306, 337, 0, 31, 61, 92, 122, 153, 184, 214, 245, 275};
    const std::uint32_t years = year + 400 - (month <= 2 ? 1 : 0);
    const std::uint32_t hundreds = centuries(years);
    const std::uint32_t sinceMarch =
        years * 365 + years / 4 - hundreds + hundreds / 4 + kDaysBefore[month - 1] + fields[2] - 1;
    day = static_cast<Day>(sinceMarch) - 719468 - 146097;
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
