// The user's own senders: local dates, skeletons, the history file with
// each kind of damage, recording over days, and the notes the trust lines
// add, with each look-alike rule and the forms that must not be flagged.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "keptfile/local_dates.h"
#include "senders/sender_history.h"
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
        {"xn--976c.com", U"\uFDFA.corn"},  // a ligature no label may hold: kept out of the table
        {"xn--ujd.com", U"\u101E\u103C\u1031\u102C\u103A.corn"},
        {"a..b.", U"a..b."},
        {"", U""},
    };
    for (const auto& c : cases) EXPECT_EQ(skeleton(c.domain), c.skeleton) << c.domain;

    // 253 bytes of the character that maps to most: 57, 57, 57 and 55 of it.
    const std::string label = "xn--ujd" + std::string(56, 'a');
    const std::string longest = label + "." + label + "." + label + "." + label.substr(0, 61);
    char32_t out[kMaxSkeletonSize];
    EXPECT_EQ(skeletonOf(longest, out, kMaxSkeletonSize), 226 * kLongestConfusable + 3);
    EXPECT_EQ(skeletonOf("abc", out, 2), 0u) << "no room";
}

Day on(const char* date) {
    Day day = 0;
    EXPECT_TRUE(readDate(date, day)) << date;
    return day;
}

constexpr char kFirstLine[] = "# Quillmark senders 1 since 2024-01-01\n";

// A history read from a file of kFirstLine and these lines, each LF-ended.
SenderHistory historyOf(const std::vector<std::string>& lines, std::size_t capacity = SenderHistory::kMaxDomains) {
    std::string file = kFirstLine;
    for (const std::string& line : lines) file += line + "\n";
    SenderHistory history(0, capacity);
    EXPECT_TRUE(history.read(file)) << file;
    return history;
}

TEST(SenderHistoryFile, RefusesEveryKindOfDamageAndKeepsWhatItHad) {
    const std::string good = std::string(kFirstLine) + "amazon.co.jp 2024-01-05 2024-03-01 12\nsmbc-card.com 2024-02-01 2024-02-01 1\n";
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"an empty file", ""},
        {"cut mid-line", good.substr(0, good.size() - 9)},
        {"a NUL in a domain", std::string(kFirstLine) + "a\0.com 2024-01-01 2024-01-01 1\n"s},
        {"a NUL after the count", std::string(kFirstLine) + "a.com 2024-01-01 2024-01-01 1\0\n"s},
        {"a lone CR within a line", std::string(kFirstLine) + "a.com 2024-01-01 2024-01-01 1\rb.com 2024-01-01 2024-01-01 1\n"},
        {"a line of 1 MiB", std::string(kFirstLine) + std::string(1 << 20, 'a') + " 2024-01-01 2024-01-01 1\n"},
        {"a line just too long", std::string(kFirstLine) + "a.com 2024-01-01 2024-01-01 1" +
                                     std::string(SenderHistory::kMaxLineLength - 29, ' ') + "\n"},
        {"a date that does not exist", std::string(kFirstLine) + "a.com 2024-02-30 2024-03-01 1\n"},
        {"a date of another form", std::string(kFirstLine) + "a.com 2024-2-01 2024-03-01 1\n"},
        {"a negative count", std::string(kFirstLine) + "a.com 2024-01-01 2024-03-01 -1\n"},
        {"a zero count", std::string(kFirstLine) + "a.com 2024-01-01 2024-03-01 0\n"},
        {"a leading zero", std::string(kFirstLine) + "a.com 2024-01-01 2024-03-01 01\n"},
        {"a count that is no number", std::string(kFirstLine) + "a.com 2024-01-01 2024-03-01 x\n"},
        {"no count", std::string(kFirstLine) + "a.com 2024-01-01 2024-03-01\n"},
        {"no count before CR LF", std::string(kFirstLine) + "a.com 2024-01-01 2024-03-01 \r\nb.com 2024-01-01 2024-03-01 1\n"},
        {"a count past 32 bits", std::string(kFirstLine) + "a.com 0000-01-01 9999-12-31 99999999999\n"},
        {"more dates than days between", std::string(kFirstLine) + "a.com 2024-03-01 2024-03-02 3\n"},
        {"FIRST after LAST", std::string(kFirstLine) + "a.com 2024-03-02 2024-03-01 1\n"},
        {"two blanks", std::string(kFirstLine) + "a.com  2024-01-01 2024-01-01 1\n"},
        {"a blank first", std::string(kFirstLine) + " a.com 2024-01-01 2024-01-01 1\n"},
        {"a tab for a blank", std::string(kFirstLine) + "a.com\t2024-01-01 2024-01-01 1\n"},
        {"an upper-case domain", std::string(kFirstLine) + "Amazon.co.jp 2024-01-01 2024-01-01 1\n"},
        {"a domain that is no host name", std::string(kFirstLine) + "-a.com 2024-01-01 2024-01-01 1\n"},
        {"a domain of 254 bytes", std::string(kFirstLine) + std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                      std::string(63, 'c') + "." + std::string(62, 'd') + " 2024-01-01 2024-01-01 1\n"},
        {"another version", "# Quillmark senders 2 since 2024-01-01\n"},
        {"another format", "amazon.co.jp 2024-01-05 2024-03-01 12\n"},
        {"no since date", "# Quillmark senders 1 since\n"},
        {"a since date that does not exist", "# Quillmark senders 1 since 2024-02-30\n"},
    };
    for (const auto& c : cases) {
        SenderHistory history = historyOf({"kept.example 2024-01-01 2024-01-02 2"});
        EXPECT_FALSE(history.read(c.file)) << c.name;
        EXPECT_EQ(history.write(), std::string(kFirstLine) + "kept.example 2024-01-01 2024-01-02 2\n") << c.name;
    }
}

