// Local calendar dates as days since 1970-01-01, and their text
// "YYYY-MM-DD": the dates the files beside the module keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

using Day = std::int32_t;

// The day of a date of the proleptic Gregorian calendar (month 1 to 12, day
// valid for that month). Constant time: no loop over the years.
constexpr Day dayOf(std::int32_t year, std::uint32_t month, std::uint32_t day) {
    // Years counted from March, so that the leap day ends a year; eras of
    // 400 years, which repeat.
    year -= month <= 2 ? 1 : 0;
    const std::int32_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<std::uint32_t>(year - era * 400);
    const std::uint32_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::uint32_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int32_t>(dayOfEra) - 719468;
}

struct CalendarDate {
    std::int32_t year;
    std::uint32_t month;  // 1 to 12
    std::uint32_t day;    // 1 to 31
};

// The date of day, as dayOf counts it back.
constexpr CalendarDate dateOf(Day day) {
    const std::int32_t shifted = day + 719468;
    const std::int32_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const auto dayOfEra = static_cast<std::uint32_t>(shifted - era * 146097);
    const std::uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint32_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::uint32_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const std::int32_t year = static_cast<std::int32_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, dayOfYear - (153 * monthFromMarch + 2) / 5 + 1};
}

// The days a date of a four-digit year names.
constexpr Day kFirstDay = dayOf(0, 1, 1);
constexpr Day kLastDay = dayOf(9999, 12, 31);

constexpr std::size_t kDateLength = 10;

// Reads text, which must be exactly "YYYY-MM-DD" of a date that exists (the
// month 01 to 12, the day within it, 29 February of leap years only), into
// day; false, leaving day, for anything else.
bool readDate(std::string_view text, Day& day);

// Writes day as "YYYY-MM-DD" at out, kDateLength bytes, for a day from
// kFirstDay to kLastDay; returns the end.
char* writeDate(Day day, char* out);
