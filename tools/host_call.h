// Calling a plug-in's exports as a host built by another compiler does: with
// the stack only 4-byte aligned, and callee-saved registers, the x87
// control word and MXCSR that the callee must give back as it found them.
// GCC's own calls keep 16 bytes, so a host built by GCC alone would never
// see a callee that relies on more than a real client gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a call starts with and what the callee left; laid out as host_call.S
// reads and writes it.
struct HostRegisters {
    std::uint32_t ebx;
    std::uint32_t esi;
    std::uint32_t edi;
    std::uint32_t ebp;
    std::uint32_t mxcsr;
    std::uint16_t fpuControl;
    std::uint16_t unused;
    std::int32_t stackDelta;  // left: the stack pointer after the call less the one before the pushes
};

struct HostCallCheck {
    HostRegisters given;
    HostRegisters left;
};
static_assert(sizeof(HostRegisters) == 28 && offsetof(HostCallCheck, left) == 28, "host_call.S's layout");

extern "C" std::int32_t callAsHost(const void* function, const std::uint32_t* args, int count,
                                   std::uint32_t stackOffset, HostCallCheck* check);

// Calls a module's functions in turn at each of the four stack offsets a
// 32-bit Windows caller may leave (0, 4, 8 and 12 bytes past a 16-byte
// boundary), with the registers and controls set each time, and keeps the
// first thing a callee did not give back as it found it.
class HostCaller {
public:
    // Calls function, named name, with count 32-bit arguments; returns its result.
    std::int32_t call(const char* name, const void* function, const std::uint32_t* args, int count) {
        const std::uint32_t turn = calls_++;
        const std::uint32_t offset = 4 * (turn % 4);
        HostCallCheck check{};
        // Every other round of four, other controls: MSVC's defaults, then
        // 64-bit x87 precision and SSE rounding toward zero.
        const bool other = (turn / 4) % 2 == 1;
        check.given = {0xB0B0B0B0u ^ turn, 0x5E5E5E5Eu ^ turn, 0xD1D1D1D1u ^ turn, 0xEBEBEBEBu ^ turn,
                       other ? 0x7F80u : 0x1F80u, static_cast<std::uint16_t>(other ? 0x037F : 0x027F), 0, 0};
        const std::int32_t result = callAsHost(function, args, count, offset, &check);
        lastStackDelta_ = check.left.stackDelta;
        if (fault_.empty()) {
            const HostRegisters& given = check.given;
            const HostRegisters& left = check.left;
            const char* changed = left.stackDelta != 0           ? "the stack pointer"
                                  : left.ebx != given.ebx           ? "ebx"
                                  : left.esi != given.esi           ? "esi"
                                  : left.edi != given.edi           ? "edi"
                                  : left.ebp != given.ebp           ? "ebp"
                                  : left.fpuControl != given.fpuControl ? "the x87 control word"
                                  : (left.mxcsr ^ given.mxcsr) & kMxcsrControl ? "MXCSR"
                                                                    : nullptr;
            if (changed != nullptr) {
                fault_ = std::string(name) + ", called " + std::to_string(offset) +
                         " bytes past a 16-byte boundary, changed " + changed;
            }
        }
        return result;
    }

    // The first change a callee left, or empty.
    const std::string& fault() const { return fault_; }
    // The stack pointer after the last call less the one before its pushes.
    std::int32_t lastStackDelta() const { return lastStackDelta_; }
    std::uint32_t calls() const { return calls_; }

private:
    // MXCSR's control bits; the low six are flags any SSE instruction may set.
    static constexpr std::uint32_t kMxcsrControl = 0xFFC0;

    std::uint32_t calls_ = 0;
    std::int32_t lastStackDelta_ = 0;
    std::string fault_;
};
