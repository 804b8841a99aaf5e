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
    showHeaderView(host, defaultSettings(), kMail);
    ASSERT_EQ(host.textCalls.size(), 1u);
    EXPECT_EQ(host.textCalls[0].mode, kViewTextMode);
    EXPECT_EQ(host.textCalls[0].text, "Comments: b\nX-Mailer: a\n-- \n");
    EXPECT_EQ(host.headerRequests, std::vector<MailId>{kMail});
}

TEST(HeaderView, AnEmptySeparatorLeavesAnEmptyLastLine) {
    FakeHost host;
    host.headers[kMail] = "Comments: b\r\n";
    showHeaderView(host, makeSettings({"Comments"}, {}, 1, 0, ""), kMail);
    ASSERT_EQ(host.textCalls.size(), 1u);
    EXPECT_EQ(host.textCalls[0].text, "Comments: b\n\n");
}

TEST(HeaderView, ASeparatorFillingItsWholeBufferIsNotReadPastTheEnd) {
    Settings settings = makeSettings({"A"}, {});
    std::memset(settings.separator, '=', sizeof settings.separator);
    FakeHost host;
    host.headers[kMail] = "A: 1";
    showHeaderView(host, settings, kMail);
    ASSERT_EQ(host.textCalls.size(), 1u);
    EXPECT_EQ(host.textCalls[0].text, "A: 1\n" + std::string(kSeparatorSize, '=') + "\n");
}

TEST(HeaderView, TheHostIsNotCalledWhenThereIsNothingToShow) {
    FakeHost host;
    host.headers[1] = "Subject: nothing to see\r\nX-UIDL: 9\r\n";
    host.headers[2] = "";
    showHeaderView(host, defaultSettings(), 1);
    showHeaderView(host, defaultSettings(), 2);
    showHeaderView(host, defaultSettings(), 3);  // the host has no header for it
    showHeaderView(host, Settings{}, 1);         // before the settings were loaded
    EXPECT_TRUE(host.textCalls.empty());
    EXPECT_EQ(host.headerRequests, (std::vector<MailId>{1, 2, 3, 1}));
}

TEST(HeaderView, EachMailShowsOnlyItsOwnLines) {
    FakeHost host;
    host.headers[1] = "Comments: first\r\nX-A: 1\r\n";
    host.headers[2] = "X-B: 2\r\n";
    showHeaderView(host, defaultSettings(), 1);
    showHeaderView(host, defaultSettings(), 2);
    ASSERT_EQ(host.textCalls.size(), 2u);
    EXPECT_EQ(host.textCalls[0].text, "Comments: first\nX-A: 1\n-- \n");
    EXPECT_EQ(host.textCalls[1].text, "X-B: 2\n-- \n");
}

TEST(HeaderView, SplitsTheHostsBufferInPlace) {
    FakeHost host;
    host.headers[kMail] = "Comments: a\r\n\r\nX-B: b";
    showHeaderView(host, defaultSettings(), kMail);
    EXPECT_EQ(host.bufferAfterCall(kMail), std::string("Comments: a\0\n\r\nX-B: b", 21));
}

TEST(HeaderView, AFailingHostDoesNotEscapeTheCall) {
    FakeHost host;
    host.throwOnGetHeader = true;
    EXPECT_NO_THROW(showHeaderView(host, defaultSettings(), kMail));
    EXPECT_TRUE(host.textCalls.empty());
}

}  // namespace
