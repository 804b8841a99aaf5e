#include "headerview/header_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core_settings.h"
#include "headerview/line_cut.h"
#include "text/ascii.h"

namespace {

using Lines = std::vector<std::string>;
using Groups = std::vector<Lines>;

// Runs the filter over a copy of header and returns the kept lines, group by
// group; the copy, as the filter left it, is stored in *after when asked for.
Groups filter(const Settings& settings, const std::string& header, std::string* after = nullptr) {
    std::vector<char> buffer(header.begin(), header.end());
    buffer.push_back('\0');
    HeaderGroups groups;
    filterHeaderLines(settings, groups, buffer.data());
    if (after) after->assign(buffer.begin(), buffer.end() - 1);
    Groups lines;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const std::vector<std::string_view> group = groups.group(g);
        lines.emplace_back(group.begin(), group.end());
    }
    return lines;
}

// Every kept line, group by group.
Lines allLines(const Groups& groups) {
    Lines lines;
    for (const Lines& group : groups) lines.insert(lines.end(), group.begin(), group.end());
    return lines;
}

Settings showAll() { return makeSettings({""}, {}); }

TEST(StartsWithPattern, ComparesThePrefixOnly) {
    EXPECT_TRUE(startsWithPattern("X-Mailer: a", "X-"));
    EXPECT_TRUE(startsWithPattern("X-", "X-"));
    EXPECT_TRUE(startsWithPattern("anything", ""));
    EXPECT_TRUE(startsWithPattern("", ""));
    EXPECT_FALSE(startsWithPattern("X", "X-"));
    EXPECT_FALSE(startsWithPattern("", "X"));
    EXPECT_FALSE(startsWithPattern("Subject: X-", "X-"));
    EXPECT_FALSE(startsWithPattern("x-mailer", "X-"));
}

// Splitting: the host's buffer is cut in place, strtok-style.

TEST(HeaderSplitting, WritesANulOverTheFirstBreakByteAfterEachLine) {
    std::string after;
    const Groups groups = filter(showAll(), "\r\nA: 1\r\n\r\nB: 2\rC: 3\nD: 4\r\n", &after);
    EXPECT_EQ(allLines(groups), (Lines{"A: 1", "B: 2", "C: 3", "D: 4"}));
    EXPECT_EQ(after, std::string("\r\nA: 1\0\n\r\nB: 2\0C: 3\0D: 4\0\n", 26));
}

