// DKIM signatures checked here: the signed test mails, and edits of them, with
// the test keys handed in directly.
#include "dkim/dkim_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "core_settings.h"
#include "dkim/dmarc_policy.h"
#include "dkim_keys.h"
#include "fake_host.h"
#include "keys/kept_keys.h"
#include "keys/key_cache.h"
#include "settings/setting_values.h"

namespace {

PlatformCrypto& testCrypto() {
    static PlatformCrypto crypto;
    return crypto;
}

// The line for source, judged at now (seconds since 1970; the clock by default).
std::string lineOf(const char* source, TestKeys& keys, std::int64_t now = std::time(nullptr)) {
    DkimServices services{keys, testCrypto(), testConverter(), now};
    char line[kDkimLineSize];
    return std::string(line, writeDkimLine(source, services, 0, line));
}

std::string lineOf(const std::string& source, TestKeys& keys, std::int64_t now = std::time(nullptr)) {
    return lineOf(source.c_str(), keys, now);
}

// mail with each edit made once, at its first place.
std::string edited(std::string mail, const std::vector<std::pair<std::string, std::string>>& edits) {
    for (const auto& [from, to] : edits) {
        const std::size_t at = mail.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) mail.replace(at, from.size(), to);
    }
    return mail;
}

const std::string kPass = "[DKIM] PASS example.com | pass example.com";

// The DKIM-Signature field a signed test mail begins with.
std::string signatureOf(const std::string& mail) {
    const std::string source = signedMail(mail);
    return source.substr(0, source.find("From:"));
}

TEST(DkimCheck, EachSignatureComesToItsItem) {
    const struct {
        const char* mail;
        std::vector<std::pair<std::string, std::string>> edits;
        std::string line;
    } cases[] = {
        // Signed as signers do, every canonical form, read as verifiers read.
        {"relaxed", {}, kPass},
        {"simple", {}, kPass},
        {"relaxed_simple", {}, kPass},
        {"lf_only", {}, kPass},
        {"key_1024", {}, kPass},
        {"large_body", {}, kPass},
        {"two_records", {}, kPass},
        {"strict", {}, kPass},
        {"relaxed", {{"Subject: Lunch", "Subject:  \tLunch  "}, {"  Taro\r\n", "  Taro \t\r\n\r\n\r\n"}}, kPass},
        {"two_signatures", {}, "[DKIM] PASS example.com | pass example.com, pass example.net (not From)"},
        {"other_domain", {}, "[DKIM] WARN example.com | pass example.net (not From)"},
        {"part_of_body", {}, "[DKIM] WARN example.com | pass example.com (part of the body)"},
        {"relaxed", {{"From:", "From: a@evil.example\r\nFrom:"}},
         "[DKIM] FAIL evil.example (more than one From) | pass example.com (not From)"},
        {"relaxed", {{"DKIM-Signature:", "X-Signature:"}}, "[DKIM] NONE example.com"},
        // A copy of a field the mail may hold once, added above the signed one,
        // goes unsigned, and is the one a reader sees.
        {"relaxed", {{"Subject: Lunch", "Subject: Your account is locked\r\nSubject: Lunch"}},
         "[DKIM] WARN example.com (more than one Subject) (unsigned Subject) | pass example.com"},
        {"relaxed", {{"Date:", "Content-Type: text/html\r\nDATE: Fri, 1 Jan 2027 00:00:00 +0000\r\n"
                                "Content-type: text/plain\r\nDate:"}},
         "[DKIM] WARN example.com (more than one Date) | pass example.com"},
        {"relaxed", {{"To:", "To: someone@example.net\r\nTo:"}, {"DKIM-Signature:", "X-Signature:"}},
         "[DKIM] NONE example.com (more than one To)"},
        {"relaxed", {{"Subject:", "Received: a\r\nReceived: b\r\nX-Subject: c\r\nX-Subject: d\r\nSubject:"}}, kPass},
        {"pkcs1_key", {}, kPass},
        {"other_version_first", {}, kPass},
        {"testing_key", {}, "[DKIM] NONE example.com | neutral example.com (testing)"},
        {"testing_key", {{"Lunch  on", "Lunch  at"}}, "[DKIM] NONE example.com | neutral example.com (testing)"},
        {"testing_key", {{"DKIM-Signature:", signatureOf("other_domain") + "DKIM-Signature:"}},
         "[DKIM] WARN example.com | pass example.net (not From), neutral example.com (testing)"},
        // What changed the mail after it was signed.
        {"relaxed", {{"Lunch  on", "Lunch  at"}}, "[DKIM] WARN example.com | fail example.com (body changed)"},
        {"simple", {{"  Taro\r\n", "  Taro \r\n"}}, "[DKIM] WARN example.com | fail example.com (body changed)"},
        {"relaxed", {{"Subject: Lunch on Friday", "Subject: Lunch on Monday"}},
         "[DKIM] WARN example.com | fail example.com (signature does not match)"},
        {"relaxed", {{"bh=", "l=999999; bh="}}, "[DKIM] WARN example.com | fail example.com (body changed)"},
        // The signature's own tags, in the order they are looked at.
        {"relaxed", {{"v=1", "v=2"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"s=s2048;", "s=s2048; s=s2048;"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"bh=", "zh="}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"h=from :", "h=sender :"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"i=@example.com", "i=@example.net"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"c=relaxed/relaxed", "c=relaxed/fancy"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"q=dns/txt", "q=http/well-known"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"t=", "x=1; t="}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"t=", "t=99999999999999999999; zz="}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"bh=", "l=" + std::string(80, '9') + "; bh="}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"\r\n b=", "\r\n b=!"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"s=s2048", "s=s_2048"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"d=example.com", "d=\x83\x65xample.com"}}, "[DKIM] WARN example.com | permerror ? (bad signature)"},
        {"sha1", {}, "[DKIM] WARN example.com | policy example.com (sha1)"},
        {"relaxed", {{"a=rsa-sha256", "a=ed25519-sha256"}}, "[DKIM] WARN example.com | neutral example.com (ed25519 not checked)"},
        {"relaxed", {{"a=rsa-sha256", "a=rsa-md5"}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        {"relaxed", {{"t=", "x=1700000000; t=1600000000; zz="}}, "[DKIM] WARN example.com | permerror example.com (expired)"},
        {"relaxed", {{"t=", "x=1796668536; t="}}, "[DKIM] WARN example.com | permerror example.com (bad signature)"},
        // The key, in the order it is looked at.
        {"relaxed", {{"s=s2048", "s=nothing"}}, "[DKIM] WARN example.com | permerror example.com (no key)"},
        {"relaxed", {{"s=s2048", "s=revoked"}}, "[DKIM] WARN example.com | permerror example.com (key revoked)"},
        {"relaxed", {{"s=s2048", "s=ed25519"}}, "[DKIM] WARN example.com | permerror example.com (bad key)"},
        {"relaxed", {{"s=s2048", "s=sha1only"}}, "[DKIM] WARN example.com | permerror example.com (bad key)"},
        {"relaxed", {{"s=s2048", "s=notfirst"}}, "[DKIM] WARN example.com | permerror example.com (bad key)"},
        {"relaxed", {{"s=s2048", "s=garbage"}}, "[DKIM] WARN example.com | permerror example.com (bad key)"},
        {"strict_identity", {}, "[DKIM] WARN example.com | permerror example.com (bad key)"},
        {"weak_key", {}, "[DKIM] WARN example.com | policy example.com (weak key)"},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        EXPECT_EQ(lineOf(edited(signedMail(c.mail), c.edits), keys), c.line)
            << c.mail << (c.edits.empty() ? "" : ", edited to " + c.edits[0].second);
    }
}

