// The user's own senders: local dates, skeletons, the history file with
// each kind of damage, recording over days, and the notes the trust lines
// add, with each look-alike rule and the forms that must not be flagged.
#include <gtest/gtest.h>

#include <string>

#include "senders/local_dates.h"
#include "senders/skeleton.h"

namespace {

using namespace std::string_literals;

// A date's text as the file writes it.
std::string dateText(Day day) {
    char text[kDateLength];
    return std::string(text, writeDate(day, text));
}

TEST(LocalDates, ReadOnlyDatesThatExist) {
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"1970-01-01", true},   {"2000-02-29", true},   {"2024-02-29", true},   {"0000-01-01", true},
        {"9999-12-31", true},   {"2023-02-29", false},  {"1900-02-29", false},  {"2024-04-31", false},
        {"2024-13-01", false},  {"2024-00-10", false},  {"2024-01-00", false},  {"2024-1-01", false},
        {"24-01-01", false},    {"2024-01-01 ", false}, {"2024/01/01", false},  {"+024-01-01", false},
        {"2024-01-0\0"s, false}, {"", false},
    };
    for (const auto& c : cases) {
        Day day = 0;
        EXPECT_EQ(readDate(c.text, day), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(dateText(day), c.text);
        }
    }
    EXPECT_EQ(dayOf(1970, 1, 1), 0);
    EXPECT_EQ(dayOf(1969, 12, 31), -1);
    EXPECT_EQ(dayOf(2024, 3, 1) - dayOf(2024, 2, 28), 2);
}

// Every day of four-digit years is the date after the day before it.
TEST(LocalDates, CountEveryDayOfTenThousandYears) {
    CalendarDate previous = dateOf(kFirstDay);
    ASSERT_EQ(previous.year, 0);
    for (Day day = kFirstDay + 1; day <= kLastDay; ++day) {
        const CalendarDate date = dateOf(day);
        const bool sameMonth = date.year == previous.year && date.month == previous.month && date.day == previous.day + 1;
        const bool nextMonth = date.day == 1 && ((date.month == previous.month + 1 && date.year == previous.year) ||
                                                 (date.month == 1 && previous.month == 12 && date.year == previous.year + 1));
        ASSERT_TRUE(sameMonth || nextMonth) << dateText(day);
        ASSERT_EQ(dayOf(date.year, date.month, date.day), day);
        if (nextMonth) {
            // The last day of each month reads back, and the day after it does not exist.
            const std::string last = dateText(day - 1);
            const std::string after = last.substr(0, 8) + std::to_string(previous.day + 1);
            Day read = 0;
            ASSERT_TRUE(readDate(last, read) && read == day - 1) << last;
            ASSERT_FALSE(readDate(after, read)) << after;
        }
        previous = date;
    }
    EXPECT_EQ(dateText(kLastDay), "9999-12-31");
}

std::u32string skeleton(std::string_view domain) {
    char32_t out[kMaxSkeletonSize];
    return std::u32string(out, skeletonOf(domain, out, kMaxSkeletonSize));
}

TEST(Skeletons, ReadLabelsAsUnicodeAndEveryCodePointAsItsPrototype) {
    const struct {
        const char* domain;
        std::u32string skeleton;
    } cases[] = {
        {"amazon.co.jp", U"arnazon.co.jp"},
        {"arnazon.co.jp", U"arnazon.co.jp"},
        {"amaz0n.co.jp", U"arnazon.co.jp"},
        {"xn--mazon-3ve.co.jp", U"arnazon.co.jp"},           // a Cyrillic a first
        {"AMAZON.CO.JP", U"arnazon.co.jp"},                  // upper case
        {"paypa1.com", U"paypal.corn"},
        {"xn--bcher-kva.example", U"b\u00FCcher.exarnple"},  // no prototype: itself
        {"xn--zz.com", U"xn--zz.corn"},                      // no Punycode: its bytes
        {"xn--.a", U"xn--.a"},
        {"xn--976c.com", U"\u0635\u0644\u0649 l\u0644\u0644o \u0639\u0644\u0649o \u0648\u0633\u0644\u0645.corn"},
        {"a..b.", U"a..b."},
        {"", U""},
    };
    for (const auto& c : cases) EXPECT_EQ(skeleton(c.domain), c.skeleton) << c.domain;

    // 253 bytes of the character that maps to most: 56, 56, 56 and 54 of it.
    const std::string label = "xn--976c" + std::string(55, 'a');
    const std::string longest = label + "." + label + "." + label + "." + label.substr(0, 61);
    char32_t out[kMaxSkeletonSize];
    EXPECT_EQ(skeletonOf(longest, out, kMaxSkeletonSize), 222 * kLongestConfusable + 3);
    EXPECT_EQ(skeletonOf("abc", out, 2), 0u) << "no room";
}

}  // namespace