TEST(SenderHistoryFile, ReadsAnyOrderAndEitherLineEndAndWritesBackSorted) {
    const std::string sorted = std::string(kFirstLine) +
                               "amazon.co.jp 2024-01-05 2024-03-01 12\n"
                               "future.example 2031-01-01 2031-01-01 1\n"
                               "smbc-card.com 2024-02-01 2024-02-01 1\n"
                               "xn--mazon-3ve.co.jp 0000-01-01 9999-12-31 3652425\n";
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"sorted", sorted},
        {"CR LF", "# Quillmark senders 1 since 2024-01-01\r\n"
                  "smbc-card.com 2024-02-01 2024-02-01 1\r\n"
                  "xn--mazon-3ve.co.jp 0000-01-01 9999-12-31 3652425\r\n"
                  "future.example 2031-01-01 2031-01-01 1\r\n"
                  "amazon.co.jp 2024-01-05 2024-03-01 12\r\n"},
        {"unsorted", std::string(kFirstLine) +
                         "xn--mazon-3ve.co.jp 0000-01-01 9999-12-31 3652425\n"
                         "future.example 2031-01-01 2031-01-01 1\n"
                         "smbc-card.com 2024-02-01 2024-02-01 1\n"
                         "amazon.co.jp 2024-01-05 2024-03-01 12\n"},
    };
    for (const auto& c : cases) {
        SenderHistory history(0);
        ASSERT_TRUE(history.read(c.file)) << c.name;
        EXPECT_EQ(history.write(), sorted) << c.name;
        EXPECT_FALSE(history.changed()) << c.name;
        EXPECT_EQ(history.since(), on("2024-01-01"));
    }
    SenderHistory empty(on("2025-06-30"));
    EXPECT_EQ(empty.write(), "# Quillmark senders 1 since 2025-06-30\n");
    ASSERT_TRUE(empty.read(kFirstLine));
    EXPECT_EQ(empty.write(), kFirstLine);
}

// Of 50,001 lines the one seen least recently goes: the earliest LAST, and
// of one LAST the first in byte order.
TEST(SenderHistoryFile, KeepsTheFiftyThousandSeenLast) {
    for (const bool sameLast : {false, true}) {
        std::string file = kFirstLine;
        for (int i = 0; i <= 50000; ++i) {
            const char* last = sameLast || i != 7 ? "2024-03-01" : "2024-02-01";
            file += "d" + std::to_string(100000 + i) + ".example 2024-01-01 " + last + " 1\n";
        }
        SenderHistory history(0);
        ASSERT_TRUE(history.read(file));
        EXPECT_EQ(history.size(), 50000u);
        EXPECT_TRUE(history.changed());
        EXPECT_EQ(history.find(sameLast ? "d100000.example" : "d100007.example"), nullptr);
        EXPECT_NE(history.find(sameLast ? "d100007.example" : "d100000.example"), nullptr);
    }
}

