// The From field as the trust lines read it: how many addresses it holds,
// the domain of the first, whether it is written plainly, and what its
// display name claims, for the forms legitimate mail writes and the forms
// that read one way to RFC 5322 and another to a person.
#include "fields/from_field.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_host.h"

namespace {

// "DOMAIN", then " unusual", " more than one" and " says CLAIM" as they
// hold; "(no From)" without an address.
std::string readingOf(const std::string& value) {
    Sender sender;
    sender.addField(value);
    sender.read(testConverter());
    if (!sender.hasAddress()) return "(no From)";
    std::string reading(sender.domain().text());
    if (sender.unusual()) reading += " unusual";
    if (sender.moreThanOne()) reading += " more than one";
    if (sender.nameClaimed()) reading += " says " + std::string(sender.nameClaim());
    return reading;
}

TEST(FromField, OnePlainMailboxOrNoPass) {
    const struct {
        const char* name;
        std::string value;
        const char* reading;
    } cases[] = {
        // Plain: the address alone, or a name and the address in brackets.
        {"an address alone", "service@paypal.com", "paypal.com"},
        {"a name and an address", "PayPal <service@paypal.com>", "paypal.com"},
        {"brackets alone", "<service@paypal.com>", "paypal.com"},
        {"comments after either", "service@paypal.com (PayPal)", "paypal.com"},
        {"a comment after the brackets", "<service@paypal.com> (PayPal)", "paypal.com"},
        {"comments that would close an encoded word", "<service@paypal.com> (x=?a)(b?Q?c?=)", "paypal.com"},
        {"a name with dots", "John Q. Public <jqp@example.com>", "example.com"},
        {"a quoted name holding brackets and '@'", R"("a@b <c>" <jqp@example.com>)", "example.com"},
        {"dots anywhere in the local part", "taro..yamada.@docomo.ne.jp", "docomo.ne.jp"},
        {"a quoted local part", R"("taro yamada"@example.com)", "example.com"},
        {"a quoted local part with an escape, after a name", R"(Taro <"taro\ yamada"@example.com>)", "example.com"},
        {"an encoded name", "=?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <taro@example.co.jp>", "example.co.jp"},
        {"a raw Shift-JIS name", "\x8E\x52\x93\x63 <taro@example.co.jp>", "example.co.jp"},
        // Second bytes that are '@' (ァ) and a backslash (表), in and out of quotes.
        {"Shift-JIS holding '@' and a backslash", "\x83\x40 \"\x95\x5C\" <taro@example.co.jp>", "example.co.jp"},
        {"a raw UTF-8 name", "\xE5\xB1\xB1\xE7\x94\xB0 <taro@example.co.jp>", "example.co.jp"},
        {"a raw ISO-2022-JP name", "\x1B$B;3ED\x1B(B <taro@example.co.jp>", "example.co.jp"},
        {"blanks inside the brackets", "< taro@example.com >", "example.com"},
        {"a folded field", std::string("Taro Yamada\0\n\t<taro@example.com>", 32), "example.com"},
        {"the name claims the address's own domain", R"("Amazon.co.jp" <x@amazon.co.jp>)", "amazon.co.jp"},
        {"a title that claims nothing", R"(Dr.med. Anna Schmidt <anna@example.de>)", "example.de"},
        {"a full-width domain in UTF-8", "a@\xEF\xBC\xB0\xEF\xBD\x81\xEF\xBD\x99\xEF\xBC\xB0\xEF\xBD\x81\xEF\xBD\x8C.com",
         "paypal.com"},
        {"an ideographic full stop", "a@paypal\xE3\x80\x82" "com", "paypal.com"},
        {"an internationalized domain", "a@B\xC3\xBC" "cher.de", "xn--bcher-kva.de"},
        // Unusual: RFC 5322 reads an address, a person may read another.
        {"a blank before a dot", "service@paypal .com", "paypal.com unusual"},
        {"a comment between the labels", "service@paypal (x).com", "paypal.com unusual"},
        {"a blank after the '@'", "Shop <service@ paypal.com>", "paypal.com unusual"},
        {"a name before a bare address", R"("PayPal.com" x@evil.example)", "evil.example unusual says paypal.com"},
        {"a route", "<@paypal.com:x@evil.example>", "evil.example unusual"},
        {"a quoted local part holding '@'", R"("service@paypal.com"@evil.example)", "evil.example unusual"},
        {"a word left after the domain", "service@paypal com", "paypal unusual"},
        {"a trailing dot", "service@paypal.com.", "paypal.com unusual"},
        {"a domain literal", "a@[192.0.2.1]", "? unusual"},
        {"a comment inside the brackets", "<a@b.example (x)>", "b.example unusual"},
        {"a comment before a bare address", "(PayPal.com) a@b.example", "b.example unusual says paypal.com"},
        {"an unclosed bracket", "Shop <a@b.example", "b.example unusual"},
        {"a group", "Team: a@b.example;", "b.example unusual"},
        {"an encoded word as the local part", "=?UTF-8?Q?service=40paypal.com?=@evil.example", "evil.example unusual"},
        {"an encoded word quoted as the local part", R"("=?UTF-8?B?c2VydmljZUBwYXlwYWwuY29t?="@evil.example)",
         "evil.example unusual"},
        {"an encoded word as the domain", "service@=?UTF-8?B?cGF5cGFsLmNvbQ==?=", "? unusual"},
        {"a backslash in the domain", "service@pay\\pal.com", "? unusual"},
        {"a control byte in the local part", "a\x01" "b@example.com", "example.com unusual"},
        {"a name in a charset unknown here", "=?x-unknown?Q?PayPal.com?= <a@b.example>",
         "b.example unusual says paypal.com"},
        {"a name broken in its charset", "=?UTF-8?B?UGF5UGFsLmNvbf8=?= <a@b.example>", "b.example unusual"},
        {"a part without an address before", "PayPal Service, paypal.com <a@b.example>", "b.example unusual says paypal.com"},
        {"an unclosed comment after", "a@b.example (PayPal", "b.example unusual"},
        // Two addresses, in one part or in several.
        {"two bare addresses", "service@paypal.com x@evil.example", "paypal.com more than one says evil.example"},
        {"brackets, then a bare address", "<x@evil.example> service@paypal.com", "evil.example more than one says paypal.com"},
        {"two '@'", "a@b.example@c.example", "b.example more than one says c.example"},
        {"two parts", "a@b.example, c@d.example", "b.example more than one says d.example"},
        // No address: a route, quotes, a comment or no '@' at all.
        {"only a route", "<@paypal.com>", "(no From)"},
        {"'@' in quotes", R"("service@paypal.com")", "(no From)"},
        {"'@' in a comment", "PayPal (service@paypal.com)", "(no From)"},
        {"an unclosed quote", R"("PayPal <service@paypal.com>)", "(no From)"},
        {"nothing", "", "(no From)"},
        // Domains that cannot be shown read no pass.
        {"a Shift-JIS domain", "a@\x83\x65\x83\x58\x83\x67.jp", "? unusual"},
        {"full-width letters in Shift-JIS, as a Japanese client shows them",
         "a@\x82\x90\x82\x81\x82\x99\x82\x90\x82\x81\x82\x8C.com", "paypal.com unusual"},
        {"an empty domain", "a@", "? unusual"},
    };
    for (const auto& c : cases) EXPECT_EQ(readingOf(c.value), c.reading) << c.name;
}

// The DMARC policy asked for is the domain's as read, plainly or not.
TEST(FromField, TheDomainAsReadIsAskedOfDns) {
    Sender sender;
    sender.addField("Shop <service@PayPal (x). com>");
    sender.read(testConverter());
    EXPECT_EQ(sender.dnsDomain(), "paypal.com");
    Sender unshown;
    unshown.addField("a@x_y!.Example.COM.");
    unshown.read(testConverter());
    EXPECT_EQ(unshown.domain().text(), "?");
    EXPECT_EQ(unshown.dnsDomain(), "x_y!.example.com");
}

TEST(FromField, HostileValuesCostTheirLength) {
    std::string tokens;
    while (tokens.size() < 65536) tokens += "a. (b) \"c\" ";
    const struct {
        const char* name;
        std::string value;
        const char* reading;
    } cases[] = {
        {"64 KiB of words and dots before an address", tokens + "<x@b.example>", "b.example"},
        {"64 KiB of local part", std::string(65536, 'a') + "@b.example", "b.example"},
        {"64 KiB of labels", "a@" + std::string(65536, 'b') + ".example", "? unusual"},
        {"64 KiB of dots after the domain", "a@b.example" + std::string(65536, '.'), "? unusual"},
        {"64 KiB of '@'", std::string(65536, '@'), "? more than one"},
        {"64 KiB of routes", std::string(32768, '<') + std::string(32768, '@'), "(no From)"},
        {"64 KiB of comments before an address", std::string(32768, '(') + std::string(32768, ')') + " a@b.example",
         "b.example unusual"},
    };
    for (const auto& c : cases) EXPECT_EQ(readingOf(c.value), c.reading) << c.name;
}

}  // namespace
