#include "headerview/header_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core_settings.h"
#include "fake_host.h"

namespace {

constexpr MailId kMail = 0x1234abcd;

TEST(HeaderView, JoinsGroupsInOrderWithLfAndEndsWithTheSeparator) {
    FakeHost host;
    host.headers[kMail] = "X-Mailer: a\r\nComments: b\r\nX-UIDL: 1\r\n";
    showHeaderView(host, defaultSettings(), kMail, testConverter());
    ASSERT_EQ(host.textCalls.size(), 1u);
    EXPECT_EQ(host.textCalls[0].mode, kViewTextMode);
    EXPECT_EQ(host.textCalls[0].text, "Comments: b\nX-Mailer: a\n-- \n");
    EXPECT_EQ(host.headerRequests, std::vector<MailId>{kMail});
}

TEST(HeaderView, AnEmptySeparatorLeavesAnEmptyLastLine) {
    FakeHost host;
    host.headers[kMail] = "Comments: b\r\n";
    showHeaderView(host, makeSettings({"Comments"}, {}, 1, 0, ""), kMail, testConverter());
    ASSERT_EQ(host.textCalls.size(), 1u);
    EXPECT_EQ(host.textCalls[0].text, "Comments: b\n\n");
}

TEST(HeaderView, ASeparatorFillingItsWholeBufferIsNotReadPastTheEnd) {
    Settings settings = makeSettings({"A"}, {});
    std::memset(settings.separator, '=', sizeof settings.separator);
    FakeHost host;
    host.headers[kMail] = "A: 1";
    showHeaderView(host, settings, kMail, testConverter());
    ASSERT_EQ(host.textCalls.size(), 1u);
    EXPECT_EQ(host.textCalls[0].text, "A: 1\n" + std::string(kSeparatorSize, '=') + "\n");
}

TEST(HeaderView, TheHostIsNotCalledWhenThereIsNothingToShow) {
    FakeHost host;
    host.headers[1] = "Subject: nothing to see\r\nX-UIDL: 9\r\n";
    host.headers[2] = "";
    showHeaderView(host, defaultSettings(), 1, testConverter());
    showHeaderView(host, defaultSettings(), 2, testConverter());
    showHeaderView(host, defaultSettings(), 3, testConverter());  // the host has no header for it
    showHeaderView(host, Settings{}, 1, testConverter());         // before the settings were loaded
    EXPECT_TRUE(host.textCalls.empty());
    EXPECT_EQ(host.headerRequests, (std::vector<MailId>{1, 2, 3, 1}));
}

TEST(HeaderView, EachMailShowsOnlyItsOwnLines) {
    FakeHost host;
    host.headers[1] = "Comments: first\r\nX-A: 1\r\n";
    host.headers[2] = "X-B: 2\r\n";
    showHeaderView(host, defaultSettings(), 1, testConverter());
    showHeaderView(host, defaultSettings(), 2, testConverter());
    ASSERT_EQ(host.textCalls.size(), 2u);
    EXPECT_EQ(host.textCalls[0].text, "Comments: first\nX-A: 1\n-- \n");
    EXPECT_EQ(host.textCalls[1].text, "X-B: 2\n-- \n");
}

TEST(HeaderView, SplitsTheHostsBufferInPlace) {
    FakeHost host;
    host.headers[kMail] = "Comments: a\r\n\r\nX-B: b";
    showHeaderView(host, defaultSettings(), kMail, testConverter());
    EXPECT_EQ(host.bufferAfterCall(kMail), std::string("Comments: a\0\n\r\nX-B: b", 21));
}

TEST(HeaderView, AFailingHostDoesNotEscapeTheCall) {
    FakeHost host;
    host.throwOnGetHeader = true;
    EXPECT_NO_THROW(showHeaderView(host, defaultSettings(), kMail, testConverter()));
    EXPECT_TRUE(host.textCalls.empty());
}

}  // namespace

