// Floating-point environment that the library sets when it is loaded, and
// the one it works in while a host calls it.
#pragma once

#include <cstdint>

// x87 control word at library load: extended precision (64-bit mantissa),
// round to nearest, all six exceptions masked.
constexpr std::uint16_t kLibraryX87ControlWord = 0x133F;
// The six exception-mask bits: MXCSR's IM DM ZM OM UM PM, the x87 control
// word's likewise.
constexpr std::uint32_t kMxcsrExceptionMasks = 0x1F80;
constexpr std::uint16_t kX87ExceptionMasks = 0x003F;

// Masks every floating-point exception so that invalid operations, division
// by zero, overflow and the rest give IEEE special values instead of traps.
// On 32-bit x86 it loads kLibraryX87ControlWord; wherever SSE maths is used it
// also sets all six exception-mask bits of MXCSR, leaving its other bits.
void setupLibraryFloatingPoint();

// The current x87 control word, or 0 where there is no x87 unit to ask.
std::uint16_t currentX87ControlWord();
// The current MXCSR, or 0 where there is no SSE unit.
std::uint32_t currentMxcsr();

// Every floating-point exception masked for as long as the scope lives, on
// the thread that holds it: one at the top of each function a host calls.
//
// Setting the masks at load reaches the loading thread only. Hosts built
// with Delphi, among others, run their threads with invalid operation,
// division by zero and overflow unmasked (x87 control word 0x1332, MXCSR
// 0x1900); there a NaN or infinite sample, a NaN parameter or rate, or a
// filter driven to overflow would trap (SIGFPE, or exception 0xC0000090 on
// Windows) instead of giving the IEEE values the signal path expects.
//
// Where every exception is masked already, as in most hosts, the scope only
// reads the two control registers: nothing else on the audio path, and not
// one result changes. Otherwise it masks them (and nothing else: precision,
// rounding, flush-to-zero stay the caller's) and on leaving gives the caller
// back its whole environment, control and status flags alike, so the call
// leaves no trace. The host's own code that the plug-in calls back meanwhile
// runs masked too.
class FloatingPointScope {
public:
    FloatingPointScope() noexcept {
#if defined(__i386__) || defined(__x86_64__)
        // The asm statements are barriers: no memory access of the call's
        // work moves ahead of the masking or behind the restoring.
        __asm__ volatile("stmxcsr %0" : "=m"(callerMxcsr) : : "memory");
        if ((callerMxcsr & kMxcsrExceptionMasks) != kMxcsrExceptionMasks) {
            const std::uint32_t masked = callerMxcsr | kMxcsrExceptionMasks;
            __asm__ volatile("ldmxcsr %0" : : "m"(masked) : "memory");
            mxcsrSet = true;
        }
        std::uint16_t cw;
        __asm__ volatile("fnstcw %0" : "=m"(cw) : : "memory");
        if ((cw & kX87ExceptionMasks) != kX87ExceptionMasks) {
            // Stores the environment, then masks every x87 exception.
            __asm__ volatile("fnstenv %0" : "=m"(callerX87) : : "memory");
            x87Set = true;
        }
#endif
    }

    ~FloatingPointScope() {
#if defined(__i386__) || defined(__x86_64__)
        if (x87Set) {
            // The caller's control word and flags, over the stack as it is
            // now: a result on its way back in ST(0) (32-bit x86) stays.
            X87Environment now;
            __asm__ volatile("fnstenv %0" : "=m"(now) : : "memory");
            now.word[0] = callerX87.word[0];
            now.word[1] = (callerX87.word[1] & ~kX87Top) | (now.word[1] & kX87Top);
            __asm__ volatile("fldenv %0" : : "m"(now) : "memory");
        }
        if (mxcsrSet) __asm__ volatile("ldmxcsr %0" : : "m"(callerMxcsr) : "memory");
#endif
    }

    FloatingPointScope(const FloatingPointScope&) = delete;
    FloatingPointScope& operator=(const FloatingPointScope&) = delete;

private:
#if defined(__i386__) || defined(__x86_64__)
    static constexpr std::uint32_t kX87Top = 0x3800; // the status word's stack top
    // fnstenv's 28 bytes in 32-bit layout: control word, status word, tags,
    // the last instruction's and operand's addresses.
    struct X87Environment {
        std::uint32_t word[7];
    };
    std::uint32_t callerMxcsr;
    X87Environment callerX87;
    bool mxcsrSet = false;
    bool x87Set = false;
#endif
};