// A mail unsigned, from another address.
std::vector<std::pair<std::string, std::string>> unsignedFrom(const std::string& address) {
    return {{"DKIM-Signature:", "X-Signature:"}, {"taro@example.com", address}};
}

TEST(DkimCheck, TheFromDomainsOwnPolicyAndWhatItsNameClaims) {
    const struct {
        const char* mail;
        std::vector<std::pair<std::string, std::string>> edits;
        std::string line;
        const char* pending = nullptr;  // a name whose lookup does not end in time
    } cases[] = {
        {"relaxed", unsignedFrom("taro@reject.example.com"), "[DKIM] FAIL reject.example.com (DMARC reject)"},
        {"relaxed", unsignedFrom("taro@quarantine.example.com"), "[DKIM] FAIL quarantine.example.com (DMARC quarantine)"},
        {"relaxed", unsignedFrom("taro@none.example.com"), "[DKIM] NONE none.example.com"},
        {"relaxed", unsignedFrom("taro@news.example.net"), "[DKIM] FAIL news.example.net (DMARC reject)"},
        {"relaxed", unsignedFrom("taro@example.net"), "[DKIM] NONE example.net"},
        {"relaxed", unsignedFrom("taro@two.example.com"), "[DKIM] NONE two.example.com"},
        {"relaxed", unsignedFrom("taro@versions.example.com"), "[DKIM] FAIL versions.example.com (DMARC quarantine)"},
        {"relaxed", unsignedFrom("taro@reports.example.com"), "[DKIM] NONE reports.example.com"},
        {"relaxed", unsignedFrom("taro@broken.example.com"), "[DKIM] NONE broken.example.com"},
        {"relaxed", unsignedFrom("taro@silent.example.net"), "[DKIM] NONE silent.example.net", "_dmarc.silent.example.net"},
        {"relaxed", unsignedFrom("taro@x_y.example.com"), "[DKIM] NONE x_y.example.com"},
        // No host name, yet a name DNS holds: asked, then its organizational domain.
        {"relaxed", unsignedFrom("taro@x_y.example.net"), "[DKIM] FAIL x_y.example.net (DMARC reject)"},
        {"relaxed", unsignedFrom("taro@x+y.Example.Net"), "[DKIM] FAIL ? (DMARC reject)"},
        // The domain as read, plainly or not, is the one whose owner is asked.
        {"relaxed", unsignedFrom("service@reject .example.com"),
         "[DKIM] FAIL reject.example.com (unusual From) (DMARC reject)"},
        {"from_reject", {{"taro@reject.example.com", "taro@reject (x). example.com"}},
         "[DKIM] FAIL reject.example.com (unusual From) (DMARC reject) | fail example.com (signature does not match)"},
        // np= for a name below that does not exist, sp= for one that does;
        // testing lowers a step; two records at the From domain are none.
        {"relaxed", unsignedFrom("taro@ghost.np.example"), "[DKIM] FAIL ghost.np.example (DMARC reject)"},
        {"relaxed", unsignedFrom("taro@real.np.example"), "[DKIM] FAIL real.np.example (DMARC quarantine)"},
        {"relaxed", unsignedFrom("taro@testing.example.com"), "[DKIM] FAIL testing.example.com (DMARC quarantine)"},
        {"relaxed", unsignedFrom("taro@twice.example.net"), "[DKIM] FAIL twice.example.net (DMARC reject)"},
        // A name DNS cannot hold does not exist: np= applies.
        {"relaxed", unsignedFrom("taro@" + std::string(64, 'x') + ".np.example"),
         "[DKIM] FAIL " + std::string(64, 'x') + ".np.example (DMARC reject)"},
        // An unaligned signature whose key does not come hides nothing the owner asks.
        {"relaxed", {{"d=example.com;\r\n i=@example.com;", "d=example.net;"}, {"taro@example.com", "taro@reject.example.com"}},
         "[DKIM] FAIL reject.example.com (DMARC reject) | temperror example.net (key lookup pending)",
         "s2048._domainkey.example.net"},
        {"relaxed", {{"From:", "From: a@example.org\r\nFrom:"}, {"DKIM-Signature:", "X-Signature:"}},
         "[DKIM] FAIL example.org (more than one From)"},
        // Signed.
        {"from_reject", {}, "[DKIM] PASS reject.example.com (DMARC reject) | pass example.com"},
        {"from_reject", {{"Lunch  on", "Lunch  at"}}, "[DKIM] FAIL reject.example.com (DMARC reject) | fail example.com (body changed)"},
        {"from_reject", {{"Subject:", "Subject: Urgent\r\nSubject:"}},
         "[DKIM] WARN reject.example.com (more than one Subject) (unsigned Subject) (DMARC reject) | pass example.com"},
        {"from_reject", {}, "[DKIM] ? reject.example.com (DMARC reject) | temperror example.com (key lookup pending)",
         "s2048._domainkey.example.com"},
        {"from_reject_part_of_body", {}, "[DKIM] WARN reject.example.com (DMARC reject) | pass example.com (part of the body)"},
        {"from_strict", {}, "[DKIM] FAIL strict.example.com (DMARC reject) | pass example.com (not From)"},
        {"from_subdomain", {}, "[DKIM] PASS news.example.net (DMARC reject) | pass example.net"},
        {"testing_key", {{"taro@example.com", "taro@reject.example.com"}},
         "[DKIM] FAIL reject.example.com (DMARC reject) | neutral example.com (testing)"},
        // What the display name claims.
        {"name_claims", {}, "[DKIM] WARN example.com (name says paypal.com) | pass example.com"},
        {"name_after_comma", {}, "[DKIM] WARN example.com (unusual From) (name says paypal.com) | pass example.com"},
        {"name_quoted_parts", {}, "[DKIM] WARN example.com (unusual From) (name says paypal.com) | pass example.com"},
        {"name_title", {}, kPass},
        // A From domain that is a public suffix is its own organization;
        // the names below it are others'.
        {"from_public_suffix", {}, "[DKIM] WARN github.io | pass evil.github.io (not From)"},
        {"from_wildcard_suffix", {}, "[DKIM] WARN foo.ck | pass evil.foo.ck (not From)"},
        {"from_single_label", {}, "[DKIM] WARN intranet | pass evil.intranet (not From)"},
        {"relaxed", {{"Taro Yamada <", "=?UTF-8?B?77yw772B772Z77yw772B772M77yO772D772P772N?= <"}},
         "[DKIM] WARN example.com (name says paypal.com) | fail example.com (signature does not match)"},
        {"from_reject", {{"Taro Yamada", "\"Amazon.co.jp\""}, {"DKIM-Signature:", "X-Signature:"}},
         "[DKIM] FAIL reject.example.com (DMARC reject) (name says amazon.co.jp)"},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        if (c.pending != nullptr) keys.pending.insert(c.pending);
        EXPECT_EQ(lineOf(edited(signedMail(c.mail), c.edits), keys), c.line)
            << c.mail << (c.edits.empty() ? "" : ", edited to " + c.edits.back().second);
        EXPECT_LE(keys.lookUps, 1) << c.mail << ": the keys and the policy asked for at once";
    }
    // A first tag that breaks the grammar is still the first: that record is
    // passed over, and the other one counts.
    TestKeys broken;
    broken.records["_dmarc.example.com"] = {"x!=1; v=DMARC1; p=none", "v=DMARC1; p=reject"};
    EXPECT_EQ(lineOf(edited(signedMail("relaxed"), unsignedFrom("taro@example.com")), broken),
              "[DKIM] FAIL example.com (DMARC reject)");
    TestKeys keys;
    lineOf(signedMail("from_subdomain"), keys);
    EXPECT_EQ(keys.asked, (std::vector<std::string>{"s2048._domainkey.example.net", "_dmarc.news.example.net",
                                                     "_dmarc.example.net", "news.example.net"}));
}

