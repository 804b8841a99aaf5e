#include "charset/iconv_converter.h"

#include <idn2.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <cstdlib>

namespace {

const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

bool convert(iconv_t cd, const void* from, std::size_t fromSize, void* to, std::size_t toSize,
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

// The whole of bytes as UTF-32; false at any byte sequence invalid in the charset.
bool read(iconv_t reader, std::string_view bytes, std::vector<char32_t>& unicode) {
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

}  // namespace

IconvConverter::IconvConverter()
    : bmp_(0x10000),
      toCodePage932_(iconv_open("CP932", "UTF-32LE")),
      fromCodePage932_(iconv_open("UTF-32LE", "CP932")) {}

IconvConverter::~IconvConverter() {
    for (const auto& reader : readers_) {
        if (reader.second != kNone) iconv_close(reader.second);
    }
    for (const iconv_t cd : {toCodePage932_, fromCodePage932_}) {
        if (cd != kNone) iconv_close(cd);
    }
}

bool IconvConverter::toCodePage932(const Charset& charset, std::string_view bytes, std::string& out) {
    const iconv_t reader = readerOf(charset);
    if (reader == kNone) return false;
    std::vector<char32_t> unicode;
    if (!read(reader, bytes, unicode)) return false;
    for (const char32_t c : unicode) appendCharacter(charset.jis ? codePage932FormOfJis(c) : c, out);
    return true;
}

// Opening costs far more than converting.
iconv_t IconvConverter::readerOf(const Charset& charset) {
    const auto found = readers_.find(charset.codePage);
    if (found != readers_.end()) return found->second;
    const char* name = charset.converterName;
    return readers_[charset.codePage] = name ? iconv_open("UTF-32LE", name) : kNone;
}

// One character as code page 932, or '?' when it has no exact mapping there.
void IconvConverter::appendCharacter(char32_t c, std::string& out) {
    if (c >= bmp_.size()) {
        out += '?';
        return;
    }
    std::string& known = bmp_[c];
    if (known.empty()) known = codePage932Of(c);
    out += known;
}

std::string IconvConverter::codePage932Of(char32_t c) {
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

bool IconvConverter::toAsciiDomain(std::string_view domain, std::string& ascii) {
    ascii.clear();
    // libidn2 reads up to a NUL: a name that holds one is no name.
    const std::string text(domain);
    if (text.empty() || text.find('\0') != std::string::npos) return false;
    char* mapped = nullptr;
    const int status = idn2_to_ascii_8z(text.c_str(), &mapped, IDN2_NONTRANSITIONAL);
    if (status == IDN2_OK) ascii = mapped;
    std::free(mapped);
    return status == IDN2_OK;
}

bool IconvConverter::toCompatibilityForm(std::string_view text, std::string& decomposed) {
    decomposed.clear();
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* const nfkd = unorm2_getNFKDInstance(&status);
    if (U_FAILURE(status) || text.size() > 1u << 24) return false;
    std::vector<UChar> units(text.size() + 1);
    int32_t unitCount = 0;
    u_strFromUTF8(units.data(), static_cast<int32_t>(units.size()), &unitCount, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) return false;
    std::vector<UChar> normal(static_cast<std::size_t>(unitCount) * 18 + 1);
    const int32_t normalCount =
        unorm2_normalize(nfkd, units.data(), unitCount, normal.data(), static_cast<int32_t>(normal.size()), &status);
    if (U_FAILURE(status)) return false;
    decomposed.resize(static_cast<std::size_t>(normalCount) * 3 + 1);
    int32_t length = 0;
    u_strToUTF8(&decomposed[0], static_cast<int32_t>(decomposed.size()), &length, normal.data(), normalCount, &status);
    decomposed.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return U_SUCCESS(status);
}