TEST(SenderHistoryRecord, CountsEachDateOnceAndGoesOnlyForward) {
    SenderHistory history(on("2024-01-01"));
    const struct {
        const char* name;
        const char* domain;
        Day today;
        const char* line;  // the domain's line after it
        bool changed;
    } steps[] = {
        {"a new domain", "amazon.co.jp", on("2024-03-01"), "amazon.co.jp 2024-03-01 2024-03-01 1", true},
        {"the same date again", "amazon.co.jp", on("2024-03-01"), "amazon.co.jp 2024-03-01 2024-03-01 1", false},
        {"the next date", "amazon.co.jp", on("2024-03-02"), "amazon.co.jp 2024-03-01 2024-03-02 2", true},
        {"a date before", "amazon.co.jp", on("2024-02-20"), "amazon.co.jp 2024-03-01 2024-03-02 2", false},
        {"ten dates on", "amazon.co.jp", on("2024-03-12"), "amazon.co.jp 2024-03-01 2024-03-12 3", true},
        {"an upper-case name", "Amazon.co.jp", on("2024-03-13"), "amazon.co.jp 2024-03-01 2024-03-12 3", false},
        {"no host name", "amazon.co.jp.", on("2024-03-13"), "amazon.co.jp 2024-03-01 2024-03-12 3", false},
        {"a day past 9999", "amazon.co.jp", kLastDay + 1, "amazon.co.jp 2024-03-01 2024-03-12 3", false},
        {"a day before year 0", "b.example", kFirstDay - 1, "amazon.co.jp 2024-03-01 2024-03-12 3", false},
    };
    for (const auto& step : steps) {
        history.markSaved();
        history.record(step.domain, step.today);
        EXPECT_EQ(history.write(), "# Quillmark senders 1 since 2024-01-01\n"s + step.line + "\n") << step.name;
        EXPECT_EQ(history.changed(), step.changed) << step.name;
    }
}

// Past 50,000 domains the one recorded longest ago goes, and with it its
// place in every index.
TEST(SenderHistoryRecord, EvictsTheDomainRecordedLongestAgo) {
    SenderHistory history(on("2024-01-01"));
    const Day day = on("2024-03-01");
    for (const char* known : {"amazon.co.jp", "smbc-card.com"}) {
        for (Day d = day; d < day + 3; ++d) history.record(known, d);
    }
    for (int i = 0; i < 49998; ++i) history.record("d" + std::to_string(100000 + i) + ".example", day + 3);
    ASSERT_EQ(history.size(), 50000u);
    history.record("smbc-card.com", day + 4);  // now the latest
    history.record("new.example", day + 5);
    EXPECT_EQ(history.size(), 50000u);
    EXPECT_EQ(history.find("amazon.co.jp"), nullptr);
    EXPECT_NE(history.find("smbc-card.com"), nullptr);
    EXPECT_EQ(history.noteFor("arnazon.co.jp", day + 30).kind, SenderNote::Kind::kNewSender);
    EXPECT_EQ(history.noteFor("smbc-card.top", day + 30).known, "smbc-card.com");
    history.record("newer.example", day + 6);
    EXPECT_EQ(history.find("d100000.example"), nullptr);
    EXPECT_NE(history.find("d100001.example"), nullptr);
}

// The note as the trust lines show it.
std::string noteText(const SenderHistory& history, std::string_view from, Day today) {
    const SenderNote note = history.noteFor(from, today);
    switch (note.kind) {
    case SenderNote::Kind::kNone: return "";
    case SenderNote::Kind::kNewSender: return " (new sender)";
    case SenderNote::Kind::kLooksLike: return " (looks like " + std::string(note.known) + ")";
    }
    return "?";
}

