// Punycode read back: RFC 3492's own samples, round trips through the
// encoder, and every way a label can fail to be Punycode.
#include "text/punycode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The code points punycode decodes to; "!" when it does not decode.
std::u32string decoded(std::string_view punycode, std::size_t capacity = 63) {
    char32_t out[128];
    const std::size_t length = decodePunycode(punycode, out, capacity);
    return length == 0 ? U"!" : std::u32string(out, length);
}

TEST(Punycode, DecodesTheSamplesOfItsRfcAndEncodesThemBack) {
    const struct {
        std::u32string text;
        const char* punycode;
    } cases[] = {
        {U"\u0644\u064A\u0647\u0645\u0627\u0628\u062A\u0643\u0644\u0645\u0648\u0634\u0639\u0631\u0628\u064A\u061F",
         "egbpdaj6bu4bxfgehfvwxn"},
        {U"\u4ED6\u4EEC\u4E3A\u4EC0\u4E48\u4E0D\u8BF4\u4E2D\u6587", "ihqwcrb4cv8a8dqg056pqjye"},
        {U"\u4ED6\u5011\u7232\u4EC0\u9EBD\u4E0D\u8AAA\u4E2D\u6587", "ihqwctvzc91f659drss3x8bo0yb"},
        {U"Pro\u010Dprost\u011Bnemluv\u00ED\u010Desky", "Proprostnemluvesky-uyb24dma41a"},
        {U"\u05DC\u05DE\u05D4\u05D4\u05DD\u05E4\u05E9\u05D5\u05D8\u05DC\u05D0\u05DE\u05D3\u05D1\u05E8\u05D9\u05DD"
         U"\u05E2\u05D1\u05E8\u05D9\u05EA",
         "4dbcagdahymbxekheh6e0a7fei0b"},
        {U"\u092F\u0939\u0932\u094B\u0917\u0939\u093F\u0928\u094D\u0926\u0940\u0915\u094D\u092F\u094B\u0902\u0928"
         U"\u0939\u0940\u0902\u092C\u094B\u0932\u0938\u0915\u0924\u0947\u0939\u0948\u0902",
         "i1baa7eci9glrd9b2ae1bj0hfcgg6iyaf8o0a1dig0cd"},
        {U"\u306A\u305C\u307F\u3093\u306A\u65E5\u672C\u8A9E\u3092\u8A71\u3057\u3066\u304F\u308C\u306A\u3044\u306E"
         U"\u304B",
         "n8jok5ay5dzabd5bym9f0cm5685rrjetr6pdxa"},
        {U"\uC138\uACC4\uC758\uBAA8\uB4E0\uC0AC\uB78C\uB4E4\uC774\uD55C\uAD6D\uC5B4\uB97C\uC774\uD574\uD55C\uB2E4"
         U"\uBA74\uC5BC\uB9C8\uB098\uC88B\uC744\uAE4C",
         "989aomsvi5e83db1d2a355cv1e0vak1dwrv93d5xbh15a0dt30a5jpsd879ccm6fea98c"},
        {U"\u043F\u043E\u0447\u0435\u043C\u0443\u0436\u0435\u043E\u043D\u0438\u043D\u0435\u0433\u043E\u0432\u043E"
         U"\u0440\u044F\u0442\u043F\u043E\u0440\u0443\u0441\u0441\u043A\u0438",
         "b1abfaaepdrnnbgefbadotcwatmq2g4l"},
        {U"Porqu\u00E9nopuedensimplementehablarenEspa\u00F1ol", "PorqunopuedensimplementehablarenEspaol-fmd56a"},
        {U"T\u1EA1isaoh\u1ECDkh\u00F4ngth\u1EC3ch\u1EC9n\u00F3iti\u1EBFngVi\u1EC7t",
         "TisaohkhngthchnitingVit-kjcr8268qyxafd2f1b9g"},
        {U"3\u5E74B\u7D44\u91D1\u516B\u5148\u751F", "3B-ww4c5e180e575a65lsy2b"},
        {U"\u5B89\u5BA4\u5948\u7F8E\u6075-with-SUPER-MONKEYS", "-with-SUPER-MONKEYS-pc58ag80a8qai00g7n9n"},
        {U"Hello-Another-Way-\u305D\u308C\u305E\u308C\u306E\u5834\u6240", "Hello-Another-Way--fc4qua05auwb3674vfr0b"},
        {U"\u3072\u3068\u3064\u5C4B\u6839\u306E\u4E0B2", "2-u9tlzr9756bt3uc0v"},
        {U"Maji\u3067Koi\u3059\u308B5\u79D2\u524D", "MajiKoi5-783gue6qz075azm5e"},
        {U"\u30D1\u30D5\u30A3\u30FCde\u30EB\u30F3\u30D0", "de-jg4avhby1noc0d"},
        {U"\u305D\u306E\u30B9\u30D4\u30FC\u30C9\u3067", "d9juau41awczczp"},
        {U"-> $1.00 <-", "-> $1.00 <--"},
        // Names a look-alike might use.
        {U"\u0430mazon", "mazon-3ve"},
        {U"b\u00FCcher", "bcher-kva"},
        {U"\U0010FFFF", "dn32g"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decoded(c.punycode, 128), c.text) << c.punycode;
        char back[128];
        EXPECT_EQ(std::string(back, encodePunycode(c.text, back, sizeof back)), c.punycode) << c.punycode;
    }
}

TEST(Punycode, RefusesWhatIsNoPunycode) {
    const struct {
        const char* name;
        std::string punycode;
        std::size_t capacity;
    } cases[] = {
        {"nothing", "", 63},
        {"a delimiter alone", "-", 63},
        {"a delimiter first, read as a digit", "-abc", 63},
        {"a number cut short", "mazon-3v", 63},
        {"a byte that is no digit", "mazon-3v_", 63},
        {"a byte beyond ASCII among the basic ones", "\xC3\xA4mazon-3ve", 63},
        {"a number past 32 bits", "99999999999", 63},
        {"a code point past U+10FFFF", "do32g", 63},
        {"more code points than room", "bcher-kva", 5},
        {"more basic code points than room", "abcdefg-", 6},
    };
    for (const auto& c : cases) EXPECT_EQ(decoded(c.punycode, c.capacity), U"!") << c.name;
    EXPECT_EQ(decoded("MAZON-3VE"), U"\u0430MAZON") << "digits of either case";
    EXPECT_EQ(decoded("abc-"), U"abc") << "basic code points only";
    char small[5];
    EXPECT_EQ(encodePunycode(U"\u00FC\u00FC\u00FC\u00FC\u00FC", small, sizeof small), 0u) << "too long for its room to write";
}

}  // namespace
