#include "DFloatingPoint.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#define VELMORA_X86 1
#endif

void setupLibraryFloatingPoint() {
#if defined(__i386__)
    std::uint16_t cw = kLibraryX87ControlWord;
    __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
#if defined(VELMORA_X86)
    _mm_setcsr(_mm_getcsr() | kMxcsrExceptionMasks);
#endif
}

std::uint16_t currentX87ControlWord() {
#if defined(VELMORA_X86)
    std::uint16_t cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
#else
    return 0;
#endif
}

std::uint32_t currentMxcsr() {
#if defined(VELMORA_X86)
    return _mm_getcsr();
#else
    return 0;
#endif
}
