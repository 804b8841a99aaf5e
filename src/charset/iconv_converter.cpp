// The native builds' converter, on the C library's iconv. It reads a charset
// into UTF-32 and then writes code page 932 a character at a time, keeping
// only mappings that come back unchanged: what Windows does when asked for no
// best-fit guesses (the C library would turn the yen sign into a backslash).
#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <map>
#include <vector>

#include "charset/charset_converter.h"
#include "charset/charsets.h"

namespace {

constexpr std::uint32_t kIso2022Jp = 50220;
constexpr std::uint32_t kEucJp = 51932;

const char* iconvNameOf(std::uint32_t codePage) {
    static const std::map<std::uint32_t, const char*> names = {
        {65001, "UTF-8"},       {50220, "ISO-2022-JP"}, {51932, "EUC-JP-MS"},      {932, "CP932"},
        {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},
        {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},
        {28599, "ISO-8859-9"},  {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {1250, "CP1250"},
        {1251, "CP1251"},       {1252, "CP1252"},       {1253, "CP1253"},       {1254, "CP1254"},
        {1255, "CP1255"},       {1256, "CP1256"},       {1257, "CP1257"},       {1258, "CP1258"},
        {936, "GBK"},           {950, "CP950"},          {949, "CP949"},         {20866, "KOI8-R"},
        {21866, "KOI8-U"},
    };
    const auto found = names.find(codePage);
    return found == names.end() ? nullptr : found->second;
}

class IconvConverter final : public CharsetConverter {
public:
    IconvConverter() = default;
    ~IconvConverter() {
        for (const auto& reader : readers_) {
            if (reader.second != kNone) iconv_close(reader.second);
        }
        for (const iconv_t cd : {toCodePage932_, fromCodePage932_}) {
            if (cd != kNone) iconv_close(cd);
        }
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool toCodePage932(std::uint32_t codePage, std::string_view bytes, std::string& out) override {
        const iconv_t reader = readerOf(codePage);
        if (reader == kNone) return false;
        std::vector<char32_t> unicode;
        if (!read(reader, bytes, unicode)) return false;
        const bool jis = codePage == kIso2022Jp || codePage == kEucJp;
        for (const char32_t c : unicode) appendCharacter(jis ? codePage932FormOfJis(c) : c, out);
        return true;
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    // Descriptors are opened once and kept: opening costs far more than converting.
    iconv_t readerOf(std::uint32_t codePage) {
        const auto found = readers_.find(codePage);
        if (found != readers_.end()) return found->second;
        const char* name = iconvNameOf(codePage);
        return readers_[codePage] = name ? iconv_open("UTF-32LE", name) : kNone;
    }

    // The whole of bytes as UTF-32; false at any byte sequence invalid in the charset.
    static bool read(iconv_t reader, std::string_view bytes, std::vector<char32_t>& unicode) {
        iconv(reader, nullptr, nullptr, nullptr, nullptr);
        std::vector<char> input(bytes.begin(), bytes.end());
        unicode.resize(bytes.size() + 4);  // never more characters than bytes, plus a flush
        char* in = input.data();
        std::size_t inLeft = input.size();
        auto* outStart = reinterpret_cast<char*>(unicode.data());
        char* outPos = outStart;
        std::size_t outLeft = unicode.size() * sizeof(char32_t);
        if (iconv(reader, &in, &inLeft, &outPos, &outLeft) == static_cast<std::size_t>(-1)) return false;
        if (iconv(reader, nullptr, nullptr, &outPos, &outLeft) == static_cast<std::size_t>(-1)) return false;
        unicode.resize(static_cast<std::size_t>(outPos - outStart) / sizeof(char32_t));
        return true;
    }

    // One character as code page 932, or '?' when it has no exact mapping
    // there. Characters of the BMP are looked up once and remembered.
    void appendCharacter(char32_t c, std::string& out) {
        if (c >= bmp_.size()) {
            out += '?';
            return;
        }
        std::string& known = bmp_[c];
        if (known.empty()) known = codePage932Of(c);
        out += known;
    }

    std::string codePage932Of(char32_t c) {
        char encoded[8];
        std::size_t length = 0;
        if (convert(toCodePage932_, &c, sizeof c, encoded, sizeof encoded, length)) {
            char32_t back = 0;
            std::size_t backLength = 0;
            if (convert(fromCodePage932_, encoded, length, &back, sizeof back, backLength) &&
                backLength == sizeof back && back == c) {
                return std::string(encoded, length);
            }
        }
        return "?";
    }

    static bool convert(iconv_t cd, const void* from, std::size_t fromSize, void* to, std::size_t toSize,
                        std::size_t& written) {
        if (cd == kNone) return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = static_cast<char*>(const_cast<void*>(from));
        char* outPos = static_cast<char*>(to);
        std::size_t outLeft = toSize;
        const bool ok = iconv(cd, &in, &fromSize, &outPos, &outLeft) != static_cast<std::size_t>(-1);
        written = toSize - outLeft;
        return ok;
    }

    std::map<std::uint32_t, iconv_t> readers_;
    std::vector<std::string> bmp_ = std::vector<std::string>(0x10000);
    const iconv_t toCodePage932_ = iconv_open("CP932", "UTF-32LE");
    const iconv_t fromCodePage932_ = iconv_open("UTF-32LE", "CP932");
};

}  // namespace

CharsetConverter& platformCharsetConverter() {
    static IconvConverter converter;
    return converter;
}
