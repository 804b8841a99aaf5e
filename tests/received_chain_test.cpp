// Hop delays: the date-times they are read from, and the delays that whole
// chains of Received fields show.
#include "fields/received_chain.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "core_settings.h"
#include "fake_host.h"
#include "fields/mail_time.h"

namespace {

constexpr std::int64_t kDec7 = 1796601600;  // 2026-12-07 00:00:00 UTC
constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;
const std::optional<std::int64_t> kNoTime;

Settings decoding(Settings settings) {
    settings.decode = 1;
    return settings;
}

TEST(MailTime, ReadsEveryFormOrNone) {
    const struct {
        std::string text;
        std::optional<std::int64_t> utc;
    } cases[] = {
        {"Mon, 7 Dec 2026 09:12:44 +0900", kDec7 + 12 * kMinute + 44},
        {"7 Dec 2026 00:12:44 +0000", kDec7 + 12 * kMinute + 44},
        {"Mon 07 Dec 2026 00:12:44 GMT", kDec7 + 12 * kMinute + 44},
        {"mOn,07 dEC 2026 00:12:44 ut (and so on)", kDec7 + 12 * kMinute + 44},
        {" (a (nested) \\) comment)Mon (x), 7 (y) Dec\r\n 2026 (z) 0 (:) : 12 Z", kDec7 + 12 * kMinute},
        {std::string("Mon, 7 Dec\0\r\n 2026 00:00 +0000", 30), kDec7},  // folded where the line cut left a NUL
        {"7 Dec 26 9:12 +0900", kDec7 + 12 * kMinute},
        {"7 Dec 126 00:12 +0000", kDec7 + 12 * kMinute},
        {"1 Jan 50 00:00 +0000", -631152000},
        {"1 Jan 49 00:00 +0000", 2493072000},
        {"29 Feb 2024 00:00 +0000", 1709164800},
        {"29 Feb 2000 00:00 +0000", 951782400},
        {"7 Dec 2026 00:00:60 +0000", kDec7 + kMinute},
        {"7 Dec 2026 00:00 -0130", kDec7 + 90 * kMinute},
        {"7 Dec 2026 00:00 +9999", kDec7 - 99 * kHour - 99 * kMinute},
        {"7 Dec 2026 00:00 EST", kDec7 + 5 * kHour},
        {"7 Dec 2026 00:00 edt", kDec7 + 4 * kHour},
        {"7 Dec 2026 00:00 CST", kDec7 + 6 * kHour},
        {"7 Dec 2026 00:00 CDT", kDec7 + 5 * kHour},
        {"7 Dec 2026 00:00 MST", kDec7 + 7 * kHour},
        {"7 Dec 2026 00:00 MDT", kDec7 + 6 * kHour},
        {"7 Dec 2026 00:00 PST", kDec7 + 8 * kHour},
        {"7 Dec 2026 00:00 PDT", kDec7 + 7 * kHour},
        {"7 Dec 2026 00:00 JST", kDec7},
        {std::string(10000, '(') + std::string(10000, ')') + "7 Dec 2026 00:00 +0000", kDec7},
        {"", kNoTime},
        {"7 Dec 2026 00:00", kNoTime},
        {"7 Dec 2026 00:00 +090", kNoTime},
        {"7 Dec 2026 00:00 +09000", kNoTime},
        {"7 Dec 2026 00:00 + 0900", kNoTime},
        {"Xyz, 7 Dec 2026 00:00 +0000", kNoTime},
        {"Dec 7 2026 00:00 +0000", kNoTime},
        {"7 December 2026 00:00 +0000", kNoTime},
        {"107 Dec 2026 00:00 +0000", kNoTime},
        {"7 Dec 2 00:00 +0000", kNoTime},
        {"7 Dec 12026 00:00 +0000", kNoTime},
        {"7 Dec 2026 000:00 +0000", kNoTime},
        {"7 Dec 2026 00:0 +0000", kNoTime},
        {"7 Dec 2026 00 +0000", kNoTime},
        {"0 Dec 2026 00:00 +0000", kNoTime},
        {"32 Dec 2026 00:00 +0000", kNoTime},
        {"31 Apr 2026 00:00 +0000", kNoTime},
        {"29 Feb 2026 00:00 +0000", kNoTime},
        {"29 Feb 1900 00:00 +0000", kNoTime},
        {"7 Dec 2026 24:00 +0000", kNoTime},
        {"7 Dec 2026 00:60 +0000", kNoTime},
        {"7 Dec 2026 00:00:61 +0000", kNoTime},
        {"(unclosed 7 Dec 2026 00:00 +0000", kNoTime},
        {std::string(100000, '7') + " Dec 2026 00:00 +0000", kNoTime},
    };
    for (const auto& c : cases) {
        std::int64_t utc = 0;
        const bool known = readMailTime(c.text, utc);
        EXPECT_EQ(known ? std::optional<std::int64_t>(utc) : kNoTime, c.utc) << c.text.substr(0, 60);
    }
}

TEST(HopDelay, IsWrittenInItsLargestTwoUnits) {
    const struct {
        std::int64_t seconds;
        const char* text;
    } cases[] = {{0, "+0s"},         {59, "+59s"},         {60, "+1m00s"},       {65, "+1m05s"},
                 {3599, "+59m59s"},  {3600, "+1h00m"},     {11059, "+3h04m"},    {86399, "+23h59m"},
                 {86400, "+1d00h"},  {190799, "+2d04h"},   {-1, "-1s"},          {-3661, "-1h01m"},
                 {INT64_MIN, "-106751991167300d15h"}};
    for (const auto& c : cases) {
        char note[kDelayNoteSize];
        EXPECT_EQ(std::string(note, writeDelayNote(true, c.seconds, note)), std::string("  [") + c.text + "]")
            << c.seconds;
    }
}

// Chains of Received fields, newest on top, through the whole view.
TEST(HopDelay, EachShownReceivedFieldTellsItsHop) {
    const std::string chain =
        "Received: from a; Mon, 7 Dec 2026 09:12:47 +0900\r\n"
        "Received: from b\r\n\tby a; Mon, 7 Dec 2026 00:12:44 +0000\r\n"
        "X-Hidden: 1\r\n"
        "Received: by c; 6 Dec 2026 19:02:11 -0500 (EST)\r\n"
        "Date: Sun, 6 Dec 2026 19:02:09 -0500\r\n";
    const ViewCase cases[] = {
        {"across zones, unfolded", makeSettings({"Received"}, {}), chain, 2,
         "Received: from a; Mon, 7 Dec 2026 09:12:47 +0900  [+3s]\n"
         "Received: from b\tby a; Mon, 7 Dec 2026 00:12:44 +0000  [+10m33s]\n"
         "Received: by c; 6 Dec 2026 19:02:11 -0500 (EST)  [+2s]\n"},
        {"folded: on the last line", makeSettings({"Received: from b"}, {}), chain, 1,
         "Received: from b\n\tby a; Mon, 7 Dec 2026 00:12:44 +0000  [+10m33s]\n"},
        {"lines on their own: on the field's line", makeSettings({"Received: from b", "\t"}, {}), chain, 0,
         "Received: from b  [+10m33s]\n\tby a; Mon, 7 Dec 2026 00:12:44 +0000\n"},
        {"hidden fields still count", makeSettings({"Received"}, {"Received: from b"}), chain, 2,
         "Received: from a; Mon, 7 Dec 2026 09:12:47 +0900  [+3s]\n"
         "Received: by c; 6 Dec 2026 19:02:11 -0500 (EST)  [+2s]\n"},
        {"names case-blind; dates that do not read", makeSettings({"received"}, {}, 1, /*ignoreCase=*/1),
         "Received: x; 7 Dec 2026 00:00:05 +0000\r\nreceived : y; 7 Dec 2026 00:00 +0000\r\n"
         "RECEIVED:z; 7 Dec 2026 25:00 +0000\r\nReceived: w, no semicolon, 7 Dec 2026 00:00 +0000\r\n",
         0,
         "Received: x; 7 Dec 2026 00:00:05 +0000  [+5s]\nreceived : y; 7 Dec 2026 00:00 +0000  [?]\n"
         "RECEIVED:z; 7 Dec 2026 25:00 +0000  [?]\nReceived: w, no semicolon, 7 Dec 2026 00:00 +0000  [?]\n"},
        {"a negative delay, and no Date field", makeSettings({"Received"}, {}),
         "Received: x; 7 Dec 2026 00:00 +0000\r\nReceived: y; 7 Dec 2026 00:01:05 +0000\r\n", 0,
         "Received: x; 7 Dec 2026 00:00 +0000  [-1m05s]\nReceived: y; 7 Dec 2026 00:01:05 +0000  [?]\n"},
        {"the first Date field counts, folded", makeSettings({"Received"}, {}),
         "Received: x; 7 Dec 2026 00:00:05 +0000\r\nDate: 7 Dec\r\n 2026 00:00 +0000\r\n"
         "Date: 7 Dec 2026 00:00:04 +0000\r\n",
         0, "Received: x; 7 Dec 2026 00:00:05 +0000  [+5s]\n"},
        {"the date after ';' goes on below", makeSettings({"Received"}, {}),
         "Received: x;\r\n\tMon, 7 Dec\r\n 2026 00:00:03 +0000\r\nDate: 7 Dec 2026 00:00 +0000\r\n", 0,
         "Received: x;  [+3s]\n"},
        {"decoded, then the delay", decoding(makeSettings({"Received"}, {})),
         "Received: from =?utf-8?B?44OG?=\r\n ; 7 Dec 2026 00:00:01 +0000\r\nDate: 7 Dec 2026 00:00 +0000\r\n", 2,
         "Received: from テ ; 7 Dec 2026 00:00:01 +0000  [+1s]\n"},
    };
    for (auto c : cases) {
        c.settings.wholeFields = c.wholeFields;
        c.settings.hops = 1;
        EXPECT_EQ(viewOf(c.settings, c.header), c.view + "-- \n") << c.name;
    }
}

}  // namespace
