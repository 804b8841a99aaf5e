// What a From field's display name claims, as the From reader finds the
// name: each form of claim, the names that claim nothing, and hostile names.
#include "fields/name_claims.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "charset/charsets.h"
#include "fake_host.h"
#include "fields/from_field.h"
#include "senders/confusables.h"

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
        {"what follows the first address too", R"("Shop" <a@b.example>, "Amazon.co.jp" <x@y.example>)", "amazon.co.jp"},
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
        // Read as a person reads them: invisible characters dropped, dots
        // and look-alikes of other scripts read as ASCII.
        {"a Cyrillic o", "\"PayPal.c\xD0\xBEm\" <a@b.example>", "paypal.com"},
        {"a Cherokee M, whose prototype is rn, as m's", "\"PayPal.co\xE1\x8E\xB7\" <a@b.example>", "paypal.com"},
        {"an invisible zero-width space", "\"PayPal\xE2\x80\x8B.com\" <a@b.example>", "paypal.com"},
        {"a soft hyphen", "\"Pay\xC2\xADPal.com\" <a@b.example>", "paypal.com"},
        {"a one dot leader", "\"PayPal\xE2\x80\xA4" "com\" <a@b.example>", "paypal.com"},
        {"a small full stop", "\"PayPal\xEF\xB9\x92" "com\" <a@b.example>", "paypal.com"},
        {"mathematical bold letters", "\"\xF0\x9D\x90\x8F\xF0\x9D\x90\x9A\xF0\x9D\x90\xB2.com\" <a@b.example>",
         "pay.com"},
        {"a Greek o in an encoded word", "=?UTF-8?B?UGF5UGFsLmPOv20=?= <a@b.example>", "paypal.com"},
        {"a Cyrillic o in a word of ISO-2022-JP", "=?ISO-2022-JP?B?UGF5UGFsLmMbJEInYBsoQm0=?= <a@b.example>", "paypal.com"},
        {"a Cyrillic o in raw Shift-JIS", "PayPal.c\x84\x80m <a@b.example>", "paypal.com"},
        {"full-width letters in raw ISO-2022-JP", "\x1B$B#P#a#y#P#a#l!%#c#o#m\x1B(B <a@b.example>", "paypal.com"},
        {"a byte alone before raw ISO-2022-JP's shift back", "\x1B$B#P#\x1B(BAmazon.co.jp <a@b.example>",
         "amazon.co.jp"},
        {"a break inside raw ISO-2022-JP", "\x1B$B#P#a#y\n#P#a#l!%#c#o#m\x1B(B <a@b.example>", "paypal.com"},
        {"a digit one stays a one", "\"PayPa1.com\" <a@b.example>", "paypa1.com"},
        {"a right-to-left override", "\"\xE2\x80\xAEmoc.laPyaP\" <a@b.example>", "paypal.com"},
        {"an override and its pop", "\"Shop \xE2\x80\xAEmoc.laPyaP\xE2\x80\xAC\" <a@b.example>", "paypal.com"},
        {"script letters, one outside their block",
         "\"\xF0\x9D\x92\xAB\xF0\x9D\x92\xB6\xF0\x9D\x93\x8E.c\xE2\x84\xB4m\" <a@b.example>", "pay.com"},
        {"roman numerals", "\"PayPa\xE2\x85\xBC.\xE2\x85\xBDom\" <a@b.example>", "paypal.com"},
        {"circled letters", "\"\xE2\x93\x85\xE2\x92\xB6\xE2\x93\x8E.com\" <a@b.example>", "pay.com"},
        {"a letter with a mark", "\"PayPal\xCC\xA3.com\" <a@b.example>", "paypal.com"},
        {"a Lisu full stop", "\"PayPal\xEA\x93\xB8" "com\" <a@b.example>", "paypal.com"},
        {"words joined by hyphens after a domain", R"("PayPal.com-Support-Team" <a@b.example>)", "paypal.com"},
        {"raw UTF-8 broken by a byte",
         "\"\xEF\xBC\xB0\xEF\xBD\x81\xEF\xBD\x99.\xEF\xBD\x83\xEF\xBD\x8F\xEF\xBD\x8D\xFF\" <a@b.example>",
         "pay.com"},
        {"raw UTF-8 beside a word that cannot be decoded, raw Shift-JIS after it",
         "\"PayPal.c\xD0\xBEm =?x-unknown?Q?a?= \x99 Amazon.co.jp\" <a@b.example>", "paypal.com"},
        {"raw EUC-JP full-width letters", "\xA3\xD0\xA3\xE1\xA3\xF9\xA1\xA5\xA3\xE3\xA3\xEF\xA3\xED <a@b.example>",
         "pay.com"},
        // A whole domain before a newer generic label still claims it.
        {"a country's domain before one", R"("Amazon.co.jp.shop" <a@b.example>)", "amazon.co.jp"},
        {"a domain before one", R"("paypal.com.app" <a@b.example>)", "paypal.com"},
        {"a domain before two", R"("paypal.com.app.shop" <a@b.example>)", "paypal.com"},
        // Every word a client shows beside the address.
        {"words before a bare address", R"("PayPal.com" x@evil.example)", "paypal.com"},
        {"a comment after the brackets", "<a@b.example> (PayPal.com)", "paypal.com"},
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

