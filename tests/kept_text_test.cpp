// The history of senders as a file kept beside the DLL: read from what a
// text editor, a clock set ahead and an older list of public suffixes leave,
// and merged with another process's save.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kept_file_damage.h"
#include "senders/sender_history.h"

namespace {

using namespace std::string_literals;

constexpr char kHead[] = "# Quillmark senders 1 since 2024-01-01\n";
constexpr std::size_t kLongest = SenderHistory::kMaxLineLength - 1;
const std::string kFile = std::string(kHead) +
                          "amazon.co.jp 2024-01-05 2024-03-01 12\n"
                          "smbc-card.com 2024-02-01 2024-02-01 1\n";

TEST(SenderHistoryKept, ReadsWhatAnEditorLeavesAndRefusesDamage) {
    for (const KeptFileChange& change : kKeptFileChanges) {
        SenderHistory history(0);
        history.record("kept.example", 5);
        const std::string before = history.write();
        EXPECT_NE(history.read(change.applyTo(kFile, kLongest), kLastDay), change.damage) << change.name;
        EXPECT_EQ(history.write(), change.damage ? before : kFile) << change.name;
        EXPECT_EQ(history.changed(), change.damage) << change.name;
    }
}

Day day(const char* text) {
    Day read = 0;
    EXPECT_TRUE(readDate(text, read)) << text;
    return read;
}

// Read on a day, the lines become what is kept; changed when that differs.
TEST(SenderHistoryKept, ReadsDatesAheadAsTodayAndLinesBelowTheirDomainIntoIt) {
    const struct {
        const char* name;
        std::string lines;
        const char* today;
        std::string kept;
    } cases[] = {
        {"dates up to today", "a.com 2024-01-01 2024-03-01 3\n", "2024-03-01", "a.com 2024-01-01 2024-03-01 3\n"},
        {"LAST ahead", "a.com 2024-01-01 2024-03-09 40\n", "2024-01-10", "a.com 2024-01-01 2024-01-10 10\n"},
        {"FIRST and LAST ahead", "a.com 2025-01-01 2025-03-01 9\n", "2024-01-10", "a.com 2024-01-10 2024-01-10 1\n"},
        {"a subdomain", "mail.a.com 2024-01-01 2024-01-03 3\n", "2024-03-01", "a.com 2024-01-01 2024-01-03 3\n"},
        {"a subdomain beside its domain", "a.com 2024-01-05 2024-01-09 4\nmail.a.com 2024-01-01 2024-01-03 3\n",
         "2024-03-01", "a.com 2024-01-01 2024-01-09 4\n"},
        {"a domain twice", "b.co.jp 2024-01-02 2024-01-02 1\nb.co.jp 2024-01-01 2024-01-01 1\n", "2024-03-01",
         "b.co.jp 2024-01-01 2024-01-02 1\n"},
    };
    for (const auto& c : cases) {
        SenderHistory history(0);
        ASSERT_TRUE(history.read(kHead + c.lines, day(c.today))) << c.name;
        EXPECT_EQ(history.write(), kHead + c.kept) << c.name;
        EXPECT_EQ(history.changed(), c.lines != c.kept) << c.name;
    }
    // since too.
    SenderHistory history(0);
    ASSERT_TRUE(history.read("# Quillmark senders 1 since 2030-01-01\n", day("2024-01-10")));
    EXPECT_EQ(history.write(), "# Quillmark senders 1 since 2024-01-10\n");
}

// Ours (a file read, then recorded on the later dates), theirs saved by
// another process: both kept, of one domain the earlier FIRST, the later
// LAST and the larger DAYS.
TEST(SenderHistoryKept, MergesAnotherProcessesSaveLosingNoRecord) {
    const struct {
        const char* name;
        std::vector<const char*> recorded;  // on the days after 2024-02-01, one a day
        std::string theirs;
        std::string merged;
        bool changed;
    } cases[] = {
        {"the same", {}, "a.com 2024-01-01 2024-01-03 3\n", "a.com 2024-01-01 2024-01-03 3\n", false},
        {"theirs later", {}, "a.com 2024-01-01 2024-01-30 5\n", "a.com 2024-01-01 2024-01-30 5\n", false},
        {"ours later", {"a.com"}, "a.com 2024-01-01 2024-01-03 3\n", "a.com 2024-01-01 2024-02-02 4\n", true},
        {"each its own", {"b.com"}, "c.com 2024-01-02 2024-01-02 1\n",
         "a.com 2024-01-01 2024-01-03 3\nb.com 2024-02-02 2024-02-02 1\nc.com 2024-01-02 2024-01-02 1\n", true},
        {"theirs earlier, ours more", {"a.com", "a.com"}, "a.com 2023-12-01 2024-01-02 2\n",
         "a.com 2023-12-01 2024-02-03 5\n", true},
        // One of ours before a domain both hold: each line still meets its own.
        {"ours first, then one of both", {"0.com"}, "a.com 2024-01-01 2024-01-03 3\nz.com 2024-01-05 2024-01-05 1\n",
         "0.com 2024-02-02 2024-02-02 1\na.com 2024-01-01 2024-01-03 3\nz.com 2024-01-05 2024-01-05 1\n", true},
    };
    for (const auto& c : cases) {
        SenderHistory history(0);
        ASSERT_TRUE(history.read(kHead + "a.com 2024-01-01 2024-01-03 3\n"s, day("2024-02-01")));
        Day today = day("2024-02-01");
        for (const char* domain : c.recorded) history.record(domain, ++today);
        ASSERT_TRUE(history.merge(kHead + c.theirs, today)) << c.name;
        EXPECT_EQ(history.write(), kHead + c.merged) << c.name;
        EXPECT_EQ(history.changed(), c.changed) << c.name;
    }
    // Theirs began earlier, with a date ahead; no history is no merge.
    SenderHistory history(day("2024-02-01"));
    history.record("a.com", day("2024-02-01"));
    EXPECT_FALSE(history.merge("a.com 2024-01-01 2024-01-03 3\n", day("2024-02-01")));
    ASSERT_TRUE(history.merge(kHead + "b.com 2024-01-01 2024-05-03 3\n"s, day("2024-02-01")));
    EXPECT_EQ(history.write(), kHead + "a.com 2024-02-01 2024-02-01 1\nb.com 2024-01-01 2024-02-01 3\n"s);
}

}  // namespace
