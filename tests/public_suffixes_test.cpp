// Organizational domains by the Public Suffix List built into the module:
// the list's own test cases, and the rules that alignment rests on.
#include "domains/public_suffixes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "fields/shown_text.h"

namespace {

// name as the plug-in shows it: lower case, A-labels.
std::string shown(const std::string& name) {
    ShownDomain domain;
    showDomain(name, domain);
    return std::string(domain.text());
}

// The registrable domain the list's tests expect: none ("null") for a name
// that is itself a public suffix or no domain name.
std::string registrable(const std::string& name) {
    PublicSuffix suffix;
    if (!findPublicSuffix(name, suffix) || suffix.start == 0) return "null";
    return std::string(organizationalDomain(name));
}

TEST(PublicSuffixes, PassTheListsOwnTests) {
    std::ifstream in(QM_PSL_TESTS);
    ASSERT_TRUE(in) << QM_PSL_TESTS;
    const std::regex check(R"(^checkPublicSuffix\('([^']*)', (null|'([^']*)')\);)");
    int cases = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, check)) continue;
        const std::string expected = match[2] == "null" ? "null" : shown(match[3]);
        EXPECT_EQ(registrable(shown(match[1])), expected) << line;
        ++cases;
    }
    EXPECT_GE(cases, 70);
}

TEST(PublicSuffixes, OrganizationalDomainsOfEveryKindOfRule) {
    const struct {
        const char* name;
        const char* organizational;
        bool listed;  // the public suffix comes from a rule of the list
        bool newGeneric = false;  // ... of the generic top-level domains delegated since 2012
    } cases[] = {
        {"mail.shop.example.co.jp", "example.co.jp", true},
        {"co.jp", "co.jp", true},
        {"jp", "jp", true},
        {"attacker.eu.org", "attacker.eu.org", true},  // a private section's rule
        {"eu.org", "eu.org", true},
        {"pages.someone.github.io", "someone.github.io", true},
        {"github.io", "github.io", true},
        {"a.b.c.kawasaki.jp", "b.c.kawasaki.jp", true},  // *.kawasaki.jp
        {"www.city.kawasaki.jp", "city.kawasaki.jp", true},  // !city.kawasaki.jp
        {"city.kawasaki.jp", "city.kawasaki.jp", true},
        {"kawasaki.jp", "kawasaki.jp", true},
        {"mr.smith", "mr.smith", false},  // no rule: the default one
        {"smith", "smith", false},
        {"a.b.c.d.example", "d.example", false},
        {"www.xn--85x722f.xn--55qx5d.cn", "xn--85x722f.xn--55qx5d.cn", true},
        {"under_score.example.com", "example.com", true},
        {"dr.med", "dr.med", true, true},
        {"help.amazon.shop", "amazon.shop", true, true},
        {"matt.dev", "matt.dev", true, true},
        {"someone.web.app", "someone.web.app", true},  // a private rule below a newer one
        {"xn--qckr4f.xn--tckwe", "xn--qckr4f.xn--tckwe", true, true},  // .コム
        {"", "", false},
        {".example.com", "", false},
        {"example..com", "", false},
        {"example.com.", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(organizationalDomain(c.name), c.organizational) << c.name;
        PublicSuffix suffix;
        EXPECT_EQ(findPublicSuffix(c.name, suffix) && suffix.listed, c.listed) << c.name;
        EXPECT_EQ(suffix.newGeneric, c.newGeneric) << c.name;
    }
}

TEST(PublicSuffixes, LongNamesCostTheirLength) {
    std::string labels = "a";
    for (int i = 1; i < 127; ++i) labels += ".a";
    EXPECT_EQ(organizationalDomain(labels + ".com"), "a.com");
    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(organizationalDomain(huge + ".github.io"), huge + ".github.io");
    EXPECT_EQ(organizationalDomain(huge), huge);
}

}  // namespace