// A field anyone who relays the mail could add: a Reply-To of another
// organization or a Subject that no signature making the pass covers.
TEST(DkimCheck, WhatNoPassingSignatureCoversIsNamed) {
    const std::string replyTo = "Reply-To: attacker@evil.example\r\nFrom:";
    const struct {
        const char* mail;
        std::vector<std::pair<std::string, std::string>> edits;
        std::string line;
    } cases[] = {
        {"relaxed", {{"From:", replyTo}}, "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"relaxed", {{"From:", "Reply-To: help@example.com, x@evil .example\r\nFrom:"}},
         "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"relaxed", {{"From:", "Reply-To: \"Help\" <help@mail.example.com>\r\nFrom:"}}, kPass},
        // A Reply-To with no address to read plainly may show one.
        {"relaxed", {{"From:", "Reply-To: undisclosed\r\nFrom:"}}, "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"relaxed", {{"From:", "Reply-To: =?utf-8?q?attacker=40evil.example?=\r\nFrom:"}},
         "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"relaxed", {{"From:", "Reply-To: (attacker@evil.example)\r\nFrom:"}},
         "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        // A lone CR ends a line, as the view cuts lines: what follows it is
        // a field of its own.
        {"relaxed", {{"From:", "X-Score: 0\rReply-To: attacker@evil.example\r\nFrom:"}},
         "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"relaxed", {{"From:", "X-Score: 0\r\rReply-To: attacker@evil.example\r\nFrom:"}},
         "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"relaxed", {{"To:", "X-Mailer: x\rFrom: PayPal <service@paypal.com>\r\nTo:"}},
         "[DKIM] FAIL example.com (more than one From) | fail example.com (signature does not match)"},
        {"reply_to_signed", {}, kPass},
        {"reply_to_signed", {{"Reply-To:", "Reply-To: a@evil.example\r\nReply-To:"}},
         "[DKIM] WARN example.com (more than one Reply-To) (unsigned Reply-To) | pass example.com"},
        {"subject_unsigned", {}, "[DKIM] WARN example.com (unsigned Subject) | pass example.com"},
        {"subject_unsigned", {{"From:", replyTo}},
         "[DKIM] WARN example.com (unsigned Reply-To) (unsigned Subject) | pass example.com"},
        {"from_reject", {{"From:", replyTo}},
         "[DKIM] WARN reject.example.com (unsigned Reply-To) (DMARC reject) | pass example.com"},
        // Without a signature that makes the pass, neither is said.
        {"relaxed", {{"From:", replyTo}, {"DKIM-Signature:", "X-Signature:"}}, "[DKIM] NONE example.com"},
        {"part_of_body", {{"From:", replyTo}}, "[DKIM] WARN example.com | pass example.com (part of the body)"},
        {"other_domain", {{"From:", replyTo}}, "[DKIM] WARN example.com | pass example.net (not From)"},
        {"subject_unsigned", {{"Lunch  on", "Lunch  at"}}, "[DKIM] WARN example.com | fail example.com (body changed)"},
        // One signature that makes the pass and covers them is enough.
        {"two_signatures", {}, "[DKIM] PASS example.com | pass example.com, pass example.net (not From)"},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        EXPECT_EQ(lineOf(edited(signedMail(c.mail), c.edits), keys), c.line)
            << c.mail << (c.edits.empty() ? "" : ", edited to " + c.edits.front().second);
    }
}

