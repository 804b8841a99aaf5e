#include "text/punycode.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kBase = 36;
constexpr std::uint32_t kTMin = 1;
constexpr std::uint32_t kTMax = 26;
constexpr std::uint32_t kSkew = 38;
constexpr std::uint32_t kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr std::uint32_t kInitialN = 0x80;

char digitOf(std::uint32_t digit) { return static_cast<char>(digit < 26 ? 'a' + digit : '0' + (digit - 26)); }

std::uint32_t adapt(std::uint32_t delta, std::uint32_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    for (; delta > ((kBase - kTMin) * kTMax) / 2; k += kBase) delta /= kBase - kTMin;
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

}  // namespace

std::size_t encodePunycode(std::u32string_view codePoints, char* out, std::size_t capacity) {
    // Each code point takes a byte at least.
    if (codePoints.empty() || codePoints.size() > capacity) return 0;
    std::size_t length = 0;
    const auto put = [&](char c) {
        if (length == capacity) return false;
        out[length++] = c;
        return true;
    };
    for (const char32_t c : codePoints) {
        if (c < kInitialN && !put(static_cast<char>(c))) return 0;
    }
    const std::size_t basic = length;
    if (basic > 0 && !put('-')) return 0;

    std::uint32_t n = kInitialN;
    std::uint32_t delta = 0;
    std::uint32_t bias = kInitialBias;
    // Code points are below 0x110000 and no more than capacity, so delta
    // stays far below 2^32 for any capacity a host name needs.
    for (std::size_t handled = basic; handled < codePoints.size(); ++n, ++delta) {
        std::uint32_t next = 0x110000;
        for (const char32_t c : codePoints) {
            if (c >= n && c < next) next = c;
        }
        delta += (next - n) * static_cast<std::uint32_t>(handled + 1);
        n = next;
        for (const char32_t c : codePoints) {
            if (c < n) ++delta;
            if (c != n) continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t) break;
                if (!put(digitOf(t + (q - t) % (kBase - t)))) return 0;
                q = (q - t) / (kBase - t);
            }
            if (!put(digitOf(q))) return 0;
            bias = adapt(delta, static_cast<std::uint32_t>(handled + 1), handled == basic);
            delta = 0;
            ++handled;
        }
    }
    return length;
}

namespace {

// The value of a Punycode digit, or kBase for a byte that is none.
std::uint32_t valueOf(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<std::uint32_t>(c - 'a');
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint32_t>(c - 'A');
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0' + 26);
    return kBase;
}

}  // namespace

std::size_t decodePunycode(std::string_view punycode, char32_t* out, std::size_t capacity) {
    const std::size_t delimiter = punycode.rfind('-');
    const std::size_t basic = delimiter == std::string_view::npos ? 0 : delimiter;
    if (basic > capacity) return 0;
    std::size_t length = 0;
    for (; length < basic; ++length) {
        const auto c = static_cast<unsigned char>(punycode[length]);
        if (c >= kInitialN) return 0;
        out[length] = c;
    }

    std::uint32_t n = kInitialN;
    std::uint32_t i = 0;
    std::uint32_t bias = kInitialBias;
    constexpr std::uint32_t kMax = 0xFFFFFFFF;
    for (std::size_t at = basic > 0 ? basic + 1 : 0; at < punycode.size();) {
        // One generalized variable-length integer, added to i; every step
        // checked against 32 bits before it is taken.
        const std::uint32_t before = i;
        std::uint32_t weight = 1;
        for (std::uint32_t k = kBase;; k += kBase) {
            if (at == punycode.size()) return 0;
            const std::uint32_t digit = valueOf(punycode[at++]);
            if (digit >= kBase || digit > (kMax - i) / weight) return 0;
            i += digit * weight;
            const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
            if (digit < t) break;
            if (weight > kMax / (kBase - t)) return 0;
            weight *= kBase - t;
        }
        if (length == capacity) return 0;
        const auto points = static_cast<std::uint32_t>(length + 1);
        bias = adapt(i - before, points, before == 0);
        if (i / points > 0x10FFFF - n) return 0;
        n += i / points;
        i %= points;
        // Room for one more was checked above; i is at most length.
        for (std::size_t k = length; k > i; --k) out[k] = out[k - 1];
        out[i++] = n;
        ++length;
    }
    return length;
}
