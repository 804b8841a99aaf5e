// Encoded words through this platform's converter: the same table runs
// natively on iconv and under Wine on the converters the DLL uses.
#include "charset/encoded_words.h"

#include "fake_host.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "charset/charsets.h"
namespace {

std::string decoded(const std::string& line) {
    ViewText out;
    AppendTo<ViewText> sink(out);
    appendDecoded(line, testConverter(), sink);
    return std::string(out.data(), out.size());
}

TEST(EncodedWords, DecodeIntoCodePage932OrStayAsWritten) {
    const struct {
        const char* name;
        std::string line;
        std::string expected;
    } cases[] = {
        {"ISO-2022-JP, B", "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", "Subject: テスト"},
        {"language suffix, lower-case b", "=?iso-2022-jp*ja?b?GyRCJUYlOSVIGyhC?=", "テスト"},
        {"Shift_JIS, Q", "=?shift_jis?Q?=83e=83X=83g?=", "テスト"},
        {"Shift_JIS under another name", "=?Windows-31J?q?=83e=83X=83g?=", "テスト"},
        {"UTF-8, B", "=?UTF-8?B?44OG44K544OI?=", "テスト"},
        {"EUC-JP", "=?euc-jp?B?pcaluaXI?=", "テスト"},
        {"koi8-r Cyrillic", "=?koi8-r?B?8NLJ18XU?=", "Привет"},
        {"windows-1251 Cyrillic", "=?windows-1251?B?z/Do4uXy?=", "Привет"},
        {"gb2312 and big5", "=?gb2312?B?1tDOxA==?= =?big5?B?pKSk5Q==?=", "中文中文"},
        {"Hangul, which code page 932 lacks", "=?utf-8?B?7ZWc?= =?euc-kr?B?x9E=?=", "??"},
        {"e acute: no best fit", "=?iso-8859-1?Q?caf=E9?=", "caf?"},
        {"an emoji is one ?", "=?utf-8?B?8J+YgA==?=!", "?!"},
        {"adjacent words lose the blanks between", "=?utf-8?q?a?= \t =?us-ascii?Q?b_c?= d", "ab c d"},
        {"a character split over two words", "=?UTF-8?B?44M=?= =?UTF-8?B?hg==?=", "テ"},
        {"words inside other text", "(=?utf-8?q?a?=)x=?utf-8?q?b?=", "(a)xb"},
        {"missing padding", "=?utf-8?b?YQ?= =?utf-8?b?YWI?=", "aab"},
        {"an empty word", "a =?utf-8?q?\?= b", "a  b"},
        {"unknown charset", "=?x-klingon?q?a?= =?utf-8?q?b?=", "=?x-klingon?q?a?= b"},
        {"bad base64", "=?utf-8?b?!!!!?= =?utf-8?b?Y?= =?utf-8?b?YQ=a?=",
         "=?utf-8?b?!!!!?= =?utf-8?b?Y?= =?utf-8?b?YQ=a?="},
        {"bad Q", "=?utf-8?q?=G1?= =?utf-8?q?=4?=", "=?utf-8?q?=G1?= =?utf-8?q?=4?="},
        {"invalid bytes keep the whole run", "=?utf-8?q?=E3?=  =?utf-8?q?a?= =?us-ascii?q?b?=",
         "=?utf-8?q?=E3?=  =?utf-8?q?a?= b"},
        {"8-bit us-ascii", "=?us-ascii?q?=E9?=", "=?us-ascii?q?=E9?="},
        {"not words", "=?utf-8?x?a?= =?utf-8?q?a b?= =??q?a?= =?utf-8?q?a?", 
         "=?utf-8?x?a?= =?utf-8?q?a b?= =??q?a?= =?utf-8?q?a?"},
        {"a forged line", "Subject: =?utf-8?Q?x=0AX-Spam-Status:_No?=", "Subject: x X-Spam-Status: No"},
        {"every control byte is a blank", "=?utf-8?q?a=00b=09c=0Dd=7F?=", "a b c d "},
        {"JIS characters code page 932 holds in other forms", "=?iso-2022-jp?b?GyRCIUEhQiFdIXEhciJMGyhKXH4bKEI=?=",
         "～∥－￠￡￢\\~"},
        {"the same from EUC-JP", "=?euc-jp?b?ocGh3Q==?=", "～－"},
        {"ISO-2022-JP: half-width kana", "=?iso-2022-jp?b?GyhJMRsoQg==?=", "=?iso-2022-jp?b?GyhJMRsoQg==?="},
        {"ISO-2022-JP: a pair cut short", "=?iso-2022-jp?b?GyRCJUYlGyhC?=", "=?iso-2022-jp?b?GyRCJUYlGyhC?="},
        {"ISO-2022-JP: an 8-bit byte", "=?iso-2022-jp?b?YaRi?=", "=?iso-2022-jp?b?YaRi?="},
        {"EUC-JP: a pair cut short, a bad kana", "=?euc-jp?b?pA==?= =?euc-jp?b?jkE=?=",
         "=?euc-jp?b?pA==?= =?euc-jp?b?jkE=?="},
    };
    for (const auto& c : cases) EXPECT_EQ(decoded(c.line), c.expected) << c.name;
}

// Every name of the table is known and converts here, whatever its case.
TEST(EncodedWords, EveryCharsetOfTheTableReads) {
    for (std::size_t i = 0; i < kCharsetCount; ++i) {
        std::string name(kCharsets[i].name);
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ASSERT_NE(charsetNamed(name), nullptr) << name;
        EXPECT_EQ(charsetNamed(name)->codePage, kCharsets[i].codePage) << name;
        EXPECT_EQ(decoded("=?" + name + "?Q?a_b?="), "a b") << name;
    }
}

#ifndef _WIN32
// The C library's reading of one byte in a charset: its code point, or 0
// where it refuses the byte.
std::uint32_t libraryReading(std::string_view charset, unsigned char byte) {
    const iconv_t reader = iconv_open("UTF-32LE", std::string(charset).c_str());
    if (reader == reinterpret_cast<iconv_t>(-1)) return 0xFFFFFFFF;
    char in[] = {static_cast<char>(byte)};
    char* inAt = in;
    std::size_t inLeft = 1;
    std::uint32_t unicode = 0;
    char* outAt = reinterpret_cast<char*>(&unicode);
    std::size_t outLeft = sizeof unicode;
    const bool read = iconv(reader, &inAt, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(reader);
    return read ? unicode : 0;
}

// The ISO 8859 parts that Windows lacks are read from tables of ours, which
// the fuzzer cannot check: it reads them through the same tables.
TEST(Charsets, TheOwnTablesAgreeWithTheCLibrary) {
    for (std::size_t i = 0; i < kCharsetCount; ++i) {
        const Charset& charset = kCharsets[i];
        if (charset.upperHalf == nullptr) continue;
        for (unsigned byte = 0xA0; byte <= 0xFF; ++byte) {
            EXPECT_EQ((*charset.upperHalf)[byte - 0xA0], libraryReading(charset.name, static_cast<unsigned char>(byte)))
                << charset.name << " byte " << std::hex << byte;
        }
    }
}
#endif

#ifdef _WIN32
bool mlangPresent() {
    const HMODULE mlang = LoadLibraryA("mlang.dll");
    if (mlang != nullptr) FreeLibrary(mlang);
    return mlang != nullptr;
}
#else
bool mlangPresent() { return true; }  // natively there is none to go without
#endif

// Run with mlang.dll disabled, the DLL must still load and leave the words
// that need it as they are.
TEST(EncodedWordsWithoutMlang, JapaneseSevenAndEightBitWordsStayEncoded) {
    if (mlangPresent()) GTEST_SKIP() << "mlang is present";
    EXPECT_EQ(decoded("=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?euc-jp?B?pcaluaXI?="),
              "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?euc-jp?B?pcaluaXI?=");
    EXPECT_EQ(decoded("=?UTF-8?B?44OG44K544OI?="), "テスト");
}

}  // namespace