// A host name of length bytes of c, in labels of 63 at most.
std::string longName(char c, std::size_t length) {
    std::string name;
    while (name.size() + 64 < length) name += std::string(63, c) + ".";
    return name + std::string(length - name.size(), c);
}

// The policy that DMARC records give, as "REQUEST" or "REQUEST strict";
// "none" for p=none and for no policy alike.
TEST(DmarcPolicy, EachRecordGivesItsPolicy) {
    const KeyAnswer noRecord{KeyState::kNoKey, nullptr};
    const auto found = [](KeyRecords records) { return KeyAnswer{KeyState::kFound, std::make_shared<KeyRecords>(records)}; };
    const struct {
        const char* name;
        KeyRecords atFrom;  // empty: no record there
        KeyRecords atOrganization;
        const char* policy;
        KeyState fromItself = KeyState::kNoKey;  // the From domain stands, with no TXT record
    } cases[] = {
        {"the plain form", {"v=DMARC1; p=reject"}, {}, "reject"},
        {"a broken tag after p", {"v=DMARC1; p=reject; x-y=1"}, {}, "reject"},
        {"an empty tag after p", {"v=DMARC1; p=quarantine;; rua=mailto:d@example.com"}, {}, "quarantine"},
        {"a broken value after p", {"v=DMARC1; p=reject; pct=50 %; rua=mailto:d@example.com"}, {}, "reject"},
        {"an empty tag before p", {"v=DMARC1;; p=reject"}, {}, "reject"},
        {"blanks, case and no blank", {" v = DMARC1 ;p = REJECT ; adkim = s"}, {}, "reject strict"},
        {"p named twice: the first", {"v=DMARC1; p=reject; p=none"}, {}, "reject"},
        {"adkim=r", {"v=DMARC1; p=quarantine; adkim=r"}, {}, "quarantine"},
        {"sp= for the From domain itself", {"v=DMARC1; p=reject; sp=none"}, {}, "reject"},
        {"sp= for a name below", {}, {"v=DMARC1; p=none; sp=reject"}, "reject"},
        {"p= for a name below without sp=", {}, {"v=DMARC1; p=quarantine"}, "quarantine"},
        {"the From domain's record first", {"v=DMARC1; p=none"}, {"v=DMARC1; p=reject"}, "none"},
        // v first, the others in any order; without a valid p, p=none with
        // reports by mail, or no policy.
        {"p not second (RFC 9989)", {"v=DMARC1; sp=reject; p=reject"}, {}, "reject"},
        {"a broken tag before p", {"v=DMARC1; x!=1; p=reject"}, {}, "reject"},
        {"adkim and pct before p", {"v=DMARC1; adkim=s; pct=100; p=reject"}, {}, "reject strict"},
        {"p of another value", {"v=DMARC1; p=bogus; rua=mailto:d@example.com; adkim=s"}, {}, "none strict"},
        {"sp of another value", {"v=DMARC1; p=reject; sp=bogus"}, {}, "none"},
        {"v not first: no record at the From domain", {"p=reject; v=DMARC1"}, {"v=DMARC1; p=quarantine"}, "quarantine"},
        {"an empty tag before v", {"; v=DMARC1; p=reject"}, {}, "none"},
        {"records of other kinds passed over", {"v=spf1 -all", "v=DMARC1; p=reject"}, {}, "reject"},
        // Several records at the From domain are none: the walk goes on.
        {"two records at the From domain", {"v=DMARC1; p=none", "v=DMARC1; p=none"}, {"v=DMARC1; p=reject"}, "reject"},
        {"two records at the organizational domain", {}, {"v=DMARC1; p=reject", "v=DMARC1; p=reject"}, "none"},
        // np= for a From domain that does not exist.
        {"np= for a name that does not exist", {}, {"v=DMARC1; p=none; sp=quarantine; np=reject"}, "reject",
         KeyState::kNoName},
        {"sp= for a name that stands", {}, {"v=DMARC1; p=none; sp=quarantine; np=reject"}, "quarantine"},
        {"sp= when its existence is unknown", {}, {"v=DMARC1; p=none; sp=quarantine; np=reject"}, "quarantine",
         KeyState::kFailed},
        {"np= of another value passed over", {}, {"v=DMARC1; p=reject; np=bogus"}, "reject", KeyState::kNoName},
        {"np= looser than sp=", {}, {"v=DMARC1; p=reject; np=none"}, "none", KeyState::kNoName},
        {"np= at the From domain's own record", {"v=DMARC1; p=none; np=reject"}, {}, "none", KeyState::kNoName},
        // Testing lowers the request a step.
        {"t=y on reject", {"v=DMARC1; p=reject; t=y"}, {}, "quarantine"},
        {"t=y on quarantine", {"v=DMARC1; p=quarantine; t=Y; adkim=s"}, {}, "none strict"},
        {"t=n", {"v=DMARC1; p=reject; t=n"}, {}, "reject"},
        {"t=y on np=", {}, {"v=DMARC1; p=none; np=reject; t=y"}, "quarantine", KeyState::kNoName},
    };
    const auto text = [](const DmarcPolicy& policy) {
        const char* request = policy.request == DmarcRequest::kReject       ? "reject"
                              : policy.request == DmarcRequest::kQuarantine ? "quarantine"
                                                                            : "none";
        return std::string(request) + (policy.strictDkim ? " strict" : "");
    };
    for (const auto& c : cases) {
        const KeyAnswer atFrom = c.atFrom.empty() ? noRecord : found(c.atFrom);
        const KeyAnswer atOrganization = c.atOrganization.empty() ? noRecord : found(c.atOrganization);
        const KeyAnswer fromItself{c.fromItself, nullptr};
        EXPECT_EQ(text(discoverDmarcPolicy(&atFrom, &atOrganization, &fromItself)), c.policy) << c.name;
    }
    // Where the From domain's record cannot be had, or was not asked for.
    const KeyAnswer reject = found({"v=DMARC1; p=reject"});
    const KeyAnswer failed{KeyState::kFailed, nullptr};
    const KeyAnswer pending{KeyState::kPending, nullptr};
    EXPECT_EQ(text(discoverDmarcPolicy(&failed, &reject, nullptr)), "none") << "the From domain's lookup failed";
    EXPECT_EQ(text(discoverDmarcPolicy(&pending, &reject, nullptr)), "none") << "the From domain's lookup pending";
    EXPECT_EQ(text(discoverDmarcPolicy(nullptr, &reject, nullptr)), "reject") << "no name to ask at the From domain";
    EXPECT_EQ(text(discoverDmarcPolicy(nullptr, nullptr, nullptr)), "none") << "nothing asked";
}