// Known: recorded on 3 dates or more. The history began in January.
SenderHistory lookAlikeHistory() {
    return historyOf({
        "amazon.co.jp 2024-01-05 2024-03-01 12",
        "smbc-card.com 2024-01-05 2024-03-01 5",
        "mizuho-bank.co.jp 2024-01-05 2024-03-01 4",
        "rakuten-card.co.jp 2024-01-05 2024-03-01 6",
        "shop.co.jp 2024-01-05 2024-03-01 9",          // a name of 4 characters
        "lotte.co.jp 2024-01-05 2024-03-01 9",         // a name of 5 characters
        "github.com 2024-01-05 2024-03-01 9",
        "rakuten.co.jp 2024-01-05 2024-03-01 2",       // not known: 2 dates
        "new-known.example 2024-02-27 2024-03-01 3",   // known and still new
    });
}

struct NoteCase {
    const char* from;
    const char* note;
};

void expectNotes(const SenderHistory& history, const std::vector<NoteCase>& cases) {
    for (const NoteCase& c : cases) EXPECT_EQ(noteText(history, c.from, on("2024-03-02")), c.note) << c.from;
}

TEST(SenderNotes, TheSameSkeleton) {
    expectNotes(lookAlikeHistory(), {
        {"arnazon.co.jp", " (looks like amazon.co.jp)"},
        {"amaz0n.co.jp", " (looks like amazon.co.jp)"},
        {"xn--mazon-3ve.co.jp", " (looks like amazon.co.jp)"},  // a Cyrillic a
        {"srnbc-card.com", " (looks like smbc-card.com)"},
        {"amazon.co.jp", ""},                                   // itself
        {"www.amazon.co.jp", ""},                               // below it
        {"x_y.amazon.co.jp", ""},
        {"Amazon.co.jp", ""},                                   // no name the history could hold
        {"", ""},
    });
}

TEST(SenderNotes, TheSameNameUnderAnotherSuffix) {
    expectNotes(lookAlikeHistory(), {
        {"smbc-card.top", " (looks like smbc-card.com)"},
        {"xn--mazon-3ve.top", " (looks like amazon.co.jp)"},   // by its skeleton
        {"arnazon.top", " (looks like amazon.co.jp)"},
        {"shop.top", " (looks like shop.co.jp)"},
        {"mail.mizuho-bank.top", " (looks like mizuho-bank.co.jp)"},
        {"rakuten.top", " (new sender)"},                      // like a domain of 2 dates only
        {"new-known.example", " (new sender)"},                // known itself: never a look-alike
    });
}

TEST(SenderNotes, AKnownNameWithinTheDomain) {
    expectNotes(lookAlikeHistory(), {
        // Letters: 6 or more, dots and hyphens of both left out.
        {"amazonsecure.top", " (looks like amazon.co.jp)"},
        {"10000amazon.com", " (looks like amazon.co.jp)"},
        {"verify-amazonco.jp.evil.top", " (looks like amazon.co.jp)"},
        {"smbccard-login.top", " (looks like smbc-card.com)"},
        {"login.smbc.card.top", " (looks like smbc-card.com)"},
        {"amazon-co-jp.security-center.top", " (looks like amazon.co.jp)"},
        {"amazon.co.jp.evil.top", " (looks like amazon.co.jp)"},
        {"xn--mazon-co-jp-xij.evil.top", " (looks like amazon.co.jp)"},
        {"x_amazon.evil.top", " (looks like amazon.co.jp)"},
        {"github.io", " (looks like github.com)"},  // a public suffix: no name, but letters
        // Words: a name of 5 characters stands whole.
        {"secure-lotte.com", " (looks like lotte.co.jp)"},
        {"lotte.co.jp.example", " (looks like lotte.co.jp)"},
        {"securelotte.com", " (new sender)"},
        {"shop-login.top", " (new sender)"},        // a name of 4 characters
        {"smbc.top", " (new sender)"},
    });
}

