#include "headerview/line_cut.h"

#include "text/ascii.h"
#include "text/sse2.h"

LineScan fastestLineScan() { return processorHasSse2() ? LineScan::kBlocks : LineScan::kBytes; }

LineCutter::LineCutter(char* text, LineScan scan, bool findWordStarts)
    : scan_(scan), findWordStarts_(findWordStarts), position_{text} {
    if (!isBreakOrNul(*text)) position_.lineStart = text;
#ifdef QM_BLOCK_SCAN
    if (scan == LineScan::kBlocks) {
        // The block that holds the text's first byte; its bytes before the
        // text are masked off.
        position_.at = reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(text) & ~std::uintptr_t{15});
        position_.firstMask = ~0u << (text - position_.at);
    }
#else
    scan_ = LineScan::kBytes;
#endif
}

namespace {

// byte is NUL, CR or LF. Ends the open line there, writing a NUL over the
// break's first byte, and skips the rest of the break. Returns where the next
// line begins, or null at the text's end.
inline char* endLine(char* byte, char*& lineStart, bool& holdsWordStart, CutLine* batch, std::size_t& count) {
    if (lineStart != nullptr) {
        batch[count++] = {lineStart, static_cast<std::uint32_t>(byte - lineStart), holdsWordStart};
        lineStart = nullptr;
        holdsWordStart = false;
        if (*byte == '\0') return nullptr;
        *byte++ = '\0';
    }
    while (*byte == '\r' || *byte == '\n') ++byte;
    if (*byte == '\0') return nullptr;
    lineStart = byte;
    return byte;
}

}  // namespace

#ifdef QM_BLOCK_SCAN
// Loads are aligned, so none reaches into a page that the text does not
// reach. The bytes past the text's NUL in its last block are read but never
// used, which the address sanitizer cannot tell from an overflow.
__attribute__((target("sse2"), no_sanitize("address"))) std::size_t LineCutter::scanBlocks(
    Position& position, bool findWordStarts, CutLine* batch) {
    // Kept in locals while scanning: the NULs written into the text could,
    // for all the compiler knows, change the position behind the reference;
    // and a local struct whose fields endLine takes by reference would live
    // in memory, not in registers.
    char* block = position.at;
    std::uint32_t bits = position.bits;
    std::uint32_t firstMask = position.firstMask;
    bool loaded = position.loaded;
    char* lineStart = position.lineStart;
    bool holdsWordStart = position.holdsWordStart;
    bool done = false;
    const __m128i thirteen = _mm_set1_epi8(13);
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i zero = _mm_setzero_si128();
    std::size_t count = 0;
    while (count < LineCutter::kBatch) {
        if (!loaded) {
            const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
            // Only a byte of 13 or less can be a break or the end.
            __m128i marked = _mm_cmpeq_epi8(_mm_subs_epu8(bytes, thirteen), zero);
            if (findWordStarts) marked = _mm_or_si128(marked, _mm_cmpeq_epi8(bytes, equals));
            bits = static_cast<std::uint32_t>(_mm_movemask_epi8(marked)) & firstMask;
            firstMask = ~0u;
            loaded = true;
        }
        if (bits == 0) {
            block += 16;
            loaded = false;
            continue;
        }
        char* byte = block + __builtin_ctz(bits);
        bits &= bits - 1;
        if (*byte == '=') {
            // '=' is no end, so the byte after it is still in the text.
            if (byte[1] == '?') holdsWordStart = true;
            continue;
        }
        if (!isBreakOrNul(*byte)) continue;  // a tab, say
        char* next = endLine(byte, lineStart, holdsWordStart, batch, count);
        if (next == nullptr) {
            done = true;
            break;
        }
        // Go on from the next line's first byte, which may itself be '='.
        if (next - block < 16) {
            bits &= ~0u << (next - block);
        } else {
            block = reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(next) & ~std::uintptr_t{15});
            firstMask = ~0u << (next - block);
            loaded = false;
        }
    }
    position.at = block;
    position.bits = bits;
    position.firstMask = firstMask;
    position.loaded = loaded;
    position.lineStart = lineStart;
    position.holdsWordStart = holdsWordStart;
    position.done = done;
    return count;
}
#endif

std::size_t LineCutter::next(CutLine (&batch)[kBatch]) {
    Position& p = position_;
    if (p.done) return 0;
#ifdef QM_BLOCK_SCAN
    if (scan_ == LineScan::kBlocks) return scanBlocks(p, findWordStarts_, batch);
#endif
    std::size_t count = 0;
    while (count < kBatch) {
        const char c = *p.at;
        // Most bytes are above CR: one comparison each tells them from the ends.
        if (static_cast<unsigned char>(c) > '\r' || !isBreakOrNul(c)) {
            if (findWordStarts_ && c == '=' && p.at[1] == '?') p.holdsWordStart = true;
            ++p.at;
            continue;
        }
        p.at = endLine(p.at, p.lineStart, p.holdsWordStart, batch, count);
        if (p.at == nullptr) {
            p.done = true;
            break;
        }
    }
    return count;
}