// Each Greek and Cyrillic letter of code page 932, as this platform's
// converter writes it, reads as the letter it looks like, the same as the
// letter in UTF-8: "paypal.cOm" claims paypal.com for the look-alikes of o
// only.
TEST(NameClaims, GreekAndCyrillicOfCodePage932ReadAsInUnicode) {
    std::vector<char32_t> letters = {0x0401, 0x0451};
    for (char32_t c = 0x0391; c <= 0x03C9; ++c) {
        if (c != 0x03A2 && c != 0x03C2 && (c <= 0x03A9 || c >= 0x03B1)) letters.push_back(c);
    }
    for (char32_t c = 0x0410; c <= 0x044F; ++c) letters.push_back(c);
    char32_t o[kLongestConfusable];
    const std::size_t oLength = confusableMapping('o', o);
    std::size_t looksLikeO = 0;
    for (const char32_t c : letters) {
        const char utf8[] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        std::string bytes;
        ASSERT_TRUE(testConverter().toCodePage932(*charsetNamed("utf-8"), std::string_view(utf8, 2), bytes));
        ASSERT_EQ(bytes.size(), 2u) << std::hex << c;
        // Confusables hold small letters: a capital reads as its small one.
        const bool capital = (c >= 0x0391 && c <= 0x03A9) || (c >= 0x0410 && c <= 0x042F);
        const char32_t small = c == 0x0401 ? 0x0451 : capital ? c + 0x20 : c;
        char32_t own[kLongestConfusable];
        const std::size_t length = confusableMapping(small, own);
        const bool isO = length == oLength && std::equal(own, own + length, o);
        looksLikeO += isO ? 1 : 0;
        const char* expected = isO ? "paypal.com" : "?";
        EXPECT_EQ(claimOf("paypal.c" + bytes + "m <a@b.example>"), expected) << std::hex << c;
        EXPECT_EQ(claimOf("paypal.c" + std::string(utf8, 2) + "m <a@b.example>"), expected) << std::hex << c;
    }
    EXPECT_EQ(looksLikeO, 6u);  // omicron, sigma and Cyrillic o, each small and capital
}

// The scripts the reader passes over hold no look-alike of a letter, digit
// or dot, by the confusables or in their compatibility form.
TEST(NameClaims, ScriptsReadWithoutLookupHoldNoLookAlikes) {
    std::vector<std::vector<char32_t>> prototypes;
    for (const char c : std::string("abcdefghijklmnopqrstuvwxyz0123456789.")) {
        char32_t points[kLongestConfusable];
        prototypes.emplace_back(points, points + confusableMapping(static_cast<unsigned char>(c), points));
    }
    for (const auto& range : kNoLookAlikes) {
        std::string text;
        for (char32_t c = range[0]; c <= range[1]; ++c) {
            char32_t points[kLongestConfusable];
            const std::vector<char32_t> own(points, points + confusableMapping(c, points));
            EXPECT_EQ(std::count(prototypes.begin(), prototypes.end(), own), 0) << std::hex << c;
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
        std::string compatible;
        ASSERT_TRUE(testConverter().toCompatibilityForm(text, compatible)) << std::hex << range[0];
        EXPECT_EQ(compatible.find_first_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789."),
                  std::string::npos)
            << std::hex << range[0];
    }
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