TEST(SenderNotes, OneSlipUnderAnySuffix) {
    expectNotes(lookAlikeHistory(), {
        {"amazom.top", " (looks like amazon.co.jp)"},
        {"amazom.co.jp", " (looks like amazon.co.jp)"},
        {"amzaon.co.jp", " (looks like amazon.co.jp)"},
        {"mizuho-bnak.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"mizuhobank.jp", " (looks like mizuho-bank.co.jp)"},
        {"secure.mizuho-bnak.top", " (looks like mizuho-bank.co.jp)"},
        {"xn--mizuho-bnk-6qi.top", " (looks like mizuho-bank.co.jp)"},  // a Cyrillic a in place of a
        {"githob.com", " (looks like github.com)"},
        {"amzoan.co.jp", " (new sender)"},     // two slips of a short name
        {"lotta.co.jp", " (new sender)"},      // a name of 5 characters
        {"amazn.co.jp", " (new sender)"},      // a slip to 5 characters
        {"rakuten.top", " (new sender)"},
    });
}

TEST(SenderNotes, TwoSlipsOfALongName) {
    expectNotes(lookAlikeHistory(), {
        {"rakutem-cadr.top", " (looks like rakuten-card.co.jp)"},
        {"rakuen-crad.jp", " (looks like rakuten-card.co.jp)"},
        {"rakutenncardd.com", " (looks like rakuten-card.co.jp)"},
        {"rkauten-cadr.top", " (looks like rakuten-card.co.jp)"},
        {"imzuho-bakn.co.jp", " (new sender)"},   // a name of 11 characters
        {"rakutem-cadrx.top", " (new sender)"},   // three slips
    });
}

// Of several known domains a rule finds, the one of most dates, then the
// one that reached them first (the earlier last date), then byte order;
// the first rule that finds one decides.
TEST(SenderNotes, NameTheBestKnownDomain) {
    const SenderHistory history = historyOf({
        "amazon.co.jp 2024-01-05 2024-03-01 12",
        "arnazon.com 2024-01-05 2024-03-01 40",
        "mizuho-bank.co.jp 2024-01-05 2024-03-01 4",
        "mizuho-bank.jp 2024-01-05 2024-02-20 4",
        "mizuho-bank.net 2024-01-05 2024-02-20 4",
        "smbc-card.com 2024-01-05 2024-03-01 3",
        "smbc-card.jp 2024-01-05 2024-03-01 5",
    });
    expectNotes(history, {
        {"arnazon.co.jp", " (looks like amazon.co.jp)"},     // the same skeleton before more dates
        {"amazon.top", " (looks like arnazon.com)"},
        {"amazon-login.top", " (looks like arnazon.com)"},
        {"mizuho-bank.top", " (looks like mizuho-bank.jp)"}, // as many dates, the earlier last, byte order
        {"smbc-card.top", " (looks like smbc-card.jp)"},
        {"arnazon.com", ""},                                 // two long-known domains
        {"amazon.co.jp", ""},
    });
}

// A look-alike is flagged until it is known itself, however long ago it
// first passed; new sender only for its first 7 days.
TEST(SenderNotes, ALookAlikeUntilItIsKnown) {
    const struct {
        const char* from;
        const char* line;  // of its organizational domain
        const char* note;
    } cases[] = {
        {"amazon-co-jp.security-center.top", "security-center.top 2024-03-01 2024-03-01 1", " (looks like amazon.co.jp)"},
        {"amazon-co-jp.security-center.top", "security-center.top 2024-01-20 2024-01-20 1", " (looks like amazon.co.jp)"},
        {"amazom.top", "amazom.top 2024-01-20 2024-02-20 2", " (looks like amazon.co.jp)"},
        {"amazom.top", "amazom.top 2024-01-20 2024-02-20 3", ""},
        {"amazom.top", "amazom.top 2024-02-28 2024-03-01 3", " (new sender)"},
        // Known itself, but a known name below it still looks like one.
        {"amazon-co-jp.security-center.top", "security-center.top 2024-01-20 2024-02-20 3", " (looks like amazon.co.jp)"},
        {"amazon.co.jp.security-center.top", "security-center.top 2024-01-20 2024-02-20 3", " (looks like amazon.co.jp)"},
        {"news.security-center.top", "security-center.top 2024-01-20 2024-02-20 3", ""},
        {"security-center.top.security-center.top", "security-center.top 2024-01-20 2024-02-20 3", ""},
        {"mail.amazon.co.jp", "security-center.top 2024-01-20 2024-02-20 3", ""},
        {"login-amazon.amazon.co.jp", "amazon.com 2024-01-20 2024-02-20 3", ""},  // its own name, amazon.com's too
    };
    for (const auto& c : cases) {
        const SenderHistory history = historyOf({"amazon.co.jp 2024-01-05 2024-03-01 12", c.line});
        EXPECT_EQ(noteText(history, c.from, on("2024-03-02")), c.note) << c.line;
    }
}

// One slip of each kind, at the name's first and last byte and inside
// runs of one byte, up to the longest label.
TEST(SenderNotes, FindOneSlipOfEachKindAnywhereInTheName) {
    const std::string longest(63, 'q');
    const SenderHistory history = historyOf({
        "mizuho-bank.co.jp 2024-01-05 2024-03-01 4",
        "github.com 2024-01-05 2024-03-01 9",        // a name of 6, the shortest one slip reads
        "bookkeeper.net 2024-01-05 2024-03-01 3",
        "bookkeepers.net 2024-01-05 2024-03-01 7",   // more dates, one slip from the other
        longest + ".com 2024-01-05 2024-03-01 3",
    });
    const Day today = on("2024-03-02");
    const struct {
        const char* kind;
        std::string from;
        std::string note;
    } cases[] = {
        {"the first byte left out", "izuho-bank.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"the last byte left out", "mizuho-ban.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"a byte of a run left out", "bokkeeper.net", " (looks like bookkeeper.net)"},
        {"a byte put in first", "xmizuho-bank.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"a byte put in last", "mizuho-bank9.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"a hyphen put in", "git-hub.com", " (looks like github.com)"},
        {"a byte put in a run", "bookkeeeper.net", " (looks like bookkeeper.net)"},
        {"the first byte changed", "nizuho-bank.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"the last byte changed to a digit", "mizuho-ban8.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"a byte changed to a hyphen", "mizuho-b-nk.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"the first two swapped", "imzuho-bank.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"the last two swapped", "mizuho-bakn.co.jp", " (looks like mizuho-bank.co.jp)"},
        {"one slip from two, the most dates", "bookkeepes.net", " (looks like bookkeepers.net)"},
        {"a byte left out of the longest label", std::string(62, 'q') + ".com", " (looks like " + longest + ".com)"},
        {"a byte changed in the longest label", std::string(62, 'q') + "x.com", " (looks like " + longest + ".com)"},
        {"two slips", "imzuho-bakn.co.jp", " (new sender)"},
        {"a slip under another suffix", "mizuho-bakn.jp", " (looks like mizuho-bank.co.jp)"},
        {"a slip to 5 bytes", "githb.com", " (new sender)"},
        {"two inner neighbours swapped", "mziuho-bank.co.jp", " (looks like mizuho-bank.co.jp)"},
    };
    for (const auto& c : cases) EXPECT_EQ(noteText(history, c.from, today), c.note) << c.kind;
}

// The last note asked is kept, and forgotten as soon as the history changes.
TEST(SenderNotes, AskedAgainAreTheSameUntilTheHistoryChanges) {
    SenderHistory history = historyOf({"mizuho-bank.co.jp 2024-01-05 2024-02-01 2"});
    const Day day = on("2024-03-01");
    const struct {
        const char* step;
        std::string file;    // read first, when not empty
        const char* record;  // recorded first, when not null
        const char* from;
        Day today;
        const char* note;
    } steps[] = {
        {"asked", "", nullptr, "mizuho-bnak.co.jp", day, " (new sender)"},
        {"asked again", "", nullptr, "mizuho-bnak.co.jp", day, " (new sender)"},
        {"the third date recorded", "", "mizuho-bank.co.jp", "mizuho-bnak.co.jp", day, " (looks like mizuho-bank.co.jp)"},
        {"asked again after", "", nullptr, "mizuho-bnak.co.jp", day, " (looks like mizuho-bank.co.jp)"},
        {"a domain recorded today again", "", "mizuho-bank.co.jp", "mizuho-bnak.co.jp", day, " (looks like mizuho-bank.co.jp)"},
        {"another day", "", nullptr, "mizuho-bnak.co.jp", day - 60, " (looks like mizuho-bank.co.jp)"},
        {"another name", "", nullptr, "mizuho-bank.co.jp", day - 60, ""},
        {"the look-alike recorded", "", "mizuho-bnak.co.jp", "mizuho-bnak.co.jp", day + 7, " (looks like mizuho-bank.co.jp)"},
        {"another history read", std::string(kFirstLine) + "mizuho-bank.jp 2024-01-05 2024-03-01 3\n", nullptr,
         "mizuho-bnak.co.jp", day + 7, " (looks like mizuho-bank.jp)"},
        {"its look-alike known", std::string(kFirstLine) + "mizuho-bank.jp 2024-01-05 2024-03-01 3\n" +
         "mizuho-bnak.co.jp 2024-01-05 2024-03-01 3\n", nullptr, "mizuho-bnak.co.jp", day + 7, ""},
        {"an empty name", "", nullptr, "", day + 7, ""},
    };
    for (const auto& step : steps) {
        if (!step.file.empty()) {
            ASSERT_TRUE(history.read(step.file)) << step.step;
        }
        if (step.record != nullptr) history.record(step.record, step.today);
        EXPECT_EQ(noteText(history, step.from, step.today), step.note) << step.step;
    }
}

// Evicted domains' bytes are given back as more are recorded: every domain
// kept reads as it was recorded, over many rounds of the whole history.
TEST(SenderHistoryRecord, KeepsEveryDomainWholeThroughManyEvictions) {
    SenderHistory history(on("2024-01-01"), 5);
    const Day day = on("2024-03-01");
    std::vector<std::string> recorded;
    for (int i = 0; i < 2000; ++i) {
        recorded.push_back(std::string(6 + i % 50, static_cast<char>('a' + i % 26)) + std::to_string(i) + ".example");
        history.record(recorded.back(), day + i / 3);
        if (i % 97 == 0) {
            // Known: the look-alike names the domain by its bytes as recorded.
            history.record(recorded.back(), day + i / 3 + 1);
            history.record(recorded.back(), day + i / 3 + 2);
            const std::string slip = "x" + recorded.back();
            EXPECT_EQ(noteText(history, slip, day + i / 3 + 2), " (looks like " + recorded.back() + ")") << i;
        }
    }
    EXPECT_EQ(history.size(), 5u);
    std::string expected = "# Quillmark senders 1 since 2024-01-01\n";
    std::vector<std::string> kept(recorded.end() - 5, recorded.end());
    std::sort(kept.begin(), kept.end());
    for (const std::string& domain : kept) {
        const SenderRecord* found = history.find(domain);
        ASSERT_NE(found, nullptr) << domain;
        expected += domain + " " + dateText(found->first) + " " + dateText(found->last) + " 1\n";
    }
    EXPECT_EQ(history.write(), expected);
}

TEST(SenderNotes, NewForSevenDaysKnownFromThreeDatesAndToldAfterFourteen) {
    const Day began = on("2024-01-01");
    const struct {
        const char* name;
        Day today;
        const char* line;  // of example.com
        const char* from;
        const char* note;
    } cases[] = {
        {"a stranger in the 13th day", began + 13, "", "stranger.example", ""},
        {"a stranger in the 14th day", began + 14, "", "stranger.example", " (new sender)"},
        {"a look-alike from the first day", began, "example.com 2023-12-20 2024-01-01 3", "examp1e.com",
         " (looks like example.com)"},
        {"first recorded 6 days ago", began + 60, "example.com 2024-02-24 2024-02-25 2", "example.com", " (new sender)"},
        {"first recorded 7 days ago", began + 60, "example.com 2024-02-23 2024-02-25 2", "example.com", ""},
        {"first recorded today", began + 60, "example.com 2024-03-01 2024-03-01 1", "example.com", " (new sender)"},
        {"first recorded after today", began + 60, "example.com 2024-03-05 2024-03-05 1", "example.com", " (new sender)"},
        {"like a domain of 2 dates", began + 60, "example.com 2024-01-02 2024-01-03 2", "examp1e.com", " (new sender)"},
        {"like a domain of 3 dates", began + 60, "example.com 2024-01-02 2024-01-04 3", "examp1e.com",
         " (looks like example.com)"},
    };
    for (const auto& c : cases) {
        const SenderHistory history = historyOf(*c.line != '\0' ? std::vector<std::string>{c.line} : std::vector<std::string>{});
        EXPECT_EQ(noteText(history, c.from, c.today), c.note) << c.name;
    }
}

// Recording moves a domain into the indexes when it is known, and the note
// follows: the third date makes a look-alike of a name one slip away.
TEST(SenderNotes, FollowWhatIsRecorded) {
    SenderHistory history(on("2024-01-01"));
    const Day day = on("2024-03-01");
    history.record("mizuho-bank.co.jp", day);
    history.record("mizuho-bank.co.jp", day + 1);
    EXPECT_EQ(noteText(history, "mizuho-bnak.co.jp", day + 1), " (new sender)");
    history.record("mizuho-bank.co.jp", day + 2);
    EXPECT_EQ(noteText(history, "mizuho-bnak.co.jp", day + 2), " (looks like mizuho-bank.co.jp)");
    EXPECT_EQ(noteText(history, "verify-mizuhobank.top", day + 2), " (looks like mizuho-bank.co.jp)");
    EXPECT_EQ(noteText(history, "mizuho-bank.co.jp", day + 2), " (new sender)");
    EXPECT_EQ(noteText(history, "mizuho-bank.co.jp", day + 7), "");
}

}  // namespace

