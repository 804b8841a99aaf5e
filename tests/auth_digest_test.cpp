// The authentication digest: header in, the view's first line out.
#include "fields/auth_digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_settings.h"
#include "fake_host.h"

namespace {

// The view of header with the digest on, trusting servers, and no pattern.
std::string digestOf(const std::string& header, const std::vector<std::string>& servers) {
    Settings settings = makeSettings({}, {});
    settings.auth = 1;
    settings.authServers = servers;
    return viewOf(settings, header);
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

const std::vector<std::string> kExampleNet = {"mx.example.net"};
const std::string kPayPal = "From: PayPal <service@paypal.com>\r\n";

TEST(AuthDigest, TellsWhoSentTheMailFromTrustedServersOnly) {
    const struct {
        const char* name;
        std::vector<std::string> servers;
        std::string header;
        std::string line;
    } cases[] = {
        // The forms large providers write.
        {"all three pass", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.i=@paypal.com; spf=pass "
         "smtp.mailfrom=service@paypal.com; dmarc=pass (p=REJECT) header.from=paypal.com\r\n" + kPayPal,
         "[Auth] PASS paypal.com | DMARC pass | DKIM pass paypal.com | SPF pass paypal.com | by mx.example.net"},
        {"a list through another domain", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.i=@python.org; dkim=neutral "
         "header.i=@gmail.com; spf=pass smtp.mailfrom=\"list-bounces+x=y@python.org\"; dmarc=fail "
         "header.from=gmail.com\r\nFrom: bob@gmail.com\r\n",
         "[Auth] FAIL gmail.com | DMARC fail | DKIM pass python.org (not From), neutral gmail.com | SPF pass "
         "python.org (not From) | by mx.example.net"},
        {"several fields under one id, folded, with comments and a look-alike", {"mx.google.com"},
         "Authentication-Results: mx.google.com;\r\n       dkim=pass header.i=@shop.example header.s=s1;\r\n"
         "       spf=pass (google.com: domain of a@shop.example designates 192.0.2.1 as permitted sender)\r\n"
         " smtp.mailfrom=a@shop.example;\r\nARC-Authentication-Results: i=1; mx.google.com; dmarc=fail\r\n"
         "X-Authentication-Results: mx.google.com; dmarc=fail\r\nAuthentication-Results-Original: mx.google.com; "
         "dmarc=fail\r\nAuthentication-Results: mx.google.com;\r\n       dmarc=pass (p=NONE sp=NONE dis=NONE) "
         "header.from=shop.example\r\nFrom: Shop <news@SHOP.example.>\r\n",
         "[Auth] WARN shop.example (unusual From) | DMARC pass | DKIM pass shop.example | SPF pass shop.example | by "
         "mx.google.com"},
        {"one field per check, under different ids", {"*.mail.example.com"},
         "Authentication-Results: atlas-101.mail.example.com; dmarc=pass header.from=x.example\r\n"
         "Authentication-Results: MAIL.example.com; dkim=pass header.d=x.example\r\n"
         "Authentication-Results: badmail.example.com; spf=pass smtp.mailfrom=x.example\r\n"
         "From: a@x.example\r\n",
         "[Auth] PASS x.example | DMARC pass | DKIM pass x.example | by atlas-101.mail.example.com"},
        {"no server named, forms real servers write", {"-"},
         "Authentication-Results: spf=Pass smtp.mailfrom=a@b.example; arc=pass; dmarc=pass(p=NONE) "
         "header.from=B.example;\r\nFrom: <a@b.example>\r\n",
         "[Auth] PASS b.example | DMARC pass | SPF pass b.example | by -"},
        // Forgeries.
        {"a forged field above the trusted one", kExampleNet,
         "Authentication-Results: aaa.com; dkim=pass header.i=@example.com\r\n"
         "Authentication-Results: mx.example.net; dkim=pass header.i=@example.com\r\n",
         "[Auth] ? not trusted: aaa.com"},
        {"a forged field below the trusted one proves nothing", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=fail header.d=evil.example\r\n"
         "Authentication-Results: evil.example; dkim=pass header.d=evil.example\r\n"
         "Authentication-Results: mx.example.net; dmarc=pass header.from=evil.example\r\nFrom: a@evil.example\r\n",
         "[Auth] WARN evil.example | DKIM fail evil.example | by mx.example.net"},
        {"a pass in a comment and in a quoted local part", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=fail (dkim=pass; dmarc=pass) header.d=evil.example;\r\n"
         "\tspf=softfail smtp.mailfrom=\"dmarc=pass;\"@evil.example\r\nFrom: a@evil.example\r\n",
         "[Auth] WARN evil.example | DKIM fail evil.example | SPF softfail evil.example | by mx.example.net"},
        {"dmarc aligned with an attacker's domain", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=attacker.example; dmarc=pass "
         "header.from=attacker.example\r\n" + kPayPal,
         "[Auth] FAIL paypal.com | DMARC pass for attacker.example | DKIM pass attacker.example (not From) | by "
         "mx.example.net"},
        {"conflicting dmarc results", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=paypal.com; dmarc=none\r\n" + kPayPal,
         "[Auth] FAIL paypal.com | DMARC pass, none | by mx.example.net"},
        {"a display name holding another address", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=evil.example\r\n"
         "From: \"service@paypal.com <service@paypal.com>\" (service@paypal.com) <x@evil.example>\r\n",
         "[Auth] WARN evil.example (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"a look-alike domain", kExampleNet,
         u8"Authentication-Results: mx.example.net; dmarc=pass header.from=p\u0430ypal.com\r\n"
         u8"From: service@p\u0430ypal.com\r\n",
         "[Auth] PASS xn--pypal-4ve.com | DMARC pass | by mx.example.net"},
        {"two From fields", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=paypal.com\r\n" + kPayPal +
             "From: a@evil.example\r\n",
         "[Auth] FAIL paypal.com (more than one From) | DMARC pass | by mx.example.net"},
        {"two From fields, nothing checked", kExampleNet,
         "Authentication-Results: mx.example.net 1; none\r\n" + kPayPal + "From: a@evil.example\r\n",
         "[Auth] FAIL paypal.com (more than one From) | by mx.example.net"},
        {"a claim before a comma", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=b.example\r\n"
         "From: PayPal Service, paypal.com <a@b.example>\r\n",
         "[Auth] WARN b.example (unusual From) (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"a claim in a quoted part before a comma", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=b.example\r\n"
         "From: \"Support\" , \"paypal.com\" <a@b.example>\r\n",
         "[Auth] WARN b.example (unusual From) (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"a claim in brackets without an address", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=b.example\r\n"
         "From: Support <paypal.com>, <a@b.example>\r\n",
         "[Auth] WARN b.example (unusual From) (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"words under newer generic suffixes claim nothing", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=b.example\r\n"
         "From: \"Dr.med. Anna Schmidt, Matt.Dev\" <a@b.example>\r\n",
         "[Auth] PASS b.example | DMARC pass | by mx.example.net"},
        {"two addresses in one From", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=paypal.com\r\n"
         "From: \"Pay, Pal\" <service@paypal.com>, a@evil.example\r\n",
         "[Auth] FAIL paypal.com (more than one From) (name says evil.example) | DKIM pass paypal.com | by "
         "mx.example.net"},
        // Read as RFC 5322 reads it, but no pass unless a person reads it so.
        {"a blank before the dot", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=paypal.com\r\nFrom: service@paypal .com\r\n",
         "[Auth] WARN paypal.com (unusual From) | DMARC pass | by mx.example.net"},
        {"two bare addresses", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=evil.example\r\n"
         "From: service@paypal.com x@evil.example\r\n",
         "[Auth] FAIL paypal.com (more than one From) (name says evil.example) | DMARC pass for evil.example | by "
         "mx.example.net"},
        {"brackets, then a bare address", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=evil.example\r\n"
         "From: <x@evil.example> service@paypal.com\r\n",
         "[Auth] FAIL evil.example (more than one From) (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"a quoted name before a bare address", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=evil.example\r\n"
         "From: \"PayPal.com\" x@evil.example\r\n",
         "[Auth] WARN evil.example (unusual From) (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"a Cyrillic o in the name", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=evil.example\r\n"
         "From: \"PayPal.c\xD0\xBEm\" <x@evil.example>\r\n",
         "[Auth] WARN evil.example (name says paypal.com) | DMARC pass | by mx.example.net"},
        {"a brand's own domain in its name", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=amazon.co.jp\r\n"
         "From: \"Amazon.co.jp\" <x@amazon.co.jp>\r\n",
         "[Auth] PASS amazon.co.jp | DMARC pass | by mx.example.net"},
        // What the verdict rests on.
        {"dkim alone, aligned", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=example.com\r\nFrom: a@mail.example.com\r\n",
         "[Auth] PASS mail.example.com | DKIM pass example.com | by mx.example.net"},
        {"dkim alone, not aligned", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=badexample.com\r\nFrom: a@example.com\r\n",
         "[Auth] WARN example.com | DKIM pass badexample.com (not From) | by mx.example.net"},
        {"a leading dot is no domain name", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=.example.com\r\nFrom: a@example.com\r\n",
         "[Auth] WARN example.com | DKIM pass .example.com (not From) | by mx.example.net"},
        // Aligned: one organizational domain, by the Public Suffix List.
        {"under a shared suffix of the private section", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=attacker.eu.org\r\nFrom: a@eu.org\r\n",
         "[Auth] WARN eu.org | DKIM pass attacker.eu.org (not From) | by mx.example.net"},
        {"a public suffix signing for its names", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=com\r\nFrom: service@paypal.com\r\n",
         "[Auth] WARN paypal.com | DKIM pass com (not From) | by mx.example.net"},
        {"two names of one owner under a second-level suffix", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=mail.shop.co.jp\r\nFrom: a@news.shop.co.jp\r\n",
         "[Auth] PASS news.shop.co.jp | DKIM pass mail.shop.co.jp | by mx.example.net"},
        {"a From domain that is a public suffix of the private section", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=evil.github.io\r\nFrom: noreply@github.io\r\n",
         "[Auth] WARN github.io | DKIM pass evil.github.io (not From) | by mx.example.net"},
        {"a From domain that is a public suffix by a wildcard", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=evil.foo.ck\r\nFrom: a@foo.ck\r\n",
         "[Auth] WARN foo.ck | DKIM pass evil.foo.ck (not From) | by mx.example.net"},
        {"a From domain of one label, a public suffix by the default rule", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=evil.intranet\r\nFrom: a@intranet\r\n",
         "[Auth] WARN intranet | DKIM pass evil.intranet (not From) | by mx.example.net"},
        {"a public suffix signing for itself", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=github.io\r\nFrom: noreply@github.io\r\n",
         "[Auth] PASS github.io | DKIM pass github.io | by mx.example.net"},
        {"two owners under a wildcard rule", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=a.b.kawasaki.jp\r\nFrom: x@c.b.kawasaki.jp\r\n",
         "[Auth] WARN c.b.kawasaki.jp | DKIM pass a.b.kawasaki.jp (not From) | by mx.example.net"},
        {"an exception rule's name", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=city.kawasaki.jp\r\nFrom: x@www.city.kawasaki.jp\r\n",
         "[Auth] PASS www.city.kawasaki.jp | DKIM pass city.kawasaki.jp | by mx.example.net"},
        {"no From field", kExampleNet, "Authentication-Results: mx.example.net; dmarc=pass header.from=a.example\r\n",
         "[Auth] WARN (no From) | DMARC pass for a.example | by mx.example.net"},
        {"a From without an address", kExampleNet,
         "Authentication-Results: mx.example.net; spf=none smtp.mailfrom=a.example\r\nFrom: nobody\r\n",
         "[Auth] WARN (no From) | SPF none | by mx.example.net"},
        {"results of another version", kExampleNet,
         "Authentication-Results: mx.example.net 2; dkim=pass header.d=a.example\r\n" + kPayPal,
         "[Auth] NONE paypal.com | by mx.example.net"},
        {"none", kExampleNet, "Authentication-Results: mx.example.net 1; none\r\n" + kPayPal,
         "[Auth] NONE paypal.com | by mx.example.net"},
        {"no field at all", kExampleNet, kPayPal, "[Auth] ? no Authentication-Results"},
        {"no server trusted", {}, "Authentication-Results: mx.example.net; dkim=pass\r\n",
         "[Auth] ? not trusted: mx.example.net"},
        {"a field naming no server, untrusted", kExampleNet, "Authentication-Results: dkim=pass\r\n",
         "[Auth] ? not trusted: -"},
        {"more than three results", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=a.com; dkim=fail header.i=x@b.com;\r\n"
         " dkim=pass header.i=c.com; dkim=pass; dkim=none header.d=e.com\r\nFrom: a@a.com\r\n",
         "[Auth] PASS a.com | DKIM pass a.com, fail b.com, pass c.com (not From), +2 more | by mx.example.net"},
        {"properties: the first of each key wins, keys case-blind", kExampleNet,
         "Authentication-Results: mx.example.net; DKIM/1=PASS Header.D=a.com header.d=b.com; spf = pass "
         "smtp.helo=h.com\r\nFrom: a@a.com\r\n",
         "[Auth] PASS a.com | DKIM pass a.com | SPF pass h.com (not From) | by mx.example.net"},
        // Hostile input.
        {"what no domain may hold", kExampleNet,
         "Authentication-Results: mx.example.net; dmarc=pass header.from=a\x01" "b.com; dkim=pass header.d=" +
             repeated("a.", 300) + "; dkim=fail header.d=\"x y\"\r\nFrom: a@\x83\x65\x83\x58.jp\r\n",
         "[Auth] WARN ? (unusual From) | DMARC pass for ? | DKIM pass ? (not From), fail ? | by mx.example.net"},
        {"10,000 nested comments left open", kExampleNet,
         "Authentication-Results: mx.example.net; dkim=pass header.d=a.com " + std::string(10000, '(') +
             "\r\nFrom: a@a.com\r\n",
         "[Auth] PASS a.com | DKIM pass a.com | by mx.example.net"},
        {"an open quote swallows the rest", kExampleNet,
         "Authentication-Results: mx.example.net; spf=pass smtp.mailfrom=\"a@b.com; dmarc=pass header.from=b.com\r\n"
         "From: a@b.com\r\n",
         "[Auth] WARN b.com | SPF pass ? (not From) | by mx.example.net"},
        {"1,000 trusted fields", kExampleNet,
         repeated("Authentication-Results: mx.example.net; dkim=pass header.d=a.com\r\n", 1000) + "From: a@a.com\r\n",
         "[Auth] PASS a.com | DKIM pass a.com, pass a.com, pass a.com, +997 more | by mx.example.net"},
        {"10,000 results in one field", kExampleNet,
         "Authentication-Results: mx.example.net" + repeated("; spf=fail smtp.mailfrom=a.com", 10000) +
             "\r\nFrom: a@a.com\r\n",
         "[Auth] WARN a.com | SPF fail a.com, fail a.com, fail a.com, +9997 more | by mx.example.net"},
        {"an id that cannot be shown", kExampleNet,
         "Authentication-Results: \"mx\\\".example.net\"; dkim=pass\r\n",
         "[Auth] ? not trusted: ?"},
        {"a quoted id longer than the reader keeps inside", {"*.example.net"},
         "Authentication-Results: x\"" + repeated("a.", 200) + "example.net\"; dkim=pass header.d=a.com\r\n"
         "From: a@a.com\r\n",
         "[Auth] PASS a.com | DKIM pass a.com | by ?"},
    };
    for (const auto& c : cases) EXPECT_EQ(digestOf(c.header, c.servers), c.line + "\n-- \n") << c.name;
}

TEST(AuthDigest, ComesFirstAndLeavesTheRestOfTheView) {
    Settings settings = makeSettings({"X-"}, {});
    settings.auth = 1;
    settings.authServers = {"-"};
    settings.wholeFields = kFieldsUnfolded;
    settings.decode = 1;
    EXPECT_EQ(viewOf(settings, "X-A: =?utf-8?q?a?=\r\n b\r\nAuthentication-Results: dkim=pass\r\n"),
              "[Auth] WARN (no From) | DKIM pass | by -\nX-A: a b\n-- \n");
    EXPECT_EQ(viewOf(settings, ""), "[Auth] ? no Authentication-Results\n-- \n");
}

}  // namespace