// Which names are asked for a From domain and its organizational domain.
TEST(DmarcPolicy, AsksEachNameThatDnsCanHold) {
    const std::string label63(63, 'a');
    const struct {
        const char* name;
        std::string from;
        std::string atFrom, atOrganization;
        bool asksItself = false;  // whether it exists, for np=, when the organizational domain's record is asked
    } cases[] = {
        {"an organizational domain", "example.com", "_dmarc.example.com", ""},
        {"a name below it", "news.example.com", "_dmarc.news.example.com", "_dmarc.example.com", true},
        {"an underscore", "x_y.bank.example", "_dmarc.x_y.bank.example", "_dmarc.bank.example", true},
        {"a byte no host name holds", "x+y.bank.example", "_dmarc.x+y.bank.example", "_dmarc.bank.example", true},
        {"246 bytes: the longest asked", longName('b', 246 - 13) + ".bank.example",
         "_dmarc." + longName('b', 246 - 13) + ".bank.example", "_dmarc.bank.example", true},
        {"247 bytes", longName('b', 247 - 13) + ".bank.example", "", "_dmarc.bank.example", true},
        {"273 bytes", longName('b', 260) + ".bank.example", "", "_dmarc.bank.example"},
        {"a label of 63 bytes", label63 + ".example.com", "_dmarc." + label63 + ".example.com", "_dmarc.example.com",
         true},
        {"a label of 64 bytes", label63 + "a.example.com", "", "_dmarc.example.com"},
        {"a blank", "x y.bank.example", "", "_dmarc.bank.example"},
        {"a control byte", "x\x01y.bank.example", "", "_dmarc.bank.example"},
        {"a backslash, which DNS reads as an escape", "pay\\pal.bank.example", "", "_dmarc.bank.example"},
        {"an empty label: no organizational domain", "a..example.com", "", ""},
        {"no From domain", "", "", ""},
    };
    for (const auto& c : cases) {
        const PolicyNames names = policyNamesOf(c.from);
        EXPECT_EQ(names.atFrom, c.atFrom) << c.name;
        EXPECT_EQ(names.atOrganization, c.atOrganization) << c.name;
        EXPECT_EQ(names.fromItself, c.asksItself ? c.from : "") << c.name;
    }
}

TEST(DkimCheck, LookupsThatDoNotEndTellNothing) {
    TestKeys keys;
    keys.pending.insert("s2048._domainkey.example.com");
    keys.failing.insert("s2048._domainkey.example.net");
    EXPECT_EQ(lineOf(signedMail("two_signatures"), keys),
              "[DKIM] ? example.com | temperror example.com (key lookup pending), temperror example.net (key lookup "
              "failed)");
    EXPECT_EQ(lineOf(nullptr, keys), "[DKIM] ? no source");

    // A machine that cannot hash can tell nothing, and says why.
    struct NoHashing final : Crypto {
        std::unique_ptr<Sha256> sha256() override { return nullptr; }
        RsaKeyHandle rsaKey(std::string_view der) override { return testCrypto().rsaKey(der); }
    } noHashing;
    TestKeys allKeys;
    DkimServices services{allKeys, noHashing, testConverter(), static_cast<std::int64_t>(std::time(nullptr))};
    char line[kDkimLineSize];
    EXPECT_EQ(std::string(line, writeDkimLine(signedMail("relaxed").c_str(), services, 0, line)),
              "[DKIM] ? example.com | temperror example.com (hashing failed)");
}

// x= is judged at the time the mail came, as its topmost Received field
// tells, so that a mail kept for a month still reads as it did.
TEST(DkimCheck, ASignatureIsJudgedWhenTheMailCame) {
    constexpr std::int64_t kSignedAt = 1796668536;            // Mon, 07 Dec 2026 18:35:36 +0000
    constexpr std::int64_t kExpiry = kSignedAt + 7 * 86400;  // its x=
    constexpr std::int64_t kMonthLater = kExpiry + 30 * 86400;
    const std::string kCameInTime = "Received: from mx.example.com by mail.example.org; Mon, 07 Dec 2026 19:35:36 +0000\r\n";
    const std::string kCameLate = "Received: from mx.example.com by mail.example.org; Mon, 14 Dec 2026 18:36:36 +0000\r\n";
    const std::string kPassed = kPass, kExpired = "[DKIM] WARN example.com | permerror example.com (expired)";
    const struct {
        const char* name;
        std::string above;  // fields above the signed ones
        std::int64_t now;
        const std::string& line;
    } cases[] = {
        {"opened within the week", "", kSignedAt + 3600, kPassed},
        {"opened a month later, come within the week", kCameInTime, kMonthLater, kPassed},
        {"opened a month later, with nothing telling when it came", "", kMonthLater, kExpired},
        {"come after the week: a replay of an old mail", kCameLate, kMonthLater, kExpired},
        {"only the topmost Received counts", kCameLate + kCameInTime, kMonthLater, kExpired},
        {"a Received dated later than now: judged now", kCameLate, kSignedAt + 3600, kPassed},
        {"a date that does not read", "Received: from mx.example.com; someday\r\n", kMonthLater, kExpired},
        {"no ';' before the date", "Received: from mx.example.com Mon, 07 Dec 2026 19:35:36 +0000\r\n", kMonthLater, kExpired},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        EXPECT_EQ(lineOf(c.above + signedMail("expires"), keys, c.now), c.line) << c.name;
    }
}

