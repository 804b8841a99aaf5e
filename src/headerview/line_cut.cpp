#include "headerview/line_cut.h"

#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define QM_BLOCK_SCAN 1
#endif

namespace {

constexpr bool isBreakOrEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// The first NUL, CR or LF at or after at, a byte at a time.
char* findLineEndByBytes(char* at, bool* holdsWordStart) {
    for (;; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        // Most bytes are above CR: one comparison each tells them from the ends.
        if (byte <= '\r' && isBreakOrEnd(*at)) return at;
        if (holdsWordStart != nullptr && byte == '=' && at[1] == '?') *holdsWordStart = true;
    }
}

#ifdef QM_BLOCK_SCAN
// The same, sixteen bytes at a time. Loads are aligned, so none reaches into
// a page the text does not reach; bytes of the first block before at are
// masked off. The bytes past the text's NUL in its last block are read but
// never used, which the address sanitizer cannot tell from an overflow.
__attribute__((target("sse2"), no_sanitize("address"))) char* findLineEndByBlocks(char* at,
                                                                                   bool* holdsWordStart) {
    const __m128i thirteen = _mm_set1_epi8(13);
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i zero = _mm_setzero_si128();
    char* block = reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(at) & ~std::uintptr_t{15});
    unsigned keep = ~0u << (at - block);
    for (;; block += 16, keep = ~0u) {
        const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
        // A byte of 13 or less is the only kind that can end a line.
        __m128i marked = _mm_cmpeq_epi8(_mm_subs_epu8(bytes, thirteen), zero);
        if (holdsWordStart != nullptr) marked = _mm_or_si128(marked, _mm_cmpeq_epi8(bytes, equals));
        for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(marked)) & keep; bits != 0;
             bits &= bits - 1) {
            char* byte = block + __builtin_ctz(bits);
            if (isBreakOrEnd(*byte)) return byte;
            // '=' is no end, so the byte after it is still in the text.
            if (*byte == '=' && byte[1] == '?') *holdsWordStart = true;
        }
    }
}
#endif

}  // namespace

LineScan fastestLineScan() {
#ifdef QM_BLOCK_SCAN
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") ? LineScan::kBlocks : LineScan::kBytes;
#else
    return LineScan::kBytes;
#endif
}

char* cutHeaderLine(char*& cursor, std::size_t& length, LineScan scan, bool* holdsWordStart) {
    char* line = cursor;
    while (*line == '\r' || *line == '\n') ++line;
    if (*line == '\0') {
        cursor = line;
        return nullptr;
    }
    if (holdsWordStart != nullptr) *holdsWordStart = false;
#ifdef QM_BLOCK_SCAN
    char* end = scan == LineScan::kBlocks ? findLineEndByBlocks(line, holdsWordStart)
                                          : findLineEndByBytes(line, holdsWordStart);
#else
    static_cast<void>(scan);
    char* end = findLineEndByBytes(line, holdsWordStart);
#endif
    length = static_cast<std::size_t>(end - line);
    if (*end != '\0') {
        *end = '\0';
        ++end;
    }
    cursor = end;
    return line;
}

char* nextHeaderLine(char*& cursor, std::size_t& length) {
    return cutHeaderLine(cursor, length, fastestLineScan(), nullptr);
}