TEST(HeaderSplitting, AnyRunOfCrAndLfIsOneBreak) {
    struct Case {
        const char* name;
        std::string header;
        Lines lines;
    };
    const Case cases[] = {
        {"lone CR", "A\rB\rC", {"A", "B", "C"}},
        {"lone LF", "A\nB\nC\n", {"A", "B", "C"}},
        {"CR CR LF", "A\r\r\nB\r\r\n", {"A", "B"}},
        {"LF CR", "A\n\rB", {"A", "B"}},
        {"blank line inside", "A\r\n\r\nB\r\n", {"A", "B"}},
        {"no break at all", "Comments: only line", {"Comments: only line"}},
        {"leading breaks", "\n\n\r\nA", {"A"}},
        {"breaks only", "\r\n\r\n\r\n", {}},
        {"empty text", "", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(allLines(filter(showAll(), c.header)), c.lines) << c.name;
    }
}

TEST(HeaderSplitting, KeepsEightBitAndShiftJisBytesUnchanged) {
    // "表" ends in 0x5C, a backslash; "ア" ends in 0x41, an 'A'.
    const std::string hyou = "\x95\x5C";
    const std::string a = "\x83\x41";
    ASSERT_EQ(std::string("表"), hyou);
    ASSERT_EQ(std::string("ア"), a);
    const std::string header = "Subject: " + hyou + a + "\r\nX-Raw: \xff\x80\xc1\x01\r\n";
    EXPECT_EQ(allLines(filter(showAll(), header)),
              (Lines{"Subject: " + hyou + a, "X-Raw: \xff\x80\xc1\x01"}));
}

TEST(HeaderSplitting, CutsEveryLineOfALongHeader) {
    std::string header;
    for (int i = 0; i < 100000; ++i) {
        header += (i % 2 == 0 ? "Received: from hop" : "X-Trace: ") + std::to_string(i) + "\r\n";
    }
    const Groups groups = filter(makeSettings({"Received", "X-"}, {}), header);
    ASSERT_EQ(groups[0].size(), 50000u);
    ASSERT_EQ(groups[1].size(), 50000u);
    EXPECT_EQ(groups[0].front(), "Received: from hop0");
    EXPECT_EQ(groups[0].back(), "Received: from hop99998");
    EXPECT_EQ(groups[1].back(), "X-Trace: 99999");
}

// Both scans cut alike, wherever the text starts in memory, wherever its
// breaks and words stand in a block, and across batches.
TEST(HeaderSplitting, BothScansCutAlike) {
    struct Cut {
        std::vector<std::string> lines;
        std::vector<bool> wordStarts;
        std::string after;
        bool operator==(const Cut& other) const {
            return lines == other.lines && wordStarts == other.wordStarts && after == other.after;
        }
    };
    const auto cut = [](const std::string& text, std::size_t offset, LineScan scan) {
        std::vector<char> buffer(offset + text.size() + 32, '\n');
        std::copy(text.begin(), text.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
        buffer[offset + text.size()] = '\0';
        LineCutter cutter(buffer.data() + offset, scan, true);
        CutLine batch[LineCutter::kBatch];
        Cut result;
        while (const std::size_t count = cutter.next(batch)) {
            for (std::size_t i = 0; i < count; ++i) {
                result.lines.emplace_back(batch[i].text, batch[i].length);
                result.wordStarts.push_back(batch[i].holdsWordStart);
            }
        }
        result.after.assign(buffer.data() + offset, text.size());
        return result;
    };
    std::vector<std::string> texts = {"", "\r\n\r", "A", "\n\r\nA=?b\r\n\tc=\r=?\n=", std::string(150, 'x')};
    for (std::size_t at = 0; at < 34; ++at) {
        for (const char* mark : {"\r\n", "\n", "\r\r\n\t", "=?", "=", "?"}) {
            texts.push_back(std::string(40, 'a').insert(at, mark));
        }
    }
    std::string many;
    for (int i = 0; i < 200; ++i) many += "Line" + std::to_string(i) + (i % 3 ? "=?\r\n" : "\n");
    texts.push_back(many);
    for (const std::string& text : texts) {
        for (std::size_t offset = 0; offset < 16; ++offset) {
            EXPECT_TRUE(cut(text, offset, LineScan::kBytes) == cut(text, offset, LineScan::kBlocks))
                << text.substr(0, 60) << " at offset " << offset;
        }
    }
}

// Selection and grouping.

// The filter finds the first matching pattern through an index of the list;
// it must find what trying each pattern in turn finds.
TEST(HeaderFilter, FindsThePatternThatTryingEachInTurnFinds) {
    const std::vector<std::string> patterns = {"X-Spam-", "X-", "X-Spam-Score", "Re", "Received", "R", "x-",
                                               "X-Mailer", "",  "Subject"};
    const std::vector<std::string> lines = {"X-Spam-Score: 1", "X-Mail: a", "Received: b", "Reply-To: c",
                                            "x-low: d",        "Subject: e", "X",           "Q: f"};
    for (const int ignoreCase : {0, 1}) {
        // Each length of the list, so that the empty pattern stands in it or not.
        for (std::size_t size = 1; size <= patterns.size(); ++size) {
            std::vector<std::string> list(patterns.begin(), patterns.begin() + static_cast<std::ptrdiff_t>(size));
            if (ignoreCase != 0) {
                for (std::string& pattern : list) lowerAsciiInPlace(&pattern[0]);
            }
            const Groups groups = filter(makeSettings(list, {}, 1, ignoreCase), [&] {
                std::string header;
                for (const std::string& line : lines) header += line + "\r\n";
                return header;
            }());
            for (const std::string& line : lines) {
                std::string probe = line;
                if (ignoreCase != 0) lowerAsciiInPlace(&probe[0]);
                std::size_t first = 0;
                while (first < list.size() && !startsWithPattern(probe.c_str(), list[first].c_str())) ++first;
                const bool kept = first < list.size();
                const auto& group = groups[kept ? first : 0];
                EXPECT_EQ(std::count(group.begin(), group.end(), line), kept ? 1 : 0)
                    << line << " with " << size << " patterns, ignoreCase " << ignoreCase;
            }
        }
    }
}

TEST(HeaderFilter, DefaultSettingsKeepCommentsAndXHeadersButNotXUidl) {
    const Groups groups =
        filter(defaultSettings(), "X-UIDL: 123\r\nX-Mailer: a\r\nComments: b\r\nSubject: c\r\n");
    EXPECT_EQ(groups[0], (Lines{"Comments: b"}));
    EXPECT_EQ(groups[1], (Lines{"X-Mailer: a"}));
    EXPECT_EQ(allLines(groups).size(), 2u);
}

TEST(HeaderFilter, KeepsEveryOccurrenceOfARepeatedHeaderInOrder) {
    const Groups groups = filter(makeSettings({"Received"}, {}),
                                       "Received: c\r\nSubject: s\r\nReceived: b\r\nReceived: a\r\n");
    EXPECT_EQ(groups[0], (Lines{"Received: c", "Received: b", "Received: a"}));
}

TEST(HeaderFilter, FirstMatchingShowPatternDecidesTheGroup) {
    const Groups groups = filter(makeSettings({"X-", "X-Mailer"}, {}), "X-Mailer: m\r\n");
    EXPECT_EQ(groups[0], (Lines{"X-Mailer: m"}));
    EXPECT_TRUE(groups[1].empty());
}

TEST(HeaderFilter, PatternsSharingTheirStartStillMatchInListOrder) {
    const Settings settings = makeSettings({"abcd", "abce", "ab", "abx", "a"}, {});
    const struct {
        const char* line;
        std::size_t group;
    } cases[] = {{"abcd", 0}, {"abce", 1}, {"abcf", 2}, {"abx", 2}, {"ac", 4}, {"abc", 2}};
    for (const auto& c : cases) {
        const Groups groups = filter(settings, c.line);
        EXPECT_EQ(groups[c.group], (Lines{c.line})) << c.line;
    }
}

TEST(HeaderFilter, HidePatternsOnlyRemoveSelectedLines) {
    const Settings settings = makeSettings({"X-"}, {"Subject", "X-Spam"});
    EXPECT_EQ(allLines(filter(settings, "Subject: s\r\nX-Spam-Flag: YES\r\nX-Ok: 1\r\n")),
              (Lines{"X-Ok: 1"}));
}

TEST(HeaderFilter, MatchesTheWholeLineWithoutNeedingAColon) {
    const Settings settings = makeSettings({"Comments", "X-Mailer: Foo"}, {});
    EXPECT_EQ(allLines(filter(settings, "CommentsFoo: 1\r\nX-Mailer: Bar\r\nX-Mailer: Foo 2\r\n")),
              (Lines{"CommentsFoo: 1", "X-Mailer: Foo 2"}));
}

TEST(HeaderFilter, WithoutSortAllLinesGoToGroupZeroInHeaderOrder) {
    const Groups groups = filter(makeSettings({"A", "B"}, {}, /*sort=*/0), "B1\r\nA1\r\nB2\r\n");
    EXPECT_EQ(groups[0], (Lines{"B1", "A1", "B2"}));
}

TEST(HeaderFilter, TheNinetyNinthPatternFillsGroupNinetyEight) {
    std::vector<std::string> show;
    for (int i = 1; i <= 99; ++i) show.push_back("H" + std::to_string(i) + ":");
    const Groups groups = filter(makeSettings(show, {}), "H99: last\r\nH1: first\r\n");
    EXPECT_EQ(groups[98], (Lines{"H99: last"}));
    EXPECT_EQ(groups[0], (Lines{"H1: first"}));
}

TEST(HeaderFilter, PatternsBeyondTheLastGroupLandInTheLastGroup) {
    std::vector<std::string> show;
    for (int i = 0; i < 150; ++i) show.push_back("P" + std::to_string(i) + ":");
    const Groups groups =
        filter(makeSettings(show, {}), "P140: b\r\nP99: a\r\nP100: c\r\nP98: d\r\n");
    EXPECT_EQ(groups[99], (Lines{"P140: b", "P99: a", "P100: c"}));
    EXPECT_EQ(groups[98], (Lines{"P98: d"}));
}

TEST(HeaderFilter, FoldedLinesAreJudgedOnTheirOwnBeginning) {
    const Groups groups = filter(
        makeSettings({"X-", " "}, {}),
        "X-Folded: first\r\n second\r\n\tthird\r\nSubject: a\r\n more\r\n");
    EXPECT_EQ(groups[0], (Lines{"X-Folded: first"}));
    EXPECT_EQ(groups[1], (Lines{" second", " more"}));
}

// Case-blind matching: patterns come lowered; lines are compared lowered but
// kept as they stand.

TEST(HeaderFilterIgnoreCase, MatchesLoweredPatternsAndKeepsTheLineAsItIs) {
    const Settings blind = makeSettings({"x-"}, {}, 1, /*ignoreCase=*/1);
    EXPECT_EQ(allLines(filter(blind, "X-Priority: 3\r\n")), (Lines{"X-Priority: 3"}));
    const Settings exact = makeSettings({"x-"}, {}, 1, /*ignoreCase=*/0);
    EXPECT_TRUE(allLines(filter(exact, "X-Priority: 3\r\n")).empty());
}

TEST(HeaderFilterIgnoreCase, HidePatternsMatchCaseBlindToo) {
    const Settings blind = makeSettings({"x-"}, {"x-uidl"}, 1, 1);
    EXPECT_EQ(allLines(filter(blind, "X-UIDL: 1\r\nx-Uidl: 2\r\nX-Other: 3\r\n")),
              (Lines{"X-Other: 3"}));
}

TEST(HeaderFilterIgnoreCase, LowersOnlyAToZByteByByte) {
    // A pattern lowered by the same rule: the trail byte 0x41 of "ア" became 0x61.
    const Settings blind = makeSettings({"\x83\x61", "\xc1"}, {}, 1, 1);
    const Groups groups = filter(blind, "ア: kana\r\n\xe1: high\r\n\xc1: high\r\n");
    EXPECT_EQ(groups[0], (Lines{"ア: kana"}));
    // 0xC1 is not an ASCII letter: it neither lowers nor matches 0xE1.
    EXPECT_EQ(groups[1], (Lines{"\xc1: high"}));
}

TEST(HeaderFilterIgnoreCase, ATrailByteBackslashIsAnOrdinaryByte) {
    const Settings blind = makeSettings({"表題"}, {}, 1, 1);
    EXPECT_EQ(allLines(filter(blind, "表題: a\r\n\x95\x5d: b\r\n")), (Lines{"表題: a"}));
}

}  // namespace