// Kept keys and keys DNS no longer has, on the days of a clock: the mail
// came on its topmost Received field's date, and is opened on kToday.
constexpr Day kToday = dayOf(2027, 6, 1);
constexpr char kKeyName[] = "s2048._domainkey.example.com";

// A Received field dated midday of day.
std::string receivedOn(Day day) {
    static const char* const kWeekdays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const CalendarDate date = dateOf(day);
    char field[96];
    std::snprintf(field, sizeof field, "Received: from mx.example.com by mail.example.org; %s, %02u %s %d 12:00:00 +0000\r\n",
                  kWeekdays[((day % 7) + 7) % 7], date.day, kMonths[date.month - 1], date.year);
    return field;
}

// The line for mail that came on arrival, with keys in DNS and kept.
std::string keptLine(const std::string& mail, Day arrival, TestKeys& keys, KeptKeys* kept) {
    DkimServices services{keys, testCrypto(), testConverter(), std::int64_t{kToday} * 86400 + 43200};
    services.keptKeys = kept;
    services.today = kToday;
    char line[kDkimLineSize];
    const std::string source = receivedOn(arrival) + mail;
    return std::string(line, writeDkimLine(source.c_str(), services, 0, line));
}

TEST(KeptKeysInTheCheck, AKeptKeyCountsForMailThatCameWhileItWasPublished) {
    const std::string kKept = "[DKIM] PASS example.com | pass example.com (kept key)";
    const std::string kNoKey = "[DKIM] WARN example.com | permerror example.com (no key)";
    constexpr Day kLast = kToday - 100;  // the kept key was last seen in DNS then
    const std::string otherKey = TestKeys().records["s1024._domainkey.example.com"][0];
    enum class Dns { kNoName, kNoRecord, kNotAKey, kOtherKey, kFailed, kPending, kRevoked, kSameKey };
    const struct {
        const char* name;
        Dns dns;
        Day arrival;
        std::string line;
    } cases[] = {
        // The arrival bound, with DNS no longer giving the key.
        {"came the day before its last day", Dns::kNoName, kLast - 1, kKept},
        {"came on its last day", Dns::kNoName, kLast, kKept},
        {"came the day after: a retired key that leaked signs nothing", Dns::kNoName, kLast + 1, kNoKey},
        {"came long after, and old itself: still no key gone", Dns::kNoName, kLast + 50, kNoKey},
        // Each answer DNS may give.
        {"no record at the name", Dns::kNoRecord, kLast, kKept},
        {"a record that is no key", Dns::kNotAKey, kLast, kKept},
        {"another key, which does not verify", Dns::kOtherKey, kLast, kKept},
        {"another key, for mail that came too late", Dns::kOtherKey, kLast + 1,
         "[DKIM] WARN example.com | fail example.com (signature does not match)"},
        {"a lookup that failed", Dns::kFailed, kLast, kKept},
        {"a lookup still on its way", Dns::kPending, kLast, kKept},
        {"a lookup still on its way, for mail that came too late", Dns::kPending, kLast + 1,
         "[DKIM] ? example.com | temperror example.com (key lookup pending)"},
        {"a revoked key overrules it", Dns::kRevoked, kLast, "[DKIM] WARN example.com | permerror example.com (key revoked)"},
        {"DNS still gives it", Dns::kSameKey, kLast + 1, kPass},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        KeptKeys kept(kToday - 400);
        kept.keep(kKeyName, keys.records[kKeyName][0], kLast);
        switch (c.dns) {
            case Dns::kNoName: keys.records.erase(kKeyName); break;
            case Dns::kNoRecord: keys.records[kKeyName] = {}; break;
            case Dns::kNotAKey: keys.records[kKeyName] = {"v=spf1 -all"}; break;
            case Dns::kOtherKey: keys.records[kKeyName] = {otherKey}; break;
            case Dns::kFailed: keys.failing.insert(kKeyName); break;
            case Dns::kPending: keys.pending.insert(kKeyName); break;
            case Dns::kRevoked: keys.records[kKeyName] = {"v=DKIM1; k=rsa; p="}; break;
            case Dns::kSameKey: break;
        }
        EXPECT_EQ(keptLine(signedMail("relaxed"), c.arrival, keys, &kept), c.line) << c.name;
    }

    // A body changed since: no kept key mends it, nor can it tell whether
    // the key was one of those kept.
    TestKeys keys;
    KeptKeys kept(kToday - 400);
    kept.keep(kKeyName, keys.records[kKeyName][0], kLast);
    keys.records.erase(kKeyName);
    EXPECT_EQ(keptLine(edited(signedMail("relaxed"), {{"Lunch  on", "Lunch  at"}}), kLast, keys, &kept), kNoKey);
}

TEST(KeptKeysInTheCheck, AKeyGoneIsNoForgeryAndAChangedKeyShows) {
    const std::string kNoKey = "[DKIM] WARN example.com | permerror example.com (no key)";
    const std::string kGone = "[DKIM] ? example.com | neutral example.com (key gone)";
    const struct {
        const char* name;
        Day arrival;
        bool keys;  // Keys on, with none kept
        std::string line;
    } gone[] = {
        {"29 days ago: a made-up selector still fails", kToday - 29, true, kNoKey},
        {"30 days ago", kToday - 30, true, kGone},
        {"a year ago", kToday - 365, true, kGone},
        {"29 days ago, without Keys", kToday - 29, false, kNoKey},
        {"30 days ago, without Keys", kToday - 30, false, kGone},
    };
    for (const auto& c : gone) {
        TestKeys keys;
        keys.records.erase(kKeyName);
        KeptKeys kept(kToday);
        EXPECT_EQ(keptLine(signedMail("relaxed"), c.arrival, keys, c.keys ? &kept : nullptr), c.line) << c.name;
    }
    // Only when every aligned signature's key is gone is the mail unknown.
    TestKeys keys;
    keys.records.erase("s2048._domainkey.example.net");
    EXPECT_EQ(keptLine(signedMail("two_signatures"), kToday - 60, keys, nullptr),
              "[DKIM] PASS example.com | pass example.com, neutral example.net (key gone)");
    keys.records.erase(kKeyName);
    EXPECT_EQ(keptLine(signedMail("from_reject"), kToday - 60, keys, nullptr),
              "[DKIM] ? reject.example.com (DMARC reject) | neutral example.com (key gone)");

    // A key that changes under a name seen within 30 days shows, and is kept too.
    const std::string kOtherKey = "v=DKIM1; k=rsa; p=MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAother";
    const struct {
        const char* name;
        Day lastSeen;  // of the other key kept
        std::string line;
    } changed[] = {
        {"seen 29 days ago", kToday - 29, "[DKIM] PASS example.com | pass example.com (key changed)"},
        {"seen 30 days ago", kToday - 30, kPass},
    };
    for (const auto& c : changed) {
        TestKeys dns;
        KeptKeys kept(kToday - 400);
        kept.keep(kKeyName, kOtherKey, c.lastSeen);
        EXPECT_EQ(keptLine(signedMail("relaxed"), kToday, dns, &kept), c.line) << c.name;
        EXPECT_EQ(kept.keysOf(kKeyName).end - kept.keysOf(kKeyName).begin, 2) << c.name;
    }
}