// Whole fields: continuation lines follow their field, folded (1) or
// unfolded (2).
TEST(HeaderViewWholeFields, ContinuationLinesFollowTheirFieldsDecision) {
    const std::string chain = "Received: from a\r\n\tby b\r\nX-A: 1\r\nReceived: from c\r\n by d\r\n";
    const ViewCase cases[] = {
        {"sort on, folded", makeSettings({"X-", "Received"}, {}), chain, 1,
         "X-A: 1\nReceived: from a\n\tby b\nReceived: from c\n by d\n"},
        {"sort on, unfolded", makeSettings({"X-", "Received"}, {}), chain, 2,
         "X-A: 1\nReceived: from a\tby b\nReceived: from c by d\n"},
        {"sort off, unfolded", makeSettings({"X-", "Received"}, {}, 0), chain, 2,
         "Received: from a\tby b\nX-A: 1\nReceived: from c by d\n"},
        {"any other value is off", makeSettings({"Received"}, {}), chain, -7,
         "Received: from a\nReceived: from c\n"},
        {"a dropped field drops its continuation", makeSettings({"X-", "\t"}, {}),
         "Subject: s\r\n\tX-not shown\r\nX-A: 1\r\n", 2, "X-A: 1\n"},
        {"a hidden field hides its continuation", makeSettings({"X-"}, {"X-UIDL"}),
         "X-UIDL: 1\r\n 2\r\nX-B: 3\r\n", 1, "X-B: 3\n"},
        {"a continuation at the top is a line of its own", makeSettings({" ", "X-"}, {}),
         " top\r\n next\r\nX-A: 1\r\n more\r\n", 2, " top\n next\nX-A: 1 more\n"},
        {"CR-only breaks", makeSettings({"X-"}, {}), "X-A: 1\r\tb\rX-B: 2\r c", 2, "X-A: 1\tb\nX-B: 2 c\n"},
        {"off: lines on their own", makeSettings({"Received"}, {}), chain, 0,
         "Received: from a\nReceived: from c\n"},
    };
    for (auto c : cases) {
        c.settings.wholeFields = c.wholeFields;
        EXPECT_EQ(viewOf(c.settings, c.header), c.view + "-- \n") << c.name;
    }
}

// Decoding works on view lines and leaves matching to the header's bytes.
TEST(HeaderViewDecode, DecodesEachViewLineWhole) {
    const std::string header =
        "Subject: =?UTF-8?B?44M=?=\r\n =?UTF-8?B?hg==?=\r\nX-Q: =?utf-8?q?=E3=83=86?=\r\n";
    const struct {
        int wholeFields;
        std::string view;
    } cases[] = {
        {2, "Subject: テ\nX-Q: テ\n-- \n"},
        {1, "Subject: =?UTF-8?B?44M=?=\n =?UTF-8?B?hg==?=\nX-Q: テ\n-- \n"},
    };
    for (const auto& c : cases) {
        Settings settings = makeSettings({"Subject: =?", "X-Q: =?"}, {});
        settings.wholeFields = c.wholeFields;
        settings.decode = 1;
        EXPECT_EQ(viewOf(settings, header), c.view) << "WholeFields=" << c.wholeFields;
    }
}

// Each opt-in switch is on for its listed values only.
TEST(HeaderViewSwitches, ListedValuesAreOnAndAnyOtherOff) {
    const std::string header =
        "Received: by a; Mon, 7 Dec 2026 09:12:44 +0900\r\n\tx\r\nDate: Mon, 7 Dec 2026 09:12:40 +0900\r\n"
        "Subject: =?utf-8?q?b?=\r\n";
    const std::string received = "Received: by a; Mon, 7 Dec 2026 09:12:44 +0900";
    const std::string plain = received + "\nSubject: =?utf-8?q?b?=\n-- \n";
    const struct {
        std::int32_t Settings::*key;
        std::int32_t value;
        std::string view;
    } cases[] = {
        {&Settings::wholeFields, 1, received + "\n\tx\nSubject: =?utf-8?q?b?=\n-- \n"},
        {&Settings::wholeFields, 2, received + "\tx\nSubject: =?utf-8?q?b?=\n-- \n"},
        {&Settings::wholeFields, 3, plain},
        {&Settings::decode, 1, received + "\nSubject: b\n-- \n"},
        {&Settings::decode, 2, plain},
        {&Settings::hops, 1, received + "  [+4s]\nSubject: =?utf-8?q?b?=\n-- \n"},
        {&Settings::hops, 2, plain},
        {&Settings::hops, -1, plain},
        {&Settings::auth, 1, "[Auth] ? no Authentication-Results\n" + plain},
        {&Settings::auth, 2, plain},
    };
    for (const auto& c : cases) {
        Settings settings = makeSettings({"Received", "Subject"}, {});
        settings.*c.key = c.value;
        EXPECT_EQ(viewOf(settings, header), c.view) << "value " << c.value;
    }
}

// The per-mail lists may be handed their own elements while they grow.
TEST(InlineBuffer, TakesItsOwnElementsWhileGrowing) {
    InlineBuffer<int, 2> buffer;
    for (int i = 0; i < 4; ++i) buffer.push_back(i);  // on the heap now, and full
    buffer.push_back(buffer[0]);
    buffer.append(buffer.data(), buffer.size());
    EXPECT_EQ(std::vector<int>(buffer.data(), buffer.data() + buffer.size()),
              (std::vector<int>{0, 1, 2, 3, 0, 0, 1, 2, 3, 0}));
}
