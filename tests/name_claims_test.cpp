// What a From field's display name claims, as the From reader finds the
// name: each form of claim, the names that claim nothing, and hostile names.
#include "fields/name_claims.h"

#include <gtest/gtest.h>

#include <string>

#include "charset/charsets.h"
#include "fake_host.h"
#include "fields/from_field.h"

namespace {

// The organizational domain the display name of a From value claims, when
// it is not the address's; "?" for none.
std::string claimOf(const std::string& value) {
    Sender sender;
    sender.addField(value);
    sender.read(testConverter());
    return std::string(sender.nameClaimed() ? sender.nameClaim() : "?");
}

TEST(NameClaims, ReadEachFormAndPassOverWhatIsNoDomain) {
    const struct {
        const char* name;
        std::string value;
        const char* claim;
    } cases[] = {
        {"a domain name", R"("Amazon.co.jp" <info@xyz.example>)", "amazon.co.jp"},
        {"the address's own domain", R"("Amazon.co.jp" <x@amazon.co.jp>)", "?"},
        {"a name below the address's organizational domain", R"("mail.shop.example.jp" <a@news.shop.example.jp>)", "?"},
        {"the domain of an address, not its local part", R"("support.center@paypal.com" <a@b.example>)", "paypal.com"},
        {"an address naming itself", "\"service@paypal.com <service@paypal.com>\" (service@paypal.com) <x@evil.example>",
         "paypal.com"},
        {"full-width letters and stop", "\"ＰａｙＰａｌ．ｃｏｍ\" <a@b.example>", "paypal.com"},
        {"ideographic full stops", "Amazon。co。jp <a@b.example>", "amazon.co.jp"},
        {"a half-width full stop", "Amazon｡co｡jp <a@b.example>", "amazon.co.jp"},
        {"a full-width address", "ｓｕｐｐｏｒｔ＠ｐａｙｐａｌ．ｃｏｍ <a@b.example>", "paypal.com"},
        {"an encoded word", "=?UTF-8?B?44Ki44Oe44K+44OzIO+8oe+9je+9ge+9mu+9j++9ju+8ju+9g++9j++8ju+9iu+9kA==?= <a@b.example>",
         "amazon.co.jp"},
        {"a quoted, escaped name", R"("Pay\"Pal\\ paypal.com" <a@b.example>)", "paypal.com"},
        {"a comment in the phrase", R"(Amazon (amazon.co.jp) <a@b.example>)", "amazon.co.jp"},
        {"the comments of an address without '<'", "a@b.example (Amazon.co.jp)", "amazon.co.jp"},
        {"an address without '<' claims nothing by itself", "service@paypal.com", "?"},
        {"the first differing claim, in order", R"("shop.b.example and paypal.com, not ebay.com" <a@b.example>)", "paypal.com"},
        {"the first address's name only", R"("Shop" <a@b.example>, "Amazon.co.jp" <x@y.example>)", "?"},
        // The parts before the first address are part of its name, as a
        // client shows it.
        {"a comma in a bare phrase", "PayPal Service, paypal.com <a@b.example>", "paypal.com"},
        {"a quoted part before a comma", R"("Support" , "paypal.com" <a@b.example>)", "paypal.com"},
        {"a part before an address without '<'", "paypal.com, a@b.example", "paypal.com"},
        {"a part before, then the comments", "Support, a@b.example (amazon.co.jp)", "amazon.co.jp"},
        {"a bracket without an address before", "Support <paypal.com>, <a@b.example>", "paypal.com"},
        {"a bracket with a look-alike '@'", "<service\uFF20paypal.com>, a@b.example", "paypal.com"},
        {"a brand's own suffix", R"("GitHub.io" <a@b.example>)", "github.io"},
        {"an address under a newer generic suffix", R"("help@amazon.shop" <a@b.example>)", "amazon.shop"},
        {"punctuation around it", R"("go to www.paypal.com!" <a@b.example>)", "paypal.com"},
        {"a trailing dot", R"("Amazon.co.jp." <a@b.example>)", "amazon.co.jp"},
        {"a folded field as the line cut leaves it", [] {
             constexpr char kFolded[] = "\"Amazon.co.jp\0\n\t\" <a@b.example>";
             return std::string(kFolded, sizeof kFolded - 1);
         }(),
         "amazon.co.jp"},
        // What is no claim.
        {"a word", R"(PayPal <a@b.example>)", "?"},
        {"an unlisted last label", R"(Mr.Smith <a@b.example>)", "?"},
        {"a title under a newer generic suffix", R"("Dr.med. Anna Schmidt" <a@b.example>)", "?"},
        {"a nickname under one", R"("Matt.Dev" <a@b.example>)", "?"},
        {"a word under one", R"(Amazon.Shop <a@b.example>)", "?"},
        {"an initial before a listed label", R"(Craig R.Hughes <a@b.example>)", "?"},
        {"a public suffix alone", R"("co.jp" <a@b.example>)", "?"},
        {"an address at a public suffix", R"("x@com" <a@b.example>)", "?"},
        {"an address at no domain name", R"("root@localhost" <a@b.example>)", "?"},
        {"an '@' with no domain after it, a domain before", R"("a@paypal.com@/x" <a@b.example>)", "?"},
        {"a label that is no host name's", R"("-amazon.co.jp" <a@b.example>)", "?"},
        {"no display name", "<a@b.example>", "?"},
        {"no address: nobody's name", "paypal.com", "?"},
        {"nothing at all", "", "?"},
        {"a From domain that cannot be shown", R"("Amazon.co.jp" <x@?>)", "amazon.co.jp"},
    };
    for (const auto& c : cases) EXPECT_EQ(claimOf(c.value), c.claim) << c.name;
}

TEST(NameClaims, HostileNamesCostTheirLength) {
    std::string words;
    while (words.size() < 65536) words += "x.";
    std::string encoded;
    while (encoded.size() < 65536) encoded += "=?UTF-8?Q?x?= ";
    std::string nested(65536, '(');
    const struct {
        const char* name;
        std::string value;
        const char* claim;
    } cases[] = {
        {"64 KiB of labels, then a claim", "\"" + words + "com amazon.co.jp\" <a@b.example>", "amazon.co.jp"},
        {"64 KiB of one word", "\"" + std::string(65536, 'a') + ".com\" <a@b.example>", "?"},
        {"64 KiB of encoded words", encoded + "paypal.com <a@b.example>", "paypal.com"},
        {"64 KiB of comments nested around a claim", nested + "paypal.com" + std::string(65536, ')') + " <a@b.example>",
         "paypal.com"},
        {"64 KiB of comments left open: no address", nested + " paypal.com <a@b.example>", "?"},
        {"a local part of 64 KiB", "\"" + std::string(65536, 'a') + "@paypal.com\" <a@b.example>", "paypal.com"},
        {"64 KiB of lead bytes", "\"" + std::string(65536, '\x81') + "\" <a@b.example>", "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(claimOf(c.value), c.claim) << c.name;
}

// Every full-width form of ASCII as this platform's converter writes it in
// code page 932 reads as its ASCII character.
TEST(NameClaims, FullWidthFormsFoldToAscii) {
    for (char32_t c = 0xFF01; c <= 0xFF5E; ++c) {
        const char utf8[] = {static_cast<char>(0xEF), static_cast<char>(0xBC + ((c >> 6) & 1)),
                             static_cast<char>(0x80 | (c & 0x3F))};
        std::string bytes;
        ASSERT_TRUE(testConverter().toCodePage932(*charsetNamed("utf-8"), std::string_view(utf8, 3), bytes));
        std::size_t length = 0;
        EXPECT_EQ(foldedAscii(bytes, 0, length), static_cast<char>(0x21 + (c - 0xFF01))) << std::hex << c;
        EXPECT_EQ(length, bytes.size()) << std::hex << c;
    }
}

}  // namespace