TEST(DkimCheck, HostileMailsCostLittleAndAskNothingTheyNeedNot) {
    const std::string mail = signedMail("relaxed");
    const std::string signature = mail.substr(0, mail.find("From:"));
    std::string labels = "a";
    for (int i = 1; i < 300; ++i) labels += ".a";
    std::string manyFields;
    std::string names;
    for (int i = 0; i < 10000; ++i) {
        manyFields += "X-" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
        names += "x-" + std::to_string(i) + ":";
    }
    const struct {
        const char* name;
        std::string source;
        std::string line;
        std::size_t lookups;  // keys, the From domain's DMARC records, and whether it exists
    } cases[] = {
        {"1,000 signatures", [&] {
             std::string many;
             for (int i = 0; i < 999; ++i) many += signature;
             return many + mail;
         }(),
         kPass + ", pass example.com, pass example.com, +997 more", 6},
        {"h= naming 10,000 fields", edited(mail, {{"h=from", "h=" + names + "from"}, {"From:", manyFields + "From:"}}),
         "[DKIM] WARN example.com | fail example.com (signature does not match)", 2},
        {"names that are no host names",
         edited(signature, {{"d=example.com", "d=a\x01" "b.com"}}) + edited(signature, {{"s=s2048", "s=\x83\x65st"}}) +
             edited(signature, {{"s=s2048", "s=" + labels}}) + mail,
         "[DKIM] PASS example.com | permerror ? (bad signature), permerror example.com (bad signature), permerror "
         "example.com (bad signature), +1 more",
         2},
        {"no empty line", "From: a@example.com\r\n" + signature, "[DKIM] WARN example.com | fail example.com (body changed)", 2},
        {"a NUL ends the source", edited(mail, {{"Lunch", std::string("Lu\0nch", 6)}}),
         "[DKIM] WARN example.com | fail example.com (body changed)", 2},
        {"a body of 50 MiB", mail + std::string(50 << 20, ' ') + "x\r\n",
         "[DKIM] WARN example.com | fail example.com (body changed)", 2},
        {"a From domain of 127 labels, too long for its DMARC record's name: its organization's asked",
         "From: a@" + labels.substr(0, 253) + "\r\n\r\n", "[DKIM] NONE " + labels.substr(0, 253), 2},
        {"a From domain of 250 bytes: the owner's policy still found",
         "From: a@" + longName('b', 238) + ".example.net\r\n\r\n", "[DKIM] FAIL " + longName('b', 238) + ".example.net (DMARC reject)",
         2},
        {"names of 253 bytes, each asked for",
         edited(signature, {{"s=s2048", "s=" + longName('s', 230)}}) + "From: a@" + longName('b', 242) + ".com\r\n\r\n",
         "[DKIM] WARN " + longName('b', 242) + ".com | permerror example.com (no key)", 4},
        {"a display name of 64 KiB", "From: \"" + std::string(65536, 'x') + " paypal.com\" <a@b.example>\r\n\r\n",
         "[DKIM] NONE b.example (name says paypal.com)", 1},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        EXPECT_EQ(lineOf(c.source, keys), c.line) << c.name;
        EXPECT_EQ(keys.asked.size(), c.lookups) << c.name;
    }
    // A DMARC record of 64 KiB.
    TestKeys keys;
    keys.records["_dmarc.example.com"] = {"v=DMARC1; p=reject; x=" + std::string(65536, 'x')};
    EXPECT_EQ(lineOf(edited(mail, {{"DKIM-Signature:", "X-Signature:"}}), keys), "[DKIM] FAIL example.com (DMARC reject)");
}

TEST(DkimCheck, KeyRecordsOfAnySizeOrSortAreReadSafely) {
    const struct {
        const char* name;
        KeyRecords records;
        std::string item;
    } cases[] = {
        {"64 KiB of 255-byte strings", {"v=DKIM1; p=" + std::string(65536, 'A')}, "permerror example.com (bad key)"},
        {"p= of garbage", {"v=DKIM1; p=%%%"}, "permerror example.com (bad key)"},
        {"a 16,384-bit key", {"v=DKIM1; p=" + [] {
             std::ifstream in(QM_DKIM_DIR "/keys/huge.pub");
             std::string key;
             std::getline(in, key);
             return key;
         }()},
         "permerror example.com (bad key)"},
        {"no key record among them", {"hello", "v=spf1 -all"}, "permerror example.com (no key)"},
        {"k= not rsa", {"k=dsa; p=" + TestKeys().records["s2048._domainkey.example.com"][0].substr(18)},
         "permerror example.com (bad key)"},
        {"only a record of another version", {"v=DKIM2; p=" + TestKeys().records["s2048._domainkey.example.com"][0].substr(18)},
         "permerror example.com (no key)"},
        {"a revoked key of another version", {"v=DKIM2; p="}, "permerror example.com (no key)"},
        {"testing, its key too weak", {"v=DKIM1; t=y; p=" + TestKeys().records["weak._domainkey.example.com"][0].substr(18)},
         "policy example.com (weak key)"},
    };
    for (const auto& c : cases) {
        TestKeys keys;
        keys.records["s2048._domainkey.example.com"] = c.records;
        EXPECT_EQ(lineOf(signedMail("relaxed"), keys), "[DKIM] WARN example.com | " + c.item) << c.name;
    }
}