namespace {

// Over many days of records and evictions, the known domain a look-alike
// is told of is always one of most dates, then of the earliest last date,
// among all it could be: the groups keep their best first as entries
// become known, gain dates and go.
TEST(SenderNotes, TheBestKnownDomainHoldsThroughRecordsAndEvictions) {
    SenderHistory history(on("2024-01-01"), 40);
    const char* const suffixes[] = {"com", "net", "org", "jp", "co.jp", "de", "fr", "io", "biz", "info", "top", "xyz"};
    const char* const names[] = {"shopping", "sh0pping", "shopp1ng", "example", "news-letter", "xn--hopping-iog"};
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t n) {
        state = state * 1103515245 + 12345;
        return (state >> 16) % n;
    };
    int told = 0;
    for (Day day = on("2024-01-01"); day < on("2024-07-01"); ++day) {
        for (int mail = 0; mail < 6; ++mail) {
            history.record(std::string(names[next(6)]) + "." + suffixes[next(12)], day);
        }
        if (day % 7 != 0) continue;
        // The best of the known domains named shopping (by skeleton) under any suffix.
        const SenderRecord* best = nullptr;
        // shopp1ng reads as shopplng; xn--hopping-iog (a Cyrillic s) as shopping.
        for (const char* name : {"shopping", "sh0pping", "xn--hopping-iog"}) {
            for (const char* suffix : suffixes) {
                const SenderRecord* r = history.find(std::string(name) + "." + suffix);
                if (r == nullptr || r->days < SenderHistory::kKnownDays) continue;
                if (best == nullptr || r->days > best->days || (r->days == best->days && r->last < best->last)) best = r;
            }
        }
        const SenderNote note = history.noteFor("shopping.example", day);
        // Read back, the indexes made all at once name what those kept
        // record by record do.
        SenderHistory readBack(on("2024-01-01"), 40);
        ASSERT_TRUE(readBack.read(history.write(), day));
        for (const char* from : {"shopping.example", "shopp1ng.top", "news-1etter.com", "examp1e.org", "mail.shopping.top",
                                 "xn--hopping-iog.example", "sh0ppinq.de"}) {
            EXPECT_EQ(noteText(readBack, from, day), noteText(history, from, day)) << from;
        }
        if (best == nullptr) {
            EXPECT_NE(note.kind, SenderNote::Kind::kLooksLike);
            continue;
        }
        ASSERT_EQ(note.kind, SenderNote::Kind::kLooksLike);
        const SenderRecord* known = history.find(note.known);
        ASSERT_NE(known, nullptr);
        EXPECT_EQ(known->days, best->days) << note.known;
        EXPECT_EQ(known->last, best->last) << note.known;
        ++told;
    }
    EXPECT_GT(told, 20);
}

}  // namespace
