// Both trust lines with the history of the user's senders: which notes they
// add after the From domain, which passes are recorded, and that a
// look-alike turns a pass into a warning in both, the same way.
#include "fields/trust_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_settings.h"
#include "dkim/dkim_check.h"
#include "dkim_keys.h"
#include "fake_host.h"

namespace {

Day on(const char* date) {
    Day day = 0;
    EXPECT_TRUE(readDate(date, day)) << date;
    return day;
}

// A history begun on since, holding these lines ("DOMAIN FIRST LAST DAYS").
SenderHistory historyOf(const char* since, const std::vector<std::string>& lines) {
    std::string file = std::string("# Quillmark senders 1 since ") + since + "\n";
    for (const std::string& line : lines) file += line + "\n";
    SenderHistory history(0);
    EXPECT_TRUE(history.read(file));
    return history;
}

const std::vector<std::string> kKnown = {"shop.example 2024-01-01 2024-02-20 30", "paypal.com 2024-01-02 2024-02-01 3",
                                         "fresh.example 2024-02-28 2024-02-28 1", "amazon.co.jp 2024-01-02 2024-02-01 9"};

// The views of the mails, in turn, with the digest and the history on.
std::vector<std::string> digestLinesOf(SenderHistory& history, Day today, const std::vector<std::string>& headers) {
    Settings settings = makeSettings({}, {});
    settings.auth = 1;
    settings.authServers = {"mx.example.net"};
    std::vector<std::string> lines;
    for (const std::string& header : headers) {
        FakeHost host;
        host.headers[1] = header;
        SenderCheck check(history, today);
        showHeaderView(host, settings, 1, testConverter(), nullptr, &check);
        lines.push_back(host.textCalls.empty() ? "" : host.textCalls[0].text.substr(0, host.textCalls[0].text.find('\n')));
    }
    return lines;
}

std::string passFrom(const std::string& from, const std::string& domain) {
    return "Authentication-Results: mx.example.net; dmarc=pass header.from=" + domain + "\r\nFrom: " + from + "\r\n";
}

TEST(TrustLines, TellOfTheUsersOwnSendersAndRecordWhatPasses) {
    const struct {
        const char* name;
        std::string header;
        std::string line;
        const char* recorded;  // the organizational domain recorded today, if any
    } cases[] = {
        {"a known sender", passFrom("a@news.shop.example", "news.shop.example"),
         "[Auth] PASS news.shop.example | DMARC pass | by mx.example.net", "shop.example"},
        {"a sender never seen", passFrom("a@other.example", "other.example"),
         "[Auth] PASS other.example (new sender) | DMARC pass | by mx.example.net", "other.example"},
        {"a sender first seen this week", passFrom("a@fresh.example", "fresh.example"),
         "[Auth] PASS fresh.example (new sender) | DMARC pass | by mx.example.net", "fresh.example"},
        {"a look-alike: recorded, and a warning", passFrom("a@shop.top", "shop.top"),
         "[Auth] WARN shop.top (looks like shop.example) | DMARC pass | by mx.example.net", "shop.top"},
        {"a look-alike by its skeleton", passFrom("a@paypa1.com", "paypa1.com"),
         "[Auth] WARN paypa1.com (looks like paypal.com) | DMARC pass | by mx.example.net", "paypa1.com"},
        // A known name as words anywhere in the domain; its organizational
        // domain is the one recorded.
        {"a known name below the organizational domain", passFrom("a@amazon.co.jp.evil.top", "amazon.co.jp.evil.top"),
         "[Auth] WARN amazon.co.jp.evil.top (looks like amazon.co.jp) | DMARC pass | by mx.example.net", "evil.top"},
        {"a known name in words below it",
         passFrom("a@amazon-co-jp.security-center.top", "amazon-co-jp.security-center.top"),
         "[Auth] WARN amazon-co-jp.security-center.top (looks like amazon.co.jp) | DMARC pass | by mx.example.net",
         "security-center.top"},
        {"a subdomain of a known domain", passFrom("a@mail.amazon.co.jp", "mail.amazon.co.jp"),
         "[Auth] PASS mail.amazon.co.jp | DMARC pass | by mx.example.net", "amazon.co.jp"},
        {"a warning is not recorded",
         "Authentication-Results: mx.example.net; dmarc=none header.from=other.example\r\nFrom: a@other.example\r\n",
         "[Auth] WARN other.example (new sender) | DMARC none | by mx.example.net", nullptr},
        {"a claim first, then the note; not recorded",
         passFrom("\"paypal.com\" <a@other.example>", "other.example"),
         "[Auth] WARN other.example (name says paypal.com) (new sender) | DMARC pass | by mx.example.net", nullptr},
        {"two From fields fail, unrecorded",
         passFrom("a@other.example", "other.example") + "From: b@other.example\r\n",
         "[Auth] FAIL other.example (more than one From) (new sender) | DMARC pass | by mx.example.net", nullptr},
        {"no From: no note", "Authentication-Results: mx.example.net; dmarc=pass header.from=a.example\r\n",
         "[Auth] WARN (no From) | DMARC pass for a.example | by mx.example.net", nullptr},
    };
    const Day today = on("2024-03-01");
    for (const auto& c : cases) {
        SenderHistory history = historyOf("2024-01-01", kKnown);
        EXPECT_EQ(digestLinesOf(history, today, {c.header})[0], c.line) << c.name;
        const std::string recorded = c.recorded != nullptr ? c.recorded : "";
        for (const char* domain : {"shop.example", "other.example", "fresh.example", "shop.top", "paypa1.com", "evil.top",
                                   "security-center.top", "amazon.co.jp"}) {
            const SenderRecord* record = history.find(domain);
            EXPECT_EQ(record != nullptr && record->last == today, domain == recorded) << c.name << ": " << domain;
        }
    }
    // While the history learns, no sender is new; a look-alike shows at once.
    SenderHistory young = historyOf("2024-02-20", kKnown);
    EXPECT_EQ(digestLinesOf(young, today, {passFrom("a@other.example", "other.example"), passFrom("a@shop.top", "shop.top")}),
              (std::vector<std::string>{"[Auth] PASS other.example | DMARC pass | by mx.example.net",
                                        "[Auth] WARN shop.top (looks like shop.example) | DMARC pass | by mx.example.net"}));
}

// Both lines of one view say the same of the sender, though the first one
// records it: on its third date a domain becomes known, and so no longer
// looks like another known one, but only from the next mail on.
TEST(TrustLines, BothLinesOfAViewSayTheSame) {
    PlatformCrypto crypto;
    TestKeys keys;
    SenderHistory history =
        historyOf("2024-01-01", {"example.net 2024-01-01 2024-02-01 5", "example.com 2024-02-27 2024-02-28 2"});
    Settings settings = makeSettings({}, {});
    settings.auth = 1;
    settings.dkim = 1;
    settings.authServers = {"mx.example.net"};
    const std::string mail = signedMail("relaxed");
    const std::size_t from = mail.find("From:");
    const auto view = [&] {
        FakeHost host;
        host.headers[1] = "Authentication-Results: mx.example.net; dkim=pass header.d=example.com\r\n" +
                          mail.substr(from, mail.find("\r\n\r\n") + 2 - from);
        host.sources[1] = mail;
        SenderCheck check(history, on("2024-03-01"));
        DkimServices services{keys, crypto, testConverter(), 1796668536, &check};
        showHeaderView(host, settings, 1, testConverter(), &services, &check);
        return host.textCalls.empty() ? std::string() : host.textCalls[0].text;
    };
    EXPECT_EQ(view(),
              "[Auth] WARN example.com (looks like example.net) | DKIM pass example.com | by mx.example.net\n"
              "[DKIM] WARN example.com (looks like example.net) | pass example.com\n-- \n");
    EXPECT_EQ(history.find("example.com")->days, 3u);
    EXPECT_EQ(view(),
              "[Auth] PASS example.com (new sender) | DKIM pass example.com | by mx.example.net\n"
              "[DKIM] PASS example.com (new sender) | pass example.com\n-- \n");
}

}  // namespace