// The view: [Auth], then [DKIM], then the lines, then the separator; the
// source given back whatever happens.
TEST(DkimView, FollowsTheDigestAndGivesTheSourceBack) {
    TestKeys keys;
    DkimServices services{keys, testCrypto(), testConverter(), static_cast<std::int64_t>(std::time(nullptr))};
    Settings settings = makeSettings({"Subject"}, {});
    settings.auth = 1;
    settings.dkim = 1;
    FakeHost host;
    host.headers = {{1, "Subject: s\r\n"}, {2, ""}, {3, "X: 1\r\n"}};
    host.sources = {{1, signedMail("relaxed")}, {2, "From: a@example.com\r\n\r\n"}};
    for (MailId mail : {1, 2, 3, 4}) showHeaderView(host, settings, mail, testConverter(), &services);
    ASSERT_EQ(host.textCalls.size(), 3u);
    EXPECT_EQ(host.textCalls[0].text, "[Auth] ? no Authentication-Results\n" + kPass + "\nSubject: s\n-- \n");
    EXPECT_EQ(host.textCalls[1].text, "[Auth] ? no Authentication-Results\n[DKIM] NONE example.com\n-- \n");
    EXPECT_EQ(host.textCalls[2].text, "[Auth] ? no Authentication-Results\n[DKIM] ? no source\n-- \n");
    // No header, no view and no source asked for; every source given back.
    EXPECT_EQ(host.sourceRequests, (std::vector<MailId>{1, 2, 3}));
    EXPECT_EQ(host.sourcesOut, 0u);

    settings.dkim = 2;
    showHeaderView(host, settings, 1, testConverter(), &services);
    EXPECT_EQ(host.sourceRequests.size(), 3u) << "off: the source is not asked for";

    // A lookup that throws ends the view; the source still goes back.
    struct ThrowingKeys final : KeySource {
        void lookUp(const std::string*, std::size_t, std::uint32_t, KeyAnswer*) override { throw std::bad_alloc(); }
    } throwing;
    DkimServices failing{throwing, testCrypto(), testConverter(), 0};
    settings.dkim = 1;
    showHeaderView(host, settings, 1, testConverter(), &failing);
    EXPECT_EQ(host.textCalls.size(), 4u);
    EXPECT_EQ(host.sourcesOut, 0u);
}

TEST(KeyCache, KeepsAnswersForTheirTimeWithinBounds) {
    const auto found = KeyAnswer{KeyState::kFound, std::make_shared<KeyRecords>(KeyRecords{"p="})};
    const struct {
        const char* name;
        KeyAnswer answer;
        std::uint32_t ttl;
        std::uint64_t lastsMs;
    } cases[] = {
        {"a key for its TTL", found, 3600, 3600 * 1000},
        {"a short TTL kept a minute", found, 5, 60 * 1000},
        {"a long TTL kept a day", found, 7 * 86400, 86400 * 1000},
        {"no key for its TTL", {KeyState::kNoKey, nullptr}, 600, 600 * 1000},
        {"a failure a minute", {KeyState::kFailed, nullptr}, 3600, 60 * 1000},
    };
    for (const auto& c : cases) {
        KeyCache cache;
        KeyAnswer answer;
        ASSERT_EQ(cache.need("k", 1000, answer), KeyCache::Need::kAsk) << c.name;
        EXPECT_EQ(cache.need("k", 1000, answer), KeyCache::Need::kWait) << c.name << ": not asked twice";
        cache.settle("k", c.answer, c.ttl, 1000);
        EXPECT_EQ(cache.need("k", 1000 + c.lastsMs - 1, answer), KeyCache::Need::kKnown) << c.name;
        EXPECT_EQ(answer.state, c.answer.state) << c.name;
        EXPECT_EQ(cache.need("k", 1000 + c.lastsMs, answer), KeyCache::Need::kAsk) << c.name;
    }
    // Forgotten, as when the settings name other servers: asked again, and
    // a lookup on its way settles nothing.
    KeyCache cache;
    KeyAnswer answer;
    cache.need("k", 0, answer);
    cache.settle("k", {KeyState::kNoKey, nullptr}, 3600, 0);
    cache.need("on its way", 0, answer);
    cache.forget();
    cache.settle("on its way", {KeyState::kNoKey, nullptr}, 3600, 0);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.need("k", 1, answer), KeyCache::Need::kAsk);
}

TEST(KeyCache, HoldsAThousandNamesAtMost) {
    KeyCache cache;
    KeyAnswer answer;
    for (int i = 0; i < 1500; ++i) {
        const std::string name = "k" + std::to_string(i);
        ASSERT_EQ(cache.need(name, i, answer), KeyCache::Need::kAsk);
        cache.settle(name, {KeyState::kNoKey, nullptr}, 3600 + i, i);
    }
    EXPECT_EQ(cache.size(), KeyCache::kCapacity);
    EXPECT_EQ(cache.need("k1499", 2000, answer), KeyCache::Need::kKnown) << "the newest stays";
    EXPECT_EQ(cache.need("k0", 2000, answer), KeyCache::Need::kAsk) << "the first to expire went";
}

TEST(SettingValues, DkimWaitAndDnsServersReadOrFallBack) {
    const std::pair<const char*, std::uint32_t> waits[] = {
        {"0", 0}, {"250", 250}, {"10000", 10000}, {"10001", 1500}, {"-5", 1500}, {"1.5", 1500}, {"", 1500}, {"ms", 1500}};
    for (const auto& [text, wait] : waits) EXPECT_EQ(readDkimWait(text), wait) << text;
    const auto address = [](unsigned a, unsigned b, unsigned c, unsigned d) {
        const unsigned char bytes[] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                       static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
        std::uint32_t value = 0;
        std::memcpy(&value, bytes, 4);
        return value;
    };
    EXPECT_EQ(readDnsServers("127.0.0.1, 192.0.2.53\t10.0.0.1,,8.8.8"),
              (std::vector<std::uint32_t>{address(127, 0, 0, 1), address(192, 0, 2, 53), address(10, 0, 0, 1)}));
    EXPECT_TRUE(readDnsServers("256.0.0.1 1.2.3.4.5 ::1 a.b.c.d 1..2.3 0001.2.3.4").empty());
}

}  // namespace
